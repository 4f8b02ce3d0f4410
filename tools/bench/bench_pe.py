"""A compiler's change to a PE file, as the patch benchmarks make it: 2 KiB of code inserted at
40%, and every absolute address after it moved by 4 KiB."""
import os
import shutil
import struct

WINE_PE = '/usr/lib/x86_64-linux-gnu/wine/x86_64-windows'


def rebuilt(data):
    base = struct.unpack_from('<Q', data, struct.unpack_from('<I', data, 0x3C)[0] + 0x30)[0]
    cut = len(data) * 2 // 5
    out = bytearray(data[:cut] + data[cut // 2:cut // 2 + 2048] + data[cut:])
    for at in range(cut + 2048 - (cut + 2048) % 8, len(out) - 8, 8):
        v = struct.unpack_from('<Q', out, at)[0]
        if base <= v < base + len(data) * 2:
            struct.pack_into('<Q', out, at, v + 4096)
    return bytes(out)


def write_two_versions(out, count, changed):
    """OUT/src1 and OUT/src2: the `count` largest of Wine's DLLs, the `changed` largest of them
    rebuilt in version 2, and Wine's notepad.exe as plannix.exe. Returns the two folders."""
    dlls = sorted((os.path.getsize(os.path.join(WINE_PE, n)), n) for n in os.listdir(WINE_PE)
                  if n.endswith('.dll'))[-count:]
    folders = []
    for version in ('1', '2'):
        src = os.path.join(out, 'src' + version)
        os.makedirs(src)
        for rank, (_, name) in enumerate(dlls):
            with open(os.path.join(WINE_PE, name), 'rb') as f:
                data = f.read()
            if version == '2' and rank >= len(dlls) - changed:
                data = rebuilt(data)
            with open(os.path.join(src, name), 'wb') as f:
                f.write(data)
        shutil.copy(os.path.join(WINE_PE, 'notepad.exe'), os.path.join(src, 'plannix.exe'))
        folders.append(src)
    return folders
