"""The real window as a screen reader and a keyboard user meet it: setup.exe under Wine, its
client area read from another process through Microsoft Active Accessibility
(read_accessible.exe), keys typed through the X server (xdotool), a release served on
localhost."""
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import Prefix, _env_path, wait_until
from served import Release, Server, trust_test_ca

READ_ACCESSIBLE = _env_path('PLANNIX_READ_ACCESSIBLE')
INSTALL_DIR = r'C:\Apps\Plannix'

# MSAA roles and states.
CLIENT, ALERT, STATIC_TEXT, PUSH_BUTTON, CHECK_BUTTON, PROGRESS_BAR = 0x0A, 0x08, 0x29, 0x2B, 0x2C, 0x30
UNAVAILABLE, FOCUSED, CHECKED, READONLY, FOCUSABLE = 0x1, 0x4, 0x10, 0x40, 0x100000

# The first installation's page at 96 DPI, in client pixels: (name, role, x, y, w, h); a
# check box's frame is as wide as its label measures, so its width is not given.
FIRST_INSTALL = [
    ('Установка 3D-планикса', STATIC_TEXT, 32, 92, 536, 34),
    ('Планировка торгового зала и оборудование из каталога в 3D. Файлы скачиваются с сайта '
     'Кварталис.', STATIC_TEXT, 32, 134, 536, 44),
    ('Папка установки', STATIC_TEXT, 32, 180, 300, 20),
    (INSTALL_DIR, STATIC_TEXT, 32, 204, 418, 36),
    ('Изменить…', PUSH_BUTTON, 460, 204, 108, 36),
    ('Что установить', STATIC_TEXT, 32, 258, 300, 20),
    ('Планикс', CHECK_BUTTON, 32, 284, 536, 40),
    (None, CHECK_BUTTON, 32, 328, 536, 40),  # NVIDIA, maybe with "ваша видеокарта"
    ('Ускорение AMD FSR', CHECK_BUTTON, 32, 372, 536, 40),
    ('Ускорение Intel XeSS', CHECK_BUTTON, 32, 416, 536, 40),
    ('VR-очки XREAL', CHECK_BUTTON, 32, 460, 536, 40),
    ('Ярлык на рабочем столе', CHECK_BUTTON, 32, 507, None, 24),
    ('Запустить после установки', CHECK_BUTTON, 32, 537, None, 24),
    ('Отмена', PUSH_BUTTON, 278, 596, 120, 40),
    ('Установить', PUSH_BUTTON, 408, 596, 160, 40),
]


def xdotool(*args):
    subprocess.run(['xdotool', *map(str, args)], check=True, timeout=10,
                   stdout=subprocess.DEVNULL)
    time.sleep(0.3)  # let Wine turn the X event into its window message


@unittest.skipUnless(shutil.which('xdotool') and os.environ.get('DISPLAY'),
                     'needs xdotool and an X display (tools/wine/run-suite.sh)')
class ScreenReaderAndKeyboard(unittest.TestCase):
    def setUp(self):
        self.prefix = Prefix()
        self.addCleanup(self.prefix.close)
        self.prefix.env['PLANNIX_DEMO_NO_WINDOW'] = '1'
        trust_test_ca(self.prefix)
        self.release = Release(self.prefix.path / 'publisher')
        self.release.write('data/big.bin', os.urandom(2 * 1024 * 1024))
        self.release.write('amd_fidelityfx_dx12.dll', b'AMD' * 1000)
        self.release.write('libxess.dll', b'XESS' * 1000)
        self.manifest = self.release.publish('3.0')
        self.server = Server(self.release.folder)
        self.addCleanup(self.server.close)
        self.folder = self.prefix.unix(INSTALL_DIR)

    def read(self, *args):
        out = self.prefix.wine_output(str(READ_ACCESSIBLE), *map(str, args), timeout=60)
        tree = json.loads(out.strip().splitlines()[-1])
        self.assertTrue(tree['found'], 'the window has no client object')
        return tree

    def child(self, tree, name):
        for number, child in enumerate(tree['children'], 1):
            if child['name'] == name:
                return number, child
        self.fail('no child named %r in %r' % (name, [c['name'] for c in tree['children']]))

    def focused_name(self):
        tree = self.read()
        self.assertGreater(tree['focus'], 0, 'nothing focused')
        focused = tree['children'][tree['focus'] - 1]
        self.assertTrue(focused['state'] & FOCUSED, focused)
        return focused['name']

    def test_a_screen_reader_reads_the_pages_and_the_keyboard_installs(self):
        exe = self.prefix.place_setup(r'C:\Downloads')
        setup = self.prefix.start(exe, '/dir', INSTALL_DIR)
        info = self.prefix.find_window()
        ox, oy = info['origin']

        # The first-install page: every text and control, with its role, name and place.
        tree = self.read()
        self.assertEqual(tree['client'], [ox, oy, 600, 660])
        self.assertEqual(tree['focus'], 0, 'the focus starts on nothing')
        children = tree['children']
        self.assertEqual(len(children), len(FIRST_INSTALL), [c['name'] for c in children])
        for number, (child, (name, role, x, y, w, h)) in enumerate(zip(children, FIRST_INSTALL), 1):
            where = '%d %r' % (number, child['name'])
            if name is not None:
                self.assertEqual(child['name'], name, where)
            self.assertEqual(child['role'], role, where)
            self.assertEqual(child['location'][:2], [ox + x, oy + y], where)
            self.assertEqual(child['location'][3], h, where)
            if w is not None:
                self.assertEqual(child['location'][2], w, where)
            self.assertEqual(child['next'], number + 1 if number < len(children) else -1, where)
            self.assertEqual(child['hit'], number, where)
            if role == STATIC_TEXT:
                self.assertEqual(child['state'], READONLY, where)
            if role == PUSH_BUTTON:
                self.assertEqual(child['action'], 'Нажать', where)
        self.assertTrue(children[7]['name'].startswith('Ускорение NVIDIA DLSS'))
        core = children[6]
        self.assertEqual(core['state'] & (UNAVAILABLE | CHECKED | FOCUSABLE), UNAVAILABLE | CHECKED)
        self.assertEqual(core['description'],
                         'программа, DirectX 12 и нужные библиотеки — обязательно')
        for row in children[7:13]:
            self.assertEqual(row['state'] & (UNAVAILABLE | FOCUSABLE), FOCUSABLE, row['name'])
            self.assertEqual(row['action'],
                             'Снять флажок' if row['state'] & CHECKED else 'Установить флажок')

        # The default action of a check box toggles it, as a click does.
        number, intel = self.child(tree, 'Ускорение Intel XeSS')
        self.assertFalse(intel['state'] & CHECKED)
        tree = self.read('--do', number)
        self.assertEqual(tree['acted'], [0])
        _, intel = self.child(tree, 'Ускорение Intel XeSS')
        self.assertTrue(intel['state'] & CHECKED)
        self.assertEqual(intel['action'], 'Снять флажок')
        tree = self.read('--do', number)
        self.assertFalse(self.child(tree, 'Ускорение Intel XeSS')[1]['state'] & CHECKED)

        # As a click does, the default action moved the focus to the row (not shown: no key
        # was used yet). A click on an empty place gives the window the keys and leaves the
        # focus; then Tab, Shift+Tab (wrapping both ways) and Space choose the AMD component and
        # clear "Запустить после установки", and Enter on the focused button installs.
        self.assertEqual(tree['focus'], number)
        xdotool('mousemove', ox + 300, oy + 60)
        xdotool('click', 1)
        self.assertEqual(self.read()['focus'], number)
        steps = [
            ('shift+Tab', 'Ускорение AMD FSR'),
            ('space', 'Ускорение AMD FSR'),
            ('shift+Tab', None),  # the NVIDIA row
            ('shift+Tab', 'Изменить…'),
            ('shift+Tab', 'Установить'),  # wraps to the last control
            ('Tab', 'Изменить…'),  # and back to the first
            ('shift+Tab', 'Установить'),
            ('shift+Tab', 'Отмена'),
            ('shift+Tab', 'Запустить после установки'),
            ('space', 'Запустить после установки'),
            ('Tab', 'Отмена'),
            ('Tab', 'Установить'),
        ]
        for key, name in steps:
            xdotool('key', key)
            focused = self.focused_name()
            if name is not None:
                self.assertEqual(focused, name, key)
        tree = self.read()
        self.assertTrue(self.child(tree, 'Ускорение AMD FSR')[1]['state'] & CHECKED)
        self.assertFalse(self.child(tree, 'Запустить после установки')[1]['state'] & CHECKED)

        # The run, slowed down: the progress bar's value and the status as its name.
        self.server.set_faults({self.release.blob_url(e): 'slow=65536/0.4'
                                for e in self.manifest['files'] if e['path'] == 'data/big.bin'})
        xdotool('key', 'Return')

        def progress():
            children = self.read()['children']
            bars = [c for c in children if c['role'] == PROGRESS_BAR]
            return bars[0] if bars and re.fullmatch(r'\d+\.\d из \d+\.\d МБ', bars[0]['value'] or '') else None
        self.assertTrue(wait_until(progress, 60), 'no progress bar with figures')
        tree = self.read()
        bar = [c for c in tree['children'] if c['role'] == PROGRESS_BAR][0]
        self.assertTrue(bar['name'], 'the progress bar has no status')
        self.assertEqual(bar['location'][:2], [ox + 32, oy + 142])
        buttons = [c for c in tree['children'] if c['role'] == PUSH_BUTTON]
        self.assertEqual([b['name'] for b in buttons], ['Отмена'])
        self.assertTrue(buttons[0]['state'] & FOCUSABLE)
        self.server.set_faults({})

        # The Done page: its two buttons, and the components chosen by keyboard installed.
        self.assertTrue(wait_until(lambda: self.read()['children'][0]['name'] == 'Готово!', 120),
                        'the installation did not finish')
        tree = self.read()
        buttons = [(c['name'], c['role'], c['action']) for c in tree['children']
                   if c['role'] == PUSH_BUTTON]
        self.assertEqual(buttons, [('Закрыть', PUSH_BUTTON, 'Нажать'),
                                   ('Запустить', PUSH_BUTTON, 'Нажать')])
        self.assertTrue((self.folder / 'amd_fidelityfx_dx12.dll').is_file())
        self.assertFalse((self.folder / 'libxess.dll').exists())
        self.assertTrue((self.folder / 'data' / 'big.bin').is_file())

        # A reader holding the object does not keep Setup from ending, and its next call fails
        # instead of hanging.
        with tempfile.TemporaryFile() as out:
            holder = subprocess.Popen(['wine', str(READ_ACCESSIBLE), '--hold'],
                                      env=self.prefix.env, stdout=out,
                                      stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            self.assertTrue(wait_until(lambda: os.fstat(out.fileno()).st_size > 0, 30), 'the reader read nothing')
            xdotool('key', 'Escape')
            self.assertEqual(setup.wait(timeout=30), 0)
            holder.wait(timeout=90)
            out.seek(0)
            lines = out.read().decode('utf-8').strip().splitlines()
        after = json.loads(lines[-1])
        self.assertTrue(after['gone'])
        self.assertLess(after['after'], 0, 'a call on the object of a window that is gone')


if __name__ == '__main__':
    unittest.main()
