#!/usr/bin/env python3
"""Points a PE32+ image's Load Configuration directory at its `_load_config_used` object.

Usage: set_load_config.py --nm NM [--strip STRIP] IMAGE.exe

With --strip the image is stripped after its symbol has been read and before the directory is
set, since the symbol table is what locates the object.

GNU ld 2.40 does not fill that directory for x86-64 images, so this runs after the link. The
directory's size is the object's own Size field, read from the image.
"""
import argparse
import struct
import subprocess
import sys

SYMBOL = '_load_config_used'
LOAD_CONFIG_ENTRY = 10


def symbol_address(nm, image):
    out = subprocess.run([nm, image], check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[2] == SYMBOL:
            return int(parts[0], 16)
    sys.exit('%s has no %s' % (image, SYMBOL))


def file_offset(data, sections_at, count, rva):
    for k in range(count):
        at = sections_at + 40 * k
        vsize, vaddr, raw_size, raw_at = struct.unpack_from('<IIII', data, at + 8)
        if vaddr <= rva < vaddr + max(vsize, raw_size):
            return raw_at + (rva - vaddr)
    sys.exit('RVA %#x lies in no section' % rva)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--nm', required=True)
    ap.add_argument('--strip')
    ap.add_argument('image')
    a = ap.parse_args()
    address = symbol_address(a.nm, a.image)
    if a.strip:
        subprocess.run([a.strip, a.image], check=True)
    with open(a.image, 'rb') as f:
        data = bytearray(f.read())
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        sys.exit('not a PE image')
    sections, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
    opt = pe + 24
    if struct.unpack_from('<H', data, opt)[0] != 0x20B:
        sys.exit('not a PE32+ image')
    image_base = struct.unpack_from('<Q', data, opt + 24)[0]
    directories = struct.unpack_from('<I', data, opt + 108)[0]
    if directories <= LOAD_CONFIG_ENTRY:
        sys.exit('no room for the Load Configuration directory')
    rva = address - image_base
    size = struct.unpack_from('<I', data, file_offset(data, opt + optional_size, sections, rva))[0]
    struct.pack_into('<II', data, opt + 112 + 8 * LOAD_CONFIG_ENTRY, rva, size)
    with open(a.image, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
