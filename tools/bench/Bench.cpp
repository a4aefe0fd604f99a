#include "Bench.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace tonewright {
namespace bench {

std::vector<Case>& registry()
{
    static std::vector<Case> cases;
    return cases;
}

std::vector<double> noise(int n, double amplitude, unsigned seed)
{
    std::vector<double> v(static_cast<size_t>(n));
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-amplitude, amplitude);
    for (double& x : v) x = d(rng);
    return v;
}

std::vector<double> plucked(int n, double fs)
{
    const double pi = 3.14159265358979323846;
    const double chords[4][3] = {{82.4, 123.5, 164.8}, {110.0, 164.8, 220.0}, {98.0, 146.8, 196.0}, {73.4, 110.0, 146.8}};
    std::vector<double> v(static_cast<size_t>(n));
    const int period = static_cast<int>(0.5 * fs);
    for (int i = 0; i < n; ++i) {
        const int note = i / period;
        const double t = (i % period) / fs;
        double x = 0.0;
        for (double f : chords[note % 4]) {
            for (int k = 1; k <= 8; ++k) x += std::sin(2.0 * pi * f * k * t) * std::exp(-t * (3.0 + k)) / k;
        }
        v[static_cast<size_t>(i)] = 0.18 * x;
    }
    return v;
}

Result measure(double fs, int block, double audioSeconds, int repetitions, const std::function<void(int)>& process)
{
    using clock = std::chrono::steady_clock;
    const long total = static_cast<long>(audioSeconds * fs);
    std::vector<double> runs, blocks;
    blocks.reserve(static_cast<size_t>(total / block + 1));
    Result r;
    r.block = block;
    r.p99BlockMicros = r.maxBlockMicros = std::numeric_limits<double>::infinity();
    for (int rep = 0; rep < repetitions; ++rep) {
        blocks.clear();
        const auto start = clock::now();
        for (long pos = 0; pos < total; pos += block) {
            const int n = static_cast<int>(std::min<long>(block, total - pos));
            const auto b0 = clock::now();
            process(n);
            blocks.push_back(std::chrono::duration<double, std::micro>(clock::now() - b0).count());
        }
        runs.push_back(std::chrono::duration<double>(clock::now() - start).count() / audioSeconds);
        if (blocks.empty()) continue;
        std::sort(blocks.begin(), blocks.end());
        const size_t p99 = std::min(blocks.size() - 1, static_cast<size_t>(std::ceil(0.99 * double(blocks.size()))) - 1);
        r.p99BlockMicros = std::min(r.p99BlockMicros, blocks[p99]);
        r.maxBlockMicros = std::min(r.maxBlockMicros, blocks.back());
    }
    std::sort(runs.begin(), runs.end());
    r.secondsPerAudioSecond = runs[runs.size() / 2];
    return r;
}

}  // namespace bench

namespace {

// A case-insensitive substring match.
bool matches(const std::string& name, const std::string& filter)
{
    const auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    return lower(name).find(lower(filter)) != std::string::npos;
}

}  // namespace

}  // namespace tonewright

int main(int argc, char** argv)
{
    using namespace tonewright;
    if (argc > 1 && std::string(argv[1]) == "--peers") return bench::runPeers(argc > 2 ? argv[2] : "");
    if (argc == 3 && std::string(argv[1]) == "--default-bank") return bench::writeDefaultBank(argv[2]) ? 0 : 1;
    const std::string filter = argc > 1 ? argv[1] : "";
    std::vector<const bench::Case*> chosen;
    for (const auto& c : bench::registry())
        if (matches(c.name, filter)) chosen.push_back(&c);
    if (chosen.empty()) {
        std::fprintf(stderr, "tonewright-bench: no case matches \"%s\"; the cases are:\n", filter.c_str());
        for (const auto& c : bench::registry()) std::fprintf(stderr, "  %s\n", c.name.c_str());
        return 1;
    }
    std::printf("%-58s %11s %11s %6s %13s %13s\n", "case", "ms/audio-s", "x realtime", "block", "p99 block us",
                "max block us");
    for (const bench::Case* c : chosen) {
        const bench::Result r = c->run();
        std::printf("%-58s %11.3f %11.1f %6d %13.1f %13.1f\n", c->name.c_str(), 1000.0 * r.secondsPerAudioSecond,
                    1.0 / r.secondsPerAudioSecond, r.block, r.p99BlockMicros, r.maxBlockMicros);
        std::fflush(stdout);
    }
    return 0;
}
