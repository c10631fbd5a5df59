// The multipart body of an upload with hostile names, values, file names and contents: it must
// split back into exactly the parts that were set, each with its name and content.
#include "FuzzCheck.h"
#include "http/FormDataRequest.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {
struct Part {
    QString name;
    QByteArray content;
    std::optional<QString> filename;
};

QString text(FuzzedDataProvider &input) {
    return QString::fromUtf8(input.ConsumeRandomLengthString(64));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    FormDataRequest request(QUrl(QStringLiteral("http://127.0.0.1:8080/report")));
    std::vector<Part> values, files;
    const auto remember = [](std::vector<Part> &parts, Part part) {
        // Setting a name again replaces its part, in its place.
        for (Part &existing : parts) {
            if (existing.name == part.name) {
                existing = std::move(part);
                return;
            }
        }
        parts.push_back(std::move(part));
    };
    while (input.remaining_bytes() > 0) {
        const QString name = text(input);
        if (input.ConsumeBool()) {
            const QString value = text(input);
            request.setPostValue(value, name);
            remember(values, {name, value.toUtf8(), std::nullopt});
        } else {
            const QByteArray content =
                QByteArray::fromStdString(input.ConsumeRandomLengthString(256));
            request.setData(content, name);
            remember(files, {name, content, QStringLiteral("file")});
        }
    }
    request.buildPostBody();
    const std::optional<QByteArray> body = request.postBody();
    if (values.empty() && files.empty()) {
        return 0;
    }
    FUZZ_CHECK(body.has_value());
    const QByteArray contentType = request.requestHeaders().value().value("Content-Type");
    const QByteArray prefix = "multipart/form-data; boundary=";
    FUZZ_CHECK(contentType.startsWith(prefix));
    const QByteArray boundary = contentType.mid(prefix.size());

    const QByteArray opening = "--" + boundary + "\r\n";
    const QByteArray closing = "\r\n--" + boundary + "--\r\n";
    FUZZ_CHECK(body->startsWith(opening) && body->endsWith(closing));
    const QByteArray inner =
        body->mid(opening.size(), body->size() - opening.size() - closing.size());
    std::vector<Part> expected = values;
    expected.insert(expected.end(), files.begin(), files.end());
    const QByteArray separator = "\r\n--" + boundary + "\r\n";
    qsizetype from = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        qsizetype end = inner.indexOf(separator, from);
        if (i + 1 == expected.size()) {
            FUZZ_CHECK(end < 0);
            end = inner.size();
        }
        FUZZ_CHECK(end >= 0);
        const QByteArray part = inner.mid(from, end - from);
        const qsizetype headerEnd = part.indexOf("\r\n\r\n");
        FUZZ_CHECK(headerEnd >= 0);
        const QList<QByteArray> headerLines = part.left(headerEnd).split('\n');
        QByteArray disposition = "Content-Disposition: form-data; name=\"" +
                                 FormDataRequest::escapedName(expected[i].name) + '"';
        if (expected[i].filename) {
            disposition +=
                "; filename=\"" + FormDataRequest::escapedName(*expected[i].filename) + '"';
        }
        FUZZ_CHECK(headerLines.first().chopped(headerLines.size() > 1 ? 1 : 0) == disposition);
        FUZZ_CHECK(part.mid(headerEnd + 4) == expected[i].content);
        from = end + separator.size();
    }
    return 0;
}
