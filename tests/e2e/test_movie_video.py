"""The player's video rectangle while an endlessly repeating clip (green, then blue)
plays: it is seen into its second half and, rewound after its end, green again."""
from conftest import BLUE, GREEN, colour_clips, make_gallery, skip_without_player, start_player, video_is, wait_for_shot


@skip_without_player
def test_endless_clip_plays_and_is_seen_again_after_its_end(launch, tmp_path):
    clip, = colour_clips([GREEN, BLUE], seconds_each=2)
    app = start_player(launch, make_gallery(tmp_path / "gallery", clips={"clip.mpg": clip}))
    for colour in (GREEN, BLUE, GREEN):
        wait_for_shot(app, lambda shot: video_is(shot, colour), what="the video all %s" % (colour,))
