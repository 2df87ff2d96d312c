// Opening a web address or a local page with the desktop's handler (the
// system browser).
#pragma once

#include <string>

namespace mirel::gui {

// Hands `address` (an absolute URL, or a local file path, which is opened as
// a file: URL) to the desktop's URL handler. False when there is no display,
// the address is empty, or the handler refuses it. Returns at once; the
// browser runs on its own.
bool openUrl(const std::string& address);

}  // namespace mirel::gui
