#include "ProToolsHarness.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace pttest {

pthost::Deliverable& Loaded()
{
    static const std::unique_ptr<pthost::Deliverable> loaded = [] {
        harness::TestHome();  // the temporary home is in place first
        return pthost::Deliverable::Load();
    }();
    if (!loaded) throw std::runtime_error("the Pro Tools deliverable did not load");
    return *loaded;
}

std::unique_ptr<pthost::Instance> Make(int channels, double rate)
{
    ComponentResult result = kPlugInNoErr;
    CEffectType* type = Loaded().type(channels);
    auto made = type ? pthost::Instance::Make(*type, rate, &result) : nullptr;
    if (!made) throw std::runtime_error("no instance: " + std::to_string(result));
    return made;
}

Effect& EffectOf(const pthost::Instance& instance)
{
    return dynamic_cast<tonewright::CTemplateNoUIProcess&>(instance.process()).GetEffect();
}

OSType ChunkId(const pthost::Instance& instance) { return instance.process().GetChunks().at(0).id; }

std::string EffectChunk(Effect& fx, bool preset)
{
    void* data = nullptr;
    const VstInt32 n = fx.getChunk(&data, preset);
    return std::string(static_cast<const char*>(data), size_t(n));
}

std::vector<float> TestSignal(int n, unsigned seed, float level)
{
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    std::vector<float> x(static_cast<size_t>(n));
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / 44100.0, w = 2 * M_PI * t, pluck = std::exp(-3.0 * std::fmod(t, 0.5));
        const double partials = 0.6 * std::sin(110.0 * w) + 0.3 * std::sin(220.7 * w) + 0.1 * std::sin(441.9 * w);
        x[i] = level * static_cast<float>(pluck * partials) + noise(rng);
    }
    return x;
}

Signals Render(pthost::Instance& instance, const Signals& in, const std::vector<int>& blocks)
{
    const size_t channels = size_t(instance.channels()), n = in[0].size();
    Signals source(channels), out(channels, std::vector<float>(n));
    for (size_t c = 0; c < channels; ++c) source[c] = in[std::min(c, in.size() - 1)];
    for (size_t pos = 0, b = 0; pos < n; ++b) {
        const int m = static_cast<int>(std::min<size_t>(size_t(blocks[b % blocks.size()]), n - pos));
        float* inputs[2] = {source[0].data() + pos, channels == 2 ? source[1].data() + pos : nullptr};
        float* outputs[2] = {out[0].data() + pos, channels == 2 ? out[1].data() + pos : nullptr};
        instance.render(inputs, outputs, m);
        pos += size_t(m);
    }
    return out;
}

std::unique_ptr<pthost::Instance> HostInstance(int channels, double rate, const Sound& sound, const Sequence& s)
{
    pthost::Session opened;
    CEffectType* type = Loaded().type(channels);
    if (!type) throw std::runtime_error("no type of " + std::to_string(channels) + " channels");
    if (s.chunkBeforeInitialize && !sound.chunk.empty())
        opened.chunks.emplace_back(type->GetProductID(), pthost::ChunkRecord(sound.chunk));
    ComponentResult result = kPlugInNoErr;
    auto instance = pthost::Instance::Make(*type, s.firstRate > 0 ? s.firstRate : rate, &result,
                                           s.chunkBeforeInitialize ? &opened : nullptr);
    if (!instance) throw std::runtime_error("no instance: " + std::to_string(result));
    const auto controls = [&] {
        for (const auto& [k, value] : sound.controls)
            if (instance->setControl(k, value) != kPlugInNoErr) throw std::runtime_error("control refused");
    };
    if (s.controlsBeforeChunk) controls();
    if (!s.chunkBeforeInitialize && !sound.chunk.empty()) {
        std::vector<unsigned char> record = pthost::ChunkRecord(sound.chunk);
        if (instance->writeChunk(ChunkId(*instance), record) != kPlugInNoErr) throw std::runtime_error("chunk refused");
    }
    if (sound.program >= 0) {
        instance->sendMidi({0xC0, static_cast<unsigned char>(sound.program), 0});
        EffectOf(*instance).waitForWorker();
    }
    if (!s.controlsBeforeChunk) controls();
    return instance;
}

Signals HostRender(int channels, double rate, const Sound& sound, const Sequence& s, const Signals& in)
{
    auto instance = HostInstance(channels, rate, sound, s);
    if (s.firstRate > 0) {
        Render(*instance, in, s.blocks);
        instance->process().HostSetSampleRate(rate, s.rateAnnounced);
        if (!s.rateAnnounced) {
            Render(*instance, {std::vector<float>(size_t(s.blocks[0]))}, s.blocks);
            instance->process().HostIdle();
        }
    }
    return Render(*instance, in, s.blocks);
}

}  // namespace pttest
