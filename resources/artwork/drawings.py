"""The drawings of every image resource. Each function takes the pixel size to
draw at and returns a Pillow image: RGB for opaque images (they are laid on the
dialog's grey), RGBA for icons and cursors. Shapes are designed on a small
grid (the 100 % size) and scaled, so both sizes of a pair look alike."""

import numpy as np
from PIL import Image, ImageFilter

import palette as p
import scene
from sketch import Sketch, font, on_background, text, text_width


def _darker(color, factor):
    return tuple(int(round(c * factor)) for c in color)


# Group headings: one word in bold water blue on the dialog grey, drawn at
# twice the 45 x 15 pixels of the control.
def heading(word):
    def draw(width, height):
        k = width / 45
        image = Image.new("RGB", (width, height), p.DIALOG)
        face = font("bold", int(round(10.5 * k)))
        return text(image, (1 * k, 11 * k), word, face, p.DEEP)

    return draw


# Memory dots: empty is a hollow ring; filled is a disc, light water blue
# while it lives only in this run and deep blue when it is kept for the next;
# the current dot wears an amber ring. Pressed darkens the dot.
def dot(state, kept=False, pressed=False):
    def draw(width, height):
        k = width / 8
        c = 4 * k
        s = Sketch(width, height, background=p.DIALOG)
        shade = 0.78 if pressed else 1.0
        if state == "empty":
            fill = (206, 212, 220) if pressed else (246, 246, 246)
            ring = p.SLATE if pressed else p.SLATE_LIGHT
            s.circle(c, c, 3.4 * k, fill=fill, outline=ring, width=1.0 * k)
            return s.image().convert("RGB")
        body = p.DEEP if kept else p.MID
        radius = 3.6 * k
        if state == "current":
            s.circle(c, c, 3.9 * k, fill=_darker(p.SUN, shade))
            radius = 2.6 * k
        s.circle(c, c, radius, fill=_darker(body, shade))
        return s.image().convert("RGB")

    return draw


# Dot preview frame: a white mat with a quiet outline around a pale well; the
# hovered dot's thumbnail covers the well (inset 4/96 of the width, 88/96 in
# size), so only the mat frames it.
def dot_frame(width, height):
    k = width / 96
    s = Sketch(width, height, background=p.DIALOG)
    s.rect(0, 0, 96 * k, 96 * k, radius=5 * k, fill=p.WHITE, outline=p.SLATE_LIGHT, width=1 * k)
    s.rect(4 * k, 4 * k, 92 * k, 92 * k, radius=1.5 * k, fill=(240, 243, 246),
           outline=(200, 208, 218), width=1 * k)
    for row, color in ((-6, (196, 214, 232)), (0, (176, 200, 224)), (6, (196, 214, 232))):
        xs = np.linspace(30, 66, 40)
        ys = 48 + row + 1.6 * np.sin((xs - 30) / 36 * 2 * np.pi * 1.5)
        s.line([(x * k, y * k) for x, y in zip(xs, ys)], color, width=1.4 * k)
    return s.image().convert("RGB")


# Slider tracks: a slim rounded groove on the dialog grey, with a tick at the
# middle of the thumb's travel (0 for Spin). Above and below the groove the
# track is the dialog grey, as are the thumb's corners, so the thumb sits on
# either track without a seam. 101 (the water's sliders) has a blue groove,
# 102 a slate one.
def track(groove, outline):
    def draw(width, height):
        k = height / 13
        s = Sketch(width, height, background=p.DIALOG)
        s.rect(2 * k, 4 * k, width - 2 * k, 9 * k, radius=2.5 * k, fill=groove, outline=outline,
               width=1 * k)
        s.rect(3 * k, 5 * k, width - 3 * k, 6 * k, fill=(*outline, 90))
        middle = width / 2
        for y0, y1 in ((1, 3), (10, 12)):
            s.rect(middle - 1 * k, y0 * k, middle, y1 * k, fill=p.SLATE_LIGHT)
        return s.image().convert("RGB")

    return draw


# Slider thumb: a small deep blue block, lighter at the top, with two white
# grip lines.
def thumb(width, height):
    k = width / 12
    s = Sketch(width, height, background=p.DIALOG)
    xs, ys = s.grid()
    t = np.clip(ys / height, 0, 1)[..., None]
    top, bottom = np.array((70, 132, 188), float), np.array(p.DEEP, float)
    body = s.mask(lambda d, ss: d.rounded_rectangle(
        [0, 0, width * ss - 1, height * ss - 1], radius=2.5 * k * ss, fill=255))
    s.paint(top + (bottom - top) * t, body)
    s.rect(0, 0, width, height, radius=2.5 * k, outline=p.DEEP_DARK, width=1 * k)
    for x in (4, 7):
        s.rect(x * k, 3 * k, (x + 1) * k, height - 3 * k, fill=(*p.WHITE, 190))
    return s.image().convert("RGB")


# Light pad: the sky as seen from above, a pale dome whose rim (radius 33 of
# the pad's 85 units, around the point 43, 41) is the horizon where the
# light's marker can go no further. The dialog draws the line from the
# centre and the marker (308) on top.
def light_pad(disabled=False):
    def draw(width, height):
        s85 = width / 85
        cx, cy = 43 * s85, 41 * s85
        s = Sketch(width, height, background=p.DIALOG)
        xs, ys = s.grid()
        r = np.hypot(xs - cx, ys - cy) / (38 * s85)
        if disabled:
            inner, outer = np.array((242, 242, 242), float), np.array((222, 222, 222), float)
            rim, rings, dot_color = (182, 182, 182), (196, 196, 196), (170, 170, 170)
        else:
            inner, outer = np.array((252, 253, 255), float), np.array((196, 216, 234), float)
            rim, rings, dot_color = p.MID, p.SLATE_LIGHT, p.SLATE
        t = np.clip(r, 0, 1)[..., None] ** 1.6
        disc = s.mask(lambda d, ss: d.ellipse(
            [(cx - 38 * s85) * ss, (cy - 38 * s85) * ss, (cx + 38 * s85) * ss - 1,
             (cy + 38 * s85) * ss - 1], fill=255))
        s.paint(inner + (outer - inner) * t, disc)
        s.circle(cx, cy, 38 * s85, outline=p.SLATE_LIGHT if not disabled else rings, width=s85)
        for radius in (11, 22):
            s.circle(cx, cy, radius * s85, outline=(*rings, 110), width=0.8 * s85)
        reach = 33 * s85
        for dx, dy in ((reach, 0), (0, reach)):
            s.line([(cx - dx, cy - dy), (cx + dx, cy + dy)], (*rings, 90), width=0.8 * s85,
                   round_caps=False)
        s.circle(cx, cy, 33 * s85, outline=(*rim, 200), width=1.1 * s85)
        s.circle(cx, cy, 1.6 * s85, fill=dot_color)
        return s.image().convert("RGB")

    return draw


# The light's marker: a small amber sun.
def marker(width, height):
    k = width / 6
    s = Sketch(width, height)
    s.circle(3 * k, 3 * k, 2.95 * k, fill=p.SUN, outline=p.SUN_DARK, width=0.7 * k)
    if width >= 12:
        s.circle(2.4 * k, 2.4 * k, 0.8 * k, fill=(255, 226, 170))
    return s.image()


# Icon buttons: a pictogram in a 16-unit box and the button's word.
def _pict_load(s, at):
    s.rect(*at(1, 2.5, 7, 6), radius=at.k, fill=p.DEEP)
    s.rect(*at(1, 4, 15, 14), radius=1.2 * at.k, fill=p.DEEP)
    s.polygon([at.pt(3.5, 7.5), at.pt(16, 7.5), at.pt(14, 14), at.pt(1, 14)], fill=p.MID)


def _pict_save(s, at):
    s.line([at.pt(2, 9), at.pt(2, 14.5), at.pt(14, 14.5), at.pt(14, 9)], p.DEEP, width=2 * at.k)
    s.line([at.pt(8, 1.5), at.pt(8, 8.5)], p.DEEP, width=2.2 * at.k)
    s.polygon([at.pt(4, 7), at.pt(12, 7), at.pt(8, 11.5)], fill=p.DEEP)


def _pict_dice(s, at):
    s.rect(*at(1.5, 1.5, 14.5, 14.5), radius=3 * at.k, fill=p.DEEP)
    for x, y in ((5, 5), (11, 5), (8, 8), (5, 11), (11, 11)):
        s.circle(*at.pt(x, y), 1.35 * at.k, fill=p.WHITE)


def _lens(at, start, end, bulge, steps=12):
    (x0, y0), (x1, y1) = start, end
    nx, ny = -(y1 - y0), x1 - x0
    points = []
    for sign in (1, -1):
        for t in np.linspace(0, 1, steps) if sign > 0 else np.linspace(1, 0, steps):
            b = bulge * 4 * t * (1 - t) * sign
            points.append(at.pt(x0 + (x1 - x0) * t + nx * b, y0 + (y1 - y0) * t + ny * b))
    return points


def _pict_seed(s, at):
    s.line([at.pt(2.5, 14.5), at.pt(13.5, 14.5)], p.SLATE, width=1.6 * at.k)
    s.line([at.pt(8, 14), at.pt(8, 6.5)], p.DEEP, width=1.6 * at.k)
    s.polygon(_lens(at, (8, 8.5), (1.5, 3), 0.28), fill=p.MID)
    s.polygon(_lens(at, (8, 7), (14, 1.5), -0.28), fill=p.DEEP)


def _pict_undo(s, at):
    w = 2 * at.k
    s.line([at.pt(5, 5), at.pt(9.5, 5)], p.DEEP, width=w)
    s.arc(*at.pt(9.5, 9.5), 4.5 * at.k, -90, 90, p.DEEP, width=w)
    s.line([at.pt(9.5, 14), at.pt(5.5, 14)], p.DEEP, width=w)
    s.polygon([at.pt(0.8, 5), at.pt(6, 1), at.pt(6, 9)], fill=p.DEEP)


def _pict_plain(s, at):
    for y, color in ((4, p.DEEP), (8, p.MID), (12, p.MID)):
        s.line([at.pt(2, y), at.pt(14, y)], color, width=2 * at.k)


def _pict_layers(s, at):
    for y, color in ((11.5, p.SLATE_LIGHT), (8, p.MID), (4.5, p.DEEP)):
        s.polygon([at.pt(8, y - 3.6), at.pt(15.5, y), at.pt(8, y + 3.6), at.pt(0.5, y)],
                  fill=p.WHITE)
        s.polygon([at.pt(8, y - 3), at.pt(14.5, y), at.pt(8, y + 3), at.pt(1.5, y)], fill=color)


class _Place:
    """Maps a design box of units onto the image: origin and scale."""

    def __init__(self, ox, oy, k):
        self.ox, self.oy, self.k = ox, oy, k

    def pt(self, x, y):
        return (self.ox + x * self.k, self.oy + y * self.k)

    def __call__(self, x0, y0, x1, y1):
        return (*self.pt(x0, y0), *self.pt(x1, y1))


PICTOGRAMS = {
    "load": _pict_load, "save": _pict_save, "dice": _pict_dice, "seed": _pict_seed,
    "undo": _pict_undo, "plain": _pict_plain, "layers": _pict_layers,
}


def button_icon(pictogram, word):
    def draw(width, height):
        k = width / 48
        face = font("bold", int(round(11 * k)))
        words = text_width(word, face)
        gap = 4 * k
        left = round(((width - 16 * k - gap - words) / 2) / k) * k
        s = Sketch(width, height)
        PICTOGRAMS[pictogram](s, _Place(left, 2 * k, k))
        cap = face.getbbox("H", anchor="ls")
        baseline = round((height - cap[1]) / 2)
        return text(s.image(), (left + 16 * k + gap, baseline), word, face, p.INK)

    return draw


# The small square buttons (12 units): zoom out and in, the folder's page,
# the next output mode.
def small_icon(kind):
    def draw(width, height):
        k = width / 12
        s = Sketch(width, height)
        if kind in ("minus", "plus"):
            s.rect(2 * k, 5 * k, 10 * k, 7 * k, radius=0.5 * k, fill=p.DEEP)
        if kind == "plus":
            s.rect(5 * k, 2 * k, 7 * k, 10 * k, radius=0.5 * k, fill=p.DEEP)
        if kind == "gallery":
            for x, y in ((1, 1), (7, 1), (1, 7), (7, 7)):
                s.rect(x * k, y * k, (x + 4) * k, (y + 4) * k, radius=0.8 * k, fill=p.DEEP)
        if kind == "next":
            s.polygon([(2 * k, 2 * k), (8 * k, 6 * k), (2 * k, 10 * k)], fill=p.DEEP)
            s.rect(8 * k, 2 * k, 10 * k, 10 * k, fill=p.DEEP)
        return s.image()

    return draw


# The info button: a white "i" on a water blue disc.
def info_icon(width, height):
    k = width / 16
    s = Sketch(width, height)
    s.circle(8 * k, 8 * k, 7.5 * k, fill=p.DEEP)
    s.circle(8 * k, 4.6 * k, 1.3 * k, fill=p.WHITE)
    s.rect(7 * k, 6.8 * k, 9 * k, 12.3 * k, radius=0.4 * k, fill=p.WHITE)
    return s.image()


# The about emblem: a round view of the sun over water and its broken
# reflection, the product's mark.
def emblem(width, height):
    k = width / 30
    s = Sketch(width, height)
    xs, ys = s.grid()
    inside = s.mask(lambda d, ss: d.ellipse([0.5 * k * ss, 0.5 * k * ss, 29.5 * k * ss - 1,
                                             29.5 * k * ss - 1], fill=255))
    t = np.clip(ys / (16 * k), 0, 1)[..., None]
    sky = np.array(p.SKY_TOP, float) + (np.array(p.SKY_LOW, float) - np.array(p.SKY_TOP, float)) * t
    water = np.broadcast_to(np.array(p.DEEP, float), sky.shape)
    s.paint(np.where((ys < 16 * k)[..., None], sky, water), inside)
    s.circle(15 * k, 11 * k, 4.2 * k, fill=p.SUN)
    for y, half in ((19, 5), (22, 3.6), (25, 2.2)):
        s.line([(15 * k - half * k, y * k), (15 * k + half * k, y * k)], (255, 214, 150),
               width=1.5 * k)
    s.circle(15 * k, 15 * k, 14.5 * k, outline=p.DEEP_DARK, width=1 * k)
    return s.image()


# Cursors, on a 32-unit grid. Over the preview: a fine cross-hair with a gap
# and a centre dot, its hot spot on the dot (a click there sets the effect's
# centre). While panning: a closed, grabbing hand.
def _halo(mask, width_pixels):
    size = 2 * int(round(width_pixels)) + 1
    return mask.filter(ImageFilter.MaxFilter(size))


def crosshair(width, height):
    k = width / 32
    s = Sketch(width, height)
    c = 15.5  # the middle of pixel 15: one-pixel lines stay sharp at 100 %
    bars = [(c, 3, c, c - 3), (c, c + 3, c, 28), (3, c, c - 3, c), (c + 3, c, 28, c), (c, c, c, c)]

    def shape(d, ss):
        for x0, y0, x1, y1 in bars:
            d.rectangle([(x0 - 0.5) * k * ss, (y0 - 0.5) * k * ss, (x1 + 0.5) * k * ss - 1,
                         (y1 + 0.5) * k * ss - 1], fill=255)

    dark = s.mask(shape)
    blank = np.zeros((*dark.size[::-1], 3))
    s.paint(blank + 255, _halo(dark, k * s.ss))
    s.paint(blank + np.array(p.INK, float), dark)
    return s.image()


def grab_hand(width, height):
    k = width / 32
    s = Sketch(width, height)

    def silhouette(d, ss):
        def box(x0, y0, x1, y1, r):
            d.rounded_rectangle([x0 * k * ss, y0 * k * ss, x1 * k * ss - 1, y1 * k * ss - 1],
                                radius=r * k * ss, fill=255)

        box(8.5, 12, 24.5, 27, 4.5)
        for x in (8.5, 12.5, 16.5, 20.5):
            box(x, 8.5, x + 4, 17, 2)
        box(5, 14.5, 11, 21, 2.8)

    body = s.mask(silhouette)
    blank = np.zeros((*body.size[::-1], 3))
    s.paint(blank + np.array(p.INK, float), _halo(body, k * s.ss))
    s.paint(blank + 255, body)
    for x in (12.5, 16.5, 20.5):
        s.line([(x * k, 10 * k), (x * k, 14 * k)], p.INK, width=0.9 * k, round_caps=False)
    return s.image()


# About and info: the landscape and its reflection.
HILLS = [
    (p.HILL_FAR, 0.06, [(0.035, 1.3, 0.4), (0.02, 3.1, 1.9), (0.01, 7.0, 0.2)]),
    (p.HILL_MID, 0.03, [(0.03, 1.7, 2.6), (0.012, 4.3, 0.7), (0.006, 9.0, 1.1)]),
    (p.HILL_NEAR, 0.005, [(0.025, 2.2, 4.1), (0.01, 5.5, 2.2)]),
]


def about(width, height):
    k = width / 521
    hills = [(c, b * 0.8, w) for c, b, w in HILLS]
    image = scene.render(width, height, horizon=0.60, sun=(0.76, 0.16, 0.05), hills=hills)
    image = text(image, (34 * k, 72 * k), "Mirel 2", font("bold", int(round(46 * k))), p.DEEP)
    return text(image, (36 * k, 98 * k), "Water and reflections for your pictures",
                font("regular", int(round(15 * k))), p.INK)


def info(width, height):
    return scene.render(width, height, horizon=0.46, sun=(0.5, 0.13, 0.045), hills=HILLS,
                        glitter=1.2)


def opaque(draw, background=p.DIALOG):
    """An RGBA drawing laid on the dialog grey."""
    return lambda width, height: on_background(draw(width, height), background)
