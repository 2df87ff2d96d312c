// The AETE resource: its bytes, what a host parses from them, and the output-mode
// enumeration's codes.
#include <gtest/gtest.h>

#include <string>

#include "apps/host/descriptor_terminology.h"
#include "resources/aete.h"
#include "resources/resources.h"

namespace mirel::testing {
namespace {

using hostkit::Terminology;

Terminology parsedTerminology() {
    Terminology terminology;
    std::string error;
    EXPECT_TRUE(hostkit::parseTerminology(aeteBytes(), terminology, error)) << error;
    return terminology;
}

TEST(Terminology, FoundAsTheResourceThePiplNames) {
    const auto found = findResource("AETE", kTerminologyResourceId);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.data(), aeteBytes().data());
    EXPECT_EQ(found.size(), aeteBytes().size());
    EXPECT_EQ(found.data()[found.size()], 0);  // the NUL every resource carries
    EXPECT_EQ(findResource("aete", "#16000").data(), found.data());
    EXPECT_TRUE(findResource("AETE", 16001).empty());
}

TEST(Terminology, HeaderSuiteAndEventInTheWindowsLayout) {
    const auto bytes = aeteBytes();
    // Little-endian words, Pascal strings without padding, codes byte-reversed.
    using namespace std::string_literals;
    const std::string expected =
        "\1\0\1\0\0\0\0\0\1\0"s  // word 1, 1.0, language, script, 1 suite
        "\x07Ostrand\x07Mirel 2"
        "2RMO"
        "\1\0\1\0\1\0"s  // suite, level, version, 1 event
        "\x07Mirel 2\x11"
        "Draws lying water"
        "2RMO"
        "2RMO"s  // event, class, id
        "llun"
        "\0"
        "\0\0"s  // reply: 'null', "", flags 0
        "RmI#"
        "\0"
        "\0\xB0"s  // direct parameter '#ImR', 0xB000
        "\x25\0"s  // 37 parameters
        "\x09water red"
        "1000"
        "gnol"
        "\x09water red"
        "\0\x80"s;  // the first: 0x8000
    ASSERT_GE(bytes.size(), expected.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), expected.size()), expected);
    // The glue parameter is flagged 0xA000 and typed by its enumeration.
    const std::string glue =
        "\x04glue"
        "EULG"
        "ytLG"
        "\x04glue"
        "\0\xA0"s;
    const std::string all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    EXPECT_NE(all.find(glue), std::string::npos);
    // The resource ends with the last enumeration value: no classes, no operators.
    const std::string tail =
        "\x0astarbright"
        "36LG"
        "\x0astarbright"s;
    EXPECT_EQ(all.substr(all.size() - tail.size()), tail);
    EXPECT_NE(all.find("\0\0\0\0\1\0"
                       "ytLG"
                       "\x3d\0"s),
              std::string::npos);  // 0, 0, 1 enum of 61
}

TEST(Terminology, ParsesIntoTheParametersAndTheEnumeration) {
    const Terminology terminology = parsedTerminology();
    EXPECT_EQ(terminology.suiteName, "Ostrand");
    EXPECT_EQ(terminology.eventName, "Mirel 2");
    EXPECT_EQ(terminology.eventDescription, "Draws lying water");
    EXPECT_EQ(terminology.eventClass, pi::fourCC("OMR2"));
    ASSERT_EQ(terminology.parameters.size(), 37u);
    const auto table = scriptingParameters();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& parsed = terminology.parameters[i];
        SCOPED_TRACE(parsed.name);
        EXPECT_EQ(parsed.key, table[i].key);
        EXPECT_EQ(parsed.type, table[i].type);
        EXPECT_EQ(parsed.name, table[i].name);
        EXPECT_EQ(parsed.description, parsed.name);
        EXPECT_EQ(parsed.flags, parsed.key == pi::fourCC("GLUE") ? 0xA000 : 0x8000);
    }
    EXPECT_EQ(terminology.parameters.front().name, "water red");
    EXPECT_EQ(terminology.parameters[13].key, pi::fourCC("GLUE"));
    EXPECT_EQ(terminology.parameters[18].name, "horizon float");
    EXPECT_EQ(terminology.parameters.back().name, "undulation float");
    EXPECT_EQ(terminology.byName("Horizon Float"), &terminology.parameters[18]);

    ASSERT_EQ(terminology.enumerations.size(), 1u);
    const auto& glue = terminology.enumerations[0];
    EXPECT_EQ(glue.type, pi::fourCC("GLty"));
    ASSERT_EQ(glue.values.size(), 61u);
    EXPECT_EQ(glue.values[0].id, pi::fourCC("GL01"));
    EXPECT_EQ(glue.values[0].name, "normal");
    EXPECT_EQ(glue.values[25].name, "harsh diff");  // "hard diff" only in the dialog's menu
    EXPECT_EQ(glue.values[58].id, pi::fourCC("GL59"));
    EXPECT_EQ(glue.values[59].id, pi::fourCC("GL62"));
    EXPECT_EQ(glue.values[59].name, "screendim");
    EXPECT_EQ(glue.values[60].id, pi::fourCC("GL63"));
    for (const auto& value : glue.values) EXPECT_EQ(value.description, value.name);
}

TEST(Terminology, EveryTruncationIsRefusedWithAReason) {
    const auto bytes = aeteBytes();
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        Terminology terminology;
        std::string error;
        EXPECT_FALSE(hostkit::parseTerminology(bytes.first(length), terminology, error)) << length;
        EXPECT_FALSE(error.empty());
    }
}

TEST(Terminology, GlueValuesAndOutputModes) {
    EXPECT_EQ(glueValueForMode(1), pi::fourCC("GL01"));
    EXPECT_EQ(glueValueForMode(62), pi::fourCC("GL62"));
    EXPECT_EQ(glueValueForMode(69), pi::fourCC("GL69"));
    EXPECT_EQ(glueValueForMode(0), 0u);
    EXPECT_EQ(glueValueForMode(70), 0u);
    EXPECT_EQ(glueValueForMode(-5), 0u);
    EXPECT_EQ(modeForGlueValue(pi::fourCC("GL62")), 62);
    EXPECT_EQ(modeForGlueValue(pi::fourCC("GL64")), 64);  // no name, still a mode
    EXPECT_EQ(modeForGlueValue(pi::fourCC("XXXX")), 0);
    EXPECT_EQ(modeForGlueValue(pi::fourCC("GL00")), 0);
    EXPECT_EQ(modeForGlueValue(pi::fourCC("GL70")), 0);
    EXPECT_EQ(modeForGlueValue(pi::fourCC("GL6x")), 0);
    EXPECT_EQ(modeForGlueValue(pi::fourCC("<NO>")), 0);
}

}  // namespace
}  // namespace mirel::testing
