#pragma once

#include <QDateTime>
#include <QString>

#include <memory>

class FormDataRequest;
class HttpRequest;

// One report for the data-collection server: who, where, how fast and when travel in the
// query string, the samples in the body as the form field "signal".
struct Report {
    QString serverAddress;  // as typed: not escaped, no separator added before the "?"
    QString deviceId;
    float lat = 0, lon = 0, alt = 0;  // degrees, degrees, metres; 0 without location
    qint32 sampling = 0;              // SCAN_RATE
    QDateTime localTime;              // shown on the 24-hour clock in the local zone
    bool earthquake = false;
    // Fields after all the others ("&trigger=stalta&start=..."), for reports that an event
    // trigger sent; empty for the user's own.
    QString extraQuery;

    // A report made now: this device's identifier, the SCAN_RATE setting and the local time.
    static Report make(const QString &serverAddress, float lat, float lon, float alt,
                       bool earthquake);

    // The query as composed, with the blank between date and time written "%%20" (what the
    // log shows), and as sent, with "%20". A per-cent sign in the address stays as typed.
    QString composedURL() const;
    QString requestURL() const;
    // The composed URL for the log: a user name and password in the address are hidden.
    QString loggedURL() const;
    // The server's answer for the log: at most a few kilobytes, control characters escaped.
    static QString loggedAnswer(const HttpRequest &request);

    // The most of an answer kept in memory; a larger one ends the upload as failed.
    static constexpr quint64 kMaxAnswerBytes = 1024 * 1024;

    // The POST of `signal` to `requestUrl`; a text that is no URL gives a request without one
    // (it fails when run).
    static std::shared_ptr<FormDataRequest> makeRequest(const QString &requestUrl,
                                                        const QString &signal);
    // Whether the server took the report: only a 2xx answer counts.
    static bool accepted(const HttpRequest &request);
    // For an answer that was not accepted: a sentence naming the status.
    static QString rejectionMessage(const HttpRequest &request);
    // For a request that failed: the error's own message.
    static QString failureMessage(const HttpRequest &request);
    // The same, followed by the transport's reason where it gave one: with it a person can
    // act on the failure (an untrusted certificate reads otherwise as any connection failure).
    static QString failureDetail(const HttpRequest &request);

private:
    QString url(const QString &blank) const;
};
