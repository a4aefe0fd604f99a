// Part of the plug-in's entry objects, not of the editor library: as the
// shared object loads, every effect made from then on gets the product
// editor. The plug-in layer itself never sees the editor's.

#include "plugin/EditorFactory.h"
#include "editor/EffectEditor.h"

namespace {

struct InstallEditor {
    InstallEditor() { tonewright::SetEditorFactory(&tonewright::EffectEditor::create); }
};

const InstallEditor installEditor;

}  // namespace
