#pragma once

#include "http/HttpRequest.h"

#include <QList>
#include <QPair>

#include <optional>

// A request whose body is multipart/form-data: named text values, byte blocks and files, in
// the order they were first set, separated by the boundary "0xKhTmLbOuNdArY".
class FormDataRequest : public HttpRequest {
    Q_OBJECT
public:
    static const QByteArray kBoundary;

    struct FileRecord {
        QByteArray data;
        QString filename;  // as announced
    };

    using HttpRequest::HttpRequest;

    // Sets (or, with no value, removes) a text value; the method becomes POST.
    void setPostValue(const std::optional<QString> &value, const QString &key);
    // A byte block, announced with the file name "file"; the method becomes POST.
    void setData(const QByteArray &data, const QString &key);
    // The whole content of the file now, announced by the last component of its path. False
    // (and nothing added) when the file cannot be read.
    bool setFile(const QString &path, const QString &key);

    // The values and files; none before the first of each was set.
    const std::optional<QList<QPair<QString, QString>>> &postData() const { return mPostData; }
    const std::optional<QList<QPair<QString, FileRecord>>> &fileData() const { return mFileData; }

    void buildPostBody() override;

    // A name as written in a part header: " CR and LF escaped as %22, %0D and %0A.
    static QByteArray escapedName(const QString &name);

private:
    std::optional<QList<QPair<QString, QString>>> mPostData;
    std::optional<QList<QPair<QString, FileRecord>>> mFileData;
};
