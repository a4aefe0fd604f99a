#pragma once
// Shared by the modulation and delay effect tests: one interface over the
// five effects, and block runners for their mono and stereo forms.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "effects/Chorus.h"
#include "DspTestKit.h"
#include "effects/Echo.h"
#include "effects/Flanger.h"
#include "effects/Phaser.h"
#include "effects/Tremolo.h"

using namespace tonewright;

namespace fxtest {

struct Effect {
    virtual ~Effect() = default;
    virtual void Set(int id, double v) = 0;
    virtual double Get(int id) const = 0;
    virtual void SetFs(double fs) = 0;
    virtual void Settle() = 0;
    virtual void Reserve(int n) = 0;
    virtual void Mono(double* x, int n) = 0;
    virtual void Stereo(double* l, double* r, int n) = 0;
    virtual void ReapplyOwnRecord() = 0;  // SetParameters(GetParameters())
};

template <class E>
struct EffectOf : Effect {
    E e;
    void Set(int id, double v) override { e.SetParameter(id, v); }
    double Get(int id) const override { return e.GetParameter(id); }
    void SetFs(double fs) override { e.SetFs(fs); }
    void Settle() override { e.Settle(); }
    void Reserve(int n) override { e.Reserve(n); }
    void Mono(double* x, int n) override { e.process(x, n); }
    void Stereo(double* l, double* r, int n) override { e.process(l, r, n); }
    void ReapplyOwnRecord() override { e.SetParameters(e.GetParameters()); }
};

enum class Kind { Flag, Int, Double };

struct Id {
    int id;
    Kind kind;
    double valid;                  // an accepted value different from the default
    std::vector<double> refused;   // values no range holds
    // Values stored as the nearer end of their range: {value, stored}.
    std::vector<std::pair<double, double>> clamped = {};
};

struct Description {
    std::string name;
    std::function<std::unique_ptr<Effect>()> make;
    std::vector<Id> ids;  // every id but 0
    int idCount;
    // Settings under which the effect passes its input unchanged.
    std::vector<std::pair<int, double>> transparent;
    // Settings that make it sound (and keep memory) for the switching tests.
    std::vector<std::pair<int, double>> audible;
};

const std::vector<Description>& effects();

struct StereoSignal {
    std::vector<double> l, r;
};

// Runs the effect over the signal in blocks (mono: r is ignored and left
// empty in the result).
std::vector<double> runMono(Effect& e, std::vector<double> x, const testkit::BlockPlan& plan = {});
StereoSignal runStereo(Effect& e, std::vector<double> l, std::vector<double> r,
                       const testkit::BlockPlan& plan = {});

// A constant signal.
std::vector<double> constant(size_t n, double v);

}  // namespace fxtest
