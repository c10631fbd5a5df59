#include "http/transport/HttpMessage.h"

std::optional<HttpMessage> HttpMessage::createRequest(const QByteArray &method, const QUrl &url) {
    const QString scheme = url.scheme().toLower();
    if (method.isEmpty() || method.contains(' ') || method.contains('\r') ||
        method.contains('\n') || !url.isValid() || url.isRelative() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        return std::nullopt;
    }
    HttpMessage message;
    message.method = method;
    message.url = url;
    return message;
}

void HttpMessage::setHeaderFieldValue(const QByteArray &name, const QByteArray &value) {
    for (auto &field : headerFields) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0) {
            field.second = value;
            return;
        }
    }
    headerFields.append({name, value});
}
