#!/usr/bin/env python3
"""Setup's shared names (base/names.h) for the scripts and tests that reach what Setup leaves
behind, so that no script spells one again.

Usage: tools/names.py NAME     prints the constant, e.g. kUninstallKey
"""
import re
import sys
from pathlib import Path

NAMES_H = Path(__file__).resolve().parents[1] / 'base' / 'names.h'


def constant(name):
    """The text of the wide string constant `name`: its literals joined, escapes undone."""
    source = NAMES_H.read_text(encoding='utf-8')
    found = re.search(r'\b%s\s*=\s*((?:\s*L"(?:[^"\\]|\\.)*")+)\s*;' % re.escape(name), source)
    if not found:
        raise KeyError('%s is no wide string constant of %s' % (name, NAMES_H))
    literals = re.findall(r'L"((?:[^"\\]|\\.)*)"', found.group(1))
    return re.sub(r'\\(.)', r'\1', ''.join(literals))


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip())
    try:
        print(constant(sys.argv[1]))
    except KeyError as e:
        sys.exit(e.args[0])
