#pragma once

#include "core/AccelerationInfo.h"
#include "platform/Accelerometer.h"

#include <QObject>

#include <memory>

class GraphView;
class QLabel;
class QTimer;
class QWidget;
namespace Ui {
class MainWindow;
}

// The application delegate: launch, activation, and the road of one sample from the
// accelerometer to the history and, while the stream is on, to the "AccelerationUpdate"
// notification. Owns the window and the waveform view. Main thread only.
class AppDelegate : public QObject, public AccelerometerDelegate {
    Q_OBJECT
public:
    // `accelerometer` is the shared accelerometer (not owned; none when the sine-wave source
    // feeds the history instead). The window is shown at launch only when `showWindow`.
    explicit AppDelegate(Accelerometer *accelerometer, bool showWindow = true,
                         QObject *parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Runs once per process: a desktop activates the application at every focus change, and
    // a second run would connect the accelerometer and the stream observer again.
    void applicationDidBecomeActive();
    void initAccelerometer();
    void reloadUserConfiguration();

    void accelerometerDidAccelerate(Accelerometer *accelerometer,
                                    const Acceleration &acceleration) override;
    void processAcceleration(const Acceleration &acceleration);
    void bindNetworkLabel();

    // The sine-wave source: three sine waves fed to the history at the configured rate.
    void startTimer();
    void stopTimer();
    void ticked();

    // Observer of "AccelerationUpdate"; the live stream sends the datagram here.
    void accelerationUpdate(const AccelerationInfo &info);

    bool networkEnabled() const { return mNetworkEnabled; }
    void setNetworkEnabled(bool enabled) { mNetworkEnabled = enabled; }

    // A note above the traces about the signal's source; hidden when empty.
    void setSourceNote(const QString &note);

    QWidget *window = nullptr;        // owned
    GraphView *graphView = nullptr;   // owned by the window
    QLabel *mLabelNetwork = nullptr;  // stream state text
    QTimer *mTimer = nullptr;         // the sine-wave source's timer; none when stopped
    qint32 mSec = 0;                  // tick counter of the sine-wave source

private:
    // SCAN_RATE, or 1 sample per second (with a log line) when the setting is not positive.
    int usableScanRate() const;

    std::unique_ptr<Ui::MainWindow> mUi;
    Accelerometer *mAccelerometer;
    bool mShowWindow;
    bool mNetworkEnabled = false;  // copy of NETWORK once the stream is bound
    bool mActivated = false;
};
