// Four-character codes as text and back.
#include "platform/pi/four_cc.h"

#include <cstdio>

namespace mirel::pi {

std::string fourCCText(std::uint32_t code, FourCCStyle style) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned c = (code >> shift) & 0xFF;
        if (c < 0x20 || c > 0x7E) {
            char hex[11];
            std::snprintf(hex, sizeof hex, "0x%08X", unsigned(code));
            return hex;
        }
        text += char(c);
    }
    return style == FourCCStyle::Quoted ? "'" + text + "'" : text;
}

std::optional<std::uint32_t> fourCCFromText(std::string_view text) {
    if (text.size() != 4) return std::nullopt;
    std::uint32_t code = 0;
    for (char c : text) code = (code << 8) | std::uint8_t(c);
    return code;
}

}  // namespace mirel::pi
