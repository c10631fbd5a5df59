#include "platform/PreferredLanguages.h"
#include "prefs/Deployment.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "support/Alerts.h"
#include "support/EventLoop.h"
#include "support/Printers.h"
#include "support/RecordingUrlOpener.h"
#include "support/TempConfig.h"
#include "ui/AnimationLib.h"
#include "ui/GraphView.h"
#include "ui/ViewAnimation.h"

#include <QAbstractAnimation>
#include <QCoreApplication>
#include <QLabel>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace SettingsKeys;

QPointF centre(QWidget *view) { return QRectF(view->geometry()).center(); }

class DonateBanner : public ::testing::Test {
protected:
    ~DonateBanner() override {
        dismissAlerts();
        PreferredLanguages::setOverride({});
    }
    // A view as a launch makes it.
    GraphView &launch() {
        view = std::make_unique<GraphView>();
        view->resize(320, 416);
        view->awakeFromNib();
        return *view;
    }
    QAbstractAnimation *slide() const {
        return ViewAnimation::animationForKey(view->mDonateView, AnimationLib::kMoveKey);
    }
    // Lets the running slide end.
    void settle() {
        pumpUntil([&] { return !slide(); });
    }
    AlertView *answer(int buttonIndex) {
        EXPECT_EQ(visibleAlerts().size(), 1);
        AlertView *alert = visibleAlerts().value(0);
        if (alert) {
            alert->dismissWithClickedButtonIndex(buttonIndex);
        }
        return alert;
    }

    TempConfig config;
    RecordingUrlOpener opener;
    std::unique_ptr<GraphView> view;
};

TEST_F(DonateBanner, SlidesInAtLoadInTheFirstLanguage) {
    PreferredLanguages::setOverride("en");
    launch();
    auto *in = qobject_cast<QVariantAnimation *>(slide());
    ASSERT_TRUE(in);
    EXPECT_EQ(in->startValue().toPointF(), QPointF(160, -37));
    EXPECT_EQ(in->endValue().toPointF(), QPointF(160, 37));
    EXPECT_EQ(in->duration(), 1000);
    EXPECT_EQ(in->easingCurve(), ViewAnimation::easeIn());
    settle();
    EXPECT_EQ(centre(view->mDonateView), QPointF(160, 37));
    const QString english = view->mDonateText->text();

    PreferredLanguages::setOverride("ja");
    launch();
    EXPECT_EQ(view->mDonateText->text(), "地震に関する情報と寄付のページ");
    PreferredLanguages::setOverride("ja-JP");
    launch();
    EXPECT_EQ(view->mDonateText->text(), english);
}

TEST_F(DonateBanner, HiddenForGoodNeverAnimates) {
    UserPref::setBoolean(DONATE_HIDE, true);
    launch();
    EXPECT_FALSE(slide());
    EXPECT_EQ(centre(view->mDonateView), QPointF(160, -100));
}

TEST_F(DonateBanner, NoToTheHideQuestionSlidesOutUntilTheNextLaunch) {
    PreferredLanguages::setOverride("en");
    launch();
    settle();
    view->clickCloseDonate();
    AlertView *question = visibleAlerts().value(0);
    ASSERT_TRUE(question);
    EXPECT_EQ(question->tag(), 100);
    EXPECT_EQ(question->title(), "Banner Option");
    EXPECT_EQ(question->message(), "Would you like to hide the donation banner forever?");
    answer(0);
    ASSERT_TRUE(slide());
    settle();
    EXPECT_EQ(centre(view->mDonateView), QPointF(160, -37));
    EXPECT_FALSE(UserPref::getBoolean(DONATE_HIDE));
    launch();
    EXPECT_TRUE(slide());  // back at the next launch

    settle();
    view->clickCloseDonate();
    answer(1);
    EXPECT_TRUE(UserPref::getBoolean(DONATE_HIDE));
    auto *out = qobject_cast<QVariantAnimation *>(slide());
    ASSERT_TRUE(out);  // "Yes" slides it out as well
    EXPECT_EQ(out->startValue().toPointF(), QPointF(160, 37));
    EXPECT_EQ(out->endValue().toPointF(), QPointF(160, -37));
    EXPECT_EQ(out->easingCurve(), ViewAnimation::easeIn());
}

TEST_F(DonateBanner, TheDonationQuestionOpensThePageOfTheLanguage) {
    const struct {
        const char *language;
        const char *title, *message, *no, *yes;
        QString page;
    } cases[] = {
        {"en", "Confirmation", "Are you sure to proceed to the donation website?", "No", "Yes",
         Deployment::kDonateURL},
        {"ja", "確認", "寄付のホームページに移動します。よろしいですか？", "いいえ", "はい",
         Deployment::kDonateURLJapanese},
        {"ja-JP", "Confirmation", "Are you sure to proceed to the donation website?", "No", "Yes",
         Deployment::kDonateURL},
    };
    for (const auto &c : cases) {
        PreferredLanguages::setOverride(c.language);
        launch();
        settle();
        view->clickDonate();
        AlertView *question = visibleAlerts().value(0);
        ASSERT_TRUE(question) << c.language;
        EXPECT_EQ(question->tag(), 200);
        EXPECT_EQ(question->title(), QString::fromUtf8(c.title));
        EXPECT_EQ(question->message(), QString::fromUtf8(c.message));
        EXPECT_EQ(question->buttonTitleAtIndex(0), QString::fromUtf8(c.no));
        EXPECT_EQ(question->buttonTitleAtIndex(1), QString::fromUtf8(c.yes));
        answer(0);  // "No" changes nothing
        EXPECT_TRUE(opener.opened.isEmpty());
        EXPECT_FALSE(slide());
        EXPECT_EQ(centre(view->mDonateView), QPointF(160, 37));
        view->clickDonate();
        answer(1);
        ASSERT_EQ(opener.opened.size(), 1);
        EXPECT_EQ(opener.opened[0], QUrl(c.page)) << c.language;
        opener.opened.clear();
    }
}

TEST_F(DonateBanner, TheHideQuestionInJapanese) {
    PreferredLanguages::setOverride("ja");
    GraphView view;
    view.clickCloseDonate();
    ASSERT_EQ(visibleAlerts().size(), 1);
    EXPECT_EQ(alertTexts(), QStringList({"バナー / 次から寄付のためのバナーを非表示にしますか？"}));
    EXPECT_EQ(visibleAlerts()[0]->buttonTitleAtIndex(1), "はい");
    dismissAlerts();  // while the view that asked is there to hear it
}

struct CountingDelegate : QObject, AlertViewDelegate {
    void alertViewClickedButtonAtIndex(AlertView *, int buttonIndex) override {
        ++*answers;
        lastIndex = buttonIndex;
    }
    int *answers = nullptr;
    int lastIndex = -1;
};

TEST(AlertView, ButtonsCountFromCancelAndAGoneDelegateHearsNothing) {
    int answers = 0;
    auto *delegate = new CountingDelegate;
    delegate->answers = &answers;
    auto *alert = new AlertView("T", "M", delegate, "Cancel", {"One", "Two"});
    alert->show();
    EXPECT_EQ(alert->numberOfButtons(), 3);
    EXPECT_EQ(alert->buttonTitleAtIndex(2), "Two");
    alert->close();  // the window's close button, or Escape
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(delegate->lastIndex, 0);
    EXPECT_FALSE(alert->isVisible());

    auto *orphan = new AlertView("T", "M", delegate, "Cancel", {"Yes"});
    orphan->show();
    delete delegate;
    orphan->dismissWithClickedButtonIndex(1);  // must not reach the deleted delegate
    EXPECT_EQ(answers, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
