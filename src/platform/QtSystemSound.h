#pragma once

#include "platform/SystemSound.h"

#include <map>
#include <memory>

class QSoundEffect;

// System sounds through QSoundEffect: the player module's (see SystemSound::shared). Without
// an audio output a sound is still created, and playing it does nothing.
class QtSystemSound : public SystemSound {
public:
    explicit QtSystemSound(SystemSoundLog log);
    ~QtSystemSound() override;

    quint32 createSystemSoundID(const QString &url) override;
    void playSystemSound(quint32 soundID) override;
    void disposeSystemSoundID(quint32 soundID) override;

private:
    std::map<quint32, std::unique_ptr<QSoundEffect>> mSounds;
    quint32 mNextID = 1;
    SystemSoundLog mLog;
};
