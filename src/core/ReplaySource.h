#pragma once

#include "core/SamplePacing.h"
#include "platform/Accelerometer.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

// Plays a recording as accelerometer events at the configured interval. A recording holds one
// sample a line, either as the e-mail export writes it ("x,y,z," optionally followed by a date)
// or as the live stream sends it ("name,time,x,y,z"); empty lines and lines starting with "#"
// are skipped. Events carry monotonic time stamps spaced by the interval.
class ReplaySource : public QObject, public Accelerometer {
    Q_OBJECT
public:
    struct Sample {
        float x, y, z;
    };

    // Reads a whole recording. On failure returns no samples and sets `error` to a message
    // naming the file (and the line, for a malformed one).
    static std::vector<Sample> parse(const QByteArray &bytes, const QString &fileName,
                                     QString *error);
    static std::unique_ptr<ReplaySource> open(const QString &path, bool loop, QString *error);

    ReplaySource(std::vector<Sample> samples, bool loop, QString description,
                 QObject *parent = nullptr);

    void setDelegate(AccelerometerDelegate *delegate) override;
    void setUpdateInterval(double seconds) override;
    QString description() const override { return mDescription; }

    bool isFinished() const { return !mLoop && mPosition >= mSamples.size(); }

signals:
    void finished();

private:
    void restart();
    void tick();

    std::vector<Sample> mSamples;
    bool mLoop;
    QString mDescription;
    AccelerometerDelegate *mDelegate = nullptr;
    double mInterval = 0.01;  // seconds between events
    size_t mPosition = 0;     // next sample to play
    SamplePacing mPacing;     // when the next event is due
    QTimer mTimer;
};
