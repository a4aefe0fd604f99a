#include "plugin/EditorFactory.h"

#include <atomic>

namespace tonewright {

namespace {
std::atomic<EditorFactory> installed{nullptr};
}

void SetEditorFactory(EditorFactory factory) { installed.store(factory); }

EditorFactory GetEditorFactory() { return installed.load(); }

}  // namespace tonewright
