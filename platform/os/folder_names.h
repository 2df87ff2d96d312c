// Matching and ordering folder entries by name, the same on every system:
// wildcard patterns as the filter's home system matches them, and an order that
// does not depend on the file system.
#pragma once

#include <string>

namespace mirel::os::detail {

// '*' any run, '?' one character, letters without case; a pattern ending in
// ".*" also takes names with no extension at all.
bool nameMatches(const std::string& pattern, const std::string& name);
// Case-insensitive order, ties broken by bytes.
bool nameLess(const std::string& a, const std::string& b);

}  // namespace mirel::os::detail
