"""Movies as they appear in the player's window: the clip's picture fills the video
rectangle, disappears behind the thumbnail screen, and the play sequence is seen
clip by clip. The clips show solid colours, so one sample tells which clip (and
which half of a two-colour clip) is on the screen."""
import time

import pytest

from conftest import skip_without_player
from player_helpers import (
    BLUE, GREEN, NEUTRAL, RED, YELLOW, close_player, colour_clips, exact_gallery, flags_of, gallery_check,
    main_screen_check, read_save, start_player, video_colour, video_edges_are, video_is, video_sample, wait_for_shot,
    VIDEO)

pytestmark = skip_without_player


@pytest.fixture(scope="module")
def clips():
    red, red_blue, green_yellow = colour_clips([RED], [RED, BLUE], [GREEN, YELLOW])
    return {"red.mpg": red, "rb.mpg": red_blue, "gy.mpg": green_yellow}


def test_clip_fills_the_video_rectangle_and_is_hidden_by_the_thumbnail_screen(launch, tmp_path, clips):
    folder, pictures = exact_gallery(tmp_path / "g", {"red.mpg": clips["red.mpg"]},
                                     'SingleItem "movies/red.mpg" 0\nEnd\n', "1\n0 0\n")
    app = start_player(launch, folder)
    playing = main_screen_check(pictures, video=RED, playing=True)
    # From the first frame drawn around it until the clip's first picture, the video
    # rectangle is black, and then the clip's; never anything else.

    def first_pictures(shot):
        if main_screen_check(pictures, playing=True)(shot):
            return "the main screen is not drawn yet"
        left, top, width, height = VIDEO
        inside = shot[top:top + height, left:left + width].reshape(-1, 3)
        if not inside.any():
            return "the video is still black"
        assert video_is(shot, RED) and not video_edges_are(shot, RED), "the video shows %s" % (video_colour(shot),)
        return ""
    wait_for_shot(app, first_pictures, pause=0.01, what="the first picture of the clip")
    # Every pixel outside the rectangle is the main screen's, every one inside the clip's.
    wait_for_shot(app, lambda shot: playing(shot) or video_edges_are(shot, RED),
                  what="the red clip filling the video rectangle")

    app.click(740, 557)
    app.move(*NEUTRAL)
    # Hidden: the whole client area, the video rectangle too, is the thumbnail screen.
    wait_for_shot(app, gallery_check(pictures, page=0, flags=flags_of(0)), what="the thumbnail screen")
    time.sleep(0.5)
    wait_for_shot(app, gallery_check(pictures, page=0, flags=flags_of(0)), timeout=1,
                  what="the thumbnail screen, still without the video")

    app.click(740, 557)  # back
    app.move(*NEUTRAL)
    wait_for_shot(app, playing, what="the red clip again after the back button")
    assert close_player(app) == 1


def colour_runs(app, palette, until, timeout):
    """Samples the video until until(runs) holds: the colours seen, consecutive
    repeats and unrecognised samples left out."""
    runs = []
    deadline = time.monotonic() + timeout
    while not until(runs):
        assert time.monotonic() < deadline, "colours seen within %d s: %s" % (timeout, runs)
        assert app.running(), app.stderr
        colour = video_sample(app, palette)
        if colour is not None and (not runs or runs[-1] != colour):
            runs.append(colour)
        time.sleep(0.03)
    return runs


def test_play_sequence_is_seen_clip_by_clip_then_stops_on_the_first_frame(launch, tmp_path, clips):
    # Item 0 plays once (red, then blue); item 1 twice (green, then yellow; rewound
    # once); then item 0 is loaded again, shows its first frame and the sequence stops.
    table = 'SingleItem "movies/rb.mpg" 1\nSingleItem "movies/gy.mpg" 2\nEnd\n'
    folder, pictures = exact_gallery(tmp_path / "g", clips, table, "2\n0 0\n1 0\n")
    app = start_player(launch, folder)
    palette = [RED, BLUE, GREEN, YELLOW]
    expected = [RED, BLUE, GREEN, YELLOW, GREEN, YELLOW, RED]
    runs = colour_runs(app, palette, lambda runs: len(runs) >= len(expected), timeout=40)
    assert runs == expected

    stopped = main_screen_check(pictures, video=RED, seek_x=35, playing=False, item_count=2)
    wait_for_shot(app, stopped, what="the first clip stopped at its start, Play active")
    # It stays: the sequence is off, nothing moves on.
    time.sleep(2)
    wait_for_shot(app, stopped, timeout=1, what="the first clip still stopped at its start")
    assert close_player(app) == 1
    assert read_save(folder)[1] == flags_of(0, 1)
