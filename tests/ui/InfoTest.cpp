#include "platform/PreferredLanguages.h"
#include "prefs/Deployment.h"
#include "support/Printers.h"
#include "support/RecordingHost.h"
#include "support/RecordingUrlOpener.h"
#include "support/TempConfig.h"
#include "ui/InfoViewController.h"
#include "ui/PanelSlide.h"
#include "ui/ViewAnimation.h"

#include <QTextBrowser>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace {

class Info : public ::testing::Test {
protected:
    ~Info() override { PreferredLanguages::setOverride({}); }
    TempConfig config;
    RecordingHost host;
    RecordingUrlOpener opener;
    InfoViewController info{host};
};

TEST_F(Info, TheTableHasItsSectionsAndRows) {
    TableView *table = info.mTableView;
    EXPECT_EQ(info.numberOfSectionsInTableView(table), 3);
    EXPECT_EQ(info.numberOfRowsInSection(table, 0), 1);
    EXPECT_EQ(info.numberOfRowsInSection(table, 1), 2);
    EXPECT_EQ(info.numberOfRowsInSection(table, 2), 4);
    EXPECT_EQ(info.cellForRowAtIndexPath(table, {1, 1}), info.mCellPublication);
    EXPECT_EQ(info.cellForRowAtIndexPath(table, {2, 3}), info.mCellDownloadApps);
    EXPECT_EQ(info.cellForRowAtIndexPath(table, {1, 2}), nullptr);
    EXPECT_EQ(info.heightForRowAtIndexPath(table, {1, 2}), 120);
    // The heights of the cells in the layout.
    EXPECT_EQ(info.heightForRowAtIndexPath(table, {0, 0}), 215);
    EXPECT_EQ(info.heightForRowAtIndexPath(table, {1, 1}), 600);
    EXPECT_EQ(info.heightForRowAtIndexPath(table, {2, 3}), 44);
    EXPECT_EQ(info.mInfo->font().family(), "Arial");
    EXPECT_EQ(info.mPubText->font().pixelSize(), 12);
}

TEST_F(Info, OnlyTheLinkRowsOpenTheirTargetsInOrder) {
    PreferredLanguages::setOverride("en");
    for (const IndexPath path : {IndexPath{0, 0}, IndexPath{1, 0}, IndexPath{1, 1}}) {
        info.didSelectRowAtIndexPath(info.mTableView, path);
    }
    EXPECT_TRUE(opener.opened.isEmpty());
    for (int row = 0; row < 4; ++row) {
        info.didSelectRowAtIndexPath(info.mTableView, {2, row});
    }
    ASSERT_EQ(opener.opened.size(), 4);
    EXPECT_EQ(opener.opened[0], QUrl(Deployment::kWebsiteURL));
    EXPECT_EQ(opener.opened[1], QUrl(Deployment::kDonateURL));
    EXPECT_EQ(opener.opened[2], QUrl(Deployment::kAccountURL));
    const QUrl search = opener.opened[3];
    EXPECT_EQ(search.adjusted(QUrl::RemoveQuery), QUrl(Deployment::kStoreSearchURL));
    EXPECT_EQ(QUrlQuery(search).queryItems(),
              (QList<QPair<QString, QString>>{{"entity", "software"},
                                              {"media", "software"},
                                              {"submit", "seeAllLockups"},
                                              {"term", Deployment::kMakersName}}));
}

TEST_F(Info, TheJapaneseDonationPageIsForExactlyJa) {
    const struct {
        const char *language;
        QString target;
    } cases[] = {{"ja", Deployment::kDonateURLJapanese},
                 {"ja-JP", Deployment::kDonateURL},
                 {"en", Deployment::kDonateURL}};
    for (const auto &c : cases) {
        PreferredLanguages::setOverride(c.language);
        info.donateClick();
        EXPECT_EQ(opener.opened.last(), QUrl(c.target)) << c.language;
    }
}

TEST_F(Info, DoneResumesRecordingAndSlidesAway) {
    info.doneClicked();
    EXPECT_EQ(host.calls, QStringList({"restoreRunningState"}));
    EXPECT_TRUE(ViewAnimation::animationForKey(info.view(), PanelSlide::kKey));
}

}  // namespace
