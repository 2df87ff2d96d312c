// NAME=VALUE settings by the dialog's names and by the scripting terminology's.
#include "apps/mirel/setting_names.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "apps/host/action_file.h"
#include "apps/mirel/settings_descriptor.h"
#include "platform/pi/four_cc.h"
#include "render/output_modes.h"

namespace mirel::host_app {

namespace {

using hostkit::DescriptorItem;
using hostkit::sameNameIgnoringCase;
using pi::fourCC;

// A slider of the dialog: its float, the integer twin older files and descriptors
// carry beside it, their scripting keys and the slider's range.
struct Slider {
    const char* name;
    float SettingsRecord::*value;
    std::int32_t SettingsRecord::*twin;  // null: none (spin)
    std::uint32_t floatKey;
    std::uint32_t twinKey;
    float low, high;
};

constexpr Slider kSliders[] = {
    {"horizon", &SettingsRecord::horizon, &SettingsRecord::horizonInt, fourCC("0019"),
     fourCC("0005"), 0, 100},
    {"offset", &SettingsRecord::offset, &SettingsRecord::offsetInt, fourCC("0020"), fourCC("0009"),
     0, 100},
    {"perspective", &SettingsRecord::perspective, &SettingsRecord::perspectiveInt, fourCC("0029"),
     fourCC("0006"), 0, 100},
    {"altitude", &SettingsRecord::altitude, &SettingsRecord::altitudeInt, fourCC("0030"),
     fourCC("0013"), 0, 100},
    {"spin", &SettingsRecord::spin, nullptr, fourCC("0021"), 0, -90, 90},
    {"waviness", &SettingsRecord::waviness, &SettingsRecord::wavinessInt, fourCC("0031"),
     fourCC("0010"), 0, 100},
    {"complexity", &SettingsRecord::complexity, &SettingsRecord::complexityInt, fourCC("0032"),
     fourCC("0012"), 0, 100},
    {"brilliance", &SettingsRecord::brilliance, &SettingsRecord::brillianceInt, fourCC("0033"),
     fourCC("0015"), 0, 100},
    {"blur", &SettingsRecord::blur, &SettingsRecord::blurInt, fourCC("0034"), fourCC("0011"), 0,
     100},
    {"size", &SettingsRecord::size, &SettingsRecord::sizeInt, fourCC("0035"), fourCC("0008"), 0,
     100},
    {"height", &SettingsRecord::height, &SettingsRecord::heightInt, fourCC("0036"), fourCC("0004"),
     0, 100},
    {"undulation", &SettingsRecord::undulation, &SettingsRecord::undulationInt, fourCC("0037"),
     fourCC("0007"), 0, 100},
};

// The dialog's other names, after the sliders.
constexpr const char* kOtherNames[] = {"style", "glue",   "color", "glitter",
                                       "light", "center", "seed"};

bool fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string numberText(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

bool parseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value) && errno != ERANGE;
}

bool parseWhole(const std::string& text, std::int64_t& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    const auto [end, code] = std::from_chars(first, last, value);
    return first != last && code == std::errc() && end == last;
}

// Splits "a,b,c" into numbers; false unless there are exactly `count` of them.
bool parseNumbers(const std::string& text, std::size_t count, std::vector<double>& values) {
    values.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        double value = 0.0;
        if (!parseNumber(trimmed(text.substr(start, comma - start)), value)) return false;
        values.push_back(value);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return values.size() == count;
}

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Up to three of `candidates` close to `wanted` (a small edit distance, or a name that
// begins with it), nearest first, as "a, b or c"; empty when none is close.
std::string closestNames(const std::string& wanted, const std::vector<std::string>& candidates) {
    const std::string key = lower(wanted);
    const std::size_t limit = std::max<std::size_t>(2, key.size() / 3);
    std::vector<std::pair<std::size_t, std::string>> close;
    for (const std::string& candidate : candidates) {
        const std::string name = lower(candidate);
        std::size_t distance = editDistance(key, name);
        if (!key.empty() && name.rfind(key, 0) == 0) distance = std::min<std::size_t>(distance, 1);
        if (distance <= limit && std::none_of(close.begin(), close.end(),
                                              [&](const auto& c) { return c.second == candidate; }))
            close.emplace_back(distance, candidate);
    }
    std::stable_sort(close.begin(), close.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    if (close.size() > 3) close.resize(3);
    std::string text;
    for (std::size_t i = 0; i < close.size(); ++i) {
        if (i > 0) text += i + 1 == close.size() ? " or " : ", ";
        text += close[i].second;
    }
    return text;
}

std::string rangeText(float low, float high) {
    return numberText(low) + ".." + numberText(high);
}

// ---- The dialog's names --------------------------------------------------------------

bool setSlider(const Slider& slider, const std::string& value, SettingsRecord& record,
               std::string& error) {
    const std::string where = std::string("--set ") + slider.name + ": ";
    double number = 0.0;
    if (!parseNumber(value, number))
        return fail(error, where + "wants a number from " + rangeText(slider.low, slider.high) +
                               ", not \"" + value + "\"");
    if (number < slider.low || number > slider.high)
        return fail(error, where + value + " is outside " + rangeText(slider.low, slider.high));
    record.*slider.value = float(number);
    if (slider.twin) record.*slider.twin = truncateToInt32(double(float(number)));
    return true;
}

bool setStyle(const std::string& value, SettingsRecord& record, std::string& error) {
    const std::string word = lower(value);
    if (word == "simple" || word == "1") {
        record.waterStyle = kWaterStyleSimple;
    } else if (word == "complex" || word == "2") {
        record.waterStyle = kWaterStyleComplex;
    } else {
        return fail(error, "--set style: wants simple or complex, not \"" + value + "\"");
    }
    return true;
}

bool setGlue(const std::string& value, SettingsRecord& record, std::string& error) {
    std::int64_t number = 0;
    if (parseWhole(value, number)) {
        if (number < 1 || number > render::kOutputModeCount)
            return fail(error, "--set glue: mode " + value + " is outside 1.." +
                                   std::to_string(render::kOutputModeCount));
        record.outputMode = std::int32_t(number);
        return true;
    }
    std::vector<std::string> names;
    for (const render::OutputModeInfo& mode : render::outputModes()) {
        if (sameNameIgnoringCase(std::string(mode.name), value) ||
            sameNameIgnoringCase(pi::fourCCText(mode.scriptingId, pi::FourCCStyle::Bare), value)) {
            record.outputMode = mode.number;
            return true;
        }
        names.emplace_back(mode.name);
    }
    const std::string close = closestNames(value, names);
    return fail(error, "--set glue: no mode \"" + value + "\"" +
                           (close.empty() ? "" : "; did you mean " + close + "?") +
                           " (`mirel params` lists the modes)");
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// #rrggbb puts each 8-bit value into the channel's high byte, as the scripting keys
// do, so that color=#1e90ff and "water red=30" ... give the same picture;
// #rrrrggggbbbb gives all 16 bits.
bool setColour(const char* name, Rgb16 SettingsRecord::*field, const std::string& value,
               SettingsRecord& record, std::string& error) {
    std::string hex = value;
    if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
    const std::size_t digits = hex.size() == 6 ? 2 : hex.size() == 12 ? 4 : 0;
    bool ok = digits != 0;
    std::uint16_t channels[3] = {};
    for (std::size_t c = 0; ok && c < 3; ++c) {
        std::uint32_t channel = 0;
        for (std::size_t d = 0; d < digits; ++d) {
            const int digit = hexValue(hex[c * digits + d]);
            ok = ok && digit >= 0;
            channel = channel * 16 + std::uint32_t(std::max(digit, 0));
        }
        channels[c] = std::uint16_t(digits == 2 ? channel << 8 : channel);
    }
    if (!ok)
        return fail(error, std::string("--set ") + name +
                               ": wants #rrggbb or #rrrrggggbbbb, not \"" + value + "\"");
    record.*field = Rgb16{channels[0], channels[1], channels[2]};
    return true;
}

bool setLight(const std::string& value, SettingsRecord& record, std::string& error) {
    std::vector<double> xyz;
    if (!parseNumbers(value, 3, xyz))
        return fail(error, "--set light: wants x,y,z, each from -1 to 1, not \"" + value + "\"");
    for (double v : xyz)
        if (v < -1.0 || v > 1.0)
            return fail(error, "--set light: " + numberText(v) + " is outside -1..1");
    record.lightDirection = Vec3f{float(xyz[0]), float(xyz[1]), float(xyz[2])};
    return true;
}

bool setCenter(const std::string& value, SettingsRecord& record, std::string& error) {
    std::vector<double> xy;
    if (!parseNumbers(value, 2, xy))
        return fail(error,
                    "--set center: wants x,y, fractions of the width and height from 0 to 1, "
                    "not \"" +
                        value + "\"");
    for (double v : xy)
        if (v < 0.0 || v > 1.0)
            return fail(error, "--set center: " + numberText(v) + " is outside 0..1");
    record.center = Point2f{float(xy[0]), float(xy[1])};
    return true;
}

bool setSeed(const std::string& value, SettingsRecord& record, std::string& error) {
    std::int64_t seed = 0;
    if (!parseWhole(value, seed) || seed < INT32_MIN || seed > INT32_MAX)
        return fail(error, "--set seed: wants a whole number from " + std::to_string(INT32_MIN) +
                               " to " + std::to_string(INT32_MAX) + ", not \"" + value + "\"");
    record.randomSeed = std::int32_t(seed);
    return true;
}

// -1 when `name` is none of the dialog's names; else 0 .. for the sliders, then the others.
int dialogNameIndex(const std::string& name) {
    int index = 0;
    for (const Slider& slider : kSliders) {
        if (sameNameIgnoringCase(slider.name, name)) return index;
        ++index;
    }
    for (const char* other : kOtherNames) {
        if (sameNameIgnoringCase(other, name)) return index;
        ++index;
    }
    return -1;
}

bool setByDialogName(int index, const std::string& value, SettingsRecord& record,
                     std::string& error) {
    constexpr int kSliderCount = int(std::size(kSliders));
    if (index < kSliderCount) return setSlider(kSliders[index], value, record, error);
    const std::string name = kOtherNames[index - kSliderCount];
    if (name == "style") return setStyle(value, record, error);
    if (name == "glue") return setGlue(value, record, error);
    if (name == "color")
        return setColour("color", &SettingsRecord::waterColor, value, record, error);
    if (name == "glitter")
        return setColour("glitter", &SettingsRecord::glitterColor, value, record, error);
    if (name == "light") return setLight(value, record, error);
    if (name == "center") return setCenter(value, record, error);
    return setSeed(value, record, error);
}

// ---- The scripting names --------------------------------------------------------------

}  // namespace

bool scriptingRange(std::uint32_t key, double& low, double& high) {
    for (const Slider& slider : kSliders)
        if (key == slider.floatKey || key == slider.twinKey) {
            low = slider.low;
            high = slider.high;
            return true;
        }
    switch (key) {
        case fourCC("0001"):
        case fourCC("0002"):
        case fourCC("0003"):
        case fourCC("0026"):
        case fourCC("0027"):
        case fourCC("0028"):
            low = 0, high = 255;
            return true;
        case fourCC("0022"):
            low = 1, high = 2;
            return true;
        case fourCC("0017"):
        case fourCC("0018"):
            low = 0, high = 1;
            return true;
        case fourCC("0023"):
        case fourCC("0024"):
        case fourCC("0025"):
            low = -1, high = 1;
            return true;
        default:
            return false;
    }
}

namespace {

bool setByScriptingName(const hostkit::TermParameter& parameter, const std::string& setting,
                        const hostkit::Terminology& terminology, SettingsRecord& record,
                        std::string& error) {
    DescriptorItem item;
    if (!hostkit::parseSetting(setting, terminology, item, error)) return false;
    double low = 0.0, high = 0.0;
    const bool isNumber =
        item.type == hostkit::kDescTypeInteger || item.type == hostkit::kDescTypeFloat;
    if (isNumber && scriptingRange(item.key, low, high)) {
        const double value =
            item.type == hostkit::kDescTypeInteger ? double(item.integer) : item.number;
        if (value < low || value > high)
            return fail(error, "--set " + parameter.name + ": " + numberText(value) +
                                   " is outside " + numberText(low) + ".." + numberText(high));
    }
    hostkit::Descriptor one;
    one.put(item);
    applyDescriptor(one, record);
    // A slider and its twin say the same thing; the filter draws with the float.
    for (const Slider& slider : kSliders) {
        if (item.key == slider.twinKey) record.*slider.value = float(item.integer);
        if (item.key == slider.floatKey && slider.twin)
            record.*slider.twin = truncateToInt32(double(record.*slider.value));
    }
    return true;
}

}  // namespace

SettingsRecord freshSettings() {
    SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    fullReset(record);
    return record;
}

std::string colourText(const Rgb16& colour) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%04x%04x%04x", unsigned(colour.red),
                  unsigned(colour.green), unsigned(colour.blue));
    return buffer;
}

bool applySetting(const std::string& setting, const hostkit::Terminology& terminology,
                  SettingsRecord& record, std::string& error) {
    const std::size_t equals = setting.find('=');
    if (equals == std::string::npos)
        return fail(error, "--set wants NAME=VALUE, such as horizon=30, not \"" + setting + "\"");
    const std::string name = trimmed(setting.substr(0, equals));
    const std::string value = trimmed(setting.substr(equals + 1));
    SettingsRecord changed = record;
    bool ok = false;
    if (const int index = dialogNameIndex(name); index >= 0) {
        ok = setByDialogName(index, value, changed, error);
    } else {
        const hostkit::TermParameter* parameter = terminology.byName(name);
        if (!parameter)
            if (const auto key = pi::fourCCFromText(name)) parameter = terminology.byKey(*key);
        if (!parameter) {
            std::vector<std::string> names;
            for (const Slider& slider : kSliders) names.emplace_back(slider.name);
            for (const char* other : kOtherNames) names.emplace_back(other);
            for (const hostkit::TermParameter& p : terminology.parameters) names.push_back(p.name);
            const std::string close = closestNames(name, names);
            return fail(error, "--set: no setting \"" + name + "\"" +
                                   (close.empty() ? "" : "; did you mean " + close + "?") +
                                   " (`mirel params` lists them)");
        }
        ok = setByScriptingName(*parameter, name + "=" + value, terminology, changed, error);
    }
    if (ok) record = changed;
    return ok;
}

void printSettingNames(std::FILE* out) {
    const SettingsRecord defaults = freshSettings();
    std::fprintf(out, "Settings for --set NAME=VALUE (names and words in any case):\n");
    std::fprintf(out, "  %-12s %-34s %s\n", "name", "values", "default");
    for (const Slider& slider : kSliders)
        std::fprintf(out, "  %-12s %-34s %s\n", slider.name,
                     rangeText(slider.low, slider.high).c_str(),
                     numberText(defaults.*slider.value).c_str());
    const std::string defaultGlue(render::outputModeName(defaults.outputMode));
    const Vec3f& light = defaults.lightDirection;
    const std::string lightText =
        numberText(light.x) + "," + numberText(light.y) + "," + numberText(light.z);
    const std::string centerText =
        numberText(defaults.center.x) + "," + numberText(defaults.center.y);
    const struct {
        const char* name;
        const char* values;
        std::string fallback;
    } others[] = {
        {"style", "simple or complex",
         defaults.waterStyle == kWaterStyleSimple ? "simple" : "complex"},
        {"glue", "a mode below, by name or number", defaultGlue},
        {"color", "#rrggbb, or #rrrrggggbbbb", colourText(defaults.waterColor)},
        {"glitter", "#rrggbb, or #rrrrggggbbbb", colourText(defaults.glitterColor)},
        {"light", "x,y,z, each -1..1", lightText},
        {"center", "x,y, fractions of the picture 0..1", centerText},
        {"seed", "a whole number", std::to_string(defaults.randomSeed)},
    };
    for (const auto& other : others)
        std::fprintf(out, "  %-12s %-34s %s\n", other.name, other.values, other.fallback.c_str());

    std::fprintf(out, "\nGlue modes:\n");
    std::string line = " ";
    for (const render::OutputModeInfo& mode : render::outputModes()) {
        const std::string entry = " " + std::to_string(mode.number) + " " + std::string(mode.name) +
                                  (mode.number < render::kOutputModeCount ? "," : "");
        if (line.size() + entry.size() > 78) {
            std::fprintf(out, "%s\n", line.c_str());
            line = " ";
        }
        line += entry;
    }
    std::fprintf(out, "%s\n", line.c_str());
}

}  // namespace mirel::host_app
