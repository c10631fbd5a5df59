#pragma once

#include <QtGlobal>

// The screen's idle timer. Disabling it asks the desktop's screen saver not to blank or lock
// the screen (org.freedesktop.ScreenSaver.Inhibit on the session bus); where no desktop offers
// that, a log line says so and nothing else happens. The inhibition lasts until it is enabled
// again or the process ends.
class IdleTimer {
public:
    static IdleTimer &shared();

    void setIdleTimerDisabled(bool disabled);
    bool isInhibited() const { return mCookie != 0; }

private:
    quint32 mCookie = 0;  // the screen saver's inhibition cookie; 0 when none
};
