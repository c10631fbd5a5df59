#pragma once

#include "detection/Event.h"

#include <QString>

// An event's figures as the window shows them to people (the list of past events, the desktop
// notification). The log and the headless lines keep their own forms, stable for scripts.
namespace EventTexts {

QString pga(const Event &event);        // "0.012 g"
QString duration(const Event &event);   // "4.2 s"
QString intensity(const Event &event);  // "III"

// "Shaking detected: PGA 0.012 g, intensity III, 4.2 s"
QString shakingDetected(const Event &event);

}  // namespace EventTexts
