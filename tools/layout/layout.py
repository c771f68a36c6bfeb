"""The player's layout (src/gfx/layout.h) for the Python tools and tests, as
fw_layout_json prints it: atlas regions (left, top, right, bottom) with right and
bottom exclusive, hit rectangles whose right and bottom are inside, and numbers.

The program is $FW_LAYOUT_JSON, else fw_layout_json in the build folder
($FW_BUILD_DIR, else build/). Where neither is built (the Windows package is made
with the cross build alone), it is compiled on the spot: it needs only the headers.
"""
import functools
import json
import os
import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
SOURCE = ROOT / "tools" / "layout" / "layout_json.cpp"


def program(build=None):
    """The layout program that would be run, built or not."""
    if os.environ.get("FW_LAYOUT_JSON"):
        return pathlib.Path(os.environ["FW_LAYOUT_JSON"])
    return ROOT / (build or os.environ.get("FW_BUILD_DIR", "build")) / "fw_layout_json"


def _run(path):
    return json.loads(subprocess.run([str(path)], capture_output=True, check=True, timeout=20).stdout)


@functools.lru_cache(maxsize=None)
def load(build=None):
    """The layout as a dict of names to rectangles (lists) and numbers."""
    built = program(build)
    if built.exists():
        return _run(built)
    with tempfile.TemporaryDirectory() as folder:
        compiled = pathlib.Path(folder) / "fw_layout_json"
        try:
            subprocess.run(["c++", "-std=c++17", "-I", str(ROOT / "src"), str(SOURCE), "-o", str(compiled)],
                           check=True, timeout=120, stdout=subprocess.DEVNULL)
        except (OSError, subprocess.SubprocessError):
            sys.exit(f"layout: {built} is not built and {SOURCE} cannot be compiled here; "
                     "run scripts/build, or set FW_LAYOUT_JSON to the program")
        return _run(compiled)


def video_rect(build=None):
    """The video window as (left, top, width, height)."""
    layout = load(build)
    return tuple(int(layout[name]) for name in ("kVideoLeft", "kVideoTop", "kVideoWidth", "kVideoHeight"))
