#include "core/SampleHistory.h"
#include "http/FormDataRequest.h"
#include "platform/DeviceIdentifier.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "server/TestServer.h"
#include "server/Upload.h"
#include "sharing/HeadlessReport.h"
#include "sharing/Report.h"
#include "sharing/ShareText.h"
#include "support/EventLoop.h"
#include "support/TempConfig.h"

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

const QString kSignal =
    QStringLiteral("0.001000,-0.002000,1.000000\n0.500000,0.250000,-0.125000\n");
const QString kQuery = QStringLiteral(
    "device_id=dev-1&lat=35.681200&lon=139.767100&alt=40.000000&sampling=100&version=1.0.0"
    "&local_datetime=2026-12-08%2019:21:45&isearthquake=Y&action=add");

class Server : public ::testing::Test {
protected:
    Answer post(TestServer &server, const QString &query, const QString &signal = kSignal) {
        return upload.send(Report::makeRequest(server.url("/report?") + query, signal));
    }
    Answer get(TestServer &server, const QString &path) {
        return upload.send(std::make_shared<HttpRequest>(QUrl(server.url(path))));
    }
    std::vector<StoredReport> stored(TestServer &server) {
        return server.store->list(ReportFilter{}).value_or(std::vector<StoredReport>{});
    }

    TempConfig config;
    ServerLog log;
    Upload upload;
};

TEST_F(Server, TakesTheApplicationsOwnUploadWithEveryValue) {
    DeviceIdentifier::setOverride("device42");
    UserPref::setInt(SettingsKeys::SCAN_RATE, 50);
    UserPref::setBoolean(SettingsKeys::LOCATION_SEND, false);
    SampleHistory history;
    history.setUpdatingIsEnabled(true);
    history.setFilteringEnabled(false);
    history.updateHistoryWithX(0.25f, -0.5f, 1);
    history.updateHistoryWithX(-0.125f, 0.0625f, -1);
    TestServer server;

    const QDateTime before = QDateTime::currentDateTime();
    HeadlessReport report(server.url("/report"), true, history);
    std::optional<QString> outcome;
    QObject::connect(&report, &HeadlessReport::finished,
                     [&](bool, const QString &text) { outcome = text; });
    report.start();
    pumpUntil([&] { return outcome.has_value(); }, 30000);
    DeviceIdentifier::setOverride({});

    EXPECT_EQ(outcome.value_or(""), "Report accepted (status 200)");
    EXPECT_TRUE(log.contains(QRegularExpression("^received$"))) << log.text().toStdString();
    const auto reports = stored(server);
    ASSERT_EQ(reports.size(), 1u);
    const ReportRecord &r = reports[0].record;
    EXPECT_EQ(r.deviceId, "device42");
    EXPECT_EQ(r.lat, 0);
    EXPECT_EQ(r.lon, 0);
    EXPECT_EQ(r.sampling, 50);
    EXPECT_EQ(r.version, "1.0.0");
    EXPECT_TRUE(r.earthquake);
    EXPECT_TRUE(r.trigger.isEmpty());
    EXPECT_FALSE(r.pga.has_value());
    EXPECT_EQ(r.signal, ShareText::signalLines(history).toUtf8());
    EXPECT_EQ(r.samples, 2);
    const QDateTime sent =
        QDateTime::fromString(r.localDateTime, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_LE(std::abs(sent.secsTo(before)), 60) << r.localDateTime.toStdString();
    EXPECT_TRUE(reports[0].receivedAt.contains(
        QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$")));

    // The same report through the JSON and CSV views.
    const Answer json = get(server, QStringLiteral("/api/reports/%1").arg(reports[0].id));
    ASSERT_EQ(json.status, 200);
    const QJsonObject object = QJsonDocument::fromJson(json.body).object();
    EXPECT_EQ(object["device_id"].toString(), "device42");
    EXPECT_EQ(object["sampling"].toInt(), 50);
    EXPECT_TRUE(object["trigger"].isNull());
    const Answer csv = get(server, QStringLiteral("/api/reports/%1/signal.csv").arg(reports[0].id));
    EXPECT_EQ(csv.body, r.signal);
    EXPECT_EQ(get(server, "/api/reports/999").status, 404);
}

// What a browser and a seismologist fetch: the pages, the plot and the miniSEED file of a
// report whose device identifier is hostile markup.
TEST_F(Server, ShowsAReportAsPagesPlotAndMiniSeed) {
    TestServer server;
    ASSERT_EQ(post(server, QString(kQuery).replace("device_id=dev-1",
                                                   "device_id=%3Cscript%3Ex%3C/script%3E"))
                  .status,
              200);
    const std::vector<StoredReport> reports = stored(server);
    ASSERT_EQ(reports.size(), 1u);
    const QString id = QString::number(reports[0].id);

    const Answer index = get(server, "/");
    ASSERT_EQ(index.status, 200);
    EXPECT_TRUE(index.body.contains("/reports/" + id.toUtf8()));
    EXPECT_TRUE(index.body.contains("&lt;script&gt;x&lt;/script&gt;"));
    EXPECT_FALSE(index.body.contains("<script"));
    const Answer page = get(server, "/reports/" + id);
    ASSERT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("/api/reports/" + id.toUtf8() + "/plot.png"));
    EXPECT_FALSE(page.body.contains("<script"));
    EXPECT_EQ(get(server, "/reports/999").status, 404);

    const Answer plot = get(server, "/api/reports/" + id + "/plot.png");
    ASSERT_EQ(plot.status, 200);
    const QImage image = QImage::fromData(plot.body, "PNG");
    EXPECT_EQ(image.size(), QSize(640, 360));
    const Answer mseed = get(server, "/api/reports/" + id + "/signal.mseed");
    ASSERT_EQ(mseed.status, 200);
    EXPECT_GT(mseed.body.size(), 0);
    EXPECT_EQ(mseed.body.size() % 512, 0);  // whole records
    EXPECT_EQ(get(server, "/api/reports/999/plot.png").status, 404);
}

// Earthquake reports of three devices close together form an event, as soon as the third
// arrives; a far one and a user's report without the mark stay out.
TEST_F(Server, FormsAnEventOnceEnoughDevicesReportTogether) {
    TestServer server;
    const auto events = [&] {
        const Answer answer = get(server, "/api/events");
        EXPECT_EQ(answer.status, 200);
        return QJsonDocument::fromJson(answer.body).array();
    };
    const auto send = [&](const QString &device, const QString &lat, const QString &mark) {
        QString query = kQuery;
        query.replace("device_id=dev-1", "device_id=" + device)
            .replace("lat=35.681200", "lat=" + lat)
            .replace("isearthquake=Y", "isearthquake=" + mark);
        EXPECT_EQ(post(server, query).status, 200) << device.toStdString();
    };
    send("near-1", "35.681200", "Y");
    send("near-2", "35.900000", "Y");
    send("unmarked", "35.700000", "N");
    send("far", "-35.681200", "Y");
    EXPECT_TRUE(events().isEmpty());
    send("near-3", "35.500000", "Y");
    const QJsonArray formed = events();
    ASSERT_EQ(formed.size(), 1);
    const QJsonObject event = formed[0].toObject();
    EXPECT_EQ(event["devices"].toInt(), 3);
    EXPECT_EQ(event["reports"].toArray().size(), 3);
    EXPECT_NEAR(event["lat"].toDouble(), 35.69, 0.02);
    EXPECT_TRUE(get(server, "/").body.contains("/reports/"));
}

TEST_F(Server, StoresTheTriggerFieldsOfAnEventReport) {
    TestServer server;
    Report report;
    report.serverAddress = server.url("/report");
    report.deviceId = "dev-2";
    report.lat = 35.5f;
    report.lon = 139.25f;
    report.sampling = 100;
    report.localTime = QDateTime(QDate(2026, 12, 8), QTime(19, 21, 45));
    report.extraQuery = "&trigger=stalta&start=2026-12-08T10:21:45.120Z&pga=0.012300";
    EXPECT_EQ(upload.send(Report::makeRequest(report.requestURL(), kSignal)).body, "received");

    const auto reports = stored(server);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].record.localDateTime, "2026-12-08 19:21:45");
    EXPECT_EQ(reports[0].record.trigger, "stalta");
    EXPECT_EQ(reports[0].record.triggerStart, "2026-12-08T10:21:45.120Z");
    EXPECT_DOUBLE_EQ(reports[0].record.pga.value_or(-1), 0.0123);
    EXPECT_FALSE(reports[0].record.earthquake);
}

TEST_F(Server, StoresAReportSentAgainOnce) {
    TestServer server;
    for (int i = 0; i < 3; ++i) {
        const Answer answer = post(server, kQuery);
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, "received");
    }
    // Another signal, or the same signal at another time, is another report.
    EXPECT_EQ(post(server, kQuery, "1.000000,1.000000,1.000000\n").status, 200);
    EXPECT_EQ(post(server, QString(kQuery).replace("19:21:45", "19:21:46")).status, 200);
    EXPECT_EQ(stored(server).size(), 3u);
    const QByteArray metrics = get(server, "/metrics").body;
    EXPECT_TRUE(metrics.contains("\nshakelog_reports_accepted_total 3\n")) << metrics.constData();
    EXPECT_TRUE(metrics.contains("\nshakelog_reports_duplicate_total 2\n"));
}

TEST_F(Server, StoresOnceWhenCopiesArriveTogether) {
    TestDatabase db;
    ASSERT_FALSE(db.store->migrate());
    ReportRecord record;
    record.deviceId = "dev-1";
    record.version = "1.0.0";
    record.localDateTime = "2026-12-08 19:21:45";
    record.signal = kSignal.toLatin1();
    record.signalSha256 = "ab";
    std::atomic<int> storedCount{0}, duplicates{0};
    std::vector<std::thread> senders;
    for (int i = 0; i < 8; ++i) {
        senders.emplace_back([&] {
            switch (db.store->insert(record, QDateTime::currentDateTimeUtc())) {
            case ReportStore::Outcome::Stored: ++storedCount; break;
            case ReportStore::Outcome::Duplicate: ++duplicates; break;
            case ReportStore::Outcome::Failed: break;
            }
        });
    }
    for (std::thread &sender : senders) {
        sender.join();
    }
    EXPECT_EQ(storedCount, 1);
    EXPECT_EQ(duplicates, 7);
    EXPECT_EQ(db.count("reports"), 1);
}

// Each malformed report: 400, its one-line reason, nothing stored, counted by reason.
TEST_F(Server, RefusesEachMalformedReportAndStoresNothing) {
    struct Case {
        QString query;
        QString signal;
        QByteArray reason;
        const char *label;
    };
    const auto without = [](const QString &field) {
        return QString(kQuery).remove(QRegularExpression("&?" + field + "=[^&]*"));
    };
    const auto with = [](const QString &field, const QString &value) {
        return QString(kQuery).replace(QRegularExpression(field + "=[^&]*"), field + "=" + value);
    };
    const QString trigger = "&trigger=stalta&start=2026-12-08T10:21:45.120Z&pga=0.1";
    const QString big = QString("1.000000,2.000000,3.000000\n").repeated(4000);
    const std::vector<Case> cases = {
        {without("device_id"), kSignal, "missing field device_id", "missing_field"},
        {without("lat"), kSignal, "missing field lat", "missing_field"},
        {without("local_datetime"), kSignal, "missing field local_datetime", "missing_field"},
        {without("action"), kSignal, "missing field action", "missing_field"},
        {kQuery + "&lat=1.0", kSignal, "field lat given more than once", "malformed_field"},
        {with("device_id", "a%0Ab"), kSignal,
         "field device_id must be 1 to 128 printable characters", "malformed_field"},
        {with("lat", "north"), kSignal, "field lat is not a number", "malformed_field"},
        {with("lon", "nan"), kSignal, "field lon is not a number", "malformed_field"},
        {with("lat", "90.000001"), kSignal, "field lat must be within [-90, 90]", "out_of_range"},
        {with("lon", "-180.5"), kSignal, "field lon must be within [-180, 180]", "out_of_range"},
        {with("sampling", "0"), kSignal, "field sampling must be within [1, 10000]",
         "out_of_range"},
        {with("sampling", "100.5"), kSignal, "field sampling is not a whole number",
         "malformed_field"},
        {with("local_datetime", "2026-02-30%2010:00:00"), kSignal,
         "field local_datetime must be yyyy-MM-dd HH:mm:ss", "malformed_field"},
        {with("local_datetime", "2026-12-08T10:00:00"), kSignal,
         "field local_datetime must be yyyy-MM-dd HH:mm:ss", "malformed_field"},
        {with("isearthquake", "yes"), kSignal, "field isearthquake must be Y or N",
         "malformed_field"},
        {with("action", "delete"), kSignal, "field action must be add", "malformed_field"},
        {kQuery + "&trigger=stalta", kSignal, "trigger, start and pga go together", "bad_trigger"},
        {kQuery + QString(trigger).replace("stalta", "manual"), kSignal,
         "field trigger must be stalta", "malformed_field"},
        {kQuery + QString(trigger).replace(".120Z", "Z"), kSignal,
         "field start must be UTC with milliseconds (2026-12-08T10:21:45.120Z)", "malformed_field"},
        {kQuery + QString(trigger).replace("pga=0.1", "pga=-1"), kSignal,
         "field pga must be within [0, 1000]", "out_of_range"},
        {kQuery, "", "signal must be lines \"x,y,z\\n\" of three finite numbers", "bad_signal"},
        {kQuery, "1,2\n", "signal must be lines \"x,y,z\\n\" of three finite numbers",
         "bad_signal"},
        {kQuery, "1,2,3\n\n4,5,6\n", "signal must be lines \"x,y,z\\n\" of three finite numbers",
         "bad_signal"},
        {kQuery, "1,2,inf\n", "signal must be lines \"x,y,z\\n\" of three finite numbers",
         "bad_signal"},
        // finite as a double, infinite as the float a sample is
        {kQuery, "1,2,1e39\n", "signal must be lines \"x,y,z\\n\" of three finite numbers",
         "bad_signal"},
        {kQuery, "1,2,3,2026-12-08\n", "signal must be lines \"x,y,z\\n\" of three finite numbers",
         "bad_signal"},
        {kQuery, "1,2,3", "signal must be lines \"x,y,z\\n\" of three finite numbers",
         "bad_signal"},
        {kQuery, big, "body larger than 65536 bytes", "too_large"},
    };
    ServerOptions options;
    options.maxBodyBytes = 65536;
    TestServer server(options);
    std::map<QByteArray, int> labels;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.query.toStdString() + " / " + c.signal.left(40).toStdString());
        const Answer answer = post(server, c.query, c.signal);
        EXPECT_EQ(answer.status, 400);
        EXPECT_EQ(answer.body, c.reason + "\n");
        ++labels[c.label];
    }
    EXPECT_EQ(server.count("reports"), 0);
    const QByteArray metrics = get(server, "/metrics").body;
    for (const auto &[label, count] : labels) {
        EXPECT_TRUE(metrics.contains("shakelog_reports_refused_total{reason=\"" + label + "\"} " +
                                     QByteArray::number(count) + "\n"))
            << label.constData() << "\n"
            << metrics.constData();
    }
    // A form without the field "signal" at all.
    auto noSignal = std::make_shared<FormDataRequest>(QUrl(server.url("/report?") + kQuery));
    noSignal->setPostValue("1,2,3\n", "samples");
    EXPECT_EQ(upload.send(noSignal).body, "missing form field signal\n");
}

TEST_F(Server, ListsReportsByFilterAndPage) {
    TestServer server;
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(
            post(server, QString(kQuery)
                             .replace("dev-1", i < 3 ? "dev-1" : "dev-2")
                             .replace("isearthquake=Y", i % 2 ? "isearthquake=N" : "isearthquake=Y")
                             .replace("45&", QString::number(10 + i) + "&"))
                .status,
            200);
    }
    const auto ids = [&](const QString &query) {
        const Answer answer = get(server, "/api/reports" + query);
        QList<QString> found;
        for (const QJsonValue &report : QJsonDocument::fromJson(answer.body)["reports"].toArray()) {
            found.append(report["local_datetime"].toString().right(2));
        }
        return found;
    };
    EXPECT_EQ(ids(""), QList<QString>({"14", "13", "12", "11", "10"}));
    EXPECT_EQ(ids("?device=dev-2"), QList<QString>({"14", "13"}));
    EXPECT_EQ(ids("?earthquake=N"), QList<QString>({"13", "11"}));
    EXPECT_EQ(ids("?limit=2&offset=1"), QList<QString>({"13", "12"}));
    EXPECT_EQ(ids("?since=2000-01-01T00:00:00Z&until=2000-01-02T00:00:00Z"), QList<QString>());
    EXPECT_EQ(ids("?since=2000-01-01T00:00:00Z").size(), 5);
    EXPECT_EQ(get(server, "/api/reports?limit=1001").status, 400);
    EXPECT_EQ(get(server, "/api/reports?since=yesterday").status, 400);
    EXPECT_EQ(get(server, "/api/reports?until=2026-12-08T10:00:00").status, 400);  // no zone
    EXPECT_EQ(get(server, "/api/reports?earthquake=maybe").status, 400);
}

TEST_F(Server, DeletesOnlyWithTheAdminToken) {
    const Answer refused = [&] {
        TestServer server;
        post(server, kQuery);
        auto request = std::make_shared<HttpRequest>(QUrl(server.url("/api/reports/1")));
        request->setRequestMethod("DELETE");
        return upload.send(request);
    }();
    EXPECT_EQ(refused.status, 403);

    QTemporaryDir dir;
    QFile file(dir.filePath("token"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("s3cret-token\n");
    file.close();
    QString error;
    TestServer server({}, AdminToken::load(file.fileName(), &error));
    ASSERT_EQ(post(server, kQuery).status, 200);
    const auto remove = [&](const QByteArray &authorization) {
        auto request = std::make_shared<HttpRequest>(QUrl(server.url("/api/reports/1")));
        request->setRequestMethod("DELETE");
        if (!authorization.isEmpty()) {
            request->addRequestHeader("Authorization", authorization);
        }
        return upload.send(request).status;
    };
    EXPECT_EQ(remove({}), 401);
    EXPECT_EQ(remove("Bearer s3cret-toke"), 401);
    EXPECT_EQ(remove("Bearer s3cret-token2"), 401);
    EXPECT_EQ(remove("Basic s3cret-token"), 401);
    EXPECT_EQ(server.count("reports"), 1);
    EXPECT_EQ(remove("Bearer s3cret-token"), 200);
    EXPECT_EQ(server.count("reports"), 0);
    EXPECT_EQ(remove("Bearer s3cret-token"), 404);
}

TEST_F(Server, AnswersHealthAndLogsEachRequestWithoutItsQuery) {
    TestServer server;
    EXPECT_EQ(get(server, "/healthz").body, "ok\n");
    post(server, kQuery);
    EXPECT_TRUE(log.contains(QRegularExpression(
        "^request method=POST path=/report status=200 duration_ms=[0-9.]+ remote=127.0.0.1$")))
        << log.text().toStdString();
    EXPECT_FALSE(log.text().contains("139.7671"));
    const QByteArray metrics = get(server, "/metrics").body;
    EXPECT_TRUE(metrics.contains("shakelog_request_duration_seconds_count 2\n"))
        << metrics.constData();
    EXPECT_EQ(get(server, "/api/events?limit=0").status, 400);
}

TEST_F(Server, AnswersAConnectionOverTheLimit503UntilOneEnds) {
    ServerOptions options;
    options.threads = 1;
    options.maxConnections = 1;
    TestServer server(options);
    QTcpSocket idle;  // holds the one connection, sending nothing
    idle.connectToHost("127.0.0.1", quint16(server.port));
    ASSERT_TRUE(idle.waitForConnected(10000));

    QTcpSocket over;
    over.connectToHost("127.0.0.1", quint16(server.port));
    ASSERT_TRUE(over.waitForConnected(10000));
    over.write("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray answer;
    pumpUntil([&] {
        over.waitForReadyRead(50);
        answer += over.readAll();
        return answer.contains("try again later\n");
    });
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 503 ")) << answer.constData();

    pumpUntil([&] { return over.state() == QAbstractSocket::UnconnectedState; });
    EXPECT_EQ(over.state(), QAbstractSocket::UnconnectedState) << "closed after the answer";
    idle.abort();
    pumpUntil([&] { return get(server, "/healthz").status == 200; });
    EXPECT_EQ(get(server, "/healthz").status, 200);
}

}  // namespace
