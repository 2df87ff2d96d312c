// Answering file dialogs and small windows from tests on the Qt backend: the
// layer shows Qt's own file dialog, whose parts are found by their object
// names; addresses are caught with a URL handler of the application's, which
// Qt asks before the desktop.
#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <cstdlib>

#include "tests/support/scratch.h"
#include "tests/ui/small_windows.h"

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

QFileDialog& fileDialogOf(void* window) {
    return *static_cast<QFileDialog*>(static_cast<QWidget*>(window));
}

std::string withoutAccessMarkers(const QString& text) {
    QString shown = text;
    shown.remove(QLatin1Char('&'));
    return shown.toStdString();
}

bool commandExists(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

// Takes the addresses in place of the desktop's handler; Qt finds the slot by name.
class UrlHandler : public QObject {
    Q_OBJECT
  public:
    std::vector<std::string> opened;

  public slots:
    void open(const QUrl& url) {
        opened.push_back(url.isLocalFile() ? url.toLocalFile().toStdString()
                                           : url.toString().toStdString());
    }
};

struct UrlCatcher::State {
    UrlHandler handler;
};

std::string FileDialog::title() const {
    return fileDialogOf(window_).windowTitle().toStdString();
}

std::string FileDialog::acceptButtonText() const {
    auto* buttons = fileDialogOf(window_).findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (!buttons) return {};
    for (QAbstractButton* button : buttons->buttons())
        if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            return withoutAccessMarkers(button->text());
    return {};
}

std::vector<std::string> FileDialog::fileTypes() const {
    std::vector<std::string> types;
    auto* combo = fileDialogOf(window_).findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    for (int i = 0; combo && i < combo->count(); ++i)
        types.push_back(combo->itemText(i).toStdString());
    return types;
}

std::string FileDialog::nameField() const {
    auto* edit = fileDialogOf(window_).findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    return edit ? edit->text().toStdString() : std::string();
}

std::string FileDialog::folder() const {
    return fileDialogOf(window_).directory().absolutePath().toStdString() + "/";
}

void FileDialog::enterName(const std::string& path) {
    auto* edit = fileDialogOf(window_).findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (edit) edit->setText(QString::fromStdString(path));
}

bool FileDialog::choose(const std::string& path, bool replace) {
    QFileDialog& dialog = fileDialogOf(window_);
    // Typed in full into the name field, which takes absolute paths; the
    // dialog may still be listing a folder and clear the field once, so the
    // name is typed again until the dialog closes.
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit) return false;
    // The question before a file is replaced is a message box over the dialog.
    bool asked = false;
    QTimer prompt;
    QObject::connect(&prompt, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box->parentWidget() != &dialog) return;
        asked = true;
        QAbstractButton* button = box->button(replace ? QMessageBox::Yes : QMessageBox::No);
        if (button)
            button->click();
        else
            box->reject();
    });
    prompt.start(10);
    for (int attempt = 0; attempt < 50 && dialog.isVisible(); ++attempt) {
        edit->setText(QString::fromStdString(path));
        static_cast<QDialog&>(dialog).accept();
        if (asked && !replace) break;
        if (dialog.isVisible()) QTest::qWait(40);
    }
    prompt.stop();
    if (!dialog.isVisible()) return true;
    dialog.reject();
    return false;
}

void FileDialog::cancel() {
    fileDialogOf(window_).reject();
}

bool FileDialog::selectInList(const std::string& name) {
    auto* view = fileDialogOf(window_).findChild<QListView*>(QStringLiteral("listView"));
    if (!view) return false;
    const QString wanted = QString::fromStdString(name);
    // The dialog lists a folder on a thread of its own; wait for the name.
    for (int attempt = 0; attempt < 200; ++attempt) {
        const QAbstractItemModel* model = view->model();
        const QModelIndex root = view->rootIndex();
        for (int row = 0; model && row < model->rowCount(root); ++row) {
            const QModelIndex index = model->index(row, 0, root);
            if (index.data().toString() != wanted) continue;
            // As the arrow keys move the current entry: the dialog hears of it
            // as of any other change of the file under selection.
            view->setCurrentIndex(index);
            return true;
        }
        QTest::qWait(20);
    }
    return false;
}

gui::Image FileDialog::preview() const {
    auto* area = fileDialogOf(window_).findChild<QWidget*>(QStringLiteral("mirelFilePreview"));
    if (!area) return {};
    QTest::qWait(50);
    return gui::testing::grabClientArea(area);
}

void answerFileDialog(std::function<void(FileDialog&)> answer) {
    whenShown([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
              [answer](QWidget& window) {
                  FileDialog dialog(&window);
                  answer(dialog);
              });
}

void answerModalWindow(std::string_view title, std::function<void(void*)> answer) {
    const QString wanted = QString::fromUtf8(title.data(), qsizetype(title.size()));
    whenShown(
        [wanted]() -> QWidget* {
            QWidget* window = QApplication::activeModalWidget();
            return window && window->windowTitle() == wanted ? window : nullptr;
        },
        [answer](QWidget& window) { answer(&window); });
}

UrlCatcher::UrlCatcher() : state_(std::make_unique<State>()) {
    for (const char* scheme : {"https", "http", "file"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &state_->handler, "open");
}

UrlCatcher::~UrlCatcher() {
    for (const char* scheme : {"https", "http", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

std::vector<std::string> UrlCatcher::opened() const {
    return state_->handler.opened;
}

std::string nativePath(std::string path) {
    return path;
}

ProgramOutcome runProgramPressingInDialog(const std::string& arguments, const std::string& folder,
                                          const std::string& temporaryFolder, gui::testing::Key key,
                                          std::string& whyNot) {
    if (!commandExists("xvfb-run") || !commandExists("xdotool")) {
        whyNot = "needs xvfb-run and xdotool (scripts/setup installs them)";
        return {};
    }
    const std::string keyName = key == gui::testing::Key::Return   ? "Return"
                                : key == gui::testing::Key::Escape ? "Escape"
                                                                   : "Tab";
    const std::string script = sourceDir() + "/tests/ui/press_key_in_dialog.sh";
    // The program must find the X server, not the offscreen platform of the tests.
    const std::string environment = "TMPDIR=" + quoted(temporaryFolder) +
                                    " env -u QT_QPA_PLATFORM xvfb-run -a -s '-screen 0 "
                                    "1280x1024x24' " +
                                    quoted(script) + " " + keyName + " ";
    return runProgram(pluginPath(), arguments, environment, folder);
}

}  // namespace mirel::testing

#include "small_windows_qt.moc"
