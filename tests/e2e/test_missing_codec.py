"""A clip whose GStreamer plugin is missing: the player still shows its message box and also names
the clip, what is missing and the Debian package on standard error; fwgallery check says the same.
The plugins are really absent: GStreamer sees a private copy of the plugin folder without them,
with a registry of its own, as on a machine without the package."""
import glob
from pathlib import Path

import pytest

from conftest import MOVIE_FAILED, cached, dismiss_message_box, gst_launch, make_gallery, skip_without_player
from test_fwgallery import run

pytestmark = skip_without_player
LIBAV = "the Windows Media Video 8 decoder and the Windows Media Audio 8 decoder " \
        "(install the Debian package gstreamer1.0-libav)"
UGLY = "the Advanced Streaming Format (ASF) demuxer (install the Debian package gstreamer1.0-plugins-ugly)"


@pytest.fixture(scope="module")
def without(tmp_path_factory):
    """without(plugin file, ...): an environment in which GStreamer has every plugin but those."""
    made = {}

    def environment(*hidden):
        if hidden not in made:
            folder = tmp_path_factory.mktemp("plugins")
            system = Path(glob.glob("/usr/lib/*/gstreamer-1.0/libgstcoreelements.so")[0]).parent  # the system's
            for plugin in system.glob("*.so"):
                if plugin.name not in hidden:
                    (folder / plugin.name).symlink_to(plugin)
            made[hidden] = {"GST_PLUGIN_SYSTEM_PATH_1_0": str(folder), "GST_PLUGIN_PATH_1_0": "",
                            "GST_REGISTRY_1_0": str(folder / "registry.bin")}
        return made[hidden]
    return environment


def wmv_clip():
    return cached("wmv2-wma.wmv", lambda partial: gst_launch(
        "videotestsrc num-buffers=25 ! video/x-raw,width=320,height=240,framerate=25/1 ! avenc_wmv2 ! queue ! mux. "
        "audiotestsrc num-buffers=20 ! audioconvert ! avenc_wmav2 ! queue ! mux. "
        f"asfmux name=mux ! filesink location={partial}"))


def test_player_names_the_missing_decoders_and_their_package(launch, tmp_path, without):
    gallery = make_gallery(tmp_path / "g", {"clip.wmv": wmv_clip()})
    app = launch.player(gallery, **without("libgstlibav.so"))
    dismiss_message_box(alive=app.running)  # start-up's load fails: its box, then the player ends
    app.wait(30)
    assert app.stderr.splitlines() == [f"fernwood2: movies/clip.wmv: GStreamer lacks {LIBAV}", MOVIE_FAILED]


@pytest.mark.parametrize("hidden, missing", [("libgstlibav.so", LIBAV), ("libgstasf.so", UGLY)], ids=["libav", "asf"])
def test_fwgallery_check_names_what_is_missing_as_the_player_does(tmp_path, without, hidden, missing):
    gallery = make_gallery(tmp_path / "g", {"clip.wmv": wmv_clip()})
    done = run("check", gallery, env=without(hidden))
    assert done.returncode == 1
    assert f'Data/PlayTable.txt:1: error: "movies/clip.wmv": GStreamer lacks {missing}; the player shows' \
           in done.stdout, done.stdout
