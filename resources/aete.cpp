// The scripting terminology table and the AETE bytes composed from it.
#include "resources/aete.h"

#include <array>

namespace mirel {

namespace {

using pi::fourCC;

constexpr pi::OSType kLong = kScriptTypeInteger;
constexpr pi::OSType kDoub = kScriptTypeFloat;

// Colours travel as 8-bit channels, sliders both as whole numbers (older hosts'
// actions) and as exact floats.
constexpr std::array<ScriptingParameter, kScriptingParameterCount> kParameters{{
    {fourCC("0001"), kLong, "water red"},
    {fourCC("0002"), kLong, "water green"},
    {fourCC("0003"), kLong, "water blue"},
    {fourCC("0004"), kLong, "ripple height"},
    {fourCC("0005"), kLong, "horizon"},
    {fourCC("0006"), kLong, "perspective"},
    {fourCC("0007"), kLong, "ripple undulation"},
    {fourCC("0008"), kLong, "ripple size"},
    {fourCC("0009"), kLong, "offset"},
    {fourCC("0010"), kLong, "waviness"},
    {fourCC("0011"), kLong, "blur"},
    {fourCC("0012"), kLong, "complexity"},
    {fourCC("0013"), kLong, "altitude"},
    {kScriptKeyGlue, kScriptTypeGlue, "glue"},
    {fourCC("0015"), kLong, "brilliance"},
    {fourCC("0016"), kLong, "random seed"},
    {fourCC("0017"), kDoub, "X center"},
    {fourCC("0018"), kDoub, "Y center"},
    {fourCC("0019"), kDoub, "horizon float"},
    {fourCC("0020"), kDoub, "offset float"},
    {fourCC("0021"), kDoub, "spin"},
    {fourCC("0022"), kLong, "water style"},
    {fourCC("0023"), kDoub, "light X"},
    {fourCC("0024"), kDoub, "light Y"},
    {fourCC("0025"), kDoub, "light Z"},
    {fourCC("0026"), kLong, "glitter red"},
    {fourCC("0027"), kLong, "glitter green"},
    {fourCC("0028"), kLong, "glitter blue"},
    {fourCC("0029"), kDoub, "perspective float"},
    {fourCC("0030"), kDoub, "altitude float"},
    {fourCC("0031"), kDoub, "waviness float"},
    {fourCC("0032"), kDoub, "complexity float"},
    {fourCC("0033"), kDoub, "brilliance float"},
    {fourCC("0034"), kDoub, "blur float"},
    {fourCC("0035"), kDoub, "size float"},
    {fourCC("0036"), kDoub, "height float"},
    {fourCC("0037"), kDoub, "undulation float"},
}};

// Mode 26 is "hard diff" in the dialog's menu; scripts have always called it "harsh diff".
constexpr std::array<ScriptingEnumValue, kGlueValueCount> kGlueValues{{
    {fourCC("GL01"), "normal"},       {fourCC("GL02"), "procedural +"},
    {fourCC("GL03"), "procedural -"}, {fourCC("GL04"), "difference"},
    {fourCC("GL05"), "lighten"},      {fourCC("GL06"), "darken"},
    {fourCC("GL07"), "add"},          {fourCC("GL08"), "subtract"},
    {fourCC("GL09"), "multiply"},     {fourCC("GL10"), "screen"},
    {fourCC("GL11"), "hard light"},   {fourCC("GL12"), "overlay"},
    {fourCC("GL13"), "superlay"},     {fourCC("GL14"), "exclusion"},
    {fourCC("GL15"), "color"},        {fourCC("GL16"), "luminance"},
    {fourCC("GL17"), "linear light"}, {fourCC("GL18"), "pin light"},
    {fourCC("GL19"), "spin light"},   {fourCC("GL20"), "vivid a"},
    {fourCC("GL21"), "vivid b"},      {fourCC("GL22"), "saturation"},
    {fourCC("GL23"), "hue"},          {fourCC("GL24"), "similarity"},
    {fourCC("GL25"), "cross"},        {fourCC("GL26"), "harsh diff"},
    {fourCC("GL27"), "soft light"},   {fourCC("GL28"), "bright"},
    {fourCC("GL29"), "dim"},          {fourCC("GL30"), "dodge"},
    {fourCC("GL31"), "burn"},         {fourCC("GL32"), "ace"},
    {fourCC("GL33"), "king"},         {fourCC("GL34"), "queen"},
    {fourCC("GL35"), "jack"},         {fourCC("GL36"), "and"},
    {fourCC("GL37"), "or"},           {fourCC("GL38"), "xor"},
    {fourCC("GL39"), "multibright"},  {fourCC("GL40"), "hot"},
    {fourCC("GL41"), "cold"},         {fourCC("GL42"), "wet"},
    {fourCC("GL43"), "dry"},          {fourCC("GL44"), "up"},
    {fourCC("GL45"), "down"},         {fourCC("GL46"), "wax"},
    {fourCC("GL47"), "wane"},         {fourCC("GL48"), "north"},
    {fourCC("GL49"), "south"},        {fourCC("GL50"), "east"},
    {fourCC("GL51"), "west"},         {fourCC("GL52"), "hard mix"},
    {fourCC("GL53"), "frontal"},      {fourCC("GL54"), "parietal"},
    {fourCC("GL55"), "temporal"},     {fourCC("GL56"), "occipital"},
    {fourCC("GL57"), "limbic"},       {fourCC("GL58"), "dextrous"},
    {fourCC("GL59"), "sinister"},     {fourCC("GL62"), "screendim"},
    {fourCC("GL63"), "starbright"},
}};

constexpr std::int32_t kHighestOutputMode = 69;
constexpr pi::OSType kGluePrefix = fourCC("GL\0\0");

// Large enough for the terminology below; running past it stops the build.
constexpr std::size_t kAeteCapacity = 4096;

struct AeteWriter {
    std::array<std::uint8_t, kAeteCapacity> bytes{};
    std::size_t size = 0;

    constexpr void u8(std::uint8_t value) { bytes.at(size++) = value; }
    constexpr void u16(std::uint16_t value) {
        u8(std::uint8_t(value));
        u8(std::uint8_t(value >> 8));
    }
    constexpr void u32(std::uint32_t value) {
        u16(std::uint16_t(value));
        u16(std::uint16_t(value >> 16));
    }
    // One length byte and the characters; on Windows no padding follows.
    constexpr void pascalString(std::string_view text) {
        u8(std::uint8_t(text.size()));
        for (char c : text) u8(std::uint8_t(c));
    }
};

constexpr AeteWriter composeAete() {
    AeteWriter w;
    w.u16(1);  // resource word
    w.u8(1);   // terminology version 1.0
    w.u8(0);
    w.u16(0);  // language: English
    w.u16(0);  // script: Roman
    w.u16(1);  // suites

    w.pascalString(kScriptingSuiteName);
    w.pascalString(kScriptingSuiteDescription);
    w.u32(kScriptingSuiteId);
    w.u16(1);  // level
    w.u16(1);  // version
    w.u16(1);  // events

    w.pascalString(kScriptingEventName);
    w.pascalString(kScriptingEventDescription);
    w.u32(kScriptingEventClass);
    w.u32(kScriptingEventId);
    // Hosts parse the reply and the direct parameter reliably only with empty descriptions.
    w.u32(kScriptingReplyType);
    w.pascalString("");
    w.u16(0);
    w.u32(kScriptingDirectType);
    w.pascalString("");
    w.u16(kScriptFlagDirect);

    w.u16(std::uint16_t(kParameters.size()));
    for (const ScriptingParameter& parameter : kParameters) {
        w.pascalString(parameter.name);
        w.u32(parameter.key);
        w.u32(parameter.type);
        w.pascalString(parameter.name);
        w.u16(parameter.key == kScriptKeyGlue ? kScriptFlagGlue : kScriptFlagOptional);
    }

    w.u16(0);  // classes
    w.u16(0);  // comparison operators
    w.u16(1);  // enumerations
    w.u32(kScriptTypeGlue);
    w.u16(std::uint16_t(kGlueValues.size()));
    for (const ScriptingEnumValue& value : kGlueValues) {
        w.pascalString(value.name);
        w.u32(value.id);
        w.pascalString(value.name);
    }
    return w;
}

constexpr AeteWriter kComposed = composeAete();
constexpr std::size_t kAeteSize = kComposed.size;

// The bytes and the one NUL every resource carries after them.
constexpr std::array<std::uint8_t, kAeteSize + 1> terminatedAete() {
    std::array<std::uint8_t, kAeteSize + 1> bytes{};
    for (std::size_t i = 0; i < kAeteSize; ++i) bytes[i] = kComposed.bytes[i];
    return bytes;
}

}  // namespace

}  // namespace mirel

#if defined(_WIN32)
// Windows hosts read the terminology from the library's resource section.
extern "C" const std::array<std::uint8_t, mirel::kAeteSize + 1> MirelAETE = mirel::terminatedAete();
#else
// In a section of its own, beside the PiPL's, so that a host reads the
// terminology from the file without loading the library; "used" keeps the
// compiler from dropping it. Not exported: hosts find it by section.
extern "C" __attribute__((used, section(".aete")))
const std::array<std::uint8_t, mirel::kAeteSize + 1>
    MirelAETE = mirel::terminatedAete();
#endif

namespace mirel {

std::span<const ScriptingParameter> scriptingParameters() {
    return kParameters;
}

std::span<const ScriptingEnumValue> glueValues() {
    return kGlueValues;
}

const ScriptingParameter* findScriptingParameter(pi::OSType key) {
    for (const ScriptingParameter& parameter : kParameters)
        if (parameter.key == key) return &parameter;
    return nullptr;
}

pi::OSType glueValueForMode(std::int32_t outputMode) {
    if (outputMode < 1 || outputMode > kHighestOutputMode) return 0;
    return kGluePrefix | (std::uint32_t('0' + outputMode / 10) << 8) |
           std::uint32_t('0' + outputMode % 10);
}

std::int32_t modeForGlueValue(pi::OSType value) {
    if ((value & 0xFFFF0000u) != kGluePrefix) return 0;
    const int tens = int((value >> 8) & 0xFF) - '0';
    const int ones = int(value & 0xFF) - '0';
    if (tens < 0 || tens > 9 || ones < 0 || ones > 9) return 0;
    const std::int32_t mode = tens * 10 + ones;
    return mode >= 1 && mode <= kHighestOutputMode ? mode : 0;
}

std::span<const std::uint8_t> aeteBytes() {
    return {MirelAETE.data(), kAeteSize};
}

}  // namespace mirel
