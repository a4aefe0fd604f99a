// Engine parameter ids: every id's mapping at normalised 0, 0.5 and 1 with
// its physical read-back, and the special ids' rules.

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>

#include "engine/Tonewright.h"

using namespace tonewright;

namespace {

struct Expectation {
    int id;
    double at0, atHalf, at1;  // physical values after SetParameterNormalized
};

const double kGeo = std::sqrt(0.1 * 10.0);  // log 0.1..10 at 0.5

// Written out from the id table by hand, not computed by the mapping code.
const Expectation kTable[] = {
    {1, 0, 1, 1}, {2, -80, -45, -10}, {3, 0, 0.475, 0.95}, {4, 0.001, 0.0255, 0.05}, {5, 0.05, 0.15, 0.25},
    {6, 0, 1, 1}, {7, 0, 1, 2}, {8, 0, 0.5, 1},
    {9, 0, 1, 1}, {10, 0, 1, 1}, {11, 0, 0.5, 1}, {12, 0.001, 0.0255, 0.05}, {13, 0.05, 0.15, 0.25},
    {14, 0, 1, 1}, {15, 0.05, 0.525, 1}, {16, 0, 0.5, 1}, {17, 0, 0.5, 1}, {18, 0, 0.5, 1}, {19, 0, 0.5, 1},
    {20, 0, 1, 1}, {21, 0, 1, 2}, {22, 0.501187233627272, 2.818382931264454, 15.848931924611133},
    {23, 0, 0.5, 1}, {24, 0, 0.5, 1},
    {26, 0, 1, 1}, {27, 0, 1, 1}, {28, 0, 1, 2},
    {29, -18, 0, 18}, {30, -18, 0, 18}, {31, -18, 0, 18}, {32, -18, 0, 18}, {33, -18, 0, 18},
    {34, -18, 0, 18}, {35, -18, 0, 18}, {36, -18, 0, 18}, {37, 62.5, 790.5694150420949, 10000}, {38, -18, 0, 18},
    {39, 0, 1, 1}, {40, 128, 4096, 32768}, {41, 0, 1, 1}, {42, 0, 1, 1}, {43, 0, 1, 1},
    {44, 2500, 4472.13595499958, 8000}, {45, 0.666, 3.333, 6},
    {46, 0, 1, 1}, {47, 0, 1, 1}, {48, 0.1, kGeo, 10}, {49, 0, 0.5, 1}, {50, 0, 1, 1}, {51, 0, 0.5, 1},
    {52, 0, 1, 1}, {53, 0, 1, 1}, {54, 0, 1, 2}, {55, 0.1, kGeo, 10}, {56, 0, 0.5, 1}, {57, 0, 0.5, 1},
    {58, 0.001, 0.0155, 0.03},
    {59, 0, 1, 1}, {60, 0, 1, 1}, {61, 1, 1, 0}, {62, 0.1, kGeo, 10}, {63, 0, 0.5, 1}, {64, 0.0005, 0.00225, 0.004},
    {65, 0, 0.5, 1}, {66, 0, 0.45, 0.9}, {67, 0, 1, 1},
    {68, 0, 1, 1}, {69, 0, 1, 1}, {70, 1, 1, 0}, {71, 0.1, kGeo, 10}, {72, 0, 0.5, 1}, {73, 1, 2, 3},
    {74, 0, 0.45, 0.9}, {75, 0, 1, 2},
    {76, 0, 1, 1}, {77, 0, 1, 1}, {78, 0, 1, 1}, {79, 0.01, 0.505, 1}, {80, 0, 0.475, 0.95}, {81, -40, -14, 12},
    {82, -40, -14, 12}, {83, 0, 0.5, 1}, {84, 0, 1, 1}, {85, 0, 1, 1},
    {86, 0, 1, 1}, {87, 0, 1, 2}, {88, -40, -14, 12},
    {89, 0, 1, 1}, {90, 0, 1, 2}, {91, 0, 1, 1}, {92, 0, 1, 1}, {93, 0, 1, 1}, {94, -24, 0, 18},
};

bool isSteppedOrFlag(int id)
{
    for (int s : {1, 6, 7, 9, 10, 14, 20, 21, 25, 26, 27, 28, 39, 40, 41, 42, 43, 46, 47, 50, 52, 53, 54, 59, 60,
                  61, 67, 68, 69, 70, 75, 76, 77, 78, 84, 85, 86, 87, 89, 90, 91, 92, 93})
        if (s == id) return true;
    return false;
}

}  // namespace

TEST(ParameterMap, EveryIdAtZeroHalfAndOne)
{
    auto e = std::make_unique<Tonewright>();
    for (const Expectation& x : kTable) {
        const double points[3] = {0.0, 0.5, 1.0};
        const double want[3] = {x.at0, x.atHalf, x.at1};
        for (int k = 0; k < 3; ++k) {
            e->SetParameterNormalized(x.id, points[k]);
            SCOPED_TRACE(testing::Message() << "id " << x.id << " at " << points[k]);
            EXPECT_NEAR(e->GetParameter(x.id), want[k], 1e-12 * std::max(1.0, std::fabs(want[k])));
            const double back = e->GetParameterNormalized(x.id);
            EXPECT_GE(back, 0.0);
            EXPECT_LE(back, 1.0);
            if (!isSteppedOrFlag(x.id)) {
                EXPECT_NEAR(back, points[k], 1e-12);
            }
        }
    }
}

TEST(ParameterMap, SteppedIdsReadBackAsTheirStep)
{
    auto e = std::make_unique<Tonewright>();
    e->SetParameterNormalized(61, 0.0);
    EXPECT_EQ(e->GetParameter(61), 1.0);
    e->SetParameterNormalized(61, 0.5);
    EXPECT_EQ(e->GetParameter(61), 1.0);
    EXPECT_EQ(e->GetParameterNormalized(61), 0.0);
    e->SetParameterNormalized(61, 0.6);
    EXPECT_EQ(e->GetParameter(61), 0.0);
    EXPECT_EQ(e->GetParameterNormalized(61), 1.0);
    e->SetParameterNormalized(70, 1.0);
    EXPECT_EQ(e->GetParameter(70), 0.0);

    e->SetParameterNormalized(40, 0.09);
    EXPECT_EQ(e->GetParameter(40), 128.0);
    EXPECT_EQ(e->GetParameterNormalized(40), 0.0);
    e->SetParameterNormalized(40, 0.1);
    EXPECT_EQ(e->GetParameter(40), 256.0);
    e->SetParameter(40, 8192);
    EXPECT_DOUBLE_EQ(e->GetParameterNormalized(40), 0.8);
    e->SetParameter(40, 5000);  // a size not in the list reads as the first step
    EXPECT_EQ(e->GetParameter(40), 5000.0);
    EXPECT_EQ(e->GetParameterNormalized(40), 0.0);

    e->SetParameterNormalized(94, 0.25);
    EXPECT_DOUBLE_EQ(e->GetParameter(94), -12.0);
    EXPECT_DOUBLE_EQ(e->GetParameterNormalized(94), 0.25);
    e->SetParameterNormalized(94, 0.75);
    EXPECT_DOUBLE_EQ(e->GetParameter(94), 9.0);
    EXPECT_DOUBLE_EQ(e->GetParameterNormalized(94), 0.75);
    EXPECT_DOUBLE_EQ(e->master.GetParameter(4), 9.0);
}

TEST(ParameterMap, PowerAmpSelector)
{
    auto e = std::make_unique<Tonewright>();
    e->SetParameterNormalized(25, 1.0);
    EXPECT_EQ(e->GetParameters()->poweramp.type, 2);
    EXPECT_TRUE(e->GetParameters()->poweramp.enable);
    EXPECT_EQ(e->GetParameter(25), 3.0);
    e->SetParameterNormalized(25, 0.0);
    EXPECT_FALSE(e->GetParameters()->poweramp.enable);
    EXPECT_EQ(e->GetParameters()->poweramp.type, 2);  // the type stays
    EXPECT_EQ(e->GetParameter(25), 0.0);
    EXPECT_EQ(e->GetParameterNormalized(25), 0.0);
    e->SetParameter(25, 2);
    EXPECT_EQ(e->GetParameter(25), 2.0);
    EXPECT_DOUBLE_EQ(e->GetParameterNormalized(25), 2.0 / 3.0);
}

TEST(ParameterMap, SpecialIdsAndRefusals)
{
    auto e = std::make_unique<Tonewright>();
    e->SetParameter(78, 1);
    EXPECT_EQ(e->echo_pre.GetParameters().type, 0);
    EXPECT_EQ(e->echo_post.GetParameters().type, 1);

    e->SetParameter(90, 1.4);
    EXPECT_EQ(e->GetParameter(90), 1.0);
    EXPECT_DOUBLE_EQ(e->lowcut.GetParameter(2), 200.0);
    e->SetParameter(90, 3);
    e->SetParameter(90, -1);
    e->SetParameter(90, NAN);
    EXPECT_EQ(e->GetParameter(90), 1.0);

    e->SetParameterNormalized(2, -0.3);
    EXPECT_EQ(e->GetParameter(2), -80.0);
    e->SetParameterNormalized(2, 7);
    EXPECT_EQ(e->GetParameter(2), -10.0);
    e->SetParameterNormalized(2, NAN);
    EXPECT_EQ(e->GetParameter(2), -10.0);
    e->SetParameter(2, INFINITY);
    EXPECT_EQ(e->GetParameter(2), -10.0);

    EXPECT_EQ(e->GetParameter(0), 0.0);
    EXPECT_EQ(e->GetParameter(95), 0.0);
    EXPECT_EQ(e->GetParameter(-3), 0.0);
    EXPECT_EQ(e->GetParameterNormalized(95), 0.0);
    e->SetParameter(95, 1.0);
    e->SetParameter(-1, 1.0);
    e->SetParameterNormalized(0, 1.0);

    e->SetParameter(93, 1);
    EXPECT_TRUE(e->GetParameters()->boost_enabled);
    EXPECT_EQ(e->boost.GetParameter(0), 1.0);

    // The record keeps the master level the filter plays, not what it was
    // asked for.
    e->SetParameter(94, 7000);
    EXPECT_EQ(e->GetParameter(94), 60.0);
    EXPECT_EQ(e->master.GetParameter(4), 60.0);
}

TEST(ParameterMap, WholeRecordsKeepTheOversamplingChoiceUnlessTheyAreTheEnginesOwn)
{
    auto e = std::make_unique<Tonewright>();
    TonewrightParameters other;
    other.upsampler_enabled = false;
    other.enable = false;
    other.master_level = -6.0;
    other.lowcut_type = 2;
    other.chorus.enable = true;
    other.chorus.post = true;
    other.chorus.parameters.speed = 3.0;
    e->SetParameters(&other);
    const auto* p = e->GetParameters();
    EXPECT_TRUE(p->upsampler_enabled);
    EXPECT_TRUE(p->enable);
    EXPECT_DOUBLE_EQ(p->master_level, -6.0);
    EXPECT_EQ(p->lowcut_type, 2);
    EXPECT_DOUBLE_EQ(e->lowcut.GetParameter(2), 400.0);
    EXPECT_DOUBLE_EQ(p->chorus.parameters.speed, 3.0);
    EXPECT_DOUBLE_EQ(e->chorus_post.GetParameters().speed, 3.0);
    EXPECT_TRUE(p->boost_enabled);

    TonewrightParameters* own = e->GetParameters();
    own->upsampler_enabled = false;
    own->gate.threshold = -33.0;
    e->SetParameters(own);
    EXPECT_FALSE(e->GetParameters()->upsampler_enabled);
    EXPECT_DOUBLE_EQ(e->GetParameter(2), -33.0);
}

TEST(ParameterMap, RecordAppliedAndReadBackIsUnchanged)
{
    auto e = std::make_unique<Tonewright>();
    TonewrightParameters r;
    r.gate.threshold = -50;
    r.wah.pedal = 0.3;
    r.sustainer.amount = 0.8;
    r.poweramp.drive = 4.0;
    r.eq.parameters.band3 = 5.5;
    r.echo.parameters.delay = 0.25;
    r.reverb.level = -3;
    r.preamp.toneControl.treble = 0.9;
    e->SetParameters(&r);
    const auto* p = e->GetParameters();
    EXPECT_DOUBLE_EQ(p->gate.threshold, -50);
    EXPECT_DOUBLE_EQ(p->wah.pedal, 0.3);
    EXPECT_DOUBLE_EQ(p->sustainer.amount, 0.8);
    EXPECT_DOUBLE_EQ(p->poweramp.drive, 4.0);
    EXPECT_DOUBLE_EQ(p->eq.parameters.band3, 5.5);
    EXPECT_DOUBLE_EQ(p->echo.parameters.delay, 0.25);
    EXPECT_DOUBLE_EQ(p->reverb.level, -3);
    EXPECT_DOUBLE_EQ(p->preamp.toneControl.treble, 0.9);
    EXPECT_DOUBLE_EQ(e->GetParameter(18), 0.9);
}

namespace {

// One setting of a paired id and the field of the stage record it must reach.
template <typename Record>
struct PairCase {
    int id;
    double value;
    double (*field)(const Record&);
    double pre;  // what the pre instance holds afterwards (the value, except the echo type)
};

template <typename Record>
PairCase<Record> same(int id, double value, double (*field)(const Record&))
{
    return {id, value, field, value};
}

template <typename Stage, typename Record>
void expectBothInstances(Tonewright& e, const Stage& pre, const Stage& post,
                         std::initializer_list<PairCase<Record>> cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "id " << c.id << " = " << c.value);
        e.SetParameter(c.id, c.value);
        EXPECT_DOUBLE_EQ(c.field(pre.GetParameters()), c.pre);
        EXPECT_DOUBLE_EQ(c.field(post.GetParameters()), c.value);
        EXPECT_DOUBLE_EQ(e.GetParameter(c.id), c.value);  // the record follows the instance it reads
    }
}

}  // namespace

TEST(ParameterMap, PairedIdsReachBothInstances)
{
    auto e = std::make_unique<Tonewright>();
    using EQ = GraphicEQ7Parameters;
    expectBothInstances<GraphicEQ7, EQ>(*e, e->eq_pre, e->eq_post,
        {same<EQ>(28, 2, [](const EQ& r) -> double { return r.type; }),
         same<EQ>(29, 1.5, [](const EQ& r) { return r.band1; }),
         same<EQ>(30, 2.5, [](const EQ& r) { return r.band2; }),
         same<EQ>(31, 3.5, [](const EQ& r) { return r.band3; }),
         same<EQ>(32, -4.5, [](const EQ& r) { return r.band4; }),
         same<EQ>(33, 5.5, [](const EQ& r) { return r.band5; }),
         same<EQ>(34, -6.5, [](const EQ& r) { return r.band6; }),
         same<EQ>(35, 7.5, [](const EQ& r) { return r.band7; }),
         same<EQ>(36, -7, [](const EQ& r) { return r.level; }),
         same<EQ>(37, 2500, [](const EQ& r) { return r.parametric_frequency; }),
         same<EQ>(38, 4, [](const EQ& r) { return r.parametric_level; })});

    using Tr = TremoloParameters;
    expectBothInstances<Tremolo, Tr>(*e, e->tremolo_pre, e->tremolo_post,
        {same<Tr>(48, 3.0, [](const Tr& r) { return r.speed; }),
         same<Tr>(49, 0.25, [](const Tr& r) { return r.depth; }),
         same<Tr>(50, 0, [](const Tr& r) -> double { return r.type; }),
         same<Tr>(51, 0.75, [](const Tr& r) { return r.waveform; })});

    using Ch = ChorusParameters;
    expectBothInstances<Chorus, Ch>(*e, e->chorus_pre, e->chorus_post,
        {same<Ch>(54, 2, [](const Ch& r) -> double { return r.type; }),
         same<Ch>(55, 2.5, [](const Ch& r) { return r.speed; }),
         same<Ch>(56, 0.3, [](const Ch& r) { return r.depth; }),
         same<Ch>(57, 0.8, [](const Ch& r) { return r.mix; }),
         same<Ch>(58, 0.02, [](const Ch& r) { return r.delay; })});

    using Fl = FlangerParameters;
    expectBothInstances<Flanger, Fl>(*e, e->flanger_pre, e->flanger_post,
        {same<Fl>(61, 0, [](const Fl& r) -> double { return r.type; }),
         same<Fl>(62, 4.0, [](const Fl& r) { return r.speed; }),
         same<Fl>(63, 0.2, [](const Fl& r) { return r.depth; }),
         same<Fl>(64, 0.001, [](const Fl& r) { return r.delay; }),
         same<Fl>(65, 0.7, [](const Fl& r) { return r.sweep; }),
         same<Fl>(66, 0.3, [](const Fl& r) { return r.regeneration; }),
         same<Fl>(67, 0, [](const Fl& r) { return r.phase ? 1.0 : 0.0; })});

    using Ph = PhaserParameters;
    expectBothInstances<Phaser, Ph>(*e, e->phaser_pre, e->phaser_post,
        {same<Ph>(70, 0, [](const Ph& r) -> double { return r.type; }),
         same<Ph>(71, 0.5, [](const Ph& r) { return r.speed; }),
         same<Ph>(72, 0.9, [](const Ph& r) { return r.depth; }),
         same<Ph>(73, 2.5, [](const Ph& r) { return r.sweep; }),
         same<Ph>(74, 0.2, [](const Ph& r) { return r.regeneration; }),
         same<Ph>(75, 2, [](const Ph& r) -> double { return r.stages; })});

    // The echo type reaches only the post instance; the pre one stays type 0.
    using Ec = EchoParameters;
    const auto echoType = [](const Ec& r) -> double { return r.type; };
    expectBothInstances<Echo, Ec>(*e, e->echo_pre, e->echo_post,
        {PairCase<Ec>{78, 0, echoType, 0}, PairCase<Ec>{78, 1, echoType, 0},
         same<Ec>(79, 0.6, [](const Ec& r) { return r.delay; }),
         same<Ec>(80, 0.4, [](const Ec& r) { return r.feedback; }),
         same<Ec>(81, -6, [](const Ec& r) { return r.directlevel; }),
         same<Ec>(82, 3, [](const Ec& r) { return r.delaylevel; }),
         same<Ec>(83, 0.4, [](const Ec& r) { return r.style; }),
         same<Ec>(84, 1, [](const Ec& r) { return r.filter_input ? 1.0 : 0.0; }),
         same<Ec>(85, 0, [](const Ec& r) { return r.tails_on ? 1.0 : 0.0; })});
}

// Each row's record field is its own: writing it changes what that row reads
// and nothing any other row reads; values a field cannot hold are refused.
TEST(ParameterTable, EachRowWritesOnlyItsOwnField)
{
    const TonewrightParameters fresh;
    for (const ParameterDescriptor& row : kParameterTable) {
        if (!row.field.write) continue;
        SCOPED_TRACE(testing::Message() << "id " << row.id);
        auto r = std::make_unique<TonewrightParameters>();
        const double before = row.field.read(*r);
        row.field.write(*r, NAN);
        row.field.write(*r, INFINITY);
        EXPECT_EQ(row.field.read(*r), before);
        const double v = row.field.kind == FieldKind::flag ? 1.0 - before : before + 3.0;
        row.field.write(*r, v);
        EXPECT_EQ(row.field.read(*r), v);
        for (const ParameterDescriptor& other : kParameterTable) {
            if (other.field.write && other.id != row.id) {
                EXPECT_EQ(other.field.read(*r), other.field.read(fresh)) << other.id;
            }
        }
    }
}

// A field a host parameter shows is brought between the physical values its
// normalised 0 and 1 give (the hand-written table above); in-range values,
// the exact ends among them, are kept to the last bit. Fields no host parameter
// shows are left as they are.
TEST(HostRanges, FieldsBeyondAHostParametersEndsTakeThoseEndsAndValuesInsideStayExactly)
{
    for (const Expectation& x : kTable) {
        const ParameterDescriptor& row = kParameterTable[size_t(x.id)];
        if (!row.field.write || row.field.kind == FieldKind::flag) continue;
        SCOPED_TRACE(testing::Message() << "id " << x.id);
        const double lo = std::min(x.at0, x.at1), hi = std::max(x.at0, x.at1), span = hi - lo;
        // Id 21, the power amp's type, is what the selector (25) shows.
        const bool shown = row.host.index >= 0 || x.id == 21;
        for (double v : {hi + span, hi + 1e6, 1e308, lo - span, lo - 1e6, -1e308}) {
            TonewrightParameters p;
            row.field.write(p, v);
            const double stored = row.field.read(p);
            ClampToHostRanges(p);
            // An integer field refuses what no int holds and keeps its value.
            const double want = !shown ? stored : stored > hi ? hi : stored < lo ? lo : stored;
            EXPECT_NEAR(row.field.read(p), want, 1e-12 * std::max(1.0, std::fabs(want))) << v;
        }
        for (double v : {x.atHalf, ShapeToPhysical(row.shape, 0.0), ShapeToPhysical(row.shape, 1.0)}) {
            TonewrightParameters p;
            row.field.write(p, v);
            const double stored = row.field.read(p);
            ClampToHostRanges(p);
            EXPECT_EQ(row.field.read(p), stored) << v;
        }
    }
    // Written out: the master level, the cabinet's window (to the nearest
    // size it has), a step, the power amp's type behind its selector.
    struct Case {
        int id;
        double v, want;
    };
    for (const Case& c : {Case{94, 60, 18}, Case{94, -120, -24}, Case{40, 500, 256}, Case{40, 5000, 4096},
                          Case{40, 1e9, 32768}, Case{40, -3, 128}, Case{28, 9, 2}, Case{61, 5, 1}, Case{61, -5, 0},
                          Case{21, 7, 2}, Case{21, -1, 0}, Case{7, 9, 9}}) {
        TonewrightParameters p;
        kParameterTable[size_t(c.id)].field.write(p, c.v);
        ClampToHostRanges(p);
        EXPECT_EQ(kParameterTable[size_t(c.id)].field.read(p), c.want) << c.id << " " << c.v;
    }
}
