// MIDI: control changes drive the parameter (or editor tag) the learn map
// binds to the controller, program changes select programs, and a learn
// gesture binds the next controller that moves. The map is one preference
// shared by every instance on the machine.

#include <cstring>

#include "plugin/Base64.h"
#include "plugin/Effect.h"

namespace tonewright {

namespace {

constexpr int kMapBytes = 4 * Effect::kMidiControllers;
// What a stored entry may hold: no binding, a parameter or an editor tag.
constexpr int kLargestTarget = 120;

bool validTarget(int32_t v) { return v == -1 || (v >= 0 && v <= kLargestTarget); }

}  // namespace

VstInt32 Effect::processEvents(VstEvents* events)
{
    if (!events || events->numEvents <= 0) return 0;
    // The host's array holds numEvents entries, past the two the
    // declaration names: read it through a pointer, not the array.
    VstEvent* const* const list = events->events;
    for (VstInt32 e = 0; e < events->numEvents; ++e) {
        const VstEvent* event = list[e];
        if (!event || event->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        const unsigned status = static_cast<unsigned char>(midi->midiData[0]);
        const int data1 = static_cast<unsigned char>(midi->midiData[1]);
        const int data2 = static_cast<unsigned char>(midi->midiData[2]) & 127;
        switch (status & 0xF0) {
        case 0xB0: {
            const int controller = data1 & 255;
            const int32_t target = midiLearnTarget.exchange(-1);
            if (target != -1) {
                const int32_t previous = midiMap[controller].exchange(target);
                // The editor takes its learn frames down in its idle.
                editorLearned.store(uint64_t(uint32_t(previous + 1)) << 32 | uint32_t(target + 1));
                // The preference is written by the worker, never here.
                requestMidiMapWrite();
            }
            const int32_t bound = midiMap[controller].load();
            if (bound != -1) setParameter(bound, static_cast<float>(data2) / 127.0f);
            break;
        }
        case 0xC0: requestProgramChange(data1 & 127); break;
        default: break;
        }
    }
    return 0;
}

void Effect::setMIDILearnControl(int tag) { midiLearnTarget = tag; }

std::atomic<int32_t>* Effect::getMIDIMap(bool reload)
{
    if (!reload) return midiMap;
    char text[2048] = {};
    if (!GetRegistryKey(kPreferenceDomain, kMidiMapKey, text)) return midiMap;
    uint8_t bytes[kMapBytes + 3];
    const base64::Decoded d = base64::Decode(text, bytes, sizeof bytes);
    // Only a whole map is taken; anything else leaves the bindings alone.
    if (!d.ok || d.bytes != size_t(kMapBytes)) return midiMap;
    for (int c = 0; c < kMidiControllers; ++c) {
        const uint32_t u = uint32_t(bytes[4 * c]) | uint32_t(bytes[4 * c + 1]) << 8 |
                           uint32_t(bytes[4 * c + 2]) << 16 | uint32_t(bytes[4 * c + 3]) << 24;
        const int32_t v = static_cast<int32_t>(u);
        midiMap[c].store(validTarget(v) ? v : -1);
    }
    return midiMap;
}

bool Effect::updateMIDIMap(int controller, int target)
{
    midiMap[controller & 255].store(target);
    return writeMidiMap();
}

bool Effect::writeMidiMap()
{
    uint8_t bytes[kMapBytes];
    for (int c = 0; c < kMidiControllers; ++c) {
        const uint32_t u = static_cast<uint32_t>(midiMap[c].load());
        for (int k = 0; k < 4; ++k) bytes[4 * c + k] = uint8_t(u >> (8 * k));
    }
    const std::string text = base64::Encode(bytes, sizeof bytes);
    return SetRegistryKey(kPreferenceDomain, kMidiMapKey, text.c_str());
}

}  // namespace tonewright
