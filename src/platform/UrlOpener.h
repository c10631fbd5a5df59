#pragma once

#include <QUrl>

#include <functional>

// Hands a URL to the desktop: web addresses to the browser, mailto: to the mail program. Tests
// put a handler in its place. Main thread only.
namespace UrlOpener {

// The result of the hand-off is the desktop's; callers may ignore it.
bool openURL(const QUrl &url);

// Replaces the desktop hand-off; an empty handler restores it.
using Handler = std::function<bool(const QUrl &)>;
void setHandler(Handler handler);
Handler handler();

}  // namespace UrlOpener
