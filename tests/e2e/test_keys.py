"""The keys, each doing what its button does, seen on screen; and the screen saver held off while a
clip plays. The gallery is test_interaction's (its docstring says what it holds)."""
import ctypes
import ctypes.util
import time

from conftest import (BLUE, GREEN, NEUTRAL, RED, cell_centre, close_player, flags_of, gallery_check,
                      read_save, skip_without_player, start_player, volume_knob_x, wait_for_shot)
from test_interaction import gallery, main  # noqa: F401 (gallery is a fixture)

pytestmark = skip_without_player


def test_every_key_does_what_its_button_does(launch, gallery):
    app = start_player(launch, folder := gallery(volume=-1000))
    state = dict(volume_x=volume_knob_x(-1000))
    wait_for_shot(app, main(playing=True, **state), what="item 0 playing")
    app.key("space")
    wait_for_shot(app, main(playing=False, **state), what="Space: Stop")
    app.key("space")
    wait_for_shot(app, main(playing=True, **state), what="Space: Play")
    app.key("Left")  # no Previous on item 0
    app.key("Right")
    wait_for_shot(app, main(playing=True, item=1, clip_count=3, video=RED, **state), what="Right: Next")
    for key, clip, colour in [("3", 2, BLUE), ("4", 2, BLUE), ("1", 0, RED), ("2", 1, GREEN)]:  # no fourth clip
        app.key(key)
        wait_for_shot(app, main(playing=True, item=1, clip_count=3, clip=clip, video=colour, **state),
                      what="key %s: clip %d" % (key, clip))
    app.hold("Right", 1.0)  # held, it presses Next once
    wait_for_shot(app, main(playing=True, item=2, video=GREEN, **state), what="Right held: item 2 only")
    time.sleep(0.5)
    wait_for_shot(app, main(playing=True, item=2, video=GREEN, **state), timeout=1, what="still item 2")
    app.key("Left")
    wait_for_shot(app, main(playing=True, item=1, clip_count=3, video=RED, **state), what="Left: Previous")

    # Up and Down step the volume a twentieth; held, they repeat up to the end.
    app.key("Down", "Down", "Up")
    wait_for_shot(app, main(playing=True, item=1, clip_count=3, volume_x=volume_knob_x(-1250)), what="volume -1250")
    app.hold("Up", 1.5)
    wait_for_shot(app, main(playing=True, item=1, clip_count=3), what="Up held: full volume")

    # The gallery: G opens it; the arrows light the unlocked cells (0 to 4); Return plays the lit one.
    app.key("g")
    flags = flags_of(0, 1, 2, 3, 4)
    wait_for_shot(app, gallery_check(0, flags), what="G: the gallery")
    for keys, lit in [(("Right",), 0), (("Right", "Right"), 2), (("Down",), 2), (("Left",), 1)]:
        app.key(*keys)
        wait_for_shot(app, gallery_check(0, flags, cell_centre(lit)), what="the highlight on cell %d" % lit)
    app.key("Next")
    wait_for_shot(app, gallery_check(1, flags), what="Page Down: page 1")
    app.key("Prior")
    wait_for_shot(app, gallery_check(0, flags, cell_centre(1)), what="Page Up: page 0, cell 1 still lit")
    app.key("Return")
    wait_for_shot(app, main(playing=True, item=1, clip_count=3, clip=0, video=RED), what="Return: cell 1's clip")
    for back in ("Escape", "BackSpace", "g"):
        app.key("g")
        wait_for_shot(app, gallery_check(0, flags, cell_centre(1)), what="the gallery again")
        app.key(back)
        wait_for_shot(app, main(playing=True, item=1, clip_count=3, video=RED), what="%s: back" % back)
    assert close_player(app) == 1
    assert read_save(folder) == (0, flags)


def test_keys_wait_their_turn_and_a_drag_takes_none(launch, gallery):
    app = start_player(launch, gallery())
    wait_for_shot(app, main(playing=True), what="item 0 playing")
    app.key("Right", "Right", settle=0)  # the second during the first's load
    wait_for_shot(app, main(playing=True, item=2, video=GREEN), what="two Nexts: item 2")
    app.move(300, 576)  # a volume drag under way: keys press no button
    app.down()
    app.key("Left", "space")
    app.move(379, 576)
    wait_for_shot(app, main(playing=True, item=2, dragging=2, video=GREEN, mouse=(379, 576)),
                  what="the drag alone")
    app.up()
    app.move(*NEUTRAL)
    wait_for_shot(app, main(playing=True, item=2, video=GREEN), what="after the drag, still item 2 playing")
    assert close_player(app) == 1


class _SaverInfo(ctypes.Structure):
    _fields_ = [("window", ctypes.c_ulong), ("state", ctypes.c_int), ("kind", ctypes.c_int),
                ("til_or_since", ctypes.c_ulong), ("idle", ctypes.c_ulong), ("event_mask", ctypes.c_ulong)]


SAVER_OFF, SAVER_ON = 0, 1


def test_the_screen_saver_is_held_off_while_a_clip_plays(screen_of, launch, gallery):
    screen = screen_of(1280, 1024)
    x11, connection = screen.x11, screen.connection
    x11.XSetScreenSaver.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int]
    x11.XSetScreenSaver(connection, 1, 0, 1, 1)  # blank after a second without input
    xss = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xss"))
    xss.XScreenSaverQueryInfo.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(_SaverInfo)]

    def saver_after_idle():  # the saver's state after 2.5 s without input
        time.sleep(2.5)
        info = _SaverInfo()
        assert xss.XScreenSaverQueryInfo(connection, screen.root, ctypes.byref(info))
        return info.state

    # No session bus: SDL suspends the X screen saver extension's saver, which the state shows.
    app = start_player(launch, gallery(), DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent")
    wait_for_shot(app, main(playing=True), what="item 0 playing")
    assert saver_after_idle() == SAVER_OFF, "the screen blanked while the clip played"
    app.key("space")
    assert saver_after_idle() == SAVER_ON, "the screen did not blank while stopped"
    app.key("space")
    assert saver_after_idle() == SAVER_OFF, "the screen blanked when the clip played again"
    app.key("g")
    assert saver_after_idle() == SAVER_ON, "the screen did not blank on the gallery"
    app.key("Escape")
    assert saver_after_idle() == SAVER_OFF
    assert close_player(app) == 1
