"""A compiler's change to a PE file, as the patch benchmarks make it: 2 KiB of code inserted at
40%, and every absolute address after it moved by 4 KiB."""
import struct


def rebuilt(data):
    base = struct.unpack_from('<Q', data, struct.unpack_from('<I', data, 0x3C)[0] + 0x30)[0]
    cut = len(data) * 2 // 5
    out = bytearray(data[:cut] + data[cut // 2:cut // 2 + 2048] + data[cut:])
    for at in range(cut + 2048 - (cut + 2048) % 8, len(out) - 8, 8):
        v = struct.unpack_from('<Q', out, at)[0]
        if base <= v < base + len(data) * 2:
            struct.pack_into('<Q', out, at, v + 4096)
    return bytes(out)
