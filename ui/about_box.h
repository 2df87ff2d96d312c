// The about box, ABOUTBOX: the about picture and a button that opens the
// maker's web page in the system browser.
#pragma once

#include <string_view>

namespace mirel {
struct FilterContext;
}

namespace mirel::ui {

constexpr int kAboutPictureArea = 222;
constexpr int kAboutPicture = 312;  // JPEG
constexpr int kVisitWebsiteButton = 10;

// The address the button opens.
std::string_view makerWebAddress();

// Opens the box beside the main dialog unless one is open already. False
// when one is open or it cannot be shown.
bool openAboutBox(FilterContext& ctx);
// The box of the host's about command: modal, over no window of ours.
void showAboutBoxModal(FilterContext& ctx);
// Closes an open box, as the main dialog's OK and Cancel do.
void closeAboutBox(FilterContext& ctx);

}  // namespace mirel::ui
