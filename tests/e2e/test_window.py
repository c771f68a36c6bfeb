"""The Win32 window, capture and message boxes on SDL2: win32_probe prints its messages."""
import re
import subprocess
import time

import numpy as np
import pytest

from conftest import (PROBES, dismiss_message_box, grab, make_gallery, skip_without_player, top_level_windows,
                      wait_for_window, window_rect)

PROBE = PROBES / "win32_probe"
PROBE_TITLE = "Probe\u30d7\u30ed\u30fc\u30d6"  # given in code page 932
PLAY_TABLE_FAILED = "Error!!: \u518d\u751f\u30c6\u30fc\u30d6\u30eb\u306e\u8aad\u8fbc\u307f\u306b\u5931\u6557\u3057\u307e\u3057\u305f"
MOVE = re.compile(r"^WM_MOUSEMOVE (\d+) (\d+) (\d+) cursor (-?\d+) (-?\d+) clientx (-?\d+)$", re.MULTILINE)

needs_probe = pytest.mark.skipif(not PROBE.exists(), reason=f"{PROBE} is not built")


def signed16(value):
    return value - 65536 if value >= 32768 else value


def first_text_line(window):
    """Glyphs and width of the first line of ink (far from the most common colour) in a window."""
    shot = grab(*window_rect(window)).astype(int)
    colours, counts = np.unique(shot.reshape(-1, 3), axis=0, return_counts=True)
    ink = np.abs(shot - colours[counts.argmax()]).sum(axis=2) > 120
    rows = np.flatnonzero(ink.any(axis=1))
    if len(rows) == 0:
        return 0, 0
    line = rows[:np.argmax(np.diff(np.append(rows, rows[-1] + 2)) > 1) + 1]
    columns = np.flatnonzero(ink[line].any(axis=0))
    return int(np.sum(np.diff(columns) > 1) + 1), int(columns[-1] - columns[0] + 1)


@needs_probe
def test_capture_keeps_moves_outside_the_window_cursor_follows_and_close_ends_it(launch, tmp_path):
    app = launch(PROBE, tmp_path)
    app.find_window(PROBE_TITLE)
    app.wait_for_output(r"^ready$")
    left, top, _, _ = app.client_rect()
    app.move(100, 50)
    app.down()  # captured: left of and above the window the halves arrive as 65536 minus the distance
    path = [(40, 60), (-60, 70), (-140, -30), (900, 650), (20, 20)]
    for x, y in path:
        app.move(x, y)
    app.up()
    app.wait_for_output(r"^WM_CAPTURECHANGED$")
    text = app.stdout
    moves = [tuple(map(int, m.groups())) for m in MOVE.finditer(text, text.index("WM_LBUTTONDOWN"))]
    assert [(signed16(lx), signed16(ly)) for lx, ly, *_ in moves] == path
    for lx, ly, *rest in moves:  # MK_LBUTTON, the cursor on the screen, the client x
        assert rest == [1, left + signed16(lx), top + signed16(ly), signed16(lx)]
    app.move(-100, 50)  # released: moves outside the window no longer arrive
    app.move(30, 40)
    app.wait_for_output(r"^WM_MOUSEMOVE 30 40 0 ")
    text = app.stdout
    assert all(signed16(int(m.group(1))) >= 0 for m in MOVE.finditer(text, text.index("WM_CAPTURECHANGED")))
    app.close()
    assert app.wait() == 7
    tail = [line for line in app.stdout.splitlines() if line.startswith(("WM_CLOSE", "WM_DESTROY", "WM_QUIT"))]
    assert tail == ["WM_CLOSE", "WM_DESTROY", "WM_QUIT 0"]


@skip_without_player
def test_player_window_and_its_message_box_without_a_play_table(launch, tmp_path):
    gallery = make_gallery(tmp_path / "gallery")
    (gallery / "Data" / "PlayTable.txt").unlink()
    app = launch.player(gallery)
    main = app.find_window("Fernwood2")
    assert app.client_rect()[2:] == (800, 600)
    icon = subprocess.run(["xprop", "-id", str(main), "-notype", "32c", "_NET_WM_ICON"], capture_output=True,
                          text=True, timeout=10).stdout
    assert re.findall(r"\d+", icon.partition("=")[2])[:2] == ["32", "32"]  # the first image's width and height
    box = wait_for_window("Error!!", alive=app.running)
    owner = subprocess.run(["xprop", "-id", str(box), "WM_TRANSIENT_FOR"], capture_output=True, text=True,
                           timeout=10).stdout
    assert int(re.search(r"window id # (0x[0-9a-f]+)", owner).group(1), 16) == main  # the box is the window's
    time.sleep(0.5)  # drawn
    glyphs, width = first_text_line(box)
    # Its 17 characters: fewer glyphs if the font lacks them, far more if the text is garbled.
    assert 17 <= glyphs <= 26 and width >= 17 * 12, (glyphs, width)
    time.sleep(1)
    assert app.running() and box in [window for window, _ in top_level_windows()]  # it waits to be dismissed
    dismiss_message_box("Error!!", alive=app.running)
    assert app.wait() == 1
    assert app.stderr.splitlines() == [PLAY_TABLE_FAILED]  # the box was shown; nothing else was said


@skip_without_player
def test_without_a_display_the_player_says_so_and_ends(launch, tmp_path):  # instead of playing unseen
    app = launch.player(make_gallery(tmp_path / "gallery"), DISPLAY="")
    assert app.wait(60) == 1
    no_window = "Error!!: \u30a6\u30a3\u30f3\u30c9\u30a6\u306e\u4f5c\u6210\u306b\u5931\u6557\u3057\u307e\u3057\u305f"
    assert app.stderr.splitlines()[:2] == ["fernwood2: no display: x11 not available", no_window]
