#!/usr/bin/env python3
"""Draws the configurator's icon and writes it as a Windows .ico file.

The picture is the converter itself: a blue box with the computer's RS-232
plug on the left, the green RS-485 terminal block on the right and a double
arrow across the box. It is drawn from the same shapes at 16, 32 and 48
pixels (each pixel averaged over a 6 x 6 grid of samples, so the edges are
smooth), stored as 32-bit images with an alpha channel and a mask.

    make_icon.py OUTPUT.ico
"""
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 6

BODY = (47, 109, 181)
BODY_EDGE = (22, 55, 99)
PLUG = (176, 184, 194)
PLUG_EDGE = (70, 78, 88)
TERMINAL = (52, 160, 88)
TERMINAL_EDGE = (24, 84, 44)
ARROW = (255, 255, 255)
SCREW = (214, 220, 226)
SCREW_EDGE = (60, 66, 74)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def layers(size):
    """The shapes, back to front, in units of the icon's width; `s` is one pixel."""
    s = 1.0 / size
    edge = s if size < 48 else 1.5 * s
    out = []
    # The RS-232 plug: a trapezoid, wider at the box as a D-sub shell is.
    out.append((PLUG_EDGE, polygon([(0.03, 0.33), (0.19, 0.28), (0.19, 0.72), (0.03, 0.67)])))
    out.append((PLUG, polygon([(0.03 + edge, 0.33 + edge), (0.19, 0.28 + edge),
                               (0.19, 0.72 - edge), (0.03 + edge, 0.67 - edge)])))
    # The converter's box, the terminal block over its right edge.
    out.append((BODY_EDGE, rounded_rect(0.15, 0.17, 0.83, 0.83, 0.10)))
    out.append((BODY, rounded_rect(0.15 + edge, 0.17 + edge, 0.83 - edge, 0.83 - edge, 0.10 - edge)))
    # The RS-485 terminal block with its screws.
    out.append((TERMINAL_EDGE, rect(0.82, 0.30, 0.97, 0.70)))
    out.append((TERMINAL, rect(0.82 + edge, 0.30 + edge, 0.97 - edge, 0.70 - edge)))
    if size >= 32:
        for y in (0.40, 0.60):
            out.append((SCREW_EDGE, rounded_rect(0.845, y - 0.06, 0.945, y + 0.06, 0.05)))
            out.append((SCREW, rounded_rect(0.845 + edge, y - 0.06 + edge, 0.945 - edge, y + 0.06 - edge, 0.05 - edge)))
            out.append((SCREW_EDGE, rect(0.855, y - s / 2, 0.935, y + s / 2)))
    # The double arrow: one shaft, a head at each end.
    half = max(0.045, s)
    head = 0.17 if size >= 32 else 0.22
    tip = 0.22 if size >= 32 else 0.19
    out.append((ARROW, rect(tip + head / 2, 0.5 - half, 1 - tip - head / 2, 0.5 + half)))
    out.append((ARROW, polygon([(tip, 0.5), (tip + head, 0.5 - head), (tip + head, 0.5 + head)])))
    out.append((ARROW, polygon([(1 - tip, 0.5), (1 - tip - head, 0.5 - head), (1 - tip - head, 0.5 + head)])))
    return out


def render(size):
    """Rows of (r, g, b, a), top row first."""
    shapes = layers(size)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    colour = None
                    for c, inside in shapes:
                        if inside(x, y):
                            colour = c
                    if colour:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            n = SAMPLES * SAMPLES
            if a:
                row.append((r // a, g // a, b // a, 255 * a // n))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(size, rows):
    """The image as an icon stores it: a BITMAPINFOHEADER of twice the height, the
    colour rows bottom-up (BGRA), then the 1-bit mask (set = transparent)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    images = [dib(size, render(size)) for size in SIZES]
    offset = 6 + 16 * len(images)
    data = struct.pack("<HHH", 0, 1, len(images))
    for size, image in zip(SIZES, images):
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    data += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
