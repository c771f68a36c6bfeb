"""The player's command line on Linux: a gallery folder, --help and --version, bad arguments, and
--demo's copy of the installed demo into the user's data folder."""
import os
import shutil
import stat
import subprocess
import tempfile
from pathlib import Path

import pytest

from conftest import (PLAYER, RED, ROOT, close_player, main_check, make_gallery, read_save, skip_without_player,
                      start_player, volume_knob_x, wait_for_shot)

pytestmark = skip_without_player


def run(*args, cwd, env=None, user=None, program=PLAYER):
    """The player without a display: whatever it answers, it answers before any window."""
    environment = {key: value for key, value in os.environ.items() if key != "DISPLAY"}
    command = [str(program), *map(str, args)]
    if user is not None:
        command = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", *command]
    return subprocess.run(command, cwd=str(cwd), env=dict(environment, **(env or {})), capture_output=True,
                          text=True, timeout=20)


def tree(folder):
    return sorted((str(path.relative_to(folder)), path.stat().st_mode, path.read_bytes() if path.is_file() else b"")
                  for path in folder.rglob("*"))


def test_help_and_version_answer_on_standard_output(tmp_path):
    for option in ("--help", "-h"):
        done = run(option, cwd=tmp_path)
        assert (done.returncode, done.stderr) == (0, ""), done.stderr
        assert done.stdout.startswith("Usage: fernwood2 [GALLERY]\n") and "--demo" in done.stdout
    done = run("--version", cwd=tmp_path)
    assert (done.returncode, done.stderr) == (0, "")
    changelog = (ROOT / "debian" / "changelog").read_text().split("\n", 1)[0]
    assert done.stdout == "fernwood2 %s\n" % changelog.split("(")[1].split(")")[0]
    assert list(tmp_path.iterdir()) == []


def test_a_bad_argument_is_one_line_and_status_2_with_nothing_written(tmp_path):
    gallery = make_gallery(tmp_path / "g")
    file = gallery / "Data" / "PlayTable.txt"
    before = tree(tmp_path)
    cases = [((tmp_path / "missing",), "missing: no such folder"), ((file,), "PlayTable.txt: not a folder"),
             (("--bogus",), "unknown option --bogus"), ((gallery, gallery), "one gallery folder at most"),
             ((gallery, "--help"), "one gallery folder at most")]
    for args, expected in cases:
        done = run(*args, cwd=gallery)
        assert done.returncode == 2 and done.stdout == "", (args, done)
        assert done.stderr.startswith("fernwood2: ") and done.stderr.count("\n") == 1 and expected in done.stderr, args
    assert tree(tmp_path) == before


@pytest.mark.skipif(os.geteuid() != 0, reason="makes a folder that another user (nobody) may not read")
def test_an_unreadable_folder_is_one_line_and_status_2():
    place = Path(tempfile.mkdtemp(prefix="fw-unreadable-"))
    try:
        os.chmod(place, 0o755)
        gallery = make_gallery(place / "g")
        os.chmod(gallery, 0o700)  # root's: nobody may not enter it
        done = run(gallery, cwd="/", user=65534)
        assert done.returncode == 2 and done.stdout == "" and done.stderr.count("\n") == 1, done
        assert done.stderr == f"fernwood2: {gallery}: cannot open the folder: Permission denied\n"
        assert not (gallery / "GameData.sys").exists()
    finally:
        shutil.rmtree(place)


def test_a_folder_argument_is_the_gallery_wherever_the_player_starts(launch, tmp_path):
    gallery = make_gallery(tmp_path / "g", volume=-1200)
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    app = start_player(launch, elsewhere, "../g")
    wait_for_shot(app, main_check(video=RED, playing=True, volume_x=volume_knob_x(-1200)),
                  what="the gallery's clip at volume -1200")
    assert close_player(app) == 1
    assert read_save(gallery)[0] == -1200 and list(elsewhere.iterdir()) == []


@pytest.fixture
def installed(tmp_path):
    """The player as installed under a prefix: bin/fernwood2 and a read-only share/fernwood2/demo."""
    prefix = tmp_path / "usr"
    (prefix / "bin").mkdir(parents=True)
    try:
        os.link(PLAYER, prefix / "bin" / "fernwood2")
    except OSError:
        shutil.copy2(PLAYER, prefix / "bin" / "fernwood2")
    demo = make_gallery(prefix / "share" / "fernwood2" / "demo", volume=-2500)
    for path in [demo, *demo.rglob("*")]:
        os.chmod(path, 0o555 if path.is_dir() else 0o444)
    yield prefix
    for path in [demo, *demo.rglob("*")]:
        os.chmod(path, 0o755)


def start_demo(launch, prefix, cwd, **env):
    app = launch(prefix / "bin" / "fernwood2", cwd, "--demo", **env)
    app.find_window()
    return app


def test_demo_is_copied_on_first_start_reused_later_and_never_written(launch, installed, tmp_path):
    demo, home = installed / "share" / "fernwood2" / "demo", tmp_path / "home"
    source = tree(demo)
    # XDG_DATA_HOME empty counts as unset: ~/.local/share. GStreamer keeps its registry where it was.
    environment = {"HOME": str(home), "XDG_DATA_HOME": "",
                   "XDG_CACHE_HOME": os.environ.get("XDG_CACHE_HOME", str(Path.home() / ".cache"))}
    app = start_demo(launch, installed, tmp_path, **environment)
    copy = home / ".local" / "share" / "fernwood2" / "demo"
    wait_for_shot(app, main_check(video=RED, playing=True, volume_x=volume_knob_x(-2500)), what="the demo's clip")
    assert close_player(app) == 1
    assert read_save(copy)[0] == -2500 and (copy / "movies" / "clip0.mpg").read_bytes() == \
        (demo / "movies" / "clip0.mpg").read_bytes()
    assert all(path.stat().st_mode & stat.S_IWUSR for path in [copy, *copy.rglob("*")])
    assert not list(copy.parent.glob(".demo-*")) and tree(demo) == source
    (copy / "GameData.sys").write_bytes((-600).to_bytes(4, "little", signed=True) + bytes(64))
    app = start_demo(launch, installed, tmp_path, **environment)  # the copy, as the user left it
    wait_for_shot(app, main_check(video=RED, playing=True, volume_x=volume_knob_x(-600)), what="the copy's volume")
    assert close_player(app) == 1
    assert read_save(copy)[0] == -600 and tree(demo) == source


def test_demo_names_a_data_folder_that_cannot_be_made_and_a_demo_not_installed(installed, tmp_path):
    blocker = tmp_path / "a-file"
    blocker.write_text("")
    done = run("--demo", cwd=tmp_path, env={"XDG_DATA_HOME": str(blocker / "data")},
               program=installed / "bin" / "fernwood2")
    assert done.returncode == 2 and done.stderr.count("\n") == 1, done
    assert done.stderr.startswith(f"fernwood2: cannot make the folder {blocker}/data/fernwood2: ")
    uninstalled = tmp_path / "bare" / "bin"
    uninstalled.mkdir(parents=True)
    shutil.copy2(PLAYER, uninstalled / "fernwood2")
    done = run("--demo", cwd=tmp_path, program=uninstalled / "fernwood2")
    assert done.returncode == 2 and "demo gallery is not installed" in done.stderr and done.stderr.count("\n") == 1
