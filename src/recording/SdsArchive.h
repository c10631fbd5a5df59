#pragma once

#include "recording/MiniSeedChannel.h"
#include "recording/SeedCodes.h"

#include <QDate>
#include <QString>

#include <map>

// A folder in the SDS layout that seismological tools read:
// DIR/YEAR/NET/STA/CHAN.D/NET.STA.LOC.CHAN.D.YEAR.DAY, one file per channel and UTC day (DAY:
// the day of the year, three digits), a record belonging to the day of its first sample.
// Records are appended whole: a write that fails part way is cut back, so every file is always
// a sequence of whole records.
class SdsArchive {
public:
    explicit SdsArchive(QString directory) : mDirectory(std::move(directory)) {}
    ~SdsArchive();
    SdsArchive(const SdsArchive &) = delete;
    SdsArchive &operator=(const SdsArchive &) = delete;

    // Makes the folder if needed and checks that files can be written in it; false with `error`
    // saying why not.
    static bool prepare(const QString &directory, QString *error);

    const QString &directory() const { return mDirectory; }
    QString dayFilePath(const SeedCodes &codes, const QString &channel, qint64 start) const;

    // Appends `record` to its day file; false with `error` when it could not be written whole
    // (the file is then as it was).
    bool append(const SeedCodes &codes, const QString &channel, const MiniSeedRecord &record,
                QString *error);
    // Puts everything appended since the last call on the disk (and lets go of the files).
    bool sync(QString *error);
    // Deletes this station's day files of days before `first`; returns how many went.
    int removeDaysBefore(const SeedCodes &codes, const QDate &first);

private:
    QString mDirectory;
    std::map<QString, int> mOpen;  // day files written since the last sync
};
