// Save and Load of settings files from the main dialog: the file dialogs,
// the thumbnail, the settings name and the file itself.
#pragma once

#include <string>

#include "settings/settings_record.h"

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

// The file name Save offers: the settings name ("Mirel settings" when it is
// empty) with everything from its last point on replaced by ".q8r".
std::string proposedSettingsFileName(const SettingsRecord& record);

// Save: the thumbnail made from the preview, the save dialog, the file
// written with its thumbnail (an existing file is replaced only by a complete
// one), and the chosen file's name as the settings name. True when a file was
// chosen.
bool saveSettingsFromDialog(FilterContext& ctx);

// Load: the open dialog with the thumbnail preview, then the file read into
// the record and the thumbnail, and its name as the settings name. True when
// a file was read, so that the dialog shows the new settings.
bool loadSettingsFromDialog(FilterContext& ctx);

}  // namespace mirel::ui
