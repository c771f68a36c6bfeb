"""The shutdown save killed at every step, on a full disk and in a folder turned read-only:
"GameData.sys" is the old 68 bytes or the new, and nothing else is left."""
import os
import subprocess
import time
from pathlib import Path

import pytest

from conftest import PLAYER, make_gallery, skip_without_player, top_level_windows, wait_for_window

pytestmark = skip_without_player
SAVE_FAILED = "Error!!: \u30c7\u30fc\u30bf\u306e\u30bb\u30fc\u30d6\u306b\u5931\u6557\u3057\u307e\u3057\u305f"
TIMER_FRACTIONS = (0.1, 0.25, 0.4, 0.55, 0.7, 0.85)  # of the time to the next call, at most 1 ms


def old_and_new(volume):  # the file the test leaves, and what the player writes after loading item 0
    old = volume.to_bytes(4, "little", signed=True) + bytes(64)
    return old, old[:4] + b"\x01" + bytes(63)


def run_and_close(launch, folder, **env):
    app = launch.player(folder, **env)
    app.window = wait_for_window("Fernwood2", alive=app.running)  # a normal start: no box either
    assert "Error!!" not in app.stderr, app.stderr
    app.close()
    return app.wait(30)


@pytest.fixture(scope="module")
def shim(tmp_path_factory):
    if b"__asan_init" in PLAYER.read_bytes():
        pytest.skip("the sanitizer runtime has to be the first library loaded")
    library = tmp_path_factory.mktemp("shim") / "save_kill_shim.so"
    subprocess.run(["gcc", "-shared", "-fPIC", "-O2", "-Wall", "-Werror", "-o", str(library),
                    str(Path(__file__).with_name("save_kill_shim.c"))], check=True)
    return str(library)


def test_killed_at_any_instant_of_the_save_leaves_the_old_or_the_new_file(launch, tmp_path, shim):
    folder = make_gallery(tmp_path / "g")
    save, stale = folder / "GameData.sys", folder / "GameData.sys.tmp"
    save.write_bytes(old_and_new(-100)[0])
    log = tmp_path / "save.log"
    assert run_and_close(launch, folder, LD_PRELOAD=shim, FW_SAVE_LOG=str(log)) == 1
    calls = [line.split() for line in log.read_text().splitlines()]
    names, times = [name for _, name, _ in calls], [int(ns) for _, _, ns in calls]
    assert names.count("rename") == 2, names  # the save and the destructor's second save
    first_rename = names.index("rename")
    instants = [(n, delay) for n in range(len(calls)) for delay in (0, -1)]
    instants += [(n, max(1, int(fraction * min(times[n + 1] - times[n], 1000000)))) for n in range(len(calls) - 1)
                 for fraction in TIMER_FRACTIONS]
    assert len(instants) >= 200
    outcomes = {"old": 0, "new": 0}
    for volume, (n, delay) in enumerate(instants):
        old, new = old_and_new(-volume)
        save.write_bytes(old)
        status = run_and_close(launch, folder, LD_PRELOAD=shim, FW_KILL_AT="%d %d" % (n, delay))
        assert status == -9, "not killed at call %d (%s) + %d ns: status %s" % (n, names[n], delay, status)
        found = save.read_bytes()
        assert found in (old, new), "call %d (%s) + %d ns left %r" % (n, names[n], delay, found)
        if delay <= 0:
            assert (found == new) == (n > first_rename or (n == first_rename and delay < 0)), (n, names[n], delay)
        outcomes["old" if found == old else "new"] += 1
    print("%d kills over %d calls %s: %s" % (len(instants), len(calls), names, outcomes))
    stale.write_bytes(b"\xff" * 1000)
    old, new = old_and_new(-4999)
    save.write_bytes(old)
    assert run_and_close(launch, folder) == 1
    assert save.read_bytes() == new and not stale.exists()


@pytest.fixture
def small_disk(tmp_path):
    mount = tmp_path / "small"
    mount.mkdir()
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k,mode=0755", "tmpfs", str(mount)], check=True)
    yield mount
    subprocess.run(["umount", "-l", str(mount)], check=True)


@pytest.mark.skipif(os.geteuid() != 0, reason="mounts a file system of its own")
@pytest.mark.parametrize("before, while_running", [("dd if=/dev/zero of={}/filler bs=4k", None),
                                                    (None, "mount -o remount,ro {}")], ids=["full", "read-only"])
def test_a_save_that_cannot_be_written_says_so_and_keeps_the_old_file(launch, tmp_path, small_disk, before,
                                                                       while_running):
    gallery = make_gallery(tmp_path / "g")
    for name in ("Bmp", "Data", "movies"):  # the pictures and clips are far bigger than the disk
        (small_disk / name).symlink_to(gallery / name)
    (small_disk / "GameData.sys").write_bytes(old := old_and_new(-2500)[0])
    if before:  # fails when the disk is full
        subprocess.run(before.format(small_disk).split(), stderr=subprocess.DEVNULL)
    left = sorted(os.listdir(small_disk))
    app = launch.player(small_disk)
    app.find_window()
    if while_running:
        subprocess.run(while_running.format(small_disk).split(), check=True)
    app.close()
    deadline = time.monotonic() + 60  # Return on the boxes (the second may reuse the first's window id)
    while app.running() and time.monotonic() < deadline:
        for box in [window for window, name in top_level_windows() if name == "Error!!"]:
            subprocess.run(["xdotool", "windowfocus", str(box), "key", "Return"], stderr=subprocess.DEVNULL)
        time.sleep(0.3)
    assert app.wait(1) == 1
    assert app.stderr.splitlines().count(SAVE_FAILED) == 2, app.stderr
    assert (small_disk / "GameData.sys").read_bytes() == old
    assert sorted(os.listdir(small_disk)) == left
