// Drawing a settings thumbnail into a window: resized to the target
// rectangle and centred in it.
#pragma once

#include "image/tiled_image.h"
#include "platform/gui/drawing_surface.h"
#include "platform/gui/image.h"

namespace mirel::ui {

// The thumbnail resampled to width x height through its pyramid, as an
// opaque picture; empty when the thumbnail has no tiles or the working image
// cannot be made.
gui::Image thumbnailPicture(const image::TiledImage& thumbnail, int width, int height);

// drawThumbnail: the thumbnail resized to `rect` and drawn there. Draws
// nothing when the thumbnail has no tiles.
void drawThumbnail(gui::DrawingSurface& surface, const gui::Rect& rect,
                   const image::TiledImage& thumbnail);

}  // namespace mirel::ui
