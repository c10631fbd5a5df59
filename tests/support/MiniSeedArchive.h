#pragma once

#include "recording/MiniSeedChannel.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <libmseed.h>

#include <cmath>
#include <map>
#include <vector>

struct RecordedRun {
    qint64 start;  // microseconds UTC
    std::vector<int32_t> samples;
};

// A miniSEED archive as libmseed's own reader sees it: every record of the file `path` or of
// every day file under it, by channel, joined into runs where one record continues the last;
// `problem` says which file is not a sequence of whole records.
struct MiniSeedArchive {
    std::map<QString, std::vector<RecordedRun>> runs;  // "NET.STA.LOC.CHAN" → runs
    QStringList files;
    QString problem;
    double rate = 0;

    explicit MiniSeedArchive(const QString &path) {
        QDirIterator it(path, {"*.D.*"}, QDir::Files, QDirIterator::Subdirectories);
        if (QFileInfo(path).isFile()) {
            files << path;
        }
        while (it.hasNext()) {
            files << it.next();
        }
        files.sort();
        for (const QString &file : files) {
            read(file);
        }
    }
    void read(const QString &file) {
        QFile in(file);
        in.open(QIODevice::ReadOnly);
        QByteArray bytes = in.readAll();
        if (bytes.size() % MiniSeedChannel::kRecordLength != 0) {
            problem += file + ": not whole records; ";
            return;
        }
        for (qsizetype at = 0; at < bytes.size(); at += MiniSeedChannel::kRecordLength) {
            MSRecord *record = nullptr;
            if (msr_parse(bytes.data() + at, MiniSeedChannel::kRecordLength, &record,
                          MiniSeedChannel::kRecordLength, 1, 0) != MS_NOERROR) {
                problem += file + ": a record does not parse; ";
                return;
            }
            const QString id =
                QStringLiteral("%1.%2.%3.%4")
                    .arg(record->network, record->station, record->location, record->channel);
            rate = record->samprate;
            auto &list = runs[id];
            const auto *samples = static_cast<const int32_t *>(record->datasamples);
            const qint64 expected =
                list.empty()
                    ? 0
                    : list.back().start + qint64(std::llround(double(list.back().samples.size()) *
                                                              1e6 / record->samprate));
            if (list.empty() || std::abs(record->starttime - expected) > 1) {
                list.push_back({record->starttime, {}});
            }
            list.back().samples.insert(list.back().samples.end(), samples,
                                       samples + record->numsamples);
            msr_free(&record);
        }
    }
};
