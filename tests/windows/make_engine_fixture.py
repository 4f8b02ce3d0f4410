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
import argparse
import base64
import json
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from transport_fixtures import der_to_raw, sign  # noqa: E402


def text(path, size):
    return (path.encode() * (size // len(path) + 1))[:size]


def noise(seed, size):
    return random.Random(seed).randbytes(size)


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


def pack(tool, key, files, version, source, release, previous=()):
    for path, data in files.items():
        full = os.path.join(source, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'wb') as f:
            f.write(data)
    # Each file's own blob or patch: these fixtures count requests per file.
    command = [tool, 'pack', '--key', key, '--version', version, '--no-packs']
    for folder in previous:
        command += ['--previous', folder]
    subprocess.run(command + [source, release], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(release, 'plannix', 'app')


def publish_all(tool, key, out, releases):
    """Packs each (name, files, version[, previous names]) into OUT/<name> (its manifest pair)
    and OUT/<name>src (its files), with every blob in the one served folder
    OUT/served/plannix/app/blobs and every patch in .../patches."""
    shutil.rmtree(out, ignore_errors=True)
    served = os.path.join(out, 'served', 'plannix', 'app')
    os.makedirs(os.path.join(served, 'blobs'))
    os.makedirs(os.path.join(served, 'patches'))
    work = os.path.join(out, 'work')
    for name, files, version, *previous in releases:
        app = pack(tool, key, files, version, os.path.join(out, name + 'src'),
                   os.path.join(work, name),
                   [os.path.join(work, p) for p in (previous[0] if previous else ())])
        for kind in ('blobs', 'patches'):
            folder = os.path.join(app, kind)
            for blob in os.listdir(folder) if os.path.isdir(folder) else ():
                shutil.copyfile(os.path.join(folder, blob), os.path.join(served, kind, blob))
        os.makedirs(os.path.join(out, name))
        for f in ('manifest.json', 'manifest.sig'):
            shutil.copyfile(os.path.join(app, f), os.path.join(out, name, f))
    shutil.rmtree(work)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def signed(out, name, key, manifest):
    write(os.path.join(out, name, 'manifest.json'), manifest)
    write(os.path.join(out, name, 'manifest.sig'), base64.b64encode(der_to_raw(sign(key, manifest))))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('out')
    ap.add_argument('--tool', required=True)
    ap.add_argument('--key', required=True)
    a = ap.parse_args()
    publish_all(a.tool, a.key, a.out, (('v1', V1, '1.0.0'), ('v2', V2, '2.0.0'),
                                       ('p1', P1, '1.5.0'), ('p2', P2, '1.6.0', ['p1']),
                                       ('p2other', P2_OTHER, '1.6.1', ['p1']),
                                       ('p2plain', P2, '1.6.0')))
    # p2 with the engine.dll patch of p2other: signed, applies cleanly, makes the wrong bytes.
    with open(os.path.join(a.out, 'p2', 'manifest.json'), 'rb') as f:
        doc = json.loads(f.read())
    with open(os.path.join(a.out, 'p2other', 'manifest.json'), 'rb') as f:
        other = {e['path']: e for e in json.loads(f.read())['files']}
    for entry in doc['files']:
        if entry['path'] == 'bin/engine.dll':
            entry['patches'] = other['bin/engine.dll']['patches']
    signed(a.out, 'p2wrong', a.key, json.dumps(doc, indent=1).encode())

    with open(os.path.join(a.out, 'v2', 'manifest.json'), 'rb') as f:
        v2 = f.read()
    tampered = bytearray(v2)
    at = tampered.index(b'2.0.0')
    tampered[at] = ord('3')
    write(os.path.join(a.out, 'tampered', 'manifest.json'), bytes(tampered))
    shutil.copyfile(os.path.join(a.out, 'v2', 'manifest.sig'),
                    os.path.join(a.out, 'tampered', 'manifest.sig'))
    signed(a.out, 'malformed', a.key, v2[:len(v2) // 2])
    for name, size in (('short', lambda s: s + 1), ('huge', lambda s: 1 << 62)):
        doc = json.loads(v2)
        for entry in doc['files']:
            if entry['path'] == 'data/scene.bin':
                entry['size'] = size(entry['size'])
        signed(a.out, name, a.key, json.dumps(doc, indent=1).encode())
    open(os.path.join(a.out, 'stamp'), 'w').close()


if __name__ == '__main__':
    main()
