#pragma once

#include "platform/Accelerometer.h"
#include "platform/LocationManager.h"
#include "recording/Recorder.h"
#include "recording/SeedCodes.h"

#include <QObject>

#include <memory>
#include <optional>

class QAction;
class QLabel;

// Recording to the miniSEED archive from the application: what the settings (RECORD,
// RECORD_FOLDER, RECORD_KEEP_DAYS, STATION_*) or the command line ask for, the "REC" label
// beside the alarm and network labels ("REC ERROR" once a write failed), and the window's
// action that starts and stops it and remembers the choice. While LOCATION_SEND allows it, the
// first location fix after a start goes into the station file.
class RecordingControl : public QObject, public LocationManagerDelegate {
    Q_OBJECT
public:
    RecordingControl(QLabel *label, QObject *parent = nullptr);
    ~RecordingControl() override;

    // The XDG data folder's archive/.
    static QString defaultFolder();

    // For this run only (--record, --station, --record-keep-days): nothing is remembered.
    void setRunOverride(const QString &folder, const std::optional<SeedCodes> &codes,
                        std::optional<int> keepDays);
    // Starts recording when the run or the settings ask for it. False, with `error`, when it
    // was asked for and the folder cannot be made or written.
    bool startIfAsked(double rate, QString *error);
    // The window's switch: starts or stops, and remembers the choice.
    void toggle();

    bool isRecording() const { return mRecorder != nullptr; }
    bool hasFailed() const { return mRecorder && mRecorder->hasFailed(); }
    const Recorder *recorder() const { return mRecorder.get(); }
    // "Start recording" / "Stop recording", Ctrl+R; for the traces' context menu.
    QAction *toggleAction() const { return mAction; }

    void addSample(const Acceleration &acceleration) {
        if (mRecorder) {
            mRecorder->addSample(acceleration);
        }
    }
    void setRate(double rate);
    // Writes every sample held (at the end of a run, before its outcome is told).
    void flush() {
        if (mRecorder) {
            mRecorder->flush();
        }
    }

    void locationManagerDidUpdateToLocation(LocationManager *manager, const Location &newLocation,
                                            const std::optional<Location> &oldLocation) override;
    void locationManagerDidFailWithError(LocationManager *manager, const QString &error) override;

signals:
    // Recording began, into `folder`: the window shows it once.
    void started(const QString &folder);

private:
    bool start(QString *error);
    void stop();
    void bindLabel();

    QLabel *mLabel;
    QAction *mAction;
    std::unique_ptr<Recorder> mRecorder;
    QString mStartProblem;  // why the last start failed; shown until the next start or stop
    LocationManager mLocationManager;
    double mRate = 100;
    QString mRunFolder;  // --record: this run's folder, not remembered
    std::optional<SeedCodes> mRunCodes;
    std::optional<int> mRunKeepDays;
};
