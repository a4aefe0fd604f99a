#include "PluginHarness.h"

#include <gtest/gtest.h>

namespace harness {

Host& Host::instance()
{
    static Host host;
    return host;
}

VstIntPtr Host::callback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float opt)
{
    Host& h = instance();
    std::lock_guard<std::mutex> lock(h.mutex);
    // A host's callback is a C function: it throws nothing, not even while
    // a test makes memory run out.
    try {
        h.recorded.push_back({opcode, index, value, opt});
    } catch (const std::bad_alloc&) {
    }
    return opcode == audioMasterVersion ? h.versionAnswer : 0;
}

std::vector<Call> Host::calls()
{
    std::lock_guard<std::mutex> lock(mutex);
    return recorded;
}

void Host::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    recorded.clear();
}

Plugin::Plugin(double rate, int block) : Plugin(VSTPluginMain(Host::callback), rate, block) {}

Plugin::Plugin(AEffect* made, double rate, int block) : e(made)
{
    if (!e) throw std::runtime_error("VSTPluginMain made no effect");
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    dispatch(effSetBlockSize, 0, block);
    dispatch(effMainsChanged, 0, 1);
}

Plugin::~Plugin()
{
    dispatch(effMainsChanged, 0, 0);
    dispatch(effClose);
}

std::string Plugin::text(VstInt32 opcode, VstInt32 index, VstIntPtr value) const
{
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    dispatch(opcode, index, value, buffer);
    return buffer;
}

void Plugin::run(const float* in0, const float* in1, float* out0, float* out1, int n) const
{
    float* inputs[2] = {const_cast<float*>(in0), const_cast<float*>(in1)};
    float* outputs[2] = {out0, out1};
    e->processReplacing(e, inputs, outputs, n);
}

}  // namespace harness
