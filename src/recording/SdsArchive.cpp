#include "recording/SdsArchive.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryFile>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {
QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }
}  // namespace

SdsArchive::~SdsArchive() {
    QString ignored;
    sync(&ignored);
}

bool SdsArchive::prepare(const QString &directory, QString *error) {
    if (!QDir().mkpath(directory)) {
        *error = QStringLiteral("cannot create the recording folder %1").arg(directory);
        return false;
    }
    QTemporaryFile probe(QDir(directory).filePath(QStringLiteral(".shakelog-XXXXXX")));
    if (!probe.open() || probe.write("x", 1) != 1 || !probe.flush()) {
        *error = QStringLiteral("cannot write in the recording folder %1: %2")
                     .arg(directory, probe.errorString());
        return false;
    }
    return true;
}

QString SdsArchive::dayFilePath(const SeedCodes &codes, const QString &channel,
                                qint64 start) const {
    const QDate day = QDateTime::fromMSecsSinceEpoch(start / 1000, Qt::UTC).date();
    const QString year = QString::number(day.year());
    const QString name = QStringLiteral("%1.%2.%3.%4.D.%5.%6")
                             .arg(codes.network, codes.station, codes.location, channel, year)
                             .arg(day.dayOfYear(), 3, 10, QLatin1Char('0'));
    return QStringLiteral("%1/%2/%3/%4/%5.D/%6")
        .arg(mDirectory, year, codes.network, codes.station, channel, name);
}

bool SdsArchive::append(const SeedCodes &codes, const QString &channel,
                        const MiniSeedRecord &record, QString *error) {
    const QString path = dayFilePath(codes, channel, record.start);
    auto open = mOpen.find(path);
    if (open == mOpen.end()) {
        if (!QDir().mkpath(QFileInfo(path).path())) {
            *error = QStringLiteral("cannot create the folder of %1").arg(path);
            return false;
        }
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) {
            *error = QStringLiteral("cannot open %1: %2").arg(path, reason(errno));
            return false;
        }
        open = mOpen.emplace(path, fd).first;
    }
    const int fd = open->second;
    const off_t before = ::lseek(fd, 0, SEEK_END);
    qsizetype written = 0;
    while (written < record.bytes.size()) {
        const ssize_t n =
            ::write(fd, record.bytes.constData() + written, size_t(record.bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int code = n < 0 ? errno : ENOSPC;
            // A record cut short would make the rest of the file unreadable.
            if (before >= 0 && ::ftruncate(fd, before) != 0) {
                *error = QStringLiteral("cannot write %1 (%2), nor cut it back: %3")
                             .arg(path, reason(code), reason(errno));
                return false;
            }
            *error = QStringLiteral("cannot write %1: %2").arg(path, reason(code));
            return false;
        }
        written += n;
    }
    return true;
}

bool SdsArchive::sync(QString *error) {
    bool synced = true;
    for (const auto &[path, fd] : mOpen) {
        if (::fdatasync(fd) != 0 && synced) {
            *error = QStringLiteral("cannot save %1: %2").arg(path, reason(errno));
            synced = false;
        }
        ::close(fd);
    }
    mOpen.clear();
    return synced;
}

int SdsArchive::removeDaysBefore(const SeedCodes &codes, const QDate &first) {
    const QString prefix = codes.network + QLatin1Char('.') + codes.station + QLatin1Char('.');
    int removed = 0;
    QDirIterator files(mDirectory, {prefix + QStringLiteral("*.D.*")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        // NET.STA.LOC.CHAN.D.YEAR.DAY
        const QStringList parts = QFileInfo(path).fileName().split(QLatin1Char('.'));
        bool yearOk = false, dayOk = false;
        const int year = parts.size() == 7 ? parts[5].toInt(&yearOk) : 0;
        const int dayOfYear = parts.size() == 7 ? parts[6].toInt(&dayOk) : 0;
        if (!yearOk || !dayOk || dayOfYear < 1 || dayOfYear > 366) {
            continue;
        }
        const QDate day = QDate(year, 1, 1).addDays(dayOfYear - 1);
        if (day < first && !mOpen.count(path) && QFile::remove(path)) {
            ++removed;
        }
    }
    return removed;
}
