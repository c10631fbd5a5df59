#include "platform/PreferredLanguages.h"

#include <QLocale>

namespace PreferredLanguages {
namespace {
QString & override() {
    static QString language;
    return language;
}
}  // namespace

QString first() {
    if (!override().isEmpty()) {
        return override();
    }
    const QStringList languages = QLocale::system().uiLanguages();
    return languages.isEmpty() ? QString() : languages.first();
}

void setOverride(const QString &language) { override() = language; }

bool isJapanese() { return first() == QLatin1String("ja"); }

}  // namespace PreferredLanguages
