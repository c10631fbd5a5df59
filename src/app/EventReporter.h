#pragma once

#include "core/SampleHistory.h"
#include "detection/Event.h"
#include "platform/Accelerometer.h"
#include "platform/LocationManager.h"

#include <QObject>

#include <list>
#include <memory>

class Outbox;
class QAction;
class ReportPosition;

// Reports of detected events to the data-collection server the URL setting names: at each
// event's end, the sharing panel's report (the position when LOCATION_SEND allows, the last
// 2048 samples) with "&trigger=stalta&start=...&pga=..." after its query fields, handed to
// the outbox, which keeps and retries what is not accepted. On when REPORT_EVENTS is set (the
// traces' context menu sets it) or for a run with --report-events.
//
// The samples come from a ring of its own, fed whether the traces run or are paused and
// filtered as FILTER says: a paused window must not send what it showed before the shaking.
// Main thread.
class EventReporter : public QObject {
    Q_OBJECT
public:
    explicit EventReporter(const QString &outboxFolder, QObject *parent = nullptr);
    ~EventReporter() override;

    // On for this run whatever REPORT_EVENTS says (--report-events).
    void setOnForThisRun();
    // Reads REPORT_EVENTS, URL and FILTER again; samples that were high-pass filtered by their
    // sender are their own filtered values.
    void reload(bool inputPrefiltered);
    bool isOn() const { return mOutbox != nullptr; }
    // Checkable; stores REPORT_EVENTS.
    QAction *toggleAction() const { return mAction; }

    void addSample(const Acceleration &sample);
    // Takes the samples now; sends once the position is known.
    void report(const Event &event);
    // The run is ending: reports still waiting for a position go without one.
    void finish();

    // None while off.
    Outbox *outbox() const { return mOutbox.get(); }
    // "&trigger=stalta&start=2026-12-08T10:21:45.120Z&pga=0.012345" (g).
    static QString triggerQuery(const Event &event);

private:
    struct Waiting {
        ReportPosition *position;  // child
        Event event;
        QString signal;
    };
    void apply();
    void submit(const Event &event, const QString &signal, const Location &location);

    QString mOutboxFolder;
    bool mOnForThisRun = false;
    bool mInputPrefiltered = false;
    QString mServerAddress;
    SampleHistory mHistory;
    std::unique_ptr<Outbox> mOutbox;
    std::list<Waiting> mWaiting;
    QAction *mAction;
};
