#!/usr/bin/env python3
"""The installed game on the screens players have, each an X server of its own under a real window
manager (openbox), some with a panel that reserves the bottom of the screen:

- 1366 x 768 with a 32-pixel panel: the first window, frame and all, lies inside the available area;
  the Open dialog is titled in Romanian.
- 2560 x 1440: once the player has sized the window to 1300 x 900, a portrait and then a landscape
  picture leave it at 1300 x 900; in a fresh game a 4000 x 3000 photo's tray is shown at least 1200
  pixels wide.
- 2560 x 1440 with an 8000 x 6000 photo: the board's grid lines show dark (at most 110 in each
  channel) between the empty board's cells (239), though the board is shrunk to a third.
- scale factors 1.25, 1.5 and 2: the first window inside the available area, the board's right and
  bottom edges solid (no dashed line), and the About icon drawn at the screen's density (at 1.5 and
  2 its edges are smoothed, not enlarged pixels).

Screenshots of each stage are kept in the work folder.

    screens.py --game PATH --workdir DIR
"""

import argparse
import os
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import play  # noqa: E402
from play import Failure, check, log, screenshot, wait_for, xdo  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def write_solid_bmp(path, width, height, colour):
    """A one-colour 24-bit BMP, written row by row: quick even at 4000 x 3000."""
    r, g, b = colour
    pad = (4 - (width * 3) % 4) % 4
    row = bytes((b, g, r)) * width + b"\0" * pad
    header = struct.pack("<2sIHHI", b"BM", 54 + len(row) * height, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(row) * height, 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info)
        for _ in range(height):
            f.write(row)


EMPTY = (239, 239, 239)  # an empty board cell


def cell_runs(pixels):
    """Where the empty board's cells lie along a line of pixels: (first, end) of each run of the empty
    cell's colour long enough to be a cell."""
    runs, start = [], None
    for i, p in enumerate(pixels + [None]):
        if p == EMPTY and start is None:
            start = i
        elif p != EMPTY and start is not None:
            if i - start >= 20:
                runs.append((start, i))
            start = None
    return runs


def board_line(shot, frame, horizontal):
    """The line across the window that meets the most empty cells: its position and the cells' runs."""
    x0, y0, w, h = frame
    best = (None, [])
    for v in range(y0 + 5, y0 + h - 5, 7) if horizontal else range(x0 + 5, x0 + w - 5, 7):
        pixels = [shot.at(u, v) for u in range(x0, x0 + w)] if horizontal else [shot.at(v, u) for u in range(y0, y0 + h)]
        runs = [(a + (x0 if horizontal else y0), b + (x0 if horizontal else y0)) for a, b in cell_runs(pixels)]
        # The board's cells are all as long as its last one; the tray, empty, may lie before them, and a
        # run of it beside the line of help may be as long: the board here is 4 cells a side.
        runs = [r for r in runs if abs((r[1] - r[0]) - (runs[-1][1] - runs[-1][0])) <= 3][-4:] if runs else runs
        if len(runs) > len(best[1]):
            best = (v, runs)
    return best


def grid_lines(shot, frame):
    """How dark each line between two of the board's cells shows: the largest channel of its darkest pixel."""
    found = []
    for horizontal in (True, False):
        v, runs = board_line(shot, frame, horizontal)
        for (_, end), (start, _) in zip(runs, runs[1:]):
            gap = [shot.at(u, v) if horizontal else shot.at(v, u) for u in range(end, start)]
            found.append(min(max(p) for p in gap))
    return found


def dashed_edges(shot, window, scale):
    """Along the board's right and bottom edges, from its outermost grid line out past the frame's
    border (inside the window), the columns and rows that are not one colour from end to end."""
    y, across = board_line(shot, window, True)
    x, down = board_line(shot, window, False)
    if not across or not down:
        return ["no board found"]
    left, right = across[0][0] - 1, across[-1][1]
    top, bottom = down[0][0] - 1, down[-1][1]
    reach = int(8 * scale) + 2
    bad = []
    for cx in range(right, min(right + reach, window[0] + window[2])):
        if len({shot.at(cx, cy) for cy in range(top, bottom + 1)}) > 1:
            bad.append("column %d" % cx)
    for cy in range(bottom, min(bottom + reach, window[1] + window[3])):
        if len({shot.at(cx, cy) for cx in range(left, right + 1)}) > 1:
            bad.append("row %d" % cy)
    return bad


class Desktop:
    """An X server of a given size with openbox and, if asked, a panel along the bottom."""

    def __init__(self, workdir, size, panel=0):
        self.processes = []
        self.env = dict(os.environ)
        self.width, self.height = size
        # Should the window manager still miss its display, the whole desktop is started afresh.
        for attempt in range(3):
            self.start_server(size)
            os.environ["DISPLAY"] = self.env["DISPLAY"]
            log = open(os.path.join(workdir, "openbox-%s.log" % self.env["DISPLAY"].strip(":")), "w")
            self.processes.append(subprocess.Popen(["openbox"], env=self.env, stdout=log, stderr=subprocess.STDOUT))
            try:
                wait_for("the window manager", lambda: "window id" in self.root("_NET_SUPPORTING_WM_CHECK"), timeout=5.0)
                if panel:
                    self.start_panel(panel)
                return
            except Failure:
                self.stop()
                if attempt == 2:
                    raise

    def start_server(self, size):
        for n in range(200, 300):
            if os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists("/tmp/.X11-unix/X%d" % n):
                continue
            # Without -noreset the server resets as the readiness probe leaves, and a window manager
            # connecting in that moment finds no display.
            xvfb = subprocess.Popen(
                ["Xvfb", ":%d" % n, "-screen", "0", "%dx%dx24" % size, "-nolisten", "tcp", "-noreset"],
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL,
            )
            self.env["DISPLAY"] = ":%d" % n
            if self.wait_ready(xvfb):
                self.processes.append(xvfb)
                return
            xvfb.kill()
        raise Failure("could not start Xvfb")

    def start_panel(self, height):
        # A window manager still starting up can miss a dock that maps meanwhile and never reserve
        # its strut: a panel that is not reserved soon is started again.
        for attempt in range(4):
            process = subprocess.Popen(
                [sys.executable, os.path.join(HERE, "panel.py"), str(height)],
                env=self.env,
                stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL,
            )
            self.processes.append(process)
            try:
                wait_for("the panel's strut", lambda: self.available()[3] == self.height - height, timeout=5.0)
                return
            except Failure:
                process.kill()
                process.wait()
                self.processes.remove(process)
                if attempt == 3:
                    raise

    def wait_ready(self, xvfb):
        for _ in range(50):
            if subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0:
                return True
            if xvfb.poll() is not None:
                return False
            time.sleep(0.1)
        return False

    def root(self, prop):
        return subprocess.run(["xprop", "-root", prop], env=self.env, capture_output=True, text=True).stdout

    def available(self):
        """x, y, width, height of the area the window manager leaves to windows."""
        out = self.root("_NET_WORKAREA")
        if "=" not in out:
            return (0, 0, self.width, self.height)
        return tuple(int(v) for v in out.split("=", 1)[1].split(",")[:4])

    def stop(self):
        # Asked to end rather than killed, so that the X server takes its lock file with it.
        for p in reversed(self.processes):
            p.terminate()
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        self.processes = []


def outer(wid):
    """The window's frame on the screen: x, y, width, height, the window manager's frame included."""
    info = subprocess.run(["xwininfo", "-id", wid], capture_output=True, text=True, check=True).stdout
    values = {}
    for line in info.splitlines():
        if ":" in line:
            key, value = line.strip().split(":", 1)
            values[key] = value.strip()
    x, y = int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"])
    w, h = int(values["Width"]), int(values["Height"])
    extents = subprocess.run(["xprop", "-id", wid, "_NET_FRAME_EXTENTS"], capture_output=True, text=True).stdout
    left = right = top = bottom = 0
    if "=" in extents:
        left, right, top, bottom = (int(v) for v in extents.split("=", 1)[1].split(","))
    return (x - left, y - top, w + left + right, h + top + bottom), (w, h)


def client(wid):
    """The window's own area on the screen, without the window manager's frame: x, y, width, height."""
    frame, (w, h) = outer(wid)
    extents = subprocess.run(["xprop", "-id", wid, "_NET_FRAME_EXTENTS"], capture_output=True, text=True).stdout
    left = top = 0
    if "=" in extents:
        left, _, top, _ = (int(v) for v in extents.split("=", 1)[1].split(","))
    return (frame[0] + left, frame[1] + top, w, h)


def inside(frame, area):
    x, y, w, h = frame
    ax, ay, aw, ah = area
    return ax <= x and ay <= y and x + w <= ax + aw and y + h <= ay + ah


def start(binary, workdir, name, scale=None):
    env_scale = {"QT_SCALE_FACTOR": str(scale)} if scale else {}
    os.environ.pop("QT_SCALE_FACTOR", None)
    os.environ.update(env_scale)
    game = play.Game(binary, workdir)
    # Framed, placed and, where it did not fit, brought back inside the available area.
    time.sleep(1.5)
    return game


def shoot(workdir, name):
    subprocess.run(["import", "-window", "root", os.path.join(workdir, name)], check=True)


def small_screen_with_panel(binary, workdir):
    desk = Desktop(workdir, (1366, 768), panel=32)
    game = start(binary, workdir, "small")
    try:
        frame, _ = outer(game.window)
        shoot(workdir, "screens-1366-panel.png")
        check(inside(frame, desk.available()), "1366 x 768 with a panel: the window %s lies inside %s" % (frame, desk.available()))
        game.keys("ctrl+d")
        dialog = wait_for("the Open dialog, titled in Romanian", lambda: play.visible_window("^Deschide$"))
        time.sleep(0.8)
        shoot(workdir, "screens-open-dialog.png")
        check(dialog is not None, "the Open dialog is titled \"Deschide\"")
        xdo("key", "--window", dialog, "Escape")
    finally:
        game.stop()
        desk.stop()


def big_screen(binary, workdir):
    desk = Desktop(workdir, (2560, 1440))
    portrait = os.path.join(workdir, "portrait.bmp")
    landscape = os.path.join(workdir, "landscape.bmp")
    photo = os.path.join(workdir, "photo-4000.bmp")
    write_solid_bmp(portrait, 400, 640, (40, 90, 200))
    write_solid_bmp(landscape, 900, 500, (200, 140, 40))
    write_solid_bmp(photo, 4000, 3000, (200, 30, 30))
    game = start(binary, workdir, "sized")
    try:
        xdo("windowsize", "--sync", game.window, 1300, 900)
        time.sleep(1)
        _, size = outer(game.window)
        check(size == (1300, 900), "the player sizes the window to 1300 x 900 (%s)" % (size,))
        play.open_picture(game, portrait)
        time.sleep(0.5)
        _, size = outer(game.window)
        check(size == (1300, 900), "a portrait picture leaves the player's window at 1300 x 900 (%s)" % (size,))
        play.open_picture(game, landscape)
        time.sleep(0.5)
        _, size = outer(game.window)
        shoot(workdir, "screens-player-sized.png")
        check(size == (1300, 900), "then a landscape one too (%s)" % (size,))
    finally:
        game.stop()
    game = start(binary, workdir, "big")
    try:
        play.open_picture(game, photo)
        time.sleep(1.5)
        shot = screenshot()
        shoot(workdir, "screens-2560-photo.png")
        frame, _ = outer(game.window)
        widest = 0
        for y in range(frame[1], frame[1] + frame[3], 20):
            run = 0
            for x in range(frame[0], frame[0] + frame[2]):
                run = run + 1 if shot.at(x, y) == (200, 30, 30) else 0
                widest = max(widest, run)
        check(widest >= 1200, "on 2560 x 1440 a 4000 x 3000 photo's tray is shown %d pixels wide" % widest)
        check(inside(frame, desk.available()), "and the grown window stays inside the screen")
    finally:
        game.stop()
    # Shrunk to a third, a one-pixel grid line averaged with the cells beside it would all but vanish.
    huge = os.path.join(workdir, "photo-8000.bmp")
    write_solid_bmp(huge, 8000, 6000, (200, 30, 30))
    game = start(binary, workdir, "huge")
    try:
        play.open_picture(game, huge)
        wait_for("the 8000 x 6000 photo", lambda: (200, 30, 30) in {screenshot().at(x, 720) for x in range(0, 2560, 40)}, 30)
        time.sleep(1)
        shot = screenshot()
        shoot(workdir, "screens-2560-photo-8000.png")
        frame, _ = outer(game.window)
        lines = grid_lines(shot, frame)
        check(len(lines) >= 6 and max(lines) <= 110,
              "with an 8000 x 6000 photo on 2560 x 1440 the board's grid lines show dark, at most 110 (%s)" % lines)
    finally:
        game.stop()
        os.remove(huge)
        desk.stop()


def scale_factor(binary, workdir, scale):
    desk = Desktop(workdir, (1920, 1080), panel=32)
    game = start(binary, workdir, "scaled", scale)
    try:
        frame, _ = outer(game.window)
        check(inside(frame, desk.available()), "at scale %s the window %s lies inside %s" % (scale, frame, desk.available()))
        shot = screenshot()
        shoot(workdir, "screens-board-%s.png" % scale)
        dashed = dashed_edges(shot, client(game.window), scale)
        check(not dashed, "at scale %s the board's right and bottom edges are solid (%s)" % (scale, ", ".join(dashed) or "all"))
        game.keys("F1")
        about = wait_for("the About window", lambda: play.visible_window("^About Tilora$"))
        time.sleep(0.8)
        shot = screenshot()
        shoot(workdir, "screens-about-%s.png" % scale)
        info = subprocess.run(["xwininfo", "-id", about], capture_output=True, text=True, check=True).stdout
        ax = int(info.split("Absolute upper-left X:")[1].split()[0])
        ay = int(info.split("Absolute upper-left Y:")[1].split()[0])
        # The icon's box lies 240 twips (16 pixels) in, with a 2-pixel border; the icon is 32 pixels.
        x0, y0, side = ax + round(18 * scale), ay + round(18 * scale), int(32 * scale)
        colours = {shot.at(x0 + x, y0 + y) for y in range(side) for x in range(side)}
        if scale >= 1.5:
            # Enlarged pixels keep the few colours of a small icon; drawn at the density, the edges are smoothed.
            check(len(colours) > 20, "at scale %s the About icon is drawn at the screen's density (%d colours)" % (scale, len(colours)))
        else:
            check((255, 0, 0) in colours, "at scale %s the About icon shows" % scale)
    finally:
        game.stop()
        desk.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--game", required=True)
    parser.add_argument("--workdir", required=True)
    args = parser.parse_args()
    try:
        small_screen_with_panel(args.game, args.workdir)
        big_screen(args.game, args.workdir)
        for scale in (1.25, 1.5, 2):
            scale_factor(args.game, args.workdir, scale)
    except Failure as f:
        print("FAIL - %s" % f)
        return 1
    print("every screen passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
