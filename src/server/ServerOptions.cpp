#include "server/ServerOptions.h"

#include <QDir>
#include <QStandardPaths>

#include <cmath>
#include <limits>

namespace {

struct Bad {
    QString reason;
};

// A number option within [low, high]; throws Bad otherwise, caught once in read().
double numberOption(const QCommandLineParser &parser, const QString &name, double low,
                    double high) {
    bool ok = false;
    const double x = parser.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(x) || x < low || x > high) {
        throw Bad{
            QStringLiteral("--%1 must be a number from %2 to %3").arg(name).arg(low).arg(high)};
    }
    return x;
}

int integerOption(const QCommandLineParser &parser, const QString &name, int low, int high) {
    bool ok = false;
    const int x = parser.value(name).toInt(&ok);
    if (!ok || x < low || x > high) {
        throw Bad{QStringLiteral("--%1 must be a whole number from %2 to %3")
                      .arg(name)
                      .arg(low)
                      .arg(high)};
    }
    return x;
}

}  // namespace

QString ServerOptions::defaultDatabasePath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("shakelog-server/reports.sqlite"));
}

void ServerOptions::addTo(QCommandLineParser &parser) {
    const ServerOptions d;
    parser.addOptions({
        {QStringLiteral("listen"),
         QStringLiteral("Address and port to listen on (default 127.0.0.1:8080; port 0 picks a "
                        "free one)."),
         QStringLiteral("HOST:PORT"), QStringLiteral("127.0.0.1:8080")},
        {QStringLiteral("database"),
         QStringLiteral("sqlite:PATH or postgresql://USER@HOST:PORT/DB (password from "
                        "PGPASSWORD). Default: sqlite:%1.")
             .arg(defaultDatabasePath()),
         QStringLiteral("URL")},
        {QStringLiteral("admin-token-file"),
         QStringLiteral("File holding the token that DELETE requests must send as "
                        "'Authorization: Bearer TOKEN'. Without it, deleting is off."),
         QStringLiteral("FILE")},
        {QStringLiteral("event-devices"),
         QStringLiteral("Devices that must report together to form an event (default 3)."),
         QStringLiteral("N"), QString::number(d.eventDevices)},
        {QStringLiteral("event-seconds"),
         QStringLiteral("Seconds within which their reports must fall (default 60)."),
         QStringLiteral("T"), QString::number(d.eventSeconds)},
        {QStringLiteral("event-km"),
         QStringLiteral("Kilometres within which the devices must lie (default 100)."),
         QStringLiteral("D"), QString::number(d.eventKm)},
        {QStringLiteral("max-body-bytes"),
         QStringLiteral("Largest request body taken (default 4194304)."), QStringLiteral("BYTES"),
         QString::number(d.maxBodyBytes)},
        {QStringLiteral("threads"),
         QStringLiteral("Worker threads, each serving one connection at a time (default 32)."),
         QStringLiteral("N"), QString::number(d.threads)},
        {QStringLiteral("read-timeout"),
         QStringLiteral("Seconds one read of a request may wait for the client (default 10)."),
         QStringLiteral("SECONDS"), QString::number(d.readTimeoutSeconds)},
        {QStringLiteral("write-timeout"),
         QStringLiteral("Seconds one write of an answer may wait for the client (default 10)."),
         QStringLiteral("SECONDS"), QString::number(d.writeTimeoutSeconds)},
        {QStringLiteral("max-connections"),
         QStringLiteral("Connections held at once, served or waiting; more are answered 503 "
                        "(default 256)."),
         QStringLiteral("N"), QString::number(d.maxConnections)},
    });
}

std::variant<ServerOptions, QString> ServerOptions::read(const QCommandLineParser &parser) {
    ServerOptions options;
    try {
        const QString listen = parser.value(QStringLiteral("listen"));
        const qsizetype colon = listen.lastIndexOf(u':');
        bool portOk = false;
        options.port = listen.mid(colon + 1).toInt(&portOk);
        options.host = listen.left(colon);
        if (colon <= 0 || !portOk || options.port < 0 || options.port > 65535) {
            throw Bad{QStringLiteral("--listen must be HOST:PORT, e.g. 127.0.0.1:8080")};
        }
        const QString database = parser.isSet(QStringLiteral("database"))
                                     ? parser.value(QStringLiteral("database"))
                                     : QStringLiteral("sqlite:") + defaultDatabasePath();
        const auto target = DatabaseTarget::parse(database);
        if (!target) {
            throw Bad{
                QStringLiteral("--database must be sqlite:PATH or "
                               "postgresql://USER@HOST:PORT/DB (no password in it)")};
        }
        options.database = *target;
        options.adminTokenFile = parser.value(QStringLiteral("admin-token-file"));
        options.eventDevices = integerOption(parser, QStringLiteral("event-devices"), 1, 100000);
        options.eventSeconds = numberOption(parser, QStringLiteral("event-seconds"), 0.001, 86400);
        options.eventKm = numberOption(parser, QStringLiteral("event-km"), 0.001, 20100);
        options.maxBodyBytes = qint64(
            numberOption(parser, QStringLiteral("max-body-bytes"), 1024, 1024.0 * 1024 * 1024));
        options.threads = integerOption(parser, QStringLiteral("threads"), 1, 1024);
        options.readTimeoutSeconds = integerOption(parser, QStringLiteral("read-timeout"), 1, 3600);
        options.writeTimeoutSeconds =
            integerOption(parser, QStringLiteral("write-timeout"), 1, 3600);
        options.maxConnections =
            integerOption(parser, QStringLiteral("max-connections"), 1, 1000000);
    } catch (const Bad &bad) {
        return bad.reason;
    }
    return options;
}
