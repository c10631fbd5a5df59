#pragma once

#include <QString>

#include <any>
#include <functional>
#include <vector>

// A synchronous notification centre: observers register for a name and are called inside
// post(), on the posting thread, in registration order. Main thread only.
class NotificationCenter {
public:
    struct Notification {
        QString name;
        std::any object;  // the posted record, held for the delivery only
    };
    using Handler = std::function<void(const Notification &)>;

    static NotificationCenter &defaultCenter();

    // `observer` identifies the registration for removal; it is never dereferenced.
    void addObserver(const void *observer, const QString &name, Handler handler);
    void removeObserver(const void *observer);
    void post(const QString &name, std::any object = {});

    int observerCount(const QString &name) const;

private:
    struct Registration {
        const void *observer;
        QString name;
        Handler handler;
    };
    std::vector<Registration> mRegistrations;
};
