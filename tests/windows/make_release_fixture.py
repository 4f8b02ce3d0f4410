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
import json
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fixture_kit import (pack, read, release_arguments, tampered, text, write,  # noqa: E402
                         write_signed, write_stamp)

FILES = {
    'plannix.exe': 1000,
    'data/scene.bin': 2345,
    'nvngx_dlss.dll': 3000,
    'amd_fidelityfx_dx12.dll': 4000,
    'licenses/amd-fsr.txt': 50,
    'handmodels/left.onnx': 700,
}


def main():
    a = release_arguments()
    shutil.rmtree(a.out, ignore_errors=True)
    app = pack(a.tool, a.key, {path: text(path, size) for path, size in FILES.items()}, '2.5.0',
               os.path.join(a.out, 'source'), os.path.join(a.out, 'release'))
    manifest = tampered(read(os.path.join(app, 'manifest.json')), '2.5.0')
    write(os.path.join(a.out, 'tampered.json'), manifest)
    write_signed(os.path.join(a.out, 'unparsable.json'), a.key, manifest[:len(manifest) // 2])
    doc = json.loads(manifest.replace(b'3.5.0', b'2.5.0'))
    doc['expires'] = '2001-01-01T00:00:00Z'
    write_signed(os.path.join(a.out, 'expired.json'), a.key,
                 (json.dumps(doc, indent=1, ensure_ascii=False) + '\n').encode('utf-8'))
    write_stamp(a.out)


if __name__ == '__main__':
    main()
