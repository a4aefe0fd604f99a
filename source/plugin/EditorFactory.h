#pragma once
// How an effect gets its editor without the plug-in layer knowing the
// editor's layer: the editor layer installs a factory (the deliverable's
// entry does, as the shared object loads), and every effect made after that
// asks it for its editor in its constructor. Without a factory an effect has
// no editor.

#include "vst2/AEffEditor.h"

namespace tonewright {

class Effect;

// Makes the editor of `effect`, or none; the effect owns what it returns.
using EditorFactory = AEffEditor* (*)(Effect& effect);

// Process-wide; safe from any thread.
void SetEditorFactory(EditorFactory factory);
EditorFactory GetEditorFactory();

}  // namespace tonewright
