#!/usr/bin/python3
"""The display side of scripts/fresh-test's check of the installed package: starts a virtual
screen, tells its display number (written to --display-file), and waits for the player that the
menu entry's command starts elsewhere (in the root the package is installed in). Then it checks
the window and a frame of the demo: outside the video area the main screen's background exactly
as the installed demo's MainBG picture has it, inside it a picture of the first clip (a test
pattern: many colours). It saves a screenshot (--shot), closes the window as a window manager's
close button does, waits for it to go away, and keeps the screen until the file --until names
exists (the player has ended: it saves after its window is gone).

  menu_start.py --display-file FILE --until FILE --background MainBG.png --shot menu-start.png

Exits 0 when all of that happened, 1 with one line saying what did not.
"""
import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
from PIL import Image

ROOT = Path(__file__).resolve().parents[2]
sys.path[:0] = [str(ROOT / "tools" / "bench"), str(ROOT / "tools" / "layout")]
import layout  # noqa: E402
from xdisplay import VirtualScreen, window_origin  # noqa: E402

WIDTH, HEIGHT = 800, 600
VIDEO = layout.video_rect()  # left, top, width, height
TOLERANCE = 2  # per channel, for the renderer's rounding


def background_bands():
    """The places no control is drawn on: above, left and right of the video."""
    mask = np.zeros((HEIGHT, WIDTH), dtype=bool)
    left, top, width, height = VIDEO
    mask[:top, :] = True
    mask[:top + height, :left] = True
    mask[:top + height, left + width:left + width + 20] = True
    return mask


def verdict(shot, background, bands):
    """"" when the shot is the demo's main screen with a frame of its first clip, else why not."""
    wrong = np.any(np.abs(shot.astype(int) - background.astype(int)) > TOLERANCE, axis=2) & bands
    if wrong.any():
        return "%d pixels of the background differ from the demo's MainBG" % wrong.sum()
    left, top, width, height = VIDEO
    video = shot[top:top + height, left:left + width] // 32
    colours = len(np.unique(video.reshape(-1, 3), axis=0))
    return "" if colours >= 6 else "the video area shows %d colours, not the test pattern" % colours


def window_id(name):
    listing = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True).stdout
    return next(int(line.split()[0], 16) for line in listing.splitlines() if '"%s":' % name in line)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--display-file", required=True)
    parser.add_argument("--until", required=True)
    parser.add_argument("--background", required=True)
    parser.add_argument("--shot", required=True)
    parser.add_argument("--timeout", type=float, default=90)
    args = parser.parse_args()
    background = np.asarray(Image.open(args.background).convert("RGB"))[:HEIGHT, :WIDTH]
    screen = VirtualScreen()
    try:
        partial = args.display_file + ".partial"
        Path(partial).write_text(os.environ["DISPLAY"] + "\n")
        os.rename(partial, args.display_file)
        started = time.monotonic()
        origin = window_origin("Fernwood2", args.timeout)
        if origin is None:
            return "no Fernwood2 window within %d s" % args.timeout
        bands, why = background_bands(), "no shot"
        while time.monotonic() - started < args.timeout:
            shot = screen.grab(origin[0], origin[1], WIDTH, HEIGHT)
            why = verdict(shot, background, bands)
            if not why:
                break
            time.sleep(0.2)
        Image.fromarray(shot).save(args.shot)
        if why:
            return "the window never showed the demo: " + why
        print("menu start: the window and a frame of the demo after %.1f s" % (time.monotonic() - started))
        screen.request_close(window_id("Fernwood2"))
        closed = time.monotonic()
        while window_origin("Fernwood2", 0.1) is not None:
            if time.monotonic() - closed > 30:
                return "the window is still there 30 s after it was closed"
            time.sleep(0.2)
        while not os.path.exists(args.until) and time.monotonic() - closed < 60:
            time.sleep(0.2)
        return None
    finally:
        screen.close()


if __name__ == "__main__":
    failure = main()
    if failure:
        print("menu start: " + failure, file=sys.stderr)
    sys.exit(1 if failure else 0)
