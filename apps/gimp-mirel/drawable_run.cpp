// The host's picture, mask and filter rectangle made from a drawable and its image.
#include "apps/gimp-mirel/drawable_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "apps/gimp-mirel/gegl_picture.h"

namespace mirel::gimp_app {

namespace {

// The profile the image's pixels are in: its own, or GIMP's built-in one.
std::vector<std::uint8_t> iccProfileOf(gint32 image) {
    std::vector<std::uint8_t> bytes;
    GimpColorProfile* profile = gimp_image_get_effective_color_profile(image);
    if (!profile) return bytes;
    gsize length = 0;
    const guint8* data = gimp_color_profile_get_icc_profile(profile, &length);
    if (data) bytes.assign(data, data + length);
    g_object_unref(profile);
    return bytes;
}

std::string filterErrorText(std::int16_t code) {
    if (code == pi::kMemFullErr) return "out of memory";
    return "error " + std::to_string(code);
}

// The progress GIMP shows, a percent at a time, and whether it still takes it.
struct ProgressState {
    int shownPercent = -1;
    bool cancelled = false;
};

// With MIREL_DEBUG set, the time of each stage of a run goes to stderr (GIMP's
// console), wall clock and this process's processor time.
class StageTimer {
  public:
    StageTimer() : on_(std::getenv("MIREL_DEBUG") != nullptr) { restart(); }
    void lap(const char* stage) {
        if (!on_) return;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
        std::fprintf(stderr, "gimp-mirel: %s %.3f s wall, %.3f s processor\n", stage, wall,
                     processorSeconds() - processor_);
        restart();
    }

  private:
    static double processorSeconds() {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
    }
    void restart() {
        wall_ = std::chrono::steady_clock::now();
        processor_ = processorSeconds();
    }
    bool on_;
    std::chrono::steady_clock::time_point wall_;
    double processor_ = 0.0;
};

}  // namespace

hostkit::RunFeedback gimpProgressFeedback() {
    auto state = std::make_shared<ProgressState>();
    hostkit::RunFeedback feedback;
    feedback.started = [state] {
        *state = {};
        gimp_progress_init("Mirel");
    };
    feedback.progress = [state](std::int32_t done, std::int32_t total) {
        if (total <= 0) return;
        const double fraction = std::clamp(double(done) / double(total), 0.0, 1.0);
        const int percent = int(fraction * 100.0);
        if (percent == state->shownPercent) return;
        state->shownPercent = percent;
        if (!gimp_progress_update(fraction)) state->cancelled = true;
    };
    feedback.ended = [] { gimp_progress_end(); };
    feedback.cancelRequested = [state] { return state->cancelled; };
    return feedback;
}

DrawableOutcome runOnDrawable(const hostkit::PluginLibrary& plugin, const DrawableRun& run,
                              std::string& error) {
    HandedFormat handed;
    if (!handedFormatOf(gimp_drawable_get_format(run.drawable), handed, error))
        return DrawableOutcome::Failed;
    gint x = 0, y = 0, width = 0, height = 0;
    if (!gimp_drawable_mask_intersect(run.drawable, &x, &y, &width, &height))
        return DrawableOutcome::Untouched;

    StageTimer timer;
    const std::int32_t drawableWidth = gimp_drawable_width(run.drawable);
    const std::int32_t drawableHeight = gimp_drawable_height(run.drawable);
    // The filter reads and writes the shadow, which starts as the drawable: what it
    // writes it reads back, as from a picture in memory.
    GeglBuffer* shadow = gimp_drawable_get_shadow_buffer(run.drawable);
    {
        GeglBuffer* source = gimp_drawable_get_buffer(run.drawable);
        gegl_buffer_copy(source, nullptr, GEGL_ABYSS_NONE, shadow, nullptr);
        g_object_unref(source);
    }
    timer.lap("copy into the shadow:");
    std::int16_t result = pi::kNoErr;
    {
        GeglPicture picture(shadow, handed, drawableWidth, drawableHeight, iccProfileOf(run.image));
        std::unique_ptr<GeglMask> mask;
        if (!gimp_selection_is_empty(run.image)) {
            gint offsetX = 0, offsetY = 0;
            gimp_drawable_offsets(run.drawable, &offsetX, &offsetY);
            GeglBuffer* selection = gimp_drawable_get_buffer(gimp_image_get_selection(run.image));
            mask = std::make_unique<GeglMask>(selection, offsetX, offsetY, drawableWidth,
                                              drawableHeight);
            g_object_unref(selection);
        }

        hostkit::HostOptions options;
        options.feedback = gimpProgressFeedback();
        options.offerDescriptors = true;
        // A layer whose alpha channel is locked keeps its transparency.
        options.preserveTransparency =
            gimp_item_is_layer(run.drawable) && gimp_layer_get_lock_alpha(run.drawable);
        options.playInfo = run.showDialog ? pi::kPlugInDialogDisplay : pi::kPlugInDialogDontDisplay;
        hostkit::FilterHost host(plugin, picture, options);
        if (mask) host.setMask(mask.get());
        host.setFilterRect({y, x, y + height, x + width});
        if (!host.descriptors().offer(run.offer)) {
            result = pi::kMemFullErr;
        } else {
            result = host.run(true);
        }
    }
    timer.lap("filter:");
    if (result != pi::kNoErr) {
        g_object_unref(shadow);
        gimp_drawable_free_shadow(run.drawable);
        if (result == pi::kUserCanceledErr) {
            error = "cancelled; the layer is as it was";
            return DrawableOutcome::Cancelled;
        }
        error = "the filter stopped with " + filterErrorText(result) + "; the layer is as it was";
        return DrawableOutcome::Failed;
    }
    gegl_buffer_flush(shadow);
    g_object_unref(shadow);
    gimp_drawable_merge_shadow(run.drawable, TRUE);
    gimp_drawable_update(run.drawable, x, y, width, height);
    timer.lap("merge:");
    return DrawableOutcome::Done;
}

}  // namespace mirel::gimp_app
