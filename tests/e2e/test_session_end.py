"""The player ended from outside as a desktop session ends it (the terminal closing, an
interrupt, a termination request, the X server going away) keeps what the run unlocked and
the volume, whatever it was doing at that moment."""
import os
import shutil
import signal
import subprocess
import time

import pytest

from conftest import (BLUE, GREEN, MOVIE_FAILED, NEUTRAL, NEXT, PLAYER, RED, VOLUME_Y, close_player, colour_clips,
                      flags_of, make_gallery, poll, read_save, skip_without_player, start_player, top_level_windows,
                      video_sample, volume_for_x, wait_for_window)

pytestmark = skip_without_player



def gallery(tmp_path, play_table=None):  # three endless items; the save starts at volume -100
    red, green, blue = colour_clips([RED], [GREEN], [BLUE])
    clips = {"red.mpg": red, "green.mpg": green, "blue.mpg": blue}
    return make_gallery(tmp_path / "g", clips, play_table, "3\n0 0\n1 0\n2 0\n", volume=-100)


def unlock_next_and_set_volume(app, volume_x, release=True):
    app.click(*NEXT)
    poll(lambda: video_sample(app, [GREEN]), 10, "item 1 (green) did not come", 0.05)
    app.move(volume_x, VOLUME_Y)
    app.down()
    app.move(volume_x + 20, VOLUME_Y)  # a drag, one frame later
    time.sleep(0.1)
    if release:
        app.up()
        app.move(*NEUTRAL)
    return volume_for_x(volume_x + 20)


def ended_within(app, seconds):
    started = time.monotonic()
    status = app.wait(seconds + 5)
    assert time.monotonic() - started <= seconds, "the player took %.1f s to end" % (time.monotonic() - started)
    return status


@pytest.mark.parametrize("number", [signal.SIGHUP, signal.SIGTERM, signal.SIGINT], ids=lambda n: n.name)
def test_a_signal_closes_saves_and_ends_normally_even_mid_drag_and_when_repeated(launch, tmp_path, number):
    folder = gallery(tmp_path)
    app = start_player(launch, folder)
    volume = unlock_next_and_set_volume(app, 150, release=number != signal.SIGINT)  # SIGINT: the knob still held
    app.process.send_signal(number)
    if number == signal.SIGTERM:  # more in quick succession: the save is not cut short
        for again in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
            time.sleep(0.005)
            app.process.send_signal(again)
    assert ended_within(app, 1.5) == 1  # WinMain's result, as after the close button
    assert read_save(folder) == (volume, flags_of(0, 1))
    assert app.stderr == "" and not (folder / "GameData.sys.tmp").exists()
    if number == signal.SIGINT:
        app.up()


def test_a_signal_while_a_message_box_is_up_closes_it_and_saves(launch, tmp_path):
    folder = gallery(tmp_path, 'SingleItem "movies/red.mpg" 0\nSingleItem "movies/gone.mpg" 0\nEnd\n')
    app = start_player(launch, folder)
    app.click(*NEXT)  # item 1's clip is missing: its box, owned by the player's window
    box = wait_for_window("Error!!", alive=app.running)
    app.process.send_signal(signal.SIGHUP)
    assert ended_within(app, 1.5) == 1
    assert box not in [window for window, _ in top_level_windows()]
    assert read_save(folder) == (-100, flags_of(0, 1))  # the failed clip is unlocked before it is opened
    assert app.stderr.splitlines() == [MOVIE_FAILED]


def test_under_nohup_the_player_outlives_the_terminals_hang_up(launch, tmp_path):
    folder = gallery(tmp_path)
    app = launch(shutil.which("nohup"), folder, PLAYER)
    app.find_window()
    app.process.send_signal(signal.SIGHUP)
    time.sleep(1)
    assert app.running()
    assert close_player(app) == 1
    assert read_save(folder) == (-100, flags_of(0))


def test_a_signal_during_start_up_ends_the_player_once_it_can_save(launch, tmp_path):
    folder = gallery(tmp_path)
    app = launch.player(folder)
    time.sleep(0.15)  # in start-up: libraries, the window, the first clip's graph
    app.process.send_signal(signal.SIGHUP)
    assert ended_within(app, 3) == 1
    assert read_save(folder) == (-100, flags_of(0))


@pytest.mark.parametrize("renderer", ["cpu", "gl"])
def test_the_x_server_going_away_saves_before_the_player_ends(launch, tmp_path, renderer):
    folder = gallery(tmp_path)
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
                               "tcp"], pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    try:
        with os.fdopen(read_end) as pipe:
            display = ":" + pipe.readline().strip()
        app = launch.player(folder, DISPLAY=display, FW_RENDERER=renderer)
        poll(lambda: b"Fernwood2" in subprocess.run(["xwininfo", "-root", "-children"], capture_output=True,
                                                    env=dict(os.environ, DISPLAY=display)).stdout,
             20, "no player window on the second display")
        time.sleep(0.5)
        xdotool = ["xdotool", "search", "--name", "^Fernwood2$", "mousemove", "--window", "%1"]
        subprocess.run(xdotool + [str(NEXT[0]), str(NEXT[1]), "click", "1"], env=dict(os.environ, DISPLAY=display),
                       check=True, timeout=10)
        time.sleep(0.3)
        server.terminate()
        server.wait(10)
        assert ended_within(app, 2) == 1
        assert read_save(folder) == (-100, flags_of(0, 1))
        assert app.stderr == "fernwood2: the display went away; ending\n"
    finally:
        server.kill()
        server.wait(10)
