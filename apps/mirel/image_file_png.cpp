// PNG reading and writing through libpng.
//
// libpng reports errors by longjmp. Each setjmp lives in a function that owns
// no object with a destructor; everything that needs cleaning up (the libpng
// structures, row buffers) belongs to a record in the caller's frame, whose
// destructor runs on every path.
#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include "apps/mirel/image_codecs.h"
#include "apps/mirel/image_file_png_bands.h"
#include "platform/os/os.h"

namespace mirel::host_app::codecs {

namespace {

// Deflate cannot expand data by more than about 1032:1, so a PNG whose
// header asks for more raw bytes than that of its file size is lying.
constexpr std::int64_t kDeflateMaxRatio = 1032;
constexpr std::int64_t kRatioSlackBytes = 1 << 16;
// Larger ancillary chunks (a text or profile of many megabytes) are refused.
constexpr png_alloc_size_t kMaxChunkBytes = 64u << 20;
// Written pixels: the deflate level, and the largest IDAT chunk.
constexpr int kDeflateLevel = 4;
constexpr std::size_t kIdatBytes = std::size_t{1} << 20;

struct PngErrorState {
    std::jmp_buf jump;
    char message[256] = {};
};

void onPngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngErrorState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    std::longjmp(state->jump, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

struct PngReader {
    PngErrorState errors;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<png_bytep> rows;
    ~PngReader() {
        if (png != nullptr)
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    }
};

struct PngWriter {
    PngErrorState errors;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<std::vector<std::uint8_t>> pixelStream;  // the zlib stream of the rows, in pieces
    std::string iptcText;
    ~PngWriter() {
        if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    }
};

// Returns 1 on success, 0 on a reason set in error, -1 on a libpng error.
// The XMP packet, EXIF block and IPTC records of the chunks before the pixels: eXIf
// and iTXt as the PNG extensions store them, or ImageMagick's raw profiles in text.
void readMetadata(png_structp png, png_infop info, PictureMetadata& metadata) {
    png_uint_32 exifLength = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(png, info, &exifLength, &exif) != 0 && exif != nullptr)
        metadata.exif.assign(exif, exif + exifLength);
    png_textp texts = nullptr;
    int count = 0;
    png_get_text(png, info, &texts, &count);
    for (int i = 0; i < count && texts != nullptr; ++i) {
        const std::string key = texts[i].key ? texts[i].key : "";
        const std::string text =
            texts[i].text ? std::string(texts[i].text, texts[i].text_length ? texts[i].text_length
                                                                            : texts[i].itxt_length)
                          : std::string();
        if (key == "XML:com.adobe.xmp") {
            metadata.xmp = text;
        } else if (key == "Raw profile type xmp" && metadata.xmp.empty()) {
            const std::vector<std::uint8_t> bytes = decodeRawProfile(text);
            metadata.xmp.assign(bytes.begin(), bytes.end());
        } else if (key == "Raw profile type iptc") {
            std::vector<std::uint8_t> bytes = decodeRawProfile(text);
            // Some writers keep the Photoshop resource around the records.
            if (bytes.size() >= 4 && std::equal(bytes.begin(), bytes.begin() + 4, "8BIM"))
                bytes = iptcFromResources(bytes);
            metadata.iptc = std::move(bytes);
        } else if (key == "Raw profile type exif" && metadata.exif.empty()) {
            std::vector<std::uint8_t> bytes = decodeRawProfile(text);
            static const std::uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
            if (bytes.size() >= 6 && std::equal(kExifHeader, kExifHeader + 6, bytes.begin()))
                bytes.erase(bytes.begin(), bytes.begin() + 6);
            metadata.exif = std::move(bytes);
        }
    }
}

// Walks the chunks before the pixels, where libpng reads each chunk whole: a chunk
// that says it is longer than the rest of the file is named in `error`. libpng makes
// its own length limit only a warning, and then allocates what the length claims
// (1.7 GB for a 103-byte file) before it finds the file too short. The file is left
// at its start.
bool chunksBeforePixelsFit(std::FILE* file, std::int64_t fileSize, std::string& error) {
    constexpr std::int64_t kSignatureBytes = 8, kHeaderBytes = 8, kCrcBytes = 4;
    std::int64_t at = kSignatureBytes;
    bool fits = true;
    std::uint8_t header[kHeaderBytes];
    while (at + kHeaderBytes <= fileSize && ::fseeko(file, at, SEEK_SET) == 0 &&
           std::fread(header, 1, sizeof header, file) == sizeof header) {
        const std::int64_t length =
            std::int64_t{header[0]} << 24 | header[1] << 16 | header[2] << 8 | header[3];
        std::string type(reinterpret_cast<const char*>(header + 4), 4);
        if (type == "IDAT" || type == "IEND") break;  // pixel data is read in pieces
        if (length > fileSize - at - kHeaderBytes - kCrcBytes) {
            const bool letters = std::all_of(type.begin(), type.end(), [](char c) {
                return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            });
            if (!letters) type = "unnamed";
            error = "damaged or truncated PNG (its " + type + " chunk claims " +
                    std::to_string(length) + " bytes, more than the file holds)";
            fits = false;
            break;
        }
        at += kHeaderBytes + length + kCrcBytes;
    }
    std::rewind(file);
    return fits;
}

int decodePng(PngReader& r, std::FILE* file, std::int64_t fileSize, Picture& picture,
              std::string& error) {
    if (!chunksBeforePixelsFit(file, fileSize, error)) return 0;
    if (setjmp(r.errors.jump) != 0) return -1;
    png_init_io(r.png, file);
    png_set_user_limits(r.png, kMaxPictureSide, kMaxPictureSide);
    png_set_chunk_malloc_max(r.png, kMaxChunkBytes);
    png_read_info(r.png, r.info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(r.png, r.info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
    const std::int64_t rawRow =
        (static_cast<std::int64_t>(width) * depth * png_get_channels(r.png, r.info) + 7) / 8 + 1;

    // Palettes, low-depth grey and tRNS transparency all expand losslessly
    // to plain grey or RGB with or without alpha.
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(r.png);
    if (png_get_valid(r.png, r.info, PNG_INFO_tRNS) != 0) png_set_tRNS_to_alpha(r.png);
    if (depth == 16 && std::endian::native == std::endian::little) png_set_swap(r.png);
    const int passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);

    const int channels = png_get_channels(r.png, r.info);
    const int bits = png_get_bit_depth(r.png, r.info);
    if (!beginPicture(picture, width, height, channels, bits, fileSize, error)) return 0;
    if (rawRow * height >
        std::max<std::int64_t>(fileSize, 0) * kDeflateMaxRatio + kRatioSlackBytes) {
        error = "the header claims " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels, far more than the file can hold";
        return 0;
    }

    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(r.png, r.info, &name, &compression, &profile, &profileLength) != 0 &&
        profile != nullptr) {
        picture.iccProfile.assign(profile, profile + profileLength);
    }
    readMetadata(r.png, r.info, picture.metadata);

    const std::int64_t stride = rowBytes(picture);
    if (passes > 1) {
        // Interlaced rows arrive in several passes, so all rows must exist
        // first; the ratio check above bounds what a lying header can cost.
        if (!ensureRows(picture, height, error)) return 0;
        r.rows.resize(height);
        for (png_uint_32 y = 0; y < height; ++y) r.rows[y] = picture.pixels.data() + y * stride;
        png_read_image(r.png, r.rows.data());
    } else {
        for (png_uint_32 y = 0; y < height; ++y) {
            if (!ensureRows(picture, std::int64_t{y} + 1, error)) return 0;
            png_read_row(r.png, picture.pixels.data() + y * stride, nullptr);
        }
    }
    if (bits == 16) mapFileToInterface16(picture.pixels.data(), pictureBytes(picture) / 2);
    return 1;
}

int encodePng(PngWriter& w, std::FILE* file, const Picture& picture) {
    if (setjmp(w.errors.jump) != 0) return -1;
    png_init_io(w.png, file);
    static const int kColorTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                      PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(w.png, w.info, picture.width, picture.height, picture.bitsPerChannel,
                 kColorTypes[picture.channels - 1], PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!picture.iccProfile.empty()) {
        png_set_iCCP(w.png, w.info, "ICC profile", PNG_COMPRESSION_TYPE_BASE,
                     picture.iccProfile.data(),
                     static_cast<png_uint_32>(picture.iccProfile.size()));
    }
    const PictureMetadata& metadata = picture.metadata;
    if (!metadata.exif.empty())
        png_set_eXIf_1(w.png, w.info, static_cast<png_uint_32>(metadata.exif.size()),
                       const_cast<png_bytep>(metadata.exif.data()));
    png_text texts[2]{};
    int textCount = 0;
    if (!metadata.xmp.empty()) {
        png_text& xmp = texts[textCount++];
        xmp.compression = PNG_ITXT_COMPRESSION_NONE;
        xmp.key = const_cast<png_charp>("XML:com.adobe.xmp");
        xmp.text = const_cast<png_charp>(metadata.xmp.c_str());
        xmp.itxt_length = metadata.xmp.size();
    }
    if (!metadata.iptc.empty()) {
        w.iptcText = encodeRawProfile("iptc", metadata.iptc);
        png_text& iptc = texts[textCount++];
        iptc.compression = PNG_TEXT_COMPRESSION_zTXt;
        iptc.key = const_cast<png_charp>("Raw profile type iptc");
        iptc.text = const_cast<png_charp>(w.iptcText.c_str());
        iptc.text_length = w.iptcText.size();
    }
    if (textCount > 0) png_set_text(w.png, w.info, texts, textCount);
    png_write_info(w.png, w.info);
    // The pixels, deflated in bands on every processor, go out as IDAT chunks.
    for (const std::vector<std::uint8_t>& piece : w.pixelStream) {
        for (std::size_t at = 0; at < piece.size(); at += kIdatBytes) {
            png_write_chunk(w.png, reinterpret_cast<png_const_bytep>("IDAT"), piece.data() + at,
                            std::min(kIdatBytes, piece.size() - at));
        }
    }
    // The chunks of the info went out before the pixels; only the end follows.
    png_write_chunk(w.png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
    return 1;
}

}  // namespace

bool pngHolds(const Picture& picture, std::string& error) {
    if (picture.width <= PNG_USER_WIDTH_MAX && picture.height <= PNG_USER_HEIGHT_MAX) return true;
    error = "PNG files hold at most " + std::to_string(PNG_USER_WIDTH_MAX) +
            " pixels on a side, and the picture is " + std::to_string(picture.width) + " x " +
            std::to_string(picture.height) + "; save as TIFF (.tif) instead";
    return false;
}

bool readPng(std::FILE* file, std::int64_t fileSize, Picture& picture, int& orientation,
             std::string& error) {
    orientation = 1;  // an eXIf block says it, read by the caller
    PngReader reader;
    reader.png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader.errors, onPngError, onPngWarning);
    if (reader.png != nullptr) reader.info = png_create_info_struct(reader.png);
    if (reader.info == nullptr) {
        error = "not enough memory to read a PNG";
        return false;
    }
    const int result = decodePng(reader, file, fileSize, picture, error);
    if (result < 0) error = std::string("damaged or truncated PNG (") + reader.errors.message + ")";
    return result > 0;
}

bool writePng(std::FILE* file, const Picture& picture, std::string& error) {
    if (picture.iccProfile.size() > 0xffffffffu) {
        error = "the ICC profile is too large for PNG";
        return false;
    }
    PngWriter writer;
    writer.png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &writer.errors, onPngError, onPngWarning);
    if (writer.png != nullptr) writer.info = png_create_info_struct(writer.png);
    if (writer.info == nullptr) {
        error = "not enough memory to write a PNG";
        return false;
    }
    // Run-length deflate at level 4 is some eight times as fast as zlib's default, for
    // files 2 to 4 % larger.
    if (!deflatePngRows(picture, kDeflateLevel, os::processorCount(), writer.pixelStream)) {
        error = "not enough memory to write a PNG";
        return false;
    }
    if (encodePng(writer, file, picture) < 0) {
        error = std::string("cannot write PNG: ") + writer.errors.message;
        return false;
    }
    return true;
}

}  // namespace mirel::host_app::codecs
