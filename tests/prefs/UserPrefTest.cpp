#include "prefs/CachedSettingText.h"
#include "prefs/PreferenceStore.h"
#include "prefs/UserPref.h"
#include "support/LogCapture.h"
#include "support/Printers.h"
#include "support/RecordingStore.h"
#include "support/TempConfig.h"

#include <QFile>

#include <gtest/gtest.h>

#include <limits>

namespace {

// A value put straight into the persistent store, as an earlier run (or another writer) left
// it: the cache does not know it.
void storeBehindTheCache(const QString &key, const PrefValue &value) {
    UserPref::persistentStore().setAppValue(key, value);
}

// --- reads on a cache miss -------------------------------------------------------------------

struct MissCase {
    const char *name;
    std::optional<PrefValue> stored;  // none: the key is missing
    PrefType getter;
    PrefValue expected;
};

class CacheMissRead : public ::testing::TestWithParam<MissCase> {};

PrefValue readAs(PrefType type, const QString &key) {
    switch (type) {
    case PrefType::String: return UserPref::getString(key);
    case PrefType::Boolean: return UserPref::getBoolean(key);
    case PrefType::Integer: return UserPref::getInt(key);
    case PrefType::Float: return UserPref::getFloat(key);
    }
    return {};
}

TEST_P(CacheMissRead, ReturnsTheStoredValueOrTheTypesZero) {
    TempConfig config;
    const MissCase &c = GetParam();
    const QString key = QStringLiteral("KEY");
    if (c.stored) {
        storeBehindTheCache(key, *c.stored);
    }
    EXPECT_EQ(readAs(c.getter, key), c.expected);
    if (!c.stored) {
        // A missing key is created with the zero value, persisted and cached.
        EXPECT_EQ(UserPref::persistentStore().copyAppValue(key), c.expected);
        EXPECT_TRUE(UserPref::sharedCache()->userPrefDict().contains(key));
        config.reopen();
        EXPECT_EQ(UserPref::persistentStore().copyAppValue(key), c.expected);
    } else {
        // What the store had is returned but not cached: only writes fill the cache.
        EXPECT_FALSE(UserPref::sharedCache()->userPrefDict().contains(key));
    }
}

inline void PrintTo(const MissCase &c, std::ostream *os) { *os << c.name; }

const QString kEmpty;

INSTANTIATE_TEST_SUITE_P(
    Rules, CacheMissRead,
    ::testing::Values(MissCase{"MissingString", std::nullopt, PrefType::String, kEmpty},
                      MissCase{"MissingBoolean", std::nullopt, PrefType::Boolean, false},
                      MissCase{"MissingInt", std::nullopt, PrefType::Integer, qint32(0)},
                      MissCase{"MissingFloat", std::nullopt, PrefType::Float, 0.0f},
                      MissCase{"EmptyString", QString(""), PrefType::String, kEmpty},
                      MissCase{"String", QStringLiteral("10.0.2.1"), PrefType::String,
                               QStringLiteral("10.0.2.1")},
                      MissCase{"BooleanTrue", true, PrefType::Boolean, true},
                      MissCase{"BooleanFalse", false, PrefType::Boolean, false},
                      MissCase{"NumberOneAsBoolean", qint32(1), PrefType::Boolean, false},
                      MissCase{"FloatOneAsBoolean", 1.0f, PrefType::Boolean, false},
                      MissCase{"Int", qint32(-10552), PrefType::Integer, qint32(-10552)},
                      MissCase{"WholeFloatAsInt", 2.0f, PrefType::Integer, qint32(2)},
                      MissCase{"FractionalFloatAsInt", 2.5f, PrefType::Integer, qint32(0)},
                      MissCase{"HugeFloatAsInt", 1e20f, PrefType::Integer, qint32(0)},
                      MissCase{"IntAsFloat", qint32(7), PrefType::Float, 7.0f},
                      MissCase{"InexactIntAsFloat", qint32(16777217), PrefType::Float, 0.0f},
                      MissCase{"Float", 0.33f, PrefType::Float, 0.33f},
                      MissCase{"StringAsInt", QStringLiteral("12"), PrefType::Integer, qint32(0)},
                      MissCase{"IntAsString", qint32(12), PrefType::String, kEmpty}),
    [](const auto &info) { return std::string(info.param.name); });

// --- reads on a cache hit --------------------------------------------------------------------

TEST(UserPref, CachedValuesConvertAsBoxedNumbers) {
    TempConfig config;
    UserPref::setInt(QStringLiteral("N"), 1);
    EXPECT_TRUE(UserPref::getBoolean(QStringLiteral("N")));  // unlike the same value on a miss
    UserPref::setFloat(QStringLiteral("F"), 2.5f);
    EXPECT_EQ(UserPref::getInt(QStringLiteral("F")), 2);
    UserPref::setFloat(QStringLiteral("G"), -2.5f);
    EXPECT_EQ(UserPref::getInt(QStringLiteral("G")), -2);
    UserPref::setBoolean(QStringLiteral("B"), true);
    EXPECT_EQ(UserPref::getInt(QStringLiteral("B")), 1);
    UserPref::setInt(QStringLiteral("Z"), 0);
    EXPECT_FALSE(UserPref::getBoolean(QStringLiteral("Z")));
}

TEST(UserPref, WritesFillTheCacheAndClearCacheSendsReadsToTheStore) {
    TempConfig config;
    UserPref::setInt(QStringLiteral("SCAN_RATE"), 50);
    storeBehindTheCache(QStringLiteral("SCAN_RATE"), qint32(80));
    EXPECT_EQ(UserPref::getInt(QStringLiteral("SCAN_RATE")), 50);  // the store is not consulted
    UserPref::sharedCache()->clearCache();
    EXPECT_EQ(UserPref::getInt(QStringLiteral("SCAN_RATE")), 80);
    EXPECT_TRUE(UserPref::sharedCache()->userPrefDict().isEmpty());
}

TEST(UserPref, EveryWriteIsFlushedAndTheLastOneWins) {
    TempConfig config;
    auto recording = std::make_unique<RecordingStore>(config.directory());
    RecordingStore *store = recording.get();
    UserPref::useStore(std::move(recording));

    UserPref::setString(QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
    UserPref::setString(QStringLiteral("IP"), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(store->synchronizations, 2);
    EXPECT_EQ(UserPref::getString(QStringLiteral("IP")), QStringLiteral("127.0.0.2"));

    config.reopen();  // a new process reads the file
    EXPECT_EQ(UserPref::getString(QStringLiteral("IP")), QStringLiteral("127.0.0.2"));
}

TEST(UserPref, TypesStayApartInTheFile) {
    TempConfig config;
    UserPref::setBoolean(QStringLiteral("B"), true);
    UserPref::setInt(QStringLiteral("I"), 1);
    UserPref::setFloat(QStringLiteral("F"), 1.0f);
    UserPref::setString(QStringLiteral("S"), QStringLiteral("1"));
    config.reopen();
    PreferenceStore &store = UserPref::persistentStore();
    EXPECT_EQ(store.copyAppValue(QStringLiteral("B")), PrefValue(true));
    EXPECT_EQ(store.copyAppValue(QStringLiteral("I")), PrefValue(qint32(1)));
    EXPECT_EQ(store.copyAppValue(QStringLiteral("F")), PrefValue(1.0f));
    EXPECT_EQ(store.copyAppValue(QStringLiteral("S")), PrefValue(QStringLiteral("1")));
    EXPECT_FALSE(UserPref::getBoolean(QStringLiteral("I")));
}

TEST(UserPref, AFloatTheFileCannotHoldIsRefusedAndTheEarlierValueKept) {
    TempConfig config;
    UserPref::setFloat(QStringLiteral("F"), 0.5f);
    UserPref::setInt(QStringLiteral("PORT"), 10552);
    LogCapture log;
    for (const float bad :
         {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
          std::numeric_limits<float>::quiet_NaN(), float(1e39)}) {
        UserPref::setFloat(QStringLiteral("F"), bad);
        UserPref::setValue(QStringLiteral("F"), bad);
        EXPECT_EQ(UserPref::getFloat(QStringLiteral("F")), 0.5f);
    }
    EXPECT_EQ(log.lines().size(), 8);
    EXPECT_EQ(log.lines().value(0),
              QStringLiteral("Setting F not saved: inf is not a finite number"));
    config.reopen();  // the next launch reads every setting back
    EXPECT_EQ(UserPref::getFloat(QStringLiteral("F")), 0.5f);
    EXPECT_EQ(UserPref::getInt(QStringLiteral("PORT")), 10552);
    EXPECT_FALSE(QFile::exists(config.filePath() + ".corrupt"));
}

TEST(UserPref, InstanceMethodsForwardAndUnitTestLogs) {
    TempConfig config;
    LogCapture log;
    UserPref *shared = UserPref::sharedCache();
    EXPECT_EQ(shared, UserPref::sharedCache());
    shared->setInt(QStringLiteral("X"), 3);
    EXPECT_EQ(UserPref::getInt(QStringLiteral("X")), 3);
    shared->unitTest();
    // It logs what it read back of each type, then the cache's size: X and its four keys.
    const QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].endsWith("unit test"));
    EXPECT_TRUE(lines[1].endsWith("1"));
    EXPECT_TRUE(lines[2].endsWith("1234"));
    EXPECT_TRUE(lines[3].contains("12.5"));
    EXPECT_TRUE(lines[4].endsWith(" 5"));
    // What it wrote went to the file: a new process reads it back.
    config.reopen();
    EXPECT_EQ(UserPref::getString(QStringLiteral("UNIT_TEST_STRING")), "unit test");
    EXPECT_TRUE(UserPref::getBoolean(QStringLiteral("UNIT_TEST_BOOLEAN")));
    EXPECT_EQ(UserPref::getInt(QStringLiteral("UNIT_TEST_INT")), 1234);
    EXPECT_EQ(UserPref::getFloat(QStringLiteral("UNIT_TEST_FLOAT")), 12.5f);
}

}  // namespace

namespace {

// --- a setting kept for per-sample readers -----------------------------------------------------

TEST(CachedSettingText, EveryChangeOfThePreferencesReachesTheNextRead) {
    TempConfig config;
    const QString key = QStringLiteral("NAME");
    CachedSettingText name(key);
    // Missing: read as the empty text and stored, as getString does.
    EXPECT_EQ(name.utf8(), "");
    EXPECT_EQ(UserPref::sharedCache()->userPrefDict().value(key), PrefValue(QString()));

    UserPref::setString(key, QStringLiteral("Gerät"));
    EXPECT_EQ(name.utf8(), "Ger\xc3\xa4t");
    EXPECT_EQ(name.utf8(), "Ger\xc3\xa4t");
    UserPref::setInt(key, 7);  // another type: read as getString converts it
    EXPECT_EQ(name.utf8(), UserPref::getString(key).toUtf8());

    // Another store (a new preference folder): its value, not the one kept.
    TempConfig other;
    UserPref::setString(key, QStringLiteral("south"));
    other.reopen();
    EXPECT_EQ(name.utf8(), "south");
}

}  // namespace
