#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>

class QTimer;
class QWidget;

// Ready-made view animations (fades, moves, a nudge, scale, rotation), each under its own key so
// that a new one replaces the one running (ViewAnimation), and a fixed five-step demonstration
// sequence. Each operation sets the final state on the view at once and animates towards it;
// alpha, scale and rotation live in the view's ViewLayer, which makes them visible.
// Durations are in seconds; points are view centres in the parent's coordinates. Main thread only.
class AnimationLib : public QObject {
    Q_OBJECT

public:
    // Layer keys: one running animation per (view, key).
    static inline const QString kFadeOutKey = QStringLiteral("animateMyOpacityFadeout");
    static inline const QString kFadeInKey = QStringLiteral("animateMyOpacityFadeIn");
    static inline const QString kMoveKey = QStringLiteral("motionViewAnimation");
    static inline const QString kNudgeKey = QStringLiteral("nudgeAnimation");
    static inline const QString kScaleKey = QStringLiteral("scaleAnimation");
    static inline const QString kRotateKey = QStringLiteral("animateMyRotation");

    // Alpha 1 -> 0, linear; final alpha 0.
    static void fadeOut(QWidget *view, float duration);
    // Alpha 0 -> 1, linear; final alpha 1.
    static void fadeIn(QWidget *view, float duration);
    // A straight move of the centre; final centre `end`. `easeType` names the timing: "linear",
    // "easeIn", "easeOut", "easeInEaseOut"; empty, "default" or an unknown name = linear.
    static void move(QWidget *view, QPointF start, QPointF end, float duration,
                     const QString &easeType = QString());
    static void moveEaseOut(QWidget *view, QPointF start, QPointF end, float duration);
    static void moveEaseIn(QWidget *view, QPointF start, QPointF end, float duration);
    // A sideways shake of 0.5 s, ease-out, through x = cx-3, cx+3, cx-5, cx+5 (twice), cx-3, cx+3
    // and back; the centre is unchanged afterwards.
    static void nudge(QWidget *view);
    // Uniform scale `from` -> `to`, ease-out; final transform: scale by `to`, no rotation.
    static void scale(QWidget *view, float from, float to, float duration);
    // Rotation in degrees, linear; final transform: rotation by `toDegree`, no scale.
    static void rotate(QWidget *view, float fromDegree, float toDegree, float duration);

    // The sequence. Steps start at 0, 0.5, 2.7, 4.2 and 6.2 s; isAnimating() turns false at 6.7 s.
    explicit AnimationLib(QObject *parent = nullptr);
    ~AnimationLib() override;  // a pending step never runs

    // (Re)starts the sequence from the first step on `view` (not owned; a view destroyed
    // mid-sequence ends it).
    void startSequence(QWidget *view);
    // Schedules the next step in `delay` seconds while steps remain, replacing a pending one.
    void startTimer(float delay);
    void stopTimer();
    // Runs the step mCurrentTimerIndex and schedules the next; past the last, ends the sequence.
    void ticked();

    bool isAnimating() const { return mIsAnimating; }
    void setIsAnimating(bool animating) { mIsAnimating = animating; }
    qint32 currentTimerIndex() const { return mCurrentTimerIndex; }

    // Test hook: the delays between steps are multiplied by `factor` (1 by default); the
    // animations' own durations are not.
    void setTimeScale(double factor) { mTimeScale = factor; }

private:
    QTimer *mTimer;                  // ours; active while a step is pending
    qint32 mMaxTimerCount = 0;       // steps in the sequence
    qint32 mCurrentTimerIndex = -1;  // the step the pending timer will run; -1 before the first
    QPointer<QWidget> mTargetView;   // not owned
    bool mIsAnimating = false;       // a sequence is under way (`isAnimating` on the phone)
    double mTimeScale = 1.0;
};
