#pragma once

#include <QString>

class QWidget;

// The one slide routine of every panel: 0.4 s, ease-out, along a straight line between a point
// below the window and 28 points below the waveform view's centre, under the key
// "modalViewAnimation". Positions are centres in the panel's parent (the window).
namespace PanelSlide {

inline const QString kKey = QStringLiteral("modalViewAnimation");
constexpr int kDurationMs = 400;
constexpr int kBelowCentre = 28;
constexpr int kScreenHeight = 480;  // the phone's; a taller window parks panels lower still

// Slides `panel` in over `graphView`; the panel's centre ends at the waveform centre + 28 down.
void slideUp(QWidget *panel, QWidget *graphView);
// The mirror image: from where the panel is, straight down to below the window.
void slideDown(QWidget *panel);

// Centre of the parked (closed) position of `panel`.
int parkedCentreY(QWidget *panel);
// After the window has changed size: a closed panel (slid down, or never slid up) moves to the
// new parked position, also at the end of a slide still under way; an open one stays.
void keepParked(QWidget *panel);

}  // namespace PanelSlide
