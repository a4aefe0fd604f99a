#include "Bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

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

Result measure(double fs, int block, double audioSeconds, int repetitions, const std::function<void(int)>& process)
{
    using clock = std::chrono::steady_clock;
    const long total = static_cast<long>(audioSeconds * fs);
    std::vector<double> runs;
    Result r;
    r.block = block;
    for (int rep = 0; rep < repetitions; ++rep) {
        const auto start = clock::now();
        for (long pos = 0; pos < total; pos += block) {
            const int n = static_cast<int>(std::min<long>(block, total - pos));
            const auto b0 = clock::now();
            process(n);
            const double us = std::chrono::duration<double, std::micro>(clock::now() - b0).count();
            r.worstBlockMicros = std::max(r.worstBlockMicros, us);
        }
        runs.push_back(std::chrono::duration<double>(clock::now() - start).count() / audioSeconds);
    }
    std::sort(runs.begin(), runs.end());
    r.secondsPerAudioSecond = runs[runs.size() / 2];
    return r;
}

}  // namespace bench

int main(int argc, char** argv)
{
    const char* filter = argc > 1 ? argv[1] : "";
    std::printf("%-52s %14s %12s %8s %14s\n", "case", "ms/audio-s", "x realtime", "block", "worst block us");
    for (const auto& c : bench::registry()) {
        if (!std::strstr(c.name.c_str(), filter)) continue;
        const bench::Result r = c.run();
        std::printf("%-52s %14.3f %12.1f %8d %14.1f\n", c.name.c_str(), 1000.0 * r.secondsPerAudioSecond,
                    1.0 / r.secondsPerAudioSecond, r.block, r.worstBlockMicros);
        std::fflush(stdout);
    }
    return 0;
}
