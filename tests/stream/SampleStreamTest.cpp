#include "stream/SampleStream.h"
#include "support/CommaDecimalLocale.h"
#include "support/LogCapture.h"
#include "support/LoopbackReceiver.h"
#include "support/Printers.h"

#include <QRegularExpression>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <cerrno>

namespace {

// The socket's own port: 0 until something was sent (a first send binds one, even a send the
// system refuses).
int localPort(const SampleStream &stream) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(stream.udpSocket(), reinterpret_cast<sockaddr *>(&local), &length);
    return ntohs(local.sin_port);
}

QString targetText(const SampleStream &stream) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &stream.targetAddress().sin_addr, text, sizeof text);
    return QStringLiteral("%1:%2")
        .arg(QString::fromLatin1(text))
        .arg(ntohs(stream.targetAddress().sin_port));
}

TEST(SampleStream, DatagramBytesArriveExactlyAsFormatted) {
    LoopbackReceiver receiver;
    SampleStream stream;
    ASSERT_TRUE(stream.open(receiver.port()));
    {
        // The address in use, as a log line: standard output is a headless run's rate lines.
        LogCapture log;
        testing::internal::CaptureStdout();
        stream.bind(false, "127.0.0.1", receiver.port());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(log.lines(), QStringList{"addr=127.0.0.1"});
    }

    const struct {
        QString name;
        double t, x, y, z;
        QByteArray bytes;
    } cases[] = {
        {"1", 12345.6789, 0.01234, -0.98765, 0.5, "1,12345.679,0.012,-0.988,0.500\n"},
        {"1", 5.0, -0.0004, 12.3456, 0.0, "1,5.000,-0.000,12.346,0.000\n"},
        {"", 1.0, 1.0, 2.0, 3.0, ",1.000,1.000,2.000,3.000\n"},
        {"lab,north", 0.25, 0.0, 0.0, -1.0, "lab,north,0.250,0.000,0.000,-1.000\n"},
        {"Gerät", 0.0, 0.0, 0.0, 0.0, "Ger\xc3\xa4t,0.000,0.000,0.000,0.000\n"},
        // Exact ties and negative zero, as C formats them.
        {"1", 1.0625, 0.0625, -0.0, -0.0625, "1,1.062,0.062,-0.000,-0.062\n"},
    };
    {
        // A German desktop: decimal commas everywhere but in the datagrams.
        const CommaDecimalLocale german;
        ASSERT_TRUE(german.active()) << "no de_DE.UTF-8 locale: scripts/setup generates it";
        for (const auto &c : cases) {
            stream.send(SampleStream::datagram(c.name, c.t, c.x, c.y, c.z));
        }
    }

    const QList<QByteArray> received = receiver.drain(int(std::size(cases)));
    ASSERT_EQ(received.size(), qsizetype(std::size(cases)));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(received[qsizetype(i)], cases[i].bytes);
    }
    EXPECT_EQ(received[0].size(), 31);
}

TEST(SampleStream, SetUpAimsAtTheBroadcastAddressWithTheOptionOn) {
    SampleStream stream;
    ASSERT_TRUE(stream.open(10552));
    EXPECT_GE(stream.udpSocket(), 0);
    EXPECT_EQ(targetText(stream), "255.255.255.255:10552");
    EXPECT_TRUE(stream.broadcastOption());
    EXPECT_EQ(stream.targetAddress().sin_family, AF_INET);
    const int socket = stream.udpSocket();
    EXPECT_TRUE(stream.open(10552));  // once for the life of the process
    EXPECT_EQ(stream.udpSocket(), socket);
}

TEST(SampleStream, RebindingSwitchesBetweenUnicastAndBroadcast) {
    SampleStream stream;
    stream.open(10552);
    stream.bind(false, "127.0.0.7", 4000);
    EXPECT_EQ(targetText(stream), "127.0.0.7:4000");
    EXPECT_FALSE(stream.broadcastOption());
    stream.bind(false, "127.1", 4001);  // inet_aton's shorthand
    EXPECT_EQ(targetText(stream), "127.0.0.1:4001");
    stream.bind(true, QString(), 9);  // broadcast keeps the port
    EXPECT_EQ(targetText(stream), "255.255.255.255:4001");
    EXPECT_TRUE(stream.broadcastOption());
}

TEST(SampleStream, BadAddressesAndPortsAreRefused) {
    LogCapture log;
    SampleStream stream;
    stream.open(10552);
    stream.bind(false, "127.0.0.5", 5000);
    stream.bind(false, "not an address", 5001);
    EXPECT_EQ(targetText(stream), "127.0.0.5:5001");
    stream.bind(false, "127.0.0.6", 70000);  // would wrap to 4464
    EXPECT_EQ(targetText(stream), "127.0.0.6:5001");
    stream.bind(false, "127.0.0.6", 0);
    EXPECT_EQ(targetText(stream), "127.0.0.6:5001");
    EXPECT_EQ(
        log.lines().filter(QRegularExpression("^(?!addr=)")),
        QStringList({"IP \"not an address\" is not an IPv4 address; the stream keeps 127.0.0.5",
                     "PORT 70000 is not a UDP port (1 to 65535); the stream keeps port 5001",
                     "PORT 0 is not a UDP port (1 to 65535); the stream keeps port 5001"}));

    // Without any valid port nothing at all is sent: the socket never even gets a port of its
    // own, as the first send would give it (also one the system refuses).
    SampleStream unaimed;
    ASSERT_TRUE(unaimed.open(-1));
    unaimed.bind(false, "127.0.0.7", 0);
    EXPECT_EQ(ntohs(unaimed.targetAddress().sin_port), 0);
    unaimed.send("1,0.000,0.000,0.000,0.000\n");
    EXPECT_EQ(localPort(unaimed), 0);

    // Nor to the broadcast address the socket starts aimed at, while broadcast is off and no
    // valid address came (the attempt alone would be refused only by the system).
    SampleStream noAddress;
    ASSERT_TRUE(noAddress.open(10552));
    noAddress.bind(false, "not an address", 10552);
    noAddress.send("1,0.000,0.000,0.000,0.000\n");
    EXPECT_EQ(localPort(noAddress), 0);
}

TEST(SampleStream, AFailedSendIsLoggedAndTheNextSampleGoesOut) {
    LogCapture log;
    LoopbackReceiver receiver;
    SampleStream stream;
    ASSERT_TRUE(stream.open(receiver.port()));
    stream.bind(false, "127.0.0.1", receiver.port());
    log.clear();
    stream.send(QByteArray(70000, 'x'));  // more than a UDP datagram holds: refused, not sent
    stream.send(SampleStream::datagram("1", 1.0, 0.0, 0.0, -1.0));
    EXPECT_EQ(log.lines(),
              QStringList{
                  QStringLiteral("Socket error %1 udp %2").arg(EMSGSIZE).arg(stream.udpSocket())});
    EXPECT_EQ(receiver.drain(1), QList<QByteArray>{"1,1.000,0.000,0.000,-1.000\n"});
}

}  // namespace
