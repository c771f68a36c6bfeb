"""d3d_probe draws quads as the player does at the screen's top left: every pixel is the fixed
pipeline's arithmetic, each product rounded on its own (mul), alpha 0 left alone."""
import subprocess

import numpy as np
import pytest

from conftest import HEIGHT, PROBES, WIDTH, Screen, differences, grab, mul

PROBE = PROBES / "d3d_probe"
TEXTURE_SIZES = [256, 64, 256, 256]

pytestmark = pytest.mark.skipif(not PROBE.exists(), reason="d3d_probe is not built")


@pytest.fixture(params=["gl", "cpu"], autouse=True)
def renderer(request, monkeypatch):  # both Direct3D backends draw the same pixels
    monkeypatch.setenv("FW_RENDERER", request.param)
    return request.param


class Probe:
    def __init__(self, mode):
        self.lines = []
        self.process = subprocess.Popen([str(PROBE), mode], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def shot_when_ready(self, phase):  # the screen at READY phase; then the probe goes on
        while self.lines[-1:] != ["READY " + phase]:
            line = self.process.stdout.readline()
            assert line and not line.startswith("FAILED"), "probe ended: %s" % self.lines[-5:]
            self.lines.append(line.rstrip("\n"))
        image = grab(0, 0, WIDTH, HEIGHT).astype(np.int64)
        self.process.stdin.write("\n")
        self.process.stdin.flush()
        return image

    def finish(self):
        rest, _ = self.process.communicate(timeout=20)
        self.lines += rest.splitlines()
        return self.process.returncode

    def values(self, tag):
        return next(list(map(int, line.split()[1:])) for line in self.lines if line.startswith(tag + " "))

    def stats(self, label):
        words = next(line.split() for line in self.lines if line.startswith("STATS %s " % label))
        return {words[i]: int(words[i + 1]) for i in range(2, len(words), 2)}


def texels(index, size):
    y, x = np.mgrid[0:size, 0:size]
    hole, grey = (x + y) % 3 == 0, x if index == 2 else y
    planes = {0: [x, y, (x * 7 + y * 13) & 0xFF, np.full_like(x, 255)],
              1: [np.where(hole, 255, 10), np.where(hole, 0, 4 * x), np.where(hole, 255, 4 * y), np.where(hole, 0, 255)]}
    return np.dstack(planes.get(index, [grey, grey, grey, np.full_like(x, 255)]))


def expected_picture(lines, moved=None):
    """Replays the probe's QUAD lines, exactly; moved is (index, dx, dy) of a quad drawn elsewhere."""
    clear = next(int(line.split()[1]) for line in lines if line.startswith("CLEAR "))
    screen = Screen()
    screen.pixels[:, :] = [(clear >> 16) & 0xFF, (clear >> 8) & 0xFF, clear & 0xFF]
    for x1, y1, x2, y2, color in (map(int, line.split()[1:]) for line in lines if line.startswith("CLEARRECT ")):
        screen.pixels[y1:y2, x1:x2] = [(color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF]
    quads = [list(map(int, line.split()[1:])) for line in lines if line.startswith("QUAD ")]
    if moved:
        quads[moved[0]][5] += moved[1]
        quads[moved[0]][6] += moved[2]
    for index, left, top, right, bottom, x, y, color in quads:
        screen.quad(texels(index, TEXTURE_SIZES[index]), (left, top, right, bottom), (x, y), color)
    screen.loose[:] = False
    return screen


def assert_same(actual, expected, what):
    assert not (wrong := differences(actual, expected)), "%s: %s" % (what, wrong)


def test_picture_is_pixel_exact_and_unchanged_frames_are_skipped(renderer):
    probe = Probe("pixels")
    shot = probe.shot_when_ready("pixels")
    # cpu never loads OpenGL's driver: that is what it is for.
    assert ("libGLX_mesa" in open("/proc/%d/maps" % probe.process.pid).read()) == (renderer == "gl")
    again, moved_shot = (probe.shot_when_ready(phase) for phase in ("again", "moved"))
    assert probe.finish() == 0
    expected = expected_picture(probe.lines)
    assert_same(shot, expected, "picture")
    assert_same(again, expected, "picture after a change and back")
    assert_same(moved_shot, expected_picture(probe.lines, probe.values("MOVED")), "picture with one quad moved")
    # The lock's 0xC0 blend of grey by column over grey by row: every (source, destination)
    # pair rounded per product, not round((192 S + 63 D) / 255).
    source, destination = np.meshgrid(np.arange(256), np.arange(256))
    assert (shot[0:256, 300:556, 0] == mul(source, 192) + mul(destination, 63)).all()

    static, changed, moved = probe.stats("static"), probe.stats("changed"), probe.stats("moved")
    assert static["drawn"] == 1 and static["skipped"] == 40
    assert changed["drawn"] == 3 and changed["skipped"] == 49  # a change and back: two frames drawn
    assert moved["partial"] == changed["partial"] + 1 and moved["drawn"] == changed["drawn"] + 1
    assert probe.lines[-3:] == ["texture release 0", "device release 0", "d3d release 0"]


def test_child_video_over_the_picture_and_repaint_without_program_frames(renderer):
    probe = Probe("video")
    black, first, second, hidden = (probe.shot_when_ready(phase) for phase in ("black", "video", "repaint", "hidden"))
    assert probe.finish() == 0
    left, top, width, height = probe.values("VIDEO")
    picture = expected_picture(probe.lines)
    inside = np.zeros((HEIGHT, WIDTH), dtype=bool)
    inside[top:top + height, left:left + width] = True

    def check(shot, quarters, what, margin):
        assert not differences(shot, picture, ~inside), "%s: the picture around changed" % what
        half_w, half_h = width // 2, height // 2
        for index, colour in enumerate(quarters):  # scaling mixes neighbours only where quarters meet
            qx, qy = left + (index % 2) * half_w, top + (index // 2) * half_h
            core = shot[qy + margin:qy + half_h - margin, qx + margin:qx + half_w - margin]
            assert (core == colour).all(), "%s: quarter %d" % (what, index)

    check(black, [(0, 0, 0)] * 4, "before the first frame", 0)
    check(first, [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)], "first frame, scaled", 2)
    check(second, [(255, 255, 0), (0, 255, 255), (255, 0, 255), (16, 32, 64)], "frame while idle, 1:1", 0)
    assert_same(hidden, picture, "picture after the video was hidden")

    video, repaint, gone = probe.stats("video"), probe.stats("repaint"), probe.stats("hidden")
    # The repaint handler showed the frame that came while nothing was drawn; hiding draws one frame.
    assert repaint["repaints"] >= 1 and repaint["drawn"] == video["drawn"]
    if repaint["preserved"]:
        assert repaint["videoonly"] > video["videoonly"]
    assert gone["drawn"] == repaint["drawn"] + 1
    # On cpu both frames lie in shared memory: the scaled one is drawn into the window's
    # image, the 1:1 one is read in place by the X server.
    assert sum(line.startswith("SHARED ") for line in probe.lines) == (2 if renderer == "cpu" else 0)
    assert video["puts"] == 0 and (repaint["puts"] >= 1) == (renderer == "cpu")
