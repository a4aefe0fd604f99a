// The Effect's bank as the process's one chunk: its record, the text
// measured and read, a host document saved and opened again in a second
// instance, and records the Effect must never see.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "ProToolsHarness.h"

namespace {

std::string effectChunk(Effect& fx)
{
    void* data = nullptr;
    const VstInt32 n = fx.getChunk(&data, false);
    return std::string(static_cast<const char*>(data), size_t(n));
}

OSType chunkID(const pthost::Instance& instance) { return instance.process().GetChunks().at(0).id; }

int32_t sizeField(const std::vector<unsigned char>& record)
{
    int32_t size = 0;
    std::memcpy(&size, record.data(), sizeof size);
    return size;
}

TEST(ProToolsChunk, TheRecordIs56HeaderBytesThenTheBankTextMeasuredOnce)
{
    auto instance = pttest::Make(2);
    Effect& fx = pttest::EffectOf(*instance);
    CEffectProcess& p = instance->process();
    const std::string text = effectChunk(fx);
    ASSERT_EQ(text.rfind("<TWRChunk", 0), 0u);

    int32_t size = 0;
    ASSERT_EQ(p.HostChunkSize(chunkID(*instance), &size), kPlugInNoErr);
    EXPECT_EQ(size, static_cast<int32_t>(56 + text.size()));
    // What the size was measured on is what is read, whatever moved since.
    instance->setControl(31, 0.9);
    std::vector<unsigned char> record(size_t(size), 0xAB);
    ASSERT_EQ(p.HostReadChunk(chunkID(*instance), record.data(), uint32_t(size)), kPlugInNoErr);
    const auto* header = reinterpret_cast<const PlugInChunkHeader*>(record.data());
    EXPECT_EQ(header->size, size);
    EXPECT_EQ(header->chunkID, MakeOSType('Q', 't', 'w', 'r'));
    EXPECT_EQ(header->typeID, MakeOSType('r', 't', 's', 't'));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(header->name), 13), "\x0cPlugin Chunk");
    EXPECT_EQ(pthost::ChunkText(record), text);

    // A record one byte short gets nothing of the plug-in's.
    const std::string moved = effectChunk(fx);
    ASSERT_NE(moved, text);
    ASSERT_EQ(p.HostChunkSize(chunkID(*instance), &size), kPlugInNoErr);
    std::vector<unsigned char> shortRecord(size_t(size) - 1, 0xAB);
    EXPECT_EQ(p.HostReadChunk(chunkID(*instance), shortRecord.data(), uint32_t(size) - 1), kPlugInChunkRangeErr);
    EXPECT_EQ(sizeField(shortRecord), static_cast<int32_t>(0xABABABABu));
    EXPECT_EQ(pthost::ChunkText(shortRecord), std::string(size_t(size) - 57, '\xAB'));
    // Asked without measuring: measured then.
    EXPECT_EQ(pthost::ChunkText(instance->readChunk(chunkID(*instance))), moved);
}

// A document saved from one instance and opened in another: the same
// programs, names, current program, parameters, modified flag and sound,
// whichever the host restores first, chunk or control values.
TEST(ProToolsChunk, ASavedDocumentOpensInASecondInstanceWithTheSameProgramsParametersAndSound)
{
    const std::vector<std::vector<float>> in = {pttest::TestSignal(30000, 11), pttest::TestSignal(30000, 12)};
    for (bool modified : {true, false}) {
        SCOPED_TRACE(modified);
        auto original = pttest::Make(2);
        Effect& a = pttest::EffectOf(*original);
        // The chunk's numbers have six significant digits: the original
        // starts from a sound they carry exactly (its own chunk once), and
        // takes values they carry exactly.
        std::vector<unsigned char> start = original->readChunk(chunkID(*original));
        ASSERT_EQ(original->writeChunk(chunkID(*original), start), kPlugInNoErr);
        for (auto [k, v] : {std::pair{31, 0.1875}, {75, 1.0}, {77, 0.625}, {39, 1.0}}) original->setControl(k, v);
        a.saveCurrentToBank("Other Sound", 3);
        for (auto [k, v] : {std::pair{69, 1.0}, {31, 0.25}, {75, 0.0}}) original->setControl(k, v);
        a.saveCurrentToBank("Round Trip", 7);
        if (modified) original->setControl(63, 1.0);
        ASSERT_EQ(a.programModified.load(), modified);
        const pthost::Session session = original->save();
        const auto expected = pttest::Render(*original, in);

        for (bool chunksFirst : {true, false}) {
            SCOPED_TRACE(chunksFirst);
            auto reopened = pttest::Make(2);
            Effect& b = pttest::EffectOf(*reopened);
            ASSERT_EQ(reopened->restore(session, chunksFirst), kPlugInNoErr);
            EXPECT_EQ(b.getProgram(), 7);
            for (int k = 0; k < 128; ++k) EXPECT_STREQ(b.programs[k].name, a.programs[k].name) << k;
            for (int i = 0; i < 80; ++i) EXPECT_EQ(b.getParameter(i), a.getParameter(i)) << i;
            for (int k = 1; k <= 81; ++k)
                EXPECT_EQ(reopened->process().GetControlValue(k), original->process().GetControlValue(k)) << k;
            EXPECT_EQ(b.programModified.load(), modified);
            EXPECT_EQ(effectChunk(b), pthost::ChunkText(session.chunks[0].second));
            EXPECT_EQ(pttest::Render(*reopened, in), expected);
        }
    }
}

// Records the Effect must not see are refused without touching it or the
// library's memory; only text that begins as a bank reaches it.
TEST(ProToolsChunk, MalformedRecordsAreRefusedWithTheLibrarysMemoryUntouched)
{
    auto source = pttest::Make(1);
    pttest::EffectOf(*source).saveCurrentToBank("Source", 5);
    const std::vector<unsigned char> good = source->readChunk(chunkID(*source));
    const std::string bank = pthost::ChunkText(good);
    void* data = nullptr;
    const VstInt32 n = pttest::EffectOf(*source).getChunk(&data, true);
    const std::string preset(static_cast<const char*>(data), size_t(n));

    const auto withSize = [&](int64_t size) {
        std::vector<unsigned char> r = good;
        const int32_t s = static_cast<int32_t>(size);
        std::memcpy(r.data(), &s, sizeof s);
        return r;
    };
    const int64_t real = static_cast<int64_t>(good.size());
    const struct {
        const char* what;
        std::vector<unsigned char> record;
        uint32_t bytes;  // 0: the record's size
        ComponentResult result;
    } cases[] = {
        {"size field 55", withSize(55), 0, kPlugInChunkRangeErr},
        {"size field 0", withSize(0), 0, kPlugInChunkRangeErr},
        {"size field -1", withSize(-1), 0, kPlugInChunkRangeErr},
        {"size field INT32_MIN", withSize(INT32_MIN), 0, kPlugInChunkRangeErr},
        {"size field one past the record", withSize(real + 1), 0, kPlugInChunkRangeErr},
        {"size field INT32_MAX", withSize(INT32_MAX), 0, kPlugInChunkRangeErr},
        {"a record shorter than the header", good, 40, kPlugInChunkRangeErr},
        {"no text", pthost::ChunkRecord(""), 0, kPlugInChunkRangeErr},
        {"a preset", pthost::ChunkRecord(preset), 0, kPlugInChunkRangeErr},
        {"text that is not XML", pthost::ChunkRecord("hello, world"), 0, kPlugInChunkRangeErr},
        {"a space before the bank", pthost::ChunkRecord(" " + bank), 0, kPlugInChunkRangeErr},
        {"a byte-order mark", pthost::ChunkRecord("\xEF\xBB\xBF" + bank), 0, kPlugInChunkRangeErr},
        {"the bank cut short", withSize(real - 40), 0, kPlugInNoErr},
        {"a bank that is not well-formed", pthost::ChunkRecord("<TWRChunk><TWRBank>"), 0, kPlugInNoErr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto target = pttest::Make(1);
        Effect& fx = pttest::EffectOf(*target);
        const std::string before = effectChunk(fx);
        std::vector<unsigned char> record = c.record;
        const uint32_t bytes = c.bytes ? c.bytes : static_cast<uint32_t>(record.size());
        EXPECT_EQ(target->process().HostWriteChunk(chunkID(*target), record.data(), bytes), c.result);
        EXPECT_EQ(record, c.record);
        EXPECT_EQ(effectChunk(fx), before);
        EXPECT_FALSE(fx.programModified);
    }

    // The size field, not the record, says where the text ends.
    auto target = pttest::Make(1);
    std::vector<unsigned char> padded = good;
    padded.insert(padded.end(), 300, 0xFF);
    const std::vector<unsigned char> copy = padded;
    EXPECT_EQ(target->writeChunk(chunkID(*target), padded), kPlugInNoErr);
    EXPECT_EQ(padded, copy);
    EXPECT_EQ(effectChunk(pttest::EffectOf(*target)), bank);
}

TEST(ProToolsChunk, OtherChunkIdsGoToTheLibraryAndLeaveTheEffectAlone)
{
    auto instance = pttest::Make(2);
    CEffectProcess& p = instance->process();
    const std::string before = effectChunk(pttest::EffectOf(*instance));
    const OSType other = MakeOSType('e', 'l', 's', 'e');
    int32_t size = -5;
    EXPECT_EQ(p.HostChunkSize(other, &size), kPlugInChunkUnknownErr);
    EXPECT_EQ(size, -5);
    std::vector<unsigned char> record = instance->readChunk(chunkID(*instance)), copy = record;
    EXPECT_EQ(p.HostWriteChunk(other, record.data(), uint32_t(record.size())), kPlugInChunkUnknownErr);
    EXPECT_EQ(p.HostReadChunk(other, record.data(), uint32_t(record.size())), kPlugInChunkUnknownErr);
    EXPECT_EQ(pthost::ChunkText(record), pthost::ChunkText(copy));
    EXPECT_EQ(effectChunk(pttest::EffectOf(*instance)), before);
}

}  // namespace
