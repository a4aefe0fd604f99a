#include "VstHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <iterator>
#include <random>
#include <utility>

namespace tonewright {
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
    std::function<void(const HostCall&)> observer;
    {
        std::lock_guard<std::mutex> lock(callsMutex);
        recorded.push_back({opcode, index, value, opt});
        observer = callObserver;
    }
    if (observer) observer({opcode, index, value, opt});
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

void VstPlugin::setCallObserver(std::function<void(const HostCall&)> observer)
{
    std::lock_guard<std::mutex> lock(callsMutex);
    callObserver = std::move(observer);
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
std::string VstPlugin::parameterDisplay(int index) { return text(effGetParamDisplay, index); }
std::string VstPlugin::programName() { return text(effGetProgramName); }
std::string VstPlugin::programNameIndexed(int index) { return text(effGetProgramNameIndexed, index, -1); }
VstInt32 VstPlugin::vendorVersion() { return static_cast<VstInt32>(dispatch(effGetVendorVersion)); }

VstInt32 VstPlugin::canDo(const char* what)
{
    return static_cast<VstInt32>(dispatch(effCanDo, 0, 0, const_cast<char*>(what)));
}

AudioClip render(VstPlugin& plugin, const AudioClip& in, int outChannels, const BlockSchedule& blocks,
                 const Tail& tail)
{
    AEffect* e = plugin.effect();
    return render([&plugin](float** inputs, float** outputs, int n) { plugin.processReplacing(inputs, outputs, n); },
                  e->numInputs, e->numOutputs, in, outChannels, blocks, tail);
}

AudioClip render(const BlockProcess& process, int inputCount, int outputCount, const AudioClip& in, int outChannels,
                 const BlockSchedule& blocks, const Tail& tail)
{
    const long frames = in.frames();
    const int inChannels = std::clamp(in.channels, 1, 2);
    outChannels = std::clamp(outChannels, 1, 2);
    const int largest = std::max(1, blocks.maxSize);
    const double rate = in.sampleRate;
    const long tailFrames = tail.kind == Tail::Kind::none ? 0 : std::lround(std::max(0.0, tail.seconds) * rate);
    const long quietFrames = std::lround(Tail::kQuietSeconds * rate);
    const double quietLevel = std::pow(10.0, Tail::kQuietDbfs / 20.0);

    // A buffer for every input and output the plug-in has: it may touch them all.
    const auto buffers = [&](int count) {
        return std::vector<std::vector<float>>(size_t(std::max(2, count)), std::vector<float>(size_t(largest)));
    };
    std::vector<std::vector<float>> inBuf = buffers(inputCount), outBuf = buffers(outputCount);
    std::vector<float*> inputs, outputs;
    for (auto& b : inBuf) inputs.push_back(b.data());
    for (auto& b : outBuf) outputs.push_back(b.data());

    AudioClip out;
    out.sampleRate = rate;
    out.channels = outChannels;
    out.samples.assign(size_t(outChannels), {});
    for (auto& channel : out.samples) channel.reserve(size_t(frames + tailFrames));

    std::mt19937 rng(blocks.seed);
    std::uniform_int_distribution<int> size(std::max(1, blocks.minSize), largest);
    long end = frames + tailFrames;
    long lastLoud = -1;
    for (long pos = 0; pos < end;) {
        const int n = static_cast<int>(std::min<long>(blocks.varying() ? size(rng) : largest, end - pos));
        for (int c = 0; c < inChannels; ++c)
            for (int i = 0; i < n; ++i)
                inBuf[size_t(c)][size_t(i)] = pos + i < frames ? static_cast<float>(in.samples[size_t(c)][size_t(pos + i)]) : 0.0f;
        process(inputs.data(), outputs.data(), n);
        for (int c = 0; c < outChannels; ++c)
            for (int i = 0; i < n; ++i) {
                const float x = outBuf[size_t(c)][size_t(i)];
                out.samples[size_t(c)].push_back(x);
                if (std::fabs(x) >= quietLevel) lastLoud = std::max(lastLoud, pos + i);
            }
        pos += n;
        // Quiet long enough past the input: the render ends where the quiet
        // time is complete, whatever the block sizes were.
        if (tail.kind == Tail::Kind::untilQuiet && pos >= frames && pos >= lastLoud + 1 + quietFrames)
            end = std::max(frames, lastLoud + 1 + quietFrames);
    }
    for (auto& channel : out.samples) channel.resize(size_t(std::min(end, long(channel.size()))));
    return out;
}

const char* audioMasterName(VstInt32 opcode)
{
    static const char* const names[] = {
        "audioMasterAutomate", "audioMasterVersion", "audioMasterCurrentId", "audioMasterIdle",
        "audioMasterPinConnected", nullptr, "audioMasterWantMidi", "audioMasterGetTime",
        "audioMasterProcessEvents", "audioMasterSetTime", "audioMasterTempoAt",
        "audioMasterGetNumAutomatableParameters", "audioMasterGetParameterQuantization", "audioMasterIOChanged",
        "audioMasterNeedIdle", "audioMasterSizeWindow", "audioMasterGetSampleRate", "audioMasterGetBlockSize",
        "audioMasterGetInputLatency", "audioMasterGetOutputLatency", "audioMasterGetPreviousPlug",
        "audioMasterGetNextPlug", "audioMasterWillReplaceOrAccumulate", "audioMasterGetCurrentProcessLevel",
        "audioMasterGetAutomationState", "audioMasterOfflineStart", "audioMasterOfflineRead",
        "audioMasterOfflineWrite", "audioMasterOfflineGetCurrentPass", "audioMasterOfflineGetCurrentMetaPass",
        "audioMasterSetOutputSampleRate", "audioMasterGetOutputSpeakerArrangement", "audioMasterGetVendorString",
        "audioMasterGetProductString", "audioMasterGetVendorVersion", "audioMasterVendorSpecific",
        "audioMasterSetIcon", "audioMasterCanDo", "audioMasterGetLanguage", "audioMasterOpenWindow",
        "audioMasterCloseWindow", "audioMasterGetDirectory", "audioMasterUpdateDisplay", "audioMasterBeginEdit",
        "audioMasterEndEdit", "audioMasterOpenFileSelector", "audioMasterCloseFileSelector",
    };
    static_assert(std::size(names) == audioMasterCloseFileSelector + 1);
    return opcode >= 0 && opcode < VstInt32(std::size(names)) ? names[opcode] : nullptr;
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

}  // namespace tonewright
