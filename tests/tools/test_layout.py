"""The layout export the tests, the benchmark and the demo pictures read (tools/layout)."""
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools" / "layout"))
import layout  # noqa: E402


def test_without_a_build_the_layout_is_compiled_and_the_same(monkeypatch, tmp_path):
    built = layout.load()
    monkeypatch.setenv("FW_BUILD_DIR", str(tmp_path))  # holds no fw_layout_json
    layout.load.cache_clear()
    assert layout.load() == built
    assert layout.video_rect() == tuple(int(built[k]) for k in ("kVideoLeft", "kVideoTop", "kVideoWidth",
                                                                  "kVideoHeight"))
