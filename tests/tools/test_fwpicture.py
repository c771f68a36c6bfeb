"""fwpicture: round trips through every PNG colour type, the exact byte layout of
the raw format, and clear one-line refusals of bad input."""
import struct
import subprocess
import zlib

import numpy as np
import pytest
from PIL import Image


def run(tool, *args):
    return subprocess.run([tool, *map(str, args)], capture_output=True, text=True, timeout=30)


def raw_bytes(width, height, bgra=b""):
    return b"TEYL" + struct.pack("<ii", width, height) + bgra


def noise(mode, size=(13, 7), seed=1):
    """A PIL picture of the given mode filled with varied values."""
    rng = np.random.default_rng(seed)
    w, h = size
    if mode == "1":
        return Image.fromarray(rng.integers(0, 2, (h, w), dtype=np.uint8) * 255).convert("1")
    if mode == "I;16":
        return Image.fromarray(rng.integers(0, 65536, (h, w), dtype=np.uint16), "I;16")
    if mode == "P":
        image = Image.fromarray(rng.integers(0, 16, (h, w), dtype=np.uint8), "P")
        image.putpalette(list(rng.integers(0, 256, 16 * 3, dtype=np.uint8)))
        image.info["transparency"] = 3
        return image
    bands = {"L": 1, "LA": 2, "RGB": 3, "RGBA": 4}[mode]
    data = rng.integers(0, 256, (h, w, bands), dtype=np.uint8)
    return Image.fromarray(data[:, :, 0] if bands == 1 else data, mode)


@pytest.mark.parametrize("mode", ["RGBA", "RGB", "L", "LA", "P", "1", "I;16"])
def test_round_trip_of_each_colour_type(fwpicture, tmp_path, mode):
    source = noise(mode)
    source.save(tmp_path / "in.png")
    # What any PNG reader makes of it as 8-bit RGBA is what the raw file must hold.
    expected = np.asarray(Image.open(tmp_path / "in.png").convert("RGBA"))
    if mode == "I;16":  # PIL's RGBA conversion of 16-bit grey clips; libpng keeps the high byte
        grey = (np.asarray(source).astype(np.uint32) >> 8).astype(np.uint8)
        expected = np.dstack([grey, grey, grey, np.full_like(grey, 255)])

    assert run(fwpicture, "encode", tmp_path / "in.png", tmp_path / "pic.bmp").returncode == 0
    data = (tmp_path / "pic.bmp").read_bytes()
    assert data[:12] == raw_bytes(13, 7)
    assert len(data) == 12 + 13 * 7 * 4
    bgra = np.frombuffer(data[12:], np.uint8).reshape(7, 13, 4)
    np.testing.assert_array_equal(bgra[:, :, [2, 1, 0, 3]], expected)

    info = run(fwpicture, "info", tmp_path / "pic.bmp")
    assert (info.returncode, info.stdout) == (0, "13 7\n")

    assert run(fwpicture, "decode", tmp_path / "pic.bmp", tmp_path / "out.png").returncode == 0
    back = Image.open(tmp_path / "out.png")
    assert back.mode == "RGBA"
    np.testing.assert_array_equal(np.asarray(back), expected)


def test_pixel_byte_order_and_trailing_bytes(fwpicture, tmp_path):
    # One pixel stored as B G R A = 10 20 30 40; bytes after the last row are ignored.
    (tmp_path / "one.bmp").write_bytes(raw_bytes(1, 1, bytes([0x10, 0x20, 0x30, 0x40])) + b"extra")
    assert run(fwpicture, "decode", tmp_path / "one.bmp", tmp_path / "one.png").returncode == 0
    assert Image.open(tmp_path / "one.png").getpixel((0, 0)) == (0x30, 0x20, 0x10, 0x40)


def test_top_row_first(fwpicture, tmp_path):
    image = Image.new("RGB", (2, 3), (0, 0, 0))
    image.putpixel((0, 0), (255, 0, 0))
    image.save(tmp_path / "in.png")
    run(fwpicture, "encode", tmp_path / "in.png", tmp_path / "pic.bmp")
    assert (tmp_path / "pic.bmp").read_bytes()[12:16] == bytes([0, 0, 255, 255])


def with_size(png, width, height):
    """The PNG with its header chunk claiming another size, its CRC made right."""
    header = b"IHDR" + struct.pack(">II", width, height) + png[24:29]
    return png[:12] + header + struct.pack(">I", zlib.crc32(header)) + png[33:]


def png_bytes(tmp_path):
    Image.new("RGB", (4, 4), (1, 2, 3)).save(tmp_path / "good.png")
    return (tmp_path / "good.png").read_bytes()


BAD_RAW = [
    ("windows bitmap", b"BM" + bytes(60), "does not begin with \"TEYL\""),
    ("empty", b"", "truncated"),
    ("identifier only", b"TEYL", "truncated"),
    ("cut in the size", b"TEYL\x01\x00\x00\x00", "truncated"),
    ("zero width", raw_bytes(0, 5), "unsupported size 0 x 5"),
    ("negative height", raw_bytes(4, -1), "unsupported size 4 x -1"),
    ("absurd size", raw_bytes(0x7FFFFFFF, 0x7FFFFFFF), "unsupported size"),
    ("cut in the pixels", raw_bytes(2, 2, bytes(15)), "truncated file (2 x 2 needs 28 bytes, it has 27)"),
]


@pytest.mark.parametrize("name,content,message", BAD_RAW, ids=[c[0] for c in BAD_RAW])
@pytest.mark.parametrize("command", ["decode", "info"])
def test_bad_raw_pictures_are_refused(fwpicture, tmp_path, name, content, message, command):
    (tmp_path / "bad.bmp").write_bytes(content)
    args = [tmp_path / "bad.bmp"] + ([tmp_path / "out.png"] if command == "decode" else [])
    result = run(fwpicture, command, *args)
    assert result.returncode == 1
    assert result.stdout == ""
    assert message in result.stderr
    assert result.stderr.count("\n") == 1 and result.stderr.startswith("fwpicture: ")
    assert not (tmp_path / "out.png").exists()


BAD_PNG = [
    ("raw picture", lambda good: raw_bytes(1, 1, bytes(4)), "not a PNG file"),
    ("empty", lambda good: b"", "not a PNG file"),
    ("cut short", lambda good: good[: len(good) // 2], "unreadable PNG"),
    ("signature only", lambda good: good[:8], "unreadable PNG"),
    ("corrupt header", lambda good: good[:16] + b"\xff" * 8 + good[24:], "unreadable PNG"),
    ("corrupt data", lambda good: good[:40] + bytes(len(good) - 40), "unreadable PNG"),
    ("absurd size", lambda good: with_size(good, 1 << 20, 1 << 20), "unreadable PNG"),
    ("zero size", lambda good: with_size(good, 0, 4), "unreadable PNG"),
]


@pytest.mark.parametrize("name,make,message", BAD_PNG, ids=[c[0] for c in BAD_PNG])
def test_bad_pngs_are_refused(fwpicture, tmp_path, name, make, message):
    (tmp_path / "bad.png").write_bytes(make(png_bytes(tmp_path)))
    result = run(fwpicture, "encode", tmp_path / "bad.png", tmp_path / "out.bmp")
    assert result.returncode == 1
    assert message in result.stderr
    assert result.stderr.count("\n") == 1


@pytest.mark.parametrize("command", ["encode", "decode", "info"])
def test_missing_input(fwpicture, tmp_path, command):
    args = [tmp_path / "nothing"] + ([tmp_path / "out"] if command != "info" else [])
    result = run(fwpicture, command, *args)
    assert result.returncode == 1
    assert "cannot open: No such file or directory" in result.stderr


@pytest.mark.parametrize("args", [[], ["encode", "a.png"], ["info"], ["convert", "a", "b"]])
def test_wrong_usage(fwpicture, args):
    result = run(fwpicture, *args)
    assert result.returncode == 2 and "usage:" in result.stderr
