// The Qt backend's message dialog: a template sized to its wrapped text, with
// one OK button.
#include <QFontMetrics>
#include <QRect>
#include <algorithm>
#include <string>

#include "platform/gui/dialog.h"
#include "platform/gui/qt/qt_runtime.h"

namespace mirel::gui {

namespace {

// Message dialog layout, in dialog units of MS Sans Serif 8.
constexpr int kMessageMargin = 10;
constexpr int kMessageTextWidth = 240;
constexpr int kMessageButtonWidth = 50;
constexpr int kMessageButtonHeight = 14;
constexpr int kMessageMinimumWidth = 120;

}  // namespace

int messageDialog(std::string_view title, std::string_view text, void* ownerWindow) {
    if (!ensureApplication()) return kDialogFailed;
    DialogTemplate dialog;
    dialog.name = "MESSAGE";
    dialog.title = std::string(title);

    // Size the text box to the wrapped text, then convert back to dialog units.
    const BaseUnits units = baseUnitsFor(dialog.fontName, dialog.fontPoints);
    const QFontMetrics metrics(dialogFont(dialog.fontName, dialog.fontPoints));
    const int wrapPixels = mulDivRound(kMessageTextWidth, units.x, 4);
    const QRect bounds =
        metrics.boundingRect(QRect(0, 0, wrapPixels, 1 << 20), Qt::TextWordWrap, fromUtf8(text));
    const int textWidth = std::max(1, (bounds.width() * 4 + units.x - 1) / units.x + 1);
    const int textHeight = std::max(8, (bounds.height() * 8 + units.y - 1) / units.y + 1);

    dialog.width = std::max(kMessageMinimumWidth, textWidth + 2 * kMessageMargin);
    dialog.height = textHeight + 3 * kMessageMargin + kMessageButtonHeight;
    ControlTemplate message;
    message.id = kUnaddressedId;
    message.controlClass = ControlClass::StaticText;
    // Message texts are shown as they are: no '&' access markers.
    for (char c : text) {
        if (c == '&') message.text += '&';
        message.text += c;
    }
    message.rect = {kMessageMargin, kMessageMargin, dialog.width - 2 * kMessageMargin, textHeight};
    ControlTemplate ok;
    ok.id = kIdOk;
    ok.controlClass = ControlClass::DefaultPushButton;
    ok.text = "OK";
    ok.rect = {(dialog.width - kMessageButtonWidth) / 2, textHeight + 2 * kMessageMargin,
               kMessageButtonWidth, kMessageButtonHeight};
    dialog.controls = {message, ok};

    DialogProcedure plain;
    return runModalDialog(dialog, plain, ownerWindow);
}

}  // namespace mirel::gui
