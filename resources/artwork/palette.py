"""The one palette of the artwork: deep water blue, slate grey, white and a
warm amber for the light, on the dialog's light grey."""

# The dialog fills its client area with this grey; opaque images that sit on
# it (headings, dots, tracks, thumb, light pad, dot preview frame) use it
# around their shapes.
DIALOG = (226, 226, 226)
WHITE = (255, 255, 255)

DEEP = (28, 84, 136)  # deep water blue: the main colour of every shape
DEEP_DARK = (18, 56, 94)  # its outlines
MID = (74, 136, 190)  # lighter water blue: second tone, fills that are not kept
PALE = (206, 224, 239)  # very light blue: pad, empty wells
INK = (40, 52, 66)  # slate, near black: the words on icons
SLATE = (96, 108, 122)  # slate grey: neutral lines
SLATE_LIGHT = (158, 168, 180)  # light slate: quiet outlines
SUN = (236, 160, 52)  # the warm accent: the light, the current dot
SUN_DARK = (186, 112, 24)

# The about and info landscapes.
SKY_TOP = (122, 170, 212)
SKY_LOW = (238, 242, 244)
SUN_GLOW = (252, 222, 176)
SUN_CORE = (255, 244, 222)
HORIZON = (120, 140, 160)
WATER_DEEP = (22, 70, 116)
WATER_LIGHT = (170, 204, 230)
HILL_FAR = (150, 174, 198)
HILL_MID = (104, 132, 162)
HILL_NEAR = (62, 92, 124)
