// The PSD export from the main dialog: the options dialog CHOOSEPSDWITHSIZE
// (the document's size), the save dialog, and the progress window
// MONDO_PROGRESS in whose timer the export runs.
#pragma once

#include <cstdint>
#include <string_view>

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

// Control ids of the options dialog.
constexpr int kPsdSameSize = 10;
constexpr int kPsdSameProportions = 11;
constexpr int kPsdCustomSize = 12;
constexpr int kPsdWidthField = 3;
constexpr int kPsdHeightField = 4;
// And of the progress window, with its timer.
constexpr int kProgressPercent = 2;
constexpr int kProgressTimerId = 993;
constexpr int kProgressTimerMs = 1000;

// A size field as OK reads it: every character but digits and signs dropped,
// the rest read as a whole number (what cannot be read is 0), then limited to
// 2..30000.
std::int32_t readSizeField(std::string_view text);

// The side that keeps the picture's proportions: `otherInput` x `typed` /
// `typedInput` in whole numbers; `current` when `typedInput` is 0.
std::int32_t proportionalSide(std::int32_t otherInput, std::int32_t typed, std::int32_t typedInput,
                              std::int32_t current);

// Button 69: the options, the save dialog proposing "Mirel result.psd", and
// the export with its progress window. Cancelling either dialog writes
// nothing. Does nothing while a file dialog is open.
void runPsdExport(FilterContext& ctx);

}  // namespace mirel::ui
