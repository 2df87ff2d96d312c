// The Qt backend's open and save dialogs: Qt's own file dialog (not a platform
// theme's native one, which could neither carry our preview nor be owned by
// our windows), with the caller's preview area as a column beside the list.
#include "platform/gui/file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "platform/gui/qt/painter_surface.h"
#include "platform/gui/qt/qt_runtime.h"

namespace mirel::gui {

namespace {

// The object name tests and tools find the preview area by.
constexpr const char* kPreviewObjectName = "mirelFilePreview";

QWidget* ownerWidget(void* owner) {
    if (!owner) return nullptr;
    for (QWidget* widget : QApplication::allWidgets())
        if (widget == owner) return widget;
    return nullptr;
}

class PreviewArea final : public QFrame {
  public:
    PreviewArea(const FilePreview& preview, QWidget* parent) : QFrame(parent), preview_(preview) {
        setObjectName(QString::fromLatin1(kPreviewObjectName));
        const BaseUnits units = baseUnitsFor("MS Sans Serif", 8);
        const Rect pixels =
            dialogUnitsToPixels({0, 0, preview.area.width, preview.area.height}, units);
        setFixedSize(std::max(1, pixels.width), std::max(1, pixels.height));
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.setClipRegion(event->region());
        PainterSurface surface(painter);
        if (preview_.paint) preview_.paint(surface, {0, 0, width(), height()});
    }

  private:
    const FilePreview& preview_;
};

// Centred over the owner's window, never at a negative position.
void centreOver(QFileDialog& dialog, const QWidget* owner) {
    if (!owner) return;
    dialog.adjustSize();
    const QRect frame = owner->window()->frameGeometry();
    const QSize size = dialog.size();
    const int x = std::max(0, frame.x() + (frame.width() - size.width()) / 2);
    const int y = std::max(0, frame.y() + (frame.height() - size.height()) / 2);
    dialog.move(x, y);
}

}  // namespace

bool runFileDialog(const FileDialogRequest& request, void* ownerWindow, std::string& path) {
    if (!ensureApplication()) return false;
    QWidget* owner = ownerWidget(ownerWindow);
    QFileDialog dialog(owner, fromUtf8(request.title), fromUtf8(request.initialFolder));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const bool open = request.kind == FileDialogKind::Open;
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // Qt asks before an existing file is chosen for saving unless told not to.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, open);
    if (!request.typeDescription.empty()) {
        // Qt reads the patterns from the parentheses; a description without
        // them gets the pattern appended.
        QString filter = fromUtf8(request.typeDescription);
        if (!filter.contains(QLatin1Char('('))) filter += " (" + fromUtf8(request.pattern) + ")";
        dialog.setNameFilter(filter);
    }
    if (!request.defaultExtension.empty())
        dialog.setDefaultSuffix(fromUtf8(request.defaultExtension));
    if (!request.initialName.empty()) dialog.selectFile(fromUtf8(request.initialName));

    if (open && request.preview) {
        auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
        if (grid) {
            auto* area = new PreviewArea(*request.preview, &dialog);
            grid->addWidget(area, 0, grid->columnCount(), grid->rowCount(), 1,
                            Qt::AlignTop | Qt::AlignHCenter);
            QObject::connect(&dialog, &QFileDialog::currentChanged, area,
                             [&request, area](const QString& current) {
                                 const QFileInfo info(current);
                                 const std::string selected =
                                     info.isFile() ? info.absoluteFilePath().toStdString()
                                                   : std::string();
                                 if (request.preview->selectionChanged)
                                     request.preview->selectionChanged(selected);
                                 area->update();
                             });
        }
    }
    centreOver(dialog, owner);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return false;
    path = QFileInfo(chosen.front()).absoluteFilePath().toStdString();
    return true;
}

}  // namespace mirel::gui
