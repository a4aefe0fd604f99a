#pragma once
// The skinned editor: builds its window at open time from a skin
// description (editor/SkinReader.h) and the bitmaps it names, keeps the flat
// lists of the window's controls and their tags, and routes values between
// the controls and the effect. It knows nothing of the product: a product
// editor adds its own element types through CreateUIElement.
//
// Threads. Everything runs on the user-interface thread (the one that opens
// the editor and calls idle), except setParameter: called on that thread it
// sets the controls at once; called on any other thread (host automation,
// the audio thread's MIDI) it only writes the value into a per-tag atomic
// mailbox, which the next idle applies. While the editor is closed
// setParameter stores nothing. The process-wide bitmap cache is guarded by
// a mutex.

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "gui/AEffGUIEditor.h"
#include "gui/Bitmap.h"
#include "gui/Control.h"
#include "editor/SkinReader.h"
#include "editor/SkinViews.h"

namespace tonewright {

class SkinEditor : public AEffGUIEditor, public CControlListener {
public:
    // Tags below this go through the mailbox from other threads; the
    // enumeration's tags all do.
    static constexpr int kMailboxTags = 128;
    // Parameter tags (0..79) reach the host; higher tags stay in the editor.
    static constexpr long kParameterTags = 80;

    explicit SkinEditor(AudioEffect* effect);
    SkinEditor(AudioEffect* effect, long width, long height);
    // Closes the window first when it is still open.
    ~SkinEditor() override;

    // The host's open builds the skin "ui".
    bool open(void* parent) override;
    // Builds the window from the skin `skinName` in the host window
    // `parent` (none: a frame without window). A missing or unreadable skin
    // gives an empty frame of the editor's size. False when no window can be
    // made in `parent` (an id that names no window, no X display; a window
    // open before stays open then) or the window could not be built at all.
    virtual bool open(void* parent, const char* skinName);
    // Deletes the frame and every view, and empties the lists.
    void close() override;
    // Applies the values other threads left, then runs the frame.
    void idle() override;
    // Sets every control of tag `index` (see Threads above). Negative tags
    // change nothing.
    void setParameter(VstInt32 index, float value) override;
    bool isOpen() override { return frame != nullptr; }

    // The tag + 1 of the last listed control (of tags 0..79, not on a hidden
    // page) that the point (frame coordinates) hits; *result is left alone
    // when none does.
    virtual void GetControlIndexFromPoint(long x, long y, long* result);
    // Highlight frame on every highlightable control of tag index - 1.
    virtual void SetControlHighlight(long index, short on, short colorCode);
    // Learn frame on every highlightable control of `tag`: selector bit 0
    // picks magenta (1) or cyan (0).
    virtual void SetControlLearning(long tag, short on, short selector);
    virtual void setupFinished();
    virtual void setupSubViews(iCGinterface* container);
    virtual void flushViews();
    virtual CControl* getView(int index);
    virtual long getTagForView(int index);
    // The smallest index after `start` whose tag is `tag`, or -1.
    virtual int getViewByTag(long tag, int start);
    // The value of the first control of the tag, or -1.
    virtual float getParameterFromUI(long tag);
    virtual int numberOfViews();
    virtual void recollectTags();
    // The hook for element types the skin editor does not know: none here.
    virtual CView* CreateUIElement(const char* name, const CRect& rect, CControlListener* listener, long tag,
                                   CFrame* frame, const CPoint& offset, const CPoint& offset2,
                                   const SkinAttributes& attributes);
    // Builds the views of `element` and of every element after it on its
    // level into `container`.
    virtual void parseXMLUIEntry(pugi::xml_node element, CFrame* frame, CViewContainer* container,
                                 CControlListener* listener);

    // A control's value goes to the effect: parameters (0..79) as the host's
    // automation between begin and end edit, editor tags to the effect
    // alone (which shows them here again); untagged controls go nowhere. A
    // parameter control whose range is not 0..1 (an option menu: 0 to its
    // last entry) is scaled to 0..1 on the way out and back.
    void valueChanged(CControl* control) override;

    // The colours of the two frames.
    static CColor HighlightColor(short colorCode);
    static CColor LearnColor(short selector);

    // The process's bitmap cache: one bitmap per id, made on first use; the
    // cache holds one reference on each until it is flushed, which happens
    // when the last editor object goes.
    static CBitmap* getBitmap(long id);
    static CBitmap* getBitmapMutable(long id) { return getBitmap(id); }
    static void flushBitmaps();
    static size_t cachedBitmapCount();

protected:
    // Every listed control of the tag, in list order.
    template <typename Action>
    void forEachViewOfTag(long tag, Action action)
    {
        for (int i = getViewByTag(tag, -1); i != -1; i = getViewByTag(tag, i))
            if (CControl* view = getView(i)) action(view);
    }
    void applyParameter(long tag, float value);
    void applyMailbox();
    bool onEditorThread() const { return std::this_thread::get_id() == editorThread.load(); }

    std::vector<CControl*> views;
    std::vector<long> tags;
    std::vector<iControlWrapper*> wrappers;

private:
    void parseLevel(pugi::xml_node element, CFrame* frame, CViewContainer* container, CControlListener* listener,
                    int depth);
    CView* buildStockView(const char* name, const CRect& rect, CControlListener* listener, long tag, CFrame* frame,
                          const CPoint& offset, const CPoint& offset2, const SkinAttributes& a, bool& known);

    std::atomic<bool> opened{false};
    std::atomic<std::thread::id> editorThread{};
    std::atomic<float> mailboxValue[kMailboxTags] = {};
    std::atomic<uint64_t> mailboxPending[kMailboxTags / 64] = {};
};

}  // namespace tonewright
