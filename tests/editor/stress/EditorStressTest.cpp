// The editor under other threads, in a real X window (under the X server
// of $DISPLAY or an Xvfb the test starts): 10^5 parameter and editor-tag
// values arrive while the window is opened and closed 100 times on this
// thread; then a host's audio thread plays, takes MIDI program changes and
// automation while the window comes and goes and cabinets are chosen in
// it. Built on its own so that a ThreadSanitizer build runs it (./run
// tests); any race report fails it there.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "GuiHarness.h"
#include "PluginHarness.h"
#include "ProductTestSupport.h"
#include "dsp/AudioThread.h"
#include "editor/EffectEditor.h"

TEST(EditorStress, AutomationFromAnotherThreadWhileTheWindowOpensAndCloses)
{
    TONEWRIGHT_NEED_X();
    tonewright::guitest::HostWindow host(579, 375);
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
        ASSERT_TRUE(editor->open(host.handle()));
        ASSERT_TRUE(editor->getFrame()->isOpen());
        for (int k = 0; k < 3; ++k) editor->idle();
        if (views < 0) views = editor->numberOfViews();
        EXPECT_EQ(editor->numberOfViews(), views);
        editor->close();
    }
    automation.join();
    // After the storm, an open window shows the effect's values.
    ASSERT_TRUE(editor->open(host.handle()));
    for (long tag = 0; tag < 80; ++tag)
        for (int i = editor->getViewByTag(tag, -1); i != -1; i = editor->getViewByTag(tag, i)) {
            if (editor->getView(i)->getMax() == 1.0f) {
                EXPECT_FLOAT_EQ(editor->getView(i)->getValue(), plugin.get(int(tag))) << tag;
            }
        }
    editor->close();
}

// The audio thread plays, takes program changes and automation while the window opens, idles and closes 100
// times; then, the program changes stopped, 20 cabinets chosen in the window each become the one playing.
TEST(EditorStress, AudioWithProgramChangesWhileTheWindowComesAndGoesAndCabinetsAreChosen)
{
    TONEWRIGHT_NEED_X();
    tonewright::guitest::HostWindow host(579, 375);
    ResetAudioThreadViolations();
    producttest::Product p;
    std::atomic<bool> stop{false}, programChanges{true};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::vector<float> in(256), left(256), right(256);
        for (long b = 0; !stop; blocks = ++b, std::this_thread::sleep_for(std::chrono::microseconds(500))) {
            for (int i = 0; i < 256; ++i) in[size_t(i)] = 0.3f * float(std::sin(0.05 * double(b * 256 + i)));
            if (b % 25 == 0 && programChanges) harness::send(p.plugin, {harness::midi(0xC0, static_cast<unsigned char>(b / 25 % 128), 0)});
            p.plugin.set(int(b % 80), float(b % 11) / 10.0f);
            p.plugin.run(in.data(), nullptr, left.data(), right.data(), 256);
        }
    });
    for (int cycle = 0; cycle < 100; ++cycle) {
        p.editor->close();
        ASSERT_TRUE(p.editor->open(host.handle()));
        ASSERT_TRUE(p.editor->getFrame()->isOpen());
        p.idle(3);
    }
    programChanges = false;
    for (const long seen = blocks; blocks < seen + 2;) std::this_thread::yield();
    p.effect.waitForWorker();
    for (long choice = 0; choice < 20; ++choice) {  // the six cabinets, each time another
        const std::string title = p.editor->impulseMenu->getEntry(choice * 5 % 6)->getTitle();
        ASSERT_TRUE(p.choose(p.editor->impulseMenu, {title}));
        p.idle();
        EXPECT_EQ(p.sound(true), title);
    }
    // However fast the window's side was, the audio ran through all of it.
    while (blocks < 120) std::this_thread::yield();
    stop = true;
    audio.join();
    p.effect.waitForWorker();
    p.idle();
    EXPECT_EQ(std::stoi(p.editor->presetMenu->getText()), p.effect.getProgram() + 1);
    EXPECT_EQ(AudioThreadViolations(), 0) << FirstAudioThreadViolation();
}
