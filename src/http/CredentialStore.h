#pragma once

#include <QString>

#include <map>
#include <mutex>
#include <optional>
#include <tuple>

// Where credentials are kept beyond one request: by protection space (host, port, protocol,
// realm). This base keeps them in memory for the life of the process; the shared store is the
// desktop keychain (KeychainCredentialStore), which falls back to it. Any thread.
class CredentialStore {
public:
    struct Space {
        QString host;
        int port = 0;
        QString protocol;
        QString realm;
        bool operator<(const Space &other) const {
            return std::tie(host, port, protocol, realm) <
                   std::tie(other.host, other.port, other.protocol, other.realm);
        }
    };
    struct Credential {
        QString user;
        QString password;
    };

    // The desktop keychain under the service "shakelog", unless another store was installed.
    static CredentialStore &shared();
    // Installs `store` as the shared one (nullptr: back to the keychain); the caller keeps it
    // alive while installed. Set before requests run.
    static void setShared(CredentialStore *store);
    virtual ~CredentialStore() = default;

    virtual void setDefaultCredential(const Credential &credential, const Space &space);
    virtual std::optional<Credential> defaultCredential(const Space &space) const;
    virtual void removeCredential(const Space &space);

private:
    mutable std::mutex mLock;
    std::map<Space, Credential> mCredentials;
};
