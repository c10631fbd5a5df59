#pragma once

#include "recording/SeedCodes.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks for. parse() handles --help and --version itself (printing and
// telling the caller to exit 0) and reports bad options as a message for standard error.
struct CommandLine {
    enum class Source { Auto, Accelerometer, Iio, Sine, Replay, Udp };

    Source source = Source::Auto;
    QString replayFile;     // with Source::Replay
    QString iioDevice;      // with Source::Iio: a name, iio:deviceN, a sysfs path; empty: the first
    QString listenAddress;  // with Source::Udp: empty for every address
    int listenPort = 0;     // with Source::Udp
    // --stream HOST:PORT or --broadcast PORT: stream this run (port 0: not asked for)
    bool streamBroadcast = false;
    QString streamHost;
    int streamPort = 0;
    QString configDirectory;         // empty: $SHAKELOG_CONFIG_DIR or the XDG config folder
    bool headless = false;           // no window; the measured rate goes to standard output
    std::optional<double> duration;  // seconds until a clean quit
    QString screenshotFile;          // write a PNG of the window after `screenshotAfter`, then quit
    double screenshotAfter = 3.0;    // seconds
    QString uploadURL;               // send one report here when the run ends
    bool earthquake = false;         // with uploadURL: the report announces an earthquake
    QString exportFile;              // write the CSV export here when the run ends
    QString exportMiniSeedFile;      // write the history as miniSEED here when the run ends
    bool listSensors = false;        // print the accelerometers found and exit
    QString recordFolder;            // record to this miniSEED archive for this run
    std::optional<SeedCodes> station;   // --station NET.STA.LOC for this run
    std::optional<int> recordKeepDays;  // --record-keep-days for this run
    QString onEvent;  // --on-event: the program (and its arguments) run at each event's end
    bool reportEvents = false;  // --report-events: each event reported to the URL server

    struct Result;
    // `arguments` includes the program name first, as QCoreApplication::arguments().
    static Result parse(const QStringList &arguments);
};

struct CommandLine::Result {
    std::optional<CommandLine> options;  // none: exit with `exitCode`
    int exitCode = 0;
    QString output;  // for stdout (help, version) or, with a nonzero code, stderr
};
