#pragma once

#include <QStringList>

// Collects system log lines while alive, instead of writing them to standard error.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    const QStringList &lines() const { return mLines; }
    int count(const QString &line) const { return int(mLines.count(line)); }
    void clear() { mLines.clear(); }

private:
    QStringList mLines;
};
