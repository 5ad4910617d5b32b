#!/usr/bin/env python3
"""Draws ZARL's icon, a small calculator, and writes res/ZARL.ico.

The icon holds a 16x16 and a 32x32 image, each a 32-bit BGRA bitmap with
alpha plus the 1-bit AND mask that the .ico format requires. Each size is
drawn on its own pixel grid (not scaled from the other), so edges fall on
whole pixels; only the rounded corners are anti-aliased, by 4x4
supersampling. Python 3 standard library only; the output is the same
bytes on every run, so the checked-in file can be compared with a fresh one.

    tools/make_icon.py                  write res/ZARL.ico
    tools/make_icon.py --png DIR        also write PNG previews into DIR
    tools/make_icon.py --out FILE       write the icon elsewhere
"""

import argparse
import os
import struct
import zlib

# Colours, as (red, green, blue).
OUTLINE = (0x1F, 0x2A, 0x33)
BODY = (0x4A, 0x5B, 0x6C)
BODY_TOP = (0x5A, 0x6D, 0x80)
LCD_FRAME = (0x24, 0x30, 0x28)
LCD = (0xC8, 0xE8, 0xB8)
LCD_INK = (0x24, 0x36, 0x20)
KEY = (0xEC, 0xEF, 0xF1)
KEY_SHADE = (0xA8, 0xB6, 0xBE)
OP_KEY = (0xFF, 0x98, 0x00)
OP_SHADE = (0xC8, 0x5A, 0x00)

SAMPLES = 4  # per pixel and axis, for the rounded corners

# 3x5 digits for the 32-pixel display, one string per row, '#' is ink.
GLYPHS = {
    "3": ["###", "..#", "###", "..#", "###"],
    "1": [".#", "##", ".#", ".#", ".#"],
    "4": ["#.#", "#.#", "###", "..#", "..#"],
    ".": [".", ".", ".", ".", "#"],
}


def rounded_rect(x0, y0, x1, y1, r, colour):
    """A filled rectangle over pixels x0..x1-1, y0..y1-1 with corner radius r."""
    return ("rrect", x0, y0, x1, y1, r, colour)


def inside(shape, x, y):
    _, x0, y0, x1, y1, r, _ = shape
    if not (x0 <= x < x1 and y0 <= y < y1):
        return False
    if r <= 0:
        return True
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def render(size, shapes):
    """Composites the shapes in order; returns rows of (r, g, b, a) bytes."""
    # Premultiplied accumulation: out = src + out * (1 - src_alpha).
    acc = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]
    step = 1.0 / SAMPLES
    for shape in shapes:
        colour = shape[-1]
        for py in range(size):
            for px in range(size):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if inside(shape, px + (sx + 0.5) * step, py + (sy + 0.5) * step):
                            hits += 1
                if hits == 0:
                    continue
                a = hits / (SAMPLES * SAMPLES)
                r, g, b, da = acc[py][px]
                acc[py][px] = (colour[0] * a + r * (1 - a),
                               colour[1] * a + g * (1 - a),
                               colour[2] * a + b * (1 - a),
                               a + da * (1 - a))
    rows = []
    for line in acc:
        row = []
        for r, g, b, a in line:
            if a <= 0.0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(a * 255)))
        rows.append(row)
    return rows


def text_shapes(text, right, top, colour):
    """Pixel rectangles for text in the 3x5 font, right-aligned at x = right."""
    width = sum(len(GLYPHS[c][0]) for c in text) + len(text) - 1
    x = right - width
    shapes = []
    for c in text:
        glyph = GLYPHS[c]
        for gy, line in enumerate(glyph):
            for gx, cell in enumerate(line):
                if cell == "#":
                    shapes.append(rounded_rect(x + gx, top + gy, x + gx + 1, top + gy + 1, 0, colour))
        x += len(glyph[0]) + 1
    return shapes


def key_shapes(x, y, w, h, face, shade):
    """A key: its face, with a darker bottom row where the key is tall enough."""
    if h < 3:
        return [rounded_rect(x, y, x + w, y + h, 0, face)]
    return [rounded_rect(x, y, x + w, y + h, 0, shade),
            rounded_rect(x, y, x + w, y + h - 1, 0, face)]


def icon32():
    shapes = [
        rounded_rect(2, 1, 30, 31, 4, OUTLINE),
        rounded_rect(3, 2, 29, 30, 3, BODY),
        rounded_rect(3, 2, 29, 12, 3, BODY_TOP),
        rounded_rect(3, 8, 29, 12, 0, BODY_TOP),
        rounded_rect(5, 4, 27, 11, 1, LCD_FRAME),
        rounded_rect(6, 5, 26, 10, 0, LCD),
    ]
    shapes += text_shapes("3.14", 25, 5, LCD_INK)
    # Four rows of four keys; the right column holds the operators.
    for row in range(4):
        for col in range(4):
            op = col == 3
            shapes += key_shapes(5 + 6 * col, 13 + 4 * row, 4, 3,
                                 OP_KEY if op else KEY, OP_SHADE if op else KEY_SHADE)
    return render(32, shapes)


def icon16():
    shapes = [
        rounded_rect(2, 0, 14, 16, 2, OUTLINE),
        rounded_rect(3, 1, 13, 15, 1, BODY),
        rounded_rect(4, 2, 12, 5, 0, LCD),
    ]
    # Three rows of three keys; the right column holds the operators.
    for row in range(3):
        for col in range(3):
            op = col == 2
            shapes += key_shapes(4 + 3 * col, 6 + 3 * row, 2, 2,
                                 OP_KEY if op else KEY, OP_SHADE if op else KEY_SHADE)
    return render(16, shapes)


def ico_image(rows):
    """One icon image: BITMAPINFOHEADER, BGRA XOR bitmap, AND mask; bottom-up."""
    size = len(rows)
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    stride = ((size + 31) // 32) * 4  # mask rows are padded to 32 bits
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:  # transparent where a system ignores the alpha
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII",
                         40,         # biSize
                         size,       # biWidth
                         size * 2,   # biHeight: XOR and AND bitmaps together
                         1,          # biPlanes
                         32,         # biBitCount
                         0,          # biCompression: BI_RGB
                         len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_file(images):
    """ICONDIR, one ICONDIRENTRY per image, then the images."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for rows in images:
        image = ico_image(rows)
        size = len(rows)
        out += struct.pack("<BBBBHHII",
                           size % 256, size % 256,  # 0 would mean 256
                           0, 0,                    # no palette, reserved
                           1, 32,                   # planes, bits per pixel
                           len(image), offset + len(data))
        data += image
    return out + data


def png_file(rows):
    """An RGBA PNG of the given rows."""
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for pixel in row:
            raw += bytes(pixel)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def preview(images, scale, backgrounds):
    """Every image scaled up, once on each background colour, side by side."""
    gap = 8
    height = max(len(rows) for rows in images) * scale + 2 * gap
    tiles = []
    for bg in backgrounds:
        for rows in images:
            tiles.append((bg, rows))
    width = sum(len(rows) * scale for _, rows in tiles) + gap * (len(tiles) + 1)
    canvas = [[(0x80, 0x80, 0x80, 255)] * width for _ in range(height)]
    x = gap
    for bg, rows in tiles:
        size = len(rows)
        for y in range(gap - 4, gap + size * scale + 4):
            for xx in range(x - 4, x + size * scale + 4):
                canvas[y][xx] = bg + (255,)
        for py in range(size * scale):
            for px in range(size * scale):
                r, g, b, a = rows[py // scale][px // scale]
                canvas[gap + py][x + px] = tuple(
                    round((c * a + bc * (255 - a)) / 255) for c, bc in zip((r, g, b), bg)) + (255,)
        x += size * scale + gap
    return canvas


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description="Write ZARL's icon.")
    parser.add_argument("--out", default=os.path.join(root, "res", "ZARL.ico"),
                        help="the .ico file to write (default: res/ZARL.ico)")
    parser.add_argument("--png", metavar="DIR",
                        help="also write zarl16.png, zarl32.png and zarl_preview.png into DIR")
    args = parser.parse_args()

    images = [icon16(), icon32()]
    with open(args.out, "wb") as f:
        f.write(ico_file(images))
    if args.png:
        os.makedirs(args.png, exist_ok=True)
        for rows in images:
            with open(os.path.join(args.png, "zarl%d.png" % len(rows)), "wb") as f:
                f.write(png_file(rows))
        with open(os.path.join(args.png, "zarl_preview.png"), "wb") as f:
            f.write(png_file(preview(images, 10, [(0xF0, 0xF0, 0xF0), (0x20, 0x28, 0x40)])))


if __name__ == "__main__":
    main()
