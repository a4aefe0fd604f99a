#include "dsp/AudioThread.h"

#include <atomic>

namespace tonewright {

namespace {

thread_local int audioScopes = 0;
std::atomic<long> violations{0};
std::atomic<const char*> firstViolation{nullptr};

}  // namespace

AudioThreadScope::AudioThreadScope() { ++audioScopes; }
AudioThreadScope::~AudioThreadScope() { --audioScopes; }

bool OnAudioThread() { return audioScopes > 0; }

void CountAudioThreadViolation(const char* what)
{
    const char* none = nullptr;
    firstViolation.compare_exchange_strong(none, what);
    violations.fetch_add(1);
}

long AudioThreadViolations() { return violations.load(); }

const char* FirstAudioThreadViolation() { return firstViolation.load(); }

void ResetAudioThreadViolations()
{
    violations.store(0);
    firstViolation.store(nullptr);
}

}  // namespace tonewright
