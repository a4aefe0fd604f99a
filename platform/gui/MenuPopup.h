#pragma once
// An option menu while it is popped up: a window of its own for every open
// level (the menu, then each sub-menu opened from it), one column of rows
// that fits the screen, drawn with cairo, and the events that work it.
//
// A level taller than the screen scrolls: arrows at its top and bottom (the
// pointer resting on one scrolls, faster the longer it rests; a click turns
// a page), the wheel, and the keys Up, Down, Page Up, Page Down, Home and
// End, which move the highlight and keep it in view. A level is at most
// half the screen wide (longer titles end in "..."); a sub-menu opens
// beside the row that opened it, on the side with room, so it never lies
// under the pointer; should it have to, it takes no click until the pointer
// has moved. The menu's current entry is highlighted and in view when the
// menu opens (and in view when a sub-menu opens); a menu of kCheckStyle
// marks it.
//
// Owned by the frame, on its Display connection; runs on the frame's
// thread, under the frame's XErrorGuard.

#include <X11/Xlib.h>

#include <chrono>
#include <vector>

class COptionMenu;
struct _cairo_surface;

class CMenuPopup {
public:
    explicit CMenuPopup(Display* display);
    ~CMenuPopup();
    CMenuPopup(const CMenuPopup&) = delete;
    CMenuPopup& operator=(const CMenuPopup&) = delete;

    // Opens `menu` for a control whose left edge, top and bottom are given
    // in root coordinates: below it, or above it when there is more room
    // there, at least `minWidth` wide. `pressTime` is the time of the click
    // that opened it, whose release chooses nothing. Grabs pointer and
    // keyboard. False when no window could be made.
    bool open(COptionMenu* menu, int left, int top, int bottom, int minWidth, Time pressTime);
    bool isOpen() const { return !levels.empty(); }
    // Closes every level and lets go of pointer and keyboard.
    void close();

    // What an event did to the open pop-up.
    enum class Outcome { none, closed, chosen };
    struct Result {
        Outcome outcome = Outcome::none;
        COptionMenu* menu = nullptr;  // chosen: the menu of the entry
        long index = -1;              // and its index there
    };
    // Handles a pointer, key or expose event while the pop-up is open; false
    // for events that are not the pop-up's.
    bool handle(XEvent& event, Result& result);
    // Scrolls a level whose arrow the pointer rests on.
    void idle();

    // Tests: the open levels, their place on the screen and rows.
    struct LevelInfo {
        COptionMenu* menu;
        int x, y, width, height;
        long first, visible, highlighted;
        bool scrolls;
    };
    std::vector<LevelInfo> describe() const;

    static constexpr int kRowHeight = 18;
    static constexpr int kBorder = 2;
    static constexpr int kArrowHeight = 16;

private:
    using Clock = std::chrono::steady_clock;
    struct Level {
        COptionMenu* menu = nullptr;
        Window window = 0;
        _cairo_surface* surface = nullptr;
        int x = 0, y = 0, w = 0, h = 0;
        long count = 0;        // entries
        long first = 0;        // the first row shown
        long visible = 0;      // rows shown
        long highlighted = -1;
        bool scrolls = false;
        bool armed = true;     // takes clicks
        int pointerX = 0, pointerY = 0;  // where the pointer was when it opened
        int arrow = 0;         // the arrow the pointer rests on: -1 up, 1 down
        Clock::time_point restingSince{}, lastStep{};
    };
    enum class Place { row, upArrow, downArrow, border };

    // Size and rows of a level for `count` entries within the given height.
    void layout(Level& level, int minWidth, int maxHeight);
    bool createWindow(Level& level);
    // The level's window made and drawn, as the last level; false (and the
    // menu let go) when no window could be made.
    bool show(Level& level);
    // Scrolled, before it is shown, so that the row lies in the middle.
    void centre(Level& level, long row);
    void draw(Level& level);
    void closeAfter(size_t keep);
    // The deepest level under a root point and what of it lies there.
    bool at(int rootX, int rootY, size_t& level, Place& place, long& row) const;
    int rowTop(const Level& level, long row) const;
    bool choosable(const Level& level, long row) const;
    void highlight(size_t level, long row);
    void scrollTo(Level& level, long first);
    void reveal(Level& level, long row, bool centred);
    // The nearest choosable row from `from` going `step` (+1 or -1), or -1.
    long nearest(const Level& level, long from, int step) const;
    // The highlight moved by `rows` (a page, the ends), on choosable rows.
    void move(long rows);
    void moveTo(long row, int step);
    bool openSubmenu(size_t level, bool byKey);
    bool choose(size_t level, long row, Result& result);

    Display* display;
    std::vector<Level> levels;
    Time openTime = 0;
    bool grabbed = false;
};
