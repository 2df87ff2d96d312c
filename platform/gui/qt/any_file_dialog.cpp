// The Qt backend's open dialog for picking a folder by one of its files.
#include "platform/gui/any_file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QStringList>
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

bool chooseAnyFile(std::string_view title, const std::string& startFolder, void* ownerWindow,
                   std::string& chosen) {
    if (!ensureApplication()) return false;
    QFileDialog dialog(ownerWidget(ownerWindow), fromUtf8(title), fromUtf8(startFolder));
    // Qt's own dialog: it can be owned by our window and driven by tests.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return false;
    chosen = files.front().toStdString();
    return true;
}

}  // namespace mirel::gui
