// The mip pyramid: each level is the one above filtered with a fixed 6 x 6 kernel
// and taken at every second pixel, one 64 x 64 band per worker job.
#include "image/pyramid.h"

#include <algorithm>
#include <cstring>

#include "render/worker_pool.h"

namespace mirel::image {
namespace {

// The kernel is 16 times the outer product of (1/16, 1, 4, 4, 1, 1/16) with
// itself, corners dropped. Scaled by 16 once more it is a_i * a_j with
// a = (1, 16, 64, 64, 16, 1), minus the four corner pixels once each; so a
// vertical pass with a, a horizontal pass with a and a corner correction give
// 16 times the exact integer sum of 32 weighted reads, with 12 reads per pixel.
constexpr int kTaps = 6;
constexpr std::int32_t kA[kTaps] = {1, 16, 64, 64, 16, 1};
// 16 x 1640, the kernel's weight sum times the extra factor of the passes.
constexpr std::int32_t kDivisor = 26240;
// Destination columns done per pass; the source span then fits on the stack of
// a worker (200000 bytes) many times over.
constexpr int kSpan = 64;
constexpr int kSourceSpan = 2 * kSpan + 4;

// Where the source columns of one span live: clamped into the level, so the
// edge repeats its outermost pixels.
struct SourceColumns {
    int count = 0;
    int tile[kSourceSpan];
    int offset[kSourceSpan];
};

void mapColumns(const TiledImage& image, int level, int x0, int x1, SourceColumns& columns) {
    columns.count = 2 * (x1 - x0) + 4;
    const int last = image.lastX[level];
    for (int j = 0; j < columns.count; ++j) {
        const int c = clampCoord(2 * x0 - 2 + j, last);
        columns.tile[j] = c >> kTileShift;
        columns.offset[j] = c & kTileMask;
    }
}

// Row i of the 6 source rows of destination row y: its tiles start at
// `tileBase` and the row starts `rowOffset` pixels into each tile.
struct SourceRow {
    const TileRecord* tileBase;
    std::size_t rowOffset;
};

void mapRows(const TiledImage& image, int level, int y, SourceRow rows[kTaps]) {
    const int last = image.lastY[level];
    for (int i = 0; i < kTaps; ++i) {
        const int r = clampCoord(2 * y - 2 + i, last);
        rows[i].tileBase = &image.tiles[image.firstTile[level] + (r >> kTileShift) * image.tilesPerRow[level]];
        rows[i].rowOffset = static_cast<std::size_t>(r & kTileMask) * kTileSize;
    }
}

template <typename Word>
const Word* sourcePixel(const SourceRow& row, const SourceColumns& columns, int j, int wordsPerPixel) {
    const Word* tile = reinterpret_cast<const Word*>(row.tileBase[columns.tile[j]].pixels.get());
    return tile + (row.rowOffset + static_cast<std::size_t>(columns.offset[j])) * wordsPerPixel;
}

// One destination row span for the integer formats. V holds the vertical pass
// per source column and channel, E the top plus bottom row (the corners).
template <SampleFormat kFormat>
void reduceSpanInteger(TiledImage& image, int d, int y, int x0, int x1, const SourceColumns& columns,
                       const SourceRow rows[kTaps]) {
    std::int32_t v[4][kSourceSpan];
    std::int32_t e[4][kSourceSpan];
    for (int j = 0; j < columns.count; ++j) {
        std::int32_t sum[4] = {}, edge[4] = {};
        for (int i = 0; i < kTaps; ++i) {
            std::int32_t ch[4];
            if constexpr (kFormat == SampleFormat::Rgba8) {
                std::uint32_t w;
                std::memcpy(&w, sourcePixel<std::uint32_t>(rows[i], columns, j, 1), sizeof w);
                ch[0] = static_cast<std::int32_t>(w >> 24);
                ch[1] = static_cast<std::int32_t>((w >> 16) & 255u);
                ch[2] = static_cast<std::int32_t>((w >> 8) & 255u);
                ch[3] = static_cast<std::int32_t>(w & 255u);
            } else {
                const std::uint16_t* p = sourcePixel<std::uint16_t>(rows[i], columns, j, 4);
                for (int c = 0; c < 4; ++c) ch[c] = p[c];
            }
            for (int c = 0; c < 4; ++c) sum[c] += kA[i] * ch[c];
            if (i == 0 || i == kTaps - 1) {
                for (int c = 0; c < 4; ++c) edge[c] += ch[c];
            }
        }
        for (int c = 0; c < 4; ++c) {
            v[c][j] = sum[c];
            e[c][j] = edge[c];
        }
    }
    // At most 26244 x 65535 before the division: fits in 32 bits.
    constexpr std::int32_t kMax = kFormat == SampleFormat::Rgba8 ? 255 : kFixedOne;
    for (int x = x0; x < x1; ++x) {
        const int j = 2 * (x - x0);
        std::uint32_t out[4];
        for (int c = 0; c < 4; ++c) {
            const std::int32_t t = v[c][j] + 16 * v[c][j + 1] + 64 * v[c][j + 2] + 64 * v[c][j + 3] +
                                   16 * v[c][j + 4] + v[c][j + 5] - e[c][j] - e[c][j + 5];
            out[c] = static_cast<std::uint32_t>(std::min(t / kDivisor, kMax));
        }
        std::uint8_t* target = pixelAddress(image, x, y, d);
        if constexpr (kFormat == SampleFormat::Rgba8) {
            const std::uint32_t w = packRgba8(out[0], out[1], out[2], out[3]);
            std::memcpy(target, &w, sizeof w);
        } else {
            const Rgba16Pixel p{static_cast<std::uint16_t>(out[0]), static_cast<std::uint16_t>(out[1]),
                                static_cast<std::uint16_t>(out[2]), static_cast<std::uint16_t>(out[3])};
            std::memcpy(target, &p, sizeof p);
        }
    }
}

// The float format: the same passes in double precision, so a uniform level
// keeps its value exactly; results are clamped into 0..65535 (NaN becomes 0).
void reduceSpanFloat(TiledImage& image, int d, int y, int x0, int x1, const SourceColumns& columns,
                     const SourceRow rows[kTaps]) {
    double v[4][kSourceSpan];
    double e[4][kSourceSpan];
    for (int j = 0; j < columns.count; ++j) {
        double sum[4] = {}, edge[4] = {};
        for (int i = 0; i < kTaps; ++i) {
            float ch[4];
            std::memcpy(ch, sourcePixel<float>(rows[i], columns, j, 4), sizeof ch);
            for (int c = 0; c < 4; ++c) sum[c] += kA[i] * static_cast<double>(ch[c]);
            if (i == 0 || i == kTaps - 1) {
                for (int c = 0; c < 4; ++c) edge[c] += ch[c];
            }
        }
        for (int c = 0; c < 4; ++c) {
            v[c][j] = sum[c];
            e[c][j] = edge[c];
        }
    }
    for (int x = x0; x < x1; ++x) {
        const int j = 2 * (x - x0);
        float out[4];
        for (int c = 0; c < 4; ++c) {
            const double t = v[c][j] + 16 * v[c][j + 1] + 64 * v[c][j + 2] + 64 * v[c][j + 3] +
                             16 * v[c][j + 4] + v[c][j + 5] - e[c][j] - e[c][j + 5];
            const double s = t / kDivisor;
            out[c] = s > 0.0 ? static_cast<float>(std::min(s, 65535.0)) : 0.0f;
        }
        std::memcpy(pixelAddress(image, x, y, d), out, sizeof out);
    }
}

}  // namespace

void reduceBand(TiledImage& image, int sourceLevel, const BandRect& rect) {
    const int d = sourceLevel + 1;
    if (!hasTiles(image) || sourceLevel < 0 || d > image.lastLevel) return;
    const int top = std::max(rect.top, 0);
    const int left = std::max(rect.left, 0);
    const int bottom = std::min(rect.bottom, image.levelHeight[d]);
    const int right = std::min(rect.right, image.levelWidth[d]);
    SourceColumns columns;
    SourceRow rows[kTaps];
    for (int x0 = left; x0 < right; x0 += kSpan) {
        const int x1 = std::min(x0 + kSpan, right);
        mapColumns(image, sourceLevel, x0, x1, columns);
        for (int y = top; y < bottom; ++y) {
            mapRows(image, sourceLevel, y, rows);
            switch (image.format) {
                case SampleFormat::Rgba8:
                    reduceSpanInteger<SampleFormat::Rgba8>(image, d, y, x0, x1, columns, rows);
                    break;
                case SampleFormat::Rgba16:
                    reduceSpanInteger<SampleFormat::Rgba16>(image, d, y, x0, x1, columns, rows);
                    break;
                case SampleFormat::RgbaFloat:
                    reduceSpanFloat(image, d, y, x0, x1, columns, rows);
                    break;
            }
        }
    }
}

JobRunner poolJobRunner(int threadLimit) {
    return [threadLimit](std::int32_t kind, const BandRect& rect, const BandBody& body) {
        render::TiledJobsRequest request;
        request.kind = kind;
        request.rect = {rect.top, rect.left, rect.bottom, rect.right};
        request.threadLimit = threadLimit;
        request.work = [&body](render::RenderJob& job) {
            const render::JobRect tile = render::imageTileRect(job);
            body(BandRect{tile.top, tile.left, tile.bottom, tile.right});
        };
        const render::TiledJobsResult result = render::runTiledJobs(request);
        // A run that could not start its jobs (no memory for a job record or a
        // slot) must not leave a level half built: finish it on this thread.
        if (result.finished < result.jobCount) body(rect);
    };
}

void buildPyramid(TiledImage& image, const JobRunner& run) {
    if (!hasTiles(image)) return;
    // Levels strictly in order: each reads only the complete level above it.
    for (int k = 1; k <= image.lastLevel; ++k) {
        const BandRect rect{0, 0, image.levelHeight[k], image.levelWidth[k]};
        const int source = k - 1;
        run(render::kJobPyramidReduce, rect,
            [&image, source](const BandRect& tile) { reduceBand(image, source, tile); });
    }
    image.contentState = kContentPyramidBuilt;
}

void buildPyramid(TiledImage& image) { buildPyramid(image, poolJobRunner()); }

}  // namespace mirel::image
