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
OUTDIR/v1src, OUTDIR/v2src: the files of v1 and v2.
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
# Incompressible, so that its blob is long enough to be served slowly in pieces.
V2['data/scene.bin'] = noise(2, 20000)
V2['docs/readme.txt'] = text('readme v2', 300)
V2['extras/added.bin'] = text('added', 900)


def pack(tool, key, files, version, source, release):
    for path, data in files.items():
        full = os.path.join(source, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'wb') as f:
            f.write(data)
    subprocess.run([tool, 'pack', '--key', key, '--version', version, source, release],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(release, 'plannix', 'app')


def publish_all(tool, key, out, releases):
    """Packs each (name, files, version) into OUT/<name> (its manifest pair) and OUT/<name>src
    (its files), with every blob in the one served folder OUT/served/plannix/app/blobs."""
    shutil.rmtree(out, ignore_errors=True)
    blobs = os.path.join(out, 'served', 'plannix', 'app', 'blobs')
    os.makedirs(blobs)
    work = os.path.join(out, 'work')
    for name, files, version in releases:
        app = pack(tool, key, files, version, os.path.join(out, name + 'src'),
                   os.path.join(work, name))
        for blob in os.listdir(os.path.join(app, 'blobs')):
            shutil.copyfile(os.path.join(app, 'blobs', blob), os.path.join(blobs, blob))
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
    publish_all(a.tool, a.key, a.out, (('v1', V1, '1.0.0'), ('v2', V2, '2.0.0')))

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
