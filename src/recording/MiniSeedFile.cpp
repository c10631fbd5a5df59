#include "recording/MiniSeedFile.h"

#include "platform/PrintableText.h"
#include "recording/MiniSeedLog.h"

#include <QFile>

#include <libmseed.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {
constexpr int kHeaderBytes = 48;  // the fixed header, the least ms_detect needs
constexpr qsizetype kReadChunk = 65536;
// Zeros kept after the bytes read, so that a record header pointing a few bytes past its end
// makes libmseed read zeros, not beyond the buffer.
constexpr qsizetype kSlack = 1024;

QString openError(const QString &path) {
    return QStringLiteral("%1: cannot open: %2")
        .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

QString notRegular(const QString &path) {
    return QStringLiteral(
               "%1: not a regular file; a recording is replayed from a file or a folder of files")
        .arg(path);
}

// A regular file opened for reading, or -1 with `error` set. Without O_NONBLOCK, opening a FIFO
// would wait for a writer; anything but a regular file could block or never end, so none is
// read (`regular` false).
int openRegular(const QString &path, bool *regular, QString *error) {
    *regular = true;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = openError(path);
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        *regular = false;
        *error = notRegular(path);
        return -1;
    }
    return fd;
}

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};
}  // namespace

MiniSeedFile::Scan MiniSeedFile::forEachRecord(const QString &path, const Visit &visit,
                                               QString *error) {
    bool regular = true;
    const int fd = openRegular(path, &regular, error);
    if (fd < 0) {
        return regular ? Scan::Failed : Scan::NotMiniSeed;
    }
    MiniSeedLogCapture log;  // what ms_detect prints about a bad header: it is told here
    const FileCloser closer{fd};
    std::vector<char> buffer;
    qsizetype begin = 0, end = 0;  // the bytes read and not yet visited
    qint64 bufferOffset = 0;       // file offset of buffer[0]
    bool atEnd = false;
    // At least `wanted` bytes from `begin` on, unless the file ends first. False on a read error.
    const auto fill = [&](qsizetype wanted) {
        while (end - begin < wanted && !atEnd) {
            if (begin > 0) {
                std::copy(buffer.begin() + begin, buffer.begin() + end, buffer.begin());
                bufferOffset += begin;
                end -= begin;
                begin = 0;
            }
            const qsizetype room = std::max(wanted - end, kReadChunk);
            buffer.resize(size_t(end + room + kSlack));
            const ssize_t got = ::read(fd, buffer.data() + end, size_t(room));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                *error = QStringLiteral("%1: cannot read: %2")
                             .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
            atEnd = got == 0;
            end += got;
            std::fill(buffer.begin() + end, buffer.end(), '\0');
        }
        return true;
    };
    const auto quoted = [&](qsizetype from) {
        return printableText(QByteArray(buffer.data() + from, std::min<qsizetype>(end - from, 16)));
    };

    for (bool first = true;; first = false) {
        if (!fill(kHeaderBytes)) {
            return Scan::Failed;
        }
        const qint64 offset = bufferOffset + begin;
        qsizetype available = end - begin;
        if (available == 0) {
            return Scan::Read;
        }
        int length =
            available < kHeaderBytes ? -1 : ms_detect(buffer.data() + begin, int(available));
        // Without blockette 1000, libmseed finds a record's length by the next record's header.
        while (length == 0 && !atEnd && available < MAXRECLEN + kHeaderBytes) {
            if (!fill(available + kReadChunk)) {
                return Scan::Failed;
            }
            available = end - begin;
            length = ms_detect(buffer.data() + begin,
                               int(std::min<qsizetype>(available, MAXRECLEN + kHeaderBytes)));
        }
        if (length == 0 && atEnd && available >= MINRECLEN && available <= MAXRECLEN &&
            (available & (available - 1)) == 0) {
            length = int(available);  // the last record, alone in what is left
        }
        if (available < kHeaderBytes && !first) {
            *error = QStringLiteral("%1: byte %2: the file ends in %3, too few for a record")
                         .arg(path)
                         .arg(offset)
                         .arg(available == 1 ? QStringLiteral("1 byte")
                                             : QStringLiteral("%1 bytes").arg(available));
            return Scan::Failed;
        }
        if (length < 0 && first) {
            *error = QStringLiteral("%1: not miniSEED; the file starts with \"%2\"")
                         .arg(path, quoted(begin));
            return Scan::NotMiniSeed;
        }
        if (length < 0) {
            *error = QStringLiteral(
                         "%1: byte %2: no miniSEED record here (\"%3\"); the file is miniSEED "
                         "only up to there")
                         .arg(path)
                         .arg(offset)
                         .arg(quoted(begin));
            return Scan::Failed;
        }
        if (length == 0 || length < MINRECLEN || length > MAXRECLEN) {
            *error = QStringLiteral("%1: byte %2: a record of unknown or impossible length")
                         .arg(path)
                         .arg(offset);
            return Scan::Failed;
        }
        if (!fill(length)) {
            return Scan::Failed;
        }
        if (end - begin < length) {
            *error =
                QStringLiteral("%1: byte %2: the file ends inside a record (%3 of its %4 bytes)")
                    .arg(path)
                    .arg(offset)
                    .arg(end - begin)
                    .arg(length);
            return Scan::Failed;
        }
        if (!visit(buffer.data() + begin, length, offset)) {
            return Scan::Failed;
        }
        begin += length;
    }
}

bool MiniSeedFile::startsWithRecord(const QString &path) {
    bool regular = true;
    QString error;
    const int fd = openRegular(path, &regular, &error);
    if (fd < 0) {
        return false;
    }
    const FileCloser closer{fd};
    MiniSeedLogCapture log;
    char start[256 + kSlack] = {};
    ssize_t got;
    do {
        got = ::read(fd, start, 256);
    } while (got < 0 && errno == EINTR);
    return got >= kHeaderBytes && ms_detect(start, int(got)) >= 0;
}
