#pragma once

#include "core/AccelerationInfo.h"
#include "core/SamplePacing.h"
#include "platform/Accelerometer.h"
#include "prefs/CachedSettingText.h"
#include "prefs/SettingsKeys.h"
#include "stream/SampleStream.h"
#include "ui/PanelHost.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class DetectionControl;
class EventDisplay;
class EventReporter;
class GraphView;
class PanelController;
class RecordingControl;
class QAction;
class QLabel;
class QMainWindow;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolBar;
class QWidget;
namespace Ui {
class MainWindow;
}

// The application delegate: launch, activation, the road of one sample from the accelerometer
// to the history and, while the stream is on, to the "AccelerationUpdate" notification; the
// main screen's toolbar, the run/pause switch, the shake alarm switch and the panels. Owns the
// window. Main thread only.
class AppDelegate : public QObject, public AccelerometerDelegate, public PanelHost {
    Q_OBJECT
public:
    // The four panels of the toolbar.
    enum class Panel { Info, Spectrum, Settings, Configuration };
    using PanelFactory = std::function<std::unique_ptr<PanelController>(PanelHost &host)>;

    // `accelerometer` is the shared accelerometer (not owned; none when the sine-wave source
    // feeds the history instead). The window is shown at launch only when `showWindow`.
    explicit AppDelegate(Accelerometer *accelerometer, bool showWindow = true,
                         QObject *parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Runs once per process: a desktop activates the application at every focus change, and
    // a second run would connect the accelerometer and the stream observer again.
    void applicationDidBecomeActive();
    void initAccelerometer() override;
    void reloadUserConfiguration() override;

    void accelerometerDidAccelerate(Accelerometer *accelerometer,
                                    const Acceleration &acceleration) override;
    // Shown at the foot of the traces until the sensor is back.
    void accelerometerWasLost(Accelerometer *accelerometer, const QString &reason) override;
    void accelerometerDidComeBack(Accelerometer *accelerometer) override;
    // The sample goes to the archive, the event reports and the event trigger as delivered,
    // then through the history and its filter.
    void processAcceleration(const Acceleration &acceleration);
    void bindNetworkLabel();

    // The sine-wave source: three sine waves fed to the history at the configured rate. Its
    // timer hands over every sample that is due (SamplePacing); ticked() is one sample.
    void startTimer();
    void stopTimer();
    void ticked();

    // The live stream. Observer of "AccelerationUpdate": sends the sample as one datagram
    // while the stream is on and recording runs.
    void accelerationUpdate(const AccelerationInfo &info);
    // Re-reads NETWORK, BROADCAST, IP and PORT into the stream (after every change of them).
    void bindSocketMode() override;
    // Streams for this run without touching the stored settings (--stream, --broadcast).
    struct StreamOverride {
        bool broadcast = false;
        QString ip;
        int port = 0;
    };
    void setStreamOverride(const StreamOverride &streamOverride) {
        mStreamOverride = streamOverride;
    }
    const SampleStream &stream() const { return mStream; }

    bool networkEnabled() const { return mNetworkEnabled; }
    void setNetworkEnabled(bool enabled) { mNetworkEnabled = enabled; }

    // Main screen.
    void toggleRun();
    void saveRunningState();
    void restoreRunningState() override;
    void slideUp(QWidget *view);
    void toggleAlarm();
    void showInfo() { showPanel(Panel::Info); }
    void showSpectrum() { showPanel(Panel::Spectrum); }
    void showSettings() { showPanel(Panel::Settings); }
    void showConfiguration() { showPanel(Panel::Configuration); }

    // How a panel is made. A panel without a factory has its toolbar button disabled.
    void setPanelFactory(Panel panel, PanelFactory factory);
    // The panel's controller once it has been opened, else none.
    PanelController *panelController(Panel panel) const;

    // A note at the foot of the traces (the donation banner covers their top) about the
    // signal's source; hidden when empty.
    void setSourceNote(const QString &note);
    // SCAN_RATE, or 1 sample per second (with a log line) when the setting is not positive.
    int usableScanRate() const;
    QString sourceNote() const;

    QMainWindow *window = nullptr;              // owned
    GraphView *graphView = nullptr;             // owned by the window
    QToolBar *toolbar = nullptr;                // item 0: run/pause; item 7: alarm switch
    QWidget *mScrollInstructionView = nullptr;  // hint shown while paused
    QLabel *mLabelAlarm = nullptr;
    QLabel *mLabelNetwork = nullptr;  // stream state text
    QLabel *mAlarmMessage = nullptr;
    QPushButton *mButtonAlarm = nullptr;
    QProgressBar *mProgressAlarm = nullptr;
    RecordingControl *recording = nullptr;  // the miniSEED archive; owned
    DetectionControl *detection = nullptr;  // the event trigger and log; owned
    EventReporter *eventReports = nullptr;  // events to the server; owned
    EventDisplay *events = nullptr;         // the window's side of detection; owned
    QTimer *mTimer = nullptr;               // the sine-wave source's timer; none when stopped
    qint32 mSec = 0;                        // tick counter of the sine-wave source

private:
    // The first-run values when the mark HAS_INITIALIZED_1_2 is not true, in one write; with
    // the mark, any of them still missing.
    void writeFirstRunValues();
    struct PanelSlot {
        PanelFactory factory;
        std::unique_ptr<PanelController> controller;  // created on first opening
        QAction *action = nullptr;
    };

    void showPanel(Panel panel);
    // While a pausing panel is open, the run/pause and panel buttons rest: recording is the
    // panel's to restore, and no second panel opens over it.
    void bindToolbarActions();
    void tickDue();
    void tickAt(double timestamp);
    bool eventFilter(QObject *watched, QEvent *event) override;

    std::unique_ptr<Ui::MainWindow> mUi;
    Accelerometer *mAccelerometer;
    bool mShowWindow;
    bool mNetworkEnabled = false;  // copy of NETWORK once the stream is bound
    bool mActivated = false;
    QString mSourceNote;            // the note of the source, kept while a lost sensor's note shows
    bool mDatesFromEvents = false;  // the history dates samples by their own time stamps
    double mEventWallTime = 0;      // then: the sample being processed, in wall-clock seconds
    std::array<PanelSlot, 4> mPanels;
    bool mPausingPanelOpen = false;  // information, sharing or configuration is open
    SamplePacing mSinePacing;        // when the sine-wave source's next sample is due
    SampleStream mStream;
    CachedSettingText mDeviceName{SettingsKeys::MY_DEVICE_ID};  // the datagrams' first field
    std::optional<StreamOverride> mStreamOverride;
};
