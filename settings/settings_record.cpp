// Defaults, mirrors, upgrades and snapshot copies of the SettingsRecord.
#include "settings/settings_record.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace mirel {

namespace {

// The versions up to which a file lacked the float form of the sliders: the floats are
// then rebuilt from the integers that were stored instead.
constexpr int32_t kLastVersionWithoutHorizonFloats = 40;
constexpr int32_t kLastVersionWithoutSliderFloats = 44;

constexpr int32_t kDefaultExtraInt13 = 0;
constexpr int32_t kDefaultExtraInt19 = 0;

}  // namespace

Vec3f defaultLightDirection() {
    // Computed in double and rounded once, so every build gets the same float bits.
    const double length = std::sqrt(1.5);
    const auto xy = static_cast<float>(-0.5 / length);
    return Vec3f{xy, xy, static_cast<float>(1.0 / length)};
}

Vec3f defaultOldVectorA() {
    return Vec3f{-0.68f, -0.68f, static_cast<float>(std::sqrt(0.0752))};
}

Vec3f defaultOldVectorB() {
    return Vec3f{0.0f, -1.0f, 0.0f};
}

void applyDefaults(SettingsRecord& record) {
    record.horizon = kDefaultHorizon;
    record.offset = kDefaultOffset;
    record.perspective = kDefaultPerspective;
    record.altitude = kDefaultAltitude;
    record.spin = kDefaultSpin;
    record.waviness = kDefaultWaviness;
    record.complexity = kDefaultComplexity;
    record.brilliance = kDefaultBrilliance;
    record.blur = kDefaultBlur;
    record.size = kDefaultSize;
    record.height = kDefaultHeight;
    record.undulation = kDefaultUndulation;

    record.waterStyle = kWaterStyleComplex;
    record.outputMode = kOutputModeNormal;
    record.waterColor = kDefaultWaterColor;
    record.glitterColor = kDefaultGlitterColor;
    record.lightDirection = defaultLightDirection();
    record.center = kDefaultCenter;
    record.randomSeed = kDefaultRandomSeed;

    record.oldVectorA = defaultOldVectorA();
    record.oldVectorB = defaultOldVectorB();
    record.extraInt13 = kDefaultExtraInt13;
    record.extraInt19 = kDefaultExtraInt19;
}

void fullReset(SettingsRecord& record) {
    record.outputMode = kOutputModeNormal;
    record.version = kVersionNothingRead;
    setSettingsName(record, kDefaultSettingsName);
    applyDefaults(record);
}

int32_t truncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    // Both limits are exact in double; the upper one is 2^31, the first value past range.
    constexpr double kUpper = 2147483648.0;
    constexpr double kLower = -2147483648.0;
    if (value >= kUpper) return std::numeric_limits<int32_t>::max();
    if (value <= kLower) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);  // a cast truncates toward zero
}

void syncMirrors(SettingsRecord& record) {
    record.perspectiveInt = truncateToInt32(record.perspective);
    record.altitudeInt = truncateToInt32(record.altitude);
    record.wavinessInt = truncateToInt32(record.waviness);
    record.complexityInt = truncateToInt32(record.complexity);
    record.brillianceInt = truncateToInt32(record.brilliance);
    record.blurInt = truncateToInt32(record.blur);
    record.sizeInt = truncateToInt32(record.size);
    record.heightInt = truncateToInt32(record.height);
    record.undulationInt = truncateToInt32(record.undulation);
}

void upgradeAfterReading(SettingsRecord& record) {
    const int32_t v = record.version;
    if (v < 1) return;  // nothing was read: the floats are the ones in use
    if (v <= kLastVersionWithoutHorizonFloats) {
        record.horizon = static_cast<float>(record.horizonInt);
        record.offset = static_cast<float>(record.offsetInt);
    }
    if (v <= kLastVersionWithoutSliderFloats) {
        record.perspective = static_cast<float>(record.perspectiveInt);
        record.altitude = static_cast<float>(record.altitudeInt);
        record.waviness = static_cast<float>(record.wavinessInt);
        record.complexity = static_cast<float>(record.complexityInt);
        record.brilliance = static_cast<float>(record.brillianceInt);
        record.blur = static_cast<float>(record.blurInt);
        record.size = static_cast<float>(record.sizeInt);
        record.height = static_cast<float>(record.heightInt);
        record.undulation = static_cast<float>(record.undulationInt);
        record.glitterColor = kWhite;
    }
}

void snapshotCopy(const SettingsRecord& from, SettingsRecord& to) {
    if (&from == &to) return;
    // Copy everything, then put back what a snapshot must not move: the centre point is
    // placed by clicking the preview and survives undo; extraInt19 and the version are
    // bookkeeping of the record in use.
    const Point2f keptCenter = to.center;
    const int32_t keptExtraInt19 = to.extraInt19;
    const int32_t keptVersion = to.version;
    std::memcpy(&to, &from, sizeof(SettingsRecord));
    to.center = keptCenter;
    to.extraInt19 = keptExtraInt19;
    to.version = keptVersion;
    // A snapshot slot is raw memory too; never hand on a name without its terminator.
    to.settingsName[kSettingsNameSize - 1] = '\0';
}

std::string_view fixedTextView(const char* buffer, std::size_t capacity) {
    if (buffer == nullptr || capacity == 0) return {};
    const void* end = std::memchr(buffer, '\0', capacity);
    const std::size_t length =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - buffer)
                       : capacity;
    return std::string_view(buffer, length);
}

void setFixedText(char* buffer, std::size_t capacity, std::string_view text) {
    if (buffer == nullptr || capacity == 0) return;
    const std::size_t length = text.size() < capacity ? text.size() : capacity - 1;
    // memmove: callers may store a part of the buffer's own text (cutting an extension).
    if (length > 0) std::memmove(buffer, text.data(), length);
    std::memset(buffer + length, 0, capacity - length);
}

std::string_view settingsNameView(const SettingsRecord& record) {
    return fixedTextView(record.settingsName, kSettingsNameSize);
}

void setSettingsName(SettingsRecord& record, std::string_view name) {
    setFixedText(record.settingsName, kSettingsNameSize, name);
}

}  // namespace mirel
