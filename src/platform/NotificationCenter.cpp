#include "platform/NotificationCenter.h"

#include <algorithm>

NotificationCenter &NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const void *observer, const QString &name, Handler handler) {
    mRegistrations.push_back({observer, name, std::move(handler)});
}

void NotificationCenter::removeObserver(const void *observer) {
    std::erase_if(mRegistrations,
                  [observer](const Registration &r) { return r.observer == observer; });
}

void NotificationCenter::post(const QString &name, std::any object) {
    const Notification notification{name, std::move(object)};
    // Index loop: a handler may add observers while we deliver.
    for (size_t i = 0; i < mRegistrations.size(); ++i) {
        if (mRegistrations[i].name == name) {
            Handler handler = mRegistrations[i].handler;
            handler(notification);
        }
    }
}

int NotificationCenter::observerCount(const QString &name) const {
    return int(std::count_if(mRegistrations.begin(), mRegistrations.end(),
                             [&name](const Registration &r) { return r.name == name; }));
}
