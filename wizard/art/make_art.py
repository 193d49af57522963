#!/usr/bin/env python3
"""Draws the setup window's three bitmaps as 24-bit BMP files.

usage: make_art.py OUTDIR

  progress_bar.bmp  18 x 13   track and fill slices of the progress bar
  background.bmp    300 x 144 the window; magenta outside its rounded corners
  close_button.bmp  11 x 44   the close button: normal, hover, pressed, disabled

Python and ImageMagick's convert (for the texts, in a Debian font), no
randomness: the same script, font and ImageMagick always write the same
bytes.
"""

import os
import struct
import subprocess
import sys

MAGENTA = (255, 0, 255)

# The brand texts are drawn with a real font, anti-aliased: ImageMagick
# renders each text as a grey-level coverage mask, blended here in the
# text's colour. The same font and ImageMagick give the same bytes.
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"


def text_mask(words, size):
    """(width, height, coverage rows 0..255) of words in FONT at size
    pixels, trimmed to its inked box."""
    pgm = subprocess.run(["convert", "-background", "black", "-fill", "white", "-font", FONT,
                          "-pointsize", str(size), "-density", "72", "label:" + words,
                          "-trim", "+repage", "-depth", "8", "pgm:-"],
                         check=True, capture_output=True).stdout
    magic, width, height, maximum, data = pgm.split(maxsplit=4)
    assert magic == b"P5" and maximum == b"255", "unexpected PGM from convert"
    width, height = int(width), int(height)
    return width, height, [data[y * width:(y + 1) * width] for y in range(height)]


class Canvas:
    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width, self.height = width, height
        self.pixels = [[tuple(colour) for _ in range(width)] for _ in range(height)]

    def get(self, x, y):
        return self.pixels[y][x]

    def put(self, x, y, colour, alpha=1.0):
        if 0 <= x < self.width and 0 <= y < self.height:
            old = self.pixels[y][x]
            self.pixels[y][x] = tuple(round(o + (c - o) * alpha) for o, c in zip(old, colour))

    def fill(self, x0, y0, x1, y1, colour, alpha=1.0):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour, alpha)

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        for y in range(y0, y1):
            t = (y - y0) / max(1, y1 - y0 - 1)
            self.fill(x0, y, x1, y + 1, mix(top, bottom, t))

    def text(self, x, y, words, colour, size=10, shadow=None):
        """Draws words with the top left of their inked box at (x, y), over
        a half-strong shadow one pixel down and right; returns the x just
        after them."""
        width, height, rows = text_mask(words, size)
        for dx, dy, tone, strength in ((1, 1, shadow, 0.5), (0, 0, colour, 1.0)):
            if tone is None:
                continue
            for row, coverage in enumerate(rows):
                for col, value in enumerate(coverage):
                    if value:
                        self.put(x + dx + col, y + dy + row, tone, strength * value / 255)
        return x + width

    def save(self, path):
        row_size = (self.width * 3 + 3) & ~3
        image_size = row_size * self.height
        header = struct.pack("<2sIHHI", b"BM", 54 + image_size, 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0,
                           image_size, 2835, 2835, 0, 0)
        rows = []
        for y in range(self.height - 1, -1, -1):  # bottom-up
            row = b"".join(bytes((b, g, r)) for r, g, b in self.pixels[y])
            rows.append(row + b"\0" * (row_size - len(row)))
        with open(path, "wb") as out:
            out.write(header + info + b"".join(rows))


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


# Palette: night-blue header, warm orange accent, light panel for the
# status line (drawn in black over it).
NAVY_TOP, NAVY_BOTTOM = (46, 78, 140), (16, 30, 66)
ORANGE, ORANGE_LIGHT, ORANGE_DARK = (255, 146, 28), (255, 208, 110), (214, 92, 8)
BODY_TOP, BODY_BOTTOM = (246, 249, 253), (208, 220, 238)
OUTLINE = (12, 22, 48)

# Transparent corner pixels per outer row: 3, 2 and 1 (6 per corner).
CORNER_CUT = [3, 2, 1]


def is_outside(x, y, width, height):
    for row, cut in enumerate(CORNER_CUT):
        if y in (row, height - 1 - row) and (x < cut or x >= width - cut):
            return True
    return False


def background():
    w, h = 300, 144
    c = Canvas(w, h)
    # Header band: the rows that drag the window.
    c.vgradient(0, 0, w, 19, NAVY_TOP, NAVY_BOTTOM)
    c.fill(0, 0, w, 9, (255, 255, 255), 0.10)  # gloss on its upper half
    c.fill(0, 19, w, 21, ORANGE)
    c.fill(0, 21, w, 22, ORANGE_DARK)
    # Body.
    c.vgradient(0, 22, w, h, BODY_TOP, BODY_BOTTOM)
    # Soft diagonal light streaks in the body's upper part.
    for y in range(22, 64):
        for x in range(w):
            if (x + y) % 48 < 16:
                c.put(x, y, (255, 255, 255), 0.25 * (1 - (y - 22) / 42))
    # Brand: a gem and the name in the header.
    gem(c, 6, 4)
    x = c.text(22, 5, "OVELIN", ORANGE_LIGHT, size=10, shadow=(0, 0, 0))
    c.text(x + 5, 5, "ActiveX Setup", (236, 242, 255), size=10, shadow=(0, 0, 0))
    # Wordmark above the progress panel.
    badge(c, 14, 28)
    c.text(52, 30, "OVELIN", (28, 48, 100), size=20, shadow=(160, 176, 210))
    c.text(53, 50, "GAME PORTAL", (96, 112, 146), size=9)
    # Panel holding the bar (43,74)-(254,86) and the status line
    # (43,95)-(254,111).
    panel(c, 36, 66, 262, 118)
    # Footer.
    c.vgradient(0, 128, w, h, (196, 210, 232), (172, 190, 220))
    c.fill(0, 128, w, 129, (255, 255, 255), 0.7)
    for i in range(3):
        c.fill(w - 30 + i * 7, 134, w - 26 + i * 7, 138, ORANGE if i == 0 else NAVY_TOP, 0.8)
    # Outline along the cut edge.
    outline(c)
    for y in range(h):
        for x in range(w):
            if is_outside(x, y, w, h):
                c.pixels[y][x] = MAGENTA
    return c


def gem(c, x0, y0):
    # A diamond of 11 x 11 with a light upper left facet.
    for dy in range(11):
        half = 5 - abs(5 - dy)
        for dx in range(5 - half, 6 + half):
            light = dy < 5 and dx <= 5
            c.put(x0 + dx, y0 + dy, ORANGE_LIGHT if light else ORANGE)
    c.put(x0 + 4, y0 + 3, (255, 255, 255))


def badge(c, x0, y0):
    # A rounded square with a download arrow, 30 x 30.
    size = 30
    for y in range(size):
        for x in range(size):
            corner = min(x, size - 1 - x) + min(y, size - 1 - y)
            if corner < 3 and min(x, size - 1 - x) < 3 and min(y, size - 1 - y) < 3 and corner < 2:
                continue
            t = y / (size - 1)
            c.put(x0 + x, y0 + y, mix(NAVY_TOP, NAVY_BOTTOM, t))
    c.fill(x0 + 1, y0 + 1, x0 + size - 1, y0 + 2, (255, 255, 255), 0.3)
    # Arrow: shaft and head, then the tray.
    c.fill(x0 + 13, y0 + 6, x0 + 17, y0 + 15, ORANGE_LIGHT)
    for row in range(6):
        c.fill(x0 + 8 + row, y0 + 15 + row, x0 + 22 - row, y0 + 16 + row, ORANGE)
    c.fill(x0 + 7, y0 + 22, x0 + 23, y0 + 24, (236, 242, 255))
    c.fill(x0 + 7, y0 + 19, x0 + 9, y0 + 22, (236, 242, 255))
    c.fill(x0 + 21, y0 + 19, x0 + 23, y0 + 22, (236, 242, 255))


def panel(c, x0, y0, x1, y1):
    c.fill(x0, y0, x1, y1, (255, 255, 255), 0.75)
    for x in range(x0 + 1, x1 - 1):
        c.put(x, y0, (150, 168, 200))
        c.put(x, y1 - 1, (255, 255, 255))
    for y in range(y0 + 1, y1 - 1):
        c.put(x0, y, (150, 168, 200))
        c.put(x1 - 1, y, (255, 255, 255))
    c.fill(x0 + 1, y0 + 1, x1 - 1, y0 + 2, (0, 0, 0), 0.06)


def outline(c):
    w, h = c.width, c.height
    for y in range(h):
        for x in range(w):
            if is_outside(x, y, w, h):
                continue
            edge = x in (0, w - 1) or y in (0, h - 1) or any(
                is_outside(nx, ny, w, h) for nx, ny in
                ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)))
            if edge:
                c.pixels[y][x] = OUTLINE


def close_button(header):
    # Four 11 x 11 states over the header pixels they cover at (280, 5).
    states = [
        ((72, 104, 168), (40, 64, 120), (236, 242, 255), 0),  # normal
        ((255, 128, 60), (214, 64, 20), (255, 255, 255), 0),  # hover
        ((182, 48, 14), (140, 30, 6), (255, 226, 210), 1),  # pressed
        ((108, 116, 134), (86, 94, 110), (160, 166, 178), 0),  # disabled
    ]
    c = Canvas(11, 44)
    for i, (top, bottom, cross, shift) in enumerate(states):
        y0 = i * 11
        for y in range(11):
            for x in range(11):
                c.pixels[y0 + y][x] = header.get(280 + x, 5 + y)
        for y in range(11):
            for x in range(11):
                corner = (x in (0, 10)) and (y in (0, 10))
                if not corner:
                    c.put(x, y0 + y, mix(top, bottom, y / 10))
        for x in range(1, 10):
            c.put(x, y0, (255, 255, 255), 0.35)
        for d in range(5):
            for px, py in ((3 + d, 3 + d), (7 - d, 3 + d)):
                c.put(px + shift, y0 + py + shift, cross)
    return c


def progress_bar():
    c = Canvas(18, 13)
    track = [mix((34, 44, 70), (92, 108, 140), y / 12) for y in range(13)]
    fill = [mix(ORANGE_LIGHT, ORANGE, y / 5) if y < 6 else mix(ORANGE, ORANGE_DARK, (y - 6) / 6)
            for y in range(13)]
    for y in range(13):
        for x in list(range(0, 3)) + list(range(13, 18)):
            c.pixels[y][x] = track[y]
        for x in range(3, 13):
            c.pixels[y][x] = fill[y]
    for y in range(13):
        # Rounded ends of the fill: darker edge on the left, bright tip on
        # the right.
        c.put(3, y, ORANGE_DARK, 0.5)
        c.put(12, y, (255, 255, 255), 0.45)
        c.put(11, y, (255, 255, 255), 0.2)
    # The track's left cap is a shade darker, its right cap a shade lighter.
    for y in range(13):
        c.put(0, y, (0, 0, 0), 0.3)
        c.put(17, y, (255, 255, 255), 0.15)
    return c


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    header = background()
    header.save(os.path.join(out, "background.bmp"))
    close_button(header).save(os.path.join(out, "close_button.bmp"))
    progress_bar().save(os.path.join(out, "progress_bar.bmp"))


if __name__ == "__main__":
    main()
