// Renders a clip through the engine directly at a few settings (the main job
// until the plug-in exists).
//
// usage: render-demo IN.wav OUT_DIR

#include <cstdio>
#include <string>
#include <vector>

#include "Tonewright.h"
#include "common/WavFile.h"

namespace {

struct Setting {
    const char* name;
    std::vector<std::pair<int, double>> normalised;  // engine id, value 0..1
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s IN.wav OUT_DIR\n", argv[0]);
        return 2;
    }
    AudioClip in;
    std::string error;
    if (!readWav(argv[1], in, error)) {
        std::fprintf(stderr, "render-demo: %s\n", error.c_str());
        return 1;
    }
    const std::vector<Setting> settings = {
        {"default", {}},
        {"boost-bright", {{93, 1.0}, {92, 1.0}, {94, 0.4}}},
        {"deep-lowcut", {{91, 1.0}, {90, 1.0}, {94, 0.45}}},
    };
    const int block = 512;
    for (const Setting& s : settings) {
        Tonewright engine;
        engine.SetFs(in.sampleRate);
        engine.Reserve(block);
        for (const auto& [id, x] : s.normalised) engine.SetParameterNormalized(id, x);
        engine.cabinet.WaitForRebuild();  // offline: render with the cabinet the settings ask for

        AudioClip out;
        out.sampleRate = in.sampleRate;
        out.channels = 2;
        out.samples.assign(2, std::vector<double>(static_cast<size_t>(in.frames())));
        std::vector<double> mono(block);
        for (int pos = 0; pos < in.frames(); pos += block) {
            const int n = std::min(block, in.frames() - pos);
            for (int i = 0; i < n; ++i) {
                double sum = 0.0;
                for (int c = 0; c < in.channels; ++c) sum += in.samples[c][pos + i];
                mono[i] = sum / in.channels;
            }
            engine.process(mono.data(), &out.samples[0][pos], &out.samples[1][pos], n);
        }
        const std::string path = std::string(argv[2]) + "/engine-" + s.name + ".wav";
        if (!writeWavFloat(path, out)) {
            std::fprintf(stderr, "render-demo: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("render-demo: wrote %s\n", path.c_str());
    }
    return 0;
}
