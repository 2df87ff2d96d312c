// Tests of the output-mode engine: the modes' vocabulary, the fixed-point edges,
// the standard modes against float references, and over-range safety.
#include "render/output_modes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/pi/pi_types.h"

namespace mirel::render {
namespace {

using image::Rgba;

constexpr double kOne = 32768.0;

Rgba grey(float v, float a = 1.0f) {
    return {v, v, v, a};
}

// ---------------------------------------------------------------- vocabulary

TEST(OutputModeTable, MenuOrderNamesAndCodes) {
    const auto modes = outputModes();
    ASSERT_EQ(modes.size(), 69u);
    std::set<std::string_view> names;
    for (std::int32_t n = 1; n <= kOutputModeCount; ++n) {
        const OutputModeInfo& m = modes[n - 1];
        EXPECT_EQ(m.number, n);
        EXPECT_FALSE(m.name.empty());
        names.insert(m.name);
        EXPECT_EQ(outputModeFromScriptingId(m.scriptingId), n);
        EXPECT_EQ(outputModeScriptingId(n), m.scriptingId);
        EXPECT_EQ(findOutputMode(n), &m);
    }
    EXPECT_EQ(names.size(), 69u) << "menu names must be distinct";
    EXPECT_EQ(outputModeName(1), "normal");
    EXPECT_EQ(outputModeName(13), "superlay");
    EXPECT_EQ(outputModeName(26), "hard diff");
    EXPECT_EQ(outputModeName(52), "hard mix");
    EXPECT_EQ(outputModeName(69), "contrast negate");
    EXPECT_EQ(outputModeScriptingId(1), pi::fourCC("GL01"));
    EXPECT_EQ(outputModeScriptingId(26), pi::fourCC("GL26"));
    EXPECT_EQ(outputModeScriptingId(69), pi::fourCC("GL69"));
}

TEST(OutputModeTable, OutsideTheRangeHasNoEntry) {
    for (std::int32_t n : {0, -1, 70, 99, std::numeric_limits<std::int32_t>::min()}) {
        EXPECT_EQ(findOutputMode(n), nullptr);
        EXPECT_TRUE(outputModeName(n).empty());
        EXPECT_EQ(outputModeScriptingId(n), 0u);
    }
    for (const char* code :
         {"GL00", "GL70", "GL99", "XXXX", "<NO>", "GL/1", "GL1:", "gl01", "GL 1"}) {
        char buf[5] = {};
        std::copy(code, code + 4, buf);
        EXPECT_EQ(outputModeFromScriptingId(pi::fourCC(buf)), 0) << code;
    }
}

TEST(OutputModeTable, TerminologyListsSixtyOneModes) {
    const auto listed = terminologyOutputModes();
    ASSERT_EQ(listed.size(), 61u);
    for (std::int32_t i = 0; i < 59; ++i) EXPECT_EQ(listed[i], i + 1);
    EXPECT_EQ(listed[59], 62);
    EXPECT_EQ(listed[60], 63);
    EXPECT_EQ(findOutputMode(26)->terminologyName, "harsh diff");
    EXPECT_EQ(findOutputMode(62)->terminologyName, "screendim");
    for (std::int32_t n : {60, 61, 64, 65, 66, 67, 68, 69}) {
        EXPECT_TRUE(findOutputMode(n)->terminologyName.empty()) << n;
    }
    for (std::int32_t n : listed) {
        if (n == 26) continue;
        EXPECT_EQ(findOutputMode(n)->terminologyName, findOutputMode(n)->name);
    }
}

// ---------------------------------------------------------------- edges

TEST(OutputModeEdges, NormalAndUnknownModesReturnTheEffect) {
    const Rgba effect{0.25f, 1.75f, 0.0f, 0.5f};  // over-range light passes untouched
    const Rgba source{0.9f, 0.1f, 0.4f, 1.0f};
    for (std::int32_t mode : {1, 0, -3, 70, 1000, std::numeric_limits<std::int32_t>::max()}) {
        const Rgba out = blendOutputMode(effect, source, mode);
        EXPECT_EQ(out.r, effect.r) << mode;
        EXPECT_EQ(out.g, effect.g) << mode;
        EXPECT_EQ(out.b, effect.b) << mode;
        EXPECT_EQ(out.a, effect.a) << mode;
    }
}

TEST(OutputModeEdges, FullScaleResults) {
    // Add saturates at white, negation folds back to black.
    EXPECT_EQ(blendChannel(32768, 32768, 7), 32768);
    EXPECT_EQ(blendChannel(32768, 32768, 68), 0);
    EXPECT_EQ(blendOutputMode(grey(1.0f), grey(1.0f), 7).r, 1.0f);
    EXPECT_EQ(blendOutputMode(grey(1.0f), grey(1.0f), 68).g, 0.0f);
    // Dodge by a white effect is white whatever the source, even a black one;
    // an effect brighter than white dodges to white as well.
    for (float s = 0.0f; s <= 1.0f; s += 1.0f / 64) {
        EXPECT_EQ(blendOutputMode(grey(1.0f), grey(s), 30).b, 1.0f) << s;
        EXPECT_EQ(blendOutputMode(grey(1.25f), grey(s), 30).b, 1.0f) << s;
    }
}

TEST(OutputModeEdges, DifferenceAndExclusionAgree) {
    for (std::int32_t e = 0; e <= 32768; e += 97) {
        for (std::int32_t s = 0; s <= 32768; s += 89) {
            ASSERT_EQ(blendChannel(e, s, 4), blendChannel(e, s, 14)) << e << " " << s;
        }
    }
}

TEST(OutputModeEdges, StarbrightMovesBrightnessIntoAlpha) {
    const Rgba black = blendOutputMode({0.0f, 0.0f, 0.0f, 1.0f}, grey(0.7f), 63);
    EXPECT_EQ(black.r, 0.0f);
    EXPECT_EQ(black.g, 0.0f);
    EXPECT_EQ(black.b, 0.0f);
    EXPECT_EQ(black.a, 0.0f);
    const Rgba nan = blendOutputMode({NAN, NAN, NAN, 1.0f}, grey(0.7f), 63);
    EXPECT_EQ(nan.a, 0.0f);
    const Rgba out = blendOutputMode({0.5f, 0.25f, 0.0f, 1.0f}, grey(0.7f), 63);
    EXPECT_FLOAT_EQ(out.r, 1.0f);
    EXPECT_FLOAT_EQ(out.g, 0.5f);
    EXPECT_FLOAT_EQ(out.b, 0.0f);
    EXPECT_FLOAT_EQ(out.a, 0.5f);
    // Brighter than white: alpha stops at 1 and the colour keeps its light.
    const Rgba bright = blendOutputMode({2.0f, 0.5f, 0.0f, 1.0f}, grey(0.7f), 63);
    EXPECT_FLOAT_EQ(bright.a, 1.0f);
    EXPECT_FLOAT_EQ(bright.r, 2.0f);
}

TEST(OutputModeEdges, AlphaIsTheEffectsExceptForStarbright) {
    const Rgba effect{0.3f, 0.6f, 0.9f, 0.375f};
    const Rgba source{0.8f, 0.2f, 0.5f, 1.0f};
    for (std::int32_t mode = 2; mode <= kOutputModeCount; ++mode) {
        if (mode == 63) continue;
        EXPECT_EQ(blendOutputMode(effect, source, mode).a, 0.375f) << mode;
    }
}

TEST(OutputModeEdges, FixedPointConversionSaturates) {
    EXPECT_EQ(toFixed(0.0f), 0);
    EXPECT_EQ(toFixed(0.5f), 16384);
    EXPECT_EQ(toFixed(1.0f), 32768);
    EXPECT_EQ(toFixed(1.5f / 32768), 1);  // truncates
    EXPECT_EQ(toFixed(1.99f), static_cast<std::int32_t>(1.99f * 32768));
    EXPECT_EQ(toFixed(-0.5f), 0);
    EXPECT_EQ(toFixed(-1e30f), 0);
    EXPECT_EQ(toFixed(1e30f), kFixedMax);
    EXPECT_EQ(toFixed(std::numeric_limits<float>::infinity()), kFixedMax);
    EXPECT_EQ(toFixed(-std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(toFixed(std::numeric_limits<float>::quiet_NaN()), 0);
}

// Every mode, every kind of input including over-range light and garbage: the
// result is a finite, non-negative colour, and the channel arithmetic stays in
// range (the sanitizer build traps any overflow on the way).
TEST(OutputModeEdges, OverRangeInputsStaySane) {
    const std::vector<std::int32_t> fixedValues = {0,     1,     127,   128,   16383, 16384, 16385,
                                                   32767, 32768, 32769, 40000, 49151, 65534, 65535};
    for (std::int32_t mode = 1; mode <= kOutputModeCount; ++mode) {
        for (std::int32_t e : fixedValues) {
            for (std::int32_t s : fixedValues) {
                const std::int32_t out = blendChannel(e, s, mode);
                ASSERT_GE(out, 0) << mode << " " << e << " " << s;
                ASSERT_LE(out, kFixedMax) << mode << " " << e << " " << s;
            }
        }
    }
    const std::vector<float> floats = {0.0f, 0.2f, 0.5f, 1.0f, 1.01f, 2.0f, 7.5f, 1e9f, -0.5f};
    for (std::int32_t mode = 2; mode <= kOutputModeCount; ++mode) {
        for (float er : floats) {
            for (float eg : {0.0f, 0.6f, 3.0f}) {
                for (float s : floats) {
                    const Rgba out =
                        blendOutputMode({er, eg, 0.3f, 1.0f}, {s, 0.4f, s, 1.0f}, mode);
                    for (float c : {out.r, out.g, out.b}) {
                        ASSERT_TRUE(std::isfinite(c)) << mode << " " << er << " " << s;
                        ASSERT_GE(c, 0.0f) << mode << " " << er << " " << s;
                    }
                }
            }
        }
    }
    // Brighter-than-white inputs saturate rather than wrap.
    EXPECT_EQ(blendChannel(65535, 65535, 7), 32768);
    EXPECT_EQ(blendChannel(65535, 65535, 9), kFixedMax);
    EXPECT_EQ(blendChannel(65535, 0, 30), 32768);
    EXPECT_EQ(blendChannel(40000, 20000, 30), 32768);
}

// ---------------------------------------------------------------- character

// Values where the intent of the less common modes is plain.
TEST(OutputModeCharacter, ChannelModesAtTellingInputs) {
    // Hard mix: the sum decides, and exactly full scale still counts as dark.
    EXPECT_EQ(blendChannel(20000, 12768, 52), 0);
    EXPECT_EQ(blendChannel(20000, 12769, 52), 32768);
    // Similarity is white for complementary values, hard diff is the distance.
    EXPECT_EQ(blendChannel(10000, 22768, 24), 32768);
    EXPECT_EQ(blendChannel(10000, 22768, 26), 12768);
    EXPECT_EQ(blendChannel(22768, 10000, 26), 12768);
    // Vivid a: a middle effect keeps the source (to 8 bits), white burns
    // through to white, black to black.
    for (std::int32_t s : {0, 5000, 16384, 30000, 32768}) {
        EXPECT_NEAR(blendChannel(16384, s, 20), s, 300) << s;
        EXPECT_EQ(blendChannel(0, s, 20), s == 32768 ? 32768 : 0) << s;
    }
    EXPECT_EQ(blendChannel(32768, 5000, 20), 32768);
    EXPECT_EQ(blendChannel(32768, 0, 20), 0);
    // Multibright and screendim: black stays black, white stays white.
    EXPECT_EQ(blendChannel(0, 20000, 39), 0);
    EXPECT_EQ(blendChannel(32768, 32768, 39), 32768);
    EXPECT_EQ(blendChannel(0, 0, 62), 0);
    EXPECT_EQ(blendChannel(32768, 1234, 62), 32768);
    // Dextrous: equal values meet at one half; two blacks give white.
    EXPECT_EQ(blendChannel(12000, 12000, 58), 16384);
    EXPECT_EQ(blendChannel(0, 0, 58), 32768);
    // Contrast negate: a light source keeps a dark effect, a dark one inverts it.
    EXPECT_EQ(blendChannel(10000, 30000, 69), 10000);
    EXPECT_EQ(blendChannel(10000, 3000, 69), 22768);
    EXPECT_EQ(blendChannel(30000, 30000, 69), 2768);
    // Bitwise modes work on the fixed-point values.
    EXPECT_EQ(blendChannel(0x5555, 0x0F0F, 36), 0x0505);
    EXPECT_EQ(blendChannel(0x5555, 0x0F0F, 37), 0x5F5F);
    EXPECT_EQ(blendChannel(0x5555, 0x0F0F, 38), 0x5A5A);
}

TEST(OutputModeCharacter, FloatModesGuardTheirDivisions) {
    const Rgba white = grey(1.0f), black = grey(0.0f), mid = grey(0.5f);
    for (std::int32_t mode : {64, 65, 66, 67}) {
        // The divisor vanishes for a white source (64, 66) or effect (65, 67): white.
        const Rgba out = mode == 64 || mode == 66 ? blendOutputMode(mid, white, mode)
                                                  : blendOutputMode(white, mid, mode);
        EXPECT_EQ(out.r, 1.0f) << mode;
    }
    EXPECT_EQ(blendOutputMode(black, mid, 64).g, 0.0f);
    EXPECT_FLOAT_EQ(blendOutputMode(mid, mid, 64).g, 0.5f);
    // Shimmer and lustre: half of glow and reflect up to 0.5, then easing towards 1.
    EXPECT_FLOAT_EQ(blendOutputMode(mid, mid, 66).g, 0.25f);
    EXPECT_FLOAT_EQ(blendOutputMode(mid, grey(0.75f), 66).g, 0.5f);
    EXPECT_FLOAT_EQ(blendOutputMode(white, mid, 66).g, 0.75f);
    EXPECT_FLOAT_EQ(blendOutputMode(mid, white, 67).g, 0.75f);
    EXPECT_FLOAT_EQ(blendOutputMode(mid, mid, 67).g, 0.25f);
    EXPECT_EQ(blendOutputMode(mid, black, 65).b, 0.0f);
}

TEST(OutputModeCharacter, ChannelMixingModes) {
    const Rgba source{0.25f, 0.5f, 0.75f, 1.0f};
    // North and south with a white effect take the source; east and west with
    // a black source keep the effect.
    for (std::int32_t mode : {48, 49}) {
        const Rgba out = blendOutputMode(grey(1.0f), source, mode);
        EXPECT_FLOAT_EQ(out.r, 0.25f) << mode;
        EXPECT_FLOAT_EQ(out.g, 0.5f) << mode;
        EXPECT_FLOAT_EQ(out.b, 0.75f) << mode;
    }
    const Rgba effect{0.125f, 0.625f, 0.875f, 1.0f};
    for (std::int32_t mode : {50, 51}) {
        const Rgba out = blendOutputMode(effect, grey(0.0f), mode);
        EXPECT_FLOAT_EQ(out.r, 0.125f) << mode;
        EXPECT_FLOAT_EQ(out.b, 0.875f) << mode;
    }
    // Bright takes the whole brighter colour, dim the whole darker one.
    const Rgba dark{0.9f, 0.0f, 0.0f, 0.5f}, light{0.2f, 0.9f, 0.3f, 1.0f};
    const Rgba bright = blendOutputMode(dark, light, 28);
    EXPECT_FLOAT_EQ(bright.g, toFixed(0.9f) / 32768.0f);
    EXPECT_EQ(bright.a, 0.5f);
    EXPECT_FLOAT_EQ(blendOutputMode(dark, light, 29).r, toFixed(0.9f) / 32768.0f);
    EXPECT_FLOAT_EQ(blendOutputMode(light, dark, 29).g, 0.0f);
}

// ---------------------------------------------------------------- references

struct Reference {
    std::int32_t mode;
    const char* name;
    std::function<double(double, double)> f;  // effect, source in 0..1
    double tolerance;                         // in 1/32768
};

double clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

// The textbook forms, written in floats from the modes' descriptions.
std::vector<Reference> references() {
    constexpr double kFixedStep = 2.0;
    constexpr double k8BitStep = 128.0;  // soft light's bright half works in 8 bits
    return {
        {9, "multiply", [](double e, double s) { return e * s; }, kFixedStep},
        {10, "screen", [](double e, double s) { return e + s - e * s; }, kFixedStep},
        {4, "difference", [](double e, double s) { return e + s - 2 * e * s; }, kFixedStep},
        {14, "exclusion", [](double e, double s) { return e + s - 2 * e * s; }, kFixedStep},
        {5, "lighten", [](double e, double s) { return std::max(e, s); }, 0.5},
        {6, "darken", [](double e, double s) { return std::min(e, s); }, 0.5},
        {7, "add", [](double e, double s) { return std::min(e + s, 1.0); }, 0.5},
        {8, "subtract", [](double e, double s) { return std::max(e - s, 0.0); }, 0.5},
        {12, "overlay",
         [](double e, double s) { return s < 0.5 ? 2 * e * s : 1 - 2 * (1 - e) * (1 - s); },
         kFixedStep},
        {11, "hard light",
         [](double e, double s) { return e < 0.5 ? 2 * e * s : 1 - 2 * (1 - e) * (1 - s); },
         kFixedStep},
        {27, "soft light", [](double e, double s) { return 2 * e * s + s * s * (1 - 2 * e); },
         3 * k8BitStep},
        {17, "linear light", [](double e, double s) { return clamp01(s + 2 * e - 1); }, 0.5},
        {18, "pin light",
         [](double e, double s) { return e < 0.5 ? std::min(s, 2 * e) : std::max(s, 2 * e - 1); },
         0.5},
        {30, "dodge", [](double e, double s) { return e >= 1 ? 1.0 : clamp01(s / (1 - e)); },
         kFixedStep},
        // The divisor carries one step of guard, so a black effect burns to black.
        {31, "burn", [](double e, double s) { return clamp01(1 - (1 - s) / (e + 1 / kOne)); },
         kFixedStep},
    };
}

TEST(OutputModeReference, StandardModesFollowTheirFloatForms) {
    constexpr std::int32_t kStep = 61;  // a dense sweep that also hits odd values
    for (const Reference& ref : references()) {
        double worst = 0.0;
        for (std::int32_t e = 0; e <= 32768 + kStep; e += kStep) {
            for (std::int32_t s = 0; s <= 32768 + kStep; s += kStep) {
                const std::int32_t ec = std::min(e, 32768), sc = std::min(s, 32768);
                const double want = ref.f(ec / kOne, sc / kOne) * kOne;
                const double got = blendChannel(ec, sc, ref.mode);
                worst = std::max(worst, std::abs(got - want));
                ASSERT_LE(std::abs(got - want), ref.tolerance)
                    << ref.name << " E=" << ec << " S=" << sc << " want " << want;
            }
        }
        // The channel function is what blendOutputMode applies to each channel.
        const Rgba e{0.2f, 0.55f, 0.9f, 1.0f}, src{0.7f, 0.35f, 0.05f, 1.0f};
        const Rgba out = blendOutputMode(e, src, ref.mode);
        auto want = [&](float ev, float sv) {
            return ref.f(toFixed(ev) / kOne, toFixed(sv) / kOne);
        };
        EXPECT_NEAR(out.r, want(e.r, src.r), ref.tolerance / kOne) << ref.name;
        EXPECT_NEAR(out.g, want(e.g, src.g), ref.tolerance / kOne) << ref.name;
        EXPECT_NEAR(out.b, want(e.b, src.b), ref.tolerance / kOne) << ref.name;
        RecordProperty(ref.name, std::to_string(worst));
    }
}

TEST(OutputModeThreads, ConcurrentFirstUseGivesTheSameResults) {
    auto sweep = [](std::vector<float>& out) {
        for (std::int32_t mode : {54, 55, 56, 57, 15, 53}) {
            for (int i = 0; i < 512; ++i) {
                const float e = (i % 17) / 16.0f, s = (i % 13) / 12.0f;
                const Rgba r = blendOutputMode({e, 1 - e, s, 1}, {s, e * s, 1 - s, 1}, mode);
                out.insert(out.end(), {r.r, r.g, r.b});
            }
        }
    };
    std::vector<std::vector<float>> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results) threads.emplace_back(sweep, std::ref(r));
    for (auto& t : threads) t.join();
    std::vector<float> again;
    sweep(again);
    for (const auto& r : results) EXPECT_EQ(r, again);
}

}  // namespace
}  // namespace mirel::render
