#pragma once
// Which thread is running an audio callback, and the check that keeps slow
// work off it.
//
// Threads. `AudioThreadScope` marks the calling thread for its lifetime (one
// thread-local counter, so scopes nest). Every slow operation (allocating
// storage, preparing impulses, minimum phase, resampling, convolver spectra,
// waiting for a worker) starts with `CheckOffAudioThread("what")`, which
// counts a violation when it runs inside such a scope. The checks are cheap
// and run in every build; tests read the count.

namespace tonewright {

class AudioThreadScope {
public:
    AudioThreadScope();
    ~AudioThreadScope();
    AudioThreadScope(const AudioThreadScope&) = delete;
    AudioThreadScope& operator=(const AudioThreadScope&) = delete;
};

// True while the calling thread is inside an AudioThreadScope.
bool OnAudioThread();
void CountAudioThreadViolation(const char* what);

inline void CheckOffAudioThread(const char* what)
{
    if (OnAudioThread()) CountAudioThreadViolation(what);
}

// Violations counted since the start (or the last reset), and the name the
// first of them gave (null when none).
long AudioThreadViolations();
const char* FirstAudioThreadViolation();
void ResetAudioThreadViolations();

}  // namespace tonewright
