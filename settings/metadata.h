// The metadata that JPEG images of the filter carry: the EXIF block naming the software,
// the IPTC records (source, date, caption, keywords) and the image-resource block that
// wraps them for an APP13 segment. All numbers big-endian.
// Only tests call the writers so far: they are kept for the PSD export, which will
// write its IPTC block (date and keywords) with them. The linker takes an archive
// member only into binaries that use it, so the plug-in does not carry them until then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/os.h"

namespace mirel {

// Where the filter comes from; goes into the JPEG comment and the IPTC source.
constexpr std::string_view kMakerWebAddress = "https://mirel.example/";
constexpr std::string_view kSoftwareName = "Mirel";
// The version of the plug-in and the host program (the project's version in
// CMakeLists.txt, which the configure step checks against this line).
constexpr std::string_view kSoftwareVersion = "2.0.0";
constexpr std::string_view kIptcCaption = "Made with Mirel";
constexpr std::string_view kIptcBaseKeyword = "Mirel";

constexpr std::size_t kExifBlockSize = 38;
constexpr std::size_t kMaxExtraKeywords = 19;
constexpr std::size_t kMaxKeywordLength = 49;  // a keyword must be shorter than 50

// IPTC record 2 dataset numbers.
constexpr std::uint8_t kIptcRecordVersion = 0;
constexpr std::uint8_t kIptcKeywords = 25;
constexpr std::uint8_t kIptcDateCreated = 55;
constexpr std::uint8_t kIptcSource = 115;
constexpr std::uint8_t kIptcCaptionDataset = 120;

constexpr std::uint16_t kIptcResourceId = 0x0404;

// Keywords beyond the base one, in the order added.
struct IptcKeywords {
    std::vector<std::string> words;
};

// Adds a keyword unless it is empty, 50 characters or longer, the list is full, or an
// existing keyword begins with it (ASCII letters compared without case). True when added.
bool addKeyword(IptcKeywords& keywords, std::string_view word);

// "Exif\0\0", a big-endian TIFF header and one directory entry: software = "Mirel".
std::vector<std::uint8_t> makeExifBlock();

// Record version 2, source, date created ("YYYYMMDD" of `date`), caption, the base
// keyword and the extra ones; padded with one zero byte to an even length.
std::vector<std::uint8_t> makeIptcBlock(const IptcKeywords& keywords, const os::UtcDate& date);

// "Photoshop 3.0\0", then one 8BIM resource 0x0404 with an empty name holding `iptc`.
// An odd-length IPTC block is padded so that the length field stays even.
std::vector<std::uint8_t> makeImageResourceBlock(const std::vector<std::uint8_t>& iptc);

// The IPTC datasets of record 2 found in `iptc`, in order; parsing stops at the first
// byte that does not start a dataset. For tests and readers of our own files.
struct IptcDataset {
    std::uint8_t number = 0;
    std::string data;
};
std::vector<IptcDataset> parseIptcBlock(const std::uint8_t* data, std::size_t size);

}  // namespace mirel
