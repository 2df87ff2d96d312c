// The reduced levels of a TiledImage: each level is the one above filtered with a
// fixed 6 x 6 kernel and taken at every second pixel.
#pragma once

#include <cstdint>
#include <functional>

#include "image/tiled_image.h"

namespace mirel::image {

// Destination rectangle of a reduction in pixels of the level being written;
// bottom and right exclusive.
struct BandRect {
    std::int32_t top = 0, left = 0, bottom = 0, right = 0;
};

// Job kinds of the pyramid's reductions on the tiled job driver.
constexpr std::int32_t kJobPyramidReduce = -1000;
constexpr std::int32_t kJobPyramidReduceAlt = -1001;

// Runs `body` once for every tile of `rect` (in image coordinates), possibly on
// several threads at once, and returns when all tiles are done. `kind` is the
// job kind the driver hands to every job.
using BandBody = std::function<void(const BandRect& tile)>;
using JobRunner =
    std::function<void(std::int32_t kind, const BandRect& rect, const BandBody& body)>;

// A runner on the tiled job driver (64 x 64 tiles, one thread per job); threadLimit 0
// uses the processor count.
JobRunner poolJobRunner(int threadLimit = 0);

// Builds levels 1 to lastLevel, each from the one before, and sets contentState
// to 2. Does nothing for an image without tiles.
void buildPyramid(TiledImage& image, const JobRunner& run);
// The same on the tiled job driver with the processor count.
void buildPyramid(TiledImage& image);
// The same after a change to rows firstChangedRow and below of level 0 only, the
// levels built before from the rows above: only the rows of each level that read
// changed rows are computed again. The result equals a whole build.
void rebuildPyramidBelow(TiledImage& image, const JobRunner& run, int firstChangedRow);

// Computes the pixels of `rect` (clipped to the level) of level sourceLevel + 1
// from level sourceLevel. Writes nothing else, so bands may run at the same time.
void reduceBand(TiledImage& image, int sourceLevel, const BandRect& rect);

}  // namespace mirel::image
