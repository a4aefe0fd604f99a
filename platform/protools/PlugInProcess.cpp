#include "protools/PlugInProcess.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "protools/PlugInGroup.h"

namespace {
std::atomic<int16_t> plugInResourceFile{-1};
}  // namespace

CEffectMIDIDirectDeliveryNode::CEffectMIDIDirectDeliveryNode(const char* nodeName, DirectMidiCallback call,
                                                             void* callContext)
    : callback(call), context(callContext)
{
    std::memset(name, 0, sizeof name);
    if (nodeName) std::strncpy(name, nodeName, kMaxName);
}

void CEffectMIDIDirectDeliveryNode::Deliver(unsigned char flag, const DirectMidiPacket& packet) const
{
    if (callback && enableFirst) callback(flag, &packet, context);
}

void CEffectMIDIDirectDeliveryNode::SetEnabled(int32_t first, int32_t second)
{
    enableFirst = first;
    enableSecond = second;
}

CEffectProcess::CEffectProcess() = default;
CEffectProcess::~CEffectProcess() = default;

int16_t CEffectProcess::GetPlugInResourceFile() { return plugInResourceFile.load(); }
void CEffectProcess::HostSetPlugInResourceFile(int16_t file) { plugInResourceFile.store(file); }

void CEffectProcess::AttachType(CEffectType* processType, double rate)
{
    type = processType;
    channels = processType ? processType->GetNumChannels() : 1;
    sampleRate.store(rate);
}

ComponentResult CEffectProcess::Initialize()
{
    return PlugInGuarded([&] {
        CreateControlsFromEffect();
        touches = std::make_unique<std::atomic<int32_t>[]>(controls.size() + 1);
        return kPlugInNoErr;
    });
}

int32_t CEffectProcess::AddControl(std::unique_ptr<CPluginControl> control)
{
    if (!control) throw CDAEError(kPlugInUnknownErr);
    controls.push_back(std::move(control));
    return static_cast<int32_t>(controls.size());
}

bool CEffectProcess::IsValidControlIndex(int32_t index) const
{
    return index >= 1 && index <= static_cast<int32_t>(controls.size());
}

CPluginControl* CEffectProcess::controlAt(int32_t index) const
{
    return IsValidControlIndex(index) ? controls[static_cast<size_t>(index - 1)].get() : nullptr;
}

CPluginControl* CEffectProcess::GetControl(int32_t index) const { return controlAt(index); }

int32_t CEffectProcess::GetControlValue(int32_t index) const
{
    const CPluginControl* control = controlAt(index);
    return control ? control->GetValue() : 0;
}

ComponentResult CEffectProcess::HostSetControlValue(int32_t index, int32_t value)
{
    CPluginControl* control = controlAt(index);
    if (!control) return kPlugInUnknownErr;
    return PlugInGuarded([&] {
        control->SetValue(value);
        ForwardControlToEffect(index);
        return kPlugInNoErr;
    });
}

void CEffectProcess::SetControlValue(int32_t index, int32_t value)
{
    CPluginControl* control = controlAt(index);
    if (!control) return;
    control->SetValue(value);
    tell({HostEvent::automated, index, control->GetValue()});
    ForwardControlToEffect(index);
}

void CEffectProcess::TouchControl(int32_t index)
{
    if (!controlAt(index) || !touches) return;
    if (touches[size_t(index)].fetch_add(1) == 0) tell({HostEvent::touched, index, 0});
}

void CEffectProcess::ReleaseControl(int32_t index)
{
    if (!controlAt(index) || !touches) return;
    int32_t count = touches[size_t(index)].load();
    while (count > 0 && !touches[size_t(index)].compare_exchange_weak(count, count - 1)) {
    }
    if (count == 1) tell({HostEvent::released, index, 0});
}

bool CEffectProcess::IsBypassed() const
{
    const CPluginControl* control = controlAt(bypassIndex);
    return control && control->GetValue() != 0;
}

void CEffectProcess::tell(HostEvent event)
{
    const size_t at = eventCount.fetch_add(1, std::memory_order_acq_rel);
    if (at < kEventRoom) events[at] = event;
}

std::vector<CEffectProcess::HostEvent> CEffectProcess::HostEvents()
{
    const size_t n = std::min(eventCount.load(std::memory_order_acquire), kEventRoom);
    return std::vector<HostEvent>(events.get(), events.get() + n);
}

void CEffectProcess::ClearHostEvents() { eventCount.store(0); }

void CEffectProcess::HostSetSampleRate(double rate, bool notify)
{
    sampleRate.store(rate);
    if (notify) PlugInGuarded([&] {
            SampleRateChanged();
            return kPlugInNoErr;
        });
}

// ---- chunks ----

void CEffectProcess::AddChunk(OSType id, const char* name, int32_t code)
{
    chunks.push_back({id, name ? name : "", code});
}

const CEffectProcess::ChunkEntry* CEffectProcess::chunkOf(OSType id) const
{
    for (const ChunkEntry& chunk : chunks)
        if (chunk.id == id) return &chunk;
    return nullptr;
}

ComponentResult CEffectProcess::HostChunkSize(OSType id, int32_t* size)
{
    if (!size) return kPlugInUnknownErr;
    return PlugInGuarded([&] { return ChunkSizeForEffect(id, size); });
}

ComponentResult CEffectProcess::HostReadChunk(OSType id, void* record, uint32_t bytes)
{
    if (!record || bytes < kPlugInChunkHeaderSize) return kPlugInChunkRangeErr;
    auto* header = static_cast<PlugInChunkHeader*>(record);
    header->version = 1;
    header->manufacturerID = 0;
    header->productID = type ? type->GetProductID() : 0;
    header->typeID = type ? type->GetTypeID() : 0;
    header->chunkID = id;
    header->index = 0;
    std::memset(header->name, 0, sizeof header->name);
    if (const ChunkEntry* chunk = chunkOf(id)) {
        const size_t n = std::min(chunk->name.size(), sizeof header->name - 1);
        header->name[0] = static_cast<unsigned char>(n);
        std::memcpy(header->name + 1, chunk->name.data(), n);
    }
    return PlugInGuarded([&] { return ReadChunkFromEffect(id, header, bytes); });
}

ComponentResult CEffectProcess::HostWriteChunk(OSType id, void* record, uint32_t bytes)
{
    if (!record || bytes < kPlugInChunkHeaderSize) return kPlugInChunkRangeErr;
    return PlugInGuarded([&] { return WriteChunkToEffect(id, static_cast<PlugInChunkHeader*>(record), bytes); });
}

// The library keeps no chunks of its own here.
ComponentResult CEffectProcess::ChunkSizeForEffect(OSType, int32_t*) { return kPlugInChunkUnknownErr; }
ComponentResult CEffectProcess::ReadChunkFromEffect(OSType, PlugInChunkHeader*, uint32_t)
{
    return kPlugInChunkUnknownErr;
}
ComponentResult CEffectProcess::WriteChunkToEffect(OSType, PlugInChunkHeader*, uint32_t)
{
    return kPlugInChunkUnknownErr;
}

void CEffectProcess::GetChannelDelays(int32_t* delays, bool* used)
{
    for (int32_t c = 0; c < channels; ++c) {
        delays[c] = -1;
        used[c] = true;
    }
}

// ---- views ----

void CEffectProcess::CustomViewRect(Rect* rect) { *rect = {0, 0, 0, 0}; }

ComponentResult CEffectProcess::HighlightControl(int32_t, int16_t, int16_t) { return kPlugInNoErr; }

ComponentResult CEffectProcess::ControlIndexAtPoint(int32_t, int32_t* index)
{
    *index = 0;
    return kPlugInNoErr;
}

CCustomView* CEffectProcess::HostGetView(Rect* rect)
{
    CCustomView* made = nullptr;
    PlugInGuarded([&] {
        Rect r{0, 0, 0, 0};
        CustomViewRect(&r);
        if (rect) *rect = r;
        if (!view) view.reset(MakeCustomView());
        made = view.get();
        return kPlugInNoErr;
    });
    return made;
}

void CEffectProcess::HostSetWindowPort(CGrafPtr port)
{
    PlugInGuarded([&] {
        AttachToWindowPort(port);
        return kPlugInNoErr;
    });
}

void CEffectProcess::HostIdle()
{
    PlugInGuarded([&] {
        IdleCustomUI();
        return kPlugInNoErr;
    });
}

// ---- MIDI and rendering ----

void CEffectProcessMIDI::AddMidiNode(std::unique_ptr<CEffectMIDIDirectDeliveryNode> node, int32_t first,
                                     int32_t second)
{
    if (!node) return;
    node->SetEnabled(first, second);
    nodes.push_back(std::move(node));
}

void CEffectProcessRTAS::Render(float** inputs, float** outputs, int32_t frames)
{
    if (frames <= 0 || !inputs || !outputs) return;
    try {
        RenderThroughEffect(inputs, outputs, frames);
    } catch (...) {
        for (int32_t c = 0; c < GetNumChannels(); ++c)
            if (outputs[c]) std::memset(outputs[c], 0, sizeof(float) * size_t(frames));
    }
}
