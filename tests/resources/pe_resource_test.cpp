// The host's reader of Windows libraries: a PiPL found among the resources of a
// PE32+ file made here byte by byte (on every system), the kinds of file it
// refuses, and damaged directories refused without harm.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "apps/host/pipl_reader.h"
#include "apps/host/plugin_resources.h"
#include "resources/pipl.h"
#include "tests/support/scratch.h"

namespace mirel::hostkit {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPeAt = 0x40;
constexpr std::size_t kOptionalAt = kPeAt + 4 + 20;
constexpr std::size_t kOptionalSize = 240;  // PE32+ with 16 data directories
constexpr std::size_t kSectionAt = kOptionalAt + kOptionalSize;
constexpr std::size_t kRawAt = 0x200;
constexpr std::uint32_t kSectionAddress = 0x1000;

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, std::uint16_t(v));
    put16(b, at + 2, std::uint16_t(v >> 16));
}

// Offsets (from the start of the resource section) of the parts a test damages.
struct Layout {
    std::size_t typeEntry = 0;  // the root's one entry
    std::size_t typeDirectory = 0;
    std::size_t dataEntry = 0;
};

// A library whose only resource is `data` as type `type` and id `id` (language
// US English), in one section named .rsrc. `magic` 0x20B is PE32+.
Bytes libraryWith(const Bytes& data, const std::string& type = "PIPL", std::uint16_t id = 16000,
                  std::uint16_t magic = 0x20B, Layout* layout = nullptr) {
    Bytes r;  // the resource section
    const auto directory = [&](std::size_t at, std::uint16_t named, std::uint16_t numbered) {
        put32(r, at, 0);
        put32(r, at + 4, 0);
        put16(r, at + 8, 0);
        put16(r, at + 10, 0);
        put16(r, at + 12, named);
        put16(r, at + 14, numbered);
    };
    directory(0x00, 1, 0);  // types: one named
    directory(0x18, 0, 1);  // names of that type: one numbered
    directory(0x30, 0, 1);  // languages: one
    const std::size_t nameAt = 0x58, dataEntryAt = 0x48;
    put32(r, 0x10, 0x80000000u | std::uint32_t(nameAt));
    put32(r, 0x14, 0x80000000u | 0x18u);
    put32(r, 0x28, id);
    put32(r, 0x2C, 0x80000000u | 0x30u);
    put32(r, 0x40, 0x409);
    put32(r, 0x44, std::uint32_t(dataEntryAt));
    put16(r, nameAt, std::uint16_t(type.size()));
    for (std::size_t i = 0; i < type.size(); ++i)
        put16(r, nameAt + 2 + 2 * i, std::uint8_t(type[i]));
    const std::size_t dataAt = (nameAt + 2 + 2 * type.size() + 3) / 4 * 4;
    put32(r, dataEntryAt, kSectionAddress + std::uint32_t(dataAt));
    put32(r, dataEntryAt + 4, std::uint32_t(data.size()));
    r.resize(dataAt);
    r.insert(r.end(), data.begin(), data.end());
    r.resize((r.size() + 15) / 16 * 16);
    if (layout) *layout = {0x10, 0x18, dataEntryAt};

    Bytes file(kRawAt, 0);
    file[0] = 'M';
    file[1] = 'Z';
    put32(file, 0x3C, kPeAt);
    std::memcpy(file.data() + kPeAt, "PE\0\0", 4);
    put16(file, kPeAt + 4, 0x8664);  // machine
    put16(file, kPeAt + 6, 1);       // one section
    put16(file, kPeAt + 20, kOptionalSize);
    put16(file, kPeAt + 22, 0x2022);  // a DLL
    put16(file, kOptionalAt, magic);
    put32(file, kOptionalAt + 108, 16);  // data directories
    put32(file, kOptionalAt + 112 + 2 * 8, kSectionAddress);
    put32(file, kOptionalAt + 112 + 2 * 8 + 4, std::uint32_t(r.size()));
    std::memcpy(file.data() + kSectionAt, ".rsrc", 5);
    put32(file, kSectionAt + 8, std::uint32_t(r.size()));  // virtual size
    put32(file, kSectionAt + 12, kSectionAddress);
    put32(file, kSectionAt + 16, std::uint32_t(r.size()));  // raw size
    put32(file, kSectionAt + 20, kRawAt);
    file.insert(file.end(), r.begin(), r.end());
    return file;
}

Bytes ourPipl() {
    const auto bytes = piplBytes();
    return {bytes.begin(), bytes.end()};
}

std::string written(const std::string& name, const Bytes& bytes) {
    const std::string path = testing::scratchFolder() + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

ResourceRead readPipl(const Bytes& file, Bytes& bytes, std::string& error) {
    return readPluginResource(written("library.8bf", file), PluginResource::Pipl, 16000, 1 << 20,
                              bytes, error);
}

TEST(PeResources, FindsThePiplByTypeNameAndIdAsHostsDo) {
    Bytes bytes;
    std::string error;
    ASSERT_EQ(readPipl(libraryWith(ourPipl()), bytes, error), ResourceRead::Read) << error;
    EXPECT_EQ(bytes, ourPipl());
    PiplInfo info;
    EXPECT_TRUE(loadFilterPipl(written("whole.8bf", libraryWith(ourPipl())), info, error)) << error;
    EXPECT_EQ(info.entryPoint, "PluginMain");
    // Type names compare without regard to case.
    ASSERT_EQ(readPipl(libraryWith(ourPipl(), "PiPL"), bytes, error), ResourceRead::Read);
    EXPECT_EQ(bytes, ourPipl());
    // The terminology is found the same way, under its own type.
    const Bytes aete = {1, 2, 3, 4, 5};
    ASSERT_EQ(readPluginResource(written("aete.8bf", libraryWith(aete, "AETE", 16000)),
                                 PluginResource::Terminology, 16000, 1 << 20, bytes, error),
              ResourceRead::Read)
        << error;
    EXPECT_EQ(bytes, aete);
}

TEST(PeResources, RefusesOtherKindsAndSaysWhatIsMissing) {
    Bytes bytes;
    std::string error;
    EXPECT_EQ(readPipl(libraryWith(ourPipl(), "PIPL", 16000, 0x10B), bytes, error),
              ResourceRead::Failed);
    EXPECT_NE(error.find("64-bit"), std::string::npos) << error;
    EXPECT_EQ(readPipl(libraryWith(ourPipl(), "PIPL", 16001), bytes, error), ResourceRead::Missing);
    EXPECT_NE(error.find("no PiPL"), std::string::npos) << error;
    EXPECT_EQ(readPipl(libraryWith(ourPipl(), "PIPX"), bytes, error), ResourceRead::Missing);
    EXPECT_EQ(readPipl(libraryWith({}), bytes, error), ResourceRead::Missing);

    Bytes noResources = libraryWith(ourPipl());
    put32(noResources, kOptionalAt + 112 + 16, 0);
    EXPECT_EQ(readPipl(noResources, bytes, error), ResourceRead::Missing);
    EXPECT_NE(error.find("no resources"), std::string::npos) << error;

    Bytes dos = libraryWith(ourPipl());
    std::memcpy(dos.data() + kPeAt, "NE\0\0", 4);
    EXPECT_EQ(readPipl(dos, bytes, error), ResourceRead::Failed);
    EXPECT_NE(error.find("not a Windows library"), std::string::npos) << error;
}

TEST(PeResources, DamagedDirectoriesAreRefusedWithoutHarm) {
    Layout layout;
    const Bytes original = libraryWith(ourPipl(), "PIPL", 16000, 0x20B, &layout);
    Bytes bytes;
    std::string error;
    const auto refused = [&](const Bytes& file) {
        const ResourceRead read = readPipl(file, bytes, error);
        EXPECT_NE(read, ResourceRead::Read);
        EXPECT_TRUE(bytes.empty());
        return read;
    };
    Bytes file = original;  // the data lies past the end of the section
    put32(file, kRawAt + layout.dataEntry, kSectionAddress + 0x7FFFFFF0u);
    EXPECT_EQ(refused(file), ResourceRead::Failed);
    file = original;  // a size that wraps around
    put32(file, kRawAt + layout.dataEntry + 4, 0xFFFFFFF0u);
    EXPECT_EQ(refused(file), ResourceRead::Failed);
    file = original;  // a subdirectory past the end of the section
    put32(file, kRawAt + layout.typeEntry + 4, 0x80000000u | 0x00FFFFF0u);
    EXPECT_EQ(refused(file), ResourceRead::Failed);
    file = original;  // a directory claiming thousands of entries
    put16(file, kRawAt + layout.typeDirectory + 14, 0xFFFF);
    refused(file);
    file = original;  // the type's entry points at data where a directory belongs
    put32(file, kRawAt + layout.typeEntry + 4, 0x18);
    EXPECT_EQ(refused(file), ResourceRead::Failed);
    file = original;  // the section's raw bytes past the end of the file
    put32(file, kSectionAt + 20, 0x7FFFFFF0u);
    EXPECT_EQ(refused(file), ResourceRead::Failed);
    file = original;  // an optional header too short for its directories
    put16(file, kPeAt + 20, 96);
    refused(file);
    file = original;  // the new header's offset past the end
    put32(file, 0x3C, 0xFFFFFFF0u);
    EXPECT_EQ(refused(file), ResourceRead::Failed);
    // Cut short anywhere, the file is refused or still read whole.
    for (std::size_t size = 0; size < original.size(); size += 1 + size / 9) {
        const ResourceRead read = readPipl(
            Bytes(original.begin(), original.begin() + std::ptrdiff_t(size)), bytes, error);
        if (read == ResourceRead::Read) EXPECT_EQ(bytes, ourPipl());
    }
}

}  // namespace
}  // namespace mirel::hostkit
