// The audio path: bypass, the mono mix into the engine, the conversion back
// to float with clip detection, and the input and output meters.

#include <algorithm>
#include <cmath>

#include "dsp/AudioThread.h"
#include "plugin/Effect.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace tonewright {

namespace {

// Flush-to-zero and denormals-are-zero for the duration of one callback.
class DenormalsOff {
public:
#if defined(__SSE__)
    DenormalsOff() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040u); }
    ~DenormalsOff() { _mm_setcsr(saved); }

private:
    unsigned saved;
#else
    DenormalsOff() = default;
#endif
};

// Host samples reach the engine only when they are ordinary numbers:
// NaN, infinities and subnormals become 0.
inline float cleanFloat(float x) { return std::isnormal(x) ? x : 0.0f; }

// A missing input channel reads as silence.
inline float inputAt(const float* in, int i) { return in ? cleanFloat(in[i]) : 0.0f; }

inline float toOutput(double x) { return cleanFloat(static_cast<float>(x)); }

// A missing output channel is not written.
template <bool Accumulate>
inline void put(float* out, int i, float v)
{
    if (!out) return;
    if constexpr (Accumulate)
        out[i] += v;
    else
        out[i] = v;
}

double peakOf(const float* a, const float* b, int n)
{
    double p = 0.0;
    for (const float* x : {a, b})
        if (x)
            for (int i = 0; i < n; ++i) p = std::max(p, static_cast<double>(std::fabs(x[i])));
    return p;
}

}  // namespace

void Effect::processReplacing(float** inputs, float** outputs, VstInt32 n)
{
    render<false>(inputs, outputs, n);
}

void Effect::process(float** inputs, float** outputs, VstInt32 n)
{
    render<true>(inputs, outputs, n);
}

float Effect::getClipLedStatus()
{
    return clipTimer.load(std::memory_order_relaxed) <= kClipHoldSeconds ? 1.0f : 0.0f;
}

template <bool Accumulate>
void Effect::copyBypassed(const float* in0, const float* in1, float* out0, float* out1, int n)
{
    // Each frame is read before it is written, so in-place buffers work.
    for (int i = 0; i < n; ++i) {
        const float a = inputAt(in0, i);
        if (in1) {
            const float b = cleanFloat(in1[i]);
            if (out1) {
                put<Accumulate>(out0, i, a);
                put<Accumulate>(out1, i, b);
            } else {
                put<Accumulate>(out0, i, cleanFloat((a + b) * 0.5f));
            }
        } else {
            put<Accumulate>(out0, i, a);
            if (out1) put<Accumulate>(out1, i, a);
        }
    }
}

int Effect::ledLevel(double peakValue) const
{
    if (peakValue >= ledThreshold[2]) return 4;
    if (peakValue >= ledThreshold[1]) return 3;
    if (peakValue >= ledThreshold[0]) return 2;
    return 1;
}

void Effect::updateLed(std::atomic<int32_t>& shown, double& hold, int level, int n)
{
    int32_t s = shown.load(std::memory_order_relaxed);
    if (level < s) {
        if (hold <= kLedFallSeconds) hold += n * invSampleRate;
        if (hold >= kLedFallSeconds && s > 1) {
            --s;
            hold -= kLedFallSeconds;
        }
    } else {
        s = level;
        hold = 0.0;
    }
    shown.store(s, std::memory_order_relaxed);
}

void Effect::beginBlock()
{
    if (Delivery* d = handover.Take()) adopt(d);
    // The newest program change, from any thread, unless the sound that was
    // handed over came after it.
    const uint64_t state = programState.load(std::memory_order_acquire);
    const auto seq = static_cast<std::uint32_t>(state >> kProgramBits);
    if (seq != programsPlayed) {
        programsPlayed = seq;
        programPlayed = static_cast<int>(state & kProgramMask);
        if (newer(seq, live->programsSeen)) commit((*live->table)[size_t(programPlayed)].get());
    }
    // Before the first block, settings play from the first sample too.
    if (applyPendingParameters() && untouched) live->bundle->engine->EndFades();
}

void Effect::adopt(Delivery* d)
{
    Delivery* old = live;
    live = d;
    if (!old || d->bundle != old->bundle) {
        // A new engine comes with the sound it was built with.
        EngineBundle& b = *d->bundle;
        if (!b.tunerWindow.empty()) tuner.SetFs(b.rate, b.tunerWindow);
        invSampleRate = 1.0 / b.rate;
        playing = d->sound.get();
        untouched = true;
        markAllPending();
    }
    // A program change played here that the producer had not seen came after
    // what it sent: it plays on, from the programs just handed over.
    const PreparedProgram* target = d->sound.get();
    if (newer(programsPlayed, d->programsSeen)) target = (*d->table)[size_t(programPlayed)].get();
    if (target != playing) commit(target);
    if (old) {
        handover.Return(old);
        // Whatever it held is freed on the worker, soon.
        wakeWorker();
    }
}

void Effect::commit(const PreparedProgram* p)
{
    Tonewright& engine = *live->bundle->engine;
    {
        // What it replaces stays alive in the delivery that brought it,
        // which goes back only after this.
        const Tonewright::Replaced replaced = p->whole ? engine.CommitWholeSound(p->sound) : engine.CommitSound(p->sound);
    }
    // Before the first block (a host that sets up, then plays) the sound is
    // there from the first sample, with no fade from what it replaced.
    if (untouched) engine.EndFades();
    playing = p;
    // The parameter slots are what plays: the engine takes again every one
    // that differs from the record it was given.
    markAllPending();
}

template <bool Accumulate>
void Effect::render(float** inputs, float** outputs, int n)
{
    // The second pointer of a side decides mono or stereo there. A missing
    // first input is a silent channel, a missing first output one that is
    // not written; every output the host gave is written.
    const float* in0 = inputs ? inputs[0] : nullptr;
    const float* in1 = inputs ? inputs[1] : nullptr;
    float* out0 = outputs ? outputs[0] : nullptr;
    float* out1 = outputs ? outputs[1] : nullptr;
    if (!out0 && !out1) return;
    n = std::max(n, 0);
    const AudioThreadScope audioThread;
    DenormalsOff denormalsOff;

    beginBlock();
    if (!enabled.load(std::memory_order_relaxed)) {
        copyBypassed<Accumulate>(in0, in1, out0, out1, n);
        return;
    }

    EngineBundle& bundle = *live->bundle;
    Tonewright& chain = *bundle.engine;
    if (n > 0) untouched = false;

    const bool meters = moreScreenVisible.load(std::memory_order_relaxed);
    if (meters) updateLed(inputLed, inputLedHold, ledLevel(peakOf(in0, in1, n)), n);

    double clip = clipTimer.load(std::memory_order_relaxed);
    // A block longer than the buffers runs through the engine in pieces.
    const int piece = std::max(1, bundle.capacity);
    for (int start = 0; start < n; start += piece) {
        const int m = std::min(piece, n - start);
        double* mono = bundle.in.get();
        double* left = bundle.left.get();
        double* right = bundle.right.get();

        // Hosts feed a mono track's plug-in silence on its second input;
        // averaging would halve the guitar. Until the second input has
        // carried signal since the last resume, the first is the mix.
        bool both = in1 && secondInputHeard.load(std::memory_order_relaxed);
        if (in1 && !both) {
            for (int i = 0; i < m && !both; ++i) both = cleanFloat(in1[start + i]) != 0.0f;
            if (both) secondInputHeard.store(true, std::memory_order_relaxed);
        }
        if (both) {
            for (int i = 0; i < m; ++i)
                mono[i] = 0.5 * (static_cast<double>(inputAt(in0, start + i)) +
                                 static_cast<double>(cleanFloat(in1[start + i])));
        } else {
            for (int i = 0; i < m; ++i) mono[i] = static_cast<double>(inputAt(in0, start + i));
        }

        if (meters) tuner.process_input(mono, m);
        chain.process(mono, left, right, m);

        for (int i = 0; i < m; ++i) {
            clip += invSampleRate;
            if (std::fabs(left[i]) >= clipThreshold) clip = 0.0;
            if (out1) {
                if (std::fabs(right[i]) >= clipThreshold) clip = 0.0;
                put<Accumulate>(out0, start + i, toOutput(left[i]));
                put<Accumulate>(out1, start + i, toOutput(right[i]));
            } else {
                put<Accumulate>(out0, start + i, toOutput((left[i] + right[i]) * 0.5));
            }
        }
    }
    clipTimer.store(clip, std::memory_order_relaxed);

    if (meters) updateLed(outputLed, outputLedHold, ledLevel(peakOf(out0, out1, n)), n);
}

template void Effect::render<false>(float**, float**, int);
template void Effect::render<true>(float**, float**, int);

}  // namespace tonewright
