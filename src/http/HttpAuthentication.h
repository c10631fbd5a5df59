#pragma once

#include "http/transport/HttpMessage.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>

// Credentials for a challenge: user name, password and, for schemes that need one, an account
// domain.
struct HttpCredentials {
    QString username;
    QString password;
    QString domain;
};

// A server's authentication challenge, made from a 401 response's WWW-Authenticate field:
// Basic, or Digest (MD5, qop "auth"). It applies credentials to a request message (the
// Authorization field) and turns invalid when the server refuses credentials it applied.
// Shared by the requests of a session on their worker threads: its state changes under a lock
// of its own, so Digest nonce counts never repeat.
class HttpAuthentication {
public:
    enum Scheme { Basic, Digest };
    static constexpr int kRejectedUserName = -1001;  // HTTP stream error codes
    static constexpr int kRejectedPassword = -1002;

    // None when the response carries no challenge we can answer.
    static std::shared_ptr<HttpAuthentication> createFromResponse(
        const HttpResponseHeader &response);

    HttpAuthentication() = default;
    HttpAuthentication(const HttpAuthentication &) = delete;
    HttpAuthentication &operator=(const HttpAuthentication &) = delete;

    Scheme scheme() const { return mScheme; }
    QString realm() const { return mRealm; }
    bool requiresUserNameAndPassword() const { return true; }
    bool requiresAccountDomain() const { return false; }

    // False (with the error code) once credentials this challenge applied were refused.
    bool isValid(int *errorCode = nullptr) const;
    // A further 401 for a message that carried our credentials: they were refused, unless a
    // Digest server only says the nonce went stale (then the new nonce is used).
    void responseReceived(const HttpResponseHeader &response);

    // Sets the Authorization field of `message`; false when it cannot be done.
    bool applyCredentials(HttpMessage &message, const HttpCredentials &credentials);
    // The client nonce of later Digest answers; empty (the default): a fresh random one each
    // time. A fixed one makes an answer comparable with a published example.
    void setClientNonce(const QByteArray &clientNonce);

private:
    // Set when made, then only read.
    Scheme mScheme = Basic;
    QString mRealm;
    QString mOpaque;
    bool mQopAuth = false;

    mutable std::mutex mMutex;  // the fields below
    QString mNonce;
    bool mApplied = false;
    bool mRejected = false;
    quint32 mNonceCount = 0;
    QByteArray mClientNonce;
};
