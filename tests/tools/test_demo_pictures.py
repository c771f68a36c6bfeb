"""The demo pictures: the atlas sizes, PNG copies with the same pixels, opaque
backgrounds and a see-through lock."""
import pathlib
import struct
import subprocess
import sys

import numpy as np
import pytest
from PIL import Image

ROOT = pathlib.Path(__file__).resolve().parents[2]
SIZES = {"MainBG": (800, 686), "ThumbnailBG1": (800, 600), "ThumbnailBG2": (800, 600), "Thumbnail": (700, 675)}


def read_raw(path):
    data = path.read_bytes()
    width, height = struct.unpack("<ii", data[4:12])
    assert data[:4] == b"TEYL" and len(data) == 12 + width * height * 4
    return np.frombuffer(data[12:], np.uint8).reshape(height, width, 4)[:, :, [2, 1, 0, 3]]


@pytest.fixture(scope="module")
def pictures(tmp_path_factory):
    out = tmp_path_factory.mktemp("pictures")
    subprocess.run([sys.executable, str(ROOT / "tools/demo/make_pictures.py"), "--bmp-dir", str(out / "Bmp"),
                    "--png-dir", str(out / "png")], check=True, timeout=120)
    return {name: read_raw(out / "Bmp" / f"{name}.bmp") for name in SIZES}, out


def test_sizes_and_png_copies(pictures):
    rgba, out = pictures
    for name, (width, height) in SIZES.items():
        assert rgba[name].shape == (height, width, 4), name
        np.testing.assert_array_equal(np.asarray(Image.open(out / "png" / f"{name}.png")), rgba[name])


def test_backgrounds_are_opaque_and_the_lock_is_see_through(pictures):
    rgba, _ = pictures
    for background in (rgba["MainBG"][:600], rgba["ThumbnailBG1"], rgba["ThumbnailBG2"]):
        assert (background[:, :, 3] == 255).all()
    lock_alpha = rgba["Thumbnail"][600:675, 0:100, 3]
    assert 0 < lock_alpha.min() < 255 and lock_alpha.max() == 255
