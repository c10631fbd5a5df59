#include "ui/OverlayLabel.h"

#include <QCoreApplication>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

// The largest difference of any colour channel between two pictures of one size.
int largestDifference(const QImage &a, const QImage &b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)),
                                std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return largest;
}

// A label of the given kind over a busy background.
template <class Label>
struct OverABackground {
    OverABackground() {
        parent.resize(200, 60);
        parent.setStyleSheet(
            QStringLiteral("background: qlineargradient(x1:0, y1:0, x2:1, y2:1, "
                           "stop:0 #d9dde4, stop:1 #203080);"));
        label.setGeometry(10, 10, 150, 20);
        label.setStyleSheet(QStringLiteral("background: transparent; font-size: 10px;"));
        label.setText(QStringLiteral("100hz"));
    }
    QWidget parent;
    Label label{&parent};
};

// The kept picture shows what a plain label shows, over the same background, through changes
// of text, size and style: within one step of rounding per channel, as the text's edges are
// blended twice (into the picture, then onto the view) instead of once.
TEST(OverlayLabel, ShowsWhatAPlainLabelShowsThroughChanges) {
    OverABackground<QLabel> plain;
    OverABackground<OverlayLabel> kept;
    const auto compare = [&](const char *step) {
        kept.parent.grab();  // a change shows at once, the picture is taken after it
        QCoreApplication::processEvents();
        const QImage a = plain.parent.grab().toImage();
        const QImage b = kept.parent.grab().toImage();
        EXPECT_LE(largestDifference(a, b), 1) << step;
    };
    const auto change = [&](const auto &how) {
        how(plain.label);
        how(kept.label);
    };
    compare("first");
    change([](QLabel &label) { label.setText(QStringLiteral("ALARM: ON")); });
    compare("text");
    change([](QLabel &label) { label.resize(90, 30); });
    compare("size");
    change([](QLabel &label) {
        label.setStyleSheet(QStringLiteral("font-size: 14px; font-weight: bold; color: #c00;"));
    });
    compare("style");
}

}  // namespace
