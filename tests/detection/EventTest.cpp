// What an event says: the intensity estimate, the headless lines and the log's JSON.
#include "detection/Event.h"
#include "detection/EventLog.h"
#include "support/FileSizeLimit.h"
#include "support/LogCapture.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// 2026-12-08T10:21:45.120Z
constexpr double kStart = 1796725305.12;

Event sample() {
    Event event;
    event.start = kStart;
    event.end = kStart + 4.2;
    event.peakRatio = 7.94;
    event.pga = 0.0123;
    event.pgaAxis = 2;
    return event;
}

TEST(Event, IntensityFollowsWaldEtAl1999) {
    // MMI = 3.66 log10(PGA) - 1.66 from V up, 2.20 log10(PGA) + 1.00 below (PGA in cm/s²),
    // worked by hand; I to X at the ends.
    const struct {
        double pga, intensity;
        const char *numeral;
    } cases[] = {
        {0.1, 1.0, "I"},                             // 2.20 × -1 + 1 < 1
        {1.0, 1.0, "I"},       {10.0, 3.2, "III"},   // 2.20 + 1.00
        {30.0, 4.25, "IV"},                          // 2.20 × 1.4771 + 1.00
        {100.0, 5.66, "VI"},                         // 3.66 × 2 - 1.66
        {300.0, 7.406, "VII"},                       // 3.66 × 2.4771 - 1.66
        {1000.0, 9.32, "IX"},  {5000.0, 10.0, "X"},  // 11.9, kept to X
        {0.0, 1.0, "I"},
    };
    for (const auto &c : cases) {
        EXPECT_NEAR(Event::intensityFromPga(c.pga), c.intensity, 0.01) << c.pga;
        EXPECT_EQ(Event::romanNumeral(Event::intensityFromPga(c.pga)), c.numeral) << c.pga;
    }
    // The two lines meet at V (66.4 cm/s²): no jump where one takes over from the other.
    EXPECT_NEAR(Event::intensityFromPga(66.3), 5.0, 0.01);
    EXPECT_NEAR(Event::intensityFromPga(66.4), 5.0, 0.01);
}

TEST(Event, HeadlessLinesAndJson) {
    const Event event = sample();
    EXPECT_EQ(event.startLine(), "event start 2026-12-08T10:21:45.120Z");
    EXPECT_EQ(event.endLine(),
              "event end 2026-12-08T10:21:49.320Z duration 4.2 s pga 0.0123 g axis z ratio 7.9");
    EXPECT_EQ(event.jsonLine(),
              R"({"cut_short":false,"duration_s":4.2,"end":"2026-12-08T10:21:49.320Z",)"
              R"("intensity":"III","intensity_mmi":3.4,"peak_ratio":7.94,"pga_axis":"z",)"
              R"("pga_cm_s2":12.062,"pga_g":0.0123,"start":"2026-12-08T10:21:45.120Z"})"
              "\n");
    const std::optional<Event> back =
        Event::fromJson(QJsonDocument::fromJson(event.jsonLine()).object());
    ASSERT_TRUE(back);
    EXPECT_DOUBLE_EQ(back->start, event.start);
    EXPECT_DOUBLE_EQ(back->end, event.end);
    EXPECT_EQ(back->pga, event.pga);
    EXPECT_EQ(back->pgaAxis, 2);
    EXPECT_EQ(back->peakRatio, 7.94);
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(EventLog, ATornLastLineIsSkippedAndTheNextEventStandsApart) {
    QTemporaryDir dir;
    const EventLog log(dir.filePath("data/events.jsonl"));
    EXPECT_TRUE(log.read().empty());  // no file yet: nothing, and nothing said
    for (int n = 0; n < 3; ++n) {
        Event event = sample();
        event.start += n * 60;
        event.end += n * 60;
        QString error;
        ASSERT_TRUE(log.append(event, &error)) << error.toStdString();
    }
    ASSERT_EQ(log.read().size(), 3u);

    // A crash in the middle of the third line.
    const QByteArray whole = fileBytes(log.path());
    ASSERT_TRUE(QFile::resize(log.path(), whole.size() - 40));
    LogCapture capture;
    std::vector<Event> events = log.read();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_DOUBLE_EQ(events[1].start, kStart + 60);
    EXPECT_EQ(capture.lines(), QStringList{"Event log: the last line of " + log.path() +
                                           " is incomplete (cut off by a crash?); skipped"});

    // The next event gets a line of its own, not the torn one's end.
    capture.clear();
    ASSERT_TRUE(log.append(sample(), nullptr));
    events = log.read();
    ASSERT_EQ(events.size(), 3u) << fileBytes(log.path()).toStdString();
    EXPECT_DOUBLE_EQ(events[2].start, kStart);
    EXPECT_EQ(capture.lines(),
              QStringList{"Event log: 1 unreadable line(s) of " + log.path() + " skipped"});
}

TEST(EventLog, AWriteThatStopsShortIsCutBack) {
    QTemporaryDir dir;
    const EventLog log(dir.filePath("events.jsonl"));
    ASSERT_TRUE(log.append(sample(), nullptr));
    const QByteArray before = fileBytes(log.path());
    QString error;
    {
        const FileSizeLimit limit(rlim_t(before.size() + 30));  // room for a piece of a line
        EXPECT_FALSE(log.append(sample(), &error));
    }
    EXPECT_EQ(error, "cannot write " + log.path() + ": File too large");
    EXPECT_EQ(fileBytes(log.path()), before);
    EXPECT_EQ(log.read().size(), 1u);
}

}  // namespace
