#pragma once

#include "platform/Accelerometer.h"
#include "recording/MiniSeedChannel.h"
#include "recording/SdsArchive.h"
#include "recording/SeedCodes.h"
#include "recording/StationXml.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

// Records every sample, as the source delivers it, to an SDS archive of miniSEED (three
// channels, counts of micro-g) with the station's StationXML beside it (DIR/NET.STA.xml).
// Record times are UTC: a sample's monotonic time stamp plus the offset between the real-time
// and monotonic clocks, measured at start and every minute. A gap in the samples (the next one
// more than 1.5 intervals from where it was due), a step of the real-time clock by more than
// half an interval, a change of rate and the end of a UTC day each start a new record, so the
// time axis is never smeared. Samples reach their files within 10 seconds (a partial record is
// written then), so a crash loses at most the last 10 seconds. A write that fails stops the
// recording, with failed(); nothing written before is touched.
class Recorder : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString directory;
        SeedCodes codes;
        double rate = 100;  // samples per second
        int keepDays = 0;   // day files older than this many days go; 0: all are kept
    };
    // Seconds to add to a monotonic time stamp to make it real time (UTC, since 1970).
    using ClockOffset = std::function<double()>;
    static double systemClockOffset();

    static constexpr int kFlushSeconds = 10;
    static constexpr int kClockCheckSeconds = 60;

    // Prepares the folder and writes the station file; none, with `error` saying why, when
    // either cannot be done.
    static std::unique_ptr<Recorder> start(const Settings &settings, QString *error,
                                           ClockOffset clockOffset = systemClockOffset);
    ~Recorder() override;  // writes what it holds

    const Settings &settings() const { return mSettings; }
    bool hasFailed() const { return !mFailure.isEmpty(); }
    const QString &failure() const { return mFailure; }

    // `acceleration` in the application's convention (g; a device face up reads z = -1).
    void addSample(const Acceleration &acceleration);
    // A new sampling rate: new records, channel codes by the rate, and station file.
    void setRate(double rate);
    void setPosition(const StationPosition &position);

    // Writes every sample held (partial records) and puts the files on the disk. Run every
    // kFlushSeconds by a timer.
    void flush();
    // Measures the clock offset again; a step of more than half an interval starts new records
    // at the corrected time. Run every kClockCheckSeconds by a timer.
    void checkClock();

signals:
    void failed(const QString &message);

private:
    Recorder(const Settings &settings, ClockOffset clockOffset);
    bool writeStationFile(QString *error);
    void makeChannels();
    // Packs and writes what `flush` asks for; false once writing failed.
    bool write(bool flush);
    void fail(const QString &message);
    void removeOldDays(const QDate &today);

    Settings mSettings;
    ClockOffset mClockOffset;
    double mOffset;  // the offset the current run's times are made with
    std::optional<StationPosition> mPosition;
    SdsArchive mArchive;
    std::array<std::unique_ptr<MiniSeedChannel>, 3> mChannels;
    bool mInRun = false;
    double mRunStart = 0;  // monotonic time of the run's first sample
    qint64 mRunSamples = 0;
    QDate mDay;  // UTC day of the last sample
    QString mFailure;
    QTimer mFlushTimer;
    QTimer mClockTimer;
};
