"""The benchmark's test clips, made once with gst-launch-1.0, and its gallery folders.

Every clip is H.264 and AAC (a 440 Hz tone) in MP4. The small ones are 640 x 480 at 30
frames a second, as a gallery's clips usually are; the large ones are High profile
with B-frames, at 1280 x 720 and 1920 x 1080, 30 and 60 frames a second."""
import shutil
import subprocess

from harness import COLOURS, ROOT

SMALL_ENCODER = "x264enc speed-preset=fast bitrate=2000 key-int-max=60"

# name: (width, height, frames a second, kbit/s)
LARGE_CLIPS = {
    "720p30": (1280, 720, 30, 4000),
    "720p60": (1280, 720, 60, 6000),
    "1080p30": (1920, 1080, 30, 8000),
    "1080p60": (1920, 1080, 60, 12000),
}


LOOP_MARK_FRAMES = 15  # the red start of marked_loop_clip


def aac_encoder():
    for name in ("avenc_aac", "voaacenc"):
        if subprocess.run(["gst-inspect-1.0", "--exists", name]).returncode == 0:
            return name
    raise RuntimeError("no AAC encoder (avenc_aac or voaacenc) in GStreamer")


def make_clip(path, video, seconds, size=(640, 480), fps=30, encoder=SMALL_ENCODER):
    """The clip at path, made once: video is a gst-launch description of the pictures
    up to (not including) their caps, for seconds at size and fps, coded by encoder."""
    if path.exists():
        return path
    path.parent.mkdir(parents=True, exist_ok=True)
    partial = path.with_suffix(".part")
    width, height = size
    description = (
        f"{video} ! video/x-raw,width={width},height={height},framerate={fps}/1,pixel-aspect-ratio=1/1 "
        f"! videoconvert ! video/x-raw,format=I420 ! {encoder} ! h264parse ! queue ! mux. "
        f"audiotestsrc freq=440 volume=0.25 samplesperbuffer=1470 num-buffers={30 * seconds} "
        f"! audio/x-raw,rate=44100,channels=2 ! audioconvert ! {aac_encoder()} ! aacparse ! queue ! mux. "
        f"mp4mux name=mux ! filesink location={partial}")
    result = subprocess.run(["gst-launch-1.0", "-q", *description.split()], capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("making %s failed:\n%s" % (path.name, result.stderr[-800:]))
    partial.rename(path)
    return path


def sliding_bars(frames):
    """Colour bars sliding sideways with a running clock: every frame changes."""
    return f"videotestsrc pattern=smpte horizontal-speed=4 num-buffers={frames} ! timeoverlay font-desc=Sans,40"


def solid_clip(work, name, seconds=1):
    red, green, blue = COLOURS[name]
    argb = 0xFF000000 | red << 16 | green << 8 | blue
    return make_clip(work / "clips" / f"{name}-{seconds}s.mp4",
                     f"videotestsrc pattern=solid-color foreground-color={argb:#x} num-buffers={30 * seconds}",
                     seconds)


def moving_clip(work):
    """Ten seconds of sliding colour bars, 640 x 480 at 30 frames a second."""
    return make_clip(work / "clips" / "bars-10s.mp4", sliding_bars(300), 10)


def large_clip(work, name):
    """Ten seconds of sliding colour bars at one of LARGE_CLIPS' sizes and rates, High
    profile with up to three B-frames in a row."""
    width, height, fps, kbits = LARGE_CLIPS[name]
    encoder = (f"x264enc speed-preset=fast bitrate={kbits} key-int-max={2 * fps} bframes=3 b-adapt=true "
               "! video/x-h264,profile=high")
    return make_clip(work / "clips" / f"bars-{name}-10s.mp4", sliding_bars(10 * fps), 10, (width, height), fps,
                     encoder)


def marked_loop_clip(work, seconds=5):
    """seconds of sliding colour bars, 640 x 480 at 30 frames a second, whose first
    LOOP_MARK_FRAMES are all red: where the clip starts again shows on screen as the
    change to red."""
    frames = 30 * seconds
    red = f"videotestsrc pattern=solid-color foreground-color=0xffff0000 num-buffers={LOOP_MARK_FRAMES}"
    size = "video/x-raw,width=640,height=480,framerate=30/1"
    video = (f"compositor name=marked background=black {sliding_bars(frames)} ! {size} ! marked.sink_0 "
             f"{red} ! {size} ! marked.sink_1 marked.")
    return make_clip(work / "clips" / f"marked-loop-{seconds}s.mp4", video, seconds)


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
