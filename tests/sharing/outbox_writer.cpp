// outbox_writer DIR COUNT: an Outbox on DIR whose every attempt is refused, COUNT rounds long.
// Each round submits a report of a size that changes from round to round and moves the clock
// two hours on, so that every kept report is tried and its file written again; with a cap of
// five reports and the 7-day expiry, files are also removed all the time. The crash-safety test
// kills it at a random moment.
#include "sharing/Outbox.h"
#include "support/Loopback.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        return 2;
    }
    int port = 0;
    bindLoopback(SOCK_STREAM, &port);  // bound and never listening: each connection is refused
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/r").arg(port));
    QDateTime now = QDateTime::currentDateTimeUtc();
    Outbox outbox(QString::fromLocal8Bit(argv[1]), [&now] { return now; });
    outbox.setCapacity(5, Outbox::kMaxBytes);
    const int count = QByteArray(argv[2]).toInt();
    int round = 0;
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, [&] {
        if (outbox.underWay() > 0) {
            return;
        }
        if (++round > count) {
            app.quit();
            return;
        }
        now = now.addSecs(2 * 60 * 60);
        outbox.sendDue();
        outbox.submit(url, QByteArray((round % 50) * 1000, 'x'), "text/plain");
    });
    pace.start(1);
    return app.exec();
}
