// Picture layout helpers, the 16-bit scale mapping, format detection, pictures
// read upright, and the write-beside-then-rename that keeps a failed save from
// damaging a file.
#include "apps/mirel/image_file.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "apps/host/pending_file.h"
#include "apps/mirel/image_codecs.h"
#include "platform/os/os.h"

namespace mirel::host_app {

namespace {

// A fresh decode reserves at most this much, or 16 bytes per byte of file,
// before rows prove that the data is really there.
constexpr std::int64_t kInitialReserveBytes = std::int64_t{64} << 20;
constexpr std::int64_t kReservePerFileByte = 16;

using Format = PictureFormat;

Format formatFromSignature(const unsigned char* head, std::size_t length) {
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (length >= 8 && std::memcmp(head, kPng, 8) == 0) return Format::Png;
    if (length >= 3 && head[0] == 0xff && head[1] == 0xd8 && head[2] == 0xff) return Format::Jpeg;
    // Classic TIFF (42) and BigTIFF (43) in both byte orders.
    if (length >= 4 &&
        ((head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0) ||
         (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43))))
        return Format::Tiff;
    return Format::Unknown;
}

std::string describeErrno(int code) {
    return std::strerror(code);
}

// Standard input as a file of its own (in memory where the system allows), so
// that the readers can seek in it.
int spoolStandardInput(std::string& error) {
    const int fd = os::anonymousFile();
    if (fd < 0) {
        error = "standard input: cannot hold the picture: " + describeErrno(errno);
        return -1;
    }
    char buffer[1 << 16];
    for (;;) {
        const std::int64_t got = os::readDescriptor(os::kStandardInput, buffer, sizeof buffer);
        if (got < 0) {
            error = "standard input: " + describeErrno(errno);
            os::closeDescriptor(fd);
            return -1;
        }
        if (got == 0) break;
        if (!os::writeDescriptor(fd, buffer, std::size_t(got))) {
            error = "standard input: cannot hold the picture: " + describeErrno(errno);
            os::closeDescriptor(fd);
            return -1;
        }
    }
    os::seekDescriptor(fd, 0, SEEK_SET);
    return fd;
}

// Opens a picture without waiting on a pipe: only a regular file is read.
int openRegularFile(const std::string& path, std::string& error) {
    int code = 0;
    const int fd = os::openReadDescriptor(path, code);
    if (fd >= 0) return fd;
    if (code == EISDIR)
        error = path + ": is a folder, not a picture";
    else if (code == EINVAL)
        error = path +
                ": not a regular file (a pipe or a device); use - to read a picture from "
                "standard input";
    else
        error = path + ": " + describeErrno(code);
    return -1;
}

// Where stored pixel (x, y) of a w x h picture lands in the upright one, for each
// EXIF orientation (which says where the stored first row and column belong).
void uprightPosition(int orientation, std::int64_t x, std::int64_t y, std::int64_t w,
                     std::int64_t h, std::int64_t& ux, std::int64_t& uy) {
    switch (orientation) {
        case 2:
            ux = w - 1 - x;
            uy = y;
            return;  // mirrored left to right
        case 3:
            ux = w - 1 - x;
            uy = h - 1 - y;
            return;  // upside down
        case 4:
            ux = x;
            uy = h - 1 - y;
            return;  // mirrored top to bottom
        case 5:
            ux = y;
            uy = x;
            return;  // mirrored along the diagonal
        case 6:
            ux = h - 1 - y;
            uy = x;
            return;  // turned left: turn right
        case 7:
            ux = h - 1 - y;
            uy = w - 1 - x;
            return;  // mirrored along the other diagonal
        case 8:
            ux = y;
            uy = w - 1 - x;
            return;  // turned right: turn left
        default:
            ux = x;
            uy = y;
            return;
    }
}

bool makeUpright(Picture& picture, int orientation, std::string& error) {
    if (orientation < 2 || orientation > 8) return true;
    const bool turned = orientation >= 5;
    Picture upright;
    upright.iccProfile = std::move(picture.iccProfile);
    upright.metadata = std::move(picture.metadata);
    upright.sourceFormat = picture.sourceFormat;
    if (!allocatePicture(upright, turned ? picture.height : picture.width,
                         turned ? picture.width : picture.height, picture.channels,
                         picture.bitsPerChannel, error))
        return false;
    const std::int64_t bytes = pixelBytes(picture);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        for (std::int32_t x = 0; x < picture.width; ++x) {
            std::int64_t ux = 0, uy = 0;
            uprightPosition(orientation, x, y, picture.width, picture.height, ux, uy);
            std::memcpy(pixelAddress(upright, std::int32_t(ux), std::int32_t(uy)),
                        pixelAddress(picture, x, y), std::size_t(bytes));
        }
    }
    picture = std::move(upright);
    return true;
}

// The EXIF block as the output gets it: upright, at the picture's size.
void makeMetadataUpright(Picture& picture) {
    PictureMetadata& metadata = picture.metadata;
    codecs::makeXmpUpright(metadata.xmp);
    if (metadata.exif.empty()) return;
    codecs::ExifDirectories directories;
    if (!codecs::readExifDirectories(metadata.exif, directories) || directories.empty()) {
        metadata.exif.clear();
        return;
    }
    codecs::makeExifUpright(directories, picture.width, picture.height);
    metadata.exif = codecs::exifBytes(directories);
}

int storedOrientation(const Picture& picture, int fromReader) {
    if (fromReader != 1 || picture.metadata.exif.empty()) return fromReader;
    codecs::ExifDirectories directories;
    if (!codecs::readExifDirectories(picture.metadata.exif, directories)) return 1;
    return codecs::exifOrientation(directories);
}

bool writeEncoded(Format format, int fd, const Picture& picture, std::string& error) {
    if (format == Format::Tiff) {
        if (!codecs::writeTiff(fd, "output", picture, error)) return false;
        if (!picture.metadata.exif.empty()) {
            codecs::ExifDirectories directories;
            if (codecs::readExifDirectories(picture.metadata.exif, directories) &&
                !codecs::appendExifToTiff(fd, directories, error))
                return false;
        }
    } else {
        // fdopen on a duplicate so that fd stays ours to sync and close.
        const int copy = os::duplicateDescriptor(fd);
        std::FILE* file = copy < 0 ? nullptr : ::fdopen(copy, "wb");
        if (file == nullptr) {
            error = "cannot open the temporary file: " + describeErrno(errno);
            if (copy >= 0) os::closeDescriptor(copy);
            return false;
        }
        bool ok = format == Format::Png ? codecs::writePng(file, picture, error)
                                        : codecs::writeJpeg(file, picture, error);
        if (std::fflush(file) != 0 && ok) {
            error = "cannot write: " + describeErrno(errno);
            ok = false;
        }
        if (std::fclose(file) != 0 && ok) {
            error = "cannot write: " + describeErrno(errno);
            ok = false;
        }
        if (!ok) return false;
    }
    return true;
}

}  // namespace

std::int64_t bytesPerSample(const Picture& picture) {
    return picture.bitsPerChannel / 8;
}

std::int64_t pixelBytes(const Picture& picture) {
    return bytesPerSample(picture) * picture.channels;
}

std::int64_t rowBytes(const Picture& picture) {
    return pixelBytes(picture) * static_cast<std::int64_t>(picture.width);
}

std::int64_t pictureBytes(const Picture& picture) {
    return rowBytes(picture) * static_cast<std::int64_t>(picture.height);
}

bool hasAlpha(const Picture& picture) {
    return picture.channels == 2 || picture.channels == 4;
}

bool isGrey(const Picture& picture) {
    return picture.channels <= 2;
}

bool isSupportedLayout(int channels, int bitsPerChannel) {
    return channels >= 1 && channels <= 4 &&
           (bitsPerChannel == 8 || bitsPerChannel == 16 || bitsPerChannel == 32);
}

namespace {
std::atomic<std::int64_t> pixelLimit{kMaxPicturePixels};
}  // namespace

void setPicturePixelLimit(std::int64_t pixels) {
    pixelLimit = pixels > 0 ? std::min(pixels, kMaxPicturePixels) : kMaxPicturePixels;
}

static bool checkSize(std::int64_t width, std::int64_t height, int channels, int bitsPerChannel,
                      std::string& error) {
    if (!isSupportedLayout(channels, bitsPerChannel)) {
        error = "unsupported layout: " + std::to_string(channels) + " channels of " +
                std::to_string(bitsPerChannel) + " bits";
        return false;
    }
    if (width <= 0 || height <= 0) {
        error = "the picture has no pixels (" + std::to_string(width) + " x " +
                std::to_string(height) + ")";
        return false;
    }
    const std::int64_t limit = pixelLimit;
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > limit) {
        error = std::to_string(width) + " x " + std::to_string(height) +
                " pixels is more than this program handles (at most " + std::to_string(limit) +
                " pixels, " + std::to_string(kMaxPictureSide) + " on a side)";
        return false;
    }
    return true;
}

bool allocatePicture(Picture& picture, std::int64_t width, std::int64_t height, int channels,
                     int bitsPerChannel, std::string& error) {
    if (!checkSize(width, height, channels, bitsPerChannel, error)) return false;
    picture.width = static_cast<std::int32_t>(width);
    picture.height = static_cast<std::int32_t>(height);
    picture.channels = channels;
    picture.bitsPerChannel = bitsPerChannel;
    try {
        picture.pixels.assign(static_cast<std::size_t>(pictureBytes(picture)), 0);
    } catch (const std::bad_alloc&) {
        picture.pixels.clear();
        error = "not enough memory for a " + std::to_string(width) + " x " +
                std::to_string(height) + " picture";
        return false;
    }
    return true;
}

bool validatePicture(const Picture& picture, std::string& error) {
    if (!checkSize(picture.width, picture.height, picture.channels, picture.bitsPerChannel,
                   error)) {
        return false;
    }
    if (static_cast<std::int64_t>(picture.pixels.size()) != pictureBytes(picture)) {
        error = "the picture holds " + std::to_string(picture.pixels.size()) +
                " bytes of pixels, its size needs " + std::to_string(pictureBytes(picture));
        return false;
    }
    return true;
}

std::uint8_t* pixelAddress(Picture& picture, std::int32_t x, std::int32_t y) {
    assert(x >= 0 && x < picture.width && y >= 0 && y < picture.height);
    return picture.pixels.data() + y * rowBytes(picture) + x * pixelBytes(picture);
}

const std::uint8_t* pixelAddress(const Picture& picture, std::int32_t x, std::int32_t y) {
    assert(x >= 0 && x < picture.width && y >= 0 && y < picture.height);
    return picture.pixels.data() + y * rowBytes(picture) + x * pixelBytes(picture);
}

hostkit::PictureShape Picture::shape() const {
    return {width, height, channels, bitsPerChannel};
}

void Picture::readPixels(std::int32_t x, std::int32_t y, std::int32_t count,
                         std::uint8_t* samples) const {
    assert(count >= 0 && x + std::int64_t(count) <= width);
    std::memcpy(samples, pixelAddress(*this, x, y), std::size_t(count * pixelBytes(*this)));
}

void Picture::writePixels(std::int32_t x, std::int32_t y, std::int32_t count,
                          const std::uint8_t* samples) {
    assert(count >= 0 && x + std::int64_t(count) <= width);
    std::memcpy(pixelAddress(*this, x, y), samples, std::size_t(count * pixelBytes(*this)));
}

float sampleValue(const Picture& picture, std::int32_t x, std::int32_t y, int channel) {
    assert(channel >= 0 && channel < picture.channels);
    const std::uint8_t* p = pixelAddress(picture, x, y) + channel * bytesPerSample(picture);
    switch (picture.bitsPerChannel) {
        case 8:
            return *p;
        case 16:
            return codecs::load16(p);
        default:
            return codecs::loadFloat(p);
    }
}

void setSampleValue(Picture& picture, std::int32_t x, std::int32_t y, int channel, float value) {
    assert(channel >= 0 && channel < picture.channels);
    std::uint8_t* p = pixelAddress(picture, x, y) + channel * bytesPerSample(picture);
    switch (picture.bitsPerChannel) {
        case 8:
            *p = static_cast<std::uint8_t>(std::clamp(value + 0.5f, 0.0f, 255.0f));
            break;
        case 16:
            codecs::store16(p, static_cast<std::uint16_t>(std::clamp(
                                   value + 0.5f, 0.0f, static_cast<float>(kInterface16Max))));
            break;
        default:
            codecs::storeFloat(p, value);
            break;
    }
}

float fullScale(const Picture& picture) {
    switch (picture.bitsPerChannel) {
        case 8:
            return 255.0f;
        case 16:
            return static_cast<float>(kInterface16Max);
        default:
            return 1.0f;
    }
}

float normalisedSample(const Picture& picture, std::int32_t x, std::int32_t y, int channel) {
    return sampleValue(picture, x, y, channel) / fullScale(picture);
}

// 65535 is odd, so v * 32768 / 65535 never lands exactly on a half and
// adding 32767 before dividing rounds to nearest.
std::uint16_t fileToInterface16(std::uint16_t fileValue) {
    return static_cast<std::uint16_t>((std::uint32_t{fileValue} * kInterface16Max + 32767) /
                                      kFile16Max);
}

// Values above the interface's full scale cannot come from a valid picture;
// they saturate rather than wrap.
std::uint16_t interfaceToFile16(std::uint16_t interfaceValue) {
    const std::uint32_t v = std::min<std::uint32_t>(interfaceValue, kInterface16Max);
    return static_cast<std::uint16_t>((v * kFile16Max + kInterface16Max / 2) / kInterface16Max);
}

namespace codecs {

void mapFileToInterface16(std::uint8_t* samples, std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i) {
        store16(samples + 2 * i, fileToInterface16(load16(samples + 2 * i)));
    }
}

void mapInterfaceToFile16(const std::uint8_t* in, std::uint8_t* out, std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i) {
        store16(out + 2 * i, interfaceToFile16(load16(in + 2 * i)));
    }
}

bool beginPicture(Picture& picture, std::int64_t width, std::int64_t height, int channels,
                  int bitsPerChannel, std::int64_t fileSize, std::string& error) {
    if (!checkSize(width, height, channels, bitsPerChannel, error)) return false;
    picture.width = static_cast<std::int32_t>(width);
    picture.height = static_cast<std::int32_t>(height);
    picture.channels = channels;
    picture.bitsPerChannel = bitsPerChannel;
    picture.pixels.clear();
    const std::int64_t plausible =
        std::max(kInitialReserveBytes, std::max<std::int64_t>(fileSize, 0) * kReservePerFileByte);
    try {
        picture.pixels.reserve(
            static_cast<std::size_t>(std::min(pictureBytes(picture), plausible)));
    } catch (const std::bad_alloc&) {
        error = "not enough memory for a " + std::to_string(width) + " x " +
                std::to_string(height) + " picture";
        return false;
    }
    return true;
}

bool ensureRows(Picture& picture, std::int64_t rows, std::string& error) {
    const std::int64_t need = std::min<std::int64_t>(rows, picture.height) * rowBytes(picture);
    auto& pixels = picture.pixels;
    if (need <= static_cast<std::int64_t>(pixels.size())) return true;
    try {
        // Double the reservation, never past the whole picture, so that a
        // picture that really is large ends with one buffer of its own size.
        if (need > static_cast<std::int64_t>(pixels.capacity())) {
            const std::int64_t doubled = 2 * static_cast<std::int64_t>(pixels.capacity());
            pixels.reserve(
                static_cast<std::size_t>(std::min(pictureBytes(picture), std::max(need, doubled))));
        }
        pixels.resize(static_cast<std::size_t>(need), 0);
    } catch (const std::bad_alloc&) {
        error = "not enough memory for a " + std::to_string(picture.width) + " x " +
                std::to_string(picture.height) + " picture";
        return false;
    }
    return true;
}

}  // namespace codecs

PictureFormat formatOfWord(const std::string& word) {
    std::string w = word;
    std::transform(w.begin(), w.end(), w.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (w == "png") return Format::Png;
    if (w == "jpg" || w == "jpeg") return Format::Jpeg;
    if (w == "tif" || w == "tiff") return Format::Tiff;
    return Format::Unknown;
}

PictureFormat formatOfName(const std::string& path) {
    const std::size_t slash = path.find_last_of(os::kPathSeparators);
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return Format::Unknown;
    return formatOfWord(path.substr(dot + 1));
}

const char* extensionOf(PictureFormat format) {
    switch (format) {
        case Format::Png:
            return "png";
        case Format::Jpeg:
            return "jpg";
        case Format::Tiff:
            return "tif";
        default:
            return "";
    }
}

bool formatHolds(PictureFormat format, const Picture& picture, std::string& error) {
    const bool isFloat = picture.bitsPerChannel == 32;
    switch (format) {
        case Format::Png:
            if (isFloat) {
                error = "PNG cannot hold 32-bit float pictures; save as TIFF (.tif) instead";
                return false;
            }
            return codecs::pngHolds(picture, error);
        case Format::Jpeg:
            if (isFloat) {
                error = "JPEG cannot hold 32-bit float pictures; save as TIFF (.tif) instead";
                return false;
            }
            if (picture.bitsPerChannel != 8) {
                error = "JPEG holds only 8-bit pictures; save 16-bit pictures as PNG or TIFF";
                return false;
            }
            if (hasAlpha(picture)) {
                error = "JPEG cannot hold transparency; save as PNG or TIFF to keep it";
                return false;
            }
            return codecs::jpegHolds(picture, error);
        case Format::Tiff:
            return true;
        case Format::Unknown:
            break;
    }
    error = "unknown file type; use .png, .jpg, .jpeg, .tif or .tiff";
    return false;
}

bool readPicture(const std::string& path, Picture& picture, std::string& error) {
    picture = Picture{};
    const bool fromInput = path == "-";
    const std::string name = fromInput ? std::string("standard input") : path;
    const int fd = fromInput ? spoolStandardInput(error) : openRegularFile(path, error);
    if (fd < 0) return false;
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        error = name + ": " + describeErrno(errno);
        os::closeDescriptor(fd);
        return false;
    }
    const std::int64_t fileSize = std::max<std::int64_t>(os::descriptorSize(fd), 0);
    unsigned char head[8] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    const Format format = formatFromSignature(head, got);
    if (format == Format::Unknown) {
        error = name + (got == 0 ? ": the file is empty" : ": not a PNG, JPEG or TIFF picture");
        std::fclose(file);
        return false;
    }
    std::rewind(file);

    bool ok = false;
    int orientation = 1;
    std::string reason;
    try {
        switch (format) {
            case Format::Png:
                ok = codecs::readPng(file, fileSize, picture, orientation, reason);
                break;
            case Format::Jpeg:
                ok = codecs::readJpeg(file, fileSize, picture, orientation, reason);
                break;
            default:
                ok = codecs::readTiff(fd, name, fileSize, picture, orientation, reason);
                break;
        }
    } catch (const std::bad_alloc&) {
        ok = false;
        reason = "not enough memory to read it";
    }
    std::fclose(file);
    if (ok && static_cast<std::int64_t>(picture.pixels.size()) != pictureBytes(picture)) {
        ok = false;
        reason = "the picture data ends early";
    }
    if (ok) {
        picture.sourceFormat = format;
        try {
            ok = makeUpright(picture, storedOrientation(picture, orientation), reason);
            if (ok) makeMetadataUpright(picture);
        } catch (const std::bad_alloc&) {
            ok = false;
            reason = "not enough memory to turn it upright";
        }
    }
    if (!ok) {
        picture = Picture{};
        error = name + ": " + reason;
    }
    return ok;
}

bool encodePicture(int fd, PictureFormat format, const Picture& picture, std::string& error) {
    std::string reason;
    if (!validatePicture(picture, reason) || !formatHolds(format, picture, reason)) {
        error = reason;
        return false;
    }
    try {
        return writeEncoded(format, fd, picture, error);
    } catch (const std::bad_alloc&) {
        error = "not enough memory to write it";
        return false;
    }
}

bool writePicture(const std::string& path, const Picture& picture, std::string& error) {
    const Format format = formatOfName(path);
    if (format == Format::Unknown) {
        error = path + ": unknown file type; use .png, .jpg, .jpeg, .tif or .tiff";
        return false;
    }
    std::string reason;
    if (!validatePicture(picture, reason) || !formatHolds(format, picture, reason)) {
        error = path + ": " + reason;
        return false;
    }
    hostkit::PendingFile output;
    if (!output.open(path, error)) return false;
    if (!encodePicture(output.descriptor(), format, picture, reason)) {
        error = path + ": " + reason;
        return false;
    }
    return output.commit(error);
}

}  // namespace mirel::host_app
