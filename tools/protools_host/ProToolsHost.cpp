#include "ProToolsHost.h"

#include <algorithm>
#include <new>

namespace tonewright {
namespace pthost {

std::unique_ptr<Deliverable> Deliverable::Load(ComponentResult* result)
{
    std::unique_ptr<Deliverable> d(new Deliverable);
    const ComponentResult r = NewMachOPlugIn(&d->made);
    if (result) *result = r;
    d->effectGroup = dynamic_cast<CEffectGroup*>(d->made);
    if (r != kPlugInNoErr || !d->effectGroup) return nullptr;
    return d;
}

Deliverable::~Deliverable() { CloseMachOPlugIn(made); }

CEffectType* Deliverable::type(int channels) const
{
    for (size_t i = 0; i < effectGroup->GetNumTypes(); ++i)
        if (effectGroup->GetType(i)->GetNumChannels() == channels) return effectGroup->GetType(i);
    return nullptr;
}

Instance::Instance(CEffectProcess* process) : made(process), renderer(dynamic_cast<CEffectProcessRTAS*>(process)) {}

std::unique_ptr<Instance> Instance::Make(CEffectType& type, double rate, ComponentResult* result, Session* opened)
{
    CEffectProcess* process = opened ? type.NewProcess(rate, result) : type.MakeProcess(rate, result);
    if (!process) return nullptr;
    if (opened) {
        for (auto& [id, record] : opened->chunks)
            process->HostWriteChunk(id, record.data(), static_cast<uint32_t>(record.size()));
        const ComponentResult r = process->Initialize();
        if (result) *result = r;
        if (r != kPlugInNoErr) {
            delete process;
            return nullptr;
        }
    }
    if (!dynamic_cast<CEffectProcessRTAS*>(process)) {
        delete process;
        if (result) *result = kPlugInNoProcessErr;
        return nullptr;
    }
    auto* instance = new (std::nothrow) Instance(process);
    if (!instance) {
        delete process;
        if (result) *result = kPlugInUnknownErr;
    }
    return std::unique_ptr<Instance>(instance);
}

Instance::~Instance() { delete made; }

ComponentResult Instance::setControl(int index, double continuous)
{
    const auto* control = dynamic_cast<const CPluginControl_Continuous*>(made->GetControl(index));
    const int32_t value = control ? control->ConvertContinuousToControl(continuous) : static_cast<int32_t>(continuous);
    return made->HostSetControlValue(index, value);
}

double Instance::control(int index) const
{
    const auto* control = dynamic_cast<const CPluginControl_Continuous*>(made->GetControl(index));
    return control ? control->GetContinuous() : made->GetControlValue(index);
}

void Instance::sendMidi(std::array<unsigned char, 3> bytes, uint32_t delta, unsigned char flag) const
{
    const auto* midi = dynamic_cast<const CEffectProcessMIDI*>(made);
    if (!midi) return;
    DirectMidiPacket packet{delta, 3, {bytes[0], bytes[1], bytes[2], 0}};
    for (size_t i = 0; i < midi->GetNumMidiNodes(); ++i) midi->GetMidiNode(i)->Deliver(flag, packet);
}

std::vector<unsigned char> Instance::readChunk(OSType id, ComponentResult* result)
{
    int32_t size = 0;
    ComponentResult r = made->HostChunkSize(id, &size);
    std::vector<unsigned char> record;
    if (r == kPlugInNoErr) {
        record.assign(static_cast<size_t>(std::max<int32_t>(size, 0)), 0);
        r = made->HostReadChunk(id, record.data(), static_cast<uint32_t>(record.size()));
        if (r != kPlugInNoErr) record.clear();
    }
    if (result) *result = r;
    return record;
}

ComponentResult Instance::writeChunk(OSType id, std::vector<unsigned char>& record)
{
    return made->HostWriteChunk(id, record.data(), static_cast<uint32_t>(record.size()));
}

Session Instance::save()
{
    // The chunks first: a plug-in brings its controls up to date when asked
    // for them.
    Session session;
    for (const auto& chunk : made->GetChunks()) session.chunks.emplace_back(chunk.id, readChunk(chunk.id));
    for (int k = 1; k <= made->GetNumControls(); ++k) session.controls.push_back(made->GetControlValue(k));
    return session;
}

ComponentResult Instance::restore(Session session, bool chunksFirst)
{
    ComponentResult first = kPlugInNoErr;
    const auto keep = [&](ComponentResult r) {
        if (first == kPlugInNoErr) first = r;
    };
    const auto chunks = [&] {
        for (auto& [id, record] : session.chunks) keep(writeChunk(id, record));
    };
    if (chunksFirst) chunks();
    for (size_t k = 0; k < session.controls.size(); ++k)
        keep(made->HostSetControlValue(static_cast<int32_t>(k + 1), session.controls[k]));
    if (!chunksFirst) chunks();
    return first;
}

std::vector<unsigned char> ChunkRecord(std::string_view text)
{
    PlugInChunkHeader header{};
    header.size = static_cast<int32_t>(kPlugInChunkHeaderSize + text.size());
    const auto* head = reinterpret_cast<const unsigned char*>(&header);
    std::vector<unsigned char> record(kPlugInChunkHeaderSize + text.size());
    auto end = std::copy(head, head + kPlugInChunkHeaderSize, record.begin());
    std::copy(text.begin(), text.end(), end);
    return record;
}

std::string ChunkText(const std::vector<unsigned char>& record)
{
    if (record.size() < kPlugInChunkHeaderSize) return {};
    return std::string(reinterpret_cast<const char*>(record.data()) + kPlugInChunkHeaderSize,
                       record.size() - kPlugInChunkHeaderSize);
}

AudioClip render(Instance& instance, const AudioClip& in, int outChannels, const offline::BlockSchedule& blocks,
                 const offline::Tail& tail)
{
    return offline::render([&instance](float** inputs, float** outputs, int n) { instance.render(inputs, outputs, n); },
                           instance.channels(), instance.channels(), in, outChannels, blocks, tail);
}

}  // namespace pthost

}  // namespace tonewright
