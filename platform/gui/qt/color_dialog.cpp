// The Qt backend's colour dialog.
#include "platform/gui/color_dialog.h"

#include <QApplication>
#include <QColor>
#include <QColorDialog>
#include <QWidget>

#include "platform/gui/qt/qt_runtime.h"

namespace mirel::gui {

namespace {

QWidget* ownerWidget(void* owner) {
    if (!owner) return nullptr;
    for (QWidget* widget : QApplication::allWidgets())
        if (widget == owner) return widget;
    return nullptr;
}

}  // namespace

bool chooseColor(Rgb& color, std::span<Rgb, kCustomColorCount> customColors, void* ownerWindow) {
    if (!ensureApplication()) return false;
    // Qt keeps one set of custom colours for the process; the caller's set
    // is the one shown and the one updated.
    for (int i = 0; i < kCustomColorCount; ++i) {
        const Rgb& c = customColors[i];
        QColorDialog::setCustomColor(i, QColor(c.red, c.green, c.blue));
    }
    QColorDialog dialog(QColor(color.red, color.green, color.blue), ownerWidget(ownerWindow));
    // Qt's own widgets: a platform theme's native dialog could not be owned
    // by our window nor be driven by tests.
    dialog.setOption(QColorDialog::DontUseNativeDialog, true);
    const bool chosen = dialog.exec() == QDialog::Accepted;
    for (int i = 0; i < kCustomColorCount; ++i) {
        const QColor c = QColorDialog::customColor(i);
        customColors[i] = {std::uint8_t(c.red()), std::uint8_t(c.green()), std::uint8_t(c.blue())};
    }
    if (!chosen) return false;
    const QColor picked = dialog.selectedColor();
    if (!picked.isValid()) return false;
    color = {std::uint8_t(picked.red()), std::uint8_t(picked.green()), std::uint8_t(picked.blue())};
    return true;
}

}  // namespace mirel::gui
