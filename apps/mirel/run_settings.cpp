// Composing a run's settings from its sources, and the two ways they reach the
// filter: a descriptor, or its cached settings.
#include "apps/mirel/run_settings.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "apps/host/action_file.h"
#include "apps/mirel/setting_names.h"
#include "apps/mirel/settings_descriptor.h"
#include "platform/os/os.h"
#include "platform/pi/four_cc.h"
#include "resources/aete.h"
#include "settings/settings_file.h"

namespace mirel::host_app {

namespace {

using hostkit::Descriptor;
using hostkit::DescriptorItem;
using pi::fourCC;

// The channel behind a colour key, for comparing colours at all 16 bits.
const std::uint16_t* colourChannel(const SettingsRecord& record, std::uint32_t key) {
    switch (key) {
        case fourCC("0001"):
            return &record.waterColor.red;
        case fourCC("0002"):
            return &record.waterColor.green;
        case fourCC("0003"):
            return &record.waterColor.blue;
        case fourCC("0026"):
            return &record.glitterColor.red;
        case fourCC("0027"):
            return &record.glitterColor.green;
        case fourCC("0028"):
            return &record.glitterColor.blue;
        default:
            return nullptr;
    }
}

template <typename T>
bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Everything the render reads, compared bit for bit.
bool sameLiveSettings(const SettingsRecord& a, const SettingsRecord& b) {
    return sameBits(a.horizon, b.horizon) && sameBits(a.offset, b.offset) &&
           sameBits(a.spin, b.spin) && sameBits(a.perspective, b.perspective) &&
           sameBits(a.altitude, b.altitude) && sameBits(a.waviness, b.waviness) &&
           sameBits(a.complexity, b.complexity) && sameBits(a.brilliance, b.brilliance) &&
           sameBits(a.blur, b.blur) && sameBits(a.size, b.size) && sameBits(a.height, b.height) &&
           sameBits(a.undulation, b.undulation) && a.waterStyle == b.waterStyle &&
           a.outputMode == b.outputMode && sameBits(a.waterColor, b.waterColor) &&
           sameBits(a.glitterColor, b.glitterColor) &&
           sameBits(a.lightDirection, b.lightDirection) && sameBits(a.center, b.center) &&
           a.randomSeed == b.randomSeed;
}

// A value the file stores as a whole number of 1/scale steps, cut toward zero: put half
// a step past the nearest step, so that the cut lands on it.
float onNearestStep(float value, double scale) {
    const double step = std::nearbyint(double(value) * scale);
    if (!std::isfinite(step) || std::fabs(step) > 2.0e9) return value;
    const double half = step > 0 ? 0.5 : step < 0 ? -0.5 : 0.0;
    return float((step + half) / scale);
}

using Json = nlohmann::ordered_json;

constexpr const char* kColoursMember = "colours";

struct NamedColour {
    const char* name;
    Rgb16 SettingsRecord::*field;
};
constexpr NamedColour kColours[] = {{"water", &SettingsRecord::waterColor},
                                    {"glitter", &SettingsRecord::glitterColor}};

// "#rrrrggggbbbb"; false for anything else.
bool parseColour(const std::string& text, Rgb16& colour) {
    if (text.size() != 13 || text[0] != '#') return false;
    std::uint16_t channels[3];
    for (int c = 0; c < 3; ++c) {
        const char* first = text.data() + 1 + 4 * c;
        const auto [end, code] = std::from_chars(first, first + 4, channels[c], 16);
        if (code != std::errc() || end != first + 4) return false;
    }
    colour = Rgb16{channels[0], channels[1], channels[2]};
    return true;
}

// The colours a record keeps beside its descriptor, over `record` where the
// descriptor's 8-bit keys (now in `record`) still say the same.
void takeExactColours(const std::string& actionPath, SettingsRecord& record) {
    std::ifstream in(os::pathOf(actionPath), std::ios::binary);
    const Json document = Json::parse(in, nullptr, false);
    if (document.is_discarded() || !document.is_object() || !document.contains(kColoursMember))
        return;
    const Json& colours = document[kColoursMember];
    if (!colours.is_object()) return;
    for (const NamedColour& named : kColours) {
        Rgb16 exact{};
        if (!colours.contains(named.name) || !colours[named.name].is_string() ||
            !parseColour(colours[named.name].get<std::string>(), exact))
            continue;
        const Rgb16& now = record.*named.field;
        if ((exact.red >> 8) == (now.red >> 8) && (exact.green >> 8) == (now.green >> 8) &&
            (exact.blue >> 8) == (now.blue >> 8))
            record.*named.field = exact;
    }
}

}  // namespace

bool loadSettingsOrExplain(const std::string& path, SettingsRecord& record,
                           image::TiledImage* thumbnail, SettingsReadResult& result,
                           std::string& error) {
    switch (os::pathKind(path)) {
        case os::PathKind::Absent:
            error = path + ": cannot read: " + std::strerror(errno);
            return false;
        case os::PathKind::Folder:
            error = path + ": is a folder";
            return false;
        case os::PathKind::Other:
            error = path + ": not a regular file (a pipe or a device)";
            return false;
        case os::PathKind::File:
            break;
    }
    result = loadSettingsFile(path, record, thumbnail);
    if (!result.versionRead) {
        error = path + ": not a settings file (no version from 1 to 45 at its start)";
        return false;
    }
    return true;
}

std::string recordText(const Descriptor& recorded, const hostkit::Terminology& terminology,
                       const SettingsRecord& confirmed) {
    Json document = Json::parse(hostkit::actionText(recorded, terminology));
    Json colours = Json::object();
    for (const NamedColour& named : kColours)
        colours[named.name] = colourText(confirmed.*named.field);
    document[kColoursMember] = std::move(colours);
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool readLastSettings(const std::string& cachePath, SettingsRecord& record) {
    record = freshSettings();
    if (os::pathKind(cachePath) != os::PathKind::File) return false;
    return readSettingsFile(cachePath, SettingsReadMode::Load, record, nullptr).versionRead;
}

bool composeSettings(const ScriptingSources& sources, const hostkit::Terminology& terminology,
                     const std::string& cachePath, SettingsRecord& record, std::string& error) {
    record = freshSettings();
    if (sources.last) readLastSettings(cachePath, record);
    SettingsReadResult read;
    if (!sources.settingsFile.empty() &&
        !loadSettingsOrExplain(sources.settingsFile, record, nullptr, read, error))
        return false;
    if (!sources.actionFile.empty()) {
        Descriptor action;
        if (!hostkit::readActionFile(sources.actionFile, terminology, action, error)) return false;
        applyDescriptor(action, record);
        takeExactColours(sources.actionFile, record);
    }
    for (const std::string& setting : sources.sets)
        if (!applySetting(setting, terminology, record, error)) return false;
    return true;
}

Descriptor changedKeys(const SettingsRecord& wanted) {
    const SettingsRecord fresh = freshSettings();
    const Descriptor base = descriptorFromSettings(fresh);
    Descriptor keys;
    for (const DescriptorItem& item : descriptorFromSettings(wanted).items) {
        const DescriptorItem* before = base.find(item.key);
        const std::uint16_t* channel = colourChannel(wanted, item.key);
        const bool changed = !before || !(*before == item) ||
                             (channel && *channel != *colourChannel(fresh, item.key));
        if (changed && item.key != kScriptKeyVersion) keys.put(item);
    }
    return keys;
}

Handover handoverFor(const SettingsRecord& wanted) {
    Handover handover;
    Descriptor keys = changedKeys(wanted);
    // What the filter makes of them at its start: its defaults, then every key.
    SettingsRecord read = freshSettings();
    applyDescriptor(keys, read);
    if (sameLiveSettings(read, wanted)) {
        handover.descriptor = std::move(keys);
        return handover;
    }
    // The cached settings keep every bit of a colour, the light in hundredths and the
    // centre in 1/65536, each cut toward zero: values are put half a step past the
    // nearest step, so that the cut lands on it.
    SettingsRecord record = wanted;
    for (float* value :
         {&record.lightDirection.x, &record.lightDirection.y, &record.lightDirection.z,
          &record.oldVectorA.x, &record.oldVectorA.y, &record.oldVectorA.z, &record.oldVectorB.x,
          &record.oldVectorB.y, &record.oldVectorB.z})
        *value = onNearestStep(*value, 100.0);
    record.center.x = onNearestStep(record.center.x, 65536.0);
    record.center.y = onNearestStep(record.center.y, 65536.0);
    std::vector<std::uint8_t> bytes = encodeSettings(record, nullptr);
    read = freshSettings();
    readSettingsBytes(bytes, SettingsReadMode::Load, read, nullptr);
    if (sameLiveSettings(read, wanted))
        handover.cachedSettings = std::move(bytes);
    else
        handover.descriptor = std::move(keys);
    return handover;
}

}  // namespace mirel::host_app
