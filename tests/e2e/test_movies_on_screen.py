"""Movies in the player's window: the clip fills the video rectangle, and the play
sequence is seen clip by clip (solid colours: one sample tells which clip shows)."""
import time

from conftest import (BLUE, GREEN, RED, YELLOW, close_player, colour_clips, flags_of, main_check, make_gallery,
                      read_save, skip_without_player, start_player, video_colour, video_is, video_sample, wait_for_shot)

pytestmark = skip_without_player


def test_clip_fills_the_video_rectangle(launch, tmp_path):
    app = start_player(launch, make_gallery(tmp_path / "g"))  # one red clip, repeating

    def black_then_red(shot):
        # The rectangle is black until the clip's first picture, then red to its edges.
        if main_check(playing=True)(shot):
            return "the main screen is not drawn yet"
        if video_is(shot, (0, 0, 0), margin=0):
            return "the video is still black"
        assert video_is(shot, RED, margin=0), "the video shows %s" % (video_colour(shot),)
        return ""
    wait_for_shot(app, black_then_red, pause=0.01, what="the clip's first picture")
    assert close_player(app) == 1


def test_play_sequence_is_seen_clip_by_clip_then_stops_on_the_first_frame(launch, tmp_path):
    # Item 0 plays once (red, then blue), item 1 twice (green, then yellow); then item 0
    # is loaded again, shows its first frame, and the sequence stops.
    red_blue, green_yellow = colour_clips([RED, BLUE], [GREEN, YELLOW])
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
    wait_for_shot(app, stopped, what="the first clip stopped at its start, Play active")
    time.sleep(2)
    wait_for_shot(app, stopped, timeout=1, what="the first clip still stopped at its start")
    assert close_player(app) == 1
    assert read_save(folder)[1] == flags_of(0, 1)
