#pragma once

#include "ui/PanelController.h"
#include "ui/TableView.h"

#include <memory>

class PanelHost;
class QTextBrowser;
namespace Ui {
class InfoView;
}

// The information panel: help on the three axes and the filter, a description of Shakelog, a
// list of publications, and four link rows (web site, donation, the makers' account page, the
// makers' other applications in the application store). It changes no setting. Main thread
// only.
class InfoViewController : public PanelController,
                           public TableViewDataSource,
                           public TableViewDelegate {
    Q_OBJECT
public:
    explicit InfoViewController(PanelHost &host, QObject *parent = nullptr);
    ~InfoViewController() override;

    QWidget *view() override { return mView; }

    // The link rows; each hands its address to the desktop.
    void websiteClick();
    void donateClick();
    void twitterClick();
    void otherClick();
    void doneClicked();

    // Table data source and delegate.
    int numberOfSectionsInTableView(TableView *tableView) override;
    int numberOfRowsInSection(TableView *tableView, int section) override;
    QString titleForHeaderInSection(TableView *tableView, int section) override;
    QWidget *cellForRowAtIndexPath(TableView *tableView, IndexPath indexPath) override;
    int heightForRowAtIndexPath(TableView *tableView, IndexPath indexPath) override;
    void didSelectRowAtIndexPath(TableView *tableView, IndexPath indexPath) override;

    TableView *mTableView = nullptr;
    QWidget *mCellAxis = nullptr;
    QWidget *mCellDescription = nullptr;
    QTextBrowser *mInfo = nullptr;
    QWidget *mCellPublication = nullptr;
    QTextBrowser *mPubText = nullptr;
    QWidget *mCellWebsite = nullptr;
    QWidget *mCellDonate = nullptr;
    QWidget *mCellFollowUs = nullptr;
    QWidget *mCellDownloadApps = nullptr;

private:
    void viewDidLoad();

    PanelHost &mHost;
    std::unique_ptr<Ui::InfoView> mUi;
    QWidget *mView;  // owned; its parent is the window once inserted
};
