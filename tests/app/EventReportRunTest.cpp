// Event reports: the samples they carry, and their way to a server that is down at first, across
// runs of the program.
#include "app/EventReporter.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "sharing/Outbox.h"
#include "support/ScriptedHttpServer.h"
#include "support/ShakelogProcess.h"
#include "support/TempConfig.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

using namespace SettingsKeys;

// The outbox's kept reports in `folder`.
QStringList keptReports(const QString &folder) {
    return QDir(folder).entryList({"*.report"}, QDir::Files, QDir::Name);
}

TEST(EventReporter, SendsItsOwnRingWithTheTriggerFieldsAfterTheOthers) {
    TempConfig config;
    QTemporaryDir dir;
    UserPref::setBoolean(FILTER, false);
    UserPref::setBoolean(LOCATION_SEND, false);
    UserPref::setString(URL, "http://127.0.0.1:9/report");  // nothing listens: kept
    EventReporter reporter(dir.filePath("outbox"));
    reporter.reload(false);
    EXPECT_FALSE(reporter.isOn());  // off unless asked for
    reporter.addSample({0.5, 0.5, 0.5, 0});
    reporter.setOnForThisRun();
    ASSERT_TRUE(reporter.isOn());
    for (int n = 1; n <= 3; ++n) {
        reporter.addSample({0.125 * n, -0.25, -1.0, n / 100.0});
    }
    Event event;
    event.start = 1796725305.12;  // 2026-12-08T10:21:45.120Z
    event.pga = 0.0123456;
    reporter.report(event);

    const QList<OutboxEntry> pending = reporter.outbox()->pending();
    ASSERT_EQ(pending.size(), 1);
    const QString url = pending[0].url.toString(QUrl::FullyEncoded);
    EXPECT_TRUE(url.startsWith("http://127.0.0.1:9/report?device_id=")) << url.toStdString();
    EXPECT_TRUE(
        url.endsWith("&isearthquake=N&action=add&trigger=stalta"
                     "&start=2026-12-08T10:21:45.120Z&pga=0.012346"))
        << url.toStdString();
    // The samples since it was switched on, and nothing from before.
    EXPECT_TRUE(
        pending[0].body.contains("0.125000,-0.250000,-1.000000\n"
                                 "0.250000,-0.250000,-1.000000\n"
                                 "0.375000,-0.250000,-1.000000\n"));
    EXPECT_FALSE(pending[0].body.contains("0.500000"));
}

// 2.5 s of quiet noise, a 1 s burst at 5 Hz on x, 3.5 s of quiet: one event with a 2 s LTA.
QByteArray recordWithOneEvent() {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 50e-6);
    QByteArray csv;
    for (int n = 0; n < 700; ++n) {
        const double t = n / 100.0;
        const double burst =
            t >= 2.5 && t < 3.5 ? 0.005 * std::sin(2 * std::numbers::pi * 5 * t) : 0.0;
        csv += QByteArray::number(burst + noise(random), 'f', 6) + "," +
               QByteArray::number(noise(random), 'f', 6) + "," +
               QByteArray::number(-1.0 + noise(random), 'f', 6) + ",\n";
    }
    return csv;
}

TEST(EventReportRun, AReportTheServerRefusedIsSentAgainAfterARestartAndOnlyOnceAccepted) {
    TempConfig config;
    QTemporaryDir dir;
    UserPref::setBoolean(HAS_INITIALIZED_1_2, true);
    UserPref::setInt(SCAN_RATE, 100);
    UserPref::setBoolean(LOCATION_SEND, false);
    UserPref::setFloat(DETECT_LTA, 2);
    UserPref::setFloat(DETECT_STA, 0.2f);
    QFile record(dir.filePath("record.csv"));
    ASSERT_TRUE(record.open(QIODevice::WriteOnly));
    record.write(recordWithOneEvent());
    record.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dir.filePath("data"));
    const QString outbox = dir.filePath("data/shakelog/outbox");
    const auto run = [&](const QStringList &more) {
        return runShakelog(QStringList{"--headless", "--config-dir", config.directory()} + more,
                           60000, environment);
    };

    // Refused at first, then accepted; a third answer is there to catch a second sending.
    const QByteArray accepted = ScriptedHttpServer::response(200, "received");
    ScriptedHttpServer server(std::vector<std::vector<ScriptedHttpServer::Step>>{
        {ScriptedHttpServer::write(ScriptedHttpServer::response(503)), ScriptedHttpServer::close()},
        {ScriptedHttpServer::write(accepted), ScriptedHttpServer::close()},
        {ScriptedHttpServer::write(accepted), ScriptedHttpServer::close()}});
    UserPref::setString(URL, server.url("/report"));
    const ProcessRun first =
        run({"--source", "replay:" + record.fileName(), "--duration", "8", "--report-events"});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    ASSERT_EQ(first.out.count("event end "), 1) << first.out.toStdString();
    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray sent = server.request();
    const QByteArray requestLine = sent.left(sent.indexOf("\r\n"));
    EXPECT_TRUE(QRegularExpression(R"(^POST /report\?device_id=.*&action=add&trigger=stalta)"
                                   R"(&start=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)"
                                   R"(&pga=0\.00[45]\d{3} HTTP/1\.1$)")
                    .match(QString::fromLatin1(requestLine))
                    .hasMatch())
        << requestLine.toStdString();
    const QStringList kept = keptReports(outbox);
    ASSERT_EQ(kept.size(), 1);

    // Its pause is over by the next start (the outbox's own schedule is tested elsewhere).
    QFile file(QDir(outbox).filePath(kept[0]));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString entry = QString::fromLatin1(file.readAll());
    file.close();
    entry.replace(QRegularExpression("\nnext [^\n]*\n"), "\nnext 2000-01-01T00:00:00.000Z\n");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(entry.toLatin1());
    file.close();

    // Switched on by the setting this time: sent once, byte for byte, then never again.
    UserPref::setBoolean(REPORT_EVENTS, true);
    for (int start = 0; start < 2; ++start) {
        const ProcessRun later = run({"--source", "sine", "--duration", "2"});
        ASSERT_EQ(later.exitCode, 0) << later.err.toStdString();
    }
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[1], sent);
    EXPECT_TRUE(keptReports(outbox).isEmpty());
}

}  // namespace
