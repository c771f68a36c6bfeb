"""Both screens of the player, pixel by pixel, under Xvfb.

The four pictures are coordinate atlases (every texel's colour names its own place),
so a screenshot pixel that equals the expected one proves that the right texel of
the right region landed on the right pixel, quad edges included. The knobs have
transparent corners and the lock image transparent and translucent texels, so the
alpha test and the 0xC0 fade are checked with the layer's own rounding (see
player_helpers). On the main screen every pixel outside the video rectangle is
compared, on the thumbnail screen every pixel (the video is hidden there).
"""
import pytest

from conftest import skip_without_player
from player_helpers import (
    GREEN, NEUTRAL, RED, exact_gallery, flags_of, gallery_check, main_screen_check, start_player, close_player,
    volume_knob_x, wait_for_shot, colour_clips, cell_at)

pytestmark = skip_without_player

# Item 0 repeats without end, so its playing state lasts as long as a test needs;
# item 1 plays once, then the sequence wraps to item 0 and stops.
PLAY_TABLE = 'SingleItem "movies/red.mpg" 0\nSingleItem "movies/green.mpg" 1\nEnd\n'
THUMBNAIL_TABLE = "2\n0 0\n1 0\n"
VOLUME = -2500


@pytest.fixture(scope="module")
def clips():
    red, green = colour_clips([RED], [GREEN])
    return {"red.mpg": red, "green.mpg": green}


def test_main_screen_buttons_knobs_and_hover_edges(launch, tmp_path, clips):
    folder, pictures = exact_gallery(tmp_path / "g", clips, PLAY_TABLE, THUMBNAIL_TABLE, volume=VOLUME)
    app = start_player(launch, folder)
    volume_x = volume_knob_x(VOLUME)
    assert volume_x == 202

    def state(mouse=NEUTRAL, **rest):
        return dict(volume_x=volume_x, item_count=2, mouse=mouse, **rest)

    # Item 0 playing: no Previous, Play inactive, Stop reacting to the mouse.
    wait_for_shot(app, main_screen_check(pictures, video=RED, playing=True, **state()), what="item 0 playing")
    for mouse in [(514, 535), (571, 579), (572, 579), (513, 579)]:
        # 514 and 571 are Stop's first and last columns; 572 lies on the inactive
        # Play and 513 where Previous would be.
        app.move(*mouse)
        wait_for_shot(app, main_screen_check(pictures, playing=True, **state(mouse)),
                      what="item 0 playing, mouse at %s" % (mouse,))

    # Next, then Stop before its single play ends: item 1 shows Previous and no Next.
    app.click(650, 550)
    app.click(540, 550)
    app.move(*NEUTRAL)
    wait_for_shot(app, main_screen_check(pictures, video=GREEN, playing=False, item=1, **state()),
                  what="item 1 stopped")
    for mouse in [(456, 535), (513, 579), (455, 557), (456, 580)]:
        app.move(*mouse)
        wait_for_shot(app, main_screen_check(pictures, playing=False, item=1, **state(mouse)),
                      what="item 1 stopped, mouse at %s" % (mouse,))
    app.click(600, 550)  # Play: item 1 plays on to its end

    # After the last item the sequence wraps to item 0 and stops at its first frame:
    # the seek knob stands at the start, Play is active and Stop inactive.
    app.move(*NEUTRAL)
    wait_for_shot(app, main_screen_check(pictures, video=RED, seek_x=35, playing=False, **state()),
                  what="the stopped first item after the wrap")
    for mouse in [(572, 535), (629, 579), (630, 579), (687, 535), (688, 535), (714, 535), (771, 579), (772, 579),
                  (713, 557)]:
        app.move(*mouse)
        wait_for_shot(app, main_screen_check(pictures, seek_x=35, playing=False, **state(mouse)),
                      what="stopped, mouse at %s" % (mouse,))
    assert close_player(app) == 1


def test_thumbnail_screen_cells_lock_blend_hover_and_pages(launch, tmp_path, clips):
    # 2 and 9 unlocked on page 0, 3 with a flag byte of 2 (locked), 30 and 55 on page 1.
    written = bytearray(flags_of(2, 9, 30, 55))
    written[3] = 2
    folder, pictures = exact_gallery(tmp_path / "g", clips, PLAY_TABLE, THUMBNAIL_TABLE, volume=VOLUME,
                                     flags=bytes(written))
    app = start_player(launch, folder)
    wait_for_shot(app, main_screen_check(pictures, video=RED, playing=True, volume_x=202, item_count=2),
                  what="item 0 playing")
    flags = bytearray(written)
    flags[0] = 1  # item 0, the first clip, was loaded at start-up

    app.click(740, 557)  # the thumbnail-screen button; the back button lies under the pointer now
    wait_for_shot(app, gallery_check(pictures, page=0, flags=flags, mouse=(740, 557)), what="page 0, back hot")
    x9, y9 = cell_at(1, 2)
    x3, y3 = cell_at(0, 3)
    for mouse in [NEUTRAL, (x9, y9), (x9 + 99, y9 + 74), (x9 + 100, y9 + 74), (x9 + 99, y9 + 75),
                  (x3 + 50, y3 + 30), (29, 91), (128, 165), (721, 24), (778, 68), (779, 68), (714, 535),
                  (771, 579)]:
        app.move(*mouse)
        wait_for_shot(app, gallery_check(pictures, page=0, flags=flags, mouse=mouse),
                      what="page 0, mouse at %s" % (mouse,))

    app.click(750, 40)  # the page button
    wait_for_shot(app, gallery_check(pictures, page=1, flags=flags, mouse=(750, 40)), what="page 1, button hot")
    x30, y30 = cell_at(0, 2)
    for mouse in [NEUTRAL, (x30 + 99, y30), (671, 415), (770, 489), (771, 489)]:
        app.move(*mouse)
        wait_for_shot(app, gallery_check(pictures, page=1, flags=flags, mouse=mouse),
                      what="page 1, mouse at %s" % (mouse,))

    app.click(750, 40)
    app.move(*NEUTRAL)
    wait_for_shot(app, gallery_check(pictures, page=0, flags=flags), what="page 0 again")
    assert close_player(app) == 1
