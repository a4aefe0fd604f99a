#pragma once
// A Pro Tools host for our stand-in of the plug-in library, as far as the
// tests and tonewright-pt-render need one: loads the deliverable through
// NewMachOPlugIn, makes instances of its types at a session rate, moves
// controls, sends MIDI, saves and restores an instance as a host document
// does (every control value and every registered chunk) and renders clips.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "VstHost.h"
#include "common/WavFile.h"
#include "protools/PlugInGroup.h"

namespace tonewright {
namespace pthost {

class Deliverable {
public:
    // Null, with the library's result in *result, when it does not load.
    static std::unique_ptr<Deliverable> Load(ComponentResult* result = nullptr);
    ~Deliverable();
    Deliverable(const Deliverable&) = delete;
    Deliverable& operator=(const Deliverable&) = delete;

    CEffectGroup& group() const { return *effectGroup; }
    // The type with this many channels, or null.
    CEffectType* type(int channels) const;

private:
    Deliverable() = default;
    CProcessGroupInterface* made = nullptr;
    CEffectGroup* effectGroup = nullptr;
};

// What a host document keeps of an instance.
struct Session {
    std::vector<int32_t> controls;  // control k at k - 1
    std::vector<std::pair<OSType, std::vector<unsigned char>>> chunks;
};

class Instance {
public:
    // Null, with the library's result in *result, when none can be made.
    // With `opened`, a document's chunks are written into the process
    // before it is initialised, as a host opening a session may (their
    // results are not checked; the control values are left to restore).
    static std::unique_ptr<Instance> Make(CEffectType& type, double rate, ComponentResult* result = nullptr,
                                          Session* opened = nullptr);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    CEffectProcess& process() const { return *made; }
    int channels() const { return made->GetNumChannels(); }
    void render(float** inputs, float** outputs, int frames) { renderer->Render(inputs, outputs, frames); }
    // A host move of a continuous control to a value in its own units.
    ComponentResult setControl(int index, double continuous);
    double control(int index) const;
    void sendMidi(std::array<unsigned char, 3> bytes, uint32_t delta = 0, unsigned char flag = 0) const;

    // The chunk as the library stores it (header, then the plug-in's bytes);
    // empty, with the result, when the plug-in gives none.
    std::vector<unsigned char> readChunk(OSType id, ComponentResult* result = nullptr);
    ComponentResult writeChunk(OSType id, std::vector<unsigned char>& record);
    // The chunks, then every control value.
    Session save();
    // The chunks, then the control values (or the other way round); the
    // first failing result, or 0.
    ComponentResult restore(Session session, bool chunksFirst = true);

private:
    explicit Instance(CEffectProcess* process);
    CEffectProcess* made;
    CEffectProcessRTAS* renderer;
};

// A chunk record holding `text` (size field 56 + its length) and the text
// of one.
std::vector<unsigned char> ChunkRecord(std::string_view text);
std::string ChunkText(const std::vector<unsigned char>& record);

// Renders a clip through the instance as the offline VST host does (the
// same blocks and tail), keeping the first `outChannels` of its outputs.
AudioClip render(Instance& instance, const AudioClip& in, int outChannels, const offline::BlockSchedule& blocks,
                 const offline::Tail& tail = offline::Tail::None());

}  // namespace pthost

}  // namespace tonewright
