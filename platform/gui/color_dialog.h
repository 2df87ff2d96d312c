// The system's colour dialog.
#pragma once

#include <span>

#include "platform/gui/drawing_surface.h"

namespace mirel::gui {

constexpr int kCustomColorCount = 16;

// Shows the colour dialog modally over `ownerWindow` (as DialogHandle's
// nativeWindow gives it, or null) with `color` preset and `customColors` in
// its custom colour wells. True when the user chose a colour, which is then
// in `color`; the custom colours come back as the user left them either way.
// False, with nothing changed, when cancelled or when no display can be used.
bool chooseColor(Rgb& color, std::span<Rgb, kCustomColorCount> customColors, void* ownerWindow);

}  // namespace mirel::gui
