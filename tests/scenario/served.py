"""Signed releases made by the real publisher's tool and served by the fault-injecting HTTPS
test server on localhost, for scenarios that run the real setup.exe against them.

A release carries the stand-in application as "plannix.exe" and Setup itself as "setup.exe",
as every release does; the stand-in reads its version from "version.txt".
"""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from harness import ROOT, _env_path, wait_until

DEMO_EXE = _env_path('PLANNIX_DEMO_EXE')
ADD_ROOT_CA = _env_path('PLANNIX_ADD_ROOT_CA')
RELEASE_TOOL = _env_path('PLANNIX_RELEASE_TOOL')
KEY_DIR = _env_path('PLANNIX_KEY_DIR')
CERTS = _env_path('PLANNIX_TEST_CERTS')
PORT = int(os.environ.get('PLANNIX_PORT', '8443'))
SETUP_EXE = _env_path('PLANNIX_SETUP_EXE')
TESTSERVER = ROOT / 'tools' / 'testserver'

APP_PREFIX = '/plannix/app/'


def sha256(data):
    return hashlib.sha256(data).hexdigest()


class Release:
    """A source folder and the release published from it; publish() again after a change."""

    def __init__(self, work):
        self.source = Path(work) / 'source'
        self.folder = Path(work) / 'release'
        self.app = self.folder / 'plannix' / 'app'
        self.source.mkdir(parents=True)
        shutil.copy(DEMO_EXE, self.source / 'plannix.exe')
        shutil.copy(SETUP_EXE, self.source / 'setup.exe')

    def write(self, path, data):
        full = self.source / path
        full.parent.mkdir(parents=True, exist_ok=True)
        full.write_bytes(data if isinstance(data, bytes) else data.encode('utf-8'))

    def remove(self, path):
        (self.source / path).unlink()

    def change_application(self, tag):
        """A different plannix.exe that still runs: bytes after the image are never loaded."""
        self.write('plannix.exe', DEMO_EXE.read_bytes() + tag.encode() * 64)

    def publish(self, version, packs=False):
        """Without packs unless asked: most scenarios follow each file's own blob."""
        self.write('version.txt', version + '\r\n')
        subprocess.run([str(RELEASE_TOOL), 'pack', '--key', str(KEY_DIR / 'private.pem'),
                        '--version', version, str(self.source), str(self.folder)] +
                       ([] if packs else ['--no-packs']),
                       check=True, stdout=subprocess.DEVNULL, timeout=120)
        return self.manifest()

    def manifest(self):
        return json.loads((self.app / 'manifest.json').read_text(encoding='utf-8'))

    def blob_url(self, entry):
        return APP_PREFIX + 'blobs/' + entry['sha256'] + '.lzms'

    def pack_url(self, pack):
        return APP_PREFIX + 'packs/' + pack['sha256'] + '.lzms'


class Server:
    """server.py over a release folder, with a faults file that may change between requests."""

    def __init__(self, release_folder, lifetime=600):
        make_certs()
        self.work = Path(tempfile.mkdtemp(prefix='plannix-served.'))
        self.log = self.work / 'requests.log'
        self.faults = self.work / 'faults'
        self.faults.write_text('')
        ready = self.work / 'ready'
        self.process = subprocess.Popen(
            [sys.executable, str(TESTSERVER / 'server.py'), '--root', str(release_folder),
             '--cert', str(CERTS / 'server.pem'), '--key', str(CERTS / 'server.key'),
             '--port', str(PORT), '--log', str(self.log), '--faults-file', str(self.faults),
             '--lifetime', str(lifetime), '--ready-file', str(ready), '--parent', str(os.getpid())])
        deadline = time.time() + 10
        while not ready.exists():
            if self.process.poll() is not None or time.time() > deadline:
                self.close()
                raise RuntimeError('the test server did not start on port %d' % PORT)
            time.sleep(0.05)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)
        shutil.rmtree(self.work, ignore_errors=True)

    def set_faults(self, faults):
        """{url: spec}; replaces every fault."""
        self.faults.write_text(''.join('%s %s\n' % item for item in faults.items()))

    def requests(self):
        """(method, path, status) of every request so far."""
        if not self.log.exists():
            return []
        return [tuple(line.split(' ')) for line in self.log.read_text().splitlines() if line]

    def mark(self):
        return len(self.requests())

    def blobs_fetched(self, since=0):
        return sorted(path for method, path, status in self.requests()[since:]
                      if method == 'GET' and status == '200' and '/blobs/' in path)

    def wait_for_request(self, url, timeout=60):
        return wait_until(lambda: any(path == url for _, path, _ in self.requests()), timeout,
                          0.05)


class NginxServer(Server):
    """The publisher's nginx server block (tools/release/nginx-site.conf) over a release folder,
    run by tools/testserver/with_nginx.sh; no faults. Its access log adds each request's
    connection serial and body size, which entries() returns."""

    def __init__(self, release_folder):
        make_certs()
        self.work = Path(tempfile.mkdtemp(prefix='plannix-nginx.'))
        self.log = self.work / 'access.log'
        # The script serves while its command runs: here one that waits for our end of a pipe.
        self.process = subprocess.Popen(
            [str(TESTSERVER / 'with_nginx.sh'), '--certs', str(CERTS), '--root',
             str(release_folder), '--port', str(PORT), '--log', str(self.log), '--', 'sh', '-c',
             'echo serving; exec cat >/dev/null'],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        # The line comes once nginx listens, or never when it cannot start (EOF then).
        if self.process.stdout.readline().strip() != 'serving':
            self.close()
            raise RuntimeError('nginx did not start on port %d' % PORT)

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)
        self.process.stdout.close()
        shutil.rmtree(self.work, ignore_errors=True)

    def set_faults(self, faults):
        raise NotImplementedError('nginx serves the release as it is')

    def entries(self):
        """(connection, method, path, status, bytes) of every finished request so far."""
        if not self.log.exists():
            return []
        return [tuple(line.split(' ')) for line in self.log.read_text().splitlines() if line]

    def requests(self):
        return [(method, path, status) for _, method, path, status, _ in self.entries()]


def make_certs():
    """The test CA and the server's certificate, made once per build folder."""
    subprocess.run([str(TESTSERVER / 'make_certs.sh'), str(CERTS)], check=True,
                   stdout=subprocess.DEVNULL, timeout=120)


def trust_test_ca(prefix):
    """Before any Setup runs in the prefix: WinHTTP there then accepts the server."""
    make_certs()
    if prefix.run(str(ADD_ROOT_CA), 'Z:' + str(CERTS / 'ca.der')) != 0:
        raise RuntimeError('could not add the test CA to the prefix')


def folder_matches(folder, manifest, extra=('install.json',)):
    """Differences between a folder and a manifest: missing, wrong, unexpected files; [] when
    the folder holds exactly the manifest's files with their hashes (and the names in extra)."""
    problems = []
    wanted = {entry['path']: entry for entry in manifest['files']}
    for path, entry in wanted.items():
        full = folder / path
        if not full.is_file():
            problems.append('missing ' + path)
        elif sha256(full.read_bytes()) != entry['sha256']:
            problems.append('wrong content ' + path)
    for full in folder.rglob('*'):
        rel = full.relative_to(folder).as_posix()
        if full.is_file() and rel not in wanted and rel not in extra:
            problems.append('unexpected ' + rel)
        if full.is_dir() and not any(p.startswith(rel + '/') for p in wanted):
            problems.append('unexpected folder ' + rel)
    return sorted(problems)
