#include "http/CredentialStore.h"

#include "http/KeychainCredentialStore.h"

CredentialStore &CredentialStore::shared() {
    static KeychainCredentialStore store;
    return store;
}

void CredentialStore::setDefaultCredential(const Credential &credential, const Space &space) {
    std::lock_guard lock(mLock);
    mCredentials[space] = credential;
}

std::optional<CredentialStore::Credential> CredentialStore::defaultCredential(
    const Space &space) const {
    std::lock_guard lock(mLock);
    const auto it = mCredentials.find(space);
    if (it == mCredentials.end()) {
        return std::nullopt;
    }
    return it->second;
}

void CredentialStore::removeCredential(const Space &space) {
    std::lock_guard lock(mLock);
    mCredentials.erase(space);
}
