// Writes a layered PSD document: header, colour mode data, image resources,
// layer and mask information (by depth) with the one layer "layer 1", and the
// merged image over the checkerboard.
#pragma once

#include <cstdint>
#include <string>

#include "export/big_endian_writer.h"
#include "export/psd_layout.h"
#include "image/tiled_image.h"

namespace mirel::psd {

// Results, as the filter's result codes.
constexpr std::int16_t kPsdWritten = 0;
constexpr std::int16_t kPsdWriteFailed = -20;  // the file could not be made or written
constexpr std::int16_t kPsdUnsupported = -50;  // a size or depth the format cannot hold

// Writes the whole document into `out`. `layer` holds the layer at level 0:
// the document's width x height pixels in the format of its depth (red, green,
// blue, transparency; 16-bit on the 32768 scale). Checks the document before
// the first byte: kPsdUnsupported and nothing written when it does not fit the
// format or the layer's size or format is not the document's.
std::int16_t writePsd(BigEndianWriter& out, const PsdExportSpec& spec, const PsdMetadata& metadata,
                      const image::TiledImage& layer);

// The document written to a new file beside `path` and renamed over it once
// complete: after a failure the old file at `path`, if any, is unchanged and
// no partial file is left.
std::int16_t writePsdFile(const std::string& path, const PsdExportSpec& spec,
                          const PsdMetadata& metadata, const image::TiledImage& layer);

}  // namespace mirel::psd
