// The Qt backend's runtime: the process's one QApplication, font stand-ins and
// dialog base units.
#include "platform/gui/qt/qt_runtime.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mirel::gui {

namespace {

constexpr int kDesignDpi = 96;
constexpr BaseUnits kMsSansSerif8 = {6, 13};
// The system averages the widths of these letters to get the horizontal base unit.
constexpr const char* kAverageWidthLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

bool isMsSansSerif(std::string_view name) {
    return name == "MS Sans Serif" || name == "MS Shell Dlg" || name == "MS Shell Dlg 2";
}

int logicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return kDesignDpi;
    const double dpi = screen->logicalDotsPerInchY();
    return dpi >= 1.0 ? static_cast<int>(std::lround(dpi)) : kDesignDpi;
}

}  // namespace

bool ensureApplication() {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        // A host that runs only QtCore cannot carry widgets; creating one
        // anyway would abort the host.
        if (!qobject_cast<QApplication*>(existing)) return false;
        return existing->thread() == QThread::currentThread();
    }
    if (!displayConfigured()) return false;
    // Qt keeps argc and argv for the application's lifetime, so they live
    // in static storage. The application itself is never destroyed: a
    // QApplication torn down among the library's static destructors crashes
    // at process exit.
    static int argc = 1;
    static char programName[] = "mirel";
    static char* argv[] = {programName, nullptr};
    auto* application = new QApplication(argc, argv);
    application->setQuitOnLastWindowClosed(false);
    return true;
}

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont dialogFont(std::string_view name, double points, bool bold) {
    QFont font;
    if (isMsSansSerif(name)) {
        font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    } else {
        font.setFamily(fromUtf8(name));
    }
    font.setStyleHint(QFont::SansSerif);
    const double pixels = points * logicalDpi() / 72.0;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    font.setBold(bold);
    return font;
}

BaseUnits baseUnitsFor(std::string_view fontName, int points) {
    const int dpi = logicalDpi();
    if (isMsSansSerif(fontName) && points == 8)
        return {mulDivRound(kMsSansSerif8.x, dpi, kDesignDpi),
                mulDivRound(kMsSansSerif8.y, dpi, kDesignDpi)};
    const QFontMetrics metrics(dialogFont(fontName, points));
    const int width = metrics.horizontalAdvance(QString::fromLatin1(kAverageWidthLetters));
    BaseUnits units;
    units.x = std::max(1, (width / 26 + 1) / 2);
    units.y = std::max(1, metrics.height());
    return units;
}

}  // namespace mirel::gui
