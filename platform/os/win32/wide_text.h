// Text at the Win32 boundary: the program keeps UTF-8 everywhere and the
// system's wide (UTF-16) calls get it converted at each call; the system's
// error codes are reported as the nearest errno so that callers word them the
// same on every system. Windows only.
#pragma once

#include <string>
#include <string_view>

namespace mirel::os::win32 {

// Invalid UTF-8 becomes U+FFFD; invalid UTF-16 likewise.
std::wstring wideText(std::string_view utf8);
std::string utf8Text(std::wstring_view wide);

// The errno nearest to a system error code (GetLastError): ENOENT, EACCES,
// ENOSPC, EEXIST, ... and EIO for anything else.
int errnoOf(unsigned long systemError);

}  // namespace mirel::os::win32
