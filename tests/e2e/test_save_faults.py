"""The shutdown save killed at every step: "GameData.sys" is the old 68 bytes or the new, and
nothing else is left. A save that cannot be written is the unit tests' (test_save_data.cpp)."""
import subprocess
from pathlib import Path

import pytest

from conftest import PLAYER, make_gallery, skip_without_player, wait_for_window

pytestmark = skip_without_player
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
