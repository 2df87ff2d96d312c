// Four-character codes as text: one printer for messages, listings and action
// files, and its inverse for codes a user types.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mirel::pi {

enum class FourCCStyle {
    Quoted,  // "'8BFM'"
    Bare,    // "8BFM"
};

// A code of four printable ASCII characters as those characters; any other
// code as "0x" and eight hex digits (never quoted), so that every code reads
// back as itself and no two codes print alike.
std::string fourCCText(std::uint32_t code, FourCCStyle style = FourCCStyle::Quoted);

// The code of a text of exactly four characters; nullopt otherwise.
std::optional<std::uint32_t> fourCCFromText(std::string_view text);

}  // namespace mirel::pi
