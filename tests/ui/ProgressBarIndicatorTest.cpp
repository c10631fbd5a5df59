#include "ui/ProgressBarIndicator.h"

#include <QMetaObject>
#include <QProgressBar>

#include <gtest/gtest.h>

TEST(ProgressBarIndicator, ShowsFractionsAsTheHttpClientDeliversThem) {
    QProgressBar bar;
    ProgressBarIndicator indicator(&bar);
    // Delivered by name, as the HTTP client does.
    EXPECT_GE(indicator.metaObject()->indexOfMethod("setProgress(float)"), 0);
    QMetaObject::invokeMethod(&indicator, "setMaxValue", Q_ARG(double, 1.0));
    QMetaObject::invokeMethod(&indicator, "setProgress", Q_ARG(float, 1.0f / 3));
    EXPECT_EQ(bar.value(), 333);
    indicator.setProgress(1.5f);
    EXPECT_EQ(bar.value(), 1000);
    indicator.setProgress(std::nanf(""));
    EXPECT_EQ(bar.value(), 1000);
}
