#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh preference folder for one test: UserPref points at it while the object lives.
class TempConfig {
public:
    TempConfig();
    ~TempConfig();

    QString directory() const { return mDir.path(); }
    QString filePath() const;
    // Forgets the store's in-memory state, as a new process would.
    void reopen();

private:
    QTemporaryDir mDir;
};
