"""The stylised landscape of the about and info images: a sky with a low sun,
layered hills, and below the horizon their reflection in rippled water, seen
in perspective (ripples grow toward the viewer, the surface reflects most near
the horizon)."""

import numpy as np
from PIL import Image

import palette


def _smoothstep(edge0, edge1, x):
    t = np.clip((x - edge0) / (edge1 - edge0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


def _mix(a, b, t):
    t = t[..., None] if np.ndim(t) else t
    return a + (b - a) * t


def _color(rgb):
    return np.array(rgb, dtype=np.float64)


def _sample(image, xs, ys):
    """Bilinear lookup of an (h, w, 3) array at fractional pixel positions."""
    h, w = image.shape[:2]
    xs = np.clip(xs - 0.5, 0, w - 1.001)
    ys = np.clip(ys - 0.5, 0, h - 1.001)
    x0, y0 = np.floor(xs).astype(int), np.floor(ys).astype(int)
    fx, fy = (xs - x0)[..., None], (ys - y0)[..., None]
    top = image[y0, x0] * (1 - fx) + image[y0, x0 + 1] * fx
    bottom = image[y0 + 1, x0] * (1 - fx) + image[y0 + 1, x0 + 1] * fx
    return top * (1 - fy) + bottom * fy


def _ridge(xs, width, base, waves):
    """Height of a hill line above the horizon, in pixels, for every x."""
    u = xs / width
    height = np.full_like(u, base)
    for amplitude, frequency, phase in waves:
        height += amplitude * np.sin(2 * np.pi * frequency * u + phase)
    return height


def render(width, height, horizon, sun, hills, glitter=1.0, oversample=2):
    """An RGB image. horizon: fraction of the height; sun: (x, y above the
    horizon, radius), fractions of the height except x (of the width); hills:
    far to near, each (colour, base, [(amplitude, frequency, phase)]) with
    heights as fractions of the height."""
    W, H = width * oversample, height * oversample
    ys, xs = np.mgrid[0:H, 0:W].astype(np.float64) + 0.5
    yh = horizon * H
    sun_x, sun_y, sun_r = sun[0] * W, yh - sun[1] * H, sun[2] * H

    # Sky: deep blue at the top, pale and warm near the horizon and the sun.
    t = np.clip(ys / yh, 0, 1) ** 1.4
    sky = _mix(_color(palette.SKY_TOP), _color(palette.SKY_LOW), t)
    distance = np.hypot(xs - sun_x, (ys - sun_y) * 1.6)
    glow = np.exp(-(distance / (0.55 * H)) ** 2)
    sky = _mix(sky, _color(palette.SUN_GLOW), 0.55 * glow)
    disc = 1 - _smoothstep(sun_r - 1.5, sun_r + 1.5, np.hypot(xs - sun_x, ys - sun_y))
    sky = _mix(sky, _color(palette.SUN_CORE), disc)

    # Hills: far ones pale with haze, near ones darker; each edge anti-aliased.
    for color, base, waves in hills:
        top = yh - _ridge(xs[0], W, base * H, [(a * H, f, p) for a, f, p in waves])
        inside = _smoothstep(top - 0.8, top + 0.8, ys)
        haze = np.clip((ys - top) / (0.12 * H), 0, 1) * 0.18
        shade = _mix(_color(color)[None, None, :] * np.ones_like(sky), _color(palette.SKY_LOW),
                     haze)
        sky = _mix(sky, shade, inside)

    # Water: every row below the horizon reflects the row as far above it.
    # Ripples are bands across the view, crowding toward the horizon as
    # perspective does; each band shifts the reflection sideways and tilts it.
    depth = np.maximum(ys - yh, 0.0)
    nearness = depth / max(H - yh, 1)
    distance = 1.0 / (nearness + 0.06)
    phase = 2 * np.pi * 5.5 * distance + 0.8 * np.sin(xs / W * 5.0 + distance * 0.4)
    wave = np.sin(phase)
    # Bands finer than a few pixels would only alias: fade them out.
    spacing = 2 * np.pi / np.maximum(2 * np.pi * 5.5 / (nearness + 0.06) ** 2 / max(H - yh, 1),
                                     1e-9)
    visible = _smoothstep(3.0, 10.0, spacing)
    shift = 0.010 * W * nearness * wave * visible
    source_y = yh - depth + 0.05 * depth * np.cos(phase) * visible
    reflection = _sample(sky, xs + shift, np.clip(source_y, 0, yh - 1)) * 0.9
    fresnel = 0.15 + 0.6 * nearness ** 0.9  # the nearer, the more of the water's own colour
    water = _mix(reflection, _color(palette.WATER_DEEP), fresnel)
    # The side of each band facing the sky is lighter, the other darker.
    water = _mix(water, _color(palette.WATER_LIGHT),
                 0.22 * _smoothstep(0.6, 1.0, wave) * visible * (0.3 + 0.7 * nearness))
    water = _mix(water, _color(palette.WATER_DEEP) * 0.8,
                 0.18 * _smoothstep(-0.6, -1.0, wave) * visible * nearness)
    # The sun's path: a warm glow under the sun and short glints on the
    # bands, longer and fewer toward the viewer, fading as the path widens.
    path_width = (0.025 + 0.11 * nearness) * W
    path = np.exp(-((xs - sun_x) / path_width) ** 2)
    water = _mix(water, _color(palette.SUN_GLOW), 0.35 * path * np.exp(-4.0 * nearness))
    # Each band gets its own scatter of glints: two sines of unrelated
    # lengths, shifted by the band's number, leave irregular short dashes.
    band = np.floor(phase / (2 * np.pi))
    offset = np.modf(np.sin(band * 12.9898) * 43758.5453)[0] * 2 * np.pi
    dash_length = (0.008 + 0.028 * nearness) * W
    scatter = np.sin(2 * np.pi * xs / dash_length + offset) * np.sin(
        2 * np.pi * xs / (dash_length * 2.7) + 3.1 * offset)
    crest = _smoothstep(0.88, 0.99, wave)
    strength = path * np.exp(-1.8 * nearness) * glitter
    glints = crest * _smoothstep(0.15, 0.45, scatter * strength)
    water = _mix(water, _color(palette.SUN_CORE), np.clip(glints, 0, 1))

    below = _smoothstep(yh - 0.5, yh + 0.5, ys)
    picture = _mix(sky, water, below)
    # A faint line where sky meets water keeps the horizon readable.
    line = np.exp(-((ys - yh) / (0.9 * oversample)) ** 2) * 0.25
    picture = _mix(picture, _color(palette.HORIZON), line)

    image = Image.fromarray(np.clip(np.round(picture), 0, 255).astype(np.uint8), "RGB")
    return image.resize((width, height), Image.Resampling.BOX)
