"""The publisher's nginx server block, served by a private nginx through with_nginx.sh, over a
release made by the real plannix-release: what Setup and caches get for each kind of path."""
import http.client
import json
import os
import random
import socket
import ssl
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WITH_NGINX = ROOT / 'tools' / 'testserver' / 'with_nginx.sh'
RELEASE_TOOL = os.environ.get('PLANNIX_RELEASE_TOOL')


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class Nginx:
    """with_nginx.sh around a command that waits on its standard input: nginx serves until
    close() ends that input, and close() returns the script's exit code."""

    def __init__(self, work, root, log):
        self.port = free_port()
        self.certs = Path(work) / 'certs'
        self.process = subprocess.Popen(
            [str(WITH_NGINX), '--certs', str(self.certs), '--root', str(root), '--port',
             str(self.port), '--log', str(log), '--', 'sh', '-c',
             'echo "$PLANNIX_TESTSERVER_CA $PLANNIX_TESTSERVER_LOG"; cat >/dev/null; exit 5'],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.exported = self.process.stdout.readline().split()

    def request(self, path, method='GET'):
        context = ssl.create_default_context(cafile=str(self.certs / 'ca.pem'))
        connection = http.client.HTTPSConnection('localhost', self.port, context=context,
                                                 timeout=10)
        try:
            connection.request(method, path)
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def close(self):
        self.process.stdin.close()
        code = self.process.wait(timeout=30)
        self.process.stdout.close()
        return code


@unittest.skipUnless(RELEASE_TOOL, 'PLANNIX_RELEASE_TOOL names the publisher\'s tool')
class NginxSite(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        work = Path(self.dir.name)
        self.release = work / 'release'
        source = work / 'source'
        (source / 'data').mkdir(parents=True)
        (source / 'plannix.exe').write_bytes(b'MZ' + bytes(range(256)) * 40)
        (source / 'data' / 'layout.txt').write_text('shelves\n' * 100)
        keys = work / 'keys'
        run = lambda *args: subprocess.run([RELEASE_TOOL, *args], check=True,
                                           capture_output=True)
        run('keygen', str(keys))
        model = bytearray(random.Random(7).randbytes(20000))  # incompressible: a patch is smaller
        for version in ('1.0.0', '1.1.0'):
            (source / 'version.txt').write_text(version)
            model[100] = ord(version[2])
            (source / 'data' / 'model.bin').write_bytes(model)
            previous = ['--previous', str(self.release)] if version != '1.0.0' else []
            run('pack', '--key', str(keys / 'private.pem'), '--version', version, *previous,
                str(source), str(self.release))
        self.app = self.release / 'plannix' / 'app'
        (self.app / 'notes.txt').write_text('not for clients')
        self.log = work / 'access.log'
        self.nginx = Nginx(work, self.release, self.log)

    def tearDown(self):
        if self.nginx.process.poll() is None:
            self.nginx.close()
        self.dir.cleanup()

    def test_setup_gets_the_release_with_the_cache_rules_and_nothing_else(self):
        manifest = json.loads((self.app / 'manifest.json').read_text())
        blob = 'blobs/%s.lzms' % manifest['files'][0]['sha256']
        fresh = ('manifest.json', 'application/json; charset=utf-8', 'no-cache')
        signature = ('manifest.sig', 'text/plain', 'no-cache')
        pack = 'packs/%s.lzms' % manifest['packs'][0]['sha256']
        patch = next(p.relative_to(self.app).as_posix() for p in self.app.glob('patches/*'))
        forever = [(name, 'application/octet-stream', 'public, max-age=31536000, immutable')
                   for name in (blob, pack, patch)]
        for name, content_type, cache in (fresh, signature, *forever):
            with self.subTest(name):
                status, headers, body = self.nginx.request('/plannix/app/' + name)
                self.assertEqual(status, 200)
                self.assertEqual(body, (self.app / name).read_bytes())
                self.assertEqual(headers.get('Content-Type'), content_type)
                self.assertEqual(headers.get('Cache-Control'), cache)
                self.assertEqual(headers.get('X-Content-Type-Options'), 'nosniff')
                status, headers, body = self.nginx.request('/plannix/app/' + name, 'HEAD')
                self.assertEqual((status, body), (200, b''))
                self.assertEqual(headers.get('Content-Length'),
                                 str((self.app / name).stat().st_size))

        refused = {
            '/plannix/app/': 404,  # no listing
            '/plannix/app/blobs/': 404,
            '/plannix/app/packs/': 404,
            '/plannix/app/patches/%s.lzms' % manifest['files'][0]['sha256']: 404,
            '/plannix/app/notes.txt': 404,  # a stray file in the served folder
            '/plannix/app/blobs/%s.lzms' % manifest['files'][0]['sha256'].upper(): 404,
            '/plannix/app/blobs/%s.lzms' % ('0' * 64): 404,  # a blob not uploaded (yet)
            '/plannix/app/manifest.json.tmp': 404,
        }
        history = [p.relative_to(self.release).as_posix()
                   for p in self.release.rglob('history/*/manifest.json')]
        refused.update({'/' + p: 404 for p in history})
        for path, expected in refused.items():
            with self.subTest(path):
                status, headers, _ = self.nginx.request(path)
                self.assertEqual(status, expected)
                # A missing blob may appear a minute later: no cache may keep the 404.
                self.assertNotIn('immutable', headers.get('Cache-Control', ''))
        status, _, _ = self.nginx.request('/plannix/app/manifest.json', 'POST')
        self.assertEqual(status, 403)

        self.assertEqual(self.nginx.close(), 5)  # the command's own exit code
        self.assertEqual(self.nginx.exported,
                         [str(self.nginx.certs / 'ca.der'), str(self.log)])
        lines = self.log.read_text().splitlines()
        self.assertEqual(len(lines), 2 * (2 + len(forever)) + len(refused) + 1)
        first = lines[0].split(' ')
        self.assertEqual(first[1:], ['GET', '/plannix/app/manifest.json', '200',
                                     str((self.app / 'manifest.json').stat().st_size)])
        self.assertTrue(first[0].isdigit(), lines[0])
        # One connection per request here, so every serial differs.
        self.assertEqual(len({line.split(' ')[0] for line in lines}), len(lines))
        with self.assertRaises(OSError):  # nginx is gone with the command
            socket.create_connection(('127.0.0.1', self.nginx.port), timeout=2).close()


if __name__ == '__main__':
    unittest.main()
