#!/usr/bin/env python3
"""A photo-sized picture on a laptop-sized screen: a 4000 x 3000 picture at level 4 makes a play
surface of 8029 x 3003 pixels, which the window shows whole, shrunk smoothly to fit. Checked on
screen: the window lies on the screen; every sampled screen pixel of the picture is the average of
the surface pixels it covers (not the nearest one, and not doubled on a 2x screen); a piece dragged
by screen coordinates onto its own cell lands there and shows there; F4 shows the picture at the
same scale; after the player resizes the window the view follows, and a lost game leaves the window
at the player's size.

Run by scripts/e2e.sh when TILORA_E2E_BIG is set (1: a 1366 x 768 screen; 2: QT_SCALE_FACTOR=2 on a
2732 x 1536 screen); needs what play.py needs. Writes its screenshots to the work folder given with
--workdir.
"""

import argparse
import math
import os
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import play  # noqa: E402
from play import Failure, check, expect, geometry, log, screenshot, xdo  # noqa: E402

N = 4
PIC_W, PIC_H = 4000, 3000
PIECE_W, PIECE_H = PIC_W // N, PIC_H // N
GAP = 20
# The play surface's inner size: 2 x 4 x 1000 pixels and 500 twips across, 3000 and 100 twips down.
INNER_W, INNER_H = 8029, 3003
TOP = 16  # the surface lies 240 twips below the form's top
BORDER = 2
GREEN = (0, 192, 0)
BLACK = (0, 0, 0)
# Most a screen pixel may differ from the exact average of what it covers, per channel.
TOLERANCE = 3


def picture_pixel(x, y):
    # Red across, green down, and blue stripes that run both ways, so that a piece and its mirror
    # images differ at every sample and no two pieces look alike.
    return (255 * x // (PIC_W - 1), 255 * y // (PIC_H - 1), ((x // 9) * 29 + (y // 7) * 53) % 256)


def write_bmp(path):
    # picture_pixel row by row, a column's worth of it computed once: twelve million pixels.
    reds = [255 * x // (PIC_W - 1) for x in range(PIC_W)]
    stripes = [(x // 9) * 29 for x in range(PIC_W)]
    with open(path, "wb") as f:
        size = PIC_W * PIC_H * 3
        f.write(struct.pack("<2sIHHI", b"BM", 54 + size, 0, 0, 54))
        f.write(struct.pack("<IiiHHIIiiII", 40, PIC_W, PIC_H, 1, 24, 0, size, 2835, 2835, 0, 0))
        for y in range(PIC_H - 1, -1, -1):
            g = 255 * y // (PIC_H - 1)
            across = (y // 7) * 53
            row = bytearray(PIC_W * 3)
            row[0::3] = bytes((s + across) % 256 for s in stripes)
            row[1::3] = bytes((g,)) * PIC_W
            row[2::3] = bytes(reds)
            f.write(row)


def piece_pixel(k, flips, x, y):
    h, v = flips
    sx = PIECE_W - 1 - x if h else x
    sy = PIECE_H - 1 - y if v else y
    row, col = divmod(k - 1, N)
    return picture_pixel(col * PIECE_W + sx, row * PIECE_H + sy)


def cell_corner(c, board):
    row, col = divmod(c - 1, N)
    return (N * PIECE_W + GAP if board else 0) + col * PIECE_W, row * PIECE_H


class View:
    """Where the play surface lies on the screen and at what scale, worked out as the game does from
    the window's central area; screen figures are in device pixels."""

    def __init__(self, window, ratio):
        wx, wy, ww, wh = geometry(window)
        shot = screenshot()
        # The form starts below the menu bar: the first green pixel down its left edge.
        x = wx + 4 * ratio
        form_top = next((y for y in range(wy, wy + wh) if shot.at(x, y) == GREEN), None)
        if form_top is None:
            raise Failure("no green form in the window")
        room_w = ww // ratio - 2 * BORDER
        room_h = (wy + wh - form_top) // ratio - TOP - 2 * BORDER
        if INNER_W <= room_w and INNER_H <= room_h:
            num, den = 1, 1
        elif room_w * INNER_H <= room_h * INNER_W:
            num, den = room_w, INNER_W
        else:
            num, den = room_h, INNER_H
        self.window = (wx, wy, ww, wh)
        self.num, self.den, self.ratio = num, den, ratio
        self.scale = num / den
        self.k = self.scale * ratio
        self.ox = wx + BORDER * ratio
        self.oy = form_top + (TOP + BORDER) * ratio
        log("window %dx%d at %d,%d; surface at %d,%d shown at %.4f" % (ww, wh, wx, wy, self.ox, self.oy, self.scale))

    def surface(self, dx, dy):
        """The surface pixel that a pointer at screen pixel (dx, dy) reaches, as whole numbers."""
        return ((dx - self.ox) * self.den // (self.ratio * self.num), (dy - self.oy) * self.den // (self.ratio * self.num))

    def screen(self, sx, sy):
        """The screen pixel that shows surface point (sx, sy)."""
        return int(self.ox + sx * self.k), int(self.oy + sy * self.k)

    def expected(self, dx, dy, surface):
        """The average of the surface pixels that screen pixel (dx, dy) covers, each by the part it
        covers; surface(x, y) gives a surface pixel."""
        x0, x1 = (dx - self.ox) / self.k, (dx + 1 - self.ox) / self.k
        y0, y1 = (dy - self.oy) / self.k, (dy + 1 - self.oy) / self.k
        total = [0.0, 0.0, 0.0]
        for y in range(math.floor(y0), math.ceil(y1)):
            wy = min(y + 1, y1) - max(y, y0)
            for x in range(math.floor(x0), math.ceil(x1)):
                w = wy * (min(x + 1, x1) - max(x, x0))
                p = surface(x, y)
                for c in range(3):
                    total[c] += w * p[c]
        area = (x1 - x0) * (y1 - y0)
        return tuple(t / area for t in total)

    def nearest(self, dx, dy, surface):
        return surface(int((dx + 0.5 - self.ox) / self.k), int((dy + 0.5 - self.oy) / self.k))

    def samples(self, left, top, width, height, across=6, down=5):
        """Screen pixels wholly inside a surface rectangle, spread over it."""
        a, b = self.screen(left, top)
        c, d = self.screen(left + width, top + height)
        a, b, c, d = a + 2, b + 2, c - 3, d - 3
        return [(a + (c - a) * i // (across - 1), b + (d - b) * j // (down - 1)) for j in range(down) for i in range(across)]

    def error(self, shot, points, surface):
        return max(max(abs(a - b) for a, b in zip(shot.at(*p), self.expected(*p, surface))) for p in points)

    def shows(self, shot, left, top, surface):
        return self.error(shot, self.samples(left, top, PIECE_W, PIECE_H), surface) <= TOLERANCE

    def recognise(self, shot, c, board):
        """The (piece, flips) a cell shows, judged by the averages it should show."""
        left, top = cell_corner(c, board)
        points = self.samples(left, top, PIECE_W, PIECE_H, 4, 3)
        best = None
        for k in range(1, N * N + 1):
            for flips in play.FLIPS:
                e = self.error(shot, points, lambda x, y: piece_pixel(k, flips, x - left, y - top))
                if best is None or e < best[0]:
                    best = (e, k, flips)
        return (best[1], best[2]) if best[0] <= TOLERANCE else None


def shoot(workdir, name):
    subprocess.run(["import", "-window", "root", os.path.join(workdir, name)], check=True)


def drag(view, start, end, steps=12):
    (sx, sy), (ex, ey) = view.screen(*start), view.screen(*end)
    xdo("mousemove", sx, sy)
    time.sleep(0.1)
    xdo("mousedown", 1)
    time.sleep(0.1)
    for i in range(1, steps + 1):
        xdo("mousemove", sx + (ex - sx) * i // steps, sy + (ey - sy) * i // steps)
        time.sleep(0.03)
    time.sleep(0.2)
    # How far the pointer moved in surface pixels, as the game saw it.
    (a, b), (c, d) = view.surface(sx, sy), view.surface(ex, ey)
    return c - a, d - b


def run(game, picture, workdir, ratio, screen):
    play.open_picture(game, picture)
    time.sleep(1)
    view = View(game.window, ratio)
    wx, wy, ww, wh = view.window
    check(wx >= 0 and wy >= 0 and wx + ww <= screen[0] and wy + wh <= screen[1], "the window lies on the %dx%d screen" % screen)
    right, bottom = view.screen(INNER_W, INNER_H)
    check(view.scale < 1 and right <= wx + ww and bottom <= wy + wh, "the whole play surface shows in the window")

    # The picture in the tray: every sample is the average of what it covers.
    points = view.samples(0, 0, PIC_W, PIC_H, 12, 8)
    shot = expect(
        "the tray shows the whole picture, each screen pixel the average of the surface pixels it covers",
        lambda s: view.error(s, points, picture_pixel) <= TOLERANCE,
        timeout=20,
    )
    shoot(workdir, "big-opened.png")
    coarse = sum(1 for p in points if max(abs(a - b) for a, b in zip(view.nearest(*p, picture_pixel), view.expected(*p, picture_pixel))) > TOLERANCE)
    check(coarse > len(points) // 2, "(the nearest pixel would differ at %d of %d samples)" % (coarse, len(points)))
    if ratio > 1:
        # Drawn at the screen's own pixels: neighbouring pixels differ where one doubled would not.
        x0, y0 = view.screen(100, 100)
        pairs = [(x0 + 2 * i, y0 + j * 7) for i in range(150) for j in range(10)]
        differ = sum(1 for (x, y) in pairs if shot.at(x, y) != shot.at(x + 1, y))
        check(differ > len(pairs) // 3, "the picture is drawn at device resolution (%d of %d pixel pairs differ)" % (differ, len(pairs)))

    # Deal, then carry a piece by screen coordinates onto its own cell.
    game.keys("ctrl+a")
    # The key cursor stands on the first tray cell until the mouse plays; the pointer over the gap.
    xdo("mousemove", *view.screen(N * PIECE_W + GAP // 2, PIECE_H // 2))
    def dealt(s):
        seen = [view.recognise(s, c, False) for c in range(1, N * N + 1)]
        return None not in seen and sorted(k for k, _ in seen) == list(range(1, N * N + 1))

    shot = expect("after Amesteca the tray holds every piece once", dealt, timeout=30)
    tray = {c: view.recognise(shot, c, False) for c in range(1, N * N + 1)}
    shoot(workdir, "big-dealt.png")
    c, (k, flips) = next((c, kf) for c, kf in tray.items() if kf[0] != c)
    tl, tt = cell_corner(c, False)
    bl, bt = cell_corner(k, True)
    mx, my = drag(view, (tl + 400, tt + 300), (bl + 400, bt + 300))
    shot = screenshot()
    shoot(workdir, "big-carried.png")
    # The toolkit may hand the pointer on in whole points, half a device pixel off on a 2x screen: the
    # piece may lie up to one device pixel's worth of surface pixels from where the screen puts it.
    slack = range(-math.ceil(1 / view.k) if ratio > 1 else 0, (math.ceil(1 / view.k) if ratio > 1 else 0) + 1)
    carried = [
        (ox, oy)
        for ox in slack
        for oy in slack
        if view.shows(shot, tl + mx + ox, tt + my + oy, lambda x, y: piece_pixel(k, flips, x - tl - mx - ox, y - tt - my - oy))
    ]
    check(carried, "the carried piece %d is drawn where the pointer holds it, over its own cell %s" % (k, carried))
    xdo("mouseup", 1)
    play.settle()
    check(play.visible_window("^Game Over") is None, "no Game Over after dropping piece %d on its own cell" % k)
    shot = expect(
        "piece %d lies in its own cell, mirrored as dealt %s" % (k, flips),
        lambda s: view.recognise(s, k, True) == (k, flips),
    )
    check(view.error(shot, view.samples(tl, tt, PIECE_W, PIECE_H), lambda x, y: BLACK) <= TOLERANCE, "its tray cell is black")
    shoot(workdir, "big-placed.png")

    # F4: the whole picture over the play surface, at the same scale.
    game.keys("F4")
    expect("F4 shows the whole picture at the surface's scale", lambda s: view.error(s, points, picture_pixel) <= TOLERANCE)
    game.keys("Escape")
    expect("Esc uncovers the surface", lambda s: view.recognise(s, k, True) == (k, flips))

    # The player makes the window smaller: the view follows.
    size = (1000 * ratio, 560 * ratio)
    xdo("windowsize", game.window, *size)
    play.settle()
    view = View(game.window, ratio)
    check(view.window[2:] == size, "the window takes the player's size %dx%d" % size)
    right, bottom = view.screen(INNER_W, INNER_H)
    check(right <= view.window[0] + size[0] and bottom <= view.window[1] + size[1], "the whole surface shows in it")
    expect("the placed piece shows in its cell at the new scale", lambda s: view.recognise(s, k, True) == (k, flips))
    shoot(workdir, "big-resized.png")

    # A game lost: the new game leaves the window as the player had it.
    c2 = next(cell for cell in tray if cell != c)
    k2, _ = tray[c2]
    wrong = next(cell for cell in range(1, N * N + 1) if cell not in (k, k2))
    tl, tt = cell_corner(c2, False)
    bl, bt = cell_corner(wrong, True)
    drag(view, (tl + 500, tt + 375), (bl + 500, bt + 375))
    xdo("mouseup", 1)
    box = play.wait_for("the Game Over box", lambda: play.visible_window("^Game Over"))
    shoot(workdir, "big-game-over.png")
    game.focus(box)
    xdo("key", "Return")
    play.wait_for("the Game Over box to close", lambda: not play.visible_window("^Game Over"))
    play.settle()
    check(geometry(game.window)[2:] == size, "after the lost game the window keeps the player's size")
    view = View(game.window, ratio)
    points = view.samples(0, 0, PIC_W, PIC_H, 8, 5)
    expect("the new game shows the whole picture at the player's scale", lambda s: view.error(s, points, picture_pixel) <= TOLERANCE)
    shoot(workdir, "big-new-game.png")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--game", required=True)
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--ratio", type=int, default=1, help="the screen's device pixels per pixel (QT_SCALE_FACTOR)")
    parser.add_argument("--screen", default="1366x768", help="the screen's size in device pixels")
    args = parser.parse_args()
    screen = tuple(int(v) for v in args.screen.split("x"))
    picture = os.path.join(args.workdir, "photo.bmp")
    started = time.monotonic()
    write_bmp(picture)
    log("picture written in %.1f s" % (time.monotonic() - started))
    game = play.Game(args.game, args.workdir)
    try:
        run(game, picture, args.workdir, args.ratio, screen)
    except Failure as f:
        shoot(args.workdir, "failure.png")
        print("FAIL - %s" % f)
        return 1
    finally:
        game.stop()
    print("big photo in the fitted view passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
