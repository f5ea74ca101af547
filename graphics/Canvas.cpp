// The canvas: one device context and the drawing objects selected into it. An object is selected
// only when an operation needs it, and taken out again only when it changes or the context goes.
#include "graphics/Canvas.h"

#include "graphics/CanvasModule.h"
#include "graphics/Graphic.h"
#include "platform/base/Messages.h"

#include <algorithm>
#include <cassert>
#include <climits>

namespace graphics {

namespace {

// Saturates instead of wrapping, so a graphic placed near the edge of the coordinate range gets
// the largest rectangle there is rather than one turned inside out.
int SaturatingAdd(int a, int b) {
    int sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? INT_MAX : INT_MIN;
    return sum;
}

}  // namespace

TCanvas::TCanvas() {
    FFont.OwnerCanvas = this;
    FPen.OwnerCanvas = this;
    FBrush.OwnerCanvas = this;
    detail::TCanvasModule& module = detail::CanvasModule();
    std::lock_guard lock(module.CanvasListLock);
    module.Canvases.push_back(this);
}

TCanvas::~TCanvas() {
    // The context may outlive the canvas; it must not keep objects whose records die with it.
    SetHandle(nullptr);
    detail::TCanvasModule& module = detail::CanvasModule();
    std::lock_guard lock(module.CanvasListLock);
    auto& list = module.Canvases;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TCanvas::Changed() {
    if (OnChange)
        OnChange(this);
}

void TCanvas::Changing() {
    if (OnChanging)
        OnChanging(this);
}

void TCanvas::CreateHandle() {}

void TCanvas::EnsureState(std::uint8_t required) {
    std::uint8_t needed = required & ~FState;
    // Selecting objects needs a context to select them into.
    if (needed & (csFontValid | csPenValid | csBrushValid))
        needed |= csHandleValid & ~FState;
    if (needed == 0)
        return;
    if (needed & csHandleValid) {
        CreateHandle();
        if (FHandle == nullptr)
            throw EInvalidOperation(base::LoadStr(res::SNoCanvasHandle));
        FState |= csHandleValid;
    }
    // Each flag is recorded as soon as its object is selected: should a later step fail, the
    // objects already in the context are still known, and taken out before they change.
    if (needed & csFontValid) {
        CreateFont();
        FState |= csFontValid;
    }
    if (needed & csPenValid) {
        CreatePen();
        FState |= csPenValid;
    }
    if (needed & csBrushValid) {
        CreateBrush();
        FState |= csBrushValid;
    }
}

void TCanvas::CreateFont() {
    gdi::SelectObject(FHandle, FFont.Handle());
    gdi::SetTextColor(FHandle, ColorToRGB(FFont.Color()));
}

void TCanvas::CreatePen() {
    gdi::SelectObject(FHandle, FPen.Handle());
    gdi::SetROP2(FHandle, PenModeRop2(FPen.Mode()));
}

void TCanvas::CreateBrush() {
    gdi::HBRUSH brush = FBrush.Handle();
    gdi::UnrealizeObject(brush);
    gdi::SelectObject(FHandle, brush);
    const gdi::COLORREF color = ColorToRGB(FBrush.Color());
    if (FBrush.Style() == TBrushStyle::bsSolid) {
        gdi::SetBkColor(FHandle, color);
        gdi::SetBkMode(FHandle, gdi::OPAQUE);
    } else {
        // Hatch gaps stay see-through; the complement keeps the background apart from the
        // brush colour for whatever still paints with it.
        gdi::SetBkColor(FHandle, ~color);
        gdi::SetBkMode(FHandle, gdi::TRANSPARENT);
    }
}

void TCanvas::DeselectHandles() {
    if (FHandle == nullptr)
        return;
    detail::TCanvasModule& module = detail::CanvasModule();
    if (FState & csPenValid)
        gdi::SelectObject(FHandle, module.StockPen);
    if (FState & csBrushValid)
        gdi::SelectObject(FHandle, module.StockBrush);
    if (FState & csFontValid)
        gdi::SelectObject(FHandle, module.StockFont);
    FState &= std::uint8_t(~(csPenValid | csBrushValid | csFontValid));
}

void TCanvas::ObjectChanged(TGraphicsObject& object) {
    if (FHandle == nullptr)
        return;
    detail::TCanvasModule& module = detail::CanvasModule();
    if (&object == &FFont && (FState & csFontValid)) {
        gdi::SelectObject(FHandle, module.StockFont);
        FState &= std::uint8_t(~csFontValid);
    } else if (&object == &FPen && (FState & csPenValid)) {
        gdi::SelectObject(FHandle, module.StockPen);
        FState &= std::uint8_t(~csPenValid);
    } else if (&object == &FBrush && (FState & csBrushValid)) {
        gdi::SelectObject(FHandle, module.StockBrush);
        FState &= std::uint8_t(~csBrushValid);
    }
}

HDC TCanvas::Handle() {
    Changing();
    EnsureState(csAllValid);
    return FHandle;
}

void TCanvas::SetHandle(HDC value) {
    if (value == FHandle)
        return;
    if (FHandle != nullptr) {
        DeselectHandles();
        // The position is carried over, so a canvas whose context is remade draws on from
        // where it was.
        gdi::GetCurrentPositionEx(FHandle, &FPenPos);
        FHandle = nullptr;
        FState &= std::uint8_t(~csHandleValid);
    }
    if (value != nullptr) {
        FHandle = value;
        FState |= csHandleValid;
        gdi::MoveToEx(value, FPenPos.x, FPenPos.y, nullptr);
    }
}

void TCanvas::FillRect(const TRect& rect) {
    Changing();
    EnsureState(csHandleValid | csBrushValid);
    gdi::FillRect(FHandle, &rect, FBrush.Handle());
    Changed();
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
    if (graphic == nullptr || graphic->Empty())
        return;
    Changing();
    EnsureState(csHandleValid);
    // Monochrome pixels copied by the graphic take these two colours.
    gdi::SetBkColor(FHandle, ColorToRGB(FBrush.Color()));
    gdi::SetTextColor(FHandle, ColorToRGB(FFont.Color()));
    const TRect rect = Rect(x, y, SaturatingAdd(x, graphic->Width()), SaturatingAdd(y, graphic->Height()));
    graphic->Draw(*this, rect);
    Changed();
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic) {
    if (graphic == nullptr)
        return;
    Changing();
    EnsureState(csAllValid);
    graphic->Draw(*this, rect);
    Changed();
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
    Changing();
    EnsureState(csHandleValid | csFontValid | csBrushValid);
    const auto count = gdi::UINT(std::min<std::size_t>(text.size(), INT_MAX));
    GDICheck(gdi::ExtTextOutA(FHandle, x, y, 0, nullptr, text.data(), count, nullptr));
    Changed();
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const std::string& text) {
    Changing();
    EnsureState(csHandleValid | csFontValid | csBrushValid);
    gdi::UINT options = gdi::ETO_CLIPPED;
    if (FBrush.Style() != TBrushStyle::bsClear)
        options |= gdi::ETO_OPAQUE;
    const auto count = gdi::UINT(std::min<std::size_t>(text.size(), INT_MAX));
    GDICheck(gdi::ExtTextOutA(FHandle, x, y, options, &rect, text.data(), count, nullptr));
    Changed();
}

gdi::SIZE TCanvas::TextExtent(const std::string& text) {
    EnsureState(csHandleValid | csFontValid);
    gdi::SIZE size{0, 0};
    GDICheck(gdi::GetTextExtentPoint32A(FHandle, text.data(), int(std::min<std::size_t>(text.size(), INT_MAX)), &size));
    return size;
}

void TCanvas::Lock() {
    detail::TCanvasModule& module = detail::CanvasModule();
    {
        std::lock_guard counter(module.CounterLock);
        ++FLockCount;
    }
    FLock.lock();
}

void TCanvas::Unlock() {
    FLock.unlock();
    detail::TCanvasModule& module = detail::CanvasModule();
    std::lock_guard counter(module.CounterLock);
    assert(FLockCount > 0);
    --FLockCount;
}

bool TCanvas::TryLock() {
    detail::TCanvasModule& module = detail::CanvasModule();
    std::lock_guard counter(module.CounterLock);
    // The count includes threads still waiting in Lock, so a zero count means nobody holds the
    // lock or is about to; the try only guards against a caller that broke the pairing.
    if (FLockCount != 0 || !FLock.try_lock())
        return false;
    ++FLockCount;
    return true;
}

int TCanvas::LockCount() const {
    std::lock_guard counter(detail::CanvasModule().CounterLock);
    return FLockCount;
}

std::vector<TCanvas*> CanvasListSnapshot() {
    detail::TCanvasModule& module = detail::CanvasModule();
    std::lock_guard lock(module.CanvasListLock);
    return module.Canvases;
}

}  // namespace graphics
