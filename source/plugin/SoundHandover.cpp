#include "plugin/SoundHandover.h"

namespace tonewright {

SoundHandover::~SoundHandover()
{
    Collect();
    delete posted.exchange(nullptr);
    while (Delivery* d = overflow) {
        overflow = d->next;
        delete d;
    }
}

void SoundHandover::Post(std::unique_ptr<Delivery> d)
{
    Collect();
    delete posted.exchange(d.release(), std::memory_order_acq_rel);
}

void SoundHandover::Collect()
{
    int r = read.load(std::memory_order_relaxed);
    const int w = write.load(std::memory_order_acquire);
    while (r != w) {
        delete ring[r % kSlots];
        ring[r % kSlots] = nullptr;
        ++r;
        read.store(r, std::memory_order_release);
    }
}

Delivery* SoundHandover::Take()
{
    if (!posted.load(std::memory_order_relaxed)) return nullptr;
    return posted.exchange(nullptr, std::memory_order_acq_rel);
}

void SoundHandover::Return(Delivery* d)
{
    // A full ring (nobody has collected yet) keeps the rest on the audio
    // side's list, oldest last, until there is room.
    if (d) {
        d->next = overflow;
        overflow = d;
    }
    while (overflow) {
        const int w = write.load(std::memory_order_relaxed);
        if (w - read.load(std::memory_order_acquire) >= kSlots) return;
        // The oldest first: walk to the end of the list.
        Delivery** last = &overflow;
        while ((*last)->next) last = &(*last)->next;
        ring[w % kSlots] = *last;
        *last = nullptr;
        write.store(w + 1, std::memory_order_release);
    }
}

bool SoundHandover::HasReturns() const
{
    return write.load(std::memory_order_acquire) != read.load(std::memory_order_acquire);
}

}  // namespace tonewright
