#include "core/DateText.h"
#include "core/SampleHistory.h"
#include "sharing/Report.h"
#include "sharing/ShareText.h"
#include "support/FileSizeLimit.h"
#include "support/Printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

// A history fed raw (no filter) with a wall clock that starts a new second every `perSecond`
// samples.
struct RawHistory {
    explicit RawHistory(int perSecond = 1000) {
        history.setFilteringEnabled(false);
        history.setUpdatingIsEnabled(true);
        history.setWallClock(
            [this, perSecond] { return 1273713705.0 + double(samples++ / perSecond); });
    }
    void add(float x, float y, float z) { history.updateHistoryWithX(x, y, z); }
    SampleHistory history;
    int samples = 0;
};

// Runs the test body in a fixed time zone.
class InZone {
public:
    explicit InZone(const char *zone) : mOld(std::getenv("TZ") ? std::getenv("TZ") : "") {
        setenv("TZ", zone, 1);
        tzset();
    }
    ~InZone() {
        setenv("TZ", mOld.constData(), 1);
        tzset();
    }

private:
    QByteArray mOld;
};

TEST(Export, WritesTheWrittenSlotsOldestFirstWithADateAtEachNewSecond) {
    EXPECT_EQ(ShareText::csvLines(RawHistory().history), "");  // never written: no lines

    InZone tokyo("JST-9");
    RawHistory raw(2);
    raw.add(0.5f, -1.25f, 0.0f);
    raw.add(0.0f, 0.0f, 0.0f);  // nothing to send
    raw.add(0.0f, 0.0f, 0.0f);
    raw.add(0.0f, 0.0f, 2.0f);  // one axis is enough
    const QString lines = ShareText::csvLines(raw.history);
    // Two samples a second from 13 May 2010 10:21:45 in Tokyo: the fourth opens a new second.
    EXPECT_EQ(lines,
              "0.500000,-1.250000,0.000000,\n"
              "0.000000,0.000000,2.000000,2010-05-13 10:21:46 +0900\n");
    EXPECT_EQ(ShareText::signalLines(raw.history),
              "0.500000,-1.250000,0.000000\n0.000000,0.000000,2.000000\n");

    // An exact tie rounds as C rounds it (to even), and negative zero keeps its sign.
    RawHistory ties(2);
    ties.add(1.0f / 128, -0.0f, -3.0f / 128);
    EXPECT_EQ(ShareText::signalLines(ties.history), "0.007812,-0.000000,-0.023438\n");
}

TEST(Export, DefaultDateTextCarriesTheZoneOffset) {
    {
        InZone newYork("EST5");
        EXPECT_EQ(DateText::defaultText(1273713705.0), "2010-05-12 20:21:45 -0500");
    }
    InZone india("IST-5:30");
    EXPECT_EQ(DateText::defaultText(1273713705.0), "2010-05-13 06:51:45 +0530");
}

TEST(Export, MailUrlEscapesSubjectAndBodyButNotTheRecipient) {
    EXPECT_EQ(ShareText::mailURL("me@example.com", "Shakelog Data",
                                 "1.000000,2.000000,3.000000,2010-05-13 10:21:45 +0900\n"),
              "mailto:me@example.com?subject=Shakelog%20Data"
              "&body=1.000000,2.000000,3.000000,2010-05-13%2010:21:45%20+0900%0A");
    EXPECT_EQ(ShareText::mailURL("a b@c", "x", ""), "mailto:a b@c?subject=x&body=");
}

TEST(Export, WritingAFileIsAllOrNothing) {
    QTemporaryDir dir;
    RawHistory raw;
    raw.add(1, 2, 3);
    const QString path = dir.filePath("out.csv");
    QString error;
    ASSERT_TRUE(ShareText::writeCSV(raw.history, path, &error)) << error.toStdString();
    const QByteArray written = ShareText::csvLines(raw.history).toUtf8();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), written);
    EXPECT_FALSE(ShareText::writeCSV(raw.history, dir.filePath("missing/out.csv"), &error));
    EXPECT_FALSE(error.isEmpty());

    // A write that fails midway (a full disk) leaves the earlier file as it was, and nothing
    // beside it.
    for (int i = 0; i < 2047; ++i) {
        raw.add(0.5f, -0.25f, 1);
    }
    {
        const FileSizeLimit full(4096);
        error.clear();
        EXPECT_FALSE(ShareText::writeCSV(raw.history, path, &error));
    }
    EXPECT_FALSE(error.isEmpty());
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), written);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.csv"});
}

TEST(Export, IntegerValueReadsWhatAPersonTyped) {
    const struct {
        const char *text;
        qint32 value;
    } cases[] = {{"10552", 10552},
                 {"  80abc", 80},
                 {"abc", 0},
                 {"", 0},
                 {"-7", -7},
                 {"+12", 12},
                 {"99999999999", 2147483647},
                 {"-99999999999", -2147483647 - 1},
                 {"1 2", 1}};
    for (const auto &c : cases) {
        EXPECT_EQ(ShareText::integerValue(QString::fromUtf8(c.text)), c.value) << c.text;
    }
}

Report reportAt(const QTime &time) {
    Report report;
    report.serverAddress = "http://127.0.0.1:8080/report";
    report.deviceId = "abc123";
    report.sampling = 100;
    report.localTime = QDateTime(QDate(2010, 5, 13), time);
    return report;
}

TEST(ReportQuery, ExactQueryWithTheTwentyFourHourClock) {
    Report report = reportAt(QTime(14, 5, 9));
    EXPECT_EQ(report.requestURL(),
              "http://127.0.0.1:8080/report?device_id=abc123&lat=0.000000&lon=0.000000"
              "&alt=0.000000&sampling=100&version=1.0.0&local_datetime=2010-05-13%2014:05:09"
              "&isearthquake=N&action=add");
    EXPECT_TRUE(report.composedURL().contains("local_datetime=2010-05-13%%2014:05:09&"));
    EXPECT_TRUE(reportAt(QTime(0, 30, 0)).requestURL().contains("=2010-05-13%2000:30:00&"));

    report.lat = 35.5f;
    report.lon = -139.25f;
    report.alt = 12.0f;
    report.earthquake = true;
    EXPECT_TRUE(report.requestURL().contains("&lat=35.500000&lon=-139.250000&alt=12.000000&"));
    EXPECT_TRUE(report.requestURL().endsWith("&isearthquake=Y&action=add"));
}

TEST(ReportQuery, TheAddressIsUsedAsTyped) {
    Report report = reportAt(QTime(1, 2, 3));
    report.serverAddress = "http://host/a%41%%/";
    EXPECT_TRUE(report.requestURL().startsWith("http://host/a%41%%/?device_id=abc123&"));
    report.serverAddress = "http://host/upload.php";
    EXPECT_TRUE(report.requestURL().startsWith("http://host/upload.php?device_id="));
}

}  // namespace
