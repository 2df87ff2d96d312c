#!/usr/bin/env python3
"""Draws every image resource of the dialogs and writes it where the build
embeds it: resources/<TYPE>/<ID>.<ext>. Run it after changing a drawing and
commit the files it writes; the build itself never runs it.

    python3 resources/artwork/make_artwork.py            # write every file
    python3 resources/artwork/make_artwork.py --table    # print the table below

Needs python3-pil, python3-numpy and fonts-liberation2 (Debian packages).

Sizes. A dialog unit is 1.5 pixels across and 1.625 down at 100 % (dialog base
units 6 x 13 pixels for 4 x 8 units), rounded as the system does. Images that
come as a pair (small and large) are drawn at 100 % and 200 %; the dialog takes
the large one when its target is nearer twice the small one's width. A JPEG
without a large variant is drawn at 200 % and scaled down smoothly at 100 %.
The slider tracks, which have no large variant either, are drawn at 200 % on a
two-pixel grid, so that even a plain pixel-dropping reduction keeps every line.
Icons and cursors hold a 100 % and a 200 % image in one file.
"""

import argparse
import os
import sys
from dataclasses import dataclass, field

sys.dont_write_bytecode = True  # no caches beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import drawings as d  # noqa: E402
import formats  # noqa: E402
import palette  # noqa: E402


@dataclass
class Resource:
    type: str  # the resource type folder: JPEG, BITMAP, ICON, CURSOR
    id: int
    sizes: list  # (width, height) of every image the file holds
    target: str  # where the dialog draws it
    meaning: str
    draw: object = None
    hot_spots: list = field(default_factory=list)  # cursors: (x, y) per size


EXTENSIONS = {"JPEG": "jpg", "BITMAP": "bmp", "ICON": "ico", "CURSOR": "cur"}

_WATER_TRACK = d.track((188, 212, 234), (110, 156, 200))
_SLATE_TRACK = d.track((212, 216, 222), palette.SLATE_LIGHT)


# Every image the dialogs and boxes name: where it is drawn (the control's
# rectangle in dialog units and in pixels at 100 %) and the pixel size of
# each image in its file.
HEADING = "control %d, 30 x 9 DU = 45 x 15 px"
TRACK = "a slider, 90 x 8 DU = 135 x 13 px"
THUMB = "12u x 11u, u = slider height / 13: 12 x 11 px"
PAD = "control 150, 56 x 53 DU, square by its width: 84 x 84 px"
DOT = "controls 121-145, 5 x 5 DU = 8 x 8 px"
BIG_BUTTON = "button %d, 41 x 18 DU = 62 x 29 px"
SMALL_BUTTON = "button %d, 11 x 11 DU = 17 x 18 px"
CURSOR = "the preview, 431 x 303 DU"

RESOURCES = [
    Resource("JPEG", 344, [(90, 30)], HEADING % 43, "group heading \"View\": horizon, offset, "
             "perspective, altitude, spin", d.heading("View")),
    Resource("JPEG", 343, [(90, 30)], HEADING % 46, "group heading \"Water\": style, "
             "waviness, complexity, brilliance, blur, colour, glitter", d.heading("Water")),
    Resource("JPEG", 345, [(90, 30)], HEADING % 47, "group heading \"Ripples\": size, height, "
             "undulation, glue", d.heading("Ripples")),
    Resource("BITMAP", 101, [(270, 26)], TRACK, "slider track of the water's sliders "
             "(waviness, complexity, brilliance, blur): blue groove", _WATER_TRACK),
    Resource("BITMAP", 102, [(270, 26)], TRACK, "slider track of the other sliders: slate "
             "groove", _SLATE_TRACK),
    Resource("BITMAP", 120, [(12, 11)], THUMB, "slider thumb", d.thumb),
    Resource("BITMAP", 200, [(24, 22)], THUMB, "slider thumb, large", d.thumb),
    Resource("BITMAP", 156, [(84, 84)], PAD, "light pad", d.light_pad()),
    Resource("BITMAP", 304, [(168, 168)], PAD, "light pad, large", d.light_pad()),
    Resource("BITMAP", 306, [(84, 84)], PAD, "light pad, disabled", d.light_pad(disabled=True)),
    Resource("BITMAP", 305, [(168, 168)], PAD, "light pad, disabled, large",
             d.light_pad(disabled=True)),
    Resource("ICON", 308, [(6, 6), (12, 12)], "6s square, s = pad width / 85: 6 x 6 px",
             "light pad marker: where the light is", d.marker),
    # The dialog has no use for 335 and 336.
    Resource("JPEG", 342, [(16, 16)], DOT, "memory dot: empty", d.dot("empty")),
    Resource("JPEG", 341, [(16, 16)], DOT, "memory dot: empty, pressed",
             d.dot("empty", pressed=True)),
    Resource("JPEG", 332, [(16, 16)], DOT, "memory dot: filled, not kept", d.dot("filled")),
    Resource("JPEG", 331, [(16, 16)], DOT, "memory dot: filled, not kept, pressed",
             d.dot("filled", pressed=True)),
    Resource("JPEG", 334, [(16, 16)], DOT, "memory dot: current, not kept", d.dot("current")),
    Resource("JPEG", 333, [(16, 16)], DOT, "memory dot: current, not kept, pressed",
             d.dot("current", pressed=True)),
    Resource("JPEG", 338, [(16, 16)], DOT, "memory dot: filled, kept", d.dot("filled", kept=True)),
    Resource("JPEG", 337, [(16, 16)], DOT, "memory dot: filled, kept, pressed",
             d.dot("filled", kept=True, pressed=True)),
    Resource("JPEG", 340, [(16, 16)], DOT, "memory dot: current, kept",
             d.dot("current", kept=True)),
    Resource("JPEG", 339, [(16, 16)], DOT, "memory dot: current, kept, pressed",
             d.dot("current", kept=True, pressed=True)),
    Resource("BITMAP", 217, [(192, 192)], "control 119, 64 x 61 DU, square by its width: "
             "96 x 96 px", "dot preview frame; the thumbnail covers 4/96 to 92/96 of it",
             d.dot_frame),
    Resource("ICON", 185, [(48, 20), (96, 40)], BIG_BUTTON % 35, "load a settings file "
             "(\"Load\")", d.button_icon("load", "Load")),
    Resource("ICON", 186, [(48, 20), (96, 40)], BIG_BUTTON % 26, "save a settings file "
             "(\"Save\")", d.button_icon("save", "Save")),
    Resource("ICON", 184, [(48, 20), (96, 40)], BIG_BUTTON % 72, "random settings (\"Dice\")",
             d.button_icon("dice", "Dice")),
    Resource("ICON", 164, [(48, 20), (96, 40)], BIG_BUTTON % 75, "new random seed (\"Seed\")",
             d.button_icon("seed", "Seed")),
    Resource("ICON", 187, [(48, 20), (96, 40)], BIG_BUTTON % 74, "undo (\"Undo\")",
             d.button_icon("undo", "Undo")),
    Resource("ICON", 225, [(48, 20), (96, 40)], BIG_BUTTON % 98, "back to plain settings "
             "(\"Plain\")", d.button_icon("plain", "Plain")),
    Resource("ICON", 234, [(48, 20), (96, 40)], BIG_BUTTON % 69, "export a layered PSD file "
             "(\"PSD\")", d.button_icon("layers", "PSD")),
    Resource("ICON", 236, [(16, 16), (32, 32)], "button 27, 16 x 16 DU = 24 x 26 px",
             "open the info box", d.info_icon),
    Resource("ICON", 169, [(12, 12), (24, 24)], SMALL_BUTTON % 33, "zoom out",
             d.small_icon("minus")),
    Resource("ICON", 5, [(12, 12), (24, 24)], SMALL_BUTTON % 32, "zoom in",
             d.small_icon("plus")),
    Resource("ICON", 235, [(12, 12), (24, 24)], SMALL_BUTTON % 40, "HTML page of a folder of "
             "settings files", d.small_icon("gallery")),
    # The dialog names no image for the "N" button and the about icon; these
    # two are offered for them under ids nothing else uses.
    Resource("ICON", 188, [(12, 12), (24, 24)], SMALL_BUTTON % 21, "next output mode "
             "(offered)", d.small_icon("next")),
    Resource("ICON", 189, [(30, 30), (60, 60)], "about icon 25, 20 x 20 DU = 30 x 33 px",
             "the product's emblem (offered)", d.emblem),
    Resource("JPEG", 312, [(1042, 426)], "about box area 222, 347 x 131 DU = 521 x 213 px",
             "about image: \"Mirel 2\" over water and its reflection", d.about),
    Resource("BITMAP", 179, [(726, 450)], "info box area 1, 484 x 277 DU = 726 x 450 px",
             "info image: a landscape reflected in rippled water", d.info),
    Resource("BITMAP", 303, [(1452, 900)], "info box area 1", "info image, large", d.info),
    Resource("CURSOR", 109, [(32, 32), (64, 64)], CURSOR, "over the preview: cross-hair, hot "
             "spot at its centre, where a click sets the effect's centre", d.crosshair,
             hot_spots=[(15, 15), (31, 31)]),
    Resource("CURSOR", 107, [(32, 32), (64, 64)], CURSOR, "while panning the preview: "
             "grabbing hand, hot spot in the palm", d.grab_hand, hot_spots=[(16, 19), (32, 38)]),
]


def file_name(resource):
    return os.path.join(resource.type, f"{resource.id}.{EXTENSIONS[resource.type]}")


def render(resource):
    images = [resource.draw(w, h) for w, h in resource.sizes]
    for image, size in zip(images, resource.sizes):
        assert image.size == tuple(size), (resource.id, image.size, size)
    if resource.type == "JPEG":
        return formats.jpeg_bytes(images[0])
    if resource.type == "BITMAP":
        return formats.bmp_bytes(images[0])
    if resource.type == "ICON":
        return formats.ico_bytes(images)
    return formats.cur_bytes(images, resource.hot_spots)


def print_table():
    print("| id | type | file | image size (px) | drawn into | meaning |")
    print("|---|---|---|---|---|---|")
    for r in RESOURCES:
        sizes = ", ".join(f"{w} x {h}" for w, h in r.sizes)
        if r.hot_spots:
            sizes += "; hot spots " + ", ".join(f"({x}, {y})" for x, y in r.hot_spots)
        print(f"| {r.id} | {r.type} | {file_name(r)} | {sizes} | {r.target} | {r.meaning} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--table", action="store_true", help="print the resource table")
    parser.add_argument("--out", default=os.path.dirname(os.path.dirname(os.path.abspath(
        __file__))), help="the resources folder (default: the one this script is in)")
    parser.add_argument("ids", nargs="*", type=int, help="draw only these ids")
    args = parser.parse_args()
    if args.table:
        print_table()
        return
    for resource in RESOURCES:
        if args.ids and resource.id not in args.ids:
            continue
        path = os.path.join(args.out, file_name(resource))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(render(resource))
        print(path)


if __name__ == "__main__":
    main()
