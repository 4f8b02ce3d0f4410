"""Real input on the real window: setup.exe under Wine, the pointer and keys driven through the
X server with xdotool, at 144 DPI so the painted controls and the hit test must agree on the
scaled layout.

Without a server the version check finds nothing and every run of the worker fails at once,
leaving one "ОШИБКА: " line in the setup log: the log tells how many runs a click started."""
import os
import shutil
import subprocess
import time
import unittest

from harness import Prefix, wait_until

DPI = 144
SCALE = DPI / 96
# The first installation's page in DIP: 600 x 660, the primary button's rectangle is
# (W - 32 - 160, H - 64, 160, 40).
PRIMARY_CENTRE = (600 - 32 - 80, 660 - 64 + 20)


def xdotool(*args):
    subprocess.run(['xdotool', *map(str, args)], check=True, timeout=10,
                   stdout=subprocess.DEVNULL)
    time.sleep(0.2)  # let Wine turn the X event into its window message


@unittest.skipUnless(shutil.which('xdotool') and os.environ.get('DISPLAY'),
                     'needs xdotool and an X display (tools/wine/run-suite.sh)')
class PointerAndKeys(unittest.TestCase):
    def runs(self, prefix):
        return sum(1 for line in prefix.log_lines() if line.startswith('ОШИБКА: '))

    def test_click_cycle_enter_and_escape_on_the_install_button(self):
        with Prefix() as prefix:
            prefix.set_dpi(DPI)
            exe = prefix.place_setup(r'C:\Downloads')
            process = prefix.start(exe)
            info = prefix.find_window()
            self.assertTrue(info['found'])
            self.assertEqual(info['client'], [900, 990])
            ox, oy = info['origin']
            button = (ox + round(PRIMARY_CENTRE[0] * SCALE), oy + round(PRIMARY_CENTRE[1] * SCALE))
            # Off the button and off the window: the press holds the pointer for the window.
            outside = (max(ox - 40, 0), oy + 40) if ox >= 40 else (ox + 20, oy + 20)

            # Press on "Установить", move off, release: nothing starts.
            xdotool('mousemove', *button)
            xdotool('mousedown', 1)
            xdotool('mousemove', *outside)
            xdotool('mouseup', 1)
            self.assertFalse(wait_until(lambda: self.runs(prefix) > 0, 2),
                             'releasing off the button started a run')

            # Press, move off, move back before releasing: the run starts.
            xdotool('mousemove', *button)
            xdotool('mousedown', 1)
            xdotool('mousemove', *outside)
            xdotool('mousemove', *button)
            xdotool('mouseup', 1)
            self.assertTrue(wait_until(lambda: self.runs(prefix) == 1, 20),
                            'moving back onto the button did not start the run')

            # The run failed: Enter is "Повторить".
            xdotool('key', 'Return')
            self.assertTrue(wait_until(lambda: self.runs(prefix) == 2, 20), 'Enter did not retry')

            # Escape closes the window when no run is going on.
            xdotool('key', 'Escape')
            self.assertEqual(process.wait(timeout=20), 0)
            self.assertTrue(prefix.wait_no_window())
            self.assertEqual(self.runs(prefix), 2)


if __name__ == '__main__':
    unittest.main()
