#pragma once

#include "http/transport/ReadStream.h"

#include <QString>

#include <memory>
#include <optional>

// An error of the HTTP client: the domain NetworkRequestErrorDomain, a code and its message,
// and for connection failures the transport's own error.
struct HttpError {
    enum Code {
        ConnectionFailure = 1,
        RequestTimedOut = 2,
        Authentication = 3,
        RequestCancelled = 4,
        UnableToCreateRequest = 5,
        InternalError = 6,
        AuthenticationObject = 7,
    };

    QString domain;
    int code = 0;
    QString localizedDescription;
    std::optional<TransportError> underlyingError;

    static const QString NetworkRequestErrorDomain;
    static std::shared_ptr<const HttpError> make(
        int code, const QString &message, std::optional<TransportError> underlying = std::nullopt);
    // The four errors made once and shared by every request.
    static const std::shared_ptr<const HttpError> RequestTimedOutError;
    static const std::shared_ptr<const HttpError> AuthenticationError;
    static const std::shared_ptr<const HttpError> RequestCancelledError;
    static const std::shared_ptr<const HttpError> UnableToCreateRequestError;
};
