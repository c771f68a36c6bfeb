"""fwgallery's check, new and preview, run as a user runs them; galleries and clips made here."""
import fcntl
import json
import os
import pty
import random
import re
import select
import shutil
import signal
import subprocess
import termios
import time

import numpy as np
import pytest
from PIL import Image

from conftest import (BLUE, BUILD, GREEN, NEUTRAL, OUTSIDE_VIDEO, RED, ROOT, YELLOW, atlases, cached, close_player,
                      colour_clips, coordinate_picture, default_signals, differences, encode_frames, gst_launch,
                      make_gallery, poll, press, Screen, skip_without_player, start_player, video_sample, wait_for_shot,
                      write_picture)

TOOL = BUILD / "fwgallery"
pytestmark = pytest.mark.skipif(not TOOL.exists(), reason=f"{TOOL} is not built yet")
LINE = re.compile(r"^[^:]+:\d+: (error|warning|note): .+$")
SUMMARY = re.compile(r"^\d+ errors?, \d+ warnings?, \d+ notes?$")
PT, TT = "Data/PlayTable.txt", "Data/ThumbnailTable.txt"


def run(*args, cwd=None, env=None):
    return subprocess.run([str(TOOL), *map(str, args)], capture_output=True, text=True, timeout=120, cwd=cwd,
                          env=dict(os.environ, **(env or {})))


def check(folder, env=None):
    """(exit status, findings as (code, file, line, level)), both output forms agreeing."""
    text, result = run("check", folder, env=env), run("check", "--json", folder, env=env)
    assert text.returncode == result.returncode, text.stderr
    lines = text.stdout.splitlines()
    assert all(LINE.match(line) for line in lines[:-1]) and SUMMARY.match(lines[-1]), text.stdout
    findings = json.loads(result.stdout)["findings"]
    assert len(findings) == len(lines) - 1
    return result.returncode, {(f["code"], f["file"], f["line"], f["level"]) for f in findings}, findings


def made_clip(name, description):
    return cached(name, lambda partial: gst_launch(f"{description} location={partial}"))


def odd_clips():
    return {"audio.wav": made_clip("audio-only.wav", "audiotestsrc num-buffers=20 ! wavenc ! filesink"),
            "wide.ogv": made_clip("wide-320x180.ogv", "videotestsrc num-buffers=10 ! video/x-raw,width=320,height=180 "
                                  "! theoraenc ! oggmux ! filesink"),
            "mpeg4.avi": made_clip("mpeg4.avi", "videotestsrc num-buffers=10 ! avenc_mpeg4 ! avimux ! filesink")}


FAULTY_PLAY_TABLE = (b'# comment\nSingleItem "movies/clip0.mpg" 1\nsingleitem "movies/clip0.mpg" 1\nBogus\n'
                     b'Item "movies/clip0.mpg" 1\nMultiItem 3\nItem "movies/clip0.mpg" 0\n'
                     b'SingleItem "movies/clip0.mpg" 1\nItem "movies/clip0.mpg" 1\nMultiItem 0\nMultiItem 1\n'
                     b'Item movies/clip0.mpg 1\nSingleItem "movies/missing.mpg" 1\nSingleItem "movies/junk.mpg" 1\n'
                     b'SingleItem "movies/audio.wav" 1\nSingleItem "movies/wide.ogv" 1\n'
                     b'SingleItem "movies/' + b"x" * 300 + b'.mpg" 1\nSingleItem "movies/\x82\xa0\xff.mpg" 1\n'
                     b'SingleItem "' + b"y" * 1100 + b'\nMultiItem 5\nItem "movies/clip0.mpg" 1\nItem "movies/mpeg4.avi" 1\n')
FAULTY_ENTRIES = b"6\n0 0\n1 1\n1 0\n0 0\n9 9\n"
FAULTY_FINDINGS = {
    ("keyword-case", PT, 3, "warning"), ("ignored-line", PT, 4, "warning"), ("item-outside-block", PT, 5, "warning"),
    ("endless", PT, 7, "note"), ("swallowed-line", PT, 8, "error"), ("empty-item", PT, 10, "error"),
    ("single-clip-multi", PT, 11, "note"), ("no-path", PT, 12, "error"), ("clip-unplayable", PT, 13, "error"),
    ("clip-unplayable", PT, 14, "error"), ("no-video", PT, 15, "error"), ("video-aspect", PT, 16, "warning"),
    ("path-too-long", PT, 17, "error"), ("path-not-shift-jis", PT, 18, "error"), ("line-too-long", PT, 19, "error"),
    ("block-cut", PT, 20, "warning"), ("clip-unplayable", PT, 22, "error"), ("no-end", PT, 0, "note"), ("clip", PT, 2, "note"),
    ("slot-plays-other-clip", TT, 3, "warning"), ("duplicate-slot", TT, 5, "warning"),
    ("entry-out-of-range", TT, 6, "error"), ("entries-cut", TT, 1, "warning"), ("slot-without-entry", TT, 1, "warning"),
    ("no-save-data", "GameData.sys", 0, "note"),
}


def test_check_finds_each_fault_of_the_tables_and_clips(tmp_path):
    folder = make_gallery(tmp_path / "g", {"clip0.mpg": colour_clips([RED])[0], **odd_clips()})
    (folder / "movies" / "junk.mpg").write_bytes(os.urandom(5000))
    (folder / PT).write_bytes(FAULTY_PLAY_TABLE)
    (folder / TT).write_bytes(FAULTY_ENTRIES)
    status, found, findings = check(folder, {"GST_PLUGIN_FEATURE_RANK": "avdec_mpeg4:NONE"})  # no MPEG-4 decoder
    assert status == 1 and FAULTY_FINDINGS <= found, FAULTY_FINDINGS - found
    assert "GStreamer lacks the DivX MPEG-4 Version 4 decoder (install the Debian package gstreamer1.0-libav)" in \
        next(f["message"] for f in findings if f["line"] == 22)
    boxes = {f["box"] for f in findings if "box" in f}
    assert boxes == {"\u30e0\u30fc\u30d3\u30fc\u306e\u30ed\u30fc\u30c9\u306b\u5931\u6557\u3057\u307e\u3057\u305f"}


def bad_pictures_and_save(folder):
    (folder / TT).write_text("3\n0 0\n0 0\n0 0\n")
    (folder / "Bmp/MainBG.bmp").write_bytes((folder / "Bmp/MainBG.bmp").read_bytes()[:100000])
    (folder / "Bmp/ThumbnailBG1.bmp").write_bytes(b"\x89PNG\r\n\x1a\n" + bytes(100))
    write_picture(folder / "Bmp/ThumbnailBG2.bmp", coordinate_picture(5000, 1))
    (folder / "Bmp/Thumbnail.bmp").unlink()
    (folder / "Bmp/Thumbnail.bmp").mkdir()
    (folder / "GameData.sys").write_bytes((100).to_bytes(4, "little") + bytes([1, 2]) + bytes(54))


def big_tables(folder):
    (folder / PT).write_bytes(b"MultiItem 5\n" + b'Item "movies/clip0.mpg" 1\n' * 5 +
                              b'SingleItem "movies/clip0.mpg" 1\n' * 10000)
    (folder / TT).write_bytes(b"70\n" + b"0 0\n" * 70)


def junk(folder):
    for path in [PT, TT, "GameData.sys"] + [f"Bmp/{name}" for name in os.listdir(folder / "Bmp")]:
        (folder / path).write_bytes(random.Random(path).randbytes(20000))
    (folder / PT).chmod(0)  # unreadable, where the tests do not run as root


def replace_files(folder, make):
    for path in [PT, TT, "GameData.sys"] + ["Bmp/" + name for name in atlases()]:
        (folder / path).unlink(missing_ok=True)
        make(folder / path)


def loop(path):  # a symbolic link loop
    os.symlink(path.name + ".other", path)
    os.symlink(path.name, str(path) + ".other")


@pytest.mark.parametrize("spoil, expected", [
    (bad_pictures_and_save, {
        ("truncated", "Bmp/MainBG.bmp", 0, "error"), ("picture", "Bmp/ThumbnailBG1.bmp", 0, "error"),
        ("picture-too-small", "Bmp/ThumbnailBG2.bmp", 0, "error"), ("file", "Bmp/Thumbnail.bmp", 0, "error"),
        ("texture-too-large", "Bmp/ThumbnailBG2.bmp", 0, "warning"), ("slot-never-unlocked", TT, 3, "warning"),
        ("save-data-size", "GameData.sys", 0, "warning"), ("volume-out-of-range", "GameData.sys", 0, "warning"),
        ("odd-unlock-flag", "GameData.sys", 0, "warning"), ("save-data", "GameData.sys", 0, "note")}),
    (big_tables, {("item-dropped", PT, 67, "error"), ("clip-dropped", PT, 6, "error"),
                  ("entries-dropped", TT, 1, "warning"), ("slot-on-no-page", TT, 58, "warning")}),
    (junk, {("no-item", PT, 0, "error"), ("no-entries", TT, 1, "warning"), ("picture", "Bmp/MainBG.bmp", 0, "error")}),
    (lambda folder: replace_files(folder, os.mkdir), {("file", PT, 0, "error"), ("file", "GameData.sys", 0, "error")}),
    (lambda folder: replace_files(folder, loop), {("file", PT, 0, "error"), ("file", "Bmp/MainBG.bmp", 0, "error")}),
])
def test_bad_input_gives_findings_and_a_status_in_time(tmp_path, spoil, expected):
    folder = make_gallery(tmp_path / "g", 1, volume=0)
    spoil(folder)
    started = time.monotonic()
    status, found, _ = check(folder)
    assert status == 1 and expected <= found and time.monotonic() - started < 60


def test_new_then_check_then_the_player_plays_it(launch, tmp_path):
    red, blue = colour_clips([RED], [BLUE])
    (clips := tmp_path / "clips").mkdir()
    (clips / "\u8d64.mpg").write_bytes(red.read_bytes())  # 赤.mpg
    (clips / "blue.mpg").write_bytes(blue.read_bytes())
    folder = tmp_path / "gallery"
    made = run("new", "--group", "2", folder, clips / "\u8d64.mpg", clips / "blue.mpg")
    assert made.returncode == 0 and "0 errors" in made.stdout, made.stdout + made.stderr
    assert (folder / PT).read_bytes() == b'MultiItem 2\nItem "movies/\x90\xd4.mpg" 1\nItem "movies/blue.mpg" 1\nEnd\n'
    assert check(folder)[0] == 0
    app = start_player(launch, folder)
    poll(lambda: video_sample(app, [RED]), 30, "the gallery's first clip does not show")
    assert close_player(app) == 1


@pytest.mark.parametrize("args, message", [
    (["--group", "5"], "--group"),
    (["clips/\u2615.mpg"], "Shift-JIS"),  # ☕
    (["clips/blue.mpg"] * 65, "64"),
    (["clips/blue.mpg", "clips/other/blue.mpg"], "two clips"),
])
def test_new_refuses_what_the_player_cannot_take_and_keeps_a_gallery(tmp_path, args, message):
    (tmp_path / "clips" / "other").mkdir(parents=True)
    for name in ["\u2615.mpg", "blue.mpg", "other/blue.mpg"]:
        (tmp_path / "clips" / name).write_bytes(colour_clips([BLUE])[0].read_bytes())
    refused = run("new", "g", *args, cwd=tmp_path)
    assert refused.returncode == 2 and message in refused.stderr and not (tmp_path / "g").exists()
    make_gallery(tmp_path / "g", 1, volume=0)
    kept = {path: path.read_bytes() for path in (tmp_path / "g").rglob("*") if path.is_file()}
    assert run("new", "g", "clips/blue.mpg", cwd=tmp_path).returncode == 2
    assert kept == {path: path.read_bytes() for path in (tmp_path / "g").rglob("*") if path.is_file()}
    assert run("new", "--force", "--link", "g", "clips/blue.mpg", cwd=tmp_path).returncode == 0
    assert (tmp_path / "g/movies/blue.mpg").is_symlink() and not (tmp_path / "g/GameData.sys").exists()


# ---- new on real clips, preview ----------------------------------------------------------------


def raw_clip(name, runs, size, encoder="theoraenc ! oggmux", caps=""):
    """A clip of solid colours, (colour, frames) in turn, at 25 frames a second, without sound."""
    return cached(name, lambda partial: encode_frames(
        partial, b"".join(bytes(colour) * size[0] * size[1] * frames for colour, frames in runs), size,
        f"{caps} ! videoconvert ! {encoder} ! filesink location={partial}"))


def kinds():
    """{file: (clip, the colour its cell shows, whether bars lie above and below)}; None: the player cannot play it."""
    big = made_clip("white-1080p60.mp4", "videotestsrc num-buffers=60 pattern=white ! video/x-raw,width=1920,"
                    "height=1080,framerate=60/1 ! x264enc speed-preset=ultrafast ! mp4mux ! filesink")
    (cut := big.with_name("cut-1080p60.mp4")).write_bytes(big.read_bytes()[:20000])
    return {"a-silent.ogv": (raw_clip("silent-red.ogv", [(RED, 50)], (320, 240)), RED, False),
            "b-short.mpg": (colour_clips([GREEN], seconds_each=0.2)[0], GREEN, False),
            "c-black-start.ogv": (raw_clip("black-then-blue.ogv", [((0, 0, 0), 12), (BLUE, 38)], (160, 120)), BLUE,
                                  False),  # black a tenth of the way in, blue at a third
            "d-wide-pixels.ogv": (raw_clip("par-2-1-yellow.ogv", [(YELLOW, 25)], (200, 150),
                                           caps="pixel-aspect-ratio=2/1"), YELLOW, True),
            "e-odd-size.ogv": (made_clip("odd-321x241.ogv", "videotestsrc num-buffers=25 pattern=solid-color "
                                         "foreground-color=0xffff00ff ! video/x-raw,width=321,height=241 ! theoraenc "
                                         "! oggmux ! filesink"), (255, 0, 255), False),
            "f-1080p60.mp4": (big, (255, 255, 255), True),
            "g-audio-only.wav": (odd_clips()["audio.wav"], None, False),
            "h-cut-short.mp4": (cut, None, False),
            "i-not-a-movie.mpg": (b"not a movie " * 500, None, False)}


def clip_folder(path, clips):
    path.mkdir()
    for name, source in clips.items():
        (path / name).write_bytes(source if isinstance(source, bytes) else source.read_bytes())
    return sorted(path.iterdir())


def test_new_takes_a_picture_of_every_kind_of_clip_and_names_the_bad_ones(tmp_path):
    clips = kinds()
    if os.geteuid() != 0:  # root reads every file
        clips["j-unreadable.mpg"] = (colour_clips([RED])[0], None, False)
    paths = clip_folder(tmp_path / "clips", {name: clip for name, (clip, _, _) in clips.items()})
    if "j-unreadable.mpg" in clips:
        (tmp_path / "clips/j-unreadable.mpg").chmod(0)
    refused = run("new", tmp_path / "g", *paths)
    bad = [name for name, (_, colour, _) in clips.items() if colour is None]
    named = [line for line in refused.stderr.splitlines() if any(name in line for name in bad)]
    assert refused.returncode == 2 and len(named) == len(bad) and not (tmp_path / "g").exists(), refused.stderr
    made = run("new", "--skip-bad", tmp_path / "g", *paths)
    assert made.returncode == 0 and "0 errors" in made.stdout, made.stdout + made.stderr
    assert b"audio" not in (tmp_path / "g" / PT).read_bytes()
    atlas = np.asarray(Image.open(tmp_path / "g/png/Thumbnail.png").convert("RGB")).astype(int)
    for slot, (colour, bars) in enumerate((colour, bars) for _, colour, bars in clips.values() if colour):
        cell = atlas[0:75, 100 * slot:100 * slot + 100]  # slot 0 to 6: the first row of page 1
        assert np.all(np.abs(cell[30:45, 40:60] - colour) <= 40), (slot, cell[37, 50])
        assert np.all(cell[3:6, 40:60] <= 16) == bars, (slot, cell[4, 50])  # inside the light frame


def test_a_picture_that_cannot_be_taken_leaves_no_file(tmp_path):
    taken = run("thumbnail", odd_clips()["audio.wav"], tmp_path / "cell.png")
    assert taken.returncode == 1 and "no video" in taken.stderr and not list(tmp_path.iterdir())


def test_a_clip_that_gives_no_picture_gets_a_numbered_card(tmp_path):
    (failing := tmp_path / "fwgallery").write_text(  # fwgallery whose thumbnail takes no picture
        f'#!/bin/sh\n[ "$1" = thumbnail ] && {{ echo "fwgallery: $2: no picture: none" >&2; exit 3; }}\n'
        f'exec {TOOL} "$@"\n')
    failing.chmod(0o755)
    made = subprocess.run(["/usr/bin/python3", ROOT / "tools/fwgallery/new_gallery.py", f"--fwgallery={failing}",
                           tmp_path / "g", colour_clips([GREEN])[0]], capture_output=True, text=True, timeout=120)
    assert made.returncode == 0 and made.stderr.endswith(": no picture: none; its cell gets a numbered card\n")
    subprocess.run(["/usr/bin/python3", ROOT / "tools/demo/make_pictures.py", "--bmp-dir", tmp_path / "cards",
                    "--png-dir", tmp_path / "cards"], check=True, timeout=120)
    cell = [np.asarray(Image.open(tmp_path / folder / "Thumbnail.png"))[0:75, 0:100] for folder in ("g/png", "cards")]
    assert np.array_equal(*cell)


def test_new_makes_a_gallery_again_from_its_own_clips(tmp_path):
    paths = clip_folder(tmp_path / "clips", {f"c{k}.mpg": colour_clips([RED], [BLUE])[k] for k in range(2)})
    for link in ([], ["--link"]):
        assert run("new", *link, tmp_path / "g", *paths).returncode == 0
        clips = {path: path.read_bytes() for path in (tmp_path / "g/movies").iterdir()}
        again = run("new", "--force", "--group", "2", tmp_path / "g", *clips)
        assert again.returncode == 0 and clips == {path: path.read_bytes() for path in clips}, again.stderr
        assert (tmp_path / "g/preview/main.png").exists() and b"MultiItem 2" in (tmp_path / "g" / PT).read_bytes()
        links = sorted(path.name for path in (tmp_path / "g/movies").iterdir() if path.is_symlink())
        assert links == (["c0.mpg", "c1.mpg"] if link else [])
        shutil.rmtree(tmp_path / "g")


def read_terminal(fd, until, timeout=120):
    """What a program wrote to the terminal fd until the text appears (or it ends)."""
    seen, deadline = b"", time.monotonic() + timeout
    while until.encode() not in seen and time.monotonic() < deadline:
        if select.select([fd], [], [], 0.1)[0]:
            try:
                seen += os.read(fd, 4096)
            except OSError:  # the program ended
                break
    return seen.decode("utf-8", "replace")


def new_on_a_terminal(*args):
    """new with standard error on a terminal of its own, whose Ctrl-C reaches its whole process group."""
    terminal, program_side = pty.openpty()
    process = subprocess.Popen([str(TOOL), "new", *map(str, args)], stdin=program_side, stdout=subprocess.PIPE,
                               stderr=program_side, text=True, start_new_session=True,
                               preexec_fn=lambda: (default_signals(), fcntl.ioctl(0, termios.TIOCSCTTY, 0)))
    os.close(program_side)
    return process, terminal


def interrupt(process, terminal, number):
    if number == signal.SIGINT:
        os.write(terminal, b"\x03")  # Ctrl-C: the terminal signals new and the programs it runs
    else:
        process.send_signal(number)


def test_new_shows_progress_a_line_per_clip_or_a_changing_line_or_none(tmp_path):
    paths = clip_folder(tmp_path / "clips", {f"c{k}.mpg": colour_clips([RED])[0] for k in range(3)})
    logged = run("new", tmp_path / "g1", *paths)
    assert [re.sub(r"clip \d", "clip k", line) for line in sorted(logged.stderr.splitlines())] == \
        [f"fwgallery new: clip k of 3, c{k}.mpg: picture taken" for k in range(3)]
    previews = logged.stdout.split("will show them:\n")[1].split()
    assert len(previews) == 9 and all(os.path.isfile(path) for path in previews)
    assert run("new", "--quiet", tmp_path / "g2", *paths).stderr == ""
    process, terminal = new_on_a_terminal(tmp_path / "g3", *paths)
    shown = read_terminal(terminal, "no such text")
    assert process.wait(60) == 0 and "\n" not in shown and shown.endswith("\r\x1b[K")
    for step in ("clip 3 of 3", "picture taken", "copying clip 3 of 3, c2.mpg", "drawing the previews"):
        assert step in shown, shown


def snapshot(folder):
    return {path.relative_to(folder): path.read_bytes() if path.is_file() else None for path in folder.rglob("*")}


@pytest.mark.parametrize("number, when", [(signal.SIGINT, "taking its picture"),
                                          (signal.SIGINT, "drawing the previews"),
                                          (signal.SIGTERM, "drawing the gallery's pictures")])
def test_a_signal_while_new_works_leaves_the_folder_as_it_was(tmp_path, number, when):
    paths = clip_folder(tmp_path / "clips", {f"c{k:02d}.mpg": colour_clips([BLUE])[0] for k in range(12)})
    before = snapshot(folder := make_gallery(tmp_path / "g", 1, volume=0))
    for target in (folder, tmp_path / "new"):
        process, terminal = new_on_a_terminal("--force", target, *paths)
        assert when in read_terminal(terminal, when)
        interrupt(process, terminal, number)
        assert process.wait(60) == 130 and "as it was" in read_terminal(terminal, "as it was")
    assert snapshot(folder) == before and not (tmp_path / "new").exists()


# The player's start-up errors: テクスチャのロードに失敗しました, 再生テーブルの読込みに失敗しました,
# ムービーのロードに失敗しました
@pytest.mark.parametrize("spoil, box", [
    (lambda g: (g / "Bmp/Thumbnail.bmp").unlink(), "\u30c6\u30af\u30b9\u30c1\u30e3\u306e\u30ed\u30fc\u30c9"),
    (lambda g: (g / PT).write_text("# no item\n"), "\u518d\u751f\u30c6\u30fc\u30d6\u30eb\u306e\u8aad\u8fbc\u307f"),
    (lambda g: (g / "movies/clip0.mpg").write_bytes(b"junk"), "\u30e0\u30fc\u30d3\u30fc\u306e\u30ed\u30fc\u30c9"),
])
def test_preview_stops_where_the_player_stops(tmp_path, spoil, box):
    spoil(folder := make_gallery(tmp_path / "g", 1))
    drawn = run("preview", folder)
    assert drawn.returncode == 1 and len(drawn.stderr.splitlines()) == 1 and box in drawn.stderr, drawn.stderr
    assert drawn.stdout == "" and not (folder / "preview").exists()


@skip_without_player
def test_preview_is_what_the_player_shows(launch, tmp_path):
    # Half an hour at one picture a second: the seek knob stays at its start for 5 s.
    long = made_clip("long-green.ogv", "videotestsrc num-buffers=1800 pattern=solid-color foreground-color=0xff00ff00 "
                     "! video/x-raw,width=320,height=240,framerate=1/1 ! theoraenc ! oggmux ! filesink")
    folder = make_gallery(tmp_path / "g", {"long.ogv": long, "red.mpg": colour_clips([RED])[0]})
    drawn = run("preview", "--out", tmp_path / "pictures", folder)
    assert drawn.returncode == 0 and len(drawn.stdout.split()) == 9, drawn.stderr
    picture = {name: np.asarray(Image.open(tmp_path / "pictures" / f"{name}.png"))
               for name in ("main", "main-hover", "page1-locked", "page1-hover")}

    def same(picture, mask=None, area=(0, 0, 799, 599)):  # area: left, top, right, bottom, all inside
        expected, inside = Screen(picture), np.zeros(OUTSIDE_VIDEO.shape, bool)
        inside[area[1]:area[3] + 1, area[0]:area[2] + 1] = True
        return lambda shot: differences(shot, expected, inside & (True if mask is None else mask))

    def hovered(expected, *areas):  # the mouse on each control in turn, as the hover picture has it
        for area in areas:
            app.move((area[0] + area[2]) // 2, (area[1] + area[3]) // 2)
            wait_for_shot(app, same(expected, area=area), what=f"the hover picture's control at {area}")
        app.move(*NEUTRAL)

    app = start_player(launch, folder, FW_RENDERER="cpu")
    wait_for_shot(app, same(picture["main"], OUTSIDE_VIDEO), what="the preview's main screen")
    hovered(picture["main-hover"], (514, 535, 571, 579), (630, 535, 687, 579), (714, 535, 771, 579))
    press(app, (740, 557))  # the gallery button
    wait_for_shot(app, same(picture["page1-locked"]), what="the preview's first gallery page")
    hovered(picture["page1-hover"], (29, 91, 128, 165), (721, 24, 778, 68))  # the first clip's cell, the page button
    assert close_player(app) == 1
