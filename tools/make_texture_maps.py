#!/usr/bin/env python3
"""Writes the built-in texture maps of the plug-in: raw 8-bit samples, row by row, no header.

    crater146.raw, crater148.raw, crater149.raw, crater150.raw   384 x 384 crater height fields
    lunar151.raw                                                 512 x 512 lunar near-side relief

The files are committed in resources/textures/ and carried by the plug-in as RT_RCDATA
resources 146, 148, 149, 150 and 151 (the native build links the same bytes as arrays).
Running this script again writes the same bytes.

Crater height fields. The renderer stretches the whole square over a crater's footprint on the
sphere and adds (sample - 128) times the crater's depth factor to the terrain, so:
  * 128 means "no change", and everything outside the crater's ejecta blanket, the whole border
    in particular, is exactly 128 (a decal is a hard-edged square: any other border value would
    show its outline);
  * the bowl lies below 128 and the raised rim above it, falling back to 128 over the ejecta;
  * the four maps differ (a fresh bowl, a flat-floored crater with a small central peak, a large
    terraced crater with a central peak, an old worn crater with a younger one on its rim), and
    the renderer mirrors each four ways, so sixteen different craters are seen;
  * the fields are smooth enough for mip-mapped trilinear sampling (no single-pixel detail
    beyond a faint roughness).
Every crater is drawn from an analytic profile plus a deterministic value noise: no random
module, no external input.

Lunar relief. Sampled by the renderer at (x / 2 + 1/2, y / 2 + 1/2) of the unit-sphere point,
with x growing to the left of the picture and y upward, and read as an altitude of
(sample - 128) x 0.003. The map therefore holds the near side as an orthographic disc inscribed
in the square, turned by 180 degrees (the renderer's sphere point is mirrored in both axes
against image rows and columns), so that the moon appears upright with north at the top; 128
fills everything outside the disc. The brightness of a public-domain albedo map of the moon is
taken as the relief: the dark maria come out below 128 and the bright highlands above.

Source of the lunar picture: the equirectangular moon map "moon_4k.jpg" (4096 x 2048) of the
Debian package stellarium-data (main), /usr/share/stellarium/textures/moon_4k.jpg. The
package's copyright file states: "Moon texture map was combined from maps by USGS Astrogeology
Research Program, http://astrogeology.usgs.gov (Public Domain, DFSG-free) and by Lunar surface
textures from Celestia, based on Clementine data (Public Domain)."

Usage:
    make_texture_maps.py OUTPUT_FOLDER --moon PATH/moon_4k.jpg
The moon picture is decoded with ImageMagick's convert (apt-get install imagemagick); to get
the picture without installing the whole package:
    apt-get download stellarium-data
    dpkg-deb --fsys-tarfile stellarium-data_*.deb | tar -x ./usr/share/stellarium/textures/moon_4k.jpg
Without --moon only the four crater maps are written.
"""
import argparse
import math
import os
import subprocess

CRATER_SIZE = 384
LUNAR_SIZE = 512
NEUTRAL = 128


# ---- Deterministic value noise --------------------------------------------------------------

def hash32(x, y, seed):
    h = (x * 0x27D4EB2D) ^ (y * 0x165667B1) ^ (seed * 0x9E3779B1)
    h &= 0xFFFFFFFF
    h ^= h >> 15
    h = (h * 0x2C1B3C6D) & 0xFFFFFFFF
    h ^= h >> 12
    h = (h * 0x297A2D39) & 0xFFFFFFFF
    h ^= h >> 15
    return h


def lattice(x, y, seed):
    return hash32(x & 0xFFFF, y & 0xFFFF, seed) / 2147483648.0 - 1.0


def smooth(t):
    return t * t * (3.0 - 2.0 * t)


def value_noise(x, y, seed):
    """Smooth value noise in -1..1 with unit lattice spacing."""
    ix, iy = math.floor(x), math.floor(y)
    fx, fy = smooth(x - ix), smooth(y - iy)
    a = lattice(ix, iy, seed)
    b = lattice(ix + 1, iy, seed)
    c = lattice(ix, iy + 1, seed)
    d = lattice(ix + 1, iy + 1, seed)
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy


def fractal(x, y, seed, octaves):
    total, amplitude, norm = 0.0, 1.0, 0.0
    for octave in range(octaves):
        total += amplitude * value_noise(x, y, seed + 101 * octave)
        norm += amplitude
        amplitude *= 0.5
        x *= 2.0
        y *= 2.0
    return total / norm


def smoothstep(edge0, edge1, x):
    if x <= edge0:
        return 0.0
    if x >= edge1:
        return 1.0
    return smooth((x - edge0) / (edge1 - edge0))


# ---- Craters ----------------------------------------------------------------------------------

class Crater:
    """One crater profile. Distances are in units of the half square (the border is at 1)."""

    def __init__(self, seed, radius, depth, rim, floor=0.0, peak=0.0, peak_width=0.12,
                 terraces=0, ejecta=1.7, wobble=0.05, roughness=0.05, centre=(0.0, 0.0)):
        self.seed = seed
        self.radius = radius          # rim crest radius
        self.depth = depth            # floor below the surroundings (a positive number)
        self.rim = rim                # rim crest above the surroundings
        self.floor = floor            # fraction of the radius that is flat floor
        self.peak = peak              # central peak height above the floor
        self.peak_width = peak_width
        self.terraces = terraces      # steps on the inner wall
        self.ejecta = ejecta          # the ejecta blanket ends at ejecta x radius
        self.wobble = wobble          # irregularity of the rim outline
        self.roughness = roughness
        self.centre = centre
        # The rim outline: a few low harmonics with fixed phases.
        self.harmonics = [(k, wobble / k ** 0.7 * (0.5 + 0.5 * lattice(k, 7, seed)),
                           math.pi * (1.0 + lattice(k, 3, seed))) for k in range(2, 7)]

    def outline(self, theta):
        return self.radius * (1.0 + sum(a * math.sin(k * theta + p) for k, a, p in self.harmonics))

    def profile(self, rho):
        """Height at relative distance rho (1 = rim crest), without the roughness."""
        if rho < 1.0:
            wall = 0.0 if rho < self.floor else (rho - self.floor) / (1.0 - self.floor)
            shape = wall ** 2.2
            if self.terraces:
                # Slumped steps: the wall is flattened in bands, then falls to the next one.
                steps = self.terraces
                stepped = math.floor(shape * steps) / steps + smooth((shape * steps) % 1.0) / steps
                shape = 0.55 * shape + 0.45 * stepped
            h = -self.depth + (self.depth + self.rim) * shape
            if self.peak:
                h += self.peak * math.exp(-(rho / self.peak_width) ** 2)
            return h
        if rho < self.ejecta:
            e = (1.0 / self.ejecta) ** 3
            fall = ((1.0 / rho) ** 3 - e) / (1.0 - e)
            return self.rim * fall * (1.0 - smoothstep(0.75 * self.ejecta, self.ejecta, rho) * 0.3)
        return 0.0

    def height(self, x, y):
        dx, dy = x - self.centre[0], y - self.centre[1]
        r = math.hypot(dx, dy)
        theta = math.atan2(dy, dx)
        rho = r / self.outline(theta)
        h = self.profile(rho)
        if rho < self.ejecta:
            envelope = 1.0 - smoothstep(0.8 * self.ejecta, self.ejecta, rho)
            h += self.roughness * envelope * fractal(x * 9.0, y * 9.0, self.seed, 4)
        return h


CRATER_DESIGNS = {
    # A fresh simple crater: a deep parabolic bowl and a sharp rim.
    146: [Crater(seed=146, radius=0.50, depth=1.00, rim=0.42, wobble=0.04, roughness=0.05)],
    # A flat-floored crater with a small central peak.
    148: [Crater(seed=148, radius=0.52, depth=0.80, rim=0.36, floor=0.45, peak=0.30,
                 peak_width=0.13, wobble=0.06, roughness=0.05)],
    # A large complex crater: terraced walls, a broad flat floor and a high central peak.
    149: [Crater(seed=149, radius=0.54, depth=0.70, rim=0.30, floor=0.50, peak=0.50,
                 peak_width=0.16, terraces=3, ejecta=1.6, wobble=0.07, roughness=0.06)],
    # An old, worn crater with a younger small crater on its rim.
    150: [Crater(seed=150, radius=0.52, depth=0.45, rim=0.18, floor=0.25, wobble=0.08,
                 roughness=0.08, ejecta=1.5),
          Crater(seed=151, radius=0.15, depth=0.55, rim=0.22, wobble=0.03, roughness=0.02,
                 ejecta=1.8, centre=(0.36, -0.30))],
}

# Everything from this distance from the centre outward (in half-square units) is exactly
# neutral; between FADE_START and it the relief fades out.
FADE_START = 0.86
FADE_END = 0.96
# Height units to sample steps: a height of -1 is 100 steps below 128.
CRATER_SCALE = 100.0


def crater_map(resource):
    craters = CRATER_DESIGNS[resource]
    half = CRATER_SIZE / 2.0
    out = bytearray(CRATER_SIZE * CRATER_SIZE)
    for row in range(CRATER_SIZE):
        y = (row + 0.5 - half) / half
        for col in range(CRATER_SIZE):
            x = (col + 0.5 - half) / half
            r = math.hypot(x, y)
            value = NEUTRAL
            if r < FADE_END:
                h = sum(c.height(x, y) for c in craters)
                h *= 1.0 - smoothstep(FADE_START, FADE_END, r)
                value = max(1, min(255, NEUTRAL + int(round(h * CRATER_SCALE))))
            out[row * CRATER_SIZE + col] = value
    return bytes(out)


# ---- The moon ---------------------------------------------------------------------------------

def read_gray_picture(path):
    """The picture as (width, height, bytes) of 8-bit grey, decoded by ImageMagick."""
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                          capture_output=True, text=True).stdout.split()
    width, height = int(size[0]), int(size[1])
    data = subprocess.run(["convert", path, "-colorspace", "Gray", "-depth", "8", "gray:-"],
                          check=True, capture_output=True).stdout
    if len(data) != width * height:
        raise SystemExit(f"unexpected decoded size {len(data)} for {width} x {height}")
    return width, height, data


def sample_map(width, height, data, lon, lat):
    """Bilinear sample of an equirectangular map: longitude 0 at the centre column, east to the
    right; latitude +90 at the top row. Longitudes wrap, latitudes clamp."""
    fx = (lon / (2.0 * math.pi) + 0.5) * width - 0.5
    fy = (0.5 - lat / math.pi) * height - 0.5
    x0 = math.floor(fx)
    y0 = math.floor(fy)
    tx, ty = fx - x0, fy - y0
    ya = min(max(y0, 0), height - 1)
    yb = min(max(y0 + 1, 0), height - 1)
    xa = x0 % width
    xb = (x0 + 1) % width
    a = data[ya * width + xa]
    b = data[ya * width + xb]
    c = data[yb * width + xa]
    d = data[yb * width + xb]
    top = a + (b - a) * tx
    bottom = c + (d - c) * tx
    return top + (bottom - top) * ty


def lunar_map(moon_path):
    width, height, data = read_gray_picture(moon_path)
    n = LUNAR_SIZE
    sub = 3  # samples per pixel and axis
    albedo = [None] * (n * n)      # mean brightness of the covered part, None off the disc
    cover = [0.0] * (n * n)
    for row in range(n):
        for col in range(n):
            total, hits = 0.0, 0
            for sj in range(sub):
                v = (row + (sj + 0.5) / sub) / n
                for si in range(sub):
                    u = (col + (si + 0.5) / sub) / n
                    # The renderer's sphere point: x = 2u - 1 grows to the picture's left and
                    # y = 2v - 1 upward, so the picture is the view turned by 180 degrees.
                    right = 1.0 - 2.0 * u
                    up = 2.0 * v - 1.0
                    q = right * right + up * up
                    if q >= 1.0:
                        continue
                    toward = math.sqrt(1.0 - q)
                    lat = math.asin(up)
                    lon = math.atan2(right, toward)
                    total += sample_map(width, height, data, lon, lat)
                    hits += 1
            if hits:
                albedo[row * n + col] = total / hits
                cover[row * n + col] = hits / (sub * sub)

    # Brightness to height: the level below which about a third of the disc lies (the maria)
    # becomes 128; the darkest and brightest percent reach 128 -/+ 96.
    values = sorted(a for a in albedo if a is not None)
    low = values[len(values) // 100]
    middle = values[len(values) * 34 // 100]
    high = values[len(values) * 99 // 100]
    out = bytearray([NEUTRAL]) * (n * n)
    for k in range(n * n):
        a = albedo[k]
        if a is None:
            continue
        if a < middle:
            h = (a - middle) / (middle - low) * 96.0
        else:
            h = (a - middle) / (high - middle) * 96.0
        h *= cover[k]  # the rim pixels blend toward the neutral outside
        out[k] = max(1, min(255, NEUTRAL + int(round(h))))
    return bytes(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("output")
    parser.add_argument("--moon", help="path of the equirectangular moon picture (moon_4k.jpg)")
    args = parser.parse_args()
    os.makedirs(args.output, exist_ok=True)
    for resource in sorted(CRATER_DESIGNS):
        with open(os.path.join(args.output, f"crater{resource}.raw"), "wb") as f:
            f.write(crater_map(resource))
    if args.moon:
        with open(os.path.join(args.output, "lunar151.raw"), "wb") as f:
            f.write(lunar_map(args.moon))


if __name__ == "__main__":
    main()
