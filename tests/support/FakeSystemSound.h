#pragma once

#include "platform/SystemSound.h"

#include <QStringList>

// Counts sound creations and plays instead of making noise; installed as the shared system
// sound while it lives. `failCreations` makes the next creations fail (identifier 0).
class FakeSystemSound : public SystemSound {
public:
    FakeSystemSound() { SystemSound::setShared(this); }
    ~FakeSystemSound() override { SystemSound::setShared(nullptr); }

    quint32 createSystemSoundID(const QString &url) override {
        created.append(url);
        if (failCreations > 0) {
            --failCreations;
            return 0;
        }
        return 42;
    }
    void playSystemSound(quint32 soundID) override { plays.append(soundID); }
    void disposeSystemSoundID(quint32 soundID) override { disposed.append(soundID); }

    QStringList created;
    QList<quint32> plays;
    QList<quint32> disposed;
    int failCreations = 0;
};
