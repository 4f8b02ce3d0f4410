"""DLL planting: setup.exe run from a folder full of DLLs named like system libraries (as a
Downloads folder can be) must take none of them, and its image must import only KnownDLLs.
The same run checks the window's class and style."""
import os
import re
import shutil
import struct
import subprocess
import time
import unittest
from pathlib import Path

from harness import SETUP_EXE, Prefix

MARKER_DLL = Path(os.environ.get('PLANNIX_MARKER_DLL', ''))
ADD_ROOT_CA = os.environ.get('PLANNIX_ADD_ROOT_CA', '')
SERVER_CA = os.environ.get('PLANNIX_TESTSERVER_CA', '')
SERVER_LOG = os.environ.get('PLANNIX_TESTSERVER_LOG', '')
OBJDUMP = os.environ.get('PLANNIX_OBJDUMP', 'x86_64-w64-mingw32-objdump')

# What Setup uses directly (imported or optional), and libraries that those load in turn.
PLANTED = ['winhttp', 'bcrypt', 'crypt32', 'dxgi', 'gdiplus', 'shcore', 'shlwapi', 'cabinet',
           'version', 'uxtheme', 'dwmapi', 'userenv', 'wintrust', 'secur32', 'ncrypt',
           'iphlpapi', 'dnsapi', 'msasn1', 'cryptbase', 'propsys', 'winmm']
# KnownDLLs on every Windows Setup runs on (7 and later): never searched for in the program's
# folder, so they alone may be imported statically.
KNOWN_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'advapi32.dll', 'ole32.dll',
              'oleaut32.dll', 'shell32.dll', 'msvcrt.dll', 'comdlg32.dll'}
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
# WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX; Windows adds the other bits below.
WINDOW_STYLE = 0x00CA0000
WS_VISIBLE = 0x10000000
WS_CLIPSIBLINGS = 0x04000000
WS_EX_WINDOWEDGE = 0x00000100


def static_imports(image):
    out = subprocess.run([OBJDUMP, '-p', str(image)], check=True, capture_output=True,
                         text=True).stdout
    return {m.lower() for m in re.findall(r'DLL Name: (\S+)', out)}


def dependent_load_flags(image):
    """DependentLoadFlags of the image's load configuration, or None when it has none."""
    data = Path(image).read_bytes()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    sections, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
    opt = pe + 24
    assert struct.unpack_from('<H', data, opt)[0] == 0x20B, 'not PE32+'
    rva, size = struct.unpack_from('<II', data, opt + 112 + 8 * 10)
    if rva == 0 or size < 0x50:
        return None
    for k in range(sections):
        at = opt + optional_size + 40 * k
        vsize, vaddr, raw_size, raw_at = struct.unpack_from('<IIII', data, at + 8)
        if vaddr <= rva < vaddr + max(vsize, raw_size):
            config = raw_at + rva - vaddr
            if struct.unpack_from('<I', data, config)[0] != size:
                return None  # the directory and the object disagree on the size
            return struct.unpack_from('<H', data, config + 0x4E)[0]
    return None


class ImageImports(unittest.TestCase):
    def test_static_imports_are_known_dlls_and_dependents_load_from_system32(self):
        imports = static_imports(SETUP_EXE)
        self.assertTrue(imports, 'objdump found no import at all')
        self.assertLessEqual(imports, KNOWN_DLLS, imports - KNOWN_DLLS)
        self.assertEqual(dependent_load_flags(SETUP_EXE), LOAD_LIBRARY_SEARCH_SYSTEM32)


class PlantedDlls(unittest.TestCase):
    seen = 0  # the log's length before this run: earlier runs' lines do not count

    def requests(self):
        if not SERVER_LOG or not Path(SERVER_LOG).exists():
            return ''
        return Path(SERVER_LOG).read_text(errors='replace')[self.seen:]

    def check_window_class(self, info):
        """The one window: its class and style as registered, not just its size."""
        style = info['style'] & ~(WS_VISIBLE | WS_CLIPSIBLINGS)
        self.assertEqual(style, WINDOW_STYLE, hex(info['style']))
        self.assertEqual(info['exstyle'] & ~WS_EX_WINDOWEDGE, 0, hex(info['exstyle']))
        self.assertEqual(info['class_style'], 0)
        self.assertEqual((info['class_extra'], info['window_extra']), (0, 0))
        self.assertFalse(info['class_background'])
        self.assertFalse(info['class_menu'])
        # Wine answers no other process's class icon; app_shell_test checks it in-process.
        self.assertTrue(info['image_icon_1'])

    def test_no_library_beside_setup_is_ever_loaded(self):
        self.assertTrue(MARKER_DLL.is_file(), 'PLANNIX_MARKER_DLL is not set')
        with Prefix() as prefix:
            if ADD_ROOT_CA and SERVER_CA:
                # Trusted before Setup starts, so the version check gets as far as the
                # signature (bcrypt, crypt32).
                self.assertEqual(prefix.run(ADD_ROOT_CA, 'Z:' + SERVER_CA), 0)
            exe = prefix.place_setup(r'C:\Downloads')
            folder = prefix.unix(r'C:\Downloads')
            for name in PLANTED:
                shutil.copy(MARKER_DLL, folder / (name + '.dll'))
            self.seen = len(self.requests())
            process = prefix.start(exe)
            info = prefix.find_window()
            self.assertTrue(info['found'], 'setup.exe did not open its window')
            self.check_window_class(info)
            # The version check loads WinHTTP and then, for the signature, BCrypt and Crypt32.
            deadline = time.time() + 20
            while SERVER_LOG and 'manifest.sig' not in self.requests() and time.time() < deadline:
                time.sleep(0.2)
            time.sleep(1)
            prefix.find_window(close=True)
            self.assertEqual(process.wait(timeout=30), 0)
            loaded = sorted(p.name for p in folder.glob('*.loaded'))
            self.assertEqual(loaded, [])
            if SERVER_LOG:
                self.assertIn('manifest.sig', self.requests())


if __name__ == '__main__':
    unittest.main()
