// The pixels of a PNG file deflated in bands of rows on several threads: each
// band's rows are filtered and compressed on their own, and the pieces joined
// into the one zlib stream that the file's IDAT chunks carry.
#pragma once

#include <cstdint>
#include <vector>

#include "apps/mirel/image_file.h"

namespace mirel::host_app::codecs {

// The zlib stream of `picture`'s rows as a non-interlaced PNG stores them (16-bit
// samples in the file's scale, big-endian), deflated at `level` in bands of
// rows on up to `threads` threads: the pieces, one after the other, are the
// stream, the same whatever the thread count. False when memory runs out.
bool deflatePngRows(const Picture& picture, int level, int threads,
                    std::vector<std::vector<std::uint8_t>>& pieces);

}  // namespace mirel::host_app::codecs
