#include "prefs/UserPref.h"

#include "platform/SystemLog.h"
#include "prefs/PreferenceStore.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {
std::unique_ptr<PreferenceStore> store;
quint64 changes = 1;  // UserPref::generation()

// Cached values convert freely, as a boxed number would: a number read as a boolean is true
// when nonzero, a float read as an integer is truncated toward zero.
double cachedNumber(const PrefValue &value) {
    switch (prefTypeOf(value)) {
    case PrefType::Boolean: return std::get<bool>(value) ? 1.0 : 0.0;
    case PrefType::Integer: return std::get<qint32>(value);
    case PrefType::Float: return std::get<float>(value);
    case PrefType::String: return std::get<QString>(value).trimmed().toDouble();
    }
    return 0.0;
}

qint32 truncatedToInt(double d) {
    if (!std::isfinite(d)) {
        return 0;
    }
    d = std::trunc(d);
    d = std::clamp(d, double(std::numeric_limits<qint32>::min()),
                   double(std::numeric_limits<qint32>::max()));
    return qint32(d);
}

std::optional<PrefValue> cached(const QString &key) {
    const QHash<QString, PrefValue> &cache = UserPref::sharedCache()->userPrefDict();
    const auto it = cache.constFind(key);
    if (it == cache.constEnd()) {
        return std::nullopt;
    }
    return *it;
}
}  // namespace

UserPref *UserPref::sharedCache() {
    static UserPref instance;
    return &instance;
}

std::optional<PrefValue> UserPref::storedValue(const QString &key) {
    const QHash<QString, PrefValue> &written = sharedCache()->userPrefDict();
    if (const auto it = written.constFind(key); it != written.constEnd()) {
        return *it;
    }
    return persistentStore().copyAppValue(key);
}

bool UserPref::storedBoolean(const QString &key) {
    const std::optional<PrefValue> value = storedValue(key);
    const bool *on = value ? std::get_if<bool>(&*value) : nullptr;
    return on && *on;
}

PreferenceStore &UserPref::persistentStore() {
    if (!store) {
        store = std::make_unique<PreferenceStore>(PreferenceStore::defaultDirectory());
    }
    return *store;
}

void UserPref::useDirectory(const QString &directory) {
    useStore(std::make_unique<PreferenceStore>(directory));
}

void UserPref::useStore(std::unique_ptr<PreferenceStore> persistent) {
    store = std::move(persistent);
    sharedCache()->clearCache();
}

quint64 UserPref::generation() { return changes; }

void UserPref::clearCache() {
    mUserPrefDict.clear();
    ++changes;
}

bool UserPref::refuses(const QString &key, const PrefValue &value) {
    // The file cannot hold inf or nan (JSON writes null, which no later launch reads): the
    // setting keeps its earlier value rather than costing every setting at the next start.
    if (const float *f = std::get_if<float>(&value); f && !std::isfinite(*f)) {
        SystemLog::log(QStringLiteral("Setting %1 not saved: %2 is not a finite number")
                           .arg(key, QString::number(double(*f))));
        return true;
    }
    return false;
}

void UserPref::write(const QString &key, const PrefValue &value) { setValues({{key, value}}); }

void UserPref::setValues(const QList<std::pair<QString, PrefValue>> &values) {
    PreferenceStore &persistent = persistentStore();
    QList<std::pair<QString, PrefValue>> accepted;
    for (const auto &[key, value] : values) {
        if (!refuses(key, value)) {
            persistent.setAppValue(key, value);
            accepted.append({key, value});
        }
    }
    if (accepted.isEmpty()) {
        return;
    }
    persistent.synchronize();  // a failure is logged; the run goes on with the cached values
    for (const auto &[key, value] : accepted) {
        sharedCache()->mUserPrefDict.insert(key, value);
    }
    ++changes;
}

QString UserPref::getString(const QString &key) {
    if (const auto value = cached(key)) {
        if (const QString *text = std::get_if<QString>(&*value)) {
            return *text;
        }
        return QString::number(cachedNumber(*value));
    }
    const auto stored = persistentStore().copyAppValue(key);
    if (!stored) {
        setString(key, QString());
        return QString();
    }
    const QString *text = std::get_if<QString>(&*stored);
    return text ? *text : QString();
}

bool UserPref::getBoolean(const QString &key) {
    if (const auto value = cached(key)) {
        return cachedNumber(*value) != 0.0;
    }
    const auto stored = persistentStore().copyAppValue(key);
    if (!stored) {
        setBoolean(key, false);
        return false;
    }
    // Only the boolean true reads true: a stored number, even a nonzero one, reads false.
    const bool *flag = std::get_if<bool>(&*stored);
    return flag && *flag;
}

qint32 UserPref::getInt(const QString &key) {
    if (const auto value = cached(key)) {
        return truncatedToInt(cachedNumber(*value));
    }
    const auto stored = persistentStore().copyAppValue(key);
    if (!stored) {
        setInt(key, 0);
        return 0;
    }
    switch (prefTypeOf(*stored)) {
    case PrefType::Integer: return std::get<qint32>(*stored);
    case PrefType::Boolean: return std::get<bool>(*stored) ? 1 : 0;
    case PrefType::Float: {
        // A conversion that loses anything reads 0.
        const double d = std::get<float>(*stored);
        const qint32 i = truncatedToInt(d);
        return double(i) == d ? i : 0;
    }
    case PrefType::String: return 0;
    }
    return 0;
}

float UserPref::getFloat(const QString &key) {
    if (const auto value = cached(key)) {
        return float(cachedNumber(*value));
    }
    const auto stored = persistentStore().copyAppValue(key);
    if (!stored) {
        setFloat(key, 0.0f);
        return 0.0f;
    }
    switch (prefTypeOf(*stored)) {
    case PrefType::Float: return std::get<float>(*stored);
    case PrefType::Boolean: return std::get<bool>(*stored) ? 1.0f : 0.0f;
    case PrefType::Integer: {
        const qint32 i = std::get<qint32>(*stored);
        const float f = float(i);
        return qint64(f) == i ? f : 0.0f;
    }
    case PrefType::String: return 0.0f;
    }
    return 0.0f;
}

void UserPref::setString(const QString &key, const QString &val) { write(key, val); }
void UserPref::setBoolean(const QString &key, bool val) { write(key, val); }
void UserPref::setInt(const QString &key, qint32 val) { write(key, val); }
void UserPref::setFloat(const QString &key, float val) { write(key, val); }

void UserPref::unitTest() {
    setString(QStringLiteral("UNIT_TEST_STRING"), QStringLiteral("unit test"));
    setBoolean(QStringLiteral("UNIT_TEST_BOOLEAN"), true);
    setInt(QStringLiteral("UNIT_TEST_INT"), 1234);
    setFloat(QStringLiteral("UNIT_TEST_FLOAT"), 12.5f);
    SystemLog::log(QStringLiteral("string %1").arg(getString(QStringLiteral("UNIT_TEST_STRING"))));
    SHAKELOG_LOG("boolean %d", int(getBoolean(QStringLiteral("UNIT_TEST_BOOLEAN"))));
    SHAKELOG_LOG("int %d", getInt(QStringLiteral("UNIT_TEST_INT")));
    SHAKELOG_LOG("float %f", double(getFloat(QStringLiteral("UNIT_TEST_FLOAT"))));
    SHAKELOG_LOG("cache size %d", int(mUserPrefDict.size()));
}
