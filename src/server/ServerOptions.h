#pragma once

#include "server/Database.h"

#include <QCommandLineParser>
#include <QString>

#include <variant>

// How the server runs, from its command line.
struct ServerOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 8080;
    DatabaseTarget database;
    QString adminTokenFile;  // empty: deleting is off
    // The event rule: at least `eventDevices` devices within `eventSeconds` and `eventKm`.
    int eventDevices = 3;
    double eventSeconds = 60;
    double eventKm = 100;
    qint64 maxBodyBytes = 4 * 1024 * 1024;
    int threads = 32;
    int readTimeoutSeconds = 10;
    int writeTimeoutSeconds = 10;
    int maxConnections = 256;

    // The default database: shakelog-server/reports.sqlite in the XDG data folder.
    static QString defaultDatabasePath();

    static void addTo(QCommandLineParser &parser);
    // The options of a parsed command line, or the one-line reason they are wrong.
    static std::variant<ServerOptions, QString> read(const QCommandLineParser &parser);
};
