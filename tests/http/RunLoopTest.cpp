#include "http/transport/ReadStream.h"
#include "http/transport/RunLoop.h"
#include "support/ScriptedHttpServer.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <thread>

namespace {

using Server = ScriptedHttpServer;

// A stream kept after the thread it ran on has ended (a request held beyond its end): that
// thread's run loop is gone with it, and closing or dropping the stream must not reach back
// into the loop.
TEST(RunLoop, AStreamOutlivingItsThreadLetsGoOfTheLoop) {
    Server server({Server::pause(10000)});  // never answers while the test looks
    const std::optional<HttpMessage> message =
        HttpMessage::createRequest("GET", QUrl(server.url()));
    ASSERT_TRUE(message);
    std::shared_ptr<ReadStream> stream;
    bool opened = false;
    std::thread worker([&] {
        stream = ReadStream::createForStreamedHTTPRequest(*message);
        RunLoop &loop = RunLoop::current();
        stream->setClient(ReadStream::OpenCompleted, [](ReadStream &, ReadStream::Event) {});
        stream->scheduleWithRunLoop(loop, QStringLiteral("test"));
        opened = stream->open();
        QElapsedTimer timer;
        timer.start();
        while (opened && server.requests().isEmpty() && timer.elapsed() < 10000) {
            loop.runInMode(QStringLiteral("test"), 0.05, false);
        }
    });
    worker.join();
    ASSERT_TRUE(opened);
    ASSERT_EQ(server.requests().size(), 1);  // in the middle of its exchange
    stream->close();
    EXPECT_TRUE(stream->isClosed());
    EXPECT_FALSE(stream->copyError());
    stream.reset();
}

}  // namespace
