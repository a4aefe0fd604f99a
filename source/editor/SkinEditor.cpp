#include "editor/SkinEditor.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "gui/Controls.h"
#include "gui/Frame.h"
#include "editor/HighlightControls.h"
#include "editor/ParameterNames.h"
#include "editor/SkinResources.h"

namespace tonewright {

namespace {

// Deeper nesting than any skin needs is refused rather than recursed into.
constexpr int kMaxSkinDepth = 64;

struct BitmapCache {
    std::mutex mutex;
    std::vector<std::pair<long, CBitmap*>> entries;
    long editors = 0;
};

BitmapCache& bitmapCache()
{
    static BitmapCache cache;
    return cache;
}

void flushBitmapsLocked(BitmapCache& cache)
{
    for (auto& [id, bitmap] : cache.entries) bitmap->forget();
    cache.entries.clear();
}

}  // namespace

// ---- life ----

SkinEditor::SkinEditor(AudioEffect* plugin) : AEffGUIEditor(plugin)
{
    BitmapCache& cache = bitmapCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    ++cache.editors;
}

SkinEditor::SkinEditor(AudioEffect* plugin, long width, long height) : SkinEditor(plugin)
{
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<VstInt16>(std::clamp(height, 0L, 32767L));
    rect.right = static_cast<VstInt16>(std::clamp(width, 0L, 32767L));
}

SkinEditor::~SkinEditor()
{
    if (frame) SkinEditor::close();
    BitmapCache& cache = bitmapCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (--cache.editors == 0) flushBitmapsLocked(cache);
}

bool SkinEditor::open(void* parent) { return open(parent, "ui"); }

bool SkinEditor::open(void* parent, const char* skinName)
{
    CFrame* made = nullptr;
    try {
        made = new CGFrame(CRect(0, 0, rect.right - rect.left, rect.bottom - rect.top), parent, this);
        // A host window that cannot take ours changes nothing: a window open
        // elsewhere stays.
        if (parent && !made->isOpen()) {
            made->forget();
            return false;
        }
        if (frame) close();
        frame = made;
        editorThread.store(std::this_thread::get_id());
        AEffGUIEditor::open(parent);
        setKnobMode(kLinearMode);
        InstallSkinResourceLocator();

        std::string text;
        if (LoadSkinDescription(skinName, text)) {
            pugi::xml_document doc;
            ParseSkin(text, doc);
            parseXMLUIEntry(doc.document_element().first_child(), frame, frame, this);
        }
        setupFinished();
        // Values other threads sent while the window was closed are stale:
        // the opener shows the effect's values.
        for (auto& word : mailboxPending) word.store(0);
        opened.store(true);
        return true;
    } catch (...) {
        if (made && made != frame) made->forget();
        close();
        return false;
    }
}

void SkinEditor::close()
{
    opened.store(false);
    if (frame) {
        CFrame* gone = frame;
        frame = nullptr;
        gone->forget();
    }
    flushViews();
    AEffGUIEditor::close();
}

void SkinEditor::idle()
{
    if (!frame) return;
    editorThread.store(std::this_thread::get_id());
    applyMailbox();
    AEffGUIEditor::idle();
}

// ---- values ----

void SkinEditor::setParameter(VstInt32 index, float value)
{
    if (index < 0 || !opened.load()) return;
    if (onEditorThread()) {
        applyParameter(index, value);
        return;
    }
    if (index >= kMailboxTags) return;
    mailboxValue[index].store(value, std::memory_order_relaxed);
    mailboxPending[index / 64].fetch_or(uint64_t{1} << (index % 64), std::memory_order_release);
}

void SkinEditor::applyMailbox()
{
    for (int word = 0; word < kMailboxTags / 64; ++word) {
        uint64_t bits = mailboxPending[word].exchange(0, std::memory_order_acquire);
        while (bits) {
            const int tag = word * 64 + __builtin_ctzll(bits);
            bits &= bits - 1;
            applyParameter(tag, mailboxValue[tag].load(std::memory_order_relaxed));
        }
    }
}

namespace {

// Parameters are 0..1 at the effect; a control with another range (an
// option menu counts its entries) shows and reports them across its own.
bool ownRange(const CControl* control)
{
    return control->getMax() > control->getMin() && (control->getMin() != 0.0f || control->getMax() != 1.0f);
}

}  // namespace

void SkinEditor::applyParameter(long tag, float value)
{
    if (!frame || tag < 0) return;
    const bool parameter = tag < kParameterTags;
    forEachViewOfTag(tag, [value, parameter](CControl* view) {
        if (parameter && ownRange(view))
            view->setValue(view->getMin() + std::clamp(value, 0.0f, 1.0f) * (view->getMax() - view->getMin()));
        else
            view->setValue(value);
    });
}

void SkinEditor::valueChanged(CControl* control)
{
    const long tag = control->getTag();
    float value = control->getValue();
    if (tag < 0 || !effect) return;
    if (tag < kParameterTags && tag < effect->getAeffect()->numParams) {
        if (ownRange(control))
            value = std::clamp((value - control->getMin()) / (control->getMax() - control->getMin()), 0.0f, 1.0f);
        // Every change a host hears comes inside a gesture; a control that
        // reports outside one gets a gesture of its own.
        const bool framed = control->isEditing();
        if (!framed) beginEdit(tag);
        effect->setParameterAutomated(tag, value);
        if (!framed) endEdit(tag);
    } else {
        effect->setParameter(tag, value);
    }
}

float SkinEditor::getParameterFromUI(long tag)
{
    const int i = getViewByTag(tag, -1);
    CControl* view = i < 0 ? nullptr : getView(i);
    return view ? view->getValue() : -1.0f;
}

// ---- the lists ----

int SkinEditor::numberOfViews() { return static_cast<int>(views.size()); }

CControl* SkinEditor::getView(int index)
{
    if (index >= 0 && index < numberOfViews()) return views[size_t(index)];
    if (!frame || index < 0) return nullptr;
    return dynamic_cast<CControl*>(frame->getView(index));
}

long SkinEditor::getTagForView(int index)
{
    return index >= 0 && index < static_cast<int>(tags.size()) ? tags[size_t(index)] : -1;
}

int SkinEditor::getViewByTag(long tag, int start)
{
    for (int i = std::max(start + 1, 0); i < static_cast<int>(tags.size()); ++i)
        if (tags[size_t(i)] == tag) return i;
    return -1;
}

void SkinEditor::recollectTags()
{
    tags.clear();
    for (CControl* view : views) tags.push_back(view->getTag());
}

void SkinEditor::flushViews()
{
    for (iControlWrapper* wrapper : wrappers) wrapper->forget();
    wrappers.clear();
    views.clear();
    tags.clear();
}

void SkinEditor::setupFinished()
{
    flushViews();
    setupSubViews(dynamic_cast<iCGinterface*>(frame));
}

void SkinEditor::setupSubViews(iCGinterface* container)
{
    if (!container) return;
    for (CCView* entry = container->getFirstCCView(); entry; entry = entry->pNext) {
        CView* child = entry->pView;
        if (!child) continue;
        if (child->isTypeOf("CControl")) {
            auto* control = static_cast<CControl*>(child);
            views.push_back(control);
            tags.push_back(control->getTag());
        }
        if (auto* item = dynamic_cast<iControl*>(child)) {
            auto* wrapper = new iControlWrapper(item);
            wrappers.push_back(wrapper);
            views.push_back(wrapper);
            tags.push_back(item->getTag());
        }
        if (auto* inner = dynamic_cast<iCGinterface*>(child)) setupSubViews(inner);
    }
}

// ---- the point query and the frames ----

void SkinEditor::GetControlIndexFromPoint(long x, long y, long* result)
{
    if (!result) return;
    for (size_t i = 0; i < views.size(); ++i) {
        const long tag = tags[i];
        CControl* view = views[i];
        if (tag < 0 || tag >= kParameterTags || !view->isVisible() || IsInHiddenContainer(view)) continue;
        CPoint where(static_cast<CCoord>(x), static_cast<CCoord>(y));
        view->frameToLocal(where);
        if (view->hitTest(where, -1)) *result = tag + 1;
    }
}

CColor SkinEditor::HighlightColor(short colorCode)
{
    static constexpr CColor table[5] = {kBlackCColor, kRedCColor, kBlueCColor, kGreenCColor, kYellowCColor};
    return table[((colorCode + 1) % 5 + 5) % 5];
}

CColor SkinEditor::LearnColor(short selector) { return (selector & 1) ? kMagentaCColor : kCyanCColor; }

void SkinEditor::SetControlHighlight(long index, short on, short colorCode)
{
    const CColor color = HighlightColor(colorCode);
    forEachViewOfTag(index - 1, [&](CControl* view) {
        if (auto* framed = dynamic_cast<CHighlightControl*>(view)) {
            framed->setHighlight(on, color);
            view->setDirty(true);
        }
    });
}

void SkinEditor::SetControlLearning(long tag, short on, short selector)
{
    const CColor color = LearnColor(selector);
    forEachViewOfTag(tag, [&](CControl* view) {
        if (auto* framed = dynamic_cast<CHighlightControl*>(view)) {
            framed->setLearning(on, color);
            view->setDirty(true);
        }
    });
}

// ---- bitmaps ----

CBitmap* SkinEditor::getBitmap(long id)
{
    BitmapCache& cache = bitmapCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    for (auto& [known, bitmap] : cache.entries)
        if (known == id && bitmap) return bitmap;
    auto* bitmap = new CBitmap(id);  // its first reference is the cache's
    cache.entries.emplace_back(id, bitmap);
    return bitmap;
}

void SkinEditor::flushBitmaps()
{
    BitmapCache& cache = bitmapCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    flushBitmapsLocked(cache);
}

size_t SkinEditor::cachedBitmapCount()
{
    BitmapCache& cache = bitmapCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    return cache.entries.size();
}

// ---- building ----

CView* SkinEditor::CreateUIElement(const char*, const CRect&, CControlListener*, long, CFrame*, const CPoint&,
                                   const CPoint&, const SkinAttributes&)
{
    return nullptr;
}

void SkinEditor::parseXMLUIEntry(pugi::xml_node element, CFrame* frameToUse, CViewContainer* container,
                                 CControlListener* listener)
{
    parseLevel(element, frameToUse, container, listener, 0);
}

void SkinEditor::parseLevel(pugi::xml_node element, CFrame* frameToUse, CViewContainer* container,
                            CControlListener* listener, int depth)
{
    for (; element; element = element.next_sibling()) {
        if (element.type() != pugi::node_element) continue;
        const SkinAttributes a(element);
        const CCoord x = a.GetTagAsInt("x"), y = a.GetTagAsInt("y");
        const CRect size(x, y, x + a.GetTagAsInt("width"), y + a.GetTagAsInt("height"));
        const long tag = GetParamIDFromParamNameStr(a.GetTagAsString("tag"), nullptr);
        const CPoint offset(a.GetTagAsInt("xoff"), a.GetTagAsInt("yoff"));
        const CPoint offset2(a.GetTagAsInt("offsetx"), a.GetTagAsInt("offsety"));

        bool known = false;
        CView* view = buildStockView(element.name(), size, listener, tag, frameToUse, offset, offset2, a, known);
        if (!known) view = CreateUIElement(element.name(), size, listener, tag, frameToUse, offset, offset2, a);
        if (view) container->addView(view);

        const pugi::xml_node firstChild = element.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; });
        if (!firstChild) continue;
        auto* inner = dynamic_cast<CViewContainer*>(view);
        if (inner && depth + 1 >= kMaxSkinDepth)
            std::fputs("Quarrystone TWR:: skin nested too deeply; inner views skipped.\n", stderr);
        else if (inner)
            parseLevel(firstChild, frameToUse, inner, listener, depth + 1);
        else
            std::fputs("XML is wrong! Trying to add child controls to a non ViewContainer class. Did you forget a /?\n",
                       stderr);
    }
}

CView* SkinEditor::buildStockView(const char* name, const CRect& r, CControlListener* l, long tag, CFrame* frameToUse,
                                  const CPoint& offset, const CPoint& offset2, const SkinAttributes& a, bool& known)
{
    known = true;
    auto is = [name](const char* type) { return SameName(name, type); };
    auto bitmap = [&a](const char* attribute) { return getBitmap(a.GetTagAsInt(attribute)); };
    auto integer = [&a](const char* attribute) { return a.GetTagAsInt(attribute); };
    // Views that take no tag get none (-1), so no value reaches them.
    auto untagged = [](CControl* control) {
        control->setTag(-1);
        return control;
    };

    if (is("CGViewContainer"))
        return new CGViewContainer(r, frameToUse, bitmap("background"), a.GetTagAsBool("hide"));
    if (is("COnOffButton")) return new COnOffButton(r, l, tag, bitmap("background"), integer("style"));
    if (is("CParamDisplay")) return untagged(new CParamDisplay(r, bitmap("background"), integer("style")));
    if (is("CTextLabel"))
        return untagged(new CTextLabel(r, a.GetTagAsString("txt"), bitmap("background"), integer("style")));
    if (is("CTextEdit"))
        return new CTextEdit(r, l, tag, a.GetTagAsString("txt"), bitmap("background"), integer("style"));
    if (is("COptionMenu"))
        return new COptionMenu(r, l, tag, bitmap("background"), bitmap("bgclicked"), integer("style"));
    if (is("CKnob")) return new CKnob(r, l, tag, bitmap("background"), bitmap("handle"), offset);
    if (is("CAnimKnob")) return new CAnimKnob(r, l, tag, bitmap("background"), offset);
    if (is("CAnimKnob2"))
        return new CAnimKnob(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"), bitmap("background"),
                             offset);
    if (is("CVerticalSwitch")) return new CVerticalSwitch(r, l, tag, bitmap("background"), offset);
    if (is("CVerticalSwitch2"))
        return new CVerticalSwitch(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"),
                                   integer("maxpositions"), bitmap("background"), offset);
    if (is("CHorizontalSwitch")) return new CHorizontalSwitch(r, l, tag, bitmap("background"), offset);
    if (is("CHorizontalSwitch2"))
        return new CHorizontalSwitch(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"),
                                     integer("maxpositions"), bitmap("background"), offset);
    if (is("CRockerSwitch")) return new CRockerSwitch(r, l, tag, bitmap("background"), offset, integer("style"));
    if (is("CRockerSwitch2"))
        return new CRockerSwitch(r, l, tag, integer("heightofoneimage"), bitmap("background"), offset,
                                 integer("style"));
    if (is("CMovieBitmap")) return new CMovieBitmap(r, l, tag, bitmap("background"), offset);
    if (is("CMovieBitmap2"))
        return new CMovieBitmap(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"), bitmap("background"),
                                offset);
    if (is("CMovieButton")) return new CMovieButton(r, l, tag, bitmap("background"), offset);
    if (is("CMovieButton2"))
        return new CMovieButton(r, l, tag, integer("heightofoneimage"), bitmap("background"), offset);
    if (is("CAutoAnimation")) return new CAutoAnimation(r, l, tag, bitmap("background"), offset);
    if (is("CAutoAnimation2"))
        return new CAutoAnimation(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"),
                                  bitmap("background"), offset);
    if (is("CSlider"))
        return new CSlider(r, l, tag, integer("minpos"), integer("maxpos"), bitmap("handle"), bitmap("background"),
                           offset, integer("style"));
    if (is("CSlider2"))
        return new CSlider(r, l, tag, offset2, integer("rangehandle"), bitmap("handle"), bitmap("background"), offset,
                           integer("style"));
    if (is("CVerticalSlider"))
        return new CVerticalSlider(r, l, tag, integer("minpos"), integer("maxpos"), bitmap("handle"),
                                   bitmap("background"), offset, integer("style"));
    if (is("CVerticalSlider2"))
        return new CVerticalSlider(r, l, tag, offset2, integer("rangehandle"), bitmap("handle"),
                                   bitmap("background"), offset, integer("style"));
    if (is("CHorizontalSlider"))
        return new CHorizontalSlider(r, l, tag, integer("minpos"), integer("maxpos"), bitmap("handle"),
                                     bitmap("background"), offset, integer("style"));
    if (is("CHorizontalSlider2"))
        return new CHorizontalSlider(r, l, tag, offset2, integer("rangehandle"), bitmap("handle"),
                                     bitmap("background"), offset, integer("style"));
    if (is("CKickButton")) return new CKickButton(r, l, tag, bitmap("background"), offset);
    if (is("CKickButton2"))
        return new CKickButton(r, l, tag, integer("heightofoneimage"), bitmap("background"), offset);
    if (is("CSplashScreen")) {
        const CCoord left = integer("dleft"), right = integer("dright");
        const CCoord top = integer("dtop"), bottom = integer("dbottom");
        const CRect display(std::min(left, right), std::min(top, bottom), std::max(left, right),
                            std::max(top, bottom));
        return new CSplashScreen(r, l, tag, bitmap("background"), display, offset);
    }
    if (is("CVuMeter"))
        return untagged(new CVuMeter(r, bitmap("on"), bitmap("off"), integer("nbled"), integer("style")));
    known = false;
    return nullptr;
}

}  // namespace tonewright
