#pragma once

#include <QByteArray>
#include <QString>

#include <utility>

// One setting's text as UTF-8, for a reader that needs it at every sample (the stream's device
// name). It is read through UserPref again only after the preferences changed
// (UserPref::generation), so that between changes a read costs one comparison and allocates
// nothing, while a change made by the sharing panel reaches the next sample. Main thread only.
class CachedSettingText {
public:
    explicit CachedSettingText(QString key) : mKey(std::move(key)) {}

    // UserPref::getString(key) as UTF-8; valid until the next call.
    const QByteArray &utf8();

private:
    QString mKey;
    quint64 mGeneration = 0;  // UserPref::generation() when mUtf8 was read; 0: never read
    QByteArray mUtf8;
};
