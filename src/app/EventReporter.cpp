#include "app/EventReporter.h"

#include "platform/SystemLog.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "sharing/Outbox.h"
#include "sharing/Report.h"
#include "sharing/ReportPosition.h"
#include "sharing/ShareText.h"

#include <QAction>

EventReporter::EventReporter(const QString &outboxFolder, QObject *parent)
    : QObject(parent),
      mOutboxFolder(outboxFolder),
      mAction(new QAction(QStringLiteral("Report events to the server"), this)) {
    mHistory.setUpdatingIsEnabled(true);
    mAction->setCheckable(true);
    connect(mAction, &QAction::triggered, this, [this](bool on) {
        UserPref::setBoolean(SettingsKeys::REPORT_EVENTS, on);
        apply();
    });
}

EventReporter::~EventReporter() = default;

void EventReporter::setOnForThisRun() {
    mOnForThisRun = true;
    apply();
}

void EventReporter::reload(bool inputPrefiltered) {
    mInputPrefiltered = inputPrefiltered;
    apply();
}

void EventReporter::apply() {
    const bool on = mOnForThisRun || UserPref::storedBoolean(SettingsKeys::REPORT_EVENTS);
    mAction->setChecked(on);
    mAction->setEnabled(!mOnForThisRun);
    const bool filtering = UserPref::getBoolean(SettingsKeys::FILTER);
    if (filtering != mHistory.filteringIsEnabled()) {
        mHistory.setFilteringEnabled(filtering);
    }
    mHistory.setInputPrefiltered(mInputPrefiltered);
    if (on && !mOutbox) {
        // Reports kept by an earlier run are taken up from here on.
        mOutbox = std::make_unique<Outbox>(mOutboxFolder);
    } else if (!on && mOutbox) {
        // What is kept stays in the folder until reports are on again.
        mOutbox.reset();
    }
}

void EventReporter::addSample(const Acceleration &sample) {
    if (mOutbox) {
        mHistory.updateHistoryWithX(float(sample.x), float(sample.y), float(sample.z));
    }
}

void EventReporter::report(const Event &event) {
    if (!mOutbox) {
        return;
    }
    mServerAddress = UserPref::getString(SettingsKeys::URL);
    if (mServerAddress.isEmpty()) {
        SystemLog::log(QStringLiteral("Event report not sent: no server address (URL) is set"));
        return;
    }
    auto &waiting = mWaiting.emplace_back(
        Waiting{new ReportPosition(this), event, ShareText::signalLines(mHistory)});
    const auto entry = std::prev(mWaiting.end());
    waiting.position->find([this, entry](const Location &location) {
        submit(entry->event, entry->signal, location);
        entry->position->deleteLater();
        mWaiting.erase(entry);
    });
}

void EventReporter::finish() {
    while (!mWaiting.empty()) {
        Waiting &waiting = mWaiting.front();
        waiting.position->stop();
        SystemLog::log(QStringLiteral("The run ends: sending the event report without location"));
        submit(waiting.event, waiting.signal, {});
        delete waiting.position;
        mWaiting.pop_front();
    }
}

void EventReporter::submit(const Event &event, const QString &signal, const Location &location) {
    if (!mOutbox) {
        return;  // switched off meanwhile
    }
    Report report = Report::make(mServerAddress, float(location.latitude),
                                 float(location.longitude), float(location.altitude), false);
    report.extraQuery = triggerQuery(event);
    SystemLog::log(report.loggedURL());
    mOutbox->submitReport(report.requestURL(), signal);
}

QString EventReporter::triggerQuery(const Event &event) {
    return QStringLiteral("&trigger=stalta&start=%1&pga=%2")
        .arg(Event::utcText(event.start))
        .arg(event.pga, 0, 'f', 6);
}
