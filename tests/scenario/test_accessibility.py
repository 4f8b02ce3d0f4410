"""The real window as a screen reader and a keyboard user meet it: setup.exe under Wine, read
from another process through Microsoft Active Accessibility (read_accessible.exe), keys typed
through the X server (xdotool), installing a release served on localhost."""
import json
import os
import re
import shutil
import unittest

from harness import Prefix, _env_path, wait_until
from served import Release, Server, trust_test_ca
from test_input import xdotool

READ_ACCESSIBLE = _env_path('PLANNIX_READ_ACCESSIBLE')
INSTALL_DIR = r'C:\Apps\Plannix'
TEXT, PUSH_BUTTON, CHECK_BUTTON, PROGRESS_BAR = 0x29, 0x2B, 0x2C, 0x30  # MSAA roles
UNAVAILABLE, FOCUSED, CHECKED, READONLY, FOCUSABLE = 0x1, 0x4, 0x10, 0x40, 0x100000  # states

# The first installation's page at 96 DPI: name (None: not checked), role and place in the client
# area; a check box's frame is as wide as its label measures.
FIRST_INSTALL = [
    ('Установка 3D-планикса', TEXT, 32, 92, 536, 34),
    ('Планировка торгового зала и оборудование из каталога в 3D. Файлы скачиваются с сайта '
     'Кварталис.', TEXT, 32, 134, 536, 44),
    ('Папка установки', TEXT, 32, 180, 300, 20),
    (INSTALL_DIR, TEXT, 32, 204, 418, 36),
    ('Изменить…', PUSH_BUTTON, 460, 204, 108, 36),
    ('Что установить', TEXT, 32, 258, 300, 20),
    ('Планикс', CHECK_BUTTON, 32, 284, 536, 40),
    (None, CHECK_BUTTON, 32, 328, 536, 40),  # NVIDIA, "ваша видеокарта" on Wine's invented card
    ('Ускорение AMD FSR', CHECK_BUTTON, 32, 372, 536, 40),
    ('Ускорение Intel XeSS', CHECK_BUTTON, 32, 416, 536, 40),
    ('VR-очки XREAL', CHECK_BUTTON, 32, 460, 536, 40),
    ('Ярлык на рабочем столе', CHECK_BUTTON, 32, 507, None, 24),
    ('Запустить после установки', CHECK_BUTTON, 32, 537, None, 24),
    ('Отмена', PUSH_BUTTON, 278, 596, 120, 40),
    ('Установить', PUSH_BUTTON, 408, 596, 160, 40),
]


@unittest.skipUnless(shutil.which('xdotool') and os.environ.get('DISPLAY'),
                     'needs xdotool and an X display (tools/wine/run-suite.sh)')
class ScreenReaderAndKeyboard(unittest.TestCase):
    def read(self, *args):
        # A reader process that Wine fails to start under load prints nothing; a screen reader
        # would simply ask again. Anything it does print is judged, and an action is never
        # repeated.
        for _ in range(1 if args else 3):
            lines = self.prefix.wine_output(str(READ_ACCESSIBLE), *map(str, args),
                                            timeout=60).strip().splitlines()
            if lines:
                break
        self.assertTrue(lines, 'the reader printed nothing')
        tree = json.loads(lines[-1])
        self.assertTrue(tree['found'], 'the window has no client object')
        return tree

    def child(self, tree, name):
        return next((n, c) for n, c in enumerate(tree['children'], 1) if c['name'] == name)

    def test_a_screen_reader_reads_the_pages_and_the_keyboard_installs(self):
        self.prefix = Prefix()
        self.addCleanup(self.prefix.close)
        self.prefix.env['PLANNIX_DEMO_NO_WINDOW'] = '1'
        trust_test_ca(self.prefix)
        release = Release(self.prefix.path / 'publisher')
        release.write('data/big.bin', os.urandom(2 * 1024 * 1024))
        release.write('amd_fidelityfx_dx12.dll', b'AMD' * 1000)
        release.write('libxess.dll', b'XESS' * 1000)
        manifest = release.publish('3.0')
        server = Server(release.folder)
        self.addCleanup(server.close)
        setup = self.prefix.start(self.prefix.place_setup(r'C:\Downloads'), '/dir', INSTALL_DIR)
        ox, oy = self.prefix.find_window()['origin']

        # Every text and control of the page, with its role, name, state and place.
        tree = self.read()
        self.assertEqual(tree['client'], [ox, oy, 600, 660])
        self.assertLess(tree['focus'], 1, 'the focus starts on nothing')
        children = tree['children']
        self.assertEqual(len(children), len(FIRST_INSTALL), [c['name'] for c in children])
        for n, (c, (name, role, x, y, w, h)) in enumerate(zip(children, FIRST_INSTALL), 1):
            where = '%d %r' % (n, c)
            self.assertEqual((c['role'], c['location'][0], c['location'][1], c['location'][3]),
                             (role, ox + x, oy + y, h), where)
            self.assertIn(name, (None, c['name']), where)
            self.assertIn(w, (None, c['location'][2]), where)
            self.assertEqual((c['next'], c['hit']), (n + 1 if n < len(children) else -1, n), where)
            if role == TEXT:
                self.assertEqual(c['state'], READONLY, where)
            elif role == PUSH_BUTTON:
                self.assertEqual(c['action'], 'Нажать', where)
            elif n > 7:  # the optional rows and the options
                self.assertEqual(c['state'] & (UNAVAILABLE | FOCUSABLE), FOCUSABLE, where)
                self.assertEqual(c['action'], ['Установить флажок', 'Снять флажок'][
                    bool(c['state'] & CHECKED)], where)
        core = children[6]
        self.assertEqual(core['state'] & (UNAVAILABLE | CHECKED | FOCUSABLE), UNAVAILABLE | CHECKED)
        self.assertEqual(core['description'], 'программа, DirectX 12 и нужные библиотеки — обязательно')

        # A check box's default action toggles it and, as a click does, moves the focus to it.
        number, intel = self.child(tree, 'Ускорение Intel XeSS')
        for checked in (True, False):
            tree = self.read('--do', number)
            self.assertEqual((tree['acted'], bool(tree['children'][number - 1]['state'] & CHECKED)),
                             ([0], checked))
        self.assertEqual(tree['focus'], number)

        # Keys, after a click on an empty place gives the window the keyboard: Shift+Tab and Tab
        # (wrapping both ways) and Space choose AMD and clear "Запустить после установки"; Enter
        # on the focused primary button installs.
        xdotool('mousemove', ox + 300, oy + 60)
        xdotool('click', 1)
        for key, name in [('shift+Tab', 'Ускорение AMD FSR'), ('space', 'Ускорение AMD FSR'),
                          ('shift+Tab', None), ('shift+Tab', 'Изменить…'),
                          ('shift+Tab', 'Установить'), ('Tab', 'Изменить…'),
                          ('shift+Tab', 'Установить'), ('shift+Tab', 'Отмена'),
                          ('shift+Tab', 'Запустить после установки'),
                          ('space', 'Запустить после установки'), ('Tab', 'Отмена'),
                          ('Tab', 'Установить')]:
            xdotool('key', key)
            tree = self.read()
            focused = tree['children'][tree['focus'] - 1] if tree['focus'] > 0 else {}
            self.assertTrue(focused.get('state', 0) & FOCUSED, key)
            self.assertIn(name, (None, focused['name']), key)
        self.assertTrue(self.child(tree, 'Ускорение AMD FSR')[1]['state'] & CHECKED)
        self.assertFalse(self.child(tree, 'Запустить после установки')[1]['state'] & CHECKED)

        # While the run goes (slowed down): a progress bar named by the status, valued in figures.
        big = [e for e in manifest['files'] if e['path'] == 'data/big.bin'][0]
        server.set_faults({release.blob_url(big): 'slow=65536/0.4'})
        xdotool('key', 'Return')

        seen = []
        def bar():
            seen.append(self.read())
            return any(c['role'] == PROGRESS_BAR and re.fullmatch(r'\d+\.\d из \d+\.\d МБ', c['value'] or '')
                       for c in seen[-1]['children'])
        self.assertTrue(wait_until(bar, 60), 'no progress bar with figures')
        tree = seen[-1]
        got = [(c['role'], c['name'] if c['role'] != PROGRESS_BAR else bool(c['name']),
                c['location'][:2]) for c in tree['children'][1:]]
        self.assertEqual(got, [(PROGRESS_BAR, True, [ox + 32, oy + 142]),
                               (PUSH_BUTTON, 'Отмена', [ox + 448, oy + 596])])
        server.set_faults({})

        # The Done page's buttons, and the components chosen by keyboard installed.
        self.assertTrue(wait_until(lambda: self.read()['children'][0]['name'] == 'Готово!', 120))
        buttons = [(c['name'], c['action'], c['state'] & FOCUSABLE)
                   for c in self.read()['children'] if c['role'] == PUSH_BUTTON]
        self.assertEqual(buttons, [('Закрыть', 'Нажать', FOCUSABLE), ('Запустить', 'Нажать', FOCUSABLE)])
        folder = self.prefix.unix(INSTALL_DIR)
        self.assertTrue((folder / 'amd_fidelityfx_dx12.dll').is_file())
        self.assertFalse((folder / 'libxess.dll').exists())

        xdotool('key', 'Escape')
        self.assertEqual(setup.wait(timeout=30), 0)


if __name__ == '__main__':
    unittest.main()
