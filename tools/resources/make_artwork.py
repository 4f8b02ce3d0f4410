#!/usr/bin/python3
"""Makes resources/logo.png (321 x 128 RGBA) and resources/setup.ico (ten PNG images).

The mark is an isometric store shelf in the brand's purple; the logo sets it beside the word
mark "Планикс" over "Кварталис" in Golos Text (resources/fonts, made by make_fonts.py). Every
shape is drawn at four times the size and scaled down, so the edges are smooth at every size.
Run by hand; the build uses the committed files.

Needs: the Debian package python3-pil.
"""
import io
import pathlib
import struct

from PIL import Image, ImageDraw, ImageFont

ROOT = pathlib.Path(__file__).resolve().parents[2]
RESOURCES = ROOT / "resources"

SUPERSAMPLE = 4
LOGO_SIZE = (321, 128)
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 96, 128, 256)  # the group's order: RT_ICON 1..10

ACCENT = (0x6B, 0x42, 0x92)  # the window's accent colour
TOP = (0xA4, 0x86, 0xC6)     # faces lit from above
FRONT = ACCENT
SIDE = (0x4C, 0x2D, 0x6B)    # faces turned away from the light
GOODS = ((0xE8, 0xA8, 0x38), (0x3F, 0xA7, 0x9A), (0xD9, 0x5F, 0x6E))
TEXT = (0x2A, 0x1F, 0x3A)
SUBTEXT = ACCENT

# The shelf unit in its own units: width along x, depth along y, height along z.
WIDTH, DEPTH, HEIGHT = 10.0, 4.0, 11.0
BOARD = 0.7                     # thickness of the side panels and the shelves
SHELF_LEVELS = (0.0, 3.6, 7.2)  # the shelves' bottoms; the top board closes the unit


def project(x, y, z):
    """Isometric view from the front right, above: +x right-down, +y left-down, +z up."""
    cos30, sin30 = 0.8660254, 0.5
    return ((x - y) * cos30, (x + y) * sin30 - z)


def box_faces(x0, y0, z0, x1, y1, z1, colours):
    """The three faces of a box that the viewer sees: top, front (+y) and side (+x)."""
    top, front, side = colours
    return [
        (top, [(x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)]),
        (front, [(x0, y1, z0), (x1, y1, z0), (x1, y1, z1), (x0, y1, z1)]),
        (side, [(x1, y0, z0), (x1, y1, z0), (x1, y1, z1), (x1, y0, z1)]),
    ]


def shelf_unit():
    """The faces of the unit, back to front, so later faces cover earlier ones."""
    frame = (TOP, FRONT, SIDE)
    faces = []
    faces += box_faces(0, 0, 0, WIDTH, BOARD * 0.6, HEIGHT, frame)  # back panel
    faces += box_faces(0, 0, 0, BOARD, DEPTH, HEIGHT, frame)         # left panel
    for level, z in enumerate(SHELF_LEVELS + (HEIGHT - BOARD,)):
        faces += box_faces(BOARD, 0, z, WIDTH - BOARD, DEPTH, z + BOARD, frame)
        if level < len(SHELF_LEVELS):
            # Goods on the shelf: boxes of three colours, shaded like the frame.
            for i, colour in enumerate(GOODS):
                shade = tuple(int(c * 0.72) for c in colour)
                light = tuple(min(255, int(c * 1.18)) for c in colour)
                x = BOARD + 0.5 + i * 2.9 + (level % 2) * 0.4
                h = 1.6 + ((i + level) % 3) * 0.55
                faces += box_faces(x, 1.0, z + BOARD, x + 2.2, DEPTH - 0.6, z + BOARD + h,
                                   (light, colour, shade))
    faces += box_faces(WIDTH - BOARD, 0, 0, WIDTH, DEPTH, HEIGHT, frame)  # right panel
    return faces


def draw_mark(size):
    """The mark alone, centred in a transparent square of `size` pixels."""
    big = size * SUPERSAMPLE
    faces = shelf_unit()
    points = [project(*p) for _, quad in faces for p in quad]
    left, right = min(p[0] for p in points), max(p[0] for p in points)
    top, bottom = min(p[1] for p in points), max(p[1] for p in points)
    margin = big * (0.04 if size > 24 else 0.0)
    scale = (big - 2 * margin) / max(right - left, bottom - top)
    dx = (big - (right - left) * scale) / 2 - left * scale
    dy = (big - (bottom - top) * scale) / 2 - top * scale
    image = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    for colour, quad in faces:
        polygon = [(project(*p)[0] * scale + dx, project(*p)[1] * scale + dy) for p in quad]
        draw.polygon(polygon, fill=colour + (255,))
    return image.resize((size, size), Image.LANCZOS)


def draw_logo():
    width, height = LOGO_SIZE
    big_w, big_h = width * SUPERSAMPLE, height * SUPERSAMPLE
    logo = Image.new("RGBA", (big_w, big_h), (0, 0, 0, 0))
    mark = draw_mark(height).resize((big_h, big_h), Image.LANCZOS)
    logo.alpha_composite(mark, (0, 0))

    fonts = RESOURCES / "fonts"
    word = ImageFont.truetype(str(fonts / "golos-text-700.ttf"), 42 * SUPERSAMPLE)
    brand = ImageFont.truetype(str(fonts / "golos-text-400.ttf"), 23 * SUPERSAMPLE)
    draw = ImageDraw.Draw(logo)
    text_left = big_h + 8 * SUPERSAMPLE
    # Both lines share the left edge; the pair is centred vertically beside the mark.
    word_box = draw.textbbox((0, 0), "Планикс", font=word, anchor="ls")
    brand_box = draw.textbbox((0, 0), "Кварталис", font=brand, anchor="ls")
    gap = 12 * SUPERSAMPLE
    block = (word_box[3] - word_box[1]) + gap + (brand_box[3] - brand_box[1])
    word_base = (big_h - block) // 2 - word_box[1]
    brand_base = word_base + word_box[3] + gap - brand_box[1]
    right_edge = text_left + max(word_box[2], brand_box[2])
    assert right_edge <= big_w, f"the word mark is {right_edge - big_w} px too wide"
    draw.text((text_left, word_base), "Планикс", font=word, fill=TEXT + (255,), anchor="ls")
    draw.text((text_left, brand_base), "Кварталис", font=brand, fill=SUBTEXT + (255,), anchor="ls")
    return logo.resize(LOGO_SIZE, Image.LANCZOS)


def png_bytes(image):
    buffer = io.BytesIO()
    image.save(buffer, "PNG", optimize=True)
    return buffer.getvalue()


def write_ico(path, images):
    """An icon file whose every image is a 32-bit PNG, in the given order."""
    header = struct.pack("<HHH", 0, 1, len(images))
    entries, blobs = b"", b""
    offset = len(header) + 16 * len(images)
    for image in images:
        data = png_bytes(image)
        side = image.width if image.width < 256 else 0  # 0 stands for 256
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    path.write_bytes(header + entries + blobs)


def main():
    logo = draw_logo()
    logo.save(RESOURCES / "logo.png", "PNG", optimize=True)
    write_ico(RESOURCES / "setup.ico", [draw_mark(size) for size in ICON_SIZES])
    for name in ("logo.png", "setup.ico"):
        print(f"{RESOURCES / name}: {(RESOURCES / name).stat().st_size} bytes")


if __name__ == "__main__":
    main()
