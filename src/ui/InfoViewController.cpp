#include "ui/InfoViewController.h"

#include "platform/PreferredLanguages.h"
#include "platform/UrlOpener.h"
#include "prefs/Deployment.h"
#include "ui/PanelHost.h"
#include "ui/PanelSlide.h"
#include "ui_Info.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QUrlQuery>

namespace {
const QString kDescription = QStringLiteral(
    "<p><b>Shakelog</b> turns this device into a seismograph. It reads the accelerometer 100 "
    "times a second (or at the rate you choose), keeps the last 2048 samples — about 20 seconds "
    "— and draws the newest 300 as they come. Pause to drag back through the rest.</p>"
    "<p>It can sound an alarm when the ground shakes, show the spectrum of the motion with its "
    "peak frequency, stream every sample over the local network to another Shakelog or your own "
    "program, hand the samples to your mail program, and upload reports to a data-collection "
    "server.</p>");

// Peer-reviewed work on seismology with phone and MEMS accelerometers.
const QString kPublications = QStringLiteral(
    "<p><b>Publications</b></p>"
    "<p>Cochran, E. S., Lawrence, J. F., Christensen, C., &amp; Jakka, R. S. The Quake-Catcher "
    "Network: Citizen science expanding seismic horizons. <i>Seismological Research Letters</i> "
    "80(1), 2009.</p>"
    "<p>D'Alessandro, A., &amp; D'Anna, G. Suitability of low-cost three-axis MEMS "
    "accelerometers in strong-motion seismology: Tests on the LIS331DLH (iPhone) accelerometer. "
    "<i>Bulletin of the Seismological Society of America</i> 103(5), 2013.</p>"
    "<p>Minson, S. E., Brooks, B. A., Glennie, C. L., Murray, J. R., Langbein, J. O., Owen, S. "
    "E., Heaton, T. H., Iannucci, R. A., &amp; Hauser, D. L. Crowdsourced earthquake early "
    "warning. <i>Science Advances</i> 1(3), 2015.</p>"
    "<p>Kong, Q., Allen, R. M., Schreier, L., &amp; Kwon, Y.-W. MyShake: A smartphone seismic "
    "network for earthquake early warning and beyond. <i>Science Advances</i> 2(2), 2016.</p>"
    "<p>Kong, Q., Allen, R. M., &amp; Schreier, L. MyShake: Initial observations from a global "
    "smartphone seismic network. <i>Geophysical Research Letters</i> 43(18), 2016.</p>"
    "<p>Finazzi, F. The Earthquake Network project: Toward a crowdsourced smartphone-based "
    "earthquake early warning system. <i>Bulletin of the Seismological Society of America</i> "
    "106(3), 2016.</p>");
}  // namespace

InfoViewController::InfoViewController(PanelHost &host, QObject *parent)
    : PanelController(parent),
      mHost(host),
      mUi(std::make_unique<Ui::InfoView>()),
      mView(new QWidget) {
    mUi->setupUi(mView);
    mTableView = mUi->mTableView;
    mCellAxis = mUi->mCellAxis;
    mCellDescription = mUi->mCellDescription;
    mInfo = mUi->mInfo;
    mCellPublication = mUi->mCellPublication;
    mPubText = mUi->mPubText;
    mCellWebsite = mUi->mCellWebsite;
    mCellDonate = mUi->mCellDonate;
    mCellFollowUs = mUi->mCellFollowUs;
    mCellDownloadApps = mUi->mCellDownloadApps;
    connect(mUi->doneButton, &QPushButton::clicked, this, &InfoViewController::doneClicked);
    viewDidLoad();
}

InfoViewController::~InfoViewController() { delete mView; }

void InfoViewController::viewDidLoad() {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    mInfo->setFont(font);
    mPubText->setFont(font);
    mInfo->setHtml(kDescription);
    mPubText->setHtml(kPublications);
    mTableView->setDataSource(this);
    mTableView->setDelegate(this);
    mTableView->reloadData();
}

void InfoViewController::websiteClick() { UrlOpener::openURL(QUrl(Deployment::kWebsiteURL)); }

void InfoViewController::donateClick() {
    UrlOpener::openURL(QUrl(PreferredLanguages::isJapanese() ? Deployment::kDonateURLJapanese
                                                             : Deployment::kDonateURL));
}

void InfoViewController::twitterClick() { UrlOpener::openURL(QUrl(Deployment::kAccountURL)); }

void InfoViewController::otherClick() {
    QUrl url(Deployment::kStoreSearchURL);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("entity"), QStringLiteral("software"));
    query.addQueryItem(QStringLiteral("media"), QStringLiteral("software"));
    query.addQueryItem(QStringLiteral("submit"), QStringLiteral("seeAllLockups"));
    query.addQueryItem(QStringLiteral("term"), Deployment::kMakersName);
    url.setQuery(query);
    UrlOpener::openURL(url);
}

void InfoViewController::doneClicked() {
    mHost.restoreRunningState();
    PanelSlide::slideDown(mView);
}

int InfoViewController::numberOfSectionsInTableView(TableView *) { return 3; }

int InfoViewController::numberOfRowsInSection(TableView *, int section) {
    switch (section) {
    case 1: return 2;
    case 2: return 4;
    default: return 1;
    }
}

QString InfoViewController::titleForHeaderInSection(TableView *, int) { return QString(); }

QWidget *InfoViewController::cellForRowAtIndexPath(TableView *, IndexPath indexPath) {
    const int row = indexPath.row;
    switch (indexPath.section) {
    case 0: return row == 0 ? mCellAxis : nullptr;
    case 1: {
        QWidget *cells[] = {mCellDescription, mCellPublication};
        return row >= 0 && row < 2 ? cells[row] : nullptr;
    }
    case 2: {
        QWidget *cells[] = {mCellWebsite, mCellDonate, mCellFollowUs, mCellDownloadApps};
        return row >= 0 && row < 4 ? cells[row] : nullptr;
    }
    default: return nullptr;
    }
}

int InfoViewController::heightForRowAtIndexPath(TableView *tableView, IndexPath indexPath) {
    return TableView::rowHeightOfCell(cellForRowAtIndexPath(tableView, indexPath));
}

void InfoViewController::didSelectRowAtIndexPath(TableView *, IndexPath indexPath) {
    // Rows show no lasting selection, so there is nothing to deselect: only the links act.
    if (indexPath.section != 2) {
        return;
    }
    switch (indexPath.row) {
    case 0: websiteClick(); break;
    case 1: donateClick(); break;
    case 2: twitterClick(); break;
    case 3: otherClick(); break;
    default: break;
    }
}
