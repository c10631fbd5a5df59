#pragma once

#include <QString>
#include <QtGlobal>

#include <variant>

// One stored setting: the four value types of the preference store, kept apart.
using PrefValue = std::variant<QString, bool, qint32, float>;

enum class PrefType { String, Boolean, Integer, Float };

inline PrefType prefTypeOf(const PrefValue &value) { return PrefType(value.index()); }
