#!/usr/bin/env python3
"""Makes the data files of the transport tests under Wine.

Usage: transport_fixtures.py OUTDIR --trusted-key PRIVATE.pem --trusted-public PUBLIC.txt

OUTDIR/signature: a manifest with CR LF line ends and signatures of it (raw r||s base64, as
the release tool writes them), made with the openssl command line:
  manifest.json               the signed bytes
  trusted.sig                 by the key the build trusts (absent when its private half is)
  other.sig, other.pub        by a key of its own, and that key as 88 characters of base64
  other.der.sig               the same signature in DER form, base64
OUTDIR/release/plannix/app: files that the HTTPS test server serves.
"""
import argparse
import base64
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fixture_kit import (der_to_raw, openssl, public_text, sign, signature, write,  # noqa: E402
                         write_stamp)

MANIFEST = ('{\r\n "files": [\r\n  {"path": "plannix.exe", "size": 3}\r\n ],\r\n'
            ' "name": "Планикс",\r\n "version": "1.2.3"\r\n}\r\n').encode('utf-8')


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('out')
    ap.add_argument('--trusted-key', required=True)
    ap.add_argument('--trusted-public', required=True)
    a = ap.parse_args()

    sig_dir = os.path.join(a.out, 'signature')
    write(os.path.join(sig_dir, 'manifest.json'), MANIFEST)

    trusted_sig = os.path.join(sig_dir, 'trusted.sig')
    if os.path.exists(trusted_sig):
        os.remove(trusted_sig)
    if os.path.exists(a.trusted_key):
        baked = open(a.trusted_public).read().strip()
        if public_text(a.trusted_key) != baked:
            sys.exit('transport_fixtures: %s is not the private half of %s'
                     % (a.trusted_key, a.trusted_public))
        write(trusted_sig, signature(a.trusted_key, MANIFEST))

    other_key = os.path.join(sig_dir, 'other.pem')
    if not os.path.exists(other_key):
        write(other_key, openssl('ecparam', '-name', 'prime256v1', '-genkey', '-noout'))
    der = sign(other_key, MANIFEST)
    write(os.path.join(sig_dir, 'other.pub'), public_text(other_key).encode())
    write(os.path.join(sig_dir, 'other.sig'), base64.b64encode(der_to_raw(der)))
    write(os.path.join(sig_dir, 'other.der.sig'), base64.b64encode(der))

    app = os.path.join(a.out, 'release', 'plannix', 'app')
    pattern = bytes(range(256))
    write(os.path.join(app, 'body.bin'), pattern * 1024)  # 256 KiB
    write(os.path.join(app, 'empty.bin'), b'')
    write(os.path.join(app, 'slow.bin'), pattern * 512)  # 128 KiB
    write(os.path.join(app, 'dropped.bin'), pattern * 256)
    write(os.path.join(app, 'closed.bin'), pattern * 256)
    write(os.path.join(app, 'reset.bin'), pattern * 256)
    write(os.path.join(app, 'before-cancel.bin'), pattern)
    write(os.path.join(app, 'partial.bin'), pattern)
    write(os.path.join(app, 'error.bin'), pattern)
    write_stamp(a.out)


if __name__ == '__main__':
    main()
