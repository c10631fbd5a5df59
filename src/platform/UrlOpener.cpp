#include "platform/UrlOpener.h"

#include <QDesktopServices>

namespace UrlOpener {
namespace {
Handler &handler() {
    static Handler instance;
    return instance;
}
}  // namespace

bool openURL(const QUrl &url) {
    if (!url.isValid()) {
        return false;  // text that was no URL opens nothing
    }
    if (handler()) {
        return handler()(url);
    }
    return QDesktopServices::openUrl(url);
}

void setHandler(Handler newHandler) { handler() = std::move(newHandler); }

}  // namespace UrlOpener
