// The presets page from the main dialog (button 40): a page of the
// thumbnails of every settings file in a folder the user picks, opened in the
// system browser once it is written.
#pragma once

#include "platform/gui/dialog.h"

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

// Asks for any file in the source folder, then for the page's name
// ("Mirel presets.html" proposed), writes the page with the wait cursor
// showing and hands it to the desktop's browser. Cancelling either dialog
// writes nothing; does nothing while a file dialog is open. A page that
// cannot be written is reported in a message.
void runPresetsPage(FilterContext& ctx, gui::DialogHandle& dialog);

}  // namespace mirel::ui
