"""The benchmark's movie measures: playback CPU of the 640 x 480 clip and of the large
clips, each beside GStreamer's own player in the same sitting; playback at an enlarged
window; start-up to the first video frame."""
import os
import shutil
import statistics
import subprocess
import time

import numpy as np

from clips import LARGE_CLIPS, gallery, large_clip, moving_clip, solid_clip
from harness import (OUTSIDE, POLL_PAUSE, WINDOW_NAME, Player, cpu_seconds, load_average, mapped_rss_mb,
                     status_mb)
from xdisplay import VirtualScreen, window_origin

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


# For a clip larger than the video area: GStreamer's player shows it at the area's size, in
# turn with ours, scaling before the conversion to the window's pixels as its own video filter.
SCALED_PEER = "gst-launch playbin scaled to 640 x 480"


def scaled_peer(clip):
    return ["gst-launch-1.0", "-q", "playbin", "uri=file://%s" % clip,
            "video-filter=videoscale ! capsfilter caps=video/x-raw,width=640,height=480", "video-sink=ximagesink",
            "audio-sink=fakesink sync=true"]


# The decoding alone: the clip's pictures decoded as the players decode them, at the clip's
# own pace, and dropped.
def decode_only(clip):
    return ["gst-launch-1.0", "-q", "filesrc", "location=%s" % clip, "!", "qtdemux", "!", "h264parse", "!",
            "avdec_h264", "!", "fakesink", "sync=true"]


def run_to_end(name, command):
    """A command from start to exit (a player at the clip's end): its CPU seconds and peak
    resident megabytes."""
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise RuntimeError("%s failed with status %d" % (name, process.returncode))
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1000


def run_peer(name, clip):
    return run_to_end(name, PEERS[name](clip))


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


def play_to_end(bench, folder):
    """The player on a gallery of one 10 s clip played once, from start until 10 s after its
    first frame showed: CPU in all, CPU of steady playback (1 s to 9 s, per 10 s), the X
    server's CPU meanwhile, and after the clip's end the peak resident memory and Mesa's."""
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
        figures = {"cpu": cpu_seconds(player.pid), "server": cpu_seconds(bench.screen.server.pid) - server_start,
                   "steady": (nine - one) * 10 / 8}
        time.sleep(1.5)  # the end, the wrap to the first frame
        figures["hwm"] = status_mb(player.pid, "VmHWM")
        figures["mesa"] = mapped_rss_mb(player.pid, ("libLLVM", "swrast_dri"))
        return figures
    finally:
        player.close()


def measure_movie_cpu(bench):
    """CPU for start-up plus 10 s of playback of the 10 s clip: the player (main screen,
    CPU read 10 s after the first video frame showed) and each peer (start to exit), in
    turn in the same run. Also the peak resident memory of each."""
    clip = moving_clip(bench.work)
    folder = gallery(bench.work, "ten-seconds", [(clip, 1)])
    bench.ensure_origin(folder)
    load = load_average()
    names = peers_present()
    ours = {"cpu": [], "steady": [], "server": [], "hwm": [], "mesa": []}
    theirs = {name: [] for name in names}
    their_hwm = {name: [] for name in names}
    their_server = {name: [] for name in names}
    for _ in range(bench.runs):
        for key, value in play_to_end(bench, folder).items():
            ours[key].append(value)
        for name in names:
            server_start = cpu_seconds(bench.screen.server.pid)
            cpu, peak = run_peer(name, clip)
            theirs[name].append(cpu)
            their_hwm[name].append(peak)
            their_server[name].append(cpu_seconds(bench.screen.server.pid) - server_start)
    how = "utime+stime, process start to 10 s of playback"
    bench.record("movies", "CPU, player: start + 10 s of the clip", ours["cpu"], "s", "", None, how, load)
    record_peers(bench, "start + 10 s", ours["cpu"], theirs, "s", "utime+stime, start to exit at the clip's end",
                 load, {"gst-launch playbin": 1.0})
    bench.record("movies", "  player, 8 s of steady playback, per 10 s", ours["steady"], "s", "", None,
                 "CPU from 1 s to 9 s after the first frame, x 10/8", load)
    bench.record("movies", "  X server meanwhile, player", ours["server"], "s", "", None, "Xvfb's utime+stime",
                 load)
    for name, values in their_server.items():
        bench.record("movies", "  X server meanwhile, %s" % name, values, "s", "", None, "Xvfb's utime+stime", load)
    hwm = ours["hwm"]
    bench.record("movies", "peak resident memory (VmHWM), player", hwm, "MB", "<= 120", statistics.median(hwm) <= 120,
                 "VmHWM after the clip ended", load)
    bench.record("movies", "  of which Mesa's software renderer's code", ours["mesa"], "MB", "", None,
                 "resident pages of libLLVM and swrast_dri", load)
    record_peers(bench, "peak resident memory", hwm, their_hwm, "MB", "ru_maxrss", load, {})


def measure_movie_large(bench):
    """CPU for start-up plus 10 s of each large clip (bench.options.large: 1280 x 720 and
    1920 x 1080, 30 and 60 frames a second) in the player's 640 x 480 video area, in turn
    with GStreamer's player scaling it to 640 x 480 and with the decoding alone, whose
    share of the player's CPU is the decoder's."""
    for name in bench.options.large:
        clip = large_clip(bench.work, name)
        folder = gallery(bench.work, "large-%s" % name, [(clip, 1)])
        bench.ensure_origin(folder)
        load = load_average()
        ours, steady, theirs, decoding = [], [], [], []
        for _ in range(bench.runs):
            figures = play_to_end(bench, folder)
            ours.append(figures["cpu"])
            steady.append(figures["steady"])
            theirs.append(run_to_end(SCALED_PEER, scaled_peer(clip))[0])
            decoding.append(run_to_end("decoding alone", decode_only(clip))[0])
        width, height, fps, _ = LARGE_CLIPS[name]
        what = "%d x %d, %d fps" % (width, height, fps)
        bench.record("movies", "CPU, player: start + 10 s, %s" % what, ours, "s", "", None,
                     "utime+stime, process start to 10 s of playback", load)
        record_peers(bench, "start + 10 s", ours, {SCALED_PEER: theirs}, "s",
                     "utime+stime, start to exit at the clip's end", load, {SCALED_PEER: 1.0})
        bench.record("movies", "  player, 8 s of steady playback, per 10 s", steady, "s", "", None,
                     "CPU from 1 s to 9 s after the first frame, x 10/8", load)
        bench.record("movies", "  decoding alone, start to end", decoding, "s", "", None,
                     "gst-launch filesrc ! qtdemux ! h264parse ! avdec_h264 ! fakesink sync=true", load)
        share = 100 * statistics.median(decoding) / statistics.median(ours)
        bench.record("movies", "  decoding's share of the player's CPU", [share], "%", "", None,
                     "decoding alone / player, medians", load)


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
                 {"gst-launch playbin": 1.0})
    bench.record("movies", "  CPU used by then, player", cpu, "ms", "", None,
                 "utime+stime at that moment (10 ms ticks)", load)
    record_peers(bench, "CPU by the first frame", cpu, their_cpu, "ms", "utime+stime", load, {})
