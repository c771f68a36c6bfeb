#!/usr/bin/python3
"""A restless user: seeded random clicks, drags, knob drags, window moves and bursts of keys
(some while a knob is dragged or a clip loads, fullscreen among them) over clips of every
format and four broken ones. Every few seconds the window answers a hover and no "Error!!"
box is up; over the last half, resident memory and descriptors grow under 1 %. Broken clips
(clip buttons 1 to 3, their cells, their keys) are tried in the first third only: their box
ends the player, which starts again.

  soak.py [--minutes 60] [--seed N] [--build build] [--out DIR]
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
parser.add_argument("--minutes", type=float, default=60)
parser.add_argument("--seed", type=int, default=random.SystemRandom().randrange(1 << 31))
parser.add_argument("--build", default=os.environ.get("FW_BUILD_DIR", "build"))
parser.add_argument("--out", type=Path, default=None, help="work folder (default BUILD/soak)")
ARGS = parser.parse_args()
os.environ["FW_BUILD_DIR"] = ARGS.build
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import conftest as e2e  # noqa: E402
from conftest import (CELL, MOVIE_FAILED, NEUTRAL as AWAY, SEEK_KNOB_Y, VOLUME_KNOB_Y, _inside, _layout,  # noqa: E402
                      cell_at, find_knob, top_level_windows)

BUTTON = _layout["kThumbnailButtonRect"]  # the back button on the gallery
CELLS = [(x, y, x + CELL[0] - 1, y + CELL[1] - 1) for x, y in (cell_at(row, column) for row in range(4)
                                                                for column in range(7))]
# What loads a broken clip: clip buttons 1 to 3, cells 1, 2, 3 and 5.
BROKEN = [tuple(rect) for rect in _layout["kClipButtonRects"][1:]] + [CELLS[k] for k in (1, 2, 3, 5)]
TARGETS = [tuple(_layout[name + "Rect"]) for name in ("kPrevious", "kStop", "kPlay", "kNext", "kThumbnailButton",
                                                      "kPageButton", "kBackButton")] + \
          [tuple(rect) for rect in _layout["kClipButtonRects"]] + CELLS + [(0, 0, 799, 599), (-100, -100, 899, 699)]

GOOD = ["01-opening.mpg", "02-angle-a.mp4", "03-angle-b.avi", "04-angle-c.ogv", "05-angle-d.wmv",
        "06-colours.mp4", "07-take-1.avi", "08-take-2.wmv", "09-take-3.ogv", "10-closing.mpg"]
ITEMS = [[0, 11, 12, 13], [5, 10], [1, 2, 3, 4], [6, 7, 8], [9]]  # clip numbers; 10 to 13 are made here
HOVER_SPOT = ((BUTTON[0] + BUTTON[2]) // 2, (BUTTON[1] + BUTTON[3]) // 2)
# Every key the player knows, some it does not; those that can load a broken clip apart.
KEYS = ["space", "Left", "Right", "Up", "Down", "1", "g", "Escape", "BackSpace", "Prior", "Next", "F11",
        "alt+Return", "a", "F5", "Tab"]
BROKEN_KEYS = ["2", "3", "4", "Return"]
SANITIZED = b"__asan_init" in e2e.PLAYER.read_bytes()
SLOW = 3 if SANITIZED else 1


def make_gallery(folder, rng):
    demo = ROOT / "build" / "demo"
    subprocess.run([sys.executable, str(ROOT / "tools" / "demo" / "make_demo.py"), "--out", str(demo)], check=True)
    mp4 = (demo / "movies" / GOOD[1]).read_bytes()
    middle = len(mp4) // 2
    broken = {"scrambled.mp4": mp4[:middle] + rng.randbytes(20000) + mp4[middle + 20000:],
              "truncated.mp4": mp4[:len(mp4) // 3], "random.mpg": rng.randbytes(200000), "empty.avi": b""}
    shutil.rmtree(folder, ignore_errors=True)
    clips = {name: demo / "movies" / name for name in GOOD} | broken
    names = list(clips)
    table = "".join((f'SingleItem "movies/{names[item[0]]}" 1\n' if len(item) == 1 else
                     f"MultiItem {len(item)}\n" + "".join(f'Item "movies/{names[k]}" 1\n' for k in item))
                    for item in ITEMS) + "End\n"
    slots = [f"{number} {place}" for number, item in enumerate(ITEMS) for place in range(len(item))]
    return e2e.make_gallery(folder / "gallery", clips, table, "\n".join([str(len(slots))] + slots) + "\n")


class Soak:
    def __init__(self, rng, folder, seconds):
        self.rng, self.folder, self.seconds, self.start_time = rng, folder, seconds, time.monotonic()
        self.inputs = self.restarts = self.broken_at = 0
        self.samples, self.app = [], None  # samples: (seconds, pid, resident kB, descriptors)

    def elapsed(self):
        return time.monotonic() - self.start_time

    def start(self):
        self.app = e2e.App([e2e.PLAYER], self.folder / "gallery", self.folder / ("run%d" % self.restarts))
        self.app.find_window(timeout=30 * SLOW)
        self.app.placement = None

    def point(self, rect):
        while True:
            x, y = self.rng.randint(rect[0], rect[2]), self.rng.randint(rect[1], rect[3])
            if not any(_inside((x, y), broken) for broken in BROKEN):
                return x, y
            if self.elapsed() < self.seconds / 3:
                self.broken_at = self.elapsed()
                return x, y

    def target(self):
        return self.point(self.rng.choice(TARGETS + BROKEN if self.elapsed() < self.seconds / 3 else
                                          [rect for rect in TARGETS if rect not in BROKEN]))

    def press_move_release(self, start, end, steps):
        app = self.app
        app.move(*start, settle=0.02)
        app.down(settle=0.02)
        for step in range(1, steps + 1):
            app.move(start[0] + (end[0] - start[0]) * step // steps, start[1] + (end[1] - start[1]) * step // steps,
                     settle=0.02)
        app.up(settle=self.rng.choice([0.02, 0.1, 0.3]))
        self.inputs += 2 + steps

    def click(self):
        self.press_move_release(*[self.target()] * 2, 0)

    def drag(self):
        self.press_move_release(self.target(), self.target(), self.rng.randrange(1, 12))

    def drag_knob(self):
        top = self.rng.choice([SEEK_KNOB_Y, VOLUME_KNOB_Y])
        knob = find_knob(self.app.screenshot(), top)
        start = (knob[0] + 9, top + 8) if knob else self.point((35, top, 384, top + 15))
        self.press_move_release(start, self.point((-60, top - 40, 439, top + 49)), self.rng.randrange(1, 20))

    def keys(self):
        """A burst of keys, quick enough to arrive during a load, sometimes under a knob drag."""
        pool = KEYS + (BROKEN_KEYS if self.elapsed() < self.seconds / 3 else [])
        chosen = [self.rng.choice(pool) for _ in range(self.rng.randrange(1, 7))]
        if set(chosen) & set(BROKEN_KEYS):
            self.broken_at = self.elapsed()
        top = self.rng.choice([SEEK_KNOB_Y, VOLUME_KNOB_Y]) if self.rng.random() < 0.3 else None
        if top is not None:
            self.app.move(*self.point((44, top + 2, 379, top + 13)), settle=0.02)
            self.app.down(settle=0.02)
        subprocess.run(["xdotool", "key", "--delay", str(self.rng.choice([0, 15, 60])), *chosen], timeout=10)
        if top is not None:
            self.app.up(settle=0.02)
        self.inputs += len(chosen) + (2 if top is not None else 0)
        if set(chosen) & {"F11", "alt+Return", "Escape"}:
            self.follow_window()

    def follow_window(self):
        """The window's place and the client area's in it, once fullscreen has come or gone."""
        time.sleep(0.3)
        rect = None
        while self.app.running() and rect != (rect := self.app.client_rect()):
            time.sleep(0.1)
        self.app.rect = rect
        width, height = rect[2:]
        fit_width = min(width, height * 800 // 600)
        fit_height = fit_width * 600 // 800
        self.app.placement = None if (width, height) == (800, 600) else (
            (width - fit_width) // 2, (height - fit_height) // 2, fit_width, fit_height)

    def move_window(self):
        if self.app.placement:  # fullscreen: it stays on the monitor
            return
        x, y = self.rng.randrange(0, 480), self.rng.randrange(0, 424)
        subprocess.run(["xdotool", "windowmove", "--sync", str(self.app.window), str(x), str(y)], timeout=10)
        self.app.rect = self.app.client_rect()
        self.inputs += 1

    ACTIONS = [(click, 50), (drag, 10), (drag_knob, 15), (move_window, 3), (keys, 15)]

    def sample(self):
        pid = self.app.process.pid
        status = Path(f"/proc/{pid}/status").read_text()
        rss, anon = (int(status.split(field)[1].split()[0]) for field in ("VmRSS:", "RssAnon:"))
        self.samples.append((self.elapsed(), pid, rss, descriptors(pid), anon))

    def failed_load(self):  # a broken clip's box (dismissed here, or clicked) ends the player
        if self.app.running() and not any(name == "Error!!" for _, name in top_level_windows()):
            return False
        assert self.elapsed() < self.broken_at + 30 * SLOW, "Error!! box or exit, no broken clip (seed %d):\n%s" % (
            ARGS.seed, self.app.stderr[-3000:])
        if self.app.running():
            e2e.dismiss_message_box(alive=self.app.running)
        assert self.app.wait(30 * SLOW) == 1, "the player did not end cleanly after a failed load"
        assert {line for line in self.app.stderr.splitlines() if "Error!!" in line} == {MOVIE_FAILED}
        assert len((self.folder / "gallery" / "GameData.sys").read_bytes()) == 68
        self.restarts += 1
        self.start()
        return True

    def answers(self):  # the gallery/back button changes as the pointer comes or (after a late frame) goes
        app, (left, top), (right, bottom) = self.app, self.app.on_screen(*BUTTON[:2]), self.app.on_screen(*BUTTON[2:])
        rect = (left, top, right - left + 1, bottom - top + 1)
        app.move(*AWAY, settle=0.3 * SLOW)
        for spot in (HOVER_SPOT, AWAY):
            before = e2e.grab(*rect)
            app.move(*spot, settle=0.02)
            self.inputs += 2
            deadline = time.monotonic() + 10 * SLOW
            while app.running() and time.monotonic() < deadline:
                if (e2e.grab(*rect) != before).any():
                    return True
                time.sleep(0.05)
        return False

    def run(self):
        self.start()
        (actions, weights), next_check = zip(*self.ACTIONS), 0
        while self.elapsed() < self.seconds:
            if (not self.app.running() or self.elapsed() >= next_check) and self.failed_load():
                continue
            if self.elapsed() >= next_check:
                if not self.answers():  # a box that came up meanwhile blocks the window
                    assert self.failed_load(), "the window did not answer a hover (seed %d)" % ARGS.seed
                    continue
                self.sample()
                next_check = self.elapsed() + 3
                print("%6.0f s  inputs %6d  restarts %d  rss %6d kB  fds %3d  anonymous %6d kB" % (
                    self.elapsed(), self.inputs, self.restarts, *self.samples[-1][2:]), flush=True)
            self.rng.choices(actions, weights)[0](self)
        self.failed_load()
        self.app.close()
        assert self.app.wait(60 * SLOW) == 1, "exit status %s:\n%s" % (self.app.process.returncode, self.app.stderr)
        assert len((self.folder / "gallery" / "GameData.sys").read_bytes()) == 68

    def check_growth(self):
        """Peaks of the last half's quarters; not a sanitized player's memory (freed blocks wait in quarantine)."""
        half = [s for s in self.samples if s[0] >= self.seconds / 2]
        assert len({s[1] for s in half}) == 1, "the player was restarted in the last half"
        quarter = len(half) // 2
        for column, what in ((2, "resident memory"), (3, "open descriptors")):
            early, late = max(s[column] for s in half[:quarter]), max(s[column] for s in half[quarter:])
            print("%s: start %d, middle %d, end %d; last half peaks %d -> %d" % (
                what, self.samples[0][column], half[0][column], self.samples[-1][column], early, late))
            assert late <= early * 1.01 or (SANITIZED and column == 2), "%s grew by more than 1 %%" % what


def descriptors(pid):
    """Open descriptors, less the video frames' memory files: those are frame buffers, as many as
    the playing clip's pool holds, and counted in resident memory."""
    count = 0
    for name in os.listdir(f"/proc/{pid}/fd"):
        try:
            count += "memfd:fernwood2-frame" not in os.readlink(f"/proc/{pid}/fd/{name}")
        except OSError:  # closed meanwhile
            pass
    return count


def main():
    print("soak: seed %d, %.1f minutes, %s" % (ARGS.seed, ARGS.minutes, ARGS.build), flush=True)
    rng, folder = random.Random(ARGS.seed), ARGS.out or ROOT / ARGS.build / "soak"
    make_gallery(folder, rng)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("soak: terminated"))  # still closes the display
    e2e._screen.append(e2e.VirtualScreen())
    soak = Soak(rng, folder, ARGS.minutes * 60)
    try:
        soak.run()
    finally:
        if soak.app and soak.app.running():
            soak.app.process.kill()
        e2e._screen.pop().close()
    print("soak: seed %d, %d inputs, %d restarts" % (ARGS.seed, soak.inputs, soak.restarts))
    soak.check_growth()
    print("soak: passed")


if __name__ == "__main__":
    main()
