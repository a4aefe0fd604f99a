// What a host and a file see of a sound is kept on records alone, without
// the engine that plays it: every parameter id applied to a record gives the
// record the engine reads after the same setting, field for field and in the
// preset text, from the default sound and from every factory program.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/Tonewright.h"
#include "plugin/EffectProgram.h"
#include "plugin/ParameterTable.h"
#include "plugin/PresetXml.h"
#include "plugin/SupportFolders.h"
#include "plugin/XmlReader.h"

namespace {

using namespace tonewright;

std::string presetText(const TonewrightParameters& p) { return PresetFileText(p, "x"); }

// The differences of two records over every id's field and the pairs' own
// on-states, which no id reads.
std::string differences(const TonewrightParameters& engine, const TonewrightParameters& model)
{
    std::string out;
    for (int id = Tonewright::kFirstId; id <= Tonewright::kLastId; ++id) {
        const auto& field = kParameterTable[size_t(id)].field;
        if (field.read(engine) != field.read(model))
            out += " id " + std::to_string(id) + ": " + std::to_string(field.read(engine)) + " vs " +
                   std::to_string(field.read(model));
    }
    const bool on[][2] = {{engine.eq.parameters.enable, model.eq.parameters.enable},
                          {engine.tremolo.parameters.enable, model.tremolo.parameters.enable},
                          {engine.chorus.parameters.enable, model.chorus.parameters.enable},
                          {engine.flanger.parameters.enable, model.flanger.parameters.enable},
                          {engine.phaser.parameters.enable, model.phaser.parameters.enable},
                          {engine.echo.parameters.enable, model.echo.parameters.enable}};
    for (const auto& pair : on)
        if (pair[0] != pair[1]) out += " a pair's on-state";
    return out;
}

}  // namespace

TEST(SoundModel, EveryIdOnARecordReadsAsTheEngineDoesFromDefaultsAndEveryFactoryProgram)
{
    auto bank = std::make_unique<EffectProgram[]>(kNumPrograms);
    pugi::xml_document doc;
    ASSERT_TRUE(ParseXml(doc, FactoryBankText()));
    GetBankFromXML(bank.get(), doc.document_element());

    auto engine = std::make_unique<Tonewright>(48000.0, CabinetProcessor::Worker::none);
    constexpr double kValues[] = {0.0, 1.0, 0.5, 0.1, 0.77, 0.333, 0.9, 0.0};
    for (int program = -1; program < kNumPrograms; ++program) {
        SCOPED_TRACE(program < 0 ? std::string("default") : std::string(bank[program].name));
        const TonewrightParameters start = program < 0 ? TonewrightParameters() : bank[program].params;
        const Tonewright::Replaced replaced = engine->CommitWholeSound(engine->PrepareSound(start));
        TonewrightParameters model = *engine->GetParameters();
        // Read back as the model reads it: every id's normalised value.
        for (int id = Tonewright::kFirstId; id <= Tonewright::kLastId; ++id)
            ASSERT_EQ(RecordParameterNormalized(model, id), engine->GetParameterNormalized(id)) << "id " << id;
        // Programs step through the values in turn, ids in an order that
        // crosses the placements and the switches they govern.
        for (const double x : kValues) {
            for (int k = 0; k < Tonewright::kLastId; ++k) {
                const int id = Tonewright::kFirstId + (k * 37 + program + 128) % Tonewright::kLastId;
                engine->SetParameterNormalized(id, x);
                ApplyParameterNormalized(model, id, x);
                const std::string diff = differences(*engine->GetParameters(), model);
                ASSERT_TRUE(diff.empty()) << "after id " << id << " = " << x << ":" << diff;
            }
        }
        EXPECT_EQ(presetText(*engine->GetParameters()), presetText(model));
    }
}
