#!/usr/bin/python3
"""fwgallery new: makes a gallery the player can run in from a set of clips.

  fwgallery new [--group N] [--link] [--name NAME] [--force] DIR CLIP...

DIR/movies gets the clips (copied, or linked with --link), DIR/Data the play table
(one SingleItem per clip, or MultiItems of N alternative clips with --group N) and
the thumbnail table (slot k plays the clip of sequence number k), DIR/Bmp the four
pictures, with a frame of each clip as its gallery cell and NAME (by default DIR's
own name) as the title, and DIR/png the same pictures as PNG. Then the gallery is
checked. An existing, non-empty DIR is left alone unless --force is given; every
file is written under a temporary name and renamed into place.

Exit status: the check's (0: no error, 1: errors), 2 when nothing was made.
"""
import argparse
import concurrent.futures
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.join(os.path.dirname(HERE), "demo")
sys.path.insert(0, DEMO)
from make_demo import thumbnail_pipeline  # noqa: E402

LIMITS = {}           # the tables' room as the player has it (`fwgallery limits`), read by main
FRAME_SECONDS = 60    # a clip whose first frame takes longer gets the placeholder


class Refusal(Exception):
    pass


def table_path(clip):
    """The clip's path in the tables, as Shift-JIS bytes; refused when the player cannot name it."""
    name = os.path.basename(clip)
    path = "movies/" + name
    try:
        encoded = path.encode("cp932")
    except UnicodeEncodeError as error:
        raise Refusal(f"{clip!r}: the player's tables are Shift-JIS, which has no {error.object[error.start]!r}; "
                      "rename the clip") from None
    if encoded.decode("cp932") != path:
        raise Refusal(f"{clip!r}: its name does not come back the same from Shift-JIS; rename the clip")
    if '"' in name:
        raise Refusal(f"{clip!r}: a table path cannot hold a double quote; rename the clip")
    if len(encoded) > LIMITS["path-bytes"]:
        raise Refusal(f"{clip!r}: \"{path}\" is {len(encoded)} bytes in Shift-JIS, the player reads "
                      f"{LIMITS['path-bytes']}; give the clip a shorter name")
    return encoded


def check_arguments(args):
    if not 1 <= args.group <= LIMITS["item-clips"]:
        raise Refusal(f"--group takes 1 to {LIMITS['item-clips']} clips an item")
    if len(args.clips) > LIMITS["table-clips"]:
        raise Refusal(f"{len(args.clips)} clips: the player holds {LIMITS['table-clips']}")
    for clip in args.clips:
        if not os.path.isfile(clip):
            raise Refusal(f"{clip!r}: not a file")
    names = [os.path.basename(clip) for clip in args.clips]
    for name in set(names):
        if names.count(name) > 1:
            raise Refusal(f"two clips are named {name!r}; the gallery's movies folder holds one")
    if os.path.exists(args.dir) and (not os.path.isdir(args.dir) or os.listdir(args.dir)) and not args.force:
        raise Refusal(f"{args.dir!r} already exists and is not empty; --force makes the gallery over it")


def write_atomically(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with tempfile.NamedTemporaryFile(dir=os.path.dirname(path), prefix=".new-", delete=False) as out:
        out.write(data)
        out.flush()
        os.fsync(out.fileno())
    umask = os.umask(0)
    os.umask(umask)
    os.chmod(out.name, 0o666 & ~umask)
    os.replace(out.name, path)


def place_clip(clip, link, folder):
    target = os.path.join(folder, "movies", os.path.basename(clip))
    if os.path.exists(target) and os.path.samefile(clip, target):
        return  # already in place (a gallery made again from its own clips)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    partial = os.path.join(os.path.dirname(target), ".new-" + os.path.basename(target))
    if os.path.lexists(partial):
        os.remove(partial)
    if link:
        os.symlink(os.path.abspath(clip), partial)
    else:
        shutil.copyfile(clip, partial)
    os.replace(partial, target)


def tables(paths, group):
    """The play table and the thumbnail table: slot k plays the clip of sequence number k."""
    play, entries = [], []
    for item, first in enumerate(range(0, len(paths), group)):
        members = paths[first:first + group]
        if len(members) == 1:
            play.append(b'SingleItem "' + members[0] + b'" 1')
        else:
            play.append(b"MultiItem %d" % len(members))
            play += [b'Item "' + path + b'" 1' for path in members]
        entries += [b"%d %d" % (item, clip) for clip in range(len(members))]
    entries = entries[:LIMITS["gallery-slots"]]
    return b"\n".join(play + [b"End"]) + b"\n", b"\n".join([b"%d" % len(entries)] + entries) + b"\n"


def grab_frame(clip, png):
    """The clip's first picture at 100 x 75, as the demo's thumbnails; False when GStreamer cannot."""
    try:
        description = thumbnail_pipeline(shlex.quote(clip), shlex.quote(png))
        result = subprocess.run(["gst-launch-1.0", "-q"] + shlex.split(description),
                                capture_output=True, timeout=FRAME_SECONDS)
        return result.returncode == 0 and os.path.getsize(png) > 0
    except (subprocess.TimeoutExpired, OSError):
        return False


def read_limits(fwgallery):
    """`fwgallery limits`: one name and number a line."""
    printed = subprocess.run([fwgallery, "limits"], capture_output=True, text=True, check=True, timeout=20).stdout
    return {name: int(value) for name, value in (line.split() for line in printed.splitlines())}


def make(args, folder):
    paths = [table_path(clip) for clip in args.clips]
    work = tempfile.mkdtemp(prefix=".fwgallery-", dir=folder)
    try:
        thumbnails = os.path.join(work, "thumbnails")
        os.makedirs(thumbnails)
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            slots = LIMITS["gallery-slots"]
            grabbed = list(pool.map(grab_frame, [os.path.abspath(clip) for clip in args.clips[:slots]],
                                    [os.path.join(thumbnails, f"{k:02d}.png") for k in range(slots)]))
        for clip, ok in zip(args.clips, grabbed):
            if not ok:
                print(f"fwgallery new: no picture from {clip!r}; its cell gets a numbered card", file=sys.stderr)
        # The layout program beside this one, where it is (make_pictures.py finds it otherwise).
        layout = os.path.join(os.path.dirname(args.fwgallery), "fw_layout_json")
        env = dict(os.environ, FW_LAYOUT_JSON=layout) if os.path.exists(layout) else None
        subprocess.run([sys.executable, os.path.join(DEMO, "make_pictures.py"), "--bmp-dir", os.path.join(work, "Bmp"),
                        "--png-dir", os.path.join(work, "png"), "--thumbnails", thumbnails, "--title", args.name],
                       check=True, env=env)
        for clip in args.clips:
            place_clip(clip, args.link, folder)
        play, entries = tables(paths, args.group)
        write_atomically(os.path.join(folder, "Data", "PlayTable.txt"), play)
        write_atomically(os.path.join(folder, "Data", "ThumbnailTable.txt"), entries)
        for kind in ("Bmp", "png"):
            for name in sorted(os.listdir(os.path.join(work, kind))):
                with open(os.path.join(work, kind, name), "rb") as picture:
                    write_atomically(os.path.join(folder, kind, name), picture.read())
        if os.path.exists(os.path.join(folder, "GameData.sys")):
            os.remove(os.path.join(folder, "GameData.sys"))  # its unlocked cells were another gallery's
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(prog="fwgallery new", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--fwgallery", help=argparse.SUPPRESS)
    parser.add_argument("--group", type=int, default=1, help="clips an item: N makes MultiItems of N (1 to 4)")
    parser.add_argument("--link", action="store_true", help="link the clips into DIR/movies instead of copying")
    parser.add_argument("--name", help="the gallery's title (default: DIR's name)")
    parser.add_argument("--force", action="store_true", help="make the gallery even where DIR is not empty")
    parser.add_argument("dir", metavar="DIR")
    parser.add_argument("clips", metavar="CLIP", nargs="+")
    args = parser.parse_args()
    args.name = args.name or os.path.basename(os.path.abspath(args.dir))
    created = not os.path.exists(args.dir)
    try:
        LIMITS.update(read_limits(args.fwgallery))
        check_arguments(args)
        os.makedirs(args.dir, exist_ok=True)
        make(args, args.dir)
    except (Refusal, OSError, subprocess.CalledProcessError) as error:
        print(f"fwgallery new: {error}", file=sys.stderr)
        if created:
            shutil.rmtree(args.dir, ignore_errors=True)
        return 2
    print(f"Made the gallery {args.dir!r} of {len(args.clips)} clips. Checking it:", flush=True)
    return subprocess.run([args.fwgallery, "check", args.dir]).returncode


if __name__ == "__main__":
    sys.exit(main())
