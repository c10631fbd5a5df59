#include "server/Pages.h"

#include "platform/CFormat.h"
#include "server/ReportPlot.h"

#include <QStringList>

namespace Pages {
namespace {

const QString kNone = QStringLiteral("—");

const char kStyle[] =
    "body{font-family:sans-serif;margin:1.5em;color:#222;background:#f4f5f7}"
    "h1{font-size:1.5em}h2{font-size:1.2em;margin-top:1.5em}"
    "table{border-collapse:collapse;background:#fff}"
    "th,td{padding:.3em .7em;border-bottom:1px solid #d5d9e0;text-align:left;"
    "vertical-align:top}"
    ".report{display:inline-block;vertical-align:top;margin:0 1em 1.5em 0;padding:.6em;"
    "background:#fff;border:1px solid #d5d9e0}"
    ".report p{margin:.2em 0}img{display:block;max-width:100%;height:auto;margin:.5em 0}"
    ".quake{color:#b00020;font-weight:bold}code{word-break:break-all}";

// Text for element content and double-quoted attribute values.
QString html(const QString &text) {
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString utc(const QDateTime &time) {
    if (!time.isValid()) {
        return kNone;
    }
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1String(" UTC");
}

QString position(double lat, double lon) { return cFormat("%.4f, %.4f", lat, lon); }

QString pga(const std::optional<double> &g) { return g ? cFormat("%.4f g", *g) : kNone; }

QString reportLink(qint64 id) { return QStringLiteral("<a href=\"/reports/%1\">%1</a>").arg(id); }

QString plot(const ReportView &report) {
    return QStringLiteral(
               "<img src=\"/api/reports/%1/plot.png\" width=\"%2\" height=\"%3\""
               " alt=\"x, y and z of report %1 from %4\" />")
        .arg(report.id)
        .arg(ReportPlot::kWidth)
        .arg(ReportPlot::kHeight)
        .arg(html(report.deviceId));
}

// How the report came: a person's earthquake, a trigger, or neither.
QString origin(const ReportView &report) {
    QStringList parts;
    if (report.earthquake) {
        parts << QStringLiteral("<span class=\"quake\">earthquake</span>");
    }
    if (!report.trigger.isEmpty()) {
        QString trigger = QStringLiteral("trigger %1").arg(html(report.trigger));
        if (report.triggerStart) {
            trigger += QStringLiteral(" from %1").arg(utc(*report.triggerStart));
        }
        parts << trigger;
    }
    return parts.isEmpty() ? kNone : parts.join(QLatin1String(", "));
}

QString place(const ReportView &report) {
    // The application sends zeros when it has no position.
    if (report.lat == 0 && report.lon == 0 && report.alt == 0) {
        return QStringLiteral("no position");
    }
    return position(report.lat, report.lon) + cFormat(", %.1f m", report.alt);
}

QByteArray page(const QString &title, const QString &body) {
    return (QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\" />"
                           "<meta name=\"viewport\" content=\"width=device-width\" />"
                           "<title>%1</title><style>%2</style></head>\n<body>\n%3</body></html>\n")
                .arg(title, QLatin1String(kStyle), body))
        .toUtf8();
}

QString eventTable(const std::vector<EventView> &events) {
    if (events.empty()) {
        return QStringLiteral("<p>No events yet.</p>\n");
    }
    QString rows;
    for (const EventView &event : events) {
        QStringList links;
        for (qint64 id : event.reportIds) {
            links << reportLink(id);
        }
        rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td></tr>\n")
                    .arg(utc(event.time), position(event.lat, event.lon))
                    .arg(event.devices)
                    .arg(pga(event.largestPga), links.join(QLatin1Char(' ')));
    }
    return QStringLiteral(
               "<table>\n<tr><th>Time</th><th>Centroid</th><th>Devices</th>"
               "<th>Largest PGA</th><th>Reports</th></tr>\n%1</table>\n")
        .arg(rows);
}

QString reportCard(const ReportView &report) {
    return QStringLiteral(
               "<div class=\"report\">\n<p><a href=\"/reports/%1\">Report %1</a>, received %2</p>\n"
               "<p>Device <code>%3</code>, %4</p>\n<p>%5 samples/s, %6, PGA %7</p>\n%8\n</div>\n")
        .arg(QString::number(report.id), utc(report.receivedAt), html(report.deviceId),
             place(report), QString::number(report.sampling), origin(report), pga(report.pga),
             plot(report));
}

QString row(const char *name, const QString &value) {
    return QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n").arg(QLatin1String(name), value);
}

}  // namespace

QByteArray index(const std::vector<EventView> &events, const std::vector<ReportView> &reports) {
    QString body = QStringLiteral("<h1>Shakelog reports</h1>\n<h2>Latest events</h2>\n");
    body += eventTable(events);
    body += QStringLiteral("<h2>Latest reports</h2>\n");
    if (reports.empty()) {
        body += QStringLiteral("<p>No reports yet.</p>\n");
    }
    for (const ReportView &report : reports) {
        body += reportCard(report);
    }
    return page(QStringLiteral("Shakelog reports"), body);
}

QByteArray report(const ReportView &report) {
    const QString duration = report.sampling > 0
                                 ? cFormat(" (%.2f s)", double(report.samples) / report.sampling)
                                 : QString();
    QString body =
        QStringLiteral("<p><a href=\"/\">All reports</a></p>\n<h1>Report %1</h1>\n<table>\n")
            .arg(report.id);
    body += row("Device", QStringLiteral("<code>%1</code>").arg(html(report.deviceId)));
    body += row("Received", utc(report.receivedAt));
    body += row("Device's local time", html(report.localDatetime));
    body += row("Position", place(report));
    body += row("Rate", QStringLiteral("%1 samples/s").arg(report.sampling));
    body += row("Samples", QString::number(report.samples) + duration);
    body += row("Reported as", origin(report));
    body += row("PGA", pga(report.pga));
    body += row("Version", html(report.version));
    body += QStringLiteral("</table>\n%1\n").arg(plot(report));
    body += QStringLiteral(
                "<p>Download: <a href=\"/api/reports/%1/signal.csv\">signal.csv</a>, "
                "<a href=\"/api/reports/%1/signal.mseed\">signal.mseed</a>, "
                "<a href=\"/api/reports/%1\">JSON</a></p>\n")
                .arg(report.id);
    return page(QStringLiteral("Report %1").arg(report.id), body);
}

QByteArray notFound() {
    return page(QStringLiteral("Not found"),
                QStringLiteral("<h1>Not found</h1>\n<p>There is no such page or report. "
                               "<a href=\"/\">The latest reports</a></p>\n"));
}

}  // namespace Pages
