#pragma once
// The library's views: a tree of rectangles in the plug-in window that the
// library draws and clicks, and the factory that makes a view from a short
// description ("!ClassName[('id')]") through creators registered by class
// name. Everything runs on the host's user-interface thread.

#include <cstdint>
#include <memory>
#include <vector>

#include "protools/PlugInTypes.h"

class CCustomView {
public:
    CCustomView() = default;
    virtual ~CCustomView() = default;
    CCustomView(const CCustomView&) = delete;
    CCustomView& operator=(const CCustomView&) = delete;

    // The update rectangle reaches every subview it meets.
    virtual void Draw(const Rect& update);
    // A click goes to the innermost subview under the point.
    virtual void MouseDown(const EventRecord& event);

    Rect GetFrame() const { return frame; }
    void SetFrame(const Rect& r) { frame = r; }
    // The view takes ownership.
    void AddSubview(std::unique_ptr<CCustomView> view);
    size_t SubviewCount() const { return subviews.size(); }
    CCustomView* GetSubview(size_t i) const { return i < subviews.size() ? subviews[i].get() : nullptr; }
    // The library's own state flag of a view (set while the window shows it).
    int32_t GetStateFlag() const { return stateFlag; }
    void SetStateFlag(int32_t flag) { stateFlag = flag; }

private:
    Rect frame{0, 0, 0, 0};
    int32_t stateFlag = 0;
    std::vector<std::unique_ptr<CCustomView>> subviews;
};

// A view of `width` x `height` pixels: frame from (0, 0) to (height - 1,
// width - 1), corners inclusive.
void SetViewSize(CCustomView& view, int16_t width, int16_t height);

using ViewCreator = CCustomView* (*)();
// Process-wide; a later registration of a name replaces the earlier one.
void RegisterViewCreator(const char* className, ViewCreator creator);
// Makes the view the description names, sized width x height at (left,
// top) of `parent`, which owns it. Null, with nothing added, when the
// description is malformed, its class has no creator or the creator fails.
CCustomView* MakeViewFromDescription(const char* description, CCustomView& parent, int16_t left, int16_t top,
                                     int16_t width, int16_t height);
