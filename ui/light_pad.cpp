// The light pad's geometry, the direction under the pointer and its drawing.
#include "ui/light_pad.h"

#include <algorithm>
#include <cmath>

#include "ui/control_table.h"
#include "ui/resource_images.h"

namespace mirel::ui {

namespace {

// The pad's artwork is 85 units wide with its centre at (43, 41) and a
// working radius of 33 units; the marker is 6 units square.
constexpr double kPadUnits = 85.0;
constexpr double kCenterX = 43.0;
constexpr double kCenterY = 41.0;
constexpr double kWorkingRadius = 33.0;
constexpr double kMarkerUnits = 6.0;

constexpr gui::Rgb kLineColor{40, 40, 40};

}  // namespace

LightPadGeometry lightPadGeometry(const gui::Rect& pad) {
    LightPadGeometry g;
    g.unit = pad.width / kPadUnits;
    g.centerX = pad.x + kCenterX * g.unit;
    g.centerY = pad.y + kCenterY * g.unit;
    g.radius = kWorkingRadius * g.unit;
    return g;
}

Vec3f lightDirectionAt(const LightPadGeometry& pad, gui::Point pointer, bool controlHeld) {
    const double unit = pad.unit > 0 ? pad.unit : 1.0;
    const double dx = (pointer.x - pad.centerX) / unit;
    const double dy = (pointer.y - pad.centerY) / unit;
    // Inside the working radius the offset is divided by the radius itself,
    // so the light tilts in proportion; beyond it the direction is flat.
    const double r = std::max(std::hypot(dx, dy), kWorkingRadius);
    double x = dx / r;
    double y = dy / r;
    if (controlHeld) x = y = 0.0;
    double z = std::sqrt(std::max(0.0, 1.0 - x * x - y * y));
    const double length = std::sqrt(x * x + y * y + z * z);
    if (length > 0) {
        x /= length;
        y /= length;
        z /= length;
    }
    return {float(x), float(y), float(z)};
}

gui::Point lightMarkerPoint(const LightPadGeometry& pad, const Vec3f& light) {
    return {int(std::lround(pad.centerX + pad.radius * light.x)),
            int(std::lround(pad.centerY + pad.radius * light.y))};
}

void drawLightPad(gui::DrawingSurface& surface, ResourceImages& images, const gui::Rect& control,
                  const Vec3f& light, bool enabled) {
    const gui::Rect pad{control.x, control.y, control.width, control.width};
    const ControlSpec& spec = controlSpec(id::kLightPad);
    if (enabled)
        images.drawBitmap(surface, pad, spec.images[kImageNormal], spec.images[kImageLarge]);
    else
        images.drawBitmap(surface, pad, spec.images[kImageDisabled],
                          image_id::kLightPadDisabledLarge);
    const LightPadGeometry g = lightPadGeometry(pad);
    const gui::Point center{int(std::lround(g.centerX)), int(std::lround(g.centerY))};
    const gui::Point marker = lightMarkerPoint(g, light);
    surface.drawLine(center, marker, kLineColor);
    const int side = std::max(1, int(std::lround(kMarkerUnits * g.unit)));
    images.drawIcon(surface, {marker.x - side / 2, marker.y - side / 2, side, side},
                    image_id::kLightMarker);
}

}  // namespace mirel::ui
