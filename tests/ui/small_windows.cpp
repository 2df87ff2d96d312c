// Answering file dialogs and small windows from tests.
#include "tests/ui/small_windows.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QTimer>
#include <chrono>

namespace mirel::testing {

namespace {

// Polls for a window every few milliseconds and answers it once.
void whenShown(std::function<QWidget*()> find, std::function<void(QWidget&)> answer) {
    auto* timer = new QTimer(QApplication::instance());
    const auto started = std::chrono::steady_clock::now();
    QObject::connect(timer, &QTimer::timeout, [timer, started, find, answer] {
        QWidget* window = find();
        if (!window || !window->isVisible()) {
            if (std::chrono::steady_clock::now() - started > std::chrono::seconds(20)) {
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        answer(*window);
    });
    timer->start(10);
}

}  // namespace

void answerFileDialog(std::function<void(QFileDialog&)> answer) {
    whenShown([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
              [answer](QWidget& window) { answer(static_cast<QFileDialog&>(window)); });
}

void answerModalWindow(const QString& title, std::function<void(QWidget&)> answer) {
    whenShown(
        [title]() -> QWidget* {
            QWidget* window = QApplication::activeModalWidget();
            return window && window->windowTitle() == title ? window : nullptr;
        },
        answer);
}

bool chooseInFileDialog(QFileDialog& dialog, const std::string& path) {
    // Typed in full into the name field, which takes absolute paths; the
    // dialog may still be listing a folder and clear the field once, so the
    // name is typed again until the dialog closes.
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit) return false;
    for (int attempt = 0; attempt < 50 && dialog.isVisible(); ++attempt) {
        edit->setText(QString::fromStdString(path));
        static_cast<QDialog&>(dialog).accept();
        if (dialog.isVisible()) QTest::qWait(40);
    }
    if (!dialog.isVisible()) return true;
    dialog.reject();
    return false;
}

QWidgetList windowsTitled(const QString& title) {
    QWidgetList found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowTitle() == title) found << window;
    return found;
}

bool selectFileInList(QFileDialog& dialog, const QString& name) {
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    if (!view) return false;
    // The dialog lists a folder on a thread of its own; wait for the name.
    for (int attempt = 0; attempt < 200; ++attempt) {
        const QAbstractItemModel* model = view->model();
        const QModelIndex root = view->rootIndex();
        for (int row = 0; model && row < model->rowCount(root); ++row) {
            const QModelIndex index = model->index(row, 0, root);
            if (index.data().toString() != name) continue;
            // As the arrow keys move the current entry: the dialog hears of it
            // as of any other change of the file under selection.
            view->setCurrentIndex(index);
            return true;
        }
        QTest::qWait(20);
    }
    return false;
}

UrlCatcher::UrlCatcher() {
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
}

UrlCatcher::~UrlCatcher() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

}  // namespace mirel::testing
