"""The player used as a person uses it, read from screenshots and GameData.sys. Item 0:
red then blue, endless; item 1: clips red, green, blue; item 2: green. Thumbnail
entries 5 and 6 name an item and a clip that do not exist."""
import time

import pytest

from conftest import (BLUE, GREEN, NEUTRAL, RED, SEEK_KNOB_Y, cell_at, cell_centre, close_player, colour_clips,
                      find_knob, flags_of, gallery_check, main_check, make_gallery, read_save, seek_knob_x,
                      skip_without_player, start_player, top_level_windows, video_colour, video_sample, volume_for_x,
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
STOP, PLAY, PREVIOUS, NEXT = (540, 550), (600, 550), (480, 550), (660, 550)
GALLERY = BACK = (740, 557)
PAGE = (750, 40)
CLIPS = [(765, 75), (765, 150), (765, 225)]
SEEK_Y, VOLUME_Y = 544, 576


@pytest.fixture
def gallery(tmp_path):
    red_blue, red, green, blue = colour_clips([RED, BLUE], [RED], [GREEN], [BLUE])
    clips = {"rb.mpg": red_blue, "red.mpg": red, "green.mpg": green, "blue.mpg": blue}
    return lambda volume=0, flags=bytes(64): make_gallery(tmp_path / "g", clips, PLAY_TABLE,
                                                          "7\n0 0\n1 0\n1 1\n1 2\n2 0\n9 0\n1 7\n", volume, flags)


def main(**state):
    return main_check(item_count=3, **state)


def click(app, point):
    app.click(*point)
    app.move(*NEUTRAL)


def wait_for_colour(app, colours, timeout=10):
    deadline = time.monotonic() + timeout
    while (seen := video_sample(app, colours)) is None:
        assert time.monotonic() < deadline, "the video showed none of %s" % (colours,)
        time.sleep(0.05)
    return seen


def test_stop_play_next_previous_and_clip_buttons(launch, gallery):
    folder = gallery()
    app = start_player(launch, folder)
    wait_for_shot(app, main(playing=True), what="item 0 playing")
    # Stopped, the picture and the knob stay where they were.
    click(app, STOP)
    shot = wait_for_shot(app, main(playing=False), what="item 0 stopped")
    colour, knob = video_colour(shot), find_knob(shot, SEEK_KNOB_Y)[0]
    time.sleep(2)
    wait_for_shot(app, main(seek_x=knob, video=colour), timeout=1, what="the same frame and knob 2 s after Stop")
    # Play: the clip goes on to its other colour.
    click(app, PLAY)
    wait_for_shot(app, main(playing=True), what="item 0 playing again")
    now = wait_for_colour(app, [RED, BLUE])
    wait_for_colour(app, [BLUE if now == RED else RED])

    click(app, NEXT)
    wait_for_shot(app, main(playing=True, item=1, clip_count=3, video=RED), what="item 1, clip 0")
    for clip, colour in [(2, BLUE), (1, GREEN)]:
        app.click(*CLIPS[clip])  # the pointer stays on the current clip's button
        wait_for_shot(app, main(playing=True, item=1, clip_count=3, clip=clip, video=colour, mouse=CLIPS[clip]),
                      what="item 1, clip %d" % clip)

    click(app, NEXT)
    wait_for_shot(app, main(playing=True, item=2, video=GREEN), what="item 2, no Next")
    click(app, NEXT)  # not there on the last item: nothing happens
    click(app, PREVIOUS)
    wait_for_shot(app, main(playing=True, item=1, clip_count=3, video=RED), what="item 1 from Previous")
    click(app, PREVIOUS)
    wait_for_shot(app, main(playing=True), what="item 0 from Previous")
    assert close_player(app) == 1
    assert read_save(folder) == (0, flags_of(0, 1, 2, 3, 4))


def test_seek_drag_shows_later_frames_and_follows_the_pointer_beyond_the_window(launch, gallery):
    app = start_player(launch, gallery())
    wait_for_shot(app, main(playing=True), what="item 0 playing")
    click(app, STOP)
    wait_for_shot(app, main(playing=False), what="item 0 stopped")

    def dragged_to(x, colour, dragging=1, y=SEEK_Y):
        # The knob lands on a whole frame: within 5 columns of where the pointer's x puts it.
        expected = seek_knob_x(x)
        check = main(dragging=dragging, video=colour, mouse=(x, y))

        def near(shot):
            knob = find_knob(shot, SEEK_KNOB_Y)
            if knob is None or abs(knob[0] - expected) > 5:
                return "seek knob %s, not near %d" % (knob, expected)
            return check(shot)
        return near

    app.move(100, SEEK_Y)
    app.down()
    wait_for_shot(app, dragged_to(100, RED), what="pressed at x 100: red")
    # Beyond the window's left edge and off the bar the drag follows the pointer's x.
    for x, y, colour in [(300, SEEK_Y, BLUE), (-60, SEEK_Y, RED), (330, 300, BLUE), (PLAY[0], SEEK_Y, BLUE)]:
        app.move(x, y)
        wait_for_shot(app, dragged_to(x, colour, y=y), what="dragged to %d, %d" % (x, y))
    # Released on Play: the release only ends the drag; still stopped, the frame stays.
    app.up()
    shot = wait_for_shot(app, dragged_to(PLAY[0], BLUE, dragging=0), what="released on Play")
    time.sleep(1)
    wait_for_shot(app, main(seek_x=find_knob(shot, SEEK_KNOB_Y)[0], video=BLUE, mouse=(PLAY[0], SEEK_Y)),
                  timeout=1, what="still stopped there after 1 s")
    assert close_player(app) == 1


def test_volume_drag_is_saved_and_a_restart_keeps_volume_and_unlocks(launch, gallery):
    written = bytearray(flags_of(4))
    written[10] = 2  # locked, and saved as it is
    folder = gallery(-2500, bytes(written))
    saved = bytearray(written)
    saved[0] = 1
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
    assert volume_for_x(123) == -3820
    restarted = main(playing=True, volume_x=volume_knob_x(-3820))
    wait_for_shot(app, restarted, what="volume knob released at x 123")
    assert close_player(app) == 1
    assert read_save(folder) == (-3820, bytes(saved))

    app = start_player(launch, folder)
    wait_for_shot(app, restarted, what="the saved volume after a restart")
    click(app, GALLERY)
    wait_for_shot(app, gallery_check(0, saved), what="cells 0 and 4 unlocked after a restart")
    assert close_player(app) == 1


def test_thumbnail_screen_pages_cells_and_back(launch, gallery):
    folder = gallery(flags=flags_of(4, 5, 6, 30))
    flags = bytearray(flags_of(0, 4, 5, 6, 30))  # item 0 was loaded at start-up
    app = start_player(launch, folder)
    wait_for_shot(app, main(playing=True), what="item 0 playing")
    # Opened: the video hidden, locked and unlocked cells, the hovered one lit.
    click(app, GALLERY)
    wait_for_shot(app, gallery_check(0, flags), what="page 0")
    app.move(*cell_centre(4))
    wait_for_shot(app, gallery_check(0, flags, cell_centre(4)), what="cell 4 lit")

    # Entries that name an item or a clip the play table lacks do nothing.
    for cell in (5, 6):
        click(app, cell_centre(cell))
        time.sleep(0.5)
        wait_for_shot(app, gallery_check(0, flags), timeout=2, what="page 0 after a click on cell %d" % cell)
        assert app.running() and "Error!!" not in [name for _, name in top_level_windows()]

    click(app, cell_centre(4))
    wait_for_shot(app, main(playing=True, item=2, video=GREEN), what="item 2 from cell 4")
    # Page 1, cell 30: no entry of its own, so item 0, clip 0 from the start.
    click(app, GALLERY)
    click(app, PAGE)
    wait_for_shot(app, gallery_check(1, flags), what="page 1")
    x, y = cell_at(0, 2)
    click(app, (x + 99, y + 74))  # the cell's last pixel
    wait_for_shot(app, main(playing=True, video=RED), what="item 0 from cell 30")

    # Back: the page was kept; the clip runs on where it was.
    click(app, GALLERY)
    wait_for_shot(app, gallery_check(1, flags), what="page 1 kept")
    click(app, BACK)
    wait_for_shot(app, main(playing=True), what="the main screen after Back")
    wait_for_colour(app, [BLUE], timeout=10)
    assert close_player(app) == 1
    assert read_save(folder) == (0, bytes(flags))
