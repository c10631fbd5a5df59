#pragma once

#include <QByteArray>
#include <QtGlobal>

// Sets (or, with no value, removes) an environment variable for the life of the object, then
// puts back what was there before.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : mName(name), mHad(qEnvironmentVariableIsSet(name)), mOld(qgetenv(name)) {
        qputenv(name, value);
    }
    explicit ScopedEnvironment(const char *name)
        : mName(name), mHad(qEnvironmentVariableIsSet(name)), mOld(qgetenv(name)) {
        qunsetenv(name);
    }
    ~ScopedEnvironment() {
        if (mHad) {
            qputenv(mName, mOld);
        } else {
            qunsetenv(mName);
        }
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    const char *mName;
    bool mHad;
    QByteArray mOld;
};
