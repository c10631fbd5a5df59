#pragma once

#include "prefs/PrefValue.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

class PreferenceStore;

// The process-wide preference store. Every write goes through to the persistent store and is
// flushed at once; the values written during this run are also kept in the cache
// `userPrefDict`, which reads consult first. Reading a missing key stores and returns the
// type's zero value. A float that is not finite (inf, nan, 1e39) is refused with a log line
// and the key keeps its earlier value: the file could not hold it. Main thread only.
//
// The getters and setters are class-level operations; called through the shared instance
// (`UserPref::sharedCache()->getInt(key)`) they do the same.
class UserPref {
public:
    static QString getString(const QString &key);
    static void setString(const QString &key, const QString &val);
    static bool getBoolean(const QString &key);
    static void setBoolean(const QString &key, bool val);
    static qint32 getInt(const QString &key);
    static void setInt(const QString &key, qint32 val);
    static float getFloat(const QString &key);
    static void setFloat(const QString &key, float val);

    // The value written this run, else the one in the file; none when neither holds one.
    // Unlike the getters it stores nothing for a missing key, so that settings read at launch
    // leave the first launch writing exactly the first-run values.
    static std::optional<PrefValue> storedValue(const QString &key);
    // A stored true; false when missing or not a boolean (stores nothing either).
    static bool storedBoolean(const QString &key);

    // The setter of the value's own type.
    static void setValue(const QString &key, const PrefValue &val) { write(key, val); }
    // Several values in one write of the file, in order: a crash leaves all or none of them.
    static void setValues(const QList<std::pair<QString, PrefValue>> &values);

    static UserPref *sharedCache();

    // Counts the changes a read could see: every accepted write, and every emptying of the
    // cache or change of store. A reader that keeps a value reads again when it has moved.
    static quint64 generation();

    // Points the persistent store at `directory` (see PreferenceStore::defaultDirectory) and
    // empties the cache. Call before the first access to choose the folder.
    static void useDirectory(const QString &directory);
    static void useStore(std::unique_ptr<PreferenceStore> persistent);
    static PreferenceStore &persistentStore();

    // The values written by this process since start or since the last clearCache().
    const QHash<QString, PrefValue> &userPrefDict() const { return mUserPrefDict; }
    void clearCache();

    // Writes and reads one key of each type and logs what it read and the cache size.
    void unitTest();

private:
    UserPref() = default;
    static void write(const QString &key, const PrefValue &value);
    static bool refuses(const QString &key, const PrefValue &value);

    QHash<QString, PrefValue> mUserPrefDict;
};
