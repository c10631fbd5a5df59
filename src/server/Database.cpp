#include "server/Database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>

namespace {
std::atomic<int> nextDatabase{0};
std::mutex sqliteWriters;
}  // namespace

std::optional<DatabaseTarget> DatabaseTarget::parse(const QString &text) {
    DatabaseTarget target;
    if (text.startsWith(QLatin1String("sqlite:"))) {
        target.kind = Kind::SQLite;
        target.path = text.mid(7);
        return target.path.isEmpty() ? std::nullopt : std::optional(target);
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("postgresql") || url.host().isEmpty() ||
        url.userName().isEmpty() || !url.password().isEmpty() || url.path().size() < 2 ||
        url.hasQuery()) {
        return std::nullopt;
    }
    target.kind = Kind::PostgreSQL;
    target.user = url.userName();
    target.host = url.host();
    target.port = url.port(5432);
    target.name = url.path().mid(1);
    return target;
}

QString DatabaseTarget::describe() const {
    if (kind == Kind::SQLite) {
        return QStringLiteral("sqlite:") + path;
    }
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(user, host).arg(port).arg(name);
}

Database::Database(const DatabaseTarget &target)
    : mTarget(target), mPrefix(QStringLiteral("shakelog-server-%1-").arg(nextDatabase++)) {}

Database::~Database() {
    std::lock_guard lock(mMutex);
    for (const QString &name : mNames) {
        QSqlDatabase::removeDatabase(name);
    }
}

QSqlDatabase Database::connection() {
    const QString name =
        mPrefix + QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId()));
    QSqlDatabase db;
    {
        std::lock_guard lock(mMutex);
        if (mNames.insert(name).second) {
            const bool sqlite = mTarget.kind == DatabaseTarget::Kind::SQLite;
            db = QSqlDatabase::addDatabase(
                sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), name);
            if (sqlite) {
                db.setDatabaseName(mTarget.path);
                // Writers queue for the lock rather than failing at once.
                db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
            } else {
                db.setHostName(mTarget.host);
                db.setPort(mTarget.port);
                db.setUserName(mTarget.user);
                db.setDatabaseName(mTarget.name);
                db.setPassword(qEnvironmentVariable("PGPASSWORD"));
                db.setConnectOptions(QStringLiteral("connect_timeout=10"));
            }
        } else {
            db = QSqlDatabase::database(name, false);
        }
    }
    if (!db.isOpen() && db.open() && mTarget.kind == DatabaseTarget::Kind::SQLite) {
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    }
    return db;
}

Transaction::Transaction(QSqlDatabase &db)
    : mDb(db), mSQLite(db.driverName() == QLatin1String("QSQLITE")) {
    if (mSQLite) {
        mWriterTurn = std::unique_lock(sqliteWriters);
    }
    mBegun = mSQLite ? run(QStringLiteral("BEGIN IMMEDIATE")) : mDb.transaction();
}

Transaction::~Transaction() {
    if (mBegun && !mDone) {
        if (mSQLite) {
            run(QStringLiteral("ROLLBACK"));
        } else {
            mDb.rollback();
        }
    }
}

bool Transaction::commit() {
    mDone = true;
    return mBegun && (mSQLite ? run(QStringLiteral("COMMIT")) : mDb.commit());
}

bool Transaction::run(const QString &statement) {
    QSqlQuery query(mDb);
    return query.exec(statement);
}
