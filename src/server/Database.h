#pragma once

#include <QSqlDatabase>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <set>

// Where the reports live: "sqlite:PATH" or "postgresql://USER@HOST:PORT/DB" (the password from
// PGPASSWORD, never from the command line where every user of the machine can read it).
struct DatabaseTarget {
    enum class Kind { SQLite, PostgreSQL };
    Kind kind = Kind::SQLite;
    QString path;  // SQLite
    QString user, host, name;
    int port = 5432;

    static std::optional<DatabaseTarget> parse(const QString &text);
    QString describe() const;  // for the log: no password
};

// The connections to one database.
//
// A Qt SQL connection may only be used by the thread that opened it, and the HTTP server runs
// each connection's requests on one of its worker threads. Each worker therefore opens its own
// connection on first use, named after the database and the thread: requests run in parallel
// as far as the database allows (PostgreSQL fully; SQLite with WAL lets readers go on while one
// writer writes), where a single database thread would make every request wait for every other.
// The connections are closed when the Database goes, after the server's threads have ended.
class Database {
public:
    explicit Database(const DatabaseTarget &target);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    const DatabaseTarget &target() const { return mTarget; }
    // This thread's connection, opened when needed; not open when the database cannot be
    // reached (lastError() says why), tried again at the next call.
    QSqlDatabase connection();

private:
    DatabaseTarget mTarget;
    QString mPrefix;
    std::mutex mMutex;
    std::set<QString> mNames;
};

// One transaction on a connection, rolled back unless committed. On SQLite it takes the write
// lock at its start (BEGIN IMMEDIATE), so that two writers never both read first and then find
// that they cannot write; PostgreSQL's writers wait for each other's rows anyway.
//
// SQLite's writers of this process also take turns on a mutex before BEGIN IMMEDIATE: a writer
// that finds the lock taken sleeps in SQLite's busy handler for growing spells (up to 100 ms)
// and tries again, which under load left reports waiting for up to a second while the lock
// stood free. The busy handler still covers writers of other processes.
class Transaction {
public:
    explicit Transaction(QSqlDatabase &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool begun() const { return mBegun; }
    bool commit();

private:
    bool run(const QString &statement);

    QSqlDatabase &mDb;
    bool mSQLite;
    std::unique_lock<std::mutex> mWriterTurn;
    bool mBegun = false;
    bool mDone = false;
};
