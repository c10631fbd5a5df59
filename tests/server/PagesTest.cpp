#include "server/Pages.h"
#include "support/CommaDecimalLocale.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <optional>

namespace {

// A page as an XML parser reads it: every element with its attributes and the text inside it.
struct Element {
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
};

struct ParsedPage {
    std::vector<Element> elements;
    QString error;

    explicit ParsedPage(const QByteArray &page) {
        QXmlStreamReader reader(page);
        std::vector<size_t> open;
        while (!reader.atEnd()) {
            switch (reader.readNext()) {
            case QXmlStreamReader::StartElement:
                open.push_back(elements.size());
                elements.push_back({reader.name().toString(), reader.attributes(), {}});
                break;
            case QXmlStreamReader::EndElement: open.pop_back(); break;
            case QXmlStreamReader::Characters:
                for (size_t index : open) {
                    elements[index].text += reader.text();
                }
                break;
            default: break;
            }
        }
        if (reader.hasError()) {
            error = reader.errorString();
        }
    }
    std::vector<const Element *> named(const QString &name) const {
        std::vector<const Element *> found;
        for (const Element &element : elements) {
            if (element.name == name) {
                found.push_back(&element);
            }
        }
        return found;
    }
    QStringList values(const QString &element, const QString &attribute) const {
        QStringList list;
        for (const Element *e : named(element)) {
            list << e->attributes.value(attribute).toString();
        }
        return list;
    }
    QStringList texts(const QString &element) const {
        QStringList list;
        for (const Element *e : named(element)) {
            list << e->text;
        }
        return list;
    }
};

ReportView sampleReport(qint64 id, const QString &device) {
    ReportView report;
    report.id = id;
    report.deviceId = device;
    report.lat = 35.675;
    report.lon = 139.754167;
    report.alt = 40.5;
    report.sampling = 100;
    report.version = "1.0.0";
    report.localDatetime = "2026-12-08 19:21:45";
    report.trigger = "stalta";
    report.triggerStart = QDateTime::fromString("2026-12-08T10:21:45.120Z", Qt::ISODateWithMs);
    report.pga = 0.012345;
    report.receivedAt = QDateTime::fromString("2026-12-08T10:21:50Z", Qt::ISODate);
    report.samples = 2048;
    return report;
}

EventView sampleEvent() {
    EventView event;
    event.id = 3;
    event.time = QDateTime::fromString("2026-12-08T10:21:44Z", Qt::ISODate);
    event.lat = -33.5;
    event.lon = 151.25;
    event.devices = 3;
    event.largestPga = 0.25;
    event.reportIds = {7, 8, 11};
    return event;
}

TEST(Pages, DeviceTextsAreShownAsSentAndNeverRunAsMarkup) {
    const QString hostile[] = {
        "<script>alert(1)</script>",
        "\"><img src=x onerror=alert(1)>",
        "' onmouseover='alert(1)",
        "a&b &amp; &lt;",
        "</code></div></body>",
        "%1 %2 %9",
        "地震計",
    };
    for (const QString &text : hostile) {
        ReportView report = sampleReport(7, text);
        report.version = text;
        report.localDatetime = text;
        report.trigger = text;
        for (const QByteArray &page :
             {Pages::index({sampleEvent()}, {report}), Pages::report(report)}) {
            SCOPED_TRACE(text.toStdString() + "\n" + page.toStdString());
            EXPECT_FALSE(page.toLower().contains("<script"));
            const ParsedPage parsed(page);
            ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
            for (const Element &element : parsed.elements) {
                for (const QXmlStreamAttribute &attribute : element.attributes) {
                    EXPECT_FALSE(attribute.name().startsWith(u"on"));
                }
            }
            EXPECT_EQ(parsed.values("img", "src"), QStringList{"/api/reports/7/plot.png"});
            EXPECT_EQ(parsed.values("img", "alt"),
                      QStringList{"x, y and z of report 7 from " + text});
            EXPECT_EQ(parsed.texts("code"), QStringList{text});
            EXPECT_TRUE(parsed.texts("body").join("").contains("trigger " + text));
        }
        const QStringList cells = ParsedPage(Pages::report(report)).texts("td");
        EXPECT_EQ(cells.count(text), 3) << "device, local time and version";
    }
}

TEST(Pages, IndexListsEventsAndReportsWithTheirLinks) {
    std::optional<CommaDecimalLocale> german(std::in_place);
    ReportView quake = sampleReport(8, "B");
    quake.earthquake = true;
    quake.trigger.clear();
    quake.triggerStart.reset();
    quake.pga.reset();
    quake.lat = quake.lon = quake.alt = 0;
    const QByteArray page = Pages::index({sampleEvent()}, {sampleReport(7, "A"), quake});
    const ParsedPage parsed(page);
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.texts("td").mid(0, 4),
              (QStringList{"2026-12-08 10:21:44 UTC", "-33.5000, 151.2500", "3", "0.2500 g"}));
    EXPECT_EQ(parsed.values("a", "href"),
              (QStringList{"/reports/7", "/reports/8", "/reports/11", "/reports/7", "/reports/8"}));
    EXPECT_EQ(parsed.values("img", "src"),
              (QStringList{"/api/reports/7/plot.png", "/api/reports/8/plot.png"}));
    const QString text = parsed.texts("p").join("\n");
    EXPECT_TRUE(text.contains("Report 7, received 2026-12-08 10:21:50 UTC")) << text.toStdString();
    EXPECT_TRUE(text.contains("Device A, 35.6750, 139.7542, 40.5 m")) << text.toStdString();
    EXPECT_TRUE(
        text.contains("100 samples/s, trigger stalta from 2026-12-08 10:21:45 UTC, "
                      "PGA 0.0123 g"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("Device B, no position")) << text.toStdString();
    EXPECT_TRUE(text.contains("earthquake, PGA —")) << text.toStdString();

    const ParsedPage empty(Pages::index({}, {}));
    EXPECT_TRUE(empty.texts("p").contains("No events yet."));
    EXPECT_TRUE(empty.texts("p").contains("No reports yet."));
}

TEST(Pages, ReportPageLinksItsPlotAndDownloads) {
    std::optional<CommaDecimalLocale> german(std::in_place);
    const ParsedPage parsed(Pages::report(sampleReport(42, "A")));
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.texts("title"), QStringList{"Report 42"});
    EXPECT_EQ(parsed.values("img", "src"), QStringList{"/api/reports/42/plot.png"});
    EXPECT_EQ(parsed.values("a", "href"),
              (QStringList{"/", "/api/reports/42/signal.csv", "/api/reports/42/signal.mseed",
                           "/api/reports/42"}));
    EXPECT_TRUE(parsed.texts("td").contains("2048 (20.48 s)"));

    const ParsedPage missing(Pages::notFound());
    ASSERT_TRUE(missing.error.isEmpty()) << missing.error.toStdString();
    EXPECT_EQ(missing.texts("h1"), QStringList{"Not found"});
}

}  // namespace
