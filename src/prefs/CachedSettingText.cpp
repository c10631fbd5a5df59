#include "prefs/CachedSettingText.h"

#include "prefs/UserPref.h"

const QByteArray &CachedSettingText::utf8() {
    if (mGeneration != UserPref::generation()) {
        mUtf8 = UserPref::getString(mKey).toUtf8();
        // Taken after the read: reading a missing key writes it, and that write is seen here.
        mGeneration = UserPref::generation();
    }
    return mUtf8;
}
