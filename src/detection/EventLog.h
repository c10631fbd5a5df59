#pragma once

#include "detection/Event.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The event log: events.jsonl in the XDG data folder, one JSON object a line (Event::toJson),
// oldest first. A line is appended whole: one write(2) to the file opened O_APPEND, then
// fdatasync; a write that stops short is cut back, so a crash or a full disk leaves at most a
// torn last line, and the next append starts a line of its own after it. Reading never fails:
// a torn last line is skipped with one log line, other unreadable lines with one more.
// Main thread (or any one thread at a time).
class EventLog {
public:
    // QStandardPaths::AppDataLocation/events.jsonl
    static QString defaultPath();

    explicit EventLog(QString path = defaultPath());
    const QString &path() const { return mPath; }

    // False, with `error` saying why, when the line could not be written and put on the disk.
    bool append(const Event &event, QString *error) const;

    // Every readable event of the file; none when there is no file.
    std::vector<Event> read() const;
    // The same from the file's bytes; `name` is for the log lines.
    static std::vector<Event> parse(const QByteArray &bytes, const QString &name);

private:
    QString mPath;
};
