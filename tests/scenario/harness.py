"""Runs the real setup.exe under Wine in throw-away prefixes and inspects what it left.

Each Prefix is a copy of the cached template with its own wineserver; the suite runs inside
one Xvfb display (tools/wine/run-suite.sh). Every wait has a time limit.
"""
import json
import re
import os
import shutil
import subprocess
import tempfile
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
TOOLS = ROOT / 'tools' / 'wine'
sys.path.insert(0, str(ROOT / 'tools'))
import names  # noqa: E402


def _env_path(name):
    value = os.environ.get(name)
    if not value:
        raise RuntimeError('%s is not set (CTest sets it)' % name)
    return Path(value)


SETUP_EXE = _env_path('PLANNIX_SETUP_EXE')
FIND_WINDOW = _env_path('PLANNIX_FIND_WINDOW')
ARGV_OF = _env_path('PLANNIX_ARGV_OF')

UNINSTALL_KEY = 'HKCU\\' + names.constant('kUninstallKey')


def own_record(files=None):
    """The text of an install.json that Setup takes for its own, listing `files` (key: hash)."""
    return json.dumps({'components': ['core'], 'files': files or {},
                       'offered': ['core', 'nvidia', 'amd', 'intel', 'vr'], 'version': '1.0'})


def wait_until(condition, timeout, interval=0.1):
    """True as soon as condition() is; False when it still is not after `timeout` seconds (it is
    asked once more at the deadline, so a slow last step is not lost)."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(interval)
    return bool(condition())


class Prefix:
    """A throw-away Wine prefix copied from the template."""

    def __init__(self):
        template = subprocess.run([str(TOOLS / 'template.sh')], check=True,
                                  capture_output=True, text=True).stdout.strip()
        self.path = Path(tempfile.mkdtemp(prefix='plannix-scenario.'))
        subprocess.run([str(TOOLS / 'copy-prefix.sh'), template, str(self.path)], check=True)
        self.env = dict(os.environ, WINEPREFIX=str(self.path), WINEDEBUG='-all',
                        WINEDLLOVERRIDES='winemenubuilder.exe=d')
        for name in ('http_proxy', 'https_proxy', 'HTTP_PROXY', 'HTTPS_PROXY', 'all_proxy',
                     'ALL_PROXY', 'no_proxy'):
            self.env.pop(name, None)
        self._started = []
        self._temp = None
        # A persistent wineserver keeps the prefix's services up between programs, so each
        # program starts in tens of milliseconds instead of seconds.
        subprocess.run(['wineserver', '-p'], env=self.env, check=True, timeout=30)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        subprocess.run(['wineserver', '-k'], env=self.env, capture_output=True, timeout=30)
        subprocess.run(['wineserver', '-w'], env=self.env, capture_output=True, timeout=30)
        for p in self._started:
            if p.poll() is None:
                p.kill()
            p.wait(timeout=10)
        shutil.rmtree(self.path, ignore_errors=True)

    # Paths ---------------------------------------------------------------------------------
    def unix(self, windows_path):
        """C:\\a\\b -> the file in this prefix."""
        drive, rest = windows_path.split(':', 1)
        assert drive.upper() == 'C', windows_path
        return self.path / 'drive_c' / rest.replace('\\', '/').lstrip('/')

    def wine_output(self, *args, timeout=60):
        # Output goes through a file, not a pipe: Wine's background processes may inherit a
        # pipe and keep it open long after the program itself has ended.
        with tempfile.TemporaryFile() as out:
            subprocess.run(['wine', *args], env=self.env, stdout=out, stderr=subprocess.DEVNULL,
                           stdin=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            return out.read().decode('utf-8', errors='replace')

    def env_var(self, name):
        return self.wine_output('cmd', '/c', 'echo', '%' + name + '%').strip()

    @property
    def temp_windows(self):
        # Wine can fail to start cmd right after a prefix's processes were killed (it prints
        # its own error instead): ask again rather than take that for the path.
        for _ in range(5):
            if self._temp is not None:
                break
            answer = self.env_var('TEMP').rstrip('\\')
            if re.fullmatch(r'[A-Za-z]:\\.*', answer):
                self._temp = answer
            else:
                time.sleep(1)
        assert self._temp is not None, 'the prefix does not say where its temporary folder is'
        return self._temp

    @property
    def temp(self):
        return self.unix(self.temp_windows)

    def place_setup(self, windows_folder, name='setup.exe'):
        """Copies setup.exe into a folder of the prefix; returns its Windows path."""
        folder = self.unix(windows_folder)
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copy(SETUP_EXE, folder / name)
        return windows_folder.rstrip('\\') + '\\' + name

    # Registry ------------------------------------------------------------------------------
    def reg_add(self, key, name, kind, data):
        self._reg('add', key, '/v', name, '/t', kind, '/d', str(data), '/f')

    def reg_delete(self, key):
        self._reg('delete', key, '/f', check=False)

    def _reg(self, *args, check=True):
        rc = subprocess.run(['wine', 'reg', *args], env=self.env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                            timeout=60).returncode
        if check and rc != 0:
            raise RuntimeError('wine reg %s failed with %d' % (' '.join(args), rc))

    def set_dpi(self, dpi):
        self.reg_add(r'HKCU\Control Panel\Desktop', 'LogPixels', 'REG_DWORD', dpi)

    # Processes -----------------------------------------------------------------------------
    def run(self, *args, timeout=60):
        """Runs a program to its end; returns its exit code."""
        return subprocess.run(['wine', *args], env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                              timeout=timeout).returncode

    def start(self, *args):
        p = subprocess.Popen(['wine', *args], env=self.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self._started.append(p)
        return p

    def find_window(self, wait_ms=15000, close=False):
        args = [str(FIND_WINDOW), '--wait', str(wait_ms)] + (['--close'] if close else [])
        out = self.wine_output(*args, timeout=wait_ms / 1000 + 30)
        return json.loads(out.strip().splitlines()[-1])

    def argv_of(self, command_line):
        return json.loads(self.wine_output(str(ARGV_OF), command_line).strip())

    def wait_no_window(self, timeout=15):
        """True once no Setup window is left."""
        return wait_until(lambda: not self.find_window(wait_ms=0)['found'], timeout, 0.2)

    def log_lines(self):
        log = self.temp / 'plannix-setup.log'
        if not log.exists():
            return []
        data = log.read_bytes()
        assert b'\r\n' in data or not data, 'log lines must end in CR LF'
        return data.decode('utf-8').split('\r\n')[:-1]
