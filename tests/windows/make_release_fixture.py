#!/usr/bin/env python3
"""Makes a small signed release for the Windows tests with the real publisher's tool.

Usage: make_release_fixture.py OUTDIR --tool PLANNIX_RELEASE --key PRIVATE.pem

OUTDIR/release/plannix/app: manifest.json, manifest.sig and blobs/, version "2.5.0", made
from files of known sizes (compressible, so blobs are much smaller than files):
  core 3345 bytes, nvidia 3000, amd 4050, intel none, vr 700.
OUTDIR/tampered.json: the manifest with one byte changed (its signature no longer fits).
OUTDIR/unparsable.json and .sig: the manifest cut short, so it is no JSON document, with a
valid signature by the same key: only the parse step can refuse it.
OUTDIR/expired.json and .sig: the manifest (sequence 1) with an "expires" long past, validly
signed.
"""
import argparse
import json
import os
import shutil
import subprocess
import base64
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from transport_fixtures import der_to_raw, sign  # noqa: E402

FILES = {
    'plannix.exe': 1000,
    'data/scene.bin': 2345,
    'nvngx_dlss.dll': 3000,
    'amd_fidelityfx_dx12.dll': 4000,
    'licenses/amd-fsr.txt': 50,
    'handmodels/left.onnx': 700,
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('out')
    ap.add_argument('--tool', required=True)
    ap.add_argument('--key', required=True)
    a = ap.parse_args()
    source = os.path.join(a.out, 'source')
    release = os.path.join(a.out, 'release')
    shutil.rmtree(a.out, ignore_errors=True)
    for path, size in FILES.items():
        full = os.path.join(source, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'wb') as f:
            f.write((path.encode() * (size // len(path) + 1))[:size])
    subprocess.run([a.tool, 'pack', '--key', a.key, '--version', '2.5.0', source, release],
                   check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(release, 'plannix', 'app', 'manifest.json'), 'rb') as f:
        manifest = bytearray(f.read())
    at = manifest.index(b'2.5.0')
    manifest[at] = ord('3')
    with open(os.path.join(a.out, 'tampered.json'), 'wb') as f:
        f.write(manifest)
    cut = bytes(manifest[:len(manifest) // 2])
    with open(os.path.join(a.out, 'unparsable.json'), 'wb') as f:
        f.write(cut)
    with open(os.path.join(a.out, 'unparsable.sig'), 'wb') as f:
        f.write(base64.b64encode(der_to_raw(sign(a.key, cut))))
    doc = json.loads(bytes(manifest).replace(b'3.5.0', b'2.5.0'))
    doc['expires'] = '2001-01-01T00:00:00Z'
    expired = (json.dumps(doc, indent=1, ensure_ascii=False) + '\n').encode('utf-8')
    with open(os.path.join(a.out, 'expired.json'), 'wb') as f:
        f.write(expired)
    with open(os.path.join(a.out, 'expired.sig'), 'wb') as f:
        f.write(base64.b64encode(der_to_raw(sign(a.key, expired))))
    open(os.path.join(a.out, 'stamp'), 'w').close()


if __name__ == '__main__':
    main()
