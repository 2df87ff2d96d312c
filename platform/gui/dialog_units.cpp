// Dialog units to pixels, with the system's rounding.
#include "platform/gui/dialog_units.h"

#include <algorithm>
#include <cstdint>

namespace mirel::gui {

int mulDivRound(int a, int b, int c) {
    if (c == 0) return 0;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const std::int64_t half = (c > 0 ? c : -c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const std::int64_t magnitude = ((product < 0 ? -product : product) + half) / (c > 0 ? c : -c);
    const std::int64_t result = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<std::int64_t>(result, INT32_MIN, INT32_MAX));
}

Rect dialogUnitsToPixels(const Rect& du, const BaseUnits& units) {
    const int left = mulDivRound(du.x, units.x, 4);
    const int top = mulDivRound(du.y, units.y, 8);
    const int right = mulDivRound(du.x + du.width, units.x, 4);
    const int bottom = mulDivRound(du.y + du.height, units.y, 8);
    return {left, top, right - left, bottom - top};
}

}  // namespace mirel::gui
