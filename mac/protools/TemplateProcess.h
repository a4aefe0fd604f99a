#pragma once
// One Pro Tools plug-in instance: owns its Effect and binds it to the
// library. Library control k (1..80) is the Effect's parameter k - 1, 81 is
// the master bypass; control moves reach the Effect, the Effect's
// automation reaches the controls (the process is the Effect's host
// callback); audio renders through the Effect or is copied while bypassed;
// the whole bank travels as one chunk; MIDI input goes to the Effect.
//
// Threads. Render runs on the host's real-time thread and neither waits
// nor allocates. Controls, chunks, rate changes and the editor come from
// the library on its other threads, each kind serialised by the library;
// the Effect's own locks order what they change. The host's sample rate
// reaches the Effect only on those threads: a rate seen first while
// rendering raises a flag that the next of them applies. What the Effect
// changes without automating (a program change, a learned MIDI
// controller) reaches the controls at the next idle or chunk call, once
// the Effect's worker is done; the last values shown are atomics.

#include <atomic>
#include <memory>
#include <string>

#include "protools/PlugInProcess.h"
#include "plugin/Effect.h"

namespace tonewright {

class ITemplateCustomUI;
class CTemplateNoUIView;

// What the editor host reaches of its process.
class ITemplateProcess {
public:
    virtual ~ITemplateProcess() = default;
    // Control `index` to the control value (the Effect's automation).
    virtual void PushControlValue(int32_t index, int32_t value) = 0;
    virtual void TouchControl(int32_t index) = 0;
    virtual void ReleaseControl(int32_t index) = 0;
    // Makes the plug-in's resource file current; returns the one it replaced.
    virtual int16_t UseResourceFile() = 0;
    virtual void RestoreResourceFile(int16_t previous) = 0;
    // The Effect's editor, or null.
    virtual AEffEditor* GetEditor() = 0;
};

class CTemplateNoUIProcess : public CEffectProcessMIDI, public ITemplateProcess {
public:
    static constexpr OSType kParameterControlID = MakeOSType(' ', 'l', 'd', ' ');
    static constexpr OSType kBypassControlID = MakeOSType('b', 'y', 'p', 'a');
    // The library's code for a plug-in's own chunk.
    static constexpr int32_t kChunkCode = -152;
    // A control value this close to the Effect's is not passed on: values
    // coming back from the Effect, or restored by a session, leave the
    // program unmodified.
    static constexpr double kUnchangedValue = 1e-6;

    // Throws when the Effect cannot be made.
    CTemplateNoUIProcess();
    ~CTemplateNoUIProcess() override;

    Effect& GetEffect() const { return *effect; }

    // ---- library operations ----
    void CreateControlsFromEffect() override;
    void ForwardControlToEffect(int32_t index) override;
    void SampleRateChanged() override;
    ComponentResult ChunkSizeForEffect(OSType id, int32_t* size) override;
    ComponentResult ReadChunkFromEffect(OSType id, PlugInChunkHeader* chunk, uint32_t bytes) override;
    ComponentResult WriteChunkToEffect(OSType id, PlugInChunkHeader* chunk, uint32_t bytes) override;
    void GetChannelDelays(int32_t* delays, bool* used) override;
    // The editor's (TemplateCustomUI.cpp).
    void CustomViewRect(Rect* rect) override;
    CCustomView* MakeCustomView() override;
    void AttachToWindowPort(CGrafPtr port) override;
    void IdleCustomUI() override;
    ComponentResult HighlightControl(int32_t index, int16_t on, int16_t colour) override;
    ComponentResult ControlIndexAtPoint(int32_t packedPoint, int32_t* index) override;

    // ---- ITemplateProcess ----
    void PushControlValue(int32_t index, int32_t value) override;
    void TouchControl(int32_t index) override;
    void ReleaseControl(int32_t index) override;
    int16_t UseResourceFile() override;
    void RestoreResourceFile(int16_t previous) override;
    AEffEditor* GetEditor() override;

    // The Effect's host callback and the MIDI node's delivery.
    static VstIntPtr TemplateAudioMasterCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                 void* ptr, float opt);
    static void ForwardMidiToEffect(unsigned char flag, const DirectMidiPacket* packet, void* process);

protected:
    // On the real-time thread: notes a host rate the Effect does not have.
    void noteRateWhileRendering();

    CEffectMIDIDirectDeliveryNode* midiNode = nullptr;
    CGrafPtr windowPort = nullptr;
    std::unique_ptr<ITemplateCustomUI> customUI;
    Rect viewRect{0, 0, 0, 0};
    CTemplateNoUIView* customView = nullptr;
    std::unique_ptr<Effect> effect;

private:
    // The callback's control index for an Effect index: parameters only.
    int32_t controlForParameter(VstInt32 index) const;
    void makeCustomUI();
    // On the library's other threads: gives the Effect the host's rate when
    // it changed (or a render saw a change). False when the Effect could
    // not take a rate it accepts (it is asked again at the next call).
    bool applyHostRate(bool always);
    // On the library's idle and chunk threads: the rate as above, the
    // Effect's worker done with what MIDI handed it, and the controls
    // showing the values the Effect changed on its own since they last
    // agreed.
    void catchUp();

    // Per parameter: the value the Effect and its control last agreed on.
    std::unique_ptr<std::atomic<float>[]> shown;
    std::atomic<double> effectRate{0.0};  // the rate last given to the Effect
    std::atomic<bool> rateChangeSeen{false};
    std::string cachedChunk;
    bool chunkCached = false;
};

class CTemplateNoUIProcessRTAS : public CTemplateNoUIProcess, public CEffectProcessRTAS {
protected:
    void RenderThroughEffect(float** inputs, float** outputs, int32_t frames) override;
};

// The types' factory: a new instance, or null (with a message) when it
// cannot be made.
CEffectProcess* NewTemplateProcessRTAS();

}  // namespace tonewright
