#pragma once

#include "platform/Accelerometer.h"
#include "platform/iio/IioDevice.h"
#include "platform/iio/IioRawPoller.h"
#include "platform/iio/IioScanLayout.h"
#include "platform/iio/SysfsAttributes.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class QSocketNotifier;

// An accelerometer read through the kernel's IIO interface. Normally buffered: the accel scan
// elements (and the time stamp) are enabled, the device's trigger chosen, the buffer enabled,
// and whole scans read from the character device whenever it has some (a notifier on the main
// thread: nothing blocks the window). Without a usable buffer the raw attributes are read at the
// configured rate instead, on a thread of their own. Every attribute changed is put back when
// capture stops, at destruction too. A device that goes away is looked for again every few seconds
// and capture resumes when it is back. Main thread only.
class IioAccelerometer : public QObject, public Accelerometer {
    Q_OBJECT
public:
    enum class Mode { Stopped, Buffered, Polled, Lost };

    // The device that `which` names (see IioDevice::locate); none and `error` set when there is
    // none or it cannot be read.
    static std::unique_ptr<IioAccelerometer> open(const QString &which, QString *error);
    ~IioAccelerometer() override;

    void setDelegate(AccelerometerDelegate *delegate) override;
    void setUpdateInterval(double seconds) override;
    int maximumRate() const override { return mDevice.maximumRate(); }
    double samplingRate() const override {
        return mMode == Mode::Buffered || mMode == Mode::Polled ? mRate : 0;
    }
    bool timestampsFromDevice() const override { return true; }
    QString description() const override;

    Mode mode() const { return mMode; }
    const IioDevice &device() const { return mDevice; }
    // How long to wait between looks for a lost device (tests shorten it).
    void setRetryInterval(std::chrono::milliseconds interval) { mRetryTimer.setInterval(interval); }

private:
    IioAccelerometer(QString which, IioDevice device);

    void applyState();
    void start();
    void stop();
    // False with `why` when buffered capture cannot run; nothing is left enabled then.
    // `busy` tells that another program holds the device.
    bool startBuffered(QString *why, bool *busy);
    // Sets the device's sampling rate to mRate; a device that refuses keeps its own.
    void applyRate();
    bool startPolled(QString *why);
    void readScans();
    void lose(const QString &reason);
    void retry();
    void deliver(const std::array<int64_t, 3> &raw, double timestamp);
    // Seconds to add to a device time stamp to get monotonic seconds.
    double clockOffset() const;
    // The monotonic time of a scan stamped `seconds` (already in monotonic seconds, or the
    // moment of reading), kept near this machine's clock and always advancing.
    double sampleTime(double seconds, double now);
    // While buffered: a device unplugged never makes its character device readable again, so
    // a quiet second looks whether it is still there.
    void checkBufferedDevice();

    QString mWhich;  // as the user named the device
    IioDevice mDevice;
    AccelerometerDelegate *mDelegate = nullptr;
    double mInterval = 0.01;  // seconds between samples asked for
    double mRate = 100;       // samples per second chosen from what the device offers
    QTimer mStartTimer;
    quint64 mCaptureGeneration = 0;  // counts stops: a read loop learns its buffer went
    Mode mMode = Mode::Stopped;
    // While capturing, each puts back what it changed: the rate, and the buffer's set-up.
    std::unique_ptr<SysfsAttributes> mAttributes;
    std::unique_ptr<SysfsAttributes> mBufferAttributes;

    // Buffered capture.
    int mFd = -1;  // the character device, non-blocking
    QSocketNotifier *mNotifier = nullptr;
    std::optional<IioScanLayout> mLayout;
    std::array<const IioScanLayout::Element *, 3> mAxisElements{};  // x, y, z in mLayout
    const IioScanLayout::Element *mTimestampElement = nullptr;      // none without time stamps
    int mTimestampClock = 0;     // clockid_t of the device's time stamps
    double mTimeAnchor = 0;      // seconds added to stamps far from this machine's clock
    double mLastSampleTime = 0;  // of the sample delivered last; 0 before the first
    bool mScansArrived = false;  // since the last check of a quiet device
    QTimer mBufferedCheck;
    QByteArray mScanBuffer;       // room for a read of several scans
    qsizetype mPendingBytes = 0;  // bytes at its front of a scan not yet complete

    std::unique_ptr<IioRawPoller> mPoller;  // polled capture

    QTimer mRetryTimer;
    bool mSeenOnLastLook = false;  // the lost device was there at the previous look
    // A lost device was found again and started, but has not delivered yet: it counts as back
    // with its first sample, and a failure meanwhile is not reported again.
    bool mComingBack = false;
    QString mPolledBecause;  // why capture polls, when it does
};
