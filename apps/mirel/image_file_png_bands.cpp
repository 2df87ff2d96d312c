// The pixels of a PNG file deflated in bands of rows on several threads. Each
// band is a run of deflate blocks ending on a byte boundary (a sync flush), so
// the bands simply follow one another after the zlib header; the last one ends
// the stream, and the checksums of the bands combine into the stream's.
#include "apps/mirel/image_file_png_bands.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <new>
#include <thread>

#include "apps/mirel/image_codecs.h"

namespace mirel::host_app::codecs {
namespace {

// Rows are cut into bands of about this many bytes, however many threads
// deflate them, so that the file's bytes never depend on the processor count.
constexpr std::int64_t kBandBytes = std::int64_t{2} << 20;
constexpr std::size_t kOutputStep = std::size_t{1} << 16;

// The Paeth predictor without branches, so that the row loop below vectorises:
// a, b or c, whichever is nearest to a + b - c (ties in that order).
inline int paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    const int bc = pb <= pc ? b : c;
    return pa <= pb && pa <= pc ? a : bc;
}

// How far a filtered byte, read as signed, strays from zero.
inline std::uint32_t strayOf(std::uint8_t v) {
    return v < 128 ? v : 256u - v;
}

// Writes the filter type byte and the filtered row to `out`: of the five PNG
// filters, the one whose result strays least from zero (the usual heuristic).
// `above` is the row before, all zeros for the first row.
void filterRow(const std::uint8_t* row, const std::uint8_t* above, std::size_t n, std::size_t bpp,
               std::vector<std::uint8_t> (&trial)[5], std::uint8_t* out) {
    std::uint8_t* none = trial[0].data();
    std::uint8_t* sub = trial[1].data();
    std::uint8_t* up = trial[2].data();
    std::uint8_t* average = trial[3].data();
    std::uint8_t* paethed = trial[4].data();
    std::uint64_t stray[5] = {};
    // The first pixel has nothing to its left: a and c are 0 there.
    const std::size_t lead = std::min(bpp, n);
    for (std::size_t i = 0; i < lead; ++i) {
        const int b = above[i];
        none[i] = row[i];
        sub[i] = row[i];
        up[i] = std::uint8_t(row[i] - b);
        average[i] = std::uint8_t(row[i] - (b >> 1));
        paethed[i] = std::uint8_t(row[i] - paeth(0, b, 0));
    }
    for (std::size_t i = lead; i < n; ++i) {
        const int x = row[i], a = row[i - bpp], b = above[i], c = above[i - bpp];
        none[i] = std::uint8_t(x);
        sub[i] = std::uint8_t(x - a);
        up[i] = std::uint8_t(x - b);
        average[i] = std::uint8_t(x - ((a + b) >> 1));
        paethed[i] = std::uint8_t(x - paeth(a, b, c));
    }
    // Summed in blocks of 32 bits, which a block of 2^23 bytes cannot overflow.
    constexpr std::size_t kBlock = std::size_t{1} << 23;
    for (int filter = 0; filter < 5; ++filter) {
        const std::uint8_t* bytes = trial[filter].data();
        for (std::size_t from = 0; from < n; from += kBlock) {
            const std::size_t to = std::min(n, from + kBlock);
            std::uint32_t sum = 0;
            for (std::size_t i = from; i < to; ++i) sum += strayOf(bytes[i]);
            stray[filter] += sum;
        }
    }
    int chosen = 0;
    for (int filter = 1; filter < 5; ++filter)
        if (stray[filter] < stray[chosen]) chosen = filter;
    out[0] = std::uint8_t(chosen);
    std::copy(trial[chosen].data(), trial[chosen].data() + n, out + 1);
}

struct Band {
    std::int32_t top = 0, bottom = 0;
    std::vector<std::uint8_t> deflated;
    uLong adler = 1;
    uLong length = 0;  // bytes before deflating
    bool ok = false;
};

// Row `y` as the file stores it: 16-bit samples in the file's scale, big-endian.
const std::uint8_t* fileRow(const Picture& picture, std::int32_t y, std::uint8_t* scratch) {
    const std::int64_t stride = rowBytes(picture);
    const std::uint8_t* row = picture.pixels.data() + y * stride;
    if (picture.bitsPerChannel != 16) return row;
    mapInterfaceToFile16(row, scratch, stride / 2);
    if constexpr (std::endian::native == std::endian::little) {
        for (std::int64_t i = 0; i + 1 < stride; i += 2) std::swap(scratch[i], scratch[i + 1]);
    }
    return scratch;
}

// Feeds `z` its input with `flush`, appending every byte it gives to `out`.
bool deflateInto(z_stream& z, int flush, std::vector<std::uint8_t>& out) {
    std::uint8_t buffer[kOutputStep];
    for (;;) {
        z.next_out = buffer;
        z.avail_out = kOutputStep;
        const int status = deflate(&z, flush);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) return false;
        out.insert(out.end(), buffer, buffer + (kOutputStep - z.avail_out));
        // Done when the input is taken and deflate had room to spare.
        if (z.avail_in == 0 && z.avail_out != 0) return flush != Z_FINISH || status == Z_STREAM_END;
    }
}

void deflateBand(const Picture& picture, int level, bool last, Band& band) {
    const std::size_t stride = std::size_t(rowBytes(picture));
    const std::size_t bpp = std::size_t(picture.channels * picture.bitsPerChannel / 8);
    z_stream z{};
    // Run-length matches only: on filtered picture rows this is two to three times as fast
    // as the default strategy at the same level and gives smaller files.
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK) return;
    try {
        std::vector<std::uint8_t> current(stride), previous(stride, 0), filtered(stride + 1);
        std::vector<std::uint8_t> trial[5];
        for (auto& t : trial) t.resize(stride);
        // The row above the band is the filters' reference for its first row.
        if (band.top > 0) {
            const std::uint8_t* above = fileRow(picture, band.top - 1, previous.data());
            if (above != previous.data()) std::copy(above, above + stride, previous.begin());
        }
        // A band without rows still ends its part of the stream.
        bool ok =
            band.top < band.bottom || deflateInto(z, last ? Z_FINISH : Z_SYNC_FLUSH, band.deflated);
        for (std::int32_t y = band.top; y < band.bottom && ok; ++y) {
            const std::uint8_t* row = fileRow(picture, y, current.data());
            filterRow(row, previous.data(), stride, bpp, trial, filtered.data());
            band.adler = adler32(band.adler, filtered.data(), uInt(filtered.size()));
            band.length += uLong(filtered.size());
            z.next_in = filtered.data();
            z.avail_in = uInt(filtered.size());
            const int flush = y + 1 < band.bottom ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
            ok = deflateInto(z, flush, band.deflated);
            std::copy(row, row + stride, previous.begin());
        }
        band.ok = ok;
    } catch (const std::bad_alloc&) {
        band.ok = false;
    }
    deflateEnd(&z);
}

}  // namespace

bool deflatePngRows(const Picture& picture, int level, int threads,
                    std::vector<std::vector<std::uint8_t>>& pieces) {
    const std::int64_t total = rowBytes(picture) * picture.height;
    const int count = int(std::clamp<std::int64_t>((total + kBandBytes - 1) / kBandBytes, 1,
                                                   std::max(1, picture.height)));
    std::vector<Band> bands;
    try {
        bands.resize(std::size_t(count));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        bands[std::size_t(i)].top = std::int32_t(std::int64_t(picture.height) * i / count);
        bands[std::size_t(i)].bottom = std::int32_t(std::int64_t(picture.height) * (i + 1) / count);
    }
    // Each thread, this one too, takes the next band until none is left.
    std::atomic<int> next{0};
    const auto deflateBands = [&] {
        for (int i = next++; i < count; i = next++)
            deflateBand(picture, level, i + 1 == count, bands[std::size_t(i)]);
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < std::min(threads, count); ++t) {
        try {
            workers.emplace_back(deflateBands);
        } catch (...) {
            break;  // fewer threads take the bands
        }
    }
    deflateBands();
    for (auto& worker : workers) worker.join();

    uLong adler = 1;
    for (const Band& band : bands) {
        if (!band.ok) return false;
        adler = adler32_combine(adler, band.adler, z_off_t(band.length));
    }
    try {
        pieces.clear();
        // The zlib header: deflate with a 32 KB window, no preset dictionary,
        // the level in two bits, and the check bits that make it a multiple of 31.
        const unsigned levelBits = level <= 1 ? 0u : level <= 5 ? 1u : level == 6 ? 2u : 3u;
        const unsigned header = 0x7800u | (levelBits << 6);
        pieces.push_back({0x78, std::uint8_t((levelBits << 6) | ((31u - header % 31u) % 31u))});
        for (Band& band : bands) pieces.push_back(std::move(band.deflated));
        pieces.push_back({std::uint8_t(adler >> 24), std::uint8_t(adler >> 16),
                          std::uint8_t(adler >> 8), std::uint8_t(adler)});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace mirel::host_app::codecs
