// A small filter for the host tests: hands every pixel of the picture back
// through the host tile of the render unchanged (or inverted, inside the
// selection, when MIREL_TEST_FILTER=invert). MIREL_TEST_FILTER=interrupt
// sends the process Ctrl-C before the first band and =cancel returns the
// user's cancel after it, so that both ways of cancelling can be tested;
// =fail runs out of memory after it.
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/host_exchange.h"
#include "image/tiled_image.h"
#include "platform/pi/pi.h"
#include "platform/pi/rects.h"

namespace {

using namespace mirel;

constexpr std::int32_t kBandRows = 64;

enum class Mode { Identity, Invert, Interrupt, Cancel, Fail };

Mode modeFromEnvironment() {
    const char* text = std::getenv("MIREL_TEST_FILTER");
    if (!text) return Mode::Identity;
    if (std::strcmp(text, "invert") == 0) return Mode::Invert;
    if (std::strcmp(text, "interrupt") == 0) return Mode::Interrupt;
    if (std::strcmp(text, "cancel") == 0) return Mode::Cancel;
    if (std::strcmp(text, "fail") == 0) return Mode::Fail;
    return Mode::Identity;
}

void filterBand(pi::FilterRecord& record, Mode mode) {
    const IntRect in = inRectOf(record);
    HostTile tile(record, TileDestination{});
    for (std::int32_t y = 0; y < in.height(); ++y) {
        for (std::int32_t x = 0; x < in.width(); ++x) {
            image::Rgba pixel;
            if (!tile.read(x, y, pixel)) continue;
            if (mode == Mode::Invert) {
                const float s = tile.maskAt(x, y);
                auto invert = [s](float v) { return v + ((1.0f - v) - v) * s; };
                pixel = {invert(pixel.r), invert(pixel.g), invert(pixel.b), invert(pixel.a)};
            }
            tile.write(x, y, pixel);
        }
    }
}

std::int16_t start(pi::FilterRecord& record) {
    const Mode mode = modeFromEnvironment();
    const IntRect filter = filterRectOf(record);
    if (mode == Mode::Interrupt) std::raise(SIGINT);
    for (std::int32_t top = filter.top; top < filter.bottom; top += kBandRows) {
        if (record.abortProc && record.abortProc()) return pi::kUserCanceledErr;
        // Bands are asked for from the filter rectangle's corner, which the host gives
        // as its float point, as the filter asks for its tiles.
        const IntRect band{top - filter.top, 0,
                           std::min(top + kBandRows, filter.bottom) - filter.top, filter.width()};
        requestRegion(record, band, RequestView{});
        if (const std::int16_t result = advanceHost(record)) return result;
        filterBand(record, mode);
        if (mode == Mode::Cancel) return pi::kUserCanceledErr;
        if (mode == Mode::Fail) return pi::kMemFullErr;
        if (record.progressProc) record.progressProc(band.bottom, filter.height());
    }
    // Empty rectangles: the host takes the last band and needs no Continue.
    emptyRequestRects(record);
    return pi::kNoErr;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void PluginMain(std::int16_t selector,
                                                                  void* record,
                                                                  std::intptr_t* /*data*/,
                                                                  std::int16_t* result) {
    if (!result) return;
    *result = 0;
    if (selector == pi::kFilterSelectorAbout || !record) return;
    auto& filterRecord = *static_cast<pi::FilterRecord*>(record);
    switch (selector) {
        case pi::kFilterSelectorPrepare:
            filterRecord.bufferSpace = 0;
            break;
        case pi::kFilterSelectorStart:
            *result = start(filterRecord);
            break;
        case pi::kFilterSelectorContinue:
            emptyRequestRects(filterRecord);
            break;
        default:
            break;
    }
}
