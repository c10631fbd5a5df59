#pragma once

#include "http/CredentialStore.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>

class QObject;
namespace QKeychain {
class Job;
}

// Saved credentials in the desktop's keychain (Secret Service or KWallet, through QtKeychain).
// Every job runs on one keychain thread of the process and gets a time-out: a locked keyring can
// block behind a password prompt for ever. When no keychain answers, one log line says so and
// the credentials are kept in memory for the rest of the run; passwords never go to a plain
// file. Any thread.
class KeychainCredentialStore : public CredentialStore {
public:
    explicit KeychainCredentialStore(const QString &service = QStringLiteral("shakelog"),
                                     std::chrono::milliseconds timeout = std::chrono::seconds(3));
    ~KeychainCredentialStore() override;

    void setDefaultCredential(const Credential &credential, const Space &space) override;
    std::optional<Credential> defaultCredential(const Space &space) const override;
    void removeCredential(const Space &space) override;

    bool inMemory() const { return mInMemory.load(); }

private:
    enum class Outcome { Done, NotFound, Unavailable };
    // Runs the job `make` creates on the keychain thread and waits for it.
    Outcome run(const std::function<QKeychain::Job *()> &make,
                const std::function<void(QKeychain::Job *)> &done) const;
    void fallBack(const QString &reason) const;
    static QString keyOf(const Space &space);

    QString mService;
    std::chrono::milliseconds mTimeout;
    QObject *mContext;  // lives on the process's keychain thread
    mutable std::atomic<bool> mInMemory{false};
};
