"""Writers for the resource file formats the dialogs read: baseline JPEG,
24-bit bottom-up Windows bitmaps, and Windows icon and cursor files with 32-bit
images (alpha plus the 1-bit AND mask older readers use)."""

import io
import struct

from PIL import Image

# 96 dots per inch in pixels per metre, what the system stamps on its bitmaps.
PIXELS_PER_METRE = 3780


def jpeg_bytes(image, quality=95):
    """Baseline (sequential) JPEG with full-resolution colour: the small images
    (dots, headings) would smear their edges with subsampled chroma."""
    out = io.BytesIO()
    image.convert("RGB").save(out, "JPEG", quality=quality, subsampling=0,
                              progressive=False, optimize=False)
    return out.getvalue()


def bmp_bytes(image):
    """A BITMAPFILEHEADER + BITMAPINFOHEADER file, 24 bits a pixel, rows
    bottom-up and padded to four bytes, no compression."""
    rgb = image.convert("RGB")
    width, height = rgb.size
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    raw = rgb.tobytes("raw", "BGR")
    for y in range(height - 1, -1, -1):
        row = raw[y * width * 3:(y + 1) * width * 3]
        pixels += row + bytes(stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels),
                       PIXELS_PER_METRE, PIXELS_PER_METRE, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + bytes(pixels)


def _icon_image_bytes(image):
    """One icon or cursor image: BITMAPINFOHEADER with the doubled height the
    format asks for, the BGRA rows bottom-up, then the AND mask (1 = show what
    is behind), rows padded to 32 bits."""
    rgba = image.convert("RGBA")
    width, height = rgba.size
    raw = rgba.tobytes("raw", "BGRA")
    xor = bytearray()
    for y in range(height - 1, -1, -1):
        xor += raw[y * width * 4:(y + 1) * width * 4]
    mask_stride = ((width + 31) // 32) * 4
    alpha = rgba.getchannel("A").tobytes()
    mask = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(width):
            if alpha[y * width + x] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, len(xor) + len(mask),
                       0, 0, 0, 0)
    return info + bytes(xor) + bytes(mask)


def _icon_file(kind, images, hot_spots=None):
    count = len(images)
    header = struct.pack("<HHH", 0, kind, count)
    entries = b""
    data = b""
    offset = 6 + 16 * count
    for index, image in enumerate(images):
        body = _icon_image_bytes(image)
        width, height = image.size
        if kind == 2:
            planes, bits = hot_spots[index]  # a cursor keeps its hot spot here
        else:
            planes, bits = 1, 32
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, planes, bits,
                               len(body), offset + len(data))
        data += body
    return header + entries + data


def ico_bytes(images):
    """An icon file holding each image of the list (one size each)."""
    return _icon_file(1, images)


def cur_bytes(images, hot_spots):
    """A cursor file: each image with its hot spot (x, y) in its own pixels."""
    return _icon_file(2, images, hot_spots)


def read_icon_images(data):
    """The images of an icon or cursor file as (RGBA image, hot spot or None),
    for the preview; the inverse of the writers above."""
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    result = []
    for index in range(count):
        width, height, _, _, planes, bits, size, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * index)
        header_size, bmp_width, bmp_height = struct.unpack_from("<Iii", data, offset)
        width, height = bmp_width, bmp_height // 2
        pixels = data[offset + header_size:offset + header_size + width * height * 4]
        image = Image.frombytes("RGBA", (width, height), pixels, "raw", "BGRA", 0, -1)
        result.append((image, (planes, bits) if kind == 2 else None))
    return result
