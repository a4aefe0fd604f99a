// The editor under other threads: 10^5 parameter and editor-tag values
// arrive while the window is opened and closed 100 times on this thread;
// then a host's audio thread plays, takes MIDI program changes and
// automation while the window comes and goes and cabinets are chosen in
// it. Built on its own so that a ThreadSanitizer build runs it (./run
// tests); any race report fails it there.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "PluginHarness.h"
#include "ProductTestSupport.h"
#include "dsp/EngineLock.h"
#include "editor/EffectEditor.h"

TEST(EditorStress, AutomationFromAnotherThreadWhileTheWindowOpensAndCloses)
{
    harness::Plugin plugin;
    auto* editor = static_cast<tonewright::EffectEditor*>(plugin.effect().getEditor());
    ASSERT_NE(editor, nullptr);
    std::atomic<bool> started{false}, done{false};
    std::thread automation([&] {
        started = true;
        for (int i = 0; i < 100000; ++i) {
            const float value = float(i % 101) / 100.0f;
            plugin.set(i % 80, value);
            plugin.effect().setParameter(80 + i % 41, value);
        }
        done = true;
    });
    while (!started) std::this_thread::yield();
    int views = -1;
    // At least 100 cycles, and on until the automation has ended.
    for (int cycle = 0; cycle < 100 || !done; ++cycle) {
        ASSERT_TRUE(editor->open(nullptr));
        for (int k = 0; k < 3; ++k) editor->idle();
        if (views < 0) views = editor->numberOfViews();
        EXPECT_EQ(editor->numberOfViews(), views);
        editor->close();
    }
    automation.join();
    // After the storm, an open window shows the effect's values.
    ASSERT_TRUE(editor->open(nullptr));
    for (long tag = 0; tag < 80; ++tag)
        for (int i = editor->getViewByTag(tag, -1); i != -1; i = editor->getViewByTag(tag, i)) {
            if (editor->getView(i)->getMax() == 1.0f) {
                EXPECT_FLOAT_EQ(editor->getView(i)->getValue(), plugin.get(int(tag))) << tag;
            }
        }
    editor->close();
}

// The product editor while a host's audio thread plays and takes MIDI
// program changes and automation: the window opens, idles and closes 100
// times, then 20 cabinets are chosen in its menu while the audio goes on.
TEST(EditorStress, AudioWithProgramChangesWhileTheWindowComesAndGoesAndCabinetsAreChosen)
{
    producttest::SupportHome home;
    ResetEngineLockViolations();
    harness::Plugin plugin(44100.0, 256);
    auto* editor = static_cast<tonewright::EffectEditor*>(plugin.effect().getEditor());
    std::atomic<bool> stop{false}, programChanges{true};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::vector<float> in(256), left(256), right(256);
        for (long b = 0; !stop; ++b) {
            for (int i = 0; i < 256; ++i) in[size_t(i)] = 0.3f * float(std::sin(0.05 * double(b * 256 + i)));
            if (b % 25 == 0 && programChanges) harness::send(plugin, {harness::midi(0xC0, static_cast<unsigned char>(b / 25 % 128), 0)});
            plugin.set(int(b % 80), float(b % 11) / 10.0f);
            plugin.run(in.data(), nullptr, left.data(), right.data(), 256);
            blocks = b;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    for (int cycle = 0; cycle < 100; ++cycle) {
        ASSERT_TRUE(editor->open(nullptr));
        for (int k = 0; k < 3; ++k) editor->idle();
        editor->close();
    }
    // The cabinets chosen next must not be replaced by programs meanwhile.
    programChanges = false;
    for (const long seen = blocks; blocks < seen + 2;) std::this_thread::yield();
    plugin.effect().waitForWorker();
    ASSERT_TRUE(editor->open(nullptr));
    static const char* const cabinets[] = {"Closed 2x12.wav", "Open 1x12 Stereo.wav", "Closed 4x12.wav",
                                           "Open 1x12.wav",   "Closed 4x12 Stereo.wav", "Closed 2x12 Stereo.wav"};
    CMyFileMenu* menu = editor->impulseMenu;
    ASSERT_NE(menu, nullptr);
    for (int choice = 0; choice < 20; ++choice) {
        const std::string title = cabinets[choice % 6];
        long index = -1;
        for (long i = 0; i < menu->getNbEntries(); ++i)
            if (title == menu->getEntry(i)->getTitle()) index = i;
        ASSERT_GE(index, 0) << title;
        ASSERT_TRUE(menu->choose(menu, index));
        editor->idle();
        std::string preamp, impulse;
        plugin.effect().getSoundNames(preamp, impulse);
        EXPECT_EQ(impulse, title);
    }
    stop = true;
    audio.join();
    plugin.effect().waitForWorker();
    editor->idle();
    char caption[16];
    std::snprintf(caption, sizeof caption, "%03d", plugin.effect().getProgram() + 1);
    EXPECT_EQ(editor->presetMenu->getText(), caption);
    EXPECT_GT(blocks.load(), 100);
    EXPECT_EQ(EngineLockViolations(), 0) << FirstEngineLockViolation();
    editor->close();
}
