// libFuzzer target for the WAV and AIFF impulse readers. Whatever the bytes,
// a reader either refuses them, handing out nothing, or returns a
// well-formed impulse; checking alone agrees with loading; and the file path
// (through a memory file) gives the same answer as the memory image.

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cabinet/ImpulseFile.h"

using namespace tonewright;

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "impulse reader invariant broken: %s\n", what);
    std::abort();
}

bool acceptedRate(int rate)
{
    return rate == 44100 || rate == 48000 || rate == 88200 || rate == 96000 || rate == 176400 || rate == 192000;
}

struct Result {
    bool ok = false;
    std::vector<double> left{7.0}, right{7.0};
    int frames = -7, rate = -7;
    bool mono = false;
};

void checkResult(const Result& r)
{
    if (!r.ok) {
        require(r.left.size() == 1 && r.left[0] == 7.0 && r.right.size() == 1 && r.right[0] == 7.0,
                "a refusal changed the arrays");
        require(r.frames == -7 && r.rate == -7 && !r.mono, "a refusal changed an output");
        return;
    }
    require(r.frames > 0, "no frames");
    require(r.left.size() == size_t(r.frames) && r.right.size() == size_t(r.frames), "array sizes");
    require(acceptedRate(r.rate), "rate");
    for (size_t i = 0; i < r.left.size(); ++i)
        require(std::isfinite(r.left[i]) && std::isfinite(r.right[i]), "non-finite sample");
    if (r.mono) require(r.left == r.right, "mono channels differ");
}

int memoryFile()
{
    static const int fd = memfd_create("impulse", 0);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Result wav, aiff;
    wav.ok = LoadWAVImpulseData(data, size, &wav.left, &wav.right, &wav.frames, &wav.rate, &wav.mono);
    aiff.ok = LoadAIFFImpulseData(data, size, &aiff.left, &aiff.right, &aiff.frames, &aiff.rate, &aiff.mono);
    checkResult(wav);
    checkResult(aiff);
    require(!(wav.ok && aiff.ok), "both readers accepted one image");
    require(LoadWAVImpulseData(data, size, nullptr, nullptr, nullptr, nullptr, nullptr) == wav.ok,
            "WAV check differs from load");
    require(LoadAIFFImpulseData(data, size, nullptr, nullptr, nullptr, nullptr, nullptr) == aiff.ok,
            "AIFF check differs from load");

    const int fd = memoryFile();
    if (fd >= 0 && ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == ssize_t(size)) {
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        Result file;
        file.ok = LoadImpulse(path.c_str(), &file.left, &file.right, &file.frames, &file.rate, &file.mono);
        checkResult(file);
        const Result& memory = wav.ok ? wav : aiff;
        require(file.ok == (wav.ok || aiff.ok), "file and memory disagree");
        require(!file.ok || (file.left == memory.left && file.right == memory.right), "file samples differ");
    }
    return 0;
}
