#pragma once
// Conversions between normalised 0..1 values and physical values. Nothing is
// clamped except by limitrange; callers clamp where they need to.

namespace tonewright {

double range(double x, double a, double b);
double irange(double y, double a, double b);
double rangeLog(double x, double a, double b);
double irangeLog(double y, double a, double b);
double rangeDb(double x, double a, double b);
double irangeDb(double g, double a, double b);
int position(double x, int n);
double iposition(double p, int n);
double limitrange(double x, double a, double b);
double toDb(double g);
double fromDb(double d);

}  // namespace tonewright
