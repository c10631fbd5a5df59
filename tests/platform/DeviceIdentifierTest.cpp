#include "platform/DeviceIdentifier.h"
#include "support/Printers.h"

#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(DeviceIdentifier, DerivedFromTheMachineIdWithoutGivingItAway) {
    QTemporaryDir dir;
    const auto file = [&dir](const QString &name, const QByteArray &content) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
        return f.fileName();
    };
    const QByteArray id = "0123456789abcdef0123456789abcdef";
    const QString machine = file("machine-id", id + "\n");
    // The keyed hash of the id (HMAC-SHA-256, the first 16 bytes), as openssl computes it: the
    // identifiers a server has already seen stay the same.
    const QString expected = "d9de697395b81ec34d80b619b4e92bb5";
    EXPECT_EQ(DeviceIdentifier::derivedIdentifier({machine}), expected);
    EXPECT_EQ(DeviceIdentifier::derivedIdentifier({file("bare", id)}), expected);
    EXPECT_NE(DeviceIdentifier::derivedIdentifier({file("other", "f" + id.mid(1))}), expected);
    // A file that is missing or blank gives way to the next.
    EXPECT_EQ(DeviceIdentifier::derivedIdentifier(
                  {dir.filePath("missing"), file("blank", "\n"), machine}),
              expected);
    // Without any machine id the host name stands in for it.
    EXPECT_EQ(
        DeviceIdentifier::derivedIdentifier({dir.filePath("missing")}),
        DeviceIdentifier::derivedIdentifier({file("host", QSysInfo::machineHostName().toUtf8())}));
    // The application's own comes from the system's files.
    DeviceIdentifier::setOverride({});
    EXPECT_EQ(DeviceIdentifier::uniqueIdentifier(),
              DeviceIdentifier::derivedIdentifier(DeviceIdentifier::machineIdFiles()));
}

}  // namespace
