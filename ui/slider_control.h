// The program-drawn sliders and their value fields: the thumb's place, the
// position under the pointer, and the field's text as the record's value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/gui/drawing_surface.h"

namespace mirel::ui {

class ResourceImages;

// The thumb's rectangle for `position` on a slider occupying `slider`.
gui::Rect sliderThumbRect(const gui::Rect& slider, int position, int minimum, int maximum);

// The position under a pointer at x while the slider is dragged, limited to the range.
int sliderPositionAt(int pointerX, const gui::Rect& slider, int minimum, int maximum);

// Track (enabled: its image stretched over the slider; disabled: grey with a
// frame) and, when enabled, the thumb.
void drawSlider(gui::DrawingSurface& surface, ResourceImages& images, const gui::Rect& slider,
                int trackImage, int position, int minimum, int maximum, bool enabled);

// A value as a field shows it: "%g", six significant digits without
// trailing zeros (50 gives "50", 12.7 gives "12.7"). Independent of the locale.
std::string formatFieldValue(double value);

// A field's text as a number: leading blanks, an optional sign, digits with an
// optional point and exponent; reading stops at the first character that
// does not fit ("12abc" is 12). Text without digits ("", "abc", "-") is no
// number: nullopt. Independent of the locale.
std::optional<double> parseFieldValue(std::string_view text);

// The slider position of a value: cut toward zero to a whole number.
int sliderPositionOf(double value);

}  // namespace mirel::ui
