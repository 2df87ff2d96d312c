// TIFF reading and writing through libtiff: grey, RGB and palette pictures
// of 1 to 16 bits and 32-bit float, in strips or tiles, chunky or planar.
//
// libtiff reports errors through handlers and return values (no longjmp);
// the handlers are set per file, so concurrent reads never share a message.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "apps/mirel/image_codecs.h"
#include "platform/os/os.h"

namespace mirel::host_app::codecs {

namespace {

// libtiff refuses single allocations above this (its strip and tile buffers).
constexpr tmsize_t kMaxLibraryAllocation = tmsize_t{1} << 30;
// A band (one strip or one row of tiles) decodes into a buffer of its own.
// Up to this size it is allocated on trust; beyond it the stored bytes must
// be able to produce it, so that a header cannot make us allocate gigabytes
// for a strip the file does not hold.
constexpr std::int64_t kTrustedBandBytes = std::int64_t{64} << 20;
constexpr std::int64_t kMaxCompressionRatio = 4096;
// Classic TIFF offsets are 32-bit; leave room for tags and strip tables.
constexpr std::int64_t kClassicTiffLimit = std::int64_t{3900} << 20;

struct TiffMessages {
    char error[256] = {};
};

int onTiffError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto* messages = static_cast<TiffMessages*>(user);
    // The first error names the cause; later ones are consequences.
    if (messages->error[0] == '\0') {
        std::vsnprintf(messages->error, sizeof messages->error, format, args);
    }
    (void)module;
    return 1;
}

int onTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::unique_ptr<TIFFOpenOptions, OptionsFree> makeOptions(TiffMessages& messages) {
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (options) {
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibraryAllocation);
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onTiffError, &messages);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onTiffWarning, nullptr);
    }
    return options;
}

// libtiff's file access over a descriptor of ours, with a position of its own:
// the same on every system (libtiff's own descriptor access takes a system
// handle on Windows) and independent of whoever else reads the descriptor.
struct TiffStream {
    int fd = -1;
    std::uint64_t position = 0;
    std::int64_t readSize =
        -1;  // a file being read: its size, so that reads past it come back short
};

tmsize_t tiffRead(thandle_t handle, void* data, tmsize_t size) {
    auto* stream = static_cast<TiffStream*>(handle);
    if (size <= 0) return 0;
    // Reads past the end come back short, as from a file.
    const std::int64_t fileSize =
        stream->readSize >= 0 ? stream->readSize : os::descriptorSize(stream->fd);
    if (fileSize < 0 || stream->position >= std::uint64_t(fileSize)) return 0;
    const std::uint64_t count =
        std::min<std::uint64_t>(std::uint64_t(size), std::uint64_t(fileSize) - stream->position);
    if (!os::readDescriptorAt(stream->fd, data, std::size_t(count), stream->position)) return -1;
    stream->position += count;
    return tmsize_t(count);
}

tmsize_t tiffWrite(thandle_t handle, void* data, tmsize_t size) {
    auto* stream = static_cast<TiffStream*>(handle);
    if (size <= 0) return 0;
    if (!os::writeDescriptorAt(stream->fd, data, std::size_t(size), stream->position)) return -1;
    stream->position += std::uint64_t(size);
    return size;
}

toff_t tiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* stream = static_cast<TiffStream*>(handle);
    std::int64_t base = 0;
    if (whence == SEEK_CUR) base = std::int64_t(stream->position);
    if (whence == SEEK_END) base = os::descriptorSize(stream->fd);
    const std::int64_t to = base + std::int64_t(offset);
    if (base < 0 || to < 0) return toff_t(-1);
    stream->position = std::uint64_t(to);
    return toff_t(to);
}

int tiffClose(thandle_t) {
    return 0;  // the descriptor belongs to the caller
}

toff_t tiffSize(thandle_t handle) {
    return toff_t(
        std::max<std::int64_t>(os::descriptorSize(static_cast<TiffStream*>(handle)->fd), 0));
}

int tiffMap(thandle_t, void**, toff_t*) {
    return 0;  // no mapping: every read goes through tiffRead
}

void tiffUnmap(thandle_t, void*, toff_t) {}

TIFF* openTiffStream(TiffStream& stream, const std::string& name, const char* mode,
                     TIFFOpenOptions* options) {
    return TIFFClientOpenExt(name.c_str(), mode, &stream, tiffRead, tiffWrite, tiffSeek, tiffClose,
                             tiffSize, tiffMap, tiffUnmap, options);
}

// How the samples of one file row become one picture row.
struct TiffLayout {
    std::uint32_t width = 0, height = 0;
    int samplesPerPixel = 0;  // in the file
    int bitsPerSample = 0;    // in the file
    bool planar = false;      // one plane per sample
    bool palette = false;
    bool minIsWhite = false;
    bool premultiplied = false;
    bool isFloat = false;
    int colourSamples = 0;                        // in the file: 1 grey or palette index, 3 RGB
    std::vector<std::uint16_t> red, green, blue;  // palette, in the picture's scale
};

std::string describe(const TiffMessages& messages, const char* fallback) {
    return messages.error[0] != '\0' ? std::string(messages.error) : std::string(fallback);
}

bool examine(TIFF* tif, TiffLayout& layout, std::string& error) {
    std::uint16_t spp = 1, bps = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    std::uint16_t photometric = 0, compression = COMPRESSION_NONE;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layout.width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layout.height)) {
        error = "TIFF without a picture size";
        return false;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) {
        photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    layout.samplesPerPixel = spp;
    layout.bitsPerSample = bps;
    layout.planar = planar == PLANARCONFIG_SEPARATE && spp > 1;

    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
            layout.minIsWhite = true;
            layout.colourSamples = 1;
            break;
        case PHOTOMETRIC_MINISBLACK:
            layout.colourSamples = 1;
            break;
        case PHOTOMETRIC_RGB:
            layout.colourSamples = 3;
            break;
        case PHOTOMETRIC_PALETTE:
            layout.palette = true;
            layout.colourSamples = 1;
            break;
        case PHOTOMETRIC_YCBCR:
            // JPEG-compressed TIFFs store YCbCr; libjpeg hands back RGB.
            if (compression != COMPRESSION_JPEG) {
                error = "YCbCr TIFF pictures are not supported; save as RGB";
                return false;
            }
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            layout.colourSamples = 3;
            break;
        case PHOTOMETRIC_SEPARATED:
            error = "CMYK TIFF pictures are not supported; convert to RGB first";
            return false;
        case PHOTOMETRIC_CIELAB:
        case PHOTOMETRIC_ICCLAB:
        case PHOTOMETRIC_ITULAB:
            error = "Lab TIFF pictures are not supported; convert to RGB first";
            return false;
        default:
            error =
                "unsupported TIFF colour model (photometric " + std::to_string(photometric) + ")";
            return false;
    }

    const int extras = layout.samplesPerPixel - layout.colourSamples;
    if (extras < 0) {
        error = "TIFF has fewer samples per pixel than its colour model needs";
        return false;
    }
    if (extras > 1 || (extras == 1 && layout.palette)) {
        error = "TIFF pictures with extra channels besides one alpha are not supported";
        return false;
    }
    if (extras == 1) {
        std::uint16_t count = 0;
        std::uint16_t* kinds = nullptr;
        // An unspecified extra sample next to the colour is alpha in practice.
        if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) && count >= 1 &&
            kinds != nullptr) {
            layout.premultiplied = kinds[0] == EXTRASAMPLE_ASSOCALPHA;
        }
    }

    if (format == SAMPLEFORMAT_IEEEFP) {
        if (bps != 32 || layout.palette || layout.minIsWhite) {
            error =
                "only 32-bit float TIFF samples are supported, not " + std::to_string(bps) + "-bit";
            return false;
        }
        layout.isFloat = true;
    } else if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID) {
        error = "signed or complex TIFF samples are not supported";
        return false;
    } else if (bps != 8 && bps != 16) {
        const bool lowGrey = (bps == 1 || bps == 2 || bps == 4) && spp == 1;
        if (!lowGrey) {
            error = std::to_string(bps) + "-bit TIFF samples are not supported";
            return false;
        }
    }

    if (layout.palette) {
        std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || r == nullptr) {
            error = "palette TIFF without a colour map";
            return false;
        }
        const std::size_t entries = std::size_t{1} << bps;
        layout.red.assign(r, r + entries);
        layout.green.assign(g, g + entries);
        layout.blue.assign(b, b + entries);
    }
    return true;
}

// Palette entries are 16-bit; some writers put 8-bit values there. When every
// entry is a byte value scaled by 257 the picture is 8-bit without loss.
int preparePalette(TiffLayout& layout) {
    auto all = [&](auto test) {
        for (const auto* table : {&layout.red, &layout.green, &layout.blue}) {
            for (std::uint16_t v : *table) {
                if (!test(v)) return false;
            }
        }
        return true;
    };
    if (all([](std::uint16_t v) { return v < 256; })) {
        for (auto* table : {&layout.red, &layout.green, &layout.blue}) {
            for (std::uint16_t& v : *table) v = static_cast<std::uint16_t>(v * 257);
        }
    }
    const bool byteValues = all([](std::uint16_t v) { return v % 257 == 0; });
    for (auto* table : {&layout.red, &layout.green, &layout.blue}) {
        for (std::uint16_t& v : *table) {
            v = byteValues ? static_cast<std::uint16_t>(v / 257) : fileToInterface16(v);
        }
    }
    return byteValues ? 8 : 16;
}

// Bytes of one row of one plane as the file packs it.
std::int64_t planeRowBytes(const TiffLayout& layout, std::int64_t width) {
    const int samples = layout.planar ? 1 : layout.samplesPerPixel;
    return (width * samples * layout.bitsPerSample + 7) / 8;
}

std::uint32_t packedSample(const std::uint8_t* row, std::int64_t index, int bits) {
    switch (bits) {
        case 8:
            return row[index];
        case 16:
            return load16(row + 2 * index);
        default: {
            const std::int64_t bit = index * bits;
            const int shift = 8 - bits - static_cast<int>(bit % 8);
            return (row[bit / 8] >> shift) & ((1u << bits) - 1);
        }
    }
}

// Converts one file row (its planes given separately) into picture row y.
void convertRow(const TiffLayout& layout, const std::vector<const std::uint8_t*>& planes,
                Picture& picture, std::int32_t y) {
    std::uint8_t* out = pixelAddress(picture, 0, y);
    const int spp = layout.samplesPerPixel;
    const int bytes = static_cast<int>(bytesPerSample(picture));
    const int bits = layout.bitsPerSample;
    auto source = [&](std::int64_t x, int s, std::int64_t& index) {
        index = layout.planar ? x : x * spp + s;
        return planes[layout.planar ? s : 0];
    };
    for (std::int64_t x = 0; x < picture.width; ++x) {
        std::uint8_t* pixel = out + x * picture.channels * bytes;
        if (layout.palette) {
            std::int64_t index = 0;
            const std::uint8_t* row = source(x, 0, index);
            const std::uint32_t entry = packedSample(row, index, bits);
            const std::uint16_t rgb[3] = {layout.red[entry], layout.green[entry],
                                          layout.blue[entry]};
            for (int c = 0; c < 3; ++c) {
                if (bytes == 1) {
                    pixel[c] = static_cast<std::uint8_t>(rgb[c]);
                } else {
                    store16(pixel + 2 * c, rgb[c]);
                }
            }
            continue;
        }
        for (int s = 0; s < spp; ++s) {
            std::int64_t index = 0;
            const std::uint8_t* row = source(x, s, index);
            std::uint8_t* dest = pixel + s * bytes;
            if (layout.isFloat) {
                storeFloat(dest, loadFloat(row + 4 * index));
            } else if (bits == 16) {
                store16(dest, fileToInterface16(load16(row + 2 * index)));
            } else if (bits == 8) {
                *dest = row[index];
            } else {
                const std::uint32_t top = (1u << bits) - 1;
                *dest = static_cast<std::uint8_t>(packedSample(row, index, bits) * 255 / top);
            }
        }
        if (layout.minIsWhite) {
            if (bytes == 1) {
                pixel[0] = static_cast<std::uint8_t>(255 - pixel[0]);
            } else {
                store16(pixel, static_cast<std::uint16_t>(kInterface16Max - load16(pixel)));
            }
        }
    }
}

// Undoes associated (premultiplied) alpha so that the picture holds plain
// colour like every other source; fully transparent pixels become black.
void unpremultiplyRow(Picture& picture, std::int32_t y) {
    const int colour = picture.channels - 1;
    for (std::int32_t x = 0; x < picture.width; ++x) {
        const float alpha = sampleValue(picture, x, y, colour);
        const float full = fullScale(picture);
        for (int c = 0; c < colour; ++c) {
            const float v = sampleValue(picture, x, y, c);
            float plain = alpha > 0 ? v * full / alpha : 0.0f;
            if (picture.bitsPerChannel != 32) plain = std::min(plain, full);
            setSampleValue(picture, x, y, c, plain);
        }
    }
}

struct Band {
    std::int64_t top = 0, rows = 0;
};

// Reads the strips or tiles covering band into buffer, one plane after the
// other, each plane as rows of planeRowBytes(layout, bufferWidth).
bool readBand(TIFF* tif, const TiffLayout& layout, const Band& band, std::int64_t bandRows,
              std::int64_t bufferWidth, std::vector<std::uint8_t>& buffer,
              const TiffMessages& messages, std::string& error) {
    const int planes = layout.planar ? layout.samplesPerPixel : 1;
    const std::int64_t rowBytesInPlane = planeRowBytes(layout, bufferWidth);
    const std::int64_t planeBytes = rowBytesInPlane * bandRows;
    if (TIFFIsTiled(tif)) {
        std::uint32_t tileWidth = 0, tileHeight = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
        const std::int64_t tileRowBytes = planeRowBytes(layout, tileWidth);
        std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize64(tif)));
        for (int p = 0; p < planes; ++p) {
            for (std::uint32_t x0 = 0; x0 < layout.width; x0 += tileWidth) {
                const tmsize_t got =
                    TIFFReadTile(tif, tile.data(), x0, static_cast<std::uint32_t>(band.top), 0,
                                 static_cast<std::uint16_t>(p));
                if (got < tileRowBytes * static_cast<std::int64_t>(tileHeight)) {
                    error = "damaged or truncated TIFF (" +
                            describe(messages, "a tile cannot be read") + ")";
                    return false;
                }
                const std::int64_t offset = planeRowBytes(layout, x0);
                for (std::int64_t r = 0; r < band.rows; ++r) {
                    std::memcpy(buffer.data() + p * planeBytes + r * rowBytesInPlane + offset,
                                tile.data() + r * tileRowBytes,
                                static_cast<std::size_t>(tileRowBytes));
                }
            }
        }
        return true;
    }
    for (int p = 0; p < planes; ++p) {
        const std::uint32_t strip = TIFFComputeStrip(tif, static_cast<std::uint32_t>(band.top),
                                                     static_cast<std::uint16_t>(p));
        const tmsize_t got = TIFFReadEncodedStrip(tif, strip, buffer.data() + p * planeBytes,
                                                  static_cast<tmsize_t>(planeBytes));
        if (got < rowBytesInPlane * band.rows) {
            error =
                "damaged or truncated TIFF (" + describe(messages, "a strip cannot be read") + ")";
            return false;
        }
    }
    return true;
}

// Stored bytes of the strips or tiles that make up band, for the plausibility check
// of its buffer. A strip or tile holds at most the whole file, whatever its byte
// count says.
std::int64_t storedBandBytes(TIFF* tif, const TiffLayout& layout, const Band& band,
                             std::int64_t fileSize) {
    const int planes = layout.planar ? layout.samplesPerPixel : 1;
    auto stored = [&](std::uint32_t strile) {
        return std::min(static_cast<std::int64_t>(TIFFGetStrileByteCount(tif, strile)),
                        std::max<std::int64_t>(fileSize, 0));
    };
    std::int64_t total = 0;
    for (int p = 0; p < planes; ++p) {
        if (TIFFIsTiled(tif)) {
            std::uint32_t tileWidth = 1;
            TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
            for (std::uint32_t x0 = 0; x0 < layout.width; x0 += std::max(tileWidth, 1u)) {
                total += stored(TIFFComputeTile(tif, x0, static_cast<std::uint32_t>(band.top), 0,
                                                static_cast<std::uint16_t>(p)));
            }
        } else {
            total += stored(TIFFComputeStrip(tif, static_cast<std::uint32_t>(band.top),
                                             static_cast<std::uint16_t>(p)));
        }
    }
    return total;
}

// The XMP packet and IPTC records of the first directory, and its description tags
// with the EXIF and GPS directories, read from the file's own structure.
void readMetadata(TIFF* tif, int fd, PictureMetadata& metadata) {
    std::uint32_t count = 0;
    void* data = nullptr;
    if (TIFFGetField(tif, TIFFTAG_XMLPACKET, &count, &data) && data != nullptr)
        metadata.xmp.assign(static_cast<const char*>(data), count);
    // The IPTC tag counts 4-byte units, or bytes in files of some writers.
    if (TIFFGetField(tif, TIFFTAG_RICHTIFFIPTC, &count, &data) && data != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        const TIFFField* field = TIFFFieldWithTag(tif, TIFFTAG_RICHTIFFIPTC);
        const std::size_t size =
            field && TIFFFieldDataType(field) == TIFF_LONG ? count * 4u : count;
        metadata.iptc.assign(bytes, bytes + size);
        // Padding to whole units leaves zeros behind the last record.
        while (!metadata.iptc.empty() && metadata.iptc.back() == 0) metadata.iptc.pop_back();
    } else if (TIFFGetField(tif, TIFFTAG_PHOTOSHOP, &count, &data) && data != nullptr) {
        metadata.iptc = iptcFromResources({static_cast<const std::uint8_t*>(data), count});
    }

    const std::int64_t length = os::descriptorSize(fd);
    const ReadAt read = [&](std::uint64_t offset, std::uint8_t* out, std::size_t size) {
        return os::readDescriptorAt(fd, out, size, offset);
    };
    ExifDirectories directories;
    if (length > 0 && readExifDirectories(read, std::uint64_t(length), directories) &&
        !directories.empty())
        metadata.exif = exifBytes(directories);
}

bool decodeTiff(TIFF* tif, std::int64_t fileSize, Picture& picture, const TiffMessages& messages,
                std::string& error) {
    TiffLayout layout;
    if (!examine(tif, layout, error)) return false;
    int bits = layout.bitsPerSample >= 8 ? layout.bitsPerSample : 8;
    int channels = layout.samplesPerPixel;
    if (layout.palette) {
        bits = preparePalette(layout);
        channels = 3;
    }
    if (!beginPicture(picture, layout.width, layout.height, channels, bits, fileSize, error)) {
        return false;
    }
    std::uint32_t count = 0;
    void* profile = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &count, &profile) && profile != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(profile);
        picture.iccProfile.assign(bytes, bytes + count);
    }

    // Bands are whole strips, or rows of tiles.
    std::int64_t bandHeight = 0, bufferWidth = layout.width;
    if (TIFFIsTiled(tif)) {
        std::uint32_t tileWidth = 0, tileHeight = 0;
        if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) ||
            !TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight) || tileWidth == 0 ||
            tileHeight == 0 || tileWidth > static_cast<std::uint32_t>(kMaxPictureSide) ||
            tileHeight > static_cast<std::uint32_t>(kMaxPictureSide)) {
            error = "TIFF with an invalid tile size";
            return false;
        }
        bandHeight = tileHeight;
        bufferWidth =
            (static_cast<std::int64_t>(layout.width) + tileWidth - 1) / tileWidth * tileWidth;
    } else {
        std::uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        bandHeight = std::clamp<std::int64_t>(rowsPerStrip, 1, layout.height);
    }
    const int planes = layout.planar ? layout.samplesPerPixel : 1;
    const std::int64_t bandBytes = planeRowBytes(layout, bufferWidth) * bandHeight * planes;
    std::vector<std::uint8_t> buffer;
    std::vector<const std::uint8_t*> planeRows(static_cast<std::size_t>(planes));

    for (std::int64_t top = 0; top < layout.height; top += bandHeight) {
        const Band band{top, std::min<std::int64_t>(bandHeight, layout.height - top)};
        if (bandBytes > kTrustedBandBytes &&
            bandBytes > storedBandBytes(tif, layout, band, fileSize) * kMaxCompressionRatio) {
            error = "the TIFF claims far more picture data than it holds";
            return false;
        }
        if (buffer.empty()) buffer.resize(static_cast<std::size_t>(bandBytes));
        if (!readBand(tif, layout, band, bandHeight, bufferWidth, buffer, messages, error)) {
            return false;
        }
        if (!ensureRows(picture, top + band.rows, error)) return false;
        const std::int64_t rowBytesInPlane = planeRowBytes(layout, bufferWidth);
        for (std::int64_t r = 0; r < band.rows; ++r) {
            for (int p = 0; p < planes; ++p) {
                planeRows[p] = buffer.data() + (p * bandHeight + r) * rowBytesInPlane;
            }
            const auto y = static_cast<std::int32_t>(top + r);
            convertRow(layout, planeRows, picture, y);
            if (layout.premultiplied) unpremultiplyRow(picture, y);
        }
    }
    return true;
}

}  // namespace

bool readTiff(int fd, const std::string& name, std::int64_t fileSize, Picture& picture,
              int& orientation, std::string& error) {
    orientation = 1;
    TiffMessages messages;
    auto options = makeOptions(messages);
    if (!options) {
        error = "not enough memory to read a TIFF";
        return false;
    }
    TiffStream stream{fd, 0, os::descriptorSize(fd)};
    TiffHandle tif(openTiffStream(stream, name, "r", options.get()));
    if (!tif) {
        error = "damaged or truncated TIFF (" + describe(messages, "cannot open it") + ")";
        return false;
    }
    std::uint16_t stored = ORIENTATION_TOPLEFT;
    if (TIFFGetField(tif.get(), TIFFTAG_ORIENTATION, &stored) && stored >= 1 && stored <= 8)
        orientation = stored;
    if (!decodeTiff(tif.get(), fileSize, picture, messages, error)) return false;
    readMetadata(tif.get(), fd, picture.metadata);
    return true;
}

bool writeTiff(int fd, const std::string& name, const Picture& picture, std::string& error) {
    TiffMessages messages;
    auto options = makeOptions(messages);
    if (!options) {
        error = "not enough memory to write a TIFF";
        return false;
    }
    const char* mode = pictureBytes(picture) > kClassicTiffLimit ? "w8" : "w";
    TiffStream stream{
        fd, std::uint64_t(std::max<std::int64_t>(os::seekDescriptor(fd, 0, SEEK_CUR), 0))};
    TiffHandle tif(openTiffStream(stream, name, mode, options.get()));
    if (!tif) {
        error = "cannot write TIFF (" + describe(messages, "cannot start the file") + ")";
        return false;
    }
    TIFF* t = tif.get();
    const bool isFloat = picture.bitsPerChannel == 32;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.height));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(picture.channels));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(picture.bitsPerChannel));
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, isFloat ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                 isGrey(picture) ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    // Deflate with a predictor: lossless, compact, and read by every editor.
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(t, TIFFTAG_PREDICTOR, isFloat ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
    // Level 4 deflates about three times as fast as the default level, for
    // files a few per cent larger.
    TIFFSetField(t, TIFFTAG_ZIPQUALITY, 4);
    if (hasAlpha(picture)) {
        const std::uint16_t kinds[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, kinds);
    }
    if (!picture.iccProfile.empty()) {
        TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(picture.iccProfile.size()),
                     picture.iccProfile.data());
    }
    const PictureMetadata& metadata = picture.metadata;
    if (!metadata.xmp.empty())
        TIFFSetField(t, TIFFTAG_XMLPACKET, static_cast<std::uint32_t>(metadata.xmp.size()),
                     metadata.xmp.data());
    std::vector<std::uint8_t> iptc = metadata.iptc;
    if (!iptc.empty()) {
        iptc.resize((iptc.size() + 3) / 4 * 4, 0);  // whole 4-byte units
        const TIFFField* field = TIFFFieldWithTag(t, TIFFTAG_RICHTIFFIPTC);
        const bool inUnits = field && TIFFFieldDataType(field) == TIFF_LONG;
        TIFFSetField(t, TIFFTAG_RICHTIFFIPTC,
                     static_cast<std::uint32_t>(inUnits ? iptc.size() / 4 : iptc.size()),
                     iptc.data());
    }
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));

    // The encoder's predictor rewrites the row it is given, so it gets a copy.
    const std::int64_t stride = rowBytes(picture);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(stride));
    for (std::int32_t y = 0; y < picture.height; ++y) {
        const std::uint8_t* source = picture.pixels.data() + y * stride;
        if (picture.bitsPerChannel == 16) {
            mapInterfaceToFile16(source, row.data(), stride / 2);
        } else {
            std::memcpy(row.data(), source, static_cast<std::size_t>(stride));
        }
        if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
            error = "cannot write TIFF (" + describe(messages, "a row cannot be written") + ")";
            return false;
        }
    }
    if (!TIFFFlush(t) || messages.error[0] != '\0') {
        error = "cannot write TIFF (" + describe(messages, "the file cannot be finished") + ")";
        return false;
    }
    return true;
}

}  // namespace mirel::host_app::codecs
