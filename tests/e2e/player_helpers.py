"""Helpers of the player's screen, movie and interaction tests: pictures whose every
texel names its own place, solid-colour clips, GameData.sys, and the screens as the
fixed pipeline composes them from the atlases.

The expected screens are built here from the layout the player promises (written out
below, not taken from the program's sources), so a wrong rectangle, a misplaced quad
edge or a wrong atlas region shows as a pixel that differs.

Colour arithmetic, as the Direct3D layer documents it for its rasterizer: every
product of two 8-bit channels is rounded to the nearest value, mul(a, b) =
round(a * b / 255); the texture stage gives mul(texel, diffuse) for colour and alpha;
a texel whose alpha ends at 0 is left out by the alpha test; blending gives
mul(source, alpha) + mul(destination, 255 - alpha), each product rounded on its own.
With the diffuse colour 0xFFFFFFFF an opaque texel is copied unchanged.

One measured exception, in Mesa's llvmpipe: a product whose exact value lies at
k + 128/255 (the remainder of x * y by 255 is 128, the nearest to a half that 8-bit
products get) is sometimes rounded down to k, where round(x * y / 255) gives k + 1;
about one blended channel in a thousand of the lock image. Such pixels may be 1
lower than computed, and nowhere else is any difference allowed.
"""
import collections
import ctypes
import ctypes.util
import os
import subprocess
import time
from pathlib import Path

import numpy as np

from conftest import BUILD, CLIENT_SIZE, make_gallery, write_picture

WIDTH, HEIGHT = CLIENT_SIZE
VIDEO = (80, 16, 640, 480)  # left, top, width, height of the video rectangle
NEUTRAL = (795, 5)  # a client point that lies on no control of either screen

# --- Layout: (left, top, right, bottom) atlas regions, right and bottom exclusive ----
MAIN_BG = (0, 0, 800, 600)
PREVIOUS = {"normal": (0, 600, 58, 645), "hot": (290, 600, 348, 645)}
STOP = {"normal": (58, 600, 116, 645), "hot": (348, 600, 406, 645), "inactive": (580, 600, 638, 645)}
PLAY = {"normal": (116, 600, 174, 645), "hot": (406, 600, 464, 645), "inactive": (638, 600, 696, 645)}
NEXT = {"normal": (174, 600, 232, 645), "hot": (464, 600, 522, 645)}
GALLERY_BUTTON = {"normal": (232, 600, 290, 645), "hot": (522, 600, 580, 645)}
CLIP_BUTTON = {"normal": (0, 645, 33, 686), "hot": (33, 645, 66, 686), "current": (66, 645, 99, 686)}
KNOB = {"normal": (99, 645, 118, 661), "dragged": (99, 661, 118, 677)}

# Screen places (left, top) of the main screen's buttons; a button's hit area is its
# image's pixels.
PREVIOUS_AT, STOP_AT, PLAY_AT, NEXT_AT, GALLERY_AT = (456, 535), (514, 535), (572, 535), (630, 535), (714, 535)
CLIP_AT = [(749, 55), (749, 130), (749, 205), (749, 280)]
SEEK_KNOB_Y, VOLUME_KNOB_Y = 534, 566

LOCK = (0, 600, 100, 675)
PAGE_BUTTON = {0: {"normal": (112, 600, 170, 645), "hot": (286, 600, 344, 645)},
               1: {"normal": (170, 600, 228, 645), "hot": (344, 600, 402, 645)}}
BACK_BUTTON = {"normal": (228, 600, 286, 645), "hot": (402, 600, 460, 645)}
PAGE_AT, BACK_AT = (721, 24), (714, 535)


def cell_at(row, column):
    return 29 + 107 * column, 91 + 108 * row


def cell_of(index):
    """(page, row, column) of gallery slot index."""
    return index // 28, index % 28 // 7, index % 7


def cell_centre(index):
    _, row, column = cell_of(index)
    x, y = cell_at(row, column)
    return x + 50, y + 37


def thumbnail_region(page, row, column):
    return 100 * column, 75 * row + 300 * page, 100 * column + 100, 75 * row + 300 * page + 75


def seek_knob_x(position, duration):
    return 35 + int(position / duration * 335.0)


def volume_knob_x(volume):
    return 35 + int(335.0 - volume * 335.0 / -5000.0)


def volume_for_x(x):
    g = 1 - (x - 44) / 335
    g = 0.0 if g <= 0 else 1.0 if g >= 1 else g
    return int(-5000 * g)


# --- Pictures ---------------------------------------------------------------------------

def coordinate_picture(width, height):
    """Opaque RGBA where every texel encodes its own (x, y): R = x & 255, G = y & 255,
    B = (x >> 8) | ((y >> 8) << 4). No two texels of a 4096 x 4096 picture are equal."""
    y, x = np.mgrid[0:height, 0:width]
    rgba = np.empty((height, width, 4), dtype=np.uint8)
    rgba[:, :, 0] = x & 255
    rgba[:, :, 1] = y & 255
    rgba[:, :, 2] = (x >> 8) | ((y >> 8) << 4)
    rgba[:, :, 3] = 255
    return rgba


def lock_alpha(width=100, height=75):
    """Alpha of the lock image: values that run through the whole range inside, 0 and
    255 among them, and an edge one texel wide that is nearly opaque, so that a lock
    drawn a row or a column short or long shows."""
    y, x = np.mgrid[0:height, 0:width]
    alpha = ((x * 37 + y * 11) % 256).astype(np.uint8)
    edge = (x == 0) | (y == 0) | (x == width - 1) | (y == height - 1)
    alpha[edge] = 255 - (x[edge] + y[edge]) % 32
    return alpha


def knob_alpha():
    """Alpha of the knobs: their four corners transparent, so the bar shows there."""
    alpha = np.full((16, 19), 255, dtype=np.uint8)
    for y, x in [(0, 0), (0, 1), (1, 0), (0, 18), (0, 17), (1, 18), (15, 0), (15, 1), (14, 0), (15, 18), (15, 17),
                 (14, 18)]:
        alpha[y, x] = 0
    return alpha


_atlases = {}


def atlases():
    """The four pictures of a pixel-exact gallery, as RGBA arrays by file name; one
    set for the session (read them, do not change them)."""
    if not _atlases:
        _atlases.update(_make_atlases())
    return _atlases


def _make_atlases():
    main = coordinate_picture(800, 700)
    for region in KNOB.values():
        left, top, right, bottom = region
        main[top:bottom, left:right, 3] = knob_alpha()
    thumbnail = coordinate_picture(700, 700)
    left, top, right, bottom = LOCK
    thumbnail[top:bottom, left:right, 3] = lock_alpha()
    # The two gallery backgrounds differ from each other and from the main one.
    first = coordinate_picture(800, 600)
    first[:, :, 2] ^= 0x80
    second = coordinate_picture(800, 600)
    second[:, :, 2] ^= 0x40
    return {"MainBG.bmp": main, "ThumbnailBG1.bmp": first, "ThumbnailBG2.bmp": second, "Thumbnail.bmp": thumbnail}


# --- The pipeline's arithmetic -----------------------------------------------------------

def mul(a, b):
    return (a * b + 127) // 255


_wide_pictures = {}
_screens = collections.OrderedDict()  # the latest compositions, at most _KEPT_SCREENS
_KEPT_SCREENS = 12


def _wide(pictures):
    """The pictures as 32-bit integers, converted once per set."""
    key = id(pictures)
    if key not in _wide_pictures:
        _wide_pictures[key] = (pictures, {name: picture.astype(np.int32) for name, picture in pictures.items()})
    return _wide_pictures[key][1]


def _cached(compose):
    """Keeps composed screens by their arguments: a wait compares many shots with one."""
    def composed(pictures, *args, **state):
        key = (compose.__name__, id(pictures), args, tuple(sorted((k, bytes(v) if isinstance(v, bytearray) else v)
                                                                   for k, v in state.items())))
        if key not in _screens:
            _wide(pictures)  # keeps pictures alive, so its id stays its own
            screen = compose(pictures, *args, **state)
            screen.pixels = screen.pixels.astype(np.int16)
            _screens[key] = screen
            if len(_screens) > _KEPT_SCREENS:
                _screens.popitem(last=False)
        _screens.move_to_end(key)
        return _screens[key]
    composed.__doc__ = compose.__doc__
    return composed


class Screen:
    """A 600 x 800 RGB picture on which quads are drawn as the player draws them."""

    def __init__(self, pictures):
        self.pictures = _wide(pictures)
        self.pixels = np.zeros((HEIGHT, WIDTH, 3), dtype=np.int32)
        self.loose = np.zeros((HEIGHT, WIDTH, 3), dtype=bool)  # may be 1 lower (see above)

    def quad(self, picture, region, at, diffuse=0xFFFFFFFF):
        left, top, right, bottom = region
        x, y = at
        texels = self.pictures[picture][top:bottom, left:right]
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


@_cached
def main_screen(pictures, seek_x=35, volume_x=370, dragging=0, item=0, item_count=1, playing=False,
                clip_count=0, clip=0, mouse=NEUTRAL):
    """The main screen as a Screen (the video rectangle included, as Direct3D leaves it)."""
    screen = Screen(pictures).quad("MainBG.bmp", MAIN_BG, (0, 0))
    screen.quad("MainBG.bmp", KNOB["dragged" if dragging == 1 else "normal"], (seek_x, SEEK_KNOB_Y))
    screen.quad("MainBG.bmp", KNOB["dragged" if dragging == 2 else "normal"], (volume_x, VOLUME_KNOB_Y))

    def hot(at, size):
        return at[0] <= mouse[0] <= at[0] + size[0] - 1 and at[1] <= mouse[1] <= at[1] + size[1] - 1

    def button(images, at, inactive=False):
        state = "inactive" if inactive else "hot" if hot(at, (58, 45)) else "normal"
        screen.quad("MainBG.bmp", images[state], at)

    if item > 0:
        button(PREVIOUS, PREVIOUS_AT)
    button(STOP, STOP_AT, inactive=not playing)
    button(PLAY, PLAY_AT, inactive=playing)
    if item < item_count - 1:
        button(NEXT, NEXT_AT)
    button(GALLERY_BUTTON, GALLERY_AT)
    for k in range(4):
        if clip_count >= max(2, k + 1):
            state = "current" if clip == k else "hot" if hot(CLIP_AT[k], (33, 41)) else "normal"
            screen.quad("MainBG.bmp", CLIP_BUTTON[state], CLIP_AT[k])
    return screen


@_cached
def gallery_screen(pictures, page=0, flags=bytes(64), mouse=NEUTRAL):
    """The thumbnail screen as a Screen."""
    screen = Screen(pictures).quad("ThumbnailBG1.bmp" if page == 0 else "ThumbnailBG2.bmp", MAIN_BG, (0, 0))

    def hot(left, top, width, height):
        return left <= mouse[0] <= left + width - 1 and top <= mouse[1] <= top + height - 1

    screen.quad("Thumbnail.bmp", PAGE_BUTTON[page]["hot" if hot(*PAGE_AT, 58, 45) else "normal"], PAGE_AT)
    for row in range(4):
        for column in range(7):
            index = page * 28 + row * 7 + column
            at = cell_at(row, column)
            if flags[index] == 1:
                if hot(*at, 100, 75):
                    screen.quad("Thumbnail.bmp", thumbnail_region(page, row, column), at)
            else:
                screen.quad("Thumbnail.bmp", LOCK, at, 0xC0FFFFFF)
    screen.quad("Thumbnail.bmp", BACK_BUTTON["hot" if hot(*BACK_AT, 58, 45) else "normal"], BACK_AT)
    return screen


def outside_video():
    """Mask of the client pixels outside the video rectangle."""
    mask = np.ones((HEIGHT, WIDTH), dtype=bool)
    left, top, width, height = VIDEO
    mask[top:top + height, left:left + width] = False
    return mask


def differences(actual, expected, mask=None):
    """A short description of where a shot differs from an expected Screen (within
    mask), or ''."""
    actual = np.asarray(actual, dtype=np.int32)
    delta = actual - expected.pixels
    wrong = np.any((delta != 0) & ~(expected.loose & (delta == -1)), axis=2)
    expected = expected.pixels
    if mask is not None:
        wrong &= mask
    places = np.argwhere(wrong)
    if not len(places):
        return ""
    y, x = places[0]
    y1, x1 = places[-1]
    return ("%d pixels differ, from (%d, %d) to (%d, %d); first: %s instead of %s"
            % (len(places), x, y, x1, y1, actual[y, x].tolist(), expected[y, x].tolist()))


def find_knob(shot, top):
    """(left, image) of the knob drawn on row top: its texels carry their atlas place,
    and column 0 of each knob image (R = 99, B = 0x20) is opaque from row 2 to 13.
    image is "normal" or "dragged"; None when no knob is found."""
    band = np.asarray(shot[top + 2:top + 14], dtype=np.int64)
    red, green, blue = band[:, :, 0], band[:, :, 1], band[:, :, 2]
    for image, first_row in (("normal", 645 & 255), ("dragged", 661 & 255)):
        hit = (red == 99) & (blue == 0x20) & (green == first_row + 2 + np.arange(12)[:, None])
        columns = np.flatnonzero(hit.all(axis=0))
        if len(columns):
            return int(columns[0]), image
    return None


def main_screen_check(pictures, video=None, seek_x=None, **state):
    """A condition for wait_for_shot: the main screen in this state, every pixel
    outside the video rectangle; the seek knob where it is found (or at seek_x) in the
    image the state's drag asks for; video: a colour the whole video must show."""
    def check(shot):
        knob = find_knob(shot, SEEK_KNOB_Y)
        if knob is None:
            return "no seek knob on the screen"
        wanted = "dragged" if state.get("dragging") == 1 else "normal"
        if knob[1] != wanted:
            return "the seek knob shows its %s image" % knob[1]
        if seek_x is not None and knob[0] != seek_x:
            return "the seek knob stands at %d, not %d" % (knob[0], seek_x)
        wrong = differences(shot, main_screen(pictures, seek_x=knob[0], **state), outside_video())
        if wrong:
            return wrong
        if video is not None and not video_is(shot, video):
            return "the video shows %s, not %s" % (video_colour(shot), video)
        return ""
    return check


def gallery_check(pictures, **state):
    """A condition for wait_for_shot: the thumbnail screen, every pixel."""
    expected = gallery_screen(pictures, **state)
    return lambda shot: differences(shot, expected)


# --- Clips -------------------------------------------------------------------------------

RED, GREEN, BLUE, YELLOW, MAGENTA = (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0), (255, 0, 255)
COLOUR_TOLERANCE = 40  # per channel: YUV 4:2:0 coding and conversion back to RGB


def _cache():
    folder = Path(os.environ.get("FW_E2E_CACHE", BUILD / "e2e-cache"))
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def _clip_path(colours, seconds_each):
    frames = int(round(25 * seconds_each))
    return _cache() / ("solid-" + "-".join("%02x%02x%02x" % colour for colour in colours) + "-%d.mpg" % frames)


def _clip_pipeline(colours, seconds_each, partial):
    """The encoding pipeline; the frames come from a raw RGB file written beside the clip."""
    frames = int(round(25 * seconds_each))
    raw = partial.with_suffix(".rgb")
    with open(raw, "wb") as out:
        for colour in colours:
            out.write(np.tile(np.array(colour, dtype=np.uint8), (240, 320, 1)).tobytes() * frames)
    total = frames * len(colours)
    return (f"filesrc location={raw} ! rawvideoparse width=320 height=240 format=rgb framerate=25/1 "
            "! videoconvert ! video/x-raw,format=I420 ! mpeg2enc format=0 bitrate=800 ! mpegvideoparse ! mux. "
            f"audiotestsrc num-buffers={total * 30 // 25 + 1} samplesperbuffer=1470 wave=sine ! audioconvert "
            "! audio/x-raw,rate=44100,channels=2 ! avenc_mp2 bitrate=128000 ! mpegaudioparse ! mux. "
            f"avmux_mpeg name=mux ! filesink location={partial}")


def colour_clips(*contents, seconds_each=1.5):
    """320 x 240 MPEG-1 clips (25 frames a second, with a tone), one per content: a list
    of colours that the clip shows in turn, seconds_each each. Made at the same time,
    cached by content. Returns their paths in order."""
    paths = [_clip_path(colours, seconds_each) for colours in contents]
    running = []
    for colours, path in zip(contents, paths):
        if not path.exists() and path not in [p for p, _ in running]:
            partial = path.with_suffix(".part%d" % os.getpid())
            command = ["gst-launch-1.0", "-q", *_clip_pipeline(colours, seconds_each, partial).split()]
            running.append((path, subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)))
    for path, process in running:
        _, error = process.communicate(timeout=180)
        assert process.returncode == 0, "gst-launch-1.0 failed: %s" % error.decode("utf-8", "replace")
        partial = path.with_suffix(".part%d" % os.getpid())
        partial.with_suffix(".rgb").unlink()
        partial.rename(path)
    return paths


def video_colour(shot):
    """The median colour of the video rectangle's middle, where a solid clip is flat."""
    left, top, width, height = VIDEO
    middle = shot[top + height // 4:top + 3 * height // 4, left + width // 4:left + 3 * width // 4]
    return tuple(int(v) for v in np.median(middle.reshape(-1, 3), axis=0))


def video_edges_are(shot, colour):
    """'' when the first and last rows and columns of the video rectangle show colour
    (the pixels just outside belong to the screen's own picture), else a description."""
    left, top, width, height = VIDEO
    edges = {"left": shot[top:top + height, left], "right": shot[top:top + height, left + width - 1],
             "top": shot[top, left:left + width], "bottom": shot[top + height - 1, left:left + width]}
    for name, pixels in edges.items():
        off = np.abs(pixels.astype(np.int32) - colour) > COLOUR_TOLERANCE
        if off.any():
            return "the video's %s edge is not %s: %s" % (name, colour, pixels[np.flatnonzero(off.any(axis=1))[0]])
    return ""


def video_is(shot, colour):
    """True when the whole video rectangle shows colour (edges spared for scaling)."""
    left, top, width, height = VIDEO
    inner = shot[top + 4:top + height - 4, left + 4:left + width - 4].astype(np.int64)
    return bool(np.all(np.abs(inner - colour) <= COLOUR_TOLERANCE))


# --- Galleries and save data -----------------------------------------------------------------

def write_save(folder, volume=0, flags=bytes(64)):
    flags = bytes(flags) + bytes(64 - len(flags))
    (Path(folder) / "GameData.sys").write_bytes(np.array([volume], dtype="<i4").tobytes() + flags)


def read_save(folder):
    data = (Path(folder) / "GameData.sys").read_bytes()
    assert len(data) == 68, "GameData.sys has %d bytes" % len(data)
    return int(np.frombuffer(data[:4], dtype="<i4")[0]), data[4:]


def flags_of(*unlocked, value=1):
    flags = bytearray(64)
    for index in unlocked:
        flags[index] = value
    return bytes(flags)


def exact_gallery(folder, clips, play_table, thumbnail_table, volume=0, flags=bytes(64)):
    """A gallery with the coordinate atlases. clips: {file name: path of a made clip}.
    Returns (folder, pictures)."""
    folder = make_gallery(folder, clips=0, play_table=play_table, thumbnail_table=thumbnail_table,
                          pictures=False)
    pictures = atlases()
    for name, picture in pictures.items():
        write_picture(folder / "Bmp" / name, picture)
    for name, source in clips.items():
        (folder / "movies" / name).write_bytes(Path(source).read_bytes())
    write_save(folder, volume, flags)
    return folder, pictures


# --- Waiting on the screen -------------------------------------------------------------------

def wait_for_shot(app, condition, timeout=20, what="the expected picture", pause=0.1):
    """Screenshots until condition(shot) holds; returns that shot. On time-out the
    assertion carries condition's last description when it returns a string."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        shot = client_shot(app)
        verdict = condition(shot)
        if verdict is True or verdict == "":
            return shot
        last = verdict
        if time.monotonic() > deadline:
            raise AssertionError("no screenshot showed %s within %d s: %s" % (what, timeout, last))
        if not app.running():
            raise AssertionError("the player ended while waiting for %s:\n%s" % (what, app.stderr))
        time.sleep(pause)


def start_player(launch, folder):
    """Starts the player in folder with the pointer parked outside its window's
    controls, waits for its window."""
    app = launch.player(folder)
    app.find_window("Fernwood2")
    app.move(*NEUTRAL)
    return app


def close_player(app):
    app.close()
    status = app.wait(30)
    assert "Error!!" not in app.stderr, app.stderr
    return status


# --- Fast screenshots ------------------------------------------------------------------------

class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


_x11 = None


def _xlib():
    global _x11
    if _x11 is None:
        x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.POINTER(_XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        _x11 = x11
    return _x11


def grab(left, top, width, height):
    """A rectangle of the screen as an H x W x 3 array of RGB bytes (XGetImage of the
    root window: one request, no helper program)."""
    x11 = _xlib()
    connection = x11.XOpenDisplay(None)
    assert connection, "cannot open the display"
    try:
        image = x11.XGetImage(connection, x11.XDefaultRootWindow(connection), left, top, width, height,
                              0xFFFFFFFF, 2)  # ZPixmap
        assert image, "XGetImage failed"
        info = image.contents
        bits, red_mask, line = info.bits_per_pixel, info.red_mask, info.bytes_per_line
        raw = ctypes.string_at(info.data, line * height)
        x11.XDestroyImage(image)
    finally:
        x11.XCloseDisplay(connection)
    assert bits == 32 and red_mask == 0xFF0000, "unexpected screen format"
    pixels = np.frombuffer(raw, dtype=np.uint8).reshape(height, line // 4, 4)[:, :width]
    return pixels[:, :, [2, 1, 0]].copy()


def client_shot(app):
    """The player's client area, 600 x 800 x 3."""
    if getattr(app, "cached_rect", None) is None:
        app.cached_rect = app.client_rect()  # no window manager: the window never moves
    return grab(*app.cached_rect)


def video_sample(app, palette):
    """The colour of palette that the middle of the video shows now, or None (black,
    a frame between two clips, anything else). Grabs only a small patch."""
    if getattr(app, "cached_rect", None) is None:
        app.cached_rect = app.client_rect()
    left, top, width, height = VIDEO
    patch = grab(app.cached_rect[0] + left + width // 2 - 32, app.cached_rect[1] + top + height // 2 - 32, 64, 64)
    patch = patch.reshape(-1, 3).astype(np.int32)
    for colour in palette:
        if np.all(np.abs(patch - colour) <= COLOUR_TOLERANCE):
            return colour
    return None
