#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcess>

#include <arpa/inet.h>
#include <cmath>

namespace {
// 1 to 65535, else 0.
int parsePort(const QString &text) {
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : 0;
}
}  // namespace

CommandLine::Result CommandLine::parse(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shakelog: a seismograph. Reads a three-axis accelerometer, high-pass filters the "
        "samples and draws the last 300 of a 2048-sample history as three scrolling traces."));
    // Our own help and version options: Qt's also offer --help-all, which needs the
    // application object that does not exist yet when we parse.
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help and exit."));
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                           QStringLiteral("Show the version and exit."));
    const QCommandLineOption sourceOption(
        QStringLiteral("source"),
        QStringLiteral("Where samples come from: auto (a Qt Sensors accelerometer, else an IIO "
                       "accelerometer, otherwise the built-in demo recording), accelerometer (the "
                       "same, without the demo), iio (the first IIO accelerometer), iio:WHICH (the "
                       "IIO device of that name, iio:deviceN, or a sysfs directory), sine (three "
                       "test sine waves), replay:PATH (a recording played once: CSV export or "
                       "stream lines at the configured rate, or miniSEED at its own rate, told by "
                       "content; miniSEED also from a folder such as an SDS archive) or "
                       "udp:[ADDR:]PORT (another Shakelog's live stream)."),
        QStringLiteral("source"), QStringLiteral("auto"));
    const QCommandLineOption configOption(
        QStringLiteral("config-dir"),
        QStringLiteral("Folder of the settings file (default: $SHAKELOG_CONFIG_DIR, else "
                       "~/.config/shakelog)."),
        QStringLiteral("dir"));
    const QCommandLineOption headlessOption(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window; print the measured sampling rate once per second."));
    const QCommandLineOption durationOption(QStringLiteral("duration"),
                                            QStringLiteral("Quit cleanly after this many seconds."),
                                            QStringLiteral("seconds"));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Run the window (offscreen when there is no display), write a PNG of it to "
                       "this file after --after seconds, and quit."),
        QStringLiteral("file"));
    const QCommandLineOption afterOption(
        QStringLiteral("after"),
        QStringLiteral("Seconds before the screenshot is taken (default 3)."),
        QStringLiteral("seconds"));
    const QCommandLineOption streamOption(
        QStringLiteral("stream"),
        QStringLiteral("Stream every sample to HOST:PORT (an IPv4 address) for this run, "
                       "whatever the stored stream settings."),
        QStringLiteral("host:port"));
    const QCommandLineOption broadcastOption(
        QStringLiteral("broadcast"),
        QStringLiteral("Stream every sample to the broadcast address on PORT for this run."),
        QStringLiteral("port"));
    const QCommandLineOption uploadOption(
        QStringLiteral("upload"),
        QStringLiteral("When the run ends, send one report of the recorded samples to this "
                       "data-collection server address (with the position when LOCATION_SEND is "
                       "on and a fix comes within 5 s), print the outcome and exit non-zero "
                       "unless the server accepted it."),
        QStringLiteral("url"));
    const QCommandLineOption earthquakeOption(
        QStringLiteral("earthquake"),
        QStringLiteral("The --upload report says that an earthquake is being reported."));
    const QCommandLineOption exportOption(
        QStringLiteral("export-csv"),
        QStringLiteral("When the run ends, write the recorded samples as CSV lines to this file."),
        QStringLiteral("file"));
    const QCommandLineOption listSensorsOption(
        QStringLiteral("list-sensors"),
        QStringLiteral("List every accelerometer found (Qt Sensors backends and the kernel's IIO "
                       "devices, looked for in $SHAKELOG_IIO_SYSFS_DIR, else /sys/bus/iio/devices, "
                       "with their character devices in $SHAKELOG_IIO_DEV_DIR, else /dev) with "
                       "its settings, and exit."));
    const QCommandLineOption exportMiniSeedOption(
        QStringLiteral("export-mseed"),
        QStringLiteral("When the run ends, write the recorded samples as one miniSEED file of "
                       "three channels to this file (with the --station or STATION_* codes)."),
        QStringLiteral("file"));
    const QCommandLineOption recordOption(
        QStringLiteral("record"),
        QStringLiteral("Record every sample, as the source delivers it, to a miniSEED archive in "
                       "this folder for this run (SDS layout, with the station's StationXML "
                       "beside it; see docs/recording.md). Without it the RECORD setting "
                       "decides, and the window's Ctrl+R."),
        QStringLiteral("dir"));
    const QCommandLineOption stationOption(
        QStringLiteral("station"),
        QStringLiteral("The network, station and location codes recordings are filed under for "
                       "this run, as NET.STA.LOC (for example XX.TEST.00; default: the STATION_* "
                       "settings, else XX, a code from the device, 00)."),
        QStringLiteral("net.sta.loc"));
    const QCommandLineOption keepDaysOption(
        QStringLiteral("record-keep-days"),
        QStringLiteral("Delete the archive's day files older than this many days, at start and "
                       "at every change of day (0 keeps all; default: RECORD_KEEP_DAYS)."),
        QStringLiteral("days"));
    const QCommandLineOption onEventOption(
        QStringLiteral("on-event"),
        QStringLiteral("At the end of each detected earthquake event, run this program with "
                       "the event as one JSON object on its standard input. Program and arguments "
                       "come as one argument, split at spaces (double quotes keep spaces in an "
                       "argument) and run without a shell; one at a time, each killed after 30 s "
                       "(see docs/detection.md)."),
        QStringLiteral("program args"));
    const QCommandLineOption reportEventsOption(
        QStringLiteral("report-events"),
        QStringLiteral("For this run, report each detected event to the server the URL setting "
                       "names, as the REPORT_EVENTS setting does; reports not accepted are kept "
                       "and sent again later (see docs/detection.md)."));
    parser.addOptions(
        {helpOption,     versionOption,    sourceOption,  configOption,         headlessOption,
         durationOption, screenshotOption, afterOption,   streamOption,         broadcastOption,
         uploadOption,   earthquakeOption, exportOption,  exportMiniSeedOption, recordOption,
         stationOption,  keepDaysOption,   onEventOption, reportEventsOption,   listSensorsOption});

    Result result;
    if (!parser.parse(arguments)) {
        result.exitCode = 2;
        result.output = parser.errorText();
        return result;
    }
    if (parser.isSet(helpOption)) {
        // Parsed before the application object exists, so Qt cannot name the program itself.
        const QString help = parser.helpText();
        result.output = QStringLiteral("Usage: shakelog [options]") + help.mid(help.indexOf('\n'));
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.output = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                      QCoreApplication::applicationVersion());
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.exitCode = 2;
        result.output = QStringLiteral("Unexpected argument '%1'; see --help.")
                            .arg(parser.positionalArguments().first());
        return result;
    }

    CommandLine options;
    const QString source = parser.value(sourceOption);
    if (source == QLatin1String("auto")) {
        options.source = Source::Auto;
    } else if (source == QLatin1String("accelerometer")) {
        options.source = Source::Accelerometer;
    } else if (source == QLatin1String("iio")) {
        options.source = Source::Iio;
    } else if (source.startsWith(QLatin1String("iio:")) && source.size() > 4) {
        options.source = Source::Iio;
        options.iioDevice = source.mid(4);
    } else if (source == QLatin1String("sine")) {
        options.source = Source::Sine;
    } else if (source.startsWith(QLatin1String("replay:")) && source.size() > 7) {
        options.source = Source::Replay;
        options.replayFile = source.mid(7);
    } else if (source.startsWith(QLatin1String("udp:"))) {
        options.source = Source::Udp;
        const QString where = source.mid(4);
        const qsizetype colon = where.lastIndexOf(QLatin1Char(':'));
        options.listenAddress = colon < 0 ? QString() : where.left(colon);
        options.listenPort = parsePort(where.mid(colon + 1));
        if (options.listenPort <= 0) {
            result.exitCode = 2;
            result.output = QStringLiteral(
                "udp: needs a port from 1 to 65535, as in udp:10552 or "
                "udp:127.0.0.1:10552.");
            return result;
        }
    } else {
        result.exitCode = 2;
        result.output = QStringLiteral(
                            "Unknown source '%1': use auto, accelerometer, iio[:WHICH], "
                            "sine, replay:FILE or udp:[ADDR:]PORT.")
                            .arg(source);
        return result;
    }
    if (parser.isSet(streamOption) && parser.isSet(broadcastOption)) {
        result.exitCode = 2;
        result.output = QStringLiteral("--stream and --broadcast exclude each other.");
        return result;
    }
    if (parser.isSet(streamOption)) {
        const QString target = parser.value(streamOption);
        const qsizetype colon = target.lastIndexOf(QLatin1Char(':'));
        options.streamHost = target.left(colon);
        options.streamPort = colon > 0 ? parsePort(target.mid(colon + 1)) : 0;
        if (options.streamPort <= 0) {
            result.exitCode = 2;
            result.output = QStringLiteral(
                                "--stream needs HOST:PORT with a port from 1 to 65535, "
                                "not '%1'.")
                                .arg(target);
            return result;
        }
        // The stream takes IPv4 addresses only: a name would leave it aimed nowhere, every
        // sample ending in a socket error.
        in_addr address{};
        if (::inet_aton(options.streamHost.toUtf8().constData(), &address) == 0) {
            result.exitCode = 2;
            result.output =
                QStringLiteral("--stream needs an IPv4 address as HOST, not '%1'.").arg(target);
            return result;
        }
    }
    if (parser.isSet(broadcastOption)) {
        options.streamBroadcast = true;
        options.streamPort = parsePort(parser.value(broadcastOption));
        if (options.streamPort <= 0) {
            result.exitCode = 2;
            result.output = QStringLiteral("--broadcast needs a port from 1 to 65535, not '%1'.")
                                .arg(parser.value(broadcastOption));
            return result;
        }
    }
    options.configDirectory = parser.value(configOption);
    options.headless = parser.isSet(headlessOption);
    // A positive number of seconds (or 0 where `zeroAllowed`), or a message about the option.
    const auto seconds = [&parser](const QCommandLineOption &option, bool zeroAllowed,
                                   double *out) {
        bool ok = false;
        const double value = parser.value(option).toDouble(&ok);
        if (!ok || !std::isfinite(value) || value < 0 || (value == 0 && !zeroAllowed) ||
            value > 1e9) {
            return QStringLiteral("--%1 needs %2 of seconds, not '%3'.")
                .arg(option.names().first(),
                     zeroAllowed ? QStringLiteral("0 or a positive number")
                                 : QStringLiteral("a positive number"),
                     parser.value(option));
        }
        *out = value;
        return QString();
    };
    if (parser.isSet(durationOption)) {
        double value = 0;
        result.output = seconds(durationOption, false, &value);
        options.duration = value;
    }
    if (result.output.isEmpty() && parser.isSet(afterOption)) {
        // --after 0: the first frame drawn, as a start-time measurement wants it.
        result.output = seconds(afterOption, true, &options.screenshotAfter);
        if (result.output.isEmpty() && !parser.isSet(screenshotOption)) {
            result.output = QStringLiteral("--after goes with --screenshot.");
        }
    }
    if (!result.output.isEmpty()) {
        result.exitCode = 2;
        return result;
    }
    options.screenshotFile = parser.value(screenshotOption);
    if (parser.isSet(screenshotOption) && options.headless) {
        result.exitCode = 2;
        result.output = QStringLiteral("--screenshot needs the window: leave out --headless.");
        return result;
    }
    options.uploadURL = parser.value(uploadOption);
    options.earthquake = parser.isSet(earthquakeOption);
    options.exportFile = parser.value(exportOption);
    if (parser.isSet(uploadOption) && options.uploadURL.isEmpty()) {
        result.exitCode = 2;
        result.output = QStringLiteral("--upload needs the server address.");
        return result;
    }
    if (options.earthquake && options.uploadURL.isEmpty()) {
        result.exitCode = 2;
        result.output = QStringLiteral("--earthquake goes with --upload.");
        return result;
    }
    if (parser.isSet(exportOption) && options.exportFile.isEmpty()) {
        result.exitCode = 2;
        result.output = QStringLiteral("--export-csv needs a file name.");
        return result;
    }
    options.exportMiniSeedFile = parser.value(exportMiniSeedOption);
    if (parser.isSet(exportMiniSeedOption) && options.exportMiniSeedFile.isEmpty()) {
        result.exitCode = 2;
        result.output = QStringLiteral("--export-mseed needs a file name.");
        return result;
    }
    options.recordFolder = parser.value(recordOption);
    if (parser.isSet(recordOption) && options.recordFolder.isEmpty()) {
        result.exitCode = 2;
        result.output = QStringLiteral("--record needs a folder.");
        return result;
    }
    if (parser.isSet(stationOption)) {
        QString error;
        options.station = SeedCodes::parse(parser.value(stationOption), &error);
        if (!options.station) {
            result.exitCode = 2;
            result.output = QStringLiteral("--station: %1").arg(error);
            return result;
        }
    }
    if (parser.isSet(keepDaysOption)) {
        bool ok = false;
        const int days = parser.value(keepDaysOption).toInt(&ok);
        if (!ok || days < 0) {
            result.exitCode = 2;
            result.output = QStringLiteral(
                                "--record-keep-days needs a whole number of days, "
                                "0 or more, not '%1'.")
                                .arg(parser.value(keepDaysOption));
            return result;
        }
        options.recordKeepDays = days;
    }
    if (parser.isSet(onEventOption)) {
        options.onEvent = parser.value(onEventOption);
        if (QProcess::splitCommand(options.onEvent).isEmpty()) {
            result.exitCode = 2;
            result.output = QStringLiteral(
                "--on-event needs a program, as in --on-event "
                "'mosquitto_pub -t quake -s'.");
            return result;
        }
    }
    options.reportEvents = parser.isSet(reportEventsOption);
    options.listSensors = parser.isSet(listSensorsOption);
    result.options = options;
    return result;
}
