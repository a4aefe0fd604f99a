#include "ProToolsHarness.h"

#include <gtest/gtest.h>

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

CTemplateNoUIProcess& Process(const pthost::Instance& instance)
{
    return dynamic_cast<CTemplateNoUIProcess&>(instance.process());
}

Effect& EffectOf(const pthost::Instance& instance) { return Process(instance).GetEffect(); }

std::vector<float> TestSignal(int n, unsigned seed, float level)
{
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    std::vector<float> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double t = i / 44100.0;
        const double pluck = std::exp(-3.0 * std::fmod(t, 0.5));
        x[size_t(i)] = level * static_cast<float>(pluck * (0.6 * std::sin(2 * M_PI * 110.0 * t) +
                                                           0.3 * std::sin(2 * M_PI * 220.7 * t) +
                                                           0.1 * std::sin(2 * M_PI * 441.9 * t))) +
                       noise(rng);
    }
    return x;
}

std::vector<std::vector<float>> Render(pthost::Instance& instance, const std::vector<std::vector<float>>& in,
                                       const std::vector<int>& blocks)
{
    const int channels = instance.channels();
    std::vector<std::vector<float>> source(static_cast<size_t>(channels)), out(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c) {
        source[size_t(c)] = in[std::min(size_t(c), in.size() - 1)];
        out[size_t(c)].assign(source[0].size(), 0.0f);
    }
    size_t pos = 0;
    for (size_t b = 0; pos < source[0].size(); ++b) {
        const int n = static_cast<int>(std::min<size_t>(size_t(blocks[b % blocks.size()]), source[0].size() - pos));
        float* inputs[2] = {source[0].data() + pos, channels == 2 ? source[1].data() + pos : nullptr};
        float* outputs[2] = {out[0].data() + pos, channels == 2 ? out[1].data() + pos : nullptr};
        instance.render(inputs, outputs, n);
        pos += size_t(n);
    }
    return out;
}

}  // namespace pttest
