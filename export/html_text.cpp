// Escaping, URL encoding and file name sanitising for the HTML gallery pages.
#include "export/html_text.h"

#include <array>
#include <cstdio>

namespace mirel::html {

namespace {

constexpr int kFirstNumericReference = 123;  // '{'
constexpr int kFirstNamedEntity = 160;       // no-break space
constexpr int kLastLatin1 = 255;
constexpr std::uint8_t kLow7Bits = 0x7F;
constexpr std::uint8_t kHighBit = 0x80;
constexpr std::uint8_t kSanitiseOffset = 32;
constexpr std::uint8_t kLow7GivingDot = 14;  // 14 + 32 is '.'
constexpr std::uint8_t kDelete = 127;
constexpr std::uint8_t kLastC1Control = 159;

// The HTML 4 names of ISO 8859-1 160..255, in code order.
constexpr std::array<std::string_view, kLastLatin1 - kFirstNamedEntity + 1> kEntityNames = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

// One character of a name: its code and the bytes it took.
struct Character {
    std::uint32_t code = 0;
    std::size_t length = 1;
};

bool isContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// The character at `at`: a well-formed UTF-8 sequence (no overlong forms, no surrogates,
// nothing beyond U+10FFFF), else the single byte taken as ISO 8859-1.
Character characterAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    Character single{lead, 1};
    std::size_t length;
    std::uint32_t code, minimum;
    if (lead < 0x80) return single;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1Fu, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0Fu, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07u, minimum = 0x10000;
    } else {
        return single;
    }
    if (at + length > text.size()) return single;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<std::uint8_t>(text[at + i]);
        if (!isContinuation(next)) return single;
        code = code << 6 | (next & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return single;
    return Character{code, length};
}

void appendNumber(std::string& out, const char* format, std::uint32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, format, static_cast<unsigned>(value));
    out += digits;
}

// The HTML 4 name of an ISO 8859-1 character 160..255, without '&' and ';'.
std::string_view latin1EntityName(int code) {
    if (code < kFirstNamedEntity || code > kLastLatin1) return {};
    return kEntityNames[static_cast<std::size_t>(code - kFirstNamedEntity)];
}

}  // namespace

std::string escapeText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const Character c = characterAt(utf8, at);
        if (c.code > kLastLatin1) {
            // No ISO 8859-1 byte holds it; a numeric reference shows it on any page.
            appendNumber(out, "&#%u;", c.code);
        } else if (c.code >= kFirstNamedEntity) {
            out += '&';
            out += latin1EntityName(static_cast<int>(c.code));
            out += ';';
        } else if (c.code >= kFirstNumericReference) {
            appendNumber(out, "&#%03u;", c.code);
        } else if (c.code == '"') {
            out += "&quot;";
        } else if (c.code == '&') {
            out += "&amp;";
        } else if (c.code == '<') {
            out += "&lt;";
        } else if (c.code == '>') {
            out += "&gt;";
        } else {
            out += static_cast<char>(c.code);
        }
        at += c.length;
    }
    return out;
}

std::string urlEncode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        const auto byte = static_cast<std::uint8_t>(ch);
        const bool keep = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                          (byte >= '0' && byte <= '9');
        if (keep)
            out += ch;
        else
            appendNumber(out, "%%%02x", byte);
    }
    return out;
}

std::uint8_t sanitiseByte(std::uint8_t byte) {
    if (byte < kSanitiseOffset) byte = ' ';
    if (byte >= kHighBit) {
        const std::uint8_t low = byte & kLow7Bits;
        byte = low == kLow7GivingDot ? '_' : static_cast<std::uint8_t>(low + kSanitiseOffset);
    }
    if (byte == '/' || byte == ':' || byte == '\\') byte = '_';
    return byte;
}

std::string sanitiseFileName(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const Character c = characterAt(utf8, at);
        if (c.code > kLastLatin1) {
            out.append(utf8.substr(at, c.length));
        } else {
            const std::uint8_t byte = sanitiseByte(static_cast<std::uint8_t>(c.code));
            out += (byte >= kDelete && byte <= kLastC1Control) ? '_' : static_cast<char>(byte);
        }
        at += c.length;
    }
    return out;
}

}  // namespace mirel::html
