#pragma once

#include <QString>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// Reads an accelerometer's three raw attributes (in_accel_{x,y,z}_raw) at a steady rate on a
// thread of its own: on a sensor hub one read can take milliseconds, or seconds when the hub
// does not answer, which the window must never wait for. The attributes stay open and are read
// from offset 0 each time.
class IioRawPoller {
public:
    // Called on the poller's thread, never after stop() has returned: the raw values and the
    // moment they were read, in monotonic seconds; or why reading failed, after which the poller
    // reads no more.
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
    // Returns at once: a read in progress finishes on the poller's thread, which then closes the
    // files and ends; its result is dropped.
    void stop();

private:
    // Shared by the caller and the thread, which may outlive the poller by one read.
    struct State {
        ~State();
        std::array<QString, 3> paths;
        std::array<int, 3> fds = {-1, -1, -1};
        SampleHandler onSample;
        FailureHandler onFailure;
        std::mutex mutex;  // guards `stopping`; held while a handler runs
        std::condition_variable wake;
        bool stopping = false;
    };

    static void run(const std::shared_ptr<State> &state, double rate);
    // False with `reason` when a read fails or gives no number.
    static bool readOnce(const State &state, std::array<int64_t, 3> *raw, QString *reason);

    std::shared_ptr<State> mState;
};
