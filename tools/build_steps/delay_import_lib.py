#!/usr/bin/env python3
"""Makes a delay-import library for one system DLL from mingw-w64's own import library.

Usage: delay_import_lib.py --nm NM --dlltool DLLTOOL --dll NAME.dll IMPORT_LIB OUT_LIB

Every function the import library names is listed, so code that starts calling another
function of the DLL links without a change here.
"""
import argparse
import os
import subprocess
import sys


def exports(nm, import_lib):
    out = subprocess.run([nm, import_lib], check=True, capture_output=True, text=True).stdout
    names = set()
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[1] == 'I' and parts[2].startswith('__imp_'):
            names.add(parts[2][len('__imp_'):])
    return sorted(names)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--nm', required=True)
    ap.add_argument('--dlltool', required=True)
    ap.add_argument('--dll', required=True)
    ap.add_argument('import_lib')
    ap.add_argument('out')
    a = ap.parse_args()
    names = exports(a.nm, a.import_lib)
    if not names:
        sys.exit('%s names no function' % a.import_lib)
    definition = a.out + '.def'
    with open(definition, 'w') as f:
        f.write('LIBRARY "%s"\nEXPORTS\n' % a.dll)
        f.writelines('  %s\n' % n for n in names)
    if os.path.exists(a.out):
        os.remove(a.out)
    subprocess.run([a.dlltool, '--input-def', definition, '--dllname', a.dll,
                    '--output-delaylib', a.out], check=True)


if __name__ == '__main__':
    main()
