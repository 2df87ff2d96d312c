// EXIF, IPTC and image-resource blocks for the JPEG segments the filter adds.
#include "settings/metadata.h"

#include <cstdio>

namespace mirel {

namespace {

constexpr std::uint8_t kIptcTag = 0x1C;
constexpr std::uint8_t kIptcApplicationRecord = 2;
constexpr std::uint16_t kIptcRecordVersionValue = 2;

constexpr std::uint16_t kTiffMagic = 0x002A;
constexpr std::uint32_t kFirstDirectoryOffset = 8;
constexpr std::uint16_t kTagSoftware = 0x0131;
constexpr std::uint16_t kTypeAscii = 2;
// The software text sits after the header (8), the entry count (2), one entry (12) and
// the next-directory offset (4), counted from the TIFF header.
constexpr std::uint32_t kSoftwareValueOffset = 8 + 2 + 12 + 4;

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value >> 16);
    put16(out, value & 0xFFFFu);
}

void putText(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

// One dataset: the tag, record 2, its number, a two-byte length and the data. Datasets
// longer than the two-byte length allows are cut; ours are all short.
void putDataset(std::vector<std::uint8_t>& out, std::uint8_t number, std::string_view data) {
    const std::size_t length = data.size() < 0x7FFF ? data.size() : 0x7FFF;
    out.push_back(kIptcTag);
    out.push_back(kIptcApplicationRecord);
    out.push_back(number);
    put16(out, static_cast<std::uint32_t>(length));
    putText(out, data.substr(0, length));
}

int clampInt(int value, int low, int high) {
    return value < low ? low : (value > high ? high : value);
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool beginsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(text[i]) != lowerAscii(prefix[i])) return false;
    return true;
}

}  // namespace

bool addKeyword(IptcKeywords& keywords, std::string_view word) {
    if (word.empty() || word.size() > kMaxKeywordLength) return false;
    if (keywords.words.size() >= kMaxExtraKeywords) return false;
    // A keyword that only repeats the start of one already there adds nothing a search
    // would not find anyway.
    for (const std::string& existing : keywords.words)
        if (beginsWithIgnoringCase(existing, word)) return false;
    keywords.words.emplace_back(word);
    return true;
}

std::vector<std::uint8_t> makeExifBlock() {
    std::vector<std::uint8_t> out;
    out.reserve(kExifBlockSize);
    putText(out, std::string_view("Exif\0\0", 6));
    putText(out, "MM");
    put16(out, kTiffMagic);
    put32(out, kFirstDirectoryOffset);
    put16(out, 1);  // one directory entry
    put16(out, kTagSoftware);
    put16(out, kTypeAscii);
    put32(out, static_cast<std::uint32_t>(kSoftwareName.size() + 1));
    put32(out, kSoftwareValueOffset);
    put32(out, 0);  // no next directory
    putText(out, kSoftwareName);
    out.push_back(0);
    return out;
}

std::vector<std::uint8_t> makeIptcBlock(const IptcKeywords& keywords, const os::UtcDate& date) {
    std::vector<std::uint8_t> out;
    out.push_back(kIptcTag);
    out.push_back(kIptcApplicationRecord);
    out.push_back(kIptcRecordVersion);
    put16(out, 2);
    put16(out, kIptcRecordVersionValue);

    putDataset(out, kIptcSource, kMakerWebAddress);

    // Out-of-range parts still give eight characters: the field is fixed-width.
    char created[32];
    std::snprintf(created, sizeof created, "%04d%02d%02d", clampInt(date.year, 0, 9999),
                  clampInt(date.month, 0, 99), clampInt(date.day, 0, 99));
    putDataset(out, kIptcDateCreated, created);

    putDataset(out, kIptcCaptionDataset, kIptcCaption);
    putDataset(out, kIptcKeywords, kIptcBaseKeyword);
    std::size_t extra = 0;
    for (const std::string& word : keywords.words) {
        if (extra++ >= kMaxExtraKeywords) break;
        putDataset(out, kIptcKeywords, word);
    }
    if (out.size() % 2 != 0) out.push_back(0);
    return out;
}

std::vector<std::uint8_t> makeImageResourceBlock(const std::vector<std::uint8_t>& iptc) {
    std::vector<std::uint8_t> out;
    putText(out, std::string_view("Photoshop 3.0\0", 14));
    putText(out, "8BIM");
    put16(out, kIptcResourceId);
    put16(out, 0);  // empty name, padded to an even size
    const std::size_t length = iptc.size() + iptc.size() % 2;
    put32(out, static_cast<std::uint32_t>(length));
    out.insert(out.end(), iptc.begin(), iptc.end());
    if (iptc.size() % 2 != 0) out.push_back(0);
    return out;
}

std::vector<IptcDataset> parseIptcBlock(const std::uint8_t* data, std::size_t size) {
    std::vector<IptcDataset> datasets;
    std::size_t at = 0;
    while (data != nullptr && at + 5 <= size && data[at] == kIptcTag &&
           data[at + 1] == kIptcApplicationRecord) {
        const std::size_t length = std::size_t(data[at + 3]) << 8 | data[at + 4];
        if (at + 5 + length > size) break;
        IptcDataset dataset;
        dataset.number = data[at + 2];
        dataset.data.assign(reinterpret_cast<const char*>(data + at + 5), length);
        datasets.push_back(std::move(dataset));
        at += 5 + length;
    }
    return datasets;
}

}  // namespace mirel
