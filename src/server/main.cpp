#include "platform/SystemLog.h"
#include "platform/TerminationSignals.h"
#include "server/AdminToken.h"
#include "server/Database.h"
#include "server/ReportServer.h"
#include "server/ReportStore.h"
#include "server/ServerOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <thread>

namespace {
int fail(const QString &reason) {
    SystemLog::log(QStringLiteral("shakelog-server: ") + reason);
    return 1;
}
}  // namespace

int main(int argc, char **argv) {
    // The plots are drawn offscreen: a server has no display, and needs none for its fonts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("shakelog-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SHAKELOG_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shakelog's data-collection server: takes the reports that Shakelog "
                       "uploads (POST /report), stores them in SQLite or PostgreSQL and shows "
                       "them (GET /api/reports). See docs/server.md."));
    parser.addHelpOption();
    parser.addVersionOption();
    ServerOptions::addTo(parser);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        return fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments()[0]));
    }
    const auto read = ServerOptions::read(parser);
    if (const auto *reason = std::get_if<QString>(&read)) {
        return fail(*reason);
    }
    const ServerOptions options = std::get<ServerOptions>(read);

    std::optional<AdminToken> adminToken;
    if (!options.adminTokenFile.isEmpty()) {
        QString error;
        adminToken = AdminToken::load(options.adminTokenFile, &error);
        if (!adminToken) {
            return fail(error);
        }
    }
    if (options.database.kind == DatabaseTarget::Kind::SQLite &&
        !QDir().mkpath(QFileInfo(options.database.path).absolutePath())) {
        return fail(QStringLiteral("cannot make the folder of %1").arg(options.database.path));
    }

    Database database(options.database);
    ReportStore store(database);
    if (const auto error = store.migrate()) {
        return fail(QStringLiteral("cannot prepare the database %1: %2")
                        .arg(options.database.describe(), *error));
    }

    int exitCode = 0;
    {
        ReportServer server(store, options, std::move(adminToken));
        const int port = server.bind();
        if (port < 0) {
            return fail(
                QStringLiteral("cannot listen on %1:%2").arg(options.host).arg(options.port));
        }
        SystemLog::log(QStringLiteral("shakelog-server: listening on http://%1:%2/ with %3")
                           .arg(options.host)
                           .arg(port)
                           .arg(options.database.describe()));
        // Before the serving thread, so that no signal finds the default action in place.
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::received, [&server] {
            SystemLog::log(
                QStringLiteral("shakelog-server: stopping after the requests under way"));
            server.stop();
        });
        std::thread serving([&] {
            if (!server.run()) {
                exitCode = 1;
            }
            QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
        });
        app.exec();
        serving.join();
    }
    SystemLog::log(QStringLiteral("shakelog-server: stopped"));
    return exitCode;
}
