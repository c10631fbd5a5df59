#include "app/EventTexts.h"

namespace EventTexts {

// QString::arg with a format keeps the decimal point whatever the desktop's locale.
QString pga(const Event &event) { return QStringLiteral("%1 g").arg(event.pga, 0, 'f', 3); }

QString duration(const Event &event) {
    return QStringLiteral("%1 s").arg(event.duration(), 0, 'f', 1);
}

QString intensity(const Event &event) { return Event::romanNumeral(event.intensity()); }

QString shakingDetected(const Event &event) {
    return QStringLiteral("Shaking detected: PGA %1, intensity %2, %3")
        .arg(pga(event), intensity(event), duration(event));
}

}  // namespace EventTexts
