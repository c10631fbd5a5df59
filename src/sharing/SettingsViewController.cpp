#include "sharing/SettingsViewController.h"

#include "http/FormDataRequest.h"
#include "http/NetworkQueue.h"
#include "platform/DeviceIdentifier.h"
#include "platform/SystemLog.h"
#include "platform/UrlOpener.h"
#include "prefs/Deployment.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "recording/MiniSeedExport.h"
#include "sharing/Report.h"
#include "sharing/ShareText.h"
#include "ui/ActivityIndicator.h"
#include "ui/GraphView.h"
#include "ui/PanelHost.h"
#include "ui/PanelSlide.h"
#include "ui/Switch.h"
#include "ui_Settings.h"

#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>

using namespace SettingsKeys;

namespace {
const QString kDataTransfer = QStringLiteral("Data Transfer");
const QString kOK = QStringLiteral("OK");
const QString kDefaultIP = QStringLiteral("10.0.2.1");
constexpr int kLargestPort = 65535;

const QString kDescription = QStringLiteral(
    "<p><b>Upload</b> sends the recorded samples to the data-collection server at the address "
    "above, with this device's identifier, the sampling rate, the local time and, when you allow "
    "it, your position to about a kilometre. Turn on <i>I am reporting an earthquake</i> when you "
    "felt one; it turns itself off after each accepted report.</p>"
    "<p><b>E-mail</b> opens a new message in your mail program: the samples as comma-separated "
    "lines (x, y, z in g, and the time at every new second), or the server address with the "
    "device identifier. Nothing is sent until you send the message. <b>Save CSV</b> writes the "
    "same lines to a file.</p>"
    "<p><b>Wi-Fi</b> streams every sample as one UDP datagram to a host and port, or to every "
    "host of the local network. Another Shakelog receives it with "
    "<tt>--source udp:PORT</tt>.</p>");

// Where each tagged field scrolls the table when its editing begins.
std::optional<QRect> scrollRectForTag(int tag) {
    switch (tag) {
    case 100: return QRect(0, 0, 320, 200);
    case 200: return QRect(0, 200, 320, 200);
    case 300: return QRect(0, 580, 320, 200);
    case 301: return QRect(0, 600, 320, 200);
    default: return std::nullopt;
    }
}
}  // namespace

SettingsViewController::SettingsViewController(PanelHost &host, QObject *parent)
    : PanelController(parent),
      mHost(host),
      mUi(std::make_unique<Ui::SettingsView>()),
      mView(new QWidget) {
    mUi->setupUi(mView);
    mTableView = mUi->mTableView;
    mCellUpload = mUi->mCellUpload;
    tfBaseUrl = mUi->tfBaseUrl;
    mSendLocation = mUi->mSendLocation;
    mReportEarthQuake = mUi->mReportEarthQuake;
    aiLocation = mUi->aiLocation;
    mCellEmail = mUi->mCellEmail;
    tfEmail = mUi->tfEmail;
    mCellTransmit = mUi->mCellTransmit;
    mSwitchTransmit = mUi->mSwitchTransmit;
    mSwitchBroadcast = mUi->mSwitchBroadcast;
    mIP = mUi->mIP;
    mPort = mUi->mPort;
    mMyDeviceID = mUi->mMyDeviceID;
    mCellDescription = mUi->mCellDescription;
    mDescription = mUi->mDescription;
    aiLocation->hide();
    mSavePathChooser = [](QWidget *parent, const QString &format) {
        const bool csv = format == QLatin1String("CSV");
        return QFileDialog::getSaveFileName(
            parent, QStringLiteral("Save ") + format,
            csv ? QStringLiteral("shakelog.csv") : QStringLiteral("shakelog.mseed"),
            csv ? QStringLiteral("Comma-separated values (*.csv);;All files (*)")
                : QStringLiteral("miniSEED (*.mseed *.miniseed);;All files (*)"));
    };

    // Switches act on the user's click only, not on the values the panel sets itself.
    connect(mSwitchTransmit, &Switch::clicked, this, &SettingsViewController::networkToggle);
    connect(mSwitchBroadcast, &Switch::clicked, this, &SettingsViewController::broadcastToggle);
    connect(mSendLocation, &Switch::clicked, this, &SettingsViewController::locationSettingChanged);
    connect(mIP, &QLineEdit::editingFinished, this, &SettingsViewController::ipChanged);
    connect(mPort, &QLineEdit::editingFinished, this, &SettingsViewController::portChanged);
    for (QLineEdit *field : {tfBaseUrl, tfEmail, mIP, mPort, mMyDeviceID}) {
        // Return is the Done key: store the fields and give up the keyboard.
        connect(field, &QLineEdit::returnPressed, this, [this, field] {
            saveFields();
            field->clearFocus();
        });
        field->installEventFilter(this);  // editing begins: scroll it into view
    }
    connect(mUi->uploadButton, &QPushButton::clicked, this, &SettingsViewController::updateClicked);
    connect(mUi->emailCSVButton, &QPushButton::clicked, this,
            &SettingsViewController::emailCSVClicked);
    connect(mUi->emailButton, &QPushButton::clicked, this, &SettingsViewController::emailClicked);
    connect(mUi->saveCSVButton, &QPushButton::clicked, this,
            &SettingsViewController::saveCSVClicked);
    connect(mUi->saveMiniSeedButton, &QPushButton::clicked, this,
            &SettingsViewController::saveMiniSeedClicked);
    connect(mUi->websiteButton, &QPushButton::clicked, this, &SettingsViewController::goURL);
    connect(mUi->recommendButton, &QPushButton::clicked, this, &SettingsViewController::emailURL);
    connect(mUi->resetButton, &QPushButton::clicked, this, &SettingsViewController::resetClicked);
    connect(mUi->doneButton, &QPushButton::clicked, this, &SettingsViewController::doneClicked);
    viewDidLoad();
}

SettingsViewController::~SettingsViewController() {
    mNetworkQueue->cancelAllOperations();
    mNetworkQueue.reset();  // waits for running uploads, which report to this controller
    delete mView;
}

void SettingsViewController::viewDidLoad() {
    mSendLocation->setOn(UserPref::getBoolean(LOCATION_SEND));
    mNetworkQueue = std::make_unique<NetworkQueue>();
    mNetworkQueue->cancelAllOperations();
    mNetworkQueue->setRequestDidFinishSelector("requestComplete");
    mNetworkQueue->setRequestDidFailSelector("requestFailed");
    mNetworkQueue->setDelegate(this);
    mSwitchTransmit->setOn(UserPref::getBoolean(NETWORK));
    mSwitchBroadcast->setOn(UserPref::getBoolean(BROADCAST));
    tfBaseUrl->setText(UserPref::getString(URL));
    tfEmail->setText(UserPref::getString(EMAIL));
    mIP->setText(UserPref::getString(IP));
    mPort->setText(QString::asprintf("%d", UserPref::getInt(PORT)));
    mMyDeviceID->setText(UserPref::getString(MY_DEVICE_ID));
    if (tfBaseUrl->text().isEmpty()) {
        tfBaseUrl->setText(Deployment::kReportURL);
    }
    if (mIP->text().isEmpty()) {
        mIP->setText(kDefaultIP);
    }
    bindIPTextField();
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    mDescription->setFont(font);
    mDescription->setHtml(kDescription);
    mTableView->setDataSource(this);
    mTableView->reloadData();
}

// Live stream -----------------------------------------------------------------------------

void SettingsViewController::networkToggle() {
    if (mSwitchTransmit->isOn()) {
        // Not stored until confirmed; the switch stays on while the question is open.
        auto *question = new AlertView(
            QStringLiteral("Wifi Transfer"),
            QStringLiteral(
                "This might affect on the performance. Are you sure to turn on this feature?"),
            this, QStringLiteral("Cancel"), {QStringLiteral("Continue")}, mView);
        question->setTag(kStreamAlertTag);
        question->show();
        return;
    }
    UserPref::setBoolean(NETWORK, false);
    mHost.bindSocketMode();
}

void SettingsViewController::alertViewClickedButtonAtIndex(AlertView *alertView, int buttonIndex) {
    if (alertView->tag() != kStreamAlertTag) {
        return;
    }
    UserPref::setBoolean(NETWORK, buttonIndex != 0);
    mSwitchTransmit->setOn(UserPref::getBoolean(NETWORK));
    mHost.bindSocketMode();
}

void SettingsViewController::broadcastToggle() {
    UserPref::setBoolean(BROADCAST, mSwitchBroadcast->isOn());
    bindIPTextField();
    mHost.bindSocketMode();
}

void SettingsViewController::bindIPTextField() {
    const bool broadcast = UserPref::getBoolean(BROADCAST);
    const QString style =
        broadcast ? QStringLiteral("color: gray;") : QStringLiteral("color: black;");
    for (QLineEdit *field : {mIP, mPort}) {
        field->setEnabled(!broadcast);
        field->setStyleSheet(style);
    }
}

void SettingsViewController::ipChanged() {
    UserPref::setString(IP, mIP->text());
    mHost.bindSocketMode();
}

void SettingsViewController::portChanged() {
    if (const auto port = portFromField()) {
        UserPref::setInt(PORT, *port);
        mHost.bindSocketMode();
    }
}

std::optional<qint32> SettingsViewController::portFromField() {
    const qint32 port = ShareText::integerValue(mPort->text());
    if (port >= 1 && port <= kLargestPort) {
        return port;
    }
    // The stream cannot use it: keep the stored port and show it again.
    alert(QStringLiteral("Wifi Transfer"),
          QStringLiteral("\"%1\" is not a port. Please enter a number from 1 to 65535.")
              .arg(mPort->text()));
    mPort->setText(QString::asprintf("%d", UserPref::getInt(PORT)));
    return std::nullopt;
}

// Fields --------------------------------------------------------------------------------------

void SettingsViewController::saveFields() {
    UserPref::setString(URL, tfBaseUrl->text());
    UserPref::setString(EMAIL, tfEmail->text());
    UserPref::setString(IP, mIP->text());
    if (const auto port = portFromField()) {
        UserPref::setInt(PORT, *port);
    }
    UserPref::setString(MY_DEVICE_ID, mMyDeviceID->text());
}

void SettingsViewController::closeKeyboards() {
    for (QLineEdit *field : {tfEmail, tfBaseUrl, mIP, mPort, mMyDeviceID}) {
        field->clearFocus();
    }
}

bool SettingsViewController::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusIn) {
        if (auto *field = qobject_cast<QLineEdit *>(watched)) {
            editingBegin(field);
        }
    }
    return PanelController::eventFilter(watched, event);
}

void SettingsViewController::editingBegin(QLineEdit *field) {
    SHAKELOG_LOG("y pos = %f", double(field->geometry().y()));
    if (const auto rect = scrollRectForTag(field->property("tag").toInt())) {
        mTableView->scrollRectToVisible(*rect, true);
    }
}

void SettingsViewController::resetClicked() {
    tfBaseUrl->setText(Deployment::kReportURL);
    tfEmail->setText(QString());
    UserPref::setString(URL, tfBaseUrl->text());
    UserPref::setString(EMAIL, tfEmail->text());
    alert(QStringLiteral("Message"), QStringLiteral("Defaut settings have been restored."));
}

void SettingsViewController::goURL() { UrlOpener::openURL(QUrl(Deployment::kWebsiteURL)); }

void SettingsViewController::doneClicked() {
    saveFields();
    closeKeyboards();
    mHost.restoreRunningState();
    PanelSlide::slideDown(mView);
}

// E-mail and file ---------------------------------------------------------------------------

void SettingsViewController::emailCSVClicked() {
    mExporting = true;
    showActivity();
    // The export runs in a later turn of the event loop, once the spinner is on screen.
    QMetaObject::invokeMethod(this, &SettingsViewController::emailCSV, Qt::QueuedConnection);
}

void SettingsViewController::emailCSV() {
    mExporting = false;
    if (recipientGiven() && mGraphView) {
        openMail(QStringLiteral("Shakelog Data"), ShareText::csvLines(mGraphView->history()));
    }
    updateActivity();
}

void SettingsViewController::emailClicked() {
    if (!recipientGiven()) {
        return;
    }
    openMail(QStringLiteral("Shakelog URL"),
             QStringLiteral("%1?device_id=%2")
                 .arg(tfBaseUrl->text(), DeviceIdentifier::uniqueIdentifier()));
}

void SettingsViewController::emailURL() {
    const QString site = Deployment::kWebsiteURL;
    openMail(QStringLiteral("Shakelog URL - ") + site,
             QStringLiteral("<a href=\"%1\">%1</a>").arg(site));
}

bool SettingsViewController::recipientGiven() {
    if (!tfEmail->text().isEmpty()) {
        return true;
    }
    alert(kDataTransfer, QStringLiteral("Please enter your email address"));
    return false;
}

void SettingsViewController::openMail(const QString &subject, const QString &body) {
    // A recipient that may not stand in a URL gives no URL, and nothing opens.
    UrlOpener::openURL(QUrl(ShareText::mailURL(tfEmail->text(), subject, body), QUrl::StrictMode));
}

void SettingsViewController::saveCSVClicked() {
    const QString path = mSavePathChooser(mView, QStringLiteral("CSV"));
    if (!path.isEmpty()) {
        saveCSV(path);
    }
}

bool SettingsViewController::saveCSV(const QString &path) {
    if (!mGraphView) {
        return false;
    }
    QString error;
    if (!ShareText::writeCSV(mGraphView->history(), path, &error)) {
        alert(QStringLiteral("Save CSV"),
              QStringLiteral("Could not write %1: %2").arg(path, error));
        return false;
    }
    return true;
}

void SettingsViewController::saveMiniSeedClicked() {
    const QString path = mSavePathChooser(mView, QStringLiteral("miniSEED"));
    if (!path.isEmpty()) {
        saveMiniSeed(path);
    }
}

bool SettingsViewController::saveMiniSeed(const QString &path) {
    if (!mGraphView) {
        return false;
    }
    QString error;
    if (!MiniSeedExport::write(mGraphView->history(), SeedCodes::fromSettings(), path, &error)) {
        alert(QStringLiteral("Save miniSEED"),
              QStringLiteral("Could not write %1: %2").arg(path, error));
        return false;
    }
    return true;
}

// Report upload -----------------------------------------------------------------------------

void SettingsViewController::updateClicked() {
    showActivity();
    if (!mSendLocation->isOn()) {
        QMetaObject::invokeMethod(this, &SettingsViewController::sendDataWithoutLocation,
                                  Qt::QueuedConnection);
        return;
    }
    if (!mLocationManager) {
        mLocationManager = new LocationManager(this);
        mLocationManager->setDelegate(this);
        mLocationManager->setDistanceFilter(1000.0);
        mLocationManager->setDesiredAccuracy(LocationManager::kAccuracyKilometer);
        mLocationManager->setTimeout(kLocationTimeoutMs);
    }
    mLocating = true;
    mLocationManager->startUpdatingLocation();
    showActivity();
}

void SettingsViewController::locationSettingChanged() {
    UserPref::setBoolean(LOCATION_SEND, mSendLocation->isOn());
}

void SettingsViewController::locationManagerDidUpdateToLocation(LocationManager *manager,
                                                                const Location &newLocation,
                                                                const std::optional<Location> &) {
    mLat = float(newLocation.latitude);
    mLon = float(newLocation.longitude);
    mAlt = float(newLocation.altitude);
    mLocating = false;
    sendData(mLat, mLon, mAlt);
    manager->stopUpdatingLocation();
}

void SettingsViewController::locationManagerDidFailWithError(LocationManager *manager,
                                                             const QString &error) {
    SystemLog::log(QStringLiteral("Location request failed: %1").arg(error));
    alert(kDataTransfer, QStringLiteral("ERROR: Location request failed"));
    manager->stopUpdatingLocation();
    mLocating = false;
    updateActivity();
}

void SettingsViewController::sendDataWithoutLocation() { sendData(0, 0, 0); }

void SettingsViewController::sendData(float lat, float lon, float alt) {
    const Report report = Report::make(tfBaseUrl->text(), lat, lon, alt, mReportEarthQuake->isOn());
    SystemLog::log(report.loggedURL());
    mRequestUrl = report.requestURL();
    if (report.serverAddress.isEmpty()) {
        alert(kDataTransfer, QStringLiteral("Please enter the URL"));
        updateActivity();
        return;
    }
    const QString signal = mGraphView ? ShareText::signalLines(mGraphView->history()) : QString();
    // Another upload's answer may have stopped the spinner since this one was asked for.
    showActivity();
    ++mUploadsUnderWay;
    mNetworkQueue->addOperation(Report::makeRequest(mRequestUrl, signal));
    mNetworkQueue->go();
}

void SettingsViewController::requestComplete(HttpRequest *request) {
    --mUploadsUnderWay;
    if (request->dataString()) {
        SystemLog::log(Report::loggedAnswer(*request));
    }
    if (Report::accepted(*request)) {
        alert(kDataTransfer, QStringLiteral("Data has been successfully posted"));
        mReportEarthQuake->setOn(false);
    } else {
        alert(kDataTransfer, Report::rejectionMessage(*request));
    }
    updateActivity();
}

void SettingsViewController::requestFailed(HttpRequest *request) {
    --mUploadsUnderWay;
    alert(kDataTransfer, Report::failureMessage(*request));
    updateActivity();
}

// Activity and alerts -----------------------------------------------------------------------

void SettingsViewController::showActivity() {
    aiLocation->show();
    aiLocation->startAnimating();
}

void SettingsViewController::updateActivity() {
    if (mLocating || mExporting || mUploadsUnderWay > 0) {
        return;
    }
    aiLocation->stopAnimating();
    aiLocation->hide();
}

void SettingsViewController::alert(const QString &title, const QString &message) {
    AlertView::showMessage(title, message, kOK, this, mView);
}

// Table -------------------------------------------------------------------------------------

int SettingsViewController::numberOfSectionsInTableView(TableView *) { return 4; }

int SettingsViewController::numberOfRowsInSection(TableView *, int) { return 1; }

QString SettingsViewController::titleForHeaderInSection(TableView *, int section) {
    switch (section) {
    case 0: return QStringLiteral("Upload via Internet");
    case 1: return QStringLiteral("Send via Email");
    case 2: return QStringLiteral("Send via Wi-Fi");
    default: return QStringLiteral("More");
    }
}

QWidget *SettingsViewController::cellForRowAtIndexPath(TableView *, IndexPath indexPath) {
    if (indexPath.row != 0) {
        return nullptr;
    }
    switch (indexPath.section) {
    case 0: return mCellUpload;
    case 1: return mCellEmail;
    case 2: return mCellTransmit;
    case 3: return mCellDescription;
    default: return nullptr;
    }
}

int SettingsViewController::heightForRowAtIndexPath(TableView *tableView, IndexPath indexPath) {
    return TableView::rowHeightOfCell(cellForRowAtIndexPath(tableView, indexPath));
}
