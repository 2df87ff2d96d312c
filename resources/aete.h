// The scripting terminology: the filter's one event, its 37 keyed parameters and the
// enumeration of output modes, as a table and as the AETE resource that hosts read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/pi/pi_types.h"

namespace mirel {

// Descriptor types of the parameters.
constexpr pi::OSType kScriptTypeInteger = pi::fourCC("long");
constexpr pi::OSType kScriptTypeFloat = pi::fourCC("doub");
constexpr pi::OSType kScriptTypeGlue = pi::fourCC("GLty");  // the output-mode enumeration

constexpr pi::OSType kScriptingSuiteId = pi::fourCC("OMR2");
constexpr pi::OSType kScriptingEventClass = pi::fourCC("OMR2");
constexpr pi::OSType kScriptingEventId = pi::fourCC("OMR2");
constexpr pi::OSType kScriptingReplyType = pi::fourCC("null");
constexpr pi::OSType kScriptingDirectType = pi::fourCC("#ImR");  // the image itself

constexpr char kScriptingSuiteName[] = "Ostrand";
constexpr char kScriptingSuiteDescription[] = "Mirel 2";
constexpr char kScriptingEventName[] = "Mirel 2";
constexpr char kScriptingEventDescription[] = "Draws lying water";

// Parameter flags: optional; the glue is also an enumeration; the direct parameter
// (the image) is optional, enumerated-style and changes the image.
constexpr std::uint16_t kScriptFlagOptional = 0x8000;
constexpr std::uint16_t kScriptFlagGlue = 0xA000;
constexpr std::uint16_t kScriptFlagDirect = 0xB000;

// The key of the glue parameter, and the key the writer adds before all others to
// say which settings version wrote the descriptor (never read back).
constexpr pi::OSType kScriptKeyGlue = pi::fourCC("GLUE");
constexpr pi::OSType kScriptKeyVersion = pi::fourCC("Vers");

struct ScriptingParameter {
    pi::OSType key;
    pi::OSType type;
    std::string_view name;  // also its description
};

struct ScriptingEnumValue {
    pi::OSType id;          // 'GL' and the two-digit output mode number
    std::string_view name;  // also its description
};

constexpr std::size_t kScriptingParameterCount = 37;
constexpr std::size_t kGlueValueCount = 61;

// The parameters in resource order, which is also the order of the key list
// offered to the host when a descriptor is opened for reading.
std::span<const ScriptingParameter> scriptingParameters();
// The enumeration 'GLty': output modes 1 to 59, 62 and 63 (60, 61 and 64 to 69 have
// no name a host could show).
std::span<const ScriptingEnumValue> glueValues();

// The entry of `key`, or null for a key that is not in the terminology.
const ScriptingParameter* findScriptingParameter(pi::OSType key);

// 'GLnn' for output mode nn in 1..69, else 0.
pi::OSType glueValueForMode(std::int32_t outputMode);
// nn for 'GLnn' with nn in 01..69, else 0 (the value of an unknown enumeration).
std::int32_t modeForGlueValue(pi::OSType value);

// The AETE resource in the Windows layout: little-endian counts, four-character
// codes as native 32-bit values, Pascal strings without padding. The library
// carries these bytes (and a NUL) as its ".aete" section, where hosts read them.
std::span<const std::uint8_t> aeteBytes();

}  // namespace mirel
