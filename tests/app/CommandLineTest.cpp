#include "app/CommandLine.h"
#include "support/Printers.h"

#include <gtest/gtest.h>

namespace {

CommandLine::Result parse(QStringList arguments) {
    arguments.prepend("shakelog");
    return CommandLine::parse(arguments);
}

TEST(CommandLine, ReadsEveryOption) {
    const auto result = parse({"--source", "replay:/tmp/q.csv", "--config-dir", "/tmp/c",
                               "--headless", "--duration", "2.5"});
    ASSERT_TRUE(result.options);
    EXPECT_EQ(result.options->source, CommandLine::Source::Replay);
    EXPECT_EQ(result.options->replayFile, "/tmp/q.csv");
    EXPECT_EQ(result.options->configDirectory, "/tmp/c");
    EXPECT_TRUE(result.options->headless);
    EXPECT_EQ(result.options->duration, 2.5);
    const auto report = parse({"--upload", "http://127.0.0.1:8080/report", "--earthquake",
                               "--export-csv", "/tmp/out.csv"});
    ASSERT_TRUE(report.options);
    EXPECT_EQ(report.options->uploadURL, "http://127.0.0.1:8080/report");
    EXPECT_TRUE(report.options->earthquake);
    EXPECT_EQ(report.options->exportFile, "/tmp/out.csv");

    const auto defaults = parse({});
    ASSERT_TRUE(defaults.options);
    EXPECT_EQ(defaults.options->source, CommandLine::Source::Auto);
    EXPECT_FALSE(defaults.options->headless);
    EXPECT_FALSE(defaults.options->duration);
    EXPECT_EQ(parse({"--source=sine"}).options->source, CommandLine::Source::Sine);
    EXPECT_EQ(parse({"--source", "accelerometer"}).options->source,
              CommandLine::Source::Accelerometer);
    const auto iio = parse({"--source", "iio:iio:device2"});
    ASSERT_TRUE(iio.options);
    EXPECT_EQ(iio.options->source, CommandLine::Source::Iio);
    EXPECT_EQ(iio.options->iioDevice, "iio:device2");
    EXPECT_TRUE(parse({"--source", "iio"}).options->iioDevice.isEmpty());
    EXPECT_TRUE(parse({"--list-sensors"}).options->listSensors);
    const auto recording = parse({"--record", "/tmp/archive", "--station", "GE.WLF.",
                                  "--record-keep-days", "30", "--export-mseed", "/tmp/h.mseed"});
    ASSERT_TRUE(recording.options);
    EXPECT_EQ(recording.options->recordFolder, "/tmp/archive");
    EXPECT_EQ(recording.options->station->text(), "GE.WLF.");
    EXPECT_EQ(recording.options->recordKeepDays, 30);
    EXPECT_EQ(recording.options->exportMiniSeedFile, "/tmp/h.mseed");
    EXPECT_EQ(parse({"--on-event", "mosquitto_pub -t quake -s"}).options->onEvent,
              "mosquitto_pub -t quake -s");
    EXPECT_TRUE(parse({}).options->onEvent.isEmpty());
    // The first frame, as bench/start-time takes it; --duration 0 stays a mistake.
    const auto firstFrame = parse({"--screenshot", "a.png", "--after", "0"});
    ASSERT_TRUE(firstFrame.options);
    EXPECT_EQ(firstFrame.options->screenshotAfter, 0.0);
}

TEST(CommandLine, MistakesAreExplainedWithExitCodeTwo) {
    const struct {
        QStringList arguments;
        QString message;
    } cases[] = {
        {{"--source", "gps"},
         "Unknown source 'gps': use auto, accelerometer, iio[:WHICH], sine, replay:FILE or "
         "udp:[ADDR:]PORT."},
        {{"--source", "replay:"},
         "Unknown source 'replay:': use auto, accelerometer, iio[:WHICH], sine, replay:FILE or "
         "udp:[ADDR:]PORT."},
        {{"--source", "iio:"},
         "Unknown source 'iio:': use auto, accelerometer, iio[:WHICH], sine, replay:FILE or "
         "udp:[ADDR:]PORT."},
        {{"--duration", "0"}, "--duration needs a positive number of seconds, not '0'."},
        {{"--duration", "soon"}, "--duration needs a positive number of seconds, not 'soon'."},
        {{"--frobnicate"}, "Unknown option 'frobnicate'."},
        {{"extra"}, "Unexpected argument 'extra'; see --help."},
        {{"--after", "2"}, "--after goes with --screenshot."},
        {{"--screenshot", "a.png", "--after", "-1"},
         "--after needs 0 or a positive number of seconds, not '-1'."},
        {{"--screenshot", "a.png", "--headless"},
         "--screenshot needs the window: leave out --headless."},
        {{"--earthquake"}, "--earthquake goes with --upload."},
        {{"--upload", ""}, "--upload needs the server address."},
        {{"--export-csv", ""}, "--export-csv needs a file name."},
        {{"--export-mseed", ""}, "--export-mseed needs a file name."},
        {{"--record", ""}, "--record needs a folder."},
        {{"--on-event", ""},
         "--on-event needs a program, as in --on-event 'mosquitto_pub -t quake -s'."},
        {{"--on-event", "  "},
         "--on-event needs a program, as in --on-event 'mosquitto_pub -t quake -s'."},
        {{"--station", "XX.TEST"},
         "--station: 'XX.TEST' is not NET.STA.LOC (for example XX.TEST.00)."},
        {{"--station", "XX.TOOLONG.00"},
         "--station: The station code 'TOOLONG' must have 1 to 5 characters."},
        {{"--record-keep-days", "-1"},
         "--record-keep-days needs a whole number of days, 0 or more, not '-1'."},
        {{"--stream", "127.0.0.1"},
         "--stream needs HOST:PORT with a port from 1 to 65535, not '127.0.0.1'."},
        {{"--stream", "127.0.0.1:0"},
         "--stream needs HOST:PORT with a port from 1 to 65535, not '127.0.0.1:0'."},
        {{"--stream", "127.0.0.1:65536"},
         "--stream needs HOST:PORT with a port from 1 to 65535, not '127.0.0.1:65536'."},
        {{"--stream", ":10552"},
         "--stream needs HOST:PORT with a port from 1 to 65535, not ':10552'."},
        {{"--stream", "quakes.example:10552"},
         "--stream needs an IPv4 address as HOST, not 'quakes.example:10552'."},
        {{"--broadcast", "0"}, "--broadcast needs a port from 1 to 65535, not '0'."},
        {{"--broadcast", "65536"}, "--broadcast needs a port from 1 to 65535, not '65536'."},
        {{"--broadcast", "lan"}, "--broadcast needs a port from 1 to 65535, not 'lan'."},
        {{"--stream", "127.0.0.1:10552", "--broadcast", "10552"},
         "--stream and --broadcast exclude each other."},
        {{"--source", "udp:"},
         "udp: needs a port from 1 to 65535, as in udp:10552 or udp:127.0.0.1:10552."},
        {{"--source", "udp:65536"},
         "udp: needs a port from 1 to 65535, as in udp:10552 or udp:127.0.0.1:10552."},
        {{"--source", "udp:127.0.0.1:"},
         "udp: needs a port from 1 to 65535, as in udp:10552 or udp:127.0.0.1:10552."},
    };
    for (const auto &c : cases) {
        const auto result = parse(c.arguments);
        EXPECT_FALSE(result.options);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.output, c.message);
    }
}

TEST(CommandLine, StreamTargetsAndListeningPorts) {
    const auto unicast = parse({"--stream", "127.0.0.1:10552"});
    ASSERT_TRUE(unicast.options);
    EXPECT_FALSE(unicast.options->streamBroadcast);
    EXPECT_EQ(unicast.options->streamHost, "127.0.0.1");
    EXPECT_EQ(unicast.options->streamPort, 10552);
    const auto broadcast = parse({"--broadcast", "65535"});
    ASSERT_TRUE(broadcast.options);
    EXPECT_TRUE(broadcast.options->streamBroadcast);
    EXPECT_EQ(broadcast.options->streamPort, 65535);
    EXPECT_EQ(parse({}).options->streamPort, 0);  // not asked for: the stored settings rule

    const auto everywhere = parse({"--source", "udp:1"});
    ASSERT_TRUE(everywhere.options);
    EXPECT_EQ(everywhere.options->source, CommandLine::Source::Udp);
    EXPECT_TRUE(everywhere.options->listenAddress.isEmpty());
    EXPECT_EQ(everywhere.options->listenPort, 1);
    const auto one = parse({"--source", "udp:127.0.0.1:10552"});
    ASSERT_TRUE(one.options);
    EXPECT_EQ(one.options->listenAddress, "127.0.0.1");
    EXPECT_EQ(one.options->listenPort, 10552);
}

TEST(CommandLine, HelpListsTheOptions) {
    const auto result = parse({"--help"});
    EXPECT_FALSE(result.options);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.output.startsWith("Usage: shakelog [options]"));
    for (const char *option :
         {"--source", "--config-dir", "--headless", "--duration", "--version", "--upload",
          "--earthquake", "--export-csv", "--on-event", "--report-events"}) {
        EXPECT_TRUE(result.output.contains(option)) << option;
    }
}

}  // namespace
