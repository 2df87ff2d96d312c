// JPEG compression and decompression in memory on the IJG interface of libjpeg-turbo.
// The library reports fatal errors through a callback that must not return; we leave it
// with longjmp back into the function that started the work, so the frames skipped are
// the library's own C frames and our locals there are plain data.
#include "settings/jpeg_codec.h"

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include "settings/metadata.h"

namespace mirel {

namespace {

// clang-format off
constexpr std::uint16_t kLuminance5[kQuantTableSize] = {
    13, 7, 7, 13, 15, 18, 20, 17,   7, 8, 8, 13, 10, 16, 12, 12,
    7, 8, 8, 13, 16, 12, 12, 12,    13, 13, 13, 18, 12, 12, 12, 12,
    15, 10, 16, 12, 12, 12, 12, 12, 18, 16, 12, 12, 12, 12, 12, 12,
    20, 12, 12, 12, 12, 12, 12, 12, 17, 12, 12, 12, 12, 12, 12, 12};
constexpr std::uint16_t kChrominance5[kQuantTableSize] = {
    11, 12, 21, 34, 20, 20, 17, 17, 12, 19, 24, 14, 14, 12, 12, 12,
    21, 24, 14, 14, 12, 12, 12, 12, 34, 14, 14, 12, 12, 12, 12, 12,
    20, 14, 12, 12, 12, 12, 12, 12, 20, 12, 12, 12, 12, 12, 12, 12,
    17, 12, 12, 12, 12, 12, 12, 12, 17, 12, 12, 12, 12, 12, 12, 12};
constexpr std::uint16_t kLuminance8[kQuantTableSize] = {
    2, 2, 2, 2, 3, 4, 5, 6,         2, 2, 2, 2, 3, 4, 5, 6,
    2, 2, 2, 2, 4, 5, 7, 9,         2, 2, 2, 4, 5, 7, 9, 12,
    3, 3, 4, 5, 8, 13, 12, 12,      4, 4, 5, 7, 13, 12, 12, 12,
    5, 5, 7, 9, 12, 12, 12, 12,     6, 6, 9, 12, 12, 12, 12, 12};
constexpr std::uint16_t kChrominance8[kQuantTableSize] = {
    3, 3, 5, 9, 10, 15, 15, 15,     3, 4, 6, 13, 14, 12, 12, 12,
    5, 6, 9, 14, 12, 12, 12, 12,    9, 13, 14, 12, 12, 12, 12, 12,
    10, 14, 12, 12, 12, 12, 12, 12, 15, 12, 12, 12, 12, 12, 12, 12,
    15, 12, 12, 12, 12, 12, 12, 12, 15, 12, 12, 12, 12, 12, 12, 12};
// clang-format on

constexpr int kDecileOfExports = 5;
constexpr int kDecileOfThumbnails = 8;

// Deciles nobody calls with today get tables of the same shape: coarser than decile 5
// below it, between 5 and 8 in between, and finer than 8 above it. Every value stays >= 1.
constexpr std::uint16_t derivedValue(int decile, std::uint16_t v5, std::uint16_t v8) {
    int value = 0;
    if (decile < kDecileOfExports) {
        value = (v5 * (10 - decile) * 2 + 5) / 10;  // decile 0: twice decile 5
    } else if (decile < kDecileOfThumbnails) {
        value = (v5 * (kDecileOfThumbnails - decile) + v8 * (decile - kDecileOfExports) + 1) / 3;
    } else {
        value = (v8 + 1) / 2;
    }
    return static_cast<std::uint16_t>(value < 1 ? 1 : value);
}

constexpr QuantTables makeTables(int decile) {
    QuantTables tables{};
    for (int i = 0; i < kQuantTableSize; ++i) {
        if (decile == kDecileOfExports) {
            tables.luminance[i] = kLuminance5[i];
            tables.chrominance[i] = kChrominance5[i];
        } else if (decile == kDecileOfThumbnails) {
            tables.luminance[i] = kLuminance8[i];
            tables.chrominance[i] = kChrominance8[i];
        } else {
            tables.luminance[i] = derivedValue(decile, kLuminance5[i], kLuminance8[i]);
            tables.chrominance[i] = derivedValue(decile, kChrominance5[i], kChrominance8[i]);
        }
    }
    return tables;
}

constexpr QuantTables kTables[kJpegDeciles] = {
    makeTables(0), makeTables(1), makeTables(2), makeTables(3), makeTables(4),
    makeTables(5), makeTables(6), makeTables(7), makeTables(8), makeTables(9)};

// The library keeps its stored value as (v x scale + 50) / 100 limited to 1..32767; at a
// scale of 100 that is v itself.
constexpr int kTableScalePercent = 100;

// A progressive file may hold any number of scans, each a full pass over the picture;
// a thumbnail needs a handful, so a file with more is treated as damaged.
constexpr int kMaxScans = 200;
// The count alone does not bound the work: each scan of a frame enlarged far past its
// data (a few bytes each, arithmetic coding going on with zeros where its data ends)
// still passes over every block. So the blocks decoded, summed over the scans, are held
// to some 2 million, a tenth of a second: a progressive picture of a million pixels
// needs a few hundred thousand, a thumbnail of ours a few thousand.
constexpr std::int64_t kMaxBlockScans = std::int64_t{1} << 21;
// Upper bound for the library's working memory while decoding (whole-image buffers of
// progressive files); past it decoding fails instead of exhausting the process.
constexpr long kMaxDecodeMemory = 64L * 1024 * 1024;
// The first output buffer; it doubles when full.
constexpr std::size_t kMinOutputBytes = 4096;
constexpr std::size_t kMaxInitialOutputBytes = 4u << 20;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void leaveOnError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(errors->jump, 1);
}

// Warnings (damaged data the library can live with) and traces are not shown anywhere.
void ignoreMessage(j_common_ptr, int) {}
void ignoreOutput(j_common_ptr) {}

void setUpErrors(ErrorManager& errors) {
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = &leaveOnError;
    errors.pub.emit_message = &ignoreMessage;
    errors.pub.output_message = &ignoreOutput;
}

// What the decode has done so far, checked by the library's progress monitor, which it
// calls at least once per row of blocks of every scan.
struct ScanBudget {
    jpeg_progress_mgr pub;  // first, so that cinfo->progress points at the whole record
    int scan;
    std::int64_t blockScans;
};

void limitScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxScans) ERREXIT(cinfo, JERR_NOT_COMPILED);
    auto* budget = reinterpret_cast<ScanBudget*>(cinfo->progress);
    if (dinfo->input_scan_number == budget->scan) return;
    budget->scan = dinfo->input_scan_number;
    for (int i = 0; i < dinfo->comps_in_scan; ++i) {
        const jpeg_component_info* component = dinfo->cur_comp_info[i];
        budget->blockScans += static_cast<std::int64_t>(component->width_in_blocks) *
                              static_cast<std::int64_t>(component->height_in_blocks);
    }
    if (budget->blockScans > kMaxBlockScans) ERREXIT(cinfo, JERR_NOT_COMPILED);
}

// Output into a growing byte vector.
struct VectorDestination {
    jpeg_destination_mgr pub;
    std::vector<std::uint8_t>* out;
    std::size_t initialBytes;
};

void startOutput(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    // Never leave a catch handler by longjmp: note the failure and report it after.
    bool grown = true;
    try {
        dest->out->resize(dest->initialBytes);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->pub.next_output_byte = dest->out->data();
    dest->pub.free_in_buffer = dest->out->size();
}

boolean growOutput(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    // The library calls this only when the whole buffer is full.
    const std::size_t used = dest->out->size();
    bool grown = true;
    try {
        dest->out->resize(used * 2);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->pub.next_output_byte = dest->out->data() + used;
    dest->pub.free_in_buffer = dest->out->size() - used;
    return TRUE;
}

void finishOutput(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    dest->out->resize(dest->out->size() - dest->pub.free_in_buffer);
}

JSAMPLE toSample(float value) {
    if (!(value > 0.0f)) return 0;  // also NaN
    if (value >= 1.0f) return 255;
    return static_cast<JSAMPLE>(value * 255.0f);
}

// The work of encodeJpeg between setjmp and the end; returns false after an error.
bool compress(const image::TiledImage& image, int quality,
              std::span<const std::uint8_t> imageResources, std::span<const std::uint8_t> exif,
              std::vector<std::uint8_t>& out, JSAMPLE* row, int width, int height) {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    VectorDestination dest;
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&dest, 0, sizeof dest);
    setUpErrors(errors);
    cinfo.err = &errors.pub;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);

    dest.pub.init_destination = &startOutput;
    dest.pub.empty_output_buffer = &growOutput;
    dest.pub.term_destination = &finishOutput;
    dest.out = &out;
    const std::size_t estimate = std::size_t(width) * std::size_t(height) * 6 +
                                 imageResources.size() + exif.size() + kMinOutputBytes;
    dest.initialBytes = estimate < kMaxInitialOutputBytes ? estimate : kMaxInitialOutputBytes;
    cinfo.dest = &dest.pub;

    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);

    const int decile = jpegDecile(quality);
    // Fine chroma detail matters more than size at the higher qualities.
    const int lumaSampling = decile <= 4 ? 2 : 1;
    cinfo.comp_info[0].h_samp_factor = lumaSampling;
    cinfo.comp_info[0].v_samp_factor = lumaSampling;
    for (int c = 1; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    const QuantTables& tables = quantTablesForDecile(decile);
    unsigned int luminance[kQuantTableSize], chrominance[kQuantTableSize];
    for (int i = 0; i < kQuantTableSize; ++i) {
        luminance[i] = tables.luminance[i];
        chrominance[i] = tables.chrominance[i];
    }
    jpeg_add_quant_table(&cinfo, 0, luminance, kTableScalePercent, FALSE);
    jpeg_add_quant_table(&cinfo, 1, chrominance, kTableScalePercent, FALSE);

    jpeg_start_compress(&cinfo, TRUE);
    // Our segments go right after SOI and JFIF; the tables and the frame follow them.
    std::uint8_t comment[kMakerWebAddress.size() + 1];
    std::memcpy(comment, kMakerWebAddress.data(), kMakerWebAddress.size());
    comment[kMakerWebAddress.size()] = 0;
    jpeg_write_marker(&cinfo, JPEG_COM, comment, sizeof comment);
    if (!exif.empty()) jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), unsigned(exif.size()));
    if (!imageResources.empty())
        jpeg_write_marker(&cinfo, JPEG_APP0 + 13, imageResources.data(),
                          unsigned(imageResources.size()));

    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        JSAMPLE* p = row;
        for (int x = 0; x < width; ++x) {
            // Reads clamp into the picture, so a small one repeats its last row and column.
            const image::Rgba pixel = image::readPixel(image, x, y, 0);
            *p++ = toSample(pixel.r);
            *p++ = toSample(pixel.g);
            *p++ = toSample(pixel.b);
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// Decodes RGB or grey JPEG data row by row. `begin` gets the picture's size
// and returns how many rows to decode (below 0: stop, a failure); `row` gets
// each of them, with its samples interleaved.
template <typename Begin, typename Row>
bool decompress(std::span<const std::uint8_t> bytes, Begin begin, Row row) {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    ScanBudget progress;
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&progress, 0, sizeof progress);
    setUpErrors(errors);
    cinfo.err = &errors.pub;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxDecodeMemory;
    progress.pub.progress_monitor = &limitScans;
    cinfo.progress = &progress.pub;
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (cinfo.num_components == 3) {
        cinfo.out_color_space = JCS_RGB;
    } else if (cinfo.num_components == 1) {
        cinfo.out_color_space = JCS_GRAYSCALE;
    } else {
        jpeg_destroy_decompress(&cinfo);
        return false;  // four-component (CMYK) pictures are none of ours
    }
    // The size is known from the header; a progressive picture is decoded whole when the
    // decompression starts, so a picture that is refused must be refused before that.
    jpeg_calc_output_dimensions(&cinfo);
    const int rowsWanted =
        begin(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
    if (rowsWanted < 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    const int components = cinfo.output_components;
    const JDIMENSION stride = cinfo.output_width * static_cast<JDIMENSION>(components);
    // Pool memory of the library: released with the object, also after an error.
    JSAMPARRAY buffer =
        (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, stride, 1);
    while (cinfo.output_scanline < cinfo.output_height &&
           static_cast<int>(cinfo.output_scanline) < rowsWanted) {
        const int y = static_cast<int>(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, buffer, 1) != 1) break;
        row(y, buffer[0], components);
    }
    // Rows that are not wanted are never decoded: a larger picture costs no more than needed.
    if (cinfo.output_scanline < cinfo.output_height)
        jpeg_abort_decompress(&cinfo);
    else
        jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool decompress(std::span<const std::uint8_t> bytes, image::TiledImage& target, int maxSide) {
    int columns = 0;
    return decompress(
        bytes,
        [&](int width, int height) {
            if (width > maxSide || height > maxSide) return -1;
            columns = std::min(width, target.baseWidth);
            return target.baseHeight;
        },
        [&](int y, const JSAMPLE* p, int components) {
            for (int x = 0; x < columns; ++x, p += components) {
                if (components == 3)
                    image::writeRgba8(target, x, y, 0, p[0], p[1], p[2], 255u);
                else
                    image::writeRgba8(target, x, y, 0, p[0], p[0], p[0], 255u);
            }
        });
}

void fillOpaqueBlack(image::TiledImage& target) {
    for (int y = 0; y < target.baseHeight; ++y)
        for (int x = 0; x < target.baseWidth; ++x)
            image::writeRgba8(target, x, y, 0, 0, 0, 0, 255u);
}

}  // namespace

int clampJpegQuality(int quality) {
    return quality < 0 ? 0 : (quality > kMaxJpegQuality ? kMaxJpegQuality : quality);
}

int jpegDecile(int quality) {
    return clampJpegQuality(quality) / 10;
}

const QuantTables& quantTablesForDecile(int decile) {
    if (decile < 0) decile = 0;
    if (decile >= kJpegDeciles) decile = kJpegDeciles - 1;
    return kTables[decile];
}

std::size_t encodeJpeg(const image::TiledImage& image, int quality,
                       std::span<const std::uint8_t> imageResources,
                       std::span<const std::uint8_t> exif, std::vector<std::uint8_t>& out) {
    out.clear();
    if (!image::hasTiles(image)) return 0;
    // A marker segment holds at most 65533 bytes of data.
    constexpr std::size_t kMaxSegmentData = 65533;
    if (imageResources.size() > kMaxSegmentData || exif.size() > kMaxSegmentData) return 0;
    const int width = std::max(image.baseWidth, kMinJpegSide);
    const int height = std::max(image.baseHeight, kMinJpegSide);
    if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) return 0;
    std::vector<JSAMPLE> row;
    try {
        row.resize(std::size_t(width) * 3);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!compress(image, quality, imageResources, exif, out, row.data(), width, height)) {
        out.clear();
        return 0;
    }
    return out.size();
}

bool decodeJpeg(std::span<const std::uint8_t> bytes, image::TiledImage& target, int maxSide) {
    if (!image::hasTiles(target) || target.format != image::SampleFormat::Rgba8) return false;
    if (bytes.empty()) return false;
    fillOpaqueBlack(target);
    return decompress(bytes, target, maxSide);
}

bool decodeJpegPixels(std::span<const std::uint8_t> bytes, JpegPixels& out) {
    out = JpegPixels{};
    if (bytes.empty()) return false;
    const bool decoded = decompress(
        bytes,
        [&](int width, int height) {
            if (std::int64_t(width) * height > kMaxJpegPixels) return -1;
            try {
                out.rgb.assign(std::size_t(width) * height * 3, 0);
            } catch (const std::bad_alloc&) {
                return -1;
            }
            out.width = width;
            out.height = height;
            return height;
        },
        [&](int y, const JSAMPLE* p, int components) {
            std::uint8_t* to = out.rgb.data() + std::size_t(y) * out.width * 3;
            for (int x = 0; x < out.width; ++x, p += components, to += 3) {
                to[0] = p[0];
                to[1] = p[components == 3 ? 1 : 0];
                to[2] = p[components == 3 ? 2 : 0];
            }
        });
    if (!decoded) out = JpegPixels{};
    return decoded;
}

}  // namespace mirel
