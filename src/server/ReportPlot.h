#pragma once

#include "server/ServerViews.h"

#include <QByteArray>

// A report's signal as a picture: the x, y and z strips drawn as the window draws its traces
// (TracePainter, same colours, grid and amplitude curve), but with the whole signal spread
// across the width and, for a known rate, a time line every few seconds labelled with the
// seconds since the first sample.
namespace ReportPlot {

constexpr int kWidth = 640;
constexpr int kHeight = 360;

// The plot as a PNG of kWidth × kHeight pixels; an empty signal gives the empty strips, a
// rate of 0 or less no time lines. Any thread; text needs a QGuiApplication (offscreen will do).
QByteArray png(const ReportSignal &signal, int sampling);

// Whether the sender high-passed the samples (the application's FILTER, on by default): then
// the window amplifies them through its amplitude curve, and so does the plot. Raw samples
// carry gravity, about 1 g of mean acceleration; filtered ones have a mean near zero.
bool looksFiltered(const ReportSignal &signal);

}  // namespace ReportPlot
