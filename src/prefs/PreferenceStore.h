#pragma once

#include "prefs/PrefValue.h"

#include <QMap>
#include <QString>

#include <optional>

// The persistent preferences of this application: a typed key-value file, by default
// preferences.json in the XDG config folder. The file is read at first access; every
// synchronize() replaces it atomically (temporary file, fsync, rename), so a crash during a
// write leaves the previous or the new file, never a truncated one. A file that cannot be read
// or parsed (a value of the wrong shape, a float beyond a float's range), or that is not a
// regular file (a FIFO), is renamed aside (".corrupt") with a log line, and the store starts
// empty. Main thread only.
class PreferenceStore {
public:
    static constexpr const char *kFileName = "preferences.json";

    // `directory` holds the file; it is created at the first write.
    explicit PreferenceStore(const QString &directory);
    virtual ~PreferenceStore() = default;

    // --config-dir, else $SHAKELOG_CONFIG_DIR, else the XDG config folder of the application.
    static QString defaultDirectory(const QString &commandLineDirectory = QString());

    std::optional<PrefValue> copyAppValue(const QString &key);
    // No value removes the key.
    virtual void setAppValue(const QString &key, const std::optional<PrefValue> &value);
    // Writes every value to the file; false (with a log line) when that failed.
    virtual bool synchronize();

    QString filePath() const { return mFilePath; }

    // Copies the file as it is on disk beside itself under the next free ".corrupt" name, with
    // a log line giving `reason`, before something replaces the user's values. False when
    // there is no file or it could not be copied.
    bool keepCopy(const QString &reason);

    // The file format, exposed for tests: an object of key → {"<type>": value}.
    static QByteArray serialize(const QMap<QString, PrefValue> &values);
    static std::optional<QMap<QString, PrefValue>> parse(const QByteArray &bytes,
                                                         QString *error = nullptr);

private:
    void load();
    void moveAside(const QString &reason);
    QString asideName() const;

    QString mFilePath;
    QMap<QString, PrefValue> mValues;
    bool mLoaded = false;
};
