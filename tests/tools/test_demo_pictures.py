"""The demo pictures: sizes, equal PNG copies, opaque backgrounds, a see-through lock."""
import pathlib
import struct
import subprocess
import sys

import numpy as np
from PIL import Image

ROOT = pathlib.Path(__file__).resolve().parents[2]
SIZES = {"MainBG": (800, 686), "ThumbnailBG1": (800, 600), "ThumbnailBG2": (800, 600), "Thumbnail": (700, 675)}


def read_raw(path):
    data = path.read_bytes()
    width, height = struct.unpack("<ii", data[4:12])
    assert data[:4] == b"TEYL" and len(data) == 12 + width * height * 4
    return np.frombuffer(data[12:], np.uint8).reshape(height, width, 4)[:, :, [2, 1, 0, 3]]


def test_sizes_png_copies_opaque_backgrounds_and_a_see_through_lock(tmp_path):
    subprocess.run([sys.executable, str(ROOT / "tools/demo/make_pictures.py"), "--bmp-dir", str(tmp_path / "Bmp"),
                    "--png-dir", str(tmp_path / "png")], check=True, timeout=120)
    rgba, out = {name: read_raw(tmp_path / "Bmp" / f"{name}.bmp") for name in SIZES}, tmp_path
    for name, (width, height) in SIZES.items():
        assert rgba[name].shape == (height, width, 4), name
        np.testing.assert_array_equal(np.asarray(Image.open(out / "png" / f"{name}.png")), rgba[name])
    for background in (rgba["MainBG"][:600], rgba["ThumbnailBG1"], rgba["ThumbnailBG2"]):
        assert (background[:, :, 3] == 255).all()
    lock_alpha = rgba["Thumbnail"][600:675, 0:100, 3]
    assert 0 < lock_alpha.min() < 255 and lock_alpha.max() == 255


def test_a_slot_picture_that_does_not_read_gets_its_card(tmp_path):
    (thumbnails := tmp_path / "thumbnails").mkdir()
    (thumbnails / "00.png").write_bytes(b"")  # what a failed grab could leave
    (thumbnails / "01.bmp").write_bytes(b"TEYL" + bytes(4))
    for name, given in (("given", ["--thumbnails", str(thumbnails)]), ("cards", [])):
        subprocess.run([sys.executable, str(ROOT / "tools/demo/make_pictures.py"), "--bmp-dir", str(tmp_path / name)]
                       + given, check=True, timeout=120, capture_output=True)
    np.testing.assert_array_equal(read_raw(tmp_path / "given/Thumbnail.bmp"), read_raw(tmp_path / "cards/Thumbnail.bmp"))
