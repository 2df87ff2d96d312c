// Dialog templates: the layout of a modal dialog (title, size and font, and
// its controls placed in dialog units), read from a small text format.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mirel::gui {

struct Point {
    int x = 0;
    int y = 0;
};

// A rectangle by its top-left corner and size; in dialog units in a
// template, in pixels of the dialog's client area everywhere else.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool contains(Point p) const {
        return p.x >= x && p.y >= y && p.x < x + width && p.y < y + height;
    }
};

enum class ControlClass {
    StaticText,         // "static": a label; wraps words; the dialog gets the mouse over it
    PushButton,         // "pushbutton"
    DefaultPushButton,  // "defpushbutton": pressed by Enter
    Edit,               // "edit": a single-line edit field
    ComboBox,           // "combobox": a drop-down list without an edit part
    CheckBox,           // "checkbox": toggles itself when clicked
    RadioButton,        // "radiobutton": exclusive among the radio buttons of its dialog
    UserDrawn,          // "userdrawn": an area the dialog procedure paints itself
    OwnerDrawnButton,   // "ownerbutton": a push button the dialog procedure paints (onDrawItem)
};

// Style flags of a control; which ones a class accepts is checked by the parser.
enum ControlStyle : std::uint32_t {
    kStyleDisabled = 1u << 0,     // "disabled": starts disabled (every class)
    kStyleHidden = 1u << 1,       // "hidden": starts hidden (every class but userdrawn)
    kStyleAlignCenter = 1u << 2,  // "center": centred text (static)
    kStyleAlignRight = 1u << 3,   // "right": right-aligned text (static, edit)
    kStyleBorder = 1u << 4,       // "border": a thin frame (static)
    kStyleReadOnly = 1u << 5,     // "readonly": text cannot be typed (edit)
    kStyleNumber = 1u << 6,       // "number": only digits can be typed (edit)
};

// The id shared by controls that are never addressed (labels, frames).
constexpr int kUnaddressedId = -1;
// Control ids are 16-bit as in the system's templates.
constexpr int kMaxControlId = 65535;

struct ControlTemplate {
    int id = kUnaddressedId;
    ControlClass controlClass = ControlClass::StaticText;
    std::string text;  // UTF-8; '&' marks a button's access key
    Rect rect;         // dialog units; for a combo box the height includes the open list
    std::uint32_t style = 0;
};

struct DialogTemplate {
    std::string name;
    std::string title;
    int width = 0;  // client area, dialog units
    int height = 0;
    std::string fontName = "MS Sans Serif";
    int fontPoints = 8;
    std::vector<ControlTemplate> controls;

    // The first control with this id, or null.
    const ControlTemplate* findControl(int id) const;
};

// Reads a template in this line-based text form (UTF-8, '#' starts a comment
// line, strings in double quotes with \" \\ and \n escapes):
//
//   dialog REFUSAL2
//   title "Plug-in error"
//   size 230 70
//   font "MS Sans Serif" 8
//   static        -1 "The filter cannot run ..." 10 10 210 30
//   defpushbutton  2 "Cancel" 90 48 50 14 [flags...]
//
// Control lines give class, id, text, x, y, width, height and then any style
// flags by name. `dialog` and `size` are required; the font defaults to
// MS Sans Serif 8. On failure returns false, leaves `out` untouched and sets
// `error` to a message that starts with "line N: ".
bool parseDialogTemplate(std::span<const std::uint8_t> bytes, DialogTemplate& out,
                         std::string& error);

// The keyword of a class in the text form ("static", "pushbutton", ...).
const char* controlClassName(ControlClass controlClass);

}  // namespace mirel::gui
