"""The benchmark's long measures: loadMovie over hundreds of loads, with the memory it
leaves behind, and one clip repeating for minutes or hours (--long-minutes), with its
memory, its descriptors and the length of each repeat."""
import random
import statistics
import time

import numpy as np

from clips import LOOP_MARK_FRAMES, gallery, marked_loop_clip, solid_clip
from harness import NEXT_BUTTON, PREVIOUS_BUTTON, Player, cpu_seconds, load_average, open_descriptors, status_mb

LOADS_SEED = 20261207   # the pauses before the loads' clicks, the same every run


def settled_rss(player):
    """VmRSS the same way at every point: 1 s after the clip showed, the median of five
    readings 0.1 s apart (a single one varies by a frame or two in flight)."""
    time.sleep(1.0)
    readings = []
    for _ in range(5):
        readings.append(status_mb(player.pid, "VmRSS"))
        time.sleep(0.1)
    return statistics.median(readings)


def measure_loads(bench):
    """loadMovie through Next and Previous: six items of 1 s solid clips (red, green,
    blue, twice) that repeat forever, so only the buttons change them. Each click
    waits for the next clip's colour in the middle of the video. Resident memory
    after the first load (start-up), after 50, 200 and all bench.options.loads of
    them (600 unless asked otherwise), each settled.

    A click comes a random 30 to 120 ms after the clip before it showed, as a user's
    would, at any moment of the player's 64 Hz frame clock. Clicked the moment a clip
    shows, every click would land in the same place: in the longer frame gap the
    load's own long frame leaves behind, adding about ten milliseconds each time."""
    loads = bench.options.loads
    checkpoints = sorted({min(50, loads), min(200, loads), loads})
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
        rss = {}
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
            if count + 1 in checkpoints:
                rss[count + 1] = settled_rss(player)
    finally:
        player.close()
    bench.record("movies", "loadMovie: click to the new clip on screen", times, "ms", "<= 35",
                 statistics.median(times) <= 35, "XTest release to the colour (polled ~1 ms)%s"
                 % (", %d clicks missed" % failures if failures else ""), load)
    print("    loadMovie over %d loads: min %.1f, 90th percentile %.1f, max %.1f ms" % (
        len(times), min(times), float(np.percentile(times, 90)), max(times)), flush=True)
    bench.record("movies", "resident memory after the first load", [first_rss], "MB", "", None, "VmRSS", load)
    for count in checkpoints:
        bench.record("movies", "resident memory after %d more loads" % count, [rss[count]], "MB", "", None, "VmRSS",
                     load)
    growth = 100 * (rss[loads] - first_rss) / first_rss
    bench.record("movies", "growth over %d loads" % loads, [growth], "%", "<= 10", growth <= 10,
                 "(after - first) / first", load)
    warm = checkpoints[0]
    late_growth = 100 * (rss[loads] - rss[warm]) / rss[warm]
    bench.record("movies", "  growth from load %d to load %d" % (warm, loads), [late_growth], "%", "<= 1",
                 late_growth <= 1, "(after - after %d) / after %d" % (warm, warm), load)


LOOP_SECONDS = 5          # marked_loop_clip's length
SAMPLE_EVERY = 10.0       # seconds between readings of memory and descriptors
SETTLING_SECONDS = 60.0   # the first minute, after which both must stay flat
FRAME_MS = 1000 / 30      # one frame of the clip


class LongRun:
    """The readings of one long run: the moments the clip started again on screen, and
    (seconds since the first frame, VmRSS MB, open descriptors, CPU seconds) every
    SAMPLE_EVERY seconds."""

    def __init__(self, bench, player):
        self.bench, self.player = bench, player
        self.starts, self.samples, self.missed = [], [], 0
        self.next_sample = 0.0

    def sample_when_due(self):
        now = time.monotonic()
        if now >= self.next_sample:
            pid = self.player.pid
            self.samples.append((now - self.starts[0], status_mb(pid, "VmRSS"), open_descriptors(pid),
                                 cpu_seconds(pid)))
            self.next_sample = now + SAMPLE_EVERY

    def wait_for_start(self, expected):
        """Reads what is due until shortly before the clip's next start is expected, then
        polls the video until its red start shows; its moment, or None after 5 s more."""
        while time.monotonic() < expected - 0.3:
            self.sample_when_due()
            time.sleep(min(0.05, max(0.0, expected - 0.3 - time.monotonic())))
        try:
            return self.bench.wait_until(lambda: self.bench.video_shows("red"), expected + 5 - time.monotonic(),
                                         "the clip's next start", self.player)
        except RuntimeError:
            if not self.player.alive():
                raise
            return None

    def run(self, seconds):
        self.starts.append(self.bench.wait_until(lambda: self.bench.video_shows("red"), 20, "the clip",
                                                 self.player))
        self.next_sample = self.starts[0]
        while time.monotonic() < self.starts[0] + seconds:
            start = self.wait_for_start(self.starts[-1] + LOOP_SECONDS)
            if start is None:  # start again from the next red start
                self.missed += 1
                self.starts.clear()
                self.starts.append(self.bench.wait_until(lambda: self.bench.video_shows("red"), 20, "the clip",
                                                         self.player))
                continue
            self.starts.append(start)
            # Past the red start, so the next poll waits for the one after.
            time.sleep(LOOP_MARK_FRAMES * FRAME_MS / 1000 + 0.1)
        self.sample_when_due()


def flatness(samples, column):
    """The lowest and highest reading after the first minute, in % of the reading at its end."""
    settled = [sample[column] for sample in samples if sample[0] >= SETTLING_SECONDS]
    if len(settled) < 2:
        return None
    base = settled[0]
    return 100 * (min(settled) - base) / base, 100 * (max(settled) - base) / base


def measure_long_run(bench):
    """One 5 s clip repeating without end (repeat count 0) for bench.options.long_minutes:
    resident memory and open descriptors every 10 s, which must stay within 1 % of their
    value at the first minute, and each repeat's length on screen (from one red start to
    the next) beyond the clip's own, which must stay within one frame."""
    folder = gallery(bench.work, "long-run", [(marked_loop_clip(bench.work, LOOP_SECONDS), 0)])
    bench.ensure_origin(folder)
    load = load_average()
    player = Player(bench.build, folder)
    try:
        bench.find_origin(player)
        readings = LongRun(bench, player)
        readings.run(60 * bench.options.long_minutes)
    finally:
        player.close()
    excess = [1000 * (b - a - LOOP_SECONDS) for a, b in zip(readings.starts, readings.starts[1:])]
    if len(excess) < 4 or len(readings.samples) < 2:
        raise RuntimeError("the long run was too short to measure (%d repeats)" % len(excess))
    minutes = bench.options.long_minutes
    how = "red start to red start on screen, minus the clip's 5 s%s" % (
        ", %d starts missed" % readings.missed if readings.missed else "")
    bench.record("movies", "long run: repeat length beyond the clip's", excess, "ms", "<= %.1f" % FRAME_MS,
                 statistics.median(excess) <= FRAME_MS, how, load)
    tenth = max(1, len(excess) // 10)
    drift = statistics.mean(excess[-tenth:]) - statistics.mean(excess[:tenth])
    print("    %d repeats in %g min: min %.1f, 90th percentile %.1f, max %.1f ms; last tenth - first tenth %.1f ms"
          % (len(excess), minutes, min(excess), float(np.percentile(excess, 90)), max(excess), drift), flush=True)
    bench.record("movies", "  drift: last tenth's repeats - first tenth's", [drift], "ms", "<= %.1f" % FRAME_MS,
                 abs(drift) <= FRAME_MS, "mean repeat length, last tenth of the run - first tenth", load)
    for column, name in ((1, "resident memory"), (2, "open descriptors")):
        spread = flatness(readings.samples, column)
        if spread is None:
            continue
        low, high = spread
        first, last = readings.samples[0][column], readings.samples[-1][column]
        bench.record("movies", "  %s, start / end" % name, [first, last], "MB" if column == 1 else "", "", None,
                     "VmRSS" if column == 1 else "/proc/<pid>/fd", load)
        bench.record("movies", "  %s after the first minute, lowest / highest" % name, [low, high], "%",
                     "+-1", max(-low, high) <= 1, "readings every 10 s against the one at 1 min", load)
    seconds, cpu = readings.samples[-1][0] - readings.samples[0][0], readings.samples[-1][3] - readings.samples[0][3]
    bench.record("movies", "  CPU over the run", [100 * cpu / seconds], "% of a core", "", None,
                 "utime+stime over %g min" % minutes, load)
