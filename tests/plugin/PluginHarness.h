#pragma once
// Drives the plug-in in this process through its VST entry, as a host does:
// the AEffect record, its dispatcher and the host callback, which records
// every call the plug-in makes.

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

#include "plugin/Effect.h"

using namespace tonewright;

extern "C" AEffect* VSTPluginMain(audioMasterCallback host);

namespace harness {

// The temporary folder this test program's XDG_CONFIG_HOME and
// XDG_CONFIG_DIRS point into (config/, shared/); XDG_DATA_HOME points below
// a file there, so no support folder exists and instances start with the
// factory bank the plug-in carries, bound to no file.
std::filesystem::path TestHome();

struct Call {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

// The host side; one recorder shared by every plug-in a test makes. Its
// callback neither locks nor allocates (so what the plug-in's audio thread
// does is counted alone): calls go into room made beforehand, and the ones
// beyond it are counted but not kept.
class Host {
public:
    static constexpr size_t kRoom = size_t(1) << 18;
    static Host& instance();
    static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                              float opt);
    // What was recorded since the last clear; clear while no plug-in calls.
    std::vector<Call> calls();
    void clear();
    VstIntPtr versionAnswer = kVstVersion;

private:
    Host();
    std::unique_ptr<Call[]> room;
    std::atomic<size_t> used{0};
};

class Plugin {
public:
    explicit Plugin(double rate = 44100.0, int block = 1024);
    // Takes over an effect VSTPluginMain made and sets it up as a host does.
    Plugin(AEffect* made, double rate, int block);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    AEffect* aeffect() const { return e; }
    Effect& effect() const { return *static_cast<Effect*>(e->object); }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const
    {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0) const;
    void set(int index, float value) const { e->setParameter(e, index, value); }
    float get(int index) const { return e->getParameter(e, index); }

    // Runs n frames through processReplacing with the given channel counts.
    void run(const float* in0, const float* in1, float* out0, float* out1, int n) const;

private:
    AEffect* e;
};

// Every program gets the sound a fresh engine starts with (every stage at
// its default, named "Default Program") and program 0 is selected anew: for
// tests that measure the chain from neutral settings rather than from the
// factory bank an instance starts with.
void StartFromDefaultSound(const Plugin& p);

// A VstEvents record with room for up to 8 events; a MIDI message as the host hands it over; up to 8 of them
// sent through the host's call.
struct EventList {
    VstInt32 numEvents = 0;
    VstIntPtr reserved = 0;
    VstEvent* events[8] = {};
};
VstMidiEvent midi(unsigned char status, unsigned char a, unsigned char b);
void send(const Plugin& p, std::vector<VstMidiEvent> events);

// Stores sounds as programs (renamed when a name is given) the way a host
// restores a session: the bank chunk with those programs replaced goes back
// through setChunk; the current sound, its name, number and modified flag
// stay as they were.
void StorePrograms(Effect& fx, const std::vector<std::pair<int, TonewrightParameters>>& sounds,
                   const char* name = nullptr);
// The bank file text of the programs the effect holds, read from its chunk.
std::string BankText(Effect& fx);

// Runs `body` in a child process (a copy of this one, which exits with what
// body returns): for what must not touch this process (resource limits),
// or several processes at once. WaitForChild gives the exit code, -1 when
// the child could not be made or was killed.
pid_t StartChild(const std::function<int()>& body);
int WaitForChild(pid_t child);
inline int RunInChild(const std::function<int()>& body) { return WaitForChild(StartChild(body)); }

// The state chunk the plug-in hands the host (bank or preset), and one
// handed to it.
std::string chunkOf(const Plugin& p, bool preset = false);
void setChunk(const Plugin& p, std::string text, bool preset = false);

// A shell command's exit code and what it wrote to standard output and error.
struct CommandResult {
    int exitCode = -1;
    std::string out, err;
};
CommandResult runCommand(const std::string& command);

// Interleaving-free stereo or mono float signal.
struct Signal {
    std::vector<float> a, b;
};

}  // namespace harness
