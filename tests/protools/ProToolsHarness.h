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

using tonewright::Effect;
namespace pthost = tonewright::pthost;
using Signals = std::vector<std::vector<float>>;

pthost::Deliverable& Loaded();  // once per program
// An instance of the mono (1) or stereo (2) type; throws when there is none.
std::unique_ptr<pthost::Instance> Make(int channels, double rate = 44100.0);
Effect& EffectOf(const pthost::Instance& instance);
OSType ChunkId(const pthost::Instance& instance);
std::string EffectChunk(Effect& fx, bool preset = false);  // the Effect's own bank (or preset) text

// A guitar-like test signal: decaying partials and a little noise.
std::vector<float> TestSignal(int n, unsigned seed, float level = 0.5f);
// Renders the signals (a missing second channel is the first) in blocks of
// the given sizes, cycling.
Signals Render(pthost::Instance& instance, const Signals& in, const std::vector<int>& blocks = {512});

}  // namespace pttest
