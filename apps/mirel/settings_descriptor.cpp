// Settings records to descriptors and back, through the filter's scripting table.
#include "apps/mirel/settings_descriptor.h"

#include "host/scripting.h"
#include "resources/aete.h"

namespace mirel::host_app {

using hostkit::Descriptor;
using hostkit::DescriptorItem;
using hostkit::kDescTypeEnumerated;
using hostkit::kDescTypeFloat;
using hostkit::kDescTypeInteger;
using hostkit::kDescTypeUnitFloat;

Descriptor descriptorFromSettings(const SettingsRecord& record) {
    SettingsRecord copy = record;
    Descriptor descriptor;
    for (const ScriptingValue& value : scriptingValuesOf(copy)) {
        if (value.type == kDescTypeInteger)
            descriptor.put(hostkit::integerItem(value.key, value.integer));
        else if (value.type == kDescTypeFloat)
            descriptor.put(hostkit::floatItem(value.key, value.number));
        else
            descriptor.put(hostkit::enumeratedItem(value.key, value.type, value.enumValue));
    }
    return descriptor;
}

void applyDescriptor(const Descriptor& descriptor, SettingsRecord& record) {
    for (const DescriptorItem& item : descriptor.items) {
        const ScriptingParameter* parameter = findScriptingParameter(item.key);
        if (!parameter) continue;
        ScriptingValue value;
        value.key = item.key;
        value.type = parameter->type;
        // As the filter reads them: each key with the procedure of its own type, which
        // takes integers as floats too and skips what it cannot read.
        if (parameter->type == kScriptTypeInteger && item.type == kDescTypeInteger) {
            value.integer = item.integer;
        } else if (parameter->type == kScriptTypeFloat && item.type == kDescTypeInteger) {
            value.number = item.integer;
        } else if (parameter->type == kScriptTypeFloat &&
                   (item.type == kDescTypeFloat || item.type == kDescTypeUnitFloat)) {
            value.number = item.number;
        } else if (parameter->type == kScriptTypeGlue && item.type == kDescTypeEnumerated) {
            value.enumValue = item.enumValue;
        } else {
            continue;
        }
        applyScriptingValue(record, value);
    }
}

}  // namespace mirel::host_app
