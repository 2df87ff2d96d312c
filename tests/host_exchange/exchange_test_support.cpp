// Shared pieces of the host exchange tests.
#include "tests/host_exchange/exchange_test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/support/scratch.h"

namespace mirel::testing {

host_app::Picture patternPicture(std::int32_t width, std::int32_t height, int channels, int bits) {
    host_app::Picture picture;
    std::string error;
    EXPECT_TRUE(host_app::allocatePicture(picture, width, height, channels, bits, error)) << error;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const std::int64_t n = std::int64_t(x) * 7 + std::int64_t(y) * 131 + c * 61;
                float value = 0.0f;
                if (bits == 8) value = float(n % 256);
                else if (bits == 16) value = float((n * 97) % 32769);
                else value = float(n % 1000) / 400.0f - 0.5f;  // -0.5 .. 2.0
                host_app::setSampleValue(picture, x, y, c, value);
            }
        }
    }
    return picture;
}

std::string identityFilterPath() { return MIREL_IDENTITY_FILTER; }

const host_app::PluginLibrary& identityFilter() {
    static host_app::PluginLibrary* library = [] {
        auto* opened = new host_app::PluginLibrary;
        std::string error;
        EXPECT_TRUE(opened->open(identityFilterPath(), error)) << error;
        return opened;
    }();
    return *library;
}

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) {
        if (c == '\'') result += "'\\''";
        else result += c;
    }
    return result + "'";
}

ProgramOutcome runProgram(const std::string& plugin, const std::string& arguments,
                          const std::string& environment) {
    const std::string command = environment + quoted(hostPath()) + " --plugin " + quoted(plugin) +
                                " " + arguments + " 2>&1 </dev/null";
    ProgramOutcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return outcome;
    std::array<char, 512> buffer{};
    while (fgets(buffer.data(), int(buffer.size()), pipe)) outcome.output += buffer.data();
    const int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace mirel::testing
