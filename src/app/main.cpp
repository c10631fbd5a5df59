#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/DetectionControl.h"
#include "app/EventReporter.h"
#include "app/RecordingControl.h"
#include "app/SensorList.h"
#include "core/ReplaySource.h"
#include "platform/QtSensorsAccelerometer.h"
#include "platform/SystemLog.h"
#include "platform/TerminationSignals.h"
#include "platform/iio/IioAccelerometer.h"
#include "prefs/PreferenceStore.h"
#include "prefs/UserPref.h"
#include "recording/MiniSeedExport.h"
#include "recording/MiniSeedSource.h"
#include "sharing/HeadlessReport.h"
#include "sharing/Outbox.h"
#include "sharing/ShareText.h"
#include "stream/UdpReceiveSource.h"
#include "ui/GraphView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMainWindow>
#include <QTimer>

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

namespace {
const QString kDemoRecording = QStringLiteral(":/demo/demo.csv");
const QString kNoAccelerometer =
    QStringLiteral("No accelerometer found — playing the demo recording");

void printTo(FILE *stream, const QString &text) {
    QByteArray bytes = text.toUtf8();
    if (!bytes.endsWith('\n')) {
        bytes += '\n';
    }
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Started with standard input, output or error closed (as some service managers do), the next
// descriptor opened would take that number, and every log line or printed result would go into
// whatever it is (the termination signals' socket, a network socket, the export file). Each
// closed one is taken by /dev/null first.
void keepStandardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int opened = ::open("/dev/null", O_RDWR);
            if (opened > 2) {
                ::close(opened);  // cannot happen: the lowest free number is the one closed
            }
        }
    }
}

// Calls `action` (in `context`) `seconds` from now. Qt's timers count milliseconds in an int,
// 24.8 days at most, and a recording may well last longer: the wait is made of waits of at
// most a day, each measured against one monotonic deadline.
void callAfter(double seconds, QObject *context, const std::function<void()> &action) {
    static constexpr qint64 kLongestWaitMs = 24 * 3600 * 1000;
    const QDeadlineTimer deadline(qint64(seconds * 1000.0), Qt::PreciseTimer);
    auto *timer = new QTimer(context);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    const auto wait = [timer, deadline] {
        timer->start(int(std::clamp<qint64>(deadline.remainingTime(), 0, kLongestWaitMs)));
    };
    QObject::connect(timer, &QTimer::timeout, context, [wait, deadline, action] {
        if (deadline.hasExpired()) {
            action();
        } else {
            wait();
        }
    });
    wait();
}

// The accelerometer the options ask for; none for the sine-wave source. On failure returns
// none and sets `error`.
std::unique_ptr<QObject> makeSource(const CommandLine &options, QString *note, QString *error) {
    switch (options.source) {
    case CommandLine::Source::Sine: return nullptr;
    case CommandLine::Source::Replay:
        // Told by content, not name: an archive's day files have no extension.
        if (MiniSeedRecording::looksLikeMiniSeed(options.replayFile)) {
            return MiniSeedSource::open(options.replayFile, error);
        }
        return ReplaySource::open(options.replayFile, false, error);
    case CommandLine::Source::Udp:
        return UdpReceiveSource::listen(options.listenAddress, options.listenPort, error);
    case CommandLine::Source::Iio: return IioAccelerometer::open(options.iioDevice, error);
    case CommandLine::Source::Accelerometer:
    case CommandLine::Source::Auto: {
        const QByteArray identifier = QtSensorsAccelerometer::findAccelerometer();
        if (!identifier.isEmpty()) {
            return std::make_unique<QtSensorsAccelerometer>(identifier);
        }
        QString iioError;
        if (!IioDevice::findAccelerometers().isEmpty()) {
            if (auto iio = IioAccelerometer::open(QString(), &iioError)) {
                return iio;
            }
            SystemLog::log(iioError);
        }
        if (options.source == CommandLine::Source::Accelerometer) {
            *error = iioError.isEmpty() ? QStringLiteral(
                                              "No accelerometer found (Qt Sensors offers none "
                                              "but its dummy backend, and there is no IIO "
                                              "accelerometer; see --list-sensors).")
                                        : iioError;
            return nullptr;
        }
        *note = kNoAccelerometer;
        return ReplaySource::open(kDemoRecording, true, error);
    }
    }
    return nullptr;
}
// Event reports of the last moments have a while to reach the server; one not answered by then
// is kept in the outbox for the next start. A termination signal ends the wait.
void finishEventReports(EventReporter &reports, const TerminationSignals &terminationSignals) {
    reports.finish();
    const Outbox *outbox = reports.outbox();
    if (!outbox || outbox->underWay() == 0) {
        return;
    }
    QEventLoop loop;
    const auto quitWhenAnswered = [&] {
        if (outbox->underWay() == 0) {
            loop.quit();
        }
    };
    QObject::connect(outbox, &Outbox::delivered, &loop, quitWhenAnswered);
    QObject::connect(outbox, &Outbox::kept, &loop, quitWhenAnswered);
    QObject::connect(outbox, &Outbox::dropped, &loop, quitWhenAnswered);
    QObject::connect(&terminationSignals, &TerminationSignals::received, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
}

// What a run leaves behind when it has ended: the export file and the report, as asked. The
// exit status turns non-zero when either could not be done.
// A termination signal meanwhile gives up the report: it counts as not sent.
int finishRun(AppDelegate &delegate, const TerminationSignals &terminationSignals,
              const CommandLine &options, int status) {
    // An event still running is told and logged, and the --on-event program has its time.
    delegate.detection->finish();
    finishEventReports(*delegate.eventReports, terminationSignals);
    const SampleHistory &history = delegate.graphView->history();
    if (const Recorder *recorder = delegate.recording->recorder();
        recorder && recorder->hasFailed()) {
        printTo(stderr, QStringLiteral("shakelog: recording stopped: %1").arg(recorder->failure()));
        status = status ? status : 1;
    }
    if (!options.exportFile.isEmpty()) {
        QString error;
        if (!ShareText::writeCSV(history, options.exportFile, &error)) {
            printTo(stderr,
                    QStringLiteral("shakelog: cannot write %1: %2").arg(options.exportFile, error));
            status = status ? status : 1;
        }
    }
    if (!options.exportMiniSeedFile.isEmpty()) {
        QString error;
        const SeedCodes codes = options.station ? *options.station : SeedCodes::fromSettings();
        if (!MiniSeedExport::write(history, codes, options.exportMiniSeedFile, &error)) {
            printTo(stderr, QStringLiteral("shakelog: cannot write %1: %2")
                                .arg(options.exportMiniSeedFile, error));
            status = status ? status : 1;
        }
    }
    if (!options.uploadURL.isEmpty()) {
        HeadlessReport report(options.uploadURL, options.earthquake, history);
        QEventLoop loop;
        bool accepted = false;
        QObject::connect(&report, &HeadlessReport::finished,
                         [&](bool reportAccepted, const QString &outcome) {
                             printTo(stdout, outcome);
                             accepted = reportAccepted;
                             loop.quit();
                         });
        // The application's loop has returned, so QCoreApplication::quit() would do nothing.
        QObject::connect(&terminationSignals, &TerminationSignals::received, &report, [&report] {
            printTo(stderr, QStringLiteral("shakelog: interrupted; the report was not sent"));
            report.cancel();
        });
        report.start();
        loop.exec();
        status = accepted || status ? status : 1;
    }
    return status;
}

}  // namespace

int main(int argc, char *argv[]) {
    keepStandardDescriptorsOpen();
    // A reader that went away (`shakelog ... | head -n 2`) must not end the run before its
    // export and report: what is printed then fails with EPIPE and is lost, nothing else. A
    // handler that does nothing, unlike an ignored signal, is not passed on to programs started
    // from here.
    struct sigaction onBrokenPipe {};
    onBrokenPipe.sa_handler = [](int) {};
    sigemptyset(&onBrokenPipe.sa_mask);
    sigaction(SIGPIPE, &onBrokenPipe, nullptr);
    // Before any thread: the HTTP client's transport needs it once per process.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QCoreApplication::setApplicationName(QStringLiteral("shakelog"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SHAKELOG_VERSION));
    // Options first: --help, --version and mistakes need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const CommandLine::Result parsed = CommandLine::parse(arguments);
    if (!parsed.options) {
        if (parsed.exitCode == 0) {
            printTo(stdout, parsed.output);
        } else {
            printTo(stderr, QStringLiteral("shakelog: %1").arg(parsed.output));
        }
        return parsed.exitCode;
    }
    const CommandLine &options = *parsed.options;
    if (options.listSensors) {
        QCoreApplication app(argc, argv);  // Qt Sensors loads its backends through it
        printTo(stdout, describeAccelerometers());
        return 0;
    }
    if (options.headless ||
        (!options.screenshotFile.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY") &&
         qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))) {
        // No display needed: render offscreen unless the caller chose a platform.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    } else if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
               qEnvironmentVariableIsEmpty("DISPLAY") &&
               qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        printTo(stderr, QStringLiteral("shakelog: no display found; run with --headless to "
                                       "record without a window."));
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Shakelog"));
    // The installed desktop entry's name: Wayland compositors find the window's icon through it.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.shakelog.Shakelog"));

    UserPref::useDirectory(PreferenceStore::defaultDirectory(options.configDirectory));

    QString note;
    QString error;
    std::unique_ptr<QObject> source = makeSource(options, &note, &error);
    if (!source && options.source != CommandLine::Source::Sine && error.isEmpty()) {
        error = QStringLiteral("The source could not be opened.");
    }
    if (!error.isEmpty()) {
        printTo(stderr, QStringLiteral("shakelog: %1").arg(error));
        return 1;
    }
    auto *accelerometer = dynamic_cast<Accelerometer *>(source.get());
    if (auto *replay = qobject_cast<ReplaySource *>(source.get())) {
        QObject::connect(replay, &ReplaySource::finished, [replay] {
            SystemLog::log(QStringLiteral("Finished playing the %1").arg(replay->description()));
        });
    }
    if (auto *replay = qobject_cast<MiniSeedSource *>(source.get())) {
        QObject::connect(replay, &MiniSeedSource::finished, [replay] {
            SystemLog::log(QStringLiteral("Finished playing the %1").arg(replay->description()));
        });
    }

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &app,
                     &QCoreApplication::quit);
    AppDelegate delegate(accelerometer, !options.headless);
    if (options.streamPort > 0) {
        delegate.setStreamOverride(
            {options.streamBroadcast, options.streamHost, options.streamPort});
    }
    if (!note.isEmpty()) {
        SystemLog::log(note);
        delegate.setSourceNote(note);
    }
    if (options.headless) {
        QObject::connect(delegate.graphView, &GraphView::samplingRateMeasured, [](int samples) {
            printTo(stdout, SampleHistory::samplingRateText(samples));
        });
        QObject::connect(delegate.detection, &DetectionControl::eventStarted,
                         [](const Event &event) { printTo(stdout, event.startLine()); });
        QObject::connect(delegate.detection, &DetectionControl::eventEnded,
                         [](const Event &event) { printTo(stdout, event.endLine()); });
    }
    if (!options.onEvent.isEmpty()) {
        delegate.detection->setProgram(std::make_unique<EventProgram>(options.onEvent));
    }
    if (options.reportEvents) {
        delegate.eventReports->setOnForThisRun();
    }
    if (options.duration) {
        callAfter(*options.duration, &app, &QCoreApplication::quit);
    }

    if (!options.screenshotFile.isEmpty()) {
        callAfter(options.screenshotAfter, &app, [&delegate, &options] {
            const QString file = options.screenshotFile;
            if (!delegate.window->grab().save(file, "PNG")) {
                printTo(stderr,
                        QStringLiteral("shakelog: cannot write the screenshot %1").arg(file));
                QCoreApplication::exit(1);
                return;
            }
            QCoreApplication::quit();
        });
    }

    delegate.applicationDidFinishLaunching();
    // After the launch has written the first-run settings: recording reads its own.
    delegate.recording->setRunOverride(options.recordFolder, options.station,
                                       options.recordKeepDays);
    // A run asked to record cannot go on without it; a window whose remembered choice fails
    // (its folder gone) shows "REC ERROR" and goes on.
    if (!delegate.recording->startIfAsked(delegate.usableScanRate(), &error) &&
        (options.headless || !options.recordFolder.isEmpty())) {
        printTo(stderr, QStringLiteral("shakelog: %1").arg(error));
        return 1;
    }
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &delegate,
                     [&delegate](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive) {
                             delegate.applicationDidBecomeActive();
                         }
                     });
    // A phone's application is active once launched. Offscreen, headless or started without
    // focus, a desktop may never report it: activate when the event loop starts all the same.
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidBecomeActive(); });
    if (options.source == CommandLine::Source::Sine) {
        delegate.startTimer();
    }
    const int status = app.exec();
    return finishRun(delegate, terminationSignals, options, status);
}
