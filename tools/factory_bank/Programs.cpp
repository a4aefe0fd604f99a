// The factory bank's designs: the preamp voicings, the kinds of program and
// the 128 programs, each a voicing, a cabinet and engine settings. The
// generator (tools/make_factory_bank.cpp) builds, levels and measures them
// and refuses a bank that breaks a rule of Design.h.

#include "factory_bank/Design.h"

namespace tonewright::factory {

const Bands kReference = {{-0.27, -18.44, -13.77, -23.92}};

const KindInfo& info(Kind k)
{
    // Clean programs stay below 1 % distortion; the others break up, and
    // compress the more the more gain their kind promises.
    static const KindInfo table[kKinds] = {
        {"clean", -21.0, true, -40.0},
        {"edge of breakup", -19.0, true, 0.0, -40.0, 0.92},
        {"crunch", -18.0, true, 0.0, -40.0, 0.75},
        {"classic rock", -17.0, true, 0.0, -40.0, 0.75},
        {"high gain", -16.0, false, 0.0, -40.0, 0.5},
        {"lead", -17.0, true, 0.0, -40.0, 0.8},
        {"ambient", -21.0, false},
        {"effect showcase", -23.0, false},
    };
    return table[int(k)];
}

const std::vector<Word>& words()
{
    static const std::vector<Word> table = {
        {"Clean", Promise::clean},
        {"Compressed", Promise::compressed}, {"Sustain", Promise::compressed},
        {"Chorus", Promise::chorus},
        {"Flanger", Promise::flanger}, {"Jet", Promise::flanger},
        {"Phaser", Promise::phaser}, {"Phased", Promise::phaser},
        {"Tremolo", Promise::tremolo},
        {"Wah", Promise::wah},
        {"Delay", Promise::echo}, {"Echo", Promise::echo}, {"Echoes", Promise::echo}, {"Slapback", Promise::echo},
        {"Pong", Promise::echo}, {"Eighth", Promise::echo},
        {"Reverb", Promise::reverb}, {"Room", Promise::reverb}, {"Hall", Promise::reverb},
        {"Cathedral", Promise::reverb},
        {"Gated", Promise::gate},
        {"Boost", Promise::boost},
        {"Stereo", Promise::stereo},
        {"Bright", Promise::bright}, {"Dark", Promise::dark}, {"Scooped", Promise::scooped},
        {"Crunch", Promise::breakup}, {"Crunchy", Promise::breakup}, {"Breakup", Promise::breakup},
        {"Breaking", Promise::breakup}, {"Edge", Promise::breakup}, {"Grit", Promise::breakup},
        {"Gritty", Promise::breakup},
    };
    return table;
}

std::vector<Voicing> voicings()
{
    std::vector<Voicing> v;
    // The big clean of an American combo: a first stage with plenty of
    // headroom, the scooped tone stack, a recovery stage, then the volume
    // control and a driver stage that breaks up only near full volume.
    v.push_back({"American Clean", "Clean",
                 preamp("American Clean",
                        {stage({1.6, 0.95, 0.0, 0.0, -2.0, 60.0, highPass1(30.0), lowPass1(12000.0)}),
                         stage({5.0, 0.9, 0.0, 0.0, -2.0, 60.0, off(), lowPass1(9000.0)}),
                         stage({15.0, 0.85, 0.1, 0.0, -2.0, 60.0, highPass1(40.0), lowPass1(10000.0)})},
                        0, 3, 1, 2)});
    // A hi-fi preamp: two quiet stages around the rack equaliser, for jazz
    // and for effects that want a clean canvas.
    v.push_back({"Studio Clean", "Clean",
                 preamp("Studio Clean",
                        {stage({1.2, 0.95, 0.0, 0.0, -1.0, 40.0, highPass1(25.0), lowPass1(16000.0)}),
                         stage({4.0, 0.95, 0.0, 0.0, -1.0, 40.0, off(), lowPass1(12000.0, 6.0)})},
                        0, 2, 7, 3)});
    // Class A with a top boost: an asymmetric second stage, the two-knob
    // cut-and-boost stack and a cathode follower behind it, its highs
    // shelved down so that the bright stack does not turn glassy to harsh.
    v.push_back({"Chimey Class A", "Class A",
                 preamp("Chimey Class A",
                        {stage({2.5, 0.9, 0.0, 0.0, -3.0, 200.0, highPass1(50.0), lowPass1(14000.0)}),
                         stage({20.0, 0.85, 0.2, 0.0, -4.0, 150.0, highPass1(60.0), lowPass1(12000.0)}),
                         stage({3.0, 0.75, 0.3, 0.0, -1.0, 40.0, highShelf1(350.0, -10.0), lowPass1(8000.0, 6.0)})},
                        3, 2, 3, 3)});
    // A boutique class A head: dark volume control, two singing stages, the
    // upper mids tamed before the last one, and the bass-mid and treble
    // stacks at the end.
    v.push_back({"Boutique Class A", "Class A",
                 preamp("Boutique Class A",
                        {stage({3.0, 0.9, 0.0, 0.0, -3.0, 150.0, highPass1(40.0), lowPass1(14000.0)}),
                         stage({12.0, 0.8, 0.15, 0.0, -3.0, 120.0, highPass1(60.0), lowPass1(11000.0)}),
                         stage({4.0, 0.8, 0.0, 0.0, -2.0, 80.0, highShelf1(1200.0, -9.0), lowPass1(9000.0, 8.0)})},
                        2, 2, 6, 4)});
    // A small vintage combo that breaks up early: a hot first stage, the
    // volume control, an asymmetric second stage, then the scooped American
    // stack feeding a soft cathode follower.
    v.push_back({"Vintage Combo", "Crunch",
                 preamp("Vintage Combo",
                        {stage({4.0, 0.85, 0.0, 0.0, -2.0, 80.0, highPass1(30.0), lowPass1(12000.0)}),
                         stage({10.0, 0.75, 0.2, 0.0, -2.0, 80.0, off(), lowPass1(9000.0)}),
                         stage({1.2, 0.6, 0.4, 0.0, -1.0, 40.0, off(), lowPass1(12000.0, 12.0)})},
                        0, 2, 1, 3)});
    // A plexiglass-era British head: volume before the second stage, a
    // cathode follower that clips one side first, the tone stack last.
    v.push_back({"British Crunch", "Crunch",
                 preamp("British Crunch",
                        {stage({3.0, 0.9, 0.0, 0.0, -4.0, 150.0, highPass1(40.0), lowPass1(14000.0)}),
                         stage({40.0, 0.8, 0.1, 0.0, -4.0, 120.0, highPass1(60.0), lowPass1(11000.0)}),
                         stage({1.2, 0.7, 0.35, 0.0, -1.0, 40.0, off(), lowPass1(14000.0, -6.0)})},
                        5, 2, 2, 4)});
    // The same circuit hot-rodded: a tighter first stage, an extra
    // cold-biased stage that clips one side first, the tone stack last.
    v.push_back({"Modded British", "High Gain",
                 preamp("Modded British",
                        {stage({4.0, 0.85, 0.0, 0.0, -6.0, 150.0, highPass1(60.0), lowPass1(14000.0)}),
                         stage({12.0, 0.75, 0.0, 0.0, -4.0, 150.0, highPass1(60.0), lowPass1(11000.0)}),
                         stage({10.0, 0.7, 0.2, 0.2, -4.0, 150.0, highPass1(80.0), lowPass1(10000.0)}),
                         stage({1.2, 0.7, 0.35, 0.0, -1.0, 40.0, off(), off()})},
                        0, 2, 2, 5)});
    // Four stages, each tightened below and smoothed above, into the modern
    // five-knob stack.
    v.push_back({"Modern High Gain", "High Gain",
                 preamp("Modern High Gain",
                        {stage({4.0, 0.8, 0.0, 0.0, -6.0, 300.0, highPass1(80.0), lowPass1(14000.0)}),
                         stage({20.0, 0.7, 0.1, 0.0, -6.0, 250.0, highPass1(120.0), lowPass1(11000.0)}),
                         stage({20.0, 0.6, 0.0, 0.0, -4.0, 150.0, highPass1(60.0), lowPass1(9000.0)}),
                         stage({1.2, 0.7, 0.3, 0.0, -1.0, 40.0, off(), lowPass1(10000.0)})},
                        0, 2, 4, 5)});
    // American high gain: four hot stages with a cold clipper, into the
    // American high-gain stack.
    v.push_back({"American High Gain", "High Gain",
                 preamp("American High Gain",
                        {stage({3.0, 0.8, 0.0, 0.0, -6.0, 400.0, highPass1(100.0), lowPass1(14000.0)}),
                         stage({15.0, 0.7, 0.0, 0.0, -5.0, 250.0, highPass1(100.0), lowPass1(11000.0)}),
                         stage({15.0, 0.6, 0.25, 0.15, -4.0, 150.0, highPass1(80.0), lowPass1(9000.0)}),
                         stage({6.0, 0.6, 0.0, 0.0, -2.0, 80.0, off(), lowPass1(9000.0)})},
                        0, 2, 5, 5)});
    // A boutique overdrive channel: the tone stack early, a clean recovery
    // stage, then the gain control and two soft-kneed singing stages.
    v.push_back({"Boutique Overdrive", "Overdrive",
                 preamp("Boutique Overdrive",
                        {stage({2.5, 0.9, 0.0, 0.0, -2.0, 60.0, highPass1(40.0), lowPass1(14000.0)}),
                         stage({8.0, 0.9, 0.0, 0.0, -2.0, 60.0, off(), lowPass1(12000.0)}),
                         stage({8.0, 0.5, 0.1, 0.0, -3.0, 120.0, highPass1(60.0), lowPass1(9000.0)}),
                         stage({8.0, 0.6, 0.0, 0.0, -2.0, 80.0, off(), lowPass1(10000.0, -10.0)})},
                        0, 3, 1, 2)});
    return v;
}

std::vector<Program> programs()
{
    const Settings cleanPower = power(1, 0.0, 0.7, 1.0);
    const Settings warmPower = power(1, 5.0, 0.7, 1.0);
    const Settings crunchPower = power(1, 8.0, 0.7, 1.0);
    const Settings hotPower = power(1, 11.0, 0.65, 1.0);
    const Settings tightPower = power(1, 4.0, 0.75, 1.0);
    const Settings classA = power(0, 9.0, 0.5, 1.0);
    const Settings classAHot = power(0, 14.0, 0.5, 1.0);
    const Settings room = reverb(0, -14.0);
    const Settings club = reverb(1, -10.0);
    const Settings hall = reverb(2, -10.0);
    const Settings metalGate = gate(-66.0, 0.06);
    // Keeps the hiss of a high-gain lead quiet between phrases.
    const Settings leadGate = gate(-72.0, 0.15);
    const Settings slapback = echo(0, 0.11, 0.05, -9.0, 0.8);
    // The microphone's presence peak on every cabinet.
    const Settings mic = di(7500, 2.0);
    // With the deep switch's low end: the balance most programs share.
    const Settings body = deep() + mic;
    const EqCurve scoop = {{2.0, 1.0, -2.0, -6.0, -3.0, 1.0, 2.0}};
    // Low thump and a dip in the low mids, for rhythm tones that sit under a band.
    const EqCurve thump = {{3.0, 2.0, -3.0, -3.0, 0.0, 0.0, 0.0}};
    const Kind C = Kind::clean, E = Kind::edge, K = Kind::crunch, R = Kind::classicRock, H = Kind::highGain,
               L = Kind::lead, A = Kind::ambient, S = Kind::showcase;
    const char* const amClean = "American Clean";
    const char* const studio = "Studio Clean";
    const char* const chimey = "Chimey Class A";
    const char* const boutiqueA = "Boutique Class A";
    const char* const vintage = "Vintage Combo";
    const char* const british = "British Crunch";
    const char* const modded = "Modded British";
    const char* const modern = "Modern High Gain";
    const char* const american = "American High Gain";
    const char* const overdrive = "Boutique Overdrive";
    const char* const c412 = "Closed 4x12";
    const char* const c412s = "Closed 4x12 Stereo";
    const char* const c212 = "Closed 2x12";
    const char* const c212s = "Closed 2x12 Stereo";
    const char* const o112 = "Open 1x12";
    const char* const o112s = "Open 1x12 Stereo";

    return {
        // 0: the default a host opens with.
        {"Classic Crunch", K, british, c412, amp(0.68, 0.6, 0.45, 0.6, 0.5) + crunchPower + room + body},

        // Clean.
        {"Glassy Clean", C, amClean, c212, amp(0.4, 0.75, 0.45, 0.62, 0.55) + cleanPower + room + body},
        {"Sparkle Clean", C, amClean, o112, amp(0.38, 0.8, 0.3, 0.55, 0.6) + cleanPower + club + body},
        {"Warm Jazz Box", C, studio, c212, amp(0.5, 0.8, 0.5, 0.4, 0.4) + cleanPower + room + body},
        {"Dark Jazz", C, studio, c412, amp(0.5, 0.8, 0.45, 0.3, 0.3) + cleanPower + room + body},
        {"Country Snap", C, amClean, o112, amp(0.42, 0.7, 0.35, 0.62, 0.6) + cleanPower + sustainer(1, 0.4) + slapback +
            body},
        {"Funk Rhythm", C, studio, c212, amp(0.5, 0.75, 0.35, 0.6, 0.6) + cleanPower + sustainer(1, 0.6, 0.002, 0.1) +
            body},
        {"Clean Room", C, amClean, c212s, amp(0.4, 0.7, 0.45, 0.58, 0.5) + cleanPower + reverb(0, -8.0) + body},
        {"Surf Reverb", C, amClean, o112, amp(0.45, 0.7, 0.4, 0.6, 0.6) + cleanPower + reverb(1, -2.0) + body},
        {"Chime Clean", C, chimey, c212, amp(0.3, 0.6, 0.4, 0.3, 0.5) + power(0, 6.0, 0.5, 1.0) + room + body},
        {"Chorus Clean", C, studio, c212s, amp(0.5, 0.75, 0.4, 0.55, 0.5) + cleanPower +
            chorus(Place::post, 1, 0.8, 0.4, 0.4, 0.012) + body},
        {"Nashville Pick", C, amClean, o112s, amp(0.3, 0.7, 0.3, 0.6, 0.6) + cleanPower + sustainer(1, 0.5) + room +
            body},
        {"Velvet Clean", C, boutiqueA, c212, amp(0.3, 0.7, 0.45, 0.5, 0.5) + cleanPower + room + body + eq(thump)},
        {"Studio Direct", C, studio, c212, amp(0.5, 0.7, 0.45, 0.55, 0.5) + cleanPower + body},
        {"Neo Soul Clean", C, studio, c212, amp(0.5, 0.85, 0.3, 0.45, 0.4) + cleanPower +
            chorus(Place::post, 0, 0.5, 0.25, 0.3, 0.015) + room + body},
        {"Compressed Clean", C, amClean, c212, amp(0.2, 0.75, 0.4, 0.6, 0.5) + cleanPower + sustainer(1, 0.9) + body},
        {"Open Back Clean", C, amClean, o112, amp(0.4, 0.85, 0.3, 0.5, 0.5) + cleanPower + room + body},
        {"Big Stereo Clean", C, amClean, c412s, amp(0.42, 0.7, 0.45, 0.5, 0.6) + cleanPower + hall + di(6500, 2.0)},
        {"Clean Slapback", C, amClean, c212, amp(0.42, 0.75, 0.4, 0.6, 0.55) + cleanPower + slapback + body},
        {"Jangle Pop", C, chimey, o112s, amp(0.3, 0.7, 0.35, 0.38, 0.5) + power(0, 6.0, 0.5, 1.0) +
            chorus(Place::post, 1, 0.6, 0.2, 0.25, 0.01) + room + body},
        {"Blues Clean", C, amClean, c212, amp(0.5, 0.75, 0.45, 0.55, 0.5) + warmPower + room + body},

        // Edge of breakup.
        {"Edge of Breakup", E, vintage, o112, amp(0.52, 0.7, 0.4, 0.5, 0.5) + warmPower + room + body},
        {"Just Breaking Up", E, amClean, c212, amp(0.75, 0.75, 0.4, 0.55, 0.5) + power(1, 6.0, 0.7, 1.0) + room +
            body},
        {"Blues Edge", E, vintage, c212, amp(0.55, 0.75, 0.4, 0.55, 0.5) + warmPower + room + body},
        {"Small Combo Edge", E, vintage, o112, amp(0.5, 0.7, 0.35, 0.5, 0.5) + power(1, 8.0, 0.7, 1.0) + body},
        {"Chime Edge", E, chimey, c212, amp(0.58, 0.65, 0.3, 0.45, 0.5) + classA + room + body + eq(thump)},
        {"Class A Grit", E, boutiqueA, c212, amp(0.4, 0.7, 0.4, 0.5, 0.5) + classA + body + eq(thump)},
        {"Dynamic Blues", E, vintage, c212s, amp(0.52, 0.75, 0.45, 0.5, 0.5) + warmPower + reverb(0, -10.0) + body +
            bright()},
        {"Roots Rock Edge", E, british, c212, amp(0.5, 0.7, 0.4, 0.55, 0.5) + warmPower + body + eq(thump)},
        {"Gritty Rhythm", E, british, c212s, amp(0.6, 0.6, 0.5, 0.6, 0.55) + warmPower + body},
        {"Warm Breakup", E, boutiqueA, c212, amp(0.42, 0.8, 0.4, 0.4, 0.4) + classA + room + body + eq(thump)},
        {"Texas Edge", E, amClean, c212, amp(0.8, 0.7, 0.35, 0.5, 0.5) + power(1, 8.0, 0.7, 1.0) + room + body},
        {"Volume Knob Grit", E, vintage, c212, amp(0.5, 0.75, 0.4, 0.55, 0.5) + power(1, 6.0, 0.7, 1.0) + body},
        {"Porch Blues", E, vintage, o112, amp(0.55, 0.8, 0.35, 0.55, 0.45) + warmPower + reverb(0, -10.0) + body},
        {"Crisp Edge", E, chimey, c212, amp(0.57, 0.6, 0.35, 0.35, 0.5) + classA + body},

        // Crunch.
        {"Brown Crunch", K, modded, c412, amp(0.6, 0.7, 0.4, 0.5, 0.45) + power(2, 8.0, 0.7, 1.0) + body + eq(thump)},
        {"Stack Crunch", K, british, c412, amp(0.75, 0.6, 0.6, 0.6, 0.5) + crunchPower + body},
        {"Power Chord Crunch", K, british, c412s, amp(0.9, 0.6, 0.5, 0.65, 0.55) + power(2, 8.0, 0.7, 1.0) + body},
        {"Rhythm Crunch", K, british, c212, amp(0.8, 0.7, 0.4, 0.55, 0.5) + hotPower + body + eq(thump)},
        {"Class A Crunch", K, chimey, c212, amp(0.95, 0.65, 0.35, 0.6, 0.6) + classAHot + body + eq(thump)},
        {"Chimey Crunch", K, chimey, c212s, amp(0.9, 0.65, 0.35, 0.55, 0.5) + classAHot + room + body},
        {"Garage Crunch", K, vintage, o112, amp(0.75, 0.7, 0.35, 0.5, 0.5) + crunchPower + body + eq(thump)},
        {"Crunch Boost", K, british, c212, amp(0.5, 0.7, 0.4, 0.55, 0.5) + crunchPower + boost() + body + eq(thump)},
        {"British Rhythm", K, british, c212s, amp(0.85, 0.7, 0.4, 0.55, 0.5) + crunchPower + room + body},
        {"Vintage Crunch", K, vintage, c212, amp(0.7, 0.75, 0.4, 0.5, 0.5) + crunchPower + body},
        {"Tight Crunch", K, british, c412, amp(0.75, 0.45, 0.4, 0.6, 0.5) + tightPower + gate(-70.0) + body +
            eq({{-2.0, -1.0, -3.0, -2.0, 0.0, 0.0, 0.0}})},
        {"Boutique Crunch", K, boutiqueA, c212, amp(0.6, 0.7, 0.4, 0.5, 0.5) + classAHot + body + eq(thump)},
        {"Open Chords", K, british, c212s, amp(0.75, 0.7, 0.4, 0.55, 0.5) + crunchPower + reverb(0, -10.0) + body},
        {"Cranked Combo", K, vintage, o112, amp(0.9, 0.7, 0.35, 0.5, 0.5) + hotPower + body + eq(thump)},
        {"Indie Crunch", K, chimey, o112s, amp(0.9, 0.65, 0.3, 0.5, 0.5) + classA + room + body + eq(thump)},
        {"Dirty Strummer", K, vintage, c212, amp(0.8, 0.75, 0.4, 0.5, 0.5) + crunchPower + room + body},
        {"Crunchy Combo", K, vintage, o112s, amp(0.85, 0.75, 0.35, 0.5, 0.5) + crunchPower + body},
        {"Boutique Grind", K, boutiqueA, c412, amp(0.7, 0.7, 0.4, 0.55, 0.5) + classAHot + body + eq(thump)},

        // Classic rock.
        {"Classic Rock Rhythm", R, british, c412, amp(0.8, 0.6, 0.45, 0.6, 0.5) + hotPower + body},
        {"Seventies Rock", R, british, c412s, amp(0.85, 0.65, 0.45, 0.55, 0.5) + hotPower + body},
        {"Arena Rock", R, modded, c412s, amp(0.55, 0.65, 0.45, 0.55, 0.5) + crunchPower + hall + body},
        {"Modded Rhythm", R, modded, c412, amp(0.55, 0.65, 0.45, 0.55, 0.5) + crunchPower + body + eq(thump)},
        {"Riff Machine", R, modded, c412, amp(0.6, 0.6, 0.45, 0.6, 0.5) + tightPower + gate(-70.0) + body +
            eq(thump)},
        {"Southern Rock", R, british, c212, amp(0.75, 0.65, 0.45, 0.6, 0.55) + hotPower + slapback + body + eq(thump)},
        {"Treble Booster Rock", R, british, c412, amp(0.6, 0.5, 0.45, 0.75, 0.6) + crunchPower + boost() + body},
        // Echoes before the amplifier, as from a tape echo in front of it.
        {"Echo Into the Stack", R, modded, c412, amp(0.6, 0.65, 0.35, 0.5, 0.5) + crunchPower +
            echo(0, 0.3, 0.3, -8.0, 0.4, Place::pre) + body + eq(thump)},
        {"Eighties Rock", R, modded, c412s, amp(0.7, 0.65, 0.4, 0.6, 0.55) + crunchPower +
            chorus(Place::post, 1, 0.7, 0.3, 0.25, 0.012) + room + body},
        {"Brit Rock", R, british, c212s, amp(0.8, 0.7, 0.4, 0.55, 0.5) + hotPower + body},
        {"Blues Rock", R, overdrive, c412, amp(0.6, 0.7, 0.5, 0.5, 0.5) + hotPower + room + body},
        {"Cranked Stack", R, british, c412, amp(1.0, 0.6, 0.45, 0.55, 0.5) + power(1, 14.0, 0.65, 1.0) + body +
            leadGate},
        {"Rock Anthem", R, modded, c412, amp(0.6, 0.7, 0.45, 0.55, 0.5) + crunchPower + room + body + eq(thump)},
        {"Power Trio", R, british, c212, amp(0.9, 0.7, 0.4, 0.55, 0.5) + hotPower + room + body + eq(thump)},
        {"Big Riff", R, modded, c412s, amp(0.65, 0.75, 0.4, 0.55, 0.5) + crunchPower + body},
        {"Rock and Roll Drive", R, vintage, c212, amp(0.85, 0.75, 0.4, 0.5, 0.5) + hotPower + body},

        // High gain.
        {"Scooped Chug", H, modern, c412, amp(0.6, 0.7, 0.25, 0.6, 0.6) + tightPower + eq(scoop) + metalGate + body},
        {"Modern Metal", H, modern, c412, amp(0.6, 0.6, 0.45, 0.6, 0.55) + tightPower + metalGate + body},
        {"Tight Djent", H, modern, c412, amp(0.5, 0.5, 0.5, 0.65, 0.6) + tightPower + boost() + metalGate + mic},
        {"Thrash Rhythm", H, american, c412, amp(0.45, 0.6, 0.4, 0.6, 0.55) + tightPower + metalGate + body},
        {"Drop Tuned Chug", H, modern, c412, amp(0.7, 0.75, 0.4, 0.55, 0.5) + tightPower + metalGate + body},
        {"Nu Metal Grind", H, american, c412, amp(0.6, 0.75, 0.25, 0.6, 0.55) + tightPower + eq(scoop) + metalGate +
            body},
        {"Metalcore Rhythm", H, modern, c412s, amp(0.55, 0.65, 0.4, 0.6, 0.6) + tightPower + metalGate + body},
        {"Saturated Wall", H, american, c412s, amp(0.8, 0.65, 0.45, 0.55, 0.5) + tightPower + metalGate + body},
        {"Modded Metal", H, modded, c412, amp(0.95, 0.65, 0.45, 0.6, 0.55) + tightPower + metalGate + body},
        {"Palm Mute Machine", H, modern, c412, amp(0.5, 0.6, 0.45, 0.6, 0.55) + tightPower + boost() + metalGate +
            body},
        {"Tight High Gain", H, american, c212, amp(0.4, 0.6, 0.45, 0.6, 0.55) + tightPower + metalGate + body},
        {"Liquid High Gain", H, modern, c412s, amp(0.8, 0.65, 0.5, 0.55, 0.5) + tightPower + metalGate + room + body},
        {"Doom Sludge", H, american, c412, amp(0.7, 0.85, 0.45, 0.4, 0.4) + power(1, 10.0, 0.65, 1.0) + metalGate +
            body},
        {"Black Metal Buzz", H, modded, c212, amp(1.0, 0.5, 0.5, 0.75, 0.7) + tightPower + metalGate + mic},
        {"Industrial Grind", H, modern, c412, amp(0.9, 0.6, 0.35, 0.6, 0.6) + tightPower + eq(scoop) + metalGate +
            body},
        {"Gated Chug", H, american, c412, amp(0.6, 0.65, 0.4, 0.6, 0.55) + tightPower + gate(-55.0, 0.05) + body},
        {"Phased Chug", H, american, c412, amp(0.6, 0.7, 0.4, 0.6, 0.55) + tightPower +
            phaser(Place::post, 1, 0.5, 0.6, 2.0, 0.5, 1) + metalGate + body},
        // A second, slightly later copy in the other output widens the riff.
        {"Stereo Doubled Metal", H, modern, c412, amp(0.65, 0.7, 0.45, 0.6, 0.55) + tightPower +
            echo(1, 0.022, 0.0, -10.0, 1.0) + metalGate + body},

        // Lead, with delay.
        {"Singing Lead", L, overdrive, c412s, amp(0.6, 0.7, 0.45, 0.5, 0.5) + warmPower + deep() +
            echo(0, 0.38, 0.35, -10.0, 0.6) + room + di(6500, 3.0) + leadGate},
        {"Smooth Lead Delay", L, overdrive, c212s, amp(0.5, 0.7, 0.45, 0.5, 0.5) + warmPower +
            echo(0, 0.45, 0.4, -9.0, 0.5) + body + leadGate},
        {"Violin Lead", L, overdrive, c412, amp(0.7, 0.7, 0.5, 0.45, 0.45) + warmPower + sustainer(1, 0.5) +
            echo(0, 0.42, 0.3, -12.0, 0.5) + hall + body + leadGate},
        {"Shred Lead", L, modern, c412s, amp(0.75, 0.6, 0.5, 0.6, 0.55) + tightPower + echo(1, 0.35, 0.3, -12.0, 0.7) +
            reverb(2, -14.0) + metalGate + body},
        {"Blues Lead", L, overdrive, c212, amp(0.4, 0.75, 0.45, 0.5, 0.5) + warmPower + echo(0, 0.3, 0.2, -14.0, 0.6) +
            room + body},
        {"Stadium Lead", L, modded, c412s, amp(0.85, 0.65, 0.5, 0.55, 0.5) + crunchPower +
            echo(1, 0.5, 0.4, -9.0, 0.6) + hall + body + leadGate},
        {"Liquid Lead", L, modern, c412, amp(0.7, 0.65, 0.5, 0.5, 0.5) + tightPower + sustainer(1, 0.4) +
            echo(0, 0.42, 0.35, -10.0, 0.5) + metalGate + body},
        {"Soaring Solo", L, modded, c412s, amp(0.9, 0.65, 0.5, 0.55, 0.5) + crunchPower +
            echo(1, 0.48, 0.45, -8.0, 0.6) + reverb(2, -8.0) + body + leadGate},
        {"Fusion Lead", L, overdrive, c212s, amp(0.55, 0.7, 0.5, 0.5, 0.5) + warmPower +
            chorus(Place::post, 1, 0.6, 0.25, 0.25, 0.012) + echo(0, 0.33, 0.3, -12.0, 0.6) + body + leadGate},
        {"Ping Pong Lead", L, american, c412s, amp(0.5, 0.65, 0.5, 0.55, 0.5) + tightPower +
            echo(1, 0.375, 0.5, -7.0, 0.7) + metalGate + body},
        {"Eighties Solo", L, modded, c412s, amp(0.9, 0.65, 0.5, 0.6, 0.55) + crunchPower +
            chorus(Place::post, 1, 0.8, 0.3, 0.3, 0.012) + echo(1, 0.4, 0.4, -9.0, 0.8) + room + body + leadGate},
        {"Dotted Eighth Lead", L, overdrive, c212s, amp(0.5, 0.7, 0.45, 0.55, 0.5) + warmPower +
            echo(0, 0.3, 0.45, -8.0, 0.7) + body + leadGate},
        {"Warm Lead", L, overdrive, c212, amp(0.6, 0.85, 0.2, 0.45, 0.4) + warmPower + echo(0, 0.4, 0.3, -12.0, 0.4) +
            room + body + leadGate},
        {"Bright Lead", L, modded, c212, amp(0.85, 0.75, 0.5, 0.55, 0.6) + crunchPower +
            echo(0, 0.36, 0.3, -11.0, 0.8) + room + body + eq(thump) + leadGate},
        {"Sustain Lead", L, overdrive, c412, amp(0.8, 0.7, 0.5, 0.5, 0.5) + warmPower + sustainer(1, 0.7) +
            echo(0, 0.45, 0.35, -11.0, 0.5) + body + leadGate},
        {"Slide Lead", L, vintage, c212, amp(0.8, 0.75, 0.45, 0.5, 0.5) + hotPower + echo(0, 0.25, 0.2, -12.0, 0.6) +
            room + body + leadGate},

        // Ambient.
        {"Ambient Wash", A, studio, c212s, amp(0.5, 0.75, 0.45, 0.5, 0.5) + cleanPower +
            chorus(Place::post, 1, 0.4, 0.4, 0.35, 0.015) + echo(1, 0.5, 0.55, -8.0, 0.5) + reverb(2, 0.0) + body},
        {"Cathedral Clean", A, amClean, c212s, amp(0.4, 0.75, 0.45, 0.55, 0.5) + cleanPower + reverb(2, 2.0) + body},
        {"Dream Pop", A, chimey, o112s, amp(0.3, 0.7, 0.4, 0.5, 0.5) + power(0, 6.0, 0.5, 1.0) +
            chorus(Place::post, 1, 0.5, 0.5, 0.4, 0.012) + reverb(2, -3.0) + body},
        {"Swell Pad", A, studio, c212s, amp(0.5, 0.8, 0.45, 0.45, 0.45) + cleanPower + sustainer(1, 0.8) +
            echo(0, 0.6, 0.6, -8.0, 0.4) + reverb(2, 0.0) + body},
        {"Ethereal Echo", A, studio, o112s, amp(0.5, 0.75, 0.4, 0.5, 0.5) + cleanPower + echo(1, 0.6, 0.6, -6.0, 0.6) +
            reverb(2, -6.0) + body},
        {"Post Rock Swell", A, vintage, c212s, amp(0.45, 0.75, 0.4, 0.5, 0.5) + warmPower +
            echo(0, 0.55, 0.55, -7.0, 0.5) + reverb(2, -2.0) + body},
        {"Ocean Chorus", A, studio, c212s, amp(0.5, 0.75, 0.45, 0.5, 0.5) + cleanPower +
            chorus(Place::post, 2, 0.25, 0.7, 0.5, 0.02) + reverb(2, -4.0) + body},
        {"Night Drive", A, amClean, c212s, amp(0.42, 0.75, 0.45, 0.55, 0.5) + cleanPower +
            tremolo(Place::post, 1, 2.5, 0.4, 0.0) + echo(1, 0.45, 0.45, -9.0, 0.5) + reverb(2, -6.0) + body},
        {"Floating Clean", A, studio, c212s, amp(0.5, 0.75, 0.45, 0.5, 0.5) + cleanPower +
            flanger(Place::post, 1, 0.15, 0.4, 0.003, 0.5, 0.3, Phase::normal) + reverb(2, -4.0) + body},
        {"Starfield", A, amClean, c212s, amp(0.42, 0.75, 0.45, 0.55, 0.5) + cleanPower +
            phaser(Place::post, 1, 0.2, 0.5, 2.0, 0.4, 1) + echo(1, 0.5, 0.5, -8.0, 0.5) + reverb(2, -4.0) + body},
        {"Hall of Echoes", A, amClean, c212s, amp(0.42, 0.75, 0.45, 0.55, 0.5) + cleanPower +
            echo(0, 0.7, 0.7, -6.0, 0.5) + reverb(2, -4.0) + body},
        {"Underwater Chorus", A, studio, c212s, amp(0.5, 0.8, 0.4, 0.4, 0.4) + cleanPower +
            chorus(Place::post, 2, 0.6, 1.0, 0.6, 0.02) + reverb(1, -2.0) + body},
        {"Slow Motion", A, boutiqueA, c212s, amp(0.3, 0.75, 0.45, 0.5, 0.5) + cleanPower +
            tremolo(Place::post, 0, 1.2, 0.5, 0.2) + reverb(2, -3.0) + body},
        {"Glass Cathedral", A, chimey, c212s, amp(0.3, 0.7, 0.4, 0.5, 0.5) + power(0, 6.0, 0.5, 1.0) +
            echo(1, 0.55, 0.5, -8.0, 0.7) + reverb(2, 0.0) + body},

        // Effect showcases.
        {"Auto Wah Funk", S, studio, c212, amp(0.5, 0.7, 0.45, 0.55, 0.5) + power(1, 15.0, 0.7, 1.0) + wah(1, 0.6) +
            sustainer(1, 0.5, 0.002, 0.1) + body},
        {"Quack Wah", S, vintage, o112, amp(0.45, 0.7, 0.45, 0.5, 0.5) + power(1, 12.0, 0.7, 1.0) + wah(1, 0.5) +
            body},
        {"Cocked Wah Lead", S, modded, c412, amp(0.8, 0.65, 0.5, 0.5, 0.5) + crunchPower + wah(0, 0.6) +
            echo(0, 0.4, 0.3, -12.0, 0.6) + body + leadGate},
        {"Phaser Funk", S, amClean, c212, amp(0.42, 0.75, 0.4, 0.6, 0.55) + cleanPower +
            phaser(Place::pre, 1, 1.2, 0.6, 2.0, 0.5, 1) + body},
        {"Slow Phaser", K, british, c412, amp(0.65, 0.65, 0.45, 0.55, 0.5) + crunchPower +
            phaser(Place::post, 0, 0.3, 0.7, 2.5, 0.6, 2) + body},
        {"Jet Flanger", R, modded, c412s, amp(0.7, 0.65, 0.45, 0.55, 0.5) + crunchPower +
            flanger(Place::post, 1, 0.25, 0.8, 0.003, 0.8, 0.75, Phase::inverted) + body + leadGate},
        {"Flanger Sweep", S, amClean, c212s, amp(0.42, 0.75, 0.45, 0.55, 0.5) + cleanPower +
            flanger(Place::post, 0, 0.4, 0.7, 0.002, 0.7, 0.5, Phase::normal) + room + body},
        {"Tremolo Surf", S, amClean, o112, amp(0.45, 0.7, 0.4, 0.6, 0.6) + cleanPower +
            tremolo(Place::post, 0, 6.0, 0.4, 0.0) + reverb(1, -4.0) + body},
        {"Choppy Tremolo", S, vintage, c212, amp(0.45, 0.75, 0.4, 0.5, 0.5) + warmPower +
            tremolo(Place::post, 0, 4.0, 0.9, 0.9) + body},
        {"Lush Chorus", S, studio, c212s, amp(0.5, 0.75, 0.45, 0.55, 0.5) + cleanPower +
            chorus(Place::post, 2, 0.7, 0.6, 0.5, 0.015) + room + body},
        {"Infinite Sustain", L, overdrive, c412, amp(0.85, 0.7, 0.5, 0.5, 0.5) + warmPower +
            sustainer(1, 0.9, 0.002, 0.25) + echo(0, 0.5, 0.3, -12.0, 0.5) + body + metalGate},
    };
}

}  // namespace tonewright::factory
