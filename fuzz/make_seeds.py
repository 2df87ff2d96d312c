#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: fuzz/corpus/<target>/, one folder per
target (the target's name without "_fuzz"). Seeds are tiny and varied: each one shows
the fuzzer one more kind of input its reader accepts, so that it starts deep inside the
reader instead of having to discover a file signature first. Run it after changing a
reader's formats and commit what it writes; the build never runs it.

    python3 fuzz/make_seeds.py                  # every corpus it can make here
    python3 fuzz/make_seeds.py --only image_file

Pictures need ImageMagick's convert and jpegtran (Debian's imagemagick and
libjpeg-turbo-progs). The PiPL and settings seeds
need the default build (build/default: Mirel.8bf, the mirel program) and binutils'
objcopy. Seeds that findings left behind (named "regression-*") are never touched.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
CORPUS = os.path.join(HERE, "corpus")


def run(*args, **kwargs):
    subprocess.run(args, check=True, **kwargs)


def convert_to(convert, options, output):
    """convert with `options` into `output`. ImageMagick sets a predictor tag on every
    float TIFF and complains when the codec has none (uncompressed), yet writes a good
    file; only a missing output is a failure."""
    result = subprocess.run([convert, *options, output], stderr=subprocess.PIPE, text=True)
    path = output.split(":", 1)[1]
    if result.returncode != 0 and not ("Unknown tag 317" in result.stderr and os.path.exists(path)):
        sys.exit(f"convert failed for {path}: {result.stderr.strip()}")


def clear_seeds(folder, prefix=""):
    """Removes the seeds this script wrote earlier, keeping regression inputs."""
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if name.startswith(prefix) and not name.startswith("regression-"):
            os.remove(os.path.join(folder, name))


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


# ---- ICC profiles and EXIF blocks ---------------------------------------------------


def icc_profile(space):
    """The smallest profile the readers take as well formed: a 128-byte header with the
    'acsp' signature and an empty tag table. `space` is b"RGB " or b"GRAY"."""
    size = 132
    header = struct.pack(
        ">I4s4s4s4s4s12s4s4sI4s4s8sI12s4s44s",
        size, b"none", bytes([2, 0x10, 0, 0]), b"mntr", space, b"XYZ ", bytes(12), b"acsp",
        b"APPL", 0, b"none", b"none", bytes(8), 0,
        struct.pack(">iii", 0xF6D6, 0x10000, 0xD32D), b"none", bytes(44))
    assert len(header) == 128
    return header + struct.pack(">I", 0)


def exif_block():
    """An APP1 Exif block with one IFD: orientation, a description and the resolution."""
    entries = []
    data = b""
    base = 8 + 2 + 4 * 12 + 4  # header, count, entries, next-IFD offset
    description = b"Mirel seed\0"
    entries.append(struct.pack("<HHII", 0x010E, 2, len(description), base + len(data)))
    data += description
    entries.append(struct.pack("<HHIHH", 0x0112, 3, 1, 1, 0))
    rational = struct.pack("<II", 72, 1)
    entries.append(struct.pack("<HHII", 0x011A, 5, 1, base + len(data)))
    data += rational
    entries.append(struct.pack("<HHIHH", 0x0128, 3, 1, 2, 0))
    tiff = b"II*\0" + struct.pack("<I", 8) + struct.pack("<H", len(entries)) + b"".join(entries)
    tiff += struct.pack("<I", 0) + data
    return b"Exif\0\0" + tiff


def insert_png_chunk(png, kind, data):
    """The PNG with one more chunk right after its IHDR chunk."""
    import zlib

    assert png[:8] == b"\x89PNG\r\n\x1a\n" and png[12:16] == b"IHDR"
    at = 8 + 8 + 13 + 4
    chunk = struct.pack(">I", len(data)) + kind + data
    return png[:at] + chunk + struct.pack(">I", zlib.crc32(kind + data)) + png[at:]


def insert_jpeg_segment(jpeg, marker, payload):
    """The JPEG with one more segment right after its SOI marker."""
    assert jpeg[:2] == b"\xff\xd8"
    return jpeg[:2] + bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload + jpeg[2:]


# ---- Pictures ----------------------------------------------------------------------

# Each entry: file name and the convert options between the source and the output.
# The sources are small gradients; "alpha" ones fade out across the picture.
PNG_SEEDS = [
    ("grey1.png", "grey", ["-depth", "1", "-define", "png:bit-depth=1", "-define", "png:color-type=0"]),
    ("grey2.png", "grey", ["-depth", "2", "-define", "png:bit-depth=2", "-define", "png:color-type=0"]),
    ("grey4.png", "grey", ["-depth", "4", "-define", "png:bit-depth=4", "-define", "png:color-type=0"]),
    ("grey8.png", "grey", ["-depth", "8", "-define", "png:color-type=0"]),
    ("grey16.png", "grey", ["-depth", "16", "-define", "png:bit-depth=16", "-define", "png:color-type=0"]),
    ("grey8-trns.png", "grey", ["-depth", "8", "-transparent", "black", "-define", "png:color-type=0"]),
    ("greyalpha8.png", "greyalpha", ["-depth", "8", "-define", "png:color-type=4"]),
    ("greyalpha16.png", "greyalpha", ["-depth", "16", "-define", "png:bit-depth=16", "-define", "png:color-type=4"]),
    ("rgb8.png", "rgb", ["-depth", "8", "-define", "png:color-type=2"]),
    ("rgb16.png", "rgb", ["-depth", "16", "-define", "png:color-type=2"]),
    ("rgba8.png", "rgba", ["-depth", "8", "-define", "png:color-type=6"]),
    ("rgba16.png", "rgba", ["-depth", "16", "-define", "png:color-type=6"]),
    ("palette8.png", "rgb", ["-colors", "16", "-define", "png:color-type=3", "-define", "png:bit-depth=8"]),
    ("palette4-trns.png", "rgba", ["-colors", "8", "-define", "png:color-type=3", "-define", "png:bit-depth=4"]),
    ("palette1.png", "grey", ["-colors", "2", "-define", "png:color-type=3", "-define", "png:bit-depth=1"]),
    ("interlaced-rgb8.png", "rgb", ["-depth", "8", "-interlace", "PNG", "-define", "png:color-type=2"]),
    ("interlaced-greyalpha16.png", "greyalpha", ["-depth", "16", "-define", "png:bit-depth=16", "-interlace", "PNG", "-define", "png:color-type=4"]),
    ("interlaced-palette.png", "rgb", ["-colors", "16", "-interlace", "PNG", "-define", "png:color-type=3"]),
]

JPEG_SEEDS = [
    ("baseline.jpg", "rgb", ["-quality", "90", "-sampling-factor", "1x1"]),
    ("baseline-420.jpg", "rgb", ["-quality", "75", "-sampling-factor", "2x2"]),
    ("progressive.jpg", "rgb", ["-quality", "85", "-interlace", "JPEG"]),
    ("grey.jpg", "grey", ["-quality", "90", "-colorspace", "Gray", "-type", "Grayscale"]),
    ("grey-progressive.jpg", "grey", ["-quality", "90", "-colorspace", "Gray", "-type", "Grayscale", "-interlace", "JPEG"]),
    ("optimised.jpg", "rgb", ["-quality", "60", "-define", "jpeg:optimize-coding=true"]),
    ("cmyk.jpg", "rgb", ["-quality", "90", "-colorspace", "CMYK"]),
]

TILES = ["-define", "tiff:tile-geometry=16x16"]
TIFF_SEEDS = [
    ("rgb8-strips.tif", "rgb", ["-depth", "8", "-compress", "None", "-define", "tiff:rows-per-strip=2"]),
    ("rgb8-lzw.tif", "rgb", ["-depth", "8", "-compress", "LZW"]),
    ("rgb8-lzw-predictor.tif", "rgb", ["-depth", "8", "-compress", "LZW", "-define", "tiff:predictor=2"]),
    ("rgb8-deflate.tif", "rgb", ["-depth", "8", "-compress", "Zip"]),
    ("rgb8-packbits.tif", "rgb", ["-depth", "8", "-compress", "RLE"]),
    ("rgb8-jpeg.tif", "rgb", ["-depth", "8", "-compress", "JPEG", "-quality", "80"]),
    ("rgb8-big-endian.tif", "rgb", ["-depth", "8", "-compress", "None", "-endian", "MSB"]),
    ("rgb8-planar.tif", "rgb", ["-depth", "8", "-compress", "None", "-interlace", "Plane"]),
    ("rgb16-planar-lzw.tif", "rgb", ["-depth", "16", "-compress", "LZW", "-interlace", "Plane"]),
    ("rgb16-deflate.tif", "rgb", ["-depth", "16", "-compress", "Zip"]),
    ("rgba8.tif", "rgba", ["-depth", "8", "-compress", "None", "-define", "tiff:alpha=unassociated"]),
    ("rgba8-associated.tif", "rgba", ["-depth", "8", "-compress", "None", "-define", "tiff:alpha=associated"]),
    ("rgba16-tiles.tif", "rgba", ["-depth", "16", "-compress", "Zip"] + TILES),
    ("rgb8-tiles-packbits.tif", "rgb", ["-depth", "8", "-compress", "RLE"] + TILES),
    ("rgb8-tiles-planar.tif", "rgb", ["-depth", "8", "-compress", "LZW", "-interlace", "Plane"] + TILES),
    ("grey8.tif", "grey", ["-depth", "8", "-compress", "None", "-type", "Grayscale"]),
    ("grey16-lzw.tif", "grey", ["-depth", "16", "-compress", "LZW", "-type", "Grayscale"]),
    ("greyalpha8-deflate.tif", "greyalpha", ["-depth", "8", "-compress", "Zip", "-type", "GrayscaleAlpha"]),
    ("grey8-min-is-white.tif", "grey", ["-depth", "8", "-compress", "None", "-type", "Grayscale", "-define", "tiff:photometric=min-is-white"]),
    ("grey4.tif", "grey", ["-depth", "4", "-compress", "None", "-type", "Grayscale"]),
    ("bilevel.tif", "grey", ["-type", "Bilevel", "-compress", "None"]),
    ("bilevel-group4.tif", "grey", ["-type", "Bilevel", "-compress", "Group4"]),
    ("palette8.tif", "rgb", ["-colors", "16", "-type", "Palette", "-compress", "None"]),
    ("palette4-lzw.tif", "rgb", ["-colors", "12", "-depth", "4", "-type", "Palette", "-compress", "LZW"]),
    ("float-rgb.tif", "rgb", ["-depth", "32", "-define", "quantum:format=floating-point", "-compress", "None"]),
    ("float-grey-deflate.tif", "grey", ["-depth", "32", "-define", "quantum:format=floating-point", "-compress", "Zip", "-type", "Grayscale"]),
    ("float-rgba-predictor.tif", "rgba", ["-depth", "32", "-define", "quantum:format=floating-point", "-compress", "Zip", "-define", "tiff:predictor=3"]),
    ("float-rgb-tiles.tif", "rgb", ["-depth", "32", "-define", "quantum:format=floating-point", "-compress", "LZW"] + TILES),
    ("cmyk.tif", "rgb", ["-depth", "8", "-colorspace", "CMYK", "-compress", "None"]),
]


def source_options(kind, width, height):
    """A gradient picture of `kind` (grey, greyalpha, rgb, rgba) as convert options."""
    size = f"{width}x{height}"
    if kind in ("grey", "greyalpha"):
        options = ["-size", size, "gradient:black-white", "-colorspace", "Gray"]
    else:
        options = ["-size", size, "gradient:red-blue", "(", "-size", size, "gradient:yellow-navy",
                   "-rotate", "90", "-resize", f"{size}!", ")", "-compose", "blend",
                   "-define", "compose:args=50", "-composite"]
    if kind.endswith("alpha") or kind == "rgba":
        options += ["(", "-size", f"{height}x{width}", "gradient:white-black", "-rotate", "90",
                    "-resize", f"{size}!", ")", "-alpha", "off", "-compose", "copy_opacity",
                    "-composite"]
    return options


def make_pictures(convert, jpegtran, folder):
    clear_seeds(folder)
    for seeds, prefix in ((PNG_SEEDS, "png:"), (JPEG_SEEDS, "jpg:"), (TIFF_SEEDS, "tiff:")):
        for name, kind, options in seeds:
            tiled = "tiff:tile-geometry=16x16" in options
            width, height = (20, 18) if tiled else (8, 6)
            strip = [] if name == "rgb8.png" else ["-strip"]  # one keeps ImageMagick's chunks
            convert_to(convert, [*source_options(kind, width, height), *strip, *options],
                       prefix + os.path.join(folder, name))

    def read(name):
        with open(os.path.join(folder, name), "rb") as f:
            return f.read()

    # Profiles and EXIF: the profile goes in through convert (iCCP, APP2, the ICC tag),
    # the EXIF block by hand, as ImageMagick keeps only EXIF it read from a file.
    import zlib

    def iccp(space):
        return b"ICC profile\0\0" + zlib.compress(icc_profile(space))

    write(folder, "rgb16-icc.png", insert_png_chunk(read("rgb16.png"), b"iCCP", iccp(b"RGB ")))
    write(folder, "grey8-icc.png", insert_png_chunk(read("grey8.png"), b"iCCP", iccp(b"GRAY")))
    # tRNS on an RGB picture: one colour of it is transparent.
    write(folder, "rgb16-trns.png",
          insert_png_chunk(read("rgb16.png"), b"tRNS", struct.pack(">HHH", 0xFFFF, 0, 0)))
    with tempfile.TemporaryDirectory() as scratch:
        rgb_icc = os.path.join(scratch, "rgb.icc")
        write(scratch, "rgb.icc", icc_profile(b"RGB "))
        run(convert, *source_options("rgb", 8, 6), "-strip", "-profile", rgb_icc,
            "-compress", "LZW", "tiff:" + os.path.join(folder, "rgb8-icc.tif"))
    # Restart markers and arithmetic coding, which ImageMagick does not write.
    baseline_path = os.path.join(folder, "baseline.jpg")
    run(jpegtran, "-restart", "1", "-outfile", os.path.join(folder, "restarts.jpg"), baseline_path)
    run(jpegtran, "-arithmetic", "-outfile", os.path.join(folder, "arithmetic.jpg"), baseline_path)
    run(jpegtran, "-progressive", "-arithmetic", "-restart", "2B", "-outfile",
        os.path.join(folder, "arithmetic-progressive.jpg"), os.path.join(folder, "grey.jpg"))
    baseline = read("baseline.jpg")
    write(folder, "exif.jpg", insert_jpeg_segment(baseline, 0xE1, exif_block()))
    icc = icc_profile(b"RGB ")
    write(folder, "icc.jpg", insert_jpeg_segment(baseline, 0xE2, b"ICC_PROFILE\0\x01\x01" + icc))
    both = insert_jpeg_segment(read("progressive.jpg"), 0xE2, b"ICC_PROFILE\0\x01\x01" + icc)
    write(folder, "exif-icc-progressive.jpg", insert_jpeg_segment(both, 0xE1, exif_block()))
    # A BigTIFF, which libtiff reads through the same calls.
    run(convert, *source_options("rgb", 8, 6), "-strip", "-depth", "8", "-compress", "Zip",
        "tiff64:" + os.path.join(folder, "rgb8-bigtiff.tif"))


# ---- Settings files and their thumbnail blocks ------------------------------------

ITEM_BYTES = 4
ITEMS_BEFORE_JPEG_BLOCK = 71  # in a version-45 file
ITEMS_BEFORE_RAW_BLOCK = 65  # in a version-22 to 39 file

# Each entry: file name, --set arguments, and the picture for the thumbnail (or None).
SETTINGS_SEEDS = [
    ("cli-defaults.q8r", [], None),
    ("cli-screen-style2.q8r", ["glue=screen", "water style=2", "spin=45.5"], None),
    ("cli-extremes.q8r", ["horizon float=-3000", "random seed=-1", "light Z=1e9",
                          "X center=0.2"], None),
    ("cli-thumbnail-rgb.q8r", ["glue=difference"], "rgb8.png"),
    ("cli-thumbnail-grey.q8r", ["horizon float=30", "blur float=2.5"], "grey8.png"),
]


def make_settings(build, pictures, folder):
    mirel = os.path.join(build, "mirel")
    if not os.access(mirel, os.X_OK):
        sys.exit(f"settings seeds need the mirel program of the default build ({mirel})")
    clear_seeds(folder, "cli-")
    for name, settings, picture in SETTINGS_SEEDS:
        command = [mirel, "save-settings", os.path.join(folder, name)]
        for setting in settings:
            command += ["--set", setting]
        if picture:
            command += ["--from", os.path.join(pictures, picture)]
        run(*command, stdout=subprocess.DEVNULL)


def make_thumbnails(settings, folder):
    """The thumbnail target's inputs: a byte choosing the block, then a settings file from
    that block on (the target puts the fixed items before it)."""
    clear_seeds(folder)
    for name in sorted(os.listdir(settings)):
        with open(os.path.join(settings, name), "rb") as f:
            data = f.read()
        if len(data) < ITEM_BYTES:
            continue
        version = struct.unpack(">i", data[:4])[0]
        stem = os.path.splitext(name)[0]
        if version >= 40 and len(data) > ITEMS_BEFORE_JPEG_BLOCK * ITEM_BYTES:
            write(folder, f"jpeg-{stem}", b"\0" + data[ITEMS_BEFORE_JPEG_BLOCK * ITEM_BYTES:])
        elif 22 <= version < 40 and len(data) > ITEMS_BEFORE_RAW_BLOCK * ITEM_BYTES:
            write(folder, f"raw-{stem}", b"\1" + data[ITEMS_BEFORE_RAW_BLOCK * ITEM_BYTES:])
    # A raw thumbnail of 4 x 3 pixels, and a JPEG block too large for the buffer.
    pixels = bytes(range(36))
    write(folder, "raw-small", b"\1" + struct.pack(">iii", 1, 4, 3) + pixels + bytes(12))
    write(folder, "jpeg-oversized", b"\0" + struct.pack(">iiii", 1, 128, 128, 49153) + bytes(64))


# ---- Plug-in files -------------------------------------------------------------------


def pe_library(resources):
    """A tiny Windows library (PE32+) holding `resources`, a list of (type name, id,
    bytes), in a resource section as the resource compiler lays it out."""
    section_address, raw_at = 0x1000, 0x200
    # Directories: the root names each type; each type holds one id with one language.
    count = len(resources)
    root = struct.pack("<IIHHHH", 0, 0, 0, 0, count, 0)
    after_root = 16 + 8 * count
    type_dirs = after_root
    name_dirs = type_dirs + 24 * count
    data_entries = name_dirs + 24 * count
    strings = data_entries + 16 * count
    string_bytes = b""
    string_at = []
    for type_name, _, _ in resources:
        string_at.append(strings + len(string_bytes))
        string_bytes += struct.pack("<H", len(type_name)) + type_name.encode("utf-16-le")
    data_at = (strings + len(string_bytes) + 3) // 4 * 4
    body = b""
    entries, types, names, datas = b"", b"", b"", b""
    offset = data_at
    for i, (_, number, data) in enumerate(resources):
        entries += struct.pack("<II", 0x80000000 | string_at[i], 0x80000000 | (type_dirs + 24 * i))
        types += struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1)
        types += struct.pack("<II", number, 0x80000000 | (name_dirs + 24 * i))
        names += struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1)
        names += struct.pack("<II", 0x409, data_entries + 16 * i)
        datas += struct.pack("<IIII", section_address + offset, len(data), 0, 0)
        padded = data + bytes((-len(data)) % 4)
        body += padded
        offset += len(padded)
    section = root + entries + types + names + datas + string_bytes
    section += bytes(data_at - len(section)) + body
    section += bytes((-len(section)) % 16)
    header = bytearray(raw_at)
    header[0:2] = b"MZ"
    struct.pack_into("<I", header, 0x3C, 0x40)
    header[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", header, 0x44, 0x8664, 1, 0, 0, 0, 240, 0x2022)
    optional = 0x58
    struct.pack_into("<H", header, optional, 0x20B)
    struct.pack_into("<I", header, optional + 108, 16)
    struct.pack_into("<II", header, optional + 112 + 16, section_address, len(section))
    table = optional + 240
    header[table:table + 5] = b".rsrc"
    struct.pack_into("<IIII", header, table + 8, len(section), section_address, len(section),
                     raw_at)
    return bytes(header) + section


def make_plugin_files(build, folder):
    """The PiPL and terminology of the real plug-in, alone and in a tiny ELF file and a
    tiny Windows library."""
    plugin = os.path.join(build, "Mirel.8bf")
    if not os.path.exists(plugin):
        sys.exit(f"plug-in seeds need the default build's plug-in ({plugin})")
    clear_seeds(folder)
    with tempfile.TemporaryDirectory() as scratch:
        sections = {}
        for section in (".pipl", ".aete"):
            out = os.path.join(scratch, section[1:] + ".bin")
            run("objcopy", "-O", "binary", f"--only-section={section}", plugin, out)
            with open(out, "rb") as f:
                sections[section] = f.read()
            shutil.copy(out, os.path.join(folder, section[1:] + ".bin"))
        empty = os.path.join(scratch, "empty.o")
        run("cc", "-c", "-x", "c", "/dev/null", "-o", empty)
        for name, wanted in (("filter.8bf", (".pipl", ".aete")), ("no-terminology.8bf", (".pipl",))):
            adds = []
            for section in wanted:
                adds += ["--add-section", f"{section}={os.path.join(scratch, section[1:] + '.bin')}"]
            run("objcopy", "--strip-all", "--remove-section=.comment",
                "--remove-section=.note.GNU-stack", *adds, empty, os.path.join(folder, name))
        write(folder, "windows.8bf",
              pe_library([("PIPL", 16000, sections[".pipl"]), ("AETE", 16000, sections[".aete"])]))


# ---- Descriptors -----------------------------------------------------------------------


def four_cc(text):
    return struct.unpack(">I", text.encode("latin-1"))[0]


def descriptor(items):
    """The bytes of a descriptor handle: tag, count, then key, type and value, little-endian."""
    out = struct.pack("<II", four_cc("MDsc"), len(items))
    for key, kind, value in items:
        out += struct.pack("<II", four_cc(key), four_cc(kind))
        if kind == "long":
            out += struct.pack("<i", value)
        elif kind == "doub":
            out += struct.pack("<d", value)
        elif kind == "UntF":
            out += struct.pack("<Id", four_cc(value[0]), value[1])
        elif kind == "bool":
            out += struct.pack("<B", value)
        elif kind == "enum":
            out += struct.pack("<II", four_cc(value[0]), four_cc(value[1]))
        elif kind == "type":
            out += struct.pack("<I", four_cc(value))
        elif kind == "TEXT":
            out += struct.pack("<I", len(value)) + value
    return out


def make_descriptors(folder):
    clear_seeds(folder)
    # What the filter writes when it finishes: the version, then its parameters.
    written = [("Vers", "long", 45)]
    written += [(f"{i:04d}", "long", v) for i, v in enumerate(
        (3000, 12000, 20000, 40, 50, 57, 50, 30, 0, 40, 0, 5, 50), start=1)]
    written += [("GLUE", "enum", ("GLty", "GL10")), ("0015", "long", 100), ("0016", "long", 7)]
    written += [(f"{i:04d}", "doub", v) for i, v in enumerate(
        (0.5, 0.2, 30.0, 0.0, 12.5), start=17)]
    written += [("0022", "long", 2), ("0023", "doub", 0.3), ("0024", "doub", -0.5),
                ("0025", "doub", 1.0)]
    written += [(f"{i:04d}", "long", 65535) for i in (26, 27, 28)]
    written += [(f"{i:04d}", "doub", 10.0 * i) for i in range(29, 38)]
    write(folder, "filter-written", descriptor(written))
    write(folder, "empty", descriptor([]))
    write(folder, "every-type", descriptor([
        ("0001", "long", -7), ("0019", "doub", float("inf")), ("0020", "UntF", ("#Pxl", 3.5)),
        ("flag", "bool", 1), ("GLUE", "enum", ("GLty", "<NO>")), ("klas", "type", "Lyr "),
        ("name", "TEXT", "Sea 1 \u00e9\u6d77".encode("utf-8")), ("0005", "long", 1 << 31 - 1)]))
    write(folder, "duplicate-keys", descriptor([
        ("0004", "long", 1), ("0004", "doub", 2.0), ("GLUE", "enum", ("GLty", "GL99"))]))


# ---- Gallery names ---------------------------------------------------------------------

NAMES = {
    "plain": b"Sea 1",
    "separators": b"a:b/c\\d",
    "latin1-utf8": "Caf\u00e9 \u00bd \u00ff".encode("utf-8"),
    "latin1-bytes": "Caf\u00e9 \u00bd".encode("latin-1"),
    "japanese": "\u6d77\u306e\u5199\u771f".encode("utf-8"),
    "emoji": "wave \U0001f30a".encode("utf-8"),
    "markup": b'<b>"Tom" & {Jerry}</b>',
    "controls": bytes(range(0, 32)) + b"\x7f",
    "c1-controls": bytes(range(0x80, 0xa0)),
    "malformed-utf8": b"\xc0\xaf \xe0\x80\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xf8\x88\x80\x80\x80 \xe6\xb5",
    "dots": b"..",
    "dot-stem": b"\x8e.jpg",
}


def make_names(folder):
    clear_seeds(folder)
    for name, text in NAMES.items():
        write(folder, name, text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--only", help="one corpus (image_file, settings_file, ...)")
    parser.add_argument("--convert", default="/usr/bin/convert", help="ImageMagick's convert")
    parser.add_argument("--jpegtran", default="jpegtran", help="libjpeg-turbo-progs' jpegtran")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "default"),
                        help="the default build, for the PiPL and settings seeds")
    args = parser.parse_args()
    pictures = os.path.join(CORPUS, "image_file")
    settings = os.path.join(CORPUS, "settings_file")
    makers = {
        "image_file": lambda folder: make_pictures(args.convert, args.jpegtran, folder),
        "settings_file": lambda folder: make_settings(args.build, pictures, folder),
        "settings_thumbnail": lambda folder: make_thumbnails(settings, folder),
        "plugin_file": lambda folder: make_plugin_files(args.build, folder),
        "descriptor": make_descriptors,
        "html_name": make_names,
    }
    for name, make in makers.items():
        if args.only in (None, name):
            make(os.path.join(CORPUS, name))
            print(f"{name}: {len(os.listdir(os.path.join(CORPUS, name)))} seeds")


if __name__ == "__main__":
    sys.exit(main())
