// The Effect's bank as the process's one chunk: its record, a host
// document saved and opened again in a second instance, and records the
// Effect must never see.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "ProToolsHarness.h"

using namespace tonewright;

namespace {

using pttest::ChunkId;
using pttest::EffectChunk;

// 56 header bytes, then the bank text as it was when the size was asked;
// a record one byte short gets nothing of the plug-in's, and one asked for
// without measuring is measured then; other chunk ids are the library's and
// leave the Effect alone.
TEST(ProToolsChunk, TheRecordIsTheHeaderThenTheBankTextMeasuredOnce)
{
    auto instance = pttest::Make(2);
    Effect& fx = pttest::EffectOf(*instance);
    CEffectProcess& p = instance->process();
    const OSType id = ChunkId(*instance), other = MakeOSType('e', 'l', 's', 'e');
    const std::string text = EffectChunk(fx);
    ASSERT_EQ(text.rfind("<TWRChunk", 0), 0u);
    int32_t size = 0;
    ASSERT_EQ(p.HostChunkSize(id, &size), kPlugInNoErr);
    EXPECT_EQ(size, static_cast<int32_t>(56 + text.size()));
    instance->setControl(31, 0.9);
    std::vector<unsigned char> record(size_t(size), 0xAB);
    ASSERT_EQ(p.HostReadChunk(id, record.data(), uint32_t(size)), kPlugInNoErr);
    const auto* header = reinterpret_cast<const PlugInChunkHeader*>(record.data());
    EXPECT_TRUE(header->size == size && header->chunkID == id);
    EXPECT_EQ(pthost::ChunkText(record), text);

    const std::string moved = EffectChunk(fx);
    ASSERT_NE(moved, text);
    ASSERT_EQ(p.HostChunkSize(id, &size), kPlugInNoErr);
    record.assign(size_t(size) - 1, 0xAB);
    EXPECT_EQ(p.HostReadChunk(id, record.data(), uint32_t(size) - 1), kPlugInChunkRangeErr);
    std::fill_n(record.begin() + 4, 52, 0xAB);  // the library's part of the header; the rest is the plug-in's
    EXPECT_EQ(record, std::vector<unsigned char>(size_t(size) - 1, 0xAB));
    record = instance->readChunk(id);
    EXPECT_EQ(pthost::ChunkText(record), moved);

    size = -5;
    EXPECT_EQ(p.HostChunkSize(other, &size), kPlugInChunkUnknownErr);
    EXPECT_EQ(size, -5);
    EXPECT_EQ(p.HostWriteChunk(other, record.data(), uint32_t(record.size())), kPlugInChunkUnknownErr);
    EXPECT_EQ(p.HostReadChunk(other, record.data(), uint32_t(record.size())), kPlugInChunkUnknownErr);
    EXPECT_EQ(pthost::ChunkText(record), moved);
    EXPECT_EQ(EffectChunk(fx), moved);
}

// A document saved from one instance and opened in another: the same
// programs, current program, parameters, modified flag and sound, whichever
// the host restores first, chunk or control values.
TEST(ProToolsChunk, ASavedDocumentOpensInASecondInstanceWithTheSameProgramsParametersAndSound)
{
    const pttest::Signals in = {pttest::TestSignal(30000, 11), pttest::TestSignal(30000, 12)};
    for (bool modified : {true, false}) {
        SCOPED_TRACE(modified);
        auto original = pttest::Make(2);
        Effect& a = pttest::EffectOf(*original);
        // The chunk's numbers have six significant digits: the original
        // starts from a sound they carry exactly (its own chunk once), and
        // takes values they carry exactly.
        std::vector<unsigned char> start = original->readChunk(ChunkId(*original));
        ASSERT_EQ(original->writeChunk(ChunkId(*original), start), kPlugInNoErr);
        for (auto [k, v] : {std::pair{31, 0.1875}, {75, 1.0}, {77, 0.625}, {39, 1.0}}) original->setControl(k, v);
        a.saveCurrentToBank("Other Sound", 3);
        for (auto [k, v] : {std::pair{69, 1.0}, {31, 0.25}, {75, 0.0}}) original->setControl(k, v);
        a.saveCurrentToBank("Round Trip", 7);
        if (modified) original->setControl(63, 1.0);
        const pthost::Session session = original->save();
        const auto expected = pttest::Render(*original, in);

        for (bool chunksFirst : {true, false}) {
            SCOPED_TRACE(chunksFirst);
            auto reopened = pttest::Make(2);
            Effect& b = pttest::EffectOf(*reopened);
            ASSERT_EQ(reopened->restore(session, chunksFirst), kPlugInNoErr);
            EXPECT_EQ(b.getProgram(), 7);
            for (int k = 0; k < 128; ++k) {
                char x[32] = {}, y[32] = {};
                a.getProgramNameIndexed(0, k, x);
                b.getProgramNameIndexed(0, k, y);
                EXPECT_STREQ(y, x) << k;
            }
            for (int i = 0; i < 80; ++i) EXPECT_EQ(b.getParameter(i), a.getParameter(i)) << i;
            for (int k = 1; k <= 81; ++k)
                EXPECT_EQ(reopened->process().GetControlValue(k), original->process().GetControlValue(k)) << k;
            EXPECT_EQ(b.isProgramModified(), modified);
            EXPECT_EQ(EffectChunk(b), pthost::ChunkText(session.chunks[0].second));
            EXPECT_EQ(pttest::Render(*reopened, in), expected);
        }
    }
}

// Records the Effect must not see are refused without touching it or the
// library's memory; only text that begins as a bank reaches it, and the
// size field, not the record, says where the text ends.
TEST(ProToolsChunk, MalformedRecordsAreRefusedWithTheLibrarysMemoryUntouched)
{
    auto source = pttest::Make(1);
    pttest::EffectOf(*source).saveCurrentToBank("Source", 5);
    const std::vector<unsigned char> good = source->readChunk(ChunkId(*source));
    const std::string bank = pthost::ChunkText(good);
    const std::string preset = EffectChunk(pttest::EffectOf(*source), true);
    const auto withSize = [&](int64_t size, size_t padding = 0) {
        std::vector<unsigned char> r = good;
        const auto s = static_cast<int32_t>(size);
        std::memcpy(r.data(), &s, sizeof s);
        r.insert(r.end(), padding, 0xFF);
        return r;
    };
    const int64_t real = static_cast<int64_t>(good.size());
    const struct {
        const char* what;
        std::vector<unsigned char> record;
        ComponentResult result;
        bool taken;
    } cases[] = {
        {"size field 55", withSize(55), kPlugInChunkRangeErr, false},
        {"size field -1", withSize(-1), kPlugInChunkRangeErr, false},
        {"size field INT32_MIN", withSize(INT32_MIN), kPlugInChunkRangeErr, false},
        {"size field one past the record", withSize(real + 1), kPlugInChunkRangeErr, false},
        {"size field INT32_MAX", withSize(INT32_MAX), kPlugInChunkRangeErr, false},
        {"a record shorter than the header", {good.begin(), good.begin() + 40}, kPlugInChunkRangeErr, false},
        {"no text", pthost::ChunkRecord(""), kPlugInChunkRangeErr, false},
        {"a preset", pthost::ChunkRecord(preset), kPlugInChunkRangeErr, false},
        {"text that is not XML", pthost::ChunkRecord("hello, world"), kPlugInChunkRangeErr, false},
        {"a space before the bank", pthost::ChunkRecord(" " + bank), kPlugInChunkRangeErr, false},
        {"a byte-order mark", pthost::ChunkRecord("\xEF\xBB\xBF" + bank), kPlugInChunkRangeErr, false},
        {"the bank cut short", withSize(real - 40), kPlugInNoErr, false},
        {"a bank that is not well-formed", pthost::ChunkRecord("<TWRChunk><TWRBank>"), kPlugInNoErr, false},
        {"the bank with bytes after it", withSize(real, 300), kPlugInNoErr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto target = pttest::Make(1);
        Effect& fx = pttest::EffectOf(*target);
        const std::string before = EffectChunk(fx);
        std::vector<unsigned char> record = c.record;
        EXPECT_EQ(target->process().HostWriteChunk(ChunkId(*target), record.data(), uint32_t(record.size())), c.result);
        EXPECT_EQ(record, c.record);
        EXPECT_EQ(EffectChunk(fx), c.taken ? bank : before);
        EXPECT_FALSE(fx.isProgramModified());
    }
}

}  // namespace
