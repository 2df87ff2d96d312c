// The host's PiPL reader: our own PiPL read back from the built libraries,
// the filter checks, and damaged PiPLs and ELF files refused without harm.
#include "apps/host/pipl_reader.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <elf.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resources/pipl.h"
#include "tests/support/scratch.h"

namespace {

using mirel::hostkit::PiplInfo;
using Bytes = std::vector<std::uint8_t>;

Bytes ourPipl() {
    const auto bytes = mirel::piplBytes();
    return {bytes.begin(), bytes.end()};
}

Bytes fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string writeFile(const std::string& name, const Bytes& bytes) {
    const std::string path = mirel::testing::scratchFolder() + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = std::uint8_t(value >> (8 * i));
}

// A hand-made PiPL: header and the given properties, lengths as given.
struct Property {
    const char* key;  // as written, e.g. "kind"
    Bytes data;
    std::int32_t storedLength = -1;  // -1: the data's size
    std::uint32_t vendor = mirel::pi::kPhotoshopSignature;
};

Bytes makePipl(const std::vector<Property>& properties) {
    Bytes out = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    put32(out, 6, std::uint32_t(properties.size()));
    for (const Property& p : properties) {
        const std::size_t at = out.size();
        out.resize(at + 16);
        put32(out, at, p.vendor);
        put32(out, at + 4, mirel::pi::fourCC(*reinterpret_cast<const char(*)[5]>(p.key)));
        put32(out, at + 12,
              std::uint32_t(p.storedLength >= 0 ? p.storedLength : int(p.data.size())));
        out.insert(out.end(), p.data.begin(), p.data.end());
    }
    return out;
}

bool parses(const Bytes& bytes, std::string* errorOut = nullptr) {
    PiplInfo info;
    std::string error;
    const bool ok = mirel::hostkit::parsePipl(bytes, info, error);
    if (!ok) {
        EXPECT_FALSE(error.empty());
    }
    if (errorOut) *errorOut = error;
    return ok;
}

TEST(PiplReader, ParsesOurPipl) {
    PiplInfo info;
    std::string error;
    ASSERT_TRUE(mirel::hostkit::parsePipl(ourPipl(), info, error)) << error;
    EXPECT_EQ(info.kind, mirel::pi::fourCC("8BFM"));
    EXPECT_EQ(info.name, "Mirel 2...");
    EXPECT_EQ(info.category, "Ostrand");
    ASSERT_TRUE(info.version);
    EXPECT_EQ(info.version->major, 4);
    EXPECT_EQ(info.version->minor, 0);
    EXPECT_EQ(info.entryPoint, "PluginMain");
    EXPECT_EQ(info.modes, (std::vector<int>{1, 3, 10, 11, 16, 17}));
    ASSERT_EQ(info.enableExpressions.size(), 2u);
    EXPECT_EQ(info.enableExpressions[0], info.enableExpressions[1]);
    EXPECT_EQ(info.enableExpressions[0].back(), ' ');
    ASSERT_EQ(info.filterCases.size(), 7u);
    for (const auto& entry : info.filterCases) {
        EXPECT_EQ(entry.inputHandling, 1);
        EXPECT_EQ(entry.outputHandling, 1);
        EXPECT_EQ(entry.flags1, 1);
        EXPECT_EQ(entry.flags2, 0);
    }
    ASSERT_TRUE(info.terminology);
    EXPECT_EQ(info.terminology->version, 0);
    EXPECT_EQ(info.terminology->classId, mirel::pi::fourCC("OMR2"));
    EXPECT_EQ(info.terminology->eventId, mirel::pi::fourCC("OMR2"));
    EXPECT_EQ(info.terminology->terminologyId, 16000);
    EXPECT_EQ(info.terminology->scope, "Ostrand Mirel 2");
    EXPECT_TRUE(mirel::hostkit::checkFilterPipl(info, error)) << error;
}

TEST(PiplReader, FilterCheckRefusesOtherKindsNewerVersionsAndNoEntryPoint) {
    PiplInfo good;
    std::string error;
    ASSERT_TRUE(mirel::hostkit::parsePipl(ourPipl(), good, error));

    PiplInfo info = good;
    info.kind = mirel::pi::fourCC("8BFA");  // not a filter
    EXPECT_FALSE(mirel::hostkit::checkFilterPipl(info, error));
    EXPECT_NE(error.find("'8BFA'"), std::string::npos) << error;

    info = good;
    info.version = mirel::hostkit::PiplVersion{4, 1};
    EXPECT_FALSE(mirel::hostkit::checkFilterPipl(info, error));
    EXPECT_NE(error.find("4.1"), std::string::npos) << error;
    info.version = mirel::hostkit::PiplVersion{5, 0};
    EXPECT_FALSE(mirel::hostkit::checkFilterPipl(info, error));
    info.version = mirel::hostkit::PiplVersion{3, 9};
    EXPECT_TRUE(mirel::hostkit::checkFilterPipl(info, error)) << error;
    info.version.reset();
    EXPECT_FALSE(mirel::hostkit::checkFilterPipl(info, error));

    info = good;
    info.entryPoint.clear();
    EXPECT_FALSE(mirel::hostkit::checkFilterPipl(info, error));

    EXPECT_FALSE(mirel::hostkit::checkFilterPipl(PiplInfo{}, error));
}

TEST(PiplReader, RefusesDamagedHeadersAndCounts) {
    std::string error;
    EXPECT_FALSE(parses({}, &error));
    const Bytes whole = ourPipl();
    EXPECT_FALSE(parses(Bytes(whole.begin(), whole.begin() + 9), &error));
    EXPECT_NE(error.find("header"), std::string::npos) << error;

    Bytes bytes = ourPipl();
    bytes[0] = 2;  // unknown format word
    EXPECT_FALSE(parses(bytes));

    for (std::uint32_t count : {11u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        bytes = ourPipl();
        put32(bytes, 6, count);
        EXPECT_FALSE(parses(bytes, &error)) << count;
        EXPECT_NE(error.find("propert"), std::string::npos) << error;
    }
    // No properties at all is a valid, if useless, PiPL.
    EXPECT_TRUE(parses(makePipl({})));
}

TEST(PiplReader, RefusesLengthsPastTheEnd) {
    std::string error;
    // The first property ('kind') claims more bytes than there are.
    for (std::uint32_t length : {0xFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFCu}) {
        Bytes bytes = ourPipl();
        put32(bytes, 10 + 12, length);
        EXPECT_FALSE(parses(bytes, &error)) << length;
        EXPECT_NE(error.find("'kind'"), std::string::npos) << error;
    }
    // The last property ('fici', 28 bytes) one word too long.
    Bytes bytes = ourPipl();
    put32(bytes, bytes.size() - 28 - 4, 32);
    EXPECT_FALSE(parses(bytes, &error));
    EXPECT_NE(error.find("'fici'"), std::string::npos) << error;
}

TEST(PiplReader, EveryShorterPrefixIsRefused) {
    const Bytes whole = ourPipl();
    for (std::size_t size = 0; size < whole.size(); ++size)
        EXPECT_FALSE(parses(Bytes(whole.begin(), whole.begin() + size))) << size;
}

TEST(PiplReader, PropertiesTooShortForTheirValues) {
    std::string error;
    EXPECT_FALSE(parses(makePipl({{"kind", {'M', 'F'}}}), &error));
    EXPECT_FALSE(parses(makePipl({{"vers", {0, 0}}})));
    EXPECT_FALSE(parses(makePipl({{"hstm", Bytes(14, 0)}}), &error));
    EXPECT_NE(error.find("'hstm'"), std::string::npos) << error;
    // A Pascal string whose length byte runs past its property.
    EXPECT_FALSE(parses(makePipl({{"name", {9, 'a', 'b', 'c'}}})));
    EXPECT_FALSE(parses(makePipl({{"catg", {}}})));
    // A C string without its NUL ends with the property.
    PiplInfo info;
    ASSERT_TRUE(mirel::hostkit::parsePipl(makePipl({{"8664", {'a', 'b', 'c', 'd'}}}), info, error));
    EXPECT_EQ(info.entryPoint, "abcd");
}

TEST(PiplReader, ReadsUnpaddedLengthsAndSkipsOtherVendors) {
    // An older writer stored the unpadded length of "Main\0" (5) and padded
    // the data; the next property must still be found.
    Property entry{"8664", {'M', 'a', 'i', 'n', 0, 0, 0, 0}, 5};
    Property foreign{"kind", {'X', 'X', 'X', 'X'}, -1, mirel::pi::fourCC("ACME")};
    Property kind{"kind", {'M', 'F', 'B', '8'}};
    PiplInfo info;
    std::string error;
    ASSERT_TRUE(mirel::hostkit::parsePipl(makePipl({entry, foreign, kind}), info, error)) << error;
    EXPECT_EQ(info.entryPoint, "Main");
    EXPECT_EQ(info.kind, mirel::pi::fourCC("8BFM"));
}

TEST(PiplReader, SurvivesRandomDamage) {
    // Sanitizer builds turn any out-of-bounds read here into a failure.
    const Bytes whole = ourPipl();
    std::uint32_t state = 12345;
    auto next = [&state] { return state = state * 1664525u + 1013904223u; };
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = whole;
        const int flips = 1 + int(next() % 4);
        for (int i = 0; i < flips; ++i) bytes[next() % bytes.size()] = std::uint8_t(next() >> 24);
        bytes.resize(bytes.size() - next() % 8);
        PiplInfo info;
        std::string error;
        if (!mirel::hostkit::parsePipl(bytes, info, error)) {
            EXPECT_FALSE(error.empty());
        }
    }
}

bool readsPipl(const std::string& path, std::string* errorOut = nullptr) {
    Bytes bytes;
    std::string error;
    const bool ok = mirel::hostkit::readPiplResource(path, bytes, error);
    if (ok) {
        EXPECT_EQ(bytes, ourPipl()) << path;
    } else {
        EXPECT_FALSE(error.empty());
    }
    if (errorOut) *errorOut = error;
    return ok;
}

#if defined(_WIN32)
TEST(PiplSection, LinkedLibraryCarriesThePiplWithoutUsingIt) {
    std::string error;
    EXPECT_TRUE(readsPipl(MIREL_PIPL_PROBE, &error)) << error;

    // The same bytes through the system's resource calls, as hosts find them.
    HMODULE library = ::LoadLibraryExW(std::filesystem::path(MIREL_PIPL_PROBE).wstring().c_str(),
                                       nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(library) << ::GetLastError();
    HRSRC found = ::FindResourceW(library, MAKEINTRESOURCEW(16000), L"PiPL");
    ASSERT_TRUE(found);
    const auto* bytes =
        static_cast<const std::uint8_t*>(::LockResource(::LoadResource(library, found)));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(Bytes(bytes, bytes + ::SizeofResource(library, found)), ourPipl());
    ::FreeLibrary(library);
}
#else
TEST(PiplSection, LinkedLibraryCarriesThePiplWithoutUsingIt) {
    std::string error;
    EXPECT_TRUE(readsPipl(MIREL_PIPL_PROBE, &error)) << error;

    // The same bytes under the exported C names.
    void* library = dlopen(MIREL_PIPL_PROBE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(library) << dlerror();
    const auto* bytes = static_cast<const std::uint8_t*>(dlsym(library, "MirelPiPL"));
    const auto* size = static_cast<const std::size_t*>(dlsym(library, "MirelPiPLSize"));
    ASSERT_TRUE(bytes && size);
    EXPECT_EQ(Bytes(bytes, bytes + *size), ourPipl());
    dlclose(library);
}

#endif

TEST(PiplSection, BuiltPluginPassesTheHostsChecks) {
    const std::string plugin = mirel::testing::pluginPath();
    ASSERT_TRUE(std::filesystem::exists(plugin)) << plugin;
    PiplInfo info;
    std::string error;
    EXPECT_TRUE(mirel::hostkit::loadFilterPipl(plugin, info, error)) << error;
    EXPECT_TRUE(readsPipl(plugin));
}

TEST(PiplSection, RefusesFilesThatAreNotPlugins) {
    std::string error;
    EXPECT_FALSE(readsPipl(mirel::testing::scratchFolder() + "missing.8bf", &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    EXPECT_FALSE(readsPipl(writeFile("empty.8bf", {}), &error));
    const std::string text = "MZ this is not a library\n";
    EXPECT_FALSE(readsPipl(writeFile("text.8bf", Bytes(text.begin(), text.end())), &error));
    EXPECT_NE(error.find("not a plug-in library"), std::string::npos) << error;
    const std::string words = "this is no library at all\n";
    EXPECT_FALSE(readsPipl(writeFile("words.8bf", Bytes(words.begin(), words.end())), &error));
    EXPECT_NE(error.find("not a plug-in library"), std::string::npos) << error;

#if !defined(_WIN32)
    Bytes elf32 = fileBytes(MIREL_PIPL_PROBE);
    elf32[EI_CLASS] = ELFCLASS32;
    EXPECT_FALSE(readsPipl(writeFile("elf32.8bf", elf32), &error));
    EXPECT_NE(error.find("64-bit"), std::string::npos) << error;
#endif

    PiplInfo info;
    EXPECT_FALSE(mirel::hostkit::loadFilterPipl(writeFile("x.8bf", {1, 2, 3}), info, error));
    EXPECT_NE(error.find("x.8bf: "), std::string::npos) << error;
}

#if !defined(_WIN32)
// ---- ELF files ---------------------------------------------------------------

struct ElfLayout {
    Elf64_Ehdr header;
    std::size_t piplHeaderAt = 0;  // file offset of the .pipl section header
    std::size_t piplNameAt = 0;    // file offset of the name ".pipl"
};

ElfLayout layoutOf(const Bytes& file) {
    ElfLayout layout{};
    std::memcpy(&layout.header, file.data(), sizeof layout.header);
    const auto section = [&](std::size_t i) {
        Elf64_Shdr s;
        std::memcpy(&s, file.data() + layout.header.e_shoff + i * sizeof s, sizeof s);
        return s;
    };
    const Elf64_Shdr names = section(layout.header.e_shstrndx);
    for (std::size_t i = 0; i < layout.header.e_shnum; ++i) {
        const Elf64_Shdr s = section(i);
        if (std::strcmp(reinterpret_cast<const char*>(file.data() + names.sh_offset + s.sh_name),
                        ".pipl") == 0) {
            layout.piplHeaderAt = layout.header.e_shoff + i * sizeof s;
            layout.piplNameAt = names.sh_offset + s.sh_name;
        }
    }
    return layout;
}

TEST(PiplSection, RefusesDamagedSectionTables) {
    const Bytes original = fileBytes(MIREL_PIPL_PROBE);
    const ElfLayout layout = layoutOf(original);
    ASSERT_NE(layout.piplHeaderAt, 0u);
    std::string error;

    Bytes bytes = original;  // no section named ".pipl"
    bytes[layout.piplNameAt + 4] = 'x';
    EXPECT_FALSE(readsPipl(writeFile("renamed.8bf", bytes), &error));
    EXPECT_NE(error.find("no PiPL"), std::string::npos) << error;

    bytes = original;  // section table past the end of the file
    std::uint64_t offset = original.size() - 10;
    std::memcpy(bytes.data() + offsetof(Elf64_Ehdr, e_shoff), &offset, 8);
    EXPECT_FALSE(readsPipl(writeFile("shoff.8bf", bytes)));
    offset = ~std::uint64_t(0) - 8;
    std::memcpy(bytes.data() + offsetof(Elf64_Ehdr, e_shoff), &offset, 8);
    EXPECT_FALSE(readsPipl(writeFile("shoff_wrap.8bf", bytes)));

    bytes = original;  // more sections than the file holds
    const std::uint16_t many = 0xFF00;
    std::memcpy(bytes.data() + offsetof(Elf64_Ehdr, e_shnum), &many, 2);
    EXPECT_FALSE(readsPipl(writeFile("shnum.8bf", bytes)));

    bytes = original;  // name table index out of range
    std::memcpy(bytes.data() + offsetof(Elf64_Ehdr, e_shstrndx), &many, 2);
    EXPECT_FALSE(readsPipl(writeFile("shstrndx.8bf", bytes)));

    for (std::uint64_t bad : {std::uint64_t(original.size()), ~std::uint64_t(0) - 4}) {
        bytes = original;  // the section's bytes past the end, or wrapping around
        std::memcpy(bytes.data() + layout.piplHeaderAt + offsetof(Elf64_Shdr, sh_offset), &bad, 8);
        EXPECT_FALSE(readsPipl(writeFile("pipl_offset.8bf", bytes), &error));
        EXPECT_NE(error.find(".pipl"), std::string::npos) << error;
        bytes = original;
        std::memcpy(bytes.data() + layout.piplHeaderAt + offsetof(Elf64_Shdr, sh_size), &bad, 8);
        EXPECT_FALSE(readsPipl(writeFile("pipl_size.8bf", bytes)));
    }

    // Cut short anywhere, the file is refused or still read correctly.
    for (std::size_t size = 0; size < original.size(); size += 1 + size / 7)
        readsPipl(writeFile("cut.8bf", Bytes(original.begin(), original.begin() + size)));
}

#endif

}  // namespace
