// Descriptor handle bytes, action files and NAME=VALUE settings against the filter's
// own terminology.
#include "apps/host/action_file.h"

#include <gtest/gtest.h>

#include <string>

#include "resources/aete.h"

namespace mirel::testing {
namespace {

using hostkit::Descriptor;
using hostkit::DescriptorItem;
using pi::fourCC;

const hostkit::Terminology& terminology() {
    static const hostkit::Terminology parsed = [] {
        hostkit::Terminology t;
        std::string error;
        EXPECT_TRUE(hostkit::parseTerminology(aeteBytes(), t, error)) << error;
        return t;
    }();
    return parsed;
}

Descriptor everyKind() {
    Descriptor d;
    d.put(hostkit::integerItem(fourCC("Vers"), 45));
    d.put(hostkit::integerItem(fourCC("0016"), -2147483647 - 1));
    d.put(hostkit::floatItem(fourCC("0019"), 0.1));
    d.put(hostkit::enumeratedItem(fourCC("GLUE"), fourCC("GLty"), fourCC("<NO>")));
    DescriptorItem text;
    text.key = fourCC("note");
    text.type = hostkit::kDescTypeText;
    text.text = "caf\xc3\xa9 \"quoted\"";
    d.put(text);
    DescriptorItem flag;
    flag.key = 0x01020304;  // not printable: travels as hex
    flag.type = hostkit::kDescTypeBoolean;
    flag.boolean = true;
    d.put(flag);
    DescriptorItem unit;
    unit.key = fourCC("Dist");
    unit.type = hostkit::kDescTypeUnitFloat;
    unit.unit = fourCC("#Pxl");
    unit.number = -2.5;
    d.put(unit);
    return d;
}

Descriptor parsed(const std::string& text) {
    Descriptor descriptor;
    std::string error;
    EXPECT_TRUE(hostkit::parseActionText(text, terminology(), descriptor, error)) << error;
    return descriptor;
}

std::string refusal(const std::string& text) {
    Descriptor descriptor;
    std::string error;
    EXPECT_FALSE(hostkit::parseActionText(text, terminology(), descriptor, error)) << text;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    return error;
}

TEST(DescriptorBytes, RoundTripAndDamage) {
    const Descriptor d = everyKind();
    const auto bytes = hostkit::encodeDescriptor(d);
    EXPECT_EQ(hostkit::decodeDescriptor(bytes), std::optional<Descriptor>(d));
    for (std::size_t length = 0; length < bytes.size(); ++length)
        EXPECT_FALSE(hostkit::decodeDescriptor(std::span(bytes).first(length))) << length;
    auto longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(hostkit::decodeDescriptor(longer));
    auto huge = bytes;
    huge[4] = huge[5] = huge[6] = huge[7] = 0xFF;  // count
    EXPECT_FALSE(hostkit::decodeDescriptor(huge));
}

TEST(DescriptorBytes, APutKeyKeepsItsPlaceAndTakesTheNewValue) {
    Descriptor d;
    d.put(hostkit::integerItem(fourCC("0001"), 1));
    d.put(hostkit::integerItem(fourCC("0002"), 2));
    d.put(hostkit::floatItem(fourCC("0001"), 3.0));
    ASSERT_EQ(d.items.size(), 2u);
    EXPECT_EQ(d.items[0], hostkit::floatItem(fourCC("0001"), 3.0));
}

TEST(ActionFile, WrittenWithNamesAndReadBackUnchanged) {
    const Descriptor d = everyKind();
    const std::string text = hostkit::actionText(d, terminology());
    EXPECT_NE(text.find("\"name\": \"horizon float\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"key\": \"0x01020304\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"value\": \"<NO>\""), std::string::npos) << text;
    EXPECT_EQ(parsed(text), d);

    const Descriptor glue = parsed(hostkit::actionText(
        Descriptor{{hostkit::enumeratedItem(fourCC("GLUE"), fourCC("GLty"), fourCC("GL62"))}},
        terminology()));
    EXPECT_EQ(glue.items[0].enumValue, fourCC("GL62"));
}

TEST(ActionFile, KeysByNameTypesFromTheTerminologyValuesByName) {
    const Descriptor d = parsed(R"({"descriptor": [
        {"name": "Horizon Float", "value": 30},
        {"key": "0001", "value": 255.0},
        {"name": "glue", "value": "screendim"},
        {"key": "GLUE", "name": "glue", "type": "enum", "enum type": "GLty", "value": "cold"},
        {"key": "Vers", "type": "long", "value": 45}]})");
    ASSERT_EQ(d.items.size(), 4u);
    EXPECT_EQ(d.items[0], hostkit::floatItem(fourCC("0019"), 30.0));
    EXPECT_EQ(d.items[1], hostkit::integerItem(fourCC("0001"), 255));
    EXPECT_EQ(d.items[2], hostkit::enumeratedItem(fourCC("GLUE"), fourCC("GLty"), fourCC("GL41")));
    EXPECT_EQ(d.items[3], hostkit::integerItem(fourCC("Vers"), 45));
}

TEST(ActionFile, RefusalsSayWhatIsWrong) {
    EXPECT_NE(refusal("{").find("malformed"), std::string::npos);
    EXPECT_NE(refusal("[1]").find("no JSON object"), std::string::npos);
    EXPECT_NE(refusal(R"({"format": "other"})").find("format"), std::string::npos);
    EXPECT_NE(refusal(R"({"version": 2, "descriptor": []})").find("newer"), std::string::npos);
    EXPECT_NE(refusal(R"({"steps": []})").find("\"descriptor\""), std::string::npos);
    EXPECT_NE(
        refusal(R"({"descriptor": [{"name": "depth", "value": 1}]})").find("unknown parameter"),
        std::string::npos);
    EXPECT_NE(refusal(R"({"descriptor": [{"key": "0019", "type": "long", "value": 3}]})")
                  .find("is of type doub, not long"),
              std::string::npos);
    EXPECT_NE(refusal(R"({"descriptor": [{"key": "0001", "value": 1.5}]})").find("whole number"),
              std::string::npos);
    EXPECT_NE(
        refusal(R"({"descriptor": [{"key": "0001", "value": 4294967296}]})").find("whole number"),
        std::string::npos);
    EXPECT_NE(refusal(R"({"descriptor": [{"key": "0019", "value": "30"}]})").find("wants a number"),
              std::string::npos);
    EXPECT_NE(refusal(R"({"descriptor": [{"key": "GLUE", "value": "sparkly"}]})").find("no value"),
              std::string::npos);
    EXPECT_NE(refusal(R"({"descriptor": [{"key": "0019", "name": "spin", "value": 1}]})")
                  .find("is named \"horizon float\""),
              std::string::npos);
    EXPECT_NE(refusal(R"({"descriptor": [{"key": "Xtra", "value": 1}]})").find("needs a \"type\""),
              std::string::npos);
    EXPECT_NE(refusal(R"({"descriptor": [{"key": "toolong", "type": "long", "value": 1}]})")
                  .find("four characters"),
              std::string::npos);
    EXPECT_NE(refusal(R"({"descriptor": [{"key": "0019"}]})").find("no \"value\""),
              std::string::npos);
    EXPECT_NE(refusal(R"({"descriptor": [7]})").find("entry 1"), std::string::npos);
}

TEST(Settings, NameEqualsValue) {
    DescriptorItem item;
    std::string error;
    ASSERT_TRUE(hostkit::parseSetting("horizon float=30", terminology(), item, error)) << error;
    EXPECT_EQ(item, hostkit::floatItem(fourCC("0019"), 30.0));
    ASSERT_TRUE(hostkit::parseSetting("glue=screen", terminology(), item, error)) << error;
    EXPECT_EQ(item, hostkit::enumeratedItem(fourCC("GLUE"), fourCC("GLty"), fourCC("GL10")));
    ASSERT_TRUE(hostkit::parseSetting("GLUE=GL62", terminology(), item, error)) << error;
    EXPECT_EQ(item.enumValue, fourCC("GL62"));
    ASSERT_TRUE(hostkit::parseSetting("water red=+255", terminology(), item, error)) << error;
    EXPECT_EQ(item, hostkit::integerItem(fourCC("0001"), 255));
    ASSERT_TRUE(hostkit::parseSetting("spin=-90", terminology(), item, error)) << error;
    EXPECT_EQ(item.number, -90.0);

    for (const char* bad :
         {"horizon float", "depth=3", "water red=abc", "water red=1.5", "water red=99999999999",
          "spin=", "spin=1e999", "spin=nan", "glue=sparkly", "glue=XXXX"}) {
        EXPECT_FALSE(hostkit::parseSetting(bad, terminology(), item, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace mirel::testing
