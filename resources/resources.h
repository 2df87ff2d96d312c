// The plug-in's resources: dialog templates, images, cursors, the scripting
// terminology and the PiPL, embedded in the library and found by type and id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace mirel {

// One embedded resource file, resources/<type>/<id>.<ext> in the source tree.
struct EmbeddedResource {
    std::string_view type;
    std::string_view id;
    const std::span<const std::uint8_t>* bytes;
};

// The bytes of a resource, or an empty span when there is none. Types and
// names compare without regard to case, as the system's resource lookup
// does; "#16000" names the numeric id 16000. The bytes stay valid for the
// life of the library and are followed by one NUL that the span does not
// count, so text resources can also be used as C strings.
std::span<const std::uint8_t> findResource(std::string_view type, std::string_view id);
std::span<const std::uint8_t> findResource(std::string_view type, int id);

// Every resource embedded from files (the PiPL, which is built in code, is
// not among them).
std::span<const EmbeddedResource> embeddedResources();

// Resource ids the plug-in asks for.
constexpr int kPiplResourceId = 16000;
constexpr int kTerminologyResourceId = 16000;

}  // namespace mirel
