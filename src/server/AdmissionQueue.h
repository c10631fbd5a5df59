#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The server's worker threads, with a limit on the connections it holds: open on a worker or
// waiting for one. httplib's own pool queues every connection it accepts, so a flood of idle
// or slow clients would pile up without end.
//
// A connection over the limit cannot simply be dropped here: httplib hands over a task that
// owns the accepted socket and closes it only when run. So the task runs at once on the
// accepting thread, marked as refused (refusing()); the server answers its first request 503
// before reading any body, and the connection is closed. That thread waits at most one read
// time-out for the request's head; meanwhile new connections wait in the kernel's backlog,
// which is the back pressure a full server should give.
class AdmissionQueue : public httplib::TaskQueue {
public:
    AdmissionQueue(int threads, int maxConnections);
    ~AdmissionQueue() override;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

    // Whether the connection served on this thread is one over the limit.
    static bool refusing();
    int connections() const;

private:
    void work();

    const int mMaxConnections;
    mutable std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mTasks;
    int mConnections = 0;
    bool mShuttingDown = false;
    std::vector<std::thread> mThreads;
};
