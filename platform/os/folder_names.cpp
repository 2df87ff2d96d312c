// Matching and ordering folder entries by name (see folder_names.h).
#include "platform/os/folder_names.h"

#include <algorithm>

namespace mirel::os::detail {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Length of the UTF-8 sequence that starts at `text[at]`, so that '?' takes
// one character of a name and never half of one. Malformed bytes count as one.
std::size_t characterLength(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xF0 && lead < 0xF8)
        length = 4;
    else if (lead >= 0xE0)
        length = lead < 0xF0 ? 3 : 1;
    else if (lead >= 0xC0)
        length = 2;
    if (at + length > text.size()) return 1;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
    return length;
}

// Iterative wildcard match with one backtrack point: linear in practice and
// never exponential, however many '*' a pattern holds. Letters compare without
// case (ASCII; other characters must be equal byte for byte).
bool wildcardMatch(const std::string& pattern, const std::string& name) {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += characterLength(name, n);
        } else if (p < pattern.size() && lowerAscii(pattern[p]) == lowerAscii(name[n])) {
            ++p;
            ++n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            starN += characterLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

// As on the home system, a pattern ending in ".*" also takes names with no
// extension at all, so "*.*" lists everything and "notes.*" finds "notes".
bool nameMatches(const std::string& pattern, const std::string& name) {
    if (wildcardMatch(pattern, name)) return true;
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
        return wildcardMatch(pattern.substr(0, pattern.size() - 2), name);
    return false;
}

// Case-insensitive order, ties broken by bytes, so that the order does not
// depend on the file system and names differing only in case stay stable.
bool nameLess(const std::string& a, const std::string& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const char ca = lowerAscii(a[i]), cb = lowerAscii(b[i]);
        if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace mirel::os::detail
