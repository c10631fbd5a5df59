#pragma once

#include "core/SamplePacing.h"
#include "platform/Accelerometer.h"

#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;

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
    static constexpr size_t kReadAhead = 4096;      // samples read from a file ahead of play
    static constexpr qint64 kMaxLineLength = 4096;  // bytes; a longer line is malformed

    // Reads a whole recording. On failure returns no samples and sets `error` to a message
    // naming the file (and the line, for a malformed one).
    static std::vector<Sample> parse(const QByteArray &bytes, const QString &fileName,
                                     QString *error);
    // A recording in a regular file (or a Qt resource), read as it plays: at most kReadAhead
    // samples are held. Every line is checked before play starts, so a bad one is told at
    // once. Anything else (a FIFO, a device) is refused, as it could block or never end.
    static std::unique_ptr<ReplaySource> open(const QString &path, bool loop, QString *error);

    ReplaySource(std::vector<Sample> samples, bool loop, QString description,
                 QObject *parent = nullptr);
    ~ReplaySource() override;

    void setDelegate(AccelerometerDelegate *delegate) override;
    void setUpdateInterval(double seconds) override;
    QString description() const override { return mDescription; }

    bool isFinished() const { return mFinished; }

signals:
    void finished();

private:
    ReplaySource(std::unique_ptr<QIODevice> file, QString fileName, bool loop);
    void restart();
    void tick();
    std::optional<Sample> next();
    void readAhead();

    std::vector<Sample> mSamples;      // the whole recording, when not read from a file
    std::unique_ptr<QIODevice> mFile;  // the recording being read; none: mSamples
    QString mFileName;
    std::deque<Sample> mAhead;  // read from mFile, not yet played
    int mLineNumber = 0;        // lines of mFile read since its start
    bool mLoop;
    bool mFinished = false;  // the last sample has been played and finished() emitted
    QString mDescription;
    AccelerometerDelegate *mDelegate = nullptr;
    double mInterval = 0.01;  // seconds between events
    size_t mPosition = 0;     // next sample of mSamples to play
    SamplePacing mPacing;     // when the next event is due
    QTimer mTimer;
};
