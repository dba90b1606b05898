#!/usr/bin/env python3
"""Takes the README's screenshot: the end-to-end play of the installed game, on the landscape that
landscape.py paints instead of the test pattern, photographed with some pieces on the board.

The play recognises pieces on screen pixel for pixel, which works on any picture in which every
piece and every mirror image of it differs; the landscape's grain sees to that.

Needs DISPLAY set to an X server without a window manager, xdotool and ImageMagick, like the
end-to-end check:

    screenshot.py --game STAGE/games/tilora --workdir DIR --out docs/screenshot.png
"""

import argparse
import os
import sys

# No compiled caches left in the source tree.
sys.dont_write_bytecode = True
here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "e2e"))

import landscape  # noqa: E402
import play  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--game", required=True, help="the installed tilora binary")
    parser.add_argument("--workdir", required=True, help="a folder for the picture and the game's log")
    parser.add_argument("--out", required=True, help="the PNG to write")
    args = parser.parse_args()

    play.PICTURE = landscape.landscape(play.PIC_W, play.PIC_H)
    play.PIECE_SAMPLES = {
        (k, flips): [play.piece_pixel(k, flips, x, y) for (x, y) in play.SAMPLES]
        for k in range(1, play.N * play.N + 1)
        for flips in play.FLIPS
    }
    if len({tuple(s) for s in play.PIECE_SAMPLES.values()}) != len(play.PIECE_SAMPLES):
        sys.exit("the landscape has two pieces that look alike; the play could not tell them apart")
    try:
        play.play(args.game, args.workdir, args.out)
    except play.Failure as e:
        sys.exit("FAIL - %s" % e)
    return 0


if __name__ == "__main__":
    sys.exit(main())
