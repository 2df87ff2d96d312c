// The mip pyramid: each level is the one above filtered with a fixed 6 x 6 kernel
// and taken at every second pixel, one 64 x 64 band per worker job.
#include "image/pyramid.h"

#include <algorithm>
#include <cstring>

#include "jobs/tiled_jobs.h"

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
// Sums are divided to the nearest level: truncating would make every level
// half a level darker than the one it is made from, which in 8 bits adds up to
// a visibly darker reflection than the same picture gives in 16 bits.
constexpr std::uint32_t kRoundingHalf = kDivisor / 2;
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
    // The usual case: every column inside the level and inside one tile, so a
    // source row is one run of pixels (else -1).
    int runTile = -1;
};

void mapColumns(const TiledImage& image, int level, int x0, int x1, SourceColumns& columns) {
    columns.count = 2 * (x1 - x0) + 4;
    const int last = image.lastX[level];
    for (int j = 0; j < columns.count; ++j) {
        const int c = clampCoord(2 * x0 - 2 + j, last);
        columns.tile[j] = c >> kTileShift;
        columns.offset[j] = c & kTileMask;
    }
    const int first = 2 * x0 - 2, end = first + columns.count - 1;
    columns.runTile = first >= 0 && end <= last && (first >> kTileShift) == (end >> kTileShift)
                          ? columns.tile[0]
                          : -1;
}

// Pixel j of a source row starting `offset` pixels into each of its tiles.
inline const std::uint8_t* sourceRun(const TileRecord* tiles, const SourceColumns& columns,
                                     std::size_t offset, int bytesPerPixel) {
    return tiles[columns.runTile].pixels.get() +
           bytesPerPixel * (offset + static_cast<std::size_t>(columns.offset[0]));
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
        rows[i].tileBase =
            &image.tiles[image.firstTile[level] + (r >> kTileShift) * image.tilesPerRow[level]];
        rows[i].rowOffset = pixelOffset(0, r, image.tileStride[level]);
    }
}

template <typename Word>
const Word* sourcePixel(const SourceRow& row, const SourceColumns& columns, int j,
                        int wordsPerPixel) {
    const Word* tile = reinterpret_cast<const Word*>(row.tileBase[columns.tile[j]].pixels.get());
    return tile + (row.rowOffset + static_cast<std::size_t>(columns.offset[j])) * wordsPerPixel;
}

// Rgba8, the common case, four channels at once: a stored word is spread into
// four 16-bit lanes (r, g, b, a), which hold the vertical sums (at most
// 162 x 255); the horizontal pass needs 32-bit lanes and runs on the pairs
// (r, b) and (g, a). Source rows are spread once into a ring of six and
// reused by the three destination rows that read them.
inline std::uint64_t spreadRgba8(std::uint32_t word) {
    std::uint64_t x = word;
    x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
    return (x | (x << 8)) & 0x00FF00FF00FF00FFull;
}

void reduceRowsRgba8(TiledImage& image, int d, int top, int bottom, int x0, int x1,
                     const SourceColumns& columns) {
    constexpr std::uint64_t kPairMask = 0x0000FFFF0000FFFFull;
    const int s = d - 1;
    const int lastY = image.lastY[s];
    std::uint64_t ring[kTaps][kSourceSpan];
    int ringRow[kTaps];
    for (int& r : ringRow) r = -1000000;  // never a row of the ring
    std::uint64_t vRB[kSourceSpan], vGA[kSourceSpan], eRB[kSourceSpan], eGA[kSourceSpan];
    const std::uint64_t* row[kTaps];
    for (int y = top; y < bottom; ++y) {
        for (int i = 0; i < kTaps; ++i) {
            const int r = 2 * y - 2 + i;  // r + 2 >= 0, so the slot is never negative
            const int slot = (r + 6) % kTaps;
            if (ringRow[slot] != r) {
                const int clamped = clampCoord(r, lastY);
                const TileRecord* tiles =
                    &image.tiles[image.firstTile[s] +
                                 (clamped >> kTileShift) * image.tilesPerRow[s]];
                const std::size_t offset = pixelOffset(0, clamped, image.tileStride[s]);
                if (columns.runTile >= 0) {
                    const std::uint8_t* run = sourceRun(tiles, columns, offset, 4);
                    for (int j = 0; j < columns.count; ++j) {
                        std::uint32_t w;
                        std::memcpy(&w, run + 4 * j, 4);
                        ring[slot][j] = spreadRgba8(w);
                    }
                } else {
                    for (int j = 0; j < columns.count; ++j) {
                        std::uint32_t w;
                        std::memcpy(
                            &w,
                            tiles[columns.tile[j]].pixels.get() + 4 * (offset + columns.offset[j]),
                            4);
                        ring[slot][j] = spreadRgba8(w);
                    }
                }
                ringRow[slot] = r;
            }
            row[i] = ring[slot];
        }
        for (int j = 0; j < columns.count; ++j) {
            const std::uint64_t v = row[0][j] + 16 * row[1][j] + 64 * row[2][j] + 64 * row[3][j] +
                                    16 * row[4][j] + row[5][j];
            const std::uint64_t e = row[0][j] + row[5][j];
            vRB[j] = (v >> 16) & kPairMask;
            vGA[j] = v & kPairMask;
            eRB[j] = (e >> 16) & kPairMask;
            eGA[j] = e & kPairMask;
        }
        for (int x = x0; x < x1; ++x) {
            const int j = 2 * (x - x0);
            // Each lane stays non-negative, so the corner subtraction never borrows across lanes.
            const std::uint64_t rb = vRB[j] + 16 * vRB[j + 1] + 64 * vRB[j + 2] + 64 * vRB[j + 3] +
                                     16 * vRB[j + 4] + vRB[j + 5] - eRB[j] - eRB[j + 5];
            const std::uint64_t ga = vGA[j] + 16 * vGA[j + 1] + 64 * vGA[j + 2] + 64 * vGA[j + 3] +
                                     16 * vGA[j + 4] + vGA[j + 5] - eGA[j] - eGA[j + 5];
            const auto lane = [](std::uint64_t pair, int shift) {
                return (static_cast<std::uint32_t>((pair >> shift) & 0xFFFFFFFFu) + kRoundingHalf) /
                       static_cast<std::uint32_t>(kDivisor);
            };
            const std::uint32_t word =
                packRgba8(lane(rb, 32), lane(ga, 32), lane(rb, 0), lane(ga, 0));
            std::memcpy(pixelAddress(image, x, y, d), &word, sizeof word);
        }
    }
}

// Rgba16 with the same passes on the pairs (r, b) and (g, a) in 32-bit lanes:
// at most 162 x 65535 after the vertical pass and 26244 x 65535 after the
// horizontal one, both below 2^32.
void reduceRowsRgba16(TiledImage& image, int d, int top, int bottom, int x0, int x1,
                      const SourceColumns& columns) {
    constexpr std::uint64_t kLow = 0xFFFFFFFFu;
    const int s = d - 1;
    const int lastY = image.lastY[s];
    std::uint64_t ringRB[kTaps][kSourceSpan], ringGA[kTaps][kSourceSpan];
    int ringRow[kTaps];
    for (int& r : ringRow) r = -1000000;
    std::uint64_t vRB[kSourceSpan], vGA[kSourceSpan], eRB[kSourceSpan], eGA[kSourceSpan];
    const std::uint64_t* rb[kTaps];
    const std::uint64_t* ga[kTaps];
    for (int y = top; y < bottom; ++y) {
        for (int i = 0; i < kTaps; ++i) {
            const int r = 2 * y - 2 + i;
            const int slot = (r + 6) % kTaps;
            if (ringRow[slot] != r) {
                const int clamped = clampCoord(r, lastY);
                const TileRecord* tiles =
                    &image.tiles[image.firstTile[s] +
                                 (clamped >> kTileShift) * image.tilesPerRow[s]];
                const std::size_t offset = pixelOffset(0, clamped, image.tileStride[s]);
                const std::uint8_t* run =
                    columns.runTile >= 0 ? sourceRun(tiles, columns, offset, 8) : nullptr;
                for (int j = 0; j < columns.count; ++j) {
                    Rgba16Pixel p;
                    std::memcpy(&p,
                                run ? run + 8 * j
                                    : tiles[columns.tile[j]].pixels.get() +
                                          8 * (offset + columns.offset[j]),
                                8);
                    ringRB[slot][j] = std::uint64_t{p.r} << 32 | p.b;
                    ringGA[slot][j] = std::uint64_t{p.g} << 32 | p.a;
                }
                ringRow[slot] = r;
            }
            rb[i] = ringRB[slot];
            ga[i] = ringGA[slot];
        }
        for (int j = 0; j < columns.count; ++j) {
            vRB[j] =
                rb[0][j] + 16 * rb[1][j] + 64 * rb[2][j] + 64 * rb[3][j] + 16 * rb[4][j] + rb[5][j];
            vGA[j] =
                ga[0][j] + 16 * ga[1][j] + 64 * ga[2][j] + 64 * ga[3][j] + 16 * ga[4][j] + ga[5][j];
            eRB[j] = rb[0][j] + rb[5][j];
            eGA[j] = ga[0][j] + ga[5][j];
        }
        for (int x = x0; x < x1; ++x) {
            const int j = 2 * (x - x0);
            const std::uint64_t sumRB = vRB[j] + 16 * vRB[j + 1] + 64 * vRB[j + 2] +
                                        64 * vRB[j + 3] + 16 * vRB[j + 4] + vRB[j + 5] - eRB[j] -
                                        eRB[j + 5];
            const std::uint64_t sumGA = vGA[j] + 16 * vGA[j + 1] + 64 * vGA[j + 2] +
                                        64 * vGA[j + 3] + 16 * vGA[j + 4] + vGA[j + 5] - eGA[j] -
                                        eGA[j + 5];
            const auto lane = [](std::uint64_t pair, int shift) {
                const std::uint64_t v = (((pair >> shift) & kLow) + kRoundingHalf) / kDivisor;
                return static_cast<std::uint16_t>(std::min<std::uint64_t>(v, kFixedOne));
            };
            const Rgba16Pixel p{lane(sumRB, 32), lane(sumGA, 32), lane(sumRB, 0), lane(sumGA, 0)};
            std::memcpy(pixelAddress(image, x, y, d), &p, sizeof p);
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
        switch (image.format) {
            case SampleFormat::Rgba8:
                reduceRowsRgba8(image, d, top, bottom, x0, x1, columns);
                break;
            case SampleFormat::Rgba16:
                reduceRowsRgba16(image, d, top, bottom, x0, x1, columns);
                break;
            case SampleFormat::RgbaFloat:
                for (int y = top; y < bottom; ++y) {
                    mapRows(image, sourceLevel, y, rows);
                    reduceSpanFloat(image, d, y, x0, x1, columns, rows);
                }
                break;
        }
    }
}

JobRunner poolJobRunner(int threadLimit) {
    return [threadLimit](std::int32_t kind, const BandRect& rect, const BandBody& body) {
        jobs::TiledJobsRequest request;
        request.kind = kind;
        request.rect = {rect.top, rect.left, rect.bottom, rect.right};
        // A rectangle that makes one job is that job's tile: it runs here, as a worker
        // started for it would cost more than the work (the small levels of every
        // pyramid, and the whole pyramid of a thumbnail).
        if (jobs::splitRect(request.rect).jobCount == 1) {
            body(rect);
            return;
        }
        request.threadLimit = threadLimit;
        request.work = [&body](jobs::TiledJob& job) {
            const jobs::JobRect tile = jobs::imageTileRect(job);
            body(BandRect{tile.top, tile.left, tile.bottom, tile.right});
        };
        const jobs::TiledJobsResult result = jobs::runTiledJobs(request);
        // A run that could not start its jobs (no memory for a job record or a
        // slot) must not leave a level half built: finish it on this thread.
        if (result.finished < result.jobCount) body(rect);
    };
}

void buildPyramid(TiledImage& image, const JobRunner& run) {
    rebuildPyramidBelow(image, run, 0);
}

void rebuildPyramidBelow(TiledImage& image, const JobRunner& run, int firstChangedRow) {
    if (!hasTiles(image)) return;
    // Level 0 has changed: a reflection copy made from it is stale.
    image.reflection.valid = false;
    // Levels strictly in order: each reads only the complete level above it. Row y
    // of a level reads rows 2y - 2 to 2y + 3 of the one above, so rows whose six
    // source rows all lie above that level's first changed row keep their values.
    int changed = std::max(firstChangedRow, 0);
    for (int k = 1; k <= image.lastLevel; ++k) {
        changed = std::max(0, (changed - 3) / 2);
        const BandRect rect{changed, 0, image.levelHeight[k], image.levelWidth[k]};
        const int source = k - 1;
        if (rect.top < rect.bottom)
            run(kJobPyramidReduce, rect,
                [&image, source](const BandRect& tile) { reduceBand(image, source, tile); });
    }
    image.contentState = kContentPyramidBuilt;
}

void buildPyramid(TiledImage& image) {
    buildPyramid(image, poolJobRunner());
}

}  // namespace mirel::image
