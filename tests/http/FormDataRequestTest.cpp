#include "http/FormDataRequest.h"
#include "support/Printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray bodyOf(FormDataRequest &request) {
    request.buildPostBody();
    return request.postBody().value_or(QByteArray());
}

TEST(FormDataRequest, OneValue) {
    FormDataRequest request(QUrl("http://127.0.0.1/"));
    request.setPostValue(QString("abc"), "signal");
    const QByteArray body = bodyOf(request);
    EXPECT_EQ(body,
              "--0xKhTmLbOuNdArY\r\nContent-Disposition: form-data; name=\"signal\"\r\n\r\nabc"
              "\r\n--0xKhTmLbOuNdArY--\r\n");
    EXPECT_EQ(body.size(), 94);
    EXPECT_EQ(request.requestHeaders()->value("Content-Length"), "94");
    EXPECT_EQ(request.requestHeaders()->value("Content-Type"),
              "multipart/form-data; boundary=0xKhTmLbOuNdArY");
    EXPECT_EQ(request.requestMethod(), "POST");
    EXPECT_TRUE(request.haveBuiltPostBody());
}

TEST(FormDataRequest, NothingOrNothingLeft) {
    FormDataRequest none(QUrl("http://127.0.0.1/"));
    none.buildPostBody();
    EXPECT_FALSE(none.postBody());
    EXPECT_FALSE(none.requestHeaders());
    EXPECT_EQ(none.requestMethod(), "GET");

    FormDataRequest removed(QUrl("http://127.0.0.1/"));
    removed.setPostValue(QString("abc"), "signal");
    removed.setPostValue(std::nullopt, "signal");
    const QByteArray body = bodyOf(removed);
    EXPECT_EQ(body, "--0xKhTmLbOuNdArY\r\n\r\n--0xKhTmLbOuNdArY--\r\n");
    EXPECT_EQ(body.size(), 42);
}

TEST(FormDataRequest, ValuesThenFilesWithOneSeparatorBetween) {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("a/b"));
    QFile file(dir.filePath("a/b/report.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("1,2,3\n");
    file.close();
    FormDataRequest request(QUrl("http://127.0.0.1/"));
    request.setPostValue(QString("v"), "first");
    request.setData(QByteArray("\x00\x01", 2), "blob");
    ASSERT_TRUE(request.setFile(dir.filePath("a/b/report.csv"), "report"));
    request.setPostValue(QString("w"), "second");  // values come before files, in first-set order
    const QByteArray body = bodyOf(request);
    const QByteArray expected =
        "--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"first\"\r\n\r\nv"
        "\r\n--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"second\"\r\n\r\nw"
        "\r\n--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"blob\"; filename=\"file\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" +
        QByteArray("\x00\x01", 2) +
        "\r\n--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"report\"; filename=\"report.csv\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n1,2,3\n"
        "\r\n--0xKhTmLbOuNdArY--\r\n";
    EXPECT_EQ(body, expected);
    EXPECT_FALSE(request.setFile(dir.filePath("missing.csv"), "gone"));
    EXPECT_EQ(request.fileData()->size(), 2);
}

TEST(FormDataRequest, NamesCannotInjectHeaders) {
    FormDataRequest request(QUrl("http://127.0.0.1/"));
    request.setPostValue(QString("x"), "a\"\r\nX-Evil: 1");
    const QByteArray body = bodyOf(request);
    EXPECT_TRUE(body.contains("name=\"a%22%0D%0AX-Evil: 1\"\r\n\r\nx")) << body.toStdString();
}

TEST(FormDataRequest, AValueHoldingTheBoundaryGetsABoundaryOfItsOwn) {
    FormDataRequest request(QUrl("http://127.0.0.1/"));
    request.setPostValue(QString("before\r\n--0xKhTmLbOuNdArY--\r\nafter"), "signal");
    const QByteArray body = bodyOf(request);
    const QByteArray type = request.requestHeaders()->value("Content-Type");
    ASSERT_TRUE(type.startsWith("multipart/form-data; boundary=0xKhTmLbOuNdArY"));
    const QByteArray boundary = type.mid(type.indexOf('=') + 1);
    EXPECT_NE(boundary, FormDataRequest::kBoundary);
    EXPECT_TRUE(body.startsWith("--" + boundary + "\r\n"));
    EXPECT_TRUE(body.endsWith("\r\n--" + boundary + "--\r\n"));
    EXPECT_EQ(body.count("--" + boundary), 2);
}

}  // namespace
