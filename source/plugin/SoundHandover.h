#pragma once
// The hand-over of whole sounds to the audio thread. What the audio thread
// plays with (an engine and its block buffers, the prepared programs, the
// sound that plays) is built elsewhere, put into one `Delivery` and posted;
// the audio thread takes the newest at the start of a block and hands the one
// it replaces back. It never waits, allocates or frees: everything it uses is
// kept alive by the delivery it holds, and whatever it hands back is freed by
// a producer.
//
// Threads. Producers are serialised by their owner (the effect's control
// mutex): `Post` and `Collect` are theirs. `Take` and `Return` belong to the
// one thread that processes at a time. The destructor runs when neither can.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/Tuner.h"
#include "engine/Tonewright.h"
#include "plugin/ParameterTable.h"

namespace tonewright {

// An engine made for one rate and block size, with the buffers it runs on.
struct EngineBundle {
    std::unique_ptr<Tonewright> engine;
    std::unique_ptr<double[]> in, left, right;
    int capacity = 0;  // samples each buffer holds
    double rate = 44100.0;
    // The tuner's storage for `rate` (empty when the rate is the previous
    // bundle's): the audio thread swaps it with the tuner's when it takes the
    // bundle, so that the storage it replaces is freed with the bundle.
    std::vector<TunerNote> tunerWindow;
};

// A sound ready to be committed at a bundle's rate. Immutable.
struct PreparedProgram {
    Tonewright::PreparedSound sound;
    // A preset, chunk or edit: the whole record (its oversampling choice and
    // first switch too). A program: its settings only.
    bool whole = false;
    // What the 80 parameters read for it.
    float values[kNumParameters] = {};
};

using ProgramTable = std::array<std::shared_ptr<const PreparedProgram>, kNumPrograms>;

struct Delivery {
    std::shared_ptr<EngineBundle> bundle;
    // The programs prepared for the bundle's rate: program changes on any
    // thread are played from here.
    std::shared_ptr<const ProgramTable> table;
    // What plays, as the producer saw it.
    std::shared_ptr<const PreparedProgram> sound;
    // The program changes the producer had seen (their sequence number).
    std::uint32_t programsSeen = 0;
    Delivery* next = nullptr;  // on the audio side's list while the ring is full
};

class SoundHandover {
public:
    SoundHandover() = default;
    ~SoundHandover();
    SoundHandover(const SoundHandover&) = delete;
    SoundHandover& operator=(const SoundHandover&) = delete;

    // Producer: `d` becomes the newest; one posted before that the audio
    // thread never took is freed. Frees what came back first.
    void Post(std::unique_ptr<Delivery> d);
    // Producer: frees what the audio thread handed back.
    void Collect();

    // Audio thread: the newest delivery posted since the last call, or null.
    Delivery* Take();
    // Audio thread: a delivery it no longer uses, for a producer to free.
    void Return(Delivery* d);
    // Whether something waits to be freed.
    bool HasReturns() const;

private:
    static constexpr int kSlots = 16;
    std::atomic<Delivery*> posted{nullptr};
    Delivery* ring[kSlots] = {};
    std::atomic<int> write{0};
    std::atomic<int> read{0};
    Delivery* overflow = nullptr;  // audio side
};

}  // namespace tonewright
