// Reading a plug-in's PiPL: the PIPL resource of its Windows library (or the
// ".pipl" section of its ELF library), parsed into the properties the host
// needs to decide whether and how to load it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mirel::hostkit {

struct PiplVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
};

// One 'fici' entry, for filter cases 1 to 7 in order.
struct FilterCaseInfo {
    std::int8_t inputHandling = 0;
    std::int8_t outputHandling = 0;
    std::uint8_t flags1 = 0;
    std::uint8_t flags2 = 0;
};

// The 'hstm' property: where the scripting terminology is.
struct TerminologyInfo {
    std::int32_t version = 0;
    std::uint32_t classId = 0;
    std::uint32_t eventId = 0;
    std::int16_t terminologyId = 0;
    std::string scope;
};

// What a PiPL says, with '8BIM' properties only; other vendors are skipped.
struct PiplInfo {
    std::uint32_t kind = 0;  // '8BFM' for a filter
    std::string name;
    std::string category;
    std::optional<PiplVersion> version;
    std::string entryPoint;  // '8664', the 64-bit entry point
    std::vector<int> modes;  // image mode numbers, ascending
    std::vector<std::string> enableExpressions;
    std::vector<FilterCaseInfo> filterCases;
    std::optional<TerminologyInfo> terminology;
};

// Reads the PiPL of a 64-bit plug-in library without loading it. False with a
// one-line reason when the file cannot be read, is no such library, is
// damaged, or has no PiPL.
bool readPiplResource(const std::string& path, std::vector<std::uint8_t>& bytes,
                      std::string& error);

// Parses a PiPL image in the Windows layout. Every read is checked against
// the size; false with a one-line reason when the bytes are malformed.
bool parsePipl(std::span<const std::uint8_t> bytes, PiplInfo& info, std::string& error);

// Whether the host can run this plug-in as a filter: the kind must be
// '8BFM', the interface version must be given and at most 4.0, and there
// must be a 64-bit entry point. False with the reason otherwise.
bool checkFilterPipl(const PiplInfo& info, std::string& error);

// readPiplResource, parsePipl and checkFilterPipl in one step; the error
// begins with the file's path.
bool loadFilterPipl(const std::string& path, PiplInfo& info, std::string& error);

}  // namespace mirel::hostkit
