#include "support/BuiltProgram.h"
#include "support/EventLoop.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// shakelog-server as a process on 127.0.0.1 and a free port, with a database of its own.
class ServerProcess {
public:
    explicit ServerProcess(const QStringList &extra = {}) {
        mProcess.setProcessChannelMode(QProcess::SeparateChannels);
        startBuiltProgram(
            mProcess, SHAKELOG_SERVER_EXECUTABLE,
            QStringList{"--listen", "127.0.0.1:0", "--database", "sqlite:" + databasePath()} +
                extra);
        const QRegularExpression listening("listening on http://127\\.0\\.0\\.1:(\\d+)/");
        pumpUntil(
            [&] {
                mProcess.waitForReadyRead(50);
                mErr += mProcess.readAllStandardError();
                const auto match = listening.match(QString::fromUtf8(mErr));
                port = match.hasMatch() ? match.captured(1).toInt() : 0;
                return port > 0 || mProcess.state() == QProcess::NotRunning;
            },
            30000);
    }
    ~ServerProcess() {
        if (mProcess.state() != QProcess::NotRunning) {
            mProcess.kill();
            mProcess.waitForFinished();
        }
    }
    QString databasePath() const { return mDir.filePath("reports.sqlite"); }
    // Standard error so far.
    QString err() {
        mErr += mProcess.readAllStandardError();
        return QString::fromUtf8(mErr);
    }
    QProcess &process() { return mProcess; }

    int port = 0;

private:
    QTemporaryDir mDir;
    QProcess mProcess;
    QByteArray mErr;
};

bool waitFor(QTcpSocket &socket, const QByteArray &text, QByteArray &received) {
    pumpUntil(
        [&] {
            socket.waitForReadyRead(50);
            received += socket.readAll();
            return received.contains(text) || socket.state() != QAbstractSocket::ConnectedState;
        },
        30000);
    return received.contains(text);
}

TEST(ServerProcess, FinishesTheRequestUnderWayOnSigtermThenExits0) {
    ServerProcess server;
    ASSERT_GT(server.port, 0) << server.err().toStdString();

    const QByteArray body =
        "--b0undary\r\nContent-Disposition: form-data; name=\"signal\"\r\n\r\n"
        "1.000000,2.000000,3.000000\n\r\n--b0undary--\r\n";
    QTcpSocket client;
    client.connectToHost("127.0.0.1", quint16(server.port));
    ASSERT_TRUE(client.waitForConnected(10000));
    // The server's "100 Continue" says that a worker is inside this request.
    client.write(
        "POST /report?device_id=slow&lat=1&lon=2&alt=3&sampling=100&version=1.0.0"
        "&local_datetime=2026-12-08%2019:21:45&isearthquake=N&action=add HTTP/1.1\r\n"
        "Host: 127.0.0.1\r\nExpect: 100-continue\r\n"
        "Content-Type: multipart/form-data; boundary=b0undary\r\n"
        "Content-Length: " +
        QByteArray::number(body.size()) + "\r\n\r\n");
    QByteArray received;
    ASSERT_TRUE(waitFor(client, "100 Continue", received)) << received.constData();

    server.process().terminate();  // SIGTERM
    pumpUntil([&] { return server.err().contains("stopping after the requests under way"); });
    ASSERT_TRUE(server.err().contains("stopping")) << server.err().toStdString();
    client.write(body.left(20));
    client.flush();
    client.write(body.mid(20));
    EXPECT_TRUE(waitFor(client, "\r\n\r\nreceived", received)) << received.constData();
    EXPECT_TRUE(received.contains("HTTP/1.1 200 OK")) << received.constData();

    ASSERT_TRUE(server.process().waitForFinished(30000));
    EXPECT_EQ(server.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.process().exitCode(), 0) << server.err().toStdString();
    EXPECT_TRUE(server.err().contains("shakelog-server: stopped"));

    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "process-test");
    {
        db.setDatabaseName(server.databasePath());
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec("SELECT device_id FROM reports") && query.next());
        EXPECT_EQ(query.value(0).toString(), "slow");
        db.close();
    }
    db = {};
    QSqlDatabase::removeDatabase("process-test");
}

TEST(ServerProcess, RefusesBadOptionsWithTheirReason) {
    struct Case {
        QStringList arguments;
        QString reason;
    };
    const std::vector<Case> cases = {
        {{"--listen", "8080"}, "--listen must be HOST:PORT, e.g. 127.0.0.1:8080"},
        {{"--database", "mysql://x@y/z"},
         "--database must be sqlite:PATH or postgresql://USER@HOST:PORT/DB (no password in it)"},
        {{"--database", "postgresql://u:pw@127.0.0.1:5432/db"},
         "--database must be sqlite:PATH or postgresql://USER@HOST:PORT/DB (no password in it)"},
        {{"--event-devices", "0"}, "--event-devices must be a whole number from 1 to 100000"},
        {{"--admin-token-file", "/nonexistent/token"},
         "cannot read the admin token file /nonexistent/token"},
    };
    for (const Case &c : cases) {
        QProcess process;
        startBuiltProgram(process, SHAKELOG_SERVER_EXECUTABLE, c.arguments);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError())
                        .startsWith("shakelog-server: " + c.reason))
            << c.reason.toStdString();
    }
}

}  // namespace
