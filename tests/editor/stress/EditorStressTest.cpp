// The editor under automation from another thread: 10^5 parameter and
// editor-tag values arrive while the window is opened and closed 100 times
// on this thread. Built on its own so that a ThreadSanitizer build runs it
// (./run tests); any race report fails it there.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "PluginHarness.h"
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
