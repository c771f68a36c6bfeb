"""The Win32 window, message loop, capture, cursor and message boxes on SDL2.

The probe program (tests/e2e/probes/win32_probe.cpp) uses the subset as the player
does and prints every message its window procedure receives; the player tests
check the same things on the real program.
"""
import os
import re
import subprocess
import time

import pytest

from conftest import PROBES, dismiss_message_box, make_gallery, skip_without_player, wait_for_window, xdotool

PROBE = PROBES / "win32_probe"
PROBE_TITLE = "Probe\u30d7\u30ed\u30fc\u30d6"  # the window name, given in code page 932
PLAY_TABLE_FAILED = "Error!!: \u518d\u751f\u30c6\u30fc\u30d6\u30eb\u306e\u8aad\u8fbc\u307f\u306b\u5931\u6557\u3057\u307e\u3057\u305f"

needs_probe = pytest.mark.skipif(not PROBE.exists(), reason=f"{PROBE} is not built (tests are off?)")

MOVE = re.compile(r"^WM_MOUSEMOVE (\d+) (\d+) (\d+) cursor (-?\d+) (-?\d+) clientx (-?\d+)$", re.MULTILINE)


def window_icon_size(window):
    """Width and height of the first image in _NET_WM_ICON, or None."""
    out = subprocess.run(["xprop", "-id", str(window), "-notype", "32c", "_NET_WM_ICON"], capture_output=True,
                         text=True, timeout=10).stdout
    numbers = re.findall(r"\d+", out.partition("=")[2])
    return (int(numbers[0]), int(numbers[1])) if len(numbers) >= 2 else None


def signed16(value):
    return value - 65536 if value >= 32768 else value


def start_probe(launch, tmp_path, *args):
    app = launch(PROBE, tmp_path, *args)
    app.find_window(PROBE_TITLE)
    app.wait_for_output(r"^ready ")
    return app


def moves_after(app, marker):
    """The WM_MOUSEMOVE lines logged after the line that starts with marker."""
    text = app.stdout
    return [tuple(int(v) for v in m.groups()) for m in MOVE.finditer(text, text.rindex(marker))]


@needs_probe
def test_window_has_800x600_client_area_title_icon_and_frame_metrics(launch, tmp_path):
    app = start_probe(launch, tmp_path)
    x, y, width, height = app.client_rect()
    assert (width, height) == (800, 600)
    assert window_icon_size(app.window) == (32, 32)
    log = app.stdout
    assert "CoInitialize 0 1" in log  # S_OK, then S_FALSE on the same thread
    assert "icon 1 cursor 1" in log
    assert "WM_SIZE 800 600" in log
    assert f"WM_MOVE {x} {y}" in log
    # GetWindowRect is the client rectangle widened by the same frame the outer size
    # was computed with, so the frame's left border is exactly what cursorClientX takes off.
    outer_w, outer_h, left, top, right, bottom = map(int, re.search(
        r"^ready outer (\d+) (\d+) window (-?\d+) (-?\d+) (-?\d+) (-?\d+)$", log, re.MULTILINE).groups())
    assert (right - left, bottom - top) == (outer_w, outer_h)
    assert left < x and top < y and right > x + 800 and bottom > y + 600
    assert (x - left) == (right - x - 800)  # the same border on both sides


def focus_root():
    """Takes the keyboard focus away from every window, as a closed dialog may leave it."""
    root = re.search(r"Window id: (0x[0-9a-f]+)", subprocess.run(["xwininfo", "-root"], capture_output=True,
                                                                  text=True, timeout=10).stdout).group(1)
    xdotool("windowfocus", root)


@needs_probe
@pytest.mark.parametrize("focused", [True, False], ids=["focused", "focus-elsewhere"])
def test_capture_keeps_moves_outside_the_window_and_cursor_follows_the_drag(launch, tmp_path, focused):
    app = start_probe(launch, tmp_path)
    left, top, _, _ = app.client_rect()
    if not focused:
        focus_root()
    app.move(100, 50)
    app.down()
    app.wait_for_output(r"^WM_LBUTTONDOWN 100 50 1 linked 1$")
    # Captured: left of and above the window the halves arrive as 65536 minus the distance.
    path = [(40, 60), (-60, 70), (-140, -30), (900, 650), (20, 20)]
    for x, y in path:
        app.move(x, y)
    app.up()
    app.wait_for_output(r"^WM_LBUTTONUP 20 20 0 rbutton 0$")
    app.wait_for_output(r"^WM_CAPTURECHANGED$")
    moves = moves_after(app, "WM_LBUTTONDOWN")
    seen = [(signed16(lx), signed16(ly)) for lx, ly, *_ in moves]
    assert seen == path
    for lx, ly, flags, cursor_x, cursor_y, client_x in moves:
        assert flags == 1  # MK_LBUTTON
        # GetCursorPos follows the pointer moved with XTEST, and the window's
        # rectangle and border metrics give back the client x.
        assert (cursor_x, cursor_y) == (left + signed16(lx), top + signed16(ly))
        assert client_x == signed16(lx)
    assert (65536 - 60, 70) in [(lx, ly) for lx, ly, *_ in moves]

    # Released: moves outside the window no longer arrive.
    app.move(-100, 50)
    app.move(30, 40)
    app.wait_for_output(r"^WM_MOUSEMOVE 30 40 0 ")
    assert all(signed16(lx) >= 0 for lx, *_ in moves_after(app, "WM_CAPTURECHANGED"))


@needs_probe
def test_capture_lasts_while_either_button_is_held(launch, tmp_path):
    app = start_probe(launch, tmp_path)
    app.move(200, 200)
    app.down(1)
    app.down(3)
    app.up(1)
    app.wait_for_output(r"^WM_LBUTTONUP 200 200 2 rbutton 1$")  # MK_RBUTTON still held
    app.move(-50, 200)
    app.wait_for_output(r"^WM_MOUSEMOVE %d 200 2 " % (65536 - 50))
    assert "WM_CAPTURECHANGED" not in app.stdout
    app.up(3)
    app.wait_for_output(r"^WM_RBUTTONUP 65486 200 0 lbutton 0$")
    app.wait_for_output(r"^WM_CAPTURECHANGED$")
    assert "DBLCLK" not in app.stdout


@needs_probe
def test_closing_sends_close_destroy_and_quit_and_exit_status_is_winmains(launch, tmp_path):
    app = start_probe(launch, tmp_path)
    app.close()
    assert app.wait() == 7
    tail = [line for line in app.stdout.splitlines() if line.startswith(("WM_CLOSE", "WM_DESTROY", "WM_QUIT"))]
    assert tail == ["WM_CLOSE", "WM_DESTROY", "WM_QUIT 0"]


@needs_probe
def test_repaint_requests_wake_a_blocked_get_message_and_coalesce(launch, tmp_path):
    app = start_probe(launch, tmp_path, "blocking")
    app.wait_for_output(r"^requests done$", timeout=10)
    app.close()
    assert app.wait() == 7
    lines = app.stdout.splitlines()
    # Between markers: how many repaints ran.
    segments, count = [], None
    for line in lines:
        if line == "batch" or line.startswith("burst") or line == "requests done":
            if count is not None:
                segments.append(count)
            count = 0
        elif line.startswith("repaint") and count is not None:
            count += 1
    # Ten requests made before anything pumps give one repaint (the window's first
    # exposure may add its own); every burst from the other thread wakes the loop.
    assert 1 <= segments[0] <= 2
    assert len(segments) == 6 and all(count >= 1 for count in segments[1:])
    assert all(count <= 10 for count in segments[1:])


@needs_probe
def test_message_box_writes_stderr_and_is_dismissed_with_return(launch, tmp_path):
    app = launch(PROBE, tmp_path, "messagebox")
    box = dismiss_message_box("Error!!", alive=app.running)
    assert box is not None
    assert app.wait() == 3
    assert PLAY_TABLE_FAILED in app.stderr.splitlines()
    assert "MessageBoxA 1" in app.stdout


@needs_probe
def test_message_box_without_display_still_reaches_stderr(tmp_path):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    done = subprocess.run([str(PROBE), "messagebox"], cwd=tmp_path, env=env, capture_output=True, timeout=20)
    assert done.returncode == 3
    assert PLAY_TABLE_FAILED in done.stderr.decode("utf-8").splitlines()
    assert "MessageBoxA 1" in done.stdout.decode()


# --- The player -----------------------------------------------------------------------

@skip_without_player
def test_player_window_is_fernwood2_800x600_with_icon_and_closing_saves(launch, tmp_path):
    gallery = make_gallery(tmp_path / "gallery")
    app = launch.player(gallery)
    app.find_window("Fernwood2")
    assert app.client_rect()[2:] == (800, 600)
    assert window_icon_size(app.window) == (32, 32)
    time.sleep(1)
    app.close()
    assert app.wait() == 1
    assert (gallery / "GameData.sys").stat().st_size == 68
    assert "Error!!" not in app.stderr


@skip_without_player
def test_player_without_play_table_shows_its_message_then_exits_and_saves(launch, tmp_path):
    gallery = make_gallery(tmp_path / "gallery")
    (gallery / "Data" / "PlayTable.txt").unlink()
    app = launch.player(gallery)
    main = app.find_window("Fernwood2")
    box = wait_for_window("Error!!", alive=app.running)
    owner = subprocess.run(["xprop", "-id", str(box), "WM_TRANSIENT_FOR"], capture_output=True, text=True,
                           timeout=10).stdout
    owner_id = re.search(r"window id # (0x[0-9a-f]+)", owner)
    assert owner_id and int(owner_id.group(1), 16) == main  # the box belongs to the main window
    dismiss_message_box("Error!!", alive=app.running)
    assert app.wait() == 1
    assert app.stderr.splitlines().count(PLAY_TABLE_FAILED) == 1
    save = (gallery / "GameData.sys").read_bytes()
    assert save == bytes(68)  # volume 0, nothing unlocked: no movie was loaded


@needs_probe
def test_moving_the_window_sends_wm_move_and_keeps_the_cursor_arithmetic(launch, tmp_path):
    app = start_probe(launch, tmp_path)
    xdotool("windowmove", "--sync", app.window, 300, 150)
    app.wait_for_output(r"^WM_MOVE 300 150$")
    assert app.client_rect()[:2] == (300, 150)
    app.move(10, 20)
    match = app.wait_for_output(r"^WM_MOUSEMOVE 10 20 0 cursor (\d+) (\d+) clientx (-?\d+)$")
    assert tuple(map(int, match.groups())) == (310, 170, 10)
