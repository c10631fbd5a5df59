#pragma once

#include "platform/Accelerometer.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

struct MSTraceList_s;
struct MSTraceSeg_s;

// A three-axis accelerometer recording in miniSEED, read whole: one file, or every file under a
// folder, searched recursively (an SDS archive DIR/YEAR/NET/STA/CHAN.D/NET.STA.LOC.CHAN.D.YEAR.DAY
// or any other layout). Files are told by their content, not their names; in a folder, files that
// are not miniSEED at all (notes, StationXML) are skipped with one log line, while a file that
// starts as miniSEED and turns into something else, or ends inside a record, is refused.
// Records with no samples to play (text, rate 0) are passed over; one that libmseed decodes
// with a warning (a Steim frame failing its integrity check) is played, and its file named once
// in the log.
//
// The records of one station (NET.STA.LOC) are used: several stations are refused with a
// message naming them, rather than one guessed at. Of its channels, three of one band and
// instrument give the device's axes by their orientation code: x is 1 (or N, or X), y is 2 (or
// E, or Y), z is Z. Where a station has several such sets, an accelerometer (instrument N) goes
// first, then the highest rate; the choice is logged.
//
// Records of a channel are merged by libmseed's trace list, in any order and from any number of
// files; where records overlap (the same file twice, an archive rewritten) each instant is taken
// once. The recording is then cut into stretches: runs of evenly spaced samples present in all
// three channels. A gap in any channel ends a stretch. Memory: the decoded samples, 4 bytes each
// for integer and float encodings, 8 for double (a day at 100 samples/s on three channels in
// Steim-2: about 104 MB).
class MiniSeedRecording {
public:
    // Where one axis's samples of a stretch are: numbers first, first + 1, ... of a merged segment.
    struct AxisSamples {
        const MSTraceSeg_s *segment = nullptr;
        int64_t first = 0;
    };
    struct Stretch {
        int64_t start = 0;  // time of sample 0, microseconds since 1970 (libmseed's hptime)
        double rate = 0;    // samples per second, within kMinRate..kMaxRate
        int64_t count = 0;  // samples, > 0
        std::array<AxisSamples, 3> axes;  // x, y, z

        int64_t end() const;  // time of the last sample
    };
    static constexpr double kMinRate = 0.001;  // samples per second
    static constexpr double kMaxRate = 10000;

    // True for a folder and for a regular file that starts with a miniSEED record: what read()
    // is for. Reads at most a few hundred bytes, and nothing but a regular file.
    static bool looksLikeMiniSeed(const QString &path);
    // The recording at `path`. On failure returns none and sets `error` to a message naming the
    // file (and the byte offset of a bad record); bytes of the file in it are escaped.
    static std::unique_ptr<MiniSeedRecording> read(const QString &path, QString *error);
    ~MiniSeedRecording();
    MiniSeedRecording(const MiniSeedRecording &) = delete;
    MiniSeedRecording &operator=(const MiniSeedRecording &) = delete;

    // In time order, not overlapping, at least one.
    const std::vector<Stretch> &stretches() const { return mStretches; }
    // Sample `index` of `stretch` in g, in the application's convention; time stamp 0.
    static Acceleration acceleration(const Stretch &stretch, int64_t index);

    const QString &station() const { return mStation; }                   // "NET.STA.LOC"
    const std::array<QString, 3> &channels() const { return mChannels; }  // of x, y and z
    // The highest rate of the stretches, samples per second.
    double rate() const;

private:
    MiniSeedRecording() = default;

    MSTraceList_s *mTraces = nullptr;  // owned: the decoded samples the stretches point into
    std::vector<Stretch> mStretches;
    QString mStation;
    std::array<QString, 3> mChannels;
};
