// cookies_writer DIR COUNT: stores COUNT rounds of lasting cookies in DIR's cookie file, each
// round a cookie "round" and a cookie "text" whose length varies with it, set together.
#include "http/CookieStorage.h"

#include <QCoreApplication>
#include <QDateTime>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        return 2;
    }
    CookieStorage::useDirectory(QString::fromLocal8Bit(argv[1]));
    const int count = QByteArray(argv[2]).toInt();
    const QDateTime later = QDateTime::currentDateTimeUtc().addYears(1);
    for (int round = 1; round <= count; ++round) {
        QNetworkCookie number("round", QByteArray::number(round));
        QNetworkCookie text("text", QByteArray((round % 97) * 40, 'x'));
        for (QNetworkCookie *cookie : {&number, &text}) {
            cookie->setExpirationDate(later);
        }
        CookieStorage::shared().setCookies({number, text}, QUrl("http://example.org/"));
    }
    return 0;
}
