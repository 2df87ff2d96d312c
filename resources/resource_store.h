// Where the library keeps the files of resources/: compiled into a table of its
// own (resource_table.cpp), or on Windows in the library's resource section,
// where hosts and tools see them (resource_section.cpp).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace mirel::detail {

// Names of types and resources compare without regard to case.
bool sameName(std::string_view a, std::string_view b);
char upper(char c);

// The bytes of the file stored as resources/<type>/<id>.<ext>; empty when none.
// `id` is already normalised ("#16000" is "16000").
std::span<const std::uint8_t> findFileResource(std::string_view type, std::string_view id);

}  // namespace mirel::detail
