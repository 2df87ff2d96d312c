// Hosts that give less than ours: the parts of the plug-in interface many paint
// programs leave out, by name, so that a program (and its tests) can run the
// filter as such a host would.
#pragma once

#include <string>
#include <string_view>

#include "apps/host/filter_host.h"

namespace mirel::hostkit {

// What each name leaves out:
//   no-big-document    no 32-bit rectangles (bigDocumentData null)
//   no-scripting       no descriptor suite at all (the filter then shows its dialog)
//   scripting-v0       a descriptor suite of version 0
//   scripting-no-procs a descriptor suite without its read and write procedures
//   handle-size-zero   the handle suite's size call answers 0
//   empty-suites       property and resource suites that answer noErr and write nothing
//   failing-colours    colour services that fail every request
//   no-sampling        inputRate ignored: full-resolution data whatever was asked
//   no-padding         no padding: a request reaching outside the picture fails
// "minimal" is every one of them but the three about scripting, so that the
// filter can still be told its settings; "full" is our own host.
inline constexpr const char* kMinimalProfileParts[] = {"no-big-document", "handle-size-zero",
                                                       "empty-suites",    "failing-colours",
                                                       "no-sampling",     "no-padding"};

// Applies a comma-separated list of names (or "minimal", "full") to `options`.
// False with a one-line reason naming the known names.
bool applyHostProfile(std::string_view profile, HostOptions& options, std::string& error);

// Whether a host so described can be told the filter's settings without the dialog.
bool profileOffersScripting(const HostOptions& options);

}  // namespace mirel::hostkit
