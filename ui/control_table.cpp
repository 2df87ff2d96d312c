// The main dialog's control table and label texts.
#include "ui/control_table.h"

namespace mirel::ui {

namespace {

struct SliderRow {
    int slider, field, label, labelIndex, minimum, maximum, track;
};

// The twelve slider rows: slider, value field, label, label text, range, track image.
constexpr SliderRow kSliderRows[] = {
    {37, 86, 36, 11, 0, 100, 102},      // Horizon
    {57, 91, 56, 28, 0, 100, 102},      // Offset
    {39, 85, 38, 12, 0, 100, 102},      // Perspective
    {103, 104, 102, 6, 0, 100, 102},    // Altitude
    {152, 153, 151, 37, -90, 90, 102},  // Spin, in degrees
    {59, 92, 58, 18, 0, 100, 101},      // Waviness
    {63, 94, 62, 22, 0, 100, 101},      // Complexity
    {65, 81, 64, 23, 0, 100, 101},      // Brilliance
    {61, 93, 60, 19, 0, 100, 101},      // Blur
    {55, 90, 54, 27, 0, 100, 102},      // Size
    {12, 79, 22, 9, 0, 100, 102},       // Height
    {51, 83, 50, 17, 0, 100, 102},      // Undulation
};

struct IconRow {
    int button, icon;
};

// The icon buttons and their icons.
constexpr IconRow kIconRows[] = {
    {21, 188}, {26, 186}, {27, 236}, {32, 5},   {33, 169}, {35, 185},
    {40, 235}, {69, 234}, {72, 184}, {74, 187}, {75, 164}, {98, 225},
};

// The product's emblem that the about icon shows.
constexpr int kAboutEmblem = 189;

// The swatches ask the host's colour picker with this prompt.
constexpr int kSwatchPrompt = 35;

constexpr std::array<ControlSpec, kControlIdCount> buildTable() {
    std::array<ControlSpec, kControlIdCount> table{};
    for (const SliderRow& row : kSliderRows) {
        ControlSpec& slider = table[row.slider];
        slider.kind = ControlKind::Slider;
        slider.fieldId = row.field;
        slider.sliderId = row.slider;
        slider.images[kImageNormal] = row.track;
        slider.minimum = row.minimum;
        slider.maximum = row.maximum;
        ControlSpec& field = table[row.field];
        field.kind = ControlKind::ValueField;
        field.sliderId = row.slider;
        field.minimum = row.minimum;
        field.maximum = row.maximum;
        ControlSpec& label = table[row.label];
        label.kind = ControlKind::Label;
        label.labelIndex = row.labelIndex;
    }
    const int otherLabels[][2] = {
        {146, 35}, {114, 25}, {id::kGlitterLabel, 36}, {id::kModeLabel, 13}};
    for (const auto& [control, index] : otherLabels) {
        table[control].kind = ControlKind::Label;
        table[control].labelIndex = index;
    }
    table[id::kStatusLine].kind = ControlKind::Label;  // draws the settings name, not a label text

    const int headers[][2] = {{43, 344}, {46, 343}, {47, 345}};
    for (const auto& [control, image] : headers) {
        table[control].kind = ControlKind::HeaderImage;
        table[control].images[kImageNormal] = image;
    }
    table[id::kStyleList].kind = ControlKind::DropList;
    table[id::kModeList].kind = ControlKind::DropList;
    for (const IconRow& row : kIconRows) {
        table[row.button].kind = ControlKind::IconButton;
        table[row.button].images[kImageIcon] = row.icon;
    }
    table[id::kCancel].kind = ControlKind::PushButton;
    table[id::kOk].kind = ControlKind::PushButton;
    for (int swatch : {id::kWaterColor, id::kGlitterColor}) {
        table[swatch].kind = ControlKind::ColorSwatch;
        table[swatch].labelIndex = kSwatchPrompt;
    }
    ControlSpec& pad = table[id::kLightPad];
    pad.kind = ControlKind::LightPad;
    pad.images[kImageNormal] = 156;
    pad.images[kImageLarge] = 304;
    pad.images[kImageDisabled] = 306;
    table[id::kAboutIcon].kind = ControlKind::AboutIcon;
    table[id::kAboutIcon].images[kImageIcon] = kAboutEmblem;
    for (int dot = id::kFirstMemoryDot; dot <= id::kLastMemoryDot; ++dot)
        table[dot].kind = ControlKind::MemoryDot;
    table[id::kDotPreview].kind = ControlKind::DotPreview;
    table[id::kDotPreview].images[kImageNormal] = image_id::kDotPreviewFrame;
    return table;
}

constexpr std::array<ControlSpec, kControlIdCount> kTable = buildTable();
constexpr ControlSpec kNoSpec{};

}  // namespace

const ControlSpec& controlSpec(int controlId) {
    if (controlId < 0 || controlId >= kControlIdCount) return kNoSpec;
    return kTable[std::size_t(controlId)];
}

std::string_view labelText(int index) {
    switch (index) {
        case 6:
            return "Altitude";
        case 9:
            return "Height";
        case 11:
            return "Horizon";
        case 12:
            return "Perspective";
        case 13:
            return "Glue";
        case 17:
            return "Undulation";
        case 18:
            return "Waviness";
        case 19:
            return "Blur";
        case 22:
            return "Complexity";
        case 23:
            return "Brilliance";
        case 25:
            return "Color";
        case 27:
            return "Size";
        case 28:
            return "Offset";
        case 35:
            return "Style";
        case 36:
            return "Glitter";
        case 37:
            return "Spin";
        default:
            return "-undef string-";
    }
}

}  // namespace mirel::ui
