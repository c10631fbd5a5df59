#include "recording/MiniSeedChannel.h"

#include <libmseed.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
void copyCode(char *target, const QString &code) {
    const QByteArray bytes = code.toLatin1();
    std::strncpy(target, bytes.constData(), 10);
    target[10] = '\0';
}

void collect(char *record, int length, void *records) {
    static_cast<std::vector<QByteArray> *>(records)->push_back(QByteArray(record, length));
}
}  // namespace

int32_t MiniSeedChannel::counts(double applicationG) {
    const double counts = std::round(-applicationG * 1e6);
    if (std::isnan(counts)) {
        return 0;
    }
    return int32_t(std::clamp(counts, double(std::numeric_limits<int32_t>::min()),
                              double(std::numeric_limits<int32_t>::max())));
}

MiniSeedChannel::MiniSeedChannel(const SeedCodes &codes, const QString &channel, double rate)
    : mChannel(channel), mRate(rate), mRecord(msr_init(nullptr)) {
    copyCode(mRecord->network, codes.network);
    copyCode(mRecord->station, codes.station);
    copyCode(mRecord->location, codes.location);
    copyCode(mRecord->channel, channel);
    mRecord->dataquality = 'D';
    mRecord->samprate = rate;
    mRecord->reclen = kRecordLength;
    mRecord->encoding = DE_STEIM2;
    mRecord->byteorder = 1;  // big-endian, as SEED writes it
    mRecord->sampletype = 'i';
}

MiniSeedChannel::~MiniSeedChannel() {
    // The samples are ours, not libmseed's to free.
    mRecord->datasamples = nullptr;
    msr_free(&mRecord);
}

void MiniSeedChannel::begin(qint64 start) {
    mRunStart = start;
    mPackedInRun = 0;
}

qint64 MiniSeedChannel::timeOfSample(int64_t index) const {
    // From the run's start, not from record to record: no rounding accumulates.
    return mRunStart + qint64(std::llround(double(index) * 1e6 / mRate));
}

qint64 MiniSeedChannel::nextSampleTime() const {
    return timeOfSample(mPackedInRun + int64_t(mSamples.size()));
}

std::vector<MiniSeedRecord> MiniSeedChannel::take(bool flush) {
    std::vector<MiniSeedRecord> records;
    if (mSamples.empty()) {
        return records;
    }
    std::vector<QByteArray> packed;
    mRecord->starttime = timeOfSample(mPackedInRun);
    mRecord->datasamples = mSamples.data();
    mRecord->numsamples = int64_t(mSamples.size());
    int64_t packedSamples = 0;
    msr_pack(mRecord, &collect, &packed, &packedSamples, flush ? 1 : 0, 0);
    mRecord->datasamples = nullptr;
    mRecord->numsamples = 0;

    // Each record's start, read back from its own header.
    for (QByteArray &bytes : packed) {
        MSRecord *parsed = nullptr;
        if (msr_parse(bytes.data(), int(bytes.size()), &parsed, kRecordLength, 0, 0) ==
            MS_NOERROR) {
            records.push_back({parsed->starttime, std::move(bytes)});
        }
        msr_free(&parsed);
    }
    mSamples.erase(mSamples.begin(), mSamples.begin() + packedSamples);
    mPackedInRun += packedSamples;
    return records;
}
