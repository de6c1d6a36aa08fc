#!/usr/bin/env python3
"""Draws the installer's bitmaps into resources/bitmaps/ as 8-bit (256-colour)
run-length compressed BMP files.

The banner (111), the page pictures (117, 119, 121, 124, 126) and the small icons of the
overview list and the tab strip (118, 120, 122, 123, 125). Standard library only; the output
is deterministic, so the committed files change only when this script does.

Usage: draw-bitmaps.py [output folder]   (default: bitmaps/ beside this script)
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------------------------------
# Canvas: RGB floats, shapes drawn with anti-aliased coverage.


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def hexcolour(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


class Canvas:
    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width = width
        self.height = height
        self.pixels = [[tuple(map(float, colour)) for _ in range(width)] for _ in range(height)]

    def blend(self, x, y, colour, alpha):
        if 0 <= x < self.width and 0 <= y < self.height and alpha > 0:
            old = self.pixels[y][x]
            self.pixels[y][x] = mix(old, colour, clamp(alpha))

    def paint(self, colour_at):
        """Fills every pixel with colour_at(x, y) (pixel centres)."""
        for y in range(self.height):
            row = self.pixels[y]
            for x in range(self.width):
                row[x] = colour_at(x + 0.5, y + 0.5)

    def fill(self, inside, box, colour, samples=4, alpha=1.0):
        """Fills the shape inside(x, y) within box (x0, y0, x1, y1), supersampled.

        colour is an RGB tuple or a function of (x, y)."""
        x0, y0, x1, y1 = (int(math.floor(box[0])), int(math.floor(box[1])),
                          int(math.ceil(box[2])), int(math.ceil(box[3])))
        step = 1.0 / samples
        offsets = [(i + 0.5) * step for i in range(samples)]
        total = samples * samples
        for y in range(max(0, y0), min(self.height, y1 + 1)):
            for x in range(max(0, x0), min(self.width, x1 + 1)):
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        if inside(x + ox, y + oy):
                            hits += 1
                if hits:
                    c = colour(x + 0.5, y + 0.5) if callable(colour) else colour
                    self.blend(x, y, c, alpha * hits / total)

    def stroke(self, polylines, width, colour, alpha=1.0):
        """Draws polylines (lists of points) with round caps and joins."""
        segments = []
        for line in polylines:
            if len(line) == 1:
                line = [line[0], line[0]]
            segments.extend(zip(line, line[1:]))
        if not segments:
            return
        half = width / 2.0
        xs = [p[0] for s in segments for p in s]
        ys = [p[1] for s in segments for p in s]
        x0, x1 = int(min(xs) - half - 1), int(max(xs) + half + 2)
        y0, y1 = int(min(ys) - half - 1), int(max(ys) + half + 2)
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                px, py = x + 0.5, y + 0.5
                d = min(segment_distance(px, py, a, b) for a, b in segments)
                cover = clamp(half - d + 0.5)
                if cover > 0:
                    c = colour(px, py) if callable(colour) else colour
                    self.blend(x, y, c, cover * alpha)


def segment_distance(px, py, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else clamp(((px - ax) * dx + (py - ay) * dy) / length2)
    qx, qy = ax + t * dx - px, ay + t * dy - py
    return math.sqrt(qx * qx + qy * qy)


def polygon_inside(points):
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
            if (ay > y) != (by > y):
                if x < ax + (y - ay) * (bx - ax) / (by - ay):
                    result = not result
        return result
    return inside


def polygon_box(points):
    return (min(p[0] for p in points), min(p[1] for p in points),
            max(p[0] for p in points), max(p[1] for p in points))


def fill_polygon(canvas, points, colour):
    canvas.fill(polygon_inside(points), polygon_box(points), colour)


def fill_ellipse(canvas, cx, cy, rx, ry, colour):
    canvas.fill(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0,
                (cx - rx, cy - ry, cx + rx, cy + ry), colour)


def rounded_rect_inside(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = clamp(x, x0 + r, x1 - r)
        cy = clamp(y, y0 + r, y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def fill_rounded_rect(canvas, x0, y0, x1, y1, r, colour):
    canvas.fill(rounded_rect_inside(x0, y0, x1, y1, r), (x0, y0, x1, y1), colour)


def arc_points(cx, cy, rx, ry, a0, a1, steps=None):
    """Points of an elliptic arc from angle a0 to a1 (degrees, counter-clockwise, y up)."""
    if steps is None:
        steps = max(4, int(abs(a1 - a0) / 10))
    pts = []
    for i in range(steps + 1):
        a = math.radians(a0 + (a1 - a0) * i / steps)
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


# ---------------------------------------------------------------------------------------
# A small stroke font. Glyph units: baseline 0, x-height 7, cap height 10, descender -3,
# y up. Each glyph: (advance width, list of polylines).


def A(cx, cy, rx, ry, a0, a1):
    return arc_points(cx, cy, rx, ry, a0, a1)


def glyphs():
    g = {}
    g[" "] = (3.5, [])
    g["-"] = (3.5, [[(0, 4), (3.5, 4)]])
    g["A"] = (7, [[(0, 0), (3.5, 10), (7, 0)], [(1.3, 3.5), (5.7, 3.5)]])
    g["B"] = (6.2, [[(0, 0), (0, 10), (3.3, 10)] + A(3.3, 7.55, 2.45, 2.45, 90, -90) + [(0, 5.1)],
                    [(0, 5.1), (3.6, 5.1)] + A(3.6, 2.55, 2.55, 2.55, 90, -90) + [(0, 0)]])
    g["C"] = (6.8, [A(3.8, 5, 3.8, 5, 50, 310)])
    g["D"] = (7, [[(0, 0), (0, 10), (2.4, 10)] + A(2.4, 5, 4.6, 5, 90, -90) + [(0, 0)]])
    g["P"] = (6.2, [[(0, 0), (0, 10), (3.4, 10)] + A(3.4, 7.4, 2.6, 2.6, 90, -90) + [(0, 4.8)]])
    g["S"] = (6.2, [A(3.1, 7.5, 3.0, 2.5, 35, 270) + A(3.1, 2.5, 3.1, 2.5, 90, -145)])
    g["V"] = (7.4, [[(0, 10), (3.7, 0), (7.4, 10)]])
    g["3"] = (6, [A(3, 7.5, 2.9, 2.5, 150, -90) + A(3, 2.5, 3, 2.5, 90, -150)])
    g["a"] = (5.8, [A(2.8, 3.5, 2.8, 3.5, 0, 360), [(5.8, 7), (5.8, 0)]])
    g["c"] = (5.6, [A(3.2, 3.5, 3.2, 3.5, 45, 315)])
    g["d"] = (5.8, [A(2.8, 3.5, 2.8, 3.5, 0, 360), [(5.8, 10), (5.8, 0)]])
    g["e"] = (6, [[(0.2, 3.6), (6, 3.6)] + A(3, 3.5, 3, 3.5, 0, 310)])
    g["f"] = (4.2, [[(1.4, 0), (1.4, 8)] + A(3.4, 8, 2, 2, 180, 40), [(0, 7), (4, 7)]])
    g["g"] = (5.8, [A(2.8, 3.5, 2.8, 3.5, 0, 360), [(5.8, 7), (5.8, -0.8)] + A(2.9, -0.8, 2.9, 2.2, 0, -160)])
    g["h"] = (5.8, [[(0, 0), (0, 10)], [(0, 4)] + A(2.9, 4, 2.9, 3, 180, 0) + [(5.8, 0)]])
    g["i"] = (0.4, [[(0.2, 0), (0.2, 7)], [(0.2, 9.4)]])
    g["l"] = (0.4, [[(0.2, 0), (0.2, 10)]])
    g["n"] = (5.8, [[(0, 0), (0, 7)], [(0, 4)] + A(2.9, 4, 2.9, 3, 180, 0) + [(5.8, 0)]])
    g["o"] = (6.2, [A(3.1, 3.5, 3.1, 3.5, 0, 360)])
    g["p"] = (5.8, [[(0, 7), (0, -3)], A(3, 3.5, 2.8, 3.5, 0, 360)])
    g["r"] = (4.2, [[(0, 0), (0, 7)], [(0, 3.6)] + A(3.2, 3.6, 3.2, 3.2, 180, 70)])
    g["s"] = (5.2, [A(2.6, 5.3, 2.5, 1.7, 40, 270) + A(2.6, 1.75, 2.6, 1.75, 90, -140)])
    g["t"] = (4.2, [[(1.4, 9.4), (1.4, 1.6)] + A(3.2, 1.6, 1.8, 1.6, 180, 290), [(0, 7), (4, 7)]])
    g["u"] = (5.8, [[(0, 7), (0, 3)] + A(2.9, 3, 2.9, 3, 180, 360) + [(5.8, 7)], [(5.8, 7), (5.8, 0)]])
    g["x"] = (6, [[(0, 0), (6, 7)], [(0, 7), (6, 0)]])
    return g


FONT = glyphs()


def text_width(text, unit, spacing=2.2):
    width = 0.0
    for ch in text:
        width += (FONT[ch][0] + spacing) * unit
    return width - spacing * unit


def draw_text(canvas, text, x, baseline, unit, weight, colour, spacing=2.2, slant=0.12):
    for ch in text:
        advance, lines = FONT[ch]
        polylines = [[(x + (px + py * slant) * unit, baseline - py * unit) for px, py in line]
                     for line in lines]
        canvas.stroke(polylines, weight, colour)
        x += (advance + spacing) * unit
    return x


# ---------------------------------------------------------------------------------------
# Colour reduction to 256 entries (median cut) and the BMP writer.


def quantise(canvas):
    """Returns (palette, indices): at most 256 colours and one index per pixel."""
    pixels = [tuple(int(round(clamp(c / 255.0) * 255)) for c in p) for row in canvas.pixels
              for p in row]
    counts = {}
    for p in pixels:
        counts[p] = counts.get(p, 0) + 1
    colours = sorted(counts)
    if len(colours) <= 256:
        palette = colours
    else:
        boxes = [colours]
        while len(boxes) < 256:
            # Split the box with the widest channel range, weighted by its pixel count.
            best, best_score, best_channel = None, -1, 0
            for i, box in enumerate(boxes):
                if len(box) < 2:
                    continue
                for ch in range(3):
                    lo = min(c[ch] for c in box)
                    hi = max(c[ch] for c in box)
                    score = (hi - lo) * math.sqrt(sum(counts[c] for c in box))
                    if score > best_score:
                        best, best_score, best_channel = i, score, ch
            if best is None:
                break
            box = sorted(boxes.pop(best), key=lambda c: (c[best_channel], c))
            total = sum(counts[c] for c in box)
            running, cut = 0, 1
            for j, c in enumerate(box):
                running += counts[c]
                if running * 2 >= total:
                    cut = max(1, min(len(box) - 1, j + 1))
                    break
            boxes.append(box[:cut])
            boxes.append(box[cut:])
        palette = []
        for box in boxes:
            weight = sum(counts[c] for c in box)
            palette.append(tuple(int(round(sum(c[ch] * counts[c] for c in box) / weight))
                                 for ch in range(3)))
    palette = sorted(set(palette))
    lookup = {}
    indices = []
    for p in pixels:
        if p not in lookup:
            lookup[p] = min(range(len(palette)),
                            key=lambda i: sum((palette[i][ch] - p[ch]) ** 2 for ch in range(3)))
        indices.append(lookup[p])
    return palette, indices


def rle8_row(row):
    """One row in the bitmap's 8-bit run-length form, ending with its end-of-line mark.

    The shortest encoding, chosen backwards from the row's end: at each pixel either a run of
    one colour (count, index) or an absolute stretch of 3 to 255 pixels (0, count, the
    indices, padded to an even length).
    """
    width = len(row)
    same = [1] * width  # length of the one-colour run starting at each pixel
    for x in range(width - 2, -1, -1):
        if row[x] == row[x + 1]:
            same[x] = same[x + 1] + 1
    cost = [0] * (width + 1)
    step = [None] * width
    for x in range(width - 1, -1, -1):
        run = min(255, same[x])
        best = (2 + cost[x + run], ("run", run))
        for n in range(3, min(255, width - x) + 1):
            candidate = 2 + n + (n & 1) + cost[x + n]
            if candidate < best[0]:
                best = (candidate, ("absolute", n))
        cost[x], step[x] = best
    out = bytearray()
    x = 0
    while x < width:
        kind, n = step[x]
        if kind == "run":
            out += bytes((n, row[x]))
        else:
            out += bytes((0, n)) + row[x:x + n] + b"\0" * (n & 1)
        x += n
    return bytes(out + b"\0\0")


def write_bmp8(path, canvas):
    """Writes an 8-bit run-length compressed BMP whose colour table holds only the colours
    the picture uses; the system's bitmap loader expands it to the same pixels."""
    palette, indices = quantise(canvas)
    width, height = canvas.width, canvas.height
    rows = (bytes(indices[y * width:(y + 1) * width]) for y in range(height - 1, -1, -1))
    data = b"".join(rle8_row(row) for row in rows) + b"\0\1"  # bottom-up, end of bitmap
    colour_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(colour_table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(data), 3780, 3780,
                       len(palette), 0)
    with open(path, "wb") as f:
        f.write(header + info + colour_table + data)


# ---------------------------------------------------------------------------------------
# The pictures.

NAVY = hexcolour("#0d2238")
BLUE = hexcolour("#1f5f8b")
WHITE = (255, 255, 255)


def banner():
    c = Canvas(751, 49)
    top, bottom = hexcolour("#123456"), hexcolour("#0a1e33")
    right = hexcolour("#2a6f9e")

    def background(x, y):
        base = mix(top, bottom, y / 49.0)
        return mix(base, right, clamp((x - 380) / 371.0) ** 1.5 * 0.8)
    c.paint(background)

    # Faint diagonal guide lines on the right, like a drafting sheet.
    for i in range(14):
        x = 470 + i * 22
        c.stroke([[(x, 49), (x + 40, 0)]], 1.0, hexcolour("#7fb2d6"), 0.12)

    # The box of VorlaneBox: an isometric cube in outline on the right.
    cx, cy, s = 690, 25, 17

    def iso(u, v, w):
        return (cx + (u - v) * s * 0.866, cy + (u + v) * s * 0.5 - w * s)
    faces = [
        ([iso(0, 0, 1), iso(1, 0, 1), iso(1, 1, 1), iso(0, 1, 1)], hexcolour("#8fd0f5"), 0.55),
        ([iso(1, 0, 1), iso(1, 1, 1), iso(1, 1, 0), iso(1, 0, 0)], hexcolour("#3d8fc4"), 0.55),
        ([iso(0, 1, 1), iso(1, 1, 1), iso(1, 1, 0), iso(0, 1, 0)], hexcolour("#5aaee0"), 0.55),
    ]
    shift = (0, -8)
    for pts, colour, alpha in faces:
        pts = [(x + shift[0], y + shift[1]) for x, y in pts]
        c.fill(polygon_inside(pts), polygon_box(pts), colour, alpha=alpha)
    edges = [[iso(0, 0, 1), iso(1, 0, 1), iso(1, 1, 1), iso(0, 1, 1), iso(0, 0, 1)],
             [iso(1, 0, 1), iso(1, 0, 0), iso(1, 1, 0), iso(0, 1, 0), iso(0, 1, 1)],
             [iso(1, 1, 1), iso(1, 1, 0)]]
    edges = [[(x + shift[0], y + shift[1]) for x, y in line] for line in edges]
    c.stroke(edges, 1.4, hexcolour("#d8f0ff"))

    # The name, and what it is for.
    x = draw_text(c, "VorlaneBox", 22, 33, 2.2, 3.0, WHITE)
    x = draw_text(c, "Setup", x + 9, 33, 2.2, 3.0, hexcolour("#9fd6ff"))
    c.stroke([[(x + 14, 12), (x + 14, 36)]], 1.0, hexcolour("#5f8fb5"))
    draw_text(c, "Plug-ins for 3D and CAD applications", x + 28, 29, 1.15, 1.5,
              hexcolour("#c6def0"), spacing=2.0, slant=0.0)
    # A thin highlight along the bottom edge separates the banner from the form.
    c.stroke([[(0, 48.5), (751, 48.5)]], 1.0, hexcolour("#4f9bd0"))
    return c


def tile(size, top, bottom, border):
    c = Canvas(size, size)
    c.paint(lambda x, y: mix(top, bottom, y / size))
    c.stroke([[(0.5, 0.5), (size - 0.5, 0.5), (size - 0.5, size - 0.5), (0.5, size - 0.5),
               (0.5, 0.5)]], 1.0, border)
    return c


def cube(c, cx, cy, s, top, left, right, edge, edge_width):
    def iso(u, v, w):
        return (cx + (u - v) * s * 0.866, cy + (u + v) * s * 0.5 - w * s + s * 0.5)
    faces = [
        ([iso(0, 0, 1), iso(1, 0, 1), iso(1, 1, 1), iso(0, 1, 1)], top),
        ([iso(1, 0, 1), iso(1, 1, 1), iso(1, 1, 0), iso(1, 0, 0)], right),
        ([iso(0, 1, 1), iso(1, 1, 1), iso(1, 1, 0), iso(0, 1, 0)], left),
    ]
    for pts, colour in faces:
        fill_polygon(c, pts, colour)
    if edge_width:
        c.stroke([[iso(0, 0, 1), iso(1, 0, 1), iso(1, 1, 1), iso(0, 1, 1), iso(0, 0, 1)],
                  [iso(1, 0, 1), iso(1, 0, 0), iso(1, 1, 0), iso(0, 1, 0), iso(0, 1, 1)],
                  [iso(1, 1, 1), iso(1, 1, 0)]], edge_width, edge)


def max_picture(size):
    k = size / 64.0
    c = tile(size, hexcolour("#2b7a8c"), hexcolour("#12394a"), hexcolour("#0b2430"))
    cube(c, size * 0.5, size * 0.30, 20 * k, hexcolour("#bff0f5"), hexcolour("#4fb3c2"),
         hexcolour("#2c8797"), hexcolour("#0b2f3a"), max(0.8, 1.3 * k))
    if size >= 32:
        # Ground shadow and a small teapot-free gizmo: three axis arrows.
        ox, oy = 10 * k, 56 * k
        c.stroke([[(ox, oy), (ox + 12 * k, oy)]], 1.6, hexcolour("#ff6b5a"))
        c.stroke([[(ox, oy), (ox, oy - 12 * k)]], 1.6, hexcolour("#7be07b"))
        c.stroke([[(ox, oy), (ox + 7 * k, oy - 7 * k)]], 1.6, hexcolour("#6fb6ff"))
    return c


def archicad_picture(size):
    k = size / 64.0
    c = tile(size, hexcolour("#f0a64a"), hexcolour("#b5561c"), hexcolour("#6b3010"))
    wall = hexcolour("#fff4e0")
    roof = hexcolour("#7a2e12")
    fill_polygon(c, [(14 * k, 30 * k), (50 * k, 30 * k), (50 * k, 54 * k), (14 * k, 54 * k)], wall)
    fill_polygon(c, [(8 * k, 32 * k), (32 * k, 10 * k), (56 * k, 32 * k), (51 * k, 34 * k),
                     (32 * k, 17 * k), (13 * k, 34 * k)], roof)
    fill_polygon(c, [(28 * k, 40 * k), (36 * k, 40 * k), (36 * k, 54 * k), (28 * k, 54 * k)],
                 hexcolour("#8a4a20"))
    if size >= 32:
        for x0 in (17, 40):
            fill_polygon(c, [(x0 * k, 36 * k), ((x0 + 7) * k, 36 * k), ((x0 + 7) * k, 43 * k),
                             (x0 * k, 43 * k)], hexcolour("#5aa7d6"))
        c.stroke([[(6 * k, 54.5 * k), (58 * k, 54.5 * k)]], 1.2, hexcolour("#6b3010"))
    return c


def cinema_picture(size):
    k = size / 64.0
    c = tile(size, hexcolour("#4a5ad0"), hexcolour("#1c2270"), hexcolour("#10143f"))
    cx, cy, r = 32 * k, 31 * k, 21 * k
    lx, ly = cx - r * 0.45, cy - r * 0.5
    dark, light = hexcolour("#0e1450"), hexcolour("#e8ecff")

    def shade(x, y):
        d = math.hypot(x - lx, y - ly) / (r * 1.6)
        return mix(light, dark, clamp(d) ** 0.9)
    ring_colour = hexcolour("#ffcf5a")
    # A ring around the sphere, as in a render of a planet: the far half behind it.
    far = arc_points(cx, cy, r * 1.4, r * 0.3, 180, 360, 48)
    near = arc_points(cx, cy, r * 1.4, r * 0.3, 0, 180, 48)
    if size >= 32:
        fill_ellipse(c, cx + 2 * k, 56 * k, 18 * k, 3 * k, hexcolour("#141a55"))
        c.stroke([far], 1.6 * k, mix(ring_colour, hexcolour("#1c2270"), 0.35))
    fill_ellipse(c, cx, cy, r, r, shade)
    if size >= 32:
        c.stroke([near], 2.0 * k, ring_colour)
    return c


def microstation_picture(size):
    k = size / 64.0
    c = tile(size, hexcolour("#2f8f5b"), hexcolour("#135233"), hexcolour("#0a3020"))
    if size >= 32:
        for i in range(1, 8):
            v = i * 8 * k
            c.stroke([[(v, 2), (v, size - 2)], [(2, v), (size - 2, v)]], 0.6,
                     hexcolour("#9fe0bb"), 0.35)
    # A drafted part: triangle with a dimension arc and a drilled hole.
    tri = [(12 * k, 52 * k), (52 * k, 52 * k), (12 * k, 14 * k)]
    c.stroke([tri + [tri[0]]], max(1.0, 2.2 * k), hexcolour("#f2fff7"))
    if size >= 32:
        c.stroke([arc_points(52 * k, 52 * k, 14 * k, 14 * k, 180, 223.5, 12)], 1.2,
                 hexcolour("#ffe27a"))
        c.stroke([arc_points(22 * k, 42 * k, 4 * k, 4 * k, 0, 360, 24)], 1.4, hexcolour("#ffe27a"))
    else:
        c.stroke([[(12 * k, 52 * k)]], 3.0 * k, hexcolour("#ffe27a"))
    return c


def sdk_picture(size):
    k = size / 64.0
    c = tile(size, hexcolour("#4a5563"), hexcolour("#1d232b"), hexcolour("#10151a"))
    w = max(1.4, 3.2 * k)
    colour = hexcolour("#8fe3ff")
    # Braces drawn as polylines in image coordinates (y down).
    lb = [(26 * k, 12 * k), (21 * k, 13 * k), (19 * k, 17 * k), (19 * k, 27 * k),
          (13 * k, 32 * k), (19 * k, 37 * k), (19 * k, 47 * k), (21 * k, 51 * k), (26 * k, 52 * k)]
    rb = [(size - x, y) for x, y in lb]
    c.stroke([lb, rb], w, colour)
    if size >= 32:
        c.stroke([[(29 * k, 38 * k), (35 * k, 26 * k)]], 2.2 * k, hexcolour("#ffd166"))
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "bitmaps")
    os.makedirs(out, exist_ok=True)
    pictures = {
        "banner.bmp": banner,
        "page-3dsmax.bmp": lambda: max_picture(64),
        "page-archicad.bmp": lambda: archicad_picture(64),
        "page-cinema4d.bmp": lambda: cinema_picture(64),
        "page-microstation.bmp": lambda: microstation_picture(64),
        "page-sdk.bmp": lambda: sdk_picture(64),
        "icon-3dsmax.bmp": lambda: max_picture(16),
        "icon-archicad.bmp": lambda: archicad_picture(16),
        "icon-cinema4d.bmp": lambda: cinema_picture(16),
        "icon-microstation.bmp": lambda: microstation_picture(16),
        "icon-sdk.bmp": lambda: sdk_picture(16),
    }
    for name, draw in pictures.items():
        write_bmp8(os.path.join(out, name), draw())
        print(os.path.join(out, name))


if __name__ == "__main__":
    main()
