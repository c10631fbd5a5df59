#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

// Puts `bytes` at `path` in one step: a reader finds the earlier file or the new one whole,
// never a part. Any failure, a short write on a full disk included, leaves the earlier file as
// it was, says why in `error` and returns false. `permissions`, when given, hold before
// anything is written.
bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *error,
                    std::optional<QFileDevice::Permissions> permissions = std::nullopt);
