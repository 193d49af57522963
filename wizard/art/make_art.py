#!/usr/bin/env python3
"""Draws the setup window's three bitmaps as 24-bit BMP files.

usage: make_art.py OUTDIR

  progress_bar.bmp  18 x 13   track and fill slices of the progress bar
  background.bmp    300 x 144 the window; magenta outside its rounded corners
  close_button.bmp  11 x 44   the close button: normal, hover, pressed, disabled

Pure Python, no randomness: the same script always writes the same bytes.
"""

import os
import struct
import sys

MAGENTA = (255, 0, 255)

# A 5 x 7 pixel font, enough for the brand texts.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    "c": ["00000", "00000", "01110", "10000", "10000", "10001", "01110"],
    "e": ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    "i": ["00100", "00000", "01100", "00100", "00100", "00100", "01110"],
    "p": ["00000", "11110", "10001", "10001", "11110", "10000", "10000"],
    "t": ["01000", "01000", "11100", "01000", "01000", "01001", "00110"],
    "u": ["00000", "00000", "10001", "10001", "10001", "10011", "01101"],
    "v": ["00000", "00000", "10001", "10001", "10001", "01010", "00100"],
    " ": ["000", "000", "000", "000", "000", "000", "000"],
}


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

    def text(self, x, y, words, colour, scale=1, spacing=1, shadow=None):
        for char in words:
            glyph = GLYPHS[char]
            if shadow:
                self._glyph(x + scale, y + scale, glyph, shadow, scale, 0.5)
            self._glyph(x, y, glyph, colour, scale, 1.0)
            x += (len(glyph[0]) + spacing) * scale
        return x

    def _glyph(self, x, y, glyph, colour, scale, alpha):
        for row, bits in enumerate(glyph):
            for col, bit in enumerate(bits):
                if bit == "1":
                    self.fill(x + col * scale, y + row * scale,
                              x + (col + 1) * scale, y + (row + 1) * scale, colour, alpha)

    def text_width(self, words, scale=1, spacing=1):
        return sum((len(GLYPHS[c][0]) + spacing) * scale for c in words) - spacing * scale

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
    x = c.text(22, 6, "OVELIN", ORANGE_LIGHT, shadow=(0, 0, 0))
    c.text(x + 5, 6, "ActiveX Setup", (236, 242, 255), shadow=(0, 0, 0))
    # Wordmark above the progress panel.
    badge(c, 14, 28)
    c.text(52, 31, "OVELIN", (28, 48, 100), scale=2, spacing=1, shadow=(160, 176, 210))
    c.text(53, 50, "GAME PORTAL", (96, 112, 146))
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
