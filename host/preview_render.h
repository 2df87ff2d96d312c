// The dialog's preview: the rectangle and buffer a zoom level shows, the
// preview render, and the unrendered picture drawn while the user pans.
#pragma once

#include <cstdint>

#include "platform/pi/pi.h"

namespace mirel {

namespace image {
struct TiledImage;
}
struct FilterContext;

// True when the host can deliver its picture for the preview at other scales
// (sampled by the host, or by the plug-in when the host cannot), so that the
// preview may zoom out.
bool hostCanScale(const pi::FilterRecord& record);

// The preview rectangle and buffer size for zoom L (1 when the host cannot
// scale, which is then stored as the zoom level too), and the current region.
void setPreviewSize(FilterContext& ctx, std::int32_t zoom);

// Sizes and allocates the preview buffer for the current zoom and renders
// the preview into it. Returns the render's result.
std::int16_t renderPreview(FilterContext& ctx);

// Makes a settings thumbnail from a preview render without the guide lines and the
// centre cross, which belong to the live preview only. The buffer keeps what the
// pane shows; when nothing is shown yet, or the render fails, the thumbnail is made
// from the buffer as it is.
void makeThumbnailFromCleanPreview(FilterContext& ctx, image::TiledImage& thumbnail);

// The pane's redraw while the user drags: sizes and allocates the buffer for
// the current zoom and fills it with the host's reduced picture at the pan,
// unrendered. Returns the host's first error.
std::int16_t readPreviewBackground(FilterContext& ctx);

}  // namespace mirel
