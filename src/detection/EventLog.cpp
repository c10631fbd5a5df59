#include "detection/EventLog.h"

#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {
QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Closes the descriptor whatever way the append leaves.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::optional<Event> eventOfLine(const QByteArray &line) {
    QJsonParseError problem{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &problem);
    if (problem.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return Event::fromJson(document.object());
}
}  // namespace

QString EventLog::defaultPath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("events.jsonl"));
}

EventLog::EventLog(QString path) : mPath(std::move(path)) {}

bool EventLog::append(const Event &event, QString *error) const {
    QString ignored;
    error = error ? error : &ignored;
    const QString folder = QFileInfo(mPath).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    const Descriptor file{::open(QFile::encodeName(mPath).constData(),
                                 O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644)};
    if (file.fd < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(mPath, systemError(errno));
        return false;
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0) {
        *error = QStringLiteral("cannot read %1: %2").arg(mPath, systemError(errno));
        return false;
    }
    QByteArray line = event.jsonLine();
    char last = '\n';
    if (status.st_size > 0 && ::pread(file.fd, &last, 1, status.st_size - 1) == 1 && last != '\n') {
        // A line torn by a crash: ours must not be glued to it and lost with it. (Hence a file
        // opened for reading too.)
        line.prepend('\n');
    }
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n =
            ::write(file.fd, line.constData() + written, size_t(line.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int reason = n < 0 ? errno : ENOSPC;
            // Cut back to the lines that were whole.
            if (::ftruncate(file.fd, status.st_size) != 0) {
                SystemLog::log(QStringLiteral("Event log: cannot cut back the torn line of %1: %2")
                                   .arg(mPath, systemError(errno)));
            }
            *error = QStringLiteral("cannot write %1: %2").arg(mPath, systemError(reason));
            return false;
        }
        written += n;
    }
    if (::fdatasync(file.fd) != 0) {
        *error = QStringLiteral("cannot put %1 on the disk: %2").arg(mPath, systemError(errno));
        return false;
    }
    return true;
}

std::vector<Event> EventLog::read() const {
    QFile file(mPath);
    if (!file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        SystemLog::log(
            QStringLiteral("Event log: cannot read %1: %2").arg(mPath, file.errorString()));
        return {};
    }
    return parse(file.readAll(), mPath);
}

std::vector<Event> EventLog::parse(const QByteArray &bytes, const QString &name) {
    std::vector<Event> events;
    int unreadable = 0;
    bool torn = false;
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype to = bytes.indexOf('\n', from);
        const bool whole = to >= 0;
        to = whole ? to : bytes.size();
        const QByteArray line = bytes.mid(from, to - from);
        from = to + 1;
        if (line.trimmed().isEmpty()) {
            continue;
        }
        if (const std::optional<Event> event = eventOfLine(line)) {
            events.push_back(*event);
        } else if (!whole) {
            torn = true;
        } else {
            ++unreadable;
        }
    }
    if (torn) {
        SystemLog::log(QStringLiteral("Event log: the last line of %1 is incomplete (cut off by a "
                                      "crash?); skipped")
                           .arg(name));
    }
    if (unreadable > 0) {
        SystemLog::log(QStringLiteral("Event log: %1 unreadable line(s) of %2 skipped")
                           .arg(unreadable)
                           .arg(name));
    }
    return events;
}
