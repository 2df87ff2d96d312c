// The dialog template text form: what a good template gives, and that every
// kind of mistake is refused with the line it is on.
#include "platform/gui/dialog_template.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace mirel::gui {
namespace {

bool parse(std::string_view text, DialogTemplate& out, std::string& error) {
    return parseDialogTemplate({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                               out, error);
}

TEST(DialogTemplate, ReadsEveryPartOfAGoodTemplate) {
    const std::string text =
        "# an example with every class\r\n"
        "dialog   EXAMPLE\r\n"
        "\r\n"
        "title \"Say \\\"hi\\\" \\\\ now\"\r\n"
        "size 300 120\n"
        "font \"Arial\" 9\n"
        "   # indented comment\n"
        "static -1 \"Line one\\nline two\" 5 6 100 20 center border\n"
        "static -1 \"Another label\" 5 30 100 10 right\n"
        "pushbutton 10 \"&Push\" 5 50 40 14\n"
        "defpushbutton 1 \"&OK\" 50 50 40 14 disabled\n"
        "edit 11 \"42\" 5 70 30 12 number right readonly\n"
        "combobox 12 \"\" 40 70 90 400 hidden\n"
        "checkbox 13 \"Check\" 5 90 60 10\n"
        "radiobutton 14 \"Radio\" 70 90 60 10\n"
        "userdrawn 15 \"\" -4 -4 20 20 disabled\n"
        "\tstatic 16 \"tabs\"\t1\t2\t3\t4";  // no newline at the end
    DialogTemplate t;
    std::string error = "stale";
    ASSERT_TRUE(parse(text, t, error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(t.name, "EXAMPLE");
    EXPECT_EQ(t.title, "Say \"hi\" \\ now");
    EXPECT_EQ(t.width, 300);
    EXPECT_EQ(t.height, 120);
    EXPECT_EQ(t.fontName, "Arial");
    EXPECT_EQ(t.fontPoints, 9);
    ASSERT_EQ(t.controls.size(), 10u);

    const ControlTemplate& first = t.controls[0];
    EXPECT_EQ(first.id, kUnaddressedId);
    EXPECT_EQ(first.controlClass, ControlClass::StaticText);
    EXPECT_EQ(first.text, "Line one\nline two");
    EXPECT_EQ(first.rect.x, 5);
    EXPECT_EQ(first.rect.y, 6);
    EXPECT_EQ(first.rect.width, 100);
    EXPECT_EQ(first.rect.height, 20);
    EXPECT_EQ(first.style, kStyleAlignCenter | kStyleBorder);
    EXPECT_EQ(t.controls[1].id, kUnaddressedId);  // unaddressed ids may repeat

    ASSERT_NE(t.findControl(1), nullptr);
    EXPECT_EQ(t.findControl(1)->controlClass, ControlClass::DefaultPushButton);
    EXPECT_EQ(t.findControl(1)->text, "&OK");
    EXPECT_EQ(t.findControl(1)->style, kStyleDisabled);
    EXPECT_EQ(t.findControl(10)->controlClass, ControlClass::PushButton);
    EXPECT_EQ(t.findControl(11)->controlClass, ControlClass::Edit);
    EXPECT_EQ(t.findControl(11)->style, kStyleNumber | kStyleAlignRight | kStyleReadOnly);
    EXPECT_EQ(t.findControl(12)->controlClass, ControlClass::ComboBox);
    EXPECT_EQ(t.findControl(12)->rect.height, 400);
    EXPECT_EQ(t.findControl(12)->style, kStyleHidden);
    EXPECT_EQ(t.findControl(13)->controlClass, ControlClass::CheckBox);
    EXPECT_EQ(t.findControl(14)->controlClass, ControlClass::RadioButton);
    EXPECT_EQ(t.findControl(15)->controlClass, ControlClass::UserDrawn);
    EXPECT_EQ(t.findControl(15)->rect.x, -4);
    EXPECT_EQ(t.findControl(16)->text, "tabs");
    EXPECT_EQ(t.findControl(16)->rect.height, 4);
    EXPECT_EQ(t.findControl(99), nullptr);
}

TEST(DialogTemplate, FontAndTitleHaveDefaults) {
    DialogTemplate t;
    std::string error;
    ASSERT_TRUE(parse("dialog X\nsize 10 10\n", t, error)) << error;
    EXPECT_EQ(t.fontName, "MS Sans Serif");
    EXPECT_EQ(t.fontPoints, 8);
    EXPECT_EQ(t.title, "");
    EXPECT_TRUE(t.controls.empty());
}

TEST(DialogTemplate, UnicodeTextIsKeptAsUtf8) {
    DialogTemplate t;
    std::string error;
    ASSERT_TRUE(parse("dialog X\ntitle \"Réglages ✓\"\nsize 10 10\n", t, error)) << error;
    EXPECT_EQ(t.title, "Réglages ✓");
}

struct BadTemplate {
    const char* what;
    std::string text;
    const char* expectedStart;  // "line N: " and the start of the reason
};

TEST(DialogTemplate, RefusesMistakesWithTheirLineNumber) {
    using namespace std::string_literals;
    const std::string head = "dialog X\nsize 100 50\n";  // lines 1 and 2
    const BadTemplate cases[] = {
        {"unknown keyword", head + "button 1 \"x\" 0 0 1 1\n",
         "line 3: unknown keyword \"button\""},
        {"unclosed string", head + "static 1 \"open 0 0 1 1\n", "line 3: string not closed"},
        {"unknown escape", "dialog X\ntitle \"a\\tb\"\n", "line 2: unknown escape \\t"},
        {"text not quoted", head + "static 1 text 0 0 1 1\n", "line 3: control text must be"},
        {"too few fields", head + "\n\nstatic 1 \"x\" 0 0 1\n", "line 5: expected: static ID"},
        {"not a number", head + "static 1 \"x\" 0 zero 1 1\n", "line 3: y must be a number"},
        {"trailing junk", head + "static 1 \"x\" 0 0 1 1x\n", "line 3: height must be a number"},
        {"id too large", head + "static 70000 \"x\" 0 0 1 1\n", "line 3: control id 70000 is out"},
        {"id below -1", head + "static -2 \"x\" 0 0 1 1\n", "line 3: control id -2 is out"},
        {"huge coordinate", head + "static 1 \"x\" 99999999999999999999 0 1 1\n",
         "line 3: x 99999999999999999999 is out"},
        {"coordinate past 16 bits", head + "static 1 \"x\" 40000 0 1 1\n",
         "line 3: x 40000 is out"},
        {"negative width", head + "static 1 \"x\" 0 0 -5 1\n", "line 3: width -5 is out"},
        {"id used twice", head + "edit 4 \"\" 0 0 1 1\nedit 4 \"\" 0 0 1 1\n",
         "line 4: control id 4 used twice"},
        {"unknown flag", head + "static 1 \"x\" 0 0 1 1 bold\n", "line 3: unknown flag \"bold\""},
        {"flag for another class", head + "pushbutton 1 \"x\" 0 0 1 1 readonly\n",
         "line 3: flag \"readonly\" does not apply to pushbutton"},
        {"hidden drawn area", head + "userdrawn 1 \"\" 0 0 1 1 hidden\n",
         "line 3: flag \"hidden\" does not apply to userdrawn"},
        {"conflicting alignment", head + "static 1 \"x\" 0 0 1 1 center right\n",
         "line 3: flags \"center\" and \"right\" exclude"},
        {"title twice", "dialog X\ntitle \"a\"\ntitle \"b\"\n", "line 3: \"title\" given twice"},
        {"title unquoted", "dialog X\ntitle Error\n", "line 2: title must be a quoted"},
        {"zero size", "dialog X\nsize 0 10\n", "line 2: width 0 is out"},
        {"size missing a number", "dialog X\nsize 10\n", "line 2: expected: size WIDTH HEIGHT"},
        {"empty font name", "dialog X\nfont \"\" 8\n", "line 2: font name must be"},
        {"font too large", "dialog X\nfont \"Arial\" 400\n", "line 2: font size 400 is out"},
        {"line starts with a string", "dialog X\n\"size\" 1 1\n", "line 2: a line must start"},
        {"NUL byte", "dialog X\nsize 1 1\ntitle \"a\0b\"\n"s, "line 3: control character"},
        {"no dialog line", "size 10 10\n# end\n", "line 2: no \"dialog NAME\" line"},
        {"no size line", "dialog X\n", "line 1: no \"size WIDTH HEIGHT\" line"},
        {"empty input", "", "line 0: no \"dialog NAME\" line"},
    };
    for (const BadTemplate& c : cases) {
        DialogTemplate t;
        t.name = "untouched";
        std::string error;
        EXPECT_FALSE(parse(c.text, t, error)) << c.what;
        EXPECT_EQ(error.rfind(c.expectedStart, 0), 0u)
            << c.what << ": got \"" << error << "\", expected it to start with \""
            << c.expectedStart << "\"";
        EXPECT_EQ(t.name, "untouched") << c.what << ": the output must stay as it was";
    }
}

TEST(DialogTemplate, ClassNamesReadBack) {
    // The keyword of each class parses back to that class.
    const ControlClass classes[] = {
        ControlClass::StaticText,  ControlClass::PushButton, ControlClass::DefaultPushButton,
        ControlClass::Edit,        ControlClass::ComboBox,   ControlClass::CheckBox,
        ControlClass::RadioButton, ControlClass::UserDrawn,  ControlClass::OwnerDrawnButton};
    for (ControlClass c : classes) {
        const std::string text =
            std::string("dialog X\nsize 9 9\n") + controlClassName(c) + " 3 \"\" 0 0 1 1\n";
        DialogTemplate t;
        std::string error;
        ASSERT_TRUE(parse(text, t, error)) << error;
        ASSERT_EQ(t.controls.size(), 1u);
        EXPECT_EQ(t.controls[0].controlClass, c);
    }
}

}  // namespace
}  // namespace mirel::gui
