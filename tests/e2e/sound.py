"""Private sound servers for the end-to-end tests, and an ear on them.

SoundServer starts PulseAudio, or PipeWire with WirePlumber and its PulseAudio interface on a
D-Bus session bus of its own, in a private XDG_RUNTIME_DIR, with a null sink as the default sink:
nothing reaches a sound card, and it runs as root too (CI). Recorder records the null sink's
monitor with parec and stamps each chunk as it arrives, so a sample's moment on time.monotonic()
is known to a few milliseconds. The clips the tests play are made here with gst-launch."""
import functools
import os
import signal
import subprocess
import threading
import time
from pathlib import Path

import numpy as np

from conftest import cached, encode_frames, poll

RATE = 48000  # the recording's
SERVERS = ("pulseaudio", "pipewire")
NULL_SINK = """context.objects = [
    { factory = adapter
      args = { factory.name = support.null-audio-sink node.name = "fwnull" node.description = "Null output"
               media.class = "Audio/Sink" audio.position = [ FL FR ] priority.session = 2000 priority.driver = 2000 } }
]
"""


class SoundServer:
    def __init__(self, kind, folder):
        self.kind, self.folder, self.processes = kind, Path(folder), []
        run, home, config = self.folder / "run", self.folder / "home", self.folder / "config"
        for path in (run, home, config / "pipewire" / "pipewire.conf.d"):
            path.mkdir(mode=0o700, parents=True, exist_ok=True)
        (config / "pipewire" / "pipewire.conf.d" / "null-sink.conf").write_text(NULL_SINK)
        # What the player is given, as on a desktop (and whatever this machine's own server is).
        self.env = {"XDG_RUNTIME_DIR": str(run), "PULSE_SERVER": "unix:%s/pulse/native" % run}
        self.server_env = dict(os.environ, XDG_RUNTIME_DIR=str(run), HOME=str(home), XDG_CONFIG_HOME=str(config),
                               DBUS_SESSION_BUS_ADDRESS="unix:path=%s/bus" % run)
        self.server_env.pop("PULSE_SERVER", None)
        try:
            self.start()
        except BaseException:
            self.stop()  # what did start goes, also when the test fails
            raise

    def _spawn(self, *command):
        log = open(self.folder / ("%s.log" % Path(command[0]).name), "ab")
        self.processes.append(subprocess.Popen(command, env=self.server_env, stdin=subprocess.DEVNULL, stdout=log,
                                               stderr=log, start_new_session=True))
        log.close()

    def start(self):
        run = self.folder / "run"
        if self.kind == "pulseaudio":
            # Without shared memory: this server's import of a client's memfd blocks
            # sometimes aborts it (memblock.c), leaving the recorder nothing to record.
            self._spawn("pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                        "--disable-shm=yes", "--log-target=stderr", "-L",
                        "module-null-sink sink_name=fwnull rate=48000",
                        "-L", "module-native-protocol-unix auth-anonymous=1")
        else:
            (run / "bus").unlink(missing_ok=True)
            self._spawn("dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=%s/bus" % run)
            poll(lambda: (run / "bus").exists(), 10, "the D-Bus session bus did not start")
            for program in ("pipewire", "wireplumber", "pipewire-pulse"):
                self._spawn(program)
        poll(self._ready, 20, lambda: "the %s server did not come up with its null sink as the default:\n%s"
             % (self.kind, self.logs()))

    def _ready(self):
        dead = [p.args[0] for p in self.processes if p.poll() is not None]
        assert not dead, "%s ended:\n%s" % (dead, self.logs())
        if not (self.folder / "run" / "pulse" / "native").exists():
            return False  # (pactl would make the folder first, and PipeWire's server then fails)
        info = self.pactl("info")
        return info.returncode == 0 and "Default Sink: fwnull" in info.stdout

    def pactl(self, *args):
        return subprocess.run(["pactl", *args], env=self.server_env, capture_output=True, text=True, timeout=10)

    def logs(self):
        return "".join(path.read_text(errors="replace")[-2000:] for path in self.folder.glob("*.log"))

    def signal_all(self, number):
        for process in self.processes:
            if process.poll() is None:
                os.killpg(process.pid, number)

    def kill(self):  # the server goes away, as in a crash
        self.signal_all(signal.SIGKILL)
        for process in self.processes:
            process.wait(10)
        self.processes = []

    def stop(self):
        self.signal_all(signal.SIGCONT)
        self.signal_all(signal.SIGTERM)
        for process in self.processes:
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait(10)
        self.processes = []


class Recorder:
    """The null sink's monitor, 16 bit at RATE; its left channel."""

    def __init__(self, server):
        with open(server.folder / "parec.log", "ab") as log:  # read with the server's logs on a failure
            self.process = subprocess.Popen(
                ["parec", "-d", "fwnull.monitor", "--raw", "--format=s16le", "--rate=%d" % RATE, "--channels=2",
                 "--latency-msec=5"], env=server.server_env, stdout=subprocess.PIPE, stderr=log)
        self.chunks, self.stamps, self.count = [], [], 0
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        poll(lambda: self.count > 0, 10, lambda: "parec recorded nothing (its status: %s); the logs:\n%s"
             % (self.process.poll(), server.logs()))

    def _read(self):
        while data := os.read(self.process.stdout.fileno(), 4096):
            now = time.monotonic()
            self.chunks.append(data)
            self.count += len(data) // 2
            self.stamps.append((now, self.count))

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self.thread.join(10)
        return self

    def samples(self):
        frames = self.count // 2  # the left channel: a server may mix both into one louder
        return np.frombuffer(b"".join(self.chunks)[:frames * 4], "<i2")[0::2].astype(np.float64) / 32768

    def seconds(self, moment):
        """A time.monotonic() moment as a time in the recording. The moment of sample 0 is told by
        the chunks that arrived soonest after their last sample, within a second of the moment: a
        server may drop or add a little in the recording when it is busy."""
        near = [stamp - count / 2 / RATE for stamp, count in self.stamps if abs(stamp - moment) <= 1.0]
        return moment - min(near or [stamp - count / 2 / RATE for stamp, count in self.stamps])


def envelope(samples, window=0.005):
    """RMS level in dBFS over windows of the given length: (times of the windows' starts, levels)."""
    size = int(RATE * window)
    count = len(samples) // size
    rms = np.sqrt((samples[:count * size].reshape(count, size) ** 2).mean(axis=1))
    return np.arange(count) * window, 20 * np.log10(rms + 1e-12)


def sounding(samples, threshold=-60.0, bridge=0.02, window=0.005):
    """(start, end) in seconds of each stretch above threshold dBFS; quieter moments shorter
    than bridge do not split a stretch."""
    times, levels = envelope(samples, window)
    stretches = []
    for index in np.flatnonzero(levels > threshold):
        start = times[index]
        if stretches and start - stretches[-1][1] <= bridge:
            stretches[-1][1] = start + window
        else:
            stretches.append([start, start + window])
    return [tuple(stretch) for stretch in stretches]


def level_db(samples, start, end):
    """The RMS level in dBFS between two times of the recording."""
    part = samples[int(start * RATE):int(end * RATE)]
    return 20 * np.log10(np.sqrt((part ** 2).mean()) + 1e-12)


def _make_clip(colours, seconds, tone, partial, container="mp4"):
    """colours: [(rgb, frames)]; tone: (hz, from s, to s, amplitude). H.264 and AAC in .mp4, or H.264
    and PCM in .mov (no codec delay: for timing the sound against the picture)."""
    raw_audio = partial.with_suffix(".pcm")
    hz, start, end, amplitude = tone
    moments = np.arange(int(RATE * seconds)) / RATE
    wave = amplitude * np.sin(2 * np.pi * hz * moments) * ((moments >= start) & (moments < end))
    raw_audio.write_bytes(np.repeat((wave * 32767).astype("<i2")[:, None], 2, axis=1).tobytes())
    audio = "avenc_aac ! aacparse" if container == "mp4" else "audio/x-raw,format=S16LE"
    encode_frames(partial, b"".join(bytes(rgb) * 320 * 240 * frames for rgb, frames in colours), (320, 240),
                  "! videoconvert ! video/x-raw,format=I420 ! x264enc key-int-max=25 speed-preset=ultrafast "
                  f"tune=zerolatency ! h264parse ! mux. filesrc location={raw_audio} ! rawaudioparse format=pcm "
                  f"pcm-format=s16le sample-rate={RATE} num-channels=2 ! audioconvert ! {audio} ! mux. "
                  f"{'mp4mux' if container == 'mp4' else 'qtmux'} name=mux ! filesink location={partial}")
    raw_audio.unlink()


def clip(name, colours, seconds, tone, container="mp4"):
    """A cached clip (see _make_clip); name tells its contents apart in the cache."""
    return cached(name + "." + container, functools.partial(_make_clip, colours, seconds, tone,
                                                            container=container))
