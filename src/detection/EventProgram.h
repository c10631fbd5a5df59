#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <chrono>
#include <deque>
#include <memory>

class QProcess;
class QTimer;

// The program --on-event names, run at each event's end with the event's JSON on its standard
// input. The command is split into arguments by QProcess::splitCommand (at spaces; double
// quotes keep spaces in an argument, three of them make a literal quote) and run without a
// shell. One runs at a time; up to kQueueLimit more wait their
// turn, and when another comes the oldest waiting is dropped with a log line. A program still
// running after the time-out is killed, with a log line; one that cannot start or that ends
// with a status other than 0 gets a log line too. Its standard output is discarded, its
// standard error goes to ours. Main thread.
class EventProgram : public QObject {
    Q_OBJECT
public:
    static constexpr int kQueueLimit = 16;
    static constexpr std::chrono::milliseconds kTimeout{30000};

    // `command` as given on the command line; check isValid().
    explicit EventProgram(const QString &command, std::chrono::milliseconds timeout = kTimeout,
                          QObject *parent = nullptr);
    ~EventProgram() override;  // kills a program still running

    bool isValid() const { return !mArguments.isEmpty(); }
    const QString &command() const { return mCommand; }
    // Runs the program with `input` on its standard input now, or once those before it ended.
    void run(const QByteArray &input);
    // Nothing running or waiting.
    bool isIdle() const { return !mProcess && mWaiting.empty(); }
    // Runs the event loop until every program has ended or `wait` has passed; what still runs
    // then is killed, with a log line, and what waits is dropped.
    void finish(std::chrono::milliseconds wait);

signals:
    // One program has ended (whatever way); the next, if any, has been started.
    void ended();

private:
    void startNext();
    void onFinished();
    void log(const QString &what) const;

    QString mCommand;
    QStringList mArguments;  // the program first
    std::chrono::milliseconds mTimeout;
    std::deque<QByteArray> mWaiting;     // inputs of the programs not yet started
    std::unique_ptr<QProcess> mProcess;  // the program running; none when idle
    QTimer *mTimer;                      // its time-out
    enum class Kill { None, TimedOut, RunEnded } mKilled = Kill::None;  // why it was killed
};
