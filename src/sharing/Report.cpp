#include "sharing/Report.h"

#include "http/FormDataRequest.h"
#include "platform/CFormat.h"
#include "platform/DeviceIdentifier.h"
#include "platform/PrintableText.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"

#include <QUrl>

namespace {
const QString kVersion = QStringLiteral("1.0.0");
}  // namespace

Report Report::make(const QString &serverAddress, float lat, float lon, float alt,
                    bool earthquake) {
    Report report;
    report.serverAddress = serverAddress;
    report.deviceId = DeviceIdentifier::uniqueIdentifier();
    report.lat = lat;
    report.lon = lon;
    report.alt = alt;
    report.sampling = UserPref::getInt(SettingsKeys::SCAN_RATE);
    report.localTime = QDateTime::currentDateTime();
    report.earthquake = earthquake;
    return report;
}

QString Report::url(const QString &blank) const {
    const QString dateTime = localTime.toString(QStringLiteral("yyyy-MM-dd")) + blank +
                             localTime.toString(QStringLiteral("HH:mm:ss"));
    return serverAddress +
           cFormat(
               "?device_id=%s&lat=%f&lon=%f&alt=%f&sampling=%d&version=%s"
               "&local_datetime=%s&isearthquake=%s&action=add",
               deviceId.toUtf8().constData(), double(lat), double(lon), double(alt), sampling,
               kVersion.toUtf8().constData(), dateTime.toUtf8().constData(),
               earthquake ? "Y" : "N") +
           extraQuery;
}

QString Report::composedURL() const { return url(QStringLiteral("%%20")); }

QString Report::loggedURL() const { return withoutUserInfo(composedURL()); }

QString Report::loggedAnswer(const HttpRequest &request) {
    return loggableText(request.receivedData().value_or(QByteArray()));
}

QString Report::requestURL() const { return url(QStringLiteral("%20")); }

std::shared_ptr<FormDataRequest> Report::makeRequest(const QString &requestUrl,
                                                     const QString &signal) {
    auto request = std::make_shared<FormDataRequest>(QUrl(requestUrl, QUrl::StrictMode));
    request->setPostValue(signal, QStringLiteral("signal"));
    request->setMaxResponseBodySize(kMaxAnswerBytes);
    return request;
}

bool Report::accepted(const HttpRequest &request) {
    const int status = request.responseStatusCode();
    return status >= 200 && status < 300;
}

QString Report::rejectionMessage(const HttpRequest &request) {
    return QStringLiteral("The server answered with status %1; the data was not accepted.")
        .arg(request.responseStatusCode());
}

QString Report::failureMessage(const HttpRequest &request) {
    const auto error = request.error();
    return error ? error->localizedDescription : QStringLiteral("The data could not be sent.");
}

QString Report::failureDetail(const HttpRequest &request) {
    QString detail = failureMessage(request);
    const auto error = request.error();
    if (error && error->underlyingError && !error->underlyingError->message.isEmpty()) {
        detail += QStringLiteral(" (%1)").arg(error->underlyingError->message);
    }
    return detail;
}
