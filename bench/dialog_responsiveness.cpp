// How long the dialog makes a person wait: the time from releasing a slider to
// the new preview drawn in the window, measured on the real dialog inside the
// real plug-in run by the real host code (Qt's offscreen platform), in both
// styles, at the zoom that fits the picture and at 100%. Also the longest
// pointer move of the drags, which stays short when nothing renders while a
// slider is dragged.
//
// Usage: mirel_dialog_bench PICTURE [RELEASES]   (MIREL_PLUGIN names the plug-in)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "apps/mirel/image_file.h"
#include "host/plugin_main.h"
#include "tests/host/host_fixture.h"
#include "tests/support/scratch.h"
#include "tests/ui/dialog_driver.h"

namespace {

using namespace mirel;
using namespace mirel::testing;
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Timings {
    std::vector<double> releases;  // release to preview drawn
    double longestMove = 0;        // one pointer move during a drag
    std::string zoomText;
};

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Drags a slider back and forth `releases` times, timing each release until the
// dialog has painted the preview it renders.
void measure(DialogDriver& dialog, int sliderId, int releases, Timings& timings) {
    const gui::Rect slider = dialog.rectOf(sliderId);
    const int y = slider.y + slider.height / 2;
    for (int i = 0; i < releases; ++i) {
        // Between 40 and 60 % of the track, so that the horizon stays on the picture.
        const int from = slider.x + slider.width * (i % 2 ? 6 : 4) / 10;
        const int to = slider.x + slider.width * (i % 2 ? 4 : 6) / 10;
        dialog.press({from, y});
        for (int step = 1; step <= 8; ++step) {
            const Clock::time_point moveStart = Clock::now();
            dialog.moveTo({from + (to - from) * step / 8, y});
            timings.longestMove = std::max(timings.longestMove, millisecondsSince(moveStart));
        }
        const Clock::time_point start = Clock::now();
        dialog.release({to, y});
        dialog.grab();  // the paint the release asked for, drawn now
        timings.releases.push_back(millisecondsSince(start));
    }
    timings.zoomText = dialog.textOf(ids::kZoomPercent);
}

bool run(const host_app::Picture& source, int style, bool fullSize, int sliderId, int releases,
         Timings& timings) {
    host_app::Picture picture = source;
    hostkit::FilterHost host(plugin(), picture);
    if (host.call(pi::kFilterSelectorParameters) != 0) return false;
    if (host.call(pi::kFilterSelectorPrepare) != 0) return false;
    writableParametersOf(host).settings.waterStyle = style;
    const std::int16_t result = startWithDialog(host, [&](DialogDriver& dialog) {
        if (fullSize) dialog.click(ids::kZoomPercent);  // to 100%
        measure(dialog, sliderId, releases, timings);
        dialog.click(ids::kCancel);
    });
    return result == pi::kUserCanceledErr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PICTURE [RELEASES]\n", argv[0]);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int releases = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    host_app::Picture picture;
    std::string error;
    if (!host_app::readPicture(argv[1], picture, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    ensureTestApplication();
    std::printf(
        "%d x %d, %d releases each; milliseconds from a slider's release to the preview drawn\n",
        picture.width, picture.height, releases);
    std::printf("%-8s %-6s %-8s %8s %8s %8s %14s\n", "style", "zoom", "slider", "median", "best",
                "worst", "longest move");
    for (const int style : {kWaterStyleSimple, kWaterStyleComplex}) {
        for (const bool fullSize : {false, true}) {
            // Horizon moves the line the reflection mirrors about; Blur leaves it.
            for (const int sliderId : {ids::kHorizonSlider, ids::kBlurSlider}) {
                // An empty temporary folder for every run: the filter's files from
                // earlier runs (cached settings, undo steps, memory dots) would otherwise
                // open the dialog in another state than the one measured.
                useOwnTemporaryFolder();
                Timings timings;
                if (!run(picture, style, fullSize, sliderId, releases, timings)) {
                    std::fprintf(stderr, "the dialog run failed\n");
                    return 1;
                }
                const auto [best, worst] =
                    std::minmax_element(timings.releases.begin(), timings.releases.end());
                std::printf("%-8s %-6s %-8s %8.1f %8.1f %8.1f %14.1f\n",
                            style == kWaterStyleSimple ? "Simple" : "Complex",
                            timings.zoomText.c_str(),
                            sliderId == ids::kBlurSlider ? "Blur" : "Horizon",
                            median(timings.releases), *best, *worst, timings.longestMove);
            }
        }
    }
    return 0;
}
