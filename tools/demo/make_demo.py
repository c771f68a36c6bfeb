#!/usr/bin/python3
"""Makes the demo gallery: a folder the player can run in, with

  Data/PlayTable.txt        five items, one of four clips and one of three: ten clips
  Data/ThumbnailTable.txt   slot k plays the clip whose sequence number is k
  Bmp/*.bmp                 the four pictures, with a frame of each clip as its thumbnail
  movies/                   the ten clips: test pictures with their name written large,
                            a tone of their own, in MPEG-1, MPEG-4 AVI, H.264 MP4,
                            WMV and Theora; with --profile windows only in formats that
                            Windows' own DirectShow filters decode: MPEG-1, WMV, and
                            Motion JPEG AVI in place of the MPEG-4 one
  png/                      the four pictures as PNG, to look at

The clips are made with GStreamer's encoders (gst-launch-1.0), two at a time.
The folder is cached: it is made again only when it is missing or incomplete,
or when this script or the pictures generator has changed (or with --force).

  make_demo.py [--out build/demo] [--profile linux|windows] [--force]
"""
import argparse
import concurrent.futures
import hashlib
import os
import shlex
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PICTURES = os.path.join(HERE, "make_pictures.py")
FPS = 25
AUDIO_RATE = 44100
AUDIO_BUFFERS_PER_SECOND = 30  # audiotestsrc buffers of 1470 samples

# Each clip: file under movies/, the caption written over it, its test picture
# (videotestsrc properties), its tone (audiotestsrc wave and frequency) and length.
# The list is in play-table order, so a clip's index is its sequence number.
CLIPS = [
    ("01-opening.mpg", "1  Opening", "pattern=smpte", "sine", 440, 4),
    ("02-angle-a.mp4", "2  Angle A", "pattern=ball foreground-color=0xffffd030 background-color=0xff102050", "sine", 523, 5),
    ("03-angle-b.avi", "3  Angle B", "pattern=pinwheel foreground-color=0xffd02020 background-color=0xfff0f0f0", "triangle", 587, 5),
    ("04-angle-c.ogv", "4  Angle C", "pattern=circular", "sine", 659, 5),
    ("05-angle-d.wmv", "5  Angle D", "pattern=spokes foreground-color=0xff30d060 background-color=0xff081808", "triangle", 698, 5),
    ("06-colours.mp4", "6  Colours", "pattern=colors", "sine", 784, 3),
    ("07-take-1.avi", "7  Take 1", "pattern=solid-color foreground-color=0xff2060c0", "sine", 330, 4),
    ("08-take-2.wmv", "8  Take 2", "pattern=gradient foreground-color=0xfff08020 background-color=0xff401060", "triangle", 370, 4),
    ("09-take-3.ogv", "9  Take 3", "pattern=bar foreground-color=0xffffffff background-color=0xffc02030 horizontal-speed=6", "sine", 415, 4),
    ("10-closing.mpg", "10  Closing", "pattern=solid-color foreground-color=0xff7030a0", "sine", 262, 3),
]

# The play table: (clip indices, repeat count). One index: a SingleItem; more: a MultiItem.
# "Colours" plays twice; nothing repeats endlessly, so the sequence runs through on its own.
ITEMS = [([0], 1), ([1, 2, 3, 4], 1), ([5], 2), ([6, 7, 8], 1), ([9], 1)]

# Per container: (format name, picture size, video encoder, audio encoder, muxer).
FORMATS = {
    ".mpg": ("MPEG-1", (320, 240), "mpeg2enc format=0 bitrate=1500 ! mpegvideoparse",
             "avenc_mp2 bitrate=128000 ! mpegaudioparse", "avmux_mpeg"),
    ".avi": ("MPEG-4 AVI", (640, 480), "avenc_mpeg4 bitrate=1500000", "lamemp3enc", "avimux"),
    ".mp4": ("H.264 MP4", (640, 480),
             "x264enc speed-preset=ultrafast bitrate=1500 key-int-max=25 ! video/x-h264,profile=constrained-baseline "
             "! h264parse", "avenc_aac ! aacparse", "mp4mux"),
    ".wmv": ("WMV", (640, 480), "avenc_wmv2 bitrate=1500000", "avenc_wmav2 bitrate=128000", "asfmux"),
    ".ogv": ("Theora", (480, 360), "theoraenc bitrate=1500", "vorbisenc", "oggmux"),
}
# The libav video encoders start their timestamps at 1000 hours (room for
# negative decoding times) and the ASF muxer writes timestamps as they come, so
# a WMV clip's sound is moved to 1000 hours as well: the streams then agree, and
# the demuxer counts both from their common start.
ENCODER_START_NS = 1000 * 3600 * 10**9
SHIFTED_AUDIO = {".wmv"}

# The Windows profile: only what Microsoft's list of DirectShow's formats has Windows decode
# itself. H.264 MP4 becomes WMV and Theora MPEG-1 (DirectShow has no MP4 or Ogg source);
# the AVI's MPEG-4 Part 2 becomes Motion JPEG with PCM sound (DirectShow's MJPEG Decompressor).
WINDOWS_EXTENSIONS = {".mp4": ".wmv", ".ogv": ".mpg"}
WINDOWS_FORMATS = dict(FORMATS, **{".avi": ("Motion JPEG AVI", (320, 240), "jpegenc quality=75",
                                            "audioconvert ! audio/x-raw,format=S16LE", "avimux")})
PROFILES = ("linux", "windows")


def profile_clips(profile):
    if profile == "linux":
        return CLIPS
    return [(os.path.splitext(name)[0] + WINDOWS_EXTENSIONS.get(os.path.splitext(name)[1], os.path.splitext(name)[1]),
             *rest) for name, *rest in CLIPS]


def profile_formats(profile):
    return FORMATS if profile == "linux" else WINDOWS_FORMATS


def required(profile):
    return ["Data/PlayTable.txt", "Data/ThumbnailTable.txt", "Bmp/MainBG.bmp", "Bmp/ThumbnailBG1.bmp",
            "Bmp/ThumbnailBG2.bmp", "Bmp/Thumbnail.bmp"] + [f"movies/{clip[0]}" for clip in profile_clips(profile)]


def fingerprint(profile):
    digest = hashlib.sha256(profile.encode())
    for path in (os.path.abspath(__file__), PICTURES):
        with open(path, "rb") as source:
            digest.update(source.read())
    return digest.hexdigest()


def up_to_date(out, profile):
    try:
        with open(os.path.join(out, ".fingerprint")) as stamp:
            if stamp.read().strip() != fingerprint(profile):
                return False
    except OSError:
        return False
    return all(os.path.isfile(os.path.join(out, path)) for path in required(profile))


def have_element(name):
    return subprocess.run(["gst-inspect-1.0", "--exists", name]).returncode == 0


def gst_launch(description, what):
    # gst-launch-1.0 takes the description word by word; a quoted value is one word.
    result = subprocess.run(["gst-launch-1.0", "-q"] + shlex.split(description), capture_output=True, text=True)
    if result.returncode != 0:
        tail = "\n".join((result.stdout + result.stderr).strip().splitlines()[-4:])
        raise RuntimeError(f"gst-launch-1.0 failed making {what}:\n{tail}")


def quote(text):
    """A property value that holds spaces, as a pipeline description writes it."""
    return '"' + text + '"'


def clip_pipeline(clip, path, with_text, formats=FORMATS):
    name, caption, picture, wave, frequency, seconds = clip
    extension = os.path.splitext(name)[1]
    format_name, (width, height), video_encoder, audio_encoder, muxer = formats[extension]
    video = (f"videotestsrc {picture} num-buffers={seconds * FPS} "
             f"! video/x-raw,width={width},height={height},framerate={FPS}/1,pixel-aspect-ratio=1/1")
    if with_text:
        size = height // 6
        video += (f" ! textoverlay text={quote(caption)} font-desc={quote(f'Sans Bold {size}px')} "
                  f"shaded-background=true valignment=center halignment=center auto-resize=false"
                  f" ! textoverlay text={quote(format_name)} font-desc={quote(f'Sans {size // 2}px')} "
                  f"valignment=top halignment=left shaded-background=true auto-resize=false"
                  f" ! timeoverlay font-desc={quote(f'Sans {size // 2}px')} valignment=bottom halignment=right "
                  f"shaded-background=true auto-resize=false")
    video += " ! videoconvert ! video/x-raw,format=I420"
    audio = "audiotestsrc " + (f"timestamp-offset={ENCODER_START_NS} " if extension in SHIFTED_AUDIO else "")
    audio += (f"wave={wave} freq={frequency} volume=0.25 samplesperbuffer={AUDIO_RATE // AUDIO_BUFFERS_PER_SECOND} "
             f"num-buffers={seconds * AUDIO_BUFFERS_PER_SECOND} ! audio/x-raw,rate={AUDIO_RATE},channels=2 "
             f"! audioconvert ! audioresample")
    return (f"{video} ! {video_encoder} ! queue ! mux. {audio} ! {audio_encoder} ! queue ! mux. "
            f"{muxer} name=mux ! filesink location={path}")


def thumbnail_pipeline(movie, png):
    """The first frame of a finished clip, decoded again and scaled to 100 x 75."""
    return (f"filesrc location={movie} ! decodebin name=d d. ! queue ! videoconvert ! videoscale "
            f"! video/x-raw,format=RGB,width=100,height=75,pixel-aspect-ratio=1/1 ! pngenc snapshot=true "
            f"! filesink location={png} d. ! queue ! audioconvert ! fakesink")


def make_clip(index, work, with_text, profile):
    clip = profile_clips(profile)[index]
    movie = os.path.join(work, "movies", clip[0])
    gst_launch(clip_pipeline(clip, movie, with_text, profile_formats(profile)), movie)
    gst_launch(thumbnail_pipeline(movie, os.path.join(work, "thumbnails", f"{index:02d}.png")),
               f"the thumbnail of {clip[0]}")


def play_table(clips):
    lines = ["# The demo gallery's play table: five items, ten clips."]
    for indices, repeat in ITEMS:
        if len(indices) == 1:
            lines.append(f'SingleItem "movies/{clips[indices[0]][0]}" {repeat}')
        else:
            lines.append(f"MultiItem {len(indices)}")
            lines += [f'Item "movies/{clips[index][0]}" {repeat}' for index in indices]
    lines.append("End")
    return "\n".join(lines) + "\n"


def thumbnail_table():
    """Slot k plays the clip whose sequence number is k: (item, clip within the item)."""
    entries = [f"{item} {position}" for item, (clips, _) in enumerate(ITEMS) for position in range(len(clips))]
    return "\n".join([str(len(entries))] + entries) + "\n"


def make(out, profile):
    work = out + ".partial"
    shutil.rmtree(work, ignore_errors=True)
    for folder in ("Data", "Bmp", "movies", "thumbnails"):
        os.makedirs(os.path.join(work, folder))

    with_text = have_element("textoverlay") and have_element("timeoverlay")
    if not with_text:
        print("make_demo: GStreamer's text overlay is missing; the clips carry no captions", file=sys.stderr)
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(2, os.cpu_count() or 2)) as pool:
        for job in [pool.submit(make_clip, index, work, with_text, profile) for index in range(len(CLIPS))]:
            job.result()

    with open(os.path.join(work, "Data", "PlayTable.txt"), "w") as table:
        table.write(play_table(profile_clips(profile)))
    with open(os.path.join(work, "Data", "ThumbnailTable.txt"), "w") as table:
        table.write(thumbnail_table())
    subprocess.run([sys.executable, PICTURES, "--bmp-dir", os.path.join(work, "Bmp"),
                    "--png-dir", os.path.join(work, "png"), "--thumbnails", os.path.join(work, "thumbnails")],
                   check=True)
    with open(os.path.join(work, ".fingerprint"), "w") as stamp:
        stamp.write(fingerprint(profile) + "\n")

    shutil.rmtree(out, ignore_errors=True)
    os.rename(work, out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "demo"), help="the gallery folder to make")
    parser.add_argument("--profile", choices=PROFILES, default="linux",
                        help="windows: only formats Windows decodes without added filters")
    parser.add_argument("--force", action="store_true", help="make it again even when it is up to date")
    args = parser.parse_args()
    out = os.path.abspath(args.out)

    if not args.force and up_to_date(out, args.profile):
        print(f"Demo gallery {out} is up to date.")
        return 0
    print(f"Making the demo gallery in {out} ...", flush=True)
    started = time.monotonic()
    try:
        make(out, args.profile)
    except (RuntimeError, subprocess.CalledProcessError, OSError) as error:
        print(f"make_demo: {error}", file=sys.stderr)
        return 1
    print(f"Made {len(CLIPS)} clips in {len(ITEMS)} items in {time.monotonic() - started:.1f} s.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
