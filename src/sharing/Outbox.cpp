#include "sharing/Outbox.h"

#include "http/FormDataRequest.h"
#include "http/NetworkQueue.h"
#include "platform/PrintableText.h"
#include "platform/SystemLog.h"
#include "platform/WholeFile.h"
#include "sharing/Report.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

namespace {
// The reports hold the position and may hold a password in the URL: the user's alone.
constexpr QFileDevice::Permissions kFilePermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool isOneLine(const QByteArray &text) { return !text.contains('\n') && !text.contains('\r'); }

QString shownUrl(const QUrl &url) { return withoutUserInfo(url.toString()); }
}  // namespace

QString Outbox::defaultFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("outbox"));
}

qint64 Outbox::pauseSeconds(int attempts) {
    qint64 pause = kFirstPauseSeconds;
    for (int i = 1; i < attempts && pause < kLongestPauseSeconds; ++i) {
        pause *= 2;
    }
    return std::min(pause, kLongestPauseSeconds);
}

Outbox::Outbox(const QString &folder, QObject *parent) : Outbox(folder, Clock(), parent) {}

Outbox::Outbox(const QString &folder, Clock clock, QObject *parent)
    : QObject(parent),
      mFolder(folder),
      mClock(clock ? std::move(clock) : [] { return QDateTime::currentDateTimeUtc(); }),
      mLock(QDir(folder).filePath(QStringLiteral(".lock"))),
      mQueue(std::make_unique<NetworkQueue>()) {
    // Each report stands alone: one that fails must not cancel the others on their way.
    mQueue->setShouldCancelAllRequestsOnFailure(false);
    mQueue->setRequestDidFinishSelector("requestComplete");
    mQueue->setRequestDidFailSelector("requestFailed");
    mQueue->setDelegate(this);
    mQueue->go();
    mTimer.setSingleShot(true);
    connect(&mTimer, &QTimer::timeout, this, &Outbox::sendDue);

    if (!QDir().mkpath(folder)) {
        SystemLog::log(
            QStringLiteral("Outbox: %1 cannot be made; reports that fail are lost").arg(folder));
        return;
    }
    // Held for as long as this object lives, however long: only a lock whose process is gone is
    // stale, never one that is merely old.
    mLock.setStaleLockTime(0);
    mOwnsFolder = mLock.tryLock(0);
    if (!mOwnsFolder) {
        SystemLog::log(mLock.error() == QLockFile::LockFailedError
                           ? QStringLiteral("Outbox: %1 is in use by another Shakelog; reports of "
                                            "this run that fail wait there for it")
                                 .arg(folder)
                           : QStringLiteral("Outbox: %1 cannot be locked; reports of this run "
                                            "that fail wait there for a later start")
                                 .arg(folder));
        return;
    }
    rescan();
    enforceCapacity();
    mTimer.start(0);
}

Outbox::~Outbox() {
    mQueue->setDelegate(nullptr);
    mTimer.stop();
    // A first attempt still under way would be lost with this object: it waits in the folder
    // for the next start instead (sent twice should the server have taken it meanwhile).
    for (auto &[id, item] : mItems) {
        QString error;
        if (!item.stored && !store(item, &error)) {
            SystemLog::log(
                QStringLiteral("Outbox: report %1 could not be kept in %2 (%3); it is lost")
                    .arg(id, mFolder, error));
        }
    }
    mQueue.reset();  // cancels what is on its way and waits for it
}

QString Outbox::path(const QString &id) const {
    return QDir(mFolder).filePath(id + OutboxEntry::kSuffix);
}

QString Outbox::submit(const QUrl &url, const QByteArray &body, const QByteArray &contentType) {
    const QDateTime now = mClock().toUTC();
    QString id;
    do {
        id = OutboxEntry::makeId(now, mLastId);
    } while (mItems.count(id) || QFile::exists(path(id)));
    mLastId = id;

    if (!OutboxEntry::isSendable(url)) {
        const QString reason = QStringLiteral("%1 is no http or https URL").arg(shownUrl(url));
        drop(id, reason, QStringLiteral("Outbox: report %1 dropped: %2").arg(id, reason));
        return id;
    }
    if (!isOneLine(contentType)) {
        const QString reason = QStringLiteral("its content type is not one line");
        drop(id, reason, QStringLiteral("Outbox: report %1 dropped: %2").arg(id, reason));
        return id;
    }
    Item item;
    item.entry.id = id;
    item.entry.url = url;
    item.entry.contentType = contentType;
    item.entry.body = body;
    item.entry.created = now;
    item.entry.nextTry = now;
    attempt(mItems.emplace(id, std::move(item)).first->second);
    return id;
}

QString Outbox::submitReport(const QString &requestUrl, const QString &signal) {
    const auto request = Report::makeRequest(requestUrl, signal);
    request->buildPostBody();
    return submit(request->url(), request->postBody().value_or(QByteArray()),
                  request->requestHeaders()
                      .value_or(QMap<QByteArray, QByteArray>())
                      .value(QByteArrayLiteral("Content-Type")));
}

QList<OutboxEntry> Outbox::pending() const {
    QList<OutboxEntry> entries;
    for (const auto &[id, item] : mItems) {
        entries.append(item.entry);
    }
    return entries;
}

void Outbox::setCapacity(int reports, qint64 bytes) {
    mMaxReports = reports;
    mMaxBytes = bytes;
    enforceCapacity();
}

void Outbox::attempt(Item &item) {
    // The request a FormDataRequest makes of the same form, from the bytes it built once.
    auto request = std::make_shared<HttpRequest>(item.entry.url);
    request->setRequestMethod("POST");
    request->addRequestHeader("Content-Type", item.entry.contentType);
    request->setPostBody(item.entry.body);
    request->setMaxResponseBodySize(Report::kMaxAnswerBytes);
    request->setTimeOutSeconds(mTimeOutSeconds);
    item.inFlight = true;
    mSent.insert(request.get(), item.entry.id);
    mQueue->addOperation(request);
}

void Outbox::requestComplete(HttpRequest *request) {
    const QString id = mSent.take(request);
    if (id.isEmpty()) {
        return;
    }
    if (Report::accepted(*request)) {
        deliveredNow(id, request->responseStatusCode());
    } else {
        failed(id, Report::rejectionMessage(*request));
    }
}

void Outbox::requestFailed(HttpRequest *request) {
    const QString id = mSent.take(request);
    if (!id.isEmpty()) {
        failed(id, Report::failureDetail(*request));
    }
}

void Outbox::deliveredNow(const QString &id, int status) {
    const auto it = mItems.find(id);
    if (it == mItems.end()) {
        return;
    }
    const Item &item = it->second;
    if (item.stored) {
        QFile file(path(id));
        if (!file.remove() && file.exists()) {
            // Were it taken up again, the server would get it twice: not in this run at least.
            mDelivered.insert(id);
            SystemLog::log(QStringLiteral("Outbox: report %1 delivered, but its file could not be "
                                          "removed (%2); it may be sent again after a restart")
                               .arg(id, file.errorString()));
        } else {
            SystemLog::log(
                QStringLiteral("Outbox: report %1 delivered (status %2, attempt %3)")
                    .arg(id, QString::number(status), QString::number(item.entry.attempts + 1)));
        }
    }
    mItems.erase(it);
    emitLater([this, id] { emit delivered(id); });
    armTimer();
}

void Outbox::failed(const QString &id, const QString &reason) {
    const auto it = mItems.find(id);
    if (it == mItems.end()) {
        return;
    }
    Item &item = it->second;
    const bool first = !item.stored;
    item.inFlight = false;
    item.entry.attempts += 1;
    item.entry.lastReason = reason;
    const qint64 pause = pauseSeconds(item.entry.attempts);
    item.entry.nextTry = mClock().toUTC().addSecs(pause);
    QString error;
    if (!store(item, &error)) {
        if (!first) {
            // The earlier file stays: after a restart it is tried sooner than planned, no worse.
            SystemLog::log(QStringLiteral("Outbox: report %1 not delivered (%2); its new schedule "
                                          "could not be saved (%3)")
                               .arg(id, reason, error));
            armTimer();
            return;
        }
        drop(id, QStringLiteral("%1, and it could not be kept: %2").arg(reason, error),
             QStringLiteral("Outbox: report %1 to %2 not delivered (%3) and could not be kept in "
                            "%4 (%5); it is lost")
                 .arg(id, shownUrl(item.entry.url), reason, mFolder, error));
        return;
    }
    SystemLog::log(first
                       ? QStringLiteral("Outbox: report %1 to %2 not delivered (%3); kept, "
                                        "next try in %4 min")
                             .arg(id, shownUrl(item.entry.url), reason, QString::number(pause / 60))
                       : QStringLiteral("Outbox: report %1 not delivered (%2, attempt %3); next "
                                        "try in %4 min")
                             .arg(id, reason, QString::number(item.entry.attempts),
                                  QString::number(pause / 60)));
    emitLater([this, id, reason] { emit kept(id, reason); });
    if (!mOwnsFolder) {
        mItems.erase(it);  // the folder's owner takes it up
        return;
    }
    enforceCapacity();
    armTimer();
}

bool Outbox::store(Item &item, QString *error) {
    const QByteArray bytes = item.entry.toBytes();
    if (!writeWholeFile(path(item.entry.id), bytes, error, kFilePermissions)) {
        return false;
    }
    item.stored = true;
    item.fileBytes = bytes.size();
    return true;
}

void Outbox::drop(const QString &id, const QString &reason, const QString &logLine) {
    const auto it = mItems.find(id);
    if (it != mItems.end()) {
        if (it->second.stored) {
            QFile::remove(path(id));
        }
        mItems.erase(it);
    }
    if (!logLine.isEmpty()) {
        SystemLog::log(logLine);
    }
    emitLater([this, id, reason] { emit dropped(id, reason); });
}

void Outbox::sendDue() {
    if (!mOwnsFolder) {
        return;
    }
    rescan();
    const QDateTime now = mClock().toUTC();
    QStringList expired;
    for (auto &[id, item] : mItems) {
        if (item.inFlight || !item.stored) {
            continue;
        }
        if (item.entry.created.secsTo(now) >= kMaxAgeSeconds) {
            expired.append(id);
            continue;
        }
        // A next try further ahead than any pause comes from a clock that was set back since:
        // waiting for it could take far longer than the schedule meant.
        const qint64 wait = now.secsTo(item.entry.nextTry);
        if (item.entry.nextTry <= now || wait > kLongestPauseSeconds) {
            attempt(item);
        }
    }
    for (const QString &id : expired) {
        const QString last = mItems.at(id).entry.lastReason;
        drop(id, QStringLiteral("undelivered for 7 days"),
             QStringLiteral("Outbox: report %1 dropped, undelivered for 7 days (last: %2)")
                 .arg(id, last));
    }
    enforceCapacity();
    armTimer();
}

void Outbox::rescan() {
    QDir dir(mFolder);
    QSet<QString> present;
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        if (name.contains(QLatin1String(".corrupt")) || mSetAside.contains(name)) {
            continue;
        }
        if (!name.endsWith(OutboxEntry::kSuffix)) {
            if (isSaveLeftover(name)) {
                removeLeftover(name);
            } else {
                moveAside(name, QStringLiteral("not an outbox report"));
            }
            continue;
        }
        const QString id = name.chopped(OutboxEntry::kSuffix.size());
        present.insert(id);
        mLastId = std::max(mLastId, id);
        if (mItems.count(id) || mDelivered.contains(id)) {
            continue;
        }
        QFile file(dir.filePath(name));
        if (file.size() > mMaxBytes) {
            moveAside(name, QStringLiteral("larger than the outbox holds"));
            continue;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            mSetAside.insert(name);
            SystemLog::log(
                QStringLiteral("Outbox: %1 cannot be read (%2); left as it is")
                    .arg(printableText(QFile::encodeName(file.fileName())), file.errorString()));
            continue;
        }
        const QByteArray bytes = file.readAll();
        QString error;
        auto entry = OutboxEntry::parse(id, bytes, &error);
        if (!entry) {
            moveAside(name, error);
            continue;
        }
        Item item;
        item.entry = std::move(*entry);
        item.stored = true;
        item.fileBytes = bytes.size();
        mItems.emplace(id, std::move(item));
    }
    // A file removed by hand takes its report with it.
    for (auto it = mItems.begin(); it != mItems.end();) {
        const bool gone = it->second.stored && !it->second.inFlight && !present.contains(it->first);
        it = gone ? mItems.erase(it) : std::next(it);
    }
    mDelivered.intersect(present);
}

bool Outbox::isSaveLeftover(const QString &name) {
    // "ID.report.XXXXXX": QSaveFile writes a new version unnamed, links it under such a name
    // and renames it over the old one. A kill between the two leaves it; so does a save under
    // way where the file system cannot write a file unnamed.
    static const QRegularExpression pattern(QStringLiteral("\\.report\\.[A-Za-z0-9]{6}$"));
    return pattern.match(name).hasMatch();
}

void Outbox::removeLeftover(const QString &name) {
    const QString file = QDir(mFolder).filePath(name);
    // A save takes far less than this: an older one was cut short. The file it was to replace
    // still holds the report, as it was before that attempt.
    constexpr qint64 kSaveSeconds = 60;
    const QDateTime written = QFileInfo(file).lastModified();
    if (qAbs(written.secsTo(QDateTime::currentDateTimeUtc())) < kSaveSeconds) {
        return;
    }
    if (QFile::remove(file)) {
        SystemLog::log(QStringLiteral("Outbox: removed %1, left by a save cut short")
                           .arg(printableText(QFile::encodeName(file))));
    } else {
        mSetAside.insert(name);
    }
}

void Outbox::moveAside(const QString &name, const QString &reason) {
    const QDir dir(mFolder);
    const QString shown = printableText(QFile::encodeName(dir.filePath(name)));
    // Never over an earlier copy: the user may still want what is in it.
    QString target = name + QStringLiteral(".corrupt");
    for (int n = 1; dir.exists(target); ++n) {
        target = name + QStringLiteral(".corrupt.%1").arg(n);
    }
    if (QFile::rename(dir.filePath(name), dir.filePath(target))) {
        SystemLog::log(QStringLiteral("Outbox: %1 is no kept report (%2); moved aside to %3")
                           .arg(shown, reason, printableText(QFile::encodeName(target))));
    } else {
        mSetAside.insert(name);
        SystemLog::log(
            QStringLiteral(
                "Outbox: %1 is no kept report (%2) and cannot be moved aside; left as it is")
                .arg(shown, reason));
    }
}

void Outbox::enforceCapacity() {
    if (!mOwnsFolder) {
        return;  // the owner's to do
    }
    int count = 0;
    qint64 bytes = 0;
    for (const auto &[id, item] : mItems) {
        if (item.stored) {
            ++count;
            bytes += item.fileBytes;
        }
    }
    for (auto it = mItems.begin();
         it != mItems.end() && (count > mMaxReports || bytes > mMaxBytes);) {
        const Item &item = it->second;
        const QString id = it->first;
        ++it;
        // An attempt under way may yet deliver it: the next oldest goes instead.
        if (!item.stored || item.inFlight) {
            continue;
        }
        --count;
        bytes -= item.fileBytes;
        drop(id, QStringLiteral("the outbox is full"),
             QStringLiteral("Outbox: report %1 dropped, the oldest of more than %2 reports or %3 "
                            "bytes kept")
                 .arg(id, QString::number(mMaxReports), QString::number(mMaxBytes)));
    }
}

void Outbox::armTimer() {
    if (!mOwnsFolder) {
        return;
    }
    std::optional<QDateTime> earliest;
    for (const auto &[id, item] : mItems) {
        if (item.stored && !item.inFlight && (!earliest || item.entry.nextTry < *earliest)) {
            earliest = item.entry.nextTry;
        }
    }
    if (!earliest) {
        mTimer.stop();
        return;
    }
    const qint64 wait = mClock().toUTC().msecsTo(*earliest);
    mTimer.start(int(std::clamp<qint64>(wait, 0, kLongestPauseSeconds * 1000)));
}

void Outbox::emitLater(std::function<void()> emission) {
    QMetaObject::invokeMethod(this, std::move(emission), Qt::QueuedConnection);
}
