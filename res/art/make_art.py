#!/usr/bin/env python3
"""Draws the program's icons and bitmaps (every file named in res/Art.def).

Pure Python 3 standard library. Run from anywhere:

    python3 res/art/make_art.py          # (re)write the files beside this script
    python3 res/art/make_art.py --check  # re-read them and check size and format

All images are palette images with exact colours (no antialiasing), so a
screenshot of the running program can be checked pixel by pixel.

Formats, chosen because windres and LoadImage read them on every Windows
family and under Wine:
  *.ico  ICONDIR with BITMAPINFOHEADER images, 8 bits per pixel, a 256-entry
         palette, the XOR image bottom-up, then the 1-bit AND mask (1 =
         transparent; transparent pixels are black in the XOR image).
  *.bmp  BITMAPFILEHEADER + BITMAPINFOHEADER, 8 bits per pixel, BI_RGB,
         256-entry palette, rows bottom-up, each padded to 4 bytes.

Progress bar fill (bitmap 140, progress_bar.bmp, 248 x 24). Every row is one
colour over its whole width, and no two rows share a colour, so a pixel of
the bar on screen tells which row of the bitmap it shows. The bar control
copies the bitmap's top-left part without stretching, so a bar of inner
height h shows rows 0..h-1. Rows as (red, green, blue):
    row  0: ( 32, 112,  32)  top edge
    row  1: ( 64, 160,  64)
    row  2: (184, 248, 184)  light line near the top
    row  3: (136, 224, 136)
    row  4: (112, 208, 112)
    row  5: (108, 204, 108)
    row  6: (104, 200, 104)
    row  7: (100, 196, 100)
    row  8: ( 96, 192,  96)
    row  9: ( 92, 188,  92)
    row 10: ( 88, 184,  88)
    row 11: ( 84, 180,  84)
    row 12: ( 80, 176,  80)
    row 13: ( 76, 172,  76)
    row 14: ( 72, 168,  72)
    row 15: ( 68, 164,  68)
    row 16: ( 64, 160,  60)
    row 17: ( 60, 156,  56)
    row 18: ( 56, 152,  52)
    row 19: ( 52, 148,  48)
    row 20: ( 48, 144,  44)
    row 21: ( 16,  72,  16)  dark line near the bottom
    row 22: ( 40, 128,  40)
    row 23: ( 24,  96,  24)  bottom edge
"""

import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# The table in the docstring above, as data. Keep both in step.
PROGRESS_ROWS = [
    (32, 112, 32), (64, 160, 64), (184, 248, 184), (136, 224, 136),
    (112, 208, 112), (108, 204, 108), (104, 200, 104), (100, 196, 100),
    (96, 192, 96), (92, 188, 92), (88, 184, 88), (84, 180, 84),
    (80, 176, 80), (76, 172, 76), (72, 168, 72), (68, 164, 68),
    (64, 160, 60), (60, 156, 56), (56, 152, 52), (52, 148, 48),
    (48, 144, 44), (16, 72, 16), (40, 128, 40), (24, 96, 24),
]
PROGRESS_SIZE = (248, 24)

# file name -> (kind, sizes); the sizes the resources must have.
FILES = {
    "orvex.ico": ("ico", [(32, 32), (16, 16)]),
    "update_out.ico": ("ico", [(32, 32)]),
    "update_in.ico": ("ico", [(32, 32)]),
    "cancel_out.ico": ("ico", [(32, 32)]),
    "cancel_in.ico": ("ico", [(32, 32)]),
    "progress_bar.bmp": ("bmp", [PROGRESS_SIZE]),
    "open_normal.bmp": ("bmp", [(100, 99)]),
    "open_pressed.bmp": ("bmp", [(100, 99)]),
    "open_disabled.bmp": ("bmp", [(100, 99)]),
    "about.bmp": ("bmp", [(148, 82)]),
}

# Colours used by the drawings.
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
FACE = (192, 192, 192)        # the classic button face
HILITE = (255, 255, 255)
SHADOW = (128, 128, 128)
DKSHADOW = (64, 64, 64)
DRIVE = (168, 172, 180)
DRIVE_DARK = (96, 100, 108)
SLOT = (32, 32, 40)
LED = (255, 176, 0)
GREEN = (24, 160, 48)
GREEN_DARK = (8, 96, 24)
RED = (216, 32, 32)
RED_DARK = (128, 8, 8)
DISC = (208, 212, 224)
DISC_RIM = (120, 124, 140)
DISC_HOLE = (250, 250, 250)
FOLDER = (240, 200, 80)
FOLDER_DARK = (176, 128, 32)
NAVY = (24, 40, 112)


class Canvas:
    """A width x height picture of RGB tuples; None marks transparency."""

    def __init__(self, w, h, fill=None):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Fills [x0, x1) x [y0, y1)."""
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.px[y][x] = c

    def frame(self, x0, y0, x1, y1, c):
        self.rect(x0, y0, x1, y0 + 1, c)
        self.rect(x0, y1 - 1, x1, y1, c)
        self.rect(x0, y0, x0 + 1, y1, c)
        self.rect(x1 - 1, y0, x1, y1, c)

    def ellipse(self, cx, cy, rx, ry, c):
        """Fills the pixels whose centres lie inside the ellipse."""
        for y in range(self.h):
            for x in range(self.w):
                dx, dy = (x + 0.5 - cx) / rx, (y + 0.5 - cy) / ry
                if dx * dx + dy * dy <= 1.0:
                    self.px[y][x] = c

    def polygon(self, pts, c):
        """Fills the pixels whose centres lie inside the polygon (even-odd)."""
        n = len(pts)
        for y in range(self.h):
            py = y + 0.5
            for x in range(self.w):
                pxc = x + 0.5
                inside = False
                for i in range(n):
                    (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % n]
                    if (ya > py) != (yb > py):
                        xi = xa + (py - ya) * (xb - xa) / (yb - ya)
                        if pxc < xi:
                            inside = not inside
                if inside:
                    self.px[y][x] = c

    def thick_line(self, x0, y0, x1, y1, width, c):
        """Fills pixels within width/2 of the segment (x0,y0)-(x1,y1)."""
        r = width / 2.0
        vx, vy = x1 - x0, y1 - y0
        ll = vx * vx + vy * vy
        for y in range(self.h):
            for x in range(self.w):
                pxc, pyc = x + 0.5, y + 0.5
                t = 0.0 if ll == 0 else max(0.0, min(1.0, ((pxc - x0) * vx + (pyc - y0) * vy) / ll))
                dx, dy = pxc - (x0 + t * vx), pyc - (y0 + t * vy)
                if dx * dx + dy * dy <= r * r:
                    self.px[y][x] = c

    def text(self, x, y, s, c, scale=1):
        """Draws s in the 5x7 font below, one column of space between letters."""
        for ch in s:
            glyph = FONT.get(ch)
            if glyph is None:
                raise ValueError("no glyph for %r" % ch)
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit == "#":
                        self.rect(x + gx * scale, y + gy * scale,
                                  x + (gx + 1) * scale, y + (gy + 1) * scale, c)
            x += 6 * scale

    def map(self, fn):
        out = Canvas(self.w, self.h)
        out.px = [[None if p is None else fn(p) for p in row] for row in self.px]
        return out

    def shifted(self, dx, dy, fill):
        out = Canvas(self.w, self.h, fill)
        for y in range(self.h):
            for x in range(self.w):
                sx, sy = x - dx, y - dy
                if 0 <= sx < self.w and 0 <= sy < self.h:
                    out.px[y][x] = self.px[sy][sx]
        return out


def text_width(s, scale=1):
    return (6 * len(s) - 1) * scale


FONT = {
    "O": [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "P": ["#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "],
    "E": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"],
    "N": ["#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
    "V": ["#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "],
    "X": ["#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"],
    "5": ["#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "],
    "0": [" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "],
    "6": ["  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "],
    "W": ["#   #", "#   #", "#   #", "# # #", "# # #", "## ##", "#   #"],
    ".": ["     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "],
    " ": ["     "] * 7,
}


def darker(c, f=0.78):
    return tuple(int(v * f) for v in c)


def greyed(c):
    """Disabled look: the colour's luminance pulled towards the face grey."""
    lum = (c[0] * 30 + c[1] * 59 + c[2] * 11) // 100
    return (lum // 2 + 96,) * 3


# ---------------------------------------------------------------- drawings

def draw_drive(cv, x0, y0, x1, y1):
    """A front view of a drive: body, tray slot, activity light."""
    cv.rect(x0, y0, x1, y1, DRIVE)
    cv.frame(x0, y0, x1, y1, DRIVE_DARK)
    h = y1 - y0
    slot_y = y0 + max(2, h // 3)
    cv.rect(x0 + 3, slot_y, x1 - 3, slot_y + max(1, h // 6), SLOT)
    cv.rect(x1 - 6, y1 - 4, x1 - 3, y1 - 2, LED)


def draw_arrow_down(cv, cx, top, bottom, half_w, c):
    shaft = half_w * 0.45
    head_top = bottom - half_w * 1.1
    cv.polygon([(cx - shaft, top), (cx + shaft, top), (cx + shaft, head_top),
                (cx + half_w, head_top), (cx, bottom), (cx - half_w, head_top),
                (cx - shaft, head_top)], c)


def icon_update(pressed):
    cv = Canvas(32, 32)
    draw_drive(cv, 2, 19, 30, 30)
    draw_arrow_down(cv, 16, 1, 23, 9.5, GREEN_DARK)
    draw_arrow_down(cv, 16, 2.5, 21, 7.5, GREEN)
    return cv.map(darker) if pressed else cv


def icon_cancel(pressed):
    cv = Canvas(32, 32)
    cv.thick_line(7, 7, 25, 25, 8, RED_DARK)
    cv.thick_line(25, 7, 7, 25, 8, RED_DARK)
    cv.thick_line(7, 7, 25, 25, 5, RED)
    cv.thick_line(25, 7, 7, 25, 5, RED)
    return cv.map(darker) if pressed else cv


def icon_app(size):
    """A disc over a drive with the green download arrow; the small image
    leaves the disc out, which would be a blur at 16 pixels."""
    cv = Canvas(size, size)
    if size >= 32:
        cv.ellipse(12, 12, 11.5, 11.5, DISC_RIM)
        cv.ellipse(12, 12, 10.5, 10.5, DISC)
        cv.ellipse(12, 12, 3, 3, DISC_RIM)
        cv.ellipse(12, 12, 1.6, 1.6, DISC_HOLE)
        draw_drive(cv, 2, 22, 31, 31)
        draw_arrow_down(cv, 25, 2, 21, 6.5, GREEN_DARK)
        draw_arrow_down(cv, 25, 3.5, 19.5, 4.5, GREEN)
    else:
        draw_drive(cv, 0, 10, 16, 16)
        draw_arrow_down(cv, 8, 0, 11, 5.5, GREEN_DARK)
        draw_arrow_down(cv, 8, 1, 9.8, 3.8, GREEN)
    return cv


def open_face(pressed):
    """The Open button: raised (or sunken) face, folder with a disc, OPEN."""
    w, h = 100, 99
    cv = Canvas(w, h, FACE)
    # The picture, drawn once and shifted by one pixel when pressed.
    pic = Canvas(w, h, FACE)
    pic.polygon([(20, 22), (40, 22), (45, 28), (80, 28), (80, 66), (20, 66)], FOLDER_DARK)
    pic.rect(21, 29, 79, 65, FOLDER)
    pic.ellipse(58, 38, 15, 15, DISC_RIM)
    pic.ellipse(58, 38, 14, 14, DISC)
    pic.ellipse(58, 38, 4, 4, DISC_RIM)
    pic.ellipse(58, 38, 2, 2, DISC_HOLE)
    pic.polygon([(16, 40), (84, 40), (78, 70), (22, 70)], FOLDER_DARK)
    pic.polygon([(17, 41), (83, 41), (77, 69), (23, 69)], FOLDER)
    pic.text((w - text_width("OPEN", 2)) // 2, 76, "OPEN", NAVY, 2)
    if pressed:
        pic = pic.shifted(1, 1, FACE).map(darker)
        cv.rect(0, 0, w, h, darker(FACE))
    for y in range(2, h - 2):
        for x in range(2, w - 2):
            cv.px[y][x] = pic.px[y][x]
    if pressed:
        cv.frame(0, 0, w, h, BLACK)
        cv.frame(1, 1, w - 1, h - 1, SHADOW)
    else:
        cv.rect(0, 0, w - 1, 1, HILITE)
        cv.rect(0, 0, 1, h - 1, HILITE)
        cv.rect(0, h - 1, w, h, DKSHADOW)
        cv.rect(w - 1, 0, w, h, DKSHADOW)
        cv.rect(1, h - 2, w - 1, h - 1, SHADOW)
        cv.rect(w - 2, 1, w - 1, h - 1, SHADOW)
    return cv


def about_picture():
    w, h = 148, 82
    cv = Canvas(w, h, WHITE)
    for y in range(h):  # a soft vertical band of blue, in 8 steps
        c = (200 + (y * 8 // h) * 6, 216 + (y * 8 // h) * 4, 255)
        cv.rect(0, y, w, y + 1, c)
    cv.ellipse(30, 32, 25, 25, DISC_RIM)
    cv.ellipse(30, 32, 24, 24, DISC)
    cv.ellipse(30, 32, 7, 7, DISC_RIM)
    cv.ellipse(30, 32, 3.5, 3.5, DISC_HOLE)
    draw_drive(cv, 6, 58, 92, 76)
    draw_arrow_down(cv, 70, 8, 55, 12, GREEN_DARK)
    draw_arrow_down(cv, 70, 10.5, 51.5, 9.5, GREEN)
    cv.text(88, 14, "ORVEX", NAVY, 2)
    cv.text(94, 34, "5.00.05W", NAVY, 1)
    cv.frame(0, 0, w, h, DRIVE_DARK)
    return cv


def progress_bar():
    w, h = PROGRESS_SIZE
    cv = Canvas(w, h)
    for y, c in enumerate(PROGRESS_ROWS):
        cv.rect(0, y, w, y + 1, c)
    return cv


# ---------------------------------------------------------------- writers

def palette_of(canvases):
    """One palette for the given pictures; black first (transparent XOR)."""
    colours = [BLACK]
    seen = {BLACK}
    for cv in canvases:
        for row in cv.px:
            for p in row:
                if p is not None and p not in seen:
                    seen.add(p)
                    colours.append(p)
    if len(colours) > 256:
        raise ValueError("more than 256 colours")
    return colours


def palette_bytes(colours):
    out = bytearray()
    for r, g, b in colours:
        out += bytes((b, g, r, 0))
    out += bytes(4 * (256 - len(colours)))
    return bytes(out)


def dib_8bit(cv, colours):
    """The bottom-up 8-bit rows of cv, each padded to 4 bytes."""
    index = {c: i for i, c in enumerate(colours)}
    stride = (cv.w + 3) & ~3
    data = bytearray()
    for y in range(cv.h - 1, -1, -1):
        row = bytes(0 if p is None else index[p] for p in cv.px[y])
        data += row + bytes(stride - cv.w)
    return bytes(data)


def info_header(w, h, bits, image_size):
    # biSize, biWidth, biHeight, biPlanes, biBitCount, biCompression,
    # biSizeImage, biXPelsPerMeter, biYPelsPerMeter, biClrUsed, biClrImportant
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, image_size, 2835, 2835, 256, 0)


def bmp_bytes(cv):
    colours = palette_of([cv])
    pixels = dib_8bit(cv, colours)
    head = info_header(cv.w, cv.h, 8, len(pixels)) + palette_bytes(colours)
    offset = 14 + len(head)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + head + pixels


def and_mask(cv):
    stride = ((cv.w + 31) // 32) * 4
    out = bytearray()
    for y in range(cv.h - 1, -1, -1):
        bits = bytearray(stride)
        for x, p in enumerate(cv.px[y]):
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def ico_bytes(canvases):
    images = []
    for cv in canvases:
        colours = palette_of([cv])
        xor = dib_8bit(cv, colours)
        mask = and_mask(cv)
        images.append(info_header(cv.w, cv.h * 2, 8, len(xor) + len(mask))
                      + palette_bytes(colours) + xor + mask)
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for cv, img in zip(canvases, images):
        out += struct.pack("<BBBBHHII", cv.w % 256, cv.h % 256, 0, 0, 1, 8, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    return bytes(out)


def build():
    return {
        "orvex.ico": ico_bytes([icon_app(32), icon_app(16)]),
        "update_out.ico": ico_bytes([icon_update(False)]),
        "update_in.ico": ico_bytes([icon_update(True)]),
        "cancel_out.ico": ico_bytes([icon_cancel(False)]),
        "cancel_in.ico": ico_bytes([icon_cancel(True)]),
        "progress_bar.bmp": bmp_bytes(progress_bar()),
        "open_normal.bmp": bmp_bytes(open_face(False)),
        "open_pressed.bmp": bmp_bytes(open_face(True)),
        "open_disabled.bmp": bmp_bytes(open_face(False).map(greyed)),
        "about.bmp": bmp_bytes(about_picture()),
    }


# ---------------------------------------------------------------- reader

def read_dib(data, at, where):
    """Checks a BITMAPINFOHEADER DIB at `at`; returns its width, height,
    palette (RGB tuples), the offset of its pixels and its row stride."""
    size, w, h, planes, bits, comp, img_size = struct.unpack_from("<IiiHHII", data, at)
    clr_used = struct.unpack_from("<I", data, at + 32)[0]
    assert size == 40, "%s: header size %d, want 40" % (where, size)
    assert planes == 1 and comp == 0, "%s: planes %d compression %d" % (where, planes, comp)
    assert bits == 8, "%s: %d bits per pixel, want 8" % (where, bits)
    assert h > 0, "%s: rows must be bottom-up" % where
    n_colours = clr_used or 256
    assert n_colours == 256, "%s: palette of %d, want 256" % (where, n_colours)
    pal_at = at + size
    pal = [tuple(reversed(data[pal_at + 4 * i: pal_at + 4 * i + 3])) for i in range(n_colours)]
    pix_at = pal_at + 4 * n_colours
    stride = (w + 3) & ~3
    return w, h, pal, pix_at, stride


def check_bmp(name, data, want):
    assert data[:2] == b"BM", "%s: not a BMP" % name
    file_size, _, _, off = struct.unpack_from("<IHHI", data, 2)
    assert file_size == len(data), "%s: size field %d, file %d" % (name, file_size, len(data))
    w, h, pal, pix_at, stride = read_dib(data, 14, name)
    assert pix_at == off, "%s: pixel offset %d, want %d" % (name, off, pix_at)
    assert (w, h) == want, "%s: %dx%d, want %dx%d" % (name, w, h, want[0], want[1])
    assert len(data) == off + stride * h, "%s: pixel data length" % name

    def pixel(x, y):
        return pal[data[off + (h - 1 - y) * stride + x]]
    return pixel


def check_ico(name, data, want):
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert reserved == 0 and kind == 1, "%s: not an icon file" % name
    assert count == len(want), "%s: %d images, want %d" % (name, count, len(want))
    for i, (ww, wh) in enumerate(want):
        bw, bh, ncol, _, planes, bits, nbytes, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        assert (bw, bh) == (ww % 256, wh % 256), "%s[%d]: %dx%d, want %dx%d" % (name, i, bw, bh, ww, wh)
        assert planes == 1 and bits == 8 and ncol == 0, "%s[%d]: entry format" % (name, i)
        assert off + nbytes <= len(data), "%s[%d]: image past the end" % (name, i)
        w, h2, pal, pix_at, stride = read_dib(data, off, "%s[%d]" % (name, i))
        assert (w, h2) == (ww, 2 * wh), "%s[%d]: header %dx%d, want %dx%d" % (name, i, w, h2, ww, 2 * wh)
        mask_stride = ((w + 31) // 32) * 4
        assert pix_at + stride * wh + mask_stride * wh == off + nbytes, "%s[%d]: XOR and AND sizes" % (name, i)
        mask = data[pix_at + stride * wh: off + nbytes]
        opaque = sum(8 - bin(b).count("1") for b in mask)
        assert opaque > 0, "%s[%d]: fully transparent" % (name, i)


def check(files):
    for name, (kind, sizes) in FILES.items():
        path = os.path.join(HERE, name)
        with open(path, "rb") as f:
            data = f.read()
        if kind == "ico":
            check_ico(name, data, sizes)
        else:
            pixel = check_bmp(name, data, sizes[0])
            if name == "progress_bar.bmp":
                for y, want in enumerate(PROGRESS_ROWS):
                    for x in (0, 1, 123, 247):
                        got = pixel(x, y)
                        assert got == want, "%s: pixel (%d,%d) is %s, want %s" % (name, x, y, got, want)
                assert len(set(PROGRESS_ROWS)) == len(PROGRESS_ROWS), "progress rows share a colour"
        if files is not None:
            assert files[name] == data, "%s: differs from what the script draws; run it again" % name
        print("ok %-18s %s %s" % (name, kind, " ".join("%dx%d" % s for s in sizes)))


def main(argv):
    drawn = build()
    if "--check" in argv:
        check(drawn)
        return 0
    for name, data in drawn.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)
        print("wrote %s (%d bytes)" % (name, len(data)))
    check(drawn)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
