#pragma once
// A small VST 2.4 host for offline work: loads a plug-in .so through
// VSTPluginMain, records the plug-in's calls to the host, drives it through
// its dispatcher and renders audio clips through processReplacing.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vst2/Vst2Abi.h"
#include "common/WavFile.h"

namespace tonewright {
namespace offline {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

class VstPlugin {
public:
    // Loads the .so and creates one effect. Returns null with a message in
    // `error` when the library, the entry or the effect cannot be had.
    static std::unique_ptr<VstPlugin> load(const std::string& path, std::string& error);
    // Creates an effect through an entry that is already in this process.
    static std::unique_ptr<VstPlugin> fromEntry(VstPluginMainProc entry, std::string& error);
    ~VstPlugin();
    VstPlugin(const VstPlugin&) = delete;
    VstPlugin& operator=(const VstPlugin&) = delete;

    AEffect* effect() const { return aeffect; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

    void setSampleRate(double rate);
    void setBlockSize(int size);
    void resume();
    void suspend();
    void setParameter(int index, float value);
    float getParameter(int index);
    void setProgram(int program);
    int getProgram();
    VstInt32 setChunk(const std::vector<char>& bytes, bool isPreset);
    std::vector<char> getChunk(bool isPreset);
    void processReplacing(float** inputs, float** outputs, int n);

    std::string effectName();
    std::string vendorString();
    std::string productString();
    std::string parameterName(int index);
    std::string parameterLabel(int index);
    std::string parameterDisplay(int index);
    std::string programName();
    std::string programNameIndexed(int index);
    VstInt32 vendorVersion();
    VstInt32 canDo(const char* what);

    double sampleRate() const { return rate; }
    int blockSize() const { return block; }

    // Every call the plug-in made to the host so far, in order.
    std::vector<HostCall> calls() const;
    void clearCalls();
    // Also tells `observer` of every call as it comes (on the plug-in's
    // calling thread); set before the calls of interest.
    void setCallObserver(std::function<void(const HostCall&)> observer);

private:
    VstPlugin() = default;
    static VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt);
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    bool create(VstPluginMainProc entry, std::string& error);
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);

    void* library = nullptr;
    AEffect* aeffect = nullptr;
    double rate = 44100.0;
    int block = 1024;
    mutable std::mutex callsMutex;
    std::vector<HostCall> recorded;
    std::function<void(const HostCall&)> callObserver;
};

// How a clip is cut into blocks: a fixed size, or sizes drawn from
// minSize..maxSize with a seed.
struct BlockSchedule {
    int minSize = 512;
    int maxSize = 512;
    unsigned seed = 1;

    static BlockSchedule Fixed(int n) { return {n, n, 1}; }
    static BlockSchedule Varying(int minSize, int maxSize, unsigned seed = 1) { return {minSize, maxSize, seed}; }
    bool varying() const { return minSize != maxSize; }
};

// How far a render goes past the end of the input (fed silence), so that
// echoes and reverbs can finish: not at all, a fixed time, or until the
// output has stayed below kQuietDbfs for kQuietSeconds (at most `seconds`).
struct Tail {
    enum class Kind { none, fixed, untilQuiet };
    Kind kind = Kind::none;
    double seconds = 0.0;

    static constexpr double kQuietDbfs = -90.0;
    static constexpr double kQuietSeconds = 0.5;
    static constexpr double kLongestSeconds = 10.0;

    static Tail None() { return {}; }
    static Tail Fixed(double seconds) { return {Kind::fixed, seconds}; }
    static Tail UntilQuiet(double longest = kLongestSeconds) { return {Kind::untilQuiet, longest}; }
};

// Renders the clip (1 or 2 channels, fed as they are; inputs the plug-in has
// beyond them get silence) through the plug-in into `outChannels` (1 or 2)
// channels, followed by the tail. The plug-in must be set up and resumed.
AudioClip render(VstPlugin& plugin, const AudioClip& in, int outChannels, const BlockSchedule& blocks,
                 const Tail& tail = Tail::None());

// Processes n frames from the inputs into the outputs, as processReplacing.
using BlockProcess = std::function<void(float** inputs, float** outputs, int n)>;
// The same render through any such processor of `inputs` and `outputs`
// channels (it is given buffers for at least two of each).
AudioClip render(const BlockProcess& process, int inputs, int outputs, const AudioClip& in, int outChannels,
                 const BlockSchedule& blocks, const Tail& tail = Tail::None());

// The name of a host-callback opcode ("audioMasterVersion"), or null for a
// number the interface does not name.
const char* audioMasterName(VstInt32 opcode);

// Reads a whole file; false when it cannot be read.
bool readFile(const std::string& path, std::vector<char>& bytes);

}  // namespace offline

}  // namespace tonewright
