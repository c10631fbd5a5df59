// What Shakelog reads from an IIO device's attributes: scan types, scan layouts, calibration,
// rates and the device itself.
#include "platform/PrintableText.h"
#include "platform/iio/IioCalibration.h"
#include "platform/iio/IioDevice.h"
#include "platform/iio/IioRates.h"
#include "platform/iio/IioScanLayout.h"
#include "platform/iio/IioScanType.h"
#include "platform/iio/SysfsAttributes.h"
#include "support/SimulatedIioDevice.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace {

struct DecodeCase {
    const char *type;
    std::vector<uint8_t> bytes;
    unsigned index;
    int64_t expected;
};

// Names the case in test names by its type and bytes.
void PrintTo(const DecodeCase &c, std::ostream *out) {
    *out << c.type << " [";
    for (const uint8_t byte : c.bytes) {
        *out << ' ' << int(byte);
    }
    *out << " ] #" << c.index;
}

class ScanTypeDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(ScanTypeDecoding, GivesTheValueTheBytesHold) {
    const DecodeCase &c = GetParam();
    QString error;
    const std::optional<IioScanType> type = IioScanType::parse(c.type, &error);
    ASSERT_TRUE(type) << error.toStdString();
    EXPECT_EQ(type->decode(c.bytes.data(), c.index), c.expected) << c.type;
}

INSTANTIATE_TEST_SUITE_P(
    IioScanType, ScanTypeDecoding,
    ::testing::Values(DecodeCase{"le:s16/16>>0", {0x34, 0x12}, 0, 0x1234},
                      DecodeCase{"le:s16/16>>0", {0x00, 0x80}, 0, -32768},
                      DecodeCase{"le:s16/16>>0 ", {0xff, 0xff}, 0, -1},
                      // 12 significant bits in the top of a big-endian word (an ADXL345-like part)
                      DecodeCase{"be:s12/16>>4", {0x7f, 0xf0}, 0, 2047},
                      DecodeCase{"be:s12/16>>4", {0x80, 0x0f}, 0, -2048},  // low nibble is not data
                      DecodeCase{"be:s12/16>>4", {0xff, 0xf0}, 0, -1},
                      DecodeCase{"le:s32/32>>0", {0x00, 0x00, 0x00, 0x80}, 0, INT32_MIN},
                      DecodeCase{"le:s32/32>>0", {0x01, 0x02, 0x03, 0x04}, 0, 0x04030201},
                      DecodeCase{"le:u16/16>>0", {0xff, 0xff}, 0, 65535},
                      DecodeCase{"be:u8/8>>0", {0xfe}, 0, 254},
                      // a repeated element: value 2 of three
                      DecodeCase{"le:s16/16X3>>0", {0x01, 0x00, 0x02, 0x00, 0xfd, 0xff}, 2, -3},
                      DecodeCase{"le:s64/64>>0",
                                 {0x00, 0x00, 0x40, 0x7a, 0x10, 0xf3, 0x5a, 0x00},
                                 0,
                                 25600000000000000LL}));

TEST(IioScanType, MalformedTypesAreRefusedWithTheirText) {
    for (const char *text : {"", "le:s16", "xx:s16/16>>0", "le:s17/16>>0", "le:s12/16>>8",
                             "le:s16/24>>0", "le:s0/16>>0", "le:q16/16>>0", "le:s16/16X0>>0",
                             "le:s16/16>>4294967290"}) {
        QString error;
        EXPECT_FALSE(IioScanType::parse(text, &error)) << text;
        EXPECT_TRUE(error.contains(QString::fromLatin1(text))) << error.toStdString();
    }
}

TEST(IioScanLayout, ElementsAreAlignedToTheirSizeInScanIndexOrder) {
    QString error;
    const IioScanType s16 = *IioScanType::parse("le:s16/16>>0", &error);
    const IioScanType s64 = *IioScanType::parse("le:s64/64>>0", &error);
    const IioScanType s32 = *IioScanType::parse("le:s32/32>>0", &error);
    const IioScanType repeated = *IioScanType::parse("le:s16/16X2>>0", &error);

    // Three 16-bit values, then the time stamp on the next 8-byte boundary.
    const IioScanLayout accel({{"in_timestamp", 3, s64},
                               {"in_accel_z", 2, s16},
                               {"in_accel_x", 0, s16},
                               {"in_accel_y", 1, s16}});
    EXPECT_EQ(accel.find("in_accel_x")->offset, 0u);
    EXPECT_EQ(accel.find("in_accel_y")->offset, 2u);
    EXPECT_EQ(accel.find("in_accel_z")->offset, 4u);
    EXPECT_EQ(accel.find("in_timestamp")->offset, 8u);
    EXPECT_EQ(accel.scanBytes(), 16u);
    EXPECT_EQ(accel.find("in_anglvel_x"), nullptr);

    // Without a time stamp the scan ends after the last value.
    EXPECT_EQ(IioScanLayout({{"a", 0, s16}, {"b", 1, s16}, {"c", 2, s16}}).scanBytes(), 6u);
    // A 32-bit value after one 16-bit value skips two bytes; the scan rounds up to 4.
    const IioScanLayout mixed({{"a", 0, s16}, {"b", 1, s32}, {"c", 2, s16}});
    EXPECT_EQ(mixed.find("b")->offset, 4u);
    EXPECT_EQ(mixed.find("c")->offset, 8u);
    EXPECT_EQ(mixed.scanBytes(), 12u);
    // A repeated element takes all its values' room and is aligned to it.
    const IioScanLayout withRepeat({{"a", 0, s16}, {"q", 1, repeated}});
    EXPECT_EQ(withRepeat.find("q")->offset, 4u);
    EXPECT_EQ(withRepeat.scanBytes(), 8u);
}

TEST(IioScanLayout, AScanIndexThatIsNoWholeNumberIsRefused) {
    for (const char *index : {"1e300", "-1", "1.5"}) {
        SimulatedIioDevice sim;
        sim.setAttribute("scan_elements/in_accel_x_en", "1");
        sim.setAttribute("scan_elements/in_accel_x_index", index);
        QString error;
        EXPECT_FALSE(IioScanLayout::read(SysfsAttributes(sim.path()), &error)) << index;
        EXPECT_TRUE(error.contains("in_accel_x_index")) << error.toStdString();
    }
}

TEST(IioCalibration, OffsetScaleAndMountMatrixGiveGInTheApplicationsConvention) {
    IioCalibration calibration;
    // Lying face up the chip feels +1 g on its z axis: the application reads z = -1.
    calibration.scale = {0.5, 0.5, 9.80665 / 1000};
    EXPECT_DOUBLE_EQ(calibration.toAcceleration({0, 0, 1000}, 7.5).z, -1.0);
    EXPECT_DOUBLE_EQ(calibration.toAcceleration({0, 0, 1000}, 7.5).timestamp, 7.5);

    // (raw + offset) × scale, per axis.
    calibration.scale = {9.80665 / 100, 9.80665 / 200, 9.80665 / 400};
    calibration.offset = {10, -20, 0};
    Acceleration a = calibration.toAcceleration({40, 120, -100}, 0);
    EXPECT_DOUBLE_EQ(a.x, -0.5);  // (40 + 10) / 100
    EXPECT_DOUBLE_EQ(a.y, -0.5);  // (120 - 20) / 200
    EXPECT_DOUBLE_EQ(a.z, 0.25);  // -100 / 400

    // A chip mounted turned a quarter: device x is -chip y, device y is chip x, device z is
    // -chip z (rows of the matrix give the device's axes; its transpose would turn the other way).
    calibration.offset = {0, 0, 0};
    calibration.scale = {9.80665 / 100, 9.80665 / 100, 9.80665 / 100};
    calibration.mountMatrix = {{{0, -1, 0}, {1, 0, 0}, {0, 0, -1}}};
    a = calibration.toAcceleration({25, 50, 100}, 0);
    EXPECT_DOUBLE_EQ(a.x, 0.5);    // -(-50 / 100)
    EXPECT_DOUBLE_EQ(a.y, -0.25);  // -(25 / 100)
    EXPECT_DOUBLE_EQ(a.z, 1.0);    // -(-100 / 100)
}

TEST(IioRates, TheSmallestRateAtOrAboveTheWantedOne) {
    QString error;
    const IioRates list = *IioRates::parse("200 12.5 25 50 100\n", &error);
    EXPECT_EQ(list.choose(100), 100);
    EXPECT_EQ(list.choose(60), 100);
    EXPECT_EQ(list.choose(1), 12.5);
    EXPECT_EQ(list.choose(1000), 200);  // above every rate: the highest
    EXPECT_EQ(list.maximum(), 200);

    const IioRates range = *IioRates::parse("[12.5 12.5 400]", &error);
    EXPECT_EQ(range.choose(100), 100);
    EXPECT_EQ(range.choose(30), 37.5);
    EXPECT_EQ(range.choose(5), 12.5);
    EXPECT_EQ(range.choose(500), 400);
    EXPECT_EQ(range.maximum(), 400);
    EXPECT_EQ(IioRates::parse("[1 1 1600]", &error)->choose(100), 100);
    // The kernel's own example list starts at 0, which is never a rate to record at.
    const IioRates fromZero = *IioRates::parse("0 2 4 6 8", &error);
    EXPECT_EQ(fromZero.choose(0.5), 2);
    EXPECT_EQ(fromZero.choose(5), 6);

    for (const char *bad :
         {"", "fast", "[1 2]", "[400 1 12]", "10 -5", "[1 1 200", "0", "[0 0 0]"}) {
        EXPECT_FALSE(IioRates::parse(bad, &error)) << bad;
    }
}

TEST(IioDevice, ReadsNamesCalibrationRatesBufferAndTrigger) {
    SimulatedIioDevice sim;
    sim.setAttribute("label", "accel-display");
    sim.setAttribute("in_accel_mount_matrix", "0, 1, 0; 1, 0, 0; 0, 0, -1");
    sim.setAttribute("in_accel_x_scale", "0.25");  // a per-axis scale wins over the shared one
    sim.setAttribute("in_accel_offset", "-3");
    QString error;
    const std::optional<IioDevice> device = IioDevice::read(sim.path(), &error);
    ASSERT_TRUE(device) << error.toStdString();
    EXPECT_EQ(device->name, "mpu6050");
    EXPECT_EQ(device->label, "accel-display");
    EXPECT_EQ(device->calibration.scale[0], 0.25);
    EXPECT_EQ(device->calibration.scale[2], 9.80665 / 16384);
    EXPECT_EQ(device->calibration.offset[1], -3);
    EXPECT_EQ(device->calibration.mountMatrix[2][2], -1);
    EXPECT_EQ(device->samplingFrequency, 50);
    EXPECT_EQ(device->maximumRate(), 1000);
    EXPECT_TRUE(device->buffered);
    EXPECT_EQ(device->ownTrigger, "mpu6050-dev0");
    EXPECT_EQ(device->characterDevice(), sim.fifo());

    const QString text = device->describe();
    for (const char *expected :
         {"IIO accelerometer iio:device0", "name: mpu6050", "label: accel-display",
          "mount matrix: 0, 1, 0; 1, 0, 0; 0, 0, -1", "available rates: 10 50 100 200 500 1000",
          "buffered capture: yes", "trigger: mpu6050-dev0", "(this user may open it)"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n"
                                                                << text.toStdString();
    }
}

TEST(IioDevice, AMalformedOrUnreadableAttributeIsNamedWithItsContentOrReason) {
    // Units and axes cannot be guessed: the device is refused.
    const std::pair<const char *, const char *> fatal[] = {
        {"in_accel_scale", "0.0098 m/s2"},
        {"in_accel_y_offset", "-"},
        {"in_accel_mount_matrix", "1, 0, 0; 0, 1, 0"},
        {"in_accel_x_scale", "\x1b[2J"},  // quoted escaped: it cannot clear the terminal
    };
    for (const auto &[name, content] : fatal) {
        SimulatedIioDevice sim;
        sim.setAttribute(name, content);
        QString error;
        EXPECT_FALSE(IioDevice::read(sim.path(), &error)) << name;
        EXPECT_TRUE(error.contains(sim.path() + "/" + name)) << error.toStdString();
        EXPECT_TRUE(error.contains(printableText(content))) << error.toStdString();
        EXPECT_FALSE(error.contains(QChar(0x1b)));
    }
    {
        SimulatedIioDevice sim;
        sim.removeAttribute("in_accel_scale");
        QDir().mkpath(sim.path() + "/in_accel_scale");  // there, but every read fails
        QString error;
        EXPECT_FALSE(IioDevice::read(sim.path(), &error));
        EXPECT_EQ(error, "cannot read " + sim.path() + "/in_accel_scale: Is a directory");
    }
    // Rates only tune capture: the device records at the rate it has, and says why.
    const std::pair<const char *, const char *> rates[] = {
        {"sampling_frequency_available", "[1 2]"},
        {"sampling_frequency", "fast"},
        {"sampling_frequency_available", "1 \x1b]0;title\x07"},
    };
    for (const auto &[name, content] : rates) {
        SimulatedIioDevice sim;
        sim.setAttribute(name, content);
        QString error;
        const std::optional<IioDevice> device = IioDevice::read(sim.path(), &error);
        ASSERT_TRUE(device) << name;
        EXPECT_TRUE(device->samplingFrequencyAttribute.isEmpty());  // left as it is
        EXPECT_TRUE(device->rateProblem.contains(sim.path() + "/" + name))
            << device->rateProblem.toStdString();
        EXPECT_TRUE(device->rateProblem.contains(printableText(content)));
        EXPECT_FALSE(device->rateProblem.contains(QChar(0x1b)));
        EXPECT_TRUE(device->describe().contains("rates left as they are: " + device->rateProblem));
    }
}

TEST(IioDevice, DiscoveryAndChoiceByNameNumberOrPath) {
    SimulatedIioDevice sim("lis3dh");
    // A second IIO device that is no accelerometer (a light sensor) is not found.
    QDir().mkpath(sim.root() + "/iio:device1");
    QFile light(sim.root() + "/iio:device1/in_illuminance_raw");
    ASSERT_TRUE(light.open(QIODevice::WriteOnly));
    EXPECT_EQ(IioDevice::findAccelerometers(), QStringList{sim.path()});

    QString error;
    EXPECT_EQ(IioDevice::locate(QString(), &error), sim.path());
    EXPECT_EQ(IioDevice::locate("lis3dh", &error), sim.path());
    EXPECT_EQ(IioDevice::locate("iio:device0", &error), sim.path());
    EXPECT_EQ(IioDevice::locate(sim.path(), &error), sim.path());
    EXPECT_TRUE(IioDevice::locate("adxl345", &error).isEmpty());
    EXPECT_TRUE(error.contains("adxl345")) << error.toStdString();
    EXPECT_TRUE(IioDevice::locate(sim.root() + "/iio:device1", &error).isEmpty());
    EXPECT_TRUE(error.contains("not an accelerometer")) << error.toStdString();

    // A device with raw attributes only (no buffer) still qualifies.
    sim.removeAttribute("buffer/enable");
    EXPECT_FALSE(IioDevice::read(sim.path(), &error)->buffered);
}

TEST(IioDevice, APermissionErrorNamesTheFileAndTheFix) {
    const QString denied = iioOpenError("/dev/iio:device3", EACCES);
    EXPECT_TRUE(denied.contains("/dev/iio:device3")) << denied.toStdString();
    EXPECT_TRUE(denied.contains("60-shakelog-iio.rules")) << denied.toStdString();
    EXPECT_TRUE(denied.contains("docs/sensors.md")) << denied.toStdString();
    EXPECT_FALSE(iioOpenError("/dev/iio:device3", ENOENT).contains("udev"));
}

TEST(SysfsAttributes, PutsBackWhatItFoundLastChangeFirst) {
    SimulatedIioDevice sim;
    sim.setAttribute("buffer/length", "2");
    {
        SysfsAttributes attributes(sim.path());
        QString error;
        ASSERT_TRUE(attributes.write("buffer/length", "64", &error)) << error.toStdString();
        ASSERT_TRUE(attributes.write("buffer/length", "128", &error));
        ASSERT_TRUE(attributes.write("buffer/enable", "0", &error));  // unchanged: not recorded
        EXPECT_EQ(sim.attribute("buffer/length"), "128");
        // A write that fails names the file and the reason, and changes nothing.
        QDir().mkpath(sim.path() + "/trigger/current_trigger_dir");
        EXPECT_FALSE(attributes.write("trigger/current_trigger_dir", "x", &error));
        EXPECT_TRUE(error.contains(sim.path() + "/trigger/current_trigger_dir"))
            << error.toStdString();
    }
    // Restored in the opposite order: 128 → 64 → 2. In order it would end at 64.
    EXPECT_EQ(sim.attribute("buffer/length"), "2");
}

}  // namespace
