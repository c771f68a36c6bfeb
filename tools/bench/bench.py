#!/usr/bin/python3
"""The player's graphics and movie benchmark (run by scripts/bench).

  bench.py [--build DIR] [--runs N] [--quiet-load L] [--wait-load S] [GROUP ...]

GROUP is one of graphics, movies, or a single measure: idle, frame, layer,
startup, movie-cpu, movie-scale, movie-startup, loads. Without one, everything runs. It prints
each figure as it is measured and a table at the end, and exits 0 (a missed
target is a figure, not a failure); 2 when something could not be measured.

Everything runs on a virtual screen of its own (Xvfb), in BUILD/bench, with the
demo gallery's pictures (tools/demo/make_demo.py) and clips it makes itself:
640 x 480, 30 frames a second, H.264 and AAC in MP4. How each figure is taken is
written next to it in the table and in docs/performance.md.

CPU figures are utime + stime from /proc/<pid>/stat: every thread of the process,
OpenGL's rasterizer threads and GStreamer's streaming threads included; the X
server's own work is listed apart. Times on screen come from polling a few
pixels with XGetImage every millisecond or so.
"""
import argparse
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "layout"))
import layout  # noqa: E402
from xdisplay import VirtualScreen, window_origin  # noqa: E402

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
LOADS_SEED = 20261207   # the pauses before the loads' clicks, the same every run


# --- Processes ------------------------------------------------------------------------------

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


# --- Clips and galleries -----------------------------------------------------------------------

def aac_encoder():
    for name in ("avenc_aac", "voaacenc"):
        if subprocess.run(["gst-inspect-1.0", "--exists", name]).returncode == 0:
            return name
    raise RuntimeError("no AAC encoder (avenc_aac or voaacenc) in GStreamer")


def make_clip(path, source, seconds, filters=""):
    """640 x 480, 30 frames a second, H.264 + AAC (a 440 Hz tone) in MP4; made once."""
    if path.exists():
        return path
    path.parent.mkdir(parents=True, exist_ok=True)
    partial = path.with_suffix(".part")
    frames = 30 * seconds
    description = (
        f"{source} num-buffers={frames} ! video/x-raw,width=640,height=480,framerate=30/1,pixel-aspect-ratio=1/1 "
        f"{filters}! videoconvert ! video/x-raw,format=I420 ! x264enc speed-preset=fast bitrate=2000 key-int-max=60 "
        "! h264parse ! queue ! mux. "
        f"audiotestsrc freq=440 volume=0.25 samplesperbuffer=1470 num-buffers={30 * seconds} "
        f"! audio/x-raw,rate=44100,channels=2 ! audioconvert ! {aac_encoder()} ! aacparse ! queue ! mux. "
        f"mp4mux name=mux ! filesink location={partial}")
    result = subprocess.run(["gst-launch-1.0", "-q", *description.split()], capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("making %s failed:\n%s" % (path.name, result.stderr[-800:]))
    partial.rename(path)
    return path


def solid_clip(work, name, seconds=1):
    red, green, blue = COLOURS[name]
    argb = 0xFF000000 | red << 16 | green << 8 | blue
    return make_clip(work / "clips" / f"{name}-{seconds}s.mp4",
                     f"videotestsrc pattern=solid-color foreground-color={argb:#x}", seconds)


def moving_clip(work):
    """Ten seconds of colour bars sliding sideways with a running clock: every frame changes."""
    return make_clip(work / "clips" / "bars-10s.mp4",
                     "videotestsrc pattern=smpte horizontal-speed=4", 10, "! timeoverlay font-desc=Sans,40 ")


def demo_gallery(work):
    demo = work / "demo"
    subprocess.run(["/usr/bin/python3", str(ROOT / "tools/demo/make_demo.py"), "--out", str(demo)], check=True,
                   stdout=subprocess.DEVNULL)
    return demo


def gallery(work, name, clips):
    """A gallery folder with the demo's pictures and a play table of SingleItems,
    one per (clip path, repeat count); no save file, so it starts from scratch."""
    folder = work / "galleries" / name
    shutil.rmtree(folder, ignore_errors=True)
    (folder / "Data").mkdir(parents=True)
    shutil.copytree(work / "demo" / "Bmp", folder / "Bmp")
    lines = ['SingleItem "%s" %d' % (clip, repeat) for clip, repeat in clips] + ["End"]
    (folder / "Data" / "PlayTable.txt").write_text("\n".join(lines) + "\n")
    (folder / "Data" / "ThumbnailTable.txt").write_text("1\n0 0\n")
    return folder


def main_background(folder):
    """The top 800 x 600 of MainBG.bmp as RGB (the raw format: TEYL, width, height, BGRA)."""
    data = (folder / "Bmp" / "MainBG.bmp").read_bytes()
    width, height = np.frombuffer(data[4:12], dtype="<i4")
    pixels = np.frombuffer(data[12:12 + width * height * 4], dtype=np.uint8).reshape(height, width, 4)
    return pixels[:600, :800, [2, 1, 0]]


# --- The screen ----------------------------------------------------------------------------------

class Bench:
    def __init__(self, screen, build, work, runs):
        self.screen = screen
        self.build = build
        self.work = work
        self.runs = runs
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


# --- Graphics ------------------------------------------------------------------------------------

def stopped_gallery(bench):
    """One item: a 1 s clip played once. After it the sequence cues it again and stops,
    so the main screen rests on a stopped clip with nothing moving."""
    return gallery(bench.work, "stopped", [(solid_clip(bench.work, "red"), 1)])


def start_stopped(bench):
    folder = stopped_gallery(bench)
    player = Player(bench.build, folder)
    bench.find_origin(player)
    bench.screen.move(*OUTSIDE)
    bench.wait_until(lambda: bench.video_shows("red"), 20, "the clip's first frame", player)
    time.sleep(1.0 + 1.5)  # the clip's one second, the wrap, and time to settle
    return player


def measure_idle(bench):
    """CPU with the mouse still (outside the window), 10 s each: the main screen of a
    stopped clip, then the gallery."""
    load = load_average()
    main, thumbnails, server_main, server_thumbnails = [], [], [], []
    for _ in range(bench.runs):
        player = start_stopped(bench)
        try:
            cpu, server, wall = bench.cpu_over(player.pid, 10.0)
            main.append(100 * cpu / wall)
            server_main.append(100 * server / wall)
            bench.screen.click(*bench.client(GALLERY_BUTTON))
            time.sleep(0.2)
            bench.screen.move(*OUTSIDE)
            time.sleep(1.0)
            if bench.shows_main_background():
                raise RuntimeError("the gallery button did not open the gallery")
            cpu, server, wall = bench.cpu_over(player.pid, 10.0)
            thumbnails.append(100 * cpu / wall)
            server_thumbnails.append(100 * server / wall)
        finally:
            player.close()
    how = "utime+stime over 10 s, mouse still outside the window"
    bench.record("graphics", "idle CPU, main screen, stopped clip", main, "% of a core", "<= 2",
                 statistics.median(main) <= 2.0, how, load)
    bench.record("graphics", "idle CPU, gallery screen", thumbnails, "% of a core", "<= 2",
                 statistics.median(thumbnails) <= 2.0, how, load)
    bench.record("graphics", "  X server meanwhile, main screen", server_main, "% of a core", "", None,
                 "Xvfb's utime+stime", load)
    bench.record("graphics", "  X server meanwhile, gallery", server_thumbnails, "% of a core", "", None,
                 "Xvfb's utime+stime", load)


def hover_changes_picture(bench, point_a, point_b):
    """True when the pixels around point_a differ with the pointer on it and off it."""
    shots = []
    for point in (point_a, point_b):
        bench.screen.move(*bench.client(point))
        time.sleep(0.1)
        left, top = bench.client((point_a[0] - 10, point_a[1] - 10))
        shots.append(bench.screen.grab(left, top, 20, 20).copy())
    return not np.array_equal(*shots)


def hover_cpu(bench, player, point_a, point_b, seconds=10.0, period=0.040):
    """Moves the pointer between two points every period (each move changes the
    picture: a highlight comes or goes), for seconds; returns (CPU seconds of the
    player, moves, wall seconds)."""
    if not hover_changes_picture(bench, point_a, point_b):
        raise RuntimeError("the pointer at %s highlights nothing: no changed frames to time" % (point_a,))
    start_cpu = cpu_seconds(player.pid)
    start = time.monotonic()
    moves = 0
    next_move = start
    while time.monotonic() - start < seconds:
        bench.screen.move(*bench.client(point_a if moves % 2 == 0 else point_b))
        moves += 1
        next_move += period
        time.sleep(max(0.0, next_move - time.monotonic()))
    return cpu_seconds(player.pid) - start_cpu, moves, time.monotonic() - start


def measure_frame(bench):
    """CPU time of a frame that changes: the pointer goes on and off a button 25 times a
    second (every change is one drawn frame; the frames between are unchanged and
    skipped). Per changed frame: (CPU while hovering - CPU at rest in as long) / changes."""
    load = load_average()
    results = {"main": [], "gallery": []}
    for _ in range(bench.runs):
        player = start_stopped(bench)
        try:
            for screen, a, b in (("main", GALLERY_BUTTON, BELOW_GALLERY_BUTTON),
                                 ("gallery", FIRST_CELL, BESIDE_FIRST_CELL)):
                if screen == "gallery":
                    bench.screen.click(*bench.client(GALLERY_BUTTON))
                    time.sleep(0.2)
                bench.screen.move(*bench.client(b))
                time.sleep(0.5)
                rest, _, rest_wall = bench.cpu_over(player.pid, 5.0)
                busy, moves, wall = hover_cpu(bench, player, a, b)
                results[screen].append(1000 * (busy - rest * wall / rest_wall) / moves)
        finally:
            player.close()
    how = "(CPU hovering - CPU at rest) / changes, 25 changes/s for 10 s"
    bench.record("graphics", "changed frame CPU, main screen (hover)", results["main"], "ms", "<= 2",
                 statistics.median(results["main"]) <= 2.0, how, load)
    bench.record("graphics", "changed frame CPU, gallery (hover)", results["gallery"], "ms", "<= 2",
                 statistics.median(results["gallery"]) <= 2.0, how, load)


def measure_layer(bench):
    """The Direct3D layer's own benchmark (tools/bench/d3d_bench, on either renderer) with the demo
    pictures: frames drawn as the player draws them, each timed alone inside the process."""
    probe = bench.build / "tools" / "bench" / "d3d_bench"
    if not probe.exists():
        print("  (no %s: layer figures skipped)" % probe, flush=True)
        return
    load = load_average()
    figures = {}
    for _ in range(bench.runs):
        result = subprocess.run([str(probe), "bench"], cwd=bench.work / "demo", capture_output=True, text=True,
                                timeout=120)
        if result.returncode != 0:
            raise RuntimeError("d3d_bench failed:\n" + (result.stdout + result.stderr)[-800:])
        for line in result.stdout.splitlines():
            # "BENCH <name> <key> <value> ..." or "BENCH startup_ms <value> ..."
            words = line.split()
            if len(words) < 3 or words[0] != "BENCH":
                continue
            if words[1] == "startup_ms":
                figures.setdefault(("startup", "startup_ms"), []).append(float(words[2]))
            elif len(words) >= 4:
                figures.setdefault((words[1], words[2]), []).append(float(words[3]))
    how = "d3d_bench: CPU of each of 200 frames, timed in the process"
    for (name, kind), values in figures.items():
        if kind == "cpu_ms_median":
            target, passed = ("<= 2", statistics.median(values) <= 2.0) if name.startswith("changed_frame") else \
                ("", None)
            bench.record("graphics", "layer: %s" % name, values, "ms", target, passed, how, load)
        elif kind == "cpu_percent":
            bench.record("graphics", "layer: %s" % name, values, "% of a core", "", None,
                         "d3d_bench: 3 s of the player's pacing loop", load)
        elif kind == "startup_ms":
            bench.record("graphics", "layer: start-up to first frame", values, "ms", "", None,
                         "d3d_bench: window, device, 4 textures, first Present", load)


def measure_startup(bench):
    """Process start to the first presented frame, demo gallery: the first 14 rows of
    the client area (above the video) show MainBG's pixels."""
    demo = bench.work / "demo"
    run_folder = bench.work / "galleries" / "demo-startup"
    shutil.rmtree(run_folder, ignore_errors=True)
    shutil.copytree(demo, run_folder, ignore=shutil.ignore_patterns("png", "thumbnails", "GameData.sys"))
    bench.ensure_origin(run_folder)
    load = load_average()
    times, cpu = [], []
    for _ in range(max(5, bench.runs)):
        (run_folder / "GameData.sys").unlink(missing_ok=True)
        bench.screen.move(*OUTSIDE)
        player = Player(bench.build, run_folder)
        try:
            times.append(1000 * (bench.wait_until(bench.shows_main_background, 20, "the first frame", player)
                                 - player.started))
            cpu.append(1000 * cpu_seconds(player.pid))
        finally:
            player.close()
    bench.record("graphics", "start-up to first frame (demo gallery)", times, "ms", "<= 150",
                 statistics.median(times) <= 150, "Popen to the background on screen (polled ~1 ms)", load)
    bench.record("graphics", "  CPU used by then", cpu, "ms", "", None, "utime+stime at that moment (10 ms ticks)",
                 load)


# --- Movies --------------------------------------------------------------------------------------

# The players a user would pick instead, run on the same clip in the same sitting, in turn
# with ours. Their windows open at the screen's top left, at the clip's own size; sound goes
# to a clock-paced fake output (gst) or nowhere (mpv), as ours does on a machine without sound.
PEERS = {
    "gst-launch playbin": lambda clip: [
        "gst-launch-1.0", "-q", "playbin", "uri=file://%s" % clip, "video-sink=ximagesink",
        "audio-sink=fakesink sync=true"],
    "mpv --vo=x11": lambda clip: [
        "mpv", "--no-config", "--really-quiet", "--vo=x11", "--ao=null", "--geometry=+0+0", str(clip)],
}
_announced_missing = set()


def peers_present():
    """The peers whose program is installed; an absent one is skipped, saying so once."""
    present = []
    for name, command in PEERS.items():
        program = command("x")[0]
        if shutil.which(program):
            present.append(name)
        elif program not in _announced_missing:
            _announced_missing.add(program)
            print("  (%s is not installed: its figures are skipped)" % program, flush=True)
    return present


def run_peer(name, clip):
    """A peer from start to exit at the clip's end: its CPU seconds and peak resident megabytes."""
    process = subprocess.Popen(PEERS[name](clip), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise RuntimeError("%s failed with status %d" % (name, process.returncode))
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1000


def peer_first_frame(bench, name, clip):
    """Popen of a peer to the red clip's first frame in its window's middle: (ms, CPU ms by
    then). Red is taken loosely (mpv converts it to about (248, 47, 0)): the window opens
    black on a black screen, so only the frame itself looks red."""
    started = time.monotonic()
    process = subprocess.Popen(PEERS[name](clip), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        def shows_red():
            patch = bench.screen.grab(312, 232, 16, 16).reshape(-1, 3).astype(np.int32)
            return bool(np.all(patch[:, 0] >= 200) and np.all(patch[:, 1:] <= 80))
        shown = bench.wait_until(shows_red, 20, "%s's red" % name)
        return 1000 * (shown - started), 1000 * cpu_seconds(process.pid)
    finally:
        process.terminate()
        process.wait()


def record_peers(bench, measure, ours, theirs, unit, how, load, targets):
    """Rows for each peer's figures and for the ratio of our median to its; targets maps a
    peer's name to the highest ratio that meets the target."""
    for name, values in theirs.items():
        bench.record("movies", "  %s, %s" % (name, measure), values, unit, "", None, how, load)
        ratio = statistics.median(ours) / statistics.median(values)
        limit = targets.get(name)
        bench.record("movies", "  ratio player / %s" % name, [ratio], "x",
                     "" if limit is None else "<= %g" % limit, None if limit is None else ratio <= limit,
                     "ratio of the medians", load)


def measure_movie_cpu(bench):
    """CPU for start-up plus 10 s of playback of the 10 s clip: the player (main screen,
    CPU read 10 s after the first video frame showed) and each peer (start to exit), in
    turn in the same run. Also the peak resident memory of each."""
    clip = moving_clip(bench.work)
    folder = gallery(bench.work, "ten-seconds", [(clip, 1)])
    bench.ensure_origin(folder)
    load = load_average()
    names = peers_present()
    ours, ours_steady, hwm, server_ours, mesa = [], [], [], [], []
    theirs = {name: [] for name in names}
    their_hwm = {name: [] for name in names}
    their_server = {name: [] for name in names}
    for _ in range(bench.runs):
        bench.screen.move(*OUTSIDE)
        server_start = cpu_seconds(bench.screen.server.pid)
        player = Player(bench.build, folder)
        try:
            def playing():
                return bench.video_patch().mean() > 30
            first = bench.wait_until(playing, 20, "the clip's first frame", player)
            time.sleep(max(0.0, first + 1.0 - time.monotonic()))
            one = cpu_seconds(player.pid)
            time.sleep(max(0.0, first + 9.0 - time.monotonic()))
            nine = cpu_seconds(player.pid)
            time.sleep(max(0.0, first + 10.0 - time.monotonic()))
            ours.append(cpu_seconds(player.pid))
            server_ours.append(cpu_seconds(bench.screen.server.pid) - server_start)
            ours_steady.append((nine - one) * 10 / 8)
            time.sleep(1.5)  # the end, the wrap to the first frame
            hwm.append(status_mb(player.pid, "VmHWM"))
            mesa.append(mapped_rss_mb(player.pid, ("libLLVM", "swrast_dri")))
        finally:
            player.close()
        for name in names:
            server_start = cpu_seconds(bench.screen.server.pid)
            cpu, peak = run_peer(name, clip)
            theirs[name].append(cpu)
            their_hwm[name].append(peak)
            their_server[name].append(cpu_seconds(bench.screen.server.pid) - server_start)
    how = "utime+stime, process start to 10 s of playback"
    bench.record("movies", "CPU, player: start + 10 s of the clip", ours, "s", "", None, how, load)
    record_peers(bench, "start + 10 s", ours, theirs, "s", "utime+stime, start to exit at the clip's end", load,
                 {"gst-launch playbin": 1.2})
    bench.record("movies", "  player, 8 s of steady playback, per 10 s", ours_steady, "s", "", None,
                 "CPU from 1 s to 9 s after the first frame, x 10/8", load)
    bench.record("movies", "  X server meanwhile, player", server_ours, "s", "", None, "Xvfb's utime+stime", load)
    for name, values in their_server.items():
        bench.record("movies", "  X server meanwhile, %s" % name, values, "s", "", None, "Xvfb's utime+stime", load)
    bench.record("movies", "peak resident memory (VmHWM), player", hwm, "MB", "<= 120", statistics.median(hwm) <= 120,
                 "VmHWM after the clip ended", load)
    bench.record("movies", "  of which Mesa's software renderer's code", mesa, "MB", "", None,
                 "resident pages of libLLVM and swrast_dri", load)
    record_peers(bench, "peak resident memory", hwm, their_hwm, "MB", "ru_maxrss", load, {})


def steady_playback(screen, player, video, scale):
    """CPU seconds of the player and of the X server from 1 s to 9 s after the clip's first
    frame showed in the middle of the video (at the window's scale), per 10 s."""
    origin = window_origin(WINDOW_NAME)
    if origin is None:
        raise RuntimeError("the player's window did not appear (see %s)" % player.log.name)
    left, top, width, height = video
    middle = (origin[0] + scale * (left + width // 2) - 8, origin[1] + scale * (top + height // 2) - 8)
    end = time.monotonic() + 20
    while screen.grab(*middle, 16, 16).mean() <= 30:
        if time.monotonic() > end or not player.alive():
            raise RuntimeError("the clip did not show at FW_SCALE=%d (see %s)" % (scale, player.log.name))
        time.sleep(POLL_PAUSE)
    first = time.monotonic()
    time.sleep(1.0)
    player_start, server_start = cpu_seconds(player.pid), cpu_seconds(screen.server.pid)
    time.sleep(max(0.0, first + 9.0 - time.monotonic()))
    return ((cpu_seconds(player.pid) - player_start) * 10 / 8,
            (cpu_seconds(screen.server.pid) - server_start) * 10 / 8)


def measure_movie_scale(bench):
    """Steady playback of the 10 s clip at FW_SCALE=2 (a 1600 x 1200 window: the picture's pixels
    in 2 x 2 blocks, the video filtered from its 640 x 480 frames to 1280 x 960) against FW_SCALE=1,
    in turn in the same run, on a virtual screen of their own that fits both."""
    clip = moving_clip(bench.work)
    folder = gallery(bench.work, "ten-seconds", [(clip, 1)])
    load = load_average()
    player_cpu, server_cpu = {1: [], 2: []}, {1: [], 2: []}
    screen = VirtualScreen((1920, 1280))
    try:
        for _ in range(bench.runs):
            for scale in (1, 2):
                screen.move(1910, 1270)
                player = Player(bench.build, folder, {"FW_SCALE": str(scale)})
                try:
                    ours, server = steady_playback(screen, player, bench.video, scale)
                finally:
                    player.close()
                player_cpu[scale].append(ours)
                server_cpu[scale].append(server)
    finally:
        screen.close()
    how = "CPU from 1 s to 9 s after the first frame, x 10/8"
    for scale in (1, 2):
        bench.record("movies", "player, steady playback at FW_SCALE=%d, per 10 s" % scale, player_cpu[scale], "s",
                     "", None, how, load)
    ratio = statistics.median(player_cpu[2]) / statistics.median(player_cpu[1])
    bench.record("movies", "  ratio FW_SCALE=2 / FW_SCALE=1", [ratio], "x", "<= 1.3", ratio <= 1.3,
                 "ratio of the medians", load)
    for scale in (1, 2):
        bench.record("movies", "  X server meanwhile, FW_SCALE=%d" % scale, server_cpu[scale], "s", "", None,
                     "Xvfb's utime+stime, x 10/8", load)


def measure_movie_startup(bench):
    """Process start to the first video frame on screen: a clip whose frames are all red,
    in the player and in each peer, in turn."""
    folder = gallery(bench.work, "red-forever", [(solid_clip(bench.work, "red"), 0)])
    bench.ensure_origin(folder)
    load = load_average()
    names = peers_present()
    times, cpu = [], []
    theirs = {name: [] for name in names}
    their_cpu = {name: [] for name in names}
    clip = solid_clip(bench.work, "red")
    for _ in range(max(5, bench.runs)):
        (folder / "GameData.sys").unlink(missing_ok=True)
        bench.screen.move(*OUTSIDE)
        player = Player(bench.build, folder)
        try:
            times.append(1000 * (bench.wait_until(lambda: bench.video_shows("red"), 20, "red", player)
                                 - player.started))
            cpu.append(1000 * cpu_seconds(player.pid))
        finally:
            player.close()
        for name in names:
            shown, used = peer_first_frame(bench, name, clip)
            theirs[name].append(shown)
            their_cpu[name].append(used)
    bench.record("movies", "start-up to first video frame", times, "ms", "", None,
                 "Popen to red in the video's middle (polled ~1 ms)", load)
    record_peers(bench, "first frame", times, theirs, "ms", "Popen to red in its window (polled ~1 ms)", load,
                 {"gst-launch playbin": 1.3})
    bench.record("movies", "  CPU used by then, player", cpu, "ms", "", None,
                 "utime+stime at that moment (10 ms ticks)", load)
    record_peers(bench, "CPU by the first frame", cpu, their_cpu, "ms", "utime+stime", load, {})


def settled_rss(player):
    """VmRSS the same way at every point: 1 s after the clip showed, the median of five
    readings 0.1 s apart (a single one varies by a frame or two in flight)."""
    time.sleep(1.0)
    readings = []
    for _ in range(5):
        readings.append(status_mb(player.pid, "VmRSS"))
        time.sleep(0.1)
    return statistics.median(readings)


def measure_loads(bench, loads=200):
    """loadMovie through Next and Previous: six items of 1 s solid clips (red, green,
    blue, twice) that repeat forever, so only the buttons change them. Each click
    waits for the next clip's colour in the middle of the video. Resident memory
    after the first load (start-up), after 50, 100 and all 200 of them, each settled.

    A click comes a random 30 to 120 ms after the clip before it showed, as a user's
    would, at any moment of the player's 64 Hz frame clock. Clicked the moment a clip
    shows, every click would land in the same place: in the longer frame gap the
    load's own long frame leaves behind, adding about ten milliseconds each time."""
    names = ["red", "green", "blue"] * 2
    pauses = random.Random(LOADS_SEED)
    folder = gallery(bench.work, "loads", [(solid_clip(bench.work, name), 0) for name in names])
    bench.ensure_origin(folder)
    load = load_average()
    player = Player(bench.build, folder)
    times, failures = [], 0
    try:
        bench.find_origin(player)
        bench.wait_until(lambda: bench.video_shows("red"), 20, "the first clip", player)
        first_rss = settled_rss(player)
        item, step = 0, 1
        middle_rss = warm_rss = None
        for count in range(loads):
            if not 0 <= item + step < len(names):
                step = -step
            item += step
            time.sleep(pauses.uniform(0.030, 0.120))
            clicked = bench.screen.click(*bench.client(NEXT_BUTTON if step > 0 else PREVIOUS_BUTTON))
            try:
                shown = bench.wait_until(lambda: bench.video_shows(names[item]), 10, names[item], player)
                times.append(1000 * (shown - clicked))
            except RuntimeError:
                failures += 1
                if not player.alive():
                    raise
            if count + 1 == 50:
                warm_rss = settled_rss(player)
            if count + 1 == loads // 2:
                middle_rss = settled_rss(player)
        last_rss = settled_rss(player)
    finally:
        player.close()
    bench.record("movies", "loadMovie: click to the new clip on screen", times, "ms", "<= 50",
                 statistics.median(times) <= 50, "XTest release to the colour (polled ~1 ms)%s"
                 % (", %d clicks missed" % failures if failures else ""), load)
    print("    loadMovie over %d loads: min %.1f, 90th percentile %.1f, max %.1f ms" % (
        len(times), min(times), float(np.percentile(times, 90)), max(times)), flush=True)
    growth = 100 * (last_rss - first_rss) / first_rss
    bench.record("movies", "resident memory after the first load", [first_rss], "MB", "", None, "VmRSS", load)
    for count, rss in ((50, warm_rss), (loads // 2, middle_rss), (loads, last_rss)):
        bench.record("movies", "resident memory after %d more loads" % count, [rss], "MB", "", None, "VmRSS", load)
    bench.record("movies", "growth over %d loads" % loads, [growth], "%", "<= 10", growth <= 10,
                 "(after - first) / first", load)
    late_growth = 100 * (last_rss - warm_rss) / warm_rss
    bench.record("movies", "  growth from load 50 to load %d" % loads, [late_growth], "%", "<= 1", late_growth <= 1,
                 "(after - after 50) / after 50", load)


# --- Main --------------------------------------------------------------------------------------------

GROUPS = {
    "graphics": ["idle", "frame", "layer", "startup"],
    "movies": ["movie-cpu", "movie-scale", "movie-startup", "loads"],
}
MEASURES = {
    "idle": measure_idle, "frame": measure_frame, "layer": measure_layer, "startup": measure_startup,
    "movie-cpu": measure_movie_cpu, "movie-scale": measure_movie_scale, "movie-startup": measure_movie_startup,
    "loads": measure_loads,
}


def wait_for_quiet(threshold, longest):
    """Waits (up to longest seconds) for the 1-minute load average to fall below threshold."""
    end = time.monotonic() + longest
    while load_average() >= threshold and time.monotonic() < end:
        time.sleep(5)


def print_table(rows):
    print()
    print("%-9s %-46s %12s %-12s %-8s %-6s %s" % ("group", "measure", "median", "unit", "target", "", "load"))
    for group, measure, values, unit, target, passed, how, load in rows:
        median = format_value(statistics.median(values)) if values else "-"
        verdict = "" if passed is None else ("ok" if passed else "MISSED")
        print("%-9s %-46s %12s %-12s %-8s %-6s %.2f" % (group, measure, median, unit, target, verdict, load))
    print()
    print("How each figure was taken:")
    for _, measure, values, _, _, _, how, _ in rows:
        shown = ", ".join(format_value(v) for v in values[:10]) + (", ... (%d)" % len(values) if len(values) > 10
                                                                    else "")
        print("  %-46s %s; runs: %s" % (measure.strip(), how, shown))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("what", nargs="*", help="graphics, movies, or one of: " + ", ".join(MEASURES))
    parser.add_argument("--build", default=os.environ.get("BUILD_DIR", "build"))
    parser.add_argument("--runs", type=int, default=3, help="repetitions of each measure (start-ups: at least 5)")
    parser.add_argument("--quiet-load", type=float, default=2.0, help="wait for the load average to fall below this")
    parser.add_argument("--wait-load", type=float, default=0.0, help="... for at most this many seconds per measure")
    args = parser.parse_args()

    names = []
    for what in args.what or ["graphics", "movies"]:
        if what in GROUPS:
            names += GROUPS[what]
        elif what in MEASURES:
            names.append(what)
        else:
            parser.error("unknown group or measure %r" % what)
    build = Path(args.build)
    if not build.is_absolute():
        build = ROOT / build
    if not (build / "fernwood2").exists():
        parser.error("%s is not built (BUILD_DIR=%s scripts/build makes it)" % (build / "fernwood2", args.build))
    work = build / "bench"
    work.mkdir(parents=True, exist_ok=True)

    # GStreamer's plugin registry is built once here, so no start-up pays for it.
    subprocess.run(["gst-inspect-1.0"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    print("Preparing the demo pictures and test clips in %s ..." % work, flush=True)
    demo_gallery(work)
    for name in COLOURS:
        solid_clip(work, name)
    moving_clip(work)

    screen = VirtualScreen()
    bench = Bench(screen, build, work, args.runs)
    status = 0
    try:
        for name in names:
            if args.wait_load > 0:
                wait_for_quiet(args.quiet_load, args.wait_load)
            print("== %s (load average %.2f)" % (name, load_average()), flush=True)
            try:
                MEASURES[name](bench)
            except RuntimeError as error:
                print("  could not measure %s: %s" % (name, error), flush=True)
                status = 2
    finally:
        screen.close()
    print_table(bench.rows)
    print("Load average (1, 5, 15 min) at the end: %.2f %.2f %.2f; %d cores" % (*os.getloadavg(), os.cpu_count()))
    return status


if __name__ == "__main__":
    sys.exit(main())
