#include "app/RecordingControl.h"

#include "platform/SystemLog.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QStandardPaths>

using namespace SettingsKeys;

RecordingControl::RecordingControl(QLabel *label, QObject *parent)
    : QObject(parent), mLabel(label), mAction(new QAction(this)) {
    mAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(mAction, &QAction::triggered, this, &RecordingControl::toggle);
    mLocationManager.setDelegate(this);
    bindLabel();
}

RecordingControl::~RecordingControl() = default;

QString RecordingControl::defaultFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("archive"));
}

void RecordingControl::setRunOverride(const QString &folder, const std::optional<SeedCodes> &codes,
                                      std::optional<int> keepDays) {
    mRunFolder = folder;
    mRunCodes = codes;
    mRunKeepDays = keepDays;
}

bool RecordingControl::startIfAsked(double rate, QString *error) {
    mRate = rate;
    if (mRunFolder.isEmpty() && !UserPref::getBoolean(RECORD)) {
        return true;
    }
    return start(error);
}

bool RecordingControl::start(QString *error) {
    Recorder::Settings settings;
    const QString folder = UserPref::getString(RECORD_FOLDER);
    settings.directory = !mRunFolder.isEmpty() ? mRunFolder
                         : folder.isEmpty()    ? defaultFolder()
                                               : folder;
    settings.codes = mRunCodes ? *mRunCodes : SeedCodes::fromSettings();
    settings.rate = mRate;
    settings.keepDays =
        mRunKeepDays ? *mRunKeepDays : std::max(0, UserPref::getInt(RECORD_KEEP_DAYS));
    mRecorder = Recorder::start(settings, error);
    mStartProblem = mRecorder ? QString() : *error;
    if (!mRecorder) {
        SystemLog::log(QStringLiteral("Recording could not start: %1").arg(*error));
        bindLabel();
        return false;
    }
    connect(mRecorder.get(), &Recorder::failed, this, &RecordingControl::bindLabel);
    const QString shown = QDir(settings.directory).absolutePath();
    SystemLog::log(QStringLiteral("Recording %1 to %2").arg(settings.codes.text(), shown));
    bindLabel();
    if (UserPref::getBoolean(LOCATION_SEND)) {
        mLocationManager.startUpdatingLocation();
    }
    emit started(shown);
    return true;
}

void RecordingControl::stop() {
    mStartProblem.clear();
    mLocationManager.stopUpdatingLocation();
    mRecorder.reset();  // writes what it holds
    SystemLog::log(QStringLiteral("Recording stopped"));
    bindLabel();
}

void RecordingControl::toggle() {
    if (mRecorder) {
        stop();
        UserPref::setBoolean(RECORD, false);
        return;
    }
    QString error;
    if (start(&error)) {
        UserPref::setBoolean(RECORD, true);
    }
}

void RecordingControl::locationManagerDidUpdateToLocation(LocationManager *, const Location &fix,
                                                          const std::optional<Location> &) {
    mLocationManager.stopUpdatingLocation();  // a station stays where it is
    if (mRecorder) {
        mRecorder->setPosition({fix.latitude, fix.longitude, fix.altitude});
    }
}

void RecordingControl::locationManagerDidFailWithError(LocationManager *, const QString &error) {
    SystemLog::log(QStringLiteral("Recording: no position for the station file: %1").arg(error));
}

void RecordingControl::setRate(double rate) {
    if (rate == mRate) {
        return;
    }
    mRate = rate;
    if (mRecorder) {
        mRecorder->setRate(rate);
    }
}

void RecordingControl::bindLabel() {
    mAction->setText(mRecorder ? QStringLiteral("Stop recording")
                               : QStringLiteral("Start recording"));
    const QString problem = mRecorder ? mRecorder->failure() : mStartProblem;
    mLabel->setVisible(mRecorder || !problem.isEmpty());
    if (!problem.isEmpty()) {
        mLabel->setText(QStringLiteral("REC ERROR"));
        mLabel->setToolTip(problem);
    } else if (mRecorder) {
        mLabel->setText(QStringLiteral("REC"));
        mLabel->setToolTip(QStringLiteral("Recording to %1")
                               .arg(QDir(mRecorder->settings().directory).absolutePath()));
    }
}
