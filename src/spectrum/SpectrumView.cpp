#include "spectrum/SpectrumView.h"

#include "platform/CFormat.h"
#include "spectrum/Calculation.h"
#include "ui/ActivityIndicator.h"
#include "ui/GraphView.h"
#include "ui/PanelSlide.h"
#include "ui/SegmentedControl.h"
#include "ui/Switch.h"
#include "ui_Spectrum.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <algorithm>

namespace {
struct AxisStyle {
    const char *name;
    QColor colour;
};
const AxisStyle kAxes[] = {{"X", QColor::fromRgbF(0.2f, 0.8f, 0.2f)},
                           {"Y", QColor::fromRgbF(0.8f, 0.2f, 0.2f)},
                           {"Z", QColor::fromRgbF(0.2f, 0.2f, 0.8f)}};
}  // namespace

SpectrumView::SpectrumView(QWidget *parent)
    : QWidget(parent), mUi(std::make_unique<Ui::Spectrum>()) {
    mUi->setupUi(this);
    mActivity = mUi->mActivity;
    mSwitch = mUi->mSwitch;
    mSegment = mUi->mSegment;
    mSegment->setSegments({QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")});
    mSwitch->setOn(true);
    mActivity->stopAnimating();
    connect(mSegment, &SegmentedControl::valueChanged, this, &SpectrumView::segChange);
    connect(mUi->refreshButton, &QPushButton::clicked, this, &SpectrumView::refershClick);
    connect(mUi->doneButton, &QPushButton::clicked, this, &SpectrumView::doneClicked);
    // As loaded: the timer runs for the life of the panel; its ticks count only while open.
    startTimer();
    mIsRefreshing = false;
}

SpectrumView::~SpectrumView() { stopTimer(); }

void SpectrumView::startTimer() {
    stopTimer();
    mTimer = new QTimer(this);
    mTimer->setInterval(std::chrono::milliseconds(qint64(kRefreshSeconds * 1000)));
    connect(mTimer, &QTimer::timeout, this, &SpectrumView::ticked);
    mTimer->start();
}

void SpectrumView::stopTimer() {
    delete mTimer;
    mTimer = nullptr;
}

void SpectrumView::ticked() {
    if (mSwitch->isOn() && mIsRefreshing) {
        update();
    }
}

void SpectrumView::segChange() { update(); }

void SpectrumView::refershClick() { update(); }

void SpectrumView::doneClicked() {
    mIsRefreshing = false;
    PanelSlide::slideDown(this);
}

QString SpectrumView::peakLabel(int axis, double hz) {
    const char *name = axis >= 0 && axis < 3 ? kAxes[axis].name : "";
    return cFormat("%s: %.2f Hz", name, hz);
}

QPointF SpectrumView::labelPosition(int peakIndex, double y, int axis) {
    const float x = float(peakIndex) * kBucketWidth + 5.0f + 2.0f * float(axis);
    return QPointF(double(x), std::max(y, kLabelTop) + 14.0 * axis);
}

SpectrumBuckets SpectrumView::spectrumOfAxis(int axis) {
    for (int i = 0; i < SpectrumBuckets::kLength; ++i) {
        re[i] = mGraphView ? mGraphView->getHistory(i + kFirstOffset, axis) : 0.0;
        im[i] = 0.0;
    }
    fft_swap(re, im, SpectrumBuckets::kLength);
    fft_ifft(re, im, SpectrumBuckets::kLength, 1);
    fft_swap(re, im, SpectrumBuckets::kLength);
    return SpectrumBuckets::fromSpectrum(re, im, mGraphView ? mGraphView->frequency() : 100.0f);
}

void SpectrumView::renderSpectrum(int axis, QPainter &context) {
    const SpectrumBuckets spectrum = spectrumOfAxis(axis);
    if (axis >= 0 && axis < 3) {
        context.setPen(QPen(kAxes[axis].colour, 2.0));
    }
    QFont small = context.font();
    small.setPixelSize(10);
    QFont large = context.font();
    large.setPixelSize(14);

    // An empty spectrum (a history of zeros) has no scale: it is drawn flat, without a label.
    const float scale = spectrum.peak > 0.0 ? float(kSpan / spectrum.peak) : 0.0f;
    const QPen curvePen = context.pen();
    QPainterPath path;
    for (int k = 0; k < 50; ++k) {
        const double y = curveY(scale, spectrum.bucket[size_t(k)]);
        const QPointF point(k == 0 ? 0.0 : double(float(k) * kBucketWidth), y);
        if (k == 0) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
        // Texts are filled in black and placed by their top-left corner.
        context.setPen(Qt::black);
        if (k == spectrum.peakIndex && spectrum.peak > 0.0) {
            context.setFont(large);
            context.drawText(QRectF(labelPosition(spectrum.peakIndex, y, axis), QSizeF(200, 30)),
                             Qt::AlignLeft | Qt::AlignTop, peakLabel(axis, spectrum.hz));
        }
        if (k % 5 == 0) {
            context.setFont(small);
            context.drawText(QRectF(double(float(k) * kBucketWidth), kNumbersY, 40, 20),
                             Qt::AlignLeft | Qt::AlignTop, QString::number(k));
        }
        context.setPen(curvePen);
    }
    context.strokePath(path, curvePen);
}

void SpectrumView::paintEvent(QPaintEvent *) {
    mActivity->startAnimating();
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int axis = 0; axis < 3; ++axis) {
        renderSpectrum(axis, painter);
    }
    mActivity->stopAnimating();
}
