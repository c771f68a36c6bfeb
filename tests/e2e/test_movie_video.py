"""The movie's picture in the player's window: the video rectangle shows the clip as
it plays, and a clip that repeats without end is rewound while it runs and is seen
playing again.

The clip is MPEG-1 in a program stream, one flat colour for its first half and
another for its second, so a screenshot tells which part of the clip is shown.
"""
import os
import subprocess
import time
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

from conftest import BUILD, make_gallery, skip_without_player

VIDEO = (80, 16, 640, 480)  # left, top, width, height in the client area
GREEN = (32, 192, 64)
BLUE = (48, 64, 208)
TOLERANCE = 40  # per channel: 4:2:0 coding and the conversion back to RGB
HALF_SECONDS = 2


def two_colour_clip():
    folder = Path(os.environ.get("FW_E2E_CACHE", BUILD / "e2e-cache"))
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / "green-then-blue.mpg"
    if path.exists():
        return path
    frames = 25 * HALF_SECONDS
    sources = ""
    for red, green, blue in (GREEN, BLUE):
        argb = 0xFF000000 | red << 16 | green << 8 | blue
        sources += (f" videotestsrc num-buffers={frames} pattern=solid-color foreground-color={argb}"
                    " ! video/x-raw,format=I420,width=320,height=240,framerate=25/1 ! cat.")
    partial = path.with_suffix(".part%d" % os.getpid())
    # concat starts each part's time stamps again and moves the segment instead;
    # the encoder wants one time line, which single-segment gives it.
    pipeline = ("concat name=cat ! identity single-segment=true ! videoconvert ! mpeg2enc format=0 bitrate=800 ! mpegvideoparse ! mux. "
                f"audiotestsrc num-buffers={2 * frames * 30 // 25} samplesperbuffer=1470 ! audioconvert "
                "! audio/x-raw,rate=44100,channels=2 ! avenc_mp2 ! mpegaudioparse ! mux. "
                f"avmux_mpeg name=mux ! filesink location={partial}" + sources)
    subprocess.run(["gst-launch-1.0", "-q", *pipeline.split()], check=True, timeout=120, capture_output=True)
    partial.rename(path)
    return path


def video_colour(shot):
    """Median colour of the middle of the video rectangle."""
    left, top, width, height = VIDEO
    middle = shot[top + height // 4:top + 3 * height // 4, left + width // 4:left + 3 * width // 4]
    return tuple(int(v) for v in np.median(middle.reshape(-1, 3), axis=0))


def near(colour, wanted):
    return all(abs(c - w) <= TOLERANCE for c, w in zip(colour, wanted))


def wait_for_video(app, wanted, timeout=20.0):
    """Waits until the video rectangle shows the colour wanted; returns the screenshot.
    (Generous: on a busy machine one screenshot can take seconds.)"""
    deadline = time.monotonic() + timeout
    while True:
        shot = app.screenshot()
        colour = video_colour(shot)
        if near(colour, wanted):
            return shot
        if time.monotonic() > deadline:
            saved = app.stdout_path.parent / "video.png"
            Image.fromarray(shot).save(saved)
            raise AssertionError(f"the video rectangle shows {colour}, not {wanted} (see {saved})")
        time.sleep(0.1)


@pytest.fixture
def player(launch, tmp_path):
    folder = make_gallery(tmp_path / "gallery", clips=1)
    (folder / "movies" / "clip0.mpg").write_bytes(two_colour_clip().read_bytes())
    app = launch.player(folder)
    app.find_window()
    return app


@skip_without_player
def test_endless_clip_plays_in_the_video_rectangle_and_again_after_its_end(player):
    shot = wait_for_video(player, GREEN)
    left, top, width, height = VIDEO
    inner = shot[top + 4:top + height - 4, left + 4:left + width - 4].astype(np.int64)
    assert np.all(np.abs(inner - GREEN) <= TOLERANCE), "the whole rectangle is the clip's picture"
    for x, y in ((left - 3, top + 100), (left + width + 2, top + 100), (left + 100, top + height + 2)):
        assert not near(tuple(int(v) for v in shot[y, x]), GREEN), f"the picture spills to {x}, {y}"
    # It plays on into its second half, and after its end (endless repeats) starts again.
    wait_for_video(player, BLUE)
    wait_for_video(player, GREEN)
