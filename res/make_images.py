#!/usr/bin/env python3
"""Draws the program's icons and its background picture.

Usage: make_images.py OUTPUT_FOLDER

Every picture is described as layers of simple shapes on a unit square and
rasterised with 4 x 4 samples per pixel, so each icon size is drawn from the
same geometry. Icons are written as .ico files with 16, 24, 32 and 48 pixel
images (32-bit colour with alpha); the background as a 24-bit .bmp. Only the
Python standard library is used, and the output is the same at every run.
"""

import math
import os
import struct
import sys

SAMPLES = 4
# 32 pixels first: a control that asks for the "real size" of an icon gets the
# first image of the group.
ICON_SIZES = (32, 48, 24, 16)
BACKDROP_SIZE = (262, 162)


def rgb(hex_text):
    value = int(hex_text.lstrip("#"), 16)
    return ((value >> 16) & 255, (value >> 8) & 255, value & 255)


BLUE = rgb("#2d7dd2")
DEEP_BLUE = rgb("#1f5fa8")
GREEN = rgb("#34a865")
RED = rgb("#dc4c4b")
SLATE = rgb("#4a5a6e")
SLATE_LIGHT = rgb("#8fa1b5")
FOLDER_BACK = rgb("#dd9d1f")
FOLDER_FRONT = rgb("#f6c350")
PAGE_EDGE = rgb("#4f74a8")
PAGE_FOLD = rgb("#b9cde6")
WHITE = (255, 255, 255)


# Shapes: each is (test(x, y) -> bool, bounding box (x0, y0, x1, y1)).

def circle(cx, cy, r):
    r2 = r * r
    return (lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r2,
            (cx - r, cy - r, cx + r, cy + r))


def rounded_rect(x0, y0, x1, y1, radius):
    def test(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        dx = max(x0 + radius - x, 0.0, x - (x1 - radius))
        dy = max(y0 + radius - y, 0.0, y - (y1 - radius))
        return dx * dx + dy * dy <= radius * radius
    return test, (x0, y0, x1, y1)


def polygon(points):
    def test(x, y):
        inside = False
        count = len(points)
        for i in range(count):
            xa, ya = points[i]
            xb, yb = points[(i + 1) % count]
            if (ya > y) != (yb > y):
                cross = xa + (y - ya) * (xb - xa) / (yb - ya)
                if x < cross:
                    inside = not inside
        return inside
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return test, (min(xs), min(ys), max(xs), max(ys))


def stroke(points, width):
    """A polyline with round caps and joins."""
    half = width / 2.0
    segments = list(zip(points, points[1:]))

    def near(x, y):
        for (xa, ya), (xb, yb) in segments:
            vx, vy = xb - xa, yb - ya
            length2 = vx * vx + vy * vy
            t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - xa) * vx + (y - ya) * vy) / length2))
            px, py = xa + t * vx - x, ya + t * vy - y
            if px * px + py * py <= half * half:
                return True
        return False
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return near, (min(xs) - half, min(ys) - half, max(xs) + half, max(ys) + half)


def arc_points(cx, cy, r, start_degrees, end_degrees, steps=24):
    """Points of an arc, angles counter-clockwise from the right with y upward."""
    result = []
    for i in range(steps + 1):
        angle = math.radians(start_degrees + (end_degrees - start_degrees) * i / steps)
        result.append((cx + r * math.cos(angle), cy - r * math.sin(angle)))
    return result


def vertical_gradient(top, bottom, y0=0.0, y1=1.0):
    def colour(_x, y):
        t = min(1.0, max(0.0, (y - y0) / (y1 - y0)))
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
    return colour


def solid(colour):
    return lambda _x, _y: colour


# Icons: layers from the bottom up, each (shape, colour function).

def icon_app():
    badge = rounded_rect(0.06, 0.06, 0.94, 0.94, 0.2)
    letter = stroke([(0.28, 0.71), (0.28, 0.31), (0.5, 0.56), (0.72, 0.31), (0.72, 0.71)], 0.13)
    return [(badge, vertical_gradient(rgb("#3a8fe0"), DEEP_BLUE, 0.06, 0.94)),
            (letter, solid(WHITE))]


def icon_install():
    tray = stroke([(0.13, 0.6), (0.13, 0.86), (0.87, 0.86), (0.87, 0.6)], 0.11)
    shaft = rounded_rect(0.41, 0.08, 0.59, 0.5, 0.04)
    head = polygon([(0.22, 0.44), (0.78, 0.44), (0.5, 0.74)])
    return [(tray, solid(SLATE)), (shaft, solid(BLUE)), (head, solid(BLUE))]


def icon_script_page():
    edge = polygon([(0.17, 0.05), (0.62, 0.05), (0.83, 0.26), (0.83, 0.95), (0.17, 0.95)])
    paper = polygon([(0.23, 0.11), (0.595, 0.11), (0.77, 0.285), (0.77, 0.89), (0.23, 0.89)])
    fold = polygon([(0.6, 0.07), (0.6, 0.28), (0.81, 0.28)])
    lines = [stroke([(0.32, 0.43), (0.62, 0.43)], 0.07),
             stroke([(0.40, 0.57), (0.68, 0.57)], 0.07),
             stroke([(0.32, 0.71), (0.56, 0.71)], 0.07)]
    layers = [(edge, solid(PAGE_EDGE)), (paper, solid(WHITE)), (fold, solid(PAGE_FOLD))]
    layers += [(lines[0], solid(BLUE)), (lines[1], solid(GREEN)), (lines[2], solid(BLUE))]
    return layers


def icon_folder():
    tab = rounded_rect(0.08, 0.18, 0.46, 0.4, 0.06)
    back = rounded_rect(0.08, 0.27, 0.92, 0.84, 0.07)
    front = polygon([(0.08, 0.84), (0.16, 0.42), (0.97, 0.42), (0.9, 0.84)])
    return [(tab, solid(FOLDER_BACK)), (back, solid(FOLDER_BACK)), (front, solid(FOLDER_FRONT))]


def icon_finish():
    disc = circle(0.5, 0.5, 0.45)
    check = stroke([(0.28, 0.52), (0.44, 0.67), (0.73, 0.36)], 0.12)
    return [(disc, solid(GREEN)), (check, solid(WHITE))]


def icon_cancel():
    disc = circle(0.5, 0.5, 0.45)
    one = stroke([(0.34, 0.34), (0.66, 0.66)], 0.12)
    two = stroke([(0.66, 0.34), (0.34, 0.66)], 0.12)
    return [(disc, solid(RED)), (one, solid(WHITE)), (two, solid(WHITE))]


def icon_uninstall():
    handle = stroke([(0.39, 0.23), (0.41, 0.12), (0.59, 0.12), (0.61, 0.23)], 0.07)
    lid = stroke([(0.17, 0.24), (0.83, 0.24)], 0.09)
    body = polygon([(0.24, 0.32), (0.76, 0.32), (0.71, 0.93), (0.29, 0.93)])
    slots = [stroke([(x, 0.43), (x, 0.81)], 0.055) for x in (0.39, 0.5, 0.61)]
    layers = [(handle, solid(SLATE)), (lid, solid(SLATE)), (body, solid(SLATE))]
    layers += [(slot, solid(SLATE_LIGHT)) for slot in slots]
    return layers


def icon_question():
    disc = circle(0.5, 0.5, 0.45)
    hook = stroke(arc_points(0.5, 0.39, 0.15, 165, -50) + [(0.5, 0.6)], 0.1)
    dot = circle(0.5, 0.75, 0.065)
    return [(disc, solid(BLUE)), (hook, solid(WHITE)), (dot, solid(WHITE))]


ICONS = {
    "app.ico": icon_app,
    "install.ico": icon_install,
    "install_scripts.ico": icon_script_page,
    "browse_target.ico": icon_folder,
    "finish.ico": icon_finish,
    "cancel.ico": icon_cancel,
    "uninstall.ico": icon_uninstall,
    "question.ico": icon_question,
}


def render(layers, size):
    """Rows of (r, g, b, a) from the top, each sample taking the topmost layer."""
    top_down = list(reversed(layers))
    step = 1.0 / (size * SAMPLES)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            x_lo, y_lo = px / size, py / size
            x_hi, y_hi = (px + 1) / size, (py + 1) / size
            candidates = [layer for layer in top_down
                          if not (layer[0][1][2] < x_lo or layer[0][1][0] > x_hi or
                                  layer[0][1][3] < y_lo or layer[0][1][1] > y_hi)]
            red = green = blue = hits = 0
            for sy in range(SAMPLES):
                y = y_lo + (sy + 0.5) * step
                for sx in range(SAMPLES):
                    x = x_lo + (sx + 0.5) * step
                    for (test, _box), colour in candidates:
                        if test(x, y):
                            r, g, b = colour(x, y)
                            red += r
                            green += g
                            blue += b
                            hits += 1
                            break
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(red / hits), round(green / hits), round(blue / hits),
                            round(255 * hits / (SAMPLES * SAMPLES))))
        rows.append(row)
    return rows


def icon_image(rows):
    """One icon image: BITMAPINFOHEADER, 32-bit colour bottom-up, AND mask."""
    size = len(rows)
    colour = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_r, _g, _b, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def write_icon(path, layers):
    images = [(size, icon_image(render(layers, size))) for size in ICON_SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as out:
        out.write(directory + entries + b"".join(data for _size, data in images))


def backdrop_pixel(x, y, width, height):
    """A soft sky gradient with faint wide rings rising from the lower right."""
    t = y / (height - 1)
    top, bottom = (250, 252, 254), (222, 235, 248)
    base = [a + (b - a) * t for a, b in zip(top, bottom)]
    distance = math.hypot((x - width * 1.05) / width, (y - height * 1.25) / width)
    ring = 0.5 + 0.5 * math.cos(distance * 2 * math.pi * 4.5)
    weight = max(0.0, 1.0 - distance / 1.3)
    light = 12.0 * ring * weight
    return tuple(max(0, min(255, round(c + light))) for c in base)


def write_backdrop(path):
    width, height = BACKDROP_SIZE
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(height)):
        line = bytearray()
        for x in range(width):
            r, g, b = backdrop_pixel(x, y, width, height)
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as out:
        out.write(file_header + info + bytes(pixels))


def main(arguments):
    if len(arguments) != 2:
        sys.stderr.write("usage: make_images.py OUTPUT_FOLDER\n")
        return 2
    folder = arguments[1]
    os.makedirs(folder, exist_ok=True)
    for name, layers in ICONS.items():
        write_icon(os.path.join(folder, name), layers())
    write_backdrop(os.path.join(folder, "backdrop.bmp"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
