// Impulse preparation off the audio thread: the cost of one resampling of a
// stereo impulse as the cabinet does it (a new resampler, then both
// channels) and of decoding an impulse file image. Each case's "block" is one
// whole call, so its ms/audio-s column reads as milliseconds per call.

#include <cstdint>
#include <random>
#include <vector>

#include "Bench.h"
#include "cabinet/ImpulseFile.h"
#include "cabinet/Resampler.h"

namespace tonewright {
namespace {

bench::Result perCall(int calls, const std::function<void()>& call)
{
    return bench::measure(1.0, 1, calls, 3, [&](int) { call(); });
}

bench::Result resampleStereo(int taps, double from, double to)
{
    std::mt19937 rng(1);
    std::vector<double> left(static_cast<size_t>(taps)), right(static_cast<size_t>(taps)), out(65536);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = (double(rng()) / 4294967296.0 - 0.5) / (1.0 + double(i));
        right[i] = -left[i];
    }
    return perCall(4, [&] {
        Resampler r(1.0 / 12.0, 12.0, 35, 4096.0, true);
        for (const std::vector<double>* channel : {&left, &right}) {
            r.reset();
            int used = 0;
            r.process(to / from, channel->data(), taps, 1, &used, out.data(), 65536);
        }
    });
}

std::vector<unsigned char> wavImage(int frames)
{
    std::vector<unsigned char> b;
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    const uint32_t data = uint32_t(frames) * 6;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put(36 + data, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(48000, 4);
    put(48000 * 6, 4);
    put(6, 2);
    put(24, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put(data, 4);
    std::mt19937 rng(2);
    for (uint32_t i = 0; i < data; ++i) b.push_back(static_cast<unsigned char>(rng()));
    return b;
}

const bench::Register up("impulse: resample 32768-tap stereo 44.1->96 kHz, ms/call",
                         [] { return resampleStereo(32768, 44100.0, 96000.0); });
const bench::Register down("impulse: resample 65536-tap stereo 192->44.1 kHz, ms/call",
                           [] { return resampleStereo(65536, 192000.0, 44100.0); });
const bench::Register near("impulse: resample 65536-tap stereo 44.1->48 kHz, ms/call",
                           [] { return resampleStereo(65536, 44100.0, 48000.0); });
const bench::Register decode("impulse: decode 65536-frame 24-bit stereo WAV, ms/call", [] {
    const std::vector<unsigned char> image = wavImage(65536);
    std::vector<double> left, right;
    int frames = 0;
    return perCall(20, [&] { LoadWAVImpulseData(image.data(), image.size(), &left, &right, &frames, nullptr, nullptr); });
});

}  // namespace

}  // namespace tonewright
