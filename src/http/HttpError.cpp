#include "http/HttpError.h"

const QString HttpError::NetworkRequestErrorDomain =
    QStringLiteral("org.shakelog.NetworkRequestErrorDomain");

std::shared_ptr<const HttpError> HttpError::make(int code, const QString &message,
                                                 std::optional<TransportError> underlying) {
    return std::make_shared<const HttpError>(
        HttpError{NetworkRequestErrorDomain, code, message, std::move(underlying)});
}

const std::shared_ptr<const HttpError> HttpError::RequestTimedOutError =
    HttpError::make(RequestTimedOut, QStringLiteral("The request timed out"));
const std::shared_ptr<const HttpError> HttpError::AuthenticationError =
    HttpError::make(Authentication, QStringLiteral("Authentication needed"));
const std::shared_ptr<const HttpError> HttpError::RequestCancelledError =
    HttpError::make(RequestCancelled, QStringLiteral("The request was cancelled"));
const std::shared_ptr<const HttpError> HttpError::UnableToCreateRequestError =
    HttpError::make(UnableToCreateRequest, QStringLiteral("Unable to create request (bad url?)"));
