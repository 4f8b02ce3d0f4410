#!/usr/bin/env python3
"""Makes the releases that the engine tests install, with the real publisher's tool.

Usage: make_engine_fixture.py OUTDIR --tool PLANNIX_RELEASE --key PRIVATE.pem

OUTDIR/served/plannix/app/blobs: the blobs of every release below (content-addressed, so they
  share one folder); the test copies the manifest pair it wants beside them.
OUTDIR/<name>/manifest.json, manifest.sig for each name:
  v1         "1.0.0": core, nvidia, amd and vr files, a Cyrillic path, files to be removed
  v2         "2.0.0": data/scene.bin and docs/readme.txt changed, old/deep/er/gone.txt and
             legacy/x/y.txt removed, extras/added.bin added
  tampered   v2's text with one byte changed, v2's signature
  malformed  v2's text cut in half, validly signed
  short      v2 with data/scene.bin's "size" one more than its blob unpacks to, validly signed
  huge       the same with a "size" of 2^62, more than any memory
  p1         "1.5.0": v1 with a large incompressible library, bin/engine.dll
  p2         "1.6.0": p1 with a few bytes of bin/engine.dll changed, packed with patches from p1
             (served under OUTDIR/served/plannix/app/patches)
  p2wrong    p2 whose engine.dll patch is a real, signed one that makes other content
  p2plain    p2 packed without patches
OUTDIR/<name>src: the files of each packed release.
"""
import json
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fixture_kit import (noise, publish_all, read, release_arguments, tampered, text,  # noqa: E402
                         write, write_signed, write_stamp)


V1 = {
    'plannix.exe': text('plannix.exe v1', 1000),
    'setup.exe': text('setup.exe', 500),
    'data/scene.bin': text('scene v1', 2345),
    'docs/readme.txt': text('readme v1', 300),
    'old/deep/er/gone.txt': text('gone', 40),
    'legacy/x/y.txt': text('legacy', 60),
    'шрифты/меню.txt': 'Меню и шрифты\n'.encode() * 10,
    'nvngx_dlss.dll': text('nvngx', 3000),
    'amd_fidelityfx_dx12.dll': text('amd', 4000),
    'licenses/amd-fsr.txt': text('fsr', 50),
    'handmodels/left.onnx': text('left hand', 700),
}
V2 = dict(V1)
for gone in ('old/deep/er/gone.txt', 'legacy/x/y.txt'):
    del V2[gone]
# Incompressible, so that its blob is long enough to be served slowly in pieces: about 20 s at
# 50 KB/s, far longer than any stop may take.
V2['data/scene.bin'] = noise(2, 1000000)
V2['docs/readme.txt'] = text('readme v2', 300)
V2['extras/added.bin'] = text('added', 900)

# A library rebuilt with a few bytes changed: what a patch is for.
P1 = dict(V1)
P1['bin/engine.dll'] = noise(3, 60000)


def rebuilt(data, seed):
    changed = bytearray(data)
    rng = random.Random(seed)
    for _ in range(12):
        changed[rng.randrange(len(changed))] ^= 0x5A
    return bytes(changed)


P2 = dict(P1)
P2['bin/engine.dll'] = rebuilt(P1['bin/engine.dll'], 4)
P2_OTHER = dict(P1)
P2_OTHER['bin/engine.dll'] = rebuilt(P1['bin/engine.dll'], 5)


def main():
    a = release_arguments()
    publish_all(a.tool, a.key, a.out, (('v1', V1, '1.0.0'), ('v2', V2, '2.0.0'),
                                       ('p1', P1, '1.5.0'), ('p2', P2, '1.6.0', ['p1']),
                                       ('p2other', P2_OTHER, '1.6.1', ['p1']),
                                       ('p2plain', P2, '1.6.0')))
    # p2 with the engine.dll patch of p2other: signed, applies cleanly, makes the wrong bytes.
    doc = json.loads(read(os.path.join(a.out, 'p2', 'manifest.json')))
    other = {e['path']: e
             for e in json.loads(read(os.path.join(a.out, 'p2other', 'manifest.json')))['files']}
    for entry in doc['files']:
        if entry['path'] == 'bin/engine.dll':
            entry['patches'] = other['bin/engine.dll']['patches']
    write_signed(os.path.join(a.out, 'p2wrong', 'manifest.json'), a.key,
                 json.dumps(doc, indent=1).encode())

    v2 = read(os.path.join(a.out, 'v2', 'manifest.json'))
    write(os.path.join(a.out, 'tampered', 'manifest.json'), tampered(v2, '2.0.0'))
    shutil.copyfile(os.path.join(a.out, 'v2', 'manifest.sig'),
                    os.path.join(a.out, 'tampered', 'manifest.sig'))
    write_signed(os.path.join(a.out, 'malformed', 'manifest.json'), a.key, v2[:len(v2) // 2])
    for name, size in (('short', lambda s: s + 1), ('huge', lambda s: 1 << 62)):
        doc = json.loads(v2)
        for entry in doc['files']:
            if entry['path'] == 'data/scene.bin':
                entry['size'] = size(entry['size'])
        write_signed(os.path.join(a.out, name, 'manifest.json'), a.key,
                     json.dumps(doc, indent=1).encode())
    write_stamp(a.out)


if __name__ == '__main__':
    main()
