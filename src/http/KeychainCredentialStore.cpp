#include "http/KeychainCredentialStore.h"

#include "platform/SystemLog.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace {
// One thread for every keychain job of the process: QtKeychain queues its jobs on an object
// that stays on the thread that first used it. Kept until the process ends.
QThread *keychainThread() {
    static QThread *thread = [] {
        auto *t = new QThread;
        t->setObjectName(QStringLiteral("keychain"));
        t->start();
        return t;
    }();
    return thread;
}
}  // namespace

KeychainCredentialStore::KeychainCredentialStore(const QString &service,
                                                 std::chrono::milliseconds timeout)
    : mService(service), mTimeout(timeout), mContext(new QObject) {
    mContext->moveToThread(keychainThread());
}

KeychainCredentialStore::~KeychainCredentialStore() { mContext->deleteLater(); }

QString KeychainCredentialStore::keyOf(const Space &space) {
    return QStringLiteral("%1:%2:%3:%4")
        .arg(space.protocol, space.host)
        .arg(space.port)
        .arg(space.realm);
}

void KeychainCredentialStore::fallBack(const QString &reason) const {
    if (!mInMemory.exchange(true)) {
        SystemLog::log(
            QStringLiteral(
                "No keychain service answered (%1); saved credentials are kept in memory "
                "for this run")
                .arg(reason));
    }
}

KeychainCredentialStore::Outcome KeychainCredentialStore::run(
    const std::function<QKeychain::Job *()> &make,
    const std::function<void(QKeychain::Job *)> &done) const {
    Outcome outcome = Outcome::Unavailable;
    QString reason = QStringLiteral("timed out");
    QMetaObject::invokeMethod(
        mContext,
        [&] {
            QKeychain::Job *job = make();
            job->setAutoDelete(false);
            QEventLoop loop;
            bool finished = false;
            QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
                finished = true;
                loop.quit();
            });
            QTimer::singleShot(mTimeout, &loop, &QEventLoop::quit);
            job->start();
            if (!finished) {
                loop.exec();
            }
            if (finished && job->error() == QKeychain::NoError) {
                done(job);
                outcome = Outcome::Done;
            } else if (finished && job->error() == QKeychain::EntryNotFound) {
                outcome = Outcome::NotFound;
            } else if (finished) {
                reason = job->errorString();
            }
            job->deleteLater();
        },
        Qt::BlockingQueuedConnection);
    if (outcome == Outcome::Unavailable) {
        fallBack(reason);
    }
    return outcome;
}

void KeychainCredentialStore::setDefaultCredential(const Credential &credential,
                                                   const Space &space) {
    if (!mInMemory.load()) {
        const QByteArray data =
            QJsonDocument(QJsonObject{{"user", credential.user}, {"password", credential.password}})
                .toJson(QJsonDocument::Compact);
        const Outcome outcome = run(
            [&] {
                auto *job = new QKeychain::WritePasswordJob(mService);
                job->setKey(keyOf(space));
                job->setBinaryData(data);
                return job;
            },
            [](QKeychain::Job *) {});
        if (outcome == Outcome::Done) {
            return;
        }
    }
    CredentialStore::setDefaultCredential(credential, space);
}

std::optional<CredentialStore::Credential> KeychainCredentialStore::defaultCredential(
    const Space &space) const {
    if (!mInMemory.load()) {
        std::optional<Credential> found;
        const Outcome outcome = run(
            [&] {
                auto *job = new QKeychain::ReadPasswordJob(mService);
                job->setKey(keyOf(space));
                return job;
            },
            [&](QKeychain::Job *job) {
                const QJsonObject object =
                    QJsonDocument::fromJson(
                        static_cast<QKeychain::ReadPasswordJob *>(job)->binaryData())
                        .object();
                found = Credential{object.value("user").toString(),
                                   object.value("password").toString()};
            });
        if (outcome != Outcome::Unavailable) {
            return found;
        }
    }
    return CredentialStore::defaultCredential(space);
}

void KeychainCredentialStore::removeCredential(const Space &space) {
    if (!mInMemory.load()) {
        const Outcome outcome = run(
            [&] {
                auto *job = new QKeychain::DeletePasswordJob(mService);
                job->setKey(keyOf(space));
                return job;
            },
            [](QKeychain::Job *) {});
        if (outcome != Outcome::Unavailable) {
            return;
        }
    }
    CredentialStore::removeCredential(space);
}
