// libFuzzer target for the HTML gallery's handling of names: escaping for the page, URL
// encoding of image references and the sanitising of image file names, on any bytes (a
// name is UTF-8 where it is well formed and ISO 8859-1 where it is not). Checks what a
// page and a file system rely on: escaped text holds no markup and only whole entities,
// an URL holds only letters, digits and %xx and decodes back to the bytes, and a file
// name is valid UTF-8 without separators or control codes and is its own sanitised form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "export/html_text.h"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isAlnum(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Each '&' starts an entity: a name of letters and digits, or '#' and digits, then ';'.
void checkEscaped(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '<' || c == '>' || c == '"') std::abort();
        if (c != '&') continue;
        std::size_t j = i + 1;
        if (j < text.size() && text[j] == '#') {
            ++j;
            while (j < text.size() && isDigit(text[j])) ++j;
        } else {
            while (j < text.size() && isAlnum(text[j])) ++j;
        }
        if (j == i + 1 || j >= text.size() || text[j] != ';') std::abort();
        i = j;
    }
}

void checkUrl(std::string_view url, std::string_view original) {
    std::string decoded;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (isAlnum(url[i])) {
            decoded += url[i];
            continue;
        }
        if (url[i] != '%' || i + 2 >= url.size() || hexValue(url[i + 1]) < 0 ||
            hexValue(url[i + 2]) < 0)
            std::abort();
        decoded += static_cast<char>(hexValue(url[i + 1]) * 16 + hexValue(url[i + 2]));
        i += 2;
    }
    if (decoded != original) std::abort();
}

// Well-formed UTF-8 with no control codes (C0, delete, C1) and no path separators.
void checkFileName(std::string_view name) {
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<std::uint8_t>(name[i]);
        std::size_t length = 1;
        std::uint32_t code = lead;
        if (lead >= 0x80) {
            if (lead >= 0xC2 && lead <= 0xDF) {
                length = 2, code = lead & 0x1Fu;
            } else if (lead >= 0xE0 && lead <= 0xEF) {
                length = 3, code = lead & 0x0Fu;
            } else if (lead >= 0xF0 && lead <= 0xF4) {
                length = 4, code = lead & 0x07u;
            } else {
                std::abort();
            }
            if (i + length > name.size()) std::abort();
            for (std::size_t k = 1; k < length; ++k) {
                const auto next = static_cast<std::uint8_t>(name[i + k]);
                if ((next & 0xC0) != 0x80) std::abort();
                code = code << 6 | (next & 0x3Fu);
            }
            if (code <= 0xFF || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                std::abort();  // Latin-1 characters become ASCII; the rest are well formed
        }
        if (code < 0x20 || code == 0x7F || code == '/' || code == '\\' || code == ':') std::abort();
        i += length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    checkEscaped(mirel::html::escapeText(name));
    checkUrl(mirel::html::urlEncode(name), name);
    const std::string sanitised = mirel::html::sanitiseFileName(name);
    checkFileName(sanitised);
    if (mirel::html::sanitiseFileName(sanitised) != sanitised) std::abort();
    if (sanitised.size() > size) std::abort();
    return 0;
}
