// Centring the program's windows over their owners.
#include "ui/window_centring.h"

#include <algorithm>

namespace mirel::ui {

gui::Point centredPosition(const gui::Rect& window, const gui::Rect& owner,
                           const gui::Rect& workArea, int captionButtonWidth, bool hasSystemMenu) {
    const int shift = hasSystemMenu ? captionButtonWidth : captionButtonWidth * 2 / 3;
    int x = owner.x + std::max(0, owner.width - window.width) / 2 - shift;
    int y = owner.y + std::max(0, owner.height - window.height) / 3;
    const int screenRight = workArea.x + workArea.width;
    const int screenBottom = workArea.y + workArea.height;
    if (x + window.width > screenRight) x = std::max(workArea.x, screenRight - window.width);
    if (y + window.height > screenBottom) y = std::max(workArea.y, screenBottom - window.height);
    // An owner partly off the left or top of the screen must not take the window with it.
    x = std::max(x, workArea.x);
    y = std::max(y, workArea.y);
    return {x, y};
}

void centreDialog(gui::DialogHandle& dialog) {
    const gui::Rect window = dialog.windowRect();
    // Dialogs of this program all have a caption with a system menu.
    dialog.moveWindow(centredPosition(window, dialog.ownerClientRect(), dialog.screenWorkArea(),
                                      dialog.captionButtonWidth(), true));
}

}  // namespace mirel::ui
