// Station and channel codes as seismological archives file samples under.
#include "recording/SeedCodes.h"

#include <gtest/gtest.h>

TEST(SeedCodes, StationTextsFollowSeedsRules) {
    QString error;
    const std::optional<SeedCodes> codes = SeedCodes::parse("XX.TEST.00", &error);
    ASSERT_TRUE(codes) << error.toStdString();
    EXPECT_EQ(codes->text(), "XX.TEST.00");
    EXPECT_EQ(SeedCodes::parse("GE.WLF.", &error)->location, "");  // a location may be empty

    const std::pair<const char *, const char *> refused[] = {
        {"XX.TEST", "NET.STA.LOC"},   {"XX.TEST.00.HNZ", "NET.STA.LOC"},
        {"XXX.TEST.00", "network"},   {".TEST.00", "network"},
        {"XX.TOOLONG.00", "station"}, {"XX..00", "station"},
        {"XX.TEST.000", "location"},  {"xx.TEST.00", "upper-case"},
        {"XX.TÉST.00", "upper-case"}, {"XX.TE-T.00", "upper-case"},
    };
    for (const auto &[text, named] : refused) {
        error.clear();
        EXPECT_FALSE(SeedCodes::parse(text, &error)) << text;
        EXPECT_TRUE(error.contains(named)) << text << ": " << error.toStdString();
    }
}

TEST(SeedCodes, TheDefaultStationIsFiveLettersAndDigitsOfTheDevice) {
    const QString a = SeedCodes::stationFromDeviceIdentifier("3f2a9c1e-device-a");
    EXPECT_EQ(a, SeedCodes::stationFromDeviceIdentifier("3f2a9c1e-device-a"));
    EXPECT_NE(a, SeedCodes::stationFromDeviceIdentifier("3f2a9c1e-device-b"));
    EXPECT_EQ(a.size(), 5);
    EXPECT_TRUE(SeedCodes::stationProblem(a).isEmpty());
}

TEST(SeedCodes, TheBandCodeFollowsTheSamplingRate) {
    const std::pair<double, const char *> table[] = {
        {1, "LN"},  {5, "MN"},   {10, "BN"},  {50, "BN"},  {79.9, "BN"},
        {80, "HN"}, {100, "HN"}, {200, "HN"}, {250, "CN"}, {1000, "FN"},
    };
    for (const auto &[rate, prefix] : table) {
        const std::array<QString, 3> channels = channelCodes(rate);
        EXPECT_EQ(channels[0], QString(prefix) + "1") << rate;
        EXPECT_EQ(channels[1], QString(prefix) + "2") << rate;
        EXPECT_EQ(channels[2], QString(prefix) + "Z") << rate;
    }
}
