#include "http/FormDataRequest.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

const QByteArray FormDataRequest::kBoundary = QByteArrayLiteral("0xKhTmLbOuNdArY");

namespace {
// Room for one part's header lines and separator beside its content, so that the body is
// allocated once for the usual short names.
constexpr qsizetype kPartHeaderRoom = 160;

template <typename T>
void put(QList<QPair<QString, T>> &list, const QString &key, T value) {
    for (auto &entry : list) {
        if (entry.first == key) {
            entry.second = std::move(value);
            return;
        }
    }
    list.append({key, std::move(value)});
}
}  // namespace

void FormDataRequest::setPostValue(const std::optional<QString> &value, const QString &key) {
    if (!mPostData) {
        mPostData.emplace();
    }
    if (value) {
        put(*mPostData, key, *value);
    } else {
        mPostData->removeIf([&key](const auto &entry) { return entry.first == key; });
    }
    setRequestMethod("POST");
}

void FormDataRequest::setData(const QByteArray &data, const QString &key) {
    if (!mFileData) {
        mFileData.emplace();
    }
    put(*mFileData, key, FileRecord{data, QStringLiteral("file")});
    setRequestMethod("POST");
}

bool FormDataRequest::setFile(const QString &path, const QString &key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return false;
    }
    if (!mFileData) {
        mFileData.emplace();
    }
    put(*mFileData, key, FileRecord{data, QFileInfo(path).fileName()});
    setRequestMethod("POST");
    return true;
}

QByteArray FormDataRequest::escapedName(const QString &name) {
    QByteArray bytes = name.toUtf8();
    bytes.replace('"', "%22").replace('\r', "%0D").replace('\n', "%0A");
    return bytes;
}

void FormDataRequest::buildPostBody() {
    if (!mPostData && !mFileData) {
        HttpRequest::buildPostBody();
        return;
    }
    // Each value converted once: the boundary check and the body both need its bytes, and a
    // report's value is some 60 KB.
    QList<QByteArray> encodedValues;
    qsizetype contentSize = 0;
    for (const auto &entry : mPostData.value_or(QList<QPair<QString, QString>>())) {
        encodedValues.append(entry.second.toUtf8());
        contentSize += encodedValues.last().size();
    }
    for (const auto &entry : mFileData.value_or(QList<QPair<QString, FileRecord>>())) {
        contentSize += entry.second.data.size();
    }
    // A value or file that holds the boundary would end its part early: only then a boundary
    // of its own for this body.
    QByteArray boundary = kBoundary;
    const auto collides = [&boundary, &encodedValues, this] {
        for (const QByteArray &value : encodedValues) {
            if (value.contains(boundary)) {
                return true;
            }
        }
        for (const auto &entry : mFileData.value_or(QList<QPair<QString, FileRecord>>())) {
            if (entry.second.data.contains(boundary)) {
                return true;
            }
        }
        return false;
    };
    while (collides()) {
        boundary = kBoundary + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    }

    QByteArray body;
    const qsizetype values = encodedValues.size();
    const qsizetype files = mFileData ? mFileData->size() : 0;
    body.reserve(contentSize + (values + files + 1) * (boundary.size() + kPartHeaderRoom));
    addRequestHeader("Content-Type", "multipart/form-data; boundary=" + boundary);
    body += "--" + boundary + "\r\n";
    const QByteArray separator = "\r\n--" + boundary + "\r\n";
    for (qsizetype i = 0; i < values; ++i) {
        const QString &key = (*mPostData)[i].first;
        body += "Content-Disposition: form-data; name=\"" + escapedName(key) + "\"\r\n\r\n";
        body += encodedValues[i];
        if (i + 1 < values || files > 0) {
            body += separator;
        }
    }
    for (qsizetype i = 0; i < files; ++i) {
        const auto &[key, record] = (*mFileData)[i];
        body += "Content-Disposition: form-data; name=\"" + escapedName(key) + "\"; filename=\"" +
                escapedName(record.filename) + "\"\r\n";
        body += "Content-Type: application/octet-stream\r\n\r\n";
        body += record.data;
        if (i + 1 < files) {
            body += separator;
        }
    }
    body += "\r\n--" + boundary + "--\r\n";
    setPostBody(body);
    HttpRequest::buildPostBody();
}
