#pragma once

#include "server/AdminToken.h"
#include "server/EventStore.h"
#include "server/Metrics.h"
#include "server/ReportStore.h"
#include "server/ServerOptions.h"

#include <httplib.h>

#include <atomic>
#include <optional>

class AdmissionQueue;

// The HTTP side: routes, limits, the request log and the metrics. bind() then run() on a
// thread of its own; stop() from any thread lets the requests under way finish, then run()
// returns.
class ReportServer {
public:
    ReportServer(ReportStore &store, const ServerOptions &options,
                 std::optional<AdminToken> adminToken);
    ~ReportServer();
    ReportServer(const ReportServer &) = delete;
    ReportServer &operator=(const ReportServer &) = delete;

    // The port bound (the one picked when asked for 0), or -1.
    int bind();
    bool run();
    // Once run() has been called (it may not have begun listening yet: a stop that came too
    // early would be lost in httplib, so this waits for it).
    void stop();

    Metrics &metrics() { return mMetrics; }

private:
    void route();
    void receiveReport(const httplib::Request &request, httplib::Response &response);
    void listReports(const httplib::Request &request, httplib::Response &response);
    void showReport(const httplib::Request &request, httplib::Response &response);
    void showSignal(const httplib::Request &request, httplib::Response &response);
    // The report a request's path names; none, with the answer given (404 or a database
    // failure), when there is none to show.
    std::optional<StoredReport> requestedReport(const httplib::Request &request,
                                                httplib::Response &response);
    void showPlot(const httplib::Request &request, httplib::Response &response);
    void showMiniSeed(const httplib::Request &request, httplib::Response &response);
    void showReportPage(const httplib::Request &request, httplib::Response &response);
    void showIndexPage(httplib::Response &response);
    void listEvents(const httplib::Request &request, httplib::Response &response);
    void deleteReport(const httplib::Request &request, httplib::Response &response);
    void health(httplib::Response &response);
    void databaseFailed(httplib::Response &response);
    void logRequest(const httplib::Request &request, const httplib::Response &response);

    ReportStore &mStore;
    EventStore mEvents;
    ServerOptions mOptions;
    std::optional<AdminToken> mAdminToken;
    Metrics mMetrics;
    std::atomic<bool> mRunEnded{false};
    AdmissionQueue *mQueue = nullptr;  // owned by httplib once its listening begins
    httplib::Server mServer;
};
