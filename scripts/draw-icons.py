#!/usr/bin/env python3
"""Draws the caption-button and thumbnail icons of the capture module and the program icon of the
device monitor as 32 x 32 PNG files.

Each icon is a few shapes on a transparent ground, supersampled 8 x 8 per pixel for smooth edges:
the capture module's in light grey (white for the hot state of a thumbnail icon), the monitor's in
layers of colour. Run it again after changing a drawing; the PNG files are kept in the tree.
"""
import math
import os
import struct
import sys
import zlib

SIZE = 32
SUB = 8
COLOUR = (0xDC, 0xDC, 0xDC)


def coverage(shapes):
    """Fraction of each pixel covered by any of the shapes (functions of x, y in pixels)."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            hits = 0
            for sy in range(SUB):
                for sx in range(SUB):
                    x = px + (sx + 0.5) / SUB
                    y = py + (sy + 0.5) / SUB
                    if any(shape(x, y) for shape in shapes):
                        hits += 1
            row.append(hits / (SUB * SUB))
        rows.append(row)
    return rows


def rect(l, t, r, b):
    return lambda x, y: l <= x < r and t <= y < b


def frame(l, t, r, b, w, top=None):
    top = w if top is None else top
    return [rect(l, t, r, t + top), rect(l, b - w, r, b), rect(l, t, l + w, b), rect(r - w, t, r, b)]


def line(x0, y0, x1, y1, w):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        cx, cy = x0 + t * dx, y0 + t * dy
        return (x - cx) ** 2 + (y - cy) ** 2 <= (w / 2) ** 2

    return inside


def outside(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


def ring(cx, cy, r, w, start=0.0, sweep=360.0):
    """A circular band of width w; with start and sweep (degrees, clockwise from 3 o'clock) an arc."""

    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > w / 2:
            return False
        a = (math.degrees(math.atan2(y - cy, x - cx)) - start) % 360.0
        return a <= sweep

    return inside


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def gear(cx, cy, r, teeth, w):
    def inside(x, y):
        dx, dy = x - cx, y - cy
        d = math.hypot(dx, dy)
        if d > r + 3 or d < r - w - 2.2:
            return False
        if d <= r and d >= r - w:
            return True
        a = (math.atan2(dy, dx) / (2 * math.pi) * teeth) % 1.0
        return d > r and abs(a - 0.5) < 0.22

    return inside


def triangle(a, b, c):
    def side(p, q, x, y):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    def inside(x, y):
        s1, s2, s3 = side(a, b, x, y), side(b, c, x, y), side(c, a, x, y)
        return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)

    return inside


# Thumbnail icons: a waste bin marks a kept file (a click deletes it), a turning arrow a deleted
# one (a click restores it). The hot forms are white and sit in a ring.
BIN = [rect(9, 8, 23, 10.5), rect(13.5, 5.5, 18.5, 8), *frame(10.5, 11, 21.5, 26, 2), rect(14.2, 13, 15.8, 24),
       rect(16.2, 13, 17.8, 24)]
RESTORE = [ring(16, 16, 7.5, 2.6, 200, 290), triangle((4.5, 11.5), (12.5, 11.5), (8.5, 18.5))]
HOT_RING = [ring(16, 16, 14.5, 1.6)]
WHITE = (0xFF, 0xFF, 0xFF)


ICONS = {
    # exit: a cross
    10001: [line(9, 9, 23, 23, 2.6), line(23, 9, 9, 23, 2.6)],
    # maximise: one window with a heavier title edge
    10002: frame(8, 8, 24, 24, 2, 4),
    # minimise: a bar at the foot
    10003: [rect(8, 21, 24, 24)],
    # restore: two windows, the back one showing only where the front one does not cover it
    10005: [outside(s, rect(7, 12, 21, 25)) for s in frame(11, 7, 25, 20, 2, 3)] + frame(7, 12, 21, 25, 2, 3),
    # still: a camera body with its lens and shutter bump
    10006: frame(5, 10, 27, 26, 2) + [rect(11, 7, 18, 10), ring(16, 18, 4, 2), disc(16, 18, 1.6)],
    # close: a door left open with an arrow going out
    10007: [rect(7, 6, 9, 26), rect(7, 6, 17, 8), rect(7, 24, 17, 26), rect(15, 6, 17, 11), rect(15, 21, 17, 26),
            line(12, 16, 25, 16, 2.4), line(25, 16, 21, 12, 2.4), line(25, 16, 21, 20, 2.4)],
    # save: a diskette with its shutter and label
    10008: frame(6, 6, 26, 26, 2) + [rect(11, 6, 21, 12), rect(10, 17, 22, 26)],
    # settings: a toothed wheel
    10009: [gear(16, 16, 8, 8, 2.5)],
    # video: a camera box with the viewfinder cone at its side
    10010: frame(4, 10, 20, 23, 2) + [triangle((21, 16.5), (28, 11), (28, 22))],
    # thumbnail strip: kept file (normal, hot), deleted file (normal, hot)
    10017: BIN,
    10018: (BIN + HOT_RING, WHITE),
    10019: RESTORE,
    10020: (RESTORE + HOT_RING, WHITE),
}


# The device monitor's program icon: a camera (body, lens, viewfinder) over a blue screen.
MONITOR_ICONS = {
    128: [
        ((0x2E, 0x6D, 0xB4), [rect(2, 4, 30, 26)]),
        ((0x1E, 0x1E, 0x1E), [rect(4, 6, 28, 24), rect(12, 26, 20, 28), rect(8, 28, 24, 30)]),
        ((0xDC, 0xDC, 0xDC), [rect(8, 11, 24, 21), rect(11, 9, 16, 11)]),
        ((0x2E, 0x6D, 0xB4), [disc(16, 16, 4)]),
        ((0x1E, 0x1E, 0x1E), [disc(16, 16, 2)]),
    ],
}


def layered(layers):
    """Colour and coverage per pixel, each layer painted over those before it."""
    first = layers[0][0]
    pixels = [[(first[0], first[1], first[2], 0.0)] * SIZE for _ in range(SIZE)]
    for colour, shapes in layers:
        cover = coverage(shapes)
        for y in range(SIZE):
            for x in range(SIZE):
                a = cover[y][x]
                r0, g0, b0, a0 = pixels[y][x]
                out = a + a0 * (1 - a)
                mix = [(c * a + c0 * a0 * (1 - a)) / out if out else c0 for c, c0 in zip(colour, (r0, g0, b0))]
                pixels[y][x] = (mix[0], mix[1], mix[2], out)
    return pixels


def png(rows):
    raw = b""
    for row in rows:
        raw += b"\x00" + b"".join(bytes([round(r), round(g), round(b), round(a * 255)]) for r, g, b, a in row)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    drawings = []
    for ident, drawing in ICONS.items():
        shapes, colour = drawing if isinstance(drawing, tuple) else (drawing, COLOUR)
        drawings.append(("capture", ident, [(colour, shapes)]))
    drawings += [("monitor", ident, layers) for ident, layers in MONITOR_ICONS.items()]
    for module, ident, layers in drawings:
        out = os.path.join(root, module, "icons")
        os.makedirs(out, exist_ok=True)
        with open(os.path.join(out, f"{ident}.png"), "wb") as f:
            f.write(png(layered(layers)))


if __name__ == "__main__":
    main()
