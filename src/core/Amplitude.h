#pragma once

// The amplitude curves of the waveform drawing. Each takes a trace value v (a stored sample
// divided by -3) and returns the drawn value; only ampMultiply is used by the drawing and the
// shake alarm, the others are kept as alternatives.
namespace Amplitude {

// 10^(v + 1) - 10: v + 1 in single precision, the power and subtraction in double. Slope about
// 23 near zero, so small tremors fill the strip.
double ampMultiply(float v);
// v × 20 in single precision.
double ampLiner(float v);
// sign(v) × log10(|v| + 1) × 50.
double ampLog10(float v);
// sign(v) × ln(|v| + 1) × 20.
double ampLogN(float v);

}  // namespace Amplitude
