#pragma once

#include <QString>
#include <QtGlobal>

// System sounds: short sound files played asynchronously by identifier. Identifier 0 means
// "not created". The shared instance plays through Qt Multimedia; tests install their own.
// Main thread only.
class SystemSound {
public:
    virtual ~SystemSound() = default;

    static SystemSound &shared();
    // Not owned; nullptr returns to the Qt Multimedia one.
    static void setShared(SystemSound *sound);

    // Creates a sound for the file at `url` (a file path, or ":/..." for a resource); 0 when
    // it cannot be had.
    virtual quint32 createSystemSoundID(const QString &url) = 0;
    // Returns at once; the sound plays in the background (or not at all without an audio
    // output: never an error).
    virtual void playSystemSound(quint32 soundID) = 0;
    virtual void disposeSystemSoundID(quint32 soundID) = 0;
};
