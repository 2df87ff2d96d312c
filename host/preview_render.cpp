// The dialog's preview: sizing the preview buffer for a zoom level, the
// preview render, and the host's unrendered picture while the user pans.
#include "host/preview_render.h"

#include <algorithm>
#include <utility>

#include "host/host_exchange.h"
#include "host/plugin_main.h"
#include "host/render_entry.h"
#include "image/preview.h"
#include "image/thumbnails.h"
#include "platform/pi/rects.h"

namespace mirel {

// A host that cannot sample is asked for full resolution and the plug-in samples
// itself (requestRegion), so every host that delivers pixels can show them zoomed.
bool hostCanScale(const pi::FilterRecord& record) {
    return record.advanceState != nullptr && record.displayPixels != nullptr;
}

void setPreviewSize(FilterContext& ctx, std::int32_t zoom) {
    if (!ctx.record || !ctx.params || !ctx.run) return;
    RunSession& session = ctx.session;
    std::int32_t level = std::max(zoom, 1);
    if (!hostCanScale(*ctx.record)) {
        level = 1;
        ctx.params->zoomLevel = 1;
    }
    const IntRect filter = filterRectOf(*ctx.record);
    session.previewRect =
        image::previewRectFor(filter.top, filter.left, filter.bottom, filter.right, level,
                              session.paneWidth, session.paneHeight);
    const image::PreviewRect& rect = session.previewRect;
    setCurrentRegion(*ctx.run, IntRect{rect.top, rect.left, rect.bottom, rect.right});
    image::setPreviewBufferSize(session.preview, session.previewRect);
}

std::int16_t renderPreview(FilterContext& ctx) {
    if (!ctx.record || !ctx.params || !ctx.run) return pi::kFilterBadParameters;
    setPreviewSize(ctx, zoomLevelOf(*ctx.params));
    // Without the buffer the render still runs; it stores nothing.
    image::allocatePreviewPixels(ctx.session.preview, ctx.record->planes);
    // The preview leaves the destination as it found it, like every other run-time field.
    const std::int32_t destination = ctx.params->renderDestination;
    ctx.params->renderDestination = kDestinationPreview;
    const std::int16_t result = renderForDestination(ctx, kDestinationPreview);
    ctx.params->renderDestination = destination;
    return result;
}

void makeThumbnailFromCleanPreview(FilterContext& ctx, image::TiledImage& thumbnail) {
    RunSession& session = ctx.session;
    if (!ctx.record) return;
    // The shown buffer is set aside whole and put back, so the pane never sees the
    // render made for the thumbnail.
    image::PreviewBuffer shown = std::move(session.preview);
    bool rendered = false;
    if (shown.pixels && ctx.params && ctx.params->hostCanPreview != 0) {
        session.previewOverlays = false;
        rendered = renderPreview(ctx) == pi::kNoErr;
        session.previewOverlays = true;
    }
    image::makeThumbnailFromPreview(thumbnail, rendered ? session.preview : shown,
                                    ctx.record->advanceState != nullptr);
    session.preview = std::move(shown);
}

std::int16_t readPreviewBackground(FilterContext& ctx) {
    if (!ctx.record || !ctx.params || !ctx.run) return pi::kFilterBadParameters;
    pi::FilterRecord& record = *ctx.record;
    setPreviewSize(ctx, zoomLevelOf(*ctx.params));
    image::PreviewBuffer& buffer = ctx.session.preview;
    if (!image::allocatePreviewPixels(buffer, record.planes)) return pi::kNoErr;  // nothing to draw
    const SavedRequest saved = saveRequest(record);
    RequestView view = requestViewOf(*ctx.params);
    if (!hostCanScale(record)) view.zoom = 1;
    const IntRect asked =
        requestRegion(record, IntRect{0, 0, buffer.bufferHeight, buffer.bufferWidth}, view);
    const std::int16_t result = readProxy(record, buffer, &asked, view.zoom);
    restoreRequest(record, saved);
    return result;
}

}  // namespace mirel
