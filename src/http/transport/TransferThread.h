#pragma once

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ReadStream;
typedef void CURLM;

// The process's one libcurl multi handle, driven on a thread of its own. Every stream's
// transfer runs here, so that all of them draw on one connection cache: a keep-alive
// connection left by one request is reused by the next to the same server, whatever thread
// that request runs on. (libcurl 7.88 does not support a connection cache shared between
// threads through a share handle, and a multi handle belongs to one thread at a time.)
//
// Threads: add, remove and resume from any thread; they only queue the change and wake the
// transfer thread, which alone touches the multi handle and the easy handles in it. The
// streams' callbacks run on the transfer thread.
class TransferThread {
public:
    static TransferThread &shared();  // started at first use, stopped at exit
    ~TransferThread();
    TransferThread(const TransferThread &) = delete;
    TransferThread &operator=(const TransferThread &) = delete;

    // Starts the stream's transfer; the stream is kept alive until it has left the multi handle.
    void add(std::shared_ptr<ReadStream> stream);
    // Ends the transfer where it is (its connection is closed, not reused); nothing for a
    // stream that is not transferring.
    void remove(std::shared_ptr<ReadStream> stream);
    // Lets a transfer paused by its body callback go on.
    void resume(std::shared_ptr<ReadStream> stream);

private:
    struct Change {
        enum Kind { Add, Remove, Resume } kind;
        std::shared_ptr<ReadStream> stream;
    };

    TransferThread();
    void queue(Change change);
    void run();
    void apply(const Change &change);
    std::vector<std::shared_ptr<ReadStream>>::iterator findTransfer(const ReadStream *stream);
    void detach(ReadStream *stream);
    void performTransfers();

    CURLM *mMulti;
    std::mutex mMutex;             // guards the two fields below
    std::vector<Change> mChanges;  // queued by other threads, applied in order
    bool mStopping = false;
    std::vector<std::shared_ptr<ReadStream>> mTransfers;  // in the multi handle; this thread only
    std::thread mThread;
};
