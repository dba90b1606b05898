#!/usr/bin/env python3
"""Plays the installed game in a real X session as a player would and checks what the screen shows.

The game's state cannot be seen from outside, so every check is made on screenshot pixels: the
picture is generated here with a pattern in which every piece, and every mirror image of it, is
different, and the pieces on screen are recognised by comparing pixel blocks against it.

Needs DISPLAY set to an X server without a window manager, xdotool and ImageMagick's import.
Exits 0 when every check passed; otherwise prints the failed check and exits 1.
"""

import argparse
import math
import os
import struct
import subprocess
import sys
import time

# Level 4 at start; a 320 x 240 picture gives pieces of 80 x 60 pixels, not square, so a mix-up
# of width and height shows.
N = 4
PIC_W, PIC_H = 320, 240
PIECE_W, PIECE_H = PIC_W // N, PIC_H // N
GAP = 20

GREEN = (0, 192, 0)
ABOUT_BACKGROUND = (255, 192, 128)
LEVEL_PANEL = (128, 128, 255)
BLACK = (0, 0, 0)

# Every mirror a piece can be dealt with, as (FlipH, FlipV).
FLIPS = [(0, 0), (1, 0), (0, 1), (1, 1)]


class Failure(Exception):
    pass


def log(message):
    print(message, flush=True)


# ---------------------------------------------------------------------------------------------
# The picture


def picture_pixel(x, y):
    # Red grows to the right and green downwards, so every piece has its own colour range and a
    # mirrored piece runs its gradient the other way; the rings in blue make it look like a picture.
    r = 255 * x // (PIC_W - 1)
    g = 255 * y // (PIC_H - 1)
    d = math.hypot(x - PIC_W * 0.35, y - PIC_H * 0.4)
    b = int(128 + 100 * math.sin(d / 7))
    return (r, g, b)


PICTURE = [[picture_pixel(x, y) for x in range(PIC_W)] for y in range(PIC_H)]


def write_bmp(path, pixels=None):
    """A 24-bit bottom-up BMP, written byte by byte so that nothing but this file defines it."""
    pixels = PICTURE if pixels is None else pixels
    height, width = len(pixels), len(pixels[0])
    pad = (4 - (width * 3) % 4) % 4
    data = bytearray()
    for row in reversed(pixels):
        for r, g, b in row:
            data += bytes((b, g, r))
        data += b"\0" * pad
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def piece_pixel(k, flips, x, y):
    """Pixel (x, y) of piece k (1-based, row by row) as drawn with its mirror flags."""
    h, v = flips
    sx = PIECE_W - 1 - x if h else x
    sy = PIECE_H - 1 - y if v else y
    row, col = divmod(k - 1, N)
    return PICTURE[row * PIECE_H + sy][col * PIECE_W + sx]


# Points sampled inside a cell; a grid fine enough that a one-pixel shift or a wrong mirror changes
# many of them, and coarse enough to keep the matching quick.
SAMPLES = [(x, y) for y in range(0, PIECE_H, 3) for x in range(0, PIECE_W, 3)]
SAMPLES += [(PIECE_W - 1, y) for y in range(0, PIECE_H, 7)] + [(x, PIECE_H - 1) for x in range(0, PIECE_W, 7)]

PIECE_SAMPLES = {
    (k, flips): [piece_pixel(k, flips, x, y) for (x, y) in SAMPLES] for k in range(1, N * N + 1) for flips in FLIPS
}

# The pattern must tell every piece and mirror apart, or recognising them means nothing.
assert len({tuple(s) for s in PIECE_SAMPLES.values()}) == len(PIECE_SAMPLES)


# ---------------------------------------------------------------------------------------------
# The screen


class Shot:
    """One screenshot of the whole screen, read from the PPM that import writes."""

    def __init__(self, data):
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos : pos + 1].isspace():
                pos += 1
            if data[pos : pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while not data[end : end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise Failure("screenshot is not an 8-bit PPM: %r" % fields)
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1 : pos + 1 + self.width * self.height * 3]

    def at(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i : i + 3])

    def find(self, row):
        """Screen position of the first place where the pixels of row lie side by side."""
        needle = bytes(c for p in row for c in p)
        i = self.pixels.find(needle)
        if i < 0:
            return None
        return (i // 3) % self.width, (i // 3) // self.width


def screenshot():
    command = ["import", "-window", "root", "-depth", "8", "ppm:-"]
    return Shot(subprocess.run(command, check=True, capture_output=True).stdout)


def xdo(*args):
    return subprocess.run(["xdotool", *[str(a) for a in args]], capture_output=True, text=True).stdout.split()


def wait_for(what, probe, timeout=10.0):
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.1)


def visible_window(name):
    ids = xdo("search", "--onlyvisible", "--name", name)
    return ids[-1] if ids else None


def geometry(wid):
    out = subprocess.run(
        ["xdotool", "getwindowgeometry", "--shell", wid], capture_output=True, text=True, check=True
    ).stdout
    values = dict(line.split("=", 1) for line in out.split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def settle():
    # Lets the game handle what was sent and the X server paint it before the next screenshot.
    time.sleep(0.4)


# ---------------------------------------------------------------------------------------------
# The game as the screen shows it


class Game:
    def __init__(self, binary, workdir):
        self.workdir = workdir
        self.log = open(os.path.join(workdir, "game.log"), "w")
        env = dict(os.environ, QT_QPA_PLATFORM="xcb")
        self.process = subprocess.Popen([binary], stdout=self.log, stderr=subprocess.STDOUT, env=env)
        with open(os.path.join(workdir, "game.pid"), "w") as f:
            f.write(str(self.process.pid))
        self.window = wait_for("the main window", lambda: visible_window("^Tilora$"))
        self.origin = None  # screen position of pixel (0, 0) of the play surface

    def focus(self, wid=None):
        xdo("windowfocus", "--sync", wid or self.window)

    def keys(self, *keys):
        self.focus()
        xdo("key", "--clearmodifiers", *keys)
        settle()

    def tray_cell(self, c):
        row, col = divmod(c - 1, N)
        return self.origin[0] + col * PIECE_W, self.origin[1] + row * PIECE_H

    def board_cell(self, c):
        row, col = divmod(c - 1, N)
        return self.origin[0] + N * PIECE_W + GAP + col * PIECE_W, self.origin[1] + row * PIECE_H

    @staticmethod
    def cell_samples(shot, corner):
        return [shot.at(corner[0] + x, corner[1] + y) for (x, y) in SAMPLES]

    def recognise(self, shot, corner):
        """The (piece, flips) a cell shows, or None when it shows none of them exactly."""
        seen = self.cell_samples(shot, corner)
        for key, expected in PIECE_SAMPLES.items():
            if seen == expected:
                return key
        return None

    @staticmethod
    def is_black(shot, corner, uncovered=lambda x, y: True):
        return all(shot.at(corner[0] + x, corner[1] + y) == BLACK for (x, y) in SAMPLES if uncovered(x, y))

    def picture_mismatches(self, shot, corner):
        return sum(
            1
            for y in range(PIC_H)
            for x in range(PIC_W)
            if shot.at(corner[0] + x, corner[1] + y) != PICTURE[y][x]
        )

    def board_is_empty(self, shot):
        return empty_grid(shot, self.origin, N, PIECE_W, PIECE_H)

    def tray(self, shot):
        return {c: self.recognise(shot, self.tray_cell(c)) for c in range(1, N * N + 1)}

    def drag(self, start, end, pause=None):
        """Press at start, move to end in steps, release; pause(x, y) runs while the piece is held
        30 pixels right and 20 down of where it was grabbed."""
        sx, sy = start
        xdo("mousemove", sx, sy)
        time.sleep(0.1)
        xdo("mousedown", 1)
        time.sleep(0.1)
        if pause:
            xdo("mousemove", sx + 30, sy + 20)
            settle()
            pause(sx + 30, sy + 20)
        ex, ey = end
        for i in range(1, 9):
            xdo("mousemove", sx + (ex - sx) * i // 8, sy + (ey - sy) * i // 8)
            time.sleep(0.03)
        time.sleep(0.1)
        xdo("mouseup", 1)
        settle()

    def exit_code(self, timeout=10.0):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.log.close()


def empty_grid(shot, origin, n, w, h):
    """Whether the board region of a play surface whose inner area starts at origin shows only its
    grid: n + 1 lines each way, w and h apart, in the surface's foreground colour over its
    background (the colour of the gap)."""
    ox, oy = origin
    left = ox + n * w + GAP
    background = shot.at(ox + n * w + GAP // 2, oy + h // 2)
    line = shot.at(left, oy + h // 2)
    if line == background:
        return False
    for i in range(n + 1):
        for j in range(n):
            vertical = shot.at(left + i * w, oy + j * h + h // 2)
            horizontal = shot.at(left + j * w + w // 2, oy + i * h)
            if vertical != line or horizontal != line:
                return False
    # Nothing on or beside the lines: the cells, the pixel before the first line and after the last.
    for row in range(n):
        for col in range(n):
            x, y = left + col * w, oy + row * h
            for dx, dy in [(w // 2, h // 2), (1, 1), (w - 1, h - 1)]:
                if shot.at(x + dx, y + dy) != background:
                    return False
    return shot.at(left - 1, oy + h // 2) == background and shot.at(left + n * w + 1, oy + h // 2) == background


def blank(shot, origin, width, height):
    background = shot.at(origin[0] + 1, origin[1] + 1)
    return all(
        shot.at(origin[0] + x, origin[1] + y) == background for y in range(0, height, 4) for x in range(0, width, 4)
    )


def centre(corner):
    return corner[0] + PIECE_W // 2, corner[1] + PIECE_H // 2


# ---------------------------------------------------------------------------------------------
# The play


def check(condition, message):
    if not condition:
        raise Failure(message)
    log("ok - " + message)


def expect(message, probe, timeout=5.0):
    """Takes screenshots until probe(shot) holds, so a slow machine is not a failure; returns the
    screenshot that showed it."""
    deadline = time.monotonic() + timeout
    while True:
        shot = screenshot()
        if probe(shot):
            log("ok - " + message)
            return shot
        if time.monotonic() > deadline:
            raise Failure(message)
        time.sleep(0.2)


def open_picture(game, path):
    game.keys("ctrl+d")
    dialog = wait_for("the Open dialog", lambda: visible_window("^Deschide$"))
    game.focus(dialog)
    xdo("type", "--delay", 5, path)
    xdo("key", "Return")
    wait_for("the Open dialog to close", lambda: not visible_window("^Deschide$"))
    settle()


def play(binary, workdir, screenshot_path):
    picture = os.path.join(workdir, "picture.bmp")
    write_bmp(picture)
    game = Game(binary, workdir)
    try:
        run(game, picture, screenshot_path)
    except Failure:
        subprocess.run(["import", "-window", "root", os.path.join(workdir, "failure.png")])
        raise
    finally:
        game.stop()


def run(game, picture, screenshot_path):
    wx, wy, ww, wh = geometry(game.window)
    shot = expect("the window opens with its green background", lambda s: s.at(wx + ww - 5, wy + wh - 5) == GREEN)
    # Title bars and task switchers read the icon from here; without it they show a generic one.
    icon = subprocess.run(["xprop", "-id", game.window, "_NET_WM_ICON"], capture_output=True, text=True).stdout
    check("Icon (32 x 32)" in icon, "the window carries its icon in _NET_WM_ICON")
    # The form starts below the menu bar; the play surface 240 twips (16 pixels) further down, and
    # its inner area inside a 2-pixel border.
    form_top = next(y for y in range(wy, wy + wh) if shot.at(wx + ww - 5, y) == GREEN)
    start = (wx + 2, form_top + 16 + 2)
    check(shot.at(start[0] + 40, start[1] - 3) == GREEN, "the play surface lies 240 twips below the form's top")
    check(ww == 707, "the window is 10600 twips wide (%d pixels)" % ww)
    check(
        empty_grid(shot, start, 4, 80, 80), "at start the board shows an empty 4 x 4 grid, x = 340 to 660, y = 0 to 320"
    )
    top, bottom = blank(shot, start, 320, 100), blank(shot, (start[0], start[1] + 220), 320, 100)
    middle = blank(shot, (start[0], start[1] + 100), 320, 120)
    check(top and bottom and not middle, "and the tray region is blank but for a line in its middle on how to begin")

    # Open the picture through the real dialog; the tray then shows it whole, unscaled.
    open_picture(game, picture)
    shot = expect("the picture's top row shows on screen after Deschide Poza", lambda s: s.find(PICTURE[0][:16]))
    game.origin = shot.find(PICTURE[0][:16])
    check(game.origin == start, "the picture starts at the play surface's corner %s (at %s)" % (start, game.origin))
    check(game.picture_mismatches(shot, game.origin) == 0, "the tray shows the whole picture pixel for pixel")
    check(game.board_is_empty(shot), "the board beside it shows an empty grid of %d x %d cells" % (PIECE_W, PIECE_H))

    # Deal: every tray cell shows exactly one piece, each piece once, mirrored some way.
    game.keys("ctrl+a")
    # The key cursor stands on the first tray cell until the mouse plays; the pointer over the gap.
    xdo("mousemove", game.origin[0] + N * PIECE_W + GAP // 2, game.origin[1] + PIECE_H // 2)
    shot = expect(
        "after Amesteca every tray cell shows a whole piece", lambda s: None not in game.tray(s).values()
    )
    tray = game.tray(shot)
    check(sorted(k for k, _ in tray.values()) == list(range(1, N * N + 1)), "the tray holds every piece exactly once")
    check(game.board_is_empty(shot), "the deal leaves the board empty")
    where = {k: (c, flips) for c, (k, flips) in tray.items()}

    # Put pieces on their own cells, a left-right mirrored one first, and watch the first one
    # follow the pointer on its way.
    order = sorted(where, key=lambda k: (where[k][1][0] != 1, where[k][0]))
    placed = []
    for k in order[:4]:
        c, flips = where[k]
        corner = game.tray_cell(c)

        def while_held(x, y, k=k, flips=flips, corner=corner):
            moved = (corner[0] + 30, corner[1] + 20)
            expect(
                "a held piece is drawn where the pointer took it", lambda s: game.recognise(s, moved) == (k, flips)
            )
            expect(
                "the cell it was lifted from is black where the piece does not cover it",
                lambda s: game.is_black(s, corner, lambda x, y: x < 30 or y < 20),
            )

        game.drag(centre(corner), centre(game.board_cell(k)), None if placed else while_held)
        expect(
            "piece %d dropped on its own cell lies there mirrored as dealt %s" % (k, flips),
            lambda s: game.recognise(s, game.board_cell(k)) == (k, flips),
        )
        shot = expect("its tray cell %d is black" % c, lambda s: game.is_black(s, corner))
        placed.append(k)
    kept = all(
        game.recognise(shot, game.tray_cell(c)) == (k, flips) for k, (c, flips) in where.items() if k not in placed
    )
    check(kept, "the other tray cells kept their pieces")

    # Mirror the placed pieces back: the left button left to right, the right button top to bottom.
    for k in placed:
        h, v = where[k][1]
        x, y = centre(game.board_cell(k))
        for flag, button in ((h, 1), (v, 3)):
            if flag:
                xdo("mousemove", x, y)
                xdo("click", button)
                settle()
        shot = expect(
            "piece %d clicked the right way round" % k, lambda s: game.recognise(s, game.board_cell(k)) == (k, (0, 0))
        )

    if screenshot_path:
        subprocess.run(["import", "-window", game.window, screenshot_path], check=True)
        log("ok - screenshot of the game in progress written to " + screenshot_path)
    surface = [(x, y) for y in range(N * PIECE_H) for x in range(2 * N * PIECE_W + GAP)]
    ox, oy = game.origin
    before = [shot.at(ox + x, oy + y) for (x, y) in surface]

    # F4 lays the whole picture over the play surface; Esc uncovers it unchanged.
    game.keys("F4")
    expect(
        "F4 shows the whole picture at the play surface's corner",
        lambda s: game.picture_mismatches(s, game.origin) == 0,
    )
    game.keys("Escape")
    expect(
        "Esc takes the preview away and the play surface shows as before",
        lambda s: [s.at(ox + x, oy + y) for (x, y) in surface] == before,
    )

    # F1: the About window, in its own colour, closed with Return on its default button.
    game.keys("F1")
    about = wait_for("the About window", lambda: visible_window("^About Tilora$"))
    ax, ay, aw, ah = geometry(about)
    points = [(ax + 4, ay + 4), (ax + aw - 20, ay + 30), (ax + 10, ay + ah - 8)]
    expect(
        "F1 opens About Tilora with its background RGB%s" % (ABOUT_BACKGROUND,),
        lambda s: all(s.at(x, y) == ABOUT_BACKGROUND for (x, y) in points),
    )
    game.focus(about)
    xdo("key", "Return")
    wait_for("the About window to close", lambda: not visible_window("^About Tilora$"))
    log("ok - Return closes the About window")

    # A piece dropped on a cell not its own loses the game; the box is closed with Return and a
    # fresh game shows the whole picture again.
    k = next(k for k in order if k not in placed)
    c, flips = where[k]
    wrong = next(cell for cell in range(1, N * N + 1) if cell != k and cell not in placed)
    game.drag(centre(game.tray_cell(c)), centre(game.board_cell(wrong)))
    box = wait_for("the Game Over box", lambda: visible_window("^Game Over"))
    log("ok - piece %d dropped on cell %d brings up the Game Over box" % (k, wrong))
    expect(
        "the piece shows in the wrong cell meanwhile",
        lambda s: game.recognise(s, game.board_cell(wrong)) == (k, flips),
    )
    game.focus(box)
    xdo("key", "Return")
    wait_for("the Game Over box to close", lambda: not visible_window("^Game Over"))
    shot = expect(
        "after the box the tray shows the whole picture again", lambda s: game.picture_mismatches(s, game.origin) == 0
    )
    check(game.board_is_empty(shot), "and the board is empty")

    # The level panel: one "Level Up" and "Ok" start a game of 5 x 5 pieces of 64 x 48 pixels.
    game.keys("ctrl+g")
    fx, fy = start[0] - 2 + 840 // 15, start[1] - 18 + 600 // 15  # Frame1's corner on the form
    # Looked at above the panel's inner frame, which the widget style shades.
    expect("Ctrl+G shows the light blue level panel", lambda s: s.at(fx + 200, fy + 4) == LEVEL_PANEL)
    for name, (left, top) in (("Level Up", (240, 360)), ("Ok", (240, 1440))):
        xdo("mousemove", fx + (left + 855 // 2) // 15, fy + (top + 735 // 2) // 15)
        xdo("click", 1)
        settle()
    expect(
        "Level Up and Ok redraw the board as a 5 x 5 grid of 64 x 48 cells",
        lambda s: empty_grid(s, game.origin, 5, PIC_W // 5, PIC_H // 5),
    )
    expect(
        "and show the whole picture in the tray with the panel gone",
        lambda s: game.picture_mismatches(s, game.origin) == 0,
    )

    # Exit from the Joc menu, by pointer: the menus have no access keys.
    wx, wy, ww, wh = geometry(game.window)
    mapped = set(xdo("search", "--onlyvisible", "--pid", game.process.pid))
    xdo("mousemove", wx + 15, wy + 8)
    xdo("click", 1)
    popup = wait_for(
        "the Joc menu",
        lambda: next((w for w in xdo("search", "--onlyvisible", "--pid", game.process.pid) if w not in mapped), None),
    )
    settle()
    px, py, pw, ph = geometry(popup)
    # Exit is the last of the menu's four items.
    xdo("mousemove", px + pw // 4, py + ph * 7 // 8)
    time.sleep(0.2)
    xdo("click", 1)
    code = game.exit_code()
    check(code == 0, "Exit ends the game with code 0 (got %s)" % code)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--game", required=True, help="the installed tilora binary")
    parser.add_argument("--workdir", required=True, help="a folder for the picture, logs and failure shots")
    parser.add_argument("--screenshot", help="also write a PNG of the game window with pieces on the board")
    args = parser.parse_args()
    started = time.monotonic()
    try:
        play(args.game, args.workdir, args.screenshot)
    except (Failure, subprocess.CalledProcessError) as e:
        log("FAIL - %s" % e)
        return 1
    log("end-to-end play passed in %.0f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
