#include "http/KeychainCredentialStore.h"
#include "support/LogCapture.h"
#include "support/Printers.h"

#include <gtest/gtest.h>

namespace {

const CredentialStore::Space kSpace{"127.0.0.1", 8443, "https", "vault"};

TEST(Keychain, WithoutAServiceCredentialsStayInMemory) {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        GTEST_SKIP() << "a session bus is there: the keyring test covers this machine";
    }
    LogCapture log;
    KeychainCredentialStore store(QStringLiteral("shakelog-test"), std::chrono::milliseconds(2000));
    store.setDefaultCredential({"user", "pw"}, kSpace);
    EXPECT_TRUE(store.inMemory());
    ASSERT_TRUE(store.defaultCredential(kSpace));
    EXPECT_EQ(store.defaultCredential(kSpace)->password, "pw");
    store.removeCredential(kSpace);
    EXPECT_FALSE(store.defaultCredential(kSpace));
    ASSERT_EQ(log.lines().size(), 1);  // said once
    EXPECT_TRUE(log.lines()[0].startsWith("No keychain service answered ("));
    EXPECT_TRUE(log.lines()[0].endsWith("); saved credentials are kept in memory for this run"));
}

// Run by CTest inside a private D-Bus session with an unlocked GNOME keyring.
TEST(Keychain, RealKeyringKeepsCredentialsBeyondTheStore) {
    if (qEnvironmentVariable("SHAKELOG_KEYRING_TEST") != QLatin1String("1")) {
        GTEST_SKIP() << "needs the keyring session of tests/http/with-keyring";
    }
    LogCapture log;
    {
        KeychainCredentialStore store(QStringLiteral("shakelog-test"));
        store.setDefaultCredential({"user", "secret pw"}, kSpace);
        EXPECT_FALSE(store.inMemory()) << log.lines().join('\n').toStdString();
    }
    KeychainCredentialStore again(QStringLiteral("shakelog-test"));
    const auto found = again.defaultCredential(kSpace);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->user, "user");
    EXPECT_EQ(found->password, "secret pw");
    again.removeCredential(kSpace);
    EXPECT_FALSE(again.inMemory()) << "after the removal";
    EXPECT_FALSE(again.defaultCredential(kSpace));
    EXPECT_FALSE(again.inMemory());
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();
}

}  // namespace
