#pragma once
// The Pro Tools deliverable driven in this process as the host drives it
// (tools/protools_host), beside the VST plug-in of tests/plugin for
// comparisons. Every test program runs in its own temporary home.

#include <memory>
#include <string>
#include <vector>

#include "PluginHarness.h"
#include "ProToolsHost.h"
#include "mac/protools/TemplateProcess.h"

namespace pttest {

using tonewright::CTemplateNoUIProcess;
using tonewright::Effect;

// Loaded once per program.
pthost::Deliverable& Loaded();

// An instance of the mono (1) or stereo (2) type at the rate; fails the
// test when there is none.
std::unique_ptr<pthost::Instance> Make(int channels, double rate = 44100.0);
CTemplateNoUIProcess& Process(const pthost::Instance& instance);
Effect& EffectOf(const pthost::Instance& instance);

// A guitar-like test signal: decaying partials and a little noise.
std::vector<float> TestSignal(int n, unsigned seed, float level = 0.5f);

// Renders the signals (one per channel the instance has; a missing second
// is the first) in blocks of the given sizes, cycling; returns the outputs.
std::vector<std::vector<float>> Render(pthost::Instance& instance, const std::vector<std::vector<float>>& in,
                                       const std::vector<int>& blocks = {512});

}  // namespace pttest
