"""What every measure of the benchmark shares: the processes it starts and reads
(/proc), the player's window on the virtual screen, and the rows of figures."""
import os
import signal
import statistics
import subprocess
import sys
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "layout"))
import layout  # noqa: E402
from xdisplay import window_origin  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
WINDOW_NAME = "Fernwood2"

# Client-area places the player draws at (see docs/gallery.md); the video window is the
# player's own layout's (Bench.video).
NEXT_BUTTON = (659, 557)
PREVIOUS_BUTTON = (485, 557)
GALLERY_BUTTON = (743, 557)
BELOW_GALLERY_BUTTON = (743, 592)  # background: between the button and the window's bottom edge
FIRST_CELL = (79, 128)             # gallery slot 0, unlocked once clip 0 has played
BESIDE_FIRST_CELL = (79, 181)      # the gap under it
OUTSIDE = (1270, 1010)             # a screen corner far from the window

COLOURS = {"red": (255, 0, 0), "green": (0, 255, 0), "blue": (0, 0, 255)}
COLOUR_TOLERANCE = 40  # per channel: YUV 4:2:0 coding and the conversion back
POLL_PAUSE = 0.001



def cpu_seconds(pid):
    """utime + stime of every thread of the process so far."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def status_mb(pid, key):
    """VmRSS, VmHWM, ... of /proc/<pid>/status in megabytes (10^6 bytes)."""
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1]) * 1024 / 1e6
    raise RuntimeError("no %s in /proc/%d/status" % (key, pid))


def mapped_rss_mb(pid, names):
    """Resident megabytes of the file mappings whose path holds one of names."""
    total, counting = 0, False
    with open("/proc/%d/smaps" % pid) as smaps:
        for line in smaps:
            words = line.split()
            if not words[0].endswith(":"):
                counting = len(words) > 5 and any(name in words[5] for name in names)
            elif counting and words[0] == "Rss:":
                total += int(words[1])
    return total * 1024 / 1e6


def load_average():
    return os.getloadavg()[0]


class Player:
    """The player started in a gallery folder; started records when (time.monotonic)."""

    def __init__(self, build, folder, env=None):  # env: added to this process's
        self.log = open(Path(folder) / "player.log", "wb")
        self.started = time.monotonic()
        self.process = subprocess.Popen([str(build / "fernwood2")], cwd=folder, stdout=self.log,
                                        stderr=subprocess.STDOUT, env=dict(os.environ, **env) if env else None)
        self.pid = self.process.pid

    def alive(self):
        return self.process.poll() is None

    def close(self):
        """SIGTERM closes the window as its close button does; the player saves and exits."""
        if self.alive():
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


def open_descriptors(pid):
    """How many file descriptors the process has open."""
    return len(os.listdir("/proc/%d/fd" % pid))


def main_background(folder):
    """The top 800 x 600 of MainBG.bmp as RGB (the raw format: TEYL, width, height, BGRA)."""
    data = (folder / "Bmp" / "MainBG.bmp").read_bytes()
    width, height = np.frombuffer(data[4:12], dtype="<i4")
    pixels = np.frombuffer(data[12:12 + width * height * 4], dtype=np.uint8).reshape(height, width, 4)
    return pixels[:600, :800, [2, 1, 0]]


class Bench:
    def __init__(self, screen, build, work, options):
        self.screen = screen
        self.build = build
        self.work = work
        self.options = options  # bench.py's command line
        self.runs = options.runs
        self.video = layout.video_rect(build)
        self.origin = None
        self.main_strip = None  # the top rows of the demo's MainBG.bmp, read once
        self.rows = []  # (group, measure, values, unit, target text, passed or None, how, load)

    def client(self, point):
        return self.origin[0] + point[0], self.origin[1] + point[1]

    def find_origin(self, player):
        origin = window_origin(WINDOW_NAME)
        if origin is None:
            raise RuntimeError("the player's window did not appear (see %s)" % player.log.name)
        if self.origin is not None and origin != self.origin:
            raise RuntimeError("the player's window moved from %s to %s" % (self.origin, origin))
        self.origin = origin

    def ensure_origin(self, folder):
        """Where the window's client area lies: learned once from a player that is not timed."""
        if self.origin is None:
            player = Player(self.build, folder)
            try:
                self.find_origin(player)
            finally:
                player.close()

    def shows_main_background(self):
        """True when the top 14 rows of the client area (above the video) are MainBG.bmp's."""
        if self.main_strip is None:
            self.main_strip = main_background(self.work / "demo")[:14].astype(np.int32)
        strip = self.screen.grab(self.origin[0], self.origin[1], 800, 14).astype(np.int32)
        return bool(np.abs(strip - self.main_strip).mean() < 4.0)

    def video_patch(self):
        left, top, width, height = self.video
        left, top = self.client((left + width // 2 - 8, top + height // 2 - 8))
        return self.screen.grab(left, top, 16, 16).reshape(-1, 3).astype(np.int32)

    def video_shows(self, colour):
        return bool(np.all(np.abs(self.video_patch() - COLOURS[colour]) <= COLOUR_TOLERANCE))

    def wait_until(self, condition, timeout, what, player=None):
        """Polls condition about every millisecond; the time.monotonic() it first held."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if condition():
                return time.monotonic()
            if player is not None and not player.alive():
                raise RuntimeError("the player exited while waiting for %s (see %s)" % (what, player.log.name))
            time.sleep(POLL_PAUSE)
        raise RuntimeError("timed out waiting for %s" % what)

    def record(self, group, measure, values, unit, target, passed, how, load):
        self.rows.append((group, measure, values, unit, target, passed, how, load))
        shown = ", ".join(format_value(v) for v in values[:10]) + (", ..." if len(values) > 10 else "")
        median = format_value(statistics.median(values)) if values else "-"
        print("  %-46s median %s %s   [%s]  load %.2f" % (measure, median, unit, shown, load), flush=True)

    def cpu_over(self, pid, seconds):
        """CPU seconds the process and the X server used in the next seconds."""
        player_start, server_start = cpu_seconds(pid), cpu_seconds(self.screen.server.pid)
        wall_start = time.monotonic()
        time.sleep(seconds)
        wall = time.monotonic() - wall_start
        return cpu_seconds(pid) - player_start, cpu_seconds(self.screen.server.pid) - server_start, wall


def format_value(value):
    return "%.3g" % value if abs(value) < 100 else "%.0f" % value
