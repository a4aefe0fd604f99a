#pragma once
// The library's controls: what the host automates and shows for a plug-in.
// A control's value is a 32-bit integer; a continuous control maps its
// whole range linearly onto its minimum..maximum, a discrete one counts its
// steps from 0. Values are atomics: the host, the plug-in's threads and the
// renderer read and write them.

#include <atomic>
#include <cstdint>

#include "protools/PlugInTypes.h"

// The library's metric display prefixes, smallest to largest.
enum MetricPrefix : int32_t {
    kPrefixNone = 0,  // factor 1
    kPrefixKilo,
    kPrefixMega,
    kPrefixGiga,
    kLargestPrefix = kPrefixGiga,
};

class CPluginControl {
public:
    static constexpr int kMaxName = 31;

    CPluginControl(OSType id, const char* name, bool automatable);
    virtual ~CPluginControl() = default;
    CPluginControl(const CPluginControl&) = delete;
    CPluginControl& operator=(const CPluginControl&) = delete;

    OSType GetID() const { return id; }
    const char* GetName() const { return name; }
    bool IsAutomatable() const { return automatable; }
    int32_t GetValue() const { return value.load(); }
    int32_t GetDefaultValue() const { return defaultValue; }
    // Stores the value as the control keeps it (a discrete one: clamped to
    // its steps).
    void SetValue(int32_t v) { value.store(Clamped(v)); }

protected:
    virtual int32_t Clamped(int32_t v) const { return v; }
    void SetDefault(int32_t v);

private:
    OSType id;
    char name[kMaxName + 1];
    bool automatable;
    int32_t defaultValue = 0;
    std::atomic<int32_t> value{0};
};

class CPluginControl_Continuous : public CPluginControl {
public:
    CPluginControl_Continuous(OSType id, const char* name, double minimum, double maximum, bool automatable);

    double GetMinimum() const { return minimum; }
    double GetMaximum() const { return maximum; }
    // minimum..maximum onto the 32-bit range and back; out-of-range and NaN
    // continuous values take the nearer end (NaN the minimum).
    int32_t ConvertContinuousToControl(double continuous) const;
    double ConvertControlToContinuous(int32_t control) const;
    double GetContinuous() const { return ConvertControlToContinuous(GetValue()); }

private:
    double minimum, maximum;
};

class CPluginControl_Linear : public CPluginControl_Continuous {
public:
    CPluginControl_Linear(OSType id, const char* name, double minimum, double maximum, double step,
                          double defaultValue, bool automatable, MetricPrefix firstPrefix, MetricPrefix lastPrefix);

    double GetStep() const { return step; }
    MetricPrefix GetFirstPrefix() const { return firstPrefix; }
    MetricPrefix GetLastPrefix() const { return lastPrefix; }

private:
    double step;
    MetricPrefix firstPrefix, lastPrefix;
};

class CPluginControl_Discrete : public CPluginControl {
public:
    CPluginControl_Discrete(OSType id, const char* name, int32_t steps, int32_t defaultStep, bool automatable);
    int32_t GetNumSteps() const { return steps; }

protected:
    int32_t Clamped(int32_t v) const override;

private:
    int32_t steps;
};

class CPluginControl_OnOff : public CPluginControl_Discrete {
public:
    CPluginControl_OnOff(OSType id, const char* name, bool defaultOn, bool automatable);
    bool IsOn() const { return GetValue() != 0; }
};
