#include "stream/SampleStream.h"
#include "stream/UdpReceiveSource.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/Printers.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Collector : AccelerometerDelegate {
    void accelerometerDidAccelerate(Accelerometer *, const Acceleration &a) override {
        events.push_back(a);
    }
    std::vector<Acceleration> events;
};

// A source listening on loopback and a stream aimed at it.
class Receiving : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        source = UdpReceiveSource::listen("127.0.0.1", 0, &error);
        ASSERT_TRUE(source) << error.toStdString();
        source->setDelegate(&collector);
        stream.open(source->port());
        stream.bind(false, "127.0.0.1", source->port());
    }
    std::unique_ptr<UdpReceiveSource> source;
    Collector collector;
    SampleStream stream;
};

TEST_F(Receiving, TakesTheStreamsSamples) {
    for (int k = 0; k < 50; ++k) {
        stream.send(SampleStream::datagram("1", k * 0.01, k * 0.001, -0.5, 0.25));
    }
    pumpUntil([&] { return collector.events.size() == 50; });
    ASSERT_EQ(collector.events.size(), 50u);
    for (int k = 0; k < 50; ++k) {
        EXPECT_NEAR(collector.events[size_t(k)].x, k * 0.001, 1e-6);  // in order
    }
    EXPECT_EQ(collector.events[0].y, double(-0.5f));
}

TEST_F(Receiving, GarbageIsDroppedCountedAndReportedOncePerSecond) {
    LogCapture log;
    const auto line = [this](int count) {
        return QStringLiteral("Dropped %1 malformed datagrams on UDP port %2")
            .arg(count)
            .arg(source->port());
    };
    const QByteArray garbage[] = {"hello",
                                  "1,2,3\n",
                                  "",
                                  "a,b,c,d,e\n",
                                  "1,1.0,nan,0,0\n",
                                  "1,1.0,1e39,0,0\n",
                                  "1,1.0,0,0,-3.5e38\n",
                                  "1,1.0,0.1,0.2,0.3",  // no line feed
                                  "1,1.0,0.1,0.2,0.3\n1,1.0,0.1,0.2,0.3\n",
                                  QByteArray(3000, ',')};
    QElapsedTimer sinceFirstBatch;
    sinceFirstBatch.start();
    for (const QByteArray &datagram : garbage) {
        stream.send(datagram);
    }
    stream.send("1,1.0,0.1,0.2,0.3\n");
    pumpUntil([&] {
        return source->droppedDatagrams() == std::size(garbage) && !collector.events.empty();
    });
    EXPECT_EQ(source->droppedDatagrams(), std::size(garbage));
    EXPECT_EQ(collector.events.size(), 1u);
    pumpUntil([&] { return !log.lines().isEmpty(); });
    // Told together a second after the first drop (a timer may come a little early, never
    // much), not one line each.
    EXPECT_GE(sinceFirstBatch.elapsed(), 900);
    EXPECT_EQ(log.lines(), QStringList{line(int(std::size(garbage)))});

    // A later batch has a line of its own, a second after its own first drop.
    QElapsedTimer sinceSecondBatch;
    sinceSecondBatch.start();
    stream.send("again");
    stream.send("and again");
    pumpUntil([&] { return log.lines().size() == 2; });
    EXPECT_GE(sinceSecondBatch.elapsed(), 900);
    EXPECT_EQ(log.lines(), QStringList({line(int(std::size(garbage))), line(2)}));
    EXPECT_EQ(source->droppedDatagrams(), std::size(garbage) + 2);
}

TEST_F(Receiving, DropsOfTheLastPartSecondAreReportedWhenTheSourceStops) {
    LogCapture log;
    const int port = source->port();
    stream.send("garbage");
    stream.send("more garbage");
    pumpUntil([&] { return source->droppedDatagrams() == 2; });
    ASSERT_EQ(source->droppedDatagrams(), 2u);
    source.reset();  // the end of the run, before the second is up
    EXPECT_EQ(
        log.lines(),
        QStringList{QStringLiteral("Dropped 2 malformed datagrams on UDP port %1").arg(port)});
}

TEST(UdpReceiveSource, ListeningProblemsAreExplained) {
    QString error;
    EXPECT_FALSE(UdpReceiveSource::listen("nowhere", 10552, &error));
    EXPECT_EQ(error, "\"nowhere\" is not an IPv4 address");
    auto first = UdpReceiveSource::listen("127.0.0.1", 0, &error);
    ASSERT_TRUE(first);
    EXPECT_FALSE(UdpReceiveSource::listen("127.0.0.1", first->port(), &error));
    EXPECT_TRUE(
        error.startsWith(QStringLiteral("cannot listen on 127.0.0.1:%1: ").arg(first->port())));
}

}  // namespace
