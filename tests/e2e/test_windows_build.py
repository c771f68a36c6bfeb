"""The Windows build under Wine (prefix build/wine-prefix, made once). Where Wine is not
faithful to Windows the case is a strict expected failure naming Wine's fault (docs/wine.md)."""
import os
import re
import shutil
import subprocess
import sys
import time

import pytest

from conftest import (BUILD, NEUTRAL, ROOT, RED, cached, cell_centre, close_player, flags_of,
                      gallery_check, main_check, make_gallery, poll, read_save, video_colour, video_is, wait_for_shot)

sys.path.insert(0, str(ROOT / "tools" / "demo"))
import make_demo  # noqa: E402

EXE, PROBE = BUILD / "windows" / "fernwood2.exe", BUILD / "windows" / "graph_probe.exe"
PREFIX = BUILD / "wine-prefix"
pytestmark = pytest.mark.skipif(not (EXE.exists() and PROBE.exists() and shutil.which("wine")),
                                reason="needs wine and the Windows build (scripts/build-windows)")

CHILD_VIDEO_UNSEEN = "Wine 8's X11 driver never shows a Direct3D child window's picture: the video stays black"
COMPLETION_NEVER_RESET = "Wine 8's filter graph never resets EC_COMPLETE: after the first clip's end every poll has it"
MPEG1_ENDS_EARLY = "Wine 8's MPEG-1 stream ends after under a second of the clip"
SECONDS = 3


@pytest.fixture
def wine():  # killing wine's launcher leaves the Windows processes: the test ends them all
    os.environ.update(WINEPREFIX=str(PREFIX), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    if not (PREFIX / "system.reg").exists():
        subprocess.run(["wineboot", "--init"], capture_output=True, timeout=600, check=True)
    yield
    subprocess.run(["wineserver", "--kill"], timeout=60)
    subprocess.run(["wineserver", "--wait"], timeout=60)


def clip(extension, seconds=SECONDS):  # red, with sound, in one of the demo's formats
    name, picture = f"red-{seconds}s{extension}", "pattern=solid-color foreground-color=0xffff0000"
    return cached(name, lambda partial: make_demo.gst_launch(
        make_demo.clip_pipeline((name, "", picture, "sine", 440, seconds), partial, False), name))


def start_exe(launch, folder):
    app = launch(shutil.which("wine"), folder, EXE)
    app.find_window(timeout=60)
    # The X window is the client area and its 2-pixel edge; Wine may map it before sizing it.
    left, top, _, _ = poll(lambda: (rect := app.client_rect())[2:] == (804, 604) and rect, 10,
                           lambda: "the window is %s, not 804 x 604" % (app.client_rect(),))
    app.rect = (left + 2, top + 2, 800, 600)
    app.move(*NEUTRAL)
    return app


@pytest.fixture
def gallery(tmp_path):  # items 0 and 1: a 3-second red MP4 each, played repeat times
    def make(repeat=0, **save):
        table = 'SingleItem "movies/a.mp4" %d\nSingleItem "movies/b.mp4" %d\nEnd\n' % (repeat, repeat)
        return make_gallery(tmp_path / "g", {"a.mp4": clip(".mp4"), "b.mp4": clip(".mp4")}, table, "2\n0 0\n1 0\n",
                            **save)
    return make


def test_main_screen_and_gallery_pixels_equal_the_linux_builds_and_the_save_is_kept(wine, launch, gallery):
    folder = gallery()
    app = start_exe(launch, folder)
    wait_for_shot(app, main_check(playing=True, item_count=2), timeout=30, what="the main screen, item 0 playing")
    assert close_player(app) == 1
    assert read_save(folder) == (0, flags_of(0))
    (folder / "GameData.sys").write_bytes((-2500).to_bytes(4, "little", signed=True) + flags_of(1))
    app = start_exe(launch, folder)
    state = dict(volume_x=202, item_count=2)
    wait_for_shot(app, main_check(playing=True, **state), timeout=30, what="item 0 playing, volume -2500")
    app.click(740, 557)  # the gallery button
    wait_for_shot(app, gallery_check(0, flags_of(0, 1), (740, 557)), what="page 1, slots 0 and 1 unlocked")
    app.click(750, 40)  # the page button
    wait_for_shot(app, gallery_check(1, flags_of(0, 1), (750, 40)), what="page 2")
    app.click(750, 40)
    app.click(*cell_centre(1))  # slot 1: item 1 from its start
    app.move(*NEUTRAL)
    wait_for_shot(app, main_check(playing=True, item=1, **state), what="item 1 playing")
    assert close_player(app) == 1
    assert read_save(folder) == (-2500, flags_of(0, 1))


@pytest.mark.xfail(reason=CHILD_VIDEO_UNSEEN, raises=AssertionError, strict=True)
def test_clip_colour_in_the_video_rectangle(wine, launch, gallery):
    app = start_exe(launch, gallery())
    wait_for_shot(app, lambda shot: video_is(shot, RED) or "the video shows %s" % (video_colour(shot),),
                  timeout=SECONDS + 10, what="the red clip")


def item_shown(app, item, timeout):
    wait_for_shot(app, main_check(playing=True, item=item, item_count=2), timeout=timeout,
                  what="item %d playing" % item)
    return time.monotonic()


@pytest.mark.xfail(reason=COMPLETION_NEVER_RESET, raises=AssertionError, strict=True)
def test_sequence_advances_at_each_clips_real_end(wine, launch, gallery):
    app = start_exe(launch, gallery(repeat=1))
    first = item_shown(app, 0, 30)
    second = item_shown(app, 1, SECONDS + 10)
    assert second - first > SECONDS - 1, "item 0 ended after %.1f s" % (second - first)
    stopped = main_check(item_count=2)  # wrapped to item 0, stopped
    wait_for_shot(app, stopped, timeout=SECONDS + 10, what="item 0 cued and stopped")
    assert time.monotonic() - second > SECONDS - 1, "item 1 ended after %.1f s" % (time.monotonic() - second)


# Each format as a probe run's first clip (Wine's stale completion plays no part).
FORMATS = [".mp4", ".avi", ".wmv", ".ogv",
           pytest.param(".mpg", marks=pytest.mark.xfail(reason=MPEG1_ENDS_EARLY, raises=AssertionError, strict=True))]


@pytest.mark.parametrize("extension", FORMATS)
def test_probe_sees_each_format_end_at_its_length(wine, tmp_path, extension):
    shutil.copy(clip(extension), tmp_path / ("clip" + extension))
    out = subprocess.run(["wine", PROBE, "clip" + extension], cwd=tmp_path, capture_output=True, text=True,
                         timeout=120).stdout
    fields = re.search(r"loaded 1 duration (\d+) ms; poll 0 code 1 after (\d+)", out)
    assert fields and int(fields[2]) >= int(fields[1]) - 300, out
