#include <gtest/gtest.h>
#include "platform/SystemLog.h"
#include "platform/SystemSound.h"

namespace {

// The player module opens from the folder that holds it, and its player answers; a
// folder without it gives the reason.
TEST(SystemSound, ThePlayerModuleOpensWhereItIs) {
    QString error;
    EXPECT_EQ(SystemSound::loadPlayer({QStringLiteral("/nonexistent")}, &error), nullptr);
    EXPECT_FALSE(error.isEmpty());

    std::unique_ptr<SystemSound> player = SystemSound::loadPlayer(
        {QStringLiteral("/nonexistent"), QStringLiteral(SHAKELOG_SOUND_MODULE_BUILD_DIR)}, &error);
    ASSERT_NE(player, nullptr) << error.toStdString();
    // A file it cannot have gives no sound; the player answers from the module's code. (A
    // sound of a real file is not made here: Qt Multimedia loads it on a thread of its own and
    // keeps it past the test.)
    EXPECT_EQ(player->createSystemSoundID(QStringLiteral("/nonexistent/alarm.wav")), 0u);
    player->playSystemSound(1);
    player->disposeSystemSoundID(1);
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
