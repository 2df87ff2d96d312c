// The main dialog's control table: what kind each control id is, which
// controls pair up, which images and label text each draws, and the ranges
// of the sliders. Looked up by control id, 0 to 199.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace mirel::ui {

constexpr int kControlIdCount = 200;
constexpr int kNoControl = -1;
constexpr int kNoImage = 0;

enum class ControlKind : std::uint8_t {
    None,  // not in the table: takes part in nothing but plain button commands
    Slider,
    ValueField,
    Label,
    HeaderImage,
    DropList,
    IconButton,
    PushButton,
    ColorSwatch,
    LightPad,
    AboutIcon,
    MemoryDot,
    DotPreview,
};

// Slots of ControlSpec::images.
enum ImageSlot : int {
    kImageNormal = 0,
    kImageLarge = 1,  // for dense displays: about twice the normal one's size
    kImageDisabled = 2,
    kImageIcon = 3,  // an icon button's picture
    kImageSlotCount = 4,
};

struct ControlSpec {
    ControlKind kind = ControlKind::None;
    int fieldId = kNoControl;   // a slider's value field
    int sliderId = kNoControl;  // a value field's slider; a slider's own id
    std::array<int, kImageSlotCount> images{};
    int labelIndex = -1;  // a label's text; a colour swatch's prompt text
    int minimum = 0;      // sliders
    int maximum = 0;
};

// The control ids the dialog handles by name.
namespace id {
constexpr int kCancel = 2;
constexpr int kOk = 3;
constexpr int kWaterColor = 7;
constexpr int kPreview = 18;
constexpr int kNextMode = 21;
constexpr int kAboutIcon = 25;
constexpr int kSaveSettings = 26;
constexpr int kInfo = 27;
constexpr int kZoomIn = 32;
constexpr int kZoomOut = 33;
constexpr int kZoomPercent = 34;
constexpr int kLoadSettings = 35;
constexpr int kHtmlExport = 40;
constexpr int kPsdExport = 69;
constexpr int kModeLabel = 70;
constexpr int kRandomSettings = 72;
constexpr int kModeList = 73;
constexpr int kUndo = 74;
constexpr int kNewSeed = 75;
constexpr int kStatusLine = 76;
constexpr int kPlainSettings = 98;
constexpr int kDotPreview = 119;
constexpr int kGlitterColor = 120;
constexpr int kFirstMemoryDot = 121;
constexpr int kLastMemoryDot = 145;
constexpr int kStyleList = 147;
constexpr int kGlitterLabel = 149;
constexpr int kLightPad = 150;
}  // namespace id

// Image resources drawn outside the table's slots.
namespace image_id {
constexpr int kSliderThumb = 120;
constexpr int kSliderThumbLarge = 200;
constexpr int kLightPadDisabledLarge = 305;
constexpr int kLightMarker = 308;
constexpr int kDotPreviewFrame = 217;
constexpr int kEmptyDot = 342;
constexpr int kPanCursor = 107;   // while the preview is dragged
constexpr int kPaneCursor = 109;  // over the preview
}  // namespace image_id

// The entry of `controlId`; kind None for ids outside the table or 0..199.
const ControlSpec& controlSpec(int controlId);
inline ControlKind controlKind(int controlId) {
    return controlSpec(controlId).kind;
}

// The text of a label index; "-undef string-" for an index without one.
std::string_view labelText(int index);

}  // namespace mirel::ui
