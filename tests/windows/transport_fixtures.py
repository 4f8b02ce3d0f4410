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
import subprocess
import sys
import tempfile

MANIFEST = ('{\r\n "files": [\r\n  {"path": "plannix.exe", "size": 3}\r\n ],\r\n'
            ' "name": "Планикс",\r\n "version": "1.2.3"\r\n}\r\n').encode('utf-8')


def openssl(*args, stdin=None):
    return subprocess.run(['openssl', *args], input=stdin, check=True,
                          capture_output=True).stdout


def der_to_raw(der):
    """ECDSA-Sig-Value (SEQUENCE of INTEGER r, INTEGER s) to 32-byte big-endian r || s."""
    assert der[0] == 0x30 and der[1] == len(der) - 2, 'unexpected DER signature'
    pos, out = 2, b''
    for _ in range(2):
        assert der[pos] == 0x02
        length = der[pos + 1]
        value = int.from_bytes(der[pos + 2:pos + 2 + length], 'big')
        out += value.to_bytes(32, 'big')
        pos += 2 + length
    return out


def sign(key_pem, data):
    with tempfile.NamedTemporaryFile() as f:
        f.write(data)
        f.flush()
        return openssl('dgst', '-sha256', '-sign', key_pem, f.name)


def public_text(key_pem):
    der = openssl('ec', '-in', key_pem, '-pubout', '-outform', 'DER')
    return base64.b64encode(der[-64:]).decode()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


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
        write(trusted_sig, base64.b64encode(der_to_raw(sign(a.trusted_key, MANIFEST))))

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
    write(os.path.join(a.out, 'stamp'), b'')


if __name__ == '__main__':
    main()
