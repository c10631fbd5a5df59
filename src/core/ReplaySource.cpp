#include "core/ReplaySource.h"

#include "core/SampleLine.h"
#include "platform/MonotonicClock.h"

#include <QFile>

std::vector<ReplaySource::Sample> ReplaySource::parse(const QByteArray &bytes,
                                                      const QString &fileName, QString *error) {
    std::vector<Sample> samples;
    int lineNumber = 0;
    for (const QByteArray &rawLine : bytes.split('\n')) {
        ++lineNumber;
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        SampleLine::Values sample;
        if (!SampleLine::parse(line, &sample)) {
            *error = QStringLiteral(
                         "%1:%2: malformed line, expected \"x,y,z,[date]\" or "
                         "\"name,time,x,y,z\": %3")
                         .arg(fileName)
                         .arg(lineNumber)
                         .arg(QString::fromUtf8(line.left(80)));
            return {};
        }
        samples.push_back({sample.x, sample.y, sample.z});
    }
    if (samples.empty()) {
        *error = QStringLiteral("%1: no samples in the file").arg(fileName);
    }
    return samples;
}

std::unique_ptr<ReplaySource> ReplaySource::open(const QString &path, bool loop, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot open: %2").arg(path, file.errorString());
        return nullptr;
    }
    std::vector<Sample> samples = parse(file.readAll(), path, error);
    if (samples.empty()) {
        return nullptr;
    }
    return std::make_unique<ReplaySource>(std::move(samples), loop,
                                          QStringLiteral("recording %1").arg(path));
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

void ReplaySource::tick() {
    const double now = monotonicSeconds();
    while (mDelegate) {
        const std::optional<double> due = mPacing.takeDue(now);
        if (!due) {
            return;
        }
        if (mPosition >= mSamples.size()) {
            if (!mLoop) {
                mTimer.stop();
                emit finished();
                return;
            }
            mPosition = 0;
        }
        const Sample &s = mSamples[mPosition++];
        mDelegate->accelerometerDidAccelerate(this, {s.x, s.y, s.z, *due});
    }
}
