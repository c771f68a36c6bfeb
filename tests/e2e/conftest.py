"""E2e harness: the real programs under Xvfb (no window manager), XTest input, XGetImage
shots compared with screens composed from coordinate atlases by mul(a, b) = round(a * b / 255)
(llvmpipe may round a product whose remainder by 255 is 128 down: such pixels may be 1 lower).
xwininfo finds windows (xdotool search misses SDL's message boxes)."""
import collections
import functools
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / os.environ.get("FW_BUILD_DIR", "build")
PLAYER = BUILD / "fernwood2"
PROBES = BUILD / "tests" / "e2e" / "probes"
CACHE = Path(os.environ.get("FW_E2E_CACHE", BUILD / "e2e-cache"))
WIDTH, HEIGHT = 800, 600

sys.path.insert(0, str(ROOT / "tools" / "bench"))
sys.path.insert(0, str(ROOT / "tools" / "layout"))
import layout  # noqa: E402
from xdisplay import VirtualScreen  # noqa: E402

_screen = []


@pytest.fixture(scope="session", autouse=True)
def display():
    _screen.append(VirtualScreen())
    yield os.environ["DISPLAY"]
    _screen.pop().close()


@pytest.fixture
def screen_of():
    """screen_of(width, height): a virtual screen of that size for this test alone; the players it
    starts and the grabs go to it. Ask for it before launch, so that it closes after the players."""
    made = []

    def make(width, height):
        made.append(VirtualScreen((width, height)))
        _screen.insert(0, made[-1])
        return made[-1]
    yield make
    for screen in reversed(made):
        _screen.remove(screen)
        screen.close()


def grab(left, top, width, height):
    return _screen[0].grab(left, top, width, height)


def top_level_windows():
    tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, timeout=10).stdout
    return [(int(match.group(1), 16), match.group(2))
            for match in re.finditer(r'^\s+(0x[0-9a-f]+) "(.*)":', tree.decode("utf-8", "replace"), re.MULTILINE)]


def poll(condition, timeout, failure, pause=0.1):
    """condition()'s first true value; failure (a text, or a function giving it) if none within timeout s."""
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        assert time.monotonic() < deadline, failure() if callable(failure) else failure
        time.sleep(pause)
    return value


def wait_for_window(title, timeout=20, alive=None):
    def found():
        window = next((window for window, name in top_level_windows() if name == title), None)
        assert window or alive is None or alive(), f"the program ended before a window titled {title!r} appeared"
        return window
    return poll(found, timeout, f"no window titled {title!r} within {timeout} s")


def dismiss_message_box(title="Error!!", timeout=20, alive=None):
    box = wait_for_window(title, timeout, alive)
    time.sleep(0.2)  # mapped and drawn before it gets the key
    subprocess.run(["xdotool", "windowfocus", "--sync", str(box), "key", "Return"], timeout=10)
    poll(lambda: box not in [window for window, _ in top_level_windows()], timeout,
         f"the message box {title!r} did not go away on Return")


def window_rect(window):  # left, top, width, height on the screen
    info = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True, text=True, timeout=10).stdout
    return tuple(int(re.search(pattern + r":\s+(-?\d+)", info).group(1))
                 for pattern in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))


def default_signals():
    """For a child's preexec_fn: interrupts and hang-ups as a terminal gives them, even where
    this run was started with them ignored (a background job of a script, as in CI)."""
    for number in (signal.SIGINT, signal.SIGHUP, signal.SIGTERM):
        signal.signal(number, signal.SIG_DFL)


class App:
    def __init__(self, command, cwd, log_dir, env=None):  # env: added to this process's
        self.program = Path(str(command[0]))
        log_dir.mkdir(exist_ok=True)
        self.stdout_path, self.stderr_path = log_dir / "stdout.txt", log_dir / "stderr.txt"
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen([str(part) for part in command], cwd=str(cwd), stdout=out, stderr=err,
                                            stdin=subprocess.DEVNULL, env=dict(os.environ, **env) if env else None,
                                            preexec_fn=default_signals)
        self.window = self.rect = None
        self.placement = None  # (left, top, width, height) of the client area in the window; None: 1:1

    stdout = property(lambda self: self.stdout_path.read_bytes().decode("utf-8", "replace"))
    stderr = property(lambda self: self.stderr_path.read_bytes().decode("utf-8", "replace"))

    def running(self):
        return self.process.poll() is None

    def wait_for_output(self, pattern, timeout=20):
        failure = lambda: f"stdout never matched {pattern!r}:\n{self.stdout}"  # noqa: E731
        poll(lambda: re.search(pattern, self.stdout, re.MULTILINE) or not self.running(), timeout, failure, 0.05)
        assert re.search(pattern, self.stdout, re.MULTILINE), failure()

    def find_window(self, title="Fernwood2", timeout=20):
        self.window = wait_for_window(title, timeout, self.running)
        self.rect = self.client_rect()
        time.sleep(0.3)  # mapped and focused before input arrives
        return self.window

    def client_rect(self):
        return window_rect(self.window)

    def screenshot(self):
        """The client area; where it is placed larger, each client pixel as the window pixel at its middle."""
        shot = grab(*self.rect)
        if not self.placement:
            return shot
        left, top, width, height = self.placement
        rows = top + (np.arange(HEIGHT) * 2 + 1) * height // (2 * HEIGHT)
        columns = left + (np.arange(WIDTH) * 2 + 1) * width // (2 * WIDTH)
        return shot[rows][:, columns]

    def on_screen(self, x, y):
        """The screen position of client point (x, y): the middle of its pixels in the window."""
        left, top = (self.rect or self.client_rect())[:2]
        if self.placement:
            (dx, dy, width, height), x, y = self.placement, x + 0.5, y + 0.5
            x, y = dx + int(x * width // WIDTH), dy + int(y * height // HEIGHT)
        return left + x, top + y

    def move(self, x, y, settle=0.05):
        x, y = self.on_screen(x, y)
        size = _screen[0].size
        _screen[0].move(min(max(x, 0), size[0] - 1), min(max(y, 0), size[1] - 1))
        _screen[0].sync()
        time.sleep(settle)

    def key(self, *names, settle=0.1):  # key names as xdotool knows them (space, Right, Escape, alt+Return)
        subprocess.run(["xdotool", "key", "--delay", "30", *names], timeout=10, check=True)
        time.sleep(settle)

    def hold(self, name, seconds, settle=0.1):  # down, held (repeating), up
        subprocess.run(["xdotool", "keydown", name, "sleep", str(seconds), "keyup", name], timeout=10 + seconds,
                       check=True)
        time.sleep(settle)

    def down(self, button=1, settle=0.05, pressed=True):
        _screen[0].xtst.XTestFakeButtonEvent(_screen[0].connection, button, pressed, 0)
        _screen[0].sync()
        time.sleep(settle)

    def up(self, button=1, settle=0.05):
        self.down(button, settle, pressed=False)

    def click(self, x, y, button=1, settle=0.1):
        self.move(x, y)
        self.down(button)
        self.up(button, settle)

    def close(self):  # WM_DELETE_WINDOW, as a window manager's close button sends it
        _screen[0].request_close(self.window)

    def wait(self, timeout=20):
        return self.process.wait(timeout)


@pytest.fixture
def launch(tmp_path):
    started = []

    def start(program, cwd, *args, **env):
        started.append(App([program, *args], cwd, tmp_path / ("run%d" % len(started)), env))
        return started[-1]

    start.player = lambda folder, *args, **env: start(PLAYER, folder, *args, **env)
    yield start
    for app in started:
        if app.running():
            app.process.kill()
            app.process.wait(10)


# The player's own layout (tools/layout/layout.py): atlas regions (left, top, right, bottom);
# hit rectangles whose right and bottom are inside.
LAYOUT_TOOL = layout.program()
_layout = layout.load() if LAYOUT_TOOL.exists() else collections.defaultdict(lambda: [[0, 0, 0, 0]] * 4)
skip_without_player = pytest.mark.skipif(not (PLAYER.exists() and LAYOUT_TOOL.exists()),
                                         reason=f"{PLAYER} or {LAYOUT_TOOL} is not built yet (scripts/build)")


def _inside(point, rect):
    left, top, right, bottom = rect
    return left <= point[0] <= right and top <= point[1] <= bottom


def _button(screen, atlas, image, area, mouse, inactive=False):
    state = "Inactive" if inactive else "Highlighted" if _inside(mouse, _layout[area]) else "Normal"
    screen.quad(atlas, tuple(_layout[image + state]), tuple(_layout[area][:2]))


VIDEO = layout.video_rect() if LAYOUT_TOOL.exists() else (0, 0, 0, 0)  # left, top, width, height
NEUTRAL = (795, 5)  # on no control of either screen
STOP, PLAY, PREVIOUS, NEXT = (540, 550), (600, 550), (480, 550), (660, 550)
GALLERY = BACK = (740, 557)  # the gallery button, and on the gallery its back button
PAGE = (750, 40)
SEEK_Y, VOLUME_Y = 544, 576  # rows on the sliders
KNOB = {"normal": tuple(_layout["kKnobNormal"]), "dragged": tuple(_layout["kKnobDragged"])}
SEEK_KNOB_Y, VOLUME_KNOB_Y = int(_layout["kSeekKnobY"]), int(_layout["kVolumeKnobY"])
CELL = (int(_layout["kCellWidth"]), int(_layout["kCellHeight"]))


def cell_at(row, column):
    return (int(_layout["kCellLeft"] + _layout["kCellStepX"] * column),
            int(_layout["kCellTop"] + _layout["kCellStepY"] * row))


def cell_centre(index):
    x, y = cell_at(index % 28 // 7, index % 7)
    return x + CELL[0] // 2, y + CELL[1] // 2


def seek_knob_x(x):  # where a seek to column x puts the knob
    fraction = min(max((x - _layout["kSliderOrigin"]) / _layout["kSliderSpan"], 0.0), 1.0)
    return int(_layout["kKnobLeft"]) + int(fraction * _layout["kSliderSpan"])


def volume_knob_x(volume):
    span = _layout["kSliderSpan"]
    return int(_layout["kKnobLeft"]) + int(span - volume * span / _layout["kQuietestVolume"])


def volume_for_x(x):
    quietness = min(max(1 - (x - _layout["kSliderOrigin"]) / _layout["kSliderSpan"], 0.0), 1.0)
    return int(_layout["kQuietestVolume"] * quietness)


def coordinate_picture(width, height, blue_xor=0):  # no two texels equal; blue_xor tells sizes apart
    y, x = np.mgrid[0:height, 0:width]
    return np.dstack([x & 255, y & 255, ((x >> 8) | ((y >> 8) << 4)) ^ blue_xor, np.full_like(x, 255)]).astype(np.uint8)


@functools.cache
def atlases():
    """The gallery's four pictures (shared: do not change); the knobs' corners clear, the lock every alpha."""
    main = coordinate_picture(800, 700)
    for left, top, right, bottom in KNOB.values():
        main[top:bottom, left:right, 3] = 255
        for y, x in [(0, 0), (0, 1), (1, 0), (0, 18), (0, 17), (1, 18)]:
            main[top + y, left + x, 3] = main[bottom - 1 - y, left + x, 3] = 0
    thumbnail = coordinate_picture(700, 700)
    y, x = np.mgrid[0:75, 0:100]
    alpha = (x * 37 + y * 11) % 256
    rim = (x == 0) | (y == 0) | (x == 99) | (y == 74)
    alpha[rim] = 255 - (x[rim] + y[rim]) % 32
    thumbnail[600:675, 0:100, 3] = alpha
    return {"MainBG.bmp": main, "ThumbnailBG1.bmp": coordinate_picture(800, 600, 0x80),
            "ThumbnailBG2.bmp": coordinate_picture(800, 600, 0x40), "Thumbnail.bmp": thumbnail}


def mul(a, b):
    return (a * b + 127) // 255


class Screen:
    def __init__(self, pixels=None):  # pixels: a shot to compare others with exactly
        self.pixels = np.zeros((HEIGHT, WIDTH, 3), np.int32) if pixels is None else np.asarray(pixels, np.int32)
        self.loose = np.zeros((HEIGHT, WIDTH, 3), dtype=bool)  # may be 1 lower (see above)

    def quad(self, picture, region, at, diffuse=0xFFFFFFFF):  # picture: an atlas's file name or RGBA array
        left, top, right, bottom = region
        x, y = at
        texels = (atlases()[picture] if isinstance(picture, str) else picture)[top:bottom, left:right].astype(np.int32)
        factors = [(diffuse >> 16) & 0xFF, (diffuse >> 8) & 0xFF, diffuse & 0xFF, diffuse >> 24]
        source = [mul(texels[:, :, channel], factors[channel]) for channel in range(4)]
        alpha = source[3]
        area = self.pixels[y:y + bottom - top, x:x + right - left]
        loose = self.loose[y:y + bottom - top, x:x + right - left]
        for channel in range(3):
            destination = area[:, :, channel]
            blended = mul(source[channel], alpha) + mul(destination, 255 - alpha)
            tie = ((source[channel] * alpha) % 255 == 128) | ((destination * (255 - alpha)) % 255 == 128)
            loose[:, :, channel] = np.where(alpha > 0, tie, loose[:, :, channel])
            area[:, :, channel] = np.where(alpha > 0, blended, destination)
        return self


@functools.lru_cache(maxsize=16)  # a wait compares many shots with one screen
def main_screen(seek_x=35, volume_x=370, dragging=0, item=0, item_count=1, playing=False, clip_count=0, clip=0,
                mouse=NEUTRAL):
    screen = Screen().quad("MainBG.bmp", tuple(_layout["kMainBackground"]), (0, 0))
    screen.quad("MainBG.bmp", KNOB["dragged" if dragging == 1 else "normal"], (seek_x, SEEK_KNOB_Y))
    screen.quad("MainBG.bmp", KNOB["dragged" if dragging == 2 else "normal"], (volume_x, VOLUME_KNOB_Y))
    if item > 0:
        _button(screen, "MainBG.bmp", "kPrevious", "kPreviousRect", mouse)
    _button(screen, "MainBG.bmp", "kStop", "kStopRect", mouse, not playing)
    _button(screen, "MainBG.bmp", "kPlay", "kPlayRect", mouse, playing)
    if item < item_count - 1:
        _button(screen, "MainBG.bmp", "kNext", "kNextRect", mouse)
    _button(screen, "MainBG.bmp", "kThumbnailButton", "kThumbnailButtonRect", mouse)
    for k in range(clip_count if clip_count >= 2 else 0):
        area = _layout["kClipButtonRects"][k]
        state = "Current" if clip == k else "Highlighted" if _inside(mouse, area) else "Normal"
        screen.quad("MainBG.bmp", tuple(_layout["kClipButton" + state]), tuple(area[:2]))
    return screen


@functools.lru_cache(maxsize=16)
def gallery_screen(page=0, flags=bytes(64), mouse=NEUTRAL):
    screen = Screen().quad("ThumbnailBG%d.bmp" % (page + 1), tuple(_layout["kMainBackground"]), (0, 0))
    hot = "kPageButtonHighlighted" if _inside(mouse, _layout["kPageButtonRect"]) else "kPageButtonNormal"
    screen.quad("Thumbnail.bmp", tuple(_layout[hot][page]), tuple(_layout["kPageButtonRect"][:2]))
    (width, height), rows, columns = CELL, int(_layout["kGalleryRows"]), int(_layout["kGalleryColumns"])
    for row in range(rows):
        for column in range(columns):
            x, y = cell_at(row, column)
            if flags[page * rows * columns + row * columns + column] != 1:
                screen.quad("Thumbnail.bmp", tuple(_layout["kLockImage"]), (x, y), 0xC0FFFFFF)
            elif _inside(mouse, (x, y, x + width - 1, y + height - 1)):
                left, top = width * column, height * row + int(_layout["kAtlasPageHeight"]) * page
                screen.quad("Thumbnail.bmp", (left, top, left + width, top + height), (x, y))
    _button(screen, "Thumbnail.bmp", "kBackButton", "kBackButtonRect", mouse)
    return screen


def differences(shot, expected, mask=None):
    shot = np.asarray(shot, dtype=np.int32)
    delta = shot - expected.pixels
    wrong = np.any((delta != 0) & ~(expected.loose & (delta == -1)), axis=2)
    places = np.argwhere(wrong if mask is None else wrong & mask)
    if not len(places):
        return ""
    (y, x), (y1, x1) = places[0], places[-1]
    return "%d pixels differ, from (%d, %d) to (%d, %d); first: %s instead of %s" % (
        len(places), x, y, x1, y1, shot[y, x].tolist(), expected.pixels[y, x].tolist())


OUTSIDE_VIDEO = np.ones((HEIGHT, WIDTH), dtype=bool)
OUTSIDE_VIDEO[VIDEO[1]:VIDEO[1] + VIDEO[3], VIDEO[0]:VIDEO[0] + VIDEO[2]] = False


def find_knob(shot, top):
    """(left, "normal" or "dragged") of the knob on row top (column 0 opaque on rows 2 to 13), or None."""
    band = np.asarray(shot[top + 2:top + 14], dtype=np.int64)
    red, green, blue = band[:, :, 0], band[:, :, 1], band[:, :, 2]
    for image, first_row in ((state, KNOB[state][1] & 255) for state in ("normal", "dragged")):
        hit = (red == 99) & (blue == 0x20) & (green == first_row + 2 + np.arange(12)[:, None])
        columns = np.flatnonzero(hit.all(axis=0))
        if len(columns):
            return int(columns[0]), image
    return None


def main_check(video=None, seek_x=None, **state):
    """The main screen outside the video (seek knob where found, or at seek_x), the video in colour video."""
    def check(shot):
        knob = find_knob(shot, SEEK_KNOB_Y)
        wanted = "dragged" if state.get("dragging") == 1 else "normal"
        if knob is None or knob[1] != wanted or seek_x not in (None, knob[0]):
            return "the seek knob is %s, not %s at %s" % (knob, wanted, seek_x)
        wrong = differences(shot, main_screen(seek_x=knob[0], **state), OUTSIDE_VIDEO)
        if not wrong and video is not None and not video_is(shot, video):
            return "the video shows %s, not %s" % (video_colour(shot), video)
        return wrong
    return check


def gallery_check(page=0, flags=bytes(64), mouse=NEUTRAL):
    expected = gallery_screen(page, bytes(flags), mouse)
    return lambda shot: differences(shot, expected)


def wait_for_shot(app, condition, timeout=20, what="the expected picture", pause=0.1):
    deadline = time.monotonic() + timeout
    while (verdict := condition(shot := app.screenshot())) not in ("", True):
        assert time.monotonic() <= deadline, "no screenshot showed %s within %d s: %s" % (what, timeout, verdict)
        assert app.running(), "the player ended while waiting for %s:\n%s" % (what, app.stderr)
        time.sleep(pause)
    return shot


# The failed load's box, as standard error has it: ムービーのロードに失敗しました
MOVIE_FAILED = "Error!!: \u30e0\u30fc\u30d3\u30fc\u306e\u30ed\u30fc\u30c9\u306b\u5931\u6557\u3057\u307e\u3057\u305f"
RED, GREEN, BLUE, YELLOW = (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)
COLOUR_TOLERANCE = 40  # per channel: YUV 4:2:0 coding and conversion back to RGB


def cached(name, make):
    """CACHE/name, made once: make(path) writes it under a name of this process's, then it is renamed."""
    path = CACHE / name
    if not path.exists():
        CACHE.mkdir(parents=True, exist_ok=True)
        partial = path.with_name("partial-%d-%s" % (os.getpid(), name))
        make(partial)
        partial.rename(path)
    return path


def gst_launch(pipeline):
    done = subprocess.run(["gst-launch-1.0", "-q", *pipeline.split()], capture_output=True, timeout=180)
    assert done.returncode == 0, "gst-launch-1.0 failed: %s" % done.stderr.decode("utf-8", "replace")


def encode_frames(partial, pixels, size, rest):
    """Raw RGB frames of size, 25 a second, through gst-launch: rest is what follows their parser."""
    raw = partial.with_suffix(".rgb")
    raw.write_bytes(pixels)
    gst_launch(f"filesrc location={raw} ! rawvideoparse width={size[0]} height={size[1]} format=rgb framerate=25/1 "
               + rest)
    raw.unlink()


def _colour_clip(colours, frames, size, partial):
    encode_frames(partial, b"".join(bytes(colour) * size[0] * size[1] * frames for colour in colours), size,
                  "! videoconvert ! video/x-raw,format=I420 ! mpeg2enc format=0 bitrate=800 ! mpegvideoparse ! mux. "
                  f"audiotestsrc num-buffers={frames * len(colours) * 30 // 25 + 1} samplesperbuffer=1470 "
                  "! audioconvert ! audio/x-raw,rate=44100,channels=2 ! avenc_mp2 bitrate=128000 ! mpegaudioparse "
                  f"! mux. avmux_mpeg name=mux ! filesink location={partial}")


def colour_clips(*contents, seconds_each=1.5, size=(320, 240)):  # cached MPEG-1 clips with sound, colours in turn
    frames = int(round(25 * seconds_each))
    sized = "" if size == (320, 240) else "-%dx%d" % size
    return [cached("solid-%s-%d%s.mpg" % ("-".join("%02x%02x%02x" % colour for colour in colours), frames, sized),
                   functools.partial(_colour_clip, colours, frames, size)) for colours in contents]


def frame_segment_sizes(pid):
    """The sizes of the shared memory files the process maps for video frames (converted straight
    into memory the X server reads in place, on the cpu renderer)."""
    sizes = []
    for line in open("/proc/%d/maps" % pid):
        if "memfd:fernwood2-frame" in line:
            start, end = (int(address, 16) for address in line.split()[0].split("-"))
            sizes.append(end - start)
    return sizes


def video_colour(shot):
    left, top, width, height = VIDEO
    middle = shot[top + height // 4:top + 3 * height // 4, left + width // 4:left + 3 * width // 4]
    return tuple(int(v) for v in np.median(middle.reshape(-1, 3), axis=0))


def video_is(shot, colour, margin=4):
    left, top, width, height = VIDEO
    inner = shot[top + margin:top + height - margin, left + margin:left + width - margin].astype(np.int64)
    return bool(np.all(np.abs(inner - colour) <= COLOUR_TOLERANCE))


def video_sample(app, palette):
    left, top, width, height = VIDEO
    patch = grab(app.rect[0] + left + width // 2 - 32, app.rect[1] + top + height // 2 - 32, 64, 64).astype(np.int32)
    return next((colour for colour in palette if np.all(np.abs(patch - colour) <= COLOUR_TOLERANCE)), None)


def write_picture(path, rgba):
    height, width = rgba.shape[:2]
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"TEYL" + np.array([width, height], "<i4").tobytes() + rgba[:, :, [2, 1, 0, 3]].tobytes())


def make_gallery(folder, clips=1, play_table=None, thumbnail_table=None, volume=None, flags=bytes(64)):
    """clips: {name: path or bytes} or a count of red clips; default tables: one endless item and slot per clip."""
    folder = Path(folder)
    if isinstance(clips, int):
        clips = {f"clip{index}.mpg": colour_clips([RED])[0] for index in range(clips)}
    for name, picture in atlases().items():
        write_picture(folder / "Bmp" / name, picture)
    (folder / "movies").mkdir()
    for name, source in clips.items():
        (folder / "movies" / name).write_bytes(source if isinstance(source, bytes) else Path(source).read_bytes())
    play_table = play_table or "".join(f'SingleItem "movies/{name}" 0\n' for name in clips) + "End\n"
    thumbnail_table = thumbnail_table or f"{len(clips)}\n" + "".join(f"{index} 0\n" for index in range(len(clips)))
    (folder / "Data").mkdir()
    (folder / "Data" / "PlayTable.txt").write_text(play_table)
    (folder / "Data" / "ThumbnailTable.txt").write_text(thumbnail_table)
    if volume is not None:
        (folder / "GameData.sys").write_bytes(np.array([volume], "<i4").tobytes() + bytes(flags))
    return folder


def read_save(folder):
    data = (Path(folder) / "GameData.sys").read_bytes()
    assert len(data) == 68, "GameData.sys has %d bytes" % len(data)
    return int(np.frombuffer(data[:4], "<i4")[0]), data[4:]


def flags_of(*unlocked):
    return bytes(1 if index in unlocked else 0 for index in range(64))


def start_player(launch, folder, *args, **env):
    app = launch.player(folder, *args, **env)
    app.find_window()
    app.move(*NEUTRAL)
    return app


def press(app, point):  # a click, then the pointer off the controls
    app.click(*point)
    app.move(*NEUTRAL)


def close_player(app, stderr=""):
    app.close()
    status = app.wait(30)
    assert "Error!!" not in app.stderr, app.stderr
    if app.program == PLAYER:  # our layer adds nothing of its own; under Wine, Wine's drivers speak
        assert app.stderr == stderr, app.stderr
    return status
