#include "recording/MiniSeedSource.h"

#include "platform/MonotonicClock.h"

#include <QStringList>

#include <cmath>

std::unique_ptr<MiniSeedSource> MiniSeedSource::open(const QString &path, QString *error) {
    std::unique_ptr<MiniSeedRecording> recording = MiniSeedRecording::read(path, error);
    if (!recording) {
        return nullptr;
    }
    const std::array<QString, 3> &channels = recording->channels();
    const QString description =
        QStringLiteral("miniSEED recording %1 (%2 %3, %4 samples/s)")
            .arg(path, recording->station(),
                 QStringList(channels.begin(), channels.end()).join(QLatin1Char(' ')))
            .arg(recording->rate());
    return std::make_unique<MiniSeedSource>(std::move(recording), description);
}

MiniSeedSource::MiniSeedSource(std::unique_ptr<MiniSeedRecording> recording, QString description,
                               QObject *parent)
    : QObject(parent),
      mRecording(std::move(recording)),
      mDescription(std::move(description)),
      mRate(mRecording->stretches().front().rate) {
    mTimer.setTimerType(Qt::PreciseTimer);
    connect(&mTimer, &QTimer::timeout, this, &MiniSeedSource::tick);
}

MiniSeedSource::~MiniSeedSource() = default;

void MiniSeedSource::setDelegate(AccelerometerDelegate *delegate) {
    if (delegate == mDelegate) {
        return;  // re-pacing from now would cut a gap being played short
    }
    mDelegate = delegate;
    restart();
}

int MiniSeedSource::maximumRate() const { return std::max(1, int(std::ceil(mRecording->rate()))); }

void MiniSeedSource::restart() {
    mTimer.stop();
    if (!mDelegate || mFinished) {
        return;
    }
    pace(monotonicSeconds());
}

void MiniSeedSource::pace(double due) {
    const double interval = 1.0 / mRecording->stretches()[mStretch].rate;
    mPacing.start(due, interval);
    mTimer.start(SamplePacing::timerMilliseconds(interval));
}

void MiniSeedSource::tick() {
    mPacing.takeAllDue(monotonicSeconds(), [this](double due) {
        if (!mDelegate) {
            return false;
        }
        const std::vector<MiniSeedRecording::Stretch> &stretches = mRecording->stretches();
        const MiniSeedRecording::Stretch &stretch = stretches[mStretch];
        Acceleration acceleration = MiniSeedRecording::acceleration(stretch, mIndex);
        acceleration.timestamp = due;
        if (++mIndex == stretch.count) {
            mIndex = 0;
            if (++mStretch < stretches.size()) {
                // The next sample is due as much later as the recording has it, gap and all.
                pace(due + double(stretches[mStretch].start - stretch.end()) / 1e6);
            }
        }
        mRate = stretch.rate;  // samplingRate() while the sample is handled: an archive files it so
        mDelegate->accelerometerDidAccelerate(this, acceleration);
        if (mStretch == stretches.size()) {
            mTimer.stop();
            mFinished = true;
            emit finished();
            return false;
        }
        return mDelegate != nullptr;
    });
}
