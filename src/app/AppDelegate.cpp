#include "app/AppDelegate.h"

#include "app/DetectionControl.h"
#include "app/EventDisplay.h"
#include "app/EventReporter.h"
#include "app/RecordingControl.h"
#include "platform/DesktopNotification.h"
#include "platform/IdleTimer.h"
#include "platform/MonotonicClock.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemLog.h"
#include "prefs/PreferenceStore.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "sharing/Outbox.h"
#include "sharing/SettingsViewController.h"
#include "spectrum/SpectrumViewController.h"
#include "ui/ConfigurationViewController.h"
#include "ui/GraphView.h"
#include "ui/ImageCache.h"
#include "ui/InfoViewController.h"
#include "ui/PanelController.h"
#include "ui/PanelSlide.h"
#include "ui_MainWindow.h"

#include <QDir>
#include <QEvent>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>

#include <cmath>

using namespace SettingsKeys;

AppDelegate::AppDelegate(Accelerometer *accelerometer, bool showWindow, QObject *parent)
    : QObject(parent),
      mUi(std::make_unique<Ui::MainWindow>()),
      mAccelerometer(accelerometer),
      mShowWindow(showWindow) {
    window = new QMainWindow;
    mUi->setupUi(window);
    window->setWindowIcon(ImageCache::sharedCache()->getImage(QStringLiteral("shakelog.png")));
    graphView = mUi->graphView;
    toolbar = mUi->toolbar;
    mScrollInstructionView = mUi->mScrollInstructionView;
    mLabelAlarm = mUi->mLabelAlarm;
    mLabelNetwork = mUi->mLabelNetwork;
    mAlarmMessage = mUi->mAlarmMessage;
    mButtonAlarm = mUi->mButtonAlarm;
    mProgressAlarm = mUi->mProgressAlarm;
    recording = new RecordingControl(mUi->mLabelRecording, this);
    detection = new DetectionControl(this);
    detection->setArchiveLookup([this]() -> std::pair<QString, QString> {
        const Recorder *recorder = recording->recorder();
        if (!recorder || recorder->hasFailed()) {
            return {};
        }
        return {QDir(recorder->settings().directory).absolutePath(),
                recorder->settings().codes.text()};
    });
    eventReports = new EventReporter(Outbox::defaultFolder(), this);
    connect(detection, &DetectionControl::eventEnded, eventReports, &EventReporter::report);
    // Started and stopped from the traces' context menu or with its shortcut, anywhere in the
    // window: no room is taken from the main screen.
    graphView->addAction(recording->toggleAction());
    graphView->addAction(eventReports->toggleAction());
    graphView->setContextMenuPolicy(Qt::ActionsContextMenu);
    window->addAction(recording->toggleAction());
    events = new EventDisplay(detection, mUi->mLabelEvent, window, this);
    // A headless run tells its events on standard output, not on a desktop it may not have.
    if (mShowWindow) {
        events->setNotification(std::make_unique<DesktopNotification>());
    }
    graphView->addAction(events->listAction());
    window->addAction(events->listAction());
    connect(recording, &RecordingControl::started, this, [this](const QString &folder) {
        if (!mShowWindow) {
            return;
        }
        const QString note = mSourceNote;
        setSourceNote(QStringLiteral("Recording to %1").arg(folder));
        QTimer::singleShot(5000, this, [this, note] { setSourceNote(note); });
    });

    // The alarm button of the delegate and of the view are the one on-screen button.
    graphView->mSamplingRate = mUi->mSamplingRate;
    graphView->mAlarmMessage = mAlarmMessage;
    graphView->mProgressAlarm = mProgressAlarm;
    graphView->mAlarmStopButton = mButtonAlarm;
    graphView->awakeFromNib();
    if (mAccelerometer && mAccelerometer->timestampsFromDevice()) {
        // Second marks follow the sensor's clock, not the moment its samples were read.
        mDatesFromEvents = true;
        graphView->setWallClock([this] { return mEventWallTime; });
    }

    ImageCache *images = ImageCache::sharedCache();
    mUi->actionRun->setIcon(images->getImage(QStringLiteral("pause.png")));
    mUi->actionAlarm->setIcon(images->getImage(QStringLiteral("sound.png")));
    mUi->actionInfo->setIcon(images->getImage(QStringLiteral("info.png")));
    mUi->actionSpectrum->setIcon(images->getImage(QStringLiteral("spectrum.png")));
    mUi->actionSettings->setIcon(images->getImage(QStringLiteral("share.png")));
    mUi->actionConfiguration->setIcon(images->getImage(QStringLiteral("config.png")));
    connect(mUi->actionRun, &QAction::triggered, this, &AppDelegate::toggleRun);
    connect(mUi->actionAlarm, &QAction::triggered, this, &AppDelegate::toggleAlarm);
    connect(mButtonAlarm, &QPushButton::clicked, this, &AppDelegate::toggleAlarm);
    connect(mUi->actionInfo, &QAction::triggered, this, &AppDelegate::showInfo);
    connect(mUi->actionSpectrum, &QAction::triggered, this, &AppDelegate::showSpectrum);
    connect(mUi->actionSettings, &QAction::triggered, this, &AppDelegate::showSettings);
    connect(mUi->actionConfiguration, &QAction::triggered, this, &AppDelegate::showConfiguration);
    mPanels[size_t(Panel::Info)].action = mUi->actionInfo;
    mPanels[size_t(Panel::Spectrum)].action = mUi->actionSpectrum;
    mPanels[size_t(Panel::Settings)].action = mUi->actionSettings;
    mPanels[size_t(Panel::Configuration)].action = mUi->actionConfiguration;
    window->installEventFilter(this);  // closed panels stay parked as the window grows
    setPanelFactory(Panel::Info,
                    [](PanelHost &host) { return std::make_unique<InfoViewController>(host); });
    setPanelFactory(Panel::Spectrum,
                    [](PanelHost &) { return std::make_unique<SpectrumViewController>(); });
    setPanelFactory(Panel::Settings,
                    [](PanelHost &host) { return std::make_unique<SettingsViewController>(host); });
    setPanelFactory(Panel::Configuration, [this](PanelHost &host) {
        const int maximumRate = mAccelerometer ? mAccelerometer->maximumRate() : 0;
        return std::make_unique<ConfigurationViewController>(host, maximumRate);
    });
}

AppDelegate::~AppDelegate() {
    stopTimer();
    NotificationCenter::defaultCenter().removeObserver(this);
    if (mAccelerometer) {
        mAccelerometer->setDelegate(nullptr);
    }
    for (PanelSlot &slot : mPanels) {
        slot.controller.reset();  // before the window that holds their views
    }
    delete window;
}

void AppDelegate::writeFirstRunValues() {
    PreferenceStore &store = UserPref::persistentStore();
    const bool initialized = UserPref::getBoolean(HAS_INITIALIZED_1_2);
    QList<std::pair<QString, PrefValue>> values;
    bool replacesUserValues = false;
    for (const Key &key : kAll) {
        if (!key.firstRun) {
            continue;
        }
        // What this run wrote, else what the file holds.
        const QHash<QString, PrefValue> &written = UserPref::sharedCache()->userPrefDict();
        const std::optional<PrefValue> stored = written.contains(key.name)
                                                    ? std::optional(written.value(key.name))
                                                    : store.copyAppValue(key.name);
        if (!initialized) {
            values.append({key.name, *key.firstRun});
            replacesUserValues |=
                key.name != HAS_INITIALIZED_1_2 && stored && *stored != *key.firstRun;
        } else if (!stored) {
            // A first launch of an earlier version, killed between its writes, left the mark
            // without the values after it.
            values.append({key.name, *key.firstRun});
        }
    }
    if (replacesUserValues) {
        // Without the mark (lost, or not a boolean) the settings are the user's all the same.
        store.keepCopy(
            QStringLiteral("not marked as initialized, its settings are replaced by "
                           "first-run values"));
    }
    // One write of the file: a launch killed half-way leaves all of them or none, and none
    // means the next start writes them again.
    UserPref::setValues(values);
    if (!initialized) {
        SystemLog::log(QStringLiteral("User settings have been initialized"));
    }
}

void AppDelegate::applicationDidFinishLaunching() {
    writeFirstRunValues();
    UserPref::setBoolean(NETWORK, false);
    IdleTimer::shared().setIdleTimerDisabled(true);
    if (mShowWindow) {
        window->show();
        window->activateWindow();
    }
    graphView->setUpdatingIsEnabled(true);
    reloadUserConfiguration();

    qint32 level = UserPref::getInt(ALARM_LEVEL);
    if (level == 0) {
        UserPref::setInt(ALARM_LEVEL, 2);
        level = 2;
    }
    graphView->setMAlarmLevel(float(level) * 0.33f);
    SHAKELOG_LOG("alarm %f", double(graphView->alarmLevel()));
    SystemLog::log(QStringLiteral("Device started. Take real signal values"));
}

void AppDelegate::applicationDidBecomeActive() {
    if (mActivated) {
        return;
    }
    mActivated = true;
    initAccelerometer();
    SystemLog::log(QStringLiteral("applicationDidBecomeActive - starting network now"));
    NotificationCenter::defaultCenter().addObserver(
        this, kAccelerationUpdate, [this](const NotificationCenter::Notification &n) {
            if (const auto *info = std::any_cast<AccelerationInfo>(&n.object)) {
                accelerationUpdate(*info);
            }
        });
    // Stream set-up: one socket for the life of the process.
    mStream.open(mStreamOverride ? mStreamOverride->port : UserPref::getInt(PORT));
    mNetworkEnabled = mStreamOverride ? true : UserPref::getBoolean(NETWORK);
    bindSocketMode();
}

void AppDelegate::bindSocketMode() {
    mNetworkEnabled = mStreamOverride ? true : UserPref::getBoolean(NETWORK);
    SHAKELOG_LOG("networkEnabled %d", int(mNetworkEnabled));
    bindNetworkLabel();
    const bool broadcast =
        mStreamOverride ? mStreamOverride->broadcast : UserPref::getBoolean(BROADCAST);
    SHAKELOG_LOG("isBroadcast %d", int(broadcast));
    if (broadcast) {
        mStream.bind(true, QString(), 0);
    } else if (mStreamOverride) {
        mStream.bind(false, mStreamOverride->ip, mStreamOverride->port);
    } else {
        const QString ip = UserPref::getString(IP);
        mStream.bind(false, ip, UserPref::getInt(PORT));
    }
}

int AppDelegate::usableScanRate() const {
    const qint32 rate = UserPref::getInt(SCAN_RATE);
    if (rate > 0) {
        return rate;
    }
    SHAKELOG_LOG("SCAN_RATE %d is not a usable rate; sampling at 1 per second", rate);
    return 1;
}

void AppDelegate::initAccelerometer() {
    const double interval = 1.0f / float(usableScanRate());
    SHAKELOG_LOG("Initializing Accelerometer %f interval", interval);
    if (mAccelerometer) {
        mAccelerometer->setDelegate(this);
        mAccelerometer->setUpdateInterval(interval);
    }
    if (mTimer) {
        startTimer();  // the sine-wave source takes the new rate too
    }
}

void AppDelegate::reloadUserConfiguration() {
    graphView->setFilteringEnabled(UserPref::getBoolean(FILTER));
    graphView->setInputPrefiltered(mAccelerometer && mAccelerometer->deliversFilteredSamples());
    // The rate actually sampled: the alarm's seconds and the spectrum's hertz count by it.
    graphView->setMFrequency(float(usableScanRate()));
    const double rate = mAccelerometer && mAccelerometer->samplingRate() > 0
                            ? mAccelerometer->samplingRate()
                            : usableScanRate();
    recording->setRate(rate);
    detection->setInputPrefiltered(mAccelerometer && mAccelerometer->deliversFilteredSamples());
    detection->reload(rate);
    eventReports->reload(mAccelerometer && mAccelerometer->deliversFilteredSamples());
    graphView->setMDrawTime(UserPref::getBoolean(DRAW_TIME));
    graphView->setMRealTime(UserPref::getBoolean(REAL_TIME));
}

void AppDelegate::accelerometerDidAccelerate(Accelerometer *, const Acceleration &acceleration) {
    processAcceleration(acceleration);
}

void AppDelegate::accelerometerWasLost(Accelerometer *, const QString &) {
    mUi->mSourceNote->setText(QStringLiteral("Sensor lost — waiting for it to come back"));
    mUi->mSourceNote->setVisible(true);
}

void AppDelegate::accelerometerDidComeBack(Accelerometer *) { setSourceNote(mSourceNote); }

void AppDelegate::processAcceleration(const Acceleration &acceleration) {
    if (mAccelerometer && mAccelerometer->samplingRate() > 0) {
        // The archive's time axis runs at the rate the samples really come at.
        recording->setRate(mAccelerometer->samplingRate());
        detection->setRate(mAccelerometer->samplingRate());
    }
    recording->addSample(acceleration);
    eventReports->addSample(acceleration);  // before an event's end takes the samples
    detection->addSample(acceleration);
    if (mDatesFromEvents) {
        mEventWallTime = wallSecondsAtMonotonic(acceleration.timestamp);
    }
    graphView->updateHistoryWithX(float(acceleration.x), float(acceleration.y),
                                  float(acceleration.z));
    const double x = graphView->getLatestHistory(0);
    const double y = graphView->getLatestHistory(1);
    const double z = graphView->getLatestHistory(2);
    if (mNetworkEnabled) {
        NotificationCenter::defaultCenter().post(
            kAccelerationUpdate,
            AccelerationInfo::createWithTimestamp(acceleration.timestamp, x, y, z));
    }
    bindNetworkLabel();
}

void AppDelegate::bindNetworkLabel() {
    mLabelNetwork->setText(mNetworkEnabled ? QStringLiteral("NETWORK: ON")
                                           : QStringLiteral("NETWORK: OFF"));
}

void AppDelegate::startTimer() {
    stopTimer();
    const double interval = 1.0 / double(usableScanRate());
    mSinePacing.start(monotonicSeconds(), interval);
    mTimer = new QTimer(this);
    mTimer->setTimerType(Qt::PreciseTimer);
    mTimer->setInterval(SamplePacing::timerMilliseconds(interval));
    connect(mTimer, &QTimer::timeout, this, &AppDelegate::tickDue);
    mTimer->start();
}

void AppDelegate::stopTimer() {
    if (mTimer) {
        mTimer->stop();
        delete mTimer;
        mTimer = nullptr;
    }
}

void AppDelegate::tickDue() {
    mSinePacing.takeAllDue(monotonicSeconds(), [this](double due) {
        tickAt(due);
        return mTimer != nullptr;  // a sample may stop the source
    });
}

void AppDelegate::ticked() { tickAt(monotonicSeconds()); }

void AppDelegate::tickAt(double timestamp) {
    ++mSec;
    const float n = float(mSec);
    const float x = float(std::sin(double(n / 3.0f)) / double(6.8f));
    const float y = float(std::sin(double(n * 0.25f)) / double(7.1f));
    const float z = float(std::sin(double(n / 6.0f)) / double(8.4f));
    // The whole road of a sample, so that the test signal can be streamed too.
    processAcceleration({x, y, z, timestamp});
}

void AppDelegate::accelerationUpdate(const AccelerationInfo &info) {
    if (!graphView->updatingIsEnabled() || !mNetworkEnabled || mStream.udpSocket() == -1) {
        return;
    }
    mStream.sendSample(mDeviceName.utf8(), info.absTime, info.x, info.y, info.z);
}

void AppDelegate::toggleRun() {
    ImageCache *images = ImageCache::sharedCache();
    const bool running = graphView->updatingIsEnabled();
    toolbar->actions().at(0)->setIcon(
        images->getImage(running ? QStringLiteral("forward.png") : QStringLiteral("pause.png")));
    graphView->setUpdatingIsEnabled(!running);
    graphView->setMIndexDraggedSoFar(0);
    graphView->update();
    mScrollInstructionView->setHidden(!mScrollInstructionView->isHidden());
    bindNetworkLabel();
}

void AppDelegate::saveRunningState() {
    const bool running = graphView->updatingIsEnabled();
    UserPref::setBoolean(RUNNING_STATE, running);
    if (running) {
        toggleRun();
    }
    mPausingPanelOpen = true;
    bindToolbarActions();
}

void AppDelegate::restoreRunningState() {
    if (UserPref::getBoolean(RUNNING_STATE)) {
        toggleRun();
    }
    mPausingPanelOpen = false;
    bindToolbarActions();
}

void AppDelegate::bindToolbarActions() {
    mUi->actionRun->setEnabled(!mPausingPanelOpen);
    for (PanelSlot &slot : mPanels) {
        slot.action->setEnabled(slot.factory && !mPausingPanelOpen);
    }
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event) {
    if (watched == window && event->type() == QEvent::Resize) {
        for (PanelSlot &slot : mPanels) {
            if (slot.controller) {
                PanelSlide::keepParked(slot.controller->view());
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::slideUp(QWidget *view) { PanelSlide::slideUp(view, graphView); }

void AppDelegate::toggleAlarm() {
    ImageCache *images = ImageCache::sharedCache();
    ShakeAlarm &alarm = graphView->alarm();
    const bool switchOn = !alarm.isAlarmOn();
    toolbar->actions().at(7)->setIcon(
        images->getImage(switchOn ? QStringLiteral("ban.png") : QStringLiteral("sound.png")));
    mLabelAlarm->setText(switchOn ? QStringLiteral("ALARM: ON") : QStringLiteral("ALARM: OFF"));
    mAlarmMessage->setVisible(switchOn);
    mButtonAlarm->setVisible(switchOn);
    mProgressAlarm->setVisible(switchOn);
    if (switchOn) {
        alarm.switchOn(graphView->frequency());
    } else {
        alarm.switchOff();
    }
    mButtonAlarm->setStyleSheet(QStringLiteral("background-color: lightgray"));
}

void AppDelegate::setPanelFactory(Panel panel, PanelFactory factory) {
    mPanels[size_t(panel)].factory = std::move(factory);
    bindToolbarActions();
}

PanelController *AppDelegate::panelController(Panel panel) const {
    return mPanels[size_t(panel)].controller.get();
}

void AppDelegate::showPanel(Panel panel) {
    PanelSlot &slot = mPanels[size_t(panel)];
    if (!slot.controller && !slot.factory) {
        return;
    }
    // The spectrum shows the live signal: recording goes on under it.
    if (panel != Panel::Spectrum) {
        saveRunningState();
    }
    if (!slot.controller) {
        slot.controller = slot.factory(*this);
        QWidget *view = slot.controller->view();
        view->setParent(window);
        view->move(0, PanelSlide::parkedCentreY(view) - view->height() / 2);
        view->show();
        view->raise();  // above everything the window holds
    }
    if (panel == Panel::Spectrum || panel == Panel::Settings) {
        slot.controller->setGraphView(graphView);
    }
    slideUp(slot.controller->view());
    if (panel == Panel::Spectrum) {
        slot.controller->setAllowRefresh(true);
    }
}

void AppDelegate::setSourceNote(const QString &note) {
    mSourceNote = note;
    mUi->mSourceNote->setText(note);
    mUi->mSourceNote->setVisible(!note.isEmpty());
}

QString AppDelegate::sourceNote() const {
    return mUi->mSourceNote->isVisibleTo(window) ? mUi->mSourceNote->text() : QString();
}
