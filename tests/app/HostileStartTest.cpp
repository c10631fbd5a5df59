// The shakelog executable started the way services, shell pipelines and scripts start it: its
// standard streams closed, its output a pipe nobody reads, signals at awkward moments, settings
// and durations at their extremes. Whatever happens, the run keeps its results.
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "support/BuiltProgram.h"
#include "support/Printers.h"
#include "support/ScriptedHttpServer.h"
#include "support/TempConfig.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <csignal>
#include <functional>

namespace {

class HostileStart : public ::testing::Test {
protected:
    HostileStart() {
        using namespace SettingsKeys;
        UserPref::setBoolean(HAS_INITIALIZED_1_2, true);
        UserPref::setInt(SCAN_RATE, 100);
        UserPref::setBoolean(LOCATION_SEND, false);
    }

    // Starts a headless sine-wave run with `more` options; `inChild` runs in the child just
    // before it becomes shakelog.
    void start(const QStringList &more, const std::function<void()> &inChild = {}) {
        if (inChild) {
            process.setChildProcessModifier(inChild);
        }
        startBuiltProgram(
            process, QStringLiteral(SHAKELOG_EXECUTABLE),
            QStringList{"--headless", "--source", "sine", "--config-dir", config.directory()} +
                more);
        ASSERT_TRUE(process.waitForStarted());
    }

    // Lines in the export file; 0 when there is none.
    qsizetype exportedLines() const {
        QFile file(csv);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    }

    // Reads standard output until `text` came `times` times (whether it did), or the run ended,
    // or a generous deadline passed.
    bool waitForOutput(const QByteArray &text, int times) {
        const QDeadlineTimer deadline(60000);
        while (output.count(text) < times && process.state() != QProcess::NotRunning &&
               !deadline.hasExpired()) {
            process.waitForReadyRead(100);
            output += process.readAllStandardOutput();
        }
        output += process.readAllStandardOutput();
        return output.count(text) >= times;
    }

    // Ends a run that is still going, and whether it ended with status 0.
    bool terminate() {
        process.terminate();
        return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    TempConfig config;
    const QString csv = QDir(config.directory()).filePath("samples.csv");
    QProcess process;
    QByteArray output;
};

// As some service managers start a program: no standard output, no standard error. What the run
// logs must go nowhere, not end it.
TEST_F(HostileStart, WithoutStandardOutputAndErrorARunRecordsItsDuration) {
    start({"--duration", "1", "--export-csv", csv}, [] {
        ::close(1);
        ::close(2);
    });
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_GT(exportedLines(), 50);  // about 100 samples in the second
}

// `... | head -n 2`: the reader has gone, the export is still written whole.
TEST_F(HostileStart, OutputToAPipeNobodyReadsKeepsTheExport) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    const int writeEnd = ends[1];
    start({"--duration", "2", "--export-csv", csv}, [writeEnd] { ::dup2(writeEnd, 1); });
    ::close(writeEnd);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_GT(exportedLines(), 100);
}

// A termination signal while the report waits for a server that never answers: the report is
// given up at once and the run says, by its status, that it was not sent.
TEST_F(HostileStart, ASignalDuringTheReportEndsTheRunUnsent) {
    for (const int signal : {SIGTERM, SIGINT}) {
        ScriptedHttpServer silent({ScriptedHttpServer::hold()});
        start({"--duration", "1", "--upload", QString::fromUtf8(silent.url("/report"))});
        const QDeadlineTimer deadline(60000);
        while (!silent.holding() && !deadline.hasExpired()) {
            QThread::msleep(20);
        }
        ASSERT_TRUE(silent.holding()) << signal;
        ::kill(pid_t(process.processId()), signal);
        EXPECT_TRUE(process.waitForFinished(20000)) << signal;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit)
            << signal << process.readAllStandardError().toStdString();
        EXPECT_NE(process.exitCode(), 0);
        EXPECT_FALSE(process.readAllStandardOutput().contains("Report accepted"));
        silent.release();
        process.kill();
        process.waitForFinished();
    }
}

// Long recordings are real: durations beyond what a timer of milliseconds in an int holds (24.8
// and 49.7 days) are not cut short.
TEST_F(HostileStart, ADurationOfWeeksIsNotCutShort) {
    for (const char *seconds : {"2147484", "4294968"}) {
        output.clear();
        start({"--duration", seconds});
        // Three marks of the measured rate: it has run for more than two seconds.
        EXPECT_TRUE(waitForOutput("hz\n", 3)) << seconds << output.toStdString();
        EXPECT_EQ(process.state(), QProcess::Running) << seconds;
        EXPECT_TRUE(terminate()) << seconds;
    }
}

// A hand-edited rate far beyond any sensor: the event loop still gets its turn, and the run
// ends when its duration says.
TEST_F(HostileStart, AHugeScanRateLeavesTheRunResponsive) {
    using namespace SettingsKeys;
    UserPref::setInt(SCAN_RATE, 2147483647);
    UserPref::setBoolean(FILTER, true);  // the defaults: every sample filtered and drawn
    UserPref::setBoolean(REAL_TIME, true);
    start({"--duration", "3"});  // several seconds: a wake of millions of samples is certain
    EXPECT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    process.kill();
}

}  // namespace
