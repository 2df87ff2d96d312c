// The light pad: a square on which the pointer sets the direction the
// glitter's light comes from, drawn as a background with a marker on a line
// from its centre.
#pragma once

#include "platform/gui/drawing_surface.h"
#include "settings/settings_record.h"

namespace mirel::ui {

class ResourceImages;

// The pad's geometry in client pixels: it is square (as high as it is wide)
// and laid out in units of width / 85.
struct LightPadGeometry {
    double unit = 1.0;
    double centerX = 0.0;
    double centerY = 0.0;
    double radius = 0.0;  // where the marker of a light from the side lies
};

LightPadGeometry lightPadGeometry(const gui::Rect& pad);

// The light direction for a pointer at `pointer`: the offset from the
// centre, shortened to the working radius when it lies beyond, gives x and
// y (0 and 0, straight from above, while Ctrl is held); z makes it a unit
// vector.
Vec3f lightDirectionAt(const LightPadGeometry& pad, gui::Point pointer, bool controlHeld);

// Where the marker of `light` sits.
gui::Point lightMarkerPoint(const LightPadGeometry& pad, const Vec3f& light);

void drawLightPad(gui::DrawingSurface& surface, ResourceImages& images, const gui::Rect& pad,
                  const Vec3f& light, bool enabled);

}  // namespace mirel::ui
