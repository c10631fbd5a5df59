#pragma once

#include "support/BuiltProgram.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One run of the shakelog executable (SHAKELOG_EXECUTABLE) to its end: its exit code (-1 when
// it did not end by itself within `timeoutMs`, or crashed) and what it printed.
struct ProcessRun {
    int exitCode = -1;
    QString out;
    QString err;
};

inline ProcessRun runShakelog(
    const QStringList &arguments, int timeoutMs = 20000,
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    startBuiltProgram(process, QStringLiteral(SHAKELOG_EXECUTABLE), arguments);
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
