"""The benchmark's view of the X server: a virtual screen of its own, fast grabs of a
few pixels (XGetImage on one kept connection, no helper program), synthetic pointer
input (XTest) and the players' windows.

Everything goes through libX11 and libXtst with ctypes, so polling the screen every
couple of milliseconds costs the benchmark little and the player nothing.
"""
import ctypes
import ctypes.util
import os
import re
import subprocess
import time

import numpy as np

SCREEN_SIZE = (1280, 1024)


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 16)]


def _load(name):
    path = ctypes.util.find_library(name)
    if not path:
        raise RuntimeError("lib%s is missing (scripts/deps installs it)" % name)
    return ctypes.cdll.LoadLibrary(path)


class VirtualScreen:
    """Xvfb on a display number it picks itself, with a black root (so nothing on an
    empty screen looks like a picture); DISPLAY points at it while it runs."""

    def __init__(self, size=SCREEN_SIZE):
        self.size = size
        read_end, write_end = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % size, "-nolisten", "tcp",
             "-noreset", "-br"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.previous_display = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = ":" + number.decode().strip()
        self.x11 = _load("X11")
        self.xtst = _load("Xtst")
        x11, xtst = self.x11, self.xtst
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.POINTER(_XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                              ctypes.c_ulong]
        xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.connection = x11.XOpenDisplay(None)
        if not self.connection:
            raise RuntimeError("cannot open the virtual display")
        self.root = x11.XDefaultRootWindow(self.connection)

    def close(self):
        self.x11.XCloseDisplay(self.connection)
        self.server.terminate()
        self.server.wait(10)
        if self.previous_display is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = self.previous_display

    def grab(self, left, top, width, height):
        """A rectangle of the screen as an H x W x 3 array of RGB bytes."""
        image = self.x11.XGetImage(self.connection, self.root, left, top, width, height, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            raise RuntimeError("XGetImage failed")
        info = image.contents
        bits, red_mask, line = info.bits_per_pixel, info.red_mask, info.bytes_per_line
        raw = ctypes.string_at(info.data, line * height)
        self.x11.XDestroyImage(image)
        if bits != 32 or red_mask != 0xFF0000:
            raise RuntimeError("unexpected screen format")
        pixels = np.frombuffer(raw, dtype=np.uint8).reshape(height, line // 4, 4)[:, :width]
        return pixels[:, :, [2, 1, 0]]

    def move(self, x, y):
        """Moves the pointer to a screen position at once (one request, flushed)."""
        self.xtst.XTestFakeMotionEvent(self.connection, -1, x, y, 0)
        self.x11.XFlush(self.connection)

    def click(self, x, y):
        """Moves there, presses and releases button 1; returns the time the release was
        flushed to the server (time.monotonic)."""
        self.xtst.XTestFakeMotionEvent(self.connection, -1, x, y, 0)
        self.xtst.XTestFakeButtonEvent(self.connection, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.connection, 1, 0, 0)
        self.x11.XFlush(self.connection)
        return time.monotonic()

    def sync(self):
        self.x11.XSync(self.connection, 0)

    def request_close(self, window):
        """WM_DELETE_WINDOW, as a window manager's close button sends it."""
        event = _ClientMessage(type=33, window=window, format=32,  # ClientMessage
                               message_type=self.x11.XInternAtom(self.connection, b"WM_PROTOCOLS", 0))
        event.data[0] = self.x11.XInternAtom(self.connection, b"WM_DELETE_WINDOW", 0)
        self.x11.XSendEvent(self.connection, window, 0, 0, ctypes.byref(event))
        self.sync()


def window_origin(name, timeout=20.0):
    """The screen position of the client area of the top-level window called name
    (no window manager: windows have no frame and never move), or None."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        listing = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True).stdout
        for line in listing.splitlines():
            match = re.match(r'\s*(0x[0-9a-f]+) "(.*)": .*\s\d+x\d+\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)\s*$', line)
            if match and match.group(2) == name:
                return int(match.group(5)), int(match.group(6))
        time.sleep(0.05)
    return None
