// Resource lookup by type and id over the files embedded at build time and
// the PiPL built in code.
#include "resources/resources.h"

#include <charconv>
#include <string>

#include "resources/aete.h"
#include "resources/pipl.h"

namespace mirel {

namespace embedded {
// Written by embed_resource.cmake from the files found at configure time.
extern const EmbeddedResource kResourceTable[];
extern const std::size_t kResourceCount;
}  // namespace embedded

namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

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

std::span<const EmbeddedResource> embeddedResources() {
    return {embedded::kResourceTable, embedded::kResourceCount};
}

std::span<const std::uint8_t> findResource(std::string_view type, std::string_view id) {
    std::string storage;
    id = normalisedId(id, storage);
    if (type.empty() || id.empty()) return {};
    if (sameName(type, "PiPL") && id == std::to_string(kPiplResourceId)) return piplBytes();
    if (sameName(type, "AETE") && id == std::to_string(kTerminologyResourceId)) return aeteBytes();
    for (const EmbeddedResource& resource : embeddedResources())
        if (sameName(resource.type, type) && sameName(resource.id, id)) return *resource.bytes;
    return {};
}

std::span<const std::uint8_t> findResource(std::string_view type, int id) {
    // Numeric resource ids are 16-bit on the system the filter was made for.
    if (id < 0 || id > 0xFFFF) return {};
    return findResource(type, std::string_view(std::to_string(id)));
}

}  // namespace mirel
