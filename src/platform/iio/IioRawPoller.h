#pragma once

#include <QString>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// Reads an accelerometer's three raw attributes (in_accel_{x,y,z}_raw) at a steady rate on a
// thread of its own: on a sensor hub one read can take milliseconds, which the window must not
// wait for. The attributes stay open and are read from offset 0 each time.
class IioRawPoller {
public:
    // Called on the poller's thread: the raw values and the moment they were read, in monotonic
    // seconds; or why reading failed, after which the poller reads no more.
    using SampleHandler = std::function<void(const std::array<int64_t, 3> &raw, double timestamp)>;
    using FailureHandler = std::function<void(const QString &reason)>;

    IioRawPoller() = default;
    ~IioRawPoller() { stop(); }
    IioRawPoller(const IioRawPoller &) = delete;
    IioRawPoller &operator=(const IioRawPoller &) = delete;

    // False with `error` naming the file when one cannot be opened.
    bool open(const std::array<QString, 3> &paths, QString *error);
    // Reads every 1 / `rate` seconds until stop().
    void start(double rate, SampleHandler onSample, FailureHandler onFailure);
    // Ends the thread (promptly: it waits on a condition, not a sleep) and closes the files.
    void stop();

private:
    void run(double rate);
    // False with `reason` when a read fails or gives no number.
    bool readOnce(std::array<int64_t, 3> *raw, QString *reason) const;

    std::array<QString, 3> mPaths;
    std::array<int, 3> mFds = {-1, -1, -1};
    SampleHandler mOnSample;
    FailureHandler mOnFailure;
    std::thread mThread;
    std::mutex mMutex;
    std::condition_variable mWake;
    bool mStopping = false;  // guarded by mMutex
};
