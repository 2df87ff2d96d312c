"""Vector drawing for the artwork: shapes are given in the output image's
pixels (fractions allowed), drawn on a canvas four times larger and reduced by
area averaging, so every edge is smoothly anti-aliased. Text is drawn at the
final size, where the font's hinting keeps small lettering crisp."""

import os

import numpy as np
from PIL import Image, ImageDraw, ImageFont

SUPERSAMPLE = 4

FONT_FOLDERS = ["/usr/share/fonts/truetype/liberation2", "/usr/share/fonts/truetype/liberation"]
# Liberation Sans has Arial's metrics, the face the dialog draws its labels in.
FONT_FILES = {"regular": "LiberationSans-Regular.ttf", "bold": "LiberationSans-Bold.ttf"}


def font(weight, pixels):
    for folder in FONT_FOLDERS:
        path = os.path.join(folder, FONT_FILES[weight])
        if os.path.exists(path):
            return ImageFont.truetype(path, pixels)
    raise SystemExit("Liberation Sans not found: install the Debian package fonts-liberation2")


def rgba(color, alpha=1.0):
    if len(color) == 4:
        return tuple(color)
    return (color[0], color[1], color[2], int(round(255 * alpha)))


class Sketch:
    """An RGBA picture under construction. Every shape is drawn on its own
    layer and laid over what is there, so translucent colours blend."""

    def __init__(self, width, height, background=None):
        self.width, self.height = width, height
        self.ss = SUPERSAMPLE
        fill = rgba(background) if background is not None else (0, 0, 0, 0)
        self.canvas = Image.new("RGBA", (width * self.ss, height * self.ss), fill)

    def _scaled(self, values):
        return [v * self.ss for v in values]

    def _layer(self):
        layer = Image.new("RGBA", self.canvas.size, (0, 0, 0, 0))
        return layer, ImageDraw.Draw(layer)

    def _lay(self, layer):
        self.canvas = Image.alpha_composite(self.canvas, layer)

    def mask(self, draw_shape):
        """An L-mode mask (at the working size) of whatever draw_shape(draw, s)
        draws in white; s converts output pixels to working pixels."""
        mask = Image.new("L", self.canvas.size, 0)
        draw_shape(ImageDraw.Draw(mask), self.ss)
        return mask

    def ellipse(self, cx, cy, rx, ry=None, fill=None, outline=None, width=1.0):
        ry = rx if ry is None else ry
        layer, draw = self._layer()
        box = self._scaled([cx - rx, cy - ry, cx + rx, cy + ry])
        box[2] -= 1  # Pillow's boxes include their last pixel
        box[3] -= 1
        draw.ellipse(box, fill=rgba(fill) if fill else None,
                     outline=rgba(outline) if outline else None,
                     width=max(1, int(round(width * self.ss))))
        self._lay(layer)

    def circle(self, cx, cy, r, **kwargs):
        self.ellipse(cx, cy, r, r, **kwargs)

    def rect(self, x0, y0, x1, y1, radius=0.0, fill=None, outline=None, width=1.0):
        layer, draw = self._layer()
        box = self._scaled([x0, y0, x1, y1])
        box[2] -= 1  # Pillow's boxes include their last pixel
        box[3] -= 1
        draw.rounded_rectangle(box, radius=radius * self.ss, fill=rgba(fill) if fill else None,
                               outline=rgba(outline) if outline else None,
                               width=max(1, int(round(width * self.ss))))
        self._lay(layer)

    def polygon(self, points, fill):
        layer, draw = self._layer()
        draw.polygon([tuple(self._scaled(p)) for p in points], fill=rgba(fill))
        self._lay(layer)

    def line(self, points, color, width=1.0, round_caps=True):
        layer, draw = self._layer()
        scaled = [tuple(self._scaled(p)) for p in points]
        w = width * self.ss
        draw.line(scaled, fill=rgba(color), width=max(1, int(round(w))), joint="curve")
        if round_caps:
            for x, y in (scaled[0], scaled[-1]):
                draw.ellipse([x - w / 2, y - w / 2, x + w / 2, y + w / 2], fill=rgba(color))
        self._lay(layer)

    def arc(self, cx, cy, r, start, end, color, width=1.0):
        """An arc of the circle, angles in degrees clockwise from 3 o'clock."""
        steps = max(8, int(abs(end - start) / 4))
        angles = np.radians(np.linspace(start, end, steps))
        points = [(cx + r * np.cos(a), cy + r * np.sin(a)) for a in angles]
        self.line(points, color, width)

    def paint(self, colors, mask):
        """Lays an RGB or RGBA numpy array (at the working size, values 0..255)
        over the canvas through an L-mode mask."""
        h, w = mask.size[1], mask.size[0]
        if colors.shape[2] == 3:
            colors = np.dstack([colors, np.full((h, w), 255.0)])
        colors = colors.astype(np.float64)
        colors[..., 3] *= np.asarray(mask, dtype=np.float64) / 255.0
        layer = Image.fromarray(np.clip(np.round(colors), 0, 255).astype(np.uint8), "RGBA")
        self._lay(layer)

    def grid(self):
        """Working-size coordinates of every pixel centre, in output pixels."""
        ys, xs = np.mgrid[0:self.canvas.size[1], 0:self.canvas.size[0]]
        return (xs + 0.5) / self.ss, (ys + 0.5) / self.ss

    def image(self):
        return self.canvas.resize((self.width, self.height), Image.Resampling.BOX)


def text(image, xy, words, face, color, anchor="ls"):
    """Text at the final size on an RGB or RGBA image; on RGBA the letters'
    edges get partial alpha, not a blend with a background colour."""
    layer = Image.new("RGBA", image.size, (0, 0, 0, 0))
    ImageDraw.Draw(layer).text(xy, words, font=face, fill=rgba(color), anchor=anchor)
    if image.mode == "RGBA":
        return Image.alpha_composite(image, layer)
    return Image.alpha_composite(image.convert("RGBA"), layer).convert(image.mode)


def text_width(words, face):
    left, _, right, _ = face.getbbox(words, anchor="ls")
    return right - left


def on_background(image, background):
    """An RGBA picture laid on an opaque colour, as the dialog shows it."""
    base = Image.new("RGBA", image.size, rgba(background))
    return Image.alpha_composite(base, image).convert("RGB")
