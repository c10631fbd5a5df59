#pragma once

#include "http/HttpRequest.h"
#include "platform/LocationManager.h"

#include <QObject>

#include <memory>

class NetworkQueue;
class SampleHistory;

class ReportPosition;

// One report sent without a window, when a headless run ends: the sharing panel's request on a
// request queue of its own, with the position ReportPosition finds. Main thread only.
class HeadlessReport : public QObject {
    Q_OBJECT
public:
    // The samples are taken now: the report carries the history as it is at this moment.
    HeadlessReport(const QString &serverAddress, bool earthquake, const SampleHistory &history,
                   QObject *parent = nullptr);
    ~HeadlessReport() override;

    void start();
    // Gives the report up: finished() follows, not accepted, once the request (if one was sent)
    // has ended. The request is cancelled rather than destroyed in flight.
    void cancel();

    Q_INVOKABLE void requestComplete(HttpRequest *request);
    Q_INVOKABLE void requestFailed(HttpRequest *request);

signals:
    // `accepted`: the server answered 2xx. `outcome`: one line for the user.
    void finished(bool accepted, const QString &outcome);

private:
    void send(const Location &location);

    QString mServerAddress;
    bool mEarthquake;
    bool mSent = false;
    QString mSignal;
    ReportPosition *mPosition;  // child
    std::unique_ptr<NetworkQueue> mNetworkQueue;
};
