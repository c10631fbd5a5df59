#include "http/transport/HttpMessage.h"

#include <cctype>

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

bool HttpMessage::headerFieldsAreSafe() const {
    // RFC 9110 token characters.
    static const QByteArray kTokenExtras = QByteArrayLiteral("!#$%&'*+-.^_`|~");
    for (const auto &[name, value] : headerFields) {
        if (name.isEmpty()) {
            return false;
        }
        for (const char c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && !kTokenExtras.contains(c)) {
                return false;
            }
        }
        if (value.contains('\r') || value.contains('\n') || value.contains('\0')) {
            return false;
        }
    }
    return true;
}

void HttpResponseHeader::addLine(const QByteArray &received) {
    const QByteArray line = received.trimmed();
    if (line.startsWith("HTTP/")) {
        *this = HttpResponseHeader();
        const QList<QByteArray> parts = line.split(' ');
        statusCode = parts.size() > 1 ? parts[1].toInt() : 0;
    } else if (line.isEmpty()) {
        complete = statusCode >= 200;
    } else if (const qsizetype colon = line.indexOf(':'); colon > 0) {
        const QString name = QString::fromLatin1(line.left(colon).trimmed());
        const QString value = QString::fromUtf8(line.mid(colon + 1).trimmed());
        fieldList.append({name, value});
        const auto it = fields.find(name);
        if (it == fields.end()) {
            fields.insert(name, value);
        } else {
            *it += QStringLiteral(", ") + value;
        }
    }
}

QStringList HttpResponseHeader::values(const QString &name) const {
    QStringList found;
    for (const auto &[fieldName, fieldValue] : fieldList) {
        if (fieldName.compare(name, Qt::CaseInsensitive) == 0) {
            found << fieldValue;
        }
    }
    return found;
}
