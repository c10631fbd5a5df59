// The reference of bench/start-time: a Qt widget application that does nothing but start, draw
// its first frame into a PNG and quit, started the way `shakelog --screenshot FILE --after 0` is.
//
//   bare_window FILE
#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare_window FILE\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    // The application's window size, with one line of text so that a font is loaded too.
    QLabel window(QStringLiteral("Shakelog"));
    window.resize(320, 460);
    window.show();
    int status = 0;
    QTimer::singleShot(0, &window, [&window, &file, &status] {
        if (!window.grab().save(file, "PNG")) {
            std::fprintf(stderr, "bare_window: cannot write %s\n", qPrintable(file));
            status = 1;
        }
        QCoreApplication::quit();
    });
    QApplication::exec();
    return status;
}
