#include "protools/PlugInViews.h"

#include <cstring>
#include <mutex>
#include <string>
#include <utility>

namespace {

bool meets(const Rect& a, const Rect& b)
{
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

bool contains(const Rect& r, const Point& p) { return p.h >= r.left && p.h <= r.right && p.v >= r.top && p.v <= r.bottom; }

struct Creators {
    std::mutex mutex;
    std::vector<std::pair<std::string, ViewCreator>> entries;
};

Creators& creators()
{
    static Creators table;
    return table;
}

// "!Name[...]" gives Name; anything else nothing.
std::string classOf(const char* description)
{
    if (!description || description[0] != '!') return {};
    const char* open = std::strchr(description, '[');
    if (!open || open == description + 1 || description[std::strlen(description) - 1] != ']') return {};
    return std::string(description + 1, open);
}

}  // namespace

void CCustomView::Draw(const Rect& update)
{
    for (auto& view : subviews)
        if (meets(view->GetFrame(), update)) view->Draw(update);
}

void CCustomView::MouseDown(const EventRecord& event)
{
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
        if (contains((*it)->GetFrame(), event.where)) {
            (*it)->MouseDown(event);
            return;
        }
}

void CCustomView::AddSubview(std::unique_ptr<CCustomView> view)
{
    if (view) subviews.push_back(std::move(view));
}

void SetViewSize(CCustomView& view, int16_t width, int16_t height)
{
    view.SetFrame({0, 0, static_cast<int16_t>(height - 1), static_cast<int16_t>(width - 1)});
}

void RegisterViewCreator(const char* className, ViewCreator creator)
{
    if (!className || !creator) return;
    Creators& table = creators();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto& [name, made] : table.entries)
        if (name == className) {
            made = creator;
            return;
        }
    table.entries.emplace_back(className, creator);
}

CCustomView* MakeViewFromDescription(const char* description, CCustomView& parent, int16_t left, int16_t top,
                                     int16_t width, int16_t height)
{
    const std::string name = classOf(description);
    ViewCreator creator = nullptr;
    {
        Creators& table = creators();
        std::lock_guard<std::mutex> lock(table.mutex);
        for (const auto& [known, made] : table.entries)
            if (known == name) creator = made;
    }
    if (!creator) return nullptr;
    std::unique_ptr<CCustomView> view(creator());
    if (!view) return nullptr;
    view->SetFrame({top, left, static_cast<int16_t>(top + height - 1), static_cast<int16_t>(left + width - 1)});
    CCustomView* made = view.get();
    parent.AddSubview(std::move(view));
    return made;
}
