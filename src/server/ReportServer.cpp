#include "server/ReportServer.h"

#include "platform/PrintableText.h"
#include "platform/SystemLog.h"
#include "server/AdmissionQueue.h"
#include "server/Pages.h"
#include "server/ReportFiles.h"
#include "server/ReportPlot.h"
#include "server/ReportStore.h"
#include "server/ReportSubmission.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <chrono>
#include <optional>
#include <thread>

namespace {

const char *const kText = "text/plain; charset=utf-8";
const char *const kJson = "application/json";
const char *const kHtml = "text/html; charset=utf-8";
constexpr int kMaxPageSize = 1000;
constexpr int kReportsOnTheIndex = 20;

// When the request on this thread began; httplib keeps no such time.
thread_local std::optional<QElapsedTimer> tRequestTimer;

void answer(httplib::Response &response, int status, const QString &line) {
    response.status = status;
    response.set_content((line + u'\n').toStdString(), kText);
}

// The answer to a connection over the limit, after which it is closed: it is served on the
// accepting thread, which must not wait there for a next request on the same connection.
// httplib keeps a connection open after any answer written whole, and closes it after a body
// whose provider reports a failure: so the provider writes the body, then reports one.
void refuse(httplib::Response &response) {
    static const std::string kBody = "too many connections; try again later\n";
    response.status = 503;
    response.set_header("Connection", "close");
    response.set_content_provider(kBody.size(), kText,
                                  [](size_t offset, size_t length, httplib::DataSink &sink) {
                                      sink.write(kBody.data() + offset, length);
                                      return false;
                                  });
}

std::optional<qint64> reportId(const httplib::Request &request) {
    bool ok = false;
    const qint64 id = QString::fromStdString(request.matches[1]).toLongLong(&ok);
    return ok ? std::optional(id) : std::nullopt;
}

// What the pages, plots and files read of a stored report.
ReportView viewOf(const StoredReport &stored) {
    const ReportRecord &record = stored.record;
    ReportView view;
    view.id = stored.id;
    view.deviceId = record.deviceId;
    view.lat = record.lat;
    view.lon = record.lon;
    view.alt = record.alt;
    view.sampling = record.sampling;
    view.version = record.version;
    view.localDatetime = record.localDateTime;
    view.earthquake = record.earthquake;
    view.trigger = record.trigger;
    if (!record.triggerStart.isEmpty()) {
        view.triggerStart = QDateTime::fromString(record.triggerStart, Qt::ISODateWithMs);
    }
    view.pga = record.pga;
    view.receivedAt = QDateTime::fromString(stored.receivedAt, Qt::ISODateWithMs);
    view.samples = record.samples;
    return view;
}

// The stored signal's samples; it was read whole before it was stored.
ReportSignal samplesOf(const QByteArray &signal) {
    return ReportSubmission::readSignal(signal).value_or(ReportSignal());
}

void setBytes(httplib::Response &response, const QByteArray &bytes, const char *type) {
    response.set_content(bytes.constData(), size_t(bytes.size()), type);
}

QString param(const httplib::Request &request, const char *name) {
    return QString::fromStdString(request.get_param_value(name));
}

// A time bound of the listing as stored (UTC, milliseconds), or nullopt when it is no time.
std::optional<QString> utcBound(const QString &text) {
    if (text.isEmpty()) {
        return QString();
    }
    static const QRegularExpression zone(QStringLiteral("(Z|[+-]\\d\\d:\\d\\d)$"));
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid() || !zone.match(text).hasMatch()) {  // a time without zone is no bound
        return std::nullopt;
    }
    return ReportStore::utcText(time);
}

}  // namespace

ReportServer::ReportServer(ReportStore &store, const ServerOptions &options,
                           std::optional<AdminToken> adminToken)
    : mStore(store),
      mEvents(EventRule{options.eventDevices, options.eventSeconds, options.eventKm}),
      mOptions(options),
      mAdminToken(std::move(adminToken)) {
    mStore.setChangeHook(
        [this](QSqlDatabase &db, const StoredReport &report, ReportStore::Change change) {
            return mEvents.update(db, report, change);
        });
    mServer.new_task_queue = [this] {
        mQueue = new AdmissionQueue(mOptions.threads, mOptions.maxConnections);
        return mQueue;
    };
    mMetrics.setConnectionsGauge([this] { return mQueue ? mQueue->connections() : 0; });
    mServer.set_read_timeout(mOptions.readTimeoutSeconds, 0);
    mServer.set_write_timeout(mOptions.writeTimeoutSeconds, 0);
    // An answer goes out in several writes (head, then body); with Nagle's algorithm the last
    // one waits for the client's delayed acknowledgement, 40 ms on Linux, on every request.
    mServer.set_tcp_nodelay(true);
    mServer.set_keep_alive_timeout(5);
    mServer.set_keep_alive_max_count(100);
    mServer.set_payload_max_length(size_t(mOptions.maxBodyBytes));
    route();
}

ReportServer::~ReportServer() = default;

int ReportServer::bind() {
    if (mOptions.port == 0) {
        return mServer.bind_to_any_port(mOptions.host.toStdString());
    }
    return mServer.bind_to_port(mOptions.host.toStdString(), mOptions.port) ? mOptions.port : -1;
}

bool ReportServer::run() {
    const bool ok = mServer.listen_after_bind();
    mRunEnded = true;
    return ok;
}

void ReportServer::stop() {
    while (!mServer.is_running() && !mRunEnded) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    mServer.stop();
}

void ReportServer::route() {
    using httplib::Request;
    using httplib::Response;
    using HandlerResponse = httplib::Server::HandlerResponse;

    mServer.set_pre_routing_handler([](const Request &, Response &response) {
        tRequestTimer.emplace();
        tRequestTimer->start();
        if (AdmissionQueue::refusing()) {
            refuse(response);
            return HandlerResponse::Handled;
        }
        return HandlerResponse::Unhandled;
    });
    // httplib answers a body over the limit with 413 before any handler runs; the sender
    // reads it as any other refusal.
    mServer.set_error_handler(
        httplib::Server::HandlerWithResponse([this](const Request &, Response &response) {
            if (response.status == 413) {
                mMetrics.reportRefused("too_large");
                answer(response, 400,
                       QStringLiteral("body larger than %1 bytes").arg(mOptions.maxBodyBytes));
                return HandlerResponse::Handled;
            }
            if (!response.has_header("Content-Type")) {  // an error of httplib's own
                answer(response, response.status,
                       QStringLiteral("request refused (status %1)").arg(response.status));
            }
            return HandlerResponse::Handled;
        }));
    mServer.set_exception_handler([](const Request &, Response &response, std::exception_ptr) {
        answer(response, 500, QStringLiteral("internal error"));
    });
    mServer.set_logger([this](const Request &request, const Response &response) {
        logRequest(request, response);
    });

    mServer.Post("/report", [this](const Request &q, Response &r) { receiveReport(q, r); });
    mServer.Get("/api/reports", [this](const Request &q, Response &r) { listReports(q, r); });
    mServer.Get(R"(/api/reports/(\d+))",
                [this](const Request &q, Response &r) { showReport(q, r); });
    mServer.Get(R"(/api/reports/(\d+)/signal\.csv)",
                [this](const Request &q, Response &r) { showSignal(q, r); });
    mServer.Delete(R"(/api/reports/(\d+))",
                   [this](const Request &q, Response &r) { deleteReport(q, r); });
    mServer.Get("/healthz", [this](const Request &, Response &r) { health(r); });
    mServer.Get("/metrics", [this](const Request &, Response &r) {
        r.set_content(mMetrics.text().toStdString(), "text/plain; version=0.0.4");
    });

    mServer.Get(R"(/api/reports/(\d+)/plot\.png)",
                [this](const Request &q, Response &r) { showPlot(q, r); });
    mServer.Get(R"(/api/reports/(\d+)/signal\.mseed)",
                [this](const Request &q, Response &r) { showMiniSeed(q, r); });
    mServer.Get(R"(/reports/(\d+))",
                [this](const Request &q, Response &r) { showReportPage(q, r); });
    mServer.Get("/", [this](const Request &, Response &r) { showIndexPage(r); });
    mServer.Get("/api/events", [this](const Request &q, Response &r) { listEvents(q, r); });
}

void ReportServer::receiveReport(const httplib::Request &request, httplib::Response &response) {
    std::optional<QByteArray> signal;
    if (request.has_file("signal")) {
        signal = QByteArray::fromStdString(request.get_file_value("signal").content);
    }
    const auto read = ReportSubmission::read(request.params, signal ? &*signal : nullptr);
    if (const auto *refusal = std::get_if<Refusal>(&read)) {
        mMetrics.reportRefused(refusal->label);
        answer(response, 400, refusal->message);
        return;
    }
    switch (mStore.insert(std::get<ReportRecord>(read), QDateTime::currentDateTimeUtc())) {
    case ReportStore::Outcome::Stored: mMetrics.reportAccepted(); break;
    case ReportStore::Outcome::Duplicate: mMetrics.reportDuplicate(); break;
    case ReportStore::Outcome::Failed: databaseFailed(response); return;
    }
    response.set_content("received", kText);
}

void ReportServer::listReports(const httplib::Request &request, httplib::Response &response) {
    ReportFilter filter;
    const auto since = utcBound(param(request, "since"));
    const auto until = utcBound(param(request, "until"));
    if (!since || !until) {
        answer(response, 400,
               QStringLiteral("since and until must be UTC times "
                              "(2026-12-08T10:21:45Z)"));
        return;
    }
    filter.since = *since;
    filter.until = *until;
    filter.device = param(request, "device");
    const QString earthquake = param(request, "earthquake");
    if (earthquake == QLatin1String("Y") || earthquake == QLatin1String("N")) {
        filter.earthquake = earthquake == QLatin1String("Y");
    } else if (!earthquake.isEmpty()) {
        answer(response, 400, QStringLiteral("earthquake must be Y or N"));
        return;
    }
    bool limitOk = true, offsetOk = true;
    if (request.has_param("limit")) {
        filter.limit = param(request, "limit").toInt(&limitOk);
    }
    if (request.has_param("offset")) {
        filter.offset = param(request, "offset").toInt(&offsetOk);
    }
    if (!limitOk || !offsetOk || filter.limit < 1 || filter.limit > kMaxPageSize ||
        filter.offset < 0) {
        answer(response, 400,
               QStringLiteral("limit must be 1 to %1 and offset 0 or more").arg(kMaxPageSize));
        return;
    }
    const auto reports = mStore.list(filter);
    if (!reports) {
        databaseFailed(response);
        return;
    }
    QJsonArray items;
    for (const StoredReport &report : *reports) {
        items.append(report.toJson());
    }
    const QJsonObject page{{"reports", items}, {"limit", filter.limit}, {"offset", filter.offset}};
    response.set_content(QJsonDocument(page).toJson(QJsonDocument::Compact).toStdString(), kJson);
}

void ReportServer::showReport(const httplib::Request &request, httplib::Response &response) {
    if (const auto report = requestedReport(request, response)) {
        response.set_content(
            QJsonDocument(report->toJson()).toJson(QJsonDocument::Compact).toStdString(), kJson);
    }
}

void ReportServer::showSignal(const httplib::Request &request, httplib::Response &response) {
    if (const auto report = requestedReport(request, response)) {
        response.set_content(report->record.signal.toStdString(), "text/csv");
    }
}

std::optional<StoredReport> ReportServer::requestedReport(const httplib::Request &request,
                                                          httplib::Response &response) {
    bool failed = false;
    const auto id = reportId(request);
    auto report = id ? mStore.find(*id, &failed) : std::nullopt;
    if (failed) {
        databaseFailed(response);
    } else if (!report) {
        answer(response, 404, QStringLiteral("no such report"));
    }
    return report;
}

void ReportServer::showPlot(const httplib::Request &request, httplib::Response &response) {
    if (const auto report = requestedReport(request, response)) {
        setBytes(response,
                 ReportPlot::png(samplesOf(report->record.signal), report->record.sampling),
                 "image/png");
    }
}

void ReportServer::showMiniSeed(const httplib::Request &request, httplib::Response &response) {
    if (const auto report = requestedReport(request, response)) {
        setBytes(response,
                 ReportFiles::signalMiniSeed(samplesOf(report->record.signal), viewOf(*report)),
                 "application/vnd.fdsn.mseed");
    }
}

void ReportServer::showReportPage(const httplib::Request &request, httplib::Response &response) {
    bool failed = false;
    const auto id = reportId(request);
    const auto report = id ? mStore.find(*id, &failed) : std::nullopt;
    if (failed) {
        databaseFailed(response);
    } else if (!report) {
        response.status = 404;
        setBytes(response, Pages::notFound(), kHtml);
    } else {
        setBytes(response, Pages::report(viewOf(*report)), kHtml);
    }
}

void ReportServer::showIndexPage(httplib::Response &response) {
    ReportFilter latest;
    latest.limit = kReportsOnTheIndex;
    const auto reports = mStore.list(latest);
    if (!reports) {
        databaseFailed(response);
        return;
    }
    QSqlDatabase db = mStore.database().connection();
    const auto events = EventStore::list(db, kReportsOnTheIndex);
    if (!events) {
        databaseFailed(response);
        return;
    }
    std::vector<ReportView> views;
    for (const StoredReport &report : *reports) {
        views.push_back(viewOf(report));
    }
    setBytes(response, Pages::index(*events, views), kHtml);
}

void ReportServer::listEvents(const httplib::Request &request, httplib::Response &response) {
    bool ok = true;
    const int limit = request.has_param("limit") ? param(request, "limit").toInt(&ok) : 100;
    if (!ok || limit < 1 || limit > kMaxPageSize) {
        answer(response, 400, QStringLiteral("limit must be 1 to %1").arg(kMaxPageSize));
        return;
    }
    QSqlDatabase db = mStore.database().connection();
    const auto events = EventStore::list(db, limit);
    if (!events) {
        databaseFailed(response);
        return;
    }
    QJsonArray array;
    for (const EventView &event : *events) {
        QJsonArray reports;
        for (const qint64 id : event.reportIds) {
            reports.append(id);
        }
        QJsonObject object{
            {"id", event.id},
            {"time", ReportStore::utcText(event.time)},
            {"lat", event.lat},
            {"lon", event.lon},
            {"devices", event.devices},
            {"largest_pga", event.largestPga ? QJsonValue(*event.largestPga) : QJsonValue()},
            {"reports", reports}};
        array.append(object);
    }
    response.set_content(QJsonDocument(array).toJson(QJsonDocument::Compact).toStdString(), kJson);
}

void ReportServer::deleteReport(const httplib::Request &request, httplib::Response &response) {
    if (!mAdminToken) {
        answer(response, 403, QStringLiteral("deleting is off (no --admin-token-file)"));
        return;
    }
    if (!mAdminToken->authorizes(
            QByteArray::fromStdString(request.get_header_value("Authorization")))) {
        response.set_header("WWW-Authenticate", "Bearer");
        answer(response, 401, QStringLiteral("a valid admin token is needed"));
        return;
    }
    const auto id = reportId(request);
    const auto found = id ? mStore.remove(*id) : std::optional(false);
    if (!found) {
        databaseFailed(response);
    } else if (!*found) {
        answer(response, 404, QStringLiteral("no such report"));
    } else {
        answer(response, 200, QStringLiteral("deleted"));
    }
}

void ReportServer::health(httplib::Response &response) {
    if (mStore.healthy()) {
        answer(response, 200, QStringLiteral("ok"));
    } else {
        databaseFailed(response);
    }
}

void ReportServer::databaseFailed(httplib::Response &response) {
    mMetrics.databaseError();
    SystemLog::log(QStringLiteral("shakelog-server: database error: %1").arg(mStore.lastError()));
    answer(response, 503, QStringLiteral("database unavailable"));
}

// One line per request. The query is left out: it holds positions, and a listing's filters
// are no business of the log; the path alone names the resource.
void ReportServer::logRequest(const httplib::Request &request, const httplib::Response &response) {
    double seconds = 0;
    if (tRequestTimer) {
        seconds = double(tRequestTimer->nsecsElapsed()) / 1e9;
        tRequestTimer.reset();
    }
    mMetrics.requestFinished(seconds);
    SystemLog::log(QStringLiteral("request method=%1 path=%2 status=%3 duration_ms=%4 remote=%5")
                       .arg(QString::fromStdString(request.method),
                            loggableText(QByteArray::fromStdString(request.path).left(200)))
                       .arg(response.status)
                       .arg(seconds * 1000, 0, 'f', 1)
                       .arg(QString::fromStdString(request.remote_addr)));
}
