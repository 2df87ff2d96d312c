// libFuzzer target for the host's picture reader: every input is written to a
// temporary file and read back as PNG, JPEG or TIFF, whichever it claims to be.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "apps/mirel/image_file.h"

namespace {

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every decoder path runs on pictures of up to 4 megapixels; larger ones are refused
    // from their headers, as all pictures beyond the program's limit are.
    mirel::host_app::setPicturePixelLimit(std::int64_t{1} << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string path = temporaryFolder() + "/mirel-image-fuzz-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) return 0;
    const bool written = writeAll(fd, data, size);
    ::close(fd);
    if (written) {
        mirel::host_app::Picture picture;
        std::string error;
        if (mirel::host_app::readPicture(path, picture, error)) {
            // A picture that reads must be whole and consistent.
            if (!mirel::host_app::validatePicture(picture, error)) std::abort();
        } else if (error.empty()) {
            std::abort();  // every failure says why
        }
    }
    ::unlink(path.c_str());
    return 0;
}
