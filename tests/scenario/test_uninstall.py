"""Removal by the real setup.exe under Wine: the uninstall entry's own command line, the
hand-over to a temporary copy, what goes and what stays, and the running application."""
import os
import subprocess
import time
import unittest
from pathlib import Path

from harness import UNINSTALL_KEY, Prefix, own_record

HOLD_FILE = Path(os.environ['PLANNIX_HOLD_FILE'])
PREFIX_SETUP = Path(os.environ['PLANNIX_REMOVAL_PREFIX_SETUP'])

DIR = r'C:\Apps\Plannix'
SHORTCUT = 'Планикс — Кварталис.lnk'
RUNNING = 'ОШИБКА: Планикс открыт — закройте его и нажмите «Повторить».'
REMOVED = 'удалено из ' + DIR


def removal_prefix():
    """A prefix whose profile folders are real folders, never links to the Linux home."""
    prefix = Prefix()
    subprocess.run([str(PREFIX_SETUP)], env=prefix.env, check=True, timeout=60)
    return prefix


class Installation:
    """The folder, record, shortcuts and uninstall entry that an install run leaves."""

    def __init__(self, prefix, recorded, unmade=()):
        self.prefix = prefix
        self.dir = prefix.unix(DIR)
        files = {key: 'a' * 64 for key in list(recorded) + list(unmade)}
        for key in recorded:
            path = self.dir / key
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(b'x')
        (self.dir / 'install.json').write_text(own_record(files), encoding='utf-8')
        self.setup = prefix.place_setup(DIR)
        self.shortcuts = [
            prefix.unix(prefix.env_var('APPDATA') + r'\Microsoft\Windows\Start Menu\Programs'),
            prefix.unix(prefix.env_var('USERPROFILE') + r'\Desktop')]
        for folder in self.shortcuts:
            folder.mkdir(parents=True, exist_ok=True)
            (folder / SHORTCUT).write_bytes(b'L')
        self.app_data = prefix.unix(prefix.env_var('LOCALAPPDATA') + r'\Kvartalis\Plannix')
        self.uninstall_string = '"%s" /uninstall' % self.setup
        prefix.reg_add(UNINSTALL_KEY, 'InstallLocation', 'REG_SZ', DIR)
        prefix.reg_add(UNINSTALL_KEY, 'UninstallString', 'REG_SZ', self.uninstall_string)

    def entry_exists(self):
        return self.prefix.run('reg', 'query', UNINSTALL_KEY) == 0

    def shortcuts_left(self):
        return [str(f) for f in self.shortcuts if (f / SHORTCUT).exists()]


def wait_for_log_lines(prefix, count, timeout=60):
    """The log's lines once it has `count` of them and no Setup window is left."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        lines = prefix.log_lines()
        if len(lines) >= count and prefix.wait_no_window(timeout=10):
            return lines
        time.sleep(0.2)
    raise AssertionError('Setup did not finish: %r' % prefix.log_lines())


def temp_copies(prefix):
    return sorted(p.name for p in prefix.temp.glob('plannix-setup-*.exe'))


class Uninstall(unittest.TestCase):
    def test_the_uninstall_entry_removes_the_installation_through_a_temporary_copy(self):
        with removal_prefix() as prefix:
            inst = Installation(prefix, ['plannix.exe', 'data/models/chair.bin', 'fonts/ui.ttf',
                                         'bench/scene.bin', 'licenses/amd-fsr.txt'],
                                unmade=['../outside.txt', 'C:/Apps/outside.txt'])
            prefix.unix(r'C:\Apps\outside.txt').write_bytes(b'keep')
            (inst.dir / 'notes.txt').write_bytes(b'mine')
            (inst.dir / 'bench' / 'user.bench').write_bytes(b'mine')
            (inst.dir / 'images').mkdir()
            (inst.app_data / 'cache').mkdir(parents=True)
            (inst.app_data / 'settings.json').write_bytes(b'{}')

            # The entry's own command line, unattended.
            argv = prefix.argv_of(inst.uninstall_string)
            self.assertEqual(argv, [inst.setup, '/uninstall'])
            first = prefix.start(*argv, '/auto')
            self.assertEqual(first.wait(timeout=60), 0)  # handed over and ended
            self.assertEqual(wait_for_log_lines(prefix, 1), [REMOVED])

            left = sorted(str(p.relative_to(inst.dir)) for p in inst.dir.rglob('*'))
            self.assertEqual(left, ['bench', 'bench/user.bench', 'notes.txt'])
            self.assertEqual(prefix.unix(r'C:\Apps\outside.txt').read_bytes(), b'keep')
            self.assertTrue((inst.app_data / 'settings.json').exists())
            self.assertTrue((inst.app_data / 'cache').is_dir())
            self.assertEqual(inst.shortcuts_left(), [])
            self.assertFalse(inst.entry_exists())
            self.assertEqual(len(temp_copies(prefix)), 1, temp_copies(prefix))

            # The next Setup deletes that copy; removing again finds nothing and still succeeds.
            tool = prefix.place_setup(r'C:\Tools')
            self.assertEqual(prefix.run(tool, '/uninstall', '/auto', '/dir', DIR, timeout=60), 0)
            self.assertEqual(wait_for_log_lines(prefix, 2), [REMOVED, REMOVED])
            self.assertEqual(temp_copies(prefix), [])

    def test_the_running_application_stops_the_removal_until_it_has_closed(self):
        with removal_prefix() as prefix:
            inst = Installation(prefix, ['plannix.exe', 'fonts/ui.ttf'])
            tool = prefix.place_setup(r'C:\Tools')
            marker = prefix.temp_windows + r'\held.marker'
            holder = prefix.start(str(HOLD_FILE), DIR + r'\plannix.exe', marker, '60')
            deadline = time.time() + 30
            while not prefix.unix(marker).exists() and time.time() < deadline:
                time.sleep(0.1)
            self.assertTrue(prefix.unix(marker).exists(), 'the helper never held the file')

            self.assertEqual(prefix.run(tool, '/uninstall', '/auto', '/dir', DIR, timeout=60), 0)
            self.assertEqual(wait_for_log_lines(prefix, 1), [RUNNING])
            for kept in ('plannix.exe', 'fonts/ui.ttf', 'install.json', 'setup.exe'):
                self.assertTrue((inst.dir / kept).exists(), kept)
            self.assertEqual(len(inst.shortcuts_left()), 2)
            self.assertTrue(inst.entry_exists())

            prefix.unix(marker).unlink()  # the application closes
            self.assertEqual(holder.wait(timeout=30), 0)
            self.assertEqual(prefix.run(tool, '/uninstall', '/auto', '/dir', DIR, timeout=60), 0)
            self.assertEqual(wait_for_log_lines(prefix, 2), [RUNNING, REMOVED])
            self.assertFalse(inst.dir.exists())
            self.assertEqual(inst.shortcuts_left(), [])
            self.assertFalse(inst.entry_exists())


if __name__ == '__main__':
    unittest.main()
