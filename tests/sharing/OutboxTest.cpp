#include "http/FormDataRequest.h"
#include "http/NetworkQueue.h"
#include "sharing/Outbox.h"
#include "sharing/Report.h"
#include "support/BuiltProgram.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/Loopback.h"
#include "support/Printers.h"
#include "support/ScriptedHttpServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

using Server = ScriptedHttpServer;

const QByteArray kTail = "\r\n\r\n1.000000,2.000000,3.000000\n\r\n--0xKhTmLbOuNdArY--\r\n";

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class OutboxTest : public ::testing::Test {
protected:
    OutboxTest() : folder(QDir(dir.path()).filePath("data/outbox")) {
        refused = bindLoopback(SOCK_STREAM, &refusedPort);  // bound, never listening
    }
    ~OutboxTest() override { ::close(refused); }

    // A new Outbox on the folder, as a new run of the program would make it, on the test's clock.
    std::unique_ptr<Outbox> open() {
        auto outbox = std::make_unique<Outbox>(folder, [this] { return now; });
        outbox->setTimeOutSeconds(1);
        QObject::connect(outbox.get(), &Outbox::delivered,
                         [this](const QString &id) { delivered.append(id); });
        QObject::connect(outbox.get(), &Outbox::kept,
                         [this](const QString &id, const QString &reason) {
                             kept.append({id, reason});
                         });
        QObject::connect(outbox.get(), &Outbox::dropped,
                         [this](const QString &id, const QString &reason) {
                             dropped.append({id, reason});
                         });
        return outbox;
    }
    QUrl refusedUrl() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/r?device_id=d42").arg(refusedPort));
    }
    // Submits to the port that refuses and waits until the report is kept.
    QString keepOne(Outbox &outbox, const QByteArray &body = "x") {
        const auto before = kept.size();
        const QString id = outbox.submit(refusedUrl(), body, "text/plain");
        pumpUntil([&] { return kept.size() > before; });
        return id;
    }
    void advance(qint64 seconds) { now = now.addSecs(seconds); }
    QStringList files() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }
    OutboxEntry stored(const QString &id) const {
        QString error;
        const auto entry =
            OutboxEntry::parse(id, readFile(QDir(folder).filePath(id + ".report")), &error);
        EXPECT_TRUE(entry) << error.toStdString();
        return entry.value_or(OutboxEntry());
    }

    QTemporaryDir dir;
    QString folder;
    QDateTime now{QDate(2026, 12, 8), QTime(10, 21, 45, 120), Qt::UTC};
    int refused = -1;
    int refusedPort = 0;
    LogCapture log;
    QStringList delivered;
    QList<QPair<QString, QString>> kept, dropped;
};

Server::Step ok() { return Server::write(Server::response(200)); }

// A server that times out, refuses with 503, then resets, gets the report at the fourth attempt,
// one pause after another, byte for byte as at the first, and never again once it took it. A
// signal that holds the form's boundary makes the body pick a random one: built once, kept.
TEST_F(OutboxTest, AFailingServerGetsTheSameBytesUntilItAcceptsThenNothing) {
    Server server(std::vector<std::vector<Server::Step>>{
        {Server::hold(), Server::close()},
        {Server::write(Server::response(503)), Server::close()},
        {Server::reset()},
        {ok(), Server::close()}});
    auto outbox = open();
    const QString signal = "1.000000,2.000000,3.000000\n0xKhTmLbOuNdArY\n";
    const QString id =
        outbox->submitReport(QString::fromUtf8(server.url("/r?device_id=d42&action=add"))
                                 .replace("http://", "http://me:secret@"),
                             signal);
    EXPECT_TRUE(files().isEmpty());  // nothing stored while the first attempt may yet succeed

    const QStringList reasons = {"The request timed out",
                                 "The server answered with status 503; the data was not accepted.",
                                 "A connection failure occurred ("};
    const qint64 pauses[] = {60, 120, 240};
    for (int i = 0; i < 3; ++i) {
        pumpUntil([&] { return kept.size() > i; });
        ASSERT_EQ(kept.size(), i + 1);
        EXPECT_EQ(kept[i].first, id);
        EXPECT_TRUE(kept[i].second.startsWith(reasons[i])) << kept[i].second.toStdString();
        server.release();  // the first script holds past the client's time-out
        const OutboxEntry entry = stored(id);
        EXPECT_EQ(entry.attempts, i + 1);
        EXPECT_EQ(entry.nextTry, now.addSecs(pauses[i]));
        EXPECT_EQ(entry.lastReason, kept[i].second);
        advance(pauses[i]);
        outbox->sendDue();
    }
    pumpUntil([&] { return !delivered.isEmpty(); });
    EXPECT_EQ(delivered, QStringList{id});
    EXPECT_TRUE(files().isEmpty());
    EXPECT_EQ(
        log.count(QStringLiteral("Outbox: report %1 delivered (status 200, attempt 4)").arg(id)),
        1);

    advance(Outbox::kLongestPauseSeconds * 3);
    outbox->sendDue();
    EXPECT_EQ(outbox->underWay(), 0);
    EXPECT_TRUE(outbox->pending().isEmpty());
    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 4);
    for (const QByteArray &request : requests) {
        EXPECT_EQ(request, requests[0]);
    }
    EXPECT_TRUE(requests[0].startsWith("POST /r?device_id=d42&action=add HTTP/1.1\r\n"));
    EXPECT_FALSE(requests[0].contains("boundary=0xKhTmLbOuNdArY\r\n"));
    EXPECT_TRUE(requests[0].contains("\r\n\r\n" + signal.toUtf8() + "\r\n--0xKhTmLbOuNdArY"));
    // The log names the server but not the password.
    EXPECT_TRUE(log.lines().join('\n').contains("http://***@127.0.0.1:"));
    EXPECT_FALSE(log.lines().join('\n').contains("secret"));
}

// What the outbox sends is what the sharing panel's upload sends for the same report.
TEST_F(OutboxTest, ItSendsWhatTheUploadSends) {
    Server panelServer({ok()}), outboxServer({ok()});
    const QString signal = "1.000000,2.000000,3.000000\n";
    NetworkQueue queue;
    auto request = Report::makeRequest(QString::fromUtf8(panelServer.url("/r?a=1&b=%20")), signal);
    queue.addOperation(request);
    queue.go();
    auto outbox = open();
    outbox->submitReport(QString::fromUtf8(outboxServer.url("/r?a=1&b=%20")), signal);
    pumpUntil([&] { return request->complete() && !delivered.isEmpty(); });
    ASSERT_EQ(delivered.size(), 1);
    QByteArray fromOutbox = outboxServer.request();
    fromOutbox.replace(QByteArray::number(outboxServer.port()),
                       QByteArray::number(panelServer.port()));
    EXPECT_EQ(fromOutbox, panelServer.request());
    EXPECT_TRUE(fromOutbox.endsWith(kTail));
    EXPECT_TRUE(files().isEmpty());
}

// Kept reports survive the program: a new Outbox sends what is due at once, by itself, and a
// report accepted before the restart is not sent again. A first attempt still on its way when
// the program ends is kept for the next start.
TEST_F(OutboxTest, ARestartResumesAndNeverResendsWhatWasAccepted) {
    Server server(std::vector<std::vector<Server::Step>>{
        {Server::reset()},                  // the first report's first attempt
        {Server::hold(), Server::close()},  // the second's: the program ends meanwhile
        {ok(), Server::close()},            // both, after the restart
        {ok(), Server::close()}});
    const QUrl url(QString::fromUtf8(server.url("/r")));
    QString first, second;
    {
        auto outbox = open();
        first = outbox->submit(url, "one", "text/plain");
        pumpUntil([&] { return kept.size() == 1; });
        second = outbox->submit(url, "two", "text/plain");
        pumpUntil([&] { return server.holding(); });
    }
    server.release();
    ASSERT_EQ(files(), (QStringList{first + ".report", second + ".report"}));
    EXPECT_EQ(stored(second).attempts, 0);
    struct stat status {};
    ASSERT_EQ(
        ::stat(QFile::encodeName(QDir(folder).filePath(first + ".report")).constData(), &status),
        0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);  // the position and any password: the user's alone

    advance(Outbox::kFirstPauseSeconds);
    {
        auto outbox = open();
        EXPECT_TRUE(outbox->retries());
        EXPECT_EQ(outbox->pending().size(), 2);
        pumpUntil([&] { return delivered.size() == 2; });  // no sendDue(): its own timer
        EXPECT_EQ(QSet<QString>(delivered.begin(), delivered.end()),
                  (QSet<QString>{first, second}));
        EXPECT_TRUE(files().isEmpty());
    }
    advance(Outbox::kMaxAgeSeconds);
    {
        auto outbox = open();
        outbox->sendDue();
        EXPECT_TRUE(outbox->pending().isEmpty());
        EXPECT_EQ(outbox->underWay(), 0);
    }
    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 4);
    EXPECT_TRUE(requests[0].endsWith("\r\n\r\none"));
    EXPECT_TRUE(requests[1].endsWith("\r\n\r\ntwo"));
    EXPECT_EQ(QSet<QByteArray>({requests[2], requests[3]}),
              QSet<QByteArray>({requests[0], requests[1]}));
}

// 1, 2, 4 ... 32 minutes, then an hour each time; nothing before its time; a clock set back
// does not stall the schedule; at 7 days the report goes, saying why.
TEST_F(OutboxTest, PausesDoubleUpToAnHourAndAReportExpiresAfterSevenDays) {
    auto outbox = open();
    const QDateTime created = now;
    const QString id = keepOne(*outbox);
    const qint64 minutes[] = {1, 2, 4, 8, 16, 32, 60, 60, 60};
    for (int i = 0; i < int(std::size(minutes)); ++i) {
        const OutboxEntry entry = stored(id);
        ASSERT_EQ(entry.attempts, i + 1);
        ASSERT_EQ(now.secsTo(entry.nextTry), minutes[i] * 60) << "after attempt " << i + 1;
        advance(minutes[i] * 60 - 1);
        outbox->sendDue();
        EXPECT_EQ(outbox->underWay(), 0) << "a second early, after attempt " << i + 1;
        advance(1);
        outbox->sendDue();
        EXPECT_EQ(outbox->underWay(), 1);
        pumpUntil([&] { return kept.size() == i + 2; });
    }
    EXPECT_EQ(log.count(QStringLiteral(
                            "Outbox: report %1 not delivered (%2, attempt 10); next try in 60 min")
                            .arg(id, kept.last().second)),
              1);

    // The clock set back a day: the next try is no day away.
    advance(-24 * 3600);
    outbox->sendDue();
    EXPECT_EQ(outbox->underWay(), 1);
    pumpUntil([&] { return outbox->underWay() == 0; });

    now = created.addSecs(Outbox::kMaxAgeSeconds - 1);
    outbox->sendDue();
    EXPECT_EQ(outbox->underWay(), 1);  // its last chance
    pumpUntil([&] { return outbox->underWay() == 0; });
    now = created.addSecs(Outbox::kMaxAgeSeconds);
    outbox->sendDue();
    EXPECT_EQ(outbox->underWay(), 0);
    pumpUntil([&] { return !dropped.isEmpty(); });
    ASSERT_EQ(dropped.size(), 1);
    EXPECT_EQ(dropped[0], (QPair<QString, QString>{id, "undelivered for 7 days"}));
    EXPECT_TRUE(files().isEmpty());
    EXPECT_EQ(
        log.count(QStringLiteral("Outbox: report %1 dropped, undelivered for 7 days (last: %2)")
                      .arg(id, kept.last().second)),
        1);
}

// Past the cap on count or bytes, the oldest kept reports go first, each with a log line.
TEST_F(OutboxTest, TheCapDropsTheOldestFirst) {
    auto outbox = open();
    outbox->setCapacity(3, Outbox::kMaxBytes);
    QStringList ids;
    for (int i = 0; i < 5; ++i) {
        ids.append(keepOne(*outbox, QByteArray(1000 * (i + 1), 'x')));
        advance(1);
    }
    pumpUntil([&] { return dropped.size() == 2; });
    EXPECT_EQ(dropped, (QList<QPair<QString, QString>>{{ids[0], "the outbox is full"},
                                                       {ids[1], "the outbox is full"}}));
    EXPECT_EQ(files(), (QStringList{ids[2] + ".report", ids[3] + ".report", ids[4] + ".report"}));
    EXPECT_EQ(log.count(QStringLiteral("Outbox: report %1 dropped, the oldest of more than 3 "
                                       "reports or %2 bytes kept")
                            .arg(ids[0])
                            .arg(Outbox::kMaxBytes)),
              1);

    // Bytes: the two newest files together are all that fit.
    const qint64 newest = QFileInfo(QDir(folder).filePath(ids[3] + ".report")).size() +
                          QFileInfo(QDir(folder).filePath(ids[4] + ".report")).size();
    outbox->setCapacity(100, newest);
    EXPECT_EQ(files(), (QStringList{ids[3] + ".report", ids[4] + ".report"}));
}

// Whatever lies in the folder, the outbox starts: a file that is no kept report whole is moved
// aside with a line saying why, never sent, never deleted; the good ones load.
TEST_F(OutboxTest, ACorruptOrForeignFileIsMovedAsideAndTheRestLoads) {
    OutboxEntry good;
    good.id = OutboxEntry::makeId(now);
    good.url = refusedUrl();
    good.contentType = "application/octet-stream";
    good.body = QByteArray("\0\n\n\r\nbinary\xff", 12);  // whatever bytes a body has
    good.created = good.nextTry = now;
    const QByteArray whole = good.toBytes();
    QByteArray altered = whole;
    altered[altered.size() - 1] = 'X';
    QByteArray twoUrls = whole;
    twoUrls.replace("\nurl ", "\nurl http://127.0.0.1:1/\nurl ");

    const struct {
        const char *name;
        QByteArray bytes;
        const char *reason;
    } rows[] = {
        {"a-torn.report", whole.chopped(5), "its body has 7 bytes of 12 announced"},
        {"b-altered.report", altered, "its body does not match its checksum"},
        {"c-header.report", whole.left(whole.indexOf("\n\n")), "its header has no end"},
        {"d-twice.report", twoUrls, "the field \"url\" comes twice"},
        {"e-empty.report", {}, "not an outbox report"},
        {"g-file.report", QByteArray(whole).replace("url http://", "url file://"),
         "its URL is no http or https URL"},
        {"f-time.report",
         QByteArray(whole).replace("created 2026-12-08T10:21:45.120Z", "created yesterday"),
         "a time that is not one"},
        {"notes.txt", "my notes", "not an outbox report"},
    };
    QDir().mkpath(folder);
    for (const auto &row : rows) {
        QFile file(QDir(folder).filePath(row.name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.bytes);
    }
    QFile file(QDir(folder).filePath(good.fileName()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(whole);
    file.close();

    // What a save cut short leaves beside the file it was to replace: removed once it is old.
    const QString stale = good.fileName() + ".Ab12Cd", fresh = good.fileName() + ".Xy34Zw";
    for (const QString &name : {stale, fresh}) {
        QFile leftover(QDir(folder).filePath(name));
        ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
        leftover.write(whole);
    }
    QFile old(QDir(folder).filePath(stale));
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-120),
                                QFileDevice::FileModificationTime));
    old.close();

    auto outbox = open();
    EXPECT_FALSE(QFile::exists(QDir(folder).filePath(stale)));
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath(fresh)));
    const QList<OutboxEntry> pending = outbox->pending();
    ASSERT_EQ(pending.size(), 1);
    EXPECT_EQ(pending[0].id, good.id);
    EXPECT_EQ(pending[0].body, good.body);
    EXPECT_EQ(pending[0].url, good.url);
    EXPECT_EQ(pending[0].created, good.created);
    for (const auto &row : rows) {
        const QString name = QString::fromLatin1(row.name);
        EXPECT_EQ(readFile(QDir(folder).filePath(name + ".corrupt")), row.bytes) << row.name;
        EXPECT_EQ(log.count(QStringLiteral("Outbox: %1 is no kept report (%2); moved aside to %3")
                                .arg(QDir(folder).filePath(name), row.reason, name + ".corrupt")),
                  1)
            << row.name << "\n"
            << log.lines().join('\n').toStdString();
    }
    // Moved aside, they are left alone from then on.
    outbox->sendDue();
    EXPECT_EQ(files().size(), 2 + int(std::size(rows)));
}

// A second Outbox on the folder (another Shakelog) keeps what fails there but leaves the retries
// to the first, which takes the report up at its next pass. An address that is none is dropped
// at once.
TEST_F(OutboxTest, ASecondOutboxOnTheFolderLeavesTheRetriesToTheFirst) {
    auto first = open();
    auto second = open();
    EXPECT_TRUE(first->retries());
    EXPECT_FALSE(second->retries());
    EXPECT_EQ(log.count(QStringLiteral("Outbox: %1 is in use by another Shakelog; reports of this "
                                       "run that fail wait there for it")
                            .arg(folder)),
              1);
    const QString id = keepOne(*second);
    EXPECT_TRUE(second->pending().isEmpty());
    advance(Outbox::kFirstPauseSeconds);
    second->sendDue();
    EXPECT_EQ(second->underWay(), 0);
    first->sendDue();
    EXPECT_EQ(first->underWay(), 1);
    ASSERT_EQ(first->pending().size(), 1);
    EXPECT_EQ(first->pending()[0].id, id);

    const QString none = second->submit(QUrl("mailto:someone@example.org"), "x", "text/plain");
    pumpUntil([&] { return !dropped.isEmpty(); });
    EXPECT_EQ(dropped[0], (QPair<QString, QString>{
                              none, "mailto:someone@example.org is no http or https URL"}));
}

// A writer killed at any moment leaves every file in the folder whole: each one loads, none is
// moved aside. A kill between the two steps of replacing a file leaves the new version beside
// it under a name of its own ("ID.report.XXXXXX"): whole too. The writer's lock, left behind,
// goes with its process.
TEST_F(OutboxTest, KillingAWriterNeverLeavesAHalfFile) {
    for (int round = 0; round < 8; ++round) {
        QTemporaryDir target;
        const QString path = QDir(target.path()).filePath("outbox");
        QProcess writer;
        startBuiltProgram(writer, QStringLiteral(OUTBOX_WRITER), {path, "100000"});
        ASSERT_TRUE(writer.waitForStarted());
        pumpUntil([&] { return !QDir(path).entryList({"*.report"}, QDir::Files).isEmpty(); },
                  30000);
        QThread::msleep(QRandomGenerator::global()->bounded(40));
        writer.kill();
        writer.waitForFinished();
        const QStringList reports = QDir(path).entryList({"*.report"}, QDir::Files);
        ASSERT_FALSE(reports.isEmpty()) << "round " << round;
        for (const QString &name : QDir(path).entryList(QDir::Files)) {
            const QString id = name.left(name.indexOf(".report"));
            QString error;
            EXPECT_TRUE(
                QRegularExpression("^[^.]+\\.report(\\.[A-Za-z0-9]{6})?$").match(name).hasMatch() &&
                OutboxEntry::parse(id, readFile(QDir(path).filePath(name)), &error))
                << "round " << round << ": " << name.toStdString() << ": " << error.toStdString();
        }
        Outbox outbox(path, [this] { return now; });
        EXPECT_TRUE(outbox.retries()) << "round " << round;
        EXPECT_EQ(outbox.pending().size(), reports.size()) << "round " << round;
    }
}

}  // namespace
