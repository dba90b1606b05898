#!/usr/bin/env python3
"""A drag across a photo-sized picture, watched on screen: a 4000 x 3000 picture at level 4 makes a
play surface of 8020 x 3000 pixels, far larger than the screen, so the window scrolls it and the
view follows a carried piece. The drag goes from a tray cell across the whole tray to the piece's
own board cell, and the screen is checked on the way for trails (anything but the picture's pieces,
black vacated cells and the carried piece) and after the drop for the piece in its cell.

Run by scripts/e2e.sh when TILORA_E2E_BIG=1; needs what play.py needs. Writes its screenshots to
the work folder given with --workdir.
"""

import argparse
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


# Rows the window shows: it keeps its designed height, less than a piece of 750 rows.
SAMPLES = [(x, y) for y in (0, 1, 123, 374, 600) for x in (0, 1, 250, 499, 777, PIECE_W - 1)]


def shows(shot, corner, k, flips, right):
    """Whether the samples of piece k left of screen x `right` show at corner as mirrored."""
    return all(
        shot.at(corner[0] + x, corner[1] + y) == piece_pixel(k, flips, x, y)
        for (x, y) in SAMPLES
        if corner[0] + x <= right
    )


def recognise(shot, corner):
    seen = [shot.at(corner[0] + x, corner[1] + y) for (x, y) in SAMPLES]
    for k in range(1, N * N + 1):
        for flips in play.FLIPS:
            if seen == [piece_pixel(k, flips, x, y) for (x, y) in SAMPLES]:
                return k, flips
    return None


BLACK = (0, 0, 0)
GREEN = (0, 192, 0)
BORDER = 2
SURFACE_W = 8029  # inner width: 2 x 4 x 1000 pixels and 500 twips


def shoot(workdir, name):
    subprocess.run(["import", "-window", "root", os.path.join(workdir, name)], check=True)


def surface_end(shot, y, x0, x1):
    """Screen x of the play surface's last column in row y, when the green form beside it shows
    between x0 and x1 (the view scrolled fully right); else None."""
    if shot.at(x1, y) != GREEN:
        return None
    for x in range(x1, x0, -1):
        if shot.at(x - 1, y) != GREEN:
            return x - 1 - BORDER
    return None


def deal_until_first_cell_holds(game, origin, wanted):
    for attempt in range(100):
        game.keys("ctrl+a")
        shot = expect("after Amesteca tray cell 1 shows a whole piece", lambda s: recognise(s, origin), timeout=20)
        k, flips = recognise(shot, origin)
        log("deal %d: tray cell 1 holds piece %d mirrored %s" % (attempt + 1, k, flips))
        if k in wanted:
            return k, flips
    raise Failure("no deal put one of %s in tray cell 1" % (wanted,))


def run(game, picture, workdir):
    play.open_picture(game, picture)
    wx, wy, ww, wh = geometry(game.window)
    log("window %dx%d at %d,%d" % (ww, wh, wx, wy))
    first_row = [picture_pixel(x, 0) for x in range(24)]
    shot = expect("the picture's top row shows after Deschide Poza", lambda s: s.find(first_row), timeout=20)
    origin = shot.find(first_row)
    check(wx <= origin[0] < wx + 40 and wy <= origin[1] < wy + 80, "the surface starts at the window's corner %s" % (origin,))
    check(wx + ww <= 1600 and wy + wh <= 1000, "the window fits the 1600 x 1000 screen")

    # The piece whose own cell is the board's top right one: the view scrolled fully right shows
    # that cell whole.
    k, flips = deal_until_first_cell_holds(game, origin, (N,))
    shoot(workdir, "big-dealt.png")

    # Grab it 100 pixels inside its corner and carry it across the tray onto the board; at the
    # window's right edge the view scrolls along until the surface ends.
    grab = (origin[0] + 100, origin[1] + 100)
    xdo("mousemove", *grab)
    time.sleep(0.1)
    xdo("mousedown", 1)
    time.sleep(0.1)
    row_y = origin[1] + PIECE_H // 2 + 100  # below the carried piece, inside the board's top row
    x, moves, shots = grab[0], 0, 0
    started = time.monotonic()
    while True:
        x = min(x + 60, wx + ww - 3)
        xdo("mousemove", x + moves % 2, grab[1])
        moves += 1
        if x >= wx + ww - 3 and moves % 20 == 0:
            time.sleep(0.05)
            shot = screenshot()
            shots += 1
            if shots <= 3:
                shoot(workdir, "big-drag-%d.png" % shots)
            end = surface_end(shot, row_y, wx, wx + ww - 20)
            if end is not None:
                break
        if moves > 3000:
            raise Failure("the view did not reach the surface's right end")
    elapsed = time.monotonic() - started
    log("%d pointer moves in %.1f s took the view to the surface's right end" % (moves, elapsed))

    left = end - (SURFACE_W - 1)
    board_left = left + N * PIECE_W + GAP
    col = (k - 1) % N
    target = (board_left + col * PIECE_W + 150, grab[1])
    # The carried piece goes along with the pointer: steps of 40 pixels to the drop point.
    while abs(x - target[0]) > 0:
        x += max(-40, min(40, target[0] - x))
        xdo("mousemove", x, grab[1])
    time.sleep(0.3)
    shot = screenshot()
    shoot(workdir, "big-before-drop.png")
    carried = (x - 100, grab[1] - 100)
    check(shows(shot, carried, k, flips, end), "the carried piece is drawn where the pointer holds it")
    # No trail: every board pixel in view outside the carried piece is background or grid line.
    view_left = max(board_left, wx)
    background = shot.at(board_left + 2 * PIECE_W + 800, row_y)
    strays = 0
    for sy in range(origin[1], wy + wh - 20, 5):
        for sx in range(view_left, end + 1, 5):
            if carried[0] <= sx < carried[0] + PIECE_W and carried[1] <= sy < carried[1] + PIECE_H:
                continue
            if shot.at(sx, sy) not in (background, BLACK):
                strays += 1
    check(strays == 0, "the board in view shows only its grid beside the carried piece (%d stray samples)" % strays)

    xdo("mouseup", 1)
    play.settle()
    shot = screenshot()
    shoot(workdir, "big-placed.png")
    check(play.visible_window("Game Over") is None, "no Game Over after dropping piece %d on its own cell" % k)
    cell = (board_left + col * PIECE_W, origin[1])
    check(recognise(shot, cell) == (k, flips), "piece %d lies in its own cell, mirrored as dealt" % k)
    mismatches = sum(
        1
        for y in range(0, PIECE_H, 3)
        for x in range(0, PIECE_W, 3)
        if cell[1] + y < wy + wh - 20 and shot.at(cell[0] + x, cell[1] + y) != piece_pixel(k, flips, x, y)
    )
    check(mismatches == 0, "every pixel of the placed piece in view is the picture's (%d differ)" % mismatches)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--game", required=True)
    parser.add_argument("--workdir", required=True)
    args = parser.parse_args()
    picture = os.path.join(args.workdir, "photo.bmp")
    started = time.monotonic()
    write_bmp(picture)
    log("picture written in %.1f s" % (time.monotonic() - started))
    game = play.Game(args.game, args.workdir)
    try:
        run(game, picture, args.workdir)
    except Failure as f:
        shoot(args.workdir, "failure.png")
        print("FAIL - %s" % f)
        return 1
    finally:
        game.stop()
    print("big photo drag passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
