#include "mac/protools/TemplateCustomUI.h"

#include <memory>

#include "gui/AEffGUIEditor.h"
#include "mac/protools/TemplateProcess.h"
#include "editor/SkinEditor.h"

namespace tonewright {

namespace {

// The plug-in's resource file is current from construction to the end of
// the scope, whatever leaves it.
class ResourceBracket {
public:
    explicit ResourceBracket(ITemplateProcess* owner) : process(owner)
    {
        if (process) previous = process->UseResourceFile();
    }
    ~ResourceBracket()
    {
        if (process) process->RestoreResourceFile(previous);
    }
    ResourceBracket(const ResourceBracket&) = delete;
    ResourceBracket& operator=(const ResourceBracket&) = delete;

private:
    ITemplateProcess* process;
    int16_t previous = 0;
};

bool isParameterControl(int32_t index) { return index >= 1 && index <= kNumParameters; }

CFrame* frameOf(AEffEditor* editor)
{
    auto* gui = dynamic_cast<AEffGUIEditor*>(editor);
    return gui ? gui->getFrame() : nullptr;
}

}  // namespace

CTemplateCustomUI::CTemplateCustomUI(ITemplateProcess* owner) : process(owner)
{
    editor = process ? process->GetEditor() : nullptr;
}

CTemplateCustomUI::~CTemplateCustomUI() { editor = nullptr; }

ITemplateCustomUI* NewTemplateCustomUI(ITemplateProcess* process) { return new CTemplateCustomUI(process); }

int32_t CTemplateCustomUI::Open(WindowRef hostWindow)
{
    if (opened) return 1;
    window = hostWindow;
    if (!editor) return 1;
    ResourceBracket bracket(process);
    opened = editor->open(window);
    return 1;
}

int32_t CTemplateCustomUI::Close()
{
    if (opened && editor) editor->close();
    opened = false;
    return 0;
}

void CTemplateCustomUI::Idle()
{
    if (editor) editor->idle();
}

void CTemplateCustomUI::Draw(int16_t left, int16_t top, int16_t right, int16_t bottom)
{
    CFrame* frame = opened ? frameOf(editor) : nullptr;
    if (!frame) return;
    frame->invalidRect(CRect(left, top, right, bottom));
    frame->update();
}

void CTemplateCustomUI::GetRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom)
{
    rect = {0, 0, kHeight, kWidth};
    *left = rect.left;
    *top = rect.top;
    *right = rect.right;
    *bottom = rect.bottom;
}

void CTemplateCustomUI::SetControlHighlight(int32_t index, int16_t on, int16_t colour)
{
    auto* skin = dynamic_cast<SkinEditor*>(editor);
    if (!skin || !isParameterControl(index)) return;
    if (colour < kFirstColour || colour > kLastColour) colour = kFirstColour;
    skin->SetControlHighlight(index, on, colour);
}

void CTemplateCustomUI::GetControlIndexFromPoint(int32_t x, int32_t y, int32_t* index)
{
    *index = 0;
    auto* skin = dynamic_cast<SkinEditor*>(editor);
    if (!skin) return;
    long hit = 0;
    skin->GetControlIndexFromPoint(x, y, &hit);
    if (isParameterControl(static_cast<int32_t>(hit))) *index = static_cast<int32_t>(hit);
}

int32_t CTemplateCustomUI::Mouse(int32_t x, int32_t y)
{
    CFrame* frame = opened ? frameOf(editor) : nullptr;
    if (!frame) return 0;
    // The library reports a click: the button goes down and up there.
    CPoint where(x, y);
    frame->onMouseDown(where, kLButton);
    where = CPoint(x, y);
    frame->onMouseUp(where, kLButton);
    return 0;
}

void CTemplateNoUIView::Draw(const Rect& update)
{
    if (customUI) customUI->Draw(update.left, update.top, update.right, update.bottom);
}

void CTemplateNoUIView::MouseDown(const EventRecord& event)
{
    if (customUI) customUI->Mouse(event.where.h, event.where.v);
}

CCustomView* NewNoUIView() { return new CTemplateNoUIView; }

// ---- the process's editor operations ----

void CTemplateNoUIProcess::makeCustomUI()
{
    if (customUI) return;
    customUI.reset(NewTemplateCustomUI(this));
    customUI->GetRect(&viewRect.left, &viewRect.top, &viewRect.right, &viewRect.bottom);
}

void CTemplateNoUIProcess::CustomViewRect(Rect* rect)
{
    makeCustomUI();
    *rect = {0, 0, CTemplateCustomUI::kHeight, CTemplateCustomUI::kWidth};
}

CCustomView* CTemplateNoUIProcess::MakeCustomView()
{
    try {
        makeCustomUI();
        auto outer = std::make_unique<CNoResourceView>();
        SetViewSize(*outer, CTemplateCustomUI::kWidth, CTemplateCustomUI::kHeight);
        auto* inner = dynamic_cast<CTemplateNoUIView*>(MakeViewFromDescription(
            kNoUIViewDescription, *outer, 0, 0, CTemplateCustomUI::kWidth, CTemplateCustomUI::kHeight));
        if (!inner) throw CDAEError(kPlugInUnknownErr);
        customView = inner;
        inner->SetCustomUI(customUI.get());
        return outer.release();
    } catch (...) {
        customUI.reset();
        customView = nullptr;
        return nullptr;
    }
}

void CTemplateNoUIProcess::AttachToWindowPort(CGrafPtr port)
{
    CEffectProcessMIDI::AttachToWindowPort(port);
    windowPort = port;
    if (port) {
        if (!customUI) return;
        customUI->Open(GetWindowFromPort(port));
        if (customView) customView->SetStateFlag(1);
        customUI->Draw(0, 0, CTemplateCustomUI::kWidth, CTemplateCustomUI::kHeight);
    } else {
        if (customUI) customUI->Close();
        if (customView) customView->SetStateFlag(0);
    }
}

void CTemplateNoUIProcess::IdleCustomUI()
{
    CEffectProcessMIDI::IdleCustomUI();
    catchUp();
    if (customUI) customUI->Idle();
}

ComponentResult CTemplateNoUIProcess::HighlightControl(int32_t index, int16_t on, int16_t colour)
{
    if (customUI) customUI->SetControlHighlight(index, on, colour);
    return kPlugInNoErr;
}

ComponentResult CTemplateNoUIProcess::ControlIndexAtPoint(int32_t packedPoint, int32_t* index)
{
    *index = 0;
    // x in the upper half, y in the lower, each a signed 16-bit number.
    const auto x = static_cast<int16_t>(static_cast<uint32_t>(packedPoint) >> 16);
    const auto y = static_cast<int16_t>(static_cast<uint32_t>(packedPoint) & 0xFFFFu);
    if (customUI) customUI->GetControlIndexFromPoint(x, y, index);
    return kPlugInNoErr;
}

}  // namespace tonewright
