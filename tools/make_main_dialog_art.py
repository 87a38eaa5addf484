#!/usr/bin/env python3
"""Draws the pictures of the main dialog and writes its template.

    resources/main_dialog/NNN.bmp    bitmaps (24-bit BMP): 239 background, 101 and 102 slider
                                     tracks, 120 slider thumb, 180 direction ball, 217 memory-dot
                                     thumbnail frame, 202 203 208 210-216 memory-dot faces
    resources/main_dialog/NNN.ico    icons (32-bit with alpha, one size each): 5 243 zoom in and
                                     out, 122 ball tip, 179 clouds, 186 new seed, 225 defaults,
                                     232 layers, 235 info, 236 presets page, 237 dice, 240 load,
                                     241 save, 242 undo
    resources/main_dialog/NNN.cur    cursors: 107 panning (four arrows), 109 preview (cross hairs)
    resources/main_dialog.rc.in      the template ZUVEDERUSANSPARAM and the resource lines of the
                                     pictures (configured per tree with the pictures' folder)

Everything is drawn here from geometric shapes (signed distances, 4 x 4 samples per pixel); the
script needs nothing beyond Python. The files are committed; running it again writes the same
bytes. With --png FOLDER it also writes every picture as a PNG (through ImageMagick's convert)
and a contact sheet, to look at them.

The look: one light, cool grey ground (GROUND) on which every opaque picture is drawn, so that
tracks, thumbs, balls and dots sit on the background bitmap without seams; a navy ink (INK) for
line glyphs and a blue accent (ACCENT) for everything that shows a value. Groups of controls are
set apart by thin rules and a small glyph in the left gutter, not by boxes, because the program
paints labels on patches of the background.
"""
import argparse
import math
import os
import struct
import subprocess

GROUND = (0xF3, 0xF5, 0xF8)
RULE = (0xD9, 0xDE, 0xE6)
INK = (0x22, 0x3A, 0x5E)
ACCENT = (0x2E, 0x6C, 0xC8)
ACCENT_DARK = (0x1B, 0x4A, 0x93)
ACCENT_LIGHT = (0xA9, 0xC8, 0xF0)
GROOVE = (0xC9, 0xD1, 0xDC)
WARM = (0xE8, 0x8A, 0x1A)
WHITE = (0xFF, 0xFF, 0xFF)

SS = 4   # samples per pixel side


# ---- A small coverage rasteriser -------------------------------------------------------------

class Canvas:
    def __init__(self, w, h, fill=None):
        self.w, self.h = w, h
        if fill is None:
            self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]
        else:
            self.px = [[fill[0] / 255, fill[1] / 255, fill[2] / 255, 1.0] for _ in range(w * h)]

    def cover(self, inside, bbox, color, alpha=1.0):
        """Composites `color` over every pixel of bbox by the share of its samples inside."""
        x0, y0, x1, y1 = bbox
        x0 = max(0, int(math.floor(x0)) - 1)
        y0 = max(0, int(math.floor(y0)) - 1)
        x1 = min(self.w, int(math.ceil(x1)) + 1)
        y1 = min(self.h, int(math.ceil(y1)) + 1)
        c = [v / 255 for v in color[:3]]
        for y in range(y0, y1):
            for x in range(x0, x1):
                n = 0
                for sy in range(SS):
                    py = y + (sy + 0.5) / SS
                    for sx in range(SS):
                        if inside(x + (sx + 0.5) / SS, py):
                            n += 1
                if n == 0:
                    continue
                a = alpha * n / (SS * SS)
                p = self.px[y * self.w + x]
                out_a = a + p[3] * (1 - a)
                for i in range(3):
                    p[i] = (c[i] * a + p[i] * p[3] * (1 - a)) / out_a if out_a > 0 else 0
                p[3] = out_a

    def shade(self, fn, bbox):
        """Sets pixels from fn(x, y) -> (r, g, b, a) or None, averaged over the samples."""
        x0, y0, x1, y1 = bbox
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                acc = [0.0, 0.0, 0.0, 0.0]
                for sy in range(SS):
                    for sx in range(SS):
                        v = fn(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS)
                        if v is None:
                            continue
                        w = v[3] / 255
                        for i in range(3):
                            acc[i] += v[i] * w
                        acc[3] += w
                if acc[3] == 0:
                    continue
                a = acc[3] / (SS * SS)
                col = [acc[i] / acc[3] / 255 for i in range(3)]
                p = self.px[y * self.w + x]
                out_a = a + p[3] * (1 - a)
                for i in range(3):
                    p[i] = (col[i] * a + p[i] * p[3] * (1 - a)) / out_a
                p[3] = out_a

    # Shapes, in pixel coordinates (a pixel's centre is at +0.5).
    def rect(self, x0, y0, x1, y1, color, alpha=1.0):
        self.cover(lambda x, y: x0 <= x < x1 and y0 <= y < y1, (x0, y0, x1, y1), color, alpha)

    def circle(self, cx, cy, r, color, alpha=1.0):
        self.cover(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r,
                   (cx - r, cy - r, cx + r, cy + r), color, alpha)

    def ring(self, cx, cy, r, width, color, a0=None, a1=None, alpha=1.0):
        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            if abs(d - r) > width / 2:
                return False
            if a0 is None:
                return True
            a = math.degrees(math.atan2(y - cy, x - cx)) % 360
            return (a - a0) % 360 <= (a1 - a0) % 360
        e = r + width
        self.cover(inside, (cx - e, cy - e, cx + e, cy + e), color, alpha)

    def line(self, x0, y0, x1, y1, width, color, alpha=1.0):
        dx, dy = x1 - x0, y1 - y0
        ll = dx * dx + dy * dy
        h = width / 2

        def inside(x, y):
            t = 0 if ll == 0 else max(0, min(1, ((x - x0) * dx + (y - y0) * dy) / ll))
            return (x - x0 - t * dx) ** 2 + (y - y0 - t * dy) ** 2 <= h * h
        self.cover(inside, (min(x0, x1) - h, min(y0, y1) - h, max(x0, x1) + h, max(y0, y1) + h), color, alpha)

    def polyline(self, pts, width, color, alpha=1.0):
        for a, b in zip(pts, pts[1:]):
            self.line(a[0], a[1], b[0], b[1], width, color, alpha)

    def rrect(self, x0, y0, x1, y1, r, color, alpha=1.0):
        def inside(x, y):
            qx = max(x0 + r - x, 0, x - (x1 - r))
            qy = max(y0 + r - y, 0, y - (y1 - r))
            return qx * qx + qy * qy <= r * r and x0 <= x <= x1 and y0 <= y <= y1
        self.cover(inside, (x0, y0, x1, y1), color, alpha)

    def rrect_frame(self, x0, y0, x1, y1, r, width, color, alpha=1.0):
        def sdf(x, y, a0, b0, a1, b1, rr):
            cx, cy = (a0 + a1) / 2, (b0 + b1) / 2
            hx, hy = (a1 - a0) / 2 - rr, (b1 - b0) / 2 - rr
            qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
            return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - rr
        self.cover(lambda x, y: abs(sdf(x, y, x0, y0, x1, y1, r) + width / 2) <= width / 2,
                   (x0, y0, x1, y1), color, alpha)

    def polygon(self, pts, color, alpha=1.0):
        def inside(x, y):
            c = False
            n = len(pts)
            for i in range(n):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % n]
                if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                    c = not c
            return c
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        self.cover(inside, (min(xs), min(ys), max(xs), max(ys)), color, alpha)

    def rgba8(self):
        out = []
        for p in self.px:
            out.append(tuple(int(round(max(0, min(1, p[i])) * 255)) for i in range(3)) +
                       (int(round(max(0, min(1, p[3])) * 255)),))
        return out

    def flatten(self, ground):
        """The picture over an opaque ground, as (r, g, b) rows."""
        out = []
        for p in self.rgba8():
            a = p[3] / 255
            out.append(tuple(int(round(p[i] * a + ground[i] * (1 - a))) for i in range(3)))
        return out


# ---- File formats ----------------------------------------------------------------------------

def bmp24(w, h, rgb):
    row = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for x in range(w):
            r, g, b = rgb[y * w + x]
            line += bytes((b, g, r))
        line += bytes(row - len(line))
        data += line
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def icon_image(w, h, rgba):
    """The DIB of one icon or cursor image: 32-bit BGRA rows bottom-up, then the AND mask."""
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = rgba[y * w + x]
            xor += bytes((b, g, r, a))
    mask_row = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(w):
            if rgba[y * w + x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(mask)


def ico_file(w, h, rgba, hotspot=None):
    """An ICO (type 1) or, with a hotspot, a CUR (type 2) holding one image."""
    image = icon_image(w, h, rgba)
    kind = 1 if hotspot is None else 2
    a, b = (1, 32) if hotspot is None else hotspot
    head = struct.pack('<HHH', 0, kind, 1)
    entry = struct.pack('<BBBBHHII', w % 256, h % 256, 0, 0, a, b, len(image), 6 + 16)
    return head + entry + image


# ---- The pictures ----------------------------------------------------------------------------

def glyph_planet(c, x, y, s, color=INK):
    """A ringed planet in a square of side s at (x, y): the surface group and the About mark."""
    cx, cy, r = x + s / 2, y + s / 2, s * 0.30
    c.circle(cx, cy, r, ACCENT)
    c.cover(lambda px, py: (px - cx) ** 2 + (py - cy) ** 2 <= r * r and
            (px - cx + r * 0.35) ** 2 + (py - cy + r * 0.35) ** 2 <= (r * 0.75) ** 2,
            (cx - r, cy - r, cx + r, cy + r), ACCENT_LIGHT, 0.55)

    def ring(px, py):
        u, v = px - cx, py - cy
        a = math.radians(-20)
        ru = u * math.cos(a) - v * math.sin(a)
        rv = u * math.sin(a) + v * math.cos(a)
        e = (ru / (s * 0.48)) ** 2 + (rv / (s * 0.15)) ** 2
        behind = rv < 0 and u * u + v * v <= r * r
        return 0.72 <= e <= 1.0 and not behind
    c.cover(ring, (x, y, x + s, y + s), color)


def glyph_wave(c, x, y, s):
    for k in range(3):
        yy = y + s * (0.32 + 0.2 * k)
        pts = [(x + s * (0.1 + 0.8 * i / 24), yy + s * 0.06 * math.sin(i / 24 * 2 * math.pi * 1.5))
               for i in range(25)]
        c.polyline(pts, 2.0, ACCENT if k == 0 else INK)


def glyph_sun(c, x, y, s):
    cx, cy = x + s / 2, y + s / 2
    c.circle(cx, cy, s * 0.17, WARM)
    for k in range(8):
        a = k * math.pi / 4
        c.line(cx + math.cos(a) * s * 0.27, cy + math.sin(a) * s * 0.27,
               cx + math.cos(a) * s * 0.40, cy + math.sin(a) * s * 0.40, 2.0, INK)


def cloud_shape(c, x, y, s, color, alpha=1.0):
    def inside(px, py):
        u, v = (px - x) / s, (py - y) / s
        return ((u - 0.36) ** 2 + (v - 0.55) ** 2 <= 0.17 ** 2 or
                (u - 0.56) ** 2 + (v - 0.45) ** 2 <= 0.22 ** 2 or
                (u - 0.74) ** 2 + (v - 0.60) ** 2 <= 0.14 ** 2 or
                (0.22 <= u <= 0.86 and 0.55 <= v <= 0.74 and
                 (u >= 0.30 or (u - 0.30) ** 2 + (v - 0.64) ** 2 <= 0.1 ** 2)))
    c.cover(inside, (x, y, x + s, y + s), color, alpha)


def glyph_cloud(c, x, y, s):
    cloud_shape(c, x - 1, y - 1, s + 2, INK)
    cloud_shape(c, x + 1, y + 1, s - 2, WHITE)


def glyph_city(c, x, y, s):
    base = y + s * 0.82
    for (l, r, t) in ((0.16, 0.36, 0.42), (0.38, 0.60, 0.18), (0.62, 0.84, 0.34)):
        c.rect(x + s * l, y + s * t, x + s * r, base, INK)
    for (l, t) in ((0.21, 0.50), (0.21, 0.64), (0.43, 0.26), (0.51, 0.26), (0.43, 0.40),
                   (0.51, 0.54), (0.67, 0.42), (0.75, 0.56)):
        c.rect(x + s * l, y + s * t, x + s * l + 2, y + s * t + 2, WARM)
    c.rect(x + s * 0.08, base, x + s * 0.92, base + 1.5, INK)


def glyph_swirl(c, x, y, s):
    cx, cy = x + s / 2, y + s / 2
    pts = []
    for i in range(80):
        t = i / 79 * 2.6 * math.pi
        r = s * (0.05 + 0.38 * i / 79)
        pts.append((cx + r * math.cos(t), cy + r * math.sin(t)))
    c.polyline(pts, 2.0, INK)
    c.circle(cx, cy, 2.2, ACCENT)


def background():
    """239: the ground of the whole client area (963 x 641) with rules and group glyphs."""
    w, h = 963, 641
    c = Canvas(w, h, GROUND)
    # The footer band under the controls, with its rule.
    c.rect(0, 592, w, h, (0xE8, 0xEC, 0xF2))
    c.rect(0, 592, w, 593, RULE)
    # The rule between the settings and the preview side.
    c.rect(436, 6, 437, 380, RULE)
    # Rules between the groups of the settings column (under the glyph gutter and the sliders).
    for yy in (186, 300, 397, 551):
        c.rect(12, yy, 330, yy + 1, RULE)
    # The preview's stage: a soft shadow under the control (450..950, 2..388).
    for k, a in ((3, 0.05), (2, 0.07), (1, 0.10)):
        c.rrect(450 - k + 1, 2 - k + 2, 950 + k + 1, 388 + k + 2, 3 + k, (0x10, 0x20, 0x40), a)
    c.rect(450, 2, 950, 388, WHITE)
    # The thumbnail's corner of the memory dots and the zoom strip.
    c.rect(452, 396, 956, 397, RULE)
    # Group glyphs in the left gutter: surface, water and ice, air, clouds, cities.
    glyph_planet(c, 14, 20, 35)
    glyph_wave(c, 16, 206, 32)
    glyph_sun(c, 16, 314, 32)
    glyph_cloud(c, 14, 412, 34)
    glyph_city(c, 16, 556, 30)
    # The storms group of the right column.
    glyph_swirl(c, 636, 476, 32)
    # The About picture (control 25, 15..47 x 600..632): the product's mark.
    c.circle(31, 616, 15.5, WHITE)
    c.ring(31, 616, 15.5, 1.0, RULE)
    glyph_planet(c, 17, 602, 28, ACCENT_DARK)
    return c


def slider_track(style):
    """101 (even steps: tick marks) and 102 (an amount: a ramp) on 135 x 12."""
    w, h = 135, 12
    c = Canvas(w, h, GROUND)
    x0, x1 = 7, 128          # the thumb's centre runs from left+7 to left+127
    if style == 101:
        c.rrect(x0 - 3, 4.5, x1 + 3, 7.5, 1.5, GROOVE)
        for k in range(5):
            tx = x0 + (x1 - x0) * k / 4
            c.rect(round(tx) - 0.5, 9, round(tx) + 0.5, 11.5, (0x9A, 0xA6, 0xB6))
    else:
        # A wedge that grows from nothing to the full groove, light to the accent.
        def wedge(px, py):
            t = (px - (x0 - 3)) / (x1 - x0 + 6)
            if t < 0 or t > 1:
                return None
            half = 0.8 + 2.7 * t
            if abs(py - 6.0) > half:
                return None
            mix = [int(GROOVE[i] + (ACCENT_LIGHT[i] - GROOVE[i]) * t) for i in range(3)]
            return (mix[0], mix[1], mix[2], 255)
        c.shade(wedge, (0, 0, w, h))
    return c


def slider_thumb():
    """120: 12 x 10, a round knob with a white ring."""
    c = Canvas(12, 10, GROUND)
    c.circle(6, 5.3, 4.9, (0x10, 0x20, 0x40), 0.18)
    c.circle(6, 5, 4.8, WHITE)
    c.circle(6, 5, 3.6, ACCENT)
    c.ring(6, 5, 4.6, 0.8, (0x8A, 0x9B, 0xB4))
    return c


def direction_ball():
    """180: 85 x 85, a lit sphere with a light graticule; its centre is the ball's (42, 41)."""
    c = Canvas(85, 85, GROUND)
    cx, cy, r = 42.5, 41.5, 38.0
    # Lit from the upper right with a soft highlight, so that the program's yellow line and tip,
    # which start out in the upper left, stand on a calm mid blue.
    lx, ly, lz = 0.40, -0.55, 0.73
    n = math.sqrt(lx * lx + ly * ly + lz * lz)
    lx, ly, lz = lx / n, ly / n, lz / n
    dark = (0x16, 0x33, 0x66)
    light = (0x93, 0xB8, 0xE8)

    def sphere(px, py):
        u, v = (px - cx) / r, (py - cy) / r
        d = u * u + v * v
        if d > 1:
            return None
        z = math.sqrt(1 - d)
        lam = max(0.0, u * lx + v * ly + z * lz)
        t = 0.15 + 0.85 * lam
        col = [dark[i] + (light[i] - dark[i]) * t for i in range(3)]
        # A soft highlight.
        hx, hy, hz = lx, ly, lz + 1
        hn = math.sqrt(hx * hx + hy * hy + hz * hz)
        spec = max(0.0, (u * hx + v * hy + z * hz) / hn) ** 40
        col = [min(255, col[i] + 255 * 0.30 * spec) for i in range(3)]
        # The graticule: the equator, two parallels and three meridians, faintly.
        lat = math.asin(max(-1, min(1, -v)))
        lon = math.atan2(u, z)
        on = False
        for p in (-math.pi / 4, 0, math.pi / 4):
            if abs(lat - p) * r < 0.45:
                on = True
        for m in (-math.pi / 3, 0, math.pi / 3):
            if abs(lon - m) * r * math.cos(lat) < 0.45:
                on = True
        if on:
            col = [col[i] + (255 - col[i]) * 0.28 for i in range(3)]
        return (col[0], col[1], col[2], 255)
    c.circle(cx + 0.8, cy + 1.5, r + 0.5, (0x10, 0x20, 0x40), 0.18)
    c.shade(sphere, (0, 0, 85, 85))
    c.ring(cx, cy, r - 0.4, 0.9, dark, alpha=0.9)
    return c


def dot_face(state, pressed):
    """Memory-dot faces, 12 x 9: empty, kept (filled with the flag), filled without the flag,
    and the selected ones with an amber ring; pressed faces sink by one pixel."""
    c = Canvas(12, 9, GROUND)
    cx, cy = 6, 4.5 + (0.6 if pressed else 0)
    r = 3.9
    if state == 'empty':
        c.ring(cx, cy, r - 0.5, 1.1, (0x8A, 0x9B, 0xB4) if not pressed else ACCENT)
        if pressed:
            c.circle(cx, cy, r - 1.3, ACCENT_LIGHT)
    else:
        fill = {'kept': ACCENT, 'loose': ACCENT_LIGHT, 'sel_kept': ACCENT, 'sel_loose': ACCENT_LIGHT}[state]
        if pressed:
            fill = tuple(int(v * 0.78) for v in fill)
        if state.startswith('sel'):
            c.circle(cx, cy, r + 0.55, WARM)
            c.circle(cx, cy, r - 0.75, fill)
        else:
            c.circle(cx, cy, r, fill)
            c.ring(cx, cy, r - 0.4, 0.8, ACCENT_DARK, alpha=0.7)
    return c


def thumbnail_frame():
    """217: 96 x 90, the memory-dot thumbnail's frame; the picture covers (4, 4, 92, 92)."""
    c = Canvas(96, 90, GROUND)
    c.rrect(0.5, 0.5, 95.5, 89.5, 4, RULE)
    c.rrect(1.5, 1.5, 94.5, 88.5, 3, WHITE)
    # Shown while no dot is: a faint chequer of the picture's place.
    for yy in range(4, 90, 8):
        for xx in range(4, 92, 8):
            if ((xx - 4) // 8 + (yy - 4) // 8) % 2 == 0:
                c.rect(xx, yy, min(xx + 8, 92), min(yy + 8, 88), (0xEE, 0xF1, 0xF5))
    return c


# Icons: line glyphs in INK with the accent, on a transparent ground.

def icon_canvas(size):
    return Canvas(size, size)


def icon_clouds():
    c = icon_canvas(20)
    cloud_shape(c, 0, -2, 20, INK)
    cloud_shape(c, 1.6, -0.4, 16.8, WHITE)
    c.line(10, 9, 10, 17, 2, ACCENT)
    c.polygon([(6.5, 14), (13.5, 14), (10, 18.5)], ACCENT)
    return c


def icon_save():
    c = icon_canvas(20)
    c.polyline([(3, 12), (3, 17), (17, 17), (17, 12)], 2, INK)
    c.line(10, 2.5, 10, 12, 2, ACCENT)
    c.polygon([(5.5, 9), (14.5, 9), (10, 14)], ACCENT)
    return c


def icon_load():
    c = icon_canvas(20)
    c.polygon([(2, 5), (8, 5), (9.5, 7), (17, 7), (17, 16.5), (2, 16.5)], INK)
    c.polygon([(3.5, 9), (16, 9), (16, 15.2), (3.5, 15.2)], WHITE)
    c.polygon([(4.5, 10.5), (19, 10.5), (16.5, 16.5), (2, 16.5)], ACCENT)
    return c


def icon_defaults():
    c = icon_canvas(20)
    c.ring(10, 10.5, 6.5, 2, INK, 300, 230)
    c.polygon([(2.2, 3.5), (8.5, 4.8), (3.8, 9.5)], INK)
    c.circle(10, 10.5, 2, ACCENT)
    return c


def icon_layers():
    c = icon_canvas(20)
    for k, col in ((2, (0x9A, 0xA6, 0xB6)), (1, INK), (0, ACCENT)):
        y = 3 + k * 4
        c.polygon([(10, y), (18, y + 4), (10, y + 8), (2, y + 4)], WHITE)
        pts = [(10, y), (18, y + 4), (10, y + 8), (2, y + 4), (10, y)]
        c.polyline(pts, 1.4, col)
    return c


def icon_dice():
    c = icon_canvas(20)
    c.rrect(2.5, 2.5, 17.5, 17.5, 3.5, INK)
    c.rrect(4, 4, 16, 16, 2.2, WHITE)
    for (x, y) in ((6.8, 6.8), (13.2, 6.8), (10, 10), (6.8, 13.2), (13.2, 13.2)):
        c.circle(x, y, 1.45, ACCENT if (x, y) == (10, 10) else INK)
    return c


def icon_undo():
    c = icon_canvas(20)
    c.ring(11, 11.5, 5.5, 2, INK, 200, 100)
    c.polygon([(1.5, 8.5), (8.5, 4.5), (8.5, 12)], ACCENT)
    return c


def icon_seed():
    """186, a new random seed: a sprout."""
    c = icon_canvas(20)
    c.line(10, 18, 10, 8.5, 2, INK)
    c.cover(lambda x, y: (x - 6) ** 2 / 16 + (y - 8) ** 2 / 6.25 <= 1, (1, 5, 11, 11), ACCENT)
    c.cover(lambda x, y: (x - 14) ** 2 / 16 + (y - 6) ** 2 / 6.25 <= 1, (9, 3, 19, 9), (0x3C, 0x9A, 0x5A))
    c.line(4, 18, 16, 18, 2, INK)
    return c


def icon_info():
    c = icon_canvas(16)
    c.circle(8, 8, 7.5, ACCENT)
    c.circle(8, 4.6, 1.3, WHITE)
    c.rect(7, 6.8, 9, 12.5, WHITE)
    return c


def icon_presets():
    """236, the presets page: a small grid of pictures (10 x 10)."""
    c = icon_canvas(10)
    for (x, y) in ((0.5, 0.5), (5.5, 0.5), (0.5, 5.5), (5.5, 5.5)):
        c.rect(x, y, x + 4, y + 4, INK if (x, y) != (5.5, 0.5) else ACCENT)
    return c


def icon_zoom(plus):
    c = icon_canvas(10)
    c.rect(1, 4, 9, 6, INK)
    if plus:
        c.rect(4, 1, 6, 9, INK)
    return c


def icon_tip():
    """122, the tip of a direction ball (5 x 5): a white dot with a dark rim."""
    c = icon_canvas(5)
    c.circle(2.5, 2.5, 2.5, (0x10, 0x20, 0x40))
    c.circle(2.5, 2.5, 1.5, WHITE)
    return c


def arrowhead(c, x, y, dx, dy, size, color):
    px, py = -dy, dx
    c.polygon([(x + dx * size, y + dy * size), (x + px * size, y + py * size), (x - px * size, y - py * size)], color)


def cursor_pan():
    """107, panning: four arrows around the hotspot (16, 16), white with a dark outline."""
    c = Canvas(32, 32)
    for col, wd, sz in (((0x10, 0x10, 0x10), 4.2, 6.2), (WHITE, 1.8, 4.6)):
        c.line(16, 5, 16, 27, wd, col)
        c.line(5, 16, 27, 16, wd, col)
        for (dx, dy) in ((0, -1), (0, 1), (-1, 0), (1, 0)):
            arrowhead(c, 16 + dx * 9.5, 16 + dy * 9.5, dx, dy, sz, col)
    return c, (16, 16)


def cursor_preview():
    """109, the preview: cross hairs with an open centre, hotspot (16, 16)."""
    c = Canvas(32, 32)
    for col, wd in (((0x10, 0x10, 0x10), 3.4), (WHITE, 1.4)):
        for (x0, y0, x1, y1) in ((16, 3, 16, 12), (16, 20, 16, 29), (3, 16, 12, 16), (20, 16, 29, 16)):
            c.line(x0, y0, x1, y1, wd, col)
        c.ring(16, 16, 7, wd, col)
    c.circle(16, 16, 1.2, (0x10, 0x10, 0x10))
    return c, (16, 16)


# ---- The template ----------------------------------------------------------------------------

# Rows (left, top, right, bottom) in client pixels; the program places every item by its own
# copy of this table when the dialog opens, so these only give a sensible first layout.
SLIDERS = [  # slider, edit, label, top, right column
    (37, 86, 36, 20, 0), (39, 85, 38, 43, 0), (103, 104, 102, 66, 0), (59, 92, 58, 89, 0),
    (61, 93, 60, 112, 0), (63, 94, 62, 135, 0), (65, 81, 64, 203, 0), (57, 91, 56, 226, 0),
    (55, 90, 54, 249, 0), (12, 79, 22, 316, 0), (51, 83, 50, 339, 0), (13, 80, 4, 362, 0),
    (98, 99, 97, 410, 0), (69, 95, 68, 433, 0), (11, 78, 15, 456, 0), (10, 77, 24, 479, 0),
    (67, 82, 66, 502, 0), (107, 108, None, 566, 0), (114, 115, 113, 474, 1), (110, 111, 109, 497, 1),
    (45, 88, 44, 520, 1), (43, 87, 42, 542, 1), (47, 89, 46, 565, 1),
]
SWATCHES = [(7, 16), (20, 199), (19, 222), (9, 245), (8, 335), (14, 406), (29, 561)]
ICON_BUTTONS = [(17, 324, 'C&louds'), (71, 363, 'L&ayers'), (35, 402, '&Load'), (26, 441, '&Save'),
                (74, 480, '&Undo'), (72, 519, '&Dice'), (75, 558, '&Ecce'), (27, 597, 'Defaults')]
CHECKS = [(21, 130, 158, 23, (150, 160, 215, 175)), (105, 130, 272, 70, (151, 274, 216, 289)),
          (48, 130, 524, 49, (151, 526, 216, 541)), (52, 337, 97, 53, (358, 100, 423, 113))]
DOTS = [(433, 388), (437, 400), (437, 412), (433, 425), (429, 438), (425, 451), (425, 464), (429, 476),
        (436, 487), (444, 497), (455, 505), (467, 514), (480, 520), (495, 524), (510, 524), (524, 520),
        (537, 514), (549, 505), (558, 493), (564, 480), (568, 465), (568, 450), (564, 436), (558, 423),
        (549, 411)]


def template_items():
    """(kind, id, text, class, style, rect) of every item, in the tab order."""
    items = []
    add = lambda *a: items.append(a)
    static = 'SS_LEFT'
    for slider, edit, label, top, right in SLIDERS:
        lx0, lx1, sx0, sx1, ex0, ex1 = ((62, 121, 130, 265, 273, 297) if not right else
                                        (680, 737, 746, 881, 889, 913))
        if label is not None:
            rect = (61, 479, 122, 495) if label == 24 else (lx0, top, lx1, top + (15 if right else 18))
            add('CONTROL', label, '', 'STATIC', static, rect)
        add('CONTROL', slider, '', 'STATIC', static, (sx0, top, sx1, top + 12))
        add('EDITTEXT', edit, None, None, 'ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP', (ex0, top - 2, ex1, top + 10))
    for sid, top in SWATCHES:
        add('CONTROL', sid, '', 'BUTTON', 'BS_OWNERDRAW | WS_TABSTOP', (308, top, 328, top + 20))
    for check, x, y, label, lrect in CHECKS:
        add('CONTROL', check, '', 'BUTTON', 'BS_AUTOCHECKBOX | WS_TABSTOP', (x, y, x + 14, y + 14))
        add('CONTROL', label, '', 'STATIC', static, lrect)
    for bid, top, text in ICON_BUTTONS:
        add('CONTROL', bid, text, 'BUTTON', 'BS_PUSHBUTTON | BS_ICON | WS_TABSTOP', (346, top - 2, 406, top + 27))
    add('CONTROL', 112, '', 'STATIC', static, (335, 11, 420, 96))
    add('CONTROL', 100, '', 'STATIC', static, (335, 191, 420, 276))
    add('CONTROL', 40, '', 'STATIC', static, (335, 280, 420, 293))
    add('CONTROL', 101, '', 'STATIC', static, (14, 20, 49, 55))
    add('CONTROL', 18, '', 'STATIC', static, (450, 2, 950, 388))
    add('CONTROL', 116, '-', 'BUTTON', 'BS_PUSHBUTTON | BS_ICON | WS_TABSTOP', (587, 402, 609, 424))
    add('CONTROL', 76, '', 'STATIC', static, (589, 436, 948, 453))
    add('CONTROL', 33, '-', 'BUTTON', 'BS_PUSHBUTTON | BS_ICON | WS_TABSTOP', (734, 404, 748, 418))
    add('CONTROL', 34, '100%', 'BUTTON', 'BS_PUSHBUTTON | WS_TABSTOP', (751, 402, 788, 419))
    add('CONTROL', 32, '+', 'BUTTON', 'BS_PUSHBUTTON | BS_ICON | WS_TABSTOP', (794, 404, 808, 418))
    add('CONTROL', 150, '^', 'BUTTON', 'BS_PUSHBUTTON | BS_ICON | WS_TABSTOP', (932, 402, 946, 417))
    add('CONTROL', 119, '', 'STATIC', static, (451, 404, 547, 494))
    for k, (x, y) in enumerate(DOTS):
        add('CONTROL', 121 + k, '', 'STATIC', static, (x, y, x + 12, y + 11))
    add('CONTROL', 25, '', 'STATIC', static, (15, 600, 47, 632))
    add('CONTROL', 146, '', 'STATIC', static, (64, 610, 123, 628))
    add('COMBOBOX', 73, None, None, 'CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP', (128, 605, 243, 605 + 200))
    add('CONTROL', 2, '&Cancel', 'BUTTON', 'BS_PUSHBUTTON | WS_TABSTOP', (587, 600, 647, 627))
    add('CONTROL', 3, '&OK', 'BUTTON', 'BS_DEFPUSHBUTTON | WS_TABSTOP', (887, 600, 947, 627))
    return items


# Pixels to dialog units for the 8-point dialog font (about 6 x 13 pixels of base unit).
def dlu(rect):
    l, t, r, b = rect
    x = lambda v: int(round(v * 4 / 6))
    y = lambda v: int(round(v * 8 / 13))
    return x(l), y(t), max(1, x(r) - x(l)), max(1, y(b) - y(t))


BITMAPS = [239, 101, 102, 120, 180, 217, 202, 203, 208, 210, 211, 212, 213, 214, 215, 216]
ICONS = [5, 243, 122, 179, 186, 225, 232, 235, 236, 237, 240, 241, 242]
CURSORS = [107, 109]


def write_rc(path):
    lines = [
        '// main_dialog.rc -- the main dialog ZUVEDERUSANSPARAM and its pictures. Written by',
        '// tools/make_main_dialog_art.py; configured per tree with the pictures\' folder.',
        '//',
        '// The program places and sizes every item itself when the dialog opens (963 x 641 client',
        '// pixels), so the coordinates below are only a first layout. What matters here are the',
        '// classes and styles: the dialog has no WS_CLIPCHILDREN (the program paints its sliders,',
        '// labels, balls and dots on the dialog\'s own device context, over the statics), the',
        '// program-painted items are statics without text and without SS_NOTIFY (so their mouse',
        '// messages go to the dialog), the edits take any text ("-3" must be typable), swatches',
        '// are owner-drawn, and the icon buttons get their icons from the program.',
        '#include <windows.h>',
        '',
    ]
    for b in BITMAPS:
        lines.append('%d BITMAP "@KV_MAIN_DIALOG_DIR@/%d.bmp"' % (b, b))
    for i in ICONS:
        lines.append('%d ICON "@KV_MAIN_DIALOG_DIR@/%d.ico"' % (i, i))
    for k in CURSORS:
        lines.append('%d CURSOR "@KV_MAIN_DIALOG_DIR@/%d.cur"' % (k, k))
    lines += [
        '',
        'ZUVEDERUSANSPARAM DIALOGEX 0, 0, %d, %d' % dlu((0, 0, 963, 641))[2:],
        'STYLE DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU',
        'CAPTION "Kivaglobe"',
        # Arial, the face the program paints its labels in, so that edits, buttons and the
        # list read as one with them (fonts-liberation gives Wine a face of Arial's metrics).
        'FONT 8, "Arial"',
        'BEGIN',
    ]
    for kind, cid, text, cls, style, rect in template_items():
        x, y, w, h = dlu(rect)
        if kind == 'EDITTEXT':
            lines.append('  EDITTEXT %d, %d, %d, %d, %d, %s' % (cid, x, y, w, h, style))
        elif kind == 'COMBOBOX':
            lines.append('  COMBOBOX %d, %d, %d, %d, %d, %s' % (cid, x, y, w, h, style))
        else:
            lines.append('  CONTROL "%s", %d, "%s", %s | WS_CHILD | WS_VISIBLE, %d, %d, %d, %d' %
                         (text, cid, cls, style, x, y, w, h))
    lines += ['END', '']
    with open(path, 'w') as f:
        f.write('\n'.join(lines))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument('--out', default=os.path.join(here, '..', 'resources', 'main_dialog'))
    ap.add_argument('--rc', default=os.path.join(here, '..', 'resources', 'main_dialog.rc.in'))
    ap.add_argument('--png', help='also write PNG copies and a contact sheet into this folder')
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)

    pictures = {239: background(), 101: slider_track(101), 102: slider_track(102), 120: slider_thumb(),
                180: direction_ball(), 217: thumbnail_frame()}
    faces = {203: ('empty', 0), 210: ('empty', 1), 215: ('kept', 0), 216: ('kept', 1),
             213: ('loose', 0), 214: ('loose', 1), 208: ('sel_kept', 0), 212: ('sel_kept', 1),
             202: ('sel_loose', 0), 211: ('sel_loose', 1)}
    for bid, (state, pressed) in faces.items():
        pictures[bid] = dot_face(state, pressed)
    icons = {179: icon_clouds(), 241: icon_save(), 240: icon_load(), 225: icon_defaults(),
             232: icon_layers(), 237: icon_dice(), 242: icon_undo(), 186: icon_seed(), 235: icon_info(),
             236: icon_presets(), 5: icon_zoom(True), 243: icon_zoom(False), 122: icon_tip()}
    cursors = {107: cursor_pan(), 109: cursor_preview()}

    written = []
    for bid in BITMAPS:
        c = pictures[bid]
        path = os.path.join(args.out, '%d.bmp' % bid)
        with open(path, 'wb') as f:
            f.write(bmp24(c.w, c.h, c.flatten(GROUND)))
        written.append(path)
    for iid in ICONS:
        c = icons[iid]
        path = os.path.join(args.out, '%d.ico' % iid)
        with open(path, 'wb') as f:
            f.write(ico_file(c.w, c.h, c.rgba8()))
        written.append(path)
    for cid in CURSORS:
        c, hot = cursors[cid]
        path = os.path.join(args.out, '%d.cur' % cid)
        with open(path, 'wb') as f:
            f.write(ico_file(c.w, c.h, c.rgba8(), hot))
        written.append(path)
    write_rc(args.rc)

    if args.png:
        os.makedirs(args.png, exist_ok=True)
        pngs = []
        for path in written:
            name = os.path.basename(path)
            png = os.path.join(args.png, name.replace('.', '_') + '.png')
            src = path if not path.endswith('.cur') else 'ico:' + path
            subprocess.run(['convert', src, '-scale', '400%' if not name.startswith('239') else '100%',
                            png], check=True)
            pngs.append(png)
        subprocess.run(['montage'] + [p for p in pngs if '239' not in p] +
                       ['-background', '#%02X%02X%02X' % GROUND, '-geometry', '+8+8', '-tile', '8x',
                        os.path.join(args.png, 'sheet.png')], check=True)


if __name__ == '__main__':
    main()
