#!/usr/bin/env python3
"""Remakes the LZMS blob fixtures in this folder with wimlib (libwim, through ctypes).

Each NAME.lzms is what the Compression API writes in buffer mode for NAME.bin: the 24-byte
container header, then one chunk (compressed by wimlib's LZMS, or stored when that does not
shrink it). Run once by a developer; the outputs are committed, so tests need no wimlib.
"""
import ctypes
import os
import random
import struct
import zlib

LZMS_WIMLIB = 3   # WIMLIB_COMPRESSION_TYPE_LZMS
LZMS_API = 5      # COMPRESS_ALGORITHM_LZMS
CHUNK = 64 << 20

wim = ctypes.CDLL('libwim.so.15')
wim.wimlib_compress.restype = ctypes.c_size_t
wim.wimlib_compress.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_void_p,
                                ctypes.c_size_t, ctypes.c_void_p]


def compress_chunk(data):
    if len(data) < 4:
        return data  # wimlib produces nothing for such inputs: stored
    compressor = ctypes.c_void_p()
    assert wim.wimlib_create_compressor(LZMS_WIMLIB, ctypes.c_size_t(len(data)), 0,
                                        ctypes.byref(compressor)) == 0
    out = ctypes.create_string_buffer(len(data))
    size = wim.wimlib_compress(data, len(data), out, len(data) - 1, compressor)
    wim.wimlib_free_compressor(compressor)
    return out.raw[:size] if size else data


def container(data):
    header = bytearray(b'\x0a\x51\xe5\xc0' + struct.pack('<H', 24) + b'\0' + bytes([LZMS_API]) +
                       struct.pack('<QQ', len(data), min(len(data), CHUNK)))
    header[6] = zlib.crc32(bytes(header[:6] + header[7:])) & 0xFF
    body = b''
    for at in range(0, len(data), CHUNK):
        chunk = compress_chunk(data[at:at + CHUNK])
        body += struct.pack('<I', len(chunk)) + chunk
    return bytes(header) + body


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    rng = random.Random(20261208)
    words = ['стеллаж', 'shelf', 'aisle', 'касса', 'planogram', '\r\n', 'store', ' ']
    text = ''.join(rng.choice(words) for _ in range(3000)).encode('utf-8')
    samples = {
        'text': text,                                       # compresses well
        'noise': bytes(rng.getrandbits(8) for _ in range(700)),  # stored
        'empty': b'',
    }
    for name, data in samples.items():
        with open(os.path.join(here, name + '.bin'), 'wb') as f:
            f.write(data)
        with open(os.path.join(here, name + '.lzms'), 'wb') as f:
            f.write(container(data))


if __name__ == '__main__':
    main()
