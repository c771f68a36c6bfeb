"""Shared harness of the end-to-end tests: real programs under Xvfb, driven with xdotool.

Run with `scripts/e2e` (or `/usr/bin/python3 -m pytest tests/e2e`). The programs are
taken from the build folder `build/`, or from `$FW_BUILD_DIR` when it is set.

What it gives a test:

- A virtual screen for the whole session (autouse): Xvfb on a free display,
  1280 x 1024 x 24, with DISPLAY set; no window manager, so windows carry no frame.
- `launch(program, cwd, *args)` (fixture): starts a program with its standard output
  and error captured, and kills it at the end of the test if it is still running.
  `launch.player(folder)` starts build/fernwood2 in a gallery folder.
  The returned `App` finds its window, moves and clicks in client coordinates, takes
  screenshots of the client area, closes the window and waits for the exit status.
- `make_gallery(folder, ...)`: writes a complete gallery (four pictures, two tables,
  one or more short movies) that a test can then spoil on purpose; `write_picture`
  writes one picture in the program's raw format (`pattern_picture` makes one);
  `movie_file()` gives a short MPEG-1 clip, made once and cached in the build folder.
- `dismiss_message_box(title)`: waits for a message box and presses Return in it.
- `wait_for_window`, `top_level_windows`, `window_geometry`, `pointer_position`,
  `screenshot_root`, `send_close`, `xdotool`: the pieces the above are made of.
- `PLAYER`, `skip_without_player`: the player's path, and a mark that skips a test
  with a clear reason while the player is not built.

Windows are found by listing the root's children with xwininfo rather than with
`xdotool search`, which misses SDL's message boxes (their name is UTF8_STRING only).
Closing sends WM_DELETE_WINDOW: `xdotool windowclose` would destroy the X window
under the program instead.

Example:

    @skip_without_player
    def test_something(launch, tmp_path):
        app = launch.player(make_gallery(tmp_path / "gallery"))
        app.find_window()
        app.click(400, 300)
        picture = app.screenshot()          # 600 x 800 x 3
        app.close()
        assert app.wait() == 1
"""
import ctypes
import ctypes.util
import io
import os
import re
import shutil
import subprocess
import time
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / os.environ.get("FW_BUILD_DIR", "build")
PLAYER = BUILD / "fernwood2"
PROBES = BUILD / "tests" / "e2e" / "probes"
SCREEN_SIZE = (1280, 1024)
CLIENT_SIZE = (800, 600)

skip_without_player = pytest.mark.skipif(
    not PLAYER.exists(), reason=f"{PLAYER} is not built yet (scripts/build makes it)")


# --- The virtual screen --------------------------------------------------------------

@pytest.fixture(scope="session", autouse=True)
def display():
    """Xvfb on a display number it picks itself; DISPLAY points at it for the session."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % SCREEN_SIZE, "-nolisten", "tcp",
         "-noreset"],
        pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
    previous = os.environ.get("DISPLAY")
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    yield os.environ["DISPLAY"]
    server.terminate()
    server.wait(10)
    if previous is None:
        os.environ.pop("DISPLAY", None)
    else:
        os.environ["DISPLAY"] = previous


def xdotool(*args, timeout=10):
    """Runs xdotool and returns its standard output."""
    done = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=timeout)
    return done.stdout


def pointer_position():
    """The pointer's (x, y) on the screen."""
    out = xdotool("getmouselocation")
    return int(re.search(r"x:(-?\d+)", out).group(1)), int(re.search(r"y:(-?\d+)", out).group(1))


def screenshot_root():
    """The whole screen as an H x W x 3 array of RGB bytes."""
    data = subprocess.run(["import", "-window", "root", "ppm:-"], capture_output=True, check=True,
                          timeout=30).stdout
    return np.array(Image.open(io.BytesIO(data)).convert("RGB"))


def top_level_windows():
    """(window id, title) of every window directly under the root, as xwininfo names them."""
    tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, timeout=10).stdout
    tree = tree.decode("utf-8", "replace")
    found = []
    for match in re.finditer(r'^\s+(0x[0-9a-f]+) "(.*)":', tree, re.MULTILINE):
        found.append((int(match.group(1), 16), match.group(2)))
    return found


def window_geometry(window):
    """(x, y, width, height) of a window's inside, in screen coordinates."""
    info = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True, text=True, timeout=10).stdout
    values = {}
    for key, pattern in (("x", r"Absolute upper-left X:\s+(-?\d+)"), ("y", r"Absolute upper-left Y:\s+(-?\d+)"),
                         ("w", r"Width:\s+(\d+)"), ("h", r"Height:\s+(\d+)")):
        values[key] = int(re.search(pattern, info).group(1))
    return values["x"], values["y"], values["w"], values["h"]


def wait_for_window(title, timeout=20, alive=None):
    """The id of the first top-level window with exactly this title; waits for it.
    alive: a callable; when it returns False the wait gives up early (the program ended)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for window, name in top_level_windows():
            if name == title:
                return window
        if alive is not None and not alive():
            raise AssertionError(f"the program ended before a window titled {title!r} appeared")
        time.sleep(0.1)
    raise AssertionError(f"no window titled {title!r} within {timeout} s")


def send_close(window):
    """Asks a window to close as a window manager's close button does (WM_DELETE_WINDOW)."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    connection = x11.XOpenDisplay(None)
    event = Event()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(connection, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(connection, window, 0, 0, ctypes.byref(event))
    x11.XFlush(connection)
    x11.XCloseDisplay(connection)


def dismiss_message_box(title="Error!!", timeout=20, alive=None):
    """Waits for a message box with this title, presses Return in it, and waits until it
    is gone. Returns the box's window id."""
    box = wait_for_window(title, timeout, alive)
    time.sleep(0.2)  # let the box map and draw before it gets the key
    xdotool("windowfocus", "--sync", box)
    xdotool("key", "Return")
    deadline = time.monotonic() + timeout
    while any(window == box for window, _ in top_level_windows()):
        if time.monotonic() > deadline:
            raise AssertionError(f"the message box {title!r} did not go away on Return")
        time.sleep(0.1)
    return box


# --- Running a program ------------------------------------------------------------

class App:
    """A started program: its window, the mouse in its client area, its output and exit."""

    def __init__(self, command, cwd, log_dir):
        self.command = [str(part) for part in command]
        self.stdout_path = Path(log_dir) / "stdout.txt"
        self.stderr_path = Path(log_dir) / "stderr.txt"
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen(self.command, cwd=str(cwd), stdout=out, stderr=err,
                                            stdin=subprocess.DEVNULL)
        self.window = None

    # output
    @property
    def stdout(self):
        return self.stdout_path.read_bytes().decode("utf-8", "replace")

    @property
    def stderr(self):
        return self.stderr_path.read_bytes().decode("utf-8", "replace")

    def running(self):
        return self.process.poll() is None

    def wait_for_output(self, pattern, timeout=20, stream="stdout"):
        """Waits until the stream matches the regular expression; returns the match."""
        deadline = time.monotonic() + timeout
        while True:
            match = re.search(pattern, getattr(self, stream), re.MULTILINE)
            if match:
                return match
            if time.monotonic() > deadline or not self.running():
                raise AssertionError(f"{stream} never matched {pattern!r}:\n{getattr(self, stream)}")
            time.sleep(0.05)

    # window
    def find_window(self, title="Fernwood2", timeout=20):
        """Waits for the program's window with that title and remembers it."""
        self.window = wait_for_window(title, timeout, self.running)
        time.sleep(0.3)  # mapped and focused before input arrives
        return self.window

    def client_rect(self):
        """(x, y, width, height) of the client area on the screen."""
        return window_geometry(self.window)

    def screenshot(self):
        """The client area as an H x W x 3 array of RGB bytes."""
        x, y, width, height = self.client_rect()
        return screenshot_root()[y:y + height, x:x + width]

    # mouse, in client coordinates (outside the client area too; clamped to the screen)
    def move(self, x, y, settle=0.05):
        left, top, _, _ = self.client_rect()
        target = (min(max(left + x, 0), SCREEN_SIZE[0] - 1), min(max(top + y, 0), SCREEN_SIZE[1] - 1))
        # --sync waits for the pointer to move, so it would wait for ever for no move.
        if pointer_position() != target:
            xdotool("mousemove", "--sync", *target)
        time.sleep(settle)

    def down(self, button=1, settle=0.05):
        xdotool("mousedown", button)
        time.sleep(settle)

    def up(self, button=1, settle=0.05):
        xdotool("mouseup", button)
        time.sleep(settle)

    def click(self, x, y, button=1, settle=0.1):
        self.move(x, y)
        self.down(button)
        self.up(button, settle)

    def drag(self, points, button=1, step_pause=0.05):
        """Presses at the first point, moves through the others, releases at the last."""
        self.move(*points[0])
        self.down(button)
        for point in points[1:]:
            self.move(*point, settle=step_pause)
        self.up(button)

    # ending
    def close(self):
        """Closes the window as its close button would."""
        send_close(self.window)

    def wait(self, timeout=20):
        """Waits for the program to end and returns its exit status."""
        return self.process.wait(timeout)

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait(10)


@pytest.fixture
def launch(tmp_path):
    """launch(program, cwd, *args) -> App; launch.player(folder) runs the player."""
    started = []

    def start(program, cwd, *args):
        log_dir = tmp_path / ("run%d" % len(started))
        log_dir.mkdir()
        app = App([program, *args], cwd, log_dir)
        started.append(app)
        return app

    start.player = lambda folder, *args: start(PLAYER, folder, *args)
    yield start
    for app in started:
        app.kill()


# --- Galleries ------------------------------------------------------------------------

PICTURE_SIZES = {
    # file: (width, height), each large enough for its atlas
    "MainBG.bmp": (800, 700),
    "ThumbnailBG1.bmp": (800, 600),
    "ThumbnailBG2.bmp": (800, 600),
    "Thumbnail.bmp": (700, 700),
}


def write_picture(path, pixels):
    """Writes an H x W x 4 array (RGBA bytes) in the program's raw picture format:
    "TEYL", int32 width, int32 height, then B, G, R, A per pixel, top row first."""
    pixels = np.asarray(pixels, dtype=np.uint8)
    height, width = pixels.shape[:2]
    bgra = pixels[:, :, [2, 1, 0, 3]]
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    with open(path, "wb") as out:
        out.write(b"TEYL")
        out.write(np.array([width, height], dtype="<i4").tobytes())
        out.write(np.ascontiguousarray(bgra).tobytes())


def pattern_picture(width, height, seed):
    """An opaque picture that differs from place to place and from seed to seed."""
    y, x = np.mgrid[0:height, 0:width]
    rgba = np.empty((height, width, 4), dtype=np.uint8)
    rgba[:, :, 0] = (x * 255 // max(width - 1, 1) + seed * 60) % 256
    rgba[:, :, 1] = (y * 255 // max(height - 1, 1) + seed * 90) % 256
    rgba[:, :, 2] = ((x // 50 + y // 50) % 2) * 160 + seed * 20
    rgba[:, :, 3] = 255
    return rgba


_movies = {}


def movie_file(seconds=2, pattern="smpte"):
    """A short MPEG-1 program stream with a test picture and a tone, made once per session."""
    key = (seconds, pattern)
    if key not in _movies:
        folder = Path(os.environ.get("FW_E2E_CACHE", BUILD / "e2e-cache"))
        folder.mkdir(parents=True, exist_ok=True)
        path = folder / f"clip-{pattern}-{seconds}s.mpg"
        if not path.exists():
            partial = path.with_suffix(".part")
            pipeline = (
                f"videotestsrc num-buffers={25 * seconds} pattern={pattern} "
                "! video/x-raw,width=320,height=240,framerate=25/1 ! videoconvert "
                "! mpeg2enc format=0 bitrate=1500 ! mpegvideoparse ! mux. "
                f"audiotestsrc num-buffers={30 * seconds} samplesperbuffer=1470 wave=sine ! audioconvert "
                "! audio/x-raw,rate=44100,channels=2 ! avenc_mp2 bitrate=128000 ! mpegaudioparse ! mux. "
                f"avmux_mpeg name=mux ! filesink location={partial}")
            subprocess.run(["gst-launch-1.0", "-q", *pipeline.split()], check=True, timeout=120,
                           capture_output=True)
            partial.rename(path)
        _movies[key] = path
    return _movies[key]


def make_gallery(folder, clips=1, play_table=None, thumbnail_table=None, pictures=True):
    """Fills folder with what the player reads: Bmp/ pictures, Data/ tables and movies/.
    play_table / thumbnail_table: the tables' text (None: one SingleItem per clip,
    repeating endlessly, and slot k for clip k). Returns the folder as a Path."""
    folder = Path(folder)
    (folder / "Data").mkdir(parents=True, exist_ok=True)
    (folder / "movies").mkdir(exist_ok=True)
    if pictures:
        for seed, (name, (width, height)) in enumerate(PICTURE_SIZES.items()):
            write_picture(folder / "Bmp" / name, pattern_picture(width, height, seed))
    for index in range(clips):
        shutil.copyfile(movie_file(), folder / "movies" / f"clip{index}.mpg")
    if play_table is None:
        play_table = "".join(f'SingleItem "movies/clip{index}.mpg" 0\n' for index in range(clips)) + "End\n"
    if thumbnail_table is None:
        thumbnail_table = f"{clips}\n" + "".join(f"{index} 0\n" for index in range(clips))
    (folder / "Data" / "PlayTable.txt").write_bytes(play_table.encode("cp932") if isinstance(play_table, str)
                                                    else play_table)
    (folder / "Data" / "ThumbnailTable.txt").write_text(thumbnail_table)
    return folder
