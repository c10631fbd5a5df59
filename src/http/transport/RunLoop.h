#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class ReadStream;
typedef void CURLM;

// A thread's run loop for HTTP streams: runInMode drives libcurl's multi interface and hands
// the events of the streams scheduled in that mode to their clients, on this thread. One per
// thread, made at first use.
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
    bool addTransfer(ReadStream *stream);
    void removeTransfer(ReadStream *stream);

private:
    RunLoop();
    void performTransfers();

    CURLM *mMulti;
    QStringList mCommonModes;
    std::vector<std::shared_ptr<ReadStream>> mStreams;
};
