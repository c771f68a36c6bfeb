"""fwgallery: check finds each planted fault and survives bad input in time; new makes a
gallery that checks clean and plays, and refuses what the player cannot take."""
import json
import os
import random
import re
import subprocess
import time

import pytest

from conftest import (BLUE, BUILD, RED, atlases, cached, close_player, colour_clips, coordinate_picture, gst_launch,
                      make_gallery, poll, start_player, video_sample, write_picture)

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
