// Reading the AETE resource: little-endian counts, four-character codes as native
// 32-bit values, Pascal strings without padding; and finding it in a plug-in's file.
#include "apps/host/descriptor_terminology.h"

#include <cctype>

#include "apps/host/pipl_reader.h"
#include "apps/host/plugin_resources.h"
#include "platform/pi/four_cc.h"

namespace mirel::hostkit {

namespace {

// A filter's terminology is a few kilobytes; anything near this is not one.
constexpr std::uint64_t kMaxAeteSize = 1u << 20;

struct AeteReader {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    bool ok = true;
    std::string what;  // where the first failure happened

    bool need(std::size_t n, const char* context) {
        if (ok && bytes.size() - at < n) {
            ok = false;
            what = context;
        }
        return ok;
    }
    std::uint8_t u8(const char* context) { return need(1, context) ? bytes[at++] : 0; }
    std::uint16_t u16(const char* context) {
        if (!need(2, context)) return 0;
        const auto value = std::uint16_t(bytes[at] | (bytes[at + 1] << 8));
        at += 2;
        return value;
    }
    std::uint32_t u32(const char* context) {
        if (!need(4, context)) return 0;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= std::uint32_t(bytes[at + i]) << (8 * i);
        at += 4;
        return value;
    }
    std::string pascal(const char* context) {
        const std::size_t length = u8(context);
        if (!need(length, context)) return {};
        std::string text(reinterpret_cast<const char*>(bytes.data() + at), length);
        at += length;
        return text;
    }
};

}  // namespace

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const TermParameter* Terminology::byKey(std::uint32_t key) const {
    for (const TermParameter& parameter : parameters)
        if (parameter.key == key) return &parameter;
    return nullptr;
}

const TermParameter* Terminology::byName(const std::string& name) const {
    for (const TermParameter& parameter : parameters)
        if (sameNameIgnoringCase(parameter.name, name)) return &parameter;
    return nullptr;
}

const TermEnumeration* Terminology::enumeration(std::uint32_t type) const {
    for (const TermEnumeration& candidate : enumerations)
        if (candidate.type == type) return &candidate;
    return nullptr;
}

const TermEnumValue* findEnumValue(const TermEnumeration& enumeration, const std::string& text) {
    for (const TermEnumValue& value : enumeration.values)
        if (sameNameIgnoringCase(value.name, text)) return &value;
    if (const auto id = pi::fourCCFromText(text))
        for (const TermEnumValue& value : enumeration.values)
            if (value.id == *id) return &value;
    return nullptr;
}

bool parseTerminology(std::span<const std::uint8_t> bytes, Terminology& terminology,
                      std::string& error) {
    terminology = Terminology{};
    AeteReader r;
    r.bytes = bytes;
    r.u16("header");
    const std::uint8_t major = r.u8("header");
    r.u8("header");
    r.u16("header");
    r.u16("header");
    const std::uint16_t suites = r.u16("header");
    if (r.ok && major != 1) {
        error = "damaged terminology: version " + std::to_string(major) + " (1 expected)";
        return false;
    }
    if (r.ok && suites != 1) {
        error = "damaged terminology: " + std::to_string(suites) + " suites (1 expected)";
        return false;
    }
    terminology.suiteName = r.pascal("suite");
    r.pascal("suite");
    terminology.suiteId = r.u32("suite");
    r.u16("suite");
    r.u16("suite");
    const std::uint16_t events = r.u16("suite");
    if (r.ok && events != 1) {
        error = "damaged terminology: " + std::to_string(events) + " events (1 expected)";
        return false;
    }
    terminology.eventName = r.pascal("event");
    terminology.eventDescription = r.pascal("event");
    terminology.eventClass = r.u32("event");
    terminology.eventId = r.u32("event");
    r.u32("reply");
    r.pascal("reply");
    r.u16("reply");
    r.u32("direct parameter");
    r.pascal("direct parameter");
    r.u16("direct parameter");
    const std::uint16_t parameterCount = r.u16("parameters");
    for (std::uint16_t i = 0; i < parameterCount && r.ok; ++i) {
        TermParameter parameter;
        parameter.name = r.pascal("parameters");
        parameter.key = r.u32("parameters");
        parameter.type = r.u32("parameters");
        parameter.description = r.pascal("parameters");
        parameter.flags = r.u16("parameters");
        if (r.ok) terminology.parameters.push_back(std::move(parameter));
    }
    const std::uint16_t classes = r.u16("classes");
    const std::uint16_t comparisons = r.u16("comparison operators");
    if (r.ok && (classes != 0 || comparisons != 0)) {
        // Classes and operators are not something a filter's settings need.
        error = "unsupported terminology: it declares classes or comparison operators";
        return false;
    }
    const std::uint16_t enumerationCount = r.u16("enumerations");
    for (std::uint16_t i = 0; i < enumerationCount && r.ok; ++i) {
        TermEnumeration enumeration;
        enumeration.type = r.u32("enumerations");
        const std::uint16_t valueCount = r.u16("enumerations");
        for (std::uint16_t v = 0; v < valueCount && r.ok; ++v) {
            TermEnumValue value;
            value.name = r.pascal("enumerations");
            value.id = r.u32("enumerations");
            value.description = r.pascal("enumerations");
            if (r.ok) enumeration.values.push_back(std::move(value));
        }
        if (r.ok) terminology.enumerations.push_back(std::move(enumeration));
    }
    if (!r.ok) {
        error = "damaged terminology: its " + r.what + " run past its " +
                std::to_string(bytes.size()) + " bytes";
        return false;
    }
    return true;
}

bool loadFilterTerminology(const std::string& pluginPath, Terminology& terminology,
                           std::string& error) {
    PiplInfo info;
    if (!loadFilterPipl(pluginPath, info, error)) return false;
    if (!info.terminology) {
        error = pluginPath + ": the filter declares no scripting terminology";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    const ResourceRead read =
        readPluginResource(pluginPath, PluginResource::Terminology, info.terminology->terminologyId,
                           kMaxAeteSize, bytes, error);
    if (read == ResourceRead::Missing)
        error = "the filter has no terminology resource " +
                std::to_string(info.terminology->terminologyId);
    if (read != ResourceRead::Read || !parseTerminology(bytes, terminology, error)) {
        error = pluginPath + ": " + error;
        return false;
    }
    return true;
}

}  // namespace mirel::hostkit
