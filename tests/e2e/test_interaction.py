"""The player used as a person uses it: the pointer moved and clicked with xdotool,
the result read from screenshots and, after the window is closed, from GameData.sys.

The gallery: item 0 shows red, then blue, and repeats without end; item 1 has three
clips (red, green, blue); item 2 is green. The thumbnail table names them in order,
then an item that does not exist (entry 5) and a clip that item 1 does not have
(entry 6)."""
import time

import pytest

from conftest import skip_without_player, top_level_windows
from player_helpers import (
    BLUE, GREEN, NEUTRAL, RED, cell_at, cell_centre, close_player, colour_clips, exact_gallery, flags_of,
    find_knob, gallery_check, main_screen_check, read_save, seek_knob_x, start_player, video_colour,
    video_sample, volume_for_x, volume_knob_x, wait_for_shot, SEEK_KNOB_Y)

pytestmark = skip_without_player

PLAY_TABLE = """SingleItem "movies/rb.mpg" 0
MultiItem 3
Item "movies/red.mpg" 0
Item "movies/green.mpg" 0
Item "movies/blue.mpg" 0
SingleItem "movies/green.mpg" 0
End
"""
THUMBNAIL_TABLE = "7\n0 0\n1 0\n1 1\n1 2\n2 0\n9 0\n1 7\n"
ITEMS = 3
STOP_BUTTON, PLAY_BUTTON, PREVIOUS_BUTTON, NEXT_BUTTON = (540, 550), (600, 550), (480, 550), (660, 550)
GALLERY_BUTTON = BACK_BUTTON = (740, 557)
PAGE_BUTTON = (750, 40)
CLIP_BUTTONS = [(765, 75), (765, 150), (765, 225)]
SEEK_Y, VOLUME_Y = 544, 576


@pytest.fixture(scope="module")
def clips():
    red_blue, red, green, blue = colour_clips([RED, BLUE], [RED], [GREEN], [BLUE])
    return {"rb.mpg": red_blue, "red.mpg": red, "green.mpg": green, "blue.mpg": blue}


@pytest.fixture
def gallery(tmp_path, clips):
    def make(volume=0, flags=bytes(64)):
        return exact_gallery(tmp_path / "g", clips, PLAY_TABLE, THUMBNAIL_TABLE, volume=volume, flags=flags)
    return make


def click(app, point):
    app.click(*point)
    app.move(*NEUTRAL)


def test_next_previous_clip_stop_and_play_buttons(launch, gallery):
    folder, pictures = gallery()
    app = start_player(launch, folder)

    def main(**state):
        return main_screen_check(pictures, item_count=ITEMS, **state)

    wait_for_shot(app, main(playing=True), what="item 0 playing")
    # The right button does nothing.
    app.click(*STOP_BUTTON, button=3)
    app.click(*NEXT_BUTTON, button=3)
    app.move(*NEUTRAL)
    time.sleep(0.5)
    wait_for_shot(app, main(playing=True), timeout=1, what="item 0 playing after right clicks")

    # Stop: Play becomes active, and the picture and the knob stay where they were
    # for longer than the rest of the clip would take.
    click(app, STOP_BUTTON)
    shot = wait_for_shot(app, main(playing=False), what="item 0 stopped")
    colour, (knob, _) = video_colour(shot), find_knob(shot, SEEK_KNOB_Y)
    time.sleep(3.2)
    wait_for_shot(app, main(playing=False, seek_x=knob, video=colour), timeout=1,
                  what="the same frame and knob 3 s after Stop")

    # Play: the clip goes on and soon shows its other colour.
    click(app, PLAY_BUTTON)
    wait_for_shot(app, main(playing=True), what="item 0 playing again")
    deadline = time.monotonic() + 10
    now = None
    while now is None:
        assert time.monotonic() < deadline, "neither colour of the clip after Play"
        now = video_sample(app, [RED, BLUE])
    other = BLUE if now == RED else RED
    while video_sample(app, [RED, BLUE]) != other:
        assert time.monotonic() < deadline, "the clip did not run on after Play"
        time.sleep(0.05)

    # Next: item 1 with three clip buttons, clip 0 current and red.
    click(app, NEXT_BUTTON)
    wait_for_shot(app, main(playing=True, item=1, clip_count=3, clip=0, video=RED), what="item 1, clip 0")
    for clip, colour in [(2, BLUE), (1, GREEN)]:
        app.click(*CLIP_BUTTONS[clip])  # the pointer stays on the button: it shows the current image
        wait_for_shot(app, main(playing=True, item=1, clip_count=3, clip=clip, video=colour,
                                mouse=CLIP_BUTTONS[clip]), what="item 1, clip %d" % clip)
    # The current clip's button does nothing; a neighbour's lights up under the pointer.
    app.click(*CLIP_BUTTONS[1])
    for mouse in [CLIP_BUTTONS[0], (749, 55), (781, 95), (782, 95), (781, 96), (748, 130)]:
        # The first and last pixels of clip button 0, then just outside it and button 1.
        app.move(*mouse)
        wait_for_shot(app, main(playing=True, item=1, clip_count=3, clip=1, video=GREEN, mouse=mouse),
                      what="item 1, clip 1, mouse at %s" % (mouse,))

    click(app, NEXT_BUTTON)
    wait_for_shot(app, main(playing=True, item=2, video=GREEN), what="item 2, no Next")
    click(app, NEXT_BUTTON)  # absent on the last item: nothing happens
    click(app, PREVIOUS_BUTTON)
    wait_for_shot(app, main(playing=True, item=1, clip_count=3, clip=0, video=RED), what="item 1 from Previous")
    click(app, PREVIOUS_BUTTON)
    wait_for_shot(app, main(playing=True, item=0), what="item 0 from Previous")

    assert close_player(app) == 1
    assert read_save(folder) == (0, flags_of(0, 1, 2, 3, 4))


def test_seek_drag_shows_later_frames_and_follows_the_pointer_beyond_the_window(launch, gallery):
    folder, pictures = gallery()
    app = start_player(launch, folder)

    def main(**state):
        return main_screen_check(pictures, item_count=ITEMS, **state)

    wait_for_shot(app, main(playing=True), what="item 0 playing")
    click(app, STOP_BUTTON)
    wait_for_shot(app, main(playing=False), what="item 0 stopped")

    def knob_near(x, **state):
        """The dragged state with the seek knob within one frame (335 / 75 columns) of
        where the bar rule puts x: the graph lands on a whole frame."""
        fraction = min(max((x - 44) / 335, 0.0), 1.0)
        expected = seek_knob_x(fraction, 1.0)
        check = main(**state)

        def near(shot):
            found = find_knob(shot, SEEK_KNOB_Y)
            if found is None or abs(found[0] - expected) > 5:
                return "seek knob at %s, expected near %d" % (found, expected)
            return check(shot)
        return near

    app.move(100, SEEK_Y)
    app.down()
    wait_for_shot(app, knob_near(100, playing=False, dragging=1, video=RED, mouse=(100, SEEK_Y)),
                  what="pressed at x 100: red, knob dragged")
    for point, colour in [((300, SEEK_Y), BLUE), ((-60, SEEK_Y), RED), ((-60, 300), RED), ((330, 300), BLUE)]:
        # Beyond the left edge and off the bar the drag still follows the pointer's x.
        app.move(*point)
        exact = {"seek_x": 35} if point[0] <= 44 else {}
        wait_for_shot(app, knob_near(point[0], playing=False, dragging=1, video=colour, mouse=point, **exact),
                      what="dragged to %s: %s" % (point, colour))
    # Released over the Play button: the release only ends the drag (Play lights
    # up under the pointer but does not act); stopped, the chosen frame stays.
    app.move(*PLAY_BUTTON)
    wait_for_shot(app, knob_near(PLAY_BUTTON[0], playing=False, dragging=1, video=BLUE, mouse=PLAY_BUTTON),
                  what="dragged past the bar's end onto Play")
    app.up()
    shot = wait_for_shot(app, knob_near(PLAY_BUTTON[0], playing=False, video=BLUE, mouse=PLAY_BUTTON),
                         what="released on Play")
    knob = find_knob(shot, SEEK_KNOB_Y)[0]
    time.sleep(1)
    wait_for_shot(app, main(playing=False, seek_x=knob, video=BLUE, mouse=PLAY_BUTTON), timeout=1,
                  what="still stopped there after 1 s")
    assert close_player(app) == 1


def test_volume_drag_is_saved_and_a_restart_keeps_volume_and_unlocks(launch, gallery):
    written = bytearray(flags_of(4))
    written[10] = 2  # not 1: locked, and kept as it is
    folder, pictures = gallery(volume=-2500, flags=bytes(written))
    saved = bytearray(written)
    saved[0] = 1
    app = start_player(launch, folder)

    def main(volume, **state):
        return main_screen_check(pictures, item_count=ITEMS, volume_x=volume_knob_x(volume), **state)

    wait_for_shot(app, main(-2500, playing=True), what="volume knob at -2500")
    app.move(211, VOLUME_Y)  # the knob's middle column
    app.down()
    for x, y in [(211, VOLUME_Y), (500, VOLUME_Y), (900, 100), (123, 595)]:
        # Past the right end the volume is full; the pointer's height plays no part.
        app.move(x, y)
        volume = volume_for_x(x)
        wait_for_shot(app, main(volume, playing=True, dragging=2, mouse=(x, y)),
                      what="volume dragged to x %d" % x)
    app.up()
    app.move(*NEUTRAL)
    final = volume_for_x(123)
    assert final == -3820
    wait_for_shot(app, main(final, playing=True), what="volume knob released at x 123")
    assert close_player(app) == 1
    assert read_save(folder) == (final, bytes(saved))

    # Started again: the knob stands at the saved volume, and the thumbnail screen
    # offers what the first run unlocked.
    app = start_player(launch, folder)
    wait_for_shot(app, main(final, playing=True), what="the saved volume after a restart")
    click(app, GALLERY_BUTTON)
    wait_for_shot(app, gallery_check(pictures, page=0, flags=saved), what="cells 0 and 4 unlocked")
    assert close_player(app) == 1
    assert read_save(folder) == (final, bytes(saved))


def no_message_box():
    return all(name != "Error!!" for _, name in top_level_windows())


def test_thumbnail_screen_pages_cells_and_back(launch, gallery):
    written = flags_of(4, 5, 6, 30)
    folder, pictures = gallery(flags=written)
    app = start_player(launch, folder)
    flags = bytearray(written)
    flags[0] = 1  # loaded at start-up

    def main(**state):
        return main_screen_check(pictures, item_count=ITEMS, **state)

    wait_for_shot(app, main(playing=True), what="item 0 playing")

    # Opened: the video is hidden, locked and unlocked cells, the hovered one lit.
    click(app, GALLERY_BUTTON)
    wait_for_shot(app, gallery_check(pictures, page=0, flags=flags), what="page 0")
    app.move(*cell_centre(4))
    wait_for_shot(app, gallery_check(pictures, page=0, flags=flags, mouse=cell_centre(4)), what="cell 4 lit")

    # Cells whose entries name an item or a clip that the table lacks do nothing.
    for cell in (5, 6):
        click(app, cell_centre(cell))
        time.sleep(0.5)
        wait_for_shot(app, gallery_check(pictures, page=0, flags=flags), timeout=2,
                      what="page 0 after a click on cell %d" % cell)
        assert app.running() and no_message_box()

    # An unlocked cell plays its clip on the main screen.
    click(app, cell_centre(4))
    wait_for_shot(app, main(playing=True, item=2, video=GREEN), what="item 2 from cell 4")

    # Page 1, cell 30: no entry of its own, so it plays item 0, clip 0 from the start.
    click(app, GALLERY_BUTTON)
    click(app, PAGE_BUTTON)
    wait_for_shot(app, gallery_check(pictures, page=1, flags=flags), what="page 1")
    x, y = cell_at(0, 2)
    click(app, (x + 99, y + 74))  # the cell's last pixel
    wait_for_shot(app, main(playing=True, item=0, video=RED), what="item 0 from cell 30")

    # Back: the main screen with the clip where it was, running on. The page is kept.
    click(app, GALLERY_BUTTON)
    wait_for_shot(app, gallery_check(pictures, page=1, flags=flags), what="page 1 kept")
    click(app, BACK_BUTTON)
    wait_for_shot(app, main(playing=True, item=0), what="the main screen after Back")
    seen = set()
    deadline = time.monotonic() + 10
    while seen != {RED, BLUE}:
        assert time.monotonic() < deadline, "after Back the clip showed only %s" % seen
        seen.add(video_sample(app, [RED, BLUE]))
        seen.discard(None)
        time.sleep(0.05)

    assert close_player(app) == 1
    flags[4] = 1
    assert read_save(folder) == (0, bytes(flags))


def test_cell_chosen_while_the_sequence_runs_then_back_while_it_is_off(launch, tmp_path, clips):
    # Item 0 (red, then blue) and item 1 (green) play once each.
    table = 'SingleItem "movies/rb.mpg" 1\nSingleItem "movies/green.mpg" 1\nEnd\n'
    folder, pictures = exact_gallery(tmp_path / "g", clips, table, "2\n0 0\n1 0\n", flags=flags_of(1))
    app = start_player(launch, folder)

    def main(**state):
        return main_screen_check(pictures, item_count=2, **state)

    wait_for_shot(app, main(playing=True), what="item 0 playing")
    # Cell 1 while the sequence runs: item 1 plays once, then the sequence wraps to
    # item 0, shows its first frame and stops.
    click(app, GALLERY_BUTTON)
    click(app, cell_centre(1))
    wait_for_shot(app, main(playing=True, item=1, video=GREEN), what="item 1 from cell 1")
    stopped = main(playing=False, seek_x=35, video=RED)
    wait_for_shot(app, stopped, what="item 0 stopped at its start after item 1")

    # Back while the sequence is off: the clip runs to its end and stays on its last
    # frame; Play stays active and nothing moves on to another item.
    click(app, GALLERY_BUTTON)
    wait_for_shot(app, gallery_check(pictures, page=0, flags=flags_of(0, 1)), what="the thumbnail screen")
    click(app, BACK_BUTTON)
    shot = wait_for_shot(app, main(playing=False, video=BLUE), what="item 0 at its blue half")
    time.sleep(2.5)  # longer than the blue half
    shot = wait_for_shot(app, main(playing=False, video=BLUE), timeout=1, what="item 0 still on blue")
    knob = find_knob(shot, SEEK_KNOB_Y)[0]
    assert knob >= 360, "the knob stands at %d, not at the end" % knob
    assert close_player(app) == 1
