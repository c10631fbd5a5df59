// --on-event's program: one at a time with the event on its standard input, a bounded queue,
// and a log line for each way a program can fail.
#include "detection/EventProgram.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(EventProgram, RunsOneAtATimeWithTheEventOnStandardInput) {
    QTemporaryDir dir;
    const QString out = dir.filePath("out");
    // The pause lets a second program, were it started too early, write in between.
    EventProgram program("sh -c \"echo begin >> " + out + "; cat >> " + out +
                         "; sleep 0.05; echo end >> " + out + "\"");
    ASSERT_TRUE(program.isValid());
    LogCapture capture;
    for (const char *input : {"{\"n\":1}\n", "{\"n\":2}\n", "{\"n\":3}\n"}) {
        program.run(input);
    }
    pumpUntil([&] { return program.isIdle(); });
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              "begin\n{\"n\":1}\nend\nbegin\n{\"n\":2}\nend\nbegin\n{\"n\":3}\nend\n");
    EXPECT_TRUE(capture.lines().isEmpty()) << capture.lines().join('\n').toStdString();
}

TEST(EventProgram, EachWayOfFailingIsLogged) {
    const struct {
        const char *command;
        const char *line;  // the log line's start
    } cases[] = {
        {"sh -c \"exit 3\"", "--on-event: sh ended with status 3"},
        {"false", "--on-event: false ended with status 1"},
        {"sh -c \"kill -9 $$\"", "--on-event: sh was ended by a signal"},
        {"/nonexistent/program", "--on-event: /nonexistent/program could not be started: "},
        {"sleep 60", "--on-event: sleep did not end within 0.2 s; killed"},
    };
    for (const auto &c : cases) {
        EventProgram program(c.command, 200ms);
        LogCapture capture;
        program.run("{}\n");
        pumpUntil([&] { return program.isIdle(); });
        ASSERT_EQ(capture.lines().size(), 1) << c.command;
        EXPECT_TRUE(capture.lines()[0].startsWith(c.line)) << capture.lines()[0].toStdString();
    }
}

TEST(EventProgram, TheQueueIsBoundedAndTheEndOfTheRunStopsWhatIsLeft) {
    EventProgram program("sleep 60");
    LogCapture capture;
    for (int n = 0; n < 1 + EventProgram::kQueueLimit + 3; ++n) {
        program.run("{}\n");
    }
    const QString busy =
        "--on-event: sleep is still busy with earlier events; the oldest of 16 "
        "waiting is dropped";
    EXPECT_EQ(capture.lines(), QStringList({busy, busy, busy}));
    capture.clear();
    program.finish(50ms);
    EXPECT_TRUE(program.isIdle());
    EXPECT_EQ(capture.lines(),
              QStringList({"--on-event: sleep was not run for 16 event(s): the run ended",
                           "--on-event: sleep was still running when the run ended; killed"}));
}

}  // namespace
