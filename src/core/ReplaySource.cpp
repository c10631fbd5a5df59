#include "core/ReplaySource.h"

#include "core/SampleLine.h"
#include "platform/MonotonicClock.h"
#include "platform/PrintableText.h"
#include "platform/SystemLog.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {
enum class Line { Skipped, Sample, Malformed };

// Line 1 may start with the byte-order mark some editors put before UTF-8 text.
Line parseLine(const QByteArray &rawLine, int lineNumber, ReplaySource::Sample *sample) {
    QByteArray line = rawLine.trimmed();
    if (lineNumber == 1 && line.startsWith("\xef\xbb\xbf")) {
        line = line.mid(3).trimmed();
    }
    if (line.isEmpty() || line.startsWith('#')) {
        return Line::Skipped;
    }
    SampleLine::Values values;
    if (!SampleLine::parse(line, &values)) {
        return Line::Malformed;
    }
    *sample = {values.x, values.y, values.z};
    return Line::Sample;
}

QString malformed(const QString &fileName, int lineNumber, const QByteArray &line) {
    return QStringLiteral(
               "%1:%2: malformed line, expected \"x,y,z,[date]\" or \"name,time,x,y,z\": %3")
        .arg(fileName)
        .arg(lineNumber)
        .arg(printableText(line.trimmed().left(80)));
}

enum class Read { Sample, End, Malformed };

// The next sample of `device`, counting lines in `lineNumber`; a malformed line is left in
// `badLine`. Lines are read in a bounded buffer: a file without line feeds cannot fill memory.
Read readSample(QIODevice &device, int *lineNumber, ReplaySource::Sample *sample,
                QByteArray *badLine) {
    char buffer[ReplaySource::kMaxLineLength + 1];
    for (;;) {
        const qint64 got = device.readLine(buffer, sizeof buffer);
        if (got <= 0) {
            return Read::End;
        }
        ++*lineNumber;
        const QByteArray line(buffer, got);
        if (got == qint64(sizeof buffer) - 1 && !line.endsWith('\n') && !device.atEnd()) {
            *badLine = line;  // too long to be a sample
            return Read::Malformed;
        }
        switch (parseLine(line, *lineNumber, sample)) {
        case Line::Skipped: continue;
        case Line::Sample: return Read::Sample;
        case Line::Malformed: *badLine = line; return Read::Malformed;
        }
    }
}
}  // namespace

std::vector<ReplaySource::Sample> ReplaySource::parse(const QByteArray &bytes,
                                                      const QString &fileName, QString *error) {
    std::vector<Sample> samples;
    int lineNumber = 0;
    for (const QByteArray &rawLine : bytes.split('\n')) {
        ++lineNumber;
        Sample sample;
        switch (parseLine(rawLine, lineNumber, &sample)) {
        case Line::Skipped: continue;
        case Line::Sample: samples.push_back(sample); continue;
        case Line::Malformed: *error = malformed(fileName, lineNumber, rawLine); return {};
        }
    }
    if (samples.empty()) {
        *error = QStringLiteral("%1: no samples in the file").arg(fileName);
    }
    return samples;
}

std::unique_ptr<ReplaySource> ReplaySource::open(const QString &path, bool loop, QString *error) {
    auto file = std::make_unique<QFile>(path);
    if (path.startsWith(QLatin1Char(':'))) {  // a Qt resource: the demo recording
        if (!file->open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: cannot open: %2").arg(path, file->errorString());
            return nullptr;
        }
    } else {
        // Without O_NONBLOCK, opening a FIFO waits for a writer, before the event loop (and
        // --duration) has even started.
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            *error = QStringLiteral("%1: cannot open: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return nullptr;
        }
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(fd);
            *error = QStringLiteral("%1: not a regular file; a recording is replayed from a file")
                         .arg(path);
            return nullptr;
        }
        if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            *error = QStringLiteral("%1: cannot open: %2").arg(path, file->errorString());
            return nullptr;
        }
    }
    // Checked to the size it has now: a file that another program keeps appending to still
    // starts.
    const qint64 size = file->size();
    int lineNumber = 0;
    size_t count = 0;
    Sample sample;
    QByteArray badLine;
    while (file->pos() < size) {
        const Read read = readSample(*file, &lineNumber, &sample, &badLine);
        if (read == Read::End) {
            break;
        }
        if (read == Read::Malformed) {
            *error = malformed(path, lineNumber, badLine);
            return nullptr;
        }
        ++count;
    }
    if (count == 0) {
        *error = QStringLiteral("%1: no samples in the file").arg(path);
        return nullptr;
    }
    if (!file->seek(0)) {
        *error = QStringLiteral("%1: cannot read: %2").arg(path, file->errorString());
        return nullptr;
    }
    return std::unique_ptr<ReplaySource>(new ReplaySource(std::move(file), path, loop));
}

ReplaySource::ReplaySource(std::vector<Sample> samples, bool loop, QString description,
                           QObject *parent)
    : QObject(parent),
      mSamples(std::move(samples)),
      mLoop(loop),
      mDescription(std::move(description)) {
    mTimer.setTimerType(Qt::PreciseTimer);
    connect(&mTimer, &QTimer::timeout, this, &ReplaySource::tick);
}

ReplaySource::ReplaySource(std::unique_ptr<QIODevice> file, QString fileName, bool loop)
    : ReplaySource({}, loop, QStringLiteral("recording %1").arg(fileName)) {
    mFile = std::move(file);
    mFileName = std::move(fileName);
}

ReplaySource::~ReplaySource() = default;

void ReplaySource::setDelegate(AccelerometerDelegate *delegate) {
    mDelegate = delegate;
    restart();
}

void ReplaySource::setUpdateInterval(double seconds) {
    mInterval = seconds;
    restart();
}

void ReplaySource::restart() {
    mTimer.stop();
    if (!mDelegate || isFinished()) {
        return;
    }
    mPacing.start(monotonicSeconds(), mInterval);
    mTimer.start(SamplePacing::timerMilliseconds(mInterval));
}

void ReplaySource::readAhead() {
    bool rewound = false;
    while (mAhead.size() < kReadAhead) {
        Sample sample;
        QByteArray badLine;
        const Read read = readSample(*mFile, &mLineNumber, &sample, &badLine);
        if (read == Read::Sample) {
            mAhead.push_back(sample);
            rewound = false;
            continue;
        }
        if (read == Read::Malformed) {
            // The file changed since it was checked: play what came before.
            SystemLog::log(malformed(mFileName, mLineNumber, badLine));
            return;
        }
        // Once from the start again; a file emptied meanwhile ends the loop.
        if (!mLoop || rewound || !mFile->seek(0)) {
            return;
        }
        rewound = true;
        mLineNumber = 0;
    }
}

std::optional<ReplaySource::Sample> ReplaySource::next() {
    if (mFile) {
        if (mAhead.empty()) {
            readAhead();
        }
        if (mAhead.empty()) {
            return std::nullopt;
        }
        const Sample sample = mAhead.front();
        mAhead.pop_front();
        return sample;
    }
    if (mPosition >= mSamples.size()) {
        if (!mLoop || mSamples.empty()) {
            return std::nullopt;
        }
        mPosition = 0;
    }
    return mSamples[mPosition++];
}

void ReplaySource::tick() {
    mPacing.takeAllDue(monotonicSeconds(), [this](double due) {
        if (!mDelegate) {
            return false;
        }
        const std::optional<Sample> s = next();
        if (!s) {
            mTimer.stop();
            mFinished = true;
            emit finished();
            return false;
        }
        mDelegate->accelerometerDidAccelerate(this, {s->x, s->y, s->z, due});
        return mDelegate != nullptr;
    });
}
