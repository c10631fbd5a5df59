#pragma once

#include "sharing/OutboxEntry.h"

#include <QDateTime>
#include <QHash>
#include <QLockFile>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

class HttpRequest;
class NetworkQueue;

// Store and forward of reports. submit() sends a report at once; one that is not accepted (no
// connection, a non-2xx answer, a time-out) is kept as a file in the outbox folder and tried
// again after 1 minute, then after pauses that double up to 1 hour, until a 2xx answer or until
// it is 7 days old, when it is dropped. The folder outlives the program: a new Outbox on it
// takes up the kept reports on their schedule.
//
// Delivery is at least once: a kept report's file goes only after its 2xx answer, so a crash
// between the two sends it again at the next start (the server recognises the duplicate).
// A first attempt still under way when the Outbox goes is kept for the next start.
//
// The folder holds at most kMaxReports files and kMaxBytes bytes (setCapacity); past either, the
// oldest kept reports are dropped. A file that is no kept report whole is moved aside
// (NAME.corrupt); the leftover of a save cut short (ID.report.XXXXXX) is removed.
// One Outbox at a time retries the folder's reports, the one holding its lock (".lock"); another
// one on the same folder (a second Shakelog) sends its own reports once and keeps them there for
// the first, which takes them up at its next pass.
//
// Main thread only. Signals come from the event loop, never from inside submit().
class Outbox : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;  // the wall-clock time now (UTC)

    static constexpr qint64 kFirstPauseSeconds = 60;
    static constexpr qint64 kLongestPauseSeconds = 60 * 60;
    static constexpr qint64 kMaxAgeSeconds = 7 * 24 * 60 * 60;
    static constexpr int kMaxReports = 100;
    static constexpr qint64 kMaxBytes = 16 * 1024 * 1024;

    // "outbox" in the XDG data folder.
    static QString defaultFolder();
    // The pause after `attempts` failed attempts (1 or more): 1 min, 2, 4, ... at most 60 min.
    static qint64 pauseSeconds(int attempts);

    // The folder is made if missing; the reports in it are taken up from the event loop on.
    explicit Outbox(const QString &folder, QObject *parent = nullptr);
    // With a clock of the caller's (tests): the schedule and the ids follow it, not the system's.
    Outbox(const QString &folder, Clock clock, QObject *parent = nullptr);
    ~Outbox() override;

    // Sends a POST of `body` to `url` with this Content-Type; returns the report's id. A URL
    // that is no http(s) URL or a type with a line break is dropped at once (a file could not
    // hold it, a server never take it).
    QString submit(const QUrl &url, const QByteArray &body, const QByteArray &contentType);
    // The sharing panel's report (Report::makeRequest): `signal` as the form field "signal",
    // its body built once here, so that every attempt sends the same bytes.
    QString submitReport(const QString &requestUrl, const QString &signal);

    // The reports waiting, in the order submitted; while a first attempt is under way its report
    // is here too, not yet in the folder.
    QList<OutboxEntry> pending() const;
    // Attempts sent and not yet answered.
    int underWay() const { return int(mSent.size()); }
    QString folder() const { return mFolder; }
    // Whether this Outbox retries the folder's reports (it holds the folder's lock).
    bool retries() const { return mOwnsFolder; }
    // The cap on the folder: at most `reports` files and `bytes` bytes.
    void setCapacity(int reports, qint64 bytes);
    // How long an attempt may go without a byte moving before it counts as failed (10 s).
    void setTimeOutSeconds(double seconds) { mTimeOutSeconds = seconds; }

public slots:
    // Takes up reports new to the folder, drops the expired, tries those due. The timer calls
    // it at the next due time; a test that moves its clock calls it itself.
    void sendDue();

public:
    // The queue's callbacks.
    Q_INVOKABLE void requestComplete(HttpRequest *request);
    Q_INVOKABLE void requestFailed(HttpRequest *request);

signals:
    void delivered(const QString &id);
    // Not accepted this time and kept for another attempt; `reason` says why.
    void kept(const QString &id, const QString &reason);
    // Given up: expired, pushed out by the cap, or not storable or sendable at all.
    void dropped(const QString &id, const QString &reason);

private:
    struct Item {
        OutboxEntry entry;
        bool stored = false;    // its file is in the folder
        bool inFlight = false;  // an attempt is under way
        qint64 fileBytes = 0;   // the size of its file, when stored
    };

    QString path(const QString &id) const;
    void attempt(Item &item);
    void failed(const QString &id, const QString &reason);
    void deliveredNow(const QString &id, int status);
    // Writes the item's file whole; false, and why in `error`, when it cannot.
    bool store(Item &item, QString *error);
    void drop(const QString &id, const QString &reason, const QString &logLine);
    // Adopts the folder's reports that this Outbox does not know; forgets those gone.
    void rescan();
    static bool isSaveLeftover(const QString &name);
    void removeLeftover(const QString &name);
    void moveAside(const QString &name, const QString &reason);
    void enforceCapacity();
    void armTimer();
    void emitLater(std::function<void()> emission);

    QString mFolder;
    Clock mClock;
    QLockFile mLock;
    bool mOwnsFolder = false;
    int mMaxReports = kMaxReports;
    qint64 mMaxBytes = kMaxBytes;
    double mTimeOutSeconds = 10;
    QString mLastId;                            // the newest submitted here
    std::map<QString, Item> mItems;             // by id, so oldest first
    QHash<const HttpRequest *, QString> mSent;  // the attempts under way, and for which report
    QSet<QString> mDelivered;  // accepted, but their files could not be removed: not again
    QSet<QString> mSetAside;   // names that could not be moved aside: not tried again
    QTimer mTimer;             // single shot, at the earliest next try
    std::unique_ptr<NetworkQueue> mQueue;
};
