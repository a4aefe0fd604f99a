#include "mac/au/AUEditorView.h"

#include <map>
#include <mutex>

#include "mac/au/AUPlug.h"
#include "au/Components.h"
#include "vst2/AudioEffect.h"

namespace tonewright {

namespace {

// Which view holds each editor. An editor's address may come back for a
// later unit's editor; a view only acts where the entry names it.
std::mutex ownersMutex;
std::map<const AEffEditor*, const AUEditorView*>& owners()
{
    static auto* map = new std::map<const AEffEditor*, const AUEditorView*>();
    return *map;
}

}  // namespace

AUEditorView::AUEditorView(AudioUnit u, void* parent) : unit(u)
{
    editor = currentEditor();
    if (!editor) return;
    ERect* rect = nullptr;
    if (editor->getRect(&rect) && rect)
        shape = {rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top};
    {
        std::lock_guard<std::mutex> lock(ownersMutex);
        owners()[editor] = this;
    }
    // Open in another view: it is taken from there.
    if (editor->isOpen()) editor->close();
    editor->open(parent);
}

AUEditorView::~AUEditorView()
{
    if (!ownsEditor()) return;
    {
        std::lock_guard<std::mutex> lock(ownersMutex);
        owners().erase(editor);
    }
    // A closed unit closed its editor itself (and it may be gone).
    if (currentEditor() == editor) editor->close();
}

bool AUEditorView::ownsEditor() const
{
    if (!editor) return false;
    std::lock_guard<std::mutex> lock(ownersMutex);
    const auto found = owners().find(editor);
    return found != owners().end() && found->second == this;
}

bool AUEditorView::tick()
{
    if (!ownsEditor() || currentEditor() != editor) return false;
    editor->idle();
    return true;
}

AEffEditor* AUEditorView::currentEditor() const
{
    void* address = nullptr;
    UInt32 size = sizeof address;
    if (AudioUnitGetProperty(unit, kAUPlugEffectProperty, kAudioUnitScope_Global, 0, &address, &size) != noErr ||
        !address)
        return nullptr;
    return static_cast<AudioEffect*>(address)->getEditor();
}

}  // namespace tonewright
