// How the shakelog executable starts: what it says and where it stops before any recording,
// and what it falls back on. Each run has an environment of its own: no desktop session to
// reach (its session bus is a socket that is not there), no accelerometer of the machine's (no
// Qt Sensors plugins, an empty IIO tree) and folders of its own.
#include "support/Printers.h"
#include "support/ShakelogProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class Startup : public ::testing::Test {
protected:
    Startup() {
        environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus"));
        environment.insert("QT_SENSORS_LOAD_PLUGINS", "0");
        QDir(dir.path()).mkpath("sys");
        environment.insert("SHAKELOG_IIO_SYSFS_DIR", dir.filePath("sys"));
        environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        environment.insert("XDG_DATA_HOME", dir.filePath("data"));
        environment.remove("SHAKELOG_CONFIG_DIR");
    }

    ProcessRun run(const QStringList &arguments) const {
        return runShakelog(arguments, 60000, environment);
    }

    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

// Answered from the options alone: no display, no window system, nothing read or written.
TEST_F(Startup, VersionAndMistakesNeedNoDisplay) {
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(name);
    }
    const struct {
        QStringList arguments;
        int exitCode;
        QString out, err;
    } cases[] = {
        {{"--version"}, 0, QStringLiteral("shakelog %1\n").arg(SHAKELOG_VERSION), ""},
        {{"-v"}, 0, QStringLiteral("shakelog %1\n").arg(SHAKELOG_VERSION), ""},
        {{"--broadcast", "0"},
         2,
         "",
         "shakelog: --broadcast needs a port from 1 to 65535, not '0'.\n"},
        {{"--source", "udp:"},
         2,
         "",
         "shakelog: udp: needs a port from 1 to 65535, as in udp:10552 or udp:127.0.0.1:10552.\n"},
    };
    for (const auto &c : cases) {
        const ProcessRun result = run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
    EXPECT_FALSE(QDir(dir.filePath("config")).exists());
}

TEST_F(Startup, AnAccelerometerAskedForButMissingEndsTheRun) {
    const ProcessRun result = run({"--headless", "--source", "accelerometer", "--duration", "5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        result.err.endsWith("shakelog: No accelerometer found (Qt Sensors offers none but its "
                            "dummy backend, and there is no IIO accelerometer; see "
                            "--list-sensors).\n"))
        << result.err.toStdString();
    EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
}

// Without an accelerometer the demo recording plays, and says so; the settings go to the folder
// SHAKELOG_CONFIG_DIR names.
TEST_F(Startup, WithoutAnAccelerometerTheDemoPlaysAndSettingsGoWhereTheEnvironmentSays) {
    environment.insert("SHAKELOG_CONFIG_DIR", dir.filePath("chosen"));
    const ProcessRun result = run({"--headless", "--duration", "2.5"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("No accelerometer found — playing the demo recording\n"))
        << result.err.toStdString();
    EXPECT_TRUE(result.out.contains(QRegularExpression("\n(99|100|101)hz\n")))
        << result.out.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("chosen/preferences.json")));
    EXPECT_FALSE(QDir(dir.filePath("config")).exists());
}

}  // namespace
