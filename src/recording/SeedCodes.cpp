#include "recording/SeedCodes.h"

#include "platform/DeviceIdentifier.h"
#include "platform/SystemLog.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"

#include <QCryptographicHash>
#include <QStringList>

using namespace SettingsKeys;

namespace {
// Upper-case ASCII letters and digits, `minimum` to `maximum` of them.
QString codeProblem(const QString &code, const char *what, int minimum, int maximum) {
    for (const QChar c : code) {
        if (!((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
              (c >= QLatin1Char('0') && c <= QLatin1Char('9')))) {
            return QStringLiteral(
                       "The %1 code '%2' may hold only upper-case letters A-Z and "
                       "digits.")
                .arg(QLatin1String(what), code);
        }
    }
    if (code.size() < minimum || code.size() > maximum) {
        return minimum == 0 ? QStringLiteral("The %1 code '%2' has more than %3 characters.")
                                  .arg(QLatin1String(what), code)
                                  .arg(maximum)
                            : QStringLiteral("The %1 code '%2' must have %3 to %4 characters.")
                                  .arg(QLatin1String(what), code)
                                  .arg(minimum)
                                  .arg(maximum);
    }
    return {};
}
}  // namespace

QString SeedCodes::networkProblem(const QString &code) {
    return codeProblem(code, "network", 1, 2);
}

QString SeedCodes::stationProblem(const QString &code) {
    return codeProblem(code, "station", 1, 5);
}

QString SeedCodes::locationProblem(const QString &code) {
    return codeProblem(code, "location", 0, 2);
}

std::optional<SeedCodes> SeedCodes::parse(const QString &text, QString *error) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3) {
        *error = QStringLiteral("'%1' is not NET.STA.LOC (for example XX.TEST.00).").arg(text);
        return std::nullopt;
    }
    SeedCodes codes{parts[0], parts[1], parts[2]};
    for (const QString &problem : {networkProblem(codes.network), stationProblem(codes.station),
                                   locationProblem(codes.location)}) {
        if (!problem.isEmpty()) {
            *error = problem;
            return std::nullopt;
        }
    }
    return codes;
}

QString SeedCodes::stationFromDeviceIdentifier(const QString &identifier) {
    // Base 36 of a hash: the same device always files under the same name, and two devices
    // rarely share one (60 million names).
    const QByteArray hash =
        QCryptographicHash::hash(identifier.toUtf8(), QCryptographicHash::Sha256);
    quint64 number = 0;
    for (int i = 0; i < 8; ++i) {
        number = (number << 8) | quint8(hash[i]);
    }
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    QString code;
    for (int i = 0; i < 5; ++i) {
        code += QLatin1Char(digits[number % 36]);
        number /= 36;
    }
    return code;
}

SeedCodes SeedCodes::fromSettings() {
    SeedCodes codes;
    codes.station = SeedCodes::stationFromDeviceIdentifier(DeviceIdentifier::uniqueIdentifier());
    const auto take = [](const QString &key, QString *code, QString (*problem)(const QString &)) {
        QString stored = UserPref::getString(key);
        if (stored.isEmpty()) {
            return;
        }
        if (key == STATION_LOCATION && stored == QLatin1String("--")) {
            stored.clear();  // the usual way to write "no location code"
        }
        if (const QString why = problem(stored); !why.isEmpty()) {
            SystemLog::log(QStringLiteral("%1: %2 The default %3 is used.")
                               .arg(key, why, code->isEmpty() ? QStringLiteral("(none)") : *code));
            return;
        }
        *code = stored;
    };
    take(STATION_NETWORK, &codes.network, &SeedCodes::networkProblem);
    take(STATION_CODE, &codes.station, &SeedCodes::stationProblem);
    take(STATION_LOCATION, &codes.location, &SeedCodes::locationProblem);
    return codes;
}

QString SeedCodes::text() const {
    return network + QLatin1Char('.') + station + QLatin1Char('.') + location;
}

QChar bandCode(double rate) {
    struct Band {
        double from;
        char code;
    };
    static const Band bands[] = {{5000, 'J'}, {1000, 'F'},   {250, 'C'}, {80, 'H'},
                                 {10, 'B'},   {1.0001, 'M'}, {0.5, 'L'}, {0.05, 'V'}};
    for (const Band &band : bands) {
        if (rate >= band.from) {
            return QLatin1Char(band.code);
        }
    }
    return QLatin1Char('U');
}

std::array<QString, 3> channelCodes(double rate) {
    const QString prefix = QString(bandCode(rate)) + QLatin1Char('N');
    return {prefix + QLatin1Char('1'), prefix + QLatin1Char('2'), prefix + QLatin1Char('Z')};
}
