#!/usr/bin/python3
"""Draws the player's four pictures, "atlases" of a background and the control
images, in the player's raw picture format (and as PNG, to look at):

  MainBG.bmp         800 x 686  main screen: background, buttons, clip buttons, knobs
  ThumbnailBG1.bmp   800 x 600  gallery page 1 with its 28 thumbnails, unhighlighted
  ThumbnailBG2.bmp   800 x 600  gallery page 2 likewise
  Thumbnail.bmp      700 x 675  highlighted thumbnails, the lock picture, gallery buttons

Every rectangle below is (left, top, right, bottom) with right and bottom
exclusive, as the player cuts them out of the atlases.

By default the 56 thumbnails are numbered, coloured placeholders. With
--thumbnails DIR, slot k (0 to 55) takes DIR/kk.png or DIR/kk.bmp (a raw
picture) when it exists, scaled to 100 x 75: bright in Thumbnail.bmp, darker and
paler in the page backgrounds.

With --title NAME, the gallery's name stands under the video area and over the
gallery pages.

  make_pictures.py --bmp-dir OUT/Bmp [--png-dir OUT/png] [--thumbnails DIR] [--title NAME]
"""
import argparse
import colorsys
import os
import struct
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageEnhance, ImageFont

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "layout"))
import layout  # noqa: E402

# ---- geometry of the two screens -------------------------------------------

SCREEN = (800, 600)
_VIDEO_LEFT, _VIDEO_TOP, _VIDEO_WIDTH, _VIDEO_HEIGHT = layout.video_rect()
VIDEO = (_VIDEO_LEFT, _VIDEO_TOP, _VIDEO_LEFT + _VIDEO_WIDTH, _VIDEO_TOP + _VIDEO_HEIGHT)  # the video window's
SEEK_TRACK = (38, 535, 385, 555)            # x 38..384, y 535..554
VOLUME_TRACK = (38, 567, 385, 587)          # x 38..384, y 567..586
KNOB_SIZE = (19, 16)
KNOB_TOP = {"seek": 534, "volume": 566}
KNOB_MIDDLE = (44, 379)                     # the knob's middle column runs 44..379
BUTTON_SIZE = (58, 45)
MAIN_BUTTONS = {"previous": 456, "stop": 514, "play": 572, "next": 630, "gallery": 714}
BUTTON_TOP = 535
CLIP_BUTTON_SIZE = (33, 41)
CLIP_BUTTON_X = 749
CLIP_BUTTON_TOPS = (55, 130, 205, 280)

PAGES, ROWS, COLUMNS = 2, 4, 7
SLOTS = PAGES * ROWS * COLUMNS              # 56
THUMB = (100, 75)
PAGE_BUTTON_AT = (721, 24)
BACK_BUTTON_AT = (714, 535)

# Where each image lies in MainBG.bmp: (left, top) of a 58 x 45 button face.
MAIN_ATLAS_SIZE = (800, 686)
MAIN_FACES = {
    ("previous", "normal"): (0, 600), ("stop", "normal"): (58, 600), ("play", "normal"): (116, 600),
    ("next", "normal"): (174, 600), ("gallery", "normal"): (232, 600),
    ("previous", "highlighted"): (290, 600), ("stop", "highlighted"): (348, 600),
    ("play", "highlighted"): (406, 600), ("next", "highlighted"): (464, 600),
    ("gallery", "highlighted"): (522, 600),
    ("stop", "inactive"): (580, 600), ("play", "inactive"): (638, 600),
}
CLIP_FACES = {"normal": (0, 645), "highlighted": (33, 645), "current": (66, 645)}
KNOB_FACES = {"normal": (99, 645), "dragged": (99, 661)}

# Thumbnail.bmp.
THUMB_ATLAS_SIZE = (700, 675)
LOCK_AT = (0, 600)
GALLERY_FACES = {
    ("page-next", "normal"): (112, 600), ("page-back", "normal"): (170, 600), ("back", "normal"): (228, 600),
    ("page-next", "highlighted"): (286, 600), ("page-back", "highlighted"): (344, 600),
    ("back", "highlighted"): (402, 600),
}


def slot_place(slot):
    """(page, row, column) of a slot: slots run page * 28 + row * 7 + column."""
    return slot // 28, slot % 28 // COLUMNS, slot % COLUMNS


def cell_on_screen(slot):
    _, row, column = slot_place(slot)
    return 29 + 107 * column, 91 + 108 * row


def cell_in_atlas(slot):
    page, row, column = slot_place(slot)
    return 100 * column, 75 * row + 300 * page


# ---- colours and fonts -----------------------------------------------------

INK = (232, 245, 236, 255)
LOOKS = {  # fill, border, symbol
    "normal": ((46, 90, 70, 255), (121, 179, 148, 255), INK),
    "highlighted": ((84, 160, 120, 255), (225, 255, 236, 255), (255, 255, 255, 255)),
    "inactive": ((34, 46, 40, 255), (61, 74, 67, 255), (93, 107, 99, 255)),
    "current": ((200, 145, 46, 255), (255, 226, 160, 255), (255, 255, 255, 255)),
    "dragged": ((236, 140, 50, 255), (255, 220, 170, 255), (90, 40, 0, 255)),
}
FONT_DIR = "/usr/share/fonts/truetype/dejavu"


def font(size, bold=True):
    name = "DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"
    try:
        return ImageFont.truetype(os.path.join(FONT_DIR, name), size)
    except OSError:  # no DejaVu: the small built-in font still labels everything
        return ImageFont.load_default()


def gradient(size, top, bottom):
    """An opaque RGBA picture shading from colour top to colour bottom."""
    w, h = size
    t = np.linspace(0.0, 1.0, h)[:, None, None]
    rows = np.array(top, float) * (1 - t) + np.array(bottom, float) * t
    rgb = np.repeat(rows, w, axis=1).astype(np.uint8)
    alpha = np.full((h, w, 1), 255, np.uint8)
    return Image.fromarray(np.concatenate([rgb, alpha], axis=2), "RGBA")


def centred_text(draw, box, text, size, fill, bold=True):
    left, top, right, bottom = box
    face = font(size, bold)
    x0, y0, x1, y1 = draw.textbbox((0, 0), text, font=face)
    draw.text(((left + right - (x1 - x0)) / 2 - x0, (top + bottom - (y1 - y0)) / 2 - y0), text, font=face, fill=fill)


# ---- symbols and faces -----------------------------------------------------

def draw_symbol(draw, name, cx, cy, colour):
    """The symbol of a button, centred on (cx, cy), about 24 pixels across."""
    def triangle(x, direction, half=9, depth=12):
        tip = x + direction * depth
        draw.polygon([(x, cy - half), (x, cy + half), (tip, cy)], fill=colour)

    if name == "play":
        triangle(cx - 6, +1, 11, 16)
    elif name == "stop":
        draw.rectangle((cx - 9, cy - 9, cx + 9, cy + 9), fill=colour)
    elif name == "previous":
        draw.rectangle((cx - 13, cy - 9, cx - 10, cy + 9), fill=colour)
        triangle(cx + 1, -1)
        triangle(cx + 13, -1)
    elif name == "next":
        draw.rectangle((cx + 10, cy - 9, cx + 13, cy + 9), fill=colour)
        triangle(cx - 1, +1)
        triangle(cx - 13, +1)
    elif name == "gallery":  # a grid of little pictures
        for row in range(2):
            for column in range(3):
                x, y = cx - 14 + column * 10, cy - 9 + row * 10
                draw.rectangle((x, y, x + 7, y + 7), fill=colour)
    elif name in ("page-next", "page-back"):
        direction = 1 if name == "page-next" else -1
        draw.rectangle((cx - 8, cy - 2, cx + 8, cy + 2), fill=colour)
        triangle(cx + direction * 6, direction, 8, 9)
    elif name == "back":  # a return arrow
        draw.arc((cx - 6, cy - 9, cx + 12, cy + 7), 270, 90, fill=colour, width=4)
        draw.rectangle((cx - 4, cy + 3, cx + 3, cy + 7), fill=colour)
        draw.polygon([(cx - 4, cy - 9), (cx - 4, cy + 1), (cx - 13, cy - 4)], fill=colour)
        draw.rectangle((cx - 4, cy - 9, cx + 3, cy - 6), fill=colour)


def button_face(name, look, size=BUTTON_SIZE, label=None):
    """A rounded button with its symbol, on a transparent background."""
    fill, border, ink = LOOKS[look]
    face = Image.new("RGBA", size, (0, 0, 0, 0))
    draw = ImageDraw.Draw(face)
    w, h = size
    draw.rounded_rectangle((0, 0, w - 1, h - 1), radius=9, fill=fill, outline=border, width=2)
    if look == "highlighted":  # a lighter upper half reads as lit
        draw.rounded_rectangle((3, 3, w - 4, h // 2), radius=6, fill=tuple(min(255, c + 25) for c in fill[:3]) + (255,))
    if label:
        draw_symbol(draw, name, w // 2, 17, ink)
        centred_text(draw, (0, 30, w, h - 3), label, 10, ink)
    else:
        draw_symbol(draw, name, w // 2, h // 2, ink)
    return face


def clip_button_face(look):
    """The clip button: one picture for all four buttons, so a film frame, no number."""
    fill, border, ink = LOOKS[look]
    face = Image.new("RGBA", CLIP_BUTTON_SIZE, (0, 0, 0, 0))
    draw = ImageDraw.Draw(face)
    w, h = CLIP_BUTTON_SIZE
    draw.rounded_rectangle((0, 0, w - 1, h - 1), radius=6, fill=fill, outline=border, width=2)
    strip = (7, 6, w - 8, h - 7)
    draw.rectangle(strip, fill=(20, 24, 22, 255))
    for y in range(strip[1] + 3, strip[3] - 1, 5):  # sprocket holes
        draw.rectangle((strip[0] + 2, y, strip[0] + 4, y + 2), fill=ink)
        draw.rectangle((strip[2] - 4, y, strip[2] - 2, y + 2), fill=ink)
    draw.rectangle((strip[0] + 7, strip[1] + 5, strip[2] - 7, strip[3] - 5), fill=ink)
    return face


def knob_face(look):
    fill, border, ink = LOOKS["highlighted" if look == "normal" else "dragged"]
    face = Image.new("RGBA", KNOB_SIZE, (0, 0, 0, 0))
    draw = ImageDraw.Draw(face)
    draw.rounded_rectangle((0, 0, KNOB_SIZE[0] - 1, KNOB_SIZE[1] - 1), radius=4, fill=fill, outline=border)
    draw.line((9, 3, 9, KNOB_SIZE[1] - 4), fill=ink if look == "dragged" else (30, 60, 45, 255), width=1)
    return face


def lock_picture():
    """Laid over a locked cell at 3/4 opacity: mostly dark, a padlock in the middle."""
    lock = Image.new("RGBA", THUMB, (0, 0, 0, 0))
    draw = ImageDraw.Draw(lock)
    draw.rectangle((0, 0, THUMB[0] - 1, THUMB[1] - 1), fill=(14, 20, 18, 235))
    cx, cy = THUMB[0] // 2, 40
    metal = (190, 200, 195, 255)
    draw.arc((cx - 10, cy - 24, cx + 10, cy - 2), 180, 360, fill=metal, width=4)
    draw.rectangle((cx - 12, cy - 14, cx - 9, cy - 6), fill=metal)
    draw.rectangle((cx + 9, cy - 14, cx + 12, cy - 6), fill=metal)
    draw.rounded_rectangle((cx - 16, cy - 7, cx + 16, cy + 17), radius=3, fill=metal)
    draw.ellipse((cx - 3, cy, cx + 3, cy + 6), fill=(14, 20, 18, 255))
    draw.rectangle((cx - 1, cy + 5, cx + 1, cy + 11), fill=(14, 20, 18, 255))
    return lock


# ---- thumbnails ------------------------------------------------------------

def placeholder(slot):
    """A coloured card with the slot's number (counted from 1)."""
    hue = (slot * 0.61803) % 1.0  # golden-ratio steps keep neighbours apart
    r, g, b = colorsys.hsv_to_rgb(hue, 0.55, 0.85)
    top = (int(r * 255), int(g * 255), int(b * 255))
    bottom = tuple(int(c * 0.55) for c in top)
    card = gradient(THUMB, top, bottom)
    draw = ImageDraw.Draw(card)
    for x in range(-THUMB[1], THUMB[0], 18):  # faint diagonal stripes
        draw.line((x, THUMB[1], x + THUMB[1], 0), fill=top + (255,), width=4)
    text = str(slot + 1)
    centred_text(draw, (2, 2, THUMB[0] + 2, THUMB[1] + 2), text, 36, (0, 0, 0, 160))
    centred_text(draw, (0, 0, THUMB[0], THUMB[1]), text, 36, (255, 255, 255, 255))
    return card.convert("RGB")


def read_raw_picture(path):
    data = open(path, "rb").read()
    if data[:4] != b"TEYL" or len(data) < 12:
        raise ValueError(f"{path}: not a raw picture")
    width, height = struct.unpack("<ii", data[4:12])
    if not (0 < width <= 16384 and 0 < height <= 16384) or len(data) < 12 + width * height * 4:
        raise ValueError(f"{path}: bad size or truncated")
    bgra = np.frombuffer(data[12:12 + width * height * 4], np.uint8).reshape(height, width, 4)
    return Image.fromarray(np.ascontiguousarray(bgra[:, :, [2, 1, 0, 3]]), "RGBA")


def given_thumbnail(directory, slot):
    """The slot's picture, scaled to 100 x 75; None where there is none, or none that reads."""
    for extension, reader in (("png", Image.open), ("bmp", read_raw_picture)):
        path = os.path.join(directory, f"{slot:02d}.{extension}")
        if os.path.exists(path):
            try:
                picture = reader(path).convert("RGB")
            except (OSError, ValueError) as error:
                print(f"make_pictures: {path}: {error}; the slot gets its placeholder", file=sys.stderr)
                return None
            if picture.size != THUMB:
                picture = picture.resize(THUMB, Image.LANCZOS)
            return picture
    return None


def highlighted(thumbnail):
    """The look under the mouse: full colour with a light frame."""
    picture = thumbnail.convert("RGBA")
    ImageDraw.Draw(picture).rectangle((0, 0, THUMB[0] - 1, THUMB[1] - 1), outline=(255, 255, 240, 255), width=2)
    return picture


def resting(thumbnail):
    """The look in the page background: paler and darker than the highlighted one."""
    picture = ImageEnhance.Color(thumbnail).enhance(0.45)
    return ImageEnhance.Brightness(picture).enhance(0.6).convert("RGBA")


# ---- the four atlases ------------------------------------------------------

def main_atlas(title):
    atlas = Image.new("RGBA", MAIN_ATLAS_SIZE, (0, 0, 0, 0))
    atlas.paste(gradient(SCREEN, (24, 58, 42), (6, 18, 12)), (0, 0))
    draw = ImageDraw.Draw(atlas)

    # The video area, framed; the video window covers the inside.
    left, top, right, bottom = VIDEO
    draw.rectangle((left - 4, top - 4, right + 3, bottom + 3), outline=(121, 179, 148, 255), width=2)
    draw.rectangle((left, top, right - 1, bottom - 1), fill=(0, 0, 0, 255))
    centred_text(draw, VIDEO, f"video {_VIDEO_WIDTH} x {_VIDEO_HEIGHT}", 20, (60, 80, 70, 255))
    draw.text((left - 2, bottom + 10), title or "Fernwood2", font=font(18), fill=INK)

    # The two bar tracks. A knob's middle column runs from 44 to 379.
    for name, track in (("seek", SEEK_TRACK), ("volume", VOLUME_TRACK)):
        x0, y0, x1, y1 = track
        draw.rounded_rectangle((x0, y0, x1 - 1, y1 - 1), radius=5, fill=(8, 22, 15, 255),
                               outline=(63, 111, 85, 255))
        middle_y = KNOB_TOP[name] + KNOB_SIZE[1] // 2
        if name == "seek":
            draw.rectangle((KNOB_MIDDLE[0], middle_y - 1, KNOB_MIDDLE[1], middle_y), fill=(121, 179, 148, 255))
        else:  # a wedge: quiet at the left, loud at the right
            draw.polygon([(KNOB_MIDDLE[0], middle_y + 1), (KNOB_MIDDLE[1], middle_y - 5),
                          (KNOB_MIDDLE[1], middle_y + 1)], fill=(121, 179, 148, 255))
        for x in KNOB_MIDDLE:
            draw.line((x, y0 + 2, x, y1 - 3), fill=(121, 179, 148, 255))
        draw.text((x1 + 6, y0 + 3), "POSITION" if name == "seek" else "VOLUME", font=font(10), fill=INK)

    # Empty sockets where buttons come and go (Previous, Next, the clip buttons).
    socket = dict(radius=9, fill=(10, 26, 18, 255), outline=(40, 70, 55, 255))
    for x in MAIN_BUTTONS.values():
        draw.rounded_rectangle((x, BUTTON_TOP, x + BUTTON_SIZE[0] - 1, BUTTON_TOP + BUTTON_SIZE[1] - 1), **socket)
    for y in CLIP_BUTTON_TOPS:
        draw.rounded_rectangle((CLIP_BUTTON_X, y, CLIP_BUTTON_X + CLIP_BUTTON_SIZE[0] - 1,
                                y + CLIP_BUTTON_SIZE[1] - 1), **dict(socket, radius=6))
    centred_text(draw, (CLIP_BUTTON_X - 20, 30, CLIP_BUTTON_X + 53, 48), "CLIPS", 11, INK)
    for k, y in enumerate(CLIP_BUTTON_TOPS):
        centred_text(draw, (CLIP_BUTTON_X - 22, y, CLIP_BUTTON_X - 2, y + CLIP_BUTTON_SIZE[1]), str(k + 1), 12,
                     (121, 179, 148, 255))

    # The control images below the background.
    for (name, look), place in MAIN_FACES.items():
        atlas.paste(button_face(name, look), place)
    for look, place in CLIP_FACES.items():
        atlas.paste(clip_button_face(look), place)
    for look, place in KNOB_FACES.items():
        atlas.paste(knob_face(look), place)
    return atlas


PAGE_COLOURS = [((30, 64, 48), (8, 20, 14)), ((28, 44, 74), (8, 12, 26))]


def thumbnail_background(page, thumbnails, title):
    """A page of the gallery: title, the 28 cells framed, each holding its resting thumbnail."""
    background = gradient(SCREEN, *PAGE_COLOURS[page])
    draw = ImageDraw.Draw(background)
    draw.text((29, 22), f"{title or 'Gallery'}  \u2013  page {page + 1} of {PAGES}", font=font(28), fill=INK)
    draw.text((31, 60), "Thumbnails light up as their clips are played. Click one to play it.",
              font=font(13, bold=False), fill=(180, 205, 190, 255))
    for slot in range(page * 28, page * 28 + 28):
        x, y = cell_on_screen(slot)
        draw.rectangle((x - 3, y - 3, x + THUMB[0] + 2, y + THUMB[1] + 2), outline=(121, 179, 148, 255), width=2)
        background.paste(resting(thumbnails[slot]), (x, y))
        centred_text(draw, (x, y + THUMB[1] + 4, x + THUMB[0], y + THUMB[1] + 18), f"No. {slot + 1}", 10,
                     (150, 180, 165, 255), bold=False)
    # Sockets under the page button and the back button.
    for x, y in (PAGE_BUTTON_AT, BACK_BUTTON_AT):
        draw.rounded_rectangle((x, y, x + BUTTON_SIZE[0] - 1, y + BUTTON_SIZE[1] - 1), radius=9,
                               fill=(10, 20, 16, 255), outline=(40, 70, 55, 255))
    return background


def thumbnail_atlas(thumbnails):
    atlas = Image.new("RGBA", THUMB_ATLAS_SIZE, (0, 0, 0, 0))
    for slot in range(SLOTS):
        atlas.paste(highlighted(thumbnails[slot]), cell_in_atlas(slot))
    atlas.paste(lock_picture(), LOCK_AT)
    labels = {"page-next": "page 2", "page-back": "page 1", "back": "back"}
    for (name, look), place in GALLERY_FACES.items():
        atlas.paste(button_face(name, look, label=labels[name]), place)
    return atlas


def write_raw(picture, path):
    """The player's raw picture format: "TEYL", width, height, then B G R A pixels."""
    rgba = np.asarray(picture.convert("RGBA"))
    height, width = rgba.shape[:2]
    with open(path, "wb") as out:
        out.write(b"TEYL" + struct.pack("<ii", width, height))
        out.write(np.ascontiguousarray(rgba[:, :, [2, 1, 0, 3]]).tobytes())


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bmp-dir", required=True, help="where the four .bmp pictures go")
    parser.add_argument("--png-dir", help="also write a PNG of each picture here")
    parser.add_argument("--thumbnails", help="folder of per-slot pictures 00.png (or 00.bmp) to 55.png")
    parser.add_argument("--title", help="the gallery's name")
    args = parser.parse_args()

    thumbnails = []
    for slot in range(SLOTS):
        given = given_thumbnail(args.thumbnails, slot) if args.thumbnails else None
        thumbnails.append(given if given is not None else placeholder(slot))

    pictures = {
        "MainBG": main_atlas(args.title),
        "ThumbnailBG1": thumbnail_background(0, thumbnails, args.title),
        "ThumbnailBG2": thumbnail_background(1, thumbnails, args.title),
        "Thumbnail": thumbnail_atlas(thumbnails),
    }
    os.makedirs(args.bmp_dir, exist_ok=True)
    if args.png_dir:
        os.makedirs(args.png_dir, exist_ok=True)
    for name, picture in pictures.items():
        write_raw(picture, os.path.join(args.bmp_dir, name + ".bmp"))
        if args.png_dir:
            picture.save(os.path.join(args.png_dir, name + ".png"), optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
