// recording_writer DIR: records a sine wave into DIR as fast as it can, its clock running a
// hundred samples ahead each time it writes what it holds, until it is killed.
#include "recording/Recorder.h"

#include <QCoreApplication>

#include <cmath>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        return 2;
    }
    QString error;
    const auto recorder = Recorder::start(
        {QString::fromLocal8Bit(argv[1]), {QStringLiteral("XX"), QStringLiteral("KILL"), {}}, 100},
        &error, [] { return 1.8e9; });
    if (!recorder) {
        return 1;
    }
    for (long i = 0;; ++i) {
        const double value = std::sin(double(i) / 10.0);
        recorder->addSample({value, -value, -1.0, double(i) / 100.0});
        if (i % 100 == 99) {
            recorder->flush();
        }
    }
}
