"""The Direct3D 9 layer under Xvfb: d3d_probe draws quads as the player draws them and
the screenshots are compared pixel by pixel with what the fixed pipeline computes.

Colour arithmetic of the pipeline on 8-bit channels, as the rasterizer does it: every
product of two channels is rounded to the nearest 8-bit value, mul(a, b) =
round(a * b / 255); the texture stage gives mul(texel, diffuse) for colour and alpha;
a pixel whose alpha is 0 is left alone; blending gives
mul(source, alpha) + mul(destination, 255 - alpha), each product rounded on its own.
So a 0xC0 lock image over a background is mul(S, 192) + mul(D, 63), which is at most
1 away from round((192 S + 63 D) / 255) (16254 of the 65536 pairs differ).
"""
import os
import subprocess
import time

import numpy as np
import pytest
from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("FW_BUILD_DIR", os.path.join(ROOT, "build"))
PROBE = os.path.join(BUILD, "tests", "e2e", "probes", "d3d_probe")
WIDTH, HEIGHT = 800, 600


@pytest.fixture(scope="module")
def d3d_display():
    """A display of this module's own: its screenshots of the root window must see the
    probe's window alone, at the top left, whatever else the session shows."""
    for number in range(140, 160):
        if not os.path.exists("/tmp/.X%d-lock" % number):
            break
    name = ":%d" % number
    server = subprocess.Popen(["Xvfb", name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.exists("/tmp/.X11-unix/X%d" % number):
            break
        time.sleep(0.05)
    yield name
    server.terminate()
    server.wait()


class Probe:
    def __init__(self, display, mode):
        if not os.path.exists(PROBE):
            pytest.skip("d3d_probe is not built")
        self.display = display
        self.lines = []
        self.process = subprocess.Popen([PROBE, mode], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                        env=dict(os.environ, DISPLAY=display))

    def until_ready(self, phase):
        while True:
            line = self.process.stdout.readline()
            assert line, "probe ended early: %s" % self.lines[-5:]
            line = line.rstrip("\n")
            self.lines.append(line)
            if line.startswith("FAILED"):
                pytest.fail(line)
            if line == "READY " + phase:
                return

    def go_on(self):
        self.process.stdin.write("\n")
        self.process.stdin.flush()

    def finish(self):
        rest, _ = self.process.communicate("\n", timeout=20)
        self.lines += rest.splitlines()
        return self.process.returncode

    def stats(self, label):
        for line in self.lines:
            words = line.split()
            if words[:2] == ["STATS", label]:
                return {words[i]: int(words[i + 1]) for i in range(2, len(words), 2)}
        raise AssertionError("no STATS " + label)

    def screenshot(self):
        path = "/tmp/d3d_probe_%d.png" % self.process.pid
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=True)
        image = np.asarray(Image.open(path).convert("RGB")).astype(np.int64)
        os.remove(path)
        return image[:HEIGHT, :WIDTH]


def mul(a, b):
    return (a * b + 127) // 255


TEXTURE_SIZES = [256, 64, 256, 256]


def texels(index, size):
    """The probe's texel patterns as (R, G, B, A) planes of a size x size texture."""
    y, x = np.mgrid[0:size, 0:size]
    if index == 0:
        return [x, y, (x * 7 + y * 13) & 0xFF, np.full_like(x, 255)]
    if index == 1:
        hole = (x + y) % 3 == 0
        return [np.where(hole, 255, 10), np.where(hole, 0, 4 * x), np.where(hole, 255, 4 * y),
                np.where(hole, 0, 255)]
    grey = x if index == 2 else y
    return [grey, grey, grey, np.full_like(x, 255)]


def expected_picture(lines, moved=None):
    """Replays the probe's QUAD lines through the pipeline's arithmetic; moved is
    (index, dx, dy) of a quad drawn elsewhere."""
    clear = next(int(line.split()[1]) for line in lines if line.startswith("CLEAR "))
    picture = np.zeros((HEIGHT, WIDTH, 3), dtype=np.int64)
    picture[:, :] = [(clear >> 16) & 0xFF, (clear >> 8) & 0xFF, clear & 0xFF]
    quads = [list(map(int, line.split()[1:])) for line in lines if line.startswith("QUAD ")]
    if moved:
        quads[moved[0]][5] += moved[1]
        quads[moved[0]][6] += moved[2]
    for index, left, top, right, bottom, x, y, color in quads:
        planes = texels(index, TEXTURE_SIZES[index])
        diffuse = [(color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF, color >> 24]
        source = [mul(plane[top:bottom, left:right], d) for plane, d in zip(planes, diffuse)]
        alpha = source[3]
        area = picture[y:y + bottom - top, x:x + right - left]
        for channel in range(3):
            blended = mul(source[channel], alpha) + mul(area[:, :, channel], 255 - alpha)
            area[:, :, channel] = np.where(alpha > 0, blended, area[:, :, channel])
    return picture


def assert_same(actual, expected, what):
    wrong = np.argwhere(np.any(actual != expected, axis=2))
    if len(wrong):
        y, x = wrong[0]
        pytest.fail("%s: %d pixels differ, first at (%d, %d): %s instead of %s"
                    % (what, len(wrong), x, y, actual[y, x].tolist(), expected[y, x].tolist()))


def test_picture_is_pixel_exact_and_unchanged_frames_are_skipped(d3d_display):
    probe = Probe(d3d_display, "pixels")
    probe.until_ready("pixels")
    shot = probe.screenshot()
    expected = expected_picture(probe.lines)
    probe.go_on()
    probe.until_ready("again")
    again = probe.screenshot()
    probe.go_on()
    probe.until_ready("moved")
    moved_shot = probe.screenshot()
    moved = next(tuple(map(int, line.split()[1:])) for line in probe.lines if line.startswith("MOVED "))
    assert probe.finish() == 0
    assert_same(shot, expected, "picture")
    assert_same(again, expected, "picture after a change and back")
    assert_same(moved_shot, expected_picture(probe.lines, moved), "picture with one quad moved")

    first, static, changed = probe.stats("first"), probe.stats("static"), probe.stats("changed")
    assert first["drawn"] == 1
    assert static["drawn"] == 1 and static["skipped"] == 40
    # One frame moved by a pixel, then the original: both drawn, the rest skipped.
    assert changed["drawn"] == 3 and changed["skipped"] == 49
    # Sizes past what OpenGL takes, and 0, are refused without a texture; 8192
    # (llvmpipe's limit is 16384) is made.
    created = {int(line.split()[1]): line.split()[2:] for line in probe.lines if line.startswith("CREATETEXTURE ")}
    assert created[0] == ["invalidcall", "0"]
    assert created[8192] == ["ok", "1"]
    assert created[65536] == ["invalidcall", "0"] and created[1 << 20] == ["invalidcall", "0"]
    # Moving one quad redraws around it only, once.
    assert probe.stats("moved")["partial"] == changed["partial"] + 1
    assert probe.stats("moved")["drawn"] == changed["drawn"] + 1
    # The bound texture is held by the device until the device goes; then everything is freed.
    assert probe.lines[-3:] == ["texture release 0", "device release 0", "d3d release 0"]


def test_exact_blend_of_the_lock_image_alpha(d3d_display):
    # The blend table of the picture alone, so that a failure names the arithmetic.
    probe = Probe(d3d_display, "pixels")
    probe.until_ready("pixels")
    shot = probe.screenshot()
    probe.go_on()
    probe.until_ready("again")
    probe.go_on()
    probe.until_ready("moved")
    probe.finish()
    source, destination = np.meshgrid(np.arange(256), np.arange(256))
    table = shot[0:256, 300:556, 0]
    assert (table == mul(source, 192) + mul(destination, 63)).all()
    exact = (192 * source + 63 * destination + 127) // 255
    assert np.abs(table - exact).max() == 1


def test_child_video_over_the_picture_and_repaint_without_program_frames(d3d_display):
    probe = Probe(d3d_display, "video")
    probe.until_ready("black")
    left, top, width, height = next(map(int, line.split()[1:]) for line in probe.lines
                                    if line.startswith("VIDEO "))
    picture = expected_picture(probe.lines)
    black = probe.screenshot()
    probe.go_on()
    probe.until_ready("video")
    first = probe.screenshot()
    probe.go_on()
    probe.until_ready("repaint")
    second = probe.screenshot()
    probe.go_on()
    probe.until_ready("hidden")
    hidden = probe.screenshot()
    assert probe.finish() == 0

    inside = np.zeros((HEIGHT, WIDTH), dtype=bool)
    inside[top:top + height, left:left + width] = True

    def check(shot, quarters, what, margin):
        outside_wrong = np.any(shot != picture, axis=2) & ~inside
        assert not outside_wrong.any(), "%s: the picture around the video changed" % what
        area = shot[top:top + height, left:left + width]
        half_w, half_h = width // 2, height // 2
        for index, colour in enumerate(quarters):
            qx, qy = (index % 2) * half_w, (index // 2) * half_h
            # Scaling mixes neighbours only at the quarters' common edges.
            core = area[qy + margin:qy + half_h - margin, qx + margin:qx + half_w - margin]
            assert (core == colour).all(), "%s: quarter %d" % (what, index)

    check(black, [(0, 0, 0)] * 4, "before the first frame", 0)
    check(first, [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)], "first frame, scaled", 2)
    check(second, [(255, 255, 0), (0, 255, 255), (255, 0, 255), (16, 32, 64)], "frame while idle, 1:1", 0)
    assert_same(hidden, picture, "picture after the video was hidden")

    video, repaint, gone = probe.stats("video"), probe.stats("repaint"), probe.stats("hidden")
    # The frame that came while nothing was drawn was shown by the repaint handler,
    # over the kept picture, without the program's draws.
    assert repaint["repaints"] >= 1
    assert repaint["drawn"] == video["drawn"]
    if repaint["preserved"]:
        assert repaint["videoonly"] > video["videoonly"]
    # Hiding the video brings the picture under it back: one frame drawn.
    assert gone["drawn"] == repaint["drawn"] + 1
