// The picture the reflection in the water reads: a copy in which the part that
// the water covers holds the mirror image of the part that stays visible, with a
// pyramid of its own, so that no read, filter tap or reduced level of the
// reflection brings in colour from the covered part.
#pragma once

#include "image/pyramid.h"
#include "image/tiled_image.h"

namespace mirel::image {

// A straight line across level 0, in pixel coordinates (pixel n spans n to
// n + 1): the pixel centred at P is covered when nx P.x + ny P.y > offset.
// (nx, ny) is a unit vector pointing into the covered part.
struct MirrorLine {
    double nx = 0.0, ny = 1.0;
    double offset = 0.0;
};

// Whether pixel (x, y) of level 0 lies beyond the line.
bool coveredByLine(const MirrorLine& line, int x, int y);

// The visible pixel of a width x height picture whose value the covered pixel
// (x, y) takes: its mirror image across the line, folded back and forth between
// the line and the far side of the visible part when the covered part is the
// deeper one, and moved along the line into the picture. A visible pixel is its
// own source.
void mirrorSourcePixel(const MirrorLine& line, int width, int height, int x, int y, int& sourceX,
                       int& sourceY);

// The job kind of the copy's bands of level 0.
constexpr std::int32_t kJobReflectionCopy = -1002;

// The reflection copy of `image` for `line`. It is kept with the image: the
// first call for a line copies level 0 with the covered pixels replaced and
// builds the copy's pyramid, both with `run`; later calls for the same line, until the
// image's level 0 changes, only read. The image itself when no pixel is covered,
// when nothing is visible, or when the copy cannot be allocated. The copy takes
// the image's edge mode.
const TiledImage& reflectionSource(TiledImage& image, const MirrorLine& line, const JobRunner& run);

}  // namespace mirel::image
