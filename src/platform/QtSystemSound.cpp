#include "platform/QtSystemSound.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

extern "C" Q_DECL_EXPORT SystemSound *shakelogCreateSystemSound(SystemSoundLog log) {
    return new QtSystemSound(log);
}

QtSystemSound::QtSystemSound(SystemSoundLog log) : mLog(log) {}
QtSystemSound::~QtSystemSound() = default;

quint32 QtSystemSound::createSystemSoundID(const QString &url) {
    if (!QFileInfo::exists(url)) {
        return 0;
    }
    auto effect = std::make_unique<QSoundEffect>();
    effect->setSource(url.startsWith(QLatin1Char(':')) ? QUrl(QStringLiteral("qrc") + url)
                                                       : QUrl::fromLocalFile(url));
    const quint32 id = mNextID++;
    mSounds.emplace(id, std::move(effect));
    return id;
}

void QtSystemSound::playSystemSound(quint32 soundID) {
    const auto it = mSounds.find(soundID);
    if (it == mSounds.end()) {
        return;
    }
    // With no output QSoundEffect logs once and then claims to play for ever; skip it instead.
    if (QMediaDevices::audioOutputs().isEmpty()) {
        static bool told = false;
        if (!told) {
            told = true;
            mLog(QStringLiteral("No audio output: the alarm sound stays silent"));
        }
        return;
    }
    it->second->play();
}

void QtSystemSound::disposeSystemSoundID(quint32 soundID) { mSounds.erase(soundID); }
