// The shakelog executable as a user or a script runs it.
#include "support/Printers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

struct ProcessRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ProcessRun runShakelog(const QStringList &arguments, int timeoutMs = 20000) {
    QProcess process;
    process.start(QStringLiteral(SHAKELOG_EXECUTABLE), arguments);
    ProcessRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

TEST(ShakelogProcess, HeadlessSineRunReportsTheConfiguredRate) {
    QTemporaryDir config;
    const ProcessRun run = runShakelog(
        {"--headless", "--source", "sine", "--duration", "3", "--config-dir", config.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3) << run.out.toStdString();
    // The first mark counts one sample and the second a partial second; then whole seconds.
    const QString last = lines.last();
    ASSERT_TRUE(last.endsWith("hz")) << last.toStdString();
    const int rate = last.chopped(2).toInt();
    EXPECT_GE(rate, 90);
    EXPECT_LE(rate, 110);
    EXPECT_TRUE(QFile::exists(QDir(config.path()).filePath("preferences.json")));
    EXPECT_TRUE(run.err.contains("User settings have been initialized"));
}

TEST(ShakelogProcess, TerminationSignalQuitsCleanly) {
    QTemporaryDir config;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(SHAKELOG_EXECUTABLE),
                  {"--headless", "--source", "sine", "--config-dir", config.path()});
    ASSERT_TRUE(process.waitForStarted());
    QByteArray output;
    for (int i = 0; i < 100 && !output.contains("starting network now"); ++i) {
        process.waitForReadyRead(100);
        output += process.readAll();
    }
    ASSERT_TRUE(output.contains("starting network now")) << output.toStdString();
    process.terminate();  // SIGTERM
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

TEST(ShakelogProcess, ABadRecordingIsReportedWithItsLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0.1,0.2,0.3,\n0.1,zero,0.3,\n");
    file.close();
    const ProcessRun run =
        runShakelog({"--headless", "--source", "replay:" + path, "--config-dir", dir.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(path + ":2: malformed line")) << run.err.toStdString();
}

TEST(ShakelogProcess, ReplayPlaysARecordingAtTheConfiguredRate) {
    QTemporaryDir dir;
    const QString path = dir.filePath("quake.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (int k = 0; k < 400; ++k) {
        file.write(QByteArray::number(k % 7 * 0.01) + ",0.0,-1.0,\n");
    }
    file.close();
    const ProcessRun run = runShakelog({"--headless", "--source", "replay:" + path, "--duration",
                                        "2.5", "--config-dir", dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("\n100hz\n") || run.out.contains("\n99hz\n") ||
                run.out.contains("\n101hz\n"))
        << run.out.toStdString();
}

TEST(ShakelogProcess, ScreenshotWritesThePictureOfTheWindow) {
    QTemporaryDir dir;
    const QString file = dir.filePath("shot.png");
    const ProcessRun run = runShakelog(
        {"--source", "sine", "--screenshot", file, "--after", "1", "--config-dir", dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QImage shot(file);
    EXPECT_EQ(shot.size(), QSize(320, 460));
}

TEST(ShakelogProcess, OneInstanceShowsAnothersLiveSignal) {
    QTemporaryDir sender, receiver;
    const int port = 20000 + int(QCoreApplication::applicationPid() % 20000);
    QProcess listening;
    listening.start(QStringLiteral(SHAKELOG_EXECUTABLE),
                    {"--headless", "--source", QStringLiteral("udp:127.0.0.1:%1").arg(port),
                     "--duration", "4", "--config-dir", receiver.path()});
    ASSERT_TRUE(listening.waitForStarted());
    QThread::msleep(500);
    const ProcessRun run = runShakelog({"--headless", "--source", "sine", "--stream",
                                        QStringLiteral("127.0.0.1:%1").arg(port), "--duration", "3",
                                        "--config-dir", sender.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_TRUE(listening.waitForFinished(10000));
    const QString out = QString::fromUtf8(listening.readAllStandardOutput());
    EXPECT_TRUE(out.contains("\n100hz\n") || out.contains("\n99hz\n") || out.contains("\n101hz\n"))
        << out.toStdString() << listening.readAllStandardError().toStdString();
}

}  // namespace
