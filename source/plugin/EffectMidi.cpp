// MIDI: control changes drive the parameter (or editor tag) the learn map
// binds to the controller, program changes select programs, and a learn
// gesture binds the next controller that moves. The map is one preference
// shared by every instance on the machine: each instance stores only the
// bindings it changed, into the map as stored at that moment, so instances
// learning at the same time keep each other's.

#include <cstdio>
#include <cstring>

#include "plugin/Base64.h"
#include "plugin/Effect.h"
#include "system/Folders.h"
#include "system/Preferences.h"

namespace tonewright {

namespace {

constexpr int kMapBytes = 4 * Effect::kMidiControllers;
// What a stored entry may hold: no binding, a parameter or an editor tag.
constexpr int kLargestTarget = 120;

bool validTarget(int32_t v) { return v == -1 || (v >= 0 && v <= kLargestTarget); }

using Map = int32_t[Effect::kMidiControllers];

// The stored text as a whole map (entries outside the known targets
// unbound); false when it is not one.
bool decodeMap(const char* text, Map& map)
{
    uint8_t bytes[kMapBytes + 3];
    const base64::Decoded d = base64::Decode(text, bytes, sizeof bytes);
    if (!d.ok || d.bytes != size_t(kMapBytes)) return false;
    for (int c = 0; c < Effect::kMidiControllers; ++c) {
        const uint32_t u = uint32_t(bytes[4 * c]) | uint32_t(bytes[4 * c + 1]) << 8 |
                           uint32_t(bytes[4 * c + 2]) << 16 | uint32_t(bytes[4 * c + 3]) << 24;
        const int32_t v = static_cast<int32_t>(u);
        map[c] = validTarget(v) ? v : -1;
    }
    return true;
}

std::string encodeMap(const Map& map)
{
    uint8_t bytes[kMapBytes];
    for (int c = 0; c < Effect::kMidiControllers; ++c) {
        const uint32_t u = static_cast<uint32_t>(map[c]);
        for (int k = 0; k < 4; ++k) bytes[4 * c + k] = uint8_t(u >> (8 * k));
    }
    return base64::Encode(bytes, sizeof bytes);
}

}  // namespace

VstInt32 Effect::processEvents(VstEvents* events)
{
    if (!events) return 0;
    bool moved = false;
    for (const VstEvent* event : VstEventEntries(*events)) {
        const VstMidiEvent* midi = VstMidiEventOf(event);
        if (!midi) continue;
        const unsigned status = static_cast<unsigned char>(midi->midiData[0]);
        const int data1 = static_cast<unsigned char>(midi->midiData[1]);
        const int data2 = static_cast<unsigned char>(midi->midiData[2]) & 127;
        switch (status & 0xF0) {
        case 0xB0: {
            const int controller = data1 & 255;
            const int32_t target = learnTarget.exchange(-1);
            if (target != -1) {
                const int32_t previous = midiMap[controller].exchange(target);
                // The editor takes its learn frames down in its idle.
                editorLearned.store(uint64_t(uint32_t(previous + 1)) << 32 | uint32_t(target + 1));
                // The preference is written by the worker, never here.
                requestMidiMapWrite(controller);
            }
            const int32_t bound = midiMap[controller].load();
            if (bound == -1) break;
            const float value = static_cast<float>(data2) / 127.0f;
            const bool parameter = validParameterIndex(bound);
            const bool changed = parameter && params[bound].value.load() != value;
            setParameter(bound, value);
            // A controller moves a parameter as a hand on the knob would: the
            // host records it (from this thread; nothing here allocates or
            // locks).
            if (changed && audioMaster) {
                audioMaster(&cEffect, audioMasterBeginEdit, bound, 0, nullptr, 0.0f);
                audioMaster(&cEffect, audioMasterAutomate, bound, 0, nullptr, value);
                audioMaster(&cEffect, audioMasterEndEdit, bound, 0, nullptr, 0.0f);
                moved = true;
            }
            break;
        }
        case 0xC0:
            // Played from the prepared programs in the block these events
            // belong to; the host is told of every parameter it moves.
            requestProgram(data1 & 127, Origin::plugin, false);
            break;
        default: break;
        }
    }
    if (moved) updateDisplay();
    return 0;
}

void Effect::setMIDILearnControl(int tag) { learnTarget = tag; }

std::atomic<int32_t>* Effect::getMIDIMap(bool reload)
{
    if (!reload) return midiMap;
    char text[2048] = {};
    if (!GetRegistryKey(kPreferenceDomain, kMidiMapKey, text)) return midiMap;
    // Only a whole map is taken; anything else leaves the bindings alone.
    Map stored;
    if (decodeMap(text, stored))
        for (int c = 0; c < kMidiControllers; ++c) midiMap[c].store(stored[c]);
    return midiMap;
}

bool Effect::updateMIDIMap(int controller, int target)
{
    midiMap[controller & 255].store(target);
    midiMapChanges[(controller & 255) >> 6].fetch_or(uint64_t{1} << (controller & 63));
    return writeMidiMap();
}

bool Effect::writeMidiMap()
{
    uint64_t changed[kMidiControllers / 64];
    uint64_t any = 0;
    for (int w = 0; w < kMidiControllers / 64; ++w) any |= changed[w] = midiMapChanges[w].exchange(0);
    if (any == 0) return true;
    const system::PreferenceWrite result =
        system::UpdatePreference(kPreferenceDomain, kMidiMapKey, [&](const std::optional<std::string>& text) {
            Map map;
            if (!text || !decodeMap(text->c_str(), map))
                for (int32_t& entry : map) entry = -1;
            for (int c = 0; c < kMidiControllers; ++c)
                if (changed[c >> 6] >> (c & 63) & 1) map[c] = midiMap[c].load();
            return encodeMap(map);
        });
    if (result == system::PreferenceWrite::written) return true;
    // Kept for the next store (the next change, or the end of the instance).
    for (int w = 0; w < kMidiControllers / 64; ++w) midiMapChanges[w].fetch_or(changed[w]);
    const std::string store = (system::UserConfigFolder() / (std::string(kPreferenceDomain) + ".conf")).string();
    if (result == system::PreferenceWrite::busy)
        std::fprintf(stderr,
                     "Quarrystone TWR:: The MIDI map was not stored: %s stayed locked for more than %d ms; it is "
                     "tried again with the next change.\n",
                     store.c_str(), static_cast<int>(system::kPreferenceLockWait.count()));
    else
        std::fprintf(stderr,
                     "Quarrystone TWR:: The MIDI map cannot be stored in %s; the new bindings hold in this instance "
                     "and are tried again with the next change.\n",
                     store.c_str());
    return false;
}

}  // namespace tonewright
