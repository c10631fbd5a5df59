#include "server/ReportPlot.h"
#include "ui/GraphView.h"
#include "waveform/WaveformGeometry.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <thread>

namespace {

ReportSignal constant(std::array<float, 3> sample, int count = 2048) {
    return ReportSignal(size_t(count), sample);
}

ReportSignal sine(float period, float amplitude) {
    ReportSignal signal;
    for (int k = 0; k < 2048; ++k) {
        const float v = amplitude * std::sin(float(k) * 6.2832f / period);
        signal.push_back({v, -v, 0.5f * v});
    }
    return signal;
}

QImage decode(const QByteArray &png) { return QImage::fromData(png, "PNG"); }

// The window's drawing of `signal` as its newest samples, at the plot's size, running.
QImage windowDrawing(const ReportSignal &signal, bool filtered) {
    GraphView view;
    view.resize(ReportPlot::kWidth, ReportPlot::kHeight);
    view.setUpdatingIsEnabled(true);
    view.setFilteringEnabled(filtered);
    view.setInputPrefiltered(filtered);  // stored as sent, drawn as filtered
    for (const std::array<float, 3> &s : signal) {
        view.updateHistoryWithX(s[0], s[1], s[2]);
    }
    QImage image(ReportPlot::kWidth, ReportPlot::kHeight, QImage::Format_RGB32);
    view.render(&image);
    return image;
}

TEST(ReportPlot, IsAPngOfItsSizeThatShowsTheSignal) {
    const ReportSignal cases[] = {
        {},
        constant({0, 0, 0}),
        sine(100, 0.02f),
        sine(37, 0.02f),
        sine(100, 0.5f),
        constant({0.1f, -1.0f, 0.2f}, 2),
        {{3e38f, -3e38f, 0}, {-3e38f, 3e38f, 1}, {0, 0, 0}},  // hostile: still a picture
    };
    std::vector<QImage> images;
    for (const ReportSignal &signal : cases) {
        const QImage image = decode(ReportPlot::png(signal, 100));
        ASSERT_FALSE(image.isNull()) << signal.size();
        EXPECT_EQ(image.size(), QSize(ReportPlot::kWidth, ReportPlot::kHeight));
        images.push_back(image.convertToFormat(QImage::Format_RGB32));
    }
    // Each signal draws its own traces.
    for (size_t a = 1; a < images.size(); ++a) {
        for (size_t b = 0; b < a; ++b) {
            EXPECT_NE(images[a], images[b]) << a << " and " << b;
        }
    }
}

// The window draws its 300 newest samples across its width, 30 pixels to the left. A plot of
// 300 samples of a constant signal has the same flat trace 30 pixels to the right, so left of
// the window's needles the two pictures are the same: band, grid, letters, trace height and
// amplitude curve all the window's. Only the trace's antialiasing may shade a little
// differently, its segments starting at other fractions of a pixel.
TEST(ReportPlot, DrawsAsTheWindowDoes) {
    struct Case {
        std::array<float, 3> sample;
        bool filtered;  // as the plot must guess it
    } cases[] = {
        {{0.3f, -0.6f, -0.9f}, false},     // raw: gravity in the mean
        {{0.012f, -0.02f, 0.005f}, true},  // high-passed by the sender: amplified
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.filtered ? "filtered" : "raw");
        const ReportSignal signal = constant(c.sample, Waveform::kPoints);
        EXPECT_EQ(ReportPlot::looksFiltered(signal), c.filtered);
        const QImage window = windowDrawing(constant(c.sample), c.filtered);
        const QImage plot =
            decode(ReportPlot::png(signal, 0)).convertToFormat(QImage::Format_RGB32);
        std::set<int> traceRows;
        for (unsigned axis = 0; axis < 3; ++axis) {
            const QRectF strip =
                Waveform::stripRect(int(axis), ReportPlot::kWidth, ReportPlot::kHeight);
            const float h = float(strip.height());
            const float y = Waveform::traceY(Waveform::middle(float(strip.top()), h), h,
                                             Waveform::drawnValue(c.sample[axis], c.filtered));
            const int row = int(std::floor(y));
            EXPECT_LT(qGray(plot.pixel(300, row)), 130) << "no trace on axis " << axis;
            traceRows.insert({row - 1, row, row + 1});
        }
        int elsewhere = 0, shadedApart = 0;
        for (int y = 0; y < ReportPlot::kHeight; ++y) {
            for (int x = 0; x < ReportPlot::kWidth - 40; ++x) {
                const QRgb a = window.pixel(x, y), b = plot.pixel(x, y);
                if (a != b && !traceRows.count(y)) {
                    ++elsewhere;
                }
                shadedApart +=
                    std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))}) > 16;
            }
        }
        EXPECT_EQ(elsewhere, 0);
        EXPECT_EQ(shadedApart, 0);
    }
}

TEST(ReportPlot, TimeLinesEveryFewSecondsOfTheRate) {
    // 2048 samples across 640 pixels: at 100/s a line every 2 s (62.5 pixels apart), at 10/s
    // every 30 s (15 s would be 47 pixels: too close).
    struct Case {
        int sampling;
        std::vector<int> columns;
    } cases[] = {
        {100, {63, 125, 188, 250, 313, 375, 438, 500, 563, 625}},
        {10, {94, 188, 281, 375, 469, 563}},
        {0, {}},
    };
    for (const Case &c : cases) {
        const QImage plot = decode(ReportPlot::png(constant({0, 0, 0}), c.sampling));
        // Between the first two strips only the background and the time lines show.
        std::vector<int> found;
        for (int x = 0; x < ReportPlot::kWidth; ++x) {
            const QColor colour = plot.pixelColor(x, 112);
            if (colour.blue() > colour.red() + 60 && (found.empty() || found.back() < x - 2)) {
                found.push_back(x);
            }
        }
        ASSERT_EQ(found.size(), c.columns.size()) << c.sampling;
        for (size_t k = 0; k < found.size(); ++k) {
            EXPECT_LE(std::abs(found[k] - c.columns[k]), 1) << c.sampling;
        }
    }
}

TEST(ReportPlot, WorkerThreadsDrawTheSamePicture) {
    const ReportSignal signal = sine(50, 0.03f);
    const QByteArray expected = ReportPlot::png(signal, 100);
    std::array<QByteArray, 2> drawn;
    std::vector<std::thread> threads;
    for (QByteArray &out : drawn) {
        threads.emplace_back([&out, &signal] { out = ReportPlot::png(signal, 100); });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    for (const QByteArray &out : drawn) {
        EXPECT_EQ(decode(out), decode(expected));
    }
}

}  // namespace
