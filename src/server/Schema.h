#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// One step of the schema. Statements are written once for SQLite and PostgreSQL; "{ID}" stands
// for the one thing the two spell differently, an integer key that the database assigns.
struct Migration {
    int version;
    QStringList statements;
};

namespace Schema {

// Every step so far, oldest first; the last one's version is the schema this server needs.
const std::vector<Migration> &migrations();

// Brings the database to the last of `migrations` in one transaction, recorded in the table
// schema_version: a failed step leaves the database as it was. Refuses a database whose
// version is newer than the steps it knows (a newer server wrote it). Returns the error.
std::optional<QString> migrate(QSqlDatabase &db, const std::vector<Migration> &migrations);

// The version recorded in the database; 0 when it has none.
int version(QSqlDatabase &db);

}  // namespace Schema
