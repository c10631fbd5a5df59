#pragma once

#include <QByteArray>
#include <QString>

#include <libmseed.h>

#include <cstring>
#include <vector>

// miniSEED records of one channel as libmseed writes them, for tests and fuzz seeds: `samples`
// (counts) from `start` (microseconds since 1970) at `rate`, in records of `recordLength` bytes
// encoded as `encoding` (DE_STEIM2, DE_INT32, DE_FLOAT32 or DE_FLOAT64).
inline QByteArray miniSeedRecords(const char *network, const char *station, const char *location,
                                  const char *channel, hptime_t start, double rate,
                                  const std::vector<double> &samples, int encoding = DE_STEIM2,
                                  int recordLength = 512) {
    std::vector<int32_t> ints(samples.begin(), samples.end());
    std::vector<float> floats(samples.begin(), samples.end());
    std::vector<double> doubles(samples);
    MSRecord *msr = msr_init(nullptr);
    std::strncpy(msr->network, network, 10);
    std::strncpy(msr->station, station, 10);
    std::strncpy(msr->location, location, 10);
    std::strncpy(msr->channel, channel, 10);
    msr->dataquality = 'D';
    msr->starttime = start;
    msr->samprate = rate;
    msr->reclen = recordLength;
    msr->encoding = int8_t(encoding);
    msr->byteorder = 1;
    msr->numsamples = msr->samplecnt = int64_t(samples.size());
    switch (encoding) {
    case DE_FLOAT32: msr->datasamples = floats.data(), msr->sampletype = 'f'; break;
    case DE_FLOAT64: msr->datasamples = doubles.data(), msr->sampletype = 'd'; break;
    default: msr->datasamples = ints.data(), msr->sampletype = 'i'; break;
    }
    QByteArray records;
    int64_t packed = 0;
    msr_pack(
        msr,
        [](char *record, int length, void *out) {
            static_cast<QByteArray *>(out)->append(record, length);
        },
        &records, &packed, 1, 0);
    msr->datasamples = nullptr;  // ours, not libmseed's to free
    msr_free(&msr);
    return records;
}
