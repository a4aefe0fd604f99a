#include "VstHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

namespace offline {

namespace {

// Calls made while an effect is being created come before the host knows
// its AEffect, so the host being set up is remembered per thread.
thread_local VstPlugin* creating = nullptr;
std::mutex registryMutex;
std::map<AEffect*, VstPlugin*>& registry()
{
    static std::map<AEffect*, VstPlugin*> map;
    return map;
}

void copyText(void* ptr, const char* text, size_t size)
{
    if (!ptr) return;
    std::strncpy(static_cast<char*>(ptr), text, size - 1);
    static_cast<char*>(ptr)[size - 1] = '\0';
}

}  // namespace

std::unique_ptr<VstPlugin> VstPlugin::load(const std::string& path, std::string& error)
{
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return nullptr;
    }
    auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(library, "VSTPluginMain"));
    if (!entry) {
        error = path + " has no VSTPluginMain";
        dlclose(library);
        return nullptr;
    }
    std::unique_ptr<VstPlugin> plugin(new VstPlugin());
    plugin->library = library;
    if (!plugin->create(entry, error)) return nullptr;
    return plugin;
}

std::unique_ptr<VstPlugin> VstPlugin::fromEntry(VstPluginMainProc entry, std::string& error)
{
    std::unique_ptr<VstPlugin> plugin(new VstPlugin());
    if (!plugin->create(entry, error)) return nullptr;
    return plugin;
}

bool VstPlugin::create(VstPluginMainProc entry, std::string& error)
{
    creating = this;
    aeffect = entry(hostCallback);
    creating = nullptr;
    if (!aeffect) {
        error = "the plug-in made no effect";
        return false;
    }
    if (aeffect->magic != kEffectMagic) {
        error = "the plug-in's effect record has a wrong magic number";
        aeffect = nullptr;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        registry()[aeffect] = this;
    }
    dispatch(effOpen);
    return true;
}

VstPlugin::~VstPlugin()
{
    if (aeffect) {
        dispatch(effClose);
        std::lock_guard<std::mutex> lock(registryMutex);
        registry().erase(aeffect);
    }
    if (library) dlclose(library);
}

VstIntPtr VstPlugin::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt)
{
    VstPlugin* host = nullptr;
    if (effect) {
        std::lock_guard<std::mutex> lock(registryMutex);
        auto found = registry().find(effect);
        if (found != registry().end()) host = found->second;
    }
    if (!host) host = creating;
    if (!host) return opcode == audioMasterVersion ? kVstVersion : 0;
    return host->answer(opcode, index, value, ptr, opt);
}

VstIntPtr VstPlugin::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    {
        std::lock_guard<std::mutex> lock(callsMutex);
        recorded.push_back({opcode, index, value, opt});
    }
    switch (opcode) {
    case audioMasterVersion: return kVstVersion;
    case audioMasterGetSampleRate: return static_cast<VstIntPtr>(rate);
    case audioMasterGetBlockSize: return block;
    case audioMasterGetVendorString: copyText(ptr, "Tonewright", kVstMaxVendorStrLen); return 1;
    case audioMasterGetProductString: copyText(ptr, "offline host", kVstMaxProductStrLen); return 1;
    case audioMasterGetVendorVersion: return 1;
    default: return 0;
    }
}

std::vector<HostCall> VstPlugin::calls() const
{
    std::lock_guard<std::mutex> lock(callsMutex);
    return recorded;
}

void VstPlugin::clearCalls()
{
    std::lock_guard<std::mutex> lock(callsMutex);
    recorded.clear();
}

VstIntPtr VstPlugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
}

void VstPlugin::setSampleRate(double r)
{
    rate = r;
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(r));
}

void VstPlugin::setBlockSize(int size)
{
    block = size;
    dispatch(effSetBlockSize, 0, size);
}

void VstPlugin::resume() { dispatch(effMainsChanged, 0, 1); }
void VstPlugin::suspend() { dispatch(effMainsChanged, 0, 0); }
void VstPlugin::setParameter(int index, float value) { aeffect->setParameter(aeffect, index, value); }
float VstPlugin::getParameter(int index) { return aeffect->getParameter(aeffect, index); }
void VstPlugin::setProgram(int program) { dispatch(effSetProgram, 0, program); }
int VstPlugin::getProgram() { return static_cast<int>(dispatch(effGetProgram)); }

VstInt32 VstPlugin::setChunk(const std::vector<char>& bytes, bool isPreset)
{
    // The plug-in may parse in place: hand it a private copy.
    std::vector<char> copy(bytes);
    copy.push_back('\0');
    return static_cast<VstInt32>(dispatch(effSetChunk, isPreset ? 1 : 0, static_cast<VstIntPtr>(bytes.size()),
                                          copy.data()));
}

std::vector<char> VstPlugin::getChunk(bool isPreset)
{
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, isPreset ? 1 : 0, 0, &data);
    if (!data || size <= 0) return {};
    const char* bytes = static_cast<const char*>(data);
    return std::vector<char>(bytes, bytes + size);
}

void VstPlugin::processReplacing(float** inputs, float** outputs, int n)
{
    aeffect->processReplacing(aeffect, inputs, outputs, n);
}

std::string VstPlugin::text(VstInt32 opcode, VstInt32 index, VstIntPtr value)
{
    char buffer[256] = {};
    dispatch(opcode, index, value, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

std::string VstPlugin::effectName() { return text(effGetEffectName); }
std::string VstPlugin::vendorString() { return text(effGetVendorString); }
std::string VstPlugin::productString() { return text(effGetProductString); }
std::string VstPlugin::parameterName(int index) { return text(effGetParamName, index); }
std::string VstPlugin::parameterLabel(int index) { return text(effGetParamLabel, index); }
std::string VstPlugin::programName() { return text(effGetProgramName); }
std::string VstPlugin::programNameIndexed(int index) { return text(effGetProgramNameIndexed, index, -1); }
VstInt32 VstPlugin::vendorVersion() { return static_cast<VstInt32>(dispatch(effGetVendorVersion)); }

VstInt32 VstPlugin::canDo(const char* what)
{
    return static_cast<VstInt32>(dispatch(effCanDo, 0, 0, const_cast<char*>(what)));
}

AudioClip render(VstPlugin& plugin, const AudioClip& in, int outChannels, const BlockSchedule& blocks)
{
    const int frames = in.frames();
    const int inChannels = std::clamp(in.channels, 1, 2);
    outChannels = std::clamp(outChannels, 1, 2);
    const int largest = std::max(1, blocks.maxSize);

    std::vector<std::vector<float>> inBuf(2, std::vector<float>(static_cast<size_t>(largest)));
    std::vector<std::vector<float>> outBuf(2, std::vector<float>(static_cast<size_t>(largest)));
    AudioClip out;
    out.sampleRate = in.sampleRate;
    out.channels = outChannels;
    out.samples.assign(static_cast<size_t>(outChannels), std::vector<double>(static_cast<size_t>(frames)));

    std::mt19937 rng(blocks.seed);
    std::uniform_int_distribution<int> size(std::max(1, blocks.minSize), largest);
    for (int pos = 0; pos < frames;) {
        const int n = std::min(blocks.varying() ? size(rng) : largest, frames - pos);
        for (int c = 0; c < inChannels; ++c)
            for (int i = 0; i < n; ++i) inBuf[c][i] = static_cast<float>(in.samples[c][pos + i]);
        float* inputs[2] = {inBuf[0].data(), inChannels > 1 ? inBuf[1].data() : nullptr};
        float* outputs[2] = {outBuf[0].data(), outChannels > 1 ? outBuf[1].data() : nullptr};
        plugin.processReplacing(inputs, outputs, n);
        for (int c = 0; c < outChannels; ++c)
            for (int i = 0; i < n; ++i) out.samples[c][pos + i] = outBuf[c][i];
        pos += n;
    }
    return out;
}

bool readFile(const std::string& path, std::vector<char>& bytes)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return false;
    const std::streamoff size = file.tellg();
    if (size < 0) return false;
    bytes.resize(static_cast<size_t>(size));
    file.seekg(0);
    return static_cast<bool>(file.read(bytes.data(), size));
}

}  // namespace offline
