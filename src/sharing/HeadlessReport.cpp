#include "sharing/HeadlessReport.h"

#include "http/FormDataRequest.h"
#include "http/NetworkQueue.h"
#include "platform/SystemLog.h"
#include "sharing/Report.h"
#include "sharing/ReportPosition.h"
#include "sharing/ShareText.h"

HeadlessReport::HeadlessReport(const QString &serverAddress, bool earthquake,
                               const SampleHistory &history, QObject *parent)
    : QObject(parent),
      mServerAddress(serverAddress),
      mEarthquake(earthquake),
      mSignal(ShareText::signalLines(history)),
      mPosition(new ReportPosition(this)),
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
    mPosition->find([this](const Location &location) { send(location); });
}

void HeadlessReport::cancel() {
    if (mSent) {
        mNetworkQueue->cancelAllOperations();  // its failure is reported as any other
        return;
    }
    mPosition->stop();
    emit finished(false, QStringLiteral("Report failed: cancelled before it was sent"));
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
