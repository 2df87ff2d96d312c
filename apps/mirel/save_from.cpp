// Settings files with the thumbnail of their effect on a picture. The render code is
// the filter's own and needs nothing from the plug-in but a FilterRecord, so the preview
// is rendered here over this program's own host, exactly as the dialog renders it.
#include "apps/mirel/save_from.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "apps/host/filter_host.h"
#include "apps/mirel/image_file.h"
#include "apps/mirel/interrupt.h"
#include "apps/mirel/progress.h"
#include "host/plugin_main.h"
#include "host/preview_render.h"
#include "host/render_entry.h"
#include "host/run_state.h"
#include "image/preview.h"
#include "image/thumbnails.h"
#include "settings/parameter_block.h"

namespace mirel::host_app {

namespace {

RunOutcome fail(const std::string& message) {
    std::fprintf(stderr, "mirel: %s\n", message.c_str());
    return RunOutcome::Failed;
}

// The parameter block and the run state as a host hands them to the filter: zeroed
// memory of the sizes the filter asks for, brought to their first state as the filter
// brings a new block.
struct RunBlocks {
    std::unique_ptr<std::uint8_t[]> paramsMemory{new (std::nothrow)
                                                     std::uint8_t[kParameterBlockSize]()};
    std::unique_ptr<std::uint8_t[]> runMemory{new (std::nothrow) std::uint8_t[kRunStateSize]()};
    ParameterBlock* params = nullptr;
    RunState* run = nullptr;

    bool make() {
        if (!paramsMemory || !runMemory) return false;
        // Both records are trivial: laying them into the zeroed bytes keeps the zeros.
        params = ::new (paramsMemory.get()) ParameterBlock;
        run = ::new (runMemory.get()) RunState;
        initParameterBlock(*params);
        initRunStateHeader(*run);
        return true;
    }
};

// The run's images, the preview buffer and the scratch rows are freed on every way out.
class RunImages {
  public:
    explicit RunImages(FilterContext& ctx) : ctx_(ctx) { ready_ = setUpRun(ctx_); }
    ~RunImages() { releaseRun(ctx_); }
    RunImages(const RunImages&) = delete;
    RunImages& operator=(const RunImages&) = delete;
    bool ready() const { return ready_; }

  private:
    FilterContext& ctx_;
    bool ready_ = false;
};

}  // namespace

RunOutcome writeWithEffectThumbnail(const std::string& outputPath, const SettingsRecord& settings,
                                    const std::string& picturePath, const ThumbnailWriter& write) {
    const std::string notWritten = "; " + outputPath + " was not written";
    Picture picture;
    std::string error;
    if (!readPicture(picturePath, picture, error)) {
        std::fprintf(stderr, "mirel: %s%s\n", error.c_str(), notWritten.c_str());
        return RunOutcome::BadInput;
    }

    // The render talks to the host through the record only; no plug-in library is
    // loaded, the engine linked into this program does the work.
    static const hostkit::PluginLibrary noLibrary;
    hostkit::HostOptions options;
    options.feedback = commandLineFeedback(nullptr);
    hostkit::FilterHost host(noLibrary, picture, options);
    const hostkit::ActiveHost active = host.activate();

    RunBlocks blocks;
    if (!blocks.make()) return fail("out of memory for the preview of " + picturePath + notWritten);
    blocks.params->settings = settings;

    std::int16_t resultCode = 0;
    FilterContext ctx;
    ctx.record = &host.record();
    ctx.params = blocks.params;
    ctx.run = blocks.run;
    ctx.result = &resultCode;

    RunImages images(ctx);
    if (!images.ready())
        return fail("out of memory for the preview of " + picturePath + notWritten);

    // The dialog opens with the whole picture in its pane, at the top-left pan.
    blocks.params->zoomLevel = image::fitZoomFor(
        picture.width, picture.height, image::kPreviewPaneWidth, image::kPreviewPaneHeight);
    blocks.params->panX = 0;
    blocks.params->panY = 0;
    // The guide lines and the centre cross belong to the dialog's live preview only.
    ctx.session.previewOverlays = false;
    std::int16_t rendered = renderPreview(ctx);
    if (rendered == pi::kNoErr) rendered = resultCode;
    if (rendered == pi::kUserCanceledErr || interruptRequested()) {
        std::fprintf(stderr, "mirel: cancelled%s\n", notWritten.c_str());
        return RunOutcome::Cancelled;
    }
    if (rendered == kResultSourceImageFailed)
        return fail(picturePath + ": too large to hold in memory for the preview" + notWritten);
    if (rendered != pi::kNoErr)
        return fail("the preview of " + picturePath + " stopped with error " +
                    std::to_string(rendered) + notWritten);

    const image::PreviewBuffer& preview = ctx.session.preview;
    // Without pixels the thumbnail would silently be the default ramp.
    if (!preview.pixels)
        return fail("out of memory for the preview of " + picturePath + notWritten);
    image::TiledImage* thumbnail = ctx.session.thumbnailImage.get();
    image::makeThumbnailFromPreview(*thumbnail, preview, host.record().advanceState != nullptr);

    if (!write(*thumbnail)) return fail(outputPath + ": cannot write the settings file");
    return RunOutcome::Done;
}

}  // namespace mirel::host_app
