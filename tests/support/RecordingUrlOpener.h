#pragma once

#include "platform/UrlOpener.h"

#include <QList>
#include <QUrl>

// Records every URL handed over instead of opening it, while it lives.
class RecordingUrlOpener {
public:
    RecordingUrlOpener() : mPrevious(UrlOpener::handler()) {
        UrlOpener::setHandler([this](const QUrl &url) {
            opened << url;
            return true;
        });
    }
    ~RecordingUrlOpener() { UrlOpener::setHandler(mPrevious); }
    RecordingUrlOpener(const RecordingUrlOpener &) = delete;
    RecordingUrlOpener &operator=(const RecordingUrlOpener &) = delete;

    QList<QUrl> opened;

private:
    UrlOpener::Handler mPrevious;
};
