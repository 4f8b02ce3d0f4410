"""What every maker of the Windows tests' data files uses: file contents of known sizes, files
written with their folders, signatures as the release tool writes them (raw r||s, base64,
made with the openssl command line), and releases packed by the real publisher's tool."""
import argparse
import base64
import os
import random
import shutil
import subprocess
import tempfile


def text(path, size):
    """`size` bytes repeating `path`: compressible, and telling which file it is."""
    return (path.encode() * (size // len(path) + 1))[:size]


def noise(seed, size):
    """`size` incompressible bytes, the same for the same seed."""
    return random.Random(seed).randbytes(size)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def write_stamp(out):
    """The file the build waits for: written last, once everything else is in place."""
    write(os.path.join(out, 'stamp'), b'')


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
    """The DER signature of `data` (ECDSA P-256 over SHA-256) by the private key in `key_pem`."""
    with tempfile.NamedTemporaryFile() as f:
        f.write(data)
        f.flush()
        return openssl('dgst', '-sha256', '-sign', key_pem, f.name)


def signature(key_pem, data):
    """The text of a ".sig" file for `data`, as the release tool writes it."""
    return base64.b64encode(der_to_raw(sign(key_pem, data)))


def write_signed(path, key_pem, data):
    """Writes `data` to `path` ("….json") and its signature beside it ("….sig")."""
    write(path, data)
    write(os.path.splitext(path)[0] + '.sig', signature(key_pem, data))


def public_text(key_pem):
    """The public half of `key_pem` as the build takes it: 88 characters of base64."""
    der = openssl('ec', '-in', key_pem, '-pubout', '-outform', 'DER')
    return base64.b64encode(der[-64:]).decode()


def tampered(manifest, version):
    """The manifest's bytes with the first digit of its version made "3": no longer the bytes
    its signature was made for."""
    changed = bytearray(manifest)
    changed[changed.index(version.encode())] = ord('3')
    return bytes(changed)


def release_arguments(*more):
    """OUTDIR, --tool PLANNIX_RELEASE and --key PRIVATE.pem, and each further option in `more`,
    all required."""
    ap = argparse.ArgumentParser()
    ap.add_argument('out')
    for option in ('--tool', '--key') + more:
        ap.add_argument(option, required=True)
    return ap.parse_args()


def pack(tool, key, files, version, source, release, options=()):
    """Writes `files` (path: bytes) under `source` and packs them into `release` with the release
    tool; returns the release's plannix/app folder."""
    for path, data in files.items():
        write(os.path.join(source, path), data)
    subprocess.run([tool, 'pack', '--key', key, '--version', version, *options, source, release],
                   check=True, stdout=subprocess.DEVNULL)
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
        # Each file's own blob or patch: these fixtures count requests per file.
        options = ['--no-packs']
        for p in (previous[0] if previous else ()):
            options += ['--previous', os.path.join(work, p)]
        app = pack(tool, key, files, version, os.path.join(out, name + 'src'),
                   os.path.join(work, name), options)
        for kind in ('blobs', 'patches'):
            folder = os.path.join(app, kind)
            for blob in os.listdir(folder) if os.path.isdir(folder) else ():
                shutil.copyfile(os.path.join(folder, blob), os.path.join(served, kind, blob))
        os.makedirs(os.path.join(out, name))
        for f in ('manifest.json', 'manifest.sig'):
            shutil.copyfile(os.path.join(app, f), os.path.join(out, name, f))
    shutil.rmtree(work)
