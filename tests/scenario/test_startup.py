"""Start-up of the real setup.exe under Wine: command line, cleanup, installation lookup,
hand-over to a temporary copy, and the window's size, title and place."""
import re
import unittest

from harness import UNINSTALL_KEY, Prefix, own_record

TITLE_INSTALL = 'Установка — Планикс — Кварталис'
TITLE_UNINSTALL = 'Удаление — Планикс — Кварталис'


def centred(info):
    left, top, right, bottom = info['window']
    wl, wt, wr, wb = info['work']
    w, h = right - left, bottom - top
    return left == (wl + wr - w) // 2 and top == (wt + wb - h) // 2


class WindowSize(unittest.TestCase):
    CASES = [
        # (arguments, registry version, title, logical client size)
        ((), None, TITLE_INSTALL, (600, 660)),
        ((), '1.4.2', TITLE_INSTALL, (600, 580)),
        (('/update',), '1.4.2', TITLE_INSTALL, (600, 420)),
        (('/uninstall',), None, TITLE_UNINSTALL, (600, 420)),
        # A switch in capitals or with a dash is ignored: the mode stays Install.
        (('/UPDATE', '-uninstall'), None, TITLE_INSTALL, (600, 660)),
    ]

    def check_at(self, dpi):
        with Prefix() as prefix:
            if dpi != 96:
                prefix.set_dpi(dpi)
            exe = prefix.place_setup(r'C:\Downloads')
            for args, version, title, (w, h) in self.CASES:
                with self.subTest(dpi=dpi, args=args, version=version):
                    self.check_case(prefix, exe, dpi, args, version, title, w, h)

    def check_case(self, prefix, exe, dpi, args, version, title, w, h):
        prefix.reg_delete(UNINSTALL_KEY)
        if version:
            prefix.reg_add(UNINSTALL_KEY, 'DisplayVersion', 'REG_SZ', version)
        process = prefix.start(exe, *args)
        info = prefix.find_window(close=True)
        self.assertTrue(info['found'])
        self.assertEqual(info['title'], title)
        self.assertEqual(info['client'], [w * dpi // 96, h * dpi // 96])
        self.assertTrue(centred(info), info)
        self.assertEqual(process.wait(timeout=30), 0)

    def test_at_96_dpi(self):
        self.check_at(96)

    def test_at_144_dpi(self):
        self.check_at(144)


class TempCopies(unittest.TestCase):
    def test_stale_copies_are_deleted_but_not_the_running_one(self):
        with Prefix() as prefix:
            temp = prefix.temp
            temp.mkdir(parents=True, exist_ok=True)
            for name in ('plannix-setup-1.exe', 'plannix-setup-20.exe', 'plannix-setup-3.EXE',
                         'plannix-setup-4.exe.old', 'other.exe'):
                (temp / name).write_bytes(b'MZ')
            running = prefix.place_setup(prefix.temp_windows, 'plannix-setup-99.exe')
            # Unattended: the run ends by itself.
            self.assertEqual(prefix.run(running, '/auto', timeout=60), 0)
            left = sorted(p.name for p in temp.iterdir() if p.suffix.lower() in ('.exe', '.old'))
            self.assertEqual(left, ['other.exe', 'plannix-setup-3.EXE', 'plannix-setup-4.exe.old',
                                    'plannix-setup-99.exe'])


class Handover(unittest.TestCase):
    def handed_over(self, prefix, exe, *args):
        """Runs exe; returns the argv of the temporary copy that took over, or None."""
        process = prefix.start(exe, *args)
        info = prefix.find_window(close=False)
        self.assertTrue(info['found'])
        argv = prefix.argv_of(info['cmdline'])
        prefix.find_window(close=True)
        self.assertEqual(process.wait(timeout=30), 0)
        if info['image'].lower() == exe.lower():
            return None
        return argv

    def test_uninstall_from_the_install_folder_runs_a_temporary_copy(self):
        with Prefix() as prefix:
            exe = prefix.place_setup(r'C:\Apps\Plannix')
            prefix.unix(r'C:\Apps\Plannix\install.json').write_text(own_record())
            process = prefix.start(exe, '/uninstall')
            self.assertEqual(process.wait(timeout=60), 0)  # ends without a window of its own
            info = prefix.find_window()
            self.assertTrue(info['found'])
            self.assertEqual(info['title'], TITLE_UNINSTALL)
            copy = re.fullmatch(r'plannix-setup-(\d+)\.exe', info['image'].split('\\')[-1])
            self.assertIsNotNone(copy, info['image'])
            self.assertTrue((prefix.temp / info['image'].split('\\')[-1]).exists())
            self.assertEqual(prefix.argv_of(info['cmdline'])[1:],
                             ['/uninstall', '/dir', r'C:\Apps\Plannix'])
            prefix.find_window(close=True)
            self.assertTrue(prefix.wait_no_window())

    def test_folder_with_trailing_backslash_reaches_the_copy_unchanged(self):
        with Prefix() as prefix:
            exe = prefix.place_setup(r'C:\Apps\Plannix')
            argv = self.handed_over(prefix, exe, '/update', '/pid', '4242', '/dir',
                                    'C:\\Apps\\Plannix\\')
            self.assertEqual(argv[1:], ['/update', '/pid', '4242', '/dir', 'C:\\Apps\\Plannix\\'])

    def test_registry_location_is_the_install_folder(self):
        with Prefix() as prefix:
            prefix.reg_add(UNINSTALL_KEY, 'InstallLocation', 'REG_SZ', r'C:\Apps\Plannix')
            exe = prefix.place_setup(r'C:\Apps\Plannix')
            self.assertEqual(self.handed_over(prefix, exe)[1:], ['/dir', r'C:\Apps\Plannix'])

    def test_given_folder_wins_over_the_registry(self):
        with Prefix() as prefix:
            prefix.reg_add(UNINSTALL_KEY, 'InstallLocation', 'REG_SZ', r'C:\Apps\Plannix')
            prefix.reg_add(UNINSTALL_KEY, 'DisplayVersion', 'REG_SZ', '1.0')
            exe = prefix.place_setup(r'C:\Apps\Plannix')
            prefix.unix(r'C:\Elsewhere').mkdir()
            process = prefix.start(exe, '/dir', r'C:\Elsewhere')
            info = prefix.find_window(close=True)
            self.assertEqual(info['image'], exe)  # no hand-over: it runs in place
            self.assertEqual(info['client'], [600, 580])  # the version still came from the registry
            self.assertEqual(process.wait(timeout=30), 0)

    def test_install_record_beside_the_program_marks_the_install_folder(self):
        with Prefix() as prefix:
            exe = prefix.place_setup(r'C:\Portable\Plannix')
            self.assertIsNone(self.handed_over(prefix, exe))
            prefix.unix(r'C:\Portable\Plannix\install.json').write_text(own_record())
            # Not "/auto": an unattended copy may finish and close before its command line
            # can be read.
            self.assertEqual(self.handed_over(prefix, exe, '/pid', '7')[1:],
                             ['/pid', '7', '/dir', r'C:\Portable\Plannix'])

    def test_another_programs_install_record_beside_the_program_marks_nothing(self):
        # setup.exe started from a Downloads folder holding another program's install.json never
        # takes that folder for the installation, nor deletes what that record names.
        with Prefix() as prefix:
            exe = prefix.place_setup(r'C:\Downloads')
            prefix.unix(r'C:\Downloads\install.json').write_text(
                '{"files": {"report.docx": "' + 'a' * 64 + '"}}')
            self.assertIsNone(self.handed_over(prefix, exe))

    def test_default_folder_is_under_the_local_programs_folder(self):
        with Prefix() as prefix:
            local = prefix.env_var('LOCALAPPDATA')
            exe = prefix.place_setup(local + r'\Programs\Kvartalis\Plannix')
            self.assertEqual(self.handed_over(prefix, exe)[1:],
                             ['/dir', local + r'\Programs\Kvartalis\Plannix'])


class SetupLog(unittest.TestCase):
    def test_each_failed_unattended_run_leaves_one_line(self):
        with Prefix() as prefix:
            exe = prefix.place_setup(r'C:\Downloads')
            for _ in range(2):
                self.assertEqual(prefix.run(exe, '/auto', timeout=60), 0)
            lines = prefix.log_lines()
            self.assertEqual(len(lines), 2, lines)
            for line in lines:
                self.assertTrue(line.startswith('ОШИБКА: '), line)


if __name__ == '__main__':
    unittest.main()
