// The host's event lists as the interface lays them out: any number of
// entries behind the record, null entries, events of other types, and
// events shorter than a MIDI event, read no further than they reach.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include "DspTestKit.h"
#include "PluginHarness.h"

using namespace harness;

namespace {

// A host's list: the record with all its entries behind it.
template <size_t N>
struct HostList {
    VstInt32 numEvents = 0;
    VstIntPtr reserved = 0;
    VstEvent* events[N] = {};
};
static_assert(offsetof(HostList<1000>, events) == offsetof(VstEvents, events));

}  // namespace

TEST(MidiEvents, AThousandEventsInOneBlockAreAllTakenWithoutAllocating)
{
    Plugin p;
    p.effect().getMIDIMap(false)[7].store(5);  // bound for this instance only, not in the preference
    auto list = std::make_unique<HostList<1000>>();
    std::vector<VstMidiEvent> events(1000);
    list->numEvents = 1000;
    // Controller 7 moves in every entry; then notes, and a program change
    // in the last entry.
    for (bool controllers : {true, false}) {
        for (size_t i = 0; i < events.size(); ++i) {
            const auto value = static_cast<unsigned char>(i % 128);
            events[i] = controllers ? midi(0xB0, 7, value) : i == 999 ? midi(0xC0, 42, 0) : midi(0x90, value, 100);
            list->events[i] = reinterpret_cast<VstEvent*>(&events[i]);
        }
        testkit::AllocationCounter allocations;
        p.dispatch(effProcessEvents, 0, 0, list.get());
        EXPECT_EQ(allocations.count(), 0);
        if (controllers) {
            EXPECT_FLOAT_EQ(p.get(5), float(999 % 128) / 127.0f);
        }
    }
    p.effect().waitForWorker();
    EXPECT_EQ(p.dispatch(effGetProgram), 42);
    // Counts below one are no events.
    list->events[0] = reinterpret_cast<VstEvent*>(&events[999]);
    p.dispatch(effSetProgram, 0, 0);
    for (VstInt32 count : {0, -1, -1000}) {
        list->numEvents = count;
        p.dispatch(effProcessEvents, 0, 0, list.get());
    }
    p.effect().waitForWorker();
    EXPECT_EQ(p.dispatch(effGetProgram), 0);
}

TEST(MidiEvents, ShortEventsOtherTypesAndNullEntriesAreSkippedAndNothingBeyondAnEventIsRead)
{
    // Two pages, the second unreadable: each event is placed so that the
    // bytes it occupies end where the guard begins.
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    void* map = ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* guard = static_cast<unsigned char*>(map) + page;
    ASSERT_EQ(::mprotect(guard, page, PROT_NONE), 0);
    const VstInt32 whole = sizeof(VstMidiEvent);
    struct Case {
        const char* what;
        VstInt32 type, byteSize;
        size_t occupies;
        bool taken;
    };
    const Case cases[] = {
        {"header only", kVstMidiType, 8, 8, false},
        {"header and times", kVstMidiType, 16, 16, false},
        {"no size at all", kVstMidiType, 0, 8, false},
        {"a negative size", kVstMidiType, -32, 8, false},
        {"counted without the header, MIDI bytes last", kVstMidiType, 20, 28, true},
        {"counted without the header", kVstMidiType, whole - 8, size_t(whole), true},
        {"counted whole", kVstMidiType, whole, size_t(whole), true},
        {"a system exclusive event", kVstSysExType, whole, size_t(whole), false},
        {"an unknown type", 99, whole, size_t(whole), false},
    };
    Plugin p;
    int program = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        p.dispatch(effSetProgram, 0, 0);
        VstMidiEvent e = midi(0xC0, static_cast<unsigned char>(program), 0);
        e.type = c.type, e.byteSize = c.byteSize;
        std::memcpy(guard - c.occupies, &e, c.occupies);
        HostList<3> list;  // null entries around it
        list.numEvents = 3;
        list.events[1] = reinterpret_cast<VstEvent*>(guard - c.occupies);
        p.dispatch(effProcessEvents, 0, 0, &list);
        p.effect().waitForWorker();
        EXPECT_EQ(p.dispatch(effGetProgram), c.taken ? program : 0);
        ++program;
    }
    ::munmap(map, 2 * page);
}

TEST(MidiEvents, TheHostIsToldOfSixteenInputChannelsAndNoOutput)
{
    Plugin p;
    EXPECT_EQ(p.dispatch(effGetNumMidiInputChannels), 16);
    EXPECT_EQ(p.dispatch(effGetNumMidiOutputChannels), 0);
    EXPECT_EQ(p.dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")), 1);
}
