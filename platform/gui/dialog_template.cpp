// Parser of the dialog template text form (see dialog_template.h).
#include "platform/gui/dialog_template.h"

#include <charconv>
#include <string_view>
#include <utility>

namespace mirel::gui {

namespace {

// Coordinates and sizes are 16-bit in the system's templates; anything
// larger is a typing error, not a dialog.
constexpr int kMaxCoordinate = 32767;
constexpr int kMinCoordinate = -32768;
constexpr int kMaxFontPoints = 72;

struct ClassEntry {
    const char* keyword;
    ControlClass controlClass;
    std::uint32_t allowedStyles;
};

constexpr std::uint32_t kCommonStyles = kStyleDisabled | kStyleHidden;

constexpr ClassEntry kClasses[] = {
    {"static", ControlClass::StaticText,
     kCommonStyles | kStyleAlignCenter | kStyleAlignRight | kStyleBorder},
    {"pushbutton", ControlClass::PushButton, kCommonStyles},
    {"defpushbutton", ControlClass::DefaultPushButton, kCommonStyles},
    {"edit", ControlClass::Edit, kCommonStyles | kStyleAlignRight | kStyleReadOnly | kStyleNumber},
    {"combobox", ControlClass::ComboBox, kCommonStyles},
    {"checkbox", ControlClass::CheckBox, kCommonStyles},
    {"radiobutton", ControlClass::RadioButton, kCommonStyles},
    // Nothing is drawn for it but what the procedure paints, so it has no
    // window of its own to hide.
    {"userdrawn", ControlClass::UserDrawn, kStyleDisabled},
    {"ownerbutton", ControlClass::OwnerDrawnButton, kCommonStyles},
};

struct StyleEntry {
    const char* keyword;
    std::uint32_t flag;
};

constexpr StyleEntry kStyles[] = {
    {"disabled", kStyleDisabled}, {"hidden", kStyleHidden}, {"center", kStyleAlignCenter},
    {"right", kStyleAlignRight},  {"border", kStyleBorder}, {"readonly", kStyleReadOnly},
    {"number", kStyleNumber},
};

enum class TokenKind { Word, String };

struct Token {
    TokenKind kind;
    std::string text;
};

// Splits one line into words and quoted strings. False with `error` set on a
// string that is not closed or an unknown escape.
bool tokenize(std::string_view line, std::vector<Token>& tokens, std::string& error) {
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        if (c == '"') {
            std::string text;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    text += d;
                    continue;
                }
                if (i >= line.size()) break;
                const char e = line[i++];
                if (e == '"' || e == '\\') {
                    text += e;
                } else if (e == 'n') {
                    text += '\n';
                } else {
                    error = std::string("unknown escape \\") + e;
                    return false;
                }
            }
            if (!closed) {
                error = "string not closed";
                return false;
            }
            tokens.push_back({TokenKind::String, std::move(text)});
            continue;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '"') ++i;
        tokens.push_back({TokenKind::Word, std::string(line.substr(start, i - start))});
    }
    return true;
}

bool parseInt(const Token& token, int minimum, int maximum, const char* what, int& value,
              std::string& error) {
    if (token.kind != TokenKind::Word) {
        error = std::string(what) + " must be a number";
        return false;
    }
    const char* first = token.text.data();
    const char* last = first + token.text.size();
    long long parsed = 0;
    const auto [end, ec] = std::from_chars(first, last, parsed);
    if (ec == std::errc::result_out_of_range ||
        (ec == std::errc() && end == last && (parsed < minimum || parsed > maximum))) {
        error = std::string(what) + " " + token.text + " is out of range " +
                std::to_string(minimum) + ".." + std::to_string(maximum);
        return false;
    }
    if (ec != std::errc() || end != last) {
        error = std::string(what) + " must be a number, not \"" + token.text + "\"";
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

const ClassEntry* findClass(std::string_view keyword) {
    for (const ClassEntry& entry : kClasses)
        if (keyword == entry.keyword) return &entry;
    return nullptr;
}

bool expectCount(const std::vector<Token>& tokens, std::size_t count, const char* form,
                 std::string& error) {
    if (tokens.size() == count) return true;
    error = std::string("expected: ") + form;
    return false;
}

bool parseControl(const std::vector<Token>& tokens, const ClassEntry& entry,
                  ControlTemplate& control, std::string& error) {
    if (tokens.size() < 7) {
        error = std::string("expected: ") + entry.keyword + " ID \"TEXT\" X Y WIDTH HEIGHT [FLAGS]";
        return false;
    }
    control.controlClass = entry.controlClass;
    if (!parseInt(tokens[1], kUnaddressedId, kMaxControlId, "control id", control.id, error))
        return false;
    if (tokens[2].kind != TokenKind::String) {
        error = "control text must be a quoted string";
        return false;
    }
    control.text = tokens[2].text;
    Rect& r = control.rect;
    if (!parseInt(tokens[3], kMinCoordinate, kMaxCoordinate, "x", r.x, error) ||
        !parseInt(tokens[4], kMinCoordinate, kMaxCoordinate, "y", r.y, error) ||
        !parseInt(tokens[5], 0, kMaxCoordinate, "width", r.width, error) ||
        !parseInt(tokens[6], 0, kMaxCoordinate, "height", r.height, error))
        return false;
    for (std::size_t i = 7; i < tokens.size(); ++i) {
        const StyleEntry* style = nullptr;
        for (const StyleEntry& s : kStyles)
            if (tokens[i].kind == TokenKind::Word && tokens[i].text == s.keyword) style = &s;
        if (!style) {
            error = "unknown flag \"" + tokens[i].text + "\"";
            return false;
        }
        if (!(entry.allowedStyles & style->flag)) {
            error =
                std::string("flag \"") + style->keyword + "\" does not apply to " + entry.keyword;
            return false;
        }
        control.style |= style->flag;
    }
    if ((control.style & kStyleAlignCenter) && (control.style & kStyleAlignRight)) {
        error = "flags \"center\" and \"right\" exclude each other";
        return false;
    }
    return true;
}

}  // namespace

const ControlTemplate* DialogTemplate::findControl(int id) const {
    for (const ControlTemplate& control : controls)
        if (control.id == id) return &control;
    return nullptr;
}

const char* controlClassName(ControlClass controlClass) {
    for (const ClassEntry& entry : kClasses)
        if (entry.controlClass == controlClass) return entry.keyword;
    return "?";
}

bool parseDialogTemplate(std::span<const std::uint8_t> bytes, DialogTemplate& out,
                         std::string& error) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    DialogTemplate result;
    bool haveName = false, haveTitle = false, haveSize = false, haveFont = false;
    int lineNumber = 0;
    std::string message;
    const auto fail = [&](int line) {
        error = "line " + std::to_string(line) + ": " + message;
        return false;
    };

    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t end = text.find('\n', position);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(position, end - position);
        position = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        for (char c : line) {
            // Tabs separate like spaces; any other control byte (a NUL from a
            // damaged resource, say) is refused rather than carried into a title.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
                message = "control character in line";
                return fail(lineNumber);
            }
        }
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;

        std::vector<Token> tokens;
        if (!tokenize(line, tokens, message)) return fail(lineNumber);
        if (tokens[0].kind != TokenKind::Word) {
            message = "a line must start with a keyword";
            return fail(lineNumber);
        }
        const std::string& keyword = tokens[0].text;
        const auto once = [&](bool& seen) {
            if (seen) message = "\"" + keyword + "\" given twice";
            return !std::exchange(seen, true);
        };

        if (keyword == "dialog") {
            if (!once(haveName) || !expectCount(tokens, 2, "dialog NAME", message))
                return fail(lineNumber);
            result.name = tokens[1].text;
        } else if (keyword == "title") {
            if (!once(haveTitle) || !expectCount(tokens, 2, "title \"TEXT\"", message))
                return fail(lineNumber);
            if (tokens[1].kind != TokenKind::String) {
                message = "title must be a quoted string";
                return fail(lineNumber);
            }
            result.title = tokens[1].text;
        } else if (keyword == "size") {
            if (!once(haveSize) || !expectCount(tokens, 3, "size WIDTH HEIGHT", message) ||
                !parseInt(tokens[1], 1, kMaxCoordinate, "width", result.width, message) ||
                !parseInt(tokens[2], 1, kMaxCoordinate, "height", result.height, message))
                return fail(lineNumber);
        } else if (keyword == "font") {
            if (!once(haveFont) || !expectCount(tokens, 3, "font \"NAME\" POINTS", message))
                return fail(lineNumber);
            if (tokens[1].kind != TokenKind::String || tokens[1].text.empty()) {
                message = "font name must be a quoted, non-empty string";
                return fail(lineNumber);
            }
            result.fontName = tokens[1].text;
            if (!parseInt(tokens[2], 1, kMaxFontPoints, "font size", result.fontPoints, message))
                return fail(lineNumber);
        } else if (const ClassEntry* entry = findClass(keyword)) {
            ControlTemplate control;
            if (!parseControl(tokens, *entry, control, message)) return fail(lineNumber);
            if (control.id != kUnaddressedId && result.findControl(control.id)) {
                message = "control id " + std::to_string(control.id) + " used twice";
                return fail(lineNumber);
            }
            result.controls.push_back(std::move(control));
        } else {
            message = "unknown keyword \"" + keyword + "\"";
            return fail(lineNumber);
        }
    }

    message.clear();
    if (!haveName)
        message = "no \"dialog NAME\" line";
    else if (!haveSize)
        message = "no \"size WIDTH HEIGHT\" line";
    if (!message.empty()) return fail(lineNumber);
    out = std::move(result);
    error.clear();
    return true;
}

}  // namespace mirel::gui
