#!/usr/bin/env python3
"""Draws Vantle's bitmaps and writes them as BMP files beside this script:
About.bmp (bitmap 1 of Vantleres.dll, the About box), Wizard.bmp (bitmap 2,
the wizard's side panel), SmallImages.bmp (the program's strip of six
16 x 16 images in 16 colours, olive transparent) and the Outlook, GroupWise
and Eudora conduits' 32 x 32 pictures (conduits/outlook/res/Mapimail.bmp,
conduits/groupwise/res/Novmail.bmp, conduits/eudora/res/Boxmail.bmp).
Standard library only."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


class Canvas:
    def __init__(self, width, height, colour=(0, 0, 0)):
        self.w, self.h = width, height
        self.px = [[colour] * width for _ in range(height)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def blend(self, x, y, c, a):
        if 0 <= x < self.w and 0 <= y < self.h and a > 0:
            o = self.px[y][x]
            self.px[y][x] = tuple(round(o[i] + (c[i] - o[i]) * min(a, 1.0)) for i in range(3))

    def rect(self, x0, y0, x1, y1, c):
        x0, y0, x1, y1 = int(x0), int(y0), int(x1), int(y1)
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def gradient(self, top, bottom):
        for y in range(self.h):
            t = y / max(1, self.h - 1)
            c = tuple(round(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
            for x in range(self.w):
                self.px[y][x] = c

    def round_rect(self, x0, y0, x1, y1, r, c):
        """Filled, with anti-aliased corners."""
        x0, y0, x1, y1 = int(x0), int(y0), int(x1), int(y1)
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                cx = min(max(x + 0.5, x0 + r), x1 + 1 - r)
                cy = min(max(y + 0.5, y0 + r), y1 + 1 - r)
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                self.blend(x, y, c, r + 0.5 - d)

    def disc(self, cx, cy, r, c):
        for y in range(int(cy - r - 1), int(cy + r + 2)):
            for x in range(int(cx - r - 1), int(cx + r + 2)):
                self.blend(x, y, c, r + 0.5 - math.hypot(x + 0.5 - cx, y + 0.5 - cy))

    def line(self, x0, y0, x1, y1, width, c):
        length = math.hypot(x1 - x0, y1 - y0) or 1
        for y in range(int(min(y0, y1) - width - 1), int(max(y0, y1) + width + 2)):
            for x in range(int(min(x0, x1) - width - 1), int(max(x0, x1) + width + 2)):
                px, py = x + 0.5, y + 0.5
                t = max(0, min(1, ((px - x0) * (x1 - x0) + (py - y0) * (y1 - y0)) / (length * length)))
                d = math.hypot(px - (x0 + t * (x1 - x0)), py - (y0 + t * (y1 - y0)))
                self.blend(x, y, c, width / 2 + 0.5 - d)

    def polygon(self, points, c):
        for y in range(self.h):
            cy = y + 0.5
            xs = []
            for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
                if (ay <= cy < by) or (by <= cy < ay):
                    xs.append(ax + (cy - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for a, b in zip(xs[::2], xs[1::2]):
                for x in range(int(math.floor(a + 0.5)), int(math.floor(b + 0.5))):
                    self.put(x, y, c)

    def arc_arrow(self, cx, cy, r, start, end, width, c):
        """An arc from angle start to end (degrees, clockwise on screen) with a head at its end."""
        steps = 40
        pts = [(cx + r * math.cos(math.radians(start + (end - start) * i / steps)),
                cy + r * math.sin(math.radians(start + (end - start) * i / steps))) for i in range(steps + 1)]
        for (ax, ay), (bx, by) in zip(pts, pts[1:]):
            self.line(ax, ay, bx, by, width, c)
        ex, ey = pts[-1]
        direction = math.radians(end + (90 if end > start else -90))
        tip = (ex + math.cos(direction) * width * 1.6, ey + math.sin(direction) * width * 1.6)
        normal = direction + math.pi / 2
        back = (ex - math.cos(direction) * width * 0.6, ey - math.sin(direction) * width * 0.6)
        self.polygon([tip, (back[0] + math.cos(normal) * width * 1.4, back[1] + math.sin(normal) * width * 1.4),
                      (back[0] - math.cos(normal) * width * 1.4, back[1] - math.sin(normal) * width * 1.4)], c)

    def text(self, x, y, s, scale, c):
        for ch in s:
            rows = FONT[ch]
            for j, row in enumerate(rows):
                for i, bit in enumerate(row):
                    if bit == "#":
                        self.rect(x + i * scale, y + j * scale, x + (i + 1) * scale - 1, y + (j + 1) * scale - 1, c)
            x += (len(rows[0]) + 1) * scale


FONT = {
    "V": ["#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "N": ["#...#", "##..#", "#.#.#", "#.#.#", "#..##", "#...#", "#...#"],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
}

WHITE, INK = (255, 255, 255), (24, 40, 72)
ORANGE, GREEN = (255, 160, 40), (90, 200, 120)


def envelope(cv, x0, y0, w, h, paper=(250, 250, 245), edge=(60, 70, 90)):
    cv.round_rect(x0, y0, x0 + w - 1, y0 + h - 1, 2, edge)
    cv.round_rect(x0 + 1, y0 + 1, x0 + w - 2, y0 + h - 2, 1.5, paper)
    cv.line(x0 + 2, y0 + 2, x0 + w / 2, y0 + h * 0.55, 1.4, edge)
    cv.line(x0 + w - 3, y0 + 2, x0 + w / 2, y0 + h * 0.55, 1.4, edge)


def handheld(cv, x0, y0, w, h):
    cv.round_rect(x0, y0, x0 + w - 1, y0 + h - 1, 6, (40, 44, 52))
    cv.round_rect(x0 + 4, y0 + 8, x0 + w - 5, y0 + h * 0.62, 2, (200, 230, 215))
    for i in range(4):  # lines of mail on its screen
        yy = y0 + 13 + i * 6
        cv.line(x0 + 8, yy, x0 + w - 10 - (i % 2) * 8, yy, 2, (70, 110, 100))
    for k in range(3):
        cv.disc(x0 + w * (k + 1) / 4, y0 + h * 0.8, 3, (150, 155, 165))


def brand_panel(width, height, title_y, device_y):
    cv = Canvas(width, height)
    cv.gradient((22, 58, 120), (10, 130, 140))
    for k in range(6):  # soft rings behind the picture
        cv.disc(width * 0.7, height * 0.35, width * (0.55 - k * 0.06), tuple(
            min(255, v + 6) for v in cv.px[int(height * 0.35)][int(width * 0.7)]))
    cv.text((width - 6 * 12 + 2) // 2, title_y, "VANTLE", 2, WHITE)
    dw = int(width * 0.36)
    handheld(cv, int(width * 0.1), device_y, dw, int(dw * 1.75))
    envelope(cv, int(width * 0.56), device_y + 6, int(width * 0.36), int(width * 0.25))
    cx, cy, r = width * 0.5, device_y + dw * 0.95, width * 0.22
    cv.arc_arrow(cx + 4, cy, r, 200, 290, 4, ORANGE)
    cv.arc_arrow(cx + 4, cy + 4, r, 20, 110, 4, GREEN)
    return cv


def about():
    return brand_panel(120, 150, 12, 40)


def wizard():
    cv = brand_panel(150, 300, 20, 70)
    for i in range(3):  # a stack of mail below the picture
        envelope(cv, 38 + i * 8, 200 + i * 18, 60, 40)
    return cv


VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
       (0, 255, 255), (255, 255, 255)]
OLIVE = VGA[3]


def small_images():
    """Six 16 x 16 images: mail, marked, unmarked, reply, handheld, PC."""
    cells = []

    def cell(rows):
        cells.append([[VGA[int(ch, 16)] if ch != "." else OLIVE for ch in row] for row in rows])

    cell(["................", "................", "................", "8888888888888888",
          "8ff8ffffffff8ff8", "8f8f8ffffff8f8f8", "8ffff8ffff8ffff8", "8fffff8ff8fffff8",
          "8ffffff88ffffff8", "8fffff8ff8fffff8", "8ffff8ffff8ffff8", "8fff8ffffff8fff8",
          "8ff8ffffffff8ff8", "8888888888888888", "................", "................"])
    cell(["................", "................", "..000000000000..", "..0ffffffffff0..",
          "..0ffffffff2f0..", "..0fffffff22f0..", "..0f2ffff222f0..", "..0f22ff222ff0..",
          "..0f222222fff0..", "..0ff2222ffff0..", "..0fff22fffff0..", "..0ffffffffff0..",
          "..0ffffffffff0..", "..000000000000..", "................", "................"])
    cell(["................", "................", "..888888888888..", "..8ffffffffff8..",
          "..8ffffffffff8..", "..8ffffffffff8..", "..8ffffffffff8..", "..8ffffffffff8..",
          "..8ffffffffff8..", "..8ffffffffff8..", "..8ffffffffff8..", "..8ffffffffff8..",
          "..8ffffffffff8..", "..888888888888..", "................", "................"])
    cell(["................", ".....4..........", "....44..........", "...4444444......",
          "....44....4.....", ".....4.....4....", "8888888888888888", "8ff8ffffffff8ff8",
          "8fff8ffffff8fff8", "8ffff8ffff8ffff8", "8fffff8ff8fffff8", "8ffffff88ffffff8",
          "8ffffffffffffff8", "8888888888888888", "................", "................"])
    cell(["................", "....00000000....", "...0888888880...", "...0866666680...",
          "...08eeeeee80...", "...08e4444e80...", "...08eeeeee80...", "...08e4444e80...",
          "...08eeeeee80...", "...0866666680...", "...0888888880...", "...0878787880...",
          "...0888888880...", "...0878787880...", "....00000000....", "................"])
    cell(["................", ".00000000000000.", ".08888888888880.", ".08444444444480.",
          ".084cccccccc480.", ".084cfcccccc480.", ".084cccccccc480.", ".084cccccccc480.",
          ".08444444444480.", ".08888888888880.", ".00000000000000.", "......0880......",
          "....00888800....", "...0777777770...", "...0000000000...", "................"])
    cv = Canvas(96, 16, OLIVE)
    for k, c in enumerate(cells):
        for y in range(16):
            for x in range(16):
                cv.px[y][16 * k + x] = c[y][x]
    return cv


def conduit_picture(top=(22, 58, 120), bottom=(10, 130, 140)):
    """A conduit's 32 x 32 picture: a mail passing to a handheld, on the
    conduit's own colours."""
    cv = Canvas(32, 32)
    cv.gradient(top, bottom)
    cv.round_rect(17, 3, 29, 28, 3, (40, 44, 52))
    cv.round_rect(19, 7, 27, 19, 1, (200, 230, 215))
    for k in range(2):
        cv.disc(21 + k * 4, 24, 1.2, (150, 155, 165))
    envelope(cv, 2, 11, 17, 12)
    cv.arc_arrow(16, 14, 11, 200, 250, 1.6, ORANGE)
    return cv


def write_bmp24(path, cv):
    row = (cv.w * 3 + 3) & ~3
    data = bytearray()
    for y in reversed(range(cv.h)):
        line = bytearray()
        for r, g, b in cv.px[y]:
            line += bytes((b, g, r))
        data += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_bmp4(path, cv):
    index = {c: i for i, c in enumerate(VGA)}
    row = ((cv.w + 1) // 2 + 3) & ~3
    data = bytearray()
    for y in reversed(range(cv.h)):
        line = bytearray()
        for x in range(0, cv.w, 2):
            hi = index[cv.px[y][x]]
            lo = index[cv.px[y][x + 1]] if x + 1 < cv.w else 0
            line.append(hi << 4 | lo)
        data += line + bytes(row - len(line))
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    offset = 54 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h, 1, 4, 0, len(data), 2835, 2835, 16, 16)
    with open(path, "wb") as f:
        f.write(header + info + palette + data)


if __name__ == "__main__":
    write_bmp24(os.path.join(HERE, "About.bmp"), about())
    write_bmp24(os.path.join(HERE, "Wizard.bmp"), wizard())
    write_bmp4(os.path.join(HERE, "SmallImages.bmp"), small_images())
    write_bmp24(os.path.join(HERE, "..", "..", "..", "conduits", "outlook", "res", "Mapimail.bmp"), conduit_picture())
    write_bmp24(os.path.join(HERE, "..", "..", "..", "conduits", "groupwise", "res", "Novmail.bmp"),
                conduit_picture((128, 24, 36), (190, 80, 40)))
    write_bmp24(os.path.join(HERE, "..", "..", "..", "conduits", "eudora", "res", "Boxmail.bmp"),
                conduit_picture((24, 96, 48), (110, 160, 40)))
