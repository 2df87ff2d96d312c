// The info box: one picture beside the main dialog, which closes itself once
// the main dialog is gone.
#pragma once

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

constexpr int kInfoPictureArea = 1;
constexpr int kInfoPicture = 179;  // bitmap, and its large variant
constexpr int kInfoPictureLarge = 303;
constexpr int kInfoTimerId = 997;
constexpr int kInfoTimerMs = 1000;

// Opens the box beside the main dialog unless one is open already. False
// when one is open or it cannot be shown.
bool openInfoBox(FilterContext& ctx);
// Closes an open box, as the main dialog's OK and Cancel do.
void closeInfoBox(FilterContext& ctx);

}  // namespace mirel::ui
