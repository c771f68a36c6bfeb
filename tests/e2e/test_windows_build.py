"""The Windows build: its resources, read out of the exe, and the build run under Wine 10
(scripts/test-windows runs this file in a Debian 13 root; the prefix build/wine-prefix-<version>
is made once). Where Wine is not faithful to Windows the case is a strict expected failure naming
Wine's fault (docs/wine.md)."""
import os
import re
import shutil
import struct
import subprocess
import sys
import time

import pytest

from conftest import (BUILD, NEUTRAL, RED, ROOT, cached, cell_centre, colour_clips, flags_of, gallery_check,
                      main_check, make_gallery, poll, press, read_save, volume_for_x, volume_knob_x, wait_for_shot)

sys.path.insert(0, str(ROOT / "tools" / "demo"))
import make_demo  # noqa: E402

EXE, PROBE = BUILD / "windows" / "fernwood2.exe", BUILD / "windows" / "graph_probe.exe"
needs_exe = pytest.mark.skipif(not EXE.exists(), reason="needs the Windows build (scripts/build-windows)")


def wine_version():
    if not shutil.which("wine"):
        return None
    out = subprocess.run(["wine", "--version"], capture_output=True, text=True, timeout=60,
                         env=dict(os.environ, WINEDEBUG="-all")).stdout
    found = re.match(r"wine-(\d+)\.(\d+)", out)
    return found and (int(found[1]), int(found[2]))


WINE = wine_version()
needs_wine = pytest.mark.skipif(not (EXE.exists() and PROBE.exists() and WINE and WINE >= (10, 0)),
                                reason="needs Wine 10 and the Windows build: scripts/test-windows runs it")
STALE_COMPLETION = "Wine's graph keeps its completion event set from the first clip's end on"


@pytest.fixture
def wine():  # killing wine's launcher leaves the Windows processes: the test ends them all
    os.environ.update(WINEPREFIX=str(BUILD / ("wine-prefix-%d.%d" % WINE)), WINEDEBUG="-all",
                      WINEDLLOVERRIDES="mscoree,mshtml=")
    if not os.path.exists(os.path.join(os.environ["WINEPREFIX"], "system.reg")):
        subprocess.run(["wineboot", "--init"], capture_output=True, timeout=600, check=True)
    yield
    subprocess.run(["wineserver", "--kill"], timeout=60)
    subprocess.run(["wineserver", "--wait"], timeout=60)


# --- The resources ---------------------------------------------------------------------------
def pe_resources(data):
    """{(type, id): bytes} of a PE file's resource section (ids only, first language)."""
    header = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", data, header + 6)
    optional = header + 24
    resource_rva = struct.unpack_from("<I", data, optional + 112 + 2 * 8)[0]  # PE32+: data directory 2
    table = optional + optional_size
    for index in range(sections):
        size, rva, _, offset = struct.unpack_from("<IIII", data, table + 40 * index + 8)
        if rva <= resource_rva < rva + size:
            base = offset + resource_rva - rva
            break

    def entries(directory):
        named, ids = struct.unpack_from("<HH", data, base + directory + 12)
        for entry in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * entry)
            yield name, target

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names & 0x7FFFFFFF):
            _, leaf = next(entries(languages & 0x7FFFFFFF))
            leaf_rva, leaf_size = struct.unpack_from("<II", data, base + leaf)
            found[(kind, name)] = data[offset + leaf_rva - rva:offset + leaf_rva - rva + leaf_size]
    return found


def version_string(block, key):
    """A StringFileInfo value of a VS_VERSIONINFO block: its UTF-16 key, NULs, then the value."""
    return re.search(key + "\0+([^\0]+)", block.decode("utf-16-le"))[1]


@needs_exe
def test_exe_carries_its_manifest_and_version():
    resources = pe_resources(EXE.read_bytes())
    assert (3, 1) in resources, "no icon"  # RT_ICON: MAINICON's images
    version = re.search(r"project\(fernwood2 VERSION ([\d.]+)", (ROOT / "CMakeLists.txt").read_text())[1]
    manifest = resources[(24, 1)]  # RT_MANIFEST, the process's own: res/fernwood2.manifest with the version
    assert manifest == (ROOT / "res/fernwood2.manifest").read_bytes().replace(b"@PROJECT_VERSION@", version.encode())
    assert b">false</dpiAware>" in manifest and b">unaware</dpiAwareness>" in manifest  # Windows scales the window
    block = resources[(16, 1)]  # RT_VERSION
    assert version_string(block, "ProductName") == "Fernwood2"
    assert version_string(block, "FileDescription") == "Fernwood2 movie gallery player"
    assert version_string(block, "ProductVersion") == version_string(block, "FileVersion") == version
    major_minor, patch_build = struct.unpack_from("<II", block, block.index(struct.pack("<I", 0xFEEF04BD)) + 8)
    fixed = (major_minor >> 16, major_minor & 0xFFFF, patch_build >> 16, patch_build & 0xFFFF)
    assert fixed == tuple(int(part) for part in version.split(".")) + (0,)


# --- Under Wine --------------------------------------------------------------------------------
def clip(extension, seconds=3, profile="linux"):  # red, with sound, in one of the demo's formats
    name, picture = f"red-{seconds}s-{profile}{extension}", "pattern=solid-color foreground-color=0xffff0000"
    formats = make_demo.profile_formats(profile)
    return cached(name, lambda partial: make_demo.gst_launch(
        make_demo.clip_pipeline((name, "", picture, "sine", 440, seconds), partial, False, formats), name))


def start_exe(launch, folder):
    app = launch(shutil.which("wine"), folder, EXE)
    app.find_window(timeout=60)
    # The X window is the client area and its 2-pixel edge; Wine may map it before sizing it.
    left, top, _, _ = poll(lambda: (rect := app.client_rect())[2:] == (804, 604) and rect, 10,
                           lambda: "the window is %s, not 804 x 604" % (app.client_rect(),))
    app.rect = (left + 2, top + 2, 800, 600)
    app.move(*NEUTRAL)
    return app


def close_exe(app):  # the process must be gone within 5 s of the close
    app.close()
    started = time.monotonic()
    try:
        status = app.wait(5)
    except subprocess.TimeoutExpired:
        pytest.fail("the process still runs 5 s after the window's close")
    assert "Error!!" not in app.stderr, app.stderr
    return status, time.monotonic() - started


@pytest.fixture
def gallery(tmp_path):  # items 0 and 1: a 3-second red MP4 each, repeating
    table = 'SingleItem "movies/a.mp4" 0\nSingleItem "movies/b.mp4" 0\nEnd\n'
    return lambda: make_gallery(tmp_path / "g", {"a.mp4": clip(".mp4"), "b.mp4": clip(".mp4")}, table, "2\n0 0\n1 0\n")


@needs_wine
def test_main_screen_video_and_gallery_show_as_on_linux_and_the_save_is_kept(wine, launch, gallery):
    folder = gallery()
    app = start_exe(launch, folder)
    wait_for_shot(app, main_check(video=RED, playing=True, item_count=2), timeout=30, what="item 0 playing, red")
    assert close_exe(app)[0] == 1
    assert read_save(folder) == (0, flags_of(0))
    (folder / "GameData.sys").write_bytes((-2500).to_bytes(4, "little", signed=True) + flags_of(1))
    app = start_exe(launch, folder)
    state = dict(volume_x=202, item_count=2)
    wait_for_shot(app, main_check(video=RED, playing=True, **state), timeout=30, what="item 0 playing, volume -2500")
    app.click(740, 557)  # the gallery button
    wait_for_shot(app, gallery_check(0, flags_of(0, 1), (740, 557)), what="page 1, slots 0 and 1 unlocked")
    app.click(750, 40)  # the page button
    wait_for_shot(app, gallery_check(1, flags_of(0, 1), (750, 40)), what="page 2")
    app.click(750, 40)
    app.click(*cell_centre(1))  # slot 1: item 1 from its start
    app.move(*NEUTRAL)
    wait_for_shot(app, main_check(video=RED, playing=True, item=1, **state), what="item 1 playing, red")
    assert close_exe(app)[0] == 1
    assert read_save(folder) == (-2500, flags_of(0, 1))


@needs_wine
def test_close_ends_the_process_within_5_s_every_time(wine, launch, gallery):
    folder, times = gallery(), []
    for _ in range(10):
        app = start_exe(launch, folder)
        wait_for_shot(app, main_check(video=RED, playing=True, item_count=2), timeout=30, what="item 0 playing")
        status, seconds = close_exe(app)
        assert status == 1
        times.append(round(seconds, 2))
    assert read_save(folder) == (0, flags_of(0))
    print("closes took", times, "s")


@needs_wine
def test_the_session_ending_keeps_this_runs_unlocks_and_volume(wine, launch, gallery):
    folder = gallery()  # logoff or shutdown: the system may end the process right after WM_ENDSESSION
    app = start_exe(launch, folder)
    wait_for_shot(app, main_check(video=RED, playing=True, item_count=2), timeout=30, what="item 0 playing")
    press(app, (660, 550))  # next: item 1 unlocked
    wait_for_shot(app, main_check(playing=True, item=1, item_count=2), what="item 1 playing")
    volume = volume_for_x(150)
    press(app, (150, 576))
    wait_for_shot(app, main_check(playing=True, item=1, item_count=2, volume_x=volume_knob_x(volume)),
                  what="the volume knob moved")
    subprocess.run(["wineboot", "--end-session"], capture_output=True, timeout=60, check=True)
    poll(lambda: not app.running(), 20, "the exe outlived the session")
    assert read_save(folder) == (volume, flags_of(0, 1))


def probe(folder, *arguments):
    """The probe's (duration, end seen after) in ms per clip, from one process."""
    out = subprocess.run(["wine", PROBE, *arguments], cwd=folder, capture_output=True, text=True, timeout=120).stdout
    ends = [(int(duration), int(after)) for duration, after in
            re.findall(r"loaded 1 duration (\d+) ms; poll 0 code 1 after (\d+)", out)]
    assert len(ends) == len([word for word in arguments if not word.startswith("--")]), out
    return ends


# Each format as a probe run's first clip; MPEG-1 as the demo and as the other tests make it.
# Wine starts the stream 200 ms after Run, and its MPEG-1 source ends about 0.8 s late.
FORMATS = [(".mp4", "linux"), (".avi", "linux"), (".wmv", "linux"), (".ogv", "linux"), (".mpg", "linux"),
           (".avi", "windows"), ("colour clips", "linux")]


@needs_wine
@pytest.mark.parametrize("extension, profile", FORMATS)
def test_probe_sees_each_format_end_at_its_length(wine, tmp_path, extension, profile):
    source = colour_clips([RED, RED])[0] if extension == "colour clips" else clip(extension, profile=profile)
    shutil.copy(source, tmp_path / ("clip" + source.suffix))
    [(duration, after)] = probe(tmp_path, "clip" + source.suffix)
    assert duration - 300 <= after <= duration + 1500, (duration, after)


@needs_wine
@pytest.mark.xfail(reason=STALE_COMPLETION, raises=AssertionError, strict=True)
def test_probe_sees_a_later_clip_end_at_its_length(wine, tmp_path):
    for name in ("first.mp4", "second.mp4"):  # MP4: the probe's Stop mid MPEG-1 clip may hang (docs/wine.md)
        shutil.copy(clip(".mp4"), tmp_path / name)
    ends = probe(tmp_path, "first.mp4", "second.mp4")
    assert all(duration - 300 <= after for duration, after in ends), ends


@needs_wine
def test_the_keys_press_the_buttons_under_wine(wine, launch, gallery):
    import functools  # kept to this case
    folder = gallery()
    app = start_exe(launch, folder)
    main = functools.partial(main_check, item_count=2)
    wait_for_shot(app, main(playing=True), timeout=30, what="item 0 playing")
    quieter = volume_knob_x(-500)
    for keys, state in [(("space",), dict()), (("space",), dict(playing=True)),
                        (("Right",), dict(playing=True, item=1)), (("Left",), dict(playing=True)),
                        (("Down", "Down"), dict(playing=True, volume_x=quieter))]:
        app.key(*keys)
        wait_for_shot(app, main(**state), what="after %s" % " ".join(keys))
    app.key("g")  # the gallery: the arrows light cell 1 (unlocked by Right), Return plays it
    wait_for_shot(app, gallery_check(0, flags_of(0, 1)), what="G: the gallery")
    app.key("Right", "Right")
    wait_for_shot(app, gallery_check(0, flags_of(0, 1), cell_centre(1)), what="cell 1 lit")
    app.key("Return")
    wait_for_shot(app, main(playing=True, item=1, volume_x=quieter), what="Return: item 1")
    app.key("g", "Escape")
    wait_for_shot(app, main(playing=True, item=1, volume_x=quieter), what="G, Escape: back")
    assert close_exe(app)[0] == 1
    assert read_save(folder) == (-500, flags_of(0, 1))
