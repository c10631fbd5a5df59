#include "server/Schema.h"
#include "server/TestServer.h"

#include <QSqlRecord>

#include <gtest/gtest.h>

namespace {

class Schema_ : public ::testing::Test {
protected:
    // The server's steps and one more, as the next schema would add it.
    static std::vector<Migration> withNextStep(const QStringList &statements) {
        std::vector<Migration> steps = Schema::migrations();
        steps.push_back({steps.back().version + 1, statements});
        return steps;
    }
    int latest() const { return Schema::migrations().back().version; }
    QSqlDatabase connection() { return db.database->connection(); }

    TestDatabase db;
};

TEST_F(Schema_, CreatesEveryTableOnAnEmptyDatabaseOnce) {
    QSqlDatabase c = connection();
    EXPECT_EQ(Schema::version(c), 0);
    ASSERT_EQ(db.store->migrate(), std::nullopt);
    EXPECT_EQ(Schema::version(c), latest());
    for (const char *table : {"reports", "events", "event_reports", "schema_version"}) {
        EXPECT_EQ(db.count(table), QString(table) == "schema_version" ? 1 : 0) << table;
    }
    const QSqlRecord columns = c.record("reports");
    for (const char *column : {"id", "device_id", "lat", "lon", "alt", "sampling", "version",
                               "local_datetime", "isearthquake", "trigger_kind", "trigger_start",
                               "pga", "received_at", "signal_sha256", "signal", "samples"}) {
        EXPECT_TRUE(columns.contains(column)) << column;
    }
    // A second start finds nothing to do.
    EXPECT_EQ(db.store->migrate(), std::nullopt);
    EXPECT_EQ(db.count("schema_version"), 1);
}

TEST_F(Schema_, BringsAPreviousVersionUpKeepingItsReports) {
    ASSERT_EQ(db.store->migrate(), std::nullopt);
    ReportRecord record;
    record.deviceId = "dev-1";
    record.version = "1.0.0";
    record.localDateTime = "2026-12-08 19:21:45";
    record.signal = "1,2,3\n";
    record.signalSha256 = "ab";
    ASSERT_EQ(db.store->insert(record, QDateTime::currentDateTimeUtc()),
              ReportStore::Outcome::Stored);

    QSqlDatabase c = connection();
    ASSERT_EQ(
        Schema::migrate(c, withNextStep({"ALTER TABLE reports ADD COLUMN note TEXT",
                                         "CREATE TABLE test_notes (id {ID}, text TEXT NOT NULL)"})),
        std::nullopt);
    EXPECT_EQ(Schema::version(c), latest() + 1);
    EXPECT_TRUE(c.record("reports").contains("note"));
    EXPECT_EQ(db.count("test_notes"), 0);
    EXPECT_EQ(db.count("reports"), 1);
    EXPECT_EQ(db.store->find(1)->record.deviceId, "dev-1");
}

TEST_F(Schema_, LeavesTheDatabaseAsItWasWhenAStepFails) {
    ASSERT_EQ(db.store->migrate(), std::nullopt);
    QSqlDatabase c = connection();
    const auto error = Schema::migrate(
        c, withNextStep({"CREATE TABLE test_notes (id {ID})", "THIS IS NO STATEMENT"}));
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains("THIS IS NO STATEMENT")) << error->toStdString();
    EXPECT_EQ(Schema::version(c), latest());
    EXPECT_EQ(db.count("test_notes"), -1);
}

TEST_F(Schema_, RefusesADatabaseOfANewerServer) {
    QSqlDatabase c = connection();
    ASSERT_EQ(Schema::migrate(c, withNextStep({"CREATE TABLE test_notes (id {ID})"})),
              std::nullopt);
    const auto error = db.store->migrate();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, QStringLiteral("the database has schema version %1; this server knows up "
                                     "to %2")
                          .arg(latest() + 1)
                          .arg(latest()));
}

}  // namespace
