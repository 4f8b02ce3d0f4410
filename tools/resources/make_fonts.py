#!/usr/bin/python3
"""Makes resources/fonts/golos-text-{400,600,700}.ttf, the three faces that setup.exe carries.

The Golos Text faces come from the npm package @fontsource/golos-text (SIL OFL 1.1), which
ships each face as WOFF2 subsets per script. Each face's cyrillic, cyrillic-ext, latin and
latin-ext subsets are merged into one TrueType file and its name table is set so that GDI+
registers the families the window asks for. Run by hand; the build uses the committed files.

Needs: npm, and the Debian packages python3-fonttools and python3-brotli.
    tools/resources/make_fonts.py            # fetches the pinned package into a temp folder
    tools/resources/make_fonts.py --package DIR   # an unpacked package folder instead
"""
import argparse
import io
import pathlib
import shutil
import subprocess
import sys
import tarfile
import tempfile

from fontTools import merge
from fontTools.ttLib import TTFont

PACKAGE = "@fontsource/golos-text"
VERSION = "5.3.0"  # ships Golos Text 2.004
SUBSETS = ("cyrillic", "cyrillic-ext", "latin", "latin-ext")
FONT_VERSION = 2.004

# weight: (family, subfamily, full name, PostScript name). Windows groups a family into at
# most regular, bold, italic and bold italic, so the 600 face is a family of its own.
FACES = {
    400: ("Golos Text", "Regular", "Golos Text Regular", "GolosText-Regular"),
    600: ("Golos Text SemiBold", "Regular", "Golos Text SemiBold", "GolosText-SemiBold"),
    700: ("Golos Text", "Bold", "Golos Text Bold", "GolosText-Bold"),
}

# Every text the window shows is Russian, with Latin for paths and versions.
REQUIRED = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя" \
           "ABCXYZabcxyz0123456789 .,:;%«»—–-/\\()"


def fetch_package(work: pathlib.Path) -> pathlib.Path:
    subprocess.run(["npm", "pack", f"{PACKAGE}@{VERSION}", "--silent"], cwd=work, check=True,
                   stdout=subprocess.DEVNULL)
    tarball = next(work.glob("*.tgz"))
    with tarfile.open(tarball) as tar:
        if hasattr(tarfile, "data_filter"):  # no links or absolute paths out of the folder
            tar.extractall(work, filter="data")
        else:
            tar.extractall(work)
    return work / "package"


def set_names(font: TTFont, weight: int) -> None:
    family, subfamily, full, postscript = FACES[weight]
    name = font["name"]
    # Names 256 and up belonged to the STAT table, which merging drops.
    name.names = [r for r in name.names if r.nameID < 256]
    for name_id, text in ((1, family), (2, subfamily), (4, full), (5, f"Version {FONT_VERSION:.3f}"),
                          (6, postscript)):
        name.setName(text, name_id, 3, 1, 0x409)
    if weight == 600:
        name.setName("Golos Text", 16, 3, 1, 0x409)
        name.setName("SemiBold", 17, 3, 1, 0x409)
    else:
        name.removeNames(nameID=16)
        name.removeNames(nameID=17)
    font["head"].fontRevision = FONT_VERSION


def make_face(package: pathlib.Path, weight: int, out: pathlib.Path) -> None:
    parts = []
    dates = None
    for subset in SUBSETS:
        part = TTFont(package / "files" / f"golos-text-{subset}-{weight}-normal.woff2")
        part.flavor = None
        dates = dates or (part["head"].created, part["head"].modified)
        buffer = io.BytesIO()
        part.save(buffer)
        buffer.seek(0)
        parts.append(buffer)
    font = merge.Merger().merge(parts)
    font.flavor = None
    # The package's dates rather than today's: the same package makes the same bytes.
    font["head"].created, font["head"].modified = dates
    font.recalcTimestamp = False
    set_names(font, weight)
    missing = [c for c in REQUIRED if ord(c) not in font.getBestCmap()]
    if missing:
        sys.exit(f"{out.name}: no glyph for {''.join(missing)!r}")
    font.save(out)
    print(f"{out}: {out.stat().st_size} bytes, {len(font.getBestCmap())} characters")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--package", type=pathlib.Path, help="an unpacked package folder")
    args = parser.parse_args()
    root = pathlib.Path(__file__).resolve().parents[2]
    out_dir = root / "resources" / "fonts"
    out_dir.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as temp:
        package = args.package or fetch_package(pathlib.Path(temp))
        for weight in FACES:
            make_face(package, weight, out_dir / f"golos-text-{weight}.ttf")
        shutil.copyfile(package / "LICENSE", out_dir / "OFL.txt")


if __name__ == "__main__":
    main()
