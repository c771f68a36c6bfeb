"""The client area enlarged: a window at a whole scale, and fullscreen. The picture's pixels stay
the 1x screen's in blocks, the video is filtered from its frames onto the enlarged video rectangle,
and the program sees the mouse in its own 800 x 600 units."""
import ctypes
import functools
import time

import numpy as np
import pytest

from conftest import (BLUE, COLOUR_TOLERANCE, GALLERY, GREEN, HEIGHT, NEUTRAL, NEXT, OUTSIDE_VIDEO, PAGE, PLAY, RED,
                      SEEK_KNOB_Y, SEEK_Y, STOP, VIDEO, VOLUME_Y, WIDTH, YELLOW, _screen, cached, cell_centre,
                      close_player, colour_clips, differences, encode_frames, find_knob, flags_of, gallery_check,
                      main_check, main_screen, make_gallery, poll, press, read_save, Screen, seek_knob_x,
                      skip_without_player, volume_for_x, volume_knob_x, wait_for_shot, window_rect)

pytestmark = skip_without_player


def halves_clip():  # 640 x 480: the left half red, the right half blue
    return cached("halves-640x480.mpg", lambda partial: encode_frames(
        partial, (bytes(RED) * 320 + bytes(BLUE) * 320) * 480 * 50, (640, 480),
        "! videoconvert ! video/x-raw,format=I420 ! mpeg2enc format=0 bitrate=1800 ! mpegvideoparse ! avmux_mpeg "
        f"! filesink location={partial}"))


def start(launch, folder, scale=None):
    app = launch.player(folder, **({"FW_SCALE": str(scale)} if scale else {}))
    app.find_window()
    app.placement = None if app.rect[2:] == (WIDTH, HEIGHT) else (0, 0, *app.rect[2:])
    app.move(*NEUTRAL)
    return app


def blocks_uniform(window_shot, n):
    """Per client pixel: whether its n x n block of the window is one colour."""
    b = window_shot[:HEIGHT * n, :WIDTH * n].reshape(HEIGHT, n, WIDTH, n, 3)
    return (b == b[:, :1, :, :1]).all(axis=(1, 3, 4))


@pytest.mark.parametrize("scale, renderer", [(2, "cpu"), (3, "cpu"), (2, "gl")])
def test_a_scaled_window_shows_the_pictures_pixels_in_blocks_and_the_video_filtered(screen_of, launch, tmp_path,
                                                                                     monkeypatch, scale, renderer):
    monkeypatch.setenv("FW_RENDERER", renderer)
    screen_of(2560, 1920)
    folder = make_gallery(tmp_path / "g", {"halves.mpg": halves_clip()})
    app = start(launch, folder, scale)
    assert app.rect[2:] == (WIDTH * scale, HEIGHT * scale)

    def video_halves(shot):  # client samples: red left, blue right, each filling its half
        left, top, width, height = VIDEO
        inner = shot[top + 4:top + height - 4].astype(np.int64)
        halves = (inner[:, left + 4:left + width // 2 - 8], inner[:, left + width // 2 + 8:left + width - 4])
        ok = all(np.all(np.abs(half - colour) <= COLOUR_TOLERANCE) for half, colour in zip(halves, (RED, BLUE)))
        return "" if ok else "the video is not red and blue halves yet"
    check = main_check(playing=True)
    wait_for_shot(app, lambda shot: check(shot) or video_halves(shot), what="the picture and the video's halves")
    window = _screen[0].grab(*app.rect)
    client = window[scale // 2::scale, scale // 2::scale]
    assert not check(client), check(client)
    uniform = blocks_uniform(window, scale)
    assert uniform[OUTSIDE_VIDEO].all(), "a control's pixel is not one colour over its %d x %d block" % (scale, scale)
    # The video fills its enlarged rectangle to the pixel; around it the picture's blocks.
    left, top, width, height = (v * scale for v in VIDEO)
    area = window[top:top + height, left:left + width].astype(np.int64)
    for edge, colour in ((area[:, :2], RED), (area[:, -2:], BLUE), (area[:2, :width // 4], RED)):
        assert np.all(np.abs(edge - colour) <= COLOUR_TOLERANCE), "the video does not reach its rectangle's edge"
    x, y, w, h = VIDEO
    ring = [(window[top - 1, left:left + width], client[y - 1, x:x + w]),
            (window[top + height, left:left + width], client[y + h, x:x + w]),
            (window[top:top + height, left - 1], client[y:y + h, x - 1]),
            (window[top:top + height, left + width], client[y:y + h, x + w])]
    for outside, picture in ring:
        assert (outside == np.repeat(picture, scale, axis=0)).all(), "the video reaches past its rectangle"
    # Filtered at the window's scale from the frame: across the red-blue edge the blocks are not uniform,
    # as a 1x picture blown up would be.
    assert not uniform[y:y + h, x:x + w].all()
    assert close_player(app) == 1


def test_the_same_input_at_scale_1_and_2_gives_the_same_screens_and_save(screen_of, launch, tmp_path):
    screen_of(1920, 1280)
    red, green, blue = colour_clips([RED], [GREEN], [BLUE])
    table = 'SingleItem "movies/r.mpg" 0\nMultiItem 2\nItem "movies/g.mpg" 0\nItem "movies/b.mpg" 0\nEnd\n'
    runs = []
    for scale in (1, 2):
        folder = make_gallery(tmp_path / str(scale), {"r.mpg": red, "g.mpg": green, "b.mpg": blue}, table,
                              "3\n0 0\n1 0\n1 1\n")
        app = start(launch, folder, scale)
        assert app.rect[2:] == (WIDTH * scale, HEIGHT * scale)
        main = functools.partial(main_check, item_count=2)
        shots = [wait_for_shot(app, main(playing=True, video=RED), what="item 0 playing")]
        app.click(*STOP)
        app.move(100, SEEK_Y)  # a seek drag beyond the window's left edge and back, released stopped
        app.down()
        app.move(-60, SEEK_Y)
        app.move(250, 300)
        app.up()
        shots.append(wait_for_shot(app, main(mouse=(250, 300)), what="seeked, stopped"))
        knob = find_knob(shots[-1], SEEK_KNOB_Y)[0]  # on a whole frame near the column
        assert abs(knob - seek_knob_x(250)) <= 5
        app.move(300, VOLUME_Y)
        app.down()
        app.move(900, VOLUME_Y)
        app.move(150, 40)
        app.up()
        state = dict(seek_x=knob, volume_x=volume_knob_x(volume_for_x(150)))
        shots.append(wait_for_shot(app, main(mouse=(150, 40), **state), what="volume dragged to x 150"))
        press(app, NEXT)
        app.click(*STOP)  # item 1 loaded, stopped where it is
        app.click(*GALLERY)
        shots.append(wait_for_shot(app, gallery_check(0, flags_of(0, 1), GALLERY), what="the gallery"))
        app.click(*PAGE)
        shots.append(wait_for_shot(app, gallery_check(1, flags_of(0, 1), PAGE), what="page 1"))
        app.click(*PAGE)
        app.click(*cell_centre(1))
        app.move(*NEUTRAL)
        wait_for_shot(app, lambda shot: find_knob(shot, SEEK_KNOB_Y) and differences(
            shot, main_screen(seek_x=find_knob(shot, SEEK_KNOB_Y)[0], item=1, item_count=2, clip_count=2,
                              volume_x=state["volume_x"]), OUTSIDE_VIDEO), what="item 1 from its cell")
        assert close_player(app) == 1
        runs.append(([shot.copy() for shot in shots], (folder / "GameData.sys").read_bytes()))
    (shots_1, save_1), (shots_2, save_2) = runs
    assert save_2 == save_1 and read_save(tmp_path / "2") == (volume_for_x(150), flags_of(0, 1))
    for index, (one, two) in enumerate(zip(shots_1[1:], shots_2[1:]), 1):  # the first has the knob moving
        assert not differences(two, Screen(one), OUTSIDE_VIDEO if index < 3 else None), "screen %d differs" % index


@pytest.mark.parametrize("renderer", ["cpu", "gl"])  # gl: a drawable resized under its context
def test_fullscreen_letterboxes_the_picture_maps_the_mouse_and_the_clip_plays_on(screen_of, launch, tmp_path,
                                                                                monkeypatch, renderer):
    monkeypatch.setenv("FW_RENDERER", renderer)
    screen_of(1920, 1080)
    clip, = colour_clips([RED, GREEN, BLUE, YELLOW], seconds_each=6)  # the test ends before the clip
    folder = make_gallery(tmp_path / "g", {"c.mpg": clip})
    app = start(launch, folder)
    windowed = app.rect
    assert windowed[2:] == (WIDTH, HEIGHT)
    knobs = []  # (when, x) of the seek knob seen

    def playing_on(check):  # the seek knob only moves on, about 14 pixels a second
        def verdict(shot):
            knob = find_knob(shot, SEEK_KNOB_Y)
            if knob is None:
                return "no seek knob"
            now = time.monotonic()
            if knobs and not 0 <= knob[0] - knobs[-1][1] <= 14 * (now - knobs[-1][0]) + 8:
                pytest.fail("the seek knob went from %d to %d in %.1f s" % (knobs[-1][1], knob[0], now - knobs[-1][0]))
            knobs.append((now, knob[0]))
            return check(shot)
        return verdict

    wait_for_shot(app, main_check(playing=True), what="the clip playing in the window")
    time.sleep(1)  # past the clip's start, where the position settles
    wait_for_shot(app, playing_on(main_check(playing=True)), what="the clip playing on", pause=0.02)

    def to_fullscreen(*keys):
        app.key(*keys)
        poll(lambda: window_rect(app.window) == (0, 0, 1920, 1080), 10, "the window did not cover the screen")
        app.rect, app.placement = (0, 0, 1920, 1080), (240, 0, 1440, 1080)

    def to_window(*keys):
        app.key(*keys)
        poll(lambda: window_rect(app.window) == windowed, 10, "the window did not come back to its place")
        app.rect, app.placement = windowed, None

    to_fullscreen("F11")
    wait_for_shot(app, playing_on(main_check(playing=True)), what="the picture letterboxed", pause=0.02)
    bars = _screen[0].grab(0, 0, 1920, 1080)
    assert not bars[:, :240].any() and not bars[:, 1680:].any(), "the bars are not black"
    assert bars[:, 240].any() and bars[:, 1679].any(), "the picture does not reach the bars"
    # The mouse in client units: Next lights under the pointer; on a bar nothing arrives, so Next
    # stays lit and a click there presses nothing.
    app.move(*NEXT)
    wait_for_shot(app, playing_on(main_check(playing=True, mouse=NEXT)), what="Next lit", pause=0.02)
    _screen[0].move(100, 550)
    _screen[0].click(100, 550)
    time.sleep(0.5)
    wait_for_shot(app, playing_on(main_check(playing=True, mouse=NEXT)), what="Next still lit", pause=0.02)
    press(app, STOP)
    wait_for_shot(app, main_check(playing=False), what="stopped by a click in fullscreen")
    press(app, PLAY)
    knobs.clear()
    wait_for_shot(app, playing_on(main_check(playing=True)), what="playing again", pause=0.02)
    to_window("Escape")
    wait_for_shot(app, playing_on(main_check(playing=True)), what="back in the window, playing on", pause=0.02)
    to_fullscreen("alt+Return")
    wait_for_shot(app, playing_on(main_check(playing=True)), what="fullscreen by Alt+Enter", pause=0.02)
    # On the gallery Escape leaves fullscreen first; then it goes back from the gallery.
    app.key("g")
    wait_for_shot(app, gallery_check(0, flags_of(0)), what="the gallery in fullscreen")
    to_window("Escape")
    wait_for_shot(app, gallery_check(0, flags_of(0)), what="the gallery in the window")
    app.key("Escape")
    wait_for_shot(app, main_check(playing=True), what="back from the gallery")
    to_fullscreen("F11")
    to_window("F11")
    assert close_player(app) == 1


def _set_xft_dpi(dpi):  # the X resources of the test's screen, as xrdb would set them
    x11, connection = _screen[0].x11, _screen[0].connection
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                    ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
    text = b"Xft.dpi:\t%d\n" % dpi
    x11.XChangeProperty(connection, _screen[0].root, x11.XInternAtom(connection, b"RESOURCE_MANAGER", 0),
                        x11.XInternAtom(connection, b"STRING", 0), 8, 0, text, len(text))  # PropModeReplace
    _screen[0].sync()


@pytest.mark.parametrize("scale, dpi, screen, size, said", [
    ("abc", None, (1280, 1024), 1, 'FW_SCALE="abc" is not a whole number from 1 to 4'),
    ("2.5", 192, (1920, 1280), 2, 'FW_SCALE="2.5" is not a whole number from 1 to 4'),
    ("5", None, (1280, 1024), 1, 'FW_SCALE="5" is not a whole number from 1 to 4'),
    ("3", None, (1920, 1280), 2, "a window at FW_SCALE=3 (2400 x 1800) does not fit the screen's 1920 x 1280"),
    (None, 192, (1920, 1280), 2, None),
    (None, 288, (1920, 1280), 2, None),  # the density asks for 3, the screen fits 2
    (None, 150, (1920, 1280), 1, None),
])
def test_the_scale_follows_fw_scale_or_the_screen(screen_of, launch, tmp_path, scale, dpi, screen, size, said):
    screen_of(*screen)
    if dpi:
        _set_xft_dpi(dpi)
    app = start(launch, make_gallery(tmp_path / "g"), scale)
    assert app.rect[2:] == (WIDTH * size, HEIGHT * size)
    wait_for_shot(app, main_check(playing=True), what="the main screen")
    app.close()
    assert app.wait(30) == 1
    lines = app.stderr.splitlines()
    assert lines == ([] if said is None else [line for line in lines if said in line]) and len(lines) <= 1, lines
