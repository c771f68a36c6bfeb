"""The player used as a person uses it, seen pixel by pixel. The gallery fixture: item 0 red then
blue, endless; item 1: clips red, green, blue; item 2: green. Cells naming what the play table
lacks are the unit tests' (test_input_thumbnail_screen.cpp)."""
import functools
import time

import pytest

from conftest import (BACK, BLUE, GALLERY, GREEN, NEUTRAL, NEXT, PAGE, PLAY, PREVIOUS, RED, SEEK_KNOB_Y, SEEK_Y, STOP,
                      VOLUME_Y, YELLOW, cell_at, cell_centre, close_player, colour_clips, find_knob, flags_of,
                      frame_segment_sizes, gallery_check, main_check, make_gallery, poll, press, read_save, seek_knob_x,
                      skip_without_player, start_player, video_colour, video_is, video_sample, volume_for_x,
                      volume_knob_x, wait_for_shot)

pytestmark = skip_without_player

PLAY_TABLE = """SingleItem "movies/rb.mpg" 0
MultiItem 3
Item "movies/red.mpg" 0
Item "movies/green.mpg" 0
Item "movies/blue.mpg" 0
SingleItem "movies/green.mpg" 0
End
"""
CLIPS = [(765, 75), (765, 150), (765, 225)]


@pytest.fixture
def gallery(tmp_path):
    red_blue, red, green, blue = colour_clips([RED, BLUE], [RED], [GREEN], [BLUE])
    clips = {"rb.mpg": red_blue, "red.mpg": red, "green.mpg": green, "blue.mpg": blue}
    return lambda volume=0, flags=bytes(64): make_gallery(tmp_path / "g", clips, PLAY_TABLE,
                                                          "5\n0 0\n1 0\n1 1\n1 2\n2 0\n", volume, flags)


main = functools.partial(main_check, item_count=3)


def hover(app, check, points):
    for mouse in points:
        app.move(*mouse)
        wait_for_shot(app, check(mouse), what="the screen with the pointer at %s" % (mouse,))


def wait_for_colour(app, colours, timeout=10):
    return poll(lambda: video_sample(app, colours), timeout, "the video showed none of %s" % (colours,), 0.05)


def test_first_picture_buttons_and_seek_drag_beyond_the_window(launch, gallery):
    app = start_player(launch, folder := gallery())

    def black_then_red(shot):  # the clip's first picture fills the video rectangle at once
        if main(playing=True)(shot):
            return "the main screen is not drawn yet"
        if video_is(shot, (0, 0, 0), margin=0):
            return "the video is still black"
        assert video_is(shot, RED, margin=0), "the video shows %s" % (video_colour(shot),)
        return ""
    wait_for_shot(app, black_then_red, pause=0.01, what="item 0's first picture")
    # Edges of Stop, Next and the gallery button; 572 on the inactive Play, 513 where Previous would be.
    hover(app, lambda mouse: main(playing=True, mouse=mouse),
          [(514, 535), (571, 579), (572, 579), (513, 579), (687, 535), (688, 535), (714, 535), (771, 579)])
    press(app, STOP)  # the picture and the knob stay
    shot = wait_for_shot(app, main(playing=False), what="item 0 stopped")
    colour, knob = video_colour(shot), find_knob(shot, SEEK_KNOB_Y)[0]
    time.sleep(2)
    wait_for_shot(app, main(seek_x=knob, video=colour), timeout=1, what="the same frame and knob 2 s after Stop")

    def dragged_to(x, colour, dragging=1, y=SEEK_Y):
        expected = seek_knob_x(x)
        check = main(dragging=dragging, video=colour, mouse=(x, y))

        def near(shot):
            knob = find_knob(shot, SEEK_KNOB_Y)
            if knob is None or abs(knob[0] - expected) > 5:
                return "seek knob %s, not near %d" % (knob, expected)  # it lands on a whole frame
            return check(shot)
        return near

    app.move(100, SEEK_Y)
    app.down()
    wait_for_shot(app, dragged_to(100, RED), what="pressed at x 100: red")
    for x, y, colour in [(300, SEEK_Y, BLUE), (-60, SEEK_Y, RED), (330, 300, BLUE), (PLAY[0], SEEK_Y, BLUE)]:
        app.move(x, y)
        wait_for_shot(app, dragged_to(x, colour, y=y), what="dragged to %d, %d" % (x, y))
    app.up()  # on Play: it only ends the drag
    shot = wait_for_shot(app, dragged_to(PLAY[0], BLUE, dragging=0), what="released on Play")
    knob = find_knob(shot, SEEK_KNOB_Y)[0]
    time.sleep(1)
    wait_for_shot(app, main(seek_x=knob, video=BLUE, mouse=(PLAY[0], SEEK_Y)), timeout=1,
                  what="still stopped there after 1 s")
    hover(app, lambda mouse: main(seek_x=knob, mouse=mouse), [(572, 535), (629, 579)])  # the active Play's edges
    press(app, PLAY)  # the clip goes on to its other colour
    wait_for_shot(app, main(playing=True), what="item 0 playing again")
    now = wait_for_colour(app, [RED, BLUE])
    wait_for_colour(app, [BLUE if now == RED else RED])

    press(app, NEXT)
    wait_for_shot(app, main(playing=True, item=1, clip_count=3, video=RED), what="item 1, clip 0")
    for clip, colour in [(2, BLUE), (1, GREEN)]:
        app.click(*CLIPS[clip])  # the pointer stays on the current clip's button
        wait_for_shot(app, main(playing=True, item=1, clip_count=3, clip=clip, video=colour, mouse=CLIPS[clip]),
                      what="item 1, clip %d" % clip)

    press(app, NEXT)
    wait_for_shot(app, main(playing=True, item=2, video=GREEN), what="item 2, no Next")
    hover(app, lambda mouse: main(playing=True, item=2, mouse=mouse), [(456, 535), (455, 557), (513, 579), (630, 579)])
    press(app, NEXT)  # not there on the last item: nothing happens
    press(app, PREVIOUS)
    wait_for_shot(app, main(playing=True, item=1, clip_count=3, video=RED), what="item 1 from Previous")
    press(app, PREVIOUS)
    wait_for_shot(app, main(playing=True), what="item 0 from Previous")
    assert close_player(app) == 1
    assert read_save(folder) == (0, flags_of(0, 1, 2, 3, 4))


def test_volume_drag_is_saved_and_after_a_restart_the_gallery_pages_cells_and_back(launch, gallery):
    # 3 and 10 are locked too, and saved as they are
    written = bytes(1 if k in (2, 4, 5, 6, 9, 30, 55) else 2 if k in (3, 10) else 0 for k in range(64))
    folder = gallery(-2500, written)
    flags = b"\x01" + written[1:]  # item 0 was loaded at start-up
    app = start_player(launch, folder)
    wait_for_shot(app, main(playing=True, volume_x=volume_knob_x(-2500)), what="volume knob at -2500")
    app.move(211, VOLUME_Y)  # the knob's middle column
    app.down()
    for x, y in [(500, VOLUME_Y), (900, 100), (123, 595)]:  # past the right end: full; y plays no part
        app.move(x, y)
        wait_for_shot(app, main(playing=True, dragging=2, volume_x=volume_knob_x(volume_for_x(x)), mouse=(x, y)),
                      what="volume dragged to x %d" % x)
    app.up()
    app.move(*NEUTRAL)
    restarted = functools.partial(main, volume_x=volume_knob_x(-3820))
    wait_for_shot(app, restarted(playing=True), what="volume knob released at x 123")
    assert close_player(app) == 1
    assert read_save(folder) == (-3820, flags)

    app = start_player(launch, folder)
    wait_for_shot(app, restarted(playing=True), what="the saved volume after a restart")
    app.click(*GALLERY)  # the back button is under the pointer now
    wait_for_shot(app, gallery_check(0, flags, GALLERY), what="page 0 with the saved unlocks, back lit")
    (x9, y9), (x3, y3) = cell_at(1, 2), cell_at(0, 3)
    # Cell 9's corners and just outside, a locked cell, the page and back buttons' edges.
    hover(app, lambda mouse: gallery_check(0, flags, mouse),
          [NEUTRAL, (x9, y9), (x9 + 99, y9 + 74), (x9 + 100, y9 + 74), (x9 + 99, y9 + 75), (x3 + 50, y3 + 30),
           (721, 24), (778, 68), (779, 68), (771, 579)])
    app.move(*cell_centre(4))
    wait_for_shot(app, gallery_check(0, flags, cell_centre(4)), what="cell 4 lit")

    press(app, cell_centre(4))
    wait_for_shot(app, restarted(playing=True, item=2, video=GREEN), what="item 2 from cell 4")
    press(app, GALLERY)  # cell 30 on page 1 has no entry: item 0, clip 0 from the start
    press(app, PAGE)
    wait_for_shot(app, gallery_check(1, flags), what="page 1")
    x, y = cell_at(0, 2)
    hover(app, lambda mouse: gallery_check(1, flags, mouse), [PAGE, (x + 99, y), (671, 415), (771, 489)])
    press(app, (x + 99, y + 74))  # the cell's last pixel
    wait_for_shot(app, restarted(playing=True, video=RED), what="item 0 from cell 30")

    press(app, GALLERY)  # the page was kept; after Back the clip runs on
    wait_for_shot(app, gallery_check(1, flags), what="page 1 kept")
    press(app, PAGE)
    wait_for_shot(app, gallery_check(0, flags), what="page 0 again")
    press(app, BACK)
    wait_for_shot(app, restarted(playing=True), what="the main screen after Back")
    wait_for_colour(app, [BLUE], timeout=10)
    assert close_player(app) == 1
    assert read_save(folder) == (-3820, flags)


def test_play_sequence_is_seen_clip_by_clip_then_stops_on_the_first_frame(launch, tmp_path):
    # Item 0 once (red, blue), item 1 twice (green, yellow), then item 0 stopped on its first frame.
    # Item 0 has the video area's size: on the cpu renderer its frames go to the window from shared
    # memory, uncopied; item 1 is scaled into the window's image.
    (red_blue,), (green_yellow,) = colour_clips([RED, BLUE], size=(640, 480)), colour_clips([GREEN, YELLOW])
    folder = make_gallery(tmp_path / "g", {"rb.mpg": red_blue, "gy.mpg": green_yellow},
                          'SingleItem "movies/rb.mpg" 1\nSingleItem "movies/gy.mpg" 2\nEnd\n')
    app = start_player(launch, folder)
    expected = [RED, BLUE, GREEN, YELLOW, GREEN, YELLOW, RED]
    runs = []
    deadline = time.monotonic() + 40
    while len(runs) < len(expected):
        assert time.monotonic() < deadline and app.running(), "colours seen: %s" % runs
        colour = video_sample(app, expected)
        if colour is not None and (not runs or runs[-1] != colour):
            runs.append(colour)
        time.sleep(0.03)
    assert runs == expected

    stopped = main_check(video=RED, seek_x=35, playing=False, item_count=2)
    shot = wait_for_shot(app, stopped, what="the first clip stopped at its start, Play active")
    assert video_is(shot, RED, margin=0), "the 1:1 frame does not fill the video area exactly"
    segments = frame_segment_sizes(app.process.pid)
    on_gl = "libGLX_mesa" in open("/proc/%d/maps" % app.process.pid).read()
    assert (640 * 480 * 4 in segments) != on_gl, "segments %s, %s renderer" % (segments, "gl" if on_gl else "cpu")
    time.sleep(2)
    wait_for_shot(app, stopped, timeout=1, what="the first clip still stopped at its start")
    assert close_player(app) == 1
    assert read_save(folder)[1] == flags_of(0, 1)
