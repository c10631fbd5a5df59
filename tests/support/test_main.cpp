#include "platform/LocationManager.h"
#include "platform/UrlOpener.h"
#include "support/SilentPositionSource.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
// Before every test: nothing leaves the machine by accident. URLs are not handed to the
// desktop (no browser, no mail program) and positions come from a source that has none (no
// location service that might look up networks); tests that need either install their own.
class NothingLeavesTheMachine : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override {
        UrlOpener::setHandler([](const QUrl &) { return false; });
        LocationManager::setSourceFactory(
            [](QObject *parent) { return new SilentPositionSource(parent); });
    }
};
}  // namespace

// Every test binary runs inside a QApplication (offscreen), with XDG folders in a private
// temporary folder so that no test touches the user's settings.
int main(int argc, char **argv) {
    // Nor the user's desktop services (keyring, screen saver) on their session bus: only the
    // private bus the keyring test starts for itself. Without an address Qt would look in
    // XDG_RUNTIME_DIR, which is ours below.
    if (qEnvironmentVariable("SHAKELOG_KEYRING_TEST") != QLatin1String("1")) {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", QDir(runtime.path()).filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", QDir(runtime.path()).filePath("data").toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new NothingLeavesTheMachine);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
