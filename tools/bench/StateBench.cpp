// What remembering costs: state chunks of the factory bank (size, time to
// write and read back, the bank comparison), how those times grow with the
// chunk's size, base64 throughput, making an instance with the factory bank
// installed, and the memory each instance holds.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Bench.h"
#include "plugin/Base64.h"
#include "plugin/Effect.h"
#include "plugin/PresetXml.h"

namespace tonewright {
namespace fs = std::filesystem;

namespace {

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

template <typename F>
double medianSeconds(int runs, F&& f)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        t.push_back(seconds(start));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// A support folder of its own with the factory bank installed.
struct BankHome {
    BankHome()
    {
        std::string name = (fs::temp_directory_path() / "twr-bench-XXXXXX").string();
        path = ::mkdtemp(name.data());
        ::setenv("XDG_DATA_HOME", path.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (path / "config").c_str(), 1);
        const SupportFolders folders = SupportFolders::Current();
        folders.Create();
        unpack_factory_settings(folders.banks / kFactoryBankName);
    }
    ~BankHome() { fs::remove_all(path); }
    fs::path path;
};

long residentKb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void chunkTimes(Effect& fx, const char* what)
{
    void* data = nullptr;
    VstInt32 size = 0;
    const double get = medianSeconds(5, [&] { size = fx.getChunk(&data, false); });
    const std::string copy(static_cast<const char*>(data), size_t(size));
    const double set = medianSeconds(5, [&] {
        std::string text = copy;
        fx.setChunk(text.data(), VstInt32(text.size()), false);
    });
    std::printf("  %s: bank chunk %.2f MB, getChunk %.1f ms, setChunk %.1f ms\n", what, size / 1e6, 1e3 * get,
                1e3 * set);
}

bench::Result factoryState()
{
    BankHome home;
    Effect fx(host);
    chunkTimes(fx, "factory bank");
    const double compare = medianSeconds(5, [&] { fx.CompareBank(); });
    std::printf("  CompareBank %.1f ms (bank file %.2f MB)\n", 1e3 * compare,
                double(fs::file_size(home.path / "Quarrystone/TWR/Banks/QS Factory.xml")) / 1e6);
    return {};
}

bench::Result chunkGrowth()
{
    BankHome home;
    Effect fx(host);
    // Every program its own stereo impulse of n samples: the chunk grows
    // with n.
    for (int n : {512, 2048, 8192}) {
        const size_t length = static_cast<size_t>(n);
        std::vector<double> l(length), r(length);
        for (int p = 0; p < kNumPrograms; ++p) {
            for (int i = 0; i < n; ++i) {
                l[size_t(i)] = std::sin(0.01 * (i + p)) * std::exp(-i / double(n / 4));
                r[size_t(i)] = -l[size_t(i)];
            }
            // As a host would: a preset chunk with the impulse, stored as
            // program p.
            TonewrightParameters sound = fx.currentSound();
            sound.cabinet.SetImpulse(l.data(), r.data(), n, false, 44100.0, "Grown");
            std::string text;
            XmlWriter w(text);
            w.Open("TWRPreset");
            AddPresetToXML(sound, w);
            w.Close();
            fx.setChunk(text.data(), VstInt32(text.size()), true);
            fx.saveCurrentToBank("Grown", p);
        }
        chunkTimes(fx, (std::to_string(n) + "-sample impulses").c_str());
    }
    return {};
}

bench::Result base64Speed()
{
    std::vector<uint8_t> bytes(size_t(64) << 20);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 2654435761u >> 13);
    std::string text(base64::EncodedLength(bytes.size(), 64), '\0');
    const double encode = medianSeconds(5, [&] { base64::Encode(bytes.data(), bytes.size(), text.data(), 64); });
    const double decode = medianSeconds(5, [&] { base64::Decode(text, bytes.data(), bytes.size()); });
    std::printf("  base64 64-column: encode %.2f GB/s, decode %.2f GB/s (of bytes)\n", bytes.size() / encode / 1e9,
                bytes.size() / decode / 1e9);
    return {};
}

bench::Result construction()
{
    BankHome home;
    // Memory first, before anything else here has touched the heap's
    // high-water mark (run this case alone for a clean figure).
    const long before = residentKb();
    std::vector<std::unique_ptr<Effect>> instances;
    instances.push_back(std::make_unique<Effect>(host));
    const long one = residentKb();
    for (int i = 1; i < 8; ++i) instances.push_back(std::make_unique<Effect>(host));
    const long eight = residentKb();
    std::printf("  resident: %.1f MB for one instance, %.1f MB each for 8 (process %.1f MB)\n",
                (one - before) / 1024.0, (eight - before) / 8 / 1024.0, eight / 1024.0);
    instances.clear();
    const double made = medianSeconds(7, [] { Effect fx(host); });
    std::printf("  an instance with the factory bank: %.1f ms to make\n", 1e3 * made);
    return {};
}

const bench::Register factory("state: factory bank chunk and comparison", factoryState);
const bench::Register growth("state: chunk time against size", chunkGrowth);
const bench::Register b64("state: base64 throughput", base64Speed);
const bench::Register make("state: construction and memory with the factory bank", construction);

}  // namespace

}  // namespace tonewright
