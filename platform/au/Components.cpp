#include "au/Components.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <mutex>
#include <utility>
#include <vector>

struct ComponentRecord {
    ComponentDescription description;
    ComponentRoutine entry;
};

struct AUEventListenerRecord {
    AUEventListenerProc proc;
    void* refCon;
};

namespace {

// Instances live in a fixed table of slots that is never freed. A handle
// carries its slot and the slot's generation (and a set low bit, which no
// record pointer has), so a handle of a closed instance never reaches the
// instance that reuses its slot.
constexpr uintptr_t kSlots = 1024;
constexpr int kSlotBits = 10;
static_assert(uintptr_t{1} << kSlotBits == kSlots);

struct Slot {
    std::atomic<bool> open{false};
    std::atomic<uintptr_t> generation{0};
    std::atomic<void*> storage{nullptr};
    ComponentRecord* component = nullptr;  // written before open is set
};

Slot slots[kSlots];
std::mutex openCloseMutex;
std::atomic<long> openInstances{0};

ComponentInstance handleOf(uintptr_t slot, uintptr_t generation)
{
    return reinterpret_cast<ComponentInstance>((generation << (kSlotBits + 1)) | (slot << 1) | 1u);
}

bool isInstanceHandle(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 1u) != 0; }

Slot* find(ComponentInstance instance)
{
    const auto v = reinterpret_cast<uintptr_t>(instance);
    if (!isInstanceHandle(instance)) return nullptr;
    Slot& s = slots[(v >> 1) & (kSlots - 1)];
    if (!s.open.load(std::memory_order_acquire) || s.generation.load(std::memory_order_acquire) != v >> (kSlotBits + 1))
        return nullptr;
    return &s;
}

// How deep the calling thread is in render and MIDI calls (the calls a
// host makes on its render thread).
thread_local int renderCalls = 0;

class RenderCall {
public:
    explicit RenderCall(SInt16 what) : counted(what == kAudioUnitRenderSelect || what == kMusicDeviceMIDIEventSelect)
    {
        renderCalls += counted;
    }
    ~RenderCall() { renderCalls -= counted; }
    RenderCall(const RenderCall&) = delete;
    RenderCall& operator=(const RenderCall&) = delete;

private:
    const bool counted;
};

OSStatus call(ComponentInstance instance, SInt16 what, void* arguments)
{
    Slot* s = find(instance);
    if (!s) return badComponentInstance;
    ComponentParameters params{what, instance, arguments};
    const RenderCall scope(what);
    return s->component->entry(&params, s->storage.load(std::memory_order_acquire));
}

struct Listeners {
    std::mutex mutex;
    std::vector<AUEventListenerRecord*> all;
    std::atomic<long> count{0};
};
Listeners& listeners()
{
    static Listeners* l = new Listeners();
    return *l;
}

struct Notice {
    AUEventListenerRef sender;
    AudioUnitEvent event;
    AudioUnitParameterValue value;
};

// The notices made inside render and MIDI calls: a bounded queue for any
// number of threads on either side. A cell's turn says which lap it is in:
// 2 * lap while free for that lap's notice, 2 * lap + 1 while holding it.
// Zero is a valid start, so the queue needs no construction and is ready
// before any static initialiser could notify.
class NoticeQueue {
public:
    static constexpr size_t kCells = 4096;

    bool push(const Notice& n)
    {
        size_t at = tail.load(std::memory_order_relaxed);
        for (;;) {
            Cell& c = cells[at % kCells];
            const size_t free = 2 * (at / kCells), turn = c.turn.load(std::memory_order_acquire);
            if (turn == free) {
                if (tail.compare_exchange_weak(at, at + 1, std::memory_order_relaxed)) {
                    c.notice = n;
                    c.turn.store(free + 1, std::memory_order_release);
                    return true;
                }
            } else if (turn < free) {
                return false;  // full: the cell still holds the last lap's notice
            } else {
                at = tail.load(std::memory_order_relaxed);
            }
        }
    }

    bool pop(Notice& n)
    {
        size_t at = head.load(std::memory_order_relaxed);
        for (;;) {
            Cell& c = cells[at % kCells];
            const size_t held = 2 * (at / kCells) + 1, turn = c.turn.load(std::memory_order_acquire);
            if (turn == held) {
                if (head.compare_exchange_weak(at, at + 1, std::memory_order_relaxed)) {
                    n = c.notice;
                    c.turn.store(held + 1, std::memory_order_release);
                    return true;
                }
            } else if (turn < held) {
                return false;  // empty
            } else {
                at = head.load(std::memory_order_relaxed);
            }
        }
    }

private:
    struct Cell {
        std::atomic<size_t> turn{0};
        Notice notice{};
    };
    Cell cells[kCells];
    std::atomic<size_t> head{0}, tail{0};
};
constinit NoticeQueue notices;

// Listeners are called outside the lock (they may call back in). Without
// memory for the list, nobody hears the event.
void deliver(const Notice& n)
{
    std::vector<AUEventListenerRecord> targets;
    try {
        Listeners& l = listeners();
        std::lock_guard<std::mutex> lock(l.mutex);
        for (AUEventListenerRecord* r : l.all)
            if (r != n.sender) targets.push_back(*r);
    } catch (const std::bad_alloc&) {
        return;
    }
    for (const AUEventListenerRecord& r : targets) r.proc(r.refCon, nullptr, &n.event, 0, n.value);
}

long deliverQueued()
{
    if (renderCalls > 0) return 0;
    long delivered = 0;
    for (Notice n; notices.pop(n); ++delivered) deliver(n);
    return delivered;
}

void notify(AUEventListenerRef sender, const AudioUnitEvent& event, AudioUnitParameterValue value)
{
    if (renderCalls > 0) {
        if (listeners().count.load(std::memory_order_acquire) > 0) notices.push({sender, event, value});
        return;
    }
    deliverQueued();
    deliver({sender, event, value});
}

}  // namespace

Component RegisterComponent(const ComponentDescription* description, ComponentRoutine entry)
{
    if (!description || !entry) return nullptr;
    return new (std::nothrow) ComponentRecord{*description, entry};  // registered for the life of the process
}

OSErr OpenAComponent(Component component, ComponentInstance* instance)
{
    if (!instance) return paramErr;
    *instance = nullptr;
    if (!component || isInstanceHandle(component)) return paramErr;
    std::lock_guard<std::mutex> lock(openCloseMutex);
    for (uintptr_t i = 0; i < kSlots; ++i) {
        Slot& s = slots[i];
        if (s.open.load()) continue;
        s.component = component;
        s.storage.store(nullptr);
        const uintptr_t generation = s.generation.load() + 1;
        s.generation.store(generation);
        s.open.store(true, std::memory_order_release);
        const ComponentInstance handle = handleOf(i, generation);
        ComponentParameters params{kComponentOpenSelect, handle, nullptr};
        const ComponentResult result = component->entry(&params, nullptr);
        if (result != noErr) {
            s.open.store(false);
            return static_cast<OSErr>(result == static_cast<SInt16>(result) ? result : memFullErr);
        }
        openInstances.fetch_add(1);
        *instance = handle;
        return noErr;
    }
    return memFullErr;
}

OSErr CloseComponent(ComponentInstance instance)
{
    std::lock_guard<std::mutex> lock(openCloseMutex);
    Slot* s = find(instance);
    if (!s) return static_cast<OSErr>(paramErr);
    // Calls made from here on (by listeners, by views) find it closed.
    s->open.store(false, std::memory_order_release);
    ComponentParameters params{kComponentCloseSelect, instance, nullptr};
    s->component->entry(&params, s->storage.exchange(nullptr));
    openInstances.fetch_sub(1);
    return noErr;
}

OSErr GetComponentInfo(Component component, ComponentDescription* description, void*, void*, void*)
{
    if (!component || !description) return paramErr;
    const ComponentRecord* record = component;
    if (isInstanceHandle(component)) {
        Slot* s = find(reinterpret_cast<ComponentInstance>(component));
        if (!s) return paramErr;
        record = s->component;
    }
    *description = record->description;
    return noErr;
}

ComponentResult GetComponentVersion(ComponentInstance instance)
{
    return call(instance, kComponentVersionSelect, nullptr);
}

void SetComponentInstanceStorage(ComponentInstance instance, void* storage)
{
    const auto v = reinterpret_cast<uintptr_t>(instance);
    if (!isInstanceHandle(instance)) return;
    // Also while the instance is being opened (its slot is not counted yet).
    Slot& s = slots[(v >> 1) & (kSlots - 1)];
    if (s.generation.load() == v >> (kSlotBits + 1)) s.storage.store(storage, std::memory_order_release);
}

long ComponentStandInOpenInstances() { return openInstances.load(); }

// ---- Audio Unit calls ----

OSStatus AudioUnitInitialize(AudioUnit unit) { return call(unit, kAudioUnitInitializeSelect, nullptr); }
OSStatus AudioUnitUninitialize(AudioUnit unit) { return call(unit, kAudioUnitUninitializeSelect, nullptr); }

OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement element, UInt32* size, Boolean* writable)
{
    UInt32 ignoredSize = 0;
    Boolean ignoredWritable = false;
    AudioUnitPropertyArguments a{
        id, scope, element, nullptr, size ? size : &ignoredSize, writable ? writable : &ignoredWritable};
    return call(unit, kAudioUnitGetPropertyInfoSelect, &a);
}

OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              void* data, UInt32* size)
{
    if (!data || !size) return paramErr;
    AudioUnitPropertyArguments a{id, scope, element, data, size, nullptr};
    return call(unit, kAudioUnitGetPropertySelect, &a);
}

OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              const void* data, UInt32 size)
{
    AudioUnitPropertyArguments a{id, scope, element, const_cast<void*>(data), &size, nullptr};
    return call(unit, kAudioUnitSetPropertySelect, &a);
}

OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               AudioUnitParameterValue* value)
{
    if (!value) return paramErr;
    AudioUnitParameterArguments a{id, scope, element, value, 0};
    return call(unit, kAudioUnitGetParameterSelect, &a);
}

OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               AudioUnitParameterValue value, UInt32 bufferOffset)
{
    AudioUnitParameterArguments a{id, scope, element, &value, bufferOffset};
    return call(unit, kAudioUnitSetParameterSelect, &a);
}

OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element)
{
    AudioUnitResetArguments a{scope, element};
    return call(unit, kAudioUnitResetSelect, &a);
}

OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* time, UInt32 bus,
                         UInt32 frames, AudioBufferList* data)
{
    if (!flags || !time || !data) return paramErr;
    AudioUnitRenderArguments a{flags, time, bus, frames, data};
    return call(unit, kAudioUnitRenderSelect, &a);
}

OSStatus MusicDeviceMIDIEvent(AudioUnit unit, UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame)
{
    MusicDeviceMIDIEventArguments a{status, data1, data2, offsetSampleFrame};
    return call(unit, kMusicDeviceMIDIEventSelect, &a);
}

// ---- listeners ----

OSStatus AUEventListenerCreate(AUEventListenerProc proc, void* refCon, const void*, CFStringRef, Float32, Float32,
                               AUEventListenerRef* listener)
{
    if (!proc || !listener) return paramErr;
    *listener = nullptr;
    deliverQueued();
    try {
        auto made = std::make_unique<AUEventListenerRecord>(AUEventListenerRecord{proc, refCon});
        Listeners& l = listeners();
        std::lock_guard<std::mutex> lock(l.mutex);
        l.all.push_back(made.get());
        l.count.store(long(l.all.size()), std::memory_order_release);
        *listener = made.release();
        return noErr;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

OSStatus AUListenerDispose(AUEventListenerRef listener)
{
    Listeners& l = listeners();
    {
        std::lock_guard<std::mutex> lock(l.mutex);
        std::erase(l.all, listener);
        l.count.store(long(l.all.size()), std::memory_order_release);
    }
    delete listener;
    return noErr;
}

OSStatus AUParameterSet(AUParameterListenerRef sendingListener, void*, const AudioUnitParameter* parameter,
                        AudioUnitParameterValue value, UInt32 bufferOffset)
{
    if (!parameter) return paramErr;
    const OSStatus result = AudioUnitSetParameter(parameter->mAudioUnit, parameter->mParameterID, parameter->mScope,
                                                  parameter->mElement, value, bufferOffset);
    if (result != noErr) return result;
    AudioUnitEvent event{kAudioUnitEvent_ParameterValueChange, {*parameter}};
    notify(sendingListener, event, value);
    return noErr;
}

OSStatus AUEventListenerNotify(AUEventListenerRef sendingListener, void*, const AudioUnitEvent* event)
{
    if (!event) return paramErr;
    AudioUnitParameterValue value = 0.0f;
    if (event->mEventType == kAudioUnitEvent_ParameterValueChange) {
        const AudioUnitParameter& p = event->mArgument.mParameter;
        AudioUnitGetParameter(p.mAudioUnit, p.mParameterID, p.mScope, p.mElement, &value);
    }
    notify(sendingListener, *event, value);
    return noErr;
}

long AUEventListenerStandInDeliver() { return deliverQueued(); }
