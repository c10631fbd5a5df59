#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Starts a program of this build (shakelog, shakelog-server, the writer helpers). In a cross build
// it is made for another architecture and the kernel cannot run it, so it goes through the
// emulator ctest runs the tests with (SHAKELOG_TEST_EMULATOR in tests/CMakeLists.txt, given to
// every test binary; empty in a native build).
inline void startBuiltProgram(QProcess &process, const QString &program,
                              const QStringList &arguments) {
    const QStringList emulator = QProcess::splitCommand(QStringLiteral(SHAKELOG_TEST_EMULATOR));
    if (emulator.isEmpty()) {
        process.start(program, arguments);
    } else {
        process.start(emulator.first(), emulator.mid(1) + QStringList{program} + arguments);
    }
}
