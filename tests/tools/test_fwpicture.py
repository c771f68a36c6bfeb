"""fwpicture ($FWPICTURE, else in $FW_BUILD_DIR or build/): round trips, one-line refusals."""
import os
import pathlib
import struct
import subprocess

import numpy as np
import pytest
from PIL import Image


BUILD = pathlib.Path(__file__).resolve().parents[2] / os.environ.get("FW_BUILD_DIR", "build")
TOOL = pathlib.Path(os.environ.get("FWPICTURE", BUILD / "fwpicture"))
pytestmark = pytest.mark.skipif(not TOOL.is_file(), reason=f"{TOOL} is not built")


def run(*args):
    return subprocess.run([str(TOOL), *map(str, args)], capture_output=True, text=True, timeout=30)


def raw(width, height, bgra=b""):
    return b"TEYL" + struct.pack("<ii", width, height) + bgra


def palette_picture(rng):
    image = Image.fromarray(rng.integers(0, 16, (7, 13), dtype=np.uint8), "P")
    image.putpalette(list(rng.integers(0, 256, 16 * 3, dtype=np.uint8)))
    image.info["transparency"] = 3
    return image


@pytest.mark.parametrize("make", [lambda rng: Image.fromarray(rng.integers(0, 256, (7, 13, 4), dtype=np.uint8)),
                                  palette_picture], ids=["RGBA", "palette with transparency"])
def test_round_trip(tmp_path, make):
    make(np.random.default_rng(1)).save(tmp_path / "in.png")
    expected = np.asarray(Image.open(tmp_path / "in.png").convert("RGBA"))
    assert run("encode", tmp_path / "in.png", tmp_path / "pic.bmp").returncode == 0
    data = (tmp_path / "pic.bmp").read_bytes()
    assert data[:12] == raw(13, 7) and len(data) == 12 + 13 * 7 * 4
    # B, G, R, A per pixel, top row first
    np.testing.assert_array_equal(np.frombuffer(data[12:], np.uint8).reshape(7, 13, 4)[:, :, [2, 1, 0, 3]], expected)
    info = run("info", tmp_path / "pic.bmp")
    assert (info.returncode, info.stdout) == (0, "13 7\n")
    assert run("decode", tmp_path / "pic.bmp", tmp_path / "out.png").returncode == 0
    np.testing.assert_array_equal(np.asarray(Image.open(tmp_path / "out.png")), expected)


BAD = [  # command, content (None: no file), what the message says
    ("decode", b"BM" + bytes(60), 'does not begin with "TEYL"'),
    ("decode", raw(2, 2, bytes(15)), "truncated file (2 x 2 needs 28 bytes, it has 27)"),
    ("info", raw(0x7FFFFFFF, 0x7FFFFFFF), "unsupported size"),
    ("encode", raw(1, 1, bytes(4)), "not a PNG file"),
    ("encode", b"\x89PNG\r\n\x1a\n" + bytes(20), "unreadable PNG"),
    ("encode", None, "cannot open: No such file or directory"),
]


@pytest.mark.parametrize("command,content,message", BAD)
def test_bad_input_is_refused_in_one_line(tmp_path, command, content, message):
    if content is not None:
        (tmp_path / "bad").write_bytes(content)
    result = run(command, tmp_path / "bad", *([tmp_path / "out"] if command != "info" else []))
    assert (result.returncode, result.stdout) == (1, "")
    assert message in result.stderr and result.stderr.count("\n") == 1 and result.stderr.startswith("fwpicture: ")
    assert not (tmp_path / "out").exists()


@pytest.mark.parametrize("args", [[], ["encode", "a.png"], ["convert", "a", "b"]])
def test_wrong_usage(args):
    result = run(*args)
    assert result.returncode == 2 and "usage:" in result.stderr
