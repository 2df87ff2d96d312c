// Basic types and constants of the Photoshop filter plug-in interface, laid
// out as the published interface is on 64-bit Windows. Fixed-width types only.
#pragma once

#include <cstdint>

namespace mirel::pi {

using Boolean = std::uint8_t;
using OSErr = std::int16_t;
using OSType = std::uint32_t;
using Fixed = std::int32_t;  // 16.16
using Ptr = char*;
using Handle = char**;
using Str255 = unsigned char[256];  // Pascal string

// Four-character codes are stored as native 32-bit values: fourCC("8BIM") is
// 0x3842494D, which lies in little-endian memory as the bytes "MIB8".
constexpr std::uint32_t fourCC(const char (&code)[5]) {
    return (std::uint32_t(std::uint8_t(code[0])) << 24) |
           (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

constexpr Fixed kFixedOne16 = 0x10000;  // 1.0 in 16.16

struct Point {
    std::int16_t v, h;
};
struct Rect {
    std::int16_t top, left, bottom, right;
};
struct VPoint {
    std::int32_t v, h;
};
struct VRect {
    std::int32_t top, left, bottom, right;
};
struct PSRGBColor {
    std::uint16_t red, green, blue;
};
using FilterColor = std::uint8_t[4];
using PlaneMap = std::int16_t[16];

struct PlatformData {
    std::intptr_t hwnd;
};

struct PlugInMonitor {
    Fixed gamma, redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY, ambient;
};

static_assert(sizeof(Point) == 4 && sizeof(Rect) == 8 && sizeof(VRect) == 16);
static_assert(sizeof(PSRGBColor) == 6 && sizeof(PlugInMonitor) == 40);

// ---- Selectors --------------------------------------------------------------

enum FilterSelector : std::int16_t {
    kFilterSelectorAbout = 0,
    kFilterSelectorParameters = 1,
    kFilterSelectorPrepare = 2,
    kFilterSelectorStart = 3,
    kFilterSelectorContinue = 4,
    kFilterSelectorFinish = 5,
};

// ---- Filter cases and data handling ----------------------------------------

enum FilterCase : std::int16_t {
    kFilterCaseUnsupported = -1,
    kFilterCaseNotSet = 0,
    kFilterCaseFlatImageNoSelection = 1,
    kFilterCaseFlatImageWithSelection = 2,
    kFilterCaseFloatingSelection = 3,
    kFilterCaseEditableTransparencyNoSelection = 4,
    kFilterCaseEditableTransparencyWithSelection = 5,
    kFilterCaseProtectedTransparencyNoSelection = 6,
    kFilterCaseProtectedTransparencyWithSelection = 7,
};

enum FilterDataHandling : std::int8_t {
    kFilterDataHandlingCantFilter = 0,
    kFilterDataHandlingNone = 1,
    kFilterDataHandlingBlackMat = 2,
    kFilterDataHandlingGrayMat = 3,
    kFilterDataHandlingWhiteMat = 4,
    kFilterDataHandlingDefringe = 5,
    kFilterDataHandlingBlackZap = 6,
    kFilterDataHandlingGrayZap = 7,
    kFilterDataHandlingWhiteZap = 8,
    kFilterDataHandlingFillMask = 9,
    kFilterDataHandlingBackgroundZap = 10,
    kFilterDataHandlingForegroundZap = 11,
};

// flags1 of a filter case entry
constexpr std::uint8_t kFilterCaseDontCopyToDestination = 0x01;
constexpr std::uint8_t kFilterCaseWorksWithBlankData = 0x02;
constexpr std::uint8_t kFilterCaseFiltersLayerMask = 0x04;
constexpr std::uint8_t kFilterCaseWritesOutsideSelection = 0x08;

// ---- Image modes ------------------------------------------------------------

enum ImageMode : std::int16_t {
    kModeBitmap = 0,
    kModeGrayScale = 1,
    kModeIndexedColor = 2,
    kModeRGBColor = 3,
    kModeCMYKColor = 4,
    kModeHSLColor = 5,
    kModeHSBColor = 6,
    kModeMultichannel = 7,
    kModeDuotone = 8,
    kModeLabColor = 9,
    kModeGray16 = 10,
    kModeRGB48 = 11,
    kModeLab48 = 12,
    kModeCMYK64 = 13,
    kModeDeepMultichannel = 14,
    kModeDuotone16 = 15,
    kModeRGB96 = 16,
    kModeGray32 = 17,
};

// ---- Padding, sampling, layout ----------------------------------------------

constexpr std::int16_t kPaddingEdgeReplication = -1;
constexpr std::int16_t kPaddingDoesNotWant = -2;
constexpr std::int16_t kPaddingErrorOnBoundsException = -3;

constexpr char kSamplingNone = 0;
constexpr char kSamplingIntegral = 1;
constexpr char kSamplingFractional = 2;

constexpr std::int16_t kLayoutTraditional = 0;

// ---- Result codes -----------------------------------------------------------

constexpr OSErr kNoErr = 0;
constexpr OSErr kReadErr = -19;
constexpr OSErr kWritErr = -20;
constexpr OSErr kOpenErr = -23;
constexpr OSErr kDskFulErr = -34;
constexpr OSErr kIoErr = -36;
constexpr OSErr kEofErr = -39;
constexpr OSErr kFnfErr = -43;
constexpr OSErr kParamErr = -50;
constexpr OSErr kMemFullErr = -108;
constexpr OSErr kNilHandleErr = -109;
constexpr OSErr kUserCanceledErr = -128;
constexpr OSErr kErrMissingParameter = -1715;
constexpr OSErr kFilterBadParameters = -30100;
constexpr OSErr kFilterBadMode = -30101;
constexpr OSErr kErrPlugInHostInsufficient = -30900;
constexpr OSErr kErrPlugInPropertyUndefined = -30901;
constexpr OSErr kErrReportString = -30904;
constexpr OSErr kErrHostVersionIncompatible = -30905;

// ---- Signatures ---------------------------------------------------------------

constexpr OSType kPhotoshopSignature = fourCC("8BIM");
constexpr OSType kFilterKind = fourCC("8BFM");
constexpr std::int32_t kLatestFilterVersion = 0x00040000;  // 4.0 as (major << 16) | minor

}  // namespace mirel::pi
