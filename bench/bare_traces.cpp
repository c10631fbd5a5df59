// The reference of bench/window-cpu: a bare Qt widget window of the application's size that
// redraws three 300-point antialiased polylines on white bands 100 times a second, fed by a
// timer with three sine waves: the least a window showing three live traces can cost.
//
//   bare_traces [RATE]   (samples per second; default 100)
#include <QApplication>
#include <QPainter>
#include <QPolygonF>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kPoints = 300;

class Traces : public QWidget {
public:
    void addSample() {
        const double t = double(mCount++) / 100.0;
        for (int axis = 0; axis < 3; ++axis) {
            mValues[size_t(axis)][size_t(mNext)] = 0.5 * std::sin(2 * M_PI * (axis + 1) * t);
        }
        mNext = (mNext + 1) % kPoints;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0xd9, 0xdd, 0xe4));
        painter.setRenderHint(QPainter::Antialiasing, true);
        const double pitch = height() / 3.0;
        const double h = height() * 0.25;
        QPolygonF line(kPoints);
        for (int axis = 0; axis < 3; ++axis) {
            const double top = (pitch - h) / 2 + axis * pitch;
            painter.fillRect(QRectF(0, top, width(), h), Qt::white);
            for (int j = 0; j < kPoints; ++j) {
                const double v = mValues[size_t(axis)][size_t((mNext + j) % kPoints)];
                line[j] = QPointF(j * width() / 299.0, top + h / 2 + v * h / 2);
            }
            painter.drawPolyline(line);
        }
    }

private:
    std::array<std::array<double, kPoints>, 3> mValues{};
    int mNext = 0;
    long mCount = 0;
};

}  // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const int rate = argc > 1 ? std::atoi(argv[1]) : 100;
    Traces window;
    window.resize(320, 460);
    window.show();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &window, [&window] { window.addSample(); });
    timer.start(1000 / (rate > 0 ? rate : 100));
    return QApplication::exec();
}
