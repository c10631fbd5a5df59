#include "prefs/PreferenceStore.h"
#include "prefs/UserPref.h"
#include "support/BuiltProgram.h"
#include "support/EventLoop.h"
#include "support/FileSizeLimit.h"
#include "support/LogCapture.h"
#include "support/Printers.h"
#include "support/TempConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writerPath() { return QStringLiteral(PREFS_WRITER); }

TEST(PreferenceStore, UnreadableFileIsMovedAsideAndTheStoreStartsEmpty) {
    TempConfig config;
    const QByteArray garbage = "{\"SCAN_RATE\": {\"integer\": 100}, trunc";
    writeFile(config.filePath(), garbage);
    LogCapture log;
    config.reopen();

    EXPECT_EQ(UserPref::getInt(QStringLiteral("SCAN_RATE")), 0);
    EXPECT_EQ(readFile(config.filePath() + ".corrupt"), garbage);  // the user's bytes are kept
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].contains(config.filePath() + ".corrupt"))
        << log.lines()[0].toStdString();
    // The new file is whole and holds the zero value that the read stored.
    EXPECT_TRUE(PreferenceStore::parse(readFile(config.filePath())).has_value());

    // A second bad file never overwrites the first copy.
    writeFile(config.filePath(), "[1, 2]");
    config.reopen();
    EXPECT_EQ(UserPref::getInt(QStringLiteral("SCAN_RATE")), 0);
    EXPECT_EQ(readFile(config.filePath() + ".corrupt"), garbage);
    EXPECT_EQ(readFile(config.filePath() + ".corrupt.1"), QByteArray("[1, 2]"));
}

TEST(PreferenceStore, ValuesOfTheWrongShapeCountAsUnreadable) {
    QString error;
    EXPECT_FALSE(PreferenceStore::parse(R"({"PORT": {"integer": 2.5}})", &error));
    EXPECT_FALSE(PreferenceStore::parse(R"({"PORT": 10552})", &error));
    EXPECT_FALSE(PreferenceStore::parse(R"({"PORT": {"integer": 1, "float": 1}})", &error));
    EXPECT_FALSE(PreferenceStore::parse(R"({"FILTER": {"boolean": 1}})", &error));
    EXPECT_EQ(error, QStringLiteral("bad value for FILTER"));
    EXPECT_FALSE(PreferenceStore::parse(R"({"F": {"float": 1e39}})", &error));  // beyond a float
    EXPECT_EQ(error, QStringLiteral("bad value for F"));
    EXPECT_FALSE(PreferenceStore::parse(R"({"A\u001b[2J": {"boolean": 1}})", &error));
    EXPECT_EQ(error, QStringLiteral("bad value for A\\x1b[2J"));  // escaped for the terminal
    const auto values = PreferenceStore::parse(
        R"({"PORT": {"integer": 10552}, "FILTER": {"boolean": true}, "F": {"float": 0.5}})");
    ASSERT_TRUE(values);
    EXPECT_EQ(values->value("PORT"), PrefValue(qint32(10552)));
}

TEST(PreferenceStore, AWriteCutShortKeepsTheEarlierPreferences) {
    TempConfig config;
    UserPref::setInt(QStringLiteral("ROUND"), 1);  // written at once
    LogCapture log;
    {
        const FileSizeLimit full(1024);  // a full disk
        UserPref::setString(QStringLiteral("TEXT"), QString(4000, 'x'));
    }
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].startsWith("Could not save preferences to " + config.filePath()))
        << log.lines()[0].toStdString();
    const auto values = PreferenceStore::parse(readFile(config.filePath()));
    ASSERT_TRUE(values);
    EXPECT_EQ(values->value("ROUND"), PrefValue(qint32(1)));
    EXPECT_FALSE(values->contains("TEXT"));
}

TEST(PreferenceStore, FloatsAndTextSurviveTheFile) {
    QMap<QString, PrefValue> values;
    values.insert("F", 0.33f);
    values.insert("S", QStringLiteral("Gerät \"1\", ½\n"));
    values.insert("I", qint32(-2147483647 - 1));
    EXPECT_EQ(PreferenceStore::parse(PreferenceStore::serialize(values)), values);
}

TEST(PreferenceStore, AFreshProcessReadsWhatAnEarlierOneWrote) {
    TempConfig config;
    QProcess writer;
    startBuiltProgram(writer, writerPath(), {config.directory(), "25"});
    ASSERT_TRUE(writer.waitForFinished(30000));
    ASSERT_EQ(writer.exitCode(), 0);
    config.reopen();
    EXPECT_EQ(UserPref::getInt(QStringLiteral("ROUND")), 25);
    EXPECT_EQ(UserPref::getString(QStringLiteral("TEXT")), QString(25000, 'x'));
}

TEST(PreferenceStore, AFifoInPlaceOfTheFileIsMovedAsideNotWaitedOn) {
    TempConfig config;
    ASSERT_EQ(::mkfifo(QFile::encodeName(config.filePath()).constData(), 0600), 0);
    QProcess writer;  // a process of its own: before, it waited for a FIFO writer for ever
    startBuiltProgram(writer, writerPath(), {config.directory(), "1"});
    const bool ended = writer.waitForFinished(30000);
    if (!ended) {
        writer.kill();
        writer.waitForFinished();
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(writer.exitCode(), 0);
    EXPECT_TRUE(QFileInfo(config.filePath() + ".corrupt").exists());
    EXPECT_TRUE(QFileInfo(config.filePath()).isFile());
    EXPECT_TRUE(QString::fromUtf8(writer.readAllStandardError()).contains("not a regular file"));
    config.reopen();
    EXPECT_EQ(UserPref::getInt(QStringLiteral("ROUND")), 1);
}

TEST(PreferenceStore, KillingAWriterNeverLeavesAnUnreadableFile) {
    for (int attempt = 0; attempt < 12; ++attempt) {
        QTemporaryDir dir;  // each writer starts from nothing
        const QString file =
            QDir(dir.path()).filePath(QString::fromLatin1(PreferenceStore::kFileName));
        QProcess writer;
        startBuiltProgram(writer, writerPath(), {dir.path(), "100000"});
        ASSERT_TRUE(writer.waitForStarted());
        // Killed at a random moment once its first write landed, in the midst of the others.
        pumpUntil([&] { return QFileInfo(file).size() > 0; }, 30000);
        QThread::msleep(QRandomGenerator::global()->bounded(40));
        writer.kill();  // SIGKILL: no chance to finish a write
        writer.waitForFinished();
        const QByteArray bytes = readFile(file);
        ASSERT_FALSE(bytes.isEmpty()) << "attempt " << attempt;
        QString error;
        const auto values = PreferenceStore::parse(bytes, &error);
        ASSERT_TRUE(values) << "attempt " << attempt << ": " << error.toStdString();
        // Each write is whole: TEXT of this round with ROUND of this round or the one before.
        const qint32 round = std::get<qint32>(values->value("ROUND", qint32(0)));
        const auto length = std::get<QString>(values->value("TEXT", QString())).size();
        EXPECT_TRUE(length == (round % 97) * 1000 || length == ((round + 1) % 97) * 1000)
            << round << " " << length;
        EXPECT_FALSE(QFile::exists(file + ".corrupt"));
    }
}

}  // namespace
