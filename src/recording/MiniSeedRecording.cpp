#include "recording/MiniSeedRecording.h"

#include "platform/PrintableText.h"
#include "platform/SystemLog.h"
#include "recording/MiniSeedFile.h"
#include "recording/MiniSeedLog.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QStringList>

#include <libmseed.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <set>

namespace {
// Where an archive was written with wider or bogus float samples: a count beyond what a 32-bit
// digitizer writes is no acceleration, and would turn the filter to inf for the rest of the run.
constexpr double kCountLimit = 2147483648.0;

QString codes(const MSRecord &msr) {
    return printableText(QByteArray(msr.network) + '.' + QByteArray(msr.station) + '.' +
                         QByteArray(msr.location));
}

QString channelOf(const MSRecord &msr) { return printableText(QByteArray(msr.channel)); }

// A record worth reading: samples of a waveform, not text or a time mark.
bool hasSamples(const MSRecord &msr) {
    return msr.encoding != DE_ASCII && msr.samplecnt > 0 && msr.samprate != 0;
}

struct RecordDeleter {
    void operator()(MSRecord *msr) const { msr_free(&msr); }
};
using Record = std::unique_ptr<MSRecord, RecordDeleter>;

// The bytes each sample takes in the encodings whose libmseed decoders read as many samples as
// the header counts, whatever the record holds; none for Steim, whose decoders stop at the
// record's last frame, and for encodings libmseed refuses to decode.
std::optional<int> fixedSampleBytes(int8_t encoding) {
    switch (encoding) {
    case DE_ASCII: return 1;
    case DE_INT16:
    case DE_GEOSCOPE163:
    case DE_GEOSCOPE164:
    case DE_CDSN:
    case DE_SRO:
    case DE_DWWSSN: return 2;
    case DE_GEOSCOPE24: return 3;
    case DE_INT32:
    case DE_FLOAT32: return 4;
    case DE_FLOAT64: return 8;
    default: return std::nullopt;
    }
}

// Whether the samples the header counts fit in the record after its data offset: a header
// that counts more would have libmseed read past the record.
bool samplesFitRecord(const MSRecord &msr) {
    const auto bytes = fixedSampleBytes(msr.encoding);
    if (!bytes || !msr.fsdh) {
        return true;
    }
    const int64_t room = int64_t(msr.reclen) - int64_t(msr.fsdh->data_offset);
    return msr.samplecnt >= 0 && room >= 0 && msr.samplecnt <= room / *bytes;
}

// The record at `data` into `record`: its header, and its samples when `decode`. False with
// `error` set when libmseed cannot read it; what it warned of while reading it all the same
// (a Steim frame failing its integrity check) is left in `warning`.
bool parseRecord(char *data, int length, qint64 offset, const QString &path, bool decode,
                 Record *record, QString *error, QString *warning = nullptr) {
    MiniSeedLogCapture log;
    MSRecord *msr = record->release();
    int result = msr_parse(data, length, &msr, length, 0, 0);
    if (decode && result == MS_NOERROR && msr) {
        if (!samplesFitRecord(*msr)) {
            record->reset(msr);
            *error = QStringLiteral(
                         "%1: byte %2: cannot read the record: it counts %3 samples, "
                         "more than its %4 bytes hold")
                         .arg(path)
                         .arg(offset)
                         .arg(msr->samplecnt)
                         .arg(msr->reclen);
            return false;
        }
        log.take();  // the header's warnings come again with the samples
        result = msr_parse(data, length, &msr, length, 1, 0);
    }
    record->reset(msr);
    QString told = log.take();
    if (told.startsWith(QLatin1String("Error: "))) {
        told.remove(0, 7);  // said by the message around it
    }
    if (result != MS_NOERROR || !msr) {
        *error = QStringLiteral("%1: byte %2: cannot read the record: %3")
                     .arg(path)
                     .arg(offset)
                     .arg(told.isEmpty() ? QString::fromLatin1(ms_errorstr(result)) : told);
        return false;
    }
    if (warning) {
        *warning = told;
    }
    if (hasSamples(*msr) && !(msr->samprate >= MiniSeedRecording::kMinRate &&
                              msr->samprate <= MiniSeedRecording::kMaxRate)) {
        *error = QStringLiteral(
                     "%1: byte %2: %3 %4 at %5 samples/s; a rate from %6 to %7 is "
                     "needed")
                     .arg(path)
                     .arg(offset)
                     .arg(codes(*msr), channelOf(*msr))
                     .arg(msr->samprate)
                     .arg(MiniSeedRecording::kMinRate)
                     .arg(MiniSeedRecording::kMaxRate);
        return false;
    }
    return true;
}

// Checks the samples a record decoded to.
bool checkSamples(const MSRecord &msr, qint64 offset, const QString &path, QString *error) {
    const auto fail = [&](const QString &why) {
        *error = QStringLiteral("%1: byte %2: %3 %4: %5")
                     .arg(path)
                     .arg(offset)
                     .arg(codes(msr), channelOf(msr), why);
        return false;
    };
    if (msr.numsamples != msr.samplecnt || !msr.datasamples) {
        return fail(QStringLiteral("decodes to %1 of its %2 samples")
                        .arg(msr.numsamples)
                        .arg(msr.samplecnt));
    }
    if (msr.sampletype == 'i') {
        return true;
    }
    if (msr.sampletype != 'f' && msr.sampletype != 'd') {
        return fail(QStringLiteral("samples of an unknown type"));
    }
    for (int64_t i = 0; i < msr.numsamples; ++i) {
        const double value = msr.sampletype == 'f'
                                 ? double(static_cast<const float *>(msr.datasamples)[i])
                                 : static_cast<const double *>(msr.datasamples)[i];
        if (!(std::fabs(value) < kCountLimit)) {  // NaN too
            return fail(
                QStringLiteral("sample %1 is %2, not a count of micro-g").arg(i).arg(value));
        }
    }
    return true;
}

// The device axis a channel code stands for (0: x, 1: y, 2: z), or -1.
int axisOf(const QString &channel) {
    if (channel.size() != 3) {
        return -1;
    }
    switch (channel[2].unicode()) {
    case '1':
    case 'N':
    case 'X': return 0;
    case '2':
    case 'E':
    case 'Y': return 1;
    case 'Z': return 2;
    default: return -1;
    }
}

struct ChannelSet {
    QString prefix;                   // band and instrument codes
    std::array<QString, 3> channels;  // of x, y and z
    double rate = 0;                  // the highest of its records

    QString text() const {  // "HN1 HN2 HNZ"
        return QStringList(channels.begin(), channels.end()).join(QLatin1Char(' '));
    }
};

// The station's sets of three channels, best first (see the header).
std::vector<ChannelSet> channelSets(const std::map<QString, double> &rates) {
    std::map<QString, std::array<QStringList, 3>> byPrefix;
    for (const auto &[channel, rate] : rates) {
        if (const int axis = axisOf(channel); axis >= 0) {
            byPrefix[channel.left(2)][size_t(axis)] << channel;
        }
    }
    std::vector<ChannelSet> sets;
    for (const auto &[prefix, axes] : byPrefix) {
        if (std::all_of(axes.begin(), axes.end(),
                        [](const QStringList &found) { return found.size() == 1; })) {
            ChannelSet set{prefix, {axes[0][0], axes[1][0], axes[2][0]}, 0};
            for (const QString &channel : set.channels) {
                set.rate = std::max(set.rate, rates.at(channel));
            }
            sets.push_back(set);
        }
    }
    std::stable_sort(sets.begin(), sets.end(), [](const ChannelSet &a, const ChannelSet &b) {
        const bool aAccelerometer = a.prefix.endsWith(QLatin1Char('N'));
        const bool bAccelerometer = b.prefix.endsWith(QLatin1Char('N'));
        if (aAccelerometer != bAccelerometer) {
            return aAccelerometer;
        }
        return a.rate > b.rate;
    });
    return sets;
}

// Time of sample `index` of a run starting at `start` at `rate`.
int64_t sampleTime(int64_t start, double rate, int64_t index) {
    return start + std::llround(double(index) * double(HPTMODULUS) / rate);
}

// A channel's samples as one run of a merged segment.
struct Piece {
    const MSTraceSeg *segment;
    int64_t first;  // number of the piece's first sample in the segment
    int64_t count;
    int64_t start;  // its time
    int64_t end() const { return sampleTime(start, segment->samprate, count - 1); }
};

// A channel's segments cut where they overlap, so that every instant is taken once.
std::vector<Piece> coverage(std::vector<const MSTraceSeg *> segments) {
    std::sort(segments.begin(), segments.end(), [](const MSTraceSeg *a, const MSTraceSeg *b) {
        return a->starttime != b->starttime ? a->starttime < b->starttime
                                            : a->numsamples > b->numsamples;
    });
    std::vector<Piece> pieces;
    int64_t covered = std::numeric_limits<int64_t>::min();  // time of the last sample taken
    for (const MSTraceSeg *segment : segments) {
        if (segment->numsamples <= 0) {
            continue;
        }
        const double period = double(HPTMODULUS) / segment->samprate;
        int64_t skip = 0;
        if (!pieces.empty() && double(segment->starttime) <= double(covered) + period / 2) {
            skip = int64_t(std::floor(double(covered - segment->starttime) / period + 0.5)) + 1;
        }
        if (skip >= segment->numsamples) {
            continue;
        }
        Piece piece{segment, skip, segment->numsamples - skip,
                    sampleTime(segment->starttime, segment->samprate, skip)};
        covered = piece.end();
        pieces.push_back(piece);
    }
    return pieces;
}

QString timeText(int64_t time) {
    char text[64] = {};
    ms_hptime2isotimestr(time, text, 1);
    return QString::fromLatin1(text);
}

// Runs of samples that all three channels hold, cut where any one has a gap. False with
// `error` set where the channels' rates differ.
bool intersect(const std::array<std::vector<Piece>, 3> &axes, const QString &what,
               std::vector<MiniSeedRecording::Stretch> *stretches, QString *error) {
    std::array<size_t, 3> next = {0, 0, 0};
    while (next[0] < axes[0].size() && next[1] < axes[1].size() && next[2] < axes[2].size()) {
        const std::array<const Piece *, 3> piece = {&axes[0][next[0]], &axes[1][next[1]],
                                                    &axes[2][next[2]]};
        const double rate = piece[2]->segment->samprate;
        const double period = double(HPTMODULUS) / rate;
        int64_t start = piece[0]->start, end = piece[0]->end();
        for (const Piece *p : piece) {
            start = std::max(start, p->start);
            end = std::min(end, p->end());
        }
        if (double(end) >= double(start) - period / 2) {
            for (const Piece *p : piece) {
                if (std::fabs(p->segment->samprate - rate) > rate * 1e-4) {
                    *error = QStringLiteral(
                                 "%1: the channels' rates differ at %2 (%3 and %4 "
                                 "samples/s)")
                                 .arg(what, timeText(start))
                                 .arg(p->segment->samprate)
                                 .arg(rate);
                    return false;
                }
            }
            if (!stretches->empty() &&
                double(start) <= double(stretches->back().end()) + period / 2) {
                start = stretches->back().end() + std::llround(period);  // each instant once
            }
            MiniSeedRecording::Stretch stretch;
            stretch.rate = rate;
            stretch.count = std::llround(double(end - start) / period) + 1;
            for (size_t a = 0; a < 3; ++a) {
                const int64_t skip =
                    std::max<int64_t>(0, std::llround(double(start - piece[a]->start) / period));
                stretch.axes[a] = {piece[a]->segment, piece[a]->first + skip};
                stretch.count = std::min(stretch.count, piece[a]->count - skip);
            }
            stretch.start =
                sampleTime(piece[2]->start, rate, stretch.axes[2].first - piece[2]->first);
            if (stretch.count > 0) {
                stretches->push_back(stretch);
            }
        }
        // The piece that ends first is done with; the others may meet its successor.
        const int64_t firstEnd = std::min({piece[0]->end(), piece[1]->end(), piece[2]->end()});
        for (size_t a = 0; a < 3; ++a) {
            if (piece[a]->end() == firstEnd) {
                ++next[a];
            }
        }
    }
    return true;
}

// What the headers of a recording's records say, before any sample is decoded.
struct Survey {
    std::map<QString, std::map<QString, double>> stations;  // station → channel → highest rate
    std::set<QString> filesWithSamples;                     // the files with samples to play
};

// The headers of every record of `files`, found in the folder `path` or being `path` itself.
std::optional<Survey> surveyHeaders(const QString &path, const QStringList &files, bool folder,
                                    QString *error) {
    Survey survey;
    QStringList skipped;
    Record record;
    for (const QString &file : files) {
        const MiniSeedFile::Scan scan = MiniSeedFile::forEachRecord(
            file,
            [&](char *data, int length, qint64 offset) {
                if (!parseRecord(data, length, offset, file, false, &record, error)) {
                    return false;
                }
                if (hasSamples(*record)) {
                    double &rate = survey.stations[codes(*record)][channelOf(*record)];
                    rate = std::max(rate, record->samprate);
                    survey.filesWithSamples.insert(file);
                }
                return true;
            },
            error);
        if (scan == MiniSeedFile::Scan::NotMiniSeed && folder) {
            skipped << file;
        } else if (scan != MiniSeedFile::Scan::Read) {
            return std::nullopt;
        }
    }
    error->clear();
    if (!skipped.isEmpty()) {
        SystemLog::log(QStringLiteral("%1: skipped %2 file(s) that are not miniSEED, such as %3")
                           .arg(path)
                           .arg(skipped.size())
                           .arg(skipped.first()));
    }
    if (survey.stations.empty()) {
        *error = QStringLiteral("%1: no miniSEED samples to play").arg(path);
        return std::nullopt;
    }
    return survey;
}

// The channels to play, of the one station surveyed.
std::optional<ChannelSet> chooseChannels(const QString &path, const Survey &survey,
                                         QString *error) {
    QStringList names;
    for (const auto &station : survey.stations) {
        names << station.first;
    }
    if (names.size() > 1) {
        *error = QStringLiteral(
                     "%1: records of several stations (%2); replay a file or folder of one "
                     "station")
                     .arg(path, names.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    const std::map<QString, double> &rates = survey.stations.begin()->second;
    const std::vector<ChannelSet> sets = channelSets(rates);
    if (sets.empty()) {
        QStringList found;
        for (const auto &channel : rates) {
            found << channel.first;
        }
        *error = QStringLiteral(
                     "%1: %2 has no three channels for the x, y and z axes (orientation codes "
                     "1, 2 and Z, or N, E and Z, or X, Y and Z, of one band and instrument); "
                     "found %3")
                     .arg(path, names.first(), found.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    if (sets.size() > 1) {
        QStringList others;
        for (size_t k = 1; k < sets.size(); ++k) {
            others << sets[k].text();
        }
        SystemLog::log(
            QStringLiteral("%1: playing %2 of %3; also found %4")
                .arg(path, sets.front().text(), names.first(), others.join(QStringLiteral(", "))));
    }
    return sets.front();
}

// The samples of `chosen`'s channels of `station` in `file`, added to `traces`.
bool decodeFile(const QString &file, const QString &station, const ChannelSet &chosen,
                MSTraceList *traces, QString *error) {
    Record record;
    bool warned = false;
    const MiniSeedFile::Scan scan = MiniSeedFile::forEachRecord(
        file,
        [&](char *data, int length, qint64 offset) {
            if (!parseRecord(data, length, offset, file, false, &record, error)) {
                return false;
            }
            const QString channel = channelOf(*record);
            if (!hasSamples(*record) || codes(*record) != station || axisOf(channel) < 0 ||
                chosen.channels[size_t(axisOf(channel))] != channel) {
                return true;
            }
            QString warning;
            if (!parseRecord(data, length, offset, file, true, &record, error, &warning) ||
                !checkSamples(*record, offset, file, error)) {
                return false;
            }
            // A record libmseed doubts (a Steim frame failing its integrity check) is played
            // all the same: one doubtful record must not keep a whole archive from playing.
            // The log names the file once, not each such record.
            if (!warning.isEmpty() && !warned) {
                SystemLog::log(QStringLiteral("%1: byte %2: %3; played as decoded")
                                   .arg(file)
                                   .arg(offset)
                                   .arg(warning));
                warned = true;
            }
            MiniSeedLogCapture log;
            if (!mstl_addmsr(traces, record.get(), 0, 1, -1.0, -1.0)) {
                *error = QStringLiteral("%1: byte %2: cannot merge the record: %3")
                             .arg(file)
                             .arg(offset)
                             .arg(log.take());
                return false;
            }
            return true;
        },
        error);
    return scan == MiniSeedFile::Scan::Read;  // else the file changed since it was surveyed
}

struct TraceListDeleter {
    void operator()(MSTraceList *list) const { mstl_free(&list, 0); }
};
}  // namespace

int64_t MiniSeedRecording::Stretch::end() const { return sampleTime(start, rate, count - 1); }

bool MiniSeedRecording::looksLikeMiniSeed(const QString &path) {
    return QFileInfo(path).isDir() || MiniSeedFile::startsWithRecord(path);
}

std::unique_ptr<MiniSeedRecording> MiniSeedRecording::read(const QString &path, QString *error) {
    QStringList files;
    const bool folder = QFileInfo(path).isDir();
    if (folder) {
        QDirIterator found(path, QDir::Files, QDirIterator::Subdirectories);
        while (found.hasNext()) {
            files << found.next();
        }
        files.sort();  // a stable order, whatever the file system's
    } else {
        files << path;
    }
    const std::optional<Survey> survey = surveyHeaders(path, files, folder, error);
    if (!survey) {
        return nullptr;
    }
    const std::optional<ChannelSet> chosen = chooseChannels(path, *survey, error);
    if (!chosen) {
        return nullptr;
    }
    const QString station = survey->stations.begin()->first;
    std::unique_ptr<MSTraceList, TraceListDeleter> traces(mstl_init(nullptr));
    for (const QString &file : files) {
        if (survey->filesWithSamples.count(file) &&
            !decodeFile(file, station, *chosen, traces.get(), error)) {
            return nullptr;
        }
    }

    std::array<std::vector<Piece>, 3> axes;
    for (size_t a = 0; a < 3; ++a) {
        std::vector<const MSTraceSeg *> segments;
        for (const MSTraceID *id = traces->traces; id; id = id->next) {
            if (QString::fromLatin1(id->channel) == chosen->channels[a]) {
                for (const MSTraceSeg *segment = id->first; segment; segment = segment->next) {
                    segments.push_back(segment);
                }
            }
        }
        axes[a] = coverage(std::move(segments));
    }
    auto recording = std::unique_ptr<MiniSeedRecording>(new MiniSeedRecording);
    recording->mStation = station;
    recording->mChannels = chosen->channels;
    const QString what = QStringLiteral("%1: %2 %3").arg(path, station, chosen->text());
    if (!intersect(axes, what, &recording->mStretches, error)) {
        return nullptr;
    }
    if (recording->mStretches.empty()) {
        *error = QStringLiteral("%1 never recorded at the same time").arg(what);
        return nullptr;
    }
    recording->mTraces = traces.release();
    return recording;
}

MiniSeedRecording::~MiniSeedRecording() {
    if (mTraces) {
        mstl_free(&mTraces, 0);
    }
}

double MiniSeedRecording::rate() const {
    double highest = 0;
    for (const Stretch &stretch : mStretches) {
        highest = std::max(highest, stretch.rate);
    }
    return highest;
}

Acceleration MiniSeedRecording::acceleration(const Stretch &stretch, int64_t index) {
    std::array<double, 3> counts{};
    for (size_t a = 0; a < 3; ++a) {
        const MSTraceSeg *segment = stretch.axes[a].segment;
        const int64_t at = stretch.axes[a].first + index;
        switch (segment->sampletype) {
        case 'i': counts[a] = static_cast<const int32_t *>(segment->datasamples)[at]; break;
        case 'f': counts[a] = static_cast<const float *>(segment->datasamples)[at]; break;
        case 'd': counts[a] = static_cast<const double *>(segment->datasamples)[at]; break;
        default: break;  // refused when read
        }
    }
    // The samples are counts of micro-g in the seismological convention, where up is positive
    // (a device lying face up records +1 000 000 on Z); the application's is the opposite
    // (face up reads z = -1 g), on every axis.
    return {-counts[0] / 1e6, -counts[1] / 1e6, -counts[2] / 1e6, 0.0};
}
