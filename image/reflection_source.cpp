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

void mirrorSourcePixel(const MirrorLine& line, int width, int height, int x, int y, int& sourceX,
                       int& sourceY) {
    sourceX = x;
    sourceY = y;
    const double side = sideOf(line, x + 0.5, y + 0.5);
    if (!(side > 0.0)) return;
    double least = 0.0, most = 0.0;
    sideRange(line, width, height, least, most);
    const double depth = -least;  // how far the visible part reaches from the line
    if (!(depth > 0.0)) return;

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
    if (!cache.image || cache.image->baseWidth != width || cache.image->baseHeight != height ||
        cache.image->format != image.format || !hasTiles(*cache.image)) {
        cache.image = create(width, height, image.format);
        if (!cache.image) return image;
    }
    TiledImage& copy = *cache.image;
    const auto bytes = static_cast<std::size_t>(image.bytesPerPixel);
    // Every pixel of the copy is its own: the bands may be copied in any order.
    run(kJobReflectionCopy, BandRect{0, 0, height, width}, [&](const BandRect& band) {
        for (int y = band.top; y < band.bottom; ++y) {
            for (int x = band.left; x < band.right; ++x) {
                int sx = x, sy = y;
                mirrorSourcePixel(line, width, height, x, y, sx, sy);
                std::memcpy(pixelAddress(copy, x, y, 0), pixelAddress(image, sx, sy, 0), bytes);
            }
        }
    });
    copy.edgeMode = image.edgeMode;
    buildPyramid(copy, run);
    return copy;
}

}  // namespace mirel::image
