#include "server/ReportSubmission.h"

#include "core/SampleLine.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTime>

#include <cmath>
#include <functional>

namespace {

Refusal refusal(const char *label, const QString &message) { return {label, message}; }

// Reads the query once; the first problem found is the one reported.
class QueryReader {
public:
    explicit QueryReader(const ReportSubmission::Query &query) : mQuery(query) {}

    std::optional<Refusal> problem() const { return mProblem; }
    bool has(const char *name) const { return mQuery.count(name) > 0; }

    QString text(const char *name) {
        if (mProblem) {
            return {};
        }
        const auto count = mQuery.count(name);
        if (count == 0) {
            fail("missing_field", QStringLiteral("missing field %1").arg(name));
            return {};
        }
        if (count > 1) {
            fail("malformed_field", QStringLiteral("field %1 given more than once").arg(name));
            return {};
        }
        static const QRegularExpression control(QStringLiteral("[\\x00-\\x1f\\x7f]"));
        const QString value = QString::fromStdString(mQuery.find(name)->second);
        if (value.isEmpty() || value.size() > ReportSubmission::kMaxTextLength ||
            value.contains(control)) {
            fail("malformed_field", QStringLiteral("field %1 must be 1 to %2 printable characters")
                                        .arg(name)
                                        .arg(ReportSubmission::kMaxTextLength));
            return {};
        }
        return value;
    }

    double number(const char *name, double low, double high) {
        return inRange(name, low, high, QStringLiteral("a number"), [](const QString &v, bool *ok) {
            const double x = v.toDouble(ok);
            *ok = *ok && std::isfinite(x);
            return x;
        });
    }

    int integer(const char *name, int low, int high) {
        return int(inRange(name, low, high, QStringLiteral("a whole number"),
                           [](const QString &v, bool *ok) { return double(v.toInt(ok)); }));
    }

    QString oneOf(const char *name, const QStringList &allowed) {
        const QString value = text(name);
        if (!mProblem && !allowed.contains(value)) {
            fail("malformed_field", QStringLiteral("field %1 must be %2")
                                        .arg(name, allowed.join(QStringLiteral(" or "))));
        }
        return value;
    }

    QString matching(const char *name, const QRegularExpression &pattern, const QString &form,
                     const std::function<bool(const QString &)> &valid) {
        const QString value = text(name);
        if (!mProblem && (!pattern.match(value).hasMatch() || !valid(value))) {
            fail("malformed_field", QStringLiteral("field %1 must be %2").arg(name, form));
        }
        return value;
    }

    // The field read by `parse` and checked against [low, high]; 0 after a problem.
    double inRange(const char *name, double low, double high, const QString &kind,
                   const std::function<double(const QString &, bool *)> &parse) {
        const QString value = text(name);
        if (mProblem) {
            return 0;
        }
        bool ok = false;
        const double x = parse(value, &ok);
        if (!ok) {
            fail("malformed_field", QStringLiteral("field %1 is not %2").arg(name, kind));
            return 0;
        }
        if (x < low || x > high) {
            fail("out_of_range",
                 QStringLiteral("field %1 must be within [%2, %3]").arg(name).arg(low).arg(high));
            return 0;
        }
        return x;
    }

    void fail(const char *label, const QString &message) {
        if (!mProblem) {
            mProblem = refusal(label, message);
        }
    }

private:
    const ReportSubmission::Query &mQuery;
    std::optional<Refusal> mProblem;
};

// The device's wall clock: checked as a calendar date and a time of day, in no time zone (a
// time that the server's own zone skips at a clock change is still a time somewhere).
bool isLocalDateTime(const QString &text) {
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    return date.isValid() && time.isValid();
}

bool isUtcWithMilliseconds(const QString &text) {
    return QDateTime::fromString(text, Qt::ISODateWithMs).isValid();
}

}  // namespace

std::optional<ReportSignal> ReportSubmission::readSignal(const QByteArray &signal) {
    if (signal.isEmpty() || !signal.endsWith('\n')) {
        return std::nullopt;
    }
    ReportSignal samples;
    qsizetype start = 0;
    while (start < signal.size()) {
        const qsizetype end = signal.indexOf('\n', start);
        const QByteArray line = signal.mid(start, end - start);
        SampleLine::Values values;
        // The sample reader also takes the export's dated lines and the stream's: a report's
        // line is three numbers and nothing else.
        if (line.count(',') != 2 || !SampleLine::parse(line, &values)) {
            return std::nullopt;
        }
        samples.push_back({values.x, values.y, values.z});
        start = end + 1;
    }
    return samples;
}

std::variant<ReportRecord, Refusal> ReportSubmission::read(const Query &query,
                                                           const QByteArray *signal) {
    static const QRegularExpression localDateTime(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    static const QRegularExpression utcMilliseconds(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3}Z$"));

    QueryReader reader(query);
    ReportRecord report;
    report.deviceId = reader.text("device_id");
    report.lat = reader.number("lat", -90, 90);
    report.lon = reader.number("lon", -180, 180);
    // From the deepest mine to above the highest airliner: anything else is a broken fix.
    report.alt = reader.number("alt", -12000, 20000);
    report.sampling = reader.integer("sampling", kMinSampling, kMaxSampling);
    report.version = reader.text("version");
    report.localDateTime = reader.matching("local_datetime", localDateTime,
                                           QStringLiteral("yyyy-MM-dd HH:mm:ss"), isLocalDateTime);
    report.earthquake =
        reader.oneOf("isearthquake", {QStringLiteral("Y"), QStringLiteral("N")}) == "Y";
    reader.oneOf("action", {QStringLiteral("add")});

    if (!reader.problem() && (reader.has("trigger") || reader.has("start") || reader.has("pga"))) {
        if (!reader.has("trigger") || !reader.has("start") || !reader.has("pga")) {
            reader.fail("bad_trigger", QStringLiteral("trigger, start and pga go together"));
        }
        report.trigger = reader.oneOf("trigger", {QStringLiteral("stalta")});
        report.triggerStart =
            reader.matching("start", utcMilliseconds,
                            QStringLiteral("UTC with milliseconds (2026-12-08T10:21:45.120Z)"),
                            isUtcWithMilliseconds);
        report.pga = reader.number("pga", 0, 1000);
    }
    if (const auto problem = reader.problem()) {
        return *problem;
    }

    if (!signal) {
        return refusal("missing_field", QStringLiteral("missing form field signal"));
    }
    const auto samples = readSignal(*signal);
    if (!samples) {
        return refusal("bad_signal",
                       QStringLiteral("signal must be lines \"x,y,z\\n\" of three finite numbers"));
    }
    report.signal = *signal;
    report.samples = int(samples->size());
    report.signalSha256 =
        QString::fromLatin1(QCryptographicHash::hash(*signal, QCryptographicHash::Sha256).toHex());
    return report;
}
