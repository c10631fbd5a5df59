#include "ui/AnimationLib.h"

#include "ui/ViewAnimation.h"
#include "ui/ViewLayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

const double kFloatPi = static_cast<float>(3.141592653589793);  // as degrees are converted

// A white 300 × 400 parent with a solid red 40 × 40 view centred at (150, 200).
struct Scene {
    std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
    QWidget *view = new QWidget(parent.get());

    Scene() {
        parent->resize(300, 400);
        fill(parent.get(), Qt::white);
        view->setGeometry(130, 180, 40, 40);
        fill(view, Qt::red);
    }
    static void fill(QWidget *widget, QColor colour) {
        QPalette palette;
        palette.setColor(QPalette::Window, colour);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    }
    // Where the view's red shows, drawn on request or (`onScreen`) as the window's repaints left
    // it, and how many pixels of it.
    std::pair<QRect, int> red(bool onScreen = false) const {
        const QImage image = onScreen ? parent->screen()->grabWindow(parent->winId()).toImage()
                                      : parent->grab().toImage();
        std::pair<QRect, int> found;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (qRed(p) > 200 && qGreen(p) < 100 && qBlue(p) < 100) {
                    found.first |= QRect(x, y, 1, 1);
                    ++found.second;
                }
            }
        }
        return found;
    }
    QVariantAnimation *running(const QString &key) const {
        return qobject_cast<QVariantAnimation *>(ViewAnimation::animationForKey(view, key));
    }
    // Takes the animation under `key` off the clock and shows it at `ms` (its end by default).
    void at(const QString &key, int ms = -1) const {
        if (QVariantAnimation *animation = running(key)) {
            animation->pause();
            animation->setCurrentTime(ms < 0 ? animation->duration() : ms);
        }
    }
};

bool waitUntil(const std::function<bool()> &done, int timeoutMs) {
    QTimer wake;  // so that waiting for events never outsleeps the deadline
    wake.start(2);
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

void spin(int ms) {
    waitUntil([] { return false; }, ms);
}

// The t in [0, 1] where the increasing `f` reaches `target`.
double solve(const std::function<double(double)> &f, double target) {
    double lo = 0, hi = 1;
    for (int i = 0; i < 60; ++i) {
        (f((lo + hi) / 2) < target ? lo : hi) = (lo + hi) / 2;
    }
    return lo;
}

// Cubic Bézier timing (x1, y1, x2, y2) at time fraction `p`; (0, 0, 1, 1) is linear.
double bezier(double x1, double y1, double x2, double y2, double p) {
    auto at = [](double a, double b, double t) {
        return 3 * a * t * (1 - t) * (1 - t) + 3 * b * t * t * (1 - t) + t * t * t;
    };
    return at(y1, y2, solve([&](double t) { return at(x1, x2, t); }, p));
}

TEST(AnimationLib, MoveFollowsTheNamedTimingAndEndsAtItsEnd) {
    struct Case {
        const char *name;  // or the shorthand, for "moveEaseIn" and "moveEaseOut"
        double x1, y1, x2, y2;
    } cases[] = {{"", 0, 0, 1, 1},
                 {"default", 0, 0, 1, 1},
                 {"linear", 0, 0, 1, 1},
                 {"easeIn", .42, 0, 1, 1},
                 {"easeOut", 0, 0, .58, 1},
                 {"easeInEaseOut", .42, 0, .58, 1},
                 {"moveEaseIn", .42, 0, 1, 1},
                 {"moveEaseOut", 0, 0, .58, 1}};
    const QPointF start(50, 60), end(250, 360);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        if (c.name == QLatin1String("moveEaseIn")) {
            AnimationLib::moveEaseIn(scene.view, start, end, 1.0f);
        } else if (c.name == QLatin1String("moveEaseOut")) {
            AnimationLib::moveEaseOut(scene.view, start, end, 1.0f);
        } else if (*c.name == '\0') {
            AnimationLib::move(scene.view, start, end, 1.0f);
        } else {
            AnimationLib::move(scene.view, start, end, 1.0f, c.name);
        }
        for (int ms : {100, 250, 500, 750, 900}) {
            scene.at(AnimationLib::kMoveKey, ms);
            const QPointF expected =
                start + (end - start) * bezier(c.x1, c.y1, c.x2, c.y2, ms / 1e3);
            EXPECT_NEAR(ViewLayer::centre(scene.view).x(), expected.x(), 0.6) << ms;
            EXPECT_NEAR(ViewLayer::centre(scene.view).y(), expected.y(), 0.6) << ms;
        }
        scene.at(AnimationLib::kMoveKey);
        EXPECT_EQ(ViewLayer::centre(scene.view), end);
    }
}

TEST(AnimationLib, FadesSetTheirAlphaAtOnceAndShowItAsTheyRun) {
    Scene scene;
    AnimationLib::fadeOut(scene.view, 1.0f);
    EXPECT_EQ(ViewLayer::alpha(scene.view), 0.0);
    scene.at(AnimationLib::kFadeOutKey, 500);  // linear: painted half-way to white
    const QRgb middle = scene.parent->grab().toImage().pixel(150, 200);
    EXPECT_EQ(qRed(middle), 255);
    EXPECT_NEAR(qGreen(middle), 128, 3);
    scene.at(AnimationLib::kFadeOutKey);
    EXPECT_EQ(scene.red().second, 0);

    AnimationLib::fadeIn(scene.view, 0.2f);
    EXPECT_EQ(ViewLayer::alpha(scene.view), 1.0);
    scene.at(AnimationLib::kFadeInKey);
    EXPECT_EQ(scene.red().second, 40 * 40);
}

// Clicks as the window system delivers them, to the window at a point: the widget there gets
// them, as on the phone a faded-out view is no longer hit and what is below it is.
TEST(AnimationLib, AFadedOutViewTakesNoClicks) {
    QWidget window;
    window.resize(300, 400);
    auto *button = new QPushButton(&window);
    button->setGeometry(130, 180, 40, 40);
    window.show();
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    const auto clickAtButton = [&window] {
        const QPointF at(150, 200);
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, window.mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(window.windowHandle(), &event);
        }
    };
    clickAtButton();
    EXPECT_EQ(clicks, 1);
    AnimationLib::fadeOut(button, 0.2f);  // still fading: taken as gone at once
    clickAtButton();
    EXPECT_EQ(clicks, 1);
    AnimationLib::fadeIn(button, 0.2f);
    clickAtButton();
    EXPECT_EQ(clicks, 2);
}

TEST(AnimationLib, ScaleAndRotationCombineOnScreenAndEachEndsWithTheWholeTransform) {
    Scene scene;
    AnimationLib::rotate(scene.view, 0, 180, 1.0f);
    const QTransform turned = ViewLayer::transform(scene.view);
    EXPECT_NEAR(turned.m11(), std::cos(kFloatPi), 1e-12);
    EXPECT_NEAR(turned.m12(), std::sin(kFloatPi), 1e-12);  // -8.74e-8, not the double pi's
    EXPECT_NEAR(turned.m21(), -std::sin(kFloatPi), 1e-12);
    EXPECT_NEAR(turned.m22(), std::cos(kFloatPi), 1e-12);

    AnimationLib::rotate(scene.view, 0, 90, 1.0f);
    AnimationLib::scale(scene.view, 1, 2, 1.0f);
    EXPECT_EQ(ViewLayer::transform(scene.view), QTransform::fromScale(2, 2));  // no turn left
    scene.at(AnimationLib::kScaleKey, 500);
    scene.at(AnimationLib::kRotateKey, 500);
    const double s = 1 + bezier(0, 0, 0.58, 1, 0.5);  // ease-out scale; linear turn, now 45°
    const QTransform shown = ViewLayer::presentationTransform(scene.view);
    EXPECT_NEAR(shown.m11(), s * std::sqrt(0.5), 1e-3);  // Qt's Bézier timing is approximate
    EXPECT_NEAR(shown.m12(), s * std::sqrt(0.5), 1e-3);
    const auto [turnedBounds, turnedArea] = scene.red();
    EXPECT_NEAR(turnedBounds.width(), 40 * s * std::sqrt(2.0), 2);
    EXPECT_NEAR(turnedBounds.center().x(), 150, 1);
    EXPECT_NEAR(turnedArea, 1600 * s * s, 1600 * s * s * 0.05);

    scene.at(AnimationLib::kRotateKey);
    scene.at(AnimationLib::kScaleKey);
    EXPECT_NEAR(scene.red().first.left(), 110, 1);
    EXPECT_NEAR(scene.red().first.width(), 80, 1);
    EXPECT_NEAR(scene.red().second, 6400, 6400 * 0.03);
    EXPECT_EQ(scene.view->geometry(), QRect(130, 180, 40, 40));  // input goes by the geometry

    AnimationLib::scale(scene.view, 2, 1, 1.0f);
    AnimationLib::rotate(scene.view, 0, 90, 1.0f);
    EXPECT_NEAR(ViewLayer::transform(scene.view).m11(), 0.0, 1e-7);  // no scale left
    EXPECT_NEAR(ViewLayer::transform(scene.view).m12(), 1.0, 1e-7);
}

TEST(AnimationLib, AShownWindowRepaintsAsTheTransformComesAndGoes) {
    Scene scene;
    scene.parent->show();
    for (const float to : {2.0f, 1.0f}) {
        AnimationLib::scale(scene.view, 3 - to, to, 0.1f);
        ASSERT_TRUE(waitUntil([&] { return !scene.running(AnimationLib::kScaleKey); }, 10000));
        // The repaint the end asked for comes, and leaves nothing of a larger picture.
        waitUntil([&] { return scene.red(true).second == 1600 * to * to; }, 10000);
        EXPECT_EQ(scene.red(true).second, 1600 * to * to);
    }
}

TEST(AnimationLib, NudgeShakesThroughItsPointsAndComesBack) {
    Scene scene;
    AnimationLib::nudge(scene.view);
    QList<int> turns;  // x of the centre where the shake changes direction
    double firstTurnMs = -1;
    int previousX = 150, direction = 0, sinceMs = 0;
    for (int ms = 0; ms < 500; ++ms) {
        scene.at(AnimationLib::kNudgeKey, ms);
        ASSERT_EQ(ViewLayer::centre(scene.view).y(), 200);
        const int x = ViewLayer::centre(scene.view).x(), step = (x > previousX) - (x < previousX);
        if (step != 0 && direction != 0 && step != direction) {
            turns.append(previousX);
            firstTurnMs = firstTurnMs < 0 ? (sinceMs + ms - 1) / 2.0 : firstTurnMs;
        }
        direction = step != 0 ? step : direction;
        sinceMs = step != 0 ? ms : sinceMs;
        previousX = x;
    }
    EXPECT_EQ(turns, QList<int>({147, 153, 145, 155, 147, 153, 145, 155, 147, 153}));
    // Ease-out over the whole 0.5 s: the first point, 1/11 of the way, comes early.
    EXPECT_NEAR(firstTurnMs, 500 * solve([](double t) { return bezier(0, 0, .58, 1, t); }, 1 / 11.),
                3);
    scene.at(AnimationLib::kNudgeKey);
    EXPECT_EQ(ViewLayer::centre(scene.view), QPointF(150, 200));

    AnimationLib::nudge(scene.view);  // and nudged again mid-shake
    scene.at(AnimationLib::kNudgeKey, 10);
    ASSERT_NE(ViewLayer::centre(scene.view).x(), 150);
    AnimationLib::nudge(scene.view);
    scene.at(AnimationLib::kNudgeKey);
    EXPECT_EQ(ViewLayer::centre(scene.view), QPointF(150, 200));
}

TEST(AnimationLib, ANewAnimationUnderAKeyStopsTheOld) {
    const std::pair<QString, std::function<void(QWidget *, float)>> keyed[] = {
        {AnimationLib::kFadeOutKey, [](QWidget *v, float d) { AnimationLib::fadeOut(v, d); }},
        {AnimationLib::kFadeInKey, [](QWidget *v, float d) { AnimationLib::fadeIn(v, d); }},
        {AnimationLib::kMoveKey,
         [](QWidget *v, float d) { AnimationLib::move(v, QPointF(0, 0), QPointF(9, 9), d); }},
        {AnimationLib::kNudgeKey, [](QWidget *v, float) { AnimationLib::nudge(v); }},
        {AnimationLib::kScaleKey, [](QWidget *v, float d) { AnimationLib::scale(v, 3, d, d); }},
        {AnimationLib::kRotateKey, [](QWidget *v, float d) { AnimationLib::rotate(v, 0, d, d); }},
    };
    for (const auto &[key, start] : keyed) {
        SCOPED_TRACE(key.toStdString());
        Scene scene;
        start(scene.view, 2.0f);
        QPointer<QVariantAnimation> old = scene.running(key);
        start(scene.view, 1.0f);
        EXPECT_TRUE(old.isNull() || old->state() == QAbstractAnimation::Stopped);
        ASSERT_NE(scene.running(key), old.data());
        scene.at(key);  // the stopped one drives nothing any more:
        EXPECT_EQ(ViewLayer::presentationTransform(scene.view), ViewLayer::transform(scene.view));
        EXPECT_EQ(ViewLayer::presentationAlpha(scene.view), ViewLayer::alpha(scene.view));
    }
}

TEST(ViewLayer, TheLastRunningDriverGivesThePresentationThenTheModelDoes) {
    Scene scene;
    ViewLayer::setAlpha(scene.view, 0.25);
    auto driver = [&](double value) {
        auto *a = new QVariantAnimation(scene.view);
        a->setStartValue(value);
        a->setEndValue(value);
        a->setDuration(1000);
        ViewLayer::drive(scene.view, ViewLayer::Value::Alpha, a);
        a->start();
        return a;
    };
    QVariantAnimation *first = driver(0.5);
    driver(0.75)->stop();
    EXPECT_EQ(ViewLayer::presentationAlpha(scene.view), 0.5);
    delete first;
    EXPECT_EQ(ViewLayer::presentationAlpha(scene.view), 0.25);
    driver(0.6);
    scene.parent.reset();  // a view with a running driver goes away cleanly
}

class AnimationLibSequence : public ::testing::Test {
protected:
    static constexpr double kScale = 0.2;  // of the delays between steps
    Scene scene;
    std::unique_ptr<AnimationLib> lib = std::make_unique<AnimationLib>();
    AnimationLibSequence() { lib->setTimeScale(kScale); }
    bool reachesStep(int index) {
        return waitUntil([&] { return lib->currentTimerIndex() == index; }, 10000);
    }
};

TEST_F(AnimationLibSequence, StepsComeOnTimeEachLeavingItsFinalStateThenItStops) {
    const struct {
        double at;  // seconds after the start, unscaled
        QPointF centre;
        double alpha, scale, turn;  // model values once the step ran
    } steps[] = {{0, {100, 100}, 1, 1, 0},
                 {0.5, {200, 200}, 1, 1, kFloatPi},
                 {2.7, {200, 300}, 1, 2, 0},
                 {4.2, {100, 100}, 1, 1, 0},
                 {6.2, {100, 100}, 0, 1, 0}};
    // When each step ran: noted as its timer fires, each next delay counting from there.
    QList<double> ranMs;
    QElapsedTimer clock;
    auto *timer = lib->findChild<QTimer *>();
    ASSERT_NE(timer, nullptr);
    QObject::connect(timer, &QTimer::timeout, [&] { ranMs << clock.nsecsElapsed() / 1e6; });
    clock.start();
    lib->startSequence(scene.view);
    EXPECT_TRUE(lib->isAnimating());
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(reachesStep(i + 1));  // step i ran and scheduled the next
        ASSERT_EQ(ranMs.size(), i + 1);
        // A timer never fires early but a loaded machine fires it late: each delay is at least
        // its time, and more only by less than an unscaled delay would add.
        const double delayMs = (steps[i].at - (i ? steps[i - 1].at : 0)) * 1000 * kScale;
        const double tookMs = ranMs[i] - (i ? ranMs[i - 1] : 0);
        EXPECT_GE(tookMs, delayMs - 1);
        EXPECT_LE(tookMs, delayMs + 250);
        EXPECT_EQ(ViewLayer::alpha(scene.view), steps[i].alpha);
        const QTransform t = ViewLayer::transform(scene.view);
        EXPECT_NEAR(t.m11(), steps[i].scale * std::cos(steps[i].turn), 1e-9);
        EXPECT_NEAR(t.m12(), steps[i].scale * std::sin(steps[i].turn), 1e-9);
        scene.at(AnimationLib::kMoveKey);
        EXPECT_EQ(ViewLayer::centre(scene.view), steps[i].centre);
    }
    ASSERT_TRUE(waitUntil([&] { return !lib->isAnimating(); }, 10000));
    ASSERT_EQ(ranMs.size(), 6);  // and the end, half a second after the last step
    EXPECT_GE(ranMs[5] - ranMs[4], 0.5 * 1000 * kScale - 1);
    EXPECT_LE(ranMs[5] - ranMs[4], 0.5 * 1000 * kScale + 250);
    spin(300);  // nothing more is scheduled
    EXPECT_FALSE(lib->isAnimating());
    EXPECT_EQ(lib->currentTimerIndex(), 5);
}

TEST_F(AnimationLibSequence, StoppingOrDestroyingItRunsNoMoreSteps) {
    lib->startSequence(scene.view);
    ASSERT_TRUE(reachesStep(1));
    lib->stopTimer();
    spin(static_cast<int>(0.5 * 1000 * kScale) + 100);
    EXPECT_EQ(scene.running(AnimationLib::kRotateKey), nullptr);  // step 1 never came
    EXPECT_EQ(lib->currentTimerIndex(), 1);

    Scene other;
    lib->startSequence(other.view);
    lib.reset();
    spin(100);
    EXPECT_EQ(other.running(AnimationLib::kFadeInKey), nullptr);
}

TEST_F(AnimationLibSequence, RestartingMovesItToTheNewViewAndALostViewEndsIt) {
    lib->startSequence(scene.view);
    ASSERT_TRUE(reachesStep(1));
    Scene other;
    lib->startSequence(other.view);
    ASSERT_TRUE(reachesStep(2));  // steps 0 and 1 ran, on the new view only
    EXPECT_NE(other.running(AnimationLib::kRotateKey), nullptr);
    EXPECT_EQ(scene.running(AnimationLib::kRotateKey), nullptr);

    other.parent.reset();
    EXPECT_TRUE(waitUntil([&] { return !lib->isAnimating(); }, 10000));
    EXPECT_EQ(lib->currentTimerIndex(), 2);
}

}  // namespace
