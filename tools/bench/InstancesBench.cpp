// A hundred instances in one process, as a session with many tracks holds
// them: the resident memory each costs with the factory bank, the threads
// they start, what the process keeps once they are closed, and the time of
// a block through all of them.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <unistd.h>

#include "Bench.h"
#include "plugin/Effect.h"

using namespace tonewright;

namespace {

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

double residentMB()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

int threads()
{
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

bench::Result instances(int count)
{
    const double fs = 44100.0;
    const int block = 64;
    const double before = residentMB();
    const int threadsBefore = threads();
    std::vector<std::unique_ptr<Effect>> fx;
    std::vector<float> in(static_cast<size_t>(block)), l(in.size()), r(in.size());
    for (size_t i = 0; i < in.size(); ++i) in[i] = 0.1f * static_cast<float>(i % 7);
    float* inputs[2] = {in.data(), nullptr};
    float* outputs[2] = {l.data(), r.data()};
    for (int i = 0; i < count; ++i) {
        fx.push_back(std::make_unique<Effect>(host));
        fx.back()->setSampleRate(static_cast<float>(fs));
        fx.back()->setBlockSize(block);
        fx.back()->resume();
        fx.back()->processReplacing(inputs, outputs, block);
    }
    const double open = residentMB();
    const int threadsOpen = threads();
    const bench::Result result = bench::measure(fs, block, 2.0, 3, [&](int n) {
        for (auto& e : fx) e->processReplacing(inputs, outputs, n);
    });
    fx.clear();
    const double closed = residentMB();
    std::printf("  %d instances: resident %.0f MB before, %.0f MB open (%.1f MB each), %.0f MB once closed; "
                "threads %d before, %d open, %d once closed\n",
                count, before, open, (open - before) / count, closed, threadsBefore, threadsOpen, threads());
    return result;
}

const bench::Register hundred("plugin: 100 instances, 44.1 kHz, block 64 (resident memory, threads)",
                              [] { return instances(100); });

}  // namespace
