// Pixel evaluation over a tile's cell grid: the corner pass, then per pixel one
// area sample where the corners agree, or an area-weighted blend across a
// straight boundary, or a supersampling pattern where they do not.
#include "render/cells.h"

#include <cmath>
#include <cstring>
#include <type_traits>

#include "image/footprint.h"
#include "render/shading.h"

namespace mirel::render {
namespace {

constexpr float kRegionKeyScale = 0.707192f;
constexpr float kOutsideKeyScale = 3.1415925f;
constexpr int kBisectionSteps = 6;
constexpr int kMaxPatternSamples = 25;

enum CornerIndex { kTopLeft = 0, kTopRight = 1, kBottomLeft = 2, kBottomRight = 3 };

// How the four corners of a pixel fall into regions.
enum class Split {
    Uniform,
    TopBottom,  // top-left = top-right and bottom-left = bottom-right
    LeftRight,  // top-left = bottom-left and top-right = bottom-right
    CornerTopLeft,
    CornerTopRight,
    CornerBottomLeft,
    CornerBottomRight,
    Unclassified,
};

// The surface samples one pixel has taken, by position: the edge blend and the
// supersampling patterns share some positions (the centre, the edge midpoints),
// and a second sample there would give the same cell, since every sample of a
// pixel uses the pixel's seed and the footprint cache keeps the first size
// measured with it.
struct ProbeMemo {
    static constexpr int kCapacity = 16;
    double x[kCapacity], y[kCapacity];
    CellRecord cells[kCapacity];
    int count = 0;
};

// The per-pixel work record: the four corners, their keys and positions.
struct PixelWork {
    const CellRecord* corner[4] = {};
    float key[4] = {};
    double x[4] = {}, y[4] = {};  // rendered positions of the corners
    std::int32_t a = 0, b = 0;
    std::int32_t seed = 0;
    int flags = 0;              // 1: left and right differ; 2: top and bottom differ
    ProbeMemo* memo = nullptr;  // samples taken so far, when the caller keeps them
};

const CellRecord& outsideCell() {
    static const CellRecord cell = [] {
        CellRecord c{};
        c.kind = kKindOutsideGrid;
        c.regionTag = kRegionOutsideGrid;
        c.outside = 0;
        return c;
    }();
    return cell;
}

float keyOf(const CellRecord& cell) {
    return cornerKey(cell.kind, cell.regionTag, cell.outside);
}

PixelWork gatherCorners(const TileCells& tile, std::int32_t a, std::int32_t b) {
    PixelWork work;
    work.a = a;
    work.b = b;
    work.seed = sampleSeed(a, b);
    const std::int32_t columns[4] = {a - 1, a, a - 1, a};
    const std::int32_t rows[4] = {b - 1, b - 1, b, b};
    for (int k = 0; k < 4; ++k) {
        const CellRecord* cell = cellAt(tile, columns[k], rows[k]);
        work.corner[k] = cell ? cell : &outsideCell();
        work.key[k] = keyOf(*work.corner[k]);
        work.x[k] = columns[k];
        work.y[k] = rows[k];
    }
    const float* k = work.key;
    if (k[kTopLeft] != k[kTopRight] || k[kBottomLeft] != k[kBottomRight]) work.flags |= 1;
    if (k[kTopLeft] != k[kBottomLeft] || k[kTopRight] != k[kBottomRight]) work.flags |= 2;
    return work;
}

Split classify(const PixelWork& work) {
    const float* k = work.key;
    const bool top = k[kTopLeft] == k[kTopRight];
    const bool bottom = k[kBottomLeft] == k[kBottomRight];
    const bool left = k[kTopLeft] == k[kBottomLeft];
    const bool right = k[kTopRight] == k[kBottomRight];
    if (top && bottom && left) return Split::Uniform;
    if (top && bottom) return Split::TopBottom;
    if (left && right) return Split::LeftRight;
    // One corner unlike the other three: the other three share one key.
    if (right && bottom) return Split::CornerTopLeft;  // TR = BR = BL
    if (left && bottom) return Split::CornerTopRight;  // TL = BL = BR
    if (top && right) return Split::CornerBottomLeft;  // TL = TR = BR
    if (top && left) return Split::CornerBottomRight;  // TL = TR = BL
    return Split::Unclassified;
}

bool sampleable(std::int32_t kind) {
    return kind > 1 && kind != kKindComplexPending;
}

float blurFraction(float radius) {
    if (!(radius > 0.0f)) return 0.0f;  // NaN too
    return radius < 1.0f ? radius : 1.0f;
}

bool dry(std::int32_t kind) {
    return kind == kKindSimpleDry || kind == kKindComplexDry;
}

// Reads the source picture for `cell` through the area lookup and shades it.
// Samples with nothing to read are transparent black.
image::Rgba readAndShade(RenderContext& context, const CellRecord& cell,
                         const image::Footprint& footprint, bool jitter) {
    if (!sampleable(cell.kind) || !context.source || !image::hasTiles(*context.source)) {
        return image::Rgba{};
    }
    // Water reflects the copy whose covered part mirrors the visible one; a dry
    // sample shows the picture itself, and at full size its own pixel unfiltered
    // (the sample sits on the pixel's corner, which a filtered read would blend
    // with the three pixels around it).
    const bool drySample = dry(cell.kind);
    const image::TiledImage& image =
        !drySample && context.reflection ? *context.reflection : *context.source;
    const float detail = drySample ? image::kFullSizeDetail : 0.0f;
    image::LookupParams params = context.lookup;
    params.pointMode = 0;
    params.blurFraction = blurFraction(cell.blurRadius);
    params.isoBlurFraction = 0.0f;
    params.spreadVectors.enabled = cell.hasSpread != 0;
    params.spreadVectors.a = image::Vec2{cell.spreadU[0], cell.spreadU[1]};
    params.spreadVectors.b = image::Vec2{cell.spreadV[0], cell.spreadV[1]};
    params.clipLine.enabled = false;
    params.jitter = jitter;
    if (!params.noise) params.noise = context.noise;
    image::Rgba colour =
        image::lookupArea(image, cell.sourceU, cell.sourceV, footprint, params, detail);
    shadeSample(colour, cell, context);
    return colour;
}

image::Vec2 sourceOf(const CellRecord& cell) {
    return image::Vec2{cell.sourceU, cell.sourceV};
}

// A neighbour one pixel step away from `own`, made from the step between two
// corners of the sample's own region: along the row (horizontal) or the column.
bool cornerNeighbour(const PixelWork& work, float key, bool horizontal, image::Vec2 own,
                     image::Vec2& neighbour) {
    static constexpr int kRowPairs[2][2] = {{kTopLeft, kTopRight}, {kBottomLeft, kBottomRight}};
    static constexpr int kColumnPairs[2][2] = {{kTopLeft, kBottomLeft}, {kTopRight, kBottomRight}};
    for (const auto& pair : horizontal ? kRowPairs : kColumnPairs) {
        if (work.key[pair[0]] == key && work.key[pair[1]] == key) {
            const image::Vec2 p = sourceOf(*work.corner[pair[0]]);
            const image::Vec2 q = sourceOf(*work.corner[pair[1]]);
            neighbour = image::Vec2{own.x - (q.x - p.x), own.y - (q.y - p.y)};
            return true;
        }
    }
    return false;
}

// Footprint of a sample at a corner or an edge point: the steps between the
// corners of its region, one along the row and one along the column.
image::Footprint regionFootprint(const PixelWork& work, const CellRecord& cell) {
    image::Footprint footprint;
    footprint.own = sourceOf(cell);
    const float key = keyOf(cell);
    image::Vec2 n;
    if (cornerNeighbour(work, key, true, footprint.own, n)) footprint.neighbour1 = n;
    if (cornerNeighbour(work, key, false, footprint.own, n)) footprint.neighbour2 = n;
    return footprint;
}

// One area sample from the pixel's own corner cell (a, b).
image::Rgba areaSample(RenderContext& context, const PixelWork& work, bool jitter) {
    const CellRecord& cell = *work.corner[kBottomRight];
    image::Footprint footprint;
    footprint.own = sourceOf(cell);
    const float key = work.key[kBottomRight];
    if (work.key[kBottomLeft] == key) footprint.neighbour1 = sourceOf(*work.corner[kBottomLeft]);
    if (work.key[kTopRight] == key) footprint.neighbour2 = sourceOf(*work.corner[kTopRight]);
    ++context.stats.areaSamples;
    return readAndShade(context, cell, footprint, jitter);
}

bool allComplexWater(const PixelWork& work) {
    for (const CellRecord* corner : work.corner) {
        if (corner->kind != kKindComplexWater) return false;
    }
    return true;
}

// A Complex water pixel: the mean of the area samples of its four corners. The
// waves there change from one pixel to the next, so that one corner's normal,
// and with it the share of the reflection, the glint and the sparkle, stands
// badly for the whole pixel: single samples show as lone bright or dark pixels
// and as dotted crest lines. Each corner reads with the footprint of its own
// neighbours to the left and above (to the right or below at the grid's edge),
// so two pixels sharing a corner take the same sample of it. Whether a corner's
// reflection lies inside the picture or above it does not matter here: the
// water is continuous across that line.
image::Rgba cornerMean(RenderContext& context, const TileCells& tile, const PixelWork& work) {
    const std::int32_t columns[4] = {work.a - 1, work.a, work.a - 1, work.a};
    const std::int32_t rows[4] = {work.b - 1, work.b - 1, work.b, work.b};
    double sumR = 0.0, sumG = 0.0, sumB = 0.0, sumA = 0.0;
    for (int k = 0; k < 4; ++k) {
        // The sample depends on the corner and its neighbours alone: the first pixel
        // that takes it keeps it in the corner's cell for the other three.
        CellRecord& cell = *cellAt(tile, columns[k], rows[k]);
        if (!cell.cornerColourTaken) {
            image::Footprint footprint;
            footprint.own = sourceOf(cell);
            const CellRecord* across = cellAt(tile, columns[k] - 1, rows[k]);
            if (!across) across = cellAt(tile, columns[k] + 1, rows[k]);
            const CellRecord* down = cellAt(tile, columns[k], rows[k] - 1);
            if (!down) down = cellAt(tile, columns[k], rows[k] + 1);
            if (across && across->kind == cell.kind) footprint.neighbour1 = sourceOf(*across);
            if (down && down->kind == cell.kind) footprint.neighbour2 = sourceOf(*down);
            ++context.stats.areaSamples;
            const image::Rgba taken = readAndShade(context, cell, footprint, false);
            cell.cornerColour[0] = taken.r;
            cell.cornerColour[1] = taken.g;
            cell.cornerColour[2] = taken.b;
            cell.cornerColour[3] = taken.a;
            cell.cornerColourTaken = 1;
        }
        const image::Rgba c{cell.cornerColour[0], cell.cornerColour[1], cell.cornerColour[2],
                            cell.cornerColour[3]};
        sumR += static_cast<double>(c.r) * c.a;
        sumG += static_cast<double>(c.g) * c.a;
        sumB += static_cast<double>(c.b) * c.a;
        sumA += c.a;
    }
    if (!(sumA > 0.0)) return image::Rgba{};
    return image::Rgba{static_cast<float>(sumR / sumA), static_cast<float>(sumG / sumA),
                       static_cast<float>(sumB / sumA), static_cast<float>(sumA / 4.0)};
}

// The surface at (x, y) evaluated into `cell` with the pixel's seed. With `untilWater`,
// for a caller that needs to know no more than whether the point lies on Complex water:
// true as soon as it does (that partial sample is not kept). Otherwise false, with the
// whole sample in `cell`, kept for the pixel's later samples at the same place.
bool probe(RenderContext& context, const PixelWork& work, double x, double y, CellRecord& cell,
           bool untilWater = false) {
    ProbeMemo* memo = work.memo;
    if (memo) {
        for (int k = 0; k < memo->count; ++k) {
            if (memo->x[k] == x && memo->y[k] == y) {
                cell = memo->cells[k];
                return untilWater && cell.kind == kKindComplexWater;
            }
        }
    }
    cell = CellRecord{};
    cell.sampleLevel = -1;
    if (untilWater) {
        if (evaluateSampleUnlessWater(x, y, context, cell, work.seed)) return true;
    } else {
        evaluateSample(x, y, context, cell, work.seed);
    }
    if (memo && memo->count < ProbeMemo::kCapacity) {
        const int k = memo->count++;
        memo->x[k] = x;
        memo->y[k] = y;
        memo->cells[k] = cell;
    }
    return false;
}

// Bisection of the boundary along the edge from corner c0 to corner c1: the
// parameter (0 at c0, 1 at c1) of the last of six midpoints. False when a
// midpoint belongs to neither end's region.
bool bisectEdge(RenderContext& context, const PixelWork& work, int c0, int c1, double& t) {
    double low = 0.0, high = 1.0, middle = 0.5;
    CellRecord cell;
    for (int step = 0; step < kBisectionSteps; ++step) {
        middle = 0.5 * (low + high);
        probe(context, work, work.x[c0] + (work.x[c1] - work.x[c0]) * middle,
              work.y[c0] + (work.y[c1] - work.y[c0]) * middle, cell);
        const float key = keyOf(cell);
        if (key == work.key[c0]) {
            low = middle;
        } else if (key == work.key[c1]) {
            high = middle;
        } else {
            return false;
        }
    }
    t = middle;
    return true;
}

// A point sample of the region with key `key` at an edge midpoint (x, y);
// false when the point lies in another region.
bool edgePointSample(RenderContext& context, const PixelWork& work, double x, double y, float key,
                     image::Rgba& colour) {
    CellRecord cell;
    probe(context, work, x, y, cell);
    if (keyOf(cell) != key) return false;
    ++context.stats.pointSamples;
    colour = readAndShade(context, cell, regionFootprint(work, cell), false);
    return true;
}

image::Rgba cornerPointSample(RenderContext& context, const PixelWork& work, int corner) {
    const CellRecord& cell = *work.corner[corner];
    ++context.stats.pointSamples;
    return readAndShade(context, cell, regionFootprint(work, cell), false);
}

// Alpha-aware blend of the two sides; w is the share of the pixel's area on side 2.
image::Rgba blendSides(const image::Rgba& c1, const image::Rgba& c2, double w) {
    const double alpha = c1.a + (c2.a - c1.a) * w;
    if (!(alpha > 0.0)) return image::Rgba{};
    const double weight = c2.a * w / (c1.a * (1.0 - w) + c2.a * w);
    image::Rgba out;
    out.r = static_cast<float>(c1.r + (c2.r - c1.r) * weight);
    out.g = static_cast<float>(c1.g + (c2.g - c1.g) * weight);
    out.b = static_cast<float>(c1.b + (c2.b - c1.b) * weight);
    out.a = static_cast<float>(alpha);
    return out;
}

bool edgeBlend(RenderContext& context, const PixelWork& work, Split split, image::Rgba& out) {
    const double cx = work.a - 0.5, cy = work.b - 0.5;
    double t1 = 0.0, t2 = 0.0;
    image::Rgba side1, side2;
    double w = 0.0;  // share of side 2
    switch (split) {
        case Split::TopBottom:
            if (!bisectEdge(context, work, kTopLeft, kBottomLeft, t1) ||
                !bisectEdge(context, work, kTopRight, kBottomRight, t2) ||
                !edgePointSample(context, work, cx, work.b - 1.0, work.key[kTopLeft], side1) ||
                !edgePointSample(context, work, cx, work.b, work.key[kBottomLeft], side2)) {
                return false;
            }
            w = 1.0 - 0.5 * (t1 + t2);
            break;
        case Split::LeftRight:
            if (!bisectEdge(context, work, kTopLeft, kTopRight, t1) ||
                !bisectEdge(context, work, kBottomLeft, kBottomRight, t2) ||
                !edgePointSample(context, work, work.a - 1.0, cy, work.key[kTopLeft], side1) ||
                !edgePointSample(context, work, work.a, cy, work.key[kTopRight], side2)) {
                return false;
            }
            w = 1.0 - 0.5 * (t1 + t2);
            break;
        default: {
            // One corner unlike the others: a triangle cut off at that corner.
            int odd = kTopLeft, alongRow = kTopRight, alongColumn = kBottomLeft,
                opposite = kBottomRight;
            if (split == Split::CornerTopRight) {
                odd = kTopRight, alongRow = kTopLeft, alongColumn = kBottomRight,
                opposite = kBottomLeft;
            } else if (split == Split::CornerBottomLeft) {
                odd = kBottomLeft, alongRow = kBottomRight, alongColumn = kTopLeft,
                opposite = kTopRight;
            } else if (split == Split::CornerBottomRight) {
                odd = kBottomRight, alongRow = kBottomLeft, alongColumn = kTopRight,
                opposite = kTopLeft;
            }
            if (!bisectEdge(context, work, odd, alongRow, t1) ||
                !bisectEdge(context, work, odd, alongColumn, t2)) {
                return false;
            }
            side1 = cornerPointSample(context, work, odd);
            side2 = cornerPointSample(context, work, opposite);
            w = 1.0 - 0.5 * t1 * t2;
            break;
        }
    }
    out = blendSides(side1, side2, w);
    return true;
}

SamplePattern patternFor(int flags) {
    switch (flags) {
        case 1:
            return SamplePattern::Across17;
        case 2:
            return SamplePattern::Down17;
        case 3:
            return SamplePattern::Grid5x5;
        default:
            return SamplePattern::Single;
    }
}

image::Rgba supersample(RenderContext& context, const PixelWork& work, SamplePattern pattern) {
    int nx = 1, ny = 1;
    double step = 0.0;
    switch (pattern) {
        case SamplePattern::Single:
            ++context.stats.singleSample;
            break;
        case SamplePattern::Across17:
            nx = 17, step = 1.0 / 16.0;
            ++context.stats.across17;
            break;
        case SamplePattern::Down17:
            ny = 17, step = 1.0 / 16.0;
            ++context.stats.down17;
            break;
        case SamplePattern::Grid5x5:
            nx = ny = 5, step = 0.25;
            ++context.stats.grid5x5;
            break;
        case SamplePattern::Grid2x2:
            nx = ny = 2, step = 0.5;
            ++context.stats.grid2x2;
            break;
    }
    CellRecord samples[kMaxPatternSamples];
    float keys[kMaxPatternSamples];
    const double cx = work.a - 0.5, cy = work.b - 0.5;
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            const int n = j * nx + i;
            probe(context, work, cx + (i - 0.5 * (nx - 1)) * step, cy + (j - 0.5 * (ny - 1)) * step,
                  samples[n]);
            keys[n] = keyOf(samples[n]);
        }
    }

    // Neighbour of sample n in the pattern along one axis: the next sample of
    // the same region, else the previous one.
    auto patternNeighbour = [&](int n, int index, int count, int stride, image::Vec2& out) {
        if (count < 2) return false;
        const int candidates[2] = {index + 1 < count ? n + stride : -1,
                                   index > 0 ? n - stride : -1};
        for (int c : candidates) {
            if (c >= 0 && keys[c] == keys[n]) {
                out = sourceOf(samples[c]);
                return true;
            }
        }
        return false;
    };

    double sumR = 0.0, sumG = 0.0, sumB = 0.0, sumA = 0.0;
    const int count = nx * ny;
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            const int n = j * nx + i;
            image::Footprint footprint;
            footprint.own = sourceOf(samples[n]);
            image::Vec2 neighbour;
            if (patternNeighbour(n, i, nx, 1, neighbour) ||
                cornerNeighbour(work, keys[n], true, footprint.own, neighbour)) {
                footprint.neighbour1 = neighbour;
            }
            if (patternNeighbour(n, j, ny, nx, neighbour) ||
                cornerNeighbour(work, keys[n], false, footprint.own, neighbour)) {
                footprint.neighbour2 = neighbour;
            }
            ++context.stats.pointSamples;
            const image::Rgba c = readAndShade(context, samples[n], footprint, false);
            sumR += static_cast<double>(c.r) * c.a;
            sumG += static_cast<double>(c.g) * c.a;
            sumB += static_cast<double>(c.b) * c.a;
            sumA += c.a;
        }
    }
    if (!(sumA > 0.0)) return image::Rgba{};
    image::Rgba out;
    out.r = static_cast<float>(sumR / sumA);
    out.g = static_cast<float>(sumG / sumA);
    out.b = static_cast<float>(sumB / sumA);
    out.a = static_cast<float>(sumA / count);
    return out;
}

float finiteOrZero(float x) {
    return std::isfinite(x) ? x : 0.0f;
}

}  // namespace

int qualityFor(const RenderContext& context) {
    if (context.destination == kDestinationPreview) {
        return context.isSimple ? kQualitySingle : kQualityJittered;
    }
    return kQualityAdaptive;
}

TileCells tileCells(CellRecord* cells, std::int32_t columnStart, std::int32_t rowStart,
                    std::int32_t columnEnd, std::int32_t rowEnd) {
    TileCells tile;
    tile.cells = cells;
    tile.columnStart = columnStart;
    tile.rowStart = rowStart;
    tile.columnEnd = columnEnd > columnStart ? columnEnd : columnStart;
    tile.rowEnd = rowEnd > rowStart ? rowEnd : rowStart;
    tile.columns = tile.columnEnd - tile.columnStart + 2;
    tile.rows = tile.rowEnd - tile.rowStart + 2;
    return tile;
}

CellRecord* cellAt(const TileCells& tile, std::int32_t column, std::int32_t row) {
    if (!tile.cells) return nullptr;
    const std::int64_t g = static_cast<std::int64_t>(column) - tile.columnStart + 1;
    const std::int64_t r = static_cast<std::int64_t>(row) - tile.rowStart + 1;
    if (g < 0 || r < 0 || g >= tile.columns || r >= tile.rows) return nullptr;
    return tile.cells + (r * tile.columns + g);
}

float cornerKey(std::int32_t kind, std::int32_t regionTag, std::int32_t outside) {
    return static_cast<float>(regionTag) * kRegionKeyScale + static_cast<float>(kind) +
           static_cast<float>(outside) * kOutsideKeyScale;
}

void evaluateCorners(RenderContext& context, const TileCells& tile) {
    // The corners go to the surface in row order, a batch at a time.
    SampleRequest batch[kSampleBatch];
    int queued = 0;
    for (std::int32_t i = tile.rowStart - 1; i < tile.rowEnd; ++i) {
        for (std::int32_t j = tile.columnStart - 1; j < tile.columnEnd; ++j) {
            CellRecord* cell = cellAt(tile, j, i);
            if (!cell) continue;
            *cell = CellRecord{};
            cell->sampleLevel = -1;
            batch[queued++] = SampleRequest{static_cast<double>(j), static_cast<double>(i), cell,
                                            sampleSeed(j, i)};
            if (queued == kSampleBatch) {
                evaluateSamples(batch, queued, context);
                queued = 0;
            }
        }
    }
    evaluateSamples(batch, queued, context);
}

namespace {

// evaluatePixel of the pixel whose corners `work` holds, with the check of its centre
// when it was taken ahead.
image::Rgba evaluatePixelChecked(RenderContext& context, const TileCells& tile, PixelWork work,
                                 int quality, const WaterCheck* centreAhead) {
    const std::int32_t a = work.a, b = work.b;
    if (quality != kQualityAdaptive) {
        ++context.stats.singleSample;
        return areaSample(context, work, quality == kQualityJittered);
    }

    ProbeMemo memo;
    work.memo = &memo;
    bool fullSampling = false;
    // All four corners on Complex water (whether their reflections fall inside
    // the picture or above it): unless the centre shows otherwise, the pixel is
    // the mean of its corners.
    const bool water = allComplexWater(work);
    if (work.flags == 0 || water) {
        // Corners alike: a feature smaller than the pixel may still hide inside.
        CellRecord centre;
        if (!water) {
            probe(context, work, a - 0.5, b - 0.5, centre);
        } else if ((centreAhead && takeWaterCheck(context, *centreAhead, work.seed)) ||
                   probe(context, work, a - 0.5, b - 0.5, centre, true)) {
            // Whether the centre lies on the water too is all the corners' mean needs to
            // know: the rest of the centre's sample is never worked out.
            ++context.stats.singleSample;
            return cornerMean(context, tile, work);
        }
        const CellRecord& own = *work.corner[kBottomRight];
        if (work.flags == 0) {
            if (centre.kind == own.kind && centre.regionTag == own.regionTag &&
                centre.outside == own.outside) {
                ++context.stats.singleSample;
                return areaSample(context, work, false);
            }
            work.flags = 3;
            fullSampling = true;
        }
    }

    const Split split = classify(work);
    if (!fullSampling && split != Split::Uniform && split != Split::Unclassified) {
        ++context.stats.edgeBlendsTried;
        image::Rgba out;
        if (edgeBlend(context, work, split, out)) return out;
        ++context.stats.edgeBlendsFailed;
    }
    return supersample(context, work, patternFor(work.flags));
}

}  // namespace

image::Rgba evaluatePixel(RenderContext& context, const TileCells& tile, std::int32_t a,
                          std::int32_t b, int quality) {
    return evaluatePixelChecked(context, tile, gatherCorners(tile, a, b), quality, nullptr);
}

image::Rgba supersamplePixel(RenderContext& context, const TileCells& tile, std::int32_t a,
                             std::int32_t b, SamplePattern pattern) {
    return supersample(context, gatherCorners(tile, a, b), pattern);
}

void evaluatePixels(RenderContext& context, const TileCells& tile, int quality) {
    // The pixels go a batch at a time; the centres of the batch's Complex water pixels are
    // checked ahead, side by side, and each check is taken in its pixel's turn where it
    // stands.
    const bool checkAhead = quality == kQualityAdaptive && !context.isSimple;
    PixelWork works[kSampleBatch];
    SampleRequest requests[kSampleBatch];
    WaterCheck checks[kSampleBatch];
    const WaterCheck* ahead[kSampleBatch] = {};
    for (std::int32_t b = tile.rowStart; b < tile.rowEnd; ++b) {
        for (std::int32_t a = tile.columnStart; a < tile.columnEnd; ++a) {
            const std::int32_t slot = (a - tile.columnStart) % kSampleBatch;
            if (slot == 0) {
                int count = 0;
                for (std::int32_t k = 0; k < kSampleBatch && a + k < tile.columnEnd; ++k) {
                    works[k] = gatherCorners(tile, a + k, b);
                    ahead[k] = nullptr;
                    if (!checkAhead || !allComplexWater(works[k])) continue;
                    requests[count] =
                        SampleRequest{a + k - 0.5, b - 0.5, nullptr, sampleSeed(a + k, b)};
                    ahead[k] = &checks[count++];
                }
                checkSamplesOnWater(requests, count, context, checks);
            }
            image::Rgba colour =
                evaluatePixelChecked(context, tile, works[slot], quality, ahead[slot]);
            colour.r = finiteOrZero(colour.r);
            colour.g = finiteOrZero(colour.g);
            colour.b = finiteOrZero(colour.b);
            colour.a = finiteOrZero(colour.a);
            CellRecord* cell = cellAt(tile, a, b);
            drawOverlays(colour, a, b, cell, context);
            if (cell) {
                cell->pixelColour[0] = colour.r;
                cell->pixelColour[1] = colour.g;
                cell->pixelColour[2] = colour.b;
                cell->pixelColour[3] = colour.a;
            }
        }
    }
}

void renderTileCells(RenderContext& context, const TileCells& tile) {
    // evaluateCorners writes every cell but those of the grid's last column and row, which
    // lie past the tile's last corners: cleared here as a fresh grid has them.
    static_assert(std::is_trivially_copyable_v<CellRecord>);
    if (tile.cells && tile.columns > 0 && tile.rows > 0) {
        for (std::int32_t r = 0; r < tile.rows; ++r)
            std::memset(static_cast<void*>(tile.cells +
                                           (std::int64_t(r) * tile.columns + tile.columns - 1)),
                        0, sizeof(CellRecord));
        std::memset(static_cast<void*>(tile.cells + std::int64_t(tile.rows - 1) * tile.columns), 0,
                    sizeof(CellRecord) * std::size_t(tile.columns));
    }
    evaluateCorners(context, tile);
    evaluatePixels(context, tile, qualityFor(context));
}

}  // namespace mirel::render
