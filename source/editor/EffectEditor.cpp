#include "editor/EffectEditor.h"

#include "gui/Controls.h"
#include "gui/DrawContext.h"
#include "plugin/Effect.h"
#include "editor/HighlightControls.h"
#include "editor/ParameterNames.h"

namespace tonewright {

EffectEditor::EffectEditor(Effect* plugin) : SkinEditor(plugin, kWidth, kHeight), owner(plugin) {}

AEffEditor* EffectEditor::create(Effect& plugin) { return new EffectEditor(&plugin); }

bool EffectEditor::open(void* parent)
{
    GetParamIDFromParamNameStr("", ParamEnumStr);
    if (!SkinEditor::open(parent, "ui")) return false;
    if (owner)
        for (int i = 0; i < kNumParameters; ++i) setParameter(i, owner->getParameter(i));
    return true;
}

void EffectEditor::idle()
{
    // The effect disarms learning when a controller has been bound (on the
    // audio thread); the frame goes here, on the editor's thread.
    if (owner && isOpen() && learnTag != -1 && owner->midiLearnTarget.load() == -1) {
        SetControlLearning(learnTag, 0, 0);
        learnTag = -1;
    }
    SkinEditor::idle();
}

CView* EffectEditor::CreateUIElement(const char* name, const CRect& r, CControlListener* l, long tag, CFrame* parentFrame,
                                     const CPoint& offset, const CPoint& offset2, const SkinAttributes& a)
{
    auto is = [name](const char* type) { return SameName(name, type); };
    auto bitmap = [&a](const char* attribute) { return getBitmap(a.GetTagAsInt(attribute)); };
    auto integer = [&a](const char* attribute) { return a.GetTagAsInt(attribute); };
    // Page turns talk to this editor whatever listener the builder passes.
    CControlListener* self = this;

    if (is("CMyKickButton"))
        return new CMyKickButton(r, l, tag, integer("heightofoneimage"), bitmap("background"), offset);
    if (is("Group")) return new nPage(r, parentFrame, -1, 0.0f, bitmap("background"));
    if (is("Page")) return new nPage(r, parentFrame, tag, a.GetTagAsFloat("pagenum"), bitmap("background"));
    if (is("PageTurn")) return new nPageSelect(r, self, tag, a.GetTagAsFloat("pagenum"));
    if (is("CFlashButton"))
        return new CFlashButton(r, self, tag, a.GetTagAsFloat("pagenum"), bitmap("background"));
    if (is("CMyVerticalSwitch"))
        return new CMyVerticalSwitch(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"),
                                     integer("maxpositions"), bitmap("background"), offset);
    if (is("CMyOnOffButton")) return new CMyOnOffButton(r, l, tag, bitmap("background"), integer("style"));
    if (is("CMyVU"))
        return new CMyVU(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"), bitmap("background"), offset);
    if (is("CMyAnimKnob"))
        return new CMyAnimKnob(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"), bitmap("background"),
                               offset);
    if (is("CMyMovieButton"))
        return new CMyMovieButton(r, l, tag, integer("heightofoneimage"), bitmap("background"), offset);
    if (is("CMyMoviePic"))
        return new CMyMoviePic(r, l, tag, integer("heightofoneimage"), bitmap("background"), offset);
    // The product's sliders take their background offset from offsetx/y.
    if (is("CMyHorizontalSlider"))
        return new CMyHorizontalSlider(r, l, tag, integer("minpos"), integer("maxpos"), bitmap("handle"),
                                       bitmap("background"), offset2, integer("style"));
    if (is("CMyVerticalSlider"))
        return new CMyVerticalSlider(r, l, tag, integer("minpos"), integer("maxpos"), bitmap("handle"),
                                     bitmap("background"), offset2, integer("style"));
    if (is("CMyHorizontalSwitch"))
        return new CMyHorizontalSwitch(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"),
                                       integer("maxpositions"), bitmap("background"), offset);
    if (is("CMyLink")) return new CMyLink(r, a.GetTagAsString("url"));
    if (is("CMyTextLabel")) return new CMyTextLabel(r, l, tag, kRedCColor, a.GetTagAsString("text"), kNormalFontSmall);
    if (is("CRedTextEdit")) {
        auto* edit = new CTextEdit(r, l, tag, a.GetTagAsString("txt"), bitmap("background"), integer("style"));
        edit->setFontColor(kRedCColor);
        return edit;
    }
    return nullptr;
}

long EffectEditor::controlModifierClicked(CControl* control, long button)
{
    if ((button & (kShift | kAlt)) != (kShift | kAlt)) return 0;
    const long tag = control->getTag();
    if (tag < 0 || !owner) return 1;  // nothing to bind an untagged control to
    SetControlLearning(learnTag, 0, 0);
    if (tag == learnTag) {
        // The armed control again: unlearn it everywhere.
        std::atomic<int32_t>* map = owner->getMIDIMap(false);
        for (int c = 0; c < Effect::kMidiControllers; ++c)
            if (map[c].load() == learnTag) owner->updateMIDIMap(c, -1);
        learnTag = -1;
    } else {
        learnTag = tag;
        SetControlLearning(tag, 1, 1);
    }
    control->setDirty(true);
    owner->setMIDILearnControl(static_cast<int>(learnTag));
    return 1;
}

}  // namespace tonewright
