#include "platform/WholeFile.h"

#include <QSaveFile>

bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *error,
                    std::optional<QFileDevice::Permissions> permissions) {
    QSaveFile file(path);
    QString reason;
    // Unbuffered: a write cut short says so here. Through the buffer it would only fail in the
    // flush inside commit(), which puts the cut file in place all the same.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        (permissions && !file.setPermissions(*permissions))) {
        reason = file.errorString();
    } else if (const qint64 written = file.write(bytes); written != bytes.size()) {
        // A write cut short (no space left, a size limit) reports no error of its own.
        reason = written < 0 ? file.errorString()
                             : QStringLiteral("only %1 of %2 bytes could be written")
                                   .arg(written)
                                   .arg(bytes.size());
    } else if (!file.commit()) {
        reason = file.errorString();
    }
    if (reason.isEmpty()) {
        return true;
    }
    if (error) {
        *error = reason;
    }
    return false;  // not committed: the temporary file goes, the earlier one stays
}
