#pragma once

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class ReadStream;

// A thread's run loop for HTTP streams: runInMode hands the events of the streams scheduled in
// that mode to their clients, on this thread, and sleeps until the transfer thread (which moves
// the bytes of every stream) or a closing stream wakes it. One per thread, made at first use.
class RunLoop {
public:
    enum class Result { Finished = 1, Stopped = 2, TimedOut = 3, HandledSource = 4 };

    static RunLoop &current();
    ~RunLoop();
    RunLoop(const RunLoop &) = delete;
    RunLoop &operator=(const RunLoop &) = delete;

    void addCommonMode(const QString &mode);
    // Runs for at most `seconds`; with `returnAfterSourceHandled`, returns as soon as one
    // stream's events have been delivered.
    Result runInMode(const QString &mode, double seconds, bool returnAfterSourceHandled);
    // Makes a running runInMode look again at once; any thread.
    void wakeUp();

    // For streams.
    void schedule(const std::shared_ptr<ReadStream> &stream);
    void unschedule(ReadStream *stream);

private:
    RunLoop() = default;

    std::mutex mWakeLock;  // guards mWakeUpPending
    std::condition_variable mWoken;
    bool mWakeUpPending = false;  // something may have happened since the last look
    QStringList mCommonModes;
    std::vector<std::shared_ptr<ReadStream>> mStreams;
};
