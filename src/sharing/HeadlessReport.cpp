#include "sharing/HeadlessReport.h"

#include "http/FormDataRequest.h"
#include "http/NetworkQueue.h"
#include "platform/SystemLog.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "sharing/Report.h"
#include "sharing/ShareText.h"

HeadlessReport::HeadlessReport(const QString &serverAddress, bool earthquake,
                               const SampleHistory &history, QObject *parent)
    : QObject(parent),
      mServerAddress(serverAddress),
      mEarthquake(earthquake),
      mSignal(ShareText::signalLines(history)),
      mNetworkQueue(std::make_unique<NetworkQueue>()) {
    mNetworkQueue->setRequestDidFinishSelector("requestComplete");
    mNetworkQueue->setRequestDidFailSelector("requestFailed");
    mNetworkQueue->setDelegate(this);
}

HeadlessReport::~HeadlessReport() {
    // The queue cancels what is on its way as it goes: a report that is going already hears
    // nothing of it (its listeners may be gone before it).
    mNetworkQueue->setDelegate(nullptr);
}

void HeadlessReport::start() {
    if (!UserPref::getBoolean(SettingsKeys::LOCATION_SEND)) {
        SystemLog::log(QStringLiteral("LOCATION_SEND is off: sending the report without location"));
        send({});
        return;
    }
    mLocationManager = new LocationManager(this);
    mLocationManager->setDelegate(this);
    mLocationManager->setDesiredAccuracy(LocationManager::kAccuracyKilometer);
    mLocationManager->setTimeout(kLocationTimeoutMs);
    mLocationManager->startUpdatingLocation();
}

void HeadlessReport::cancel() {
    if (mSent) {
        mNetworkQueue->cancelAllOperations();  // its failure is reported as any other
        return;
    }
    if (mLocationManager) {
        mLocationManager->stopUpdatingLocation();
    }
    emit finished(false, QStringLiteral("Report failed: cancelled before it was sent"));
}

void HeadlessReport::locationManagerDidUpdateToLocation(LocationManager *manager,
                                                        const Location &newLocation,
                                                        const std::optional<Location> &) {
    manager->stopUpdatingLocation();
    send(newLocation);
}

void HeadlessReport::locationManagerDidFailWithError(LocationManager *manager,
                                                     const QString &error) {
    manager->stopUpdatingLocation();
    SystemLog::log(
        QStringLiteral("No position (%1): sending the report without location").arg(error));
    send({});
}

void HeadlessReport::send(const Location &location) {
    const Report report =
        Report::make(mServerAddress, float(location.latitude), float(location.longitude),
                     float(location.altitude), mEarthquake);
    SystemLog::log(report.loggedURL());
    mSent = true;
    mNetworkQueue->addOperation(Report::makeRequest(report.requestURL(), mSignal));
    mNetworkQueue->go();
}

void HeadlessReport::requestComplete(HttpRequest *request) {
    if (request->dataString()) {
        SystemLog::log(Report::loggedAnswer(*request));
    }
    if (Report::accepted(*request)) {
        emit finished(
            true, QStringLiteral("Report accepted (status %1)").arg(request->responseStatusCode()));
    } else {
        emit finished(
            false,
            QStringLiteral("Report not accepted (status %1)").arg(request->responseStatusCode()));
    }
}

void HeadlessReport::requestFailed(HttpRequest *request) {
    emit finished(false, QStringLiteral("Report failed: %1").arg(Report::failureDetail(*request)));
}
