"""The benchmark's graphics measures: idle CPU, the CPU of a changed frame (in the
player and in the layer's own d3d_bench), and start-up to the first frame."""
import shutil
import statistics
import subprocess
import time

import numpy as np

from clips import gallery, solid_clip
from harness import (BELOW_GALLERY_BUTTON, BESIDE_FIRST_CELL, FIRST_CELL, GALLERY_BUTTON, OUTSIDE, Player,
                     cpu_seconds, load_average)


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
