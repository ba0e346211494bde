#!/usr/bin/env python3
"""Draws the agent's icon, a blue shield with a white check mark, and writes it as a Windows .ico file
with 16, 32 and 48 pixel images at 32 bits per pixel (alpha included).

    python3 tools/icons/make_agent_icon.py agent/win/res/agent.ico
"""
import math
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 4  # per axis: each pixel's coverage is the mean of 4 x 4 points

EDGE = (0x12, 0x3A, 0x7A)       # dark blue rim
FILL_TOP = (0x3F, 0x8E, 0xE8)   # light blue at the top
FILL_BOTTOM = (0x1C, 0x5C, 0xB8)
MARK = (0xFF, 0xFF, 0xFF)

TOP, SHOULDER, TIP = 0.06, 0.50, 0.95
HALF_WIDTH = 0.40
RIM = 0.07
CHECK = ((0.30, 0.50), (0.45, 0.66), (0.72, 0.34))
CHECK_HALF_THICKNESS = 0.065


def shield_half_width(v):
    """Half the shield's width at height v (0 at the top of the picture, 1 at the bottom)."""
    if v < TOP or v > TIP:
        return -1.0
    if v <= SHOULDER:
        return HALF_WIDTH
    return HALF_WIDTH * math.cos((v - SHOULDER) / (TIP - SHOULDER) * math.pi / 2)


def inside_shield(u, v, inset=0.0):
    if v < TOP + inset or v > TIP - inset * 1.6:
        return False
    return abs(u - 0.5) <= shield_half_width(v) - inset


def distance_to_segment(p, a, b):
    ax, ay = a
    bx, by = b
    px, py = p
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def on_check(u, v):
    return any(distance_to_segment((u, v), CHECK[i], CHECK[i + 1]) <= CHECK_HALF_THICKNESS for i in range(2))


def colour_at(u, v):
    """The colour of one sample point, or None outside the shield."""
    if not inside_shield(u, v):
        return None
    if not inside_shield(u, v, RIM):
        return EDGE
    if on_check(u, v):
        return MARK
    t = (v - TOP) / (TIP - TOP)
    return tuple(round(top + (bottom - top) * t) for top, bottom in zip(FILL_TOP, FILL_BOTTOM))


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    colour = colour_at((x + (sx + 0.5) / SAMPLES) / size, (y + (sy + 0.5) / SAMPLES) / size)
                    if colour is not None:
                        covered += 1
                        total = [t + c for t, c in zip(total, colour)]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                alpha = round(255 * covered / (SAMPLES * SAMPLES))
                row.append(tuple(round(t / covered) for t in total) + (alpha,))
        rows.append(row)
    return rows


def icon_image(size):
    """One image of the .ico: a BITMAPINFOHEADER of double height, BGRA rows bottom-up, then the AND mask."""
    rows = render(size)
    mask_stride = ((size + 31) // 32) * 4
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            pixels += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def icon_file(sizes):
    images = [icon_image(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_agent_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as out:
        out.write(icon_file(SIZES))


if __name__ == "__main__":
    main()
