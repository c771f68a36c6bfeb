"""The demo pictures generator: atlas sizes, where thumbnails land, opaque
backgrounds, a translucent lock, and the raw files matching fwpicture's."""
import pathlib
import struct
import subprocess
import sys

import numpy as np
import pytest
from PIL import Image

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools" / "demo"))
import make_demo  # noqa: E402

SIZES = {"MainBG": (800, 686), "ThumbnailBG1": (800, 600), "ThumbnailBG2": (800, 600), "Thumbnail": (700, 675)}
# Given thumbnails: slot -> (colour, how it is given).
GIVEN = {0: ((220, 30, 30), "png"), 29: ((30, 30, 220), "raw 200x150"), 55: ((30, 200, 30), "png")}


def read_raw(path):
    data = path.read_bytes()
    assert data[:4] == b"TEYL"
    width, height = struct.unpack("<ii", data[4:12])
    assert len(data) == 12 + width * height * 4
    return np.frombuffer(data[12:], np.uint8).reshape(height, width, 4)[:, :, [2, 1, 0, 3]]


@pytest.fixture(scope="module")
def pictures(tmp_path_factory):
    out = tmp_path_factory.mktemp("pictures")
    given = out / "given"
    given.mkdir()
    for slot, (colour, how) in GIVEN.items():
        if how == "png":
            Image.new("RGB", (100, 75), colour).save(given / f"{slot:02d}.png")
        else:  # a raw picture of another size: read and scaled down
            pixels = np.zeros((150, 200, 4), np.uint8)
            pixels[:, :] = (colour[2], colour[1], colour[0], 255)
            (given / f"{slot:02d}.bmp").write_bytes(b"TEYL" + struct.pack("<ii", 200, 150) + pixels.tobytes())
    subprocess.run([sys.executable, str(ROOT / "tools/demo/make_pictures.py"), "--bmp-dir", str(out / "Bmp"),
                    "--png-dir", str(out / "png"), "--thumbnails", str(given)], check=True, timeout=120)
    return out


def test_sizes_and_png_copies(pictures):
    for name, (width, height) in SIZES.items():
        rgba = read_raw(pictures / "Bmp" / f"{name}.bmp")
        assert rgba.shape == (height, width, 4), name
        np.testing.assert_array_equal(np.asarray(Image.open(pictures / "png" / f"{name}.png")), rgba)


def test_raw_files_match_fwpicture(pictures, fwpicture, tmp_path):
    for name in SIZES:
        subprocess.run([fwpicture, "encode", pictures / "png" / f"{name}.png", tmp_path / "x.bmp"], check=True)
        assert (tmp_path / "x.bmp").read_bytes() == (pictures / "Bmp" / f"{name}.bmp").read_bytes(), name


def interior(rgba, left, top):
    """The 100 x 75 cell at (left, top) without its 3-pixel rim (the highlight frame)."""
    return rgba[top + 3:top + 72, left + 3:left + 97, :3].reshape(-1, 3).astype(int)


@pytest.mark.parametrize("slot", sorted(GIVEN))
def test_given_thumbnails_land_in_their_cells(pictures, slot):
    colour = np.array(GIVEN[slot][0])
    page, row, column = slot // 28, slot % 28 // 7, slot % 7
    atlas = read_raw(pictures / "Bmp" / "Thumbnail.bmp")
    bright = interior(atlas, 100 * column, 75 * row + 300 * page)
    assert np.abs(bright - colour).max() <= 2

    background = read_raw(pictures / "Bmp" / f"ThumbnailBG{page + 1}.bmp")
    resting = interior(background, 29 + 107 * column, 91 + 108 * row)
    assert (resting == resting[0]).all()  # the whole cell is the given picture
    assert resting[0].sum() < colour.sum()  # darker
    assert np.argmax(resting[0]) == np.argmax(colour)  # same hue, paler


def test_placeholders_differ_from_slot_to_slot(pictures):
    atlas = read_raw(pictures / "Bmp" / "Thumbnail.bmp")
    means = {tuple(interior(atlas, 100 * (s % 7), 75 * (s % 28 // 7) + 300 * (s // 28)).mean(0).round())
             for s in range(56) if s not in GIVEN}
    assert len(means) == 56 - len(GIVEN)


def test_backgrounds_are_opaque_and_the_lock_is_translucent(pictures):
    assert (read_raw(pictures / "Bmp" / "MainBG.bmp")[:600, :, 3] == 255).all()
    for page in (1, 2):
        assert (read_raw(pictures / "Bmp" / f"ThumbnailBG{page}.bmp")[:, :, 3] == 255).all()
    lock_alpha = read_raw(pictures / "Bmp" / "Thumbnail.bmp")[600:675, 0:100, 3]
    assert 0 < lock_alpha.min() < 255 and lock_alpha.max() == 255


MAIN_FACES = {  # (left, top, width, height) of each control image in MainBG.bmp
    **{f"button {k}": (58 * k, 600, 58, 45) for k in range(12)},
    **{f"clip {k}": (33 * k, 645, 33, 41) for k in range(3)},
    "knob": (99, 645, 19, 16), "knob dragged": (99, 661, 19, 16),
}
GALLERY_FACES = {f"gallery button {k}": (112 + 58 * k, 600, 58, 45) for k in range(6)}


@pytest.mark.parametrize("name,faces", [("MainBG", MAIN_FACES), ("Thumbnail", GALLERY_FACES)])
def test_control_images_are_drawn_and_distinct(pictures, name, faces):
    rgba = read_raw(pictures / "Bmp" / f"{name}.bmp")
    cut = {face: rgba[y:y + h, x:x + w] for face, (x, y, w, h) in faces.items()}
    for face, pixels in cut.items():  # something opaque across the middle
        assert (pixels[pixels.shape[0] // 2, :, 3] == 255).any(), face
    shapes = {}
    for face, pixels in cut.items():
        shapes.setdefault(pixels.shape, []).append(pixels.tobytes())
    for same_size in shapes.values():
        assert len(set(same_size)) == len(same_size)


def sequence_numbers(table):
    """(item, clip) -> sequence number, read the way the player reads the play table."""
    numbers, item, lines = {}, 0, table.splitlines()
    i = 0
    while i < len(lines):
        words = lines[i].split()
        if words and words[0] == "End":
            break
        if words and words[0] == "SingleItem":
            numbers[(item, 0)] = len(numbers)
            item += 1
        elif words and words[0] == "MultiItem":
            block = lines[i + 1:i + 1 + int(words[1])]
            assert 1 <= len(block) <= 4 and all(line.startswith("Item ") for line in block)
            for k in range(len(block)):
                numbers[(item, k)] = len(numbers)
            item += 1
            i += len(block)
        i += 1
    return numbers


def test_demo_tables_agree():
    numbers = sequence_numbers(make_demo.play_table())
    lines = make_demo.thumbnail_table().splitlines()
    assert int(lines[0]) == len(lines) - 1 == len(numbers) == len(make_demo.CLIPS)
    for slot, line in enumerate(lines[1:]):
        item, clip = map(int, line.split())
        assert numbers[(item, clip)] == slot
    paths = [line.split('"')[1] for line in make_demo.play_table().splitlines() if '"' in line]
    assert paths == [f"movies/{clip[0]}" for clip in make_demo.CLIPS]
    assert all(3 <= clip[5] <= 6 for clip in make_demo.CLIPS)
    assert {name[-4:] for name, *_ in make_demo.CLIPS} == set(make_demo.FORMATS)
