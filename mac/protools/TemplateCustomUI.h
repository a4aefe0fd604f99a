#pragma once
// The Effect's editor inside the Pro Tools window. The process answers the
// library's view questions; its view ("NoUIView", inside an outer view
// without resources) passes drawing and clicks to the custom UI, which
// opens the editor in the host's window, forwards draw, mouse and idle to
// it, and answers the library's two control questions (highlight a
// control, which control lies under a point). Library control index k is
// the editor's tag k - 1; only parameters (k = 1..80) count.
//
// User-interface thread only.

#include <cstdint>

#include "protools/Carbon.h"
#include "protools/PlugInViews.h"
#include "vst2/AEffEditor.h"

namespace tonewright {

class ITemplateProcess;

constexpr char kNoUIViewClass[] = "NoUIView";
constexpr char kNoUIViewDescription[] = "!NoUIView[('NoID')]";

class ITemplateCustomUI {
public:
    virtual ~ITemplateCustomUI() = default;
    virtual int32_t Open(WindowRef window) = 0;
    virtual int32_t Close() = 0;
    virtual void Idle() = 0;
    virtual void Draw(int16_t left, int16_t top, int16_t right, int16_t bottom) = 0;
    virtual void GetRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) = 0;
    virtual void SetControlHighlight(int32_t index, int16_t on, int16_t colour) = 0;
    virtual void GetControlIndexFromPoint(int32_t x, int32_t y, int32_t* index) = 0;
    virtual int32_t Mouse(int32_t x, int32_t y) = 0;
};

class CTemplateCustomUI : public ITemplateCustomUI {
public:
    static constexpr int16_t kWidth = 579;
    static constexpr int16_t kHeight = 375;
    // The library's highlight colours run from -1 to 3; others show as -1.
    static constexpr int16_t kFirstColour = -1;
    static constexpr int16_t kLastColour = 3;

    explicit CTemplateCustomUI(ITemplateProcess* process);
    // Leaves the editor to its Effect.
    ~CTemplateCustomUI() override;

    // Opens the editor in the window once (again only after Close), with the
    // plug-in's resource file current while it opens. Returns 1.
    int32_t Open(WindowRef window) override;
    // Closes an open editor; returns 0.
    int32_t Close() override;
    void Idle() override;
    void Draw(int16_t left, int16_t top, int16_t right, int16_t bottom) override;
    void GetRect(int16_t* left, int16_t* top, int16_t* right, int16_t* bottom) override;
    void SetControlHighlight(int32_t index, int16_t on, int16_t colour) override;
    void GetControlIndexFromPoint(int32_t x, int32_t y, int32_t* index) override;
    int32_t Mouse(int32_t x, int32_t y) override;

    bool IsOpen() const { return opened; }
    WindowRef GetWindow() const { return window; }

private:
    ITemplateProcess* process;
    WindowRef window = nullptr;
    Rect rect{0, 0, 0, 0};
    AEffEditor* editor = nullptr;
    bool opened = false;
};

ITemplateCustomUI* NewTemplateCustomUI(ITemplateProcess* process);

// The view the library makes from the description: draws and clicks go to
// its custom UI, when it has one.
class CTemplateNoUIView : public CCustomView {
public:
    virtual void SetCustomUI(ITemplateCustomUI* ui) { customUI = ui; }
    ITemplateCustomUI* GetCustomUI() const { return customUI; }
    void Draw(const Rect& update) override;
    void MouseDown(const EventRecord& event) override;

private:
    ITemplateCustomUI* customUI = nullptr;
};

CCustomView* NewNoUIView();

// The outer view, without resources, that holds the "NoUIView".
class CNoResourceView : public CCustomView {};

}  // namespace tonewright
