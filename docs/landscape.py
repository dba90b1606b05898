#!/usr/bin/env python3
"""Paints a photo-like landscape, so that the README's screenshot shows a picture the project made
itself: a sky darkening upwards, a low sun with its glow, drifting clouds, three ranges of hills
paling into the distance, a lake that mirrors the sky, grass and film grain.

The same arguments give the same picture, pixel for pixel (the noise is seeded, nothing is read from
outside), so the screenshot can be made again at any time.

    landscape.py WIDTH HEIGHT OUT.bmp
"""

import math
import os
import random
import sys


class Noise:
    """Smooth value noise on a lattice, summed over octaves (fractal noise), in 0..1."""

    def __init__(self, seed, size=256):
        rng = random.Random(seed)
        self.size = size
        self.values = [rng.random() for _ in range(size * size)]

    def _lattice(self, i, j):
        return self.values[(j % self.size) * self.size + (i % self.size)]

    def smooth(self, x, y):
        i, j = math.floor(x), math.floor(y)
        fx, fy = x - i, y - j
        # Smoothstep, so the lattice does not show as creases.
        sx, sy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        top = self._lattice(i, j) + (self._lattice(i + 1, j) - self._lattice(i, j)) * sx
        bottom = self._lattice(i, j + 1) + (self._lattice(i + 1, j + 1) - self._lattice(i, j + 1)) * sx
        return top + (bottom - top) * sy

    def fractal(self, x, y, octaves=4):
        total, amplitude, norm = 0.0, 1.0, 0.0
        for _ in range(octaves):
            total += amplitude * self.smooth(x, y)
            norm += amplitude
            x, y, amplitude = x * 2.03, y * 2.03, amplitude * 0.5
        return total / norm


def mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(p + (q - p) * t for p, q in zip(a, b))


def landscape(width, height, seed=7):
    noise = Noise(seed)
    grain = random.Random(seed + 1)
    horizon = 0.66 * height  # where the lake begins
    sun = (0.72 * width, 0.19 * height)
    sun_radius = 0.045 * min(width, height) + 2

    zenith, haze = (38, 78, 150), (246, 196, 150)
    ridges = [
        # (base height as a fraction of the picture, roughness, colour near the top, colour low down)
        (0.50, 0.20, (110, 122, 168), (150, 152, 185)),  # far mountains, pale with distance
        (0.58, 0.16, (66, 104, 92), (92, 122, 98)),  # wooded hills
        (0.65, 0.08, (58, 100, 50), (86, 124, 58)),  # near meadows, down to the shore
    ]

    def ridge_top(k, x):
        base, rough, _, _ = ridges[k]
        n = noise.fractal(x / width * (2.5 + 1.5 * k) + 11 * k, 0.5 + k, 5)
        if k == 0:
            n = 1 - abs(2 * n - 1)  # folded noise: sharp peaks and soft valleys, like rock
        return height * (base - rough * n)

    def sky(x, y):
        t = y / horizon
        colour = mix(zenith, haze, t**1.6)
        d = math.hypot(x - sun[0], y - sun[1])
        glow = math.exp(-d / (0.22 * width))
        colour = mix(colour, (255, 230, 180), 0.75 * glow)
        if d < sun_radius:
            colour = mix((255, 250, 225), colour, (d / sun_radius) ** 6)
        # Clouds: stretched fractal noise, thinner near the horizon, lit from the sun's side.
        c = noise.fractal(x / width * 4.0, y / height * 11.0 + 40, 5)
        amount = max(0.0, (c - 0.52) * 3.2) * (1 - t) ** 0.5
        lit = mix((200, 190, 200), (255, 240, 225), glow * 1.5)
        return mix(colour, lit, amount)

    def land(x, y):
        for k in range(len(ridges) - 1, -1, -1):
            top = ridge_top(k, x)
            if y >= top:
                _, _, high, low = ridges[k]
                depth = (y - top) / max(1.0, horizon - top)
                colour = mix(high, low, depth)
                # Rim light where the sun grazes the ridge, texture of trees and grass inside.
                colour = mix(colour, (230, 200, 150), 0.35 * math.exp(-(y - top) / 2.5) * (k + 1) / 3)
                texture = noise.fractal(x / width * (30 + 30 * k), y / height * (30 + 40 * k) + 90 * k, 3)
                shade = 0.9 + (0.15 + 0.15 * k) * (texture - 0.5) * 2
                return tuple(v * shade for v in colour)
        return None

    pixels = []
    for y in range(height):
        row = []
        for x in range(width):
            if y < horizon:
                colour = land(x, y) or sky(x, y)
            else:
                # The lake: the scene above mirrored, darkened and rippled sideways.
                mirrored = 2 * horizon - y - 1
                ripple = 3.0 * math.sin(y * 0.9 + 4 * noise.smooth(x / 20, y / 3)) * (y - horizon) / height
                mx = min(width - 1, max(0, int(x + ripple)))
                above = land(mx, mirrored) or sky(mx, mirrored)
                colour = mix(above, (20, 45, 70), 0.35 + 0.4 * (y - horizon) / (height - horizon))
            # Film grain, so no two neighbouring pixels are quite alike, as in a photograph.
            g = grain.gauss(0, 4.0)
            row.append(tuple(min(255, max(0, int(round(v + g)))) for v in colour))
        pixels.append(row)
    return pixels


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.splitlines()[-1].strip())
    # The end-to-end driver's BMP writer, so that one piece of code defines the file.
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
    import play  # noqa: E402

    play.write_bmp(sys.argv[3], landscape(int(sys.argv[1]), int(sys.argv[2])))
