// JPEG reading and writing through libjpeg(-turbo), 8-bit grey and RGB.
//
// libjpeg reports errors through error_exit, which must not return; ours
// longjmps back into a function that owns no object with a destructor. The
// decompressor, the profile buffer and the rest are released by a record in
// the caller's frame.
// jpeglib.h uses size_t and FILE without declaring them.
#include <cstddef>
#include <cstdio>
// clang-format off
#include <jpeglib.h>
// jerror.h needs jpeglib.h first.
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "apps/mirel/image_codecs.h"

namespace mirel::host_app::codecs {

namespace {

// Multi-scan (progressive) files are decoded into libjpeg's own whole-image
// coefficient store, two bytes a sample. A Huffman-coded first scan spends at
// least one bit on every 8 x 8 block, so an honest file holds one block per
// bit at most: that bounds the store at 1024 bytes per file byte.
constexpr std::int64_t kCoefficientBytesPerFileByte = 1024;
constexpr std::int64_t kMinLibraryMemory = std::int64_t{256} << 20;

// That bound does not bound the work. Arithmetic coding may code a run of empty blocks
// in almost no bits, and where its data meets a marker it goes on with zeros, as its
// standard says; a progressive file may repeat scans of a few bytes each over every
// block. So a tiny file can ask for minutes of decoding. The blocks decoded, summed
// over the scans, are held to what an honest file of the size needs: an ordinary photo
// takes fewer than 100 per byte; a flat picture coded arithmetically in a few kilobytes
// up to a few thousand; plus enough for any small picture with many scans.
constexpr std::int64_t kBlockScansPerFileByte = 4096;
constexpr std::int64_t kMinBlockScans = std::int64_t{1} << 20;

struct JpegErrorState {
    jpeg_error_mgr manager;  // first, so that cinfo->err points at the whole record
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
};

void onJpegError(j_common_ptr cinfo) {
    auto* state = reinterpret_cast<JpegErrorState*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, state->message);
    std::longjmp(state->jump, 1);
}

// Warnings are quiet, except the two that mean the picture data ran out
// (the file ends, or a marker comes before the scan is complete): libjpeg
// would pad the rest of the picture with grey and call it a success. That
// also stops a frame header enlarged over a small scan from decoding
// gigabytes of padding.
void onJpegMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    auto* state = reinterpret_cast<JpegErrorState*>(cinfo->err);
    cinfo->err->num_warnings++;
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) {
        std::snprintf(state->message, sizeof state->message,
                      code == JWRN_JPEG_EOF ? "the file ends before the picture"
                                            : "the picture data ends early");
        std::longjmp(state->jump, 1);
    }
}

void installErrorHandlers(JpegErrorState& state) {
    jpeg_std_error(&state.manager);
    state.manager.error_exit = onJpegError;
    state.manager.emit_message = onJpegMessage;
}

// The work budget of one decode, checked by libjpeg's progress monitor, which it calls
// at least once per row of blocks of every scan.
struct JpegWorkBudget {
    jpeg_progress_mgr manager{};  // first, so that cinfo->progress points at the whole record
    JpegErrorState* errors = nullptr;
    int scan = 0;
    std::int64_t blockScans = 0;
    std::int64_t limit = 0;
};

void onJpegProgress(j_common_ptr common) {
    auto* budget = reinterpret_cast<JpegWorkBudget*>(common->progress);
    if (common->is_decompressor == FALSE) return;
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    if (cinfo->input_scan_number == budget->scan) return;
    budget->scan = cinfo->input_scan_number;
    for (int i = 0; i < cinfo->comps_in_scan; ++i) {
        const jpeg_component_info* component = cinfo->cur_comp_info[i];
        budget->blockScans += static_cast<std::int64_t>(component->width_in_blocks) *
                              static_cast<std::int64_t>(component->height_in_blocks);
    }
    if (budget->blockScans > budget->limit) {
        std::snprintf(budget->errors->message, sizeof budget->errors->message,
                      "its scans ask for far more decoding than the file holds");
        std::longjmp(budget->errors->jump, 1);
    }
}

struct JpegReader {
    JpegErrorState errors;
    JpegWorkBudget budget;
    jpeg_decompress_struct cinfo{};
    JOCTET* profile = nullptr;
    ~JpegReader() {
        std::free(profile);
        jpeg_destroy_decompress(&cinfo);  // safe before creation: mem is still null
    }
};

struct JpegWriter {
    JpegErrorState errors;
    jpeg_compress_struct cinfo{};
    ~JpegWriter() { jpeg_destroy_compress(&cinfo); }
};

constexpr char kExifHeader[] = "Exif\0";                       // and one more NUL
constexpr char kXmpHeader[] = "http://ns.adobe.com/xap/1.0/";  // and its NUL
constexpr char kPhotoshopHeader[] = "Photoshop 3.0";           // and its NUL
// A marker segment holds at most this many bytes after its length.
constexpr std::size_t kMaxMarkerBytes = 65533;

bool startsWith(const jpeg_saved_marker_ptr marker, const char* header, std::size_t length) {
    return marker->data_length >= length && std::memcmp(marker->data, header, length) == 0;
}

// The EXIF block (APP1 "Exif"), the XMP packet (APP1 with the XMP namespace) and the
// IPTC records (APP13 Photoshop resources) among the saved markers.
void readMetadata(const jpeg_decompress_struct& cinfo, PictureMetadata& metadata) {
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && startsWith(m, kExifHeader, 6) && metadata.exif.empty()) {
            metadata.exif.assign(m->data + 6, m->data + m->data_length);
        } else if (m->marker == JPEG_APP0 + 1 && startsWith(m, kXmpHeader, sizeof kXmpHeader) &&
                   metadata.xmp.empty()) {
            metadata.xmp.assign(reinterpret_cast<const char*>(m->data) + sizeof kXmpHeader,
                                m->data_length - sizeof kXmpHeader);
        } else if (m->marker == JPEG_APP0 + 13 &&
                   startsWith(m, kPhotoshopHeader, sizeof kPhotoshopHeader)) {
            const std::span<const std::uint8_t> resources(m->data + sizeof kPhotoshopHeader,
                                                          m->data_length - sizeof kPhotoshopHeader);
            std::vector<std::uint8_t> iptc = iptcFromResources(resources);
            if (!iptc.empty()) metadata.iptc = std::move(iptc);
        }
    }
}

// Writes one marker of `header` (with its NUL when `withNul`) and `data`, when it fits.
void writeMarker(j_compress_ptr cinfo, int marker, const char* header, std::size_t headerLength,
                 const std::uint8_t* data, std::size_t length) {
    if (headerLength + length > kMaxMarkerBytes) return;  // larger blocks are left out
    jpeg_write_m_header(cinfo, marker, static_cast<unsigned int>(headerLength + length));
    for (std::size_t i = 0; i < headerLength; ++i) jpeg_write_m_byte(cinfo, header[i]);
    for (std::size_t i = 0; i < length; ++i) jpeg_write_m_byte(cinfo, data[i]);
}

void writeMetadata(j_compress_ptr cinfo, const PictureMetadata& metadata) {
    if (!metadata.exif.empty())
        writeMarker(cinfo, JPEG_APP0 + 1, kExifHeader, 6, metadata.exif.data(),
                    metadata.exif.size());
    if (!metadata.xmp.empty())
        writeMarker(cinfo, JPEG_APP0 + 1, kXmpHeader, sizeof kXmpHeader,
                    reinterpret_cast<const std::uint8_t*>(metadata.xmp.data()),
                    metadata.xmp.size());
    if (!metadata.iptc.empty()) {
        const std::vector<std::uint8_t> resources = resourcesWithIptc(metadata.iptc);
        writeMarker(cinfo, JPEG_APP0 + 13, kPhotoshopHeader, sizeof kPhotoshopHeader,
                    resources.data(), resources.size());
    }
}

// Returns 1 on success, 0 on a reason set in error, -1 on a libjpeg error.
int decodeJpeg(JpegReader& r, std::FILE* file, std::int64_t fileSize, Picture& picture,
               std::string& error) {
    if (setjmp(r.errors.jump) != 0) return -1;
    jpeg_create_decompress(&r.cinfo);
    r.cinfo.mem->max_memory_to_use = static_cast<long>(std::max(
        kMinLibraryMemory, std::max<std::int64_t>(fileSize, 0) * kCoefficientBytesPerFileByte));
    r.budget.manager.progress_monitor = onJpegProgress;
    r.budget.errors = &r.errors;
    r.budget.limit = kMinBlockScans + std::max<std::int64_t>(fileSize, 0) * kBlockScansPerFileByte;
    r.cinfo.progress = &r.budget.manager;
    jpeg_stdio_src(&r.cinfo, file);
    jpeg_save_markers(&r.cinfo, JPEG_APP0 + 1, 0xffff);
    jpeg_save_markers(&r.cinfo, JPEG_APP0 + 2, 0xffff);
    jpeg_save_markers(&r.cinfo, JPEG_APP0 + 13, 0xffff);
    jpeg_read_header(&r.cinfo, TRUE);
    readMetadata(r.cinfo, picture.metadata);

    int channels = 0;
    switch (r.cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE:
            r.cinfo.out_color_space = JCS_GRAYSCALE;
            channels = 1;
            break;
        case JCS_YCbCr:
        case JCS_RGB:
            r.cinfo.out_color_space = JCS_RGB;
            channels = 3;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            error = "CMYK JPEG pictures are not supported; convert to RGB first";
            return 0;
        default:
            error = "unsupported JPEG colour space";
            return 0;
    }
    if (!beginPicture(picture, r.cinfo.image_width, r.cinfo.image_height, channels, 8, fileSize,
                      error)) {
        return 0;
    }
    unsigned int profileLength = 0;
    if (jpeg_read_icc_profile(&r.cinfo, &r.profile, &profileLength) && r.profile != nullptr) {
        picture.iccProfile.assign(r.profile, r.profile + profileLength);
    }

    jpeg_start_decompress(&r.cinfo);
    if (static_cast<int>(r.cinfo.output_components) != channels ||
        static_cast<std::int64_t>(r.cinfo.output_width) != picture.width) {
        error = "unexpected JPEG output layout";
        return 0;
    }
    const std::int64_t stride = rowBytes(picture);
    while (r.cinfo.output_scanline < r.cinfo.output_height) {
        const std::int64_t y = r.cinfo.output_scanline;
        if (!ensureRows(picture, y + 1, error)) return 0;
        JSAMPROW row = picture.pixels.data() + y * stride;
        jpeg_read_scanlines(&r.cinfo, &row, 1);
    }
    // The rest of the file (normally just the end marker) carries no pixels;
    // a file cut right after the last scan still reads completely.
    return 1;
}

int encodeJpeg(JpegWriter& w, std::FILE* file, const Picture& picture) {
    if (setjmp(w.errors.jump) != 0) return -1;
    jpeg_create_compress(&w.cinfo);
    jpeg_stdio_dest(&w.cinfo, file);
    w.cinfo.image_width = static_cast<JDIMENSION>(picture.width);
    w.cinfo.image_height = static_cast<JDIMENSION>(picture.height);
    w.cinfo.input_components = picture.channels;
    w.cinfo.in_color_space = picture.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&w.cinfo);
    jpeg_set_quality(&w.cinfo, kJpegQuality, TRUE);
    if (picture.channels == 3) {
        // No chroma subsampling: thin coloured edges, which reflections are
        // full of, would bleed at half resolution.
        w.cinfo.comp_info[0].h_samp_factor = 1;
        w.cinfo.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&w.cinfo, TRUE);
    writeMetadata(&w.cinfo, picture.metadata);
    if (!picture.iccProfile.empty()) {
        jpeg_write_icc_profile(&w.cinfo, picture.iccProfile.data(),
                               static_cast<unsigned int>(picture.iccProfile.size()));
    }
    const std::int64_t stride = rowBytes(picture);
    while (w.cinfo.next_scanline < w.cinfo.image_height) {
        // libjpeg takes non-const rows but only reads them.
        JSAMPROW row = const_cast<std::uint8_t*>(picture.pixels.data()) +
                       static_cast<std::int64_t>(w.cinfo.next_scanline) * stride;
        jpeg_write_scanlines(&w.cinfo, &row, 1);
    }
    jpeg_finish_compress(&w.cinfo);
    return 1;
}

}  // namespace

bool jpegHolds(const Picture& picture, std::string& error) {
    if (picture.width <= JPEG_MAX_DIMENSION && picture.height <= JPEG_MAX_DIMENSION) return true;
    error = "JPEG files hold at most " + std::to_string(JPEG_MAX_DIMENSION) +
            " pixels on a side, and the picture is " + std::to_string(picture.width) + " x " +
            std::to_string(picture.height) + "; save as TIFF (.tif) instead";
    return false;
}

bool readJpeg(std::FILE* file, std::int64_t fileSize, Picture& picture, int& orientation,
              std::string& error) {
    orientation = 1;  // the EXIF block says it, read by the caller
    JpegReader reader;
    installErrorHandlers(reader.errors);
    reader.cinfo.err = &reader.errors.manager;
    const int result = decodeJpeg(reader, file, fileSize, picture, error);
    if (result < 0) {
        error = std::string("damaged or truncated JPEG (") + reader.errors.message + ")";
    }
    return result > 0;
}

bool writeJpeg(std::FILE* file, const Picture& picture, std::string& error) {
    // An APP2 profile is split into chunks of under 64 KiB, at most 255 of them.
    if (picture.iccProfile.size() > 255u * 65519u) {
        error = "the ICC profile is too large for JPEG";
        return false;
    }
    JpegWriter writer;
    installErrorHandlers(writer.errors);
    writer.cinfo.err = &writer.errors.manager;
    if (encodeJpeg(writer, file, picture) < 0) {
        error = std::string("cannot write JPEG: ") + writer.errors.message;
        return false;
    }
    return true;
}

}  // namespace mirel::host_app::codecs
