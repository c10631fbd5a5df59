#pragma once

#include "core/SampleLine.h"
#include "platform/Accelerometer.h"

#include <QObject>

class QSocketNotifier;
class QTimer;

// Receives another Shakelog's live stream: every datagram in the stream's format
// ("name,time,x,y,z") becomes an accelerometer event at its arrival, time-stamped with the
// monotonic clock. The sender sets the pace; the update interval is ignored. Malformed
// datagrams are dropped and counted, with at most one log line a second and a last one for the
// drops not yet told when the source is destroyed (the end of the run).
class UdpReceiveSource : public QObject, public Accelerometer {
    Q_OBJECT
public:
    // Listens on `address` (dotted IPv4; empty: every address) and `port`. On failure returns
    // none and sets `error`.
    static std::unique_ptr<UdpReceiveSource> listen(const QString &address, int port,
                                                    QString *error);
    ~UdpReceiveSource() override;

    void setDelegate(AccelerometerDelegate *delegate) override { mDelegate = delegate; }
    void setUpdateInterval(double) override {}
    QString description() const override { return mDescription; }
    bool deliversFilteredSamples() const override { return true; }

    // A datagram is one whole line of the stream's format: anything longer, shorter or
    // different is refused (false), not guessed at.
    static bool parseDatagram(const QByteArray &datagram, SampleLine::Values *values);

    int port() const { return mPort; }  // the port bound (useful with port 0)
    quint64 droppedDatagrams() const { return mDroppedTotal; }

private:
    UdpReceiveSource(int socket, int port, QString description);
    void readPending();
    void reportDropped();

    int mSocket;
    int mPort;
    QString mDescription;
    QSocketNotifier *mNotifier;
    QTimer *mReportTimer;
    AccelerometerDelegate *mDelegate = nullptr;
    quint64 mDroppedTotal = 0;
    quint64 mDroppedSinceReport = 0;
};
