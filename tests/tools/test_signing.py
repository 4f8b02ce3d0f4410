"""The Authenticode signature that the build puts on setup.exe with a test code-signing
certificate: osslsigncode verifies it against that certificate's CA and no other, and any byte
changed in the image breaks it, so that a good signature on the built file also shows that no
step (the load configuration, the strip) changed the image after it. The Wine tests and
scenario.dll_planting run this same signed file."""
import os
import re
import subprocess
import tempfile
import unittest
from pathlib import Path

SETUP_EXE = Path(os.environ.get('PLANNIX_SETUP_EXE', ''))
SIGN_CA = os.environ.get('PLANNIX_SIGN_CA', '')


def verify(image, ca):
    result = subprocess.run(['osslsigncode', 'verify', '-CAfile', str(ca), '-in', str(image)],
                            capture_output=True, text=True, timeout=60)
    return result.returncode, result.stdout + result.stderr


def image_offset_of_load_config(data):
    """File offset of the load configuration directory's data, inside the signed range."""
    pe = int.from_bytes(data[0x3C:0x40], 'little')
    sections = int.from_bytes(data[pe + 6:pe + 8], 'little')
    optional_size = int.from_bytes(data[pe + 20:pe + 22], 'little')
    opt = pe + 24
    rva = int.from_bytes(data[opt + 112 + 8 * 10:opt + 116 + 8 * 10], 'little')
    for k in range(sections):
        at = opt + optional_size + 40 * k
        vsize, vaddr, raw_size, raw_at = (int.from_bytes(data[at + 8 + 4 * i:at + 12 + 4 * i],
                                                         'little') for i in range(4))
        if vaddr <= rva < vaddr + max(vsize, raw_size):
            return raw_at + rva - vaddr
    raise AssertionError('no load configuration directory')


class AuthenticodeSignature(unittest.TestCase):
    def test_the_built_setup_verifies_against_the_test_ca_only_and_covers_every_byte(self):
        code, report = verify(SETUP_EXE, SIGN_CA)
        self.assertEqual(code, 0, report)
        self.assertIn('Signature verification: ok', report)
        self.assertRegex(report, r'Subject: /CN=Plannix Test Publisher')
        self.assertIn('Text description: Plannix Setup', report)
        current = re.search(r'Current message digest\s*:\s*(\w+)', report).group(1)
        calculated = re.search(r'Calculated message digest\s*:\s*(\w+)', report).group(1)
        self.assertEqual(current, calculated)

        with tempfile.TemporaryDirectory() as work:
            other = Path(work) / 'other-ca.pem'
            subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout',
                            str(Path(work) / 'other.key'), '-out', str(other), '-days', '2',
                            '-subj', '/CN=Another CA'], check=True, capture_output=True)
            code, report = verify(SETUP_EXE, other)
            self.assertNotEqual(code, 0, 'a CA that did not issue the certificate was accepted')

            data = SETUP_EXE.read_bytes()
            # DependentLoadFlags, which the load configuration step writes: were that step run
            # after signing, this is the kind of change that the signature would not cover.
            at = image_offset_of_load_config(data) + 0x4E
            changed = bytearray(data)
            changed[at] ^= 0x01
            copy = Path(work) / 'setup.exe'
            copy.write_bytes(bytes(changed))
            code, report = verify(copy, SIGN_CA)
            self.assertNotEqual(code, 0, 'a changed image still verified')
            self.assertNotIn('Signature verification: ok', report)


if __name__ == '__main__':
    unittest.main()
