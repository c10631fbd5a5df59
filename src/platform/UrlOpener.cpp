#include "platform/UrlOpener.h"

#include <QDesktopServices>

namespace UrlOpener {
namespace {
Handler &current() {
    static Handler instance;
    return instance;
}
}  // namespace

bool openURL(const QUrl &url) {
    if (!url.isValid()) {
        return false;  // text that was no URL opens nothing
    }
    if (current()) {
        return current()(url);
    }
    return QDesktopServices::openUrl(url);
}

void setHandler(Handler newHandler) { current() = std::move(newHandler); }

Handler handler() { return current(); }

}  // namespace UrlOpener
