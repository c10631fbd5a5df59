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
         "--after needs a positive number of seconds, not '-1'."},
        {{"--screenshot", "a.png", "--headless"},
         "--screenshot needs the window: leave out --headless."},
        {{"--earthquake"}, "--earthquake goes with --upload."},
        {{"--upload", ""}, "--upload needs the server address."},
        {{"--export-csv", ""}, "--export-csv needs a file name."},
    };
    for (const auto &c : cases) {
        const auto result = parse(c.arguments);
        EXPECT_FALSE(result.options);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.output, c.message);
    }
}

TEST(CommandLine, HelpListsTheOptions) {
    const auto result = parse({"--help"});
    EXPECT_FALSE(result.options);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.output.startsWith("Usage: shakelog [options]"));
    for (const char *option : {"--source", "--config-dir", "--headless", "--duration", "--version",
                               "--upload", "--earthquake", "--export-csv"}) {
        EXPECT_TRUE(result.output.contains(option)) << option;
    }
}

}  // namespace
