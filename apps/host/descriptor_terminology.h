// A filter's scripting terminology as the host reads it from the AETE resource in
// the plug-in's file: the names, keys and types of its parameters and the values of
// its enumerations.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mirel::hostkit {

struct TermParameter {
    std::string name;
    std::uint32_t key = 0;
    std::uint32_t type = 0;
    std::string description;
    std::uint16_t flags = 0;
};

struct TermEnumValue {
    std::string name;
    std::uint32_t id = 0;
    std::string description;
};

struct TermEnumeration {
    std::uint32_t type = 0;
    std::vector<TermEnumValue> values;
};

struct Terminology {
    std::string suiteName;
    std::uint32_t suiteId = 0;
    std::string eventName;
    std::string eventDescription;
    std::uint32_t eventClass = 0;
    std::uint32_t eventId = 0;
    std::vector<TermParameter> parameters;
    std::vector<TermEnumeration> enumerations;

    const TermParameter* byKey(std::uint32_t key) const;
    // Names compare without regard to case.
    const TermParameter* byName(const std::string& name) const;
    const TermEnumeration* enumeration(std::uint32_t type) const;
};

// Parses an AETE resource in the Windows layout (one suite with one event; classes and
// comparison operators are skipped). Every read is checked; false with one line in
// `error` when the bytes are damaged.
bool parseTerminology(std::span<const std::uint8_t> bytes, Terminology& terminology,
                      std::string& error);

// The terminology of the plug-in at `pluginPath`: its PiPL's 'hstm' property says
// that it has one, and the library carries the AETE resource as its ".aete" section,
// beside the ".pipl" one, read without loading the library. False with one line in
// `error`, which begins with the path.
bool loadFilterTerminology(const std::string& pluginPath, Terminology& terminology,
                           std::string& error);

// The value of `enumeration` whose name (without regard to case) or four-character id
// is `text`; null when there is none.
const TermEnumValue* findEnumValue(const TermEnumeration& enumeration, const std::string& text);

bool sameNameIgnoringCase(const std::string& a, const std::string& b);

}  // namespace mirel::hostkit
