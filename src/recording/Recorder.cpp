#include "recording/Recorder.h"

#include "platform/SystemLog.h"
#include "platform/WholeFile.h"

#include <QDir>

#include <time.h>
#include <cmath>

namespace {
double clockSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

QDate utcDay(qint64 microseconds) {
    return QDateTime::fromMSecsSinceEpoch(microseconds / 1000, Qt::UTC).date();
}

// Full records are looked for every this many samples: packing tries all that is held.
constexpr size_t kPackEvery = 128;
}  // namespace

double Recorder::systemClockOffset() {
    // Read between two monotonic readings, so the offset errs by half their distance at most.
    const double before = clockSeconds(CLOCK_MONOTONIC);
    const double real = clockSeconds(CLOCK_REALTIME);
    const double after = clockSeconds(CLOCK_MONOTONIC);
    return real - (before + after) / 2;
}

std::unique_ptr<Recorder> Recorder::start(const Settings &settings, QString *error,
                                          ClockOffset clockOffset) {
    QString ignored;
    error = error ? error : &ignored;
    if (!SdsArchive::prepare(settings.directory, error)) {
        return nullptr;
    }
    std::unique_ptr<Recorder> recorder(new Recorder(settings, std::move(clockOffset)));
    if (!recorder->writeStationFile(error)) {
        return nullptr;
    }
    return recorder;
}

Recorder::Recorder(const Settings &settings, ClockOffset clockOffset)
    : mSettings(settings),
      mClockOffset(std::move(clockOffset)),
      mOffset(mClockOffset()),
      mArchive(settings.directory) {
    makeChannels();
    removeOldDays(utcDay(qint64((clockSeconds(CLOCK_MONOTONIC) + mOffset) * 1e6)));
    mFlushTimer.setInterval(std::chrono::seconds(kFlushSeconds));
    connect(&mFlushTimer, &QTimer::timeout, this, &Recorder::flush);
    mFlushTimer.start();
    mClockTimer.setInterval(std::chrono::seconds(kClockCheckSeconds));
    connect(&mClockTimer, &QTimer::timeout, this, &Recorder::checkClock);
    mClockTimer.start();
}

Recorder::~Recorder() {
    if (!hasFailed()) {
        flush();
    }
}

void Recorder::makeChannels() {
    const std::array<QString, 3> codes = channelCodes(mSettings.rate);
    for (int axis = 0; axis < 3; ++axis) {
        mChannels[axis] =
            std::make_unique<MiniSeedChannel>(mSettings.codes, codes[axis], mSettings.rate);
    }
    mInRun = false;
}

bool Recorder::writeStationFile(QString *error) {
    const QString path = QDir(mSettings.directory)
                             .filePath(mSettings.codes.network + QLatin1Char('.') +
                                       mSettings.codes.station + QStringLiteral(".xml"));
    return writeWholeFile(path,
                          StationXml::document(mSettings.codes, mSettings.rate, mPosition,
                                               QDateTime::currentDateTimeUtc()),
                          error);
}

void Recorder::addSample(const Acceleration &acceleration) {
    if (hasFailed()) {
        return;
    }
    const double interval = 1.0 / mSettings.rate;
    const double time = acceleration.timestamp;
    if (mInRun && std::abs(time - (mRunStart + double(mRunSamples) * interval)) > 1.5 * interval) {
        if (!write(true)) {
            return;
        }
        mInRun = false;  // a gap: the next records start at this sample's own time
    }
    if (!mInRun) {
        const qint64 start = std::llround((time + mOffset) * 1e6);
        for (const auto &channel : mChannels) {
            channel->begin(start);
        }
        mRunStart = time;
        mRunSamples = 0;
        mInRun = true;
    }
    // A record belongs to the day of its first sample: none runs past midnight.
    const QDate day = utcDay(mChannels[0]->nextSampleTime());
    if (mDay.isValid() && day != mDay) {
        if (!write(true)) {
            return;
        }
        removeOldDays(day);
    }
    mDay = day;

    const double values[3] = {acceleration.x, acceleration.y, acceleration.z};
    for (int axis = 0; axis < 3; ++axis) {
        mChannels[axis]->add(MiniSeedChannel::counts(values[axis]));
    }
    ++mRunSamples;
    if (mRunSamples % qint64(kPackEvery) == 0) {
        write(false);
    }
}

bool Recorder::write(bool flush) {
    for (const auto &channel : mChannels) {
        for (const MiniSeedRecord &record : channel->take(flush)) {
            QString error;
            if (!mArchive.append(mSettings.codes, channel->channel(), record, &error)) {
                fail(error);
                return false;
            }
        }
    }
    return true;
}

void Recorder::flush() {
    if (hasFailed() || !write(true)) {
        return;
    }
    QString error;
    if (!mArchive.sync(&error)) {
        fail(error);
    }
}

void Recorder::checkClock() {
    const double offset = mClockOffset();
    const double step = offset - mOffset;
    if (std::abs(step) <= 0.5 / mSettings.rate) {
        return;  // slow drift counts up until it is a step
    }
    if (mInRun && !write(true)) {
        return;
    }
    SystemLog::log(QStringLiteral("Recording: the clock moved by %1 s; new records start at the "
                                  "corrected time")
                       .arg(step, 0, 'f', 3));
    mOffset = offset;
    mInRun = false;
}

void Recorder::setRate(double rate) {
    if (rate == mSettings.rate || rate <= 0 || hasFailed()) {
        return;
    }
    if (!write(true)) {
        return;
    }
    mSettings.rate = rate;
    makeChannels();
    QString error;
    if (!writeStationFile(&error)) {
        fail(error);
    }
}

void Recorder::setPosition(const StationPosition &position) {
    mPosition = position;
    QString error;
    if (!hasFailed() && !writeStationFile(&error)) {
        fail(error);
    }
}

void Recorder::removeOldDays(const QDate &today) {
    if (mSettings.keepDays > 0) {
        mArchive.removeDaysBefore(mSettings.codes, today.addDays(-mSettings.keepDays));
    }
}

void Recorder::fail(const QString &message) {
    mFailure = message;
    mFlushTimer.stop();
    mClockTimer.stop();
    SystemLog::log(QStringLiteral("Recording stopped: %1").arg(message));
    emit failed(message);
}
