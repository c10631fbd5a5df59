// The live stream as the application drives it: settings, activation, the road of a sample.
#include "app/AppDelegate.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "stream/UdpReceiveSource.h"
#include "support/FakeAccelerometer.h"
#include "support/LogCapture.h"
#include "support/LoopbackReceiver.h"
#include "support/Printers.h"
#include "support/TempConfig.h"
#include "ui/GraphView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

using namespace SettingsKeys;

// Launched and activated, aimed at a loopback receiver, stream switched on the way the sharing
// panel does it (setting, then rebinding).
class StreamTest : public ::testing::Test {
protected:
    StreamTest() {
        UserPref::setString(IP, "127.0.0.1");
        UserPref::setInt(PORT, receiver.port());
        UserPref::setString(MY_DEVICE_ID, "1");
        UserPref::setBoolean(HAS_INITIALIZED_1_2, true);  // keep IP and PORT as set above
        delegate.applicationDidFinishLaunching();
        delegate.applicationDidBecomeActive();
        setNetwork(true);
    }
    // As the sharing panel does: store the switch, then rebind.
    void setNetwork(bool on) {
        UserPref::setBoolean(NETWORK, on);
        delegate.bindSocketMode();
    }
    void sample(double x, double t) { accelerometer.deliver(x, 0.0, 0.0, t); }

    TempConfig config;
    LogCapture log;
    LoopbackReceiver receiver;
    FakeAccelerometer accelerometer;
    AppDelegate delegate{&accelerometer, false};
};

TEST_F(StreamTest, EverySampleLeavesInOrderAsOneDatagram) {
    EXPECT_EQ(delegate.mLabelNetwork->text(), "NETWORK: ON");
    delegate.graphView->setFilteringEnabled(false);
    UserPref::setString(MY_DEVICE_ID, "lab");
    for (int k = 0; k < 300; ++k) {
        sample(k / 1000.0, 100.0 + k * 0.01);
    }
    const QList<QByteArray> datagrams = receiver.drain(300);
    ASSERT_EQ(datagrams.size(), 300);
    EXPECT_EQ(datagrams[0], "lab,100.000,0.000,0.000,0.000\n");
    EXPECT_EQ(datagrams[1], "lab,100.010,0.001,0.000,0.000\n");
    EXPECT_EQ(datagrams[150], "lab,101.500,0.150,0.000,0.000\n");
    EXPECT_EQ(datagrams[299], "lab,102.990,0.299,0.000,0.000\n");
    for (int k = 1; k < 300; ++k) {  // in order: each a hundredth of a second after the last
        EXPECT_NEAR(
            datagrams[k].split(',')[1].toDouble() - datagrams[k - 1].split(',')[1].toDouble(), 0.01,
            1e-9)
            << k;
    }
}

TEST_F(StreamTest, ADeviceNameSavedMidStreamNamesTheNextDatagram) {
    sample(0.0, 1.0);
    UserPref::setString(MY_DEVICE_ID, "north");  // as the sharing panel saves it
    sample(0.0, 2.0);
    UserPref::setString(MY_DEVICE_ID, "");
    sample(0.0, 3.0);
    const QList<QByteArray> datagrams = receiver.drain(3);
    ASSERT_EQ(datagrams.size(), 3);
    EXPECT_TRUE(datagrams[0].startsWith("1,1.000,"));
    EXPECT_TRUE(datagrams[1].startsWith("north,2.000,"));
    EXPECT_TRUE(datagrams[2].startsWith(",3.000,"));
}

TEST_F(StreamTest, NothingLeavesWhileOffOrPausedAndResumingRestarts) {
    setNetwork(false);
    sample(0.1, 1.0);
    EXPECT_TRUE(receiver.drain(0, 20).isEmpty());
    EXPECT_EQ(delegate.mLabelNetwork->text(), "NETWORK: OFF");

    setNetwork(true);
    delegate.toggleRun();  // paused
    sample(0.2, 2.0);
    sample(0.3, 3.0);
    EXPECT_TRUE(receiver.drain(0, 20).isEmpty());
    delegate.toggleRun();  // running again: the next sample goes out
    sample(0.4, 4.0);
    const QList<QByteArray> datagrams = receiver.drain(1);
    ASSERT_EQ(datagrams.size(), 1);
    EXPECT_TRUE(datagrams[0].startsWith("1,4.000,"));
}

TEST_F(StreamTest, RepeatedActivationKeepsOneSocketAndOneDatagramPerSample) {
    const int socket = delegate.stream().udpSocket();
    for (int i = 0; i < 3; ++i) {
        delegate.applicationDidBecomeActive();
    }
    EXPECT_EQ(delegate.stream().udpSocket(), socket);
    sample(0.5, 5.0);
    EXPECT_EQ(receiver.drain(1).size(), 1);
}

TEST_F(StreamTest, BroadcastIsChosenAtRebindingWithoutSending) {
    UserPref::setBoolean(BROADCAST, true);
    UserPref::setBoolean(NETWORK, false);  // never actually send to the broadcast address here
    log.clear();
    delegate.bindSocketMode();
    EXPECT_EQ(log.lines(), QStringList({"networkEnabled 0", "isBroadcast 1"}));
    EXPECT_EQ(delegate.stream().targetAddress().sin_addr.s_addr, INADDR_BROADCAST);
    EXPECT_EQ(ntohs(delegate.stream().targetAddress().sin_port), receiver.port());
    EXPECT_TRUE(delegate.stream().broadcastOption());
}

TEST(StreamOverride, StreamsForThisRunWithoutTouchingTheSetting) {
    TempConfig config;
    LogCapture log;
    LoopbackReceiver receiver;
    FakeAccelerometer accelerometer;
    AppDelegate delegate(&accelerometer, false);
    delegate.setStreamOverride({false, "127.0.0.1", receiver.port()});
    delegate.applicationDidFinishLaunching();
    delegate.applicationDidBecomeActive();
    accelerometer.deliver(0.0, 0.0, 0.0, 7.0);
    EXPECT_EQ(receiver.drain(1).size(), 1);
    EXPECT_FALSE(UserPref::getBoolean(NETWORK));
    EXPECT_EQ(UserPref::getString(IP), "10.0.2.1");
}

TEST(StreamReceiver, TheReceiversHistoryHoldsTheSendersValues) {
    TempConfig config;
    LogCapture log;
    QString error;
    auto source = UdpReceiveSource::listen("127.0.0.1", 0, &error);
    ASSERT_TRUE(source) << error.toStdString();
    AppDelegate receiver(source.get(), false);
    receiver.applicationDidFinishLaunching();  // filter on, as at first run
    receiver.applicationDidBecomeActive();

    SampleStream sender;  // what another Shakelog sends: its stored, filtered values
    sender.open(source->port());
    sender.bind(false, "127.0.0.1", source->port());
    const double values[][3] = {
        {0.0123, -0.4567, 0.0009}, {-0.2, 0.35, -0.0004}, {0.5, 0.0, -0.75}};
    for (const auto &v : values) {
        sender.send(SampleStream::datagram("1", 1.0, v[0], v[1], v[2]));
    }
    QElapsedTimer timer;
    timer.start();
    while (receiver.graphView->getHistory(-3, 0) == 0.0 && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    EXPECT_TRUE(receiver.graphView->filteringIsEnabled());
    for (int k = 0; k < 3; ++k) {
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(receiver.graphView->getHistory(k - 3, axis), values[k][axis], 0.0005)
                << k << axis;
        }
    }
}

}  // namespace
