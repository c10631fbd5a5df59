#pragma once

#include <QObject>
#include <QPointer>

class QProgressBar;

// Makes a QProgressBar a progress indicator for the HTTP client: it answers to
// setProgress(float) (a fraction from 0 to 1) and setMaxValue(double). Main thread.
class ProgressBarIndicator : public QObject {
    Q_OBJECT
public:
    explicit ProgressBarIndicator(QProgressBar *bar, QObject *parent = nullptr);

    Q_INVOKABLE void setProgress(float fraction);
    Q_INVOKABLE void setMaxValue(double maximum);

private:
    static constexpr int kSteps = 1000;  // the bar counts in thousandths
    QPointer<QProgressBar> mBar;
    double mMaximum = 1.0;
};
