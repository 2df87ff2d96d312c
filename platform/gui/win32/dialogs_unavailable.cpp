// The Win32 backend before its dialogs exist: a dialog of the filter cannot be
// shown, and says so in the system's message box over the host's window, so a
// paint program gets the filter's error instead of a crash. Files, colours and
// resource pictures are not asked for without a dialog.
#include <windows.h>

#include "platform/gui/color_dialog.h"
#include "platform/gui/dialog.h"
#include "platform/gui/file_dialog.h"
#include "platform/gui/image.h"

namespace mirel::gui {

class DialogWindow {};

namespace {

constexpr char kUnavailableTitle[] = "Mirel";
constexpr char kUnavailableText[] =
    "This build of Mirel cannot show its dialog on Windows yet.\n\n"
    "Run the filter from a recorded action, or with the mirel program and a settings "
    "file (mirel apply --settings), to choose its settings.";

}  // namespace

std::string DialogHandle::title() const {
    return {};
}
std::vector<int> DialogHandle::controlIds() const {
    return {};
}
bool DialogHandle::hasControl(int) const {
    return false;
}
std::string DialogHandle::controlText(int) const {
    return {};
}
bool DialogHandle::setControlText(int, std::string_view) {
    return false;
}
bool DialogHandle::enableControl(int, bool) {
    return false;
}
bool DialogHandle::isControlEnabled(int) const {
    return false;
}
bool DialogHandle::isChecked(int) const {
    return false;
}
bool DialogHandle::setChecked(int, bool) {
    return false;
}
bool DialogHandle::addComboItem(int, std::string_view) {
    return false;
}
bool DialogHandle::clearCombo(int) {
    return false;
}
int DialogHandle::comboCount(int) const {
    return 0;
}
int DialogHandle::comboSelection(int) const {
    return -1;
}
bool DialogHandle::setComboSelection(int, int) {
    return false;
}
bool DialogHandle::setButtonImage(int, const Image&) {
    return false;
}
bool DialogHandle::setControlValue(int, int) {
    return false;
}
int DialogHandle::controlValue(int) const {
    return 0;
}
Rect DialogHandle::controlRect(int) const {
    return {};
}
Rect DialogHandle::clientRect() const {
    return {};
}
Rect DialogHandle::dialogUnitsToPixels(const Rect&) const {
    return {};
}
void DialogHandle::redraw(const Rect&) {}
void DialogHandle::redrawAll() {}
void DialogHandle::repaintNow() {}
void DialogHandle::setCursor(const Cursor&) {}
Rect DialogHandle::windowRect() const {
    return {};
}
Rect DialogHandle::ownerClientRect() const {
    return {};
}
Rect DialogHandle::screenWorkArea() const {
    return {};
}
int DialogHandle::captionButtonWidth() const {
    return 0;
}
void DialogHandle::moveWindow(Point) {}
bool DialogHandle::setTimer(int, int) {
    return false;
}
bool DialogHandle::killTimer(int) {
    return false;
}
void DialogHandle::postCommand(int, int) {}
bool DialogHandle::clickButton(int) {
    return false;
}
void DialogHandle::requestClose() {}
void DialogHandle::endDialog(int) {}
bool DialogHandle::hasEnded() const {
    return true;
}
void* DialogHandle::nativeWindow() const {
    return nullptr;
}

int runModalDialog(const DialogTemplate&, DialogProcedure&, void* ownerWindow) {
    // Only where a person can read it: a program without a desktop gets the failure alone.
    if (ownerWindow || ::GetSystemMetrics(SM_CMONITORS) > 0)
        messageDialog(kUnavailableTitle, kUnavailableText, ownerWindow);
    return kDialogFailed;
}

void* showModelessDialog(const DialogTemplate&, std::unique_ptr<DialogProcedure>, void*) {
    return nullptr;
}

bool dialogWindowExists(void*) {
    return false;
}

bool bringDialogToFront(void*) {
    return false;
}

void requestDialogClose(void*) {}

bool runFileDialog(const FileDialogRequest&, void*, std::string&) {
    return false;
}

bool chooseColor(Rgb&, std::span<Rgb, kCustomColorCount>, void*) {
    return false;
}

bool decodeImage(std::span<const std::uint8_t>, Image& out, Point* hotSpot) {
    out = Image{};
    if (hotSpot) *hotSpot = Point{};
    return false;
}

}  // namespace mirel::gui
