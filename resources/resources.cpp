// Resource lookup by type and id over the files the library carries (see
// resource_table.cpp and resource_section.cpp) and the PiPL and terminology
// built in code.
#include "resources/resources.h"

#include <charconv>
#include <string>

#include "resources/aete.h"
#include "resources/pipl.h"
#include "resources/resource_store.h"

namespace mirel {

namespace detail {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

}  // namespace detail

namespace {

using detail::sameName;

// "#16000" is the textual form of the numeric id 16000. Leading zeros are
// dropped so that "#016000" names the same resource.
std::string_view normalisedId(std::string_view id, std::string& storage) {
    if (id.size() < 2 || id[0] != '#') return id;
    unsigned value = 0;
    const char* first = id.data() + 1;
    const char* last = id.data() + id.size();
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || value > 0xFFFF) return id;
    storage = std::to_string(value);
    return storage;
}

}  // namespace

std::span<const std::uint8_t> findResource(std::string_view type, std::string_view id) {
    std::string storage;
    id = normalisedId(id, storage);
    if (type.empty() || id.empty()) return {};
    if (sameName(type, "PiPL") && id == std::to_string(kPiplResourceId)) return piplBytes();
    if (sameName(type, "AETE") && id == std::to_string(kTerminologyResourceId)) return aeteBytes();
    return detail::findFileResource(type, id);
}

std::span<const std::uint8_t> findResource(std::string_view type, int id) {
    // Numeric resource ids are 16-bit on the system the filter was made for.
    if (id < 0 || id > 0xFFFF) return {};
    return findResource(type, std::string_view(std::to_string(id)));
}

}  // namespace mirel
