// SettingsRecord: every parameter of the effect, with its defaults, the integer mirrors
// and older fields that settings files still carry, and the snapshot copy used by undo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace mirel {

// A colour as the program keeps it: 16 bits per channel. An 8-bit value v enters as
// v << 8 and leaves as the high byte, so the defaults repeat one byte (0x2E2E).
struct Rgb16 {
    uint16_t red;
    uint16_t green;
    uint16_t blue;
};

struct Vec3f {
    float x;
    float y;
    float z;
};

struct Point2f {
    float x;
    float y;
};

// The newest settings-file version; the record is stamped with it just before a write.
constexpr int32_t kCurrentSettingsVersion = 45;
// `version` after a full reset: nothing has been read yet, so no upgrade applies.
constexpr int32_t kVersionNothingRead = -999;

// Fixed text buffers are sized like the system's paths: 259 characters and a zero.
constexpr std::size_t kSettingsNameSize = 260;
constexpr const char* kDefaultSettingsName = "Mirel settings";

// Slider defaults, on the 0..100 scale (spin in degrees, -90..90).
constexpr float kDefaultHorizon = 50.0f;
constexpr float kDefaultOffset = 0.0f;
constexpr float kDefaultPerspective = 48.0f;
constexpr float kDefaultAltitude = 40.0f;
constexpr float kDefaultSpin = 0.0f;
constexpr float kDefaultWaviness = 65.0f;
constexpr float kDefaultComplexity = 84.0f;
constexpr float kDefaultBrilliance = 40.0f;
constexpr float kDefaultBlur = 0.0f;
constexpr float kDefaultSize = 88.0f;
constexpr float kDefaultHeight = 20.0f;
constexpr float kDefaultUndulation = 40.0f;

constexpr int32_t kWaterStyleSimple = 1;
constexpr int32_t kWaterStyleComplex = 2;
constexpr int32_t kOutputModeNormal = 1;
constexpr int32_t kDefaultRandomSeed = 1841;

constexpr Rgb16 kDefaultWaterColor{0x2E2E, 0x3E3E, 0x5A5A};
constexpr Rgb16 kDefaultGlitterColor{0xC2C2, 0xBFBF, 0xB4B4};
// Older files knew no glitter colour; reading one of them makes the glitter white.
constexpr Rgb16 kWhite{0xFFFF, 0xFFFF, 0xFFFF};
constexpr Point2f kDefaultCenter{0.5f, 0.2f};

// The record kept in the host's parameter block. Plain fixed-width fields only, so the
// block can be copied byte for byte and zero-filled host memory is a valid (if unset)
// record. The fields follow the order in which a settings file stores them, older items
// first; the live slider floats came last to the file and come last here.
struct SettingsRecord {
    // The file version the record was last read from (kVersionNothingRead after a
    // full reset); it decides which upgrades run after a read.
    int32_t version;

    Rgb16 waterColor;
    Rgb16 extraColor1;
    Rgb16 extraColor2;
    uint16_t reserved0;  // keeps the integers below 4-byte aligned; always 0

    // Whole-number forms of eleven sliders, still written to files and descriptors,
    // interleaved with older fields that have no control (carried through files and
    // snapshots, changed only by the upgrade rules of the file reader). syncMirrors
    // refreshes nine mirrors; horizonInt and offsetInt change only when a file or
    // descriptor sets them.
    int32_t heightInt;
    int32_t extraInt1;
    int32_t extraInt2;
    int32_t extraInt3;
    int32_t horizonInt;
    int32_t perspectiveInt;
    int32_t extraInt4;
    int32_t extraInt5;
    int32_t extraInt6;
    int32_t extraInt7;
    int32_t undulationInt;
    int32_t extraInt8;
    int32_t extraInt9;
    int32_t sizeInt;
    int32_t offsetInt;
    int32_t wavinessInt;
    int32_t blurInt;
    int32_t complexityInt;
    int32_t extraInt10;
    int32_t extraInt11;
    Rgb16 extraColor3;  // stored twice in a file
    Rgb16 extraColor4;
    int32_t altitudeInt;
    int32_t extraInt12;
    int32_t extraInt13;
    int32_t outputMode;  // 1..69; 0 only after an unknown scripting value
    int32_t extraInt14;
    int32_t extraInt15;
    int32_t extraInt16;
    int32_t brillianceInt;
    int32_t extraInt17;
    Vec3f oldVectorA;
    Vec3f oldVectorB;
    int32_t randomSeed;  // the program draws 0..2047; anything read is kept
    int32_t extraInt18;
    int32_t extraInt19;
    Rgb16 extraColor5;
    Rgb16 extraColor6;
    Rgb16 extraColor7;
    uint16_t reserved1;  // alignment again; always 0
    Point2f center;      // fractions of the image width and height

    // Slider values: 0..100, spin -90..90 degrees; fractions are legal and kept.
    float horizon;
    float offset;
    float spin;
    int32_t waterStyle;    // kWaterStyleSimple or kWaterStyleComplex
    Vec3f lightDirection;  // unit vector
    Rgb16 glitterColor;
    uint16_t reserved2;  // alignment again; always 0
    float perspective;
    float altitude;
    float waviness;
    float complexity;
    float brilliance;
    float blur;
    float size;
    float height;
    float undulation;

    // Name of the settings in use, zero-terminated; offered as the file name on Save.
    // Not stored in settings files, but it travels with undo snapshots.
    char settingsName[kSettingsNameSize];
};

static_assert(std::is_standard_layout_v<SettingsRecord>);
static_assert(std::is_trivially_copyable_v<SettingsRecord>);
static_assert(std::is_trivially_default_constructible_v<SettingsRecord>);
static_assert(sizeof(Rgb16) == 6 && sizeof(Vec3f) == 12 && sizeof(Point2f) == 8);
static_assert(sizeof(SettingsRecord) == 548, "the record is part of a fixed-size host block");

// The default light comes from the upper left, towards the viewer: (-0.5, -0.5, 1)
// normalised, each component rounded to float once.
Vec3f defaultLightDirection();
// oldVectorA is a unit vector too: z = sqrt(1 - 2 * 0.68^2) = sqrt(0.0752).
Vec3f defaultOldVectorA();
Vec3f defaultOldVectorB();

// Sets every live parameter and oldVectorA, oldVectorB, extraInt13 and extraInt19 to
// their defaults. The integer mirrors and the other older fields keep their values.
void applyDefaults(SettingsRecord& record);

// The reset of a freshly prepared filter: output mode 1, version "nothing read", the
// default name, then applyDefaults. Fields applyDefaults leaves alone are not touched,
// so zero-filled memory keeps zeros there.
void fullReset(SettingsRecord& record);

// Refreshes nine mirrors (all but horizonInt and offsetInt) from their sliders,
// truncating toward zero. Runs before every write of the record.
void syncMirrors(SettingsRecord& record);

// Runs after every read of a file or descriptor, by `version`: v < 1 changes nothing;
// v <= 40 takes horizon and offset from their mirrors; v <= 44 takes the nine other
// sliders from their mirrors and makes the glitter white.
void upgradeAfterReading(SettingsRecord& record);

// Copies settingsName and every parameter except `center` and `extraInt19` from one
// record to another (record to undo slot, slot back to record, private render copies).
// `version` is bookkeeping of the last read, not a parameter, and is not copied either.
void snapshotCopy(const SettingsRecord& from, SettingsRecord& to);

// Truncation toward zero that never overflows: NaN gives 0 and values beyond the int32
// range give its nearest end. Files and descriptors can carry any float, and a plain
// cast of such a value is undefined.
int32_t truncateToInt32(double value);

// Bounded access to the zero-terminated text buffers of the record and the parameter
// block: the view stops at the first zero or at the buffer's end, and a store cuts the
// text so that a zero always fits.
std::string_view fixedTextView(const char* buffer, std::size_t capacity);
void setFixedText(char* buffer, std::size_t capacity, std::string_view text);

std::string_view settingsNameView(const SettingsRecord& record);
void setSettingsName(SettingsRecord& record, std::string_view name);

}  // namespace mirel
