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

// ---- what hosts do ----

// A sound as a host gives it, each part optional and in this order: the
// Plugin Chunk's text, a MIDI program change, control moves (control k is
// parameter k - 1).
struct Sound {
    std::string chunk;
    int program = -1;
    std::vector<std::pair<int, double>> controls;
};

// How a host makes an instance, gives it the sound and renders. The
// defaults are tonewright-pt-render's road: made at the rate, the sound,
// 512-frame blocks.
struct Sequence {
    bool chunkBeforeInitialize = false;  // written into the process before its controls are made
    bool controlsBeforeChunk = false;
    // Made and rendering at this rate first (0: none), then the session's
    // rate changes between two blocks; unannounced, the render thread is the
    // first to see it, and the library's next idle call follows.
    double firstRate = 0.0;
    bool rateAnnounced = true;
    std::vector<int> blocks{512};
};

// An instance of the mono (1) or stereo (2) type at `rate` with the sound.
std::unique_ptr<pthost::Instance> HostInstance(int channels, double rate, const Sound& sound, const Sequence& s);
// The signals through such an instance (the rate change, if any, first).
Signals HostRender(int channels, double rate, const Sound& sound, const Sequence& s, const Signals& in);

}  // namespace pttest
