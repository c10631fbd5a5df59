#pragma once

#include "detection/Detector.h"
#include "detection/Event.h"
#include "detection/EventLog.h"
#include "detection/EventProgram.h"
#include "platform/Accelerometer.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>
#include <optional>

// Event detection in the application: the detector on every sample as the source delivers it,
// whether the traces run or are paused and whatever FILTER says; each event written to the
// event log at its end and handed to the --on-event program. The window and the headless
// output hear of events through the signals. Main thread.
class DetectionControl : public QObject {
    Q_OBJECT
public:
    // The UTC time (seconds since 1970) of a sample's monotonic time stamp.
    using WallClock = std::function<double(double monotonic)>;
    // Where the archive being recorded is and its NET.STA.LOC codes; empty when not recording.
    using ArchiveLookup = std::function<std::pair<QString, QString>()>;

    explicit DetectionControl(QObject *parent = nullptr);
    ~DetectionControl() override;

    // For this run (--on-event): the program run at each event's end.
    void setProgram(std::unique_ptr<EventProgram> program);
    void setWallClock(WallClock clock) { mWallClock = std::move(clock); }
    void setArchiveLookup(ArchiveLookup lookup) { mArchiveLookup = std::move(lookup); }
    void setEventLog(const EventLog &log) { mLog = log; }
    const EventLog &eventLog() const { return mLog; }

    // Reads the DETECT_* settings again; a new rate or new settings make a new detector (which
    // waits one LTA window again), an event running then is ended, cut short.
    void reload(double rate);
    // A new rate alone; nothing happens when it is the one in use.
    void setRate(double rate);
    // Samples that were high-pass filtered by their sender are their own high-passed values.
    void setInputPrefiltered(bool prefiltered) { mInputPrefiltered = prefiltered; }

    void addSample(const Acceleration &acceleration);
    const Detector *detector() const { return mDetector.get(); }

    // The run is ending: an event still running is ended, cut short, and the program is given
    // up to `wait` to finish what it has to do.
    void finish(std::chrono::milliseconds wait = EventProgram::kTimeout);

signals:
    void eventStarted(const Event &event);
    // Written to the log and handed to the program by now.
    void eventEnded(const Event &event);

private:
    void rebuild(const DetectionSettings &settings, double rate);
    void endEvent();

    std::unique_ptr<Detector> mDetector;  // none until the rate is known
    std::unique_ptr<EventProgram> mProgram;
    EventLog mLog;
    WallClock mWallClock;
    ArchiveLookup mArchiveLookup;
    std::array<double, 3> mMean{};  // the history's high-pass state, for the PGA
    bool mInputPrefiltered = false;
    Event mRunning;  // the event running, its start in UTC
};
