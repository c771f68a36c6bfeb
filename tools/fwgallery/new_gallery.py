#!/usr/bin/python3
"""fwgallery new: makes a gallery the player can run in from a set of clips.

  fwgallery new [--group N] [--link] [--name NAME] [--force] [--skip-bad] [--quiet] DIR CLIP...

First every clip is read as the player will read it and a picture is taken about a
tenth of the way in (`fwgallery thumbnail`). A clip the player cannot play (unreadable,
cut short, not a movie, without video) is named with the reason, and then nothing is
written, unless --skip-bad leaves those clips out. A clip that plays but gives no
picture gets a numbered card in its cell.

DIR/movies gets the clips (copied, or linked with --link), DIR/Data the play table
(one SingleItem per clip, or MultiItems of N alternative clips with --group N) and
the thumbnail table (slot k plays the clip of sequence number k), DIR/Bmp the four
pictures, with each clip's picture as its gallery cell and NAME (by default DIR's own
name) as the title, DIR/png the same pictures as PNG, and DIR/preview pictures of the
screens as the player will show them (`fwgallery preview`). Then the gallery is
checked. An existing, non-empty DIR is left alone unless --force is given.

Everything is made in a hidden folder inside DIR and moved into place at the end, so
an interruption (Ctrl-C) leaves DIR as it was. Progress goes to standard error: one
line that changes, on a terminal; a line per clip otherwise; none with --quiet.

Exit status: the check's (0: no error, 1: errors), 2 when nothing was made, 130 when
interrupted.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.join(os.path.dirname(HERE), "demo")

LIMITS = {}            # the tables' room as the player has it (`fwgallery limits`), read by main
WORKERS = 2            # clips read at once
PICTURE_SECONDS = 120  # a clip whose picture takes longer gets a card
CANNOT_PLAY, NO_PICTURE = 1, 3  # `fwgallery thumbnail`'s statuses
SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


class Refusal(Exception):
    pass


class Interrupted(Exception):
    pass


def interrupted(number, frame):
    raise Interrupted()


class Progress:
    """What is being done, on standard error: one changing line on a terminal, otherwise
    a line per clip; nothing with --quiet. Warnings always get a line of their own."""

    def __init__(self, quiet):
        self.quiet, self.terminal, self.showing = quiet, sys.stderr.isatty(), False

    def step(self, text, clip_done=False):
        if self.quiet:
            return
        if self.terminal:
            try:
                width = os.get_terminal_size(sys.stderr.fileno()).columns - 1
            except OSError:
                width = 0
            width = width if width > 0 else 79  # a terminal that gives no size
            sys.stderr.write("\r\x1b[K" + ("fwgallery new: " + text)[:width])
            self.showing = True
        elif clip_done:
            sys.stderr.write(f"fwgallery new: {text}\n")
        sys.stderr.flush()

    def say(self, text):
        self.clear()
        print(f"fwgallery new: {text}", file=sys.stderr, flush=True)

    def clear(self):
        if self.showing:
            sys.stderr.write("\r\x1b[K")
            sys.stderr.flush()
            self.showing = False


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


def read_limits(fwgallery):
    """`fwgallery limits`: one name and number a line."""
    printed = subprocess.run([fwgallery, "limits"], capture_output=True, text=True, check=True, timeout=20).stdout
    return {name: int(value) for name, value in (line.split() for line in printed.splitlines())}


def finished(job, clip):
    """A picture job's (status, why) once it has ended, or None; a job past its time is ended."""
    process, errors, started = job
    if process.poll() is None:
        if time.monotonic() - started < PICTURE_SECONDS:
            return None
        process.kill()
        process.wait()
        return NO_PICTURE, f"no picture within {PICTURE_SECONDS} s"
    if process.returncode in [-number for number in SIGNALS]:
        raise Interrupted()  # the signal reached the whole process group first
    errors.seek(0)
    said = errors.read().decode("utf-8", "replace").strip().splitlines()
    if process.returncode < 0:
        return process.returncode, f"fwgallery thumbnail ended by signal {-process.returncode}"
    return process.returncode, said[-1].removeprefix(f"fwgallery: {clip}: ") if said else ""


def take_pictures(args, pictures, progress):
    """`fwgallery thumbnail` on every clip, WORKERS at a time: the clips the player cannot
    play, by index, with why. Clip k's picture is pictures/k.png where one was taken."""
    count, waiting, running, bad = len(args.clips), list(enumerate(args.clips)), {}, {}
    try:
        while waiting or running:
            while waiting and len(running) < WORKERS:
                index, clip = waiting.pop(0)
                errors = tempfile.TemporaryFile()
                process = subprocess.Popen([args.fwgallery, "thumbnail", clip, os.path.join(pictures, f"{index}.png")],
                                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=errors)
                running[index] = (process, errors, time.monotonic())
                progress.step(f"clip {index + 1} of {count}, {os.path.basename(clip)}: taking its picture")
            for index, job in list(running.items()):
                clip = args.clips[index]
                result = finished(job, clip)
                if result is None:
                    continue
                del running[index]
                job[1].close()
                status, why = result
                if status == 0:
                    progress.step(f"clip {index + 1} of {count}, {os.path.basename(clip)}: picture taken",
                                  clip_done=True)
                elif status == CANNOT_PLAY:
                    bad[index] = why
                    progress.say(f"{clip}: {why}" + ("; left out" if args.skip_bad else ""))
                else:
                    progress.say(f"{clip}: {why or 'no picture'}; its cell gets a numbered card")
            time.sleep(0.02)
    finally:
        for process, errors, _ in running.values():
            process.kill()
            process.wait()
            errors.close()
    return bad


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


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)
        out.flush()
        os.fsync(out.fileno())


def stage_clip(clip, link, folder, stage):
    """The clip in stage/movies, unless it is the one in folder/movies already."""
    target = os.path.join(folder, "movies", os.path.basename(clip))
    staged = os.path.join(stage, "movies", os.path.basename(clip))
    os.makedirs(os.path.dirname(staged), exist_ok=True)
    if os.path.exists(target) and os.path.samefile(clip, target):
        # A gallery made again from its own clips: a second name of the same file, which
        # the rename into place then leaves as it is.
        os.link(target, staged, follow_symlinks=False)
    elif link:
        os.symlink(os.path.abspath(clip), staged)
    else:
        with open(clip, "rb") as source, open(staged, "wb") as out:
            shutil.copyfileobj(source, out, 1 << 20)
            out.flush()
            os.fsync(out.fileno())


def make(args, clips, pictures, stage, progress):
    """The whole gallery in stage, laid out as it goes into args.dir: previews' names returned."""
    thumbnails = os.path.join(pictures, "slots")
    os.makedirs(thumbnails)
    for slot, index in enumerate(clips[:LIMITS["gallery-slots"]]):
        if os.path.exists(os.path.join(pictures, f"{index}.png")):
            os.rename(os.path.join(pictures, f"{index}.png"), os.path.join(thumbnails, f"{slot:02d}.png"))
    progress.step("drawing the gallery's pictures")
    # The layout program beside this one, where it is (make_pictures.py finds it otherwise).
    layout = os.path.join(os.path.dirname(args.fwgallery), "fw_layout_json")
    env = dict(os.environ, FW_LAYOUT_JSON=layout) if os.path.exists(layout) else None
    subprocess.run([sys.executable, os.path.join(DEMO, "make_pictures.py"), "--bmp-dir", os.path.join(stage, "Bmp"),
                    "--png-dir", os.path.join(stage, "png"), "--thumbnails", thumbnails, "--title", args.name],
                   check=True, env=env)
    play, entries = tables([table_path(args.clips[index]) for index in clips], args.group)
    write_file(os.path.join(stage, "Data", "PlayTable.txt"), play)
    write_file(os.path.join(stage, "Data", "ThumbnailTable.txt"), entries)
    for number, index in enumerate(clips):
        progress.step(f"{'linking' if args.link else 'copying'} clip {number + 1} of {len(clips)}, "
                      f"{os.path.basename(args.clips[index])}")
        stage_clip(args.clips[index], args.link, args.dir, stage)
    progress.step("drawing the previews")
    drawn = subprocess.run([args.fwgallery, "preview", "--out", os.path.join(stage, "preview"), stage],
                           capture_output=True, text=True)
    if drawn.returncode != 0:
        progress.say(f"no previews: {drawn.stderr.strip().removeprefix('fwgallery: ')}")
    return [os.path.basename(line) for line in drawn.stdout.splitlines()]


def move_into_place(args, stage):
    """Every staged file renamed into args.dir, with the signals held until all are in place."""
    folder = args.dir
    signal.pthread_sigmask(signal.SIG_BLOCK, SIGNALS)
    try:
        for root, _, files in os.walk(stage):
            for name in files:
                target = os.path.join(folder, os.path.relpath(os.path.join(root, name), stage))
                os.makedirs(os.path.dirname(target), exist_ok=True)
                os.replace(os.path.join(root, name), target)
        if os.path.exists(os.path.join(folder, "GameData.sys")):
            os.remove(os.path.join(folder, "GameData.sys"))  # its unlocked cells were another gallery's
        args.moved = True
    finally:
        shutil.rmtree(stage, ignore_errors=True)
        signal.pthread_sigmask(signal.SIG_UNBLOCK, SIGNALS)  # a signal held is taken now


def build(args, progress):
    """Reads the clips, then makes the gallery: the previews' paths."""
    LIMITS.update(read_limits(args.fwgallery))
    check_arguments(args)
    for clip in args.clips:
        table_path(clip)
    pictures = tempfile.mkdtemp(prefix="fwgallery-new-")
    try:
        bad = take_pictures(args, pictures, progress)
        progress.clear()
        if bad and not args.skip_bad:
            raise Refusal(f"the player cannot play {len(bad)} of the {len(args.clips)} clips; nothing was written "
                          "(--skip-bad makes the gallery of the others)")
        clips = [index for index in range(len(args.clips)) if index not in bad]
        if not clips:
            raise Refusal("the player can play none of the clips; nothing was written")
        os.makedirs(args.dir, exist_ok=True)
        stage = tempfile.mkdtemp(prefix=".fwgallery-", dir=args.dir)
        try:
            previews = make(args, clips, pictures, stage, progress)
            progress.clear()
            move_into_place(args, stage)
        finally:
            shutil.rmtree(stage, ignore_errors=True)
        return len(clips), [os.path.join(args.dir, "preview", name) for name in previews]
    finally:
        shutil.rmtree(pictures, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(prog="fwgallery new", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--fwgallery", help=argparse.SUPPRESS)
    parser.add_argument("--group", type=int, default=1, help="clips an item: N makes MultiItems of N (1 to 4)")
    parser.add_argument("--link", action="store_true", help="link the clips into DIR/movies instead of copying")
    parser.add_argument("--name", help="the gallery's title (default: DIR's name)")
    parser.add_argument("--force", action="store_true", help="make the gallery even where DIR is not empty")
    parser.add_argument("--skip-bad", action="store_true", help="leave out the clips the player cannot play")
    parser.add_argument("--quiet", action="store_true", help="no progress on standard error")
    parser.add_argument("dir", metavar="DIR")
    parser.add_argument("clips", metavar="CLIP", nargs="+")
    args = parser.parse_args()
    args.name = args.name or os.path.basename(os.path.abspath(args.dir))
    args.moved = False
    created = not os.path.exists(args.dir)
    progress = Progress(args.quiet)
    for number in SIGNALS[1:]:  # as SIGINT; a signal ignored (nohup, a background job) stays ignored
        if signal.getsignal(number) != signal.SIG_IGN:
            signal.signal(number, interrupted)
    try:
        made, previews = build(args, progress)
    except (Interrupted, KeyboardInterrupt):
        progress.clear()
        if args.moved:
            print(f"fwgallery new: interrupted once the gallery {args.dir!r} was made", file=sys.stderr)
            return 130
        if created:
            shutil.rmtree(args.dir, ignore_errors=True)
        print(f"fwgallery new: interrupted; {args.dir!r} is as it was", file=sys.stderr)
        return 130
    except (Refusal, OSError, subprocess.CalledProcessError) as error:
        progress.say(str(error))
        if created:
            shutil.rmtree(args.dir, ignore_errors=True)
        return 2
    print(f"Made the gallery {args.dir!r} of {made} clip{'' if made == 1 else 's'}. Checking it:", flush=True)
    checked = subprocess.run([args.fwgallery, "check", args.dir]).returncode
    if previews:
        print("Pictures of the screens as the player will show them:\n" + "\n".join(previews))
    return checked


if __name__ == "__main__":
    try:
        sys.exit(main())
    except BrokenPipeError:  # whatever read the output went away (| head)
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        sys.exit(1)
