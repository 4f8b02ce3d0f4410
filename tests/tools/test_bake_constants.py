"""The build refuses to bake a key that would make Setup trust nothing."""
import base64
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BAKE = os.path.join(ROOT, 'tools', 'build_steps', 'bake_constants.py')


def public_key_text(folder):
    pem = os.path.join(folder, 'key.pem')
    subprocess.run(['openssl', 'ecparam', '-name', 'prime256v1', '-genkey', '-noout', '-out', pem],
                   check=True, capture_output=True)
    der = subprocess.run(['openssl', 'ec', '-in', pem, '-pubout', '-outform', 'DER'], check=True,
                         capture_output=True).stdout
    return base64.b64encode(der[-64:]).decode()


class BakeConstants(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.good = public_key_text(self.dir.name)

    def tearDown(self):
        self.dir.cleanup()

    def bake(self, key_text, **options):
        key = os.path.join(self.dir.name, 'public.txt')
        with open(key, 'w') as f:
            f.write(key_text)
        out = os.path.join(self.dir.name, 'constants.cpp')
        args = [sys.executable, BAKE, out, '--key', key, '--about', 'https://example.invalid/']
        args += ['--host', options.get('host', 'localhost'), '--port', str(options.get('port', 443))]
        if 'next_key' in options:
            next_key = os.path.join(self.dir.name, 'next.txt')
            with open(next_key, 'w') as f:
                f.write(options['next_key'])
            args += ['--next-key', next_key]
        result = subprocess.run(args, capture_output=True, text=True)
        return result.returncode, result.stderr, out

    def test_a_real_key_is_baked_scrambled(self):
        rc, err, out = self.bake(self.good + '\n')
        self.assertEqual(rc, 0, err)
        text = open(out).read()
        self.assertIn('kServerPort = 443;', text)
        self.assertNotIn(self.good[1:20], text)  # the key text itself is not in the object

    def test_keys_that_would_trust_nothing_stop_the_build(self):
        raw = bytearray(base64.b64decode(self.good))
        raw[7] ^= 1  # no longer a point of the curve
        for bad in ('', self.good[:-4], self.good + 'AAAA', base64.b64encode(bytes(raw)).decode(),
                    '!' * 88):
            with self.subTest(key=bad):
                rc, err, _ = self.bake(bad)
                self.assertNotEqual(rc, 0)
                self.assertIn('bake_constants:', err)

    def test_a_next_key_is_baked_scrambled_beside_the_first_and_never_equal_to_it(self):
        other = public_key_text(self.dir.name)
        rc, err, out = self.bake(self.good, next_key=other + '\n')
        self.assertEqual(rc, 0, err)
        self.assertIn('kHasNextKey = true;', open(out).read())
        self.assertNotIn(other[1:20], open(out).read())
        for bad in (self.good, other[:-4]):
            self.assertIn('bake_constants:', self.bake(self.good, next_key=bad)[1])

    def test_bad_host_or_port_stop_the_build(self):
        for options in ({'host': 'evil.example/x'}, {'host': ''}, {'port': 0}, {'port': 70000}):
            with self.subTest(**options):
                self.assertNotEqual(self.bake(self.good, **options)[0], 0)


if __name__ == '__main__':
    unittest.main()
