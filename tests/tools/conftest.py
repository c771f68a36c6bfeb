"""Shared fixtures of the tool tests: where the built fwpicture is."""
import os
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session")
def fwpicture():
    """The fwpicture binary: $FWPICTURE (set by ctest), else build/fwpicture."""
    path = pathlib.Path(os.environ.get("FWPICTURE", ROOT / "build" / "fwpicture"))
    if not path.is_file():
        pytest.skip(f"{path} is not built")
    return str(path)
