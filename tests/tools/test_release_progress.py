"""plannix-release pack shows one updating progress line on a terminal (a pseudo-terminal here)
and nothing but its summary when its output is a pipe."""
import os
import pty
import random
import re
import subprocess
import tempfile
import unittest
from pathlib import Path

RELEASE_TOOL = os.environ.get('PLANNIX_RELEASE_TOOL')
LINE = re.compile(r'(hashing|packing) (\d+)/(\d+) files, ([\d.]+) of ([\d.]+) MB, ([\d.]+) MB/s$')


def run_on_terminal(args):
    """Standard output through a pseudo-terminal, as bytes the terminal received."""
    master, slave = pty.openpty()
    process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=slave,
                               stderr=subprocess.DEVNULL)
    os.close(slave)
    received = b''
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # EIO: the program has closed the terminal
            break
        if not chunk:
            break
        received += chunk
    os.close(master)
    return process.wait(timeout=120), received.decode()


@unittest.skipUnless(RELEASE_TOOL, 'PLANNIX_RELEASE_TOOL names the publisher\'s tool')
class PackProgress(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        work = Path(self.dir.name)
        self.source = work / 'source'
        self.source.mkdir()
        generator = random.Random(5)
        self.total = 0
        # 30 different files and one copy: the copy is hashed but shares the blob.
        for n in range(30):
            data = generator.randbytes(100_000 + 7_000 * n)
            (self.source / ('part%02d.bin' % n)).write_bytes(data)
            self.total += len(data)
        (self.source / 'copy.bin').write_bytes((self.source / 'part00.bin').read_bytes())
        self.total += 100_000
        subprocess.run([RELEASE_TOOL, 'keygen', str(work / 'keys')], check=True,
                       capture_output=True)
        self.pack = lambda release: [RELEASE_TOOL, 'pack', '--key',
                                     str(work / 'keys' / 'private.pem'), '--version', '1.0',
                                     str(self.source), str(work / release)]

    def tearDown(self):
        self.dir.cleanup()

    def test_a_terminal_gets_one_updating_line_per_phase_and_a_pipe_only_the_summary(self):
        code, shown = run_on_terminal(self.pack('on-terminal'))
        self.assertEqual(code, 0, shown)
        pieces = shown.split('\r\x1b[K')
        # Each phase ends by erasing its line, which leaves an empty piece.
        lines = [LINE.match(piece) for piece in pieces[1:-1] if piece]
        self.assertTrue(lines and all(lines), pieces)
        phases = {}
        for line in lines:
            phases.setdefault(line.group(1), []).append(line)
        self.assertEqual(list(phases), ['hashing', 'packing'])
        for phase, files, megabytes in (('hashing', 31, self.total), ('packing', 30,
                                                                      self.total - 100_000)):
            seen = phases[phase]
            done = [int(line.group(2)) for line in seen]
            self.assertEqual(done, sorted(done), phase)  # never counts backwards
            last = seen[-1]
            self.assertEqual((int(last.group(2)), int(last.group(3))), (files, files), phase)
            self.assertEqual(last.group(4), last.group(5), phase)
            self.assertEqual(last.group(5), '%.1f' % (megabytes / 1e6), phase)
            self.assertGreater(float(last.group(6)), 0, phase)
        # The line is erased before the summary, which is as without a terminal.
        self.assertTrue(pieces[-1].startswith('packed 31 files'), pieces[-1])

        piped = subprocess.run(self.pack('piped'), capture_output=True, text=True, timeout=120)
        self.assertEqual(piped.returncode, 0, piped.stderr)
        self.assertTrue(piped.stdout.startswith('packed 31 files'), piped.stdout)
        self.assertNotIn('\r', piped.stdout)
        self.assertNotIn('MB/s', piped.stdout + piped.stderr)
        self.assertEqual(piped.stdout.replace('\n', '\r\n').replace('piped', 'on-terminal'),
                         pieces[-1])


if __name__ == '__main__':
    unittest.main()
