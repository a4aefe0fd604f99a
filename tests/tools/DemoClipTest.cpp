// The demo clip is what the factory programs are voiced on: it must sound
// like a guitar DI recording (band balance, peak level), carry a steady
// noise floor in its lead-in and tail, and come out byte for byte the same
// on every run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cabinet/Fft.h"
#include "FileBytes.h"
#include "common/WavFile.h"

using namespace tonewright;

namespace {

namespace fs = std::filesystem;

double rmsDb(const std::vector<double>& x, size_t begin, size_t end)
{
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += x[i] * x[i];
    return 10.0 * std::log10(sum / double(end - begin));
}

// Power spectrum of x[begin, end) zero-padded to a power of two: bin k is
// k * fs / size Hz.
struct Spectrum {
    std::vector<double> power;
    double binHz = 0.0;

    double band(double lo, double hi) const
    {
        double sum = 0.0;
        for (size_t k = 1; k < power.size(); ++k) {
            const double f = double(k) * binHz;
            if (f >= lo && f < hi) sum += power[k];
        }
        return sum;
    }
    double total() const { return band(0.5 * binHz, 1e9); }
};

Spectrum spectrum(const std::vector<double>& x, size_t begin, size_t end, double fs)
{
    int n = 1;
    while (size_t(n) < end - begin) n *= 2;
    std::vector<double> a(size_t(n), 0.0);
    std::copy(x.begin() + long(begin), x.begin() + long(end), a.begin());
    std::vector<int> ip(size_t(tonewright::fft::rdftIpSize(n)), 0);
    std::vector<double> w(size_t(tonewright::fft::rdftWSize(n)));
    tonewright::rdft(n, 1, a.data(), ip.data(), w.data());
    Spectrum s;
    s.binHz = fs / n;
    s.power.resize(size_t(n / 2));
    s.power[0] = a[0] * a[0];
    for (int k = 1; k < n / 2; ++k) s.power[size_t(k)] = a[2 * k] * a[2 * k] + a[2 * k + 1] * a[2 * k + 1];
    return s;
}

double shareDb(const Spectrum& s, double lo, double hi) { return 10.0 * std::log10(s.band(lo, hi) / s.total()); }

}  // namespace

TEST(DemoClip, SoundsLikeADiRecordingWithASteadyNoiseFloorAndTheSameBytesEveryRun)
{
    const fs::path dir = fs::temp_directory_path() / ("tw-demo-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path first = dir / "a.wav", second = dir / "b.wav";
    for (const fs::path& out : {first, second}) {
        const std::string command = "'" TONEWRIGHT_DEMO_CLIP_PATH "' '" + out.string() + "' > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    const std::string bytes = bytesOf(first);
    EXPECT_GT(bytes.size(), 44u);
    EXPECT_TRUE(bytes == bytesOf(second)) << "two runs wrote different files";

    AudioClip clip;
    std::string error;
    ASSERT_TRUE(readWav(first.string(), clip, error)) << error;
    fs::remove_all(dir);
    ASSERT_EQ(clip.channels, 1);
    ASSERT_EQ(clip.sampleRate, 44100.0);
    const std::vector<double>& x = clip.samples[0];
    const double rate = clip.sampleRate;
    const size_t n = x.size();
    const auto at = [&](double seconds) { return static_cast<size_t>(seconds * rate); };
    ASSERT_GT(n, at(10.0));

    // DI level.
    double peak = 0.0;
    for (double v : x) peak = std::max(peak, std::fabs(v));
    EXPECT_GE(20.0 * std::log10(peak), -6.0);
    EXPECT_LE(20.0 * std::log10(peak), -3.0);

    // The lead-in and the last three seconds hold only the noise floor, about
    // -85 dBFS and steady: every quarter second the same level, so no note
    // is still dying away in the tail. Playing starts right after the lead-in.
    const size_t tail = n - at(3.0);
    EXPECT_NEAR(rmsDb(x, 0, at(0.19)), -85.0, 1.0);
    for (size_t b = tail; b + at(0.25) <= n; b += at(0.25)) EXPECT_NEAR(rmsDb(x, b, b + at(0.25)), -85.0, 1.0) << b / rate;
    EXPECT_GT(rmsDb(x, at(0.2), at(0.4)), -40.0);
    // Both hum (mains and its harmonics, below 400 Hz) and hiss (above 1 kHz).
    const Spectrum floor = spectrum(x, tail, n, rate);
    const double floorDb = rmsDb(x, tail, n);
    EXPECT_NEAR(floorDb + shareDb(floor, 40.0, 400.0), -88.0, 2.0);
    EXPECT_NEAR(floorDb + shareDb(floor, 1000.0, 20000.0), -88.5, 2.0);
    EXPECT_GT(floor.band(49.0, 51.0) + floor.band(149.0, 151.0), 0.5 * floor.band(40.0, 400.0));

    // Band balance like a recorded DI: the lows within 10 dB of the upper
    // mids, most energy below 1 kHz, little above 4 kHz.
    const Spectrum all = spectrum(x, 0, n, rate);
    const double low = shareDb(all, 80, 250), lowMid = shareDb(all, 250, 1000), upperMid = shareDb(all, 1000, 4000),
                 high = shareDb(all, 4000, 10000);
    EXPECT_LE(std::fabs(low - upperMid), 10.0) << low << " " << upperMid;
    EXPECT_GT(lowMid, upperMid);
    EXPECT_LT(high, upperMid - 6.0);
    double centroid = 0.0;
    for (size_t k = 1; k < all.power.size(); ++k) centroid += double(k) * all.binHz * all.power[k];
    centroid /= all.total();
    EXPECT_GT(centroid, 300.0);
    EXPECT_LT(centroid, 1200.0);
}
