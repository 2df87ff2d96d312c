// Action files: a filter's descriptor as readable JSON text, each key with its type,
// its value and the parameter's name from the filter's terminology; and NAME=VALUE
// settings, the other way a user composes a descriptor by hand.
#pragma once

#include <string>
#include <string_view>

#include "apps/host/descriptor.h"
#include "apps/host/descriptor_terminology.h"

namespace mirel::hostkit {

// Files larger than this are no action file of a filter.
inline constexpr std::size_t kMaxActionFileBytes = 1 << 20;

// The JSON text of `descriptor`:
//   {"format": "Mirel action", "version": 1, "event": "Mirel 2",
//    "descriptor": [{"key": "0019", "name": "horizon float", "type": "doub", "value": 30.0},
//                   {"key": "GLUE", "name": "glue", "type": "enum", "enum type": "GLty",
//                    "value": "GL10", "value name": "screen"}, ...]}
// Keys the terminology does not know are written without a name.
std::string actionText(const Descriptor& descriptor, const Terminology& terminology);

// Reads the text back. An entry names its key by "key" or by "name"; its "type" may be
// left out for a key the terminology knows and must agree with it otherwise; an
// enumeration value is its name or its four-character id. Keys the terminology does
// not know are kept as written. False with one line in `error` for anything else.
bool parseActionText(std::string_view text, const Terminology& terminology, Descriptor& descriptor,
                     std::string& error);

// The same for files; the error begins with the path. Writing goes through a
// temporary file renamed over the target, so a failed write leaves no half file.
bool readActionFile(const std::string& path, const Terminology& terminology, Descriptor& descriptor,
                    std::string& error);
bool writeActionFile(const std::string& path, const Descriptor& descriptor,
                     const Terminology& terminology, std::string& error);

// One NAME=VALUE setting: the parameter by its name (or four-character key) and the
// value in its type: a whole number for 'long', a number for 'doub', a value name or id
// for an enumeration.
bool parseSetting(const std::string& setting, const Terminology& terminology, DescriptorItem& item,
                  std::string& error);

}  // namespace mirel::hostkit
