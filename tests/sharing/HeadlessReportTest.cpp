#include "core/SampleHistory.h"
#include "platform/DeviceIdentifier.h"
#include "platform/LocationManager.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "sharing/HeadlessReport.h"
#include "sharing/Report.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/NginxServer.h"
#include "support/NmeaLog.h"
#include "support/Printers.h"
#include "support/ScopedEnvironment.h"
#include "support/ScriptedHttpServer.h"
#include "support/TempConfig.h"
#include "support/TestCertificates.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using namespace SettingsKeys;

class Headless : public ::testing::Test {
protected:
    Headless() {
        DeviceIdentifier::setOverride("device42");
        UserPref::setInt(SCAN_RATE, 50);
        history.setUpdatingIsEnabled(true);
        history.setFilteringEnabled(false);
        history.updateHistoryWithX(1, 2, 3);
    }
    ~Headless() override { DeviceIdentifier::setOverride({}); }

    // Sends the report to `server` and waits for its outcome.
    void send(const ScriptedHttpServer &server, bool earthquake = false) {
        send(QString::fromUtf8(server.url("/r")), earthquake);
    }
    void send(const QString &address, bool earthquake = false) {
        HeadlessReport report(address, earthquake, history);
        bool done = false;
        QObject::connect(&report, &HeadlessReport::finished,
                         [&](bool reportAccepted, const QString &text) {
                             accepted = reportAccepted;
                             outcome = text;
                             done = true;
                         });
        report.start();
        history.updateHistoryWithX(4, 5, 6);  // after the start: not in this report
        pumpUntil([&] { return done; });
    }
    static ScriptedHttpServer::Step ok() {
        return ScriptedHttpServer::write(ScriptedHttpServer::response(200));
    }

    TempConfig config;
    LogCapture log;
    SampleHistory history;
    bool accepted = false;
    QString outcome;
};

TEST_F(Headless, SendsTheFixAndTheSamplesOfTheMoment) {
    UserPref::setBoolean(LOCATION_SEND, true);
    LocationManager::setSourceFactory(nmeaFactory(nmeaLog({0})));
    ScriptedHttpServer server({ok()});
    send(server, true);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(outcome, "Report accepted (status 200)");
    const QByteArray request = server.request();
    EXPECT_TRUE(request.startsWith(
        "POST /r?device_id=device42" +
        QString::asprintf("&lat=%f&lon=%f&alt=%f&sampling=50&", double(float(kLatitude)),
                          double(float(kLongitude)), double(float(kAltitude)))
            .toUtf8()))
        << request.constData();
    EXPECT_TRUE(request.contains("&isearthquake=Y&action=add HTTP/1.1\r\n"));
    EXPECT_TRUE(
        request.endsWith("\r\n\r\n1.000000,2.000000,3.000000\n\r\n--0xKhTmLbOuNdArY--\r\n"));
}

TEST_F(Headless, WithoutAPositionItSendsZerosAndSaysWhy) {
    UserPref::setBoolean(LOCATION_SEND, true);  // but the source has no positioning method
    ScriptedHttpServer server({ok()});
    send(server);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(log.count("No position (no positioning method is available): sending the report "
                        "without location"),
              1);
    EXPECT_TRUE(server.request().contains("&lat=0.000000&lon=0.000000&alt=0.000000&"));

    UserPref::setBoolean(LOCATION_SEND, false);
    ScriptedHttpServer second({ok()});
    send(second);
    EXPECT_EQ(log.count("LOCATION_SEND is off: sending the report without location"), 1);
}

TEST_F(Headless, AFailureIsOneLine) {
    UserPref::setBoolean(LOCATION_SEND, false);
    ScriptedHttpServer server({ScriptedHttpServer::reset()});
    send(server);
    EXPECT_FALSE(accepted);
    // The error, then the transport's reason, on one line.
    EXPECT_TRUE(outcome.startsWith("Report failed: A connection failure occurred ("))
        << outcome.toStdString();
    EXPECT_TRUE(outcome.endsWith(")"));
    EXPECT_FALSE(outcome.contains('\n'));
}

// What goes to the log from outside is kept short and harmless, and a password in the address
// stays out of it; a refused password says so at once, not after the time-out.
TEST_F(Headless, TheLogShowsNoPasswordAndNoRawControlBytes) {
    UserPref::setBoolean(LOCATION_SEND, false);
    const QByteArray answer = "\x1b[2Jstored" + QByteArray(10000, 'x');
    ScriptedHttpServer server({ScriptedHttpServer::write(ScriptedHttpServer::response(200, answer))});
    send(QString::fromUtf8(server.url("/r")).replace("http://", "http://me:secret@"));
    EXPECT_TRUE(accepted);
    const QStringList urls = log.lines().filter(QRegularExpression("^http"));
    ASSERT_EQ(urls.size(), 1);
    EXPECT_TRUE(urls[0].startsWith("http://***@127.0.0.1:")) << urls[0].toStdString();
    EXPECT_FALSE(log.lines().join('\n').contains("secret"));
    const QString logged = log.lines().last();
    EXPECT_TRUE(logged.startsWith("\\x1b[2Jstored")) << logged.left(40).toStdString();
    EXPECT_LT(logged.size(), 4200);
    EXPECT_TRUE(logged.endsWith("(5914 more bytes)")) << logged.right(40).toStdString();

    // A larger answer than a report keeps is a failure, told as such.
    ScriptedHttpServer huge({ScriptedHttpServer::write(
        ScriptedHttpServer::response(200, QByteArray(Report::kMaxAnswerBytes + 1, 'h')))});
    send(huge);
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(outcome.contains("larger than")) << outcome.toStdString();
}

TEST_F(Headless, ARefusedPasswordIsAnAuthenticationFailure) {
    UserPref::setBoolean(LOCATION_SEND, false);
    ScriptedHttpServer server({ScriptedHttpServer::write(
        "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"reports\"\r\n"
        "Content-Length: 0\r\n\r\n")});
    send(server);
    EXPECT_FALSE(accepted);
    EXPECT_EQ(outcome, "Report failed: Authentication needed");
}

TEST_F(Headless, AReportDestroyedOnItsWayTellsNobody) {
    UserPref::setBoolean(LOCATION_SEND, false);
    ScriptedHttpServer server({ScriptedHttpServer::hold(), ok()});
    bool heard = false;
    {
        HeadlessReport report(QString::fromUtf8(server.url("/r")), false, history);
        QObject::connect(&report, &HeadlessReport::finished, [&heard] { heard = true; });
        report.start();
        pumpUntil([&] { return server.holding(); });
    }
    pumpUntil([] { return false; }, 200);
    EXPECT_FALSE(heard);
    server.release();
}

// A server of one's own, its certificate from a private authority named by SSL_CERT_FILE: the
// report goes through; with any other authority trusted it fails, saying why.
TEST_F(Headless, OverHttpsOnlyATrustedCertificateTakesTheReport) {
    if (!NginxServer::available()) {
        GTEST_SKIP() << "nginx is not installed (scripts/setup installs it)";
    }
    UserPref::setBoolean(LOCATION_SEND, false);
    QString error;
    TestCertificates mine("127.0.0.1"), other("127.0.0.1");
    ASSERT_TRUE(mine.make(&error)) << error.toStdString();
    ASSERT_TRUE(other.make(&error)) << error.toStdString();
    NginxServer server;
    server.setTls(mine.certificate(), mine.key());
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    const QString address = QStringLiteral("https://127.0.0.1:%1/upload").arg(server.tlsPort());

    const ScopedEnvironment trustMine("SSL_CERT_FILE", mine.authority().toLocal8Bit());
    send(address);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(outcome, "Report accepted (status 200)");

    const ScopedEnvironment trustOther("SSL_CERT_FILE", other.authority().toLocal8Bit());
    send(address);
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(
        outcome.startsWith("Report failed: A connection failure occurred (SSL certificate "
                           "problem: "))
        << outcome.toStdString();
}

}  // namespace
