#!/usr/bin/env python3
"""Pictures for looking at the artwork: every resource file as a PNG tile
(small ones enlarged without smoothing, so single pixels show), contact sheets
of the tiles (ImageMagick's montage), and the images placed at their controls
on the dialog's grey at 100 % and 200 %.

    python3 resources/artwork/preview_artwork.py OUT_FOLDER
"""

import os
import shutil
import subprocess
import sys

from PIL import Image, ImageDraw

sys.dont_write_bytecode = True  # no caches beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import formats  # noqa: E402
import make_artwork  # noqa: E402
import palette  # noqa: E402
from sketch import on_background  # noqa: E402

RESOURCES_FOLDER = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def load(resource):
    """Every image of the resource's file, as RGBA (icons and cursors on the
    dialog grey would hide their edges, so they stay transparent)."""
    path = os.path.join(RESOURCES_FOLDER, make_artwork.file_name(resource))
    if resource.type in ("ICON", "CURSOR"):
        with open(path, "rb") as f:
            return [image for image, _ in formats.read_icon_images(f.read())]
    return [Image.open(path).convert("RGBA")]


def tile(image, target=160):
    zoom = max(1, min(8, target // max(image.size)))
    big = image.resize((image.width * zoom, image.height * zoom), Image.Resampling.NEAREST)
    return on_background(big, palette.DIALOG) if big.mode == "RGBA" else big


def write_tiles(folder):
    names = []
    for resource in make_artwork.RESOURCES:
        for image in load(resource):
            size = f"{image.width}x{image.height}"
            name = os.path.join(folder, f"{resource.type}-{resource.id}-{size}.png")
            tile(image).save(name)
            names.append((name, f"{resource.type} {resource.id} {size}", image))
    return names


def du(x, y, w, h, scale):
    """Dialog units to pixels, rounded as the system does, at a scale."""
    def r(v, num, den):
        return int((v * num * scale * 2 + den) // (2 * den))
    return r(x, 6, 4), r(y, 13, 8), r(w, 6, 4), r(h, 13, 8)


def find(type_, id_):
    return next(r for r in make_artwork.RESOURCES if r.type == type_ and r.id == id_)


def pick(images, width):
    """The image whose width is nearest the target, as the dialog chooses."""
    return min(images, key=lambda image: abs(image.width - width))


def place(canvas, image, box, smooth=True):
    x, y, w, h = box
    method = Image.Resampling.LANCZOS if smooth else Image.Resampling.NEAREST
    canvas.alpha_composite(image.resize((w, h), method), (x, y))


def mockup(scale):
    """The left column and the row under the preview, as the dialog lays them out."""
    width, height = du(0, 0, 671, 424, scale)[2:]
    canvas = Image.new("RGBA", (width, height), (*palette.DIALOG, 255))
    draw = ImageDraw.Draw(canvas)
    for control, image_id in ((43, 344), (46, 343), (47, 345)):
        rect = {43: (11, 10, 30, 9), 46: (11, 88, 30, 9), 47: (12, 231, 30, 9)}[control]
        place(canvas, load(find("JPEG", image_id))[0], du(*rect, scale))
    rows = [(12, 102, 0.5), (26, 102, 0.2), (39, 102, 0.9), (52, 102, 0.0), (66, 102, 0.5),
            (105, 101, 0.3), (118, 101, 0.6), (132, 101, 1.0), (146, 101, 0.1),
            (231, 102, 0.88), (245, 102, 0.2), (258, 102, 0.4)]
    thumbs = load(find("BITMAP", 120)) + load(find("BITMAP", 200))
    for y, track_id, t in rows:
        left, top, w, h = du(95, y, 90, 8, scale)
        place(canvas, load(find("BITMAP", track_id))[0], (left, top, w, h), smooth=False)
        u = h / 13
        a, b = int(left + u), int(left + w - 12 * u - u)
        x0 = a + int((b - a) * t)
        box = (x0, int(top + u), int(x0 + 12 * u) - x0, int(top + h - u) - int(top + u))
        place(canvas, pick(thumbs, box[2]), box, smooth=False)
    # The light pad, square by its width, with a line and the marker.
    left, top, w, _ = du(143, 167, 56, 53, scale)
    pads = load(find("BITMAP", 156)) + load(find("BITMAP", 304))
    place(canvas, pick(pads, w), (left, top, w, w), smooth=False)
    s = w / 85
    cx, cy = left + 43 * s, top + 41 * s
    mx, my = cx + 33 * s * 0.55, cy - 33 * s * 0.5
    draw.line([(cx, cy), (mx, my)], fill=(*palette.SLATE, 255), width=max(1, int(s)))
    marker = pick(load(find("ICON", 308)), 6 * s)
    m = int(round(6 * s))
    place(canvas, marker, (int(mx - m / 2), int(my - m / 2), m, m))
    # Icon buttons: a plain system-like face with the icon centred.
    buttons = [(35, 185, (95, 316, 41, 18)), (26, 186, (146, 316, 41, 18)),
               (72, 184, (95, 340, 41, 18)), (75, 164, (146, 340, 41, 18)),
               (74, 187, (95, 365, 41, 18)), (98, 225, (146, 365, 41, 18)),
               (69, 234, (95, 390, 41, 18)), (27, 236, (337, 329, 16, 16)),
               (33, 169, (475, 331, 11, 11)), (32, 5, (515, 331, 11, 11)),
               (40, 235, (652, 330, 11, 11)), (21, 188, (190, 289, 11, 11))]
    for _, icon_id, rect in buttons:
        x, y, w, h = du(*rect, scale)
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], radius=2 * scale,
                               fill=(240, 240, 240, 255), outline=(160, 160, 160, 255))
        icon = load(find("ICON", icon_id))[scale - 1]
        canvas.alpha_composite(icon, (x + (w - icon.width) // 2, y + (h - icon.height) // 2))
    x, y, w, h = du(10, 389, 20, 20, scale)
    emblem = load(find("ICON", 189))[scale - 1]
    canvas.alpha_composite(emblem, (x + (w - emblem.width) // 2, y + (h - emblem.height) // 2))
    # The dot ring around the dot preview.
    x, y, w, _ = du(236, 330, 64, 61, scale)
    place(canvas, load(find("BITMAP", 217))[0], (x, y, w, w))
    dots = [(225, 325), (227, 333), (227, 341), (225, 349), (222, 357), (219, 365), (219, 373),
            (222, 380), (226, 387), (232, 393), (239, 398), (247, 404), (256, 407), (266, 410),
            (276, 410), (285, 407), (294, 404), (302, 398), (308, 391), (312, 383), (315, 374),
            (315, 365), (312, 356), (308, 348), (302, 340)]
    states = [338, 338, 340, 332, 331, 334, 337, 339, 333, 341] + [342] * 15
    for (dx, dy), image_id in zip(dots, states):
        place(canvas, load(find("JPEG", image_id))[0], du(dx, dy, 5, 5, scale))
    # The preview pane, as a plain frame.
    x, y, w, h = du(237, 0, 431, 303, scale)
    draw.rectangle([x + 1, y + 1, x + w - 2, y + h - 2], fill=(255, 255, 255, 255),
                   outline=(0, 0, 0, 255))
    place(canvas, load(find("BITMAP", 179))[0], (x + 2, y + 2, w - 4, h - 4))
    return canvas.convert("RGB")


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    folder = sys.argv[1]
    tiles = os.path.join(folder, "tiles")
    os.makedirs(tiles, exist_ok=True)
    names = write_tiles(tiles)
    montage = shutil.which("montage", path="/usr/bin") or shutil.which("montage")
    if montage:
        # The landscapes get a sheet of their own, so the small images' rows stay low.
        sheets = (("sheet.png", "200x170>+8+8", "8x", lambda image: max(image.size) <= 300),
                  ("sheet-landscapes.png", "+8+8", "1x", lambda image: max(image.size) > 300))
        for sheet, geometry, columns, wanted in sheets:
            args = [montage, "-background", "#e2e2e2", "-pointsize", "11", "-geometry", geometry,
                    "-tile", columns]
            for name, label, image in names:
                if wanted(image):
                    args += ["-label", label, name]
            subprocess.run(args + [os.path.join(folder, sheet)], check=True)
    for scale in (1, 2):
        mockup(scale).save(os.path.join(folder, f"mockup-{scale * 100}.png"))
    print(folder)


if __name__ == "__main__":
    main()
