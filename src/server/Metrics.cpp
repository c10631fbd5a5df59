#include "server/Metrics.h"

namespace {
QByteArray number(double x) { return QByteArray::number(x, 'g', 15); }
}  // namespace

void Metrics::reportAccepted() {
    std::lock_guard lock(mMutex);
    ++mAccepted;
}

void Metrics::reportRefused(const QByteArray &reason) {
    std::lock_guard lock(mMutex);
    ++mRefused[reason];
}

void Metrics::reportDuplicate() {
    std::lock_guard lock(mMutex);
    ++mDuplicates;
}

void Metrics::databaseError() {
    std::lock_guard lock(mMutex);
    ++mDatabaseErrors;
}

void Metrics::requestFinished(double seconds) {
    std::lock_guard lock(mMutex);
    ++mRequests;
    mDurationSum += seconds;
    for (size_t i = 0; i < kDurationBuckets.size(); ++i) {
        if (seconds <= kDurationBuckets[i]) {
            ++mBucketCounts[i];
        }
    }
}

void Metrics::setConnectionsGauge(std::function<int()> gauge) {
    std::lock_guard lock(mMutex);
    mConnections = std::move(gauge);
}

QByteArray Metrics::text() const {
    std::lock_guard lock(mMutex);
    QByteArray out;
    const auto counter = [&out](const char *name, const char *help, quint64 value) {
        out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " counter\n" +
               name + ' ' + QByteArray::number(value) + '\n';
    };
    counter("shakelog_reports_accepted_total", "Reports stored.", mAccepted);
    counter("shakelog_reports_duplicate_total", "Reports sent again, answered 200, not stored.",
            mDuplicates);
    counter("shakelog_database_errors_total", "Database operations that failed.", mDatabaseErrors);

    out +=
        "# HELP shakelog_reports_refused_total Reports answered 400, by reason.\n"
        "# TYPE shakelog_reports_refused_total counter\n";
    for (const auto &[reason, count] : mRefused) {
        out += "shakelog_reports_refused_total{reason=\"" + reason + "\"} " +
               QByteArray::number(count) + '\n';
    }

    out +=
        "# HELP shakelog_request_duration_seconds Time from a request's arrival to its "
        "answer.\n# TYPE shakelog_request_duration_seconds histogram\n";
    for (size_t i = 0; i < kDurationBuckets.size(); ++i) {
        out += "shakelog_request_duration_seconds_bucket{le=\"" + number(kDurationBuckets[i]) +
               "\"} " + QByteArray::number(mBucketCounts[i]) + '\n';
    }
    out += "shakelog_request_duration_seconds_bucket{le=\"+Inf\"} " +
           QByteArray::number(mRequests) + '\n';
    out += "shakelog_request_duration_seconds_sum " + number(mDurationSum) + '\n';
    out += "shakelog_request_duration_seconds_count " + QByteArray::number(mRequests) + '\n';

    if (mConnections) {
        out +=
            "# HELP shakelog_connections Connections open or waiting for a worker.\n"
            "# TYPE shakelog_connections gauge\nshakelog_connections " +
            QByteArray::number(mConnections()) + '\n';
    }
    return out;
}
