// Scripting parameters: the settings read from the host's descriptor when filtering
// starts, written back as a new descriptor when it finishes, and the host's choice of
// showing the dialog during playback.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/pi/pi.h"
#include "settings/settings_record.h"

namespace mirel {

struct FilterContext;

// One keyed value of a descriptor: an integer ('long'), a double ('doub') or an
// enumeration value of type 'GLty'.
struct ScriptingValue {
    pi::OSType key = 0;
    pi::OSType type = 0;
    std::int32_t integer = 0;
    double number = 0.0;
    pi::OSType enumValue = 0;
};

// The enumeration value written for an output mode outside 1..69.
constexpr pi::OSType kGlueValueNone = pi::fourCC("<NO>");

// The values a finished run writes, in order: 'Vers' 45, then the 37 parameters in
// terminology order. Syncs the mirrors and stamps the record with version 45 first, as
// every write of the record does.
std::vector<ScriptingValue> scriptingValuesOf(SettingsRecord& record);

// Stores one value read from a descriptor into its field. Colours take the value into
// their high byte (only its low 8 bits survive), doubles become floats, an enumeration
// value other than 'GL01'..'GL69' gives output mode 0. False for a key the terminology
// does not know, which is skipped.
bool applyScriptingValue(SettingsRecord& record, const ScriptingValue& value);

// The host offers descriptor services this filter can use: parameters of version 0,
// read procedures of version 0 with all 18 entries, write procedures of version 0 with
// all 16, and every procedure the filter calls present.
bool descriptorServicesUsable(const pi::FilterRecord& record);

// Photoshop 8 and 9 are treated as having no scripting when reading.
bool hostIgnoresDescriptorOnReading(const pi::FilterRecord& record);

// Lifecycle hooks. Present: the host is neither 'PSP8' nor 'PSP9', its services are
// usable and a descriptor can be opened for reading (it is closed again at once).
bool scriptingParametersPresent(FilterContext& ctx);
// Start: the defaults, then every known key of the descriptor over them; the
// descriptor is disposed of afterwards. The show-dialog flag then follows playInfo.
void readScriptingParameters(FilterContext& ctx);
// Finish: every parameter into a new descriptor, handed to the host.
void writeScriptingParameters(FilterContext& ctx);

}  // namespace mirel
