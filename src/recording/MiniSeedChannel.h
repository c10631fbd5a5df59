#pragma once

#include "recording/SeedCodes.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

struct MSRecord_s;

// One record as written to a file: its bytes and the UTC time of its first sample.
struct MiniSeedRecord {
    qint64 start = 0;  // microseconds since 1970-01-01 UTC
    QByteArray bytes;
};

// Packs one channel's samples, 32-bit integer counts, into 512-byte Steim-2 miniSEED records
// with libmseed. Samples come in runs: a run is evenly spaced at the channel's rate from its
// first sample's time; a gap, a clock step or a day's end starts a new run.
class MiniSeedChannel {
public:
    static constexpr int kRecordLength = 512;

    // An acceleration in g in the application's convention (a device face up reads z = -1) as
    // the archive keeps it: counts of micro-g in the seismological convention, positive along
    // the axis the channel names, so a device lying face up records about +1 000 000 on its
    // vertical channel. Hence the change of sign.
    static int32_t counts(double applicationG);

    MiniSeedChannel(const SeedCodes &codes, const QString &channel, double rate);
    ~MiniSeedChannel();
    MiniSeedChannel(const MiniSeedChannel &) = delete;
    MiniSeedChannel &operator=(const MiniSeedChannel &) = delete;

    const QString &channel() const { return mChannel; }
    double rate() const { return mRate; }

    // The next sample added is the first of a run at `start` (microseconds since 1970, UTC).
    // Samples still held belong to the run before: take(true) them first.
    void begin(qint64 start);
    void add(int32_t count) { mSamples.push_back(count); }
    bool isEmpty() const { return mSamples.empty(); }
    // The time of the next sample of the run, microseconds UTC.
    qint64 nextSampleTime() const;

    // The records that are full; with `flush` also a last, partial one with every sample
    // held. The samples packed are let go.
    std::vector<MiniSeedRecord> take(bool flush);

private:
    qint64 timeOfSample(int64_t index) const;

    QString mChannel;
    double mRate;
    MSRecord_s *mRecord;
    std::vector<int32_t> mSamples;  // not yet packed, the first at mPackedInRun of the run
    qint64 mRunStart = 0;
    int64_t mPackedInRun = 0;
};
