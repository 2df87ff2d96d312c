// Shared pieces of the end-to-end tests: the sample photograph at test sizes,
// other kinds of picture made from it, the real plug-in and whole runs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "apps/host/descriptor.h"
#include "apps/host/filter_host.h"
#include "apps/mirel/image_file.h"
#include "host/plugin_main.h"
#include "host/render_entry.h"
#include "host/run_state.h"
#include "settings/parameter_block.h"
#include "tests/support/scratch.h"

namespace mirel::testing {

// The sample photograph reduced by `factor` (a box filter), 8-bit RGB.
const host_app::Picture& samplePicture(int factor);

// The picture with `channels` (1 grey, 2 grey + alpha, 3 RGB, 4 RGBA) at
// `bits` per channel; added alpha is opaque.
host_app::Picture convertPicture(const host_app::Picture& rgb8, int channels, int bits);

// A strip of `width` x `height` pixels taken from the middle rows of `source`,
// repeated across where it is wider.
host_app::Picture stripOf(const host_app::Picture& source, std::int32_t width, std::int32_t height);
// A selection of the picture's size that rises from 0 at the left edge to 255 at the right.
host_app::Picture gradientMask(const host_app::Picture& picture);

// The built plug-in, opened once.
const hostkit::PluginLibrary& mirelPlugin();

// Host options of a paint program that replays an action without the dialog.
hostkit::HostOptions replayOptions();

// A filter run as far as the dialog would take it: the host's record, the two
// blocks and the run's images, with the render entry, the preview and the
// export called directly as the dialog's buttons or the command line would.
class InProcessRun {
  public:
    explicit InProcessRun(host_app::Picture& picture,
                          const hostkit::HostOptions& options = replayOptions())
        : host_(mirelPlugin(), picture, options), active_(host_.activate()) {
        initParameterBlock(params_);
        initRunStateHeader(run_);
        ctx_.record = &host_.record();
        ctx_.params = &params_;
        ctx_.run = &run_;
        EXPECT_TRUE(setUpRun(ctx_)) << "no memory for the run's images";
    }
    ~InProcessRun() { releaseRun(ctx_); }
    InProcessRun(const InProcessRun&) = delete;
    InProcessRun& operator=(const InProcessRun&) = delete;

    FilterContext& context() { return ctx_; }
    ParameterBlock& params() { return params_; }
    pi::FilterRecord& record() { return host_.record(); }

  private:
    hostkit::FilterHost host_;
    hostkit::ActiveHost active_;
    ParameterBlock params_{};
    RunState run_{};
    FilterContext ctx_;
};

// One whole run over `picture` (changed in place); returns the first error.
std::int16_t runFilter(host_app::Picture& picture, const hostkit::HostOptions& options,
                       const host_app::Picture* mask = nullptr);
// The same with `settings` played as the action (the rest at their defaults when
// the test has its own temporary folder).
std::int16_t runFilter(host_app::Picture& picture, const hostkit::Descriptor& settings,
                       const host_app::Picture* mask = nullptr);
// The same through a host with `options` (which must offer the descriptor suite).
std::int16_t runFilter(host_app::Picture& picture, const hostkit::Descriptor& settings,
                       const hostkit::HostOptions& options,
                       const host_app::Picture* mask = nullptr);

// Mean and largest difference of normalised samples of rows [top, bottom)
// and columns [left, right), channel by channel (alpha too).
struct Difference {
    double mean = 0.0;
    double largest = 0.0;
};
Difference differenceOf(const host_app::Picture& a, const host_app::Picture& b, std::int32_t top,
                        std::int32_t bottom, std::int32_t left = 0, std::int32_t right = -1);

}  // namespace mirel::testing
