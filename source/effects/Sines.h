#pragma once
// Sines and cosines of whole arrays of angles, for the oscillators and the
// swept sections: each value within an ulp of the C library's, computed
// several at a time (four a register where the processor has AVX2, see
// dsp/WideVectors.h). Every path does the same arithmetic in the same order,
// so the results do not depend on the processor. Angles are meant to be
// moderate (oscillator phases, filter angles); beyond kWideAngle they go to
// the C library.

namespace tonewright::sines {

// Beyond this magnitude one step of argument reduction is no longer exact
// enough.
constexpr double kWideAngle = 1.0e5;

// s[i] = sin(x[i]) and c[i] = cos(x[i]); either output may be null.
void sinCos(const double* x, double* s, double* c, int n);
void sin(const double* x, double* s, int n);
void cos(const double* x, double* c, int n);
// c[i] = scale cos(x[i] a + b), the angle and the product rounded as
// written: the cosine terms of a swept section.
void scaledCos(const double* x, double a, double b, double scale, double* c, int n);

// Angles this close to a known one are turned from it by a short series.
constexpr double kNear = 1.0 / 32.0;
// c[i] = scale cos(x[i] a + b) as scaledCos gives it but for an ulp or two,
// from s0 and c0, the sine and cosine of x[0] a + b: for angles within
// kNear of that one (|x[i] - x[0]| |a| <= kNear, which the caller ensures),
// at about half the cost.
void scaledCosNear(const double* x, double a, double b, double scale, double s0, double c0, double* c, int n);

// sinCos for angles that move little along the array (an oscillator's run):
// while every angle is within kNear of the first, each is turned from it by
// the same series, an ulp or two from sinCos and at about half its cost;
// otherwise sinCos itself. Either output may be null.
void sinCosNear(const double* x, double* s, double* c, int n);

// One value, by the same computation.
double sin(double x);
double cos(double x);

}  // namespace tonewright::sines
