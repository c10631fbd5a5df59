// prefs_writer DIR COUNT: writes COUNT rounds of settings into DIR, each round an integer
// "ROUND" and a string "TEXT" whose length varies, so that the file size keeps changing.
#include "prefs/UserPref.h"

#include <QCoreApplication>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        return 2;
    }
    UserPref::useDirectory(QString::fromLocal8Bit(argv[1]));
    const int count = QByteArray(argv[2]).toInt();
    for (int round = 1; round <= count; ++round) {
        UserPref::setString(QStringLiteral("TEXT"), QString((round % 97) * 1000, QLatin1Char('x')));
        UserPref::setInt(QStringLiteral("ROUND"), round);
    }
    return 0;
}
