#pragma once

#include "platform/SystemLog.h"
#include "server/Database.h"
#include "server/ReportServer.h"
#include "server/ReportStore.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// The log lines while alive; the server writes them from its worker threads.
class ServerLog {
public:
    ServerLog() {
        SystemLog::setSink([this](const QString &line) {
            std::lock_guard lock(mMutex);
            mLines.append(line);
        });
    }
    ~ServerLog() { SystemLog::setSink({}); }
    bool contains(const QRegularExpression &line) const {
        std::lock_guard lock(mMutex);
        return mLines.indexOf(line) >= 0;
    }
    QString text() const {
        std::lock_guard lock(mMutex);
        return mLines.join(u'\n');
    }

private:
    mutable std::mutex mMutex;
    QStringList mLines;
};

// The database of a test: a fresh SQLite file, or with SHAKELOG_TEST_POSTGRESQL set to a
// postgresql:// URL, that database emptied of the server's tables.
class TestDatabase {
public:
    TestDatabase() {
        const QString url = qEnvironmentVariable("SHAKELOG_TEST_POSTGRESQL");
        target = url.isEmpty()
                     ? *DatabaseTarget::parse(QStringLiteral("sqlite:") + mDir.filePath("r.sqlite"))
                     : *DatabaseTarget::parse(url);
        database = std::make_unique<Database>(target);
        if (target.kind == DatabaseTarget::Kind::PostgreSQL) {
            QSqlDatabase db = database->connection();
            QSqlQuery query(db);
            query.exec(
                "DROP TABLE IF EXISTS event_reports, events, reports, schema_version, "
                "test_notes CASCADE");
        }
        store = std::make_unique<ReportStore>(*database);
    }

    // The rows of a table, or -1 when it cannot be read.
    int count(const QString &table) {
        QSqlDatabase db = database->connection();
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table) || !query.next()) {
            return -1;
        }
        return query.value(0).toInt();
    }

    DatabaseTarget target;
    std::unique_ptr<Database> database;
    std::unique_ptr<ReportStore> store;

private:
    QTemporaryDir mDir;
};

// The server in this process on 127.0.0.1 and a port of its own, its schema in place.
class TestServer : public TestDatabase {
public:
    explicit TestServer(ServerOptions options = {}, std::optional<AdminToken> token = {}) {
        if (const auto error = store->migrate()) {
            throw std::runtime_error(error->toStdString());
        }
        options.port = 0;
        options.host = QStringLiteral("127.0.0.1");
        server = std::make_unique<ReportServer>(*store, options, std::move(token));
        port = server->bind();
        mThread = std::thread([this] { server->run(); });
    }
    ~TestServer() {
        server->stop();
        mThread.join();
    }

    QString url(const QString &path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
    }

    std::unique_ptr<ReportServer> server;
    int port = -1;

private:
    std::thread mThread;
};
