#include "effects/GraphicEQ7.h"

#include <algorithm>
#include <cmath>

#include "dsp/ParameterRules.h"
#include "dsp/StageFields.h"

namespace tonewright {

namespace {

constexpr double kBandFrequencies[3][GraphicEQ7::kBands] = {
    {100.0, 200.0, 400.0, 800.0, 1600.0, 3200.0, 6400.0},
    {80.0, 160.0, 320.0, 640.0, 1280.0, 2560.0, 5120.0},
    {62.5, 125.0, 250.0, 500.0, 1000.0, 2000.0, 4000.0},
};

// Filter parameter ids.
constexpr int kEnable = 0, kType = 1, kFrequency = 2, kQ = 3, kLevel = 4;

}  // namespace

double GraphicEQ7::BandFrequency(int type, int band)
{
    if (type < 0 || type > 2 || band < 0 || band >= kBands) return 0.0;
    return kBandFrequencies[type][band];
}

GraphicEQ7::GraphicEQ7()
{
    SetFs(44100.0);
    for (int s = 0; s < kSections; ++s) {
        const bool output = s == kOutput;
        SetSection(s, kEnable, 1.0);
        SetSection(s, kType, output ? Filter::kGain : Filter::kPeak);
        if (!output) SetSectionFrequency(s, kBandFrequencies[0][std::min(s, kBands - 1)]);
        SetSection(s, kQ, 1.0);
        SetSection(s, kLevel, 0.0);
    }
    // Stored values no valid record holds, so every default reaches the sections.
    params.enable = false;
    params.type = -1;
    for (int b = 0; b < kBands; ++b) *BandLevel(b) = -1.0;
    params.parametric_frequency = params.parametric_q = params.parametric_level = params.level = -1.0;
    SetParameters(GraphicEQ7Parameters{});
}

double* GraphicEQ7::BandLevel(int band)
{
    double* const levels[kBands] = {&params.band1, &params.band2, &params.band3, &params.band4,
                                    &params.band5, &params.band6, &params.band7};
    return levels[band];
}

void GraphicEQ7::SetSection(int section, int filterParameter, double v)
{
    sectionsL[section].SetParameter(filterParameter, v);
    sectionsR[section].SetParameter(filterParameter, v);
}

void GraphicEQ7::SetSectionFrequency(int section, double f) { SetSection(section, kFrequency, std::min(f, 0.499 * fs)); }

void GraphicEQ7::ApplyFrequencies()
{
    if (params.type >= 0 && params.type <= 2) {
        for (int b = 0; b < kBands; ++b) SetSectionFrequency(b, kBandFrequencies[params.type][b]);
    }
    if (params.parametric_frequency > 0.0) SetSectionFrequency(kMid, params.parametric_frequency);
}

void GraphicEQ7::SetParameter(int id, double v)
{
    const auto gain = [&](double& field, int section) {
        if (acceptDoubleClamped(field, v, true, -kLargestGainDb, kLargestGainDb)) SetSection(section, kLevel, field);
    };
    switch (id) {
    case 0:
        bypass.SetEnable(params.enable, v);
        return;
    case 1:
        if (!acceptInt(params.type, v, 0, 2)) return;
        for (int b = 0; b < kBands; ++b) SetSectionFrequency(b, kBandFrequencies[params.type][b]);
        return;
    case 2: case 3: case 4: case 5: case 6: case 7: case 8:
        gain(*BandLevel(id - 2), id - 2);
        return;
    case 9:
        if (acceptFrequency(params.parametric_frequency, v)) SetSectionFrequency(kMid, params.parametric_frequency);
        return;
    case 10:
        if (acceptDoubleClamped(params.parametric_q, v, v > 0.0, kSmallestQ, kLargestQ)) {
            SetSection(kMid, kQ, params.parametric_q);
        }
        return;
    case 11: gain(params.parametric_level, kMid); return;
    case 12: gain(params.level, kOutput); return;
    default: return;
    }
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&GraphicEQ7Parameters::enable, &GraphicEQ7Parameters::type,
                                     &GraphicEQ7Parameters::band1, &GraphicEQ7Parameters::band2,
                                     &GraphicEQ7Parameters::band3, &GraphicEQ7Parameters::band4,
                                     &GraphicEQ7Parameters::band5, &GraphicEQ7Parameters::band6,
                                     &GraphicEQ7Parameters::band7, &GraphicEQ7Parameters::parametric_frequency,
                                     &GraphicEQ7Parameters::parametric_q, &GraphicEQ7Parameters::parametric_level,
                                     &GraphicEQ7Parameters::level);

double GraphicEQ7::GetParameter(int id) const { return kFields.Get(params, id); }

void GraphicEQ7::SetParameters(const GraphicEQ7Parameters& p) { kFields.Apply(p, *this); }

void GraphicEQ7::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    for (int s = 0; s < kSections; ++s) {
        sectionsL[s].SetFs(rate);
        sectionsR[s].SetFs(rate);
    }
    bypass.SetFs(rate);
    ApplyFrequencies();
}

void GraphicEQ7::Settle()
{
    for (int s = 0; s < kSections; ++s) {
        sectionsL[s].Settle();
        sectionsR[s].Settle();
    }
    bypass.Settle();
}

void GraphicEQ7::Reserve(int n)
{
    for (int s = 0; s < kSections; ++s) {
        sectionsL[s].Reserve(n);
        sectionsR[s].Reserve(n);
    }
    bypass.Reserve(n);
}

void GraphicEQ7::process(double* x, int n)
{
    bypass.Run(x, n, [&] {
        Filter* s[kSections];
        for (int j = 0; j < kSections; ++j) s[j] = &sectionsL[j];
        if (!Filter::processShortCascade(s, kSections, x, n)) Filter::processCascade(s, kSections, x, n);
    });
}

bool GraphicEQ7::processThen(Filter* const* after, int count, double* x, int n)
{
    if (!bypass.Steady() || count < 0 || count > Filter::kShortCascade - kSections) return false;
    Filter* s[Filter::kShortCascade];
    for (int j = 0; j < kSections; ++j) s[j] = &sectionsL[j];
    for (int j = 0; j < count; ++j) s[kSections + j] = after[j];
    return Filter::processShortCascade(s, kSections + count, x, n);
}

void GraphicEQ7::process(double* l, double* r, int n)
{
    bypass.Run(l, r, n, [&] {
        Filter* left[kSections];
        Filter* right[kSections];
        for (int j = 0; j < kSections; ++j) {
            left[j] = &sectionsL[j];
            right[j] = &sectionsR[j];
        }
        Filter::processCascade(left, right, kSections, l, r, n);
    });
}

}  // namespace tonewright
