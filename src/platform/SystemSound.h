#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>

// System sounds: short sound files played asynchronously by identifier. Identifier 0 means
// "not created". The shared instance plays through Qt Multimedia; tests install their own.
// Main thread only.
class SystemSound {
public:
    virtual ~SystemSound() = default;

    // The Qt Multimedia player lives in a module of its own, opened when the first sound is
    // created: Qt Multimedia and the audio libraries it brings (PulseAudio, codecs) would
    // otherwise be loaded at every start, and most sessions never sound the alarm. Without the
    // module no sound can be created, which is said once in the log.
    static SystemSound &shared();
    // Not owned; nullptr returns to the Qt Multimedia one.
    static void setShared(SystemSound *sound);
    // Opens the player module from the first of `folders` that holds it; nullptr, with the
    // reason in `error`, when none does.
    static std::unique_ptr<SystemSound> loadPlayer(const QStringList &folders, QString *error);

    // Creates a sound for the file at `url` (a file path, or ":/..." for a resource); 0 when
    // it cannot be had.
    virtual quint32 createSystemSoundID(const QString &url) = 0;
    // Returns at once; the sound plays in the background (or not at all without an audio
    // output: never an error).
    virtual void playSystemSound(quint32 soundID) = 0;
    virtual void disposeSystemSoundID(quint32 soundID) = 0;
};

// The player module's one entry, `shakelogCreateSystemSound`: makes a player that writes its
// log lines through `log`.
using SystemSoundLog = void (*)(const QString &line);
using CreateSystemSound = SystemSound *(*)(SystemSoundLog log);
