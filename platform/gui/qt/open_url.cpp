// The Qt backend's URL opening: the desktop's handler through QDesktopServices
// (xdg-open on Linux desktops; a handler the application registers for the
// scheme comes first).
#include "platform/gui/open_url.h"

#include <QDesktopServices>
#include <QUrl>

#include "platform/gui/qt/qt_runtime.h"

namespace mirel::gui {

bool openUrl(const std::string& address) {
    if (address.empty() || !ensureApplication()) return false;
    const QString text = fromUtf8(address);
    QUrl url(text, QUrl::StrictMode);
    // A path of this machine (no scheme, or a one-letter drive "scheme") is a local file.
    if (!url.isValid() || url.scheme().size() <= 1) url = QUrl::fromLocalFile(text);
    return QDesktopServices::openUrl(url);
}

}  // namespace mirel::gui
