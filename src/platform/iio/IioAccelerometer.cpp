#include "platform/iio/IioAccelerometer.h"

#include "platform/MonotonicClock.h"
#include "platform/SystemLog.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {
constexpr auto &kAxes = IioDevice::kAxes;
constexpr int kScansPerRead = 64;
// Time stamps further than this from this machine's clock come from a clock of the sensor's own
// (a sensor hub's) or are not set: such samples are dated from the moment they arrive.
constexpr double kMaxClockSkew = 30.0;  // seconds

// current_timestamp_clock's names for the kernel's clocks; the kernel's default is realtime.
int clockFromName(const QByteArray &name) {
    static const std::pair<const char *, int> clocks[] = {
        {"realtime", CLOCK_REALTIME},
        {"monotonic", CLOCK_MONOTONIC},
        {"monotonic_raw", CLOCK_MONOTONIC_RAW},
        {"realtime_coarse", CLOCK_REALTIME_COARSE},
        {"monotonic_coarse", CLOCK_MONOTONIC_COARSE},
        {"boottime", CLOCK_BOOTTIME},
        {"tai", CLOCK_TAI},
    };
    for (const auto &[text, clock] : clocks) {
        if (name == text) {
            return clock;
        }
    }
    return CLOCK_REALTIME;
}

void closeDescriptor(int &fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}
}  // namespace

std::unique_ptr<IioAccelerometer> IioAccelerometer::open(const QString &which, QString *error) {
    const QString path = IioDevice::locate(which, error);
    if (path.isEmpty()) {
        return nullptr;
    }
    std::optional<IioDevice> device = IioDevice::read(path, error);
    if (!device) {
        return nullptr;
    }
    if (!device->rateProblem.isEmpty()) {
        SystemLog::log(QStringLiteral("IIO accelerometer %1: its rate is left as it is: %2")
                           .arg(device->name, device->rateProblem));
    }
    return std::unique_ptr<IioAccelerometer>(new IioAccelerometer(which, std::move(*device)));
}

IioAccelerometer::IioAccelerometer(QString which, IioDevice device)
    : mWhich(std::move(which)), mDevice(std::move(device)) {
    // Started from the event loop, so that a delegate and an interval set one after the other
    // start capture once.
    mStartTimer.setSingleShot(true);
    connect(&mStartTimer, &QTimer::timeout, this, [this] {
        if (mDelegate && mMode == Mode::Stopped) {
            start();
        }
    });
    mRetryTimer.setInterval(std::chrono::seconds(3));
    connect(&mRetryTimer, &QTimer::timeout, this, &IioAccelerometer::retry);
    mBufferedCheck.setInterval(std::chrono::seconds(1));
    connect(&mBufferedCheck, &QTimer::timeout, this, &IioAccelerometer::checkBufferedDevice);
}

IioAccelerometer::~IioAccelerometer() { stop(); }

void IioAccelerometer::setDelegate(AccelerometerDelegate *delegate) {
    mDelegate = delegate;
    applyState();
}

void IioAccelerometer::setUpdateInterval(double seconds) {
    if (seconds == mInterval) {
        return;
    }
    mInterval = seconds;
    if (mMode == Mode::Buffered || mMode == Mode::Polled) {
        stop();  // the device takes a new rate only while its buffer is off
    }
    applyState();
}

QString IioAccelerometer::description() const {
    return QStringLiteral("IIO accelerometer %1 (%2)").arg(mDevice.name, mDevice.deviceName());
}

void IioAccelerometer::applyState() {
    if (mDelegate && mMode == Mode::Stopped) {
        mStartTimer.start(0);
    } else if (!mDelegate) {
        mStartTimer.stop();
        mComingBack = false;
        if (mMode != Mode::Stopped) {
            stop();
        }
    }
}

void IioAccelerometer::start() {
    mAttributes = std::make_unique<SysfsAttributes>(mDevice.path);
    // Intervals come as single-precision fractions (0.0099999998 s for 100 samples/s): a rate
    // to the millihertz is what was meant.
    const double wanted = std::round(1000.0 / mInterval) / 1000.0;
    mRate = mDevice.availableRates ? mDevice.availableRates->choose(wanted) : wanted;
    QString why;
    bool busy = false;
    mLastSampleTime = 0;
    mTimeAnchor = 0;
    if (startBuffered(&why, &busy)) {
        mMode = Mode::Buffered;
        mPolledBecause.clear();
        mScansArrived = false;
        mBufferedCheck.start();
        return;
    }
    if (!mComingBack) {
        SystemLog::log(QStringLiteral("%1: reading its raw values instead of buffered scans: %2")
                           .arg(description(), why));
    }
    mPolledBecause = why;
    if (!busy) {
        applyRate();  // a program that holds the device keeps the rate it chose
    }
    QString pollError;
    if (startPolled(&pollError)) {
        mMode = Mode::Polled;
        return;
    }
    lose(pollError);
}

void IioAccelerometer::applyRate() {
    QString error;
    if (!mDevice.samplingFrequencyAttribute.isEmpty() &&
        !mAttributes->write(mDevice.samplingFrequencyAttribute, QByteArray::number(mRate, 'g', 10),
                            &error)) {
        SystemLog::log(QStringLiteral("%1: keeping its rate: %2").arg(description(), error));
    }
}

bool IioAccelerometer::startBuffered(QString *why, bool *busy) {
    if (!mDevice.buffered) {
        *why = QStringLiteral("it has no buffer");
        return false;
    }
    const QString device = mDevice.characterDevice();
    mFd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (mFd < 0) {
        *busy = errno == EBUSY;
        *why = iioOpenError(device, errno);
        return false;
    }
    mBufferAttributes = std::make_unique<SysfsAttributes>(mDevice.path);
    SysfsAttributes &attributes = *mBufferAttributes;
    const auto fail = [this, why](const QString &reason) {
        *why = reason;
        closeDescriptor(mFd);
        mBufferAttributes.reset();
        return false;
    };
    QString error;
    // Scan elements and the trigger can change only while the buffer is off.
    if (!attributes.write(QStringLiteral("buffer/enable"), "0", &error)) {
        return fail(error);
    }
    applyRate();
    for (const char *axis : kAxes) {
        if (!attributes.write(
                QStringLiteral("scan_elements/in_accel_%1_en").arg(QLatin1String(axis)), "1",
                &error)) {
            return fail(error);
        }
    }
    // Without its time stamp a scan is stamped when it is read: worse, but still a signal.
    if (attributes.exists(QStringLiteral("scan_elements/in_timestamp_en"))) {
        attributes.write(QStringLiteral("scan_elements/in_timestamp_en"), "1", &error);
    }
    if (attributes.exists(QStringLiteral("current_timestamp_clock"))) {
        attributes.write(QStringLiteral("current_timestamp_clock"), "monotonic", &error);
    }
    mTimestampClock = clockFromName(
        attributes.read(QStringLiteral("current_timestamp_clock")).value_or("realtime"));
    if (mDevice.currentTrigger.isEmpty() && !mDevice.ownTrigger.isEmpty() &&
        !attributes.write(QStringLiteral("trigger/current_trigger"), mDevice.ownTrigger.toLatin1(),
                          &error)) {
        return fail(error);
    }
    // About a second of scans: room for the window to be busy for a moment.
    const int length = std::max(64, int(std::lround(mRate)));
    if (attributes.exists(QStringLiteral("buffer/length"))) {
        attributes.write(QStringLiteral("buffer/length"), QByteArray::number(length), &error);
    }

    std::optional<IioScanLayout> layout = IioScanLayout::read(attributes, &error);
    if (!layout) {
        return fail(error);
    }
    mLayout = std::move(layout);
    for (int a = 0; a < 3; ++a) {
        mAxisElements[a] = mLayout->find(QByteArray("in_accel_") + kAxes[a]);
        if (!mAxisElements[a]) {
            return fail(QStringLiteral("in_accel_%1 stays out of the scan").arg(kAxes[a]));
        }
    }
    mTimestampElement = mLayout->find("in_timestamp");
    if (!attributes.write(QStringLiteral("buffer/enable"), "1", &error)) {
        return fail(error);
    }
    mScanBuffer = QByteArray(qsizetype(mLayout->scanBytes()) * kScansPerRead, Qt::Uninitialized);
    mPendingBytes = 0;
    mNotifier = new QSocketNotifier(mFd, QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, &IioAccelerometer::readScans);
    return true;
}

bool IioAccelerometer::startPolled(QString *why) {
    std::array<QString, 3> paths;
    for (int a = 0; a < 3; ++a) {
        paths[a] =
            mAttributes->path(QStringLiteral("in_accel_%1_raw").arg(QLatin1String(kAxes[a])));
    }
    mPoller = std::make_unique<IioRawPoller>();
    if (!mPoller->open(paths, why)) {
        mPoller.reset();
        return false;
    }
    // Samples and failures come back to this thread; those of a capture since stopped are
    // dropped.
    const quint64 generation = mCaptureGeneration;
    mPoller->start(
        mRate,
        [this, generation](const std::array<int64_t, 3> &raw, double timestamp) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, raw, timestamp] {
                    if (generation == mCaptureGeneration) {
                        deliver(raw, timestamp);
                    }
                },
                Qt::QueuedConnection);
        },
        [this, generation](const QString &reason) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, reason] {
                    if (generation == mCaptureGeneration) {
                        lose(reason);
                    }
                },
                Qt::QueuedConnection);
        });
    return true;
}

void IioAccelerometer::stop() {
    ++mCaptureGeneration;
    mBufferedCheck.stop();
    if (mNotifier) {
        // stop() may run inside the notifier's own signal.
        mNotifier->setEnabled(false);
        mNotifier->deleteLater();
        mNotifier = nullptr;
    }
    mPoller.reset();  // joins its thread
    closeDescriptor(mFd);
    mBufferAttributes.reset();  // the buffer off first, then what it needed
    mAttributes.reset();
    mLayout.reset();
    mRetryTimer.stop();
    mMode = Mode::Stopped;
}

void IioAccelerometer::readScans() {
    const qsizetype scanBytes = mLayout->scanBytes();
    for (;;) {
        // Whole scans from the front of the buffer; a partial one waits there for its rest.
        const size_t room = size_t(mScanBuffer.size() - mPendingBytes);
        const ssize_t got = ::read(mFd, mScanBuffer.data() + mPendingBytes, room);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (got <= 0) {
            lose(got == 0 ? QStringLiteral("%1 ended").arg(mDevice.characterDevice())
                          : QStringLiteral("reading %1 failed: %2")
                                .arg(mDevice.characterDevice(),
                                     QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        mPendingBytes += got;
        mScansArrived = true;
        const qsizetype scans = mPendingBytes / scanBytes;
        const double offset = mTimestampElement ? clockOffset() : 0.0;
        const double now = monotonicSeconds();
        const auto *bytes = reinterpret_cast<const uint8_t *>(mScanBuffer.constData());
        const quint64 generation = mCaptureGeneration;
        for (qsizetype i = 0; i < scans; ++i) {
            const uint8_t *scan = bytes + i * scanBytes;
            std::array<int64_t, 3> raw{};
            for (int a = 0; a < 3; ++a) {
                raw[a] = mAxisElements[a]->type.decode(scan + mAxisElements[a]->offset);
            }
            const double stamped =
                mTimestampElement
                    ? double(mTimestampElement->type.decode(scan + mTimestampElement->offset)) *
                              1e-9 +
                          offset
                    : now - double(scans - 1 - i) / mRate;
            deliver(raw, sampleTime(stamped, now));
            if (generation != mCaptureGeneration) {
                return;  // the delegate stopped (and maybe restarted) capture: this buffer is gone
            }
        }
        mPendingBytes -= scans * scanBytes;
        std::memmove(mScanBuffer.data(), mScanBuffer.constData() + scans * scanBytes,
                     size_t(mPendingBytes));
        if (size_t(got) < room) {
            return;  // drained: the notifier tells when more comes
        }
    }
}

double IioAccelerometer::sampleTime(double seconds, double now) {
    double time = seconds + mTimeAnchor;
    if (std::abs(time - now) > kMaxClockSkew) {
        if (mTimeAnchor == 0) {
            SystemLog::log(QStringLiteral("%1: its time stamps are %2 s away from this machine's "
                                          "clock; its samples are dated as they arrive")
                               .arg(description(), QString::number(std::lround(time - now))));
        }
        mTimeAnchor += now - time;
        time = now;
    }
    // Stamps that do not advance (a driver that leaves them at 0) are spaced by the rate.
    if (mLastSampleTime != 0 && time <= mLastSampleTime) {
        time = mLastSampleTime + 1.0 / mRate;
    }
    mLastSampleTime = time;
    return time;
}

void IioAccelerometer::checkBufferedDevice() {
    if (!QFileInfo::exists(mDevice.path + QLatin1String("/name"))) {
        lose(QStringLiteral("%1 is gone").arg(mDevice.path));
    } else if (!mScansArrived) {
        readScans();  // a device gone reports ENODEV here; an idle one has nothing
    }
    mScansArrived = false;
}

void IioAccelerometer::deliver(const std::array<int64_t, 3> &raw, double timestamp) {
    if (mComingBack) {
        mComingBack = false;
        SystemLog::log(mPolledBecause.isEmpty()
                           ? QStringLiteral("%1 is back").arg(description())
                           : QStringLiteral("%1 is back, reading its raw values: %2")
                                 .arg(description(), mPolledBecause));
        if (mDelegate) {
            mDelegate->accelerometerDidComeBack(this);
        }
    }
    if (mDelegate) {
        mDelegate->accelerometerDidAccelerate(this,
                                              mDevice.calibration.toAcceleration(raw, timestamp));
    }
}

double IioAccelerometer::clockOffset() const {
    if (mTimestampClock == CLOCK_MONOTONIC) {
        return 0.0;
    }
    return monotonicSeconds() - clockSeconds(mTimestampClock);
}

void IioAccelerometer::lose(const QString &reason) {
    stop();
    mMode = Mode::Lost;
    mSeenOnLastLook = false;
    mRetryTimer.start();
    if (mComingBack) {
        return;  // still lost: said once already
    }
    SystemLog::log(
        QStringLiteral("%1 lost: %2; looking for it every %3 s")
            .arg(description(), reason, QString::number(double(mRetryTimer.interval()) / 1000.0)));
    if (mDelegate) {
        mDelegate->accelerometerWasLost(this, reason);
    }
}

void IioAccelerometer::retry() {
    // Numbers change when a device comes back: one chosen by number, or the first one, is
    // looked for by the name it had.
    const bool byName = (mWhich.isEmpty() || mWhich.startsWith(QLatin1String("iio:device"))) &&
                        !mDevice.name.isEmpty();
    QString error;
    const QString path = IioDevice::locate(byName ? mDevice.name : mWhich, &error);
    std::optional<IioDevice> device;
    if (!path.isEmpty()) {
        device = IioDevice::read(path, &error);
    }
    // A device that has just appeared gets one more look's time, for udev to give it its group.
    const bool seen = device.has_value();
    if (!seen || !std::exchange(mSeenOnLastLook, true)) {
        mSeenOnLastLook = seen;
        return;
    }
    mRetryTimer.stop();
    mDevice = std::move(*device);
    mMode = Mode::Stopped;
    if (mDelegate) {
        mComingBack = true;
        start();
    }
}
