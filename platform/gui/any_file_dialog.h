// An open dialog that only asks for a place: the user picks any existing file,
// and the caller takes the folder it is in.
#pragma once

#include <string>
#include <string_view>

namespace mirel::gui {

// Shows the open dialog titled `title`, starting in `startFolder` (the
// system's choice when empty), over `ownerWindow`. True with the chosen
// file's path in `chosen`; false when cancelled or without a display.
bool chooseAnyFile(std::string_view title, const std::string& startFolder, void* ownerWindow,
                   std::string& chosen);

}  // namespace mirel::gui
