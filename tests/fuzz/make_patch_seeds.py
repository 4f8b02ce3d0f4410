#!/usr/bin/env python3
"""Writes the seed corpus of the patch applier's fuzz target: small patches in the documented
format, whose two streams are compressed by plannix-release's blob writer.

    tests/fuzz/make_patch_seeds.py PLANNIX_RELEASE OUT_DIR

Each seed is the fuzz target's input: 2-byte old size, the old content, then the patch."""
import os
import random
import struct
import subprocess
import sys
import tempfile


def varint(v):
    v &= (1 << 64) - 1
    out = bytearray()
    while v >= 0x80:
        out.append((v & 0x7F) | 0x80)
        v >>= 7
    out.append(v)
    return bytes(out)


def blob(tool, data):
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = os.path.join(tmp, 'in'), os.path.join(tmp, 'out')
        open(src, 'wb').write(data)
        subprocess.run([tool, 'compress', src, dst], check=True, stdout=subprocess.DEVNULL)
        return open(dst, 'rb').read()


def patch(tool, old, entries, data):
    """entries: (copy, insert, seek); data: the data stream in output order."""
    control = b''.join(varint(c) + varint(i) + varint(s) for c, i, s in entries)
    new_size = sum(c + i for c, i, _ in entries)
    assert new_size == len(data)
    c = blob(tool, control)
    return (b'LZPATCH1' + struct.pack('<4Q', len(old), new_size, len(control), len(c)) + c +
            blob(tool, data))


def diff_bytes(new, old):
    return bytes((n - o) & 0xFF for n, o in zip(new, old))


def main():
    tool, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    rng = random.Random(15)
    seeds = {}

    old = bytes([10, 20, 30, 40, 50, 60, 70])
    seeds['handwritten'] = (old, patch(tool, old, [(0, 0, 2), (4, 2, -6), (2, 0, 0)],
                                       b'\x00\x01\x00\xffAB\x00\x05'))

    text = b''.join(b'line %d of the store layout notes\n' % (i % 37) for i in range(60))
    new = text[:700] + b'a new paragraph in the middle\n' + text[900:]
    seeds['text_edit'] = (text, patch(tool, text, [(700, 30, 200), (len(text) - 900, 0, 0)],
                                      diff_bytes(new[:700], text[:700]) + new[700:730] +
                                      diff_bytes(new[730:], text[900:])))

    noise = bytes(rng.randrange(256) for _ in range(1000))
    edited = bytearray(noise)
    for at in range(0, 1000, 97):
        edited[at] ^= 0x5A
    seeds['scattered_edits'] = (noise, patch(tool, noise, [(1000, 0, 0)],
                                             diff_bytes(bytes(edited), noise)))

    seeds['from_empty'] = (b'', patch(tool, b'', [(0, 300, 0)], noise[:300]))
    seeds['to_empty'] = (noise[:50], patch(tool, noise[:50], [], b''))
    seeds['moved_back'] = (noise, patch(tool, noise, [(0, 0, 500), (500, 10, -1000), (400, 0, 0)],
                                        bytes(500) + b'0123456789' + bytes(400)))

    for name, (old, p) in seeds.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(struct.pack('<H', len(old)) + old + p)


if __name__ == '__main__':
    main()
