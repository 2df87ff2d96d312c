// Where the program's windows open: centred across and a third down over
// their owner, kept on the screen.
#pragma once

#include "platform/gui/dialog.h"

namespace mirel::ui {

// The top-left corner for a window of `window`'s size over `owner` (screen
// pixels; the owner's client area, or the screen's work area when there is
// none). Across it is centred, then moved left by the width of a caption
// button (two thirds of it for a window without a system menu); down it sits
// a third of the free height below the owner's top. A window that would
// leave `workArea` on the right or at the bottom is moved in, but never past
// its left or top edge; nor does it start left of or above the work area.
gui::Point centredPosition(const gui::Rect& window, const gui::Rect& owner,
                           const gui::Rect& workArea, int captionButtonWidth, bool hasSystemMenu);

// Moves the dialog there. Size and stacking stay.
void centreDialog(gui::DialogHandle& dialog);

}  // namespace mirel::ui
