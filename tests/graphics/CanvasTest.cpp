#include "graphics/Bitmap.h"
#include "platform/base/Messages.h"
#include "platform/gdi/Screen.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <functional>
#include <thread>
#include <vector>

// Found by argument lookup, so it lives with RECT.
namespace gdi {
bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
void PrintTo(const RECT& r, std::ostream* out) { *out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")"; }
}  // namespace gdi

using namespace graphics;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

constexpr gdi::COLORREF kSentinel = 0x00ABCDEF;

// A memory context with a top-down 32-bit DIB section, released on every path.
class TSurface {
public:
    TSurface(int width, int height) {
        gdi::BITMAPINFO info{};
        info.bmiHeader = {sizeof(gdi::BITMAPINFOHEADER), width, -height, 1, 32, gdi::BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        FBitmap = gdi::CreateDIBSection(nullptr, &info, gdi::DIB_RGB_COLORS, &bits, nullptr, 0);
        FDC = gdi::CreateCompatibleDC(nullptr);
        FOld = gdi::SelectObject(FDC, FBitmap);
        gdi::RECT all{0, 0, width, height};
        gdi::HBRUSH fill = gdi::CreateSolidBrush(kSentinel);
        gdi::FillRect(FDC, &all, fill);
        gdi::DeleteObject(fill);
    }
    ~TSurface() {
        gdi::SelectObject(FDC, FOld);
        gdi::DeleteObject(FBitmap);
        gdi::DeleteDC(FDC);
    }
    HDC DC() const { return FDC; }
    gdi::HGDIOBJ Current(gdi::UINT type) const { return gdi::GetCurrentObject(FDC, type); }

private:
    gdi::HBITMAP FBitmap;
    HDC FDC;
    gdi::HGDIOBJ FOld;
};

gdi::HGDIOBJ Stock(int index) { return gdi::GetStockObject(index); }

// A graphic that only records how it was asked to draw.
class TRecordingGraphic : public TGraphic {
public:
    TRecordingGraphic(int width, int height, std::vector<std::string>* log) : FW(width), FH(height), FLog(log) {}
    const TGraphicClass& ClassType() const override {
        static const TGraphicClass cls{"TRecordingGraphic", &TGraphic::StaticClass(), nullptr};
        return cls;
    }
    void Draw(TCanvas& canvas, const TRect& rect) override {
        Rects.push_back(rect);
        States.push_back(canvas.State());
        BkColor = gdi::GetBkColor(canvas.RawHandle());
        TextColor = gdi::GetTextColor(canvas.RawHandle());
        if (FLog)
            FLog->push_back("draw");
    }
    bool GetEmpty() override { return FW == 0 || FH == 0; }
    int GetWidth() override { return FW; }
    int GetHeight() override { return FH; }
    void SetWidth(int value) override { FW = value; }
    void SetHeight(int value) override { FH = value; }
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream&) override {}
    void LoadFromClipboardFormat(std::uint16_t, THandle, HPALETTE) override {}
    void SaveToClipboardFormat(std::uint16_t&, THandle&, HPALETTE&) override {}
    std::vector<TRect> Rects;
    std::vector<std::uint8_t> States;
    gdi::COLORREF BkColor = 0, TextColor = 0;

private:
    int FW, FH;
    std::vector<std::string>* FLog;
};

class CanvasTest : public ::testing::Test {
protected:
    void SetUp() override {
        gdi::SetScreen(gdi::TScreenSettings{});
        InitializeGraphics();
        FLive = gdi::LiveObjectCount();
        FRecords = BrushResources().Count() + PenResources().Count() + FontResources().Count();
    }
    void TearDown() override {
        EXPECT_EQ(gdi::LiveObjectCount(), FLive) << "a platform object leaked";
        EXPECT_EQ(BrushResources().Count() + PenResources().Count() + FontResources().Count(), FRecords);
        FinalizeGraphics();
    }
    std::size_t FLive = 0, FRecords = 0;
};

}  // namespace

// ---- pixels ---------------------------------------------------------------------------------

struct TFillCase { TRect Rect; TColor Color; };
void PrintTo(const TFillCase& c, std::ostream* out) { gdi::PrintTo(c.Rect, out); *out << " colour " << std::hex << c.Color; }
class CanvasFill : public CanvasTest, public ::testing::WithParamInterface<TFillCase> {};

TEST_P(CanvasFill, FillRectColoursExactlyTheRectangleWithoutRightAndBottomEdges) {
    const auto [rect, color] = GetParam();
    TSurface surface(70, 70);
    TCanvas canvas;
    canvas.SetHandle(surface.DC());
    canvas.Brush().SetColor(color);
    canvas.FillRect(rect);
    const gdi::COLORREF expected = ColorToRGB(color);
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 70; ++x) {
            const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
            ASSERT_EQ(gdi::GetPixel(surface.DC(), x, y), inside ? expected : kSentinel) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Rects, CanvasFill,
                         ::testing::Values(TFillCase{Rect(0, 0, 64, 64), 0x0000FF}, TFillCase{Rect(3, 5, 4, 9), 0x123456},
                                           TFillCase{Rect(60, 60, 90, 90), 0x1F00FF00},  // high byte dropped
                                           TFillCase{Rect(0, 0, 8, 8), clWindowText}));

struct THatchCase { TBrushStyle Style; std::function<bool(int, int)> Line; };
void PrintTo(const THatchCase& c, std::ostream* out) { *out << "style " << int(c.Style); }
class CanvasHatch : public CanvasTest, public ::testing::WithParamInterface<THatchCase> {};

TEST_P(CanvasHatch, NonSolidBrushesPaintTransparentlyWithTheComplementAsBackground) {
    TSurface surface(16, 16);
    TCanvas canvas;
    canvas.SetHandle(surface.DC());
    canvas.Brush().SetColor(0x0000FF);
    canvas.Brush().SetStyle(GetParam().Style);
    canvas.FillRect(Rect(0, 0, 16, 16));
    EXPECT_EQ(gdi::GetBkMode(surface.DC()), gdi::TRANSPARENT);
    EXPECT_EQ(gdi::GetBkColor(surface.DC()), ~gdi::COLORREF(0x0000FF));
    gdi::LOGBRUSH log{};
    ASSERT_EQ(gdi::GetObject(surface.Current(gdi::OBJ_BRUSH), sizeof log, &log), int(sizeof log));
    if (GetParam().Style == TBrushStyle::bsClear) {
        EXPECT_EQ(log.lbStyle, gdi::BS_NULL);
    } else {
        EXPECT_EQ(log.lbStyle, gdi::BS_HATCHED);
        EXPECT_EQ(log.lbHatch, std::uintptr_t(GetParam().Style) - 2);
    }
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(gdi::GetPixel(surface.DC(), x, y), GetParam().Line(x % 8, y % 8) ? 0x0000FFu : kSentinel)
                << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Styles, CanvasHatch,
    ::testing::Values(THatchCase{TBrushStyle::bsClear, [](int, int) { return false; }},
                      THatchCase{TBrushStyle::bsHorizontal, [](int, int y) { return y == 3; }},
                      THatchCase{TBrushStyle::bsVertical, [](int x, int) { return x == 4; }},
                      THatchCase{TBrushStyle::bsFDiagonal, [](int x, int y) { return x == y; }},
                      THatchCase{TBrushStyle::bsBDiagonal, [](int x, int y) { return x + y == 7; }},
                      THatchCase{TBrushStyle::bsCross, [](int x, int y) { return x == 4 || y == 3; }},
                      THatchCase{TBrushStyle::bsDiagCross, [](int x, int y) { return x == y || x + y == 7; }}));

TEST_F(CanvasTest, BrushBitmapTilesAsAPatternBrush) {
    TBitmap pattern;
    pattern.SetWidth(8);
    pattern.SetHeight(8);
    pattern.Canvas().Brush().SetColor(0x0000FF);
    pattern.Canvas().FillRect(Rect(0, 0, 4, 8));
    TSurface surface(16, 8);
    TCanvas canvas;
    canvas.SetHandle(surface.DC());
    canvas.Brush().SetBitmap(&pattern);
    canvas.FillRect(Rect(0, 0, 16, 8));
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(gdi::GetPixel(surface.DC(), x, 3), x % 8 < 4 ? 0x0000FFu : 0xFFFFFFu) << x;
}

// ---- states and selection ---------------------------------------------------------------------

TEST_F(CanvasTest, EachOperationSelectsOnlyTheObjectsItNeeds) {
    TSurface surface(8, 8);
    TCanvas canvas;
    EXPECT_EQ(canvas.State(), 0);
    canvas.SetHandle(surface.DC());
    EXPECT_EQ(canvas.State(), csHandleValid);
    EXPECT_EQ(surface.Current(gdi::OBJ_BRUSH), Stock(gdi::WHITE_BRUSH)) << "the context's own default";

    canvas.FillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(canvas.State(), csHandleValid | csBrushValid);
    EXPECT_EQ(surface.Current(gdi::OBJ_BRUSH), canvas.Brush().Handle());
    EXPECT_EQ(surface.Current(gdi::OBJ_PEN), Stock(gdi::BLACK_PEN));
    EXPECT_EQ(gdi::GetBkMode(surface.DC()), gdi::OPAQUE);
    EXPECT_EQ(gdi::GetBkColor(surface.DC()), 0xFFFFFFu);

    EXPECT_EQ(canvas.Handle(), surface.DC());
    EXPECT_EQ(canvas.State(), csAllValid);
    EXPECT_EQ(surface.Current(gdi::OBJ_PEN), canvas.Pen().Handle());
    EXPECT_EQ(surface.Current(gdi::OBJ_FONT), canvas.Font().Handle());
    EXPECT_EQ(gdi::GetROP2(surface.DC()), gdi::R2_COPYPEN);
    EXPECT_EQ(gdi::GetTextColor(surface.DC()), gdi::GetSysColor(gdi::COLOR_WINDOWTEXT));

    canvas.SetHandle(nullptr);
    EXPECT_EQ(canvas.State(), 0);
    EXPECT_EQ(surface.Current(gdi::OBJ_BRUSH), Stock(gdi::NULL_BRUSH));
    EXPECT_EQ(surface.Current(gdi::OBJ_PEN), Stock(gdi::BLACK_PEN));
    EXPECT_EQ(surface.Current(gdi::OBJ_FONT), Stock(gdi::SYSTEM_FONT));
}

struct TChangeCase { const char* Name; std::uint8_t Flag; gdi::UINT Type; int Stock; std::function<void(TCanvas&)> Change; };
void PrintTo(const TChangeCase& c, std::ostream* out) { *out << c.Name; }
class CanvasChange : public CanvasTest, public ::testing::WithParamInterface<TChangeCase> {};

TEST_P(CanvasChange, ChangingAValidObjectSelectsTheStockObjectAndDeletesTheOldOne) {
    const TChangeCase& change = GetParam();
    TSurface surface(8, 8);
    TCanvas canvas;
    canvas.SetHandle(surface.DC());
    canvas.Handle();
    gdi::HGDIOBJ old = surface.Current(change.Type);
    change.Change(canvas);
    EXPECT_EQ(canvas.State(), csAllValid & ~change.Flag);
    EXPECT_EQ(surface.Current(change.Type), Stock(change.Stock));
    EXPECT_EQ(gdi::GetObjectType(old), 0u) << "deselected before its last reference went";
    canvas.Handle();
    EXPECT_EQ(canvas.State(), csAllValid);
    EXPECT_NE(surface.Current(change.Type), old);
}

INSTANTIATE_TEST_SUITE_P(
    Objects, CanvasChange,
    ::testing::Values(
        TChangeCase{"Brush", csBrushValid, gdi::OBJ_BRUSH, gdi::NULL_BRUSH, [](TCanvas& c) { c.Brush().SetColor(0x00FF00); }},
        TChangeCase{"Pen", csPenValid, gdi::OBJ_PEN, gdi::BLACK_PEN, [](TCanvas& c) { c.Pen().SetWidth(3); }},
        TChangeCase{"Font", csFontValid, gdi::OBJ_FONT, gdi::SYSTEM_FONT, [](TCanvas& c) { c.Font().SetHeight(-20); }},
        TChangeCase{"AssignedBrush", csBrushValid, gdi::OBJ_BRUSH, gdi::NULL_BRUSH,
                    [](TCanvas& c) { TBrush other; other.SetStyle(TBrushStyle::bsCross); c.SetBrush(other); }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(CanvasTest, ModeAndFontColourChangesAreAppliedOnTheNextUse) {
    TSurface surface(8, 8);
    TCanvas canvas;
    canvas.SetHandle(surface.DC());
    canvas.Handle();
    canvas.Pen().SetMode(TPenMode::pmXor);
    canvas.Font().SetColor(0x0000FF);
    EXPECT_EQ(canvas.State(), csHandleValid | csBrushValid);
    canvas.Handle();
    EXPECT_EQ(gdi::GetROP2(surface.DC()), gdi::R2_XORPEN);
    EXPECT_EQ(gdi::GetTextColor(surface.DC()), 0x0000FFu);
}

TEST_F(CanvasTest, SetHandleCarriesThePenPositionToTheNextContext) {
    TSurface first(8, 8), second(8, 8);
    TCanvas canvas;
    canvas.SetHandle(first.DC());
    canvas.Handle();
    gdi::MoveToEx(first.DC(), 5, 7, nullptr);
    canvas.SetHandle(second.DC());
    EXPECT_EQ(canvas.State(), csHandleValid);
    EXPECT_EQ(first.Current(gdi::OBJ_BRUSH), Stock(gdi::NULL_BRUSH));
    gdi::POINT position{};
    gdi::GetCurrentPositionEx(second.DC(), &position);
    EXPECT_EQ(position.x, 5);
    EXPECT_EQ(position.y, 7);
}

TEST_F(CanvasTest, DestroyingTheCanvasLeavesItsContextWithStockObjects) {
    TSurface surface(8, 8);
    gdi::HGDIOBJ brush;
    {
        TCanvas canvas;
        canvas.SetHandle(surface.DC());
        canvas.Brush().SetColor(0x010203);
        canvas.Handle();
        brush = surface.Current(gdi::OBJ_BRUSH);
    }
    EXPECT_EQ(surface.Current(gdi::OBJ_BRUSH), Stock(gdi::NULL_BRUSH));
    EXPECT_EQ(gdi::GetObjectType(brush), 0u);
}

TEST_F(CanvasTest, WithoutAContextEveryDrawingOperationRaisesInvalidOperation) {
    TCanvas canvas;
    TRecordingGraphic graphic(4, 4, nullptr);
    const auto message = StrEq("Canvas に対する描画ができません");
    EXPECT_THAT([&] { canvas.FillRect(Rect(0, 0, 1, 1)); }, ThrowsMessage<EInvalidOperation>(message));
    EXPECT_THAT([&] { canvas.Handle(); }, ThrowsMessage<EInvalidOperation>(message));
    EXPECT_THAT([&] { canvas.Draw(0, 0, &graphic); }, ThrowsMessage<EInvalidOperation>(message));
    EXPECT_THAT([&] { canvas.StretchDraw(Rect(0, 0, 1, 1), &graphic); }, ThrowsMessage<EInvalidOperation>(message));
    EXPECT_THAT([&] { canvas.EnsureState(csBrushValid); }, ThrowsMessage<EInvalidOperation>(message));
    EXPECT_THAT([&] { canvas.TextOut(0, 0, "a"); }, ThrowsMessage<EInvalidOperation>(message));
    EXPECT_THAT([&] { canvas.TextWidth("a"); }, ThrowsMessage<EInvalidOperation>(message));
    EXPECT_EQ(canvas.State(), 0);
    EXPECT_TRUE(graphic.Rects.empty());
}

// ---- text ------------------------------------------------------------------------------------

TEST_F(CanvasTest, TextOutWritesInTheFontColourOnTheBrushAndLeavesThePenWhereItWas) {
    TSurface surface(60, 20);
    TCanvas canvas;
    canvas.SetHandle(surface.DC());
    canvas.Font().SetName("ＭＳ Ｐゴシック");
    canvas.Font().SetHeight(-12);
    canvas.Font().SetColor(TColor(gdi::RGB(255, 0, 0)));
    canvas.Brush().SetColor(TColor(gdi::RGB(0, 0, 255)));
    gdi::MoveToEx(surface.DC(), 3, 4, nullptr);
    int changes = 0;
    canvas.OnChange = [&](TPersistent*) { ++changes; };
    canvas.TextOut(2, 2, "Hb");
    EXPECT_EQ(changes, 1);
    const gdi::SIZE size = canvas.TextExtent("Hb");
    EXPECT_EQ(canvas.State() & (csFontValid | csBrushValid), csFontValid | csBrushValid);
    EXPECT_EQ(gdi::GetPixel(surface.DC(), 2, 2), gdi::RGB(0, 0, 255)) << "a solid brush fills the text's cell";
    EXPECT_EQ(gdi::GetPixel(surface.DC(), 2 + size.cx, 2), kSentinel);
    int red = 0;
    for (int y = 2; y < 2 + size.cy; ++y)
        for (int x = 2; x < 2 + size.cx; ++x) {
            // Anti-aliased red over blue.
            const gdi::COLORREF pixel = gdi::GetPixel(surface.DC(), x, y);
            red += gdi::GetRValue(pixel) > 160 && gdi::GetGValue(pixel) == 0;
        }
    EXPECT_GT(red, 10);
    gdi::POINT position{};
    gdi::GetCurrentPositionEx(surface.DC(), &position);
    EXPECT_EQ(position.x, 3);
    EXPECT_EQ(position.y, 4);

    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    canvas.TextOut(40, 2, "H");
    EXPECT_EQ(gdi::GetPixel(surface.DC(), 40, 2), kSentinel) << "a clear brush leaves the background";
}

TEST_F(CanvasTest, TextRectClipsToItsRectangleAndFillsItOnlyWithASolidBrush) {
    TSurface surface(60, 20);
    TCanvas canvas;
    canvas.SetHandle(surface.DC());
    canvas.Font().SetHeight(-16);
    canvas.Font().SetColor(TColor(gdi::RGB(0, 0, 0)));
    const TRect clear = Rect(4, 2, 12, 18);
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    canvas.TextRect(clear, 0, 2, "WWWW");
    canvas.Brush().SetColor(TColor(gdi::RGB(0, 255, 0)));
    const TRect solid = Rect(30, 2, 50, 18);
    canvas.TextRect(solid, 48, 2, "WWWW");
    int inked = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x) {
            const gdi::COLORREF pixel = gdi::GetPixel(surface.DC(), x, y);
            const bool inClear = x >= clear.left && x < clear.right && y >= clear.top && y < clear.bottom;
            const bool inSolid = x >= solid.left && x < solid.right && y >= solid.top && y < solid.bottom;
            if (!inClear && !inSolid) {
                EXPECT_EQ(pixel, kSentinel) << x << "," << y;
            }
            inked += inClear && pixel != kSentinel;
        }
    EXPECT_GT(inked, 0) << "the clipped text shows inside the rectangle";
    EXPECT_EQ(gdi::GetPixel(surface.DC(), 30, 17), gdi::RGB(0, 255, 0));
}

TEST_F(CanvasTest, TextExtentMeasuresWithTheCanvasFont) {
    TSurface surface(8, 8);
    TCanvas canvas;
    canvas.SetHandle(surface.DC());
    canvas.Font().SetName("ＭＳ Ｐゴシック");
    canvas.Font().SetHeight(-12);
    EXPECT_EQ(canvas.TextWidth(""), 0);
    EXPECT_EQ(canvas.TextHeight(""), 13) << "IPA P Gothic's cell at a 12-pixel em";
    const int narrow = canvas.TextWidth("ab");
    EXPECT_EQ(narrow, canvas.TextWidth("a") + canvas.TextWidth("b"));
    canvas.Font().SetHeight(-24);
    EXPECT_GT(canvas.TextWidth("ab"), narrow) << "a font change is measured at once";
    canvas.Font().SetHeight(20);
    EXPECT_EQ(canvas.TextHeight("x"), 20) << "a positive height is the cell";
}

// ---- drawing graphics ---------------------------------------------------------------------------

TEST_F(CanvasTest, DrawHandsTheGraphicItsOwnSizeAtThePointWithBrushAndFontColours) {
    TSurface surface(8, 8);
    TCanvas canvas;
    std::vector<std::string> log;
    canvas.OnChanging = [&](TPersistent*) { log.push_back("changing"); };
    canvas.OnChange = [&](TPersistent*) { log.push_back("change"); };
    canvas.SetHandle(surface.DC());
    canvas.Brush().SetColor(0x112233);
    canvas.Font().SetColor(0x445566);
    TRecordingGraphic graphic(10, 4, &log);
    canvas.Draw(5, -7, &graphic);
    ASSERT_EQ(graphic.Rects.size(), 1u);
    EXPECT_EQ(graphic.Rects[0], Rect(5, -7, 15, -3));
    EXPECT_EQ(graphic.States[0], csHandleValid) << "draw itself needs only the context";
    EXPECT_EQ(graphic.BkColor, 0x112233u);
    EXPECT_EQ(graphic.TextColor, 0x445566u);
    EXPECT_THAT(log, ::testing::ElementsAre("changing", "draw", "change"));

    canvas.Draw(INT_MAX - 2, 0, &graphic);
    EXPECT_EQ(graphic.Rects[1], Rect(INT_MAX - 2, 0, INT_MAX, 4)) << "the far edge saturates";
}

TEST_F(CanvasTest, StretchDrawHandsTheRectangleWithEveryObjectSelected) {
    TSurface surface(8, 8);
    TCanvas canvas;
    canvas.SetHandle(surface.DC());
    TRecordingGraphic graphic(10, 4, nullptr);
    canvas.StretchDraw(Rect(1, 2, 64, 3), &graphic);
    ASSERT_EQ(graphic.Rects.size(), 1u);
    EXPECT_EQ(graphic.Rects[0], Rect(1, 2, 64, 3));
    EXPECT_EQ(graphic.States[0], csAllValid);
}

TEST_F(CanvasTest, NoGraphicDrawsNothingAndAnEmptyOneIsOnlyStretched) {
    TSurface surface(8, 8);
    TCanvas canvas;
    int changes = 0;
    canvas.OnChanging = [&](TPersistent*) { ++changes; };
    canvas.SetHandle(surface.DC());
    TRecordingGraphic empty(0, 5, nullptr);
    canvas.Draw(0, 0, nullptr);
    canvas.Draw(0, 0, &empty);
    canvas.StretchDraw(Rect(0, 0, 4, 4), nullptr);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(empty.Rects.empty());
    canvas.StretchDraw(Rect(0, 0, 4, 4), &empty);
    ASSERT_EQ(empty.Rects.size(), 1u);
    EXPECT_EQ(empty.Rects[0], Rect(0, 0, 4, 4));
}

// ---- drawing objects and their pools ------------------------------------------------------------

TEST_F(CanvasTest, EqualBrushesShareOnePlatformBrushUntilTheLastReferenceGoes) {
    const std::size_t records = BrushResources().Count();
    auto first = std::make_unique<TBrush>();
    auto second = std::make_unique<TBrush>();
    first->SetColor(0x0A0B0C);
    second->SetStyle(TBrushStyle::bsClear);
    second->SetColor(0x0A0B0C);
    EXPECT_EQ(second->Style(), TBrushStyle::bsSolid) << "a colour turns a hollow brush solid";
    EXPECT_EQ(first->Resource(), second->Resource());
    EXPECT_EQ(BrushResources().Count(), records + 1);
    gdi::HBRUSH handle = first->Handle();
    EXPECT_EQ(second->Handle(), handle);
    first.reset();
    EXPECT_EQ(gdi::GetObjectType(handle), gdi::OBJ_BRUSH);
    second->SetStyle(TBrushStyle::bsCross);
    EXPECT_EQ(gdi::GetObjectType(handle), 0u);
    EXPECT_EQ(second->Color(), 0x0A0B0C) << "a style keeps the colour";
}

TEST_F(CanvasTest, AssignSharesTheRecordAndRefusesOtherKinds) {
    TBrush brush, source;
    source.SetColor(0x00FF00);
    brush.Assign(&source);
    EXPECT_EQ(brush.Resource(), source.Resource());
    TFont font, colouredFont;
    colouredFont.SetColor(0x0000FF);
    font.Assign(&colouredFont);
    EXPECT_EQ(font.Color(), 0x0000FF);
    TPen pen;
    EXPECT_THAT([&] { brush.Assign(&pen); },
                ThrowsMessage<EConvertError>(StrEq("TPen を TBrush に代入することはできません")));
    EXPECT_THAT([&] { pen.Assign(nullptr); }, ThrowsMessage<EConvertError>(StrEq("nil を TPen に代入することはできません")));
}

TEST_F(CanvasTest, PenAndFontHandlesCarryTheirSettings) {
    TPen pen;
    pen.SetColor(clWindowText);
    pen.SetWidth(3);
    pen.SetStyle(TPenStyle::psDash);
    gdi::LOGPEN logPen{};
    ASSERT_EQ(gdi::GetObject(pen.Handle(), sizeof logPen, &logPen), int(sizeof logPen));
    EXPECT_EQ(logPen.lopnStyle, gdi::PS_DASH);
    EXPECT_EQ(logPen.lopnWidth.x, 3);
    EXPECT_EQ(logPen.lopnColor, gdi::GetSysColor(gdi::COLOR_WINDOWTEXT));

    TFont font;
    EXPECT_EQ(font.Name(), "MS Shell Dlg") << "starts as the interface font";
    EXPECT_EQ(font.Color(), clWindowText);
    font.SetSize(15);
    EXPECT_EQ(font.Height(), -20) << "15 points at 96 pixels per inch";
    EXPECT_EQ(font.Size(), 15);
    font.SetName(std::string(40, 'x'));
    EXPECT_EQ(font.Name(), std::string(31, 'x'));
    font.SetStyle(fsBold | fsUnderline);
    font.SetPitch(TFontPitch::fpFixed);
    font.SetCharset(128);
    gdi::LOGFONTA logFont{};
    ASSERT_EQ(gdi::GetObject(font.Handle(), sizeof logFont, &logFont), int(sizeof logFont));
    EXPECT_EQ(logFont.lfHeight, -20);
    EXPECT_EQ(logFont.lfWeight, 700);
    EXPECT_EQ(logFont.lfItalic, 0);
    EXPECT_EQ(logFont.lfUnderline, 1);
    EXPECT_EQ(logFont.lfCharSet, 128);
    EXPECT_EQ(logFont.lfPitchAndFamily, 1);
    EXPECT_STREQ(logFont.lfFaceName, std::string(31, 'x').c_str());
}

class PenModes : public CanvasTest, public ::testing::WithParamInterface<std::pair<TPenMode, int>> {};

TEST_P(PenModes, PenModeBecomesTheContextsBinaryRasterOperation) {
    TSurface surface(2, 2);
    TCanvas canvas;
    canvas.SetHandle(surface.DC());
    canvas.Pen().SetMode(GetParam().first);
    canvas.Handle();
    EXPECT_EQ(gdi::GetROP2(surface.DC()), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    All, PenModes,
    ::testing::Values(std::pair{TPenMode::pmBlack, gdi::R2_BLACK}, std::pair{TPenMode::pmWhite, gdi::R2_WHITE},
                      std::pair{TPenMode::pmNop, gdi::R2_NOP}, std::pair{TPenMode::pmNot, gdi::R2_NOT},
                      std::pair{TPenMode::pmCopy, gdi::R2_COPYPEN}, std::pair{TPenMode::pmNotCopy, gdi::R2_NOTCOPYPEN},
                      std::pair{TPenMode::pmMergePenNot, gdi::R2_MERGEPENNOT},
                      std::pair{TPenMode::pmMaskPenNot, gdi::R2_MASKPENNOT},
                      std::pair{TPenMode::pmMergeNotPen, gdi::R2_MERGENOTPEN},
                      std::pair{TPenMode::pmMaskNotPen, gdi::R2_MASKNOTPEN}, std::pair{TPenMode::pmMerge, gdi::R2_MERGEPEN},
                      std::pair{TPenMode::pmNotMerge, gdi::R2_NOTMERGEPEN}, std::pair{TPenMode::pmMask, gdi::R2_MASKPEN},
                      std::pair{TPenMode::pmNotMask, gdi::R2_NOTMASKPEN}, std::pair{TPenMode::pmXor, gdi::R2_XORPEN},
                      std::pair{TPenMode::pmNotXor, gdi::R2_NOTXORPEN}));

TEST_F(CanvasTest, PoolsStayConsistentUnderConcurrentUse) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < 300; ++i) {
                TBrush brush;
                brush.SetColor(TColor((i + t) % 5));
                TBrush twin;
                twin.SetColor(TColor((i + t) % 5));
                if (brush.Handle() == nullptr || brush.Handle() != twin.Handle())
                    ++failures;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}

// ---- locks, the canvas list, colours and the GDI error -----------------------------------------

TEST_F(CanvasTest, TryLockFailsWhileAnotherThreadHoldsTheLock) {
    TCanvas canvas;
    canvas.Lock();
    canvas.Lock();
    EXPECT_EQ(canvas.LockCount(), 2);
    bool taken = true;
    std::thread([&] { taken = canvas.TryLock(); }).join();
    EXPECT_FALSE(taken);
    canvas.Unlock();
    canvas.Unlock();
    std::thread([&] {
        taken = canvas.TryLock();
        if (taken)
            canvas.Unlock();
    }).join();
    EXPECT_TRUE(taken);
    EXPECT_EQ(canvas.LockCount(), 0);
}

TEST_F(CanvasTest, CanvasListHoldsExactlyTheLivingCanvases) {
    auto canvas = std::make_unique<TCanvas>();
    TCanvas* address = canvas.get();
    EXPECT_THAT(CanvasListSnapshot(), ::testing::Contains(address));
    canvas.reset();
    EXPECT_THAT(CanvasListSnapshot(), ::testing::Not(::testing::Contains(address)));
}

TEST_F(CanvasTest, ColorToRGBLooksUpSystemColoursAtEachUse) {
    EXPECT_EQ(ColorToRGB(0x12345678), 0x345678u);
    EXPECT_EQ(ColorToRGB(ColorDefault), 0u);
    EXPECT_EQ(ColorToRGB(TColor(0xFF0000FF)), 0u) << "no system colour 255";
    const int element = gdi::COLOR_WINDOWTEXT;
    const gdi::COLORREF saved = gdi::GetSysColor(element);
    const gdi::COLORREF changed = 0x00123456;
    gdi::SetSysColors(1, &element, &changed);
    EXPECT_EQ(ColorToRGB(clWindowText), changed);
    gdi::SetSysColors(1, &element, &saved);
    EXPECT_EQ(ColorToRGB(clWindowText), saved);
}

class GdiErrorText : public CanvasTest, public ::testing::WithParamInterface<std::pair<gdi::DWORD, const char*>> {};

TEST_P(GdiErrorText, GdiErrorRaisesOutOfResourcesWithTheSystemText) {
    gdi::SetLastError(GetParam().first);
    EXPECT_THAT([] { GDICheck(0); }, ThrowsMessage<EOutOfResources>(StrEq(GetParam().second)));
    EXPECT_EQ(GDICheck(7), 7);
}

INSTANTIATE_TEST_SUITE_P(Codes, GdiErrorText,
                         ::testing::Values(std::pair{gdi::ERROR_INVALID_HANDLE, "ハンドルが正しくありません。"},
                                           std::pair{gdi::ERROR_SUCCESS, "システム リソースが足りません"},
                                           std::pair{gdi::DWORD(4242), "システム リソースが足りません"}));
