#include "ui/GraphView.h"

#include "core/DateText.h"
#include "platform/PreferredLanguages.h"
#include "platform/SystemSound.h"
#include "platform/UrlOpener.h"
#include "prefs/Deployment.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "ui/AnimationLib.h"
#include "ui/ImageCache.h"
#include "waveform/TracePainter.h"
#include "waveform/WaveformGeometry.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTouchEvent>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace Waveform;

GraphView::GraphView(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_AcceptTouchEvents);
    const char *images[] = {"needle_x.png", "needle_y.png", "needle_z.png"};
    QLabel **needles[] = {&ivNeedleX, &ivNeedleY, &ivNeedleZ};
    for (int axis = 0; axis < 3; ++axis) {
        QLabel *needle = new QLabel(this);
        needle->setPixmap(ImageCache::sharedCache()->getImage(QString::fromLatin1(images[axis])));
        needle->setFixedSize(30, 16);
        needle->setAttribute(Qt::WA_TransparentForMouseEvents);
        *needles[axis] = needle;
    }
    for (unsigned axis = 0; axis < 3; ++axis) {
        const QRectF strip = stripRect(int(axis), float(width()), float(height()));
        needleOfAxis(axis)->move(0, int(strip.center().y()) - 8);
    }
    placeNeedles();
    makeDonateBanner();
    mFrameTimer.setSingleShot(true);
    mFrameTimer.setTimerType(Qt::PreciseTimer);
    connect(&mFrameTimer, &QTimer::timeout, this, &GraphView::startFrame);
}

GraphView::~GraphView() {
    if (mAlarmSoundID != 0) {
        SystemSound::shared().disposeSystemSoundID(mAlarmSoundID);
    }
}

void GraphView::setWallClock(SampleHistory::WallClock clock) {
    mHistory.setWallClock(std::move(clock));
}

void GraphView::updateHistoryWithX(float x, float y, float z) {
    const SampleHistory::Update result = mHistory.updateHistoryWithX(x, y, z);
    if (!result.recorded) {
        return;
    }
    if (result.measuredRate >= 0) {
        if (mSamplingRate) {
            mSamplingRate->setText(SampleHistory::samplingRateText(result.measuredRate));
        }
        emit samplingRateMeasured(result.measuredRate);
    }
    if (result.needsDisplay) {
        requestFrame();
    }
    if (mAlarm.isAlarmOn()) {
        advanceAlarm();
    }
}

void GraphView::advanceAlarm() {
    const ShakeAlarm::Tick tick = mAlarm.countDown(frequency());
    if (tick.arming) {
        if (mProgressAlarm) {
            mProgressAlarm->setValue(int(std::lround(tick.progress * 1000.0f)));
        }
        if (mAlarmMessage) {
            mAlarmMessage->setVisible(!tick.armed);
        }
        if (mProgressAlarm) {
            mProgressAlarm->setVisible(!tick.armed);
        }
    }
    if (tick.playSound) {
        playAlarmSound();
    }
}

void GraphView::playAlarmSound() {
    SystemSound &sound = SystemSound::shared();
    // Creation is tried again at every play while it fails; the alarm goes on regardless.
    if (mAlarmSoundID == 0) {
        mAlarmSoundID = sound.createSystemSoundID(kAlarmSound);
    }
    sound.playSystemSound(mAlarmSoundID);
}

void GraphView::setUpdatingIsEnabled(bool enabled) {
    mHistory.setUpdatingIsEnabled(enabled);
    if (enabled) {
        mViewOffset = 0;
    }
}

void GraphView::setMDrawTime(bool drawTime) {
    mHistory.setMDrawTime(drawTime);
    update();
}

void GraphView::requestFrame() {
    if (mFrameTimer.isActive()) {
        return;  // the frame already asked for will show this sample too
    }
    // A screen shows no more frames than its refresh rate: drawing more is wasted work, so
    // requests that come sooner are gathered into the next frame the screen can show.
    const qreal refreshRate = screen() ? screen()->refreshRate() : 60.0;
    const qint64 interval = qint64(1e9 / std::clamp(refreshRate, 10.0, 1000.0));
    const qint64 wait = mLastFrame.isValid() ? interval - mLastFrame.nsecsElapsed() : 0;
    if (wait <= 0) {
        startFrame();
    } else {
        mFrameTimer.start(int((wait + 999'999) / 1'000'000));
    }
}

void GraphView::startFrame() {
    // The needles are placed before the frame rather than only while drawing it: a child
    // moved during its parent's paint marks the view dirty again, which would draw every
    // frame twice. Drawing places them at the same heights, so it moves nothing more.
    if (updatingIsEnabled()) {
        const float w = float(width());
        const float h = float(height());
        for (unsigned axis = 0; axis < 3; ++axis) {
            moveNeedle(axis, drawnValue(getLatestHistory(int(axis)), filteringIsEnabled()),
                       stripRect(int(axis), w, h));
        }
    }
    update();
}

const QPixmap &GraphView::backdrop() {
    const qreal ratio = devicePixelRatioF();
    if (mBackdrop.size() != size() * ratio || mBackdrop.devicePixelRatio() != ratio) {
        mBackdrop = QPixmap(size() * ratio);
        mBackdrop.setDevicePixelRatio(ratio);
        QPainter painter(&mBackdrop);
        painter.fillRect(rect(), kViewBackground);
        painter.setRenderHint(QPainter::Antialiasing, true);
        for (int axis = 0; axis < 3; ++axis) {
            TracePainter::drawBackdrop(painter, stripRect(axis, float(width()), float(height())));
        }
    }
    return mBackdrop;
}

void GraphView::paintEvent(QPaintEvent *) {
    mLastFrame.start();
    QPainter painter(this);
    // The view's background with the strips' bands and grids: drawn once, copied each frame.
    painter.drawPixmap(0, 0, backdrop());
    painter.setRenderHint(QPainter::Antialiasing, true);
    const float w = float(width());
    const float h = float(height());
    const unsigned position = viewIndex();
    for (unsigned axis = 0; axis < 3; ++axis) {
        drawHistory(axis, position, painter, stripRect(int(axis), w, h));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void GraphView::drawHistory(unsigned axis, unsigned fromIndex, QPainter &context,
                            const QRectF &bounds) {
    const bool running = updatingIsEnabled();
    // Paused, the trace reaches on under the resting needle.
    const int n = kPoints + (running ? 0 : int(ivNeedleX->width()));

    std::vector<TracePainter::TimeMark> marks;
    if (drawTime()) {
        for (int i = 0; i < n; ++i) {
            const SampleHistory::Date &date =
                mHistory.timestampAtSlot(fromIndex + kWindowStart + unsigned(i));
            if (date) {
                marks.push_back({i, DateText::clockTime(*date)});
            }
        }
    }

    std::vector<float> values(size_t(n), 0.0f);
    const bool filtering = filteringIsEnabled();
    for (int j = 0; j < n; ++j) {
        const double stored =
            mHistory.historyAtSlot(fromIndex + kWindowStart + unsigned(j), int(axis));
        const float v = drawnValue(stored, filtering);
        if (mAlarm.tripTest(v, filtering) && mAlarmStopButton) {
            mAlarmStopButton->setStyleSheet(QStringLiteral("background-color: red"));
        }
        values[size_t(j)] = v;
    }

    const float x = float(bounds.x());
    TracePainter::drawForeground(context, bounds,
                                 {axis, values, x - kLeftShift, 299.0f, marks, &mTexts});

    if (running) {
        moveNeedle(axis, values[kPoints - 1], bounds);
    }
}

void GraphView::moveNeedle(unsigned axis, float value, const QRectF &bounds) {
    if (QLabel *needle = needleOfAxis(axis)) {
        const float h = float(bounds.height());
        const qreal pointY = traceY(middle(float(bounds.y()), h), h, value);
        needle->move(needle->x(), int(std::lround(pointY - needle->height() / 2.0)));
    }
}

QLabel *GraphView::needleOfAxis(unsigned axis) const {
    switch (axis) {
    case 0: return ivNeedleX;
    case 1: return ivNeedleY;
    case 2: return ivNeedleZ;
    default: return nullptr;
    }
}

void GraphView::placeNeedles() {
    // Needles sit at the right edge; only their height follows the trace.
    for (unsigned axis = 0; axis < 3; ++axis) {
        QLabel *needle = needleOfAxis(axis);
        needle->move(width() - needle->width(), needle->y());
    }
}

void GraphView::resizeEvent(QResizeEvent *) { placeNeedles(); }

void GraphView::touchesBegan(float x) { mLastTouchedX = x; }

void GraphView::touchesEnded(float x) { mLastTouchedX = x; }

void GraphView::touchesMoved(float x) {
    if (!updatingIsEnabled()) {
        const auto d = qint32(std::trunc(mLastTouchedX - x));
        // The move that crosses a limit still scrolls; the counter is clamped after it.
        if (mIndexDraggedSoFar > -kWindowStart && mIndexDraggedSoFar < 0) {
            mViewOffset = (mViewOffset + unsigned(d)) & SampleHistory::kMask;
            update();
        }
        mIndexDraggedSoFar = std::clamp(mIndexDraggedSoFar + d, -kWindowStart, 0);
    }
    mLastTouchedX = x;
}

void GraphView::mousePressEvent(QMouseEvent *event) { touchesBegan(float(event->position().x())); }

void GraphView::mouseMoveEvent(QMouseEvent *event) {
    if (event->buttons() != Qt::NoButton) {
        touchesMoved(float(event->position().x()));
    }
}

void GraphView::mouseReleaseEvent(QMouseEvent *event) {
    touchesEnded(float(event->position().x()));
}

bool GraphView::event(QEvent *event) {
    switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: {
        auto *touch = static_cast<QTouchEvent *>(event);
        if (touch->points().isEmpty()) {
            break;
        }
        const float x = float(touch->points().first().position().x());
        if (event->type() == QEvent::TouchBegin) {
            touchesBegan(x);
        } else if (event->type() == QEvent::TouchUpdate) {
            touchesMoved(x);
        } else {
            touchesEnded(x);
        }
        event->accept();
        return true;
    }
    default: break;
    }
    return QWidget::event(event);
}

// Donation banner ---------------------------------------------------------------------------

namespace {
constexpr QPointF kBannerShown(160, 37);
constexpr QPointF kBannerAbove(160, -37);
constexpr QPointF kBannerParked(160, -100);
constexpr float kBannerSlideSeconds = 1.0f;
const QString kBannerJapanese = QStringLiteral("地震に関する情報と寄付のページ");

struct Question {
    const char *title, *message, *no, *yes;
};
// By tag and language.
Question question(int tag, bool japanese) {
    if (tag == GraphView::kDonateTag) {
        return japanese ? Question{"確認", "寄付のホームページに移動します。よろしいですか？",
                                   "いいえ", "はい"}
                        : Question{"Confirmation",
                                   "Are you sure to proceed to the donation website?", "No", "Yes"};
    }
    return japanese ? Question{"バナー", "次から寄付のためのバナーを非表示にしますか？", "いいえ",
                               "はい"}
                    : Question{"Banner Option",
                               "Would you like to hide the donation banner forever?", "No", "Yes"};
}
}  // namespace

void GraphView::makeDonateBanner() {
    mDonateView = new QWidget(this);
    mDonateView->setObjectName(QStringLiteral("mDonateView"));
    mDonateView->setFixedSize(300, 56);
    mDonateView->setAttribute(Qt::WA_StyledBackground);
    mDonateView->setStyleSheet(
        QStringLiteral("#mDonateView { background: rgb(255, 250, 235); border: 1px solid #c9a227;"
                       " border-radius: 8px; } QPushButton { border: none; font-size: 18px; }"));
    auto *row = new QHBoxLayout(mDonateView);
    row->setContentsMargins(10, 4, 6, 4);
    mDonateText = new QLabel(QStringLiteral("Earthquake information and donations"), mDonateView);
    mDonateText->setWordWrap(true);
    auto *donate = new QPushButton(QStringLiteral("♥"), mDonateView);
    donate->setObjectName(QStringLiteral("donateButton"));
    donate->setStyleSheet(QStringLiteral("color: #c0392b;"));
    auto *close = new QPushButton(QStringLiteral("✕"), mDonateView);
    close->setObjectName(QStringLiteral("closeDonateButton"));
    row->addWidget(mDonateText, 1);
    row->addWidget(donate);
    row->addWidget(close);
    connect(donate, &QPushButton::clicked, this, &GraphView::clickDonate);
    connect(close, &QPushButton::clicked, this, &GraphView::clickCloseDonate);
    // Parked above the view until load decides.
    mDonateView->move((kBannerParked - QPointF(150, 28)).toPoint());
}

void GraphView::awakeFromNib() {
    mDonateView->raise();
    if (UserPref::getBoolean(SettingsKeys::DONATE_HIDE)) {
        mDonateView->move((kBannerParked - QPointF(150, 28)).toPoint());
        return;
    }
    AnimationLib::moveEaseIn(mDonateView, kBannerAbove, kBannerShown, kBannerSlideSeconds);
    if (PreferredLanguages::isJapanese()) {
        mDonateText->setText(kBannerJapanese);
    }
}

void GraphView::clickDonate() { askDonateQuestion(kDonateTag); }

void GraphView::clickCloseDonate() { askDonateQuestion(kHideDonateTag); }

void GraphView::askDonateQuestion(int tag) {
    const Question q = question(tag, PreferredLanguages::isJapanese());
    auto *alert = new AlertView(QString::fromUtf8(q.title), QString::fromUtf8(q.message), this,
                                QString::fromUtf8(q.no), {QString::fromUtf8(q.yes)}, this);
    alert->setTag(tag);
    alert->show();
}

void GraphView::alertViewClickedButtonAtIndex(AlertView *alertView, int buttonIndex) {
    if (alertView->tag() == kHideDonateTag) {
        if (buttonIndex != 0) {
            UserPref::setBoolean(SettingsKeys::DONATE_HIDE, true);
        }
        AnimationLib::moveEaseIn(mDonateView, kBannerShown, kBannerAbove, kBannerSlideSeconds);
    } else if (alertView->tag() == kDonateTag && buttonIndex != 0) {
        UrlOpener::openURL(QUrl(PreferredLanguages::isJapanese() ? Deployment::kDonateURLJapanese
                                                                 : Deployment::kDonateURL));
    }
}
