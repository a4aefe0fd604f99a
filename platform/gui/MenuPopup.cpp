#include "gui/MenuPopup.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "gui/Controls.h"
#include "gui/DrawContext.h"

namespace {

constexpr int kTextInset = 18;
constexpr int kRightRoom = 8;  // beside the text, for a sub-menu's arrow
constexpr int kMinWidth = 80;
// Below this height a level does not scroll in the room beside its control
// but takes the screen's.
constexpr int kMinScrollHeight = 2 * CMenuPopup::kBorder + 2 * CMenuPopup::kArrowHeight + 3 * CMenuPopup::kRowHeight;
constexpr long kWheelRows = 3;
// The release of the click that opened the menu comes within this.
constexpr Time kOpeningRelease = 350;
// A level that opened under the pointer takes clicks once it moved this far.
constexpr int kArmingDistance = 3;
constexpr std::chrono::milliseconds kScrollStep{40};

// Rows an arrow scrolls a step after the pointer rested on it this long.
long rowsPerStep(std::chrono::steady_clock::duration resting)
{
    if (resting >= std::chrono::seconds(3)) return 16;
    if (resting >= std::chrono::seconds(1)) return 4;
    return 1;
}

void setRgb(cairo_t* cr, double r, double g, double b) { cairo_set_source_rgb(cr, r, g, b); }

int screenWidth(Display* d) { return DisplayWidth(d, DefaultScreen(d)); }
int screenHeight(Display* d) { return DisplayHeight(d, DefaultScreen(d)); }

}  // namespace

CMenuPopup::CMenuPopup(Display* connection) : display(connection) {}

CMenuPopup::~CMenuPopup() { close(); }

void CMenuPopup::layout(Level& level, int minWidth, int maxHeight)
{
    CDrawContext measuring;
    measuring.setFont(kNormalFont);
    level.count = level.menu->getNbEntries();
    double widest = 0;
    for (long i = 0; i < level.count; ++i)
        widest = std::max(widest, double(measuring.getStringWidth(level.menu->getEntry(i)->getTitle())));
    const int screen = screenWidth(display);
    const int most = std::max(std::max(kMinWidth, screen / 2), std::min(minWidth, screen));
    level.w = std::min(most, std::max(minWidth, int(std::ceil(widest)) + 2 * kTextInset + kRightRoom + 2 * kBorder));
    const long natural = level.count * kRowHeight + 2 * kBorder;
    level.scrolls = natural > maxHeight;
    level.visible = level.scrolls
                        ? std::max(1L, long(maxHeight - 2 * kBorder - 2 * kArrowHeight) / kRowHeight)
                        : level.count;
    level.h = 2 * kBorder + (level.scrolls ? 2 * kArrowHeight : 0) + int(level.visible) * kRowHeight;
}

void CMenuPopup::centre(Level& level, long row)
{
    level.first = std::clamp(row - level.visible / 2, 0L, std::max(0L, level.count - level.visible));
}

bool CMenuPopup::show(Level& level)
{
    if (!createWindow(level)) {
        level.menu->forget();
        return false;
    }
    levels.push_back(level);
    draw(levels.back());
    return true;
}

bool CMenuPopup::createWindow(Level& level)
{
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.save_under = True;
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask;
    level.window = XCreateWindow(display, RootWindow(display, screen), level.x, level.y, unsigned(level.w),
                                 unsigned(level.h), 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWOverrideRedirect | CWSaveUnder | CWEventMask, &attributes);
    if (!level.window) return false;
    level.surface = cairo_xlib_surface_create(display, level.window, DefaultVisual(display, screen), level.w, level.h);
    XMapRaised(display, level.window);
    // A level that appears under the pointer waits for it to move.
    Window root = 0, child = 0;
    int wx = 0, wy = 0;
    unsigned int mask = 0;
    if (XQueryPointer(display, RootWindow(display, screen), &root, &child, &level.pointerX, &level.pointerY, &wx, &wy,
                      &mask))
        level.armed = level.pointerX < level.x || level.pointerX >= level.x + level.w || level.pointerY < level.y ||
                      level.pointerY >= level.y + level.h;
    return true;
}

int CMenuPopup::rowTop(const Level& level, long row) const
{
    return kBorder + (level.scrolls ? kArrowHeight : 0) + int(row - level.first) * kRowHeight;
}

void CMenuPopup::draw(Level& level)
{
    if (!level.surface) return;
    cairo_t* cr = cairo_create(level.surface);
    cairo_push_group(cr);
    setRgb(cr, 0.94, 0.94, 0.94);
    cairo_paint(cr);
    setRgb(cr, 0.47, 0.47, 0.47);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, level.w - 1, level.h - 1);
    cairo_stroke(cr);
    {
        CDrawContext text(nullptr, cr);
        text.setFont(kNormalFont);
        const bool checkCurrent = level.menu->getStyle() & kCheckStyle;
        const long current = level.menu->getCurrentIndex();
        const long end = std::min(level.count, level.first + level.visible);
        for (long r = level.first; r < end; ++r) {
            CMenuItem* item = level.menu->getEntry(r);
            if (!item) continue;
            const int x = kBorder, y = rowTop(level, r), w = level.w - 2 * kBorder;
            if (item->isSeparator()) {
                setRgb(cr, 0.7, 0.7, 0.7);
                cairo_move_to(cr, x + 4, y + kRowHeight / 2 + 0.5);
                cairo_line_to(cr, x + w - 4, y + kRowHeight / 2 + 0.5);
                cairo_stroke(cr);
                continue;
            }
            const bool lit = r == level.highlighted && item->isEnabled() && !item->isTitle();
            if (lit) {
                setRgb(cr, 0.2, 0.4, 0.8);
                cairo_rectangle(cr, x, y, w, kRowHeight);
                cairo_fill(cr);
            }
            const CColor ink = !item->isEnabled() ? CColor{153, 153, 153, 255} : lit ? kWhiteCColor : kBlackCColor;
            text.setFontColor(ink);
            if (item->isChecked() || (checkCurrent && r == current))
                text.drawStringUTF8("\xE2\x9C\x93", CRect(x + 4, y, x + kTextInset, y + kRowHeight), kLeftText);
            const CCoord room = w - kTextInset - kRightRoom - (item->getSubmenu() ? 6 : 0);
            const std::string title = text.fitString(item->getTitle(), room);
            text.drawStringUTF8(title.c_str(), CRect(x + kTextInset, y, x + kTextInset + room, y + kRowHeight),
                                kLeftText);
            if (item->getSubmenu()) {
                setRgb(cr, ink.red / 255.0, ink.green / 255.0, ink.blue / 255.0);
                const double cx = x + w - 10, cy = y + kRowHeight / 2.0;
                cairo_move_to(cr, cx, cy - 4);
                cairo_line_to(cr, cx + 4, cy);
                cairo_line_to(cr, cx, cy + 4);
                cairo_close_path(cr);
                cairo_fill(cr);
            }
        }
    }
    if (level.scrolls) {
        // The arrows, dim where the rows end.
        for (const int dir : {-1, 1}) {
            const bool more = dir < 0 ? level.first > 0 : level.first + level.visible < level.count;
            const double shade = more ? 0.2 : 0.75;
            setRgb(cr, shade, shade, shade);
            const double cx = level.w / 2.0;
            const double cy = dir < 0 ? kBorder + kArrowHeight / 2.0 : level.h - kBorder - kArrowHeight / 2.0;
            cairo_move_to(cr, cx - 5, cy - dir * 3);
            cairo_line_to(cr, cx + 5, cy - dir * 3);
            cairo_line_to(cr, cx, cy + dir * 3);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
    }
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(level.surface);
}

bool CMenuPopup::choosable(const Level& level, long row) const
{
    const CMenuItem* item = row >= 0 && row < level.count ? level.menu->getEntry(row) : nullptr;
    return item && item->isEnabled() && !item->isSeparator() && !item->isTitle();
}

long CMenuPopup::nearest(const Level& level, long from, int step) const
{
    for (long r = from; r >= 0 && r < level.count; r += step)
        if (choosable(level, r)) return r;
    return -1;
}

void CMenuPopup::highlight(size_t l, long row)
{
    Level& level = levels[l];
    if (level.highlighted == row) return;
    level.highlighted = row;
    draw(level);
}

void CMenuPopup::scrollTo(Level& level, long first)
{
    first = std::clamp(first, 0L, std::max(0L, level.count - level.visible));
    if (first == level.first) return;
    level.first = first;
    // What was opened from a row that moved goes.
    for (size_t l = 0; l < levels.size(); ++l)
        if (&levels[l] == &level) closeAfter(l + 1);
    draw(level);
}

void CMenuPopup::reveal(Level& level, long row, bool centred)
{
    if (row < 0 || (row >= level.first && row < level.first + level.visible)) return;
    scrollTo(level, centred ? row - level.visible / 2 : row < level.first ? row : row - level.visible + 1);
}

bool CMenuPopup::open(COptionMenu* menu, int left, int top, int bottom, int minWidth, Time pressTime)
{
    close();
    const int width = screenWidth(display), height = screenHeight(display);
    const int below = height - bottom, above = top;
    const long natural = menu->getNbEntries() * kRowHeight + 2 * kBorder;
    // Beside the control, never over it (where the pointer is): below, else
    // above; taller than both, it scrolls in the larger.
    bool down = natural <= below || (natural > above && below >= above);
    int room = natural <= below ? below : natural <= above ? above : std::max(below, above);
    if (room < kMinScrollHeight) room = height, down = true;
    Level level;
    level.menu = menu;
    menu->remember();
    layout(level, minWidth, room);
    level.x = std::max(0, std::min(left, width - level.w));
    level.y = std::clamp(down ? bottom : top - level.h, 0, std::max(0, height - level.h));
    const long current = menu->getCurrentIndex();
    if (choosable(level, current)) level.highlighted = current, centre(level, current);
    if (!show(level)) return false;
    openTime = pressTime;
    // Clicks outside the menu close it, and its keys come here. A grab another
    // client holds leaves the menu working by its own windows only.
    XGrabPointer(display, levels.front().window, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    XGrabKeyboard(display, levels.front().window, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    grabbed = true;
    XFlush(display);
    return true;
}

void CMenuPopup::closeAfter(size_t keep)
{
    while (levels.size() > keep) {
        Level& level = levels.back();
        if (level.surface) cairo_surface_destroy(level.surface);
        if (level.window) XDestroyWindow(display, level.window);
        level.menu->forget();
        levels.pop_back();
    }
}

void CMenuPopup::close()
{
    closeAfter(0);
    if (grabbed) {
        XUngrabPointer(display, CurrentTime);
        XUngrabKeyboard(display, CurrentTime);
        grabbed = false;
    }
    XFlush(display);
}

bool CMenuPopup::openSubmenu(size_t l, bool byKey)
{
    const Level& parent = levels[l];
    if (parent.highlighted < 0) return false;
    CMenuItem* item = parent.menu->getEntry(parent.highlighted);
    COptionMenu* sub = item && item->isEnabled() ? item->getSubmenu() : nullptr;
    if (levels.size() > l + 1 && levels[l + 1].menu == sub) return true;
    closeAfter(l + 1);
    if (!sub || sub->getNbEntries() == 0) return false;
    const int width = screenWidth(display), height = screenHeight(display);
    const int left = parent.x, right = parent.x + parent.w;
    const int row = parent.y + rowTop(parent, parent.highlighted);
    Level level;
    level.menu = sub;
    sub->remember();
    layout(level, 0, height);
    // Beside the parent, where there is room: right, else left, else the
    // wider side, narrowed to fit.
    if (right + level.w <= width) {
        level.x = right;
    } else if (left - level.w >= 0) {
        level.x = left - level.w;
    } else if (std::max(width - right, left) >= kMinWidth) {
        level.w = std::max(width - right, left);
        level.x = width - right >= left ? right : 0;
    } else {
        level.x = width - level.w;
    }
    level.y = std::clamp(row - kBorder - (level.scrolls ? kArrowHeight : 0), 0, std::max(0, height - level.h));
    const long current = sub->getCurrentIndex();
    if (current >= 0 && current < level.count) centre(level, current);
    if (byKey) {
        level.highlighted = choosable(level, current) ? current : nearest(level, 0, 1);
        const long lit = level.highlighted;
        if (lit >= 0 && (lit < level.first || lit >= level.first + level.visible)) centre(level, lit);
    }
    return show(level);
}

bool CMenuPopup::at(int rootX, int rootY, size_t& l, Place& place, long& row) const
{
    for (size_t i = levels.size(); i-- > 0;) {
        const Level& level = levels[i];
        const int x = rootX - level.x, y = rootY - level.y;
        if (x < 0 || y < 0 || x >= level.w || y >= level.h) continue;
        l = i;
        row = -1;
        place = Place::border;
        if (level.scrolls && y < kBorder + kArrowHeight) {
            place = Place::upArrow;
        } else if (level.scrolls && y >= level.h - kBorder - kArrowHeight) {
            place = Place::downArrow;
        } else if (x >= kBorder && x < level.w - kBorder) {
            const int top = rowTop(level, level.first);
            if (y >= top) {
                const long r = level.first + (y - top) / kRowHeight;
                if (r < level.first + level.visible && r < level.count) place = Place::row, row = r;
            }
        }
        return true;
    }
    return false;
}

bool CMenuPopup::choose(size_t l, long row, Result& result)
{
    const Level& level = levels[l];
    if (!level.armed || !choosable(level, row) || level.menu->getEntry(row)->getSubmenu()) return false;
    result.outcome = Outcome::chosen;
    result.menu = level.menu;
    result.index = row;
    return true;
}

void CMenuPopup::move(long rows)
{
    Level& level = levels.back();
    if (level.count == 0) return;
    const int step = rows > 0 ? 1 : -1;
    long row = -1;
    if (level.highlighted < 0) {
        row = nearest(level, step > 0 ? 0 : level.count - 1, step);
    } else if (std::labs(rows) == 1) {
        // One row on, around the ends.
        for (long tries = 1; tries <= level.count && row < 0; ++tries) {
            const long r = ((level.highlighted + step * tries) % level.count + level.count) % level.count;
            if (choosable(level, r)) row = r;
        }
    } else {
        const long target = std::clamp(level.highlighted + rows, 0L, level.count - 1);
        row = nearest(level, target, step);
        if (row < 0) row = nearest(level, target, -step);
    }
    if (row < 0) return;
    reveal(level, row, false);
    highlight(levels.size() - 1, row);
}

void CMenuPopup::moveTo(long row, int step)
{
    Level& level = levels.back();
    const long found = nearest(level, row, step);
    if (found < 0) return;
    reveal(level, found, false);
    highlight(levels.size() - 1, found);
}

bool CMenuPopup::handle(XEvent& event, Result& result)
{
    size_t l = 0;
    Place place = Place::border;
    long row = -1;
    switch (event.type) {
    case Expose:
        for (Level& level : levels)
            if (level.window == event.xexpose.window) {
                if (event.xexpose.count == 0) draw(level);
                return true;
            }
        return false;
    case MotionNotify: {
        // Of motions in a row only the latest place matters.
        XEvent next;
        while (XPending(display) && (XPeekEvent(display, &next), next.type == MotionNotify))
            XNextEvent(display, &event);
        const int x = event.xmotion.x_root, y = event.xmotion.y_root;
        for (Level& level : levels)
            if (!level.armed && std::abs(x - level.pointerX) + std::abs(y - level.pointerY) >= kArmingDistance)
                level.armed = true;
        const bool over = at(x, y, l, place, row);
        for (size_t i = 0; i < levels.size(); ++i) {
            const int arrow = over && i == l ? (place == Place::upArrow ? -1 : place == Place::downArrow ? 1 : 0) : 0;
            if (arrow != levels[i].arrow) {
                levels[i].arrow = arrow;
                levels[i].restingSince = Clock::now();
                levels[i].lastStep = Clock::time_point{};
            }
        }
        if (over && place == Place::row) {
            highlight(l, row);
            if (!openSubmenu(l, false)) closeAfter(l + 1);
        }
        return true;
    }
    case ButtonPress: {
        const unsigned int button = event.xbutton.button;
        const bool over = at(event.xbutton.x_root, event.xbutton.y_root, l, place, row);
        if (button == Button4 || button == Button5) {
            if (over) scrollTo(levels[l], levels[l].first + (button == Button4 ? -kWheelRows : kWheelRows));
            return true;
        }
        if (button > Button5) return true;
        if (!over) {
            result.outcome = Outcome::closed;
            return true;
        }
        Level& level = levels[l];
        if (place == Place::upArrow || place == Place::downArrow) {
            const long page = std::max(1L, level.visible - 1);
            scrollTo(level, level.first + (place == Place::upArrow ? -page : page));
        } else if (place == Place::row && level.armed && choosable(level, row)) {
            highlight(l, row);
            if (level.menu->getEntry(row)->getSubmenu())
                openSubmenu(l, false);
            else
                choose(l, row, result);
        }
        return true;
    }
    case ButtonRelease:
        // The release of the click that opened the menu chooses nothing.
        if (event.xbutton.button > Button3 || event.xbutton.time - openTime < kOpeningRelease) return true;
        if (at(event.xbutton.x_root, event.xbutton.y_root, l, place, row) && place == Place::row)
            choose(l, row, result);
        return true;
    case KeyPress: {
        char text[8];
        KeySym sym = 0;
        XLookupString(&event.xkey, text, sizeof text, &sym, nullptr);
        const size_t deepest = levels.size() - 1;
        Level& level = levels.back();
        const long page = std::max(1L, level.visible - 1);
        switch (sym) {
        case XK_Up: case XK_KP_Up: move(-1); break;
        case XK_Down: case XK_KP_Down: move(1); break;
        case XK_Page_Up: case XK_KP_Page_Up: move(-page); break;
        case XK_Page_Down: case XK_KP_Page_Down: move(page); break;
        case XK_Home: case XK_KP_Home: moveTo(0, 1); break;
        case XK_End: case XK_KP_End: moveTo(level.count - 1, -1); break;
        case XK_Right: case XK_KP_Right: openSubmenu(deepest, true); break;
        case XK_Left: case XK_KP_Left:
            if (deepest > 0) closeAfter(deepest);
            break;
        case XK_Return: case XK_KP_Enter: case XK_space: {
            const long lit = level.highlighted;
            if (!choosable(level, lit)) break;
            if (level.menu->getEntry(lit)->getSubmenu()) {
                openSubmenu(deepest, true);
            } else {
                level.armed = true;  // the keys choose wherever the pointer is
                choose(deepest, lit, result);
            }
            break;
        }
        case XK_Escape:
            if (deepest > 0)
                closeAfter(deepest);
            else
                result.outcome = Outcome::closed;
            break;
        default: break;
        }
        return true;
    }
    default: return false;
    }
}

void CMenuPopup::idle()
{
    const auto now = Clock::now();
    for (size_t l = 0; l < levels.size(); ++l) {
        Level& level = levels[l];
        if (!level.arrow || !level.scrolls || now - level.lastStep < kScrollStep) continue;
        level.lastStep = now;
        scrollTo(level, level.first + level.arrow * rowsPerStep(now - level.restingSince));
    }
}

std::vector<CMenuPopup::LevelInfo> CMenuPopup::describe() const
{
    std::vector<LevelInfo> out;
    for (const Level& level : levels)
        out.push_back({level.menu, level.x, level.y, level.w, level.h, level.first, level.visible, level.highlighted,
                       level.scrolls});
    return out;
}
