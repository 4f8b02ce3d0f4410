#!/usr/bin/env python3
"""Makes the releases that the engine's safety tests install, with the real publisher's tool.

Usage: make_safety_fixture.py OUTDIR --tool PLANNIX_RELEASE --key PRIVATE.pem --app APP.exe

OUTDIR/served/plannix/app/blobs: the blobs of every release below; the test copies the manifest
  pair it wants beside them.
OUTDIR/<name>/manifest.json, manifest.sig and OUTDIR/<name>src (the files) for each name:
  case1    "1.0": "Fonts/UI.ttf" and "Data/Info.txt"
  case2    "2.0": the same files renamed by letter case only, "data/info.txt" changed
  shape1   "1.0": "data" a file, "docs/x/y.txt" inside a folder "docs/x"
  shape2   "2.0": "data/x.bin" where "data" was a file, "docs/x" a file where it was a folder
  keep1    "1.0": "old/held.dll" and "old/ro.dll" besides the common files
  keep2    "2.0": without them
  restart  "2.0": plannix.exe is APP.exe, a real program (the demo's stand-in application)
Every release also holds "plannix.exe" (text, except in restart) and "setup.exe".
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fixture_kit import publish_all, read, release_arguments, text, write_stamp  # noqa: E402

COMMON = {'plannix.exe': text('plannix.exe', 800), 'setup.exe': text('setup.exe', 400)}


def releases(app):
    return {
        'case1': dict(COMMON, **{'Fonts/UI.ttf': text('ui font', 900),
                                 'Data/Info.txt': text('info v1', 300)}),
        'case2': dict(COMMON, **{'fonts/ui.ttf': text('ui font', 900),
                                 'data/info.txt': text('info v2', 300)}),
        'shape1': dict(COMMON, **{'data': text('data file', 200),
                                  'docs/x/y.txt': text('y in folder x', 200)}),
        'shape2': dict(COMMON, **{'data/x.bin': text('x in folder data', 200),
                                  'docs/x': text('x a file', 200)}),
        'keep1': dict(COMMON, **{'old/held.dll': text('held', 100), 'old/ro.dll': text('ro', 100)}),
        'keep2': dict(COMMON, **{'docs/readme.txt': text('readme', 100)}),
        'restart': dict(COMMON, **{'plannix.exe': app}),
    }


def main():
    a = release_arguments('--app')
    app = read(a.app)
    publish_all(a.tool, a.key, a.out,
                [(name, files, '1.0' if name.endswith('1') else '2.0')
                 for name, files in releases(app).items()])
    write_stamp(a.out)


if __name__ == '__main__':
    main()
