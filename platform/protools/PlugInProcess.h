#pragma once
// The library's process: one per plug-in instance. It keeps the instance's
// controls (1-based indices), its master bypass, its chunks, its MIDI input
// nodes, its sample rate and channel count and its view, and calls the
// plug-in's operations (the virtual ones below) when the host asks.
//
// Threads. The host renders on its real-time thread (Render); controls,
// chunks, rate and views come from its other threads, which the library
// serialises per kind of call (this stand-in: one caller per kind at a
// time). What the renderer reads (control values, bypass, rate) is atomic.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "protools/Carbon.h"
#include "protools/PlugInControls.h"
#include "protools/PlugInTypes.h"
#include "protools/PlugInViews.h"

class CEffectType;

// The fixed head of every chunk record: the record's total size, then fields
// the library fills and the plug-in leaves alone. The plug-in's bytes follow
// at offset 56.
struct PlugInChunkHeader {
    int32_t size;
    int32_t version;
    OSType manufacturerID;
    OSType productID;
    OSType typeID;
    OSType chunkID;
    int32_t index;
    unsigned char name[28];  // length-prefixed
};
static_assert(sizeof(PlugInChunkHeader) == 56, "chunk header layout");
constexpr uint32_t kPlugInChunkHeaderSize = sizeof(PlugInChunkHeader);

// One MIDI message as a direct-delivery node passes it: a time in frames
// from the start of the current block, a length, and the bytes (at byte
// offsets 8, 9, 10 of the packet).
struct DirectMidiPacket {
    uint32_t timestamp;
    uint32_t length;
    unsigned char data[4];
};
static_assert(sizeof(DirectMidiPacket) == 12, "MIDI packet layout");

// Called for each delivered packet with a flag byte the library sets (0 for
// a plain message), the packet and the context given to the node.
using DirectMidiCallback = void (*)(unsigned char flag, const DirectMidiPacket* packet, void* context);

class CEffectMIDIDirectDeliveryNode {
public:
    static constexpr int kMaxName = 63;
    CEffectMIDIDirectDeliveryNode(const char* nodeName, DirectMidiCallback callback, void* context);
    const char* GetName() const { return name; }
    // Host side: hands one packet to the callback while the node is enabled.
    void Deliver(unsigned char flag, const DirectMidiPacket& packet) const;
    void SetEnabled(int32_t first, int32_t second);
    int32_t GetFirstEnable() const { return enableFirst; }
    int32_t GetSecondEnable() const { return enableSecond; }

private:
    char name[kMaxName + 1];
    DirectMidiCallback callback;
    void* context;
    int32_t enableFirst = 0, enableSecond = 0;
};

class CEffectProcess {
public:
    // What the host is told about the controls, in order.
    struct HostEvent {
        enum Kind { touched, released, automated } kind;
        int32_t index;
        int32_t value;  // automated only
        bool operator==(const HostEvent&) const = default;
    };
    struct ChunkEntry {
        OSType id;
        std::string name;
        int32_t code;
    };

    CEffectProcess();
    virtual ~CEffectProcess();
    CEffectProcess(const CEffectProcess&) = delete;
    CEffectProcess& operator=(const CEffectProcess&) = delete;

    // ---- the host's calls ----
    // After the factory: the type, the rate, then the plug-in's controls.
    void AttachType(CEffectType* type, double sampleRate);
    ComponentResult Initialize();
    // A control move by the host (automation, its own controls, a restored
    // session): the value is stored and the plug-in told.
    ComponentResult HostSetControlValue(int32_t index, int32_t value);
    // A new session rate; `notify` false models a host that says nothing,
    // so the plug-in only sees it while rendering.
    void HostSetSampleRate(double rate, bool notify);
    ComponentResult HostChunkSize(OSType id, int32_t* size);
    // `record` holds `bytes` bytes of the library's memory.
    ComponentResult HostReadChunk(OSType id, void* record, uint32_t bytes);
    ComponentResult HostWriteChunk(OSType id, void* record, uint32_t bytes);
    // The plug-in's view for the host's window (made once, kept by the
    // library until the process goes), its port, idle and control questions.
    CCustomView* HostGetView(Rect* rect);
    void HostSetWindowPort(CGrafPtr port);
    void HostIdle();
    std::vector<HostEvent> HostEvents();
    void ClearHostEvents();

    // ---- what the plug-in uses ----
    CEffectType* GetProcessType() const { return type; }
    int32_t GetNumChannels() const { return channels; }
    double GetSampleRate() const { return sampleRate.load(); }
    int32_t AddControl(std::unique_ptr<CPluginControl> control);
    void DefineMasterBypassControlIndex(int32_t index) { bypassIndex = index; }
    int32_t GetMasterBypassControlIndex() const { return bypassIndex; }
    bool IsValidControlIndex(int32_t index) const;
    int32_t GetNumControls() const { return static_cast<int32_t>(controls.size()); }
    CPluginControl* GetControl(int32_t index) const;
    // The plug-in sets a control (its own automation): stored, the plug-in
    // told as for a host move, and the host shown the value.
    void SetControlValue(int32_t index, int32_t value);
    int32_t GetControlValue(int32_t index) const;
    // Counted: the host hears of the first touch and of the last release.
    void TouchControl(int32_t index);
    void ReleaseControl(int32_t index);
    bool IsBypassed() const;
    void AddChunk(OSType id, const char* name, int32_t code);
    const std::vector<ChunkEntry>& GetChunks() const { return chunks; }
    // Whether this process may not take MIDI (0: it may).
    int32_t IsOfflineProcess() const { return 0; }
    CGrafPtr GetWindowPort() const { return windowPort; }
    // The deliverable's own resource file (the host opens it at load).
    static int16_t GetPlugInResourceFile();
    static void HostSetPlugInResourceFile(int16_t file);
    int32_t GetIdleCount() const { return idles; }

    // ---- the plug-in's operations ----
    virtual void CreateControlsFromEffect() {}
    virtual void ForwardControlToEffect(int32_t /*index*/) {}
    virtual void SampleRateChanged() {}
    virtual ComponentResult ChunkSizeForEffect(OSType id, int32_t* size);
    virtual ComponentResult ReadChunkFromEffect(OSType id, PlugInChunkHeader* chunk, uint32_t bytes);
    virtual ComponentResult WriteChunkToEffect(OSType id, PlugInChunkHeader* chunk, uint32_t bytes);
    // Per channel: a delay in samples and whether it is in use.
    virtual void GetChannelDelays(int32_t* delays, bool* used);
    virtual void CustomViewRect(Rect* rect);
    virtual CCustomView* MakeCustomView() { return nullptr; }
    virtual void AttachToWindowPort(CGrafPtr port) { windowPort = port; }
    virtual void IdleCustomUI() { ++idles; }
    virtual ComponentResult HighlightControl(int32_t index, int16_t on, int16_t colour);
    virtual ComponentResult ControlIndexAtPoint(int32_t packedPoint, int32_t* index);

private:
    void tell(HostEvent event);
    CPluginControl* controlAt(int32_t index) const;
    const ChunkEntry* chunkOf(OSType id) const;

    CEffectType* type = nullptr;
    int32_t channels = 1;
    std::atomic<double> sampleRate{44100.0};
    std::vector<std::unique_ptr<CPluginControl>> controls;
    std::unique_ptr<std::atomic<int32_t>[]> touches;
    int32_t bypassIndex = 0;
    std::vector<ChunkEntry> chunks;
    std::unique_ptr<CCustomView> view;
    CGrafPtr windowPort = nullptr;
    int32_t idles = 0;
    // What the host saw, kept in room made beforehand so that a control
    // moved on the real-time thread neither locks nor allocates; events
    // beyond the room are not kept.
    static constexpr size_t kEventRoom = size_t(1) << 16;
    std::unique_ptr<HostEvent[]> events = std::make_unique<HostEvent[]>(kEventRoom);
    std::atomic<size_t> eventCount{0};
};

// A process whose type takes MIDI: it keeps the plug-in's input nodes.
class CEffectProcessMIDI : public virtual CEffectProcess {
public:
    // Takes ownership and enables the node with the two values.
    void AddMidiNode(std::unique_ptr<CEffectMIDIDirectDeliveryNode> node, int32_t first, int32_t second);
    size_t GetNumMidiNodes() const { return nodes.size(); }
    CEffectMIDIDirectDeliveryNode* GetMidiNode(size_t i) const { return i < nodes.size() ? nodes[i].get() : nullptr; }

private:
    std::vector<std::unique_ptr<CEffectMIDIDirectDeliveryNode>> nodes;
};

// A process that renders in real time.
class CEffectProcessRTAS : public virtual CEffectProcess {
public:
    // Host side, on the real-time thread: GetNumChannels() inputs and
    // outputs of n frames. What the plug-in throws leaves silence.
    void Render(float** inputs, float** outputs, int32_t frames);

protected:
    virtual void RenderThroughEffect(float** inputs, float** outputs, int32_t frames) = 0;
};
