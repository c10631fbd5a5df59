#pragma once

#include "http/HttpRequest.h"
#include "platform/LocationManager.h"
#include "ui/AlertView.h"
#include "ui/PanelController.h"
#include "ui/TableView.h"

#include <functional>
#include <memory>

class ActivityIndicator;
class GraphView;
class NetworkQueue;
class PanelHost;
class QLineEdit;
class QTextBrowser;
class Switch;
namespace Ui {
class SettingsView;
}

// The sharing panel: everything that sends data off the device. The report upload to the
// data-collection server (with an optional position fix), the three e-mail hand-offs to the
// mail program, saving the export to a file, and the live stream's settings. Switches store
// their setting at once; the host and port fields when their editing ends; the other fields on
// Return and on Done. Main thread only; uploads run on the panel's request queue.
class SettingsViewController : public PanelController,
                               public TableViewDataSource,
                               public AlertViewDelegate,
                               public LocationManagerDelegate {
    Q_OBJECT
public:
    static constexpr int kStreamAlertTag = 1000;
    static constexpr int kLocationTimeoutMs = 30000;

    explicit SettingsViewController(PanelHost &host, QObject *parent = nullptr);
    ~SettingsViewController() override;

    QWidget *view() override { return mView; }
    // The waveform view whose history is exported and uploaded (not owned).
    void setGraphView(GraphView *graphView) override { mGraphView = graphView; }

    // Live stream.
    void networkToggle();
    void alertViewClickedButtonAtIndex(AlertView *alertView, int buttonIndex) override;
    void broadcastToggle();
    void ipChanged();
    void portChanged();
    void bindIPTextField();

    // Fields.
    void saveFields();
    void closeKeyboards();
    void editingBegin(QLineEdit *field);
    void resetClicked();
    void goURL();
    void doneClicked();

    // E-mail and file.
    void emailCSVClicked();
    void emailCSV();
    void emailClicked();
    void emailURL();
    void saveCSVClicked();
    bool saveCSV(const QString &path);
    void saveMiniSeedClicked();
    bool saveMiniSeed(const QString &path);
    // Asks where Save CSV or Save miniSEED (`format`: "CSV", "miniSEED") writes (a file dialog on
    // the panel's view); an empty answer saves nothing. Tests answer in place of a person.
    using SavePathChooser = std::function<QString(QWidget *parent, const QString &format)>;
    void setSavePathChooser(SavePathChooser chooser) { mSavePathChooser = std::move(chooser); }

    // Report upload.
    void updateClicked();
    void locationSettingChanged();
    void sendDataWithoutLocation();
    void sendData(float lat, float lon, float alt);
    void locationManagerDidUpdateToLocation(LocationManager *manager, const Location &newLocation,
                                            const std::optional<Location> &oldLocation) override;
    void locationManagerDidFailWithError(LocationManager *manager, const QString &error) override;
    Q_INVOKABLE void requestComplete(HttpRequest *request);
    Q_INVOKABLE void requestFailed(HttpRequest *request);

    // Table data source.
    int numberOfSectionsInTableView(TableView *tableView) override;
    int numberOfRowsInSection(TableView *tableView, int section) override;
    QString titleForHeaderInSection(TableView *tableView, int section) override;
    QWidget *cellForRowAtIndexPath(TableView *tableView, IndexPath indexPath) override;
    int heightForRowAtIndexPath(TableView *tableView, IndexPath indexPath) override;

    QString requestUrl() const { return mRequestUrl; }
    LocationManager *locationManager() const { return mLocationManager; }
    NetworkQueue *networkQueue() const { return mNetworkQueue.get(); }

    TableView *mTableView = nullptr;
    QWidget *mCellUpload = nullptr;
    QLineEdit *tfBaseUrl = nullptr;
    Switch *mSendLocation = nullptr;
    Switch *mReportEarthQuake = nullptr;
    ActivityIndicator *aiLocation = nullptr;
    QWidget *mCellEmail = nullptr;
    QLineEdit *tfEmail = nullptr;
    QWidget *mCellTransmit = nullptr;
    Switch *mSwitchTransmit = nullptr;
    Switch *mSwitchBroadcast = nullptr;
    QLineEdit *mIP = nullptr;
    QLineEdit *mPort = nullptr;
    QLineEdit *mMyDeviceID = nullptr;
    QWidget *mCellDescription = nullptr;
    QTextBrowser *mDescription = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void viewDidLoad();
    // The field's text as a port for the stream: 1 … 65535, or none (with an alert).
    std::optional<qint32> portFromField();
    void openMail(const QString &subject, const QString &body);
    bool recipientGiven();
    // Starts the spinner for work under way, or stops and hides it when none is left.
    void showActivity();
    void updateActivity();
    void alert(const QString &title, const QString &message);

    PanelHost &mHost;
    std::unique_ptr<Ui::SettingsView> mUi;
    QWidget *mView;                               // owned; its parent is the window once inserted
    GraphView *mGraphView = nullptr;              // not owned
    LocationManager *mLocationManager = nullptr;  // created on the first upload with location
    std::unique_ptr<NetworkQueue> mNetworkQueue;
    QString mRequestUrl;  // of the latest upload attempt
    float mLat = 0, mLon = 0, mAlt = 0;
    bool mLocating = false;    // a position fix is awaited
    bool mExporting = false;   // an e-mail export waits for its turn of the event loop
    int mUploadsUnderWay = 0;  // queued and not yet answered
    SavePathChooser mSavePathChooser;
};
