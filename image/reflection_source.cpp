// The reflection copy of a picture (see reflection_source.h): covered pixels take
// the values of their mirror images in the visible part.
#include "image/reflection_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mirel::image {
namespace {

double sideOf(const MirrorLine& line, double x, double y) {
    return line.nx * x + line.ny * y - line.offset;
}

// The sides of the first and last pixel centres across the line: the least and
// the largest of the four corner pixels' centres.
void sideRange(const MirrorLine& line, int width, int height, double& least, double& most) {
    const double xs[2] = {0.5, width - 0.5};
    const double ys[2] = {0.5, height - 0.5};
    least = most = sideOf(line, xs[0], ys[0]);
    for (double x : xs) {
        for (double y : ys) {
            least = std::min(least, sideOf(line, x, y));
            most = std::max(most, sideOf(line, x, y));
        }
    }
}

// Moves (x, y) along the line (direction (-ny, nx)) into the box of pixel
// centres; when the line through it misses the box, clamps it into the box.
void intoPicture(const MirrorLine& line, int width, int height, double& x, double& y) {
    const double lo[2] = {0.5, 0.5};
    const double hi[2] = {width - 0.5, height - 0.5};
    const double at[2] = {x, y};
    const double step[2] = {-line.ny, line.nx};
    double first = -HUGE_VAL, last = HUGE_VAL;
    for (int axis = 0; axis < 2; ++axis) {
        if (std::fabs(step[axis]) < 1e-12) {
            if (at[axis] < lo[axis] || at[axis] > hi[axis]) first = HUGE_VAL;
            continue;
        }
        double a = (lo[axis] - at[axis]) / step[axis];
        double b = (hi[axis] - at[axis]) / step[axis];
        if (a > b) std::swap(a, b);
        first = std::max(first, a);
        last = std::min(last, b);
    }
    if (first <= last) {
        const double s = std::clamp(0.0, first, last);
        x += s * step[0];
        y += s * step[1];
    }
    x = std::clamp(x, lo[0], hi[0]);
    y = std::clamp(y, lo[1], hi[1]);
}

}  // namespace

bool coveredByLine(const MirrorLine& line, int x, int y) {
    return sideOf(line, x + 0.5, y + 0.5) > 0.0;
}

namespace {

// How far the visible part of a width x height picture reaches from the line;
// 0 or less when nothing of it is visible.
double visibleDepth(const MirrorLine& line, int width, int height) {
    double least = 0.0, most = 0.0;
    sideRange(line, width, height, least, most);
    return -least;
}

// mirrorSourcePixel for a covered pixel `side` beyond the line, with the
// picture's visible depth worked out once.
void mirrorCoveredPixel(const MirrorLine& line, int width, int height, double depth, double side,
                        int x, int y, int& sourceX, int& sourceY) {
    // Fold the distance into 0..depth: a mirror at the line, and another at the
    // far side of the visible part when the covered part is the deeper one.
    double folded = std::fmod(side, 2.0 * depth);
    if (folded > depth) folded = 2.0 * depth - folded;
    double qx = x + 0.5 - (side + folded) * line.nx;
    double qy = y + 0.5 - (side + folded) * line.ny;
    intoPicture(line, width, height, qx, qy);

    int ix = std::clamp(static_cast<int>(std::floor(qx)), 0, width - 1);
    int iy = std::clamp(static_cast<int>(std::floor(qy)), 0, height - 1);
    // A point just before the line can round to a pixel whose centre lies
    // beyond it: step away from the line along the axis closest to its normal.
    for (int tries = 0; tries < 3 && coveredByLine(line, ix, iy); ++tries) {
        if (std::fabs(line.nx) >= std::fabs(line.ny)) {
            ix = std::clamp(ix - (line.nx > 0.0 ? 1 : -1), 0, width - 1);
        } else {
            iy = std::clamp(iy - (line.ny > 0.0 ? 1 : -1), 0, height - 1);
        }
    }
    sourceX = ix;
    sourceY = iy;
}

// The copy's pixels of `band`: runs of visible pixels copied row by row (a run
// never leaves a storage tile), covered pixels one by one from their mirror images.
void copyBand(const TiledImage& image, TiledImage& copy, const MirrorLine& line, double depth,
              const BandRect& band) {
    const int width = image.baseWidth, height = image.baseHeight;
    const auto bytes = static_cast<std::size_t>(image.bytesPerPixel);
    const int right = std::min(band.right, width), bottom = std::min(band.bottom, height);
    for (int y = std::max(band.top, 0); y < bottom; ++y) {
        int x = std::max(band.left, 0);
        while (x < right) {
            const double side = sideOf(line, x + 0.5, y + 0.5);
            if (!(side > 0.0)) {
                int end = x + 1;
                const int tileEnd = std::min(right, (x | kTileMask) + 1);
                while (end < tileEnd && !coveredByLine(line, end, y)) ++end;
                std::memcpy(pixelAddress(copy, x, y, 0), pixelAddress(image, x, y, 0),
                            bytes * static_cast<std::size_t>(end - x));
                x = end;
                continue;
            }
            int sx = x, sy = y;
            mirrorCoveredPixel(line, width, height, depth, side, x, y, sx, sy);
            std::memcpy(pixelAddress(copy, x, y, 0), pixelAddress(image, sx, sy, 0), bytes);
            ++x;
        }
    }
}

// The first row of a width x height picture with a pixel beyond the line
// (height when there is none). The covered pixels of a row lie at one of its
// ends, the line being straight.
int firstCoveredRow(const MirrorLine& line, int width, int height) {
    for (int y = 0; y < height; ++y)
        if (coveredByLine(line, 0, y) || coveredByLine(line, width - 1, y)) return y;
    return height;
}

}  // namespace

void mirrorSourcePixel(const MirrorLine& line, int width, int height, int x, int y, int& sourceX,
                       int& sourceY) {
    sourceX = x;
    sourceY = y;
    const double side = sideOf(line, x + 0.5, y + 0.5);
    if (!(side > 0.0)) return;
    const double depth = visibleDepth(line, width, height);
    if (!(depth > 0.0)) return;
    mirrorCoveredPixel(line, width, height, depth, side, x, y, sourceX, sourceY);
}

const TiledImage& reflectionSource(TiledImage& image, const MirrorLine& line,
                                   const JobRunner& run) {
    if (!hasTiles(image)) return image;
    ReflectionCache& cache = image.reflection;
    const double key[3] = {line.nx, line.ny, line.offset};
    if (cache.valid && std::memcmp(cache.key, key, sizeof key) == 0) {
        if (!cache.image) return image;
        // Only the first set-up of a render can find the edge mode changed.
        if (cache.image->edgeMode != image.edgeMode) cache.image->edgeMode = image.edgeMode;
        return *cache.image;
    }
    // The copy made for the last line, when there is one and level 0 has not
    // changed since: pixels visible under both lines hold the picture's own
    // values in both copies, so only rows from the first one either line covers
    // are copied again, and only what they feed of the pyramid is reduced again.
    const bool hadCopy = cache.valid && cache.image != nullptr;
    const MirrorLine lastLine{cache.key[0], cache.key[1], cache.key[2]};
    std::memcpy(cache.key, key, sizeof key);
    cache.valid = true;

    const int width = image.baseWidth, height = image.baseHeight;
    double least = 0.0, most = 0.0;
    sideRange(line, width, height, least, most);
    if (!(most > 0.0) || !(least <= 0.0)) {
        // Nothing covered, or nothing visible to mirror: the picture as it is.
        cache.image.reset();
        return image;
    }
    int firstRow = 0;
    if (!cache.image || cache.image->baseWidth != width || cache.image->baseHeight != height ||
        cache.image->format != image.format || !hasTiles(*cache.image)) {
        cache.image = create(width, height, image.format);
        if (!cache.image) return image;
    } else if (hadCopy) {
        firstRow = std::min(firstCoveredRow(lastLine, width, height),
                            firstCoveredRow(line, width, height));
    }
    TiledImage& copy = *cache.image;
    // Bands write only their own pixels of the copy and read only the image.
    const double depth = -least;
    if (firstRow < height)
        run(kJobReflectionCopy, BandRect{firstRow, 0, height, width},
            [&](const BandRect& band) { copyBand(image, copy, line, depth, band); });
    copy.edgeMode = image.edgeMode;
    rebuildPyramidBelow(copy, run, firstRow);
    return copy;
}

}  // namespace mirel::image
