// The PSD export: renders the effect at full quality at the picture's size or
// a chosen one and writes it as a layered document whose one layer, "layer 1",
// holds the result with its transparency. The options dialog and the command
// line both end here.
#pragma once

#include <cstdint>
#include <string>

#include "export/psd_writer.h"
#include "host/render_entry.h"
#include "settings/metadata.h"

namespace mirel {

struct FilterContext;

struct PsdExportOptions {
    // The document's size in pixels; 0 x 0 renders at the picture's own size.
    // The options dialog passes the numbers in its fields, already clamped.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // Optional: the render's progress, and the way to cancel it.
    ExportProgress progress;
};

// Renders the current settings and writes the document to `path`. The bytes
// per sample follow the host's picture (8-bit, 16-bit, 32-bit float); the
// host's ICC profile goes into the document when it offers one. Nothing is
// written unless everything succeeds, and an existing file at `path` is only
// ever replaced by a complete document. Returns:
//   0                        the document is written;
//   psd::kPsdUnsupported     a size the format cannot hold (sides 1 to 30000,
//                            and the 32-bit length fields of deep layers);
//   kResultSourceImageFailed the export image or the picture cannot be held in
//                            memory (the dialog ends quietly on it);
//   -128                     `progress` cancelled;
//   psd::kPsdWriteFailed     the file cannot be created or written;
//   a host error while the picture is read.
std::int16_t exportPsd(FilterContext& ctx, const PsdExportOptions& options,
                       const std::string& path);

// The document description of an export of `width` x `height` pixels from a
// picture whose samples take `bytesPerSample` bytes (1, 2 or 4).
psd::PsdExportSpec psdExportSpec(std::int32_t width, std::int32_t height,
                                 std::int32_t bytesPerSample);

// The keywords an export adds after the base one: "HDR" and "high dynamic
// range" for a 32-bit document, then the output mode's name unless it is the
// normal mode (1).
IptcKeywords exportKeywords(std::int32_t bytesPerSample, std::int32_t outputMode);

}  // namespace mirel
