#!/usr/bin/python3
"""The player's graphics and movie benchmark (run by scripts/bench).

  bench.py [--build DIR] [--runs N] [--quiet-load L] [--wait-load S] [--large NAME]...
           [--loads N] [--long-minutes M] [GROUP ...]

GROUP is graphics, movies, long, or a single measure: idle, frame, layer, startup,
movie-cpu, movie-large, movie-scale, movie-startup, loads, long-run. Without one,
graphics and movies run (the long run only when asked for). It prints each figure as
it is measured and a table at the end, and exits 0 (a missed target is a figure, not
a failure); 2 when something could not be measured.

Everything runs on a virtual screen of its own (Xvfb), in BUILD/bench, with the
demo gallery's pictures (tools/demo/make_demo.py) and clips it makes itself
(clips.py). How each figure is taken is written next to it in the table and in
docs/performance.md.

CPU figures are utime + stime from /proc/<pid>/stat: every thread of the process,
OpenGL's rasterizer threads and GStreamer's streaming threads included; the X
server's own work is listed apart. Times on screen come from polling a few
pixels with XGetImage every millisecond or so.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clips import LARGE_CLIPS, demo_gallery, moving_clip, solid_clip  # noqa: E402
from graphics import measure_frame, measure_idle, measure_layer, measure_startup  # noqa: E402
from harness import COLOURS, ROOT, Bench, format_value, load_average  # noqa: E402
from long_runs import measure_loads, measure_long_run  # noqa: E402
from movies import measure_movie_cpu, measure_movie_large, measure_movie_scale, measure_movie_startup  # noqa: E402
from xdisplay import VirtualScreen  # noqa: E402

GROUPS = {
    "graphics": ["idle", "frame", "layer", "startup"],
    "movies": ["movie-cpu", "movie-large", "movie-scale", "movie-startup", "loads"],
    "long": ["long-run"],
}
MEASURES = {
    "idle": measure_idle, "frame": measure_frame, "layer": measure_layer, "startup": measure_startup,
    "movie-cpu": measure_movie_cpu, "movie-large": measure_movie_large, "movie-scale": measure_movie_scale,
    "movie-startup": measure_movie_startup, "loads": measure_loads, "long-run": measure_long_run,
}
DEFAULT_GROUPS = ["graphics", "movies"]


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


def parse_options():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("what", nargs="*", help="graphics, movies, long, or one of: " + ", ".join(MEASURES))
    parser.add_argument("--build", default=os.environ.get("BUILD_DIR", "build"))
    parser.add_argument("--runs", type=int, default=3, help="repetitions of each measure (start-ups: at least 5)")
    parser.add_argument("--quiet-load", type=float, default=2.0, help="wait for the load average to fall below this")
    parser.add_argument("--wait-load", type=float, default=0.0, help="... for at most this many seconds per measure")
    parser.add_argument("--large", action="append", choices=list(LARGE_CLIPS),
                        help="a large clip movie-large plays; once for each (default: all)")
    parser.add_argument("--loads", type=int, default=600, help="clicks of the loads measure (at least 50)")
    parser.add_argument("--long-minutes", type=float, default=120.0, help="length of the long run")
    options = parser.parse_args()
    names = []
    for what in options.what or DEFAULT_GROUPS:
        if what in GROUPS:
            names += GROUPS[what]
        elif what in MEASURES:
            names.append(what)
        else:
            parser.error("unknown group or measure %r" % what)
    options.large = options.large or list(LARGE_CLIPS)
    if options.loads < 50:
        parser.error("--loads must be at least 50")
    build = Path(options.build)
    options.build = build if build.is_absolute() else ROOT / build
    if not (options.build / "fernwood2").exists():
        parser.error("%s is not built (BUILD_DIR=%s scripts/build makes it)" % (options.build / "fernwood2", build))
    return options, names


def prepare(work):
    # GStreamer's plugin registry is built once here, so no start-up pays for it.
    subprocess.run(["gst-inspect-1.0"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    print("Preparing the demo pictures and test clips in %s ..." % work, flush=True)
    demo_gallery(work)
    for name in COLOURS:
        solid_clip(work, name)
    moving_clip(work)


def main():
    options, names = parse_options()
    work = options.build / "bench"
    work.mkdir(parents=True, exist_ok=True)
    prepare(work)
    screen = VirtualScreen()
    bench = Bench(screen, options.build, work, options)
    status = 0
    try:
        for name in names:
            if options.wait_load > 0:
                wait_for_quiet(options.quiet_load, options.wait_load)
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
