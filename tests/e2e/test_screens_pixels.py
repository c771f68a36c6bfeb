"""Both screens pixel by pixel (the main screen outside the video rectangle)."""
import pytest

from conftest import (GREEN, NEUTRAL, RED, cell_at, close_player, colour_clips, flags_of, gallery_check, main_check,
                      make_gallery, skip_without_player, start_player, wait_for_shot)

pytestmark = skip_without_player


@pytest.fixture
def gallery(tmp_path):
    """Item 0 (red) repeats without end, item 1 (green) plays once; volume -2500."""
    red, green = colour_clips([RED], [GREEN])
    table = 'SingleItem "movies/red.mpg" 0\nSingleItem "movies/green.mpg" 1\nEnd\n'
    return lambda flags=bytes(64): make_gallery(tmp_path / "g", {"red.mpg": red, "green.mpg": green}, table,
                                                "2\n0 0\n1 0\n", volume=-2500, flags=flags)


def hover(app, check, points):
    for mouse in points:
        app.move(*mouse)
        wait_for_shot(app, check(mouse), what="the screen with the pointer at %s" % (mouse,))


def test_main_screen_buttons_knobs_and_hover_edges(launch, gallery):
    app = start_player(launch, gallery())
    state = dict(volume_x=202, item_count=2)  # the volume knob at -2500
    wait_for_shot(app, main_check(video=RED, playing=True, **state), what="item 0 playing")
    # First and last pixels of Stop, Next and the gallery button, and just outside;
    # 572 lies on the inactive Play, 513 where Previous would be.
    hover(app, lambda mouse: main_check(playing=True, mouse=mouse, **state),
          [(514, 535), (571, 579), (572, 579), (513, 579), (687, 535), (688, 535), (714, 535), (771, 579)])

    app.click(650, 550)  # Next, then Stop before item 1's single play ends
    app.click(540, 550)
    app.move(*NEUTRAL)
    wait_for_shot(app, main_check(video=GREEN, item=1, **state), what="item 1 stopped")
    # Previous's edges, the active Play's, and where Next is no more.
    hover(app, lambda mouse: main_check(item=1, mouse=mouse, **state),
          [(456, 535), (455, 557), (513, 579), (572, 535), (629, 579), (630, 579)])
    assert close_player(app) == 1


def test_thumbnail_screen_cells_lock_blend_hover_and_pages(launch, gallery):
    # 2, 9, 30 and 55 unlocked; 3 has a flag byte of 2, which is locked too.
    written = bytearray(flags_of(2, 9, 30, 55))
    written[3] = 2
    app = start_player(launch, gallery(bytes(written)))
    wait_for_shot(app, main_check(video=RED, playing=True, volume_x=202, item_count=2), what="item 0 playing")
    flags = bytearray(written)
    flags[0] = 1  # item 0 was loaded at start-up

    app.click(740, 557)  # the gallery button; the back button is under the pointer now
    wait_for_shot(app, gallery_check(0, flags, (740, 557)), what="page 0, back lit")
    x9, y9 = cell_at(1, 2)
    x3, y3 = cell_at(0, 3)
    # Cell 9's first and last pixels and just outside, a locked cell, the page and
    # back buttons' edges.
    hover(app, lambda mouse: gallery_check(0, flags, mouse),
          [NEUTRAL, (x9, y9), (x9 + 99, y9 + 74), (x9 + 100, y9 + 74), (x9 + 99, y9 + 75), (x3 + 50, y3 + 30),
           (721, 24), (778, 68), (779, 68), (771, 579)])

    app.click(750, 40)  # the page button
    x30, y30 = cell_at(0, 2)
    hover(app, lambda mouse: gallery_check(1, flags, mouse), [(750, 40), (x30 + 99, y30), (671, 415), (771, 489)])
    app.click(750, 40)
    hover(app, lambda mouse: gallery_check(0, flags, mouse), [NEUTRAL])
    assert close_player(app) == 1
