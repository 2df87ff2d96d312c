// The host program refusing what it cannot use: one clear line, a non-zero
// exit and no output file (nor a temporary one left beside it).
#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>
#include <vector>

#include "tests/host_exchange/exchange_test_support.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

using host_app::Picture;

constexpr int kExitCancelled = 1;
constexpr int kExitBadInput = 2;

struct Folder {
    std::string path = scratchFolder();
    std::string operator/(const std::string& name) const { return path + name; }
};

void writeTestPicture(const std::string& path, const Picture& picture) {
    std::string error;
    ASSERT_TRUE(host_app::writePicture(path, picture, error)) << error;
}

// Runs `apply` and checks the refusal: exit code, one line naming the
// problem, and a folder that holds exactly what it held before.
void expectRefusal(const Folder& folder, const std::string& plugin, const std::string& arguments,
                   int exitCode, const std::string& expected, const std::string& environment = "") {
    const std::vector<std::string> before = folderEntries(folder.path);
    const ProgramOutcome outcome = runProgram(plugin, "apply " + arguments, environment);
    EXPECT_EQ(outcome.exitCode, exitCode) << outcome.output;
    EXPECT_NE(outcome.output.find(expected), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find('\n'), outcome.output.size() - 1) << outcome.output;
    EXPECT_EQ(outcome.output.rfind("mirel: ", 0), 0u) << outcome.output;
    EXPECT_EQ(folderEntries(folder.path), before);
}

std::string applyArguments(const std::string& input, const std::string& output,
                           const std::string& extra = "") {
    return quoted(input) + " -o " + quoted(output) + (extra.empty() ? "" : " " + extra);
}

TEST(BadInput, MissingEmptyTruncatedAndCorruptPicturesAreRefused) {
    const Folder folder;
    const std::string out = folder / "out.png";
    expectRefusal(folder, identityFilterPath(), applyArguments(folder / "missing.png", out),
                  kExitBadInput, "missing.png: No such file or directory");

    writeBytes(folder / "empty.png", {});
    expectRefusal(folder, identityFilterPath(), applyArguments(folder / "empty.png", out),
                  kExitBadInput, "empty.png: the file is empty");

    writeBytes(folder / "notes.png", {'h', 'e', 'l', 'l', 'o', '\n'});
    expectRefusal(folder, identityFilterPath(), applyArguments(folder / "notes.png", out),
                  kExitBadInput, "not a PNG, JPEG or TIFF picture");

    for (const char* extension : {"png", "jpg", "tif"}) {
        SCOPED_TRACE(extension);
        const std::string whole = folder / (std::string("whole.") + extension);
        writeTestPicture(whole, patternPicture(64, 64, 3, 8));
        std::vector<std::uint8_t> bytes = readBytes(whole);
        const std::string cut = folder / (std::string("cut.") + extension);
        writeBytes(cut, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
        expectRefusal(folder, identityFilterPath(), applyArguments(cut, out), kExitBadInput,
                      "cut.");

        // The signature survives, everything after it is noise.
        for (std::size_t i = 16; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 7919 >> 3);
        const std::string noise = folder / (std::string("noise.") + extension);
        writeBytes(noise, bytes);
        expectRefusal(folder, identityFilterPath(), applyArguments(noise, out), kExitBadInput,
                      "noise.");
    }
}

TEST(BadInput, UnsupportedKindsAreRefused) {
    const Folder folder;
    const std::string cmyk = folder / "cmyk.tif";
    TIFF* tiff = TIFFOpen(cmyk.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 4);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 2);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 2);
    std::vector<std::uint8_t> row(16, 100);
    for (std::uint32_t y = 0; y < 2; ++y) ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), y, 0), 1);
    TIFFClose(tiff);
    expectRefusal(folder, identityFilterPath(), applyArguments(cmyk, folder / "out.tif"),
                  kExitBadInput, "CMYK TIFF pictures are not supported");
}

TEST(BadInput, MasksMustBeGreyAndOfThePicturesSize) {
    const Folder folder;
    writeTestPicture(folder / "in.png", patternPicture(30, 20, 3, 8));
    writeTestPicture(folder / "small.png", patternPicture(30, 19, 1, 8));
    writeTestPicture(folder / "colour.png", patternPicture(30, 20, 3, 8));
    expectRefusal(folder, identityFilterPath(),
                  applyArguments(folder / "in.png", folder / "out.png",
                                 "--mask " + quoted(folder / "small.png")),
                  kExitBadInput, "the mask is 30 x 19 pixels but the picture is 30 x 20");
    expectRefusal(folder, identityFilterPath(),
                  applyArguments(folder / "in.png", folder / "out.png",
                                 "--mask " + quoted(folder / "colour.png")),
                  kExitBadInput, "the mask is a colour picture");
    expectRefusal(folder, identityFilterPath(),
                  applyArguments(folder / "in.png", folder / "out.png",
                                 "--mask " + quoted(folder / "none.png")),
                  kExitBadInput, "none.png: No such file or directory");

    // A 16-bit grey mask converts.
    Picture deepMask;
    std::string error;
    ASSERT_TRUE(host_app::allocatePicture(deepMask, 30, 20, 1, 16, error));
    writeTestPicture(folder / "deep.png", deepMask);
    const ProgramOutcome outcome = runProgram(
        identityFilterPath(), "apply " + applyArguments(folder / "in.png", folder / "out.png",
                                                        "--mask " + quoted(folder / "deep.png")));
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
}

TEST(BadInput, OutputsThatCannotBeWrittenLeaveNothingBehind) {
    const Folder folder;
    writeTestPicture(folder / "in.png", patternPicture(30, 20, 3, 8));
    writeTestPicture(folder / "float.tif", patternPicture(30, 20, 3, 32));
    writeTestPicture(folder / "deep.png", patternPicture(30, 20, 3, 16));
    expectRefusal(folder, identityFilterPath(),
                  applyArguments(folder / "in.png", folder / "no/such/folder/out.png"),
                  kExitBadInput, "does not exist");
    expectRefusal(folder, identityFilterPath(),
                  applyArguments(folder / "in.png", folder / "out.bmp"), kExitBadInput,
                  "unknown file type");
    // A folder takes the result under the input's name, but never over the input.
    expectRefusal(folder, identityFilterPath(), applyArguments(folder / "in.png", folder.path),
                  kExitBadInput, "would replace its own input");
    // Found before the filter runs: the kind does not fit the format.
    expectRefusal(folder, identityFilterPath(),
                  applyArguments(folder / "float.tif", folder / "out.png"), kExitBadInput,
                  "PNG cannot hold 32-bit float pictures");
    expectRefusal(folder, identityFilterPath(),
                  applyArguments(folder / "deep.png", folder / "out.jpg"), kExitBadInput,
                  "JPEG holds only 8-bit pictures");
}

TEST(BadInput, CancelledRunsWriteNothing) {
    const Folder folder;
    writeTestPicture(folder / "in.png", patternPicture(30, 150, 3, 8));
    const std::string arguments = applyArguments(folder / "in.png", folder / "out.png");
    expectRefusal(folder, identityFilterPath(), arguments, kExitCancelled, "cancelled",
                  "MIREL_TEST_FILTER=interrupt ");
    expectRefusal(folder, identityFilterPath(), arguments, kExitCancelled, "cancelled",
                  "MIREL_TEST_FILTER=cancel ");
}

}  // namespace
}  // namespace mirel::testing
