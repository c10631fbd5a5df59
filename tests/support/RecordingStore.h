#pragma once

#include "prefs/PreferenceStore.h"

#include <QStringList>

// A real preference store that also remembers the order of the writes it was given.
class RecordingStore : public PreferenceStore {
public:
    using PreferenceStore::PreferenceStore;

    void setAppValue(const QString &key, const std::optional<PrefValue> &value) override {
        writes.append(key);
        values.append(value.value_or(PrefValue{}));
        PreferenceStore::setAppValue(key, value);
    }
    bool synchronize() override {
        ++synchronizations;
        return PreferenceStore::synchronize();
    }

    QStringList writes;
    QList<PrefValue> values;
    int synchronizations = 0;
};
