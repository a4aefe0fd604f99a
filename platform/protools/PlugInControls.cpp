#include "protools/PlugInControls.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double kControlSpan = 4294967295.0;  // 2^32 - 1 steps from INT32_MIN to INT32_MAX
}

CPluginControl::CPluginControl(OSType controlId, const char* controlName, bool canAutomate)
    : id(controlId), automatable(canAutomate)
{
    std::memset(name, 0, sizeof name);
    if (controlName) std::strncpy(name, controlName, kMaxName);
}

void CPluginControl::SetDefault(int32_t v)
{
    defaultValue = Clamped(v);
    value.store(defaultValue);
}

CPluginControl_Continuous::CPluginControl_Continuous(OSType controlId, const char* controlName, double lowest,
                                                     double highest, bool canAutomate)
    : CPluginControl(controlId, controlName, canAutomate), minimum(lowest), maximum(highest)
{
}

int32_t CPluginControl_Continuous::ConvertContinuousToControl(double continuous) const
{
    const double span = maximum - minimum;
    double t = span != 0.0 ? (continuous - minimum) / span : 0.0;
    if (!(t >= 0.0)) t = 0.0;
    t = std::min(t, 1.0);
    return static_cast<int32_t>(std::llround(t * kControlSpan) + INT32_MIN);
}

double CPluginControl_Continuous::ConvertControlToContinuous(int32_t control) const
{
    const double t = (static_cast<double>(control) - static_cast<double>(INT32_MIN)) / kControlSpan;
    return minimum + t * (maximum - minimum);
}

CPluginControl_Linear::CPluginControl_Linear(OSType controlId, const char* controlName, double lowest,
                                             double highest, double stepSize, double initial, bool canAutomate,
                                             MetricPrefix first, MetricPrefix last)
    : CPluginControl_Continuous(controlId, controlName, lowest, highest, canAutomate),
      step(stepSize),
      firstPrefix(first),
      lastPrefix(last)
{
    SetDefault(ConvertContinuousToControl(initial));
}

CPluginControl_Discrete::CPluginControl_Discrete(OSType controlId, const char* controlName, int32_t count,
                                                 int32_t defaultStep, bool canAutomate)
    : CPluginControl(controlId, controlName, canAutomate), steps(std::max(count, 1))
{
    SetDefault(defaultStep);
}

int32_t CPluginControl_Discrete::Clamped(int32_t v) const { return std::clamp(v, 0, steps - 1); }

CPluginControl_OnOff::CPluginControl_OnOff(OSType controlId, const char* controlName, bool defaultOn,
                                           bool canAutomate)
    : CPluginControl_Discrete(controlId, controlName, 2, defaultOn ? 1 : 0, canAutomate)
{
}
