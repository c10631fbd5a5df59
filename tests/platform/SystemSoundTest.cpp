#include "platform/SystemLog.h"
#include "platform/SystemSound.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The player module opens from the folder that holds it, and its player takes sounds; a
// folder without it gives the reason.
TEST(SystemSound, ThePlayerModuleOpensWhereItIs) {
    QString error;
    EXPECT_EQ(SystemSound::loadPlayer({QStringLiteral("/nonexistent")}, &error), nullptr);
    EXPECT_FALSE(error.isEmpty());

    std::unique_ptr<SystemSound> player = SystemSound::loadPlayer(
        {QStringLiteral("/nonexistent"), QStringLiteral(SHAKELOG_SOUND_MODULE_BUILD_DIR)}, &error);
    ASSERT_NE(player, nullptr) << error.toStdString();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("alarm.wav"));
    QFile(file).open(QIODevice::WriteOnly);
    EXPECT_EQ(player->createSystemSoundID(dir.filePath(QStringLiteral("missing.wav"))), 0u);
    const quint32 id = player->createSystemSoundID(file);
    EXPECT_NE(id, 0u);
    player->playSystemSound(id);  // silent without an audio output, never an error
    player->disposeSystemSoundID(id);
}

// A program without the module beside it or installed (this test's) creates no sound, says
// why once, and goes on.
TEST(SystemSound, WithoutThePlayerModuleNoSoundIsCreatedAndTheLogSaysWhyOnce) {
    QStringList lines;
    const SystemLog::Sink before =
        SystemLog::setSink([&lines](const QString &line) { lines << line; });
    EXPECT_EQ(SystemSound::shared().createSystemSoundID(QStringLiteral(":/any.wav")), 0u);
    EXPECT_EQ(SystemSound::shared().createSystemSoundID(QStringLiteral(":/any.wav")), 0u);
    SystemSound::shared().playSystemSound(0);
    SystemLog::setSink(before);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("The alarm sound cannot be played: ")))
        << lines[0].toStdString();
}

}  // namespace
