#include "app/DetectionControl.h"

#include "core/SampleHistory.h"
#include "platform/MonotonicClock.h"
#include "platform/SystemLog.h"

DetectionControl::DetectionControl(QObject *parent)
    : QObject(parent), mWallClock(wallSecondsAtMonotonic) {}

DetectionControl::~DetectionControl() = default;

void DetectionControl::setProgram(std::unique_ptr<EventProgram> program) {
    mProgram = std::move(program);
}

void DetectionControl::reload(double rate) {
    const DetectionSettings settings = DetectionSettings::fromSettings();
    if (!mDetector || mDetector->rate() != rate || mDetector->settings() != settings) {
        rebuild(settings, rate);
    }
}

void DetectionControl::setRate(double rate) {
    if (mDetector && mDetector->rate() != rate && rate > 0) {
        rebuild(mDetector->settings(), rate);
    }
}

void DetectionControl::rebuild(const DetectionSettings &settings, double rate) {
    if (mDetector && mDetector->cutShort()) {
        endEvent();
    }
    mDetector = std::make_unique<Detector>(settings, rate);
    if (!mDetector->isUsable()) {
        SystemLog::log(QStringLiteral("Detection off: %1").arg(mDetector->problem()));
    }
}

void DetectionControl::addSample(const Acceleration &acceleration) {
    if (!mDetector) {
        return;
    }
    // As the history takes them: in single precision.
    const float values[3] = {float(acceleration.x), float(acceleration.y), float(acceleration.z)};
    std::array<double, 3> highPassed{};
    for (int axis = 0; axis < 3; ++axis) {
        highPassed[axis] = mInputPrefiltered ? double(values[axis])
                                             : SampleHistory::highPass(values[axis], mMean[axis]);
    }
    switch (mDetector->addSample(acceleration, highPassed)) {
    case Detector::Change::None: break;
    case Detector::Change::Started:
        mRunning = mDetector->event();
        mRunning.start = mWallClock(mRunning.start);
        emit eventStarted(mRunning);
        break;
    case Detector::Change::Ended: endEvent(); break;
    }
}

void DetectionControl::endEvent() {
    Event event = mDetector->event();
    // The duration as the samples' own clock measured it, even if the wall clock was set.
    const double duration = event.duration();
    event.start = mRunning.start;
    event.end = event.start + duration;
    if (mArchiveLookup) {
        std::tie(event.archive, event.station) = mArchiveLookup();
    }
    QString error;
    if (!mLog.append(event, &error)) {
        SystemLog::log(QStringLiteral("Event log: %1").arg(error));
    }
    if (mProgram) {
        mProgram->run(event.jsonLine());
    }
    emit eventEnded(event);
}

void DetectionControl::finish(std::chrono::milliseconds wait) {
    if (mDetector && mDetector->cutShort()) {
        endEvent();
    }
    if (mProgram) {
        mProgram->finish(wait);
    }
}
