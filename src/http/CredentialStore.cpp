#include "http/CredentialStore.h"

#include "http/KeychainCredentialStore.h"

#include <atomic>

namespace {
std::atomic<CredentialStore *> installed{nullptr};
}  // namespace

CredentialStore &CredentialStore::shared() {
    if (CredentialStore *store = installed.load()) {
        return *store;
    }
    static KeychainCredentialStore keychain;
    return keychain;
}

void CredentialStore::setShared(CredentialStore *store) { installed.store(store); }

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
