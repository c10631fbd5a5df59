#pragma once

#include "platform/UrlOpener.h"

#include <QList>
#include <QUrl>

// Takes the desktop's place while it lives: records every URL handed over instead of opening it.
class RecordingUrlOpener {
public:
    RecordingUrlOpener() {
        UrlOpener::setHandler([this](const QUrl &url) {
            opened << url;
            return true;
        });
    }
    ~RecordingUrlOpener() { UrlOpener::setHandler({}); }
    RecordingUrlOpener(const RecordingUrlOpener &) = delete;
    RecordingUrlOpener &operator=(const RecordingUrlOpener &) = delete;

    QList<QUrl> opened;
};
