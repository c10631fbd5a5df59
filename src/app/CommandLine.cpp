#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cmath>

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
        QStringLiteral("Where samples come from: auto (the accelerometer when one is found, "
                       "otherwise the built-in demo recording), accelerometer, sine (three test "
                       "sine waves) or replay:FILE (a recording of CSV export or stream lines)."),
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
    parser.addOptions(
        {helpOption, versionOption, sourceOption, configOption, headlessOption, durationOption});

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
    } else if (source == QLatin1String("sine")) {
        options.source = Source::Sine;
    } else if (source.startsWith(QLatin1String("replay:")) && source.size() > 7) {
        options.source = Source::Replay;
        options.replayFile = source.mid(7);
    } else {
        result.exitCode = 2;
        result.output = QStringLiteral(
                            "Unknown source '%1': use auto, accelerometer, sine or "
                            "replay:FILE.")
                            .arg(source);
        return result;
    }
    options.configDirectory = parser.value(configOption);
    options.headless = parser.isSet(headlessOption);
    if (parser.isSet(durationOption)) {
        bool ok = false;
        const double seconds = parser.value(durationOption).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 1e9) {
            result.exitCode = 2;
            result.output = QStringLiteral(
                                "--duration needs a positive number of seconds, not "
                                "'%1'.")
                                .arg(parser.value(durationOption));
            return result;
        }
        options.duration = seconds;
    }
    result.options = options;
    return result;
}
