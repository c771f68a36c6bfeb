"""The movie's picture in the player's window: the video rectangle shows the clip as
it plays, the frame at the seek knob while the knob is dragged, and nothing of the
clip while the thumbnail screen hides it.

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

STOP_BUTTON = (542, 557)
GALLERY_BUTTON = (742, 557)  # the back button of the thumbnail screen lies on it too
SEEK_BAR_Y = 544


def seek_x(fraction):
    return 44 + int(round(335 * fraction))


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
    """Waits until the video rectangle shows wanted (a colour, or a predicate)."""
    test = wanted if callable(wanted) else (lambda colour: near(colour, wanted))
    deadline = time.monotonic() + timeout
    while True:
        shot = app.screenshot()
        colour = video_colour(shot)
        if test(colour):
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
def test_video_rectangle_shows_the_clip_and_nothing_around_it(player):
    shot = wait_for_video(player, GREEN)
    left, top, width, height = VIDEO
    inner = shot[top + 4:top + height - 4, left + 4:left + width - 4].astype(np.int64)
    assert np.all(np.abs(inner - GREEN) <= TOLERANCE), "the whole rectangle is the clip's picture"
    for x, y in ((left - 3, top + 100), (left + width + 2, top + 100), (left + 100, top + height + 2)):
        assert not near(tuple(int(v) for v in shot[y, x]), GREEN), f"the picture spills to {x}, {y}"
    # It plays on into its second half, and after its end (endless repeats) starts again.
    wait_for_video(player, BLUE)
    wait_for_video(player, GREEN)


@skip_without_player
def test_seek_drag_shows_the_frame_at_the_knob_and_stays_stopped(player):
    wait_for_video(player, GREEN)
    player.click(*STOP_BUTTON)
    # Press at a quarter (green), move to four fifths: the frame there is blue.
    player.move(seek_x(0.25), SEEK_BAR_Y)
    player.down()
    player.move(seek_x(0.8), SEEK_BAR_Y, settle=0.1)
    wait_for_video(player, BLUE)
    player.move(seek_x(0.3), SEEK_BAR_Y, settle=0.1)
    wait_for_video(player, GREEN)
    player.move(seek_x(0.55), SEEK_BAR_Y, settle=0.1)
    wait_for_video(player, BLUE)
    player.up()
    # The sequence is off: the graph stays on that frame.
    time.sleep(HALF_SECONDS + 0.5)
    assert near(video_colour(player.screenshot()), BLUE)


@skip_without_player
def test_thumbnail_screen_hides_the_video_and_back_shows_it(player):
    wait_for_video(player, GREEN)
    player.click(*GALLERY_BUTTON)
    wait_for_video(player, lambda colour: not near(colour, GREEN) and not near(colour, BLUE))
    time.sleep(0.5)
    assert not near(video_colour(player.screenshot()), GREEN)
    player.click(*GALLERY_BUTTON)  # the back button: the paused clip shows again
    wait_for_video(player, lambda colour: near(colour, GREEN) or near(colour, BLUE))
