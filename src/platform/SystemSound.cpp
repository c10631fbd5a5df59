#include "platform/SystemSound.h"

#include "platform/SystemLog.h"

#include <QCoreApplication>
#include <QLibrary>

namespace {

SystemSound *installed = nullptr;

void logLine(const QString &line) { SystemLog::log(line); }

// The shared player: opens the module at the first sound it is asked to create.
class PlayerModule : public SystemSound {
public:
    quint32 createSystemSoundID(const QString &url) override {
        if (!mPlayer) {
            // Beside the program in the build tree; in the library folder once installed.
            const QString programs = QCoreApplication::applicationDirPath();
            QString error;
            mPlayer = loadPlayer(
                {programs, programs + QStringLiteral("/" SHAKELOG_SOUND_MODULE_DIR)}, &error);
            if (!mPlayer) {
                if (!mToldWhy) {
                    mToldWhy = true;
                    SystemLog::log(QStringLiteral("The alarm sound cannot be played: ") + error);
                }
                return 0;
            }
        }
        return mPlayer->createSystemSoundID(url);
    }
    void playSystemSound(quint32 soundID) override {
        if (mPlayer) {
            mPlayer->playSystemSound(soundID);
        }
    }
    void disposeSystemSoundID(quint32 soundID) override {
        if (mPlayer) {
            mPlayer->disposeSystemSoundID(soundID);
        }
    }

private:
    std::unique_ptr<SystemSound> mPlayer;
    bool mToldWhy = false;
};

}  // namespace

SystemSound &SystemSound::shared() {
    if (installed) {
        return *installed;
    }
    static PlayerModule sound;
    return sound;
}

void SystemSound::setShared(SystemSound *sound) { installed = sound; }

std::unique_ptr<SystemSound> SystemSound::loadPlayer(const QStringList &folders, QString *error) {
    for (const QString &folder : folders) {
        // The module stays loaded: its player lives as long as the process.
        QLibrary module(folder + QStringLiteral("/" SHAKELOG_SOUND_MODULE));
        if (!module.load()) {
            *error = module.errorString();
            continue;
        }
        if (auto create =
                reinterpret_cast<CreateSystemSound>(module.resolve("shakelogCreateSystemSound"))) {
            return std::unique_ptr<SystemSound>(create(&logLine));
        }
        *error = module.errorString();
    }
    return nullptr;
}
