#include "support/TempConfig.h"

#include "prefs/PreferenceStore.h"
#include "prefs/UserPref.h"

#include <QDir>

TempConfig::TempConfig() { UserPref::useDirectory(mDir.path()); }

TempConfig::~TempConfig() { UserPref::useDirectory(QDir(mDir.path()).filePath("gone")); }

QString TempConfig::filePath() const {
    return QDir(mDir.path()).filePath(QString::fromLatin1(PreferenceStore::kFileName));
}

void TempConfig::reopen() { UserPref::useDirectory(mDir.path()); }
