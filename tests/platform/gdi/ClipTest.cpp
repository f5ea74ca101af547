// The context's clip: every drawing call leaves the pixels outside it untouched, at every depth,
// and the clip calls combine, report and move it as the platform does.
#include "BlitTestSupport.h"

#include <functional>

namespace {

using namespace gdi;
using namespace blittest;

class TClipTest : public TGdiTest {};

// A clip with a hole and a notch: the square (2,2)–(22,12) less (8,5)–(14,9) and (18,0)–(30,4).
HRGN MakeHoledClip() {
    HRGN clip = CreateRectRgn(2, 2, 22, 12);
    HRGN hole = CreateRectRgn(8, 5, 14, 9), notch = CreateRectRgn(18, 0, 30, 4);
    CombineRgn(clip, clip, hole, RGN_DIFF);
    CombineRgn(clip, clip, notch, RGN_DIFF);
    DeleteObject(hole);
    DeleteObject(notch);
    return clip;
}

struct TDrawCase {
    const char* Name;
    std::function<void(HDC dc, HDC source)> Draw;
};

// Draws each case twice on a 32 × 16 surface, once clipped: inside the clip the pixels must be
// those of the unclipped drawing, outside they must be what was there before.
class TClippedDrawing : public TClipTest, public ::testing::WithParamInterface<std::tuple<TDrawCase, int>> {};

TEST_P(TClippedDrawing, ChangesOnlyPixelsInsideTheClip) {
    const auto& [drawCase, bpp] = GetParam();
    const std::vector<RGBQUAD> grey = [] {
        std::vector<RGBQUAD> table;
        for (int i = 0; i < 256; ++i)
            table.push_back(RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0});
        return table;
    }();
    auto make = [&] {
        return bpp == 1 ? MakeDdb(1, 32, 16) : MakeDib(bpp, 32, -16, bpp == 8 ? grey : std::vector<RGBQUAD>{});
    };
    auto plain = make(), clipped = make();
    auto source = MakeDib(32, 32, -16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            source->SetRaw(x, y, (x * 37 + y * 11) % 3 == 0 ? 0x000000u : 0x00FFFFFFu);
    for (auto* surface : {plain.get(), clipped.get()})
        PatBlt(surface->Dc(), 0, 0, 32, 16, WHITENESS);
    HRGN clip = MakeHoledClip();
    EXPECT_EQ(SelectClipRgn(clipped->Dc(), clip), COMPLEXREGION);
    drawCase.Draw(plain->Dc(), source->Dc());
    drawCase.Draw(clipped->Dc(), source->Dc());
    SelectClipRgn(clipped->Dc(), nullptr);

    int changedInside = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            const COLORREF drawn = GetPixel(clipped->Dc(), x, y);
            if (PtInRegion(clip, x, y)) {
                EXPECT_EQ(drawn, GetPixel(plain->Dc(), x, y)) << x << "," << y;
                changedInside += drawn != RGB(255, 255, 255);
            } else {
                EXPECT_EQ(drawn, RGB(255, 255, 255)) << "outside the clip at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(changedInside, 0) << "the drawing changed nothing, so the case proves nothing";
    DeleteObject(clip);
}

const TDrawCase kDrawCases[] = {
    {"PatBlt", [](HDC dc, HDC) { PatBlt(dc, -5, -5, 50, 50, BLACKNESS); }},
    {"PatBltHatch",
     [](HDC dc, HDC) {
         HBRUSH brush = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 0, 0));
         HGDIOBJ old = SelectObject(dc, brush);
         PatBlt(dc, 0, 0, 32, 16, PATINVERT);
         SelectObject(dc, old);
         DeleteObject(brush);
     }},
    {"FillRect",
     [](HDC dc, HDC) {
         const RECT rect{1, 1, 40, 15};
         FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
     }},
    {"BitBlt", [](HDC dc, HDC source) { BitBlt(dc, 0, 0, 32, 16, source, 0, 0, SRCCOPY); }},
    {"BitBltSourceInvert", [](HDC dc, HDC source) { BitBlt(dc, 3, 1, 29, 15, source, 0, 0, NOTSRCCOPY); }},
    {"StretchBlt", [](HDC dc, HDC source) { StretchBlt(dc, 0, 0, 32, 16, source, 0, 0, 9, 5, SRCCOPY); }},
    {"StretchDIBits",
     [](HDC dc, HDC) {
         TDibInfo info = DibInfo(8, 4, 2, {Quad(RGB(0, 0, 0)), Quad(RGB(255, 255, 255))});
         const BYTE bits[8] = {0, 1, 0, 1, 1, 0, 0, 1};
         StretchDIBits(dc, 0, 0, 32, 16, 0, 0, 4, 2, bits, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                       SRCCOPY);
     }},
    {"MaskBlt",
     [](HDC dc, HDC source) {
         const WORD rows[16] = {0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555,
                                0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555};
         HBITMAP mask = CreateBitmap(16, 16, 1, 1, rows);
         MaskBlt(dc, 0, 0, 16, 16, source, 0, 0, mask, 0, 0, MAKEROP4(BLACKNESS, DSTINVERT));
         DeleteObject(mask);
     }},
    {"SetPixel",
     [](HDC dc, HDC) {
         for (int y = 0; y < 16; ++y)
             for (int x = 0; x < 32; x += 2)
                 SetPixel(dc, x, y, RGB(0, 0, 0));
     }},
    {"TextOut",
     [](HDC dc, HDC) {
         SetBkMode(dc, TRANSPARENT);
         TextOutA(dc, 0, 0, "WMWMW", 5);
     }},
    {"TextOpaque",
     [](HDC dc, HDC) {
         SetBkColor(dc, RGB(0, 0, 0));
         const RECT rect{0, 0, 32, 16};
         ExtTextOutA(dc, 4, 2, ETO_OPAQUE, &rect, "iii", 3, nullptr);
     }},
    {"DrawIcon",
     [](HDC dc, HDC) { DrawIconEx(dc, 0, -8, LoadIconA(nullptr, IDI_APPLICATION), 32, 32, 0, nullptr, DI_NORMAL); }},
    {"DrawAlphaIcon",
     [](HDC dc, HDC) {
         std::vector<BYTE> andBits(2 * 16, 0);
         std::vector<DWORD> colour(16 * 16, 0xC0102030u);
         HICON icon = CreateIcon(nullptr, 16, 16, 1, 32, andBits.data(), reinterpret_cast<BYTE*>(colour.data()));
         DrawIconEx(dc, 3, 0, icon, 28, 16, 0, nullptr, DI_NORMAL);
         DestroyIcon(icon);
     }},
    {"FillRgn",
     [](HDC dc, HDC) {
         HRGN region = CreateEllipticRgn(0, 0, 32, 16);
         FillRgn(dc, region, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
         DeleteObject(region);
     }},
    {"DashedPolyline",
     [](HDC dc, HDC) {
         HPEN pen = CreatePen(PS_DASHDOT, 0, RGB(0, 0, 0));
         HGDIOBJ old = SelectObject(dc, pen);
         SetBkColor(dc, RGB(90, 90, 90));
         SetROP2(dc, R2_NOTXORPEN);
         const POINT points[] = {{-3, 1}, {40, 14}, {0, 15}, {31, 0}, {-100000000, 7}};
         Polyline(dc, points, 5);
         SelectObject(dc, old);
         DeleteObject(pen);
     }},
    {"PolygonAndRectangle",
     [](HDC dc, HDC) {
         HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 0, 0));
         HGDIOBJ old = SelectObject(dc, hatch);
         SetPolyFillMode(dc, WINDING);
         const POINT star[] = {{16, -4}, {26, 18}, {1, 5}, {33, 5}, {4, 20}};
         Polygon(dc, star, 5);
         SetROP2(dc, R2_MERGEPENNOT);
         Rectangle(dc, 3, 1, 29, 14);
         SelectObject(dc, old);
         DeleteObject(hatch);
     }},
    {"InvertRgn",
     [](HDC dc, HDC) {
         HRGN region = CreateRectRgn(0, 3, 32, 14);
         InvertRgn(dc, region);
         DeleteObject(region);
     }},
};

INSTANTIATE_TEST_SUITE_P(Calls, TClippedDrawing,
                         ::testing::Combine(::testing::ValuesIn(kDrawCases), ::testing::Values(1, 8, 24, 32)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).Name) + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST_F(TClipTest, ExtSelectClipRgnModesCombineWithTheCurrentClip) {
    auto surface = MakeDib(32, 32, -16);
    HDC dc = surface->Dc();
    HRGN base = CreateRectRgn(0, 0, 12, 12), other = CreateRectRgn(6, 6, 20, 14);
    struct {
        int Mode;
        bool (*Keep)(bool, bool);
    } const modes[] = {
        {RGN_AND, [](bool a, bool b) { return a && b; }}, {RGN_OR, [](bool a, bool b) { return a || b; }},
        {RGN_XOR, [](bool a, bool b) { return a != b; }}, {RGN_DIFF, [](bool a, bool b) { return a && !b; }},
        {RGN_COPY, [](bool, bool b) { return b; }},
    };
    for (const auto& m : modes) {
        SelectClipRgn(dc, base);
        EXPECT_NE(ExtSelectClipRgn(dc, other, m.Mode), ERROR);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x)
                EXPECT_EQ(PtVisible(dc, x, y) == TRUE, m.Keep(PtInRegion(base, x, y), PtInRegion(other, x, y)))
                    << "mode " << m.Mode << " at " << x << "," << y;
    }
    // Without a clip region the whole surface is the current clip.
    SelectClipRgn(dc, nullptr);
    EXPECT_EQ(ExtSelectClipRgn(dc, other, RGN_DIFF), COMPLEXREGION);
    EXPECT_TRUE(PtVisible(dc, 31, 15));
    EXPECT_FALSE(PtVisible(dc, 6, 6));
    // NULL only with RGN_COPY, which removes the clip region; a failure leaves the clip alone.
    SetLastError(0);
    EXPECT_EQ(ExtSelectClipRgn(dc, nullptr, RGN_AND), ERROR);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(PtVisible(dc, 6, 6));
    EXPECT_EQ(ExtSelectClipRgn(dc, base, 9), ERROR);
    EXPECT_EQ(ExtSelectClipRgn(dc, nullptr, RGN_COPY), SIMPLEREGION);
    EXPECT_TRUE(PtVisible(dc, 6, 6));
    DeleteObject(base);
    DeleteObject(other);
}

TEST_F(TClipTest, ClipRectanglesBoxesAndCopies) {
    auto surface = MakeDib(32, 32, -16);
    HDC dc = surface->Dc();
    HRGN copy = CreateRectRgn(0, 0, 1, 1);
    RECT box{};
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 32);
    EXPECT_EQ(box.bottom, 16);
    EXPECT_EQ(GetClipRgn(dc, copy), 0);
    EXPECT_TRUE(PtInRegion(copy, 0, 0)) << "with no clip region the caller's region stays as it was";

    // IntersectClipRect keeps its rectangle as given; the box is cut to the surface.
    EXPECT_EQ(IntersectClipRect(dc, 40, 5, -10, -10), SIMPLEREGION);
    EXPECT_EQ(GetClipRgn(dc, copy), 1);
    EXPECT_EQ(GetRgnBox(copy, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, -10);
    EXPECT_EQ(box.right, 40);
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 32);
    EXPECT_EQ(box.bottom, 5);
    EXPECT_EQ(ExcludeClipRect(dc, 2, 1, 4, 3), COMPLEXREGION);
    EXPECT_FALSE(PtVisible(dc, 2, 1));
    EXPECT_EQ(OffsetClipRgn(dc, 100, 0), COMPLEXREGION);
    EXPECT_EQ(GetClipBox(dc, &box), NULLREGION);
    EXPECT_EQ(box.left | box.top | box.right | box.bottom, 0);
    // Drawing outside the clip changes nothing; GetPixel reads CLR_INVALID there.
    EXPECT_TRUE(PatBlt(dc, 0, 0, 32, 16, BLACKNESS));
    EXPECT_EQ(surface->Raw(0, 0), 0u);
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(dc, 0, 0, 0), CLR_INVALID);
    EXPECT_EQ(OffsetClipRgn(dc, INT_MAX, 0), ERROR);

    // The region selected is copied: changing or deleting it later leaves the clip alone.
    HRGN mine = CreateRectRgn(0, 0, 4, 4);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(SelectObject(dc, mine)), std::uintptr_t(SIMPLEREGION));
    SetRectRgn(mine, 10, 10, 20, 20);
    EXPECT_TRUE(PtVisible(dc, 3, 3));
    EXPECT_TRUE(DeleteObject(mine));
    EXPECT_TRUE(PtVisible(dc, 3, 3));
    EXPECT_EQ(GetClipRgn(dc, copy), 1);
    EXPECT_FALSE(PtInRegion(copy, 10, 10));
    EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(std::uintptr_t(0x123450001))), nullptr);

    EXPECT_EQ(GetRandomRgn(dc, copy, SYSRGN), 1);
    EXPECT_EQ(GetRgnBox(copy, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 32);
    EXPECT_EQ(GetRandomRgn(dc, copy, 1), -1);
    EXPECT_EQ(GetClipRgn(nullptr, copy), -1);
    EXPECT_EQ(GetClipBox(dc, nullptr), ERROR);
    DeleteObject(copy);
}

TEST_F(TClipTest, MetaRegionBoundsEveryLaterClip) {
    auto surface = MakeDib(32, 32, -16);
    HDC dc = surface->Dc();
    HRGN meta = CreateRectRgn(0, 0, 1, 1);
    EXPECT_EQ(GetMetaRgn(dc, meta), 0);
    IntersectClipRect(dc, 0, 0, 10, 10);
    EXPECT_EQ(SetMetaRgn(dc), SIMPLEREGION);
    EXPECT_EQ(GetClipRgn(dc, meta), 0) << "the clip region starts afresh";
    EXPECT_EQ(GetMetaRgn(dc, meta), 1);
    RECT box{};
    GetRgnBox(meta, &box);
    EXPECT_EQ(box.right, 10);
    // A new clip region is intersected with the meta region, and removing it keeps the meta region.
    HRGN wide = CreateRectRgn(5, 5, 30, 15);
    EXPECT_EQ(SelectClipRgn(dc, wide), SIMPLEREGION);
    EXPECT_TRUE(PtVisible(dc, 9, 9));
    EXPECT_FALSE(PtVisible(dc, 12, 9));
    EXPECT_FALSE(PtVisible(dc, 2, 2));
    SelectClipRgn(dc, nullptr);
    PatBlt(dc, 0, 0, 32, 16, BLACKNESS);
    EXPECT_EQ(surface->Raw(9, 9), 0u);
    surface->SetRaw(20, 9, 0x123456);
    PatBlt(dc, 0, 0, 32, 16, BLACKNESS);
    EXPECT_EQ(surface->Raw(20, 9), 0x123456u);
    DeleteObject(meta);
    DeleteObject(wide);
}

TEST_F(TClipTest, ScrollingWithinAComplexClipReadsTheSourceBeforeWriting) {
    auto surface = MakeDib(32, 32, -16);
    HDC dc = surface->Dc();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            surface->SetRaw(x, y, DWORD(y * 32 + x));
    HRGN clip = MakeHoledClip();
    SelectClipRgn(dc, clip);
    BitBlt(dc, 0, 1, 32, 15, dc, 0, 0, SRCCOPY);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            EXPECT_EQ(surface->Raw(x, y), DWORD((PtInRegion(clip, x, y) && y >= 1 ? y - 1 : y) * 32 + x))
                << x << "," << y;
    DeleteObject(clip);
}

TEST_F(TClipTest, RegionPaintersUseBrushesFramesAndTheBinaryRasterOperation) {
    auto surface = MakeDib(32, 32, -16);
    HDC dc = surface->Dc();
    PatBlt(dc, 0, 0, 32, 16, WHITENESS);
    // A 10 × 6 frame two pixels wide and one high has 2·10 + 2·2·4 = 36 pixels.
    HRGN rect = CreateRectRgn(1, 1, 11, 7);
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(FrameRgn(dc, rect, black, 2, 1));
    int framed = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            framed += (surface->Raw(x, y) & 0x00FFFFFFu) == 0;
    EXPECT_EQ(framed, 36);
    EXPECT_EQ(surface->Raw(2, 2), 0u);
    EXPECT_EQ(surface->Raw(3, 2) & 0x00FFFFFFu, 0x00FFFFFFu);
    EXPECT_EQ(surface->Raw(3, 1), 0u);
    EXPECT_FALSE(FrameRgn(dc, rect, black, -1, 1));

    // PaintRgn takes the selected brush through SetROP2: R2_NOT twice restores the pixels.
    SetROP2(dc, R2_NOT);
    EXPECT_TRUE(PaintRgn(dc, rect));
    EXPECT_EQ(surface->Raw(5, 3), 0u);
    EXPECT_EQ(surface->Raw(1, 1) & 0x00FFFFFFu, 0x00FFFFFFu);
    EXPECT_TRUE(PaintRgn(dc, rect));
    EXPECT_EQ(surface->Raw(1, 1), 0u);
    SetROP2(dc, R2_COPYPEN);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(PaintRgn(dc, rect));
    EXPECT_EQ(surface->Raw(5, 3) & 0x00FFFFFFu, 0x00FFFFFFu) << "the null brush paints nothing";
    EXPECT_FALSE(FillRgn(dc, rect, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(InvertRgn(nullptr, rect));
    DeleteObject(rect);
}

}  // namespace

namespace {

// The clip calls that take logical coordinates meet the same transforms as the drawing calls,
// while the clip itself stays in device pixels; SaveDC and RestoreDC carry it.
TEST_F(TClipTest, LogicalClipRectanglesFollowTheMappingAndRideOnSavedStates) {
    auto surface = MakeDib(32, 32, -16);
    HDC dc = surface->Dc();
    PatBlt(dc, 0, 0, 32, 16, WHITENESS);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, 2, 2, nullptr);
    SetViewportOrgEx(dc, 4, 2, nullptr);

    const int saved = SaveDC(dc);
    // Logical (0,0)–(5,3) is device (4,2)–(14,8).
    EXPECT_EQ(IntersectClipRect(dc, 0, 0, 5, 3), SIMPLEREGION);
    RECT box{};
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_EQ(std::make_tuple(box.left, box.top, box.right, box.bottom), std::make_tuple(0L, 0L, 5L, 3L));
    EXPECT_TRUE(PtVisible(dc, 4, 2));
    EXPECT_FALSE(PtVisible(dc, 5, 2));
    // A logical offset of one unit moves the device clip by two pixels.
    EXPECT_EQ(OffsetClipRgn(dc, 1, 0), SIMPLEREGION);
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetClipRgn(dc, copy), 1);
    RECT device{};
    GetRgnBox(copy, &device);
    EXPECT_EQ(std::make_tuple(device.left, device.top, device.right, device.bottom), std::make_tuple(6L, 2L, 16L, 8L));

    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RECT all{-10, -10, 100, 100};
    FillRect(dc, &all, black);
    int painted = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            if ((surface->Raw(x, y) & 0xFFFFFF) == 0) {
                ++painted;
                EXPECT_TRUE(x >= 6 && x < 16 && y >= 2 && y < 8) << x << ", " << y;
            }
    EXPECT_EQ(painted, 60);

    // Restoring the state brings back the context without a clip.
    EXPECT_TRUE(RestoreDC(dc, saved));
    EXPECT_EQ(GetClipRgn(dc, copy), 0);
    DeleteObject(copy);
}

}  // namespace
