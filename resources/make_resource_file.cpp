// Writes the plug-in's resources as a Windows resource file (.res), which the
// resource compiler turns into the library's resource section: the PiPL and the
// terminology from the same code that makes them for every build, then every
// file of resources/<TYPE>/<ID>.<ext> under its type's name and its id. Built
// and run on the build machine during a Windows build.
//
//   make_resource_file OUT.res TYPE ID FILE [TYPE ID FILE ...]
//
// Each file is stored with one NUL after its bytes, which the program's lookup
// does not count (text resources can then be read as C strings, as on every
// system); the PiPL is stored exactly, the terminology with its NUL, as the
// hosts read them.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "resources/aete.h"
#include "resources/pipl.h"
#include "resources/resources.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Resources of a library are looked up in US English when no language is asked
// for, as the resource compiler writes them by default.
constexpr std::uint16_t kLanguageEnglishUs = 0x0409;
// Moveable, pure, discardable: what the resource compiler writes for data.
constexpr std::uint16_t kMemoryFlags = 0x1030;

void put16(Bytes& out, std::uint16_t value) {
    out.push_back(std::uint8_t(value));
    out.push_back(std::uint8_t(value >> 8));
}

void put32(Bytes& out, std::uint32_t value) {
    put16(out, std::uint16_t(value));
    put16(out, std::uint16_t(value >> 16));
}

void padTo4(Bytes& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// A resource name or type: a number when it is one (no leading zero, at most
// 0xFFFF), else the upper-case name in UTF-16 (ASCII names only).
void putNameOrId(Bytes& out, const std::string& name) {
    const bool numeric = !name.empty() && name.size() <= 5 &&
                         name.find_first_not_of("0123456789") == std::string::npos &&
                         (name.size() == 1 || name[0] != '0') && std::stoul(name) <= 0xFFFF;
    if (numeric) {
        put16(out, 0xFFFF);
        put16(out, std::uint16_t(std::stoul(name)));
        return;
    }
    for (char c : name) put16(out, std::uint8_t(upper(c)));
    put16(out, 0);
}

// One entry: the header (sizes, type, name, flags, language) and the data,
// each padded to a 4-byte boundary.
void putResource(Bytes& out, const std::string& type, const std::string& name, const Bytes& data) {
    Bytes header;
    putNameOrId(header, type);
    putNameOrId(header, name);
    padTo4(header);
    put32(header, 0);  // data version
    put16(header, kMemoryFlags);
    put16(header, kLanguageEnglishUs);
    put32(header, 0);  // version
    put32(header, 0);  // characteristics
    put32(out, std::uint32_t(data.size()));
    put32(out, std::uint32_t(8 + header.size()));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), data.begin(), data.end());
    padTo4(out);
}

bool readFile(const std::string& path, Bytes& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || (argc - 2) % 3 != 0) {
        std::cerr << "usage: make_resource_file OUT.res [TYPE ID FILE ...]\n";
        return 2;
    }
    Bytes out;
    // A resource file starts with an empty entry that says what it is: no data,
    // a 32-byte header, type and name the ordinal 0, everything else 0.
    put32(out, 0);
    put32(out, 32);
    for (std::uint16_t word : {0xFFFF, 0, 0xFFFF, 0}) put16(out, word);
    for (int i = 0; i < 4; ++i) put32(out, 0);
    const auto pipl = mirel::piplBytes();
    putResource(out, "PIPL", std::to_string(mirel::kPiplResourceId),
                Bytes(pipl.begin(), pipl.end()));
    const auto aete = mirel::aeteBytes();
    Bytes terminology(aete.begin(), aete.end());
    terminology.push_back(0);
    putResource(out, "AETE", std::to_string(mirel::kTerminologyResourceId), terminology);
    for (int i = 2; i < argc; i += 3) {
        Bytes data;
        if (!readFile(argv[i + 2], data)) {
            std::cerr << "make_resource_file: cannot read " << argv[i + 2] << "\n";
            return 1;
        }
        data.push_back(0);
        putResource(out, argv[i], argv[i + 1], data);
    }
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    if (!file.good()) {
        std::cerr << "make_resource_file: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
