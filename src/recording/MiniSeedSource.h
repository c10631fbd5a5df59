#pragma once

#include "core/SamplePacing.h"
#include "platform/Accelerometer.h"
#include "recording/MiniSeedRecording.h"

#include <QObject>
#include <QTimer>

#include <memory>

// Plays a miniSEED recording (see MiniSeedRecording) once as accelerometer events, from the
// first instant all three channels hold. The recording sets the pace, as a sensor would: events
// come at its own rate, in real time, whatever update interval the application asks for
// (maximumRate() is that rate, rounded up; the spectrum's hertz and the alarm's seconds still
// count by the SCAN_RATE setting, right when the two agree). Event time stamps are monotonic
// seconds spaced by the sampling interval; a gap in the recording is a gap in play: no events
// for its length, and the time stamps after it are that much later. Without a delegate play
// pauses; given one again, it goes on from the next sample at once. Main thread only.
class MiniSeedSource : public QObject, public Accelerometer {
    Q_OBJECT
public:
    // The recording at `path` (a file or a folder), read and decoded whole before play. On
    // failure returns none and sets `error` (see MiniSeedRecording::read).
    static std::unique_ptr<MiniSeedSource> open(const QString &path, QString *error);

    MiniSeedSource(std::unique_ptr<MiniSeedRecording> recording, QString description,
                   QObject *parent = nullptr);
    ~MiniSeedSource() override;

    void setDelegate(AccelerometerDelegate *delegate) override;
    void setUpdateInterval(double) override {}
    int maximumRate() const override;
    // The rate of the stretch being played.
    double samplingRate() const override { return mRate; }
    // "miniSEED recording PATH (NET.STA.LOC HN1 HN2 HNZ, 100 samples/s)"
    QString description() const override { return mDescription; }

    bool isFinished() const { return mFinished; }

signals:
    void finished();

private:
    void restart();
    void tick();
    // Paces the current stretch with its sample mIndex due at `due`.
    void pace(double due);

    std::unique_ptr<MiniSeedRecording> mRecording;
    QString mDescription;
    AccelerometerDelegate *mDelegate = nullptr;
    size_t mStretch = 0;     // the stretch being played
    int64_t mIndex = 0;      // its next sample
    double mRate;            // samples per second of the last sample delivered (else the first)
    bool mFinished = false;  // the last sample has been played and finished() emitted
    SamplePacing mPacing;    // when the next event is due
    QTimer mTimer;
};
