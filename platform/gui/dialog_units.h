// Dialog units: templates place controls in units of the dialog font's
// average character size, which every backend maps to pixels the same way.
#pragma once

#include "platform/gui/dialog_template.h"

namespace mirel::gui {

// Horizontal and vertical dialog base units in pixels: 4 horizontal and
// 8 vertical dialog units make one base unit.
struct BaseUnits {
    int x = 6;
    int y = 13;
};

// a * b / c rounded half away from zero, as the system's MulDiv; results
// beyond the int range saturate, and c = 0 gives 0.
int mulDivRound(int a, int b, int c);

// A rectangle in dialog units as client pixels. Edges are mapped, not sizes,
// so that adjacent controls stay adjacent.
Rect dialogUnitsToPixels(const Rect& dialogUnits, const BaseUnits& units);

}  // namespace mirel::gui
