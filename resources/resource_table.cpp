// The files of resources/ compiled into the library as a table (every system
// but Windows, whose libraries keep them in their resource section).
#include "resources/resource_store.h"
#include "resources/resources.h"

namespace mirel {

namespace embedded {
// Written by embed_resource.cmake from the files found at configure time.
extern const EmbeddedResource kResourceTable[];
extern const std::size_t kResourceCount;
}  // namespace embedded

std::span<const EmbeddedResource> embeddedResources() {
    return {embedded::kResourceTable, embedded::kResourceCount};
}

std::span<const std::uint8_t> detail::findFileResource(std::string_view type, std::string_view id) {
    for (const EmbeddedResource& resource : embeddedResources())
        if (sameName(resource.type, type) && sameName(resource.id, id)) return *resource.bytes;
    return {};
}

}  // namespace mirel
