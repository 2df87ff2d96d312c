// Action files in JSON (through nlohmann-json) and NAME=VALUE settings.
#include "apps/host/action_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "apps/host/pending_file.h"
#include "platform/os/os.h"
#include "platform/pi/four_cc.h"

namespace mirel::hostkit {

namespace {

using Json = nlohmann::ordered_json;

constexpr char kFormatName[] = "Mirel action";
constexpr int kFormatVersion = 1;
// An action file nests three levels deep; deeper text is no action file, and is
// refused before the parser could spend its stack on it.
constexpr int kMaxNesting = 16;

// Numbers JSON cannot write; a settings file may hold them, and a record of its
// run must still play back.
constexpr char kNotANumber[] = "NaN";
constexpr char kInfinity[] = "Infinity";
constexpr char kMinusInfinity[] = "-Infinity";

// The deepest nesting of arrays and objects outside strings.
int nestingOf(std::string_view text) {
    int depth = 0, deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > kMaxNesting) return deepest;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

Json numberJson(double value) {
    if (std::isnan(value)) return kNotANumber;
    if (std::isinf(value)) return value > 0 ? kInfinity : kMinusInfinity;
    return value;
}

bool numberFrom(const Json& value, double& out) {
    if (value.is_number()) {
        out = value.get<double>();
        return true;
    }
    if (!value.is_string()) return false;
    const std::string text = value.get<std::string>();
    if (text == kNotANumber)
        out = std::numeric_limits<double>::quiet_NaN();
    else if (text == kInfinity)
        out = std::numeric_limits<double>::infinity();
    else if (text == kMinusInfinity)
        out = -std::numeric_limits<double>::infinity();
    else
        return false;
    return true;
}

// Codes in the file (type names: the descriptor type codes, and "enum" for
// enumerations): four printable ASCII characters as they are, any other code in hex,
// so that every code survives a round trip through the file.
std::string codeText(std::uint32_t code) {
    return pi::fourCCText(code, pi::FourCCStyle::Bare);
}

std::optional<std::uint32_t> codeFromText(const std::string& text) {
    if (text.size() == 10 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::uint32_t code = 0;
        const auto [end, error] = std::from_chars(text.data() + 2, text.data() + 10, code, 16);
        if (error == std::errc() && end == text.data() + 10) return code;
        return std::nullopt;
    }
    if (text.size() != 4) return std::nullopt;
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return std::nullopt;
    return pi::fourCCFromText(text);
}

bool fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

// The descriptor type a terminology type travels as.
std::uint32_t descriptorTypeOf(const TermParameter& parameter, const Terminology& terminology) {
    if (parameter.type == kDescTypeInteger || parameter.type == kDescTypeFloat ||
        parameter.type == kDescTypeBoolean || parameter.type == kDescTypeText)
        return parameter.type;
    if (terminology.enumeration(parameter.type)) return kDescTypeEnumerated;
    return parameter.type;
}

std::string describe(const TermParameter& parameter) {
    return "'" + codeText(parameter.key) + "' (\"" + parameter.name + "\")";
}

bool integerFrom(const Json& value, std::int32_t& out) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned()) {
            const auto v = value.get<std::uint64_t>();
            if (v > std::uint64_t(INT32_MAX)) return false;
            out = std::int32_t(v);
            return true;
        }
        const auto v = value.get<std::int64_t>();
        if (v < INT32_MIN || v > INT32_MAX) return false;
        out = std::int32_t(v);
        return true;
    }
    if (value.is_number_float()) {
        const double v = value.get<double>();
        if (std::trunc(v) != v || v < double(INT32_MIN) || v > double(INT32_MAX)) return false;
        out = std::int32_t(v);
        return true;
    }
    return false;
}

bool codeFrom(const Json& value, std::uint32_t& out) {
    if (!value.is_string()) return false;
    const auto code = codeFromText(value.get<std::string>());
    if (!code) return false;
    out = *code;
    return true;
}

bool parseEntry(const Json& entry, std::size_t index, const Terminology& terminology,
                DescriptorItem& item, std::string& error) {
    const std::string where = "entry " + std::to_string(index + 1);
    if (!entry.is_object()) return fail(error, where + " is not an object");
    const TermParameter* parameter = nullptr;
    if (entry.contains("key")) {
        if (!codeFrom(entry["key"], item.key))
            return fail(error, where + ": \"key\" must be four characters, such as \"0019\"");
        parameter = terminology.byKey(item.key);
        if (entry.contains("name") && parameter &&
            (!entry["name"].is_string() ||
             !sameNameIgnoringCase(entry["name"].get<std::string>(), parameter->name)))
            return fail(error, where + ": key '" + codeText(item.key) + "' is named \"" +
                                   parameter->name + "\", not " + entry["name"].dump());
    } else if (entry.contains("name")) {
        if (entry["name"].is_string())
            parameter = terminology.byName(entry["name"].get<std::string>());
        if (!parameter)
            return fail(error, where + ": unknown parameter " + entry["name"].dump() +
                                   "; `mirel params` lists them");
        item.key = parameter->key;
    } else {
        return fail(error, where + " has neither \"key\" nor \"name\"");
    }
    const std::string what = parameter ? describe(*parameter) : "'" + codeText(item.key) + "'";

    std::uint32_t expected = parameter ? descriptorTypeOf(*parameter, terminology) : 0;
    if (entry.contains("type")) {
        std::uint32_t given = 0;
        if (!codeFrom(entry["type"], given))
            return fail(error, where + ": \"type\" must be four characters, such as \"long\"");
        if (expected != 0 && given != expected)
            return fail(error, where + ": " + what + " is of type " + codeText(expected) +
                                   ", not " + codeText(given));
        expected = given;
    } else if (expected == 0) {
        return fail(error, where + ": " + what +
                               " is not in the filter's terminology and needs a \"type\"");
    }
    item.type = expected;
    if (!entry.contains("value")) return fail(error, where + ": " + what + " has no \"value\"");
    const Json& value = entry["value"];
    switch (item.type) {
        case kDescTypeInteger:
            if (!integerFrom(value, item.integer))
                return fail(error, where + ": " + what + " wants a whole number from " +
                                       std::to_string(INT32_MIN) + " to " +
                                       std::to_string(INT32_MAX) + ", not " + value.dump());
            return true;
        case kDescTypeFloat:
        case kDescTypeUnitFloat:
            if (!numberFrom(value, item.number))
                return fail(error, where + ": " + what + " wants a number, not " + value.dump());
            if (item.type == kDescTypeUnitFloat) {
                item.unit = kDescUnitNone;
                if (entry.contains("unit") && !codeFrom(entry["unit"], item.unit))
                    return fail(error, where + ": \"unit\" must be four characters");
            }
            return true;
        case kDescTypeBoolean:
            if (!value.is_boolean())
                return fail(error, where + ": " + what + " wants true or false");
            item.boolean = value.get<bool>();
            return true;
        case kDescTypeText:
            if (!value.is_string()) return fail(error, where + ": " + what + " wants a text");
            item.text = value.get<std::string>();
            if (item.text.size() > kMaxDescriptorText)
                return fail(error, where + ": the text is too long");
            return true;
        case kDescTypeClass:
            if (!codeFrom(value, item.enumValue))
                return fail(error, where + ": " + what + " wants a four-character class");
            return true;
        case kDescTypeEnumerated: {
            if (parameter) item.enumType = parameter->type;
            if (entry.contains("enum type")) {
                std::uint32_t given = 0;
                if (!codeFrom(entry["enum type"], given) || (parameter && given != parameter->type))
                    return fail(error, where + ": " + what + " is an enumeration of type '" +
                                           codeText(item.enumType) + "', not " +
                                           entry["enum type"].dump());
                item.enumType = given;
            }
            if (!value.is_string())
                return fail(error,
                            where + ": " + what + " wants a value name or a four-character id");
            const std::string text = value.get<std::string>();
            const TermEnumeration* enumeration = terminology.enumeration(item.enumType);
            if (const TermEnumValue* known =
                    enumeration ? findEnumValue(*enumeration, text) : nullptr) {
                item.enumValue = known->id;
                return true;
            }
            // Ids outside the enumeration are kept: the filter itself writes '<NO>'.
            if (!codeFrom(value, item.enumValue))
                return fail(error, where + ": " + what + " has no value " + value.dump() +
                                       "; `mirel params` lists the values");
            return true;
        }
        default:
            return fail(error, where + ": " + what + " has the type '" + codeText(item.type) +
                                   "', which action files cannot hold");
    }
}

}  // namespace

std::string actionText(const Descriptor& descriptor, const Terminology& terminology) {
    Json entries = Json::array();
    for (const DescriptorItem& item : descriptor.items) {
        Json entry;
        entry["key"] = codeText(item.key);
        if (const TermParameter* parameter = terminology.byKey(item.key))
            entry["name"] = parameter->name;
        entry["type"] = codeText(item.type);
        switch (item.type) {
            case kDescTypeInteger:
                entry["value"] = item.integer;
                break;
            case kDescTypeFloat:
                entry["value"] = numberJson(item.number);
                break;
            case kDescTypeUnitFloat:
                entry["unit"] = codeText(item.unit);
                entry["value"] = numberJson(item.number);
                break;
            case kDescTypeBoolean:
                entry["value"] = item.boolean;
                break;
            case kDescTypeText:
                entry["value"] = item.text;
                break;
            case kDescTypeClass:
                entry["value"] = codeText(item.enumValue);
                break;
            case kDescTypeEnumerated: {
                entry["enum type"] = codeText(item.enumType);
                entry["value"] = codeText(item.enumValue);
                if (const TermEnumeration* enumeration = terminology.enumeration(item.enumType))
                    for (const TermEnumValue& value : enumeration->values)
                        if (value.id == item.enumValue) entry["value name"] = value.name;
                break;
            }
            default:
                break;
        }
        entries.push_back(std::move(entry));
    }
    Json document;
    document["format"] = kFormatName;
    document["version"] = kFormatVersion;
    document["event"] = terminology.eventName;
    document["descriptor"] = std::move(entries);
    // Non-ASCII bytes of a text are replaced rather than failing the whole file.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool parseActionText(std::string_view text, const Terminology& terminology, Descriptor& descriptor,
                     std::string& error) {
    descriptor = Descriptor{};
    if (nestingOf(text) > kMaxNesting)
        return fail(error, "not an action file: it nests deeper than " +
                               std::to_string(kMaxNesting) + " levels");
    const Json document = Json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded())
        return fail(error, "not an action file: the JSON text is malformed");
    if (!document.is_object()) return fail(error, "not an action file: the text is no JSON object");
    if (document.contains("format") &&
        (!document["format"].is_string() || document["format"].get<std::string>() != kFormatName))
        return fail(error, "not an action file: its format is " + document["format"].dump());
    if (document.contains("version")) {
        std::int32_t version = 0;
        if (!integerFrom(document["version"], version) || version < 1 || version > kFormatVersion)
            return fail(error, "action file version " + document["version"].dump() +
                                   " is newer than this program reads (1)");
    }
    if (!document.contains("descriptor") || !document["descriptor"].is_array())
        return fail(error, "not an action file: it has no \"descriptor\" list");
    const Json& entries = document["descriptor"];
    if (entries.size() > kMaxDescriptorItems)
        return fail(error, "the action holds " + std::to_string(entries.size()) +
                               " keys, more than " + std::to_string(kMaxDescriptorItems));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        DescriptorItem item;
        if (!parseEntry(entries[i], i, terminology, item, error)) return false;
        descriptor.put(item);
    }
    return true;
}

bool readActionFile(const std::string& path, const Terminology& terminology, Descriptor& descriptor,
                    std::string& error) {
    // Only a regular file is read: a named pipe would be waited on for ever.
    int code = 0;
    const int fd = os::openReadDescriptor(path, code);
    if (fd < 0) {
        if (code == EISDIR) return fail(error, path + ": is a folder");
        if (code == EINVAL) return fail(error, path + ": not a regular file (a pipe or a device)");
        return fail(error, path + ": cannot read: " + std::strerror(code));
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const std::int64_t got = os::readDescriptor(fd, buffer, sizeof buffer);
        if (got < 0) {
            code = errno;
            os::closeDescriptor(fd);
            return fail(error, path + ": cannot read: " + std::strerror(code));
        }
        if (got == 0) break;
        text.append(buffer, std::size_t(got));
        if (text.size() > kMaxActionFileBytes) {
            os::closeDescriptor(fd);
            return fail(error, path + ": too large for an action file");
        }
    }
    os::closeDescriptor(fd);
    if (!parseActionText(text, terminology, descriptor, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool writeActionFile(const std::string& path, const Descriptor& descriptor,
                     const Terminology& terminology, std::string& error) {
    PendingFile file;
    if (!file.open(path, error)) return false;
    const std::string text = actionText(descriptor, terminology);
    if (!os::writeDescriptor(file.descriptor(), text.data(), text.size()))
        return fail(error, path + ": cannot write: " + std::strerror(errno));
    return file.commit(error);
}

bool parseSetting(const std::string& setting, const Terminology& terminology, DescriptorItem& item,
                  std::string& error) {
    const std::size_t equals = setting.find('=');
    if (equals == std::string::npos)
        return fail(error, "--set wants NAME=VALUE, not \"" + setting + "\"");
    const std::string name = setting.substr(0, equals);
    const std::string value = setting.substr(equals + 1);
    const TermParameter* parameter = terminology.byName(name);
    if (!parameter)
        if (const auto key = pi::fourCCFromText(name)) parameter = terminology.byKey(*key);
    if (!parameter)
        return fail(error, "--set: unknown parameter \"" + name + "\"; `mirel params` lists them");
    item = DescriptorItem{};
    item.key = parameter->key;
    item.type = descriptorTypeOf(*parameter, terminology);
    const std::string what = "--set: " + describe(*parameter);
    if (item.type == kDescTypeInteger) {
        const char* first = value.data();
        const char* last = first + value.size();
        if (first != last && *first == '+') ++first;
        const auto [end, code] = std::from_chars(first, last, item.integer);
        if (value.empty() || code != std::errc() || end != last)
            return fail(error, what + " wants a whole number, not \"" + value + "\"");
        return true;
    }
    if (item.type == kDescTypeFloat) {
        errno = 0;
        char* end = nullptr;
        item.number = std::strtod(value.c_str(), &end);
        if (value.empty() || end != value.c_str() + value.size() || !std::isfinite(item.number) ||
            errno == ERANGE)
            return fail(error, what + " wants a number, not \"" + value + "\"");
        return true;
    }
    if (item.type == kDescTypeEnumerated) {
        item.enumType = parameter->type;
        const TermEnumeration* enumeration = terminology.enumeration(parameter->type);
        const TermEnumValue* known = enumeration ? findEnumValue(*enumeration, value) : nullptr;
        if (!known)
            return fail(error,
                        what + " has no value \"" + value + "\"; `mirel params` lists the values");
        item.enumValue = known->id;
        return true;
    }
    return fail(error, what + " has a type that --set cannot give");
}

}  // namespace mirel::hostkit
