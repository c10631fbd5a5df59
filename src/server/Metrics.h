#pragma once

#include <QByteArray>

#include <array>
#include <functional>
#include <map>
#include <mutex>

// The server's counters, shown at /metrics in the Prometheus text format. Any thread.
class Metrics {
public:
    static constexpr std::array<double, 11> kDurationBuckets = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                                0.5,   1,    2.5,   5,    10};

    void reportAccepted();
    void reportRefused(const QByteArray &reason);
    void reportDuplicate();
    void databaseError();
    void requestFinished(double seconds);
    // A value read when the metrics are shown (connections under way).
    void setConnectionsGauge(std::function<int()> gauge);

    QByteArray text() const;

private:
    mutable std::mutex mMutex;
    quint64 mAccepted = 0;
    quint64 mDuplicates = 0;
    quint64 mDatabaseErrors = 0;
    std::map<QByteArray, quint64> mRefused;
    std::array<quint64, kDurationBuckets.size()> mBucketCounts{};
    quint64 mRequests = 0;
    double mDurationSum = 0;
    std::function<int()> mConnections;
};
