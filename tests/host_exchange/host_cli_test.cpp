// The host program as a command-line tool: exit codes, limits found before the
// render, pipes, standard input and output, batches, signals during a save, and
// pictures read upright with their metadata passed on.
#include <gtest/gtest.h>
#include <tiffio.h>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "apps/mirel/image_codecs.h"
#include "tests/host_exchange/exchange_test_support.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

using host_app::Picture;
using host_app::codecs::ExifDirectories;
using host_app::codecs::TiffEntry;

void write(const std::string& path, const Picture& picture) {
    std::string error;
    ASSERT_TRUE(host_app::writePicture(path, picture, error)) << error;
}

Picture read(const std::string& path) {
    Picture picture;
    std::string error;
    EXPECT_TRUE(host_app::readPicture(path, picture, error)) << error;
    return picture;
}

ProgramOutcome runApply(const std::string& arguments, const std::string& environment = "") {
    return runProgram(identityFilterPath(), "apply " + arguments, environment);
}

bool hasLine(const ProgramOutcome& outcome, const std::string& text) {
    return outcome.output.find(text) != std::string::npos;
}

TEST(CommandLine, TheExitCodeSaysWhatFailed) {
    const std::string folder = scratchFolder();
    write(folder + "in.png", patternPicture(40, 30, 3, 8));
    const std::string arguments = quoted(folder + "in.png") + " -o " + quoted(folder + "out.png");
    EXPECT_EQ(runApply(arguments).exitCode, 0);
    ::unlink((folder + "out.png").c_str());
    // The filter's failure is 3, bad input 2; neither leaves a file.
    const ProgramOutcome failed = runApply(arguments, "MIREL_TEST_FILTER=fail ");
    EXPECT_EQ(failed.exitCode, 3) << failed.output;
    EXPECT_TRUE(hasLine(failed, "the filter stopped with out of memory")) << failed.output;
    const ProgramOutcome refused = runApply(arguments + " --set horizon=300");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(hasLine(refused, "300 is outside 0..100")) << refused.output;
    EXPECT_EQ(runApply(arguments + " --format gif").exitCode, 2);
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"in.png"});
}

// Paths as users type them: one beginning with '/' (on Windows the current
// drive's root, never an option), either separator on Windows, and names outside
// ASCII, in and out.
TEST(CommandLine, PathsAsUsersTypeThem) {
    std::string folder = scratchFolder();
#if defined(_WIN32)
    // "Z:\\...\\" as "/..." on the same drive.
    folder = folder.substr(2);
    std::replace(folder.begin(), folder.end(), '\\', '/');
#endif
    const std::string input = folder + "in \xC3\xA9t\xC3\xA9.png";
    write(input, patternPicture(40, 30, 3, 8));
    const ProgramOutcome outcome =
        runApply(quoted(input) + " -o " + quoted(folder + "\xE6\xB0\xB4.tif"));
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(read(folder + "\xE6\xB0\xB4.tif").pixels, read(input).pixels)
        << "the identity filter";
}

// Sides a format cannot hold are found before the filter runs: the failing test
// filter would otherwise answer with its own error (3).
TEST(CommandLine, PicturesTooLargeForTheFormatAreRefusedBeforeTheRender) {
    const std::string folder = scratchFolder();
    write(folder + "wide.tif", patternPicture(1000001, 1, 1, 8));
    write(folder + "long.tif", patternPicture(1, 65501, 1, 8));
    const ProgramOutcome png =
        runApply(quoted(folder + "wide.tif") + " -o " + quoted(folder + "out.png"),
                 "MIREL_TEST_FILTER=fail ");
    EXPECT_EQ(png.exitCode, 2) << png.output;
    EXPECT_TRUE(hasLine(png, "PNG files hold at most 1000000 pixels on a side")) << png.output;
    const ProgramOutcome jpeg =
        runApply(quoted(folder + "long.tif") + " -o " + quoted(folder + "out.jpg"),
                 "MIREL_TEST_FILTER=fail ");
    EXPECT_EQ(jpeg.exitCode, 2) << jpeg.output;
    EXPECT_TRUE(hasLine(jpeg, "JPEG files hold at most 65500 pixels on a side")) << jpeg.output;
    EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{"long.tif", "wide.tif"}));
}

#if !defined(_WIN32)
TEST(CommandLine, NamedPipesAreRefusedAtOnce) {
    const std::string folder = scratchFolder();
    write(folder + "in.png", patternPicture(20, 10, 3, 8));
    const std::string pipe = folder + "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string in = quoted(folder + "in.png"), out = " -o " + quoted(folder + "out.png");
    for (const std::string& command :
         {"apply " + quoted(pipe) + out, "apply " + in + out + " --mask " + quoted(pipe),
          "apply " + in + out + " --action " + quoted(pipe),
          "apply " + in + out + " --settings " + quoted(pipe),
          "save-settings " + quoted(folder + "s.q8r") + " --from " + quoted(pipe)}) {
        SCOPED_TRACE(command);
        const auto start = std::chrono::steady_clock::now();
        // A regression would wait for a writer for ever; the timeout ends it.
        const ProgramOutcome outcome = runProgram(pluginPath(), command, "timeout 20 ");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
        EXPECT_TRUE(hasLine(outcome, "not a regular file")) << outcome.output;
    }
    // A picture piped in is read through "-", and "-" writes to standard output.
    const std::string host = quoted(hostPath()) + " --plugin " + quoted(identityFilterPath());
    const std::string piped = "cat " + in + " | " + host + " apply - -o - --format tif > " +
                              quoted(folder + "piped.tif") + " 2>/dev/null";
    ASSERT_EQ(std::system(piped.c_str()), 0);
    EXPECT_EQ(read(folder + "piped.tif").pixels, read(folder + "in.png").pixels);
    const std::string named =
        "cat " + in + " | " + host + " apply /dev/stdin" + out + " 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(named.c_str())), 2);
}
#endif

TEST(CommandLine, ABatchWritesEveryGoodPictureAndNamesTheBadOne) {
    const std::string folder = scratchFolder();
    write(folder + "a.png", patternPicture(20, 10, 3, 8));
    write(folder + "c.jpg", patternPicture(24, 16, 3, 8));
    writeBytes(folder + "b.tif", {'I', 'I', 42, 0, 1, 2, 3});
    const std::string inputs =
        quoted(folder + "a.png") + " " + quoted(folder + "b.tif") + " " + quoted(folder + "c.jpg");
    const ProgramOutcome outcome = runApply(inputs + " -o " + quoted(folder + "out/"));
    EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
    EXPECT_TRUE(hasLine(outcome, "b.tif: damaged")) << outcome.output;
    EXPECT_TRUE(hasLine(outcome, "1 of 3 pictures failed (" + folder + "b.tif)")) << outcome.output;
    EXPECT_EQ(folderEntries(folder + "out"), (std::vector<std::string>{"a.png", "c.jpg"}));
    EXPECT_EQ(read(folder + "out/a.png").pixels, read(folder + "a.png").pixels);

    // --format chooses one format for all; two inputs that would meet are refused first.
    EXPECT_EQ(runApply(quoted(folder + "a.png") + " " + quoted(folder + "c.jpg") + " -o " +
                       quoted(folder + "out") + " --format tif")
                  .exitCode,
              0);
    EXPECT_EQ(folderEntries(folder + "out"),
              (std::vector<std::string>{"a.png", "a.tif", "c.jpg", "c.tif"}));
    const ProgramOutcome twice =
        runApply(quoted(folder + "a.png") + " " + quoted(folder + "out/a.png") + " -o " +
                 quoted(folder + "out") + " --format jpg");
    EXPECT_EQ(twice.exitCode, 2);
    EXPECT_TRUE(hasLine(twice, "two pictures would both be written to")) << twice.output;
    EXPECT_EQ(folderEntries(folder + "out").size(), 4u);
}

// A record that cannot be written is found before the render, and when it fails
// later the picture is not put in place either (see also the full-disk test).
TEST(CommandLine, ARecordThatCannotBeWrittenCostsNoPicture) {
    const std::string folder = scratchFolder();
    write(folder + "in.png", patternPicture(20, 10, 3, 8));
    writeBytes(folder + "out.png", {'o', 'l', 'd'});
    const ProgramOutcome outcome =
        runApply(quoted(folder + "in.png") + " -o " + quoted(folder + "out.png") + " --record " +
                     quoted(folder + "no/rec.json"),
                 "MIREL_TEST_FILTER=fail ");
    EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
    EXPECT_EQ(readBytes(folder + "out.png"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

// SIGTERM while the result is being saved cancels like Ctrl-C: no temporary file
// stays, and the old file is left as it was.
#if !defined(_WIN32)
TEST(CommandLine, SigtermDuringTheSaveLeavesNoTemporaryFile) {
    const std::string folder = scratchFolder();
    const std::string input = folder + "in.tif", output = folder + "out.tif";
    write(input, patternPicture(2400, 2400, 3, 16));  // a save of a good part of a second
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    writeBytes(output, old);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(hostPath().c_str(), hostPath().c_str(), "--plugin", identityFilterPath().c_str(),
              "apply", input.c_str(), "-o", output.c_str(), "--quiet", static_cast<char*>(nullptr));
        _exit(127);
    }
    // The hidden file exists from before the render; it grows once the save begins.
    bool saving = false;
    for (int i = 0; i < 20000 && !saving; ++i) {
        for (const std::string& name : folderEntries(folder)) {
            struct stat info {};
            if (name.rfind(".out.tif.tmp-", 0) == 0 &&
                ::stat((folder + name).c_str(), &info) == 0 && info.st_size > 0)
                saving = true;
        }
        if (!saving) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(saving) << "the save was never seen";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal";
    EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{"in.tif", "out.tif"}));
    // Either cancelled (the old file stays) or the save was already complete.
    if (WEXITSTATUS(status) == 1)
        EXPECT_EQ(readBytes(output), old);
    else
        EXPECT_EQ(read(output).pixels, read(input).pixels);
}
#endif

// ---- Pictures upright, metadata passed on ---------------------------------------------

TiffEntry text(std::uint16_t tag, const std::string& value) {
    TiffEntry entry{tag, 2, std::uint32_t(value.size() + 1), {value.begin(), value.end()}, false};
    entry.value.push_back(0);
    return entry;
}

// An EXIF block as a camera writes it: big-endian, camera, date, orientation.
std::vector<std::uint8_t> cameraExif(int orientation) {
    ExifDirectories exif;
    exif.bigEndian = true;
    exif.main = {text(271, "Mirelcam"), text(272, "Lake 7"), text(306, "2024:06:01 12:00:00"),
                 TiffEntry{274, 3, 1, {0, std::uint8_t(orientation)}, false}};
    exif.exif = {text(36867, "2024:06:01 11:59:58")};
    return host_app::codecs::exifBytes(exif);
}

const char kXmp[] =
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
    "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
    "<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/' tiff:Orientation=\"6\" "
    "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:creator>A. Photographer</dc:creator>"
    "</rdf:Description></rdf:RDF></x:xmpmeta>";

// The upright picture: 8 x 8 blocks of one colour each, different everywhere, so that
// JPEG stores every block exactly alike however it is turned.
Picture blocks(std::int32_t width, std::int32_t height) {
    Picture picture;
    std::string error;
    EXPECT_TRUE(host_app::allocatePicture(picture, width, height, 3, 8, error));
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                host_app::setSampleValue(picture, x, y, c,
                                         float((x / 8 * 40 + y / 8 * 90 + c * 70) % 256));
    return picture;
}

// The picture as a camera held `orientation` stores it.
Picture stored(const Picture& upright, int orientation) {
    const bool turned = orientation >= 5;
    const std::int32_t w = turned ? upright.height : upright.width;
    const std::int32_t h = turned ? upright.width : upright.height;
    Picture picture;
    std::string error;
    EXPECT_TRUE(host_app::allocatePicture(picture, w, h, 3, 8, error));
    const std::int32_t W = upright.width, H = upright.height;
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            std::int32_t ux = x, uy = y;
            switch (orientation) {
                case 2:
                    ux = W - 1 - x;
                    break;
                case 3:
                    ux = W - 1 - x;
                    uy = H - 1 - y;
                    break;
                case 4:
                    uy = H - 1 - y;
                    break;
                case 5:
                    ux = y;
                    uy = x;
                    break;
                case 6:
                    ux = W - 1 - y;
                    uy = x;
                    break;
                case 7:
                    ux = W - 1 - y;
                    uy = H - 1 - x;
                    break;
                case 8:
                    ux = y;
                    uy = H - 1 - x;
                    break;
                default:
                    break;
            }
            for (int c = 0; c < 3; ++c)
                host_app::setSampleValue(picture, x, y, c,
                                         host_app::sampleValue(upright, ux, uy, c));
        }
    return picture;
}

TEST(PicturesUpright, EveryOrientationOfAJpegGivesTheSameWater) {
    const std::string folder = scratchFolder();
    const Picture upright = blocks(64, 48);
    std::vector<std::uint8_t> first;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        Picture picture = stored(upright, orientation);
        picture.metadata.exif = cameraExif(orientation);
        const std::string input = folder + "o" + std::to_string(orientation) + ".jpg";
        const std::string output = folder + "o" + std::to_string(orientation) + ".png";
        write(input, picture);
        const ProgramOutcome outcome =
            runProgram(pluginPath(), "apply " + quoted(input) + " -o " + quoted(output),
                       "TMPDIR=" + quoted(folder) + " ");
        ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
        const Picture result = read(output);
        EXPECT_EQ(result.width, 64);
        EXPECT_EQ(result.height, 48);
        if (orientation == 1)
            first = result.pixels;
        else
            EXPECT_EQ(result.pixels, first);
    }
}

// The EXIF directories stored in an output file, found by their own signature.
ExifDirectories exifOf(const std::vector<std::uint8_t>& file) {
    ExifDirectories exif;
    // JPEG: an APP1 segment that begins "Exif\0\0"; PNG: an eXIf chunk.
    for (const std::string& header : {std::string("Exif\0\0", 6), std::string("eXIf")}) {
        auto at = std::search(file.begin(), file.end(), header.begin(), header.end());
        if (at == file.end()) continue;
        at += std::ptrdiff_t(header.size());
        EXPECT_TRUE(
            host_app::codecs::readExifDirectories({&*at, std::size_t(file.end() - at)}, exif));
        return exif;
    }
    ADD_FAILURE() << "no EXIF block";
    return exif;
}

std::string textOf(const ExifDirectories& exif, std::uint16_t tag) {
    for (const auto* directory : {&exif.main, &exif.exif})
        for (const TiffEntry& entry : *directory)
            if (entry.tag == tag) return std::string(entry.value.begin(), entry.value.end() - 1);
    return {};
}

TEST(PicturesUpright, CameraDataAndXmpReachJpegPngAndTiffWithTheOrientationReset) {
    const std::string folder = scratchFolder();
    Picture picture = stored(blocks(32, 24), 6);
    picture.metadata.exif = cameraExif(6);
    picture.metadata.xmp = kXmp;
    picture.metadata.iptc = {0x1C, 2, 120, 0, 7, 'a', ' ', 'l', 'a', 'k', 'e', '.'};  // a caption
    write(folder + "in.jpg", picture);
    for (const char* format : {"jpg", "png", "tif"}) {
        SCOPED_TRACE(format);
        const std::string output = folder + "out." + format;
        const ProgramOutcome outcome =
            runApply(quoted(folder + "in.jpg") + " -o " + quoted(output));
        ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
        const std::vector<std::uint8_t> bytes = readBytes(output);
        const std::string all(bytes.begin(), bytes.end());
        EXPECT_NE(all.find("<dc:creator>A. Photographer</dc:creator>"), std::string::npos);
        EXPECT_NE(all.find("tiff:Orientation=\"1\""), std::string::npos);
        if (std::string(format) == "tif") {
            // libtiff reads the tags and the EXIF directory where the file says they are.
            TIFF* tiff = TIFFOpen(output.c_str(), "r");
            ASSERT_NE(tiff, nullptr);
            char* model = nullptr;
            std::uint16_t orientation = 0;
            std::uint64_t exifOffset = 0;
            EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_MODEL, &model));
            EXPECT_STREQ(model, "Lake 7");
            EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_ORIENTATION, &orientation));
            EXPECT_EQ(orientation, 1);
            ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_EXIFIFD, &exifOffset));
            ASSERT_TRUE(TIFFReadEXIFDirectory(tiff, exifOffset));
            char* taken = nullptr;
            EXPECT_TRUE(TIFFGetField(tiff, EXIFTAG_DATETIMEORIGINAL, &taken));
            EXPECT_STREQ(taken, "2024:06:01 11:59:58");
            TIFFClose(tiff);
        } else {
            const ExifDirectories exif = exifOf(bytes);
            EXPECT_EQ(textOf(exif, 272), "Lake 7");
            EXPECT_EQ(textOf(exif, 36867), "2024:06:01 11:59:58");
            EXPECT_EQ(host_app::codecs::exifOrientation(exif), 1);
        }
        // Read upright, the result is the picture the camera saw.
        const Picture result = read(output);
        EXPECT_EQ(result.width, 32);
        EXPECT_EQ(result.height, 24);
        EXPECT_EQ(result.metadata.iptc, picture.metadata.iptc);
    }
}

}  // namespace
}  // namespace mirel::testing
