// Playing enhanced metafiles: each record family played at 1, 8 and 32 bits must give the pixels of
// the same calls made directly; the frame's mapping, the caller's state and clip, damaged and
// unknown records, text through the code pages, and every file of the shared corpus.
#include "BlitTestSupport.h"
#include "EmfBuilder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

using namespace gdi;
using namespace blittest;
using namespace emftest;

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr int kWidth = 32;
constexpr int kHeight = 24;

class TEmfPlayTest : public TGdiTest {};

std::unique_ptr<TSurface> Surface(int bpp) {
    std::vector<RGBQUAD> table;
    if (bpp == 1) {
        table = {Quad(0), Quad(RGB(255, 255, 255))};
    } else if (bpp == 8) {
        table = {Quad(0), Quad(RGB(255, 255, 255)), Quad(kRed), Quad(kGreen), Quad(kBlue), Quad(RGB(128, 128, 128))};
        for (int i = 6; i < 256; ++i)
            table.push_back(Quad(RGB(BYTE(i), BYTE(255 - i), BYTE(i * 7))));
    }
    auto surface = MakeDib(bpp, kWidth, -kHeight, table);
    PatBlt(surface->Dc(), 0, 0, kWidth, kHeight, WHITENESS);
    return surface;
}

BOOL Play(const std::vector<BYTE>& bytes, HDC dc, RECT rect = {0, 0, kWidth, kHeight}) {
    HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
    EXPECT_NE(metafile, nullptr);
    const BOOL played = PlayEnhMetaFile(dc, metafile, &rect);
    DeleteEnhMetaFile(metafile);
    return played;
}

std::vector<DWORD> Pixels(const TSurface& surface) {
    std::vector<DWORD> out;
    for (int y = 0; y < surface.Height(); ++y)
        for (int x = 0; x < surface.Width(); ++x)
            out.push_back(surface.Raw(x, y));
    return out;
}

int CountNot(const TSurface& surface, COLORREF colour) {
    int n = 0;
    for (COLORREF c : surface.Colours())
        n += c != colour;
    return n;
}

// Selects a new object for the direct drawing and deletes it at the end.
class TUse {
public:
    TUse(HDC dc, HGDIOBJ object) : FDc(dc), FObject(object), FOld(SelectObject(dc, object)) {}
    ~TUse() {
        SelectObject(FDc, FOld);
        DeleteObject(FObject);
    }

private:
    HDC FDc;
    HGDIOBJ FObject;
    HGDIOBJ FOld;
};

LOGFONTA Font(LONG height, const char* face, BYTE charset = ANSI_CHARSET) {
    LOGFONTA log{};
    log.lfHeight = height;
    log.lfWeight = FW_NORMAL;
    log.lfCharSet = charset;
    std::strncpy(log.lfFaceName, face, LF_FACESIZE - 1);
    return log;
}

// A 2 × 2 top-down 32-bit image: red, green / blue, white.
struct TTinyDib {
    BITMAPINFOHEADER Header{40, 2, -2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    DWORD Bits[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
};

std::vector<DWORD> StretchDIBitsRecord(LONG x, LONG y, LONG cx, LONG cy, DWORD rop) {
    TTinyDib dib;
    std::vector<DWORD> words{0, 0, 0, 0, DWORD(x), DWORD(y), 0, 0, 2, 2, 80, 40, 120, 16, DIB_RGB_COLORS, rop,
                             DWORD(cx), DWORD(cy)};
    const DWORD* header = reinterpret_cast<const DWORD*>(&dib.Header);
    words.insert(words.end(), header, header + 10);
    words.insert(words.end(), dib.Bits, dib.Bits + 4);
    return words;
}

std::vector<DWORD> BitBltRecord(LONG x, LONG y, LONG cx, LONG cy, DWORD rop, bool withSource) {
    TTinyDib dib;
    std::vector<DWORD> words{0, 0, 0, 0, DWORD(x), DWORD(y), DWORD(cx), DWORD(cy), rop, 0, 0, Word(1), Word(0),
                             Word(0), Word(1), Word(0), Word(0), RGB(255, 255, 255), DIB_RGB_COLORS};
    if (!withSource) {
        words.insert(words.end(), {0, 0, 0, 0});
        return words;
    }
    words.insert(words.end(), {100, 40, 140, 16});
    const DWORD* header = reinterpret_cast<const DWORD*>(&dib.Header);
    words.insert(words.end(), header, header + 10);
    words.insert(words.end(), dib.Bits, dib.Bits + 4);
    return words;
}

struct TFamily {
    const char* Name;
    std::function<void(TEmfBuilder&)> Records;
    std::function<void(HDC)> Direct;
};

void PrintTo(const TFamily& family, std::ostream* out) { *out << family.Name; }

const TFamily kFamilies[] = {
    {"Polygons16And32",
     [](TEmfBuilder& b) {
         b.Brush(1, BS_SOLID, kRed).Select(1).Poly16(kPolygon16, {{2, 2}, {20, 4}, {6, 18}});
         b.Poly32(kPolygon, {{22, 2}, {30, 2}, {30, 10}});
     },
     [](HDC dc) {
         TUse brush(dc, CreateSolidBrush(kRed));
         const POINT a[] = {{2, 2}, {20, 4}, {6, 18}}, c[] = {{22, 2}, {30, 2}, {30, 10}};
         Polygon(dc, a, 3);
         Polygon(dc, c, 3);
     }},
    {"PolylinesWithDashedPen",
     [](TEmfBuilder& b) {
         b.Pen(1, PS_DASH, 1, kBlue).Select(1).Poly16(kPolyline16, {{0, 3}, {31, 5}, {2, 20}});
         b.Record(kMoveTo, {4, 22}).Poly32(kPolylineTo, {{28, 22}, {28, 12}});
         b.Record(kSetBkMode, {TRANSPARENT}).Record(kLineTo, {0, 0});
     },
     [](HDC dc) {
         TUse pen(dc, CreatePen(PS_DASH, 1, kBlue));
         const POINT a[] = {{0, 3}, {31, 5}, {2, 20}}, b[] = {{28, 22}, {28, 12}};
         Polyline(dc, a, 3);
         MoveToEx(dc, 4, 22, nullptr);
         PolylineTo(dc, b, 2);
         SetBkMode(dc, TRANSPARENT);
         LineTo(dc, 0, 0);
     }},
    {"PolyPolygonsWinding",
     [](TEmfBuilder& b) {
         b.Record(kSetPolyFillMode, {WINDING}).Brush(2, BS_SOLID, kGreen).Select(2);
         b.Record(kPolyPolygon16, {0, 0, 0, 0, 2, 8, 4, 4, 0x00020002, 0x0002000E, 0x000E000E, 0x000E0002, 0x00060006,
                                   0x00060012, 0x00120012, 0x00120006});
         b.Record(kPolyPolyline16, {0, 0, 0, 0, 1, 2, 2, 0x00150014, 0x0015001F});
     },
     [](HDC dc) {
         SetPolyFillMode(dc, WINDING);
         TUse brush(dc, CreateSolidBrush(kGreen));
         const POINT p[] = {{2, 2}, {14, 2}, {14, 14}, {2, 14}, {6, 6}, {18, 6}, {18, 18}, {6, 18}};
         const INT counts[] = {4, 4};
         PolyPolygon(dc, p, counts, 2);
         const POINT l[] = {{20, 21}, {31, 21}};
         const DWORD lc[] = {2};
         PolyPolyline(dc, l, lc, 1);
     }},
    {"RectanglesHatchedOverXor",
     [](TEmfBuilder& b) {
         b.Brush(3, BS_HATCHED, kBlue, HS_DIAGCROSS).Select(3).Record(kSetBkMode, {TRANSPARENT});
         b.Record(kRectangle, {1, 1, 20, 15}).Record(kSetRop2, {R2_XORPEN}).Select(kStock | NULL_BRUSH);
         b.Record(kRectangle, {10, 5, 30, 22}).Record(kSetPixelV, {3, 20, kRed});
     },
     [](HDC dc) {
         TUse brush(dc, CreateHatchBrush(HS_DIAGCROSS, kBlue));
         SetBkMode(dc, TRANSPARENT);
         Rectangle(dc, 1, 1, 20, 15);
         SetROP2(dc, R2_XORPEN);
         HGDIOBJ old = SelectObject(dc, GetStockObject(NULL_BRUSH));
         Rectangle(dc, 10, 5, 30, 22);
         SelectObject(dc, old);
         SetPixel(dc, 3, 20, kRed);
     }},
    {"AnisotropicPage",
     [](TEmfBuilder& b) {
         b.Record(kSetMapMode, {MM_ANISOTROPIC}).Record(kSetWindowExt, {100, 100});
         b.Record(kSetViewportExt, {32, DWORD(-24)}).Record(kSetViewportOrg, {0, 24}).Record(kSetWindowOrg, {5, 0});
         b.Brush(1, BS_SOLID, kRed).Select(1).Record(kRectangle, {15, 10, 95, 80});
     },
     [](HDC dc) {
         SetMapMode(dc, MM_ANISOTROPIC);
         SetWindowExtEx(dc, 100, 100, nullptr);
         SetViewportExtEx(dc, 32, -24, nullptr);
         SetViewportOrgEx(dc, 0, 24, nullptr);
         SetWindowOrgEx(dc, 5, 0, nullptr);
         TUse brush(dc, CreateSolidBrush(kRed));
         Rectangle(dc, 15, 10, 95, 80);
     }},
    {"WorldTransformAndSavedStates",
     [](TEmfBuilder& b) {
         b.Record(kSaveDc, {}).Record(kSetWorldTransform, {Word(2), 0, 0, Word(1.5f), Word(3), Word(1)});
         b.Brush(1, BS_SOLID, kGreen).Select(1).Record(kRectangle, {1, 1, 8, 8});
         b.Record(kRestoreDc, {DWORD(-1)}).Record(kRectangle, {20, 10, 30, 20});
     },
     [](HDC dc) {
         SaveDC(dc);
         SetGraphicsMode(dc, GM_ADVANCED);
         const XFORM x{2, 0, 0, 1.5f, 3, 1};
         SetWorldTransform(dc, &x);
         HBRUSH brush = CreateSolidBrush(kGreen);
         SelectObject(dc, brush);
         Rectangle(dc, 1, 1, 8, 8);
         RestoreDC(dc, -1);
         DeleteObject(brush);
         Rectangle(dc, 20, 10, 30, 20);
     }},
    {"ClipRectanglesAndRegions",
     [](TEmfBuilder& b) {
         b.Record(kIntersectClipRect, {2, 2, 28, 20}).Record(kExcludeClipRect, {10, 6, 14, 30});
         b.Select(kStock | BLACK_BRUSH).Record(kRectangle, {0, 0, 32, 12});
         std::vector<DWORD> select{48, RGN_COPY};
         for (DWORD w : TEmfBuilder::RegionData({4, 14, 20, 22}))
             select.push_back(w);
         b.Record(kExtSelectClipRgn, select).Brush(1, BS_SOLID, kBlue);
         std::vector<DWORD> fill{0, 0, 0, 0, 48, 1};
         for (DWORD w : TEmfBuilder::RegionData({0, 12, 32, 24}))
             fill.push_back(w);
         b.Record(kFillRgn, fill);
     },
     [](HDC dc) {
         IntersectClipRect(dc, 2, 2, 28, 20);
         ExcludeClipRect(dc, 10, 6, 14, 30);
         HGDIOBJ old = SelectObject(dc, GetStockObject(BLACK_BRUSH));
         Rectangle(dc, 0, 0, 32, 12);
         SelectObject(dc, old);
         HRGN clip = CreateRectRgn(4, 14, 20, 22);
         SelectClipRgn(dc, clip);
         HRGN fill = CreateRectRgn(0, 12, 32, 24);
         HBRUSH brush = CreateSolidBrush(kBlue);
         FillRgn(dc, fill, brush);
         for (HGDIOBJ o : {HGDIOBJ(clip), HGDIOBJ(fill), HGDIOBJ(brush)})
             DeleteObject(o);
     }},
    {"Transfers",
     [](TEmfBuilder& b) {
         b.Record(kStretchDIBits, StretchDIBitsRecord(1, 1, 8, 6, SRCCOPY));
         b.Record(kBitBlt, BitBltRecord(12, 2, 2, 2, SRCCOPY, true));
         b.Brush(1, BS_SOLID, kRed).Select(1).Record(kBitBlt, BitBltRecord(20, 4, 6, 9, PATCOPY, false));
         // A 1-bit 8 × 8 pattern of alternate rows.
         b.Record(kCreateMonoBrush, {2, DIB_RGB_COLORS, 32, 48, 80, 32, 40, 8, 8, 0x00010001, 0, 0, 0, 0, 0, 0,
                                     0, 0xFFFFFF, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0});
         b.Select(2).Record(kBitBlt, BitBltRecord(2, 12, 16, 10, PATCOPY, false));
     },
     [](HDC dc) {
         TTinyDib dib;
         StretchDIBits(dc, 1, 1, 8, 6, 0, 0, 2, 2, dib.Bits, reinterpret_cast<BITMAPINFO*>(&dib.Header), DIB_RGB_COLORS,
                       SRCCOPY);
         StretchDIBits(dc, 12, 2, 2, 2, 0, 0, 2, 2, dib.Bits, reinterpret_cast<BITMAPINFO*>(&dib.Header), DIB_RGB_COLORS,
                       SRCCOPY);
         {
             TUse brush(dc, CreateSolidBrush(kRed));
             PatBlt(dc, 20, 4, 6, 9, PATCOPY);
         }
         const WORD rows[8] = {0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF};
         HBITMAP pattern = CreateBitmap(8, 8, 1, 1, rows);
         TUse brush(dc, CreatePatternBrush(pattern));
         DeleteObject(pattern);
         PatBlt(dc, 2, 12, 16, 10, PATCOPY);
     }},
    {"PolyTextRuns",
     [](TEmfBuilder& b) {
         // POLYTEXTOUTW: the header, two runs (the second with advances), their characters.
         std::vector<DWORD> words{0, 0, 0, 0, GM_COMPATIBLE, Word(1), Word(1), 2};
         for (DWORD run = 0; run < 2; ++run)
             words.insert(words.end(), {1 + 15 * run, 2 + 10 * run, 2, 120 + 4 * run, 0, 0, 0, DWORD(-1), DWORD(-1),
                                        run == 0 ? 0u : 128u});
         words.insert(words.end(), {'H' | 'i' << 16, 'y' | 'o' << 16, 9, 5});
         b.Font(1, -11, u"Liberation Sans").Select(1).Record(kSetBkMode, {TRANSPARENT}).Record(97, words);
     },
     [](HDC dc) {
         LOGFONTA log = Font(-11, "Liberation Sans");
         TUse font(dc, CreateFontIndirectA(&log));
         SetBkMode(dc, TRANSPARENT);
         ExtTextOutW(dc, 1, 2, 0, nullptr, u"Hi", 2, nullptr);
         const INT dx[] = {9, 5};
         ExtTextOutW(dc, 16, 12, 0, nullptr, u"yo", 2, dx);
     }},
    {"TextWideAndCodePage",
     [](TEmfBuilder& b) {
         b.Font(1, -11, u"Liberation Sans").Select(1).Record(kSetTextColor, {kBlue}).Record(kSetBkColor, {kGreen});
         b.Text(1, 1, ETO_OPAQUE, {0, 0, 30, 3}, u"Hi!", {6, 4, 5});
         b.Font(2, -10, u"Liberation Sans", RUSSIAN_CHARSET).Select(2).Record(kSetBkMode, {TRANSPARENT});
         b.Text(2, 12, 0, {}, u"", {}, "\xCF\xF0");
         b.Record(kSetTextJustification, {4, 1}).Text(15, 12, 0, {}, u"a b");
     },
     [](HDC dc) {
         LOGFONTA log = Font(-11, "Liberation Sans");
         HFONT font = CreateFontIndirectA(&log);
         HGDIOBJ old = SelectObject(dc, font);
         SetTextColor(dc, kBlue);
         SetBkColor(dc, kGreen);
         const RECT r{0, 0, 30, 3};
         const INT dx[] = {6, 4, 5};
         ExtTextOutW(dc, 1, 1, ETO_OPAQUE, &r, u"Hi!", 3, dx);
         log = Font(-10, "Liberation Sans", RUSSIAN_CHARSET);
         TUse russian(dc, CreateFontIndirectA(&log));
         SetBkMode(dc, TRANSPARENT);
         TextOutW(dc, 2, 12, u"\u041F\u0440", 2);
         SetTextJustification(dc, 4, 1);
         TextOutW(dc, 15, 12, u"a b", 3);
         SelectObject(dc, old);
         DeleteObject(font);
     }},
};

class TEmfFamily : public TEmfPlayTest, public ::testing::WithParamInterface<std::tuple<TFamily, int>> {};

TEST_P(TEmfFamily, PlaysAsTheCallsDraw) {
    const auto& [family, bpp] = GetParam();
    TEmfBuilder builder(kWidth, kHeight);
    family.Records(builder);
    auto played = Surface(bpp);
    auto direct = Surface(bpp);
    EXPECT_TRUE(Play(builder.Bytes(), played->Dc()));
    family.Direct(direct->Dc());
    EXPECT_EQ(Pixels(*played), Pixels(*direct));
    EXPECT_GT(CountNot(*played, RGB(255, 255, 255)), 0);
}

INSTANTIATE_TEST_SUITE_P(Records, TEmfFamily, ::testing::Combine(::testing::ValuesIn(kFamilies), ::testing::Values(1, 8, 32)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).Name) + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST_F(TEmfPlayTest, TheFrameFillsTheRectangle) {
    // A 16 × 12 picture played into twice its size, then moved; the rectangle's edges are points.
    TEmfBuilder builder(16, 12);
    builder.Select(kStock | BLACK_BRUSH).Select(kStock | NULL_PEN).Record(kRectangle, {2, 2, 6, 5});
    auto surface = Surface(32);
    EXPECT_TRUE(Play(builder.Bytes(), surface->Dc(), RECT{0, 0, 32, 24}));
    // Rectangle (4, 4)–(12, 10) on the device, filled without its last column and row.
    EXPECT_EQ(CountNot(*surface, RGB(255, 255, 255)), 7 * 5);
    EXPECT_EQ(GetPixel(surface->Dc(), 4, 4), 0u);
    EXPECT_EQ(GetPixel(surface->Dc(), 10, 8), 0u);
    EXPECT_EQ(GetPixel(surface->Dc(), 11, 9), RGB(255, 255, 255));
    PatBlt(surface->Dc(), 0, 0, kWidth, kHeight, WHITENESS);
    EXPECT_TRUE(Play(builder.Bytes(), surface->Dc(), RECT{10, 4, 26, 16}));
    EXPECT_EQ(GetPixel(surface->Dc(), 12, 6), 0u);
    EXPECT_EQ(CountNot(*surface, RGB(255, 255, 255)), 3 * 2);
}

TEST_F(TEmfPlayTest, TheCallersStateObjectsAndClipComeBack) {
    auto surface = Surface(32);
    HDC dc = surface->Dc();
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    HBRUSH brush = CreateSolidBrush(kGreen);
    HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 2, 2, nullptr);
    SetViewportExtEx(dc, 1, 1, nullptr);
    SetTextColor(dc, kBlue);
    IntersectClipRect(dc, 0, 0, 16, 16);  // device pixels 0 … 7
    // The records make objects they never delete, select them, change every mode, remove the
    // clip region and paint the whole picture: only the caller's clip is painted.
    TEmfBuilder builder(kWidth, kHeight);
    builder.Brush(1, BS_SOLID, 0).Select(1).Pen(2, PS_SOLID, 1, 0).Select(2).Record(kSetTextColor, {kRed});
    builder.Record(kSetMapMode, {MM_TEXT}).Record(kExtSelectClipRgn, {0, RGN_COPY}).Record(kSaveDc, {});
    builder.Record(kRectangle, {0, 0, kWidth * 2, kHeight * 2}).Record(kSaveDc, {});
    EXPECT_TRUE(Play(builder.Bytes(), dc, RECT{0, 0, 2 * kWidth, 2 * kHeight}));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetMapMode(dc), MM_ANISOTROPIC);
    EXPECT_EQ(GetGraphicsMode(dc), GM_COMPATIBLE);
    EXPECT_EQ(GetTextColor(dc), kBlue);
    RECT box{};
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 16);
    EXPECT_EQ(GetMetaRgn(dc, nullptr), 0);
    EXPECT_FALSE(RestoreDC(dc, -1));  // no state of the metafile's is left behind
    SetMapMode(dc, MM_TEXT);
    SelectClipRgn(dc, nullptr);
    EXPECT_EQ(CountNot(*surface, RGB(255, 255, 255)), 8 * 8);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

TEST_F(TEmfPlayTest, ADamagedRecordEndsPlaybackAndUnknownOnesAreSkipped) {
    TEmfBuilder builder(kWidth, kHeight);
    builder.Select(kStock | BLACK_BRUSH).Record(200, {1, 2, 3}).Record(kComment, {8, 0x2B464D45, 0x00080001});
    builder.Record(kRectangle, {0, 0, 4, 4});
    builder.Record(kPolygon16, {0, 0, 0, 0, 1000, 0x00010001});  // 1000 points announced, one present
    builder.Record(kRectangle, {10, 10, 14, 14});
    auto surface = Surface(32);
    SetLastError(0);
    EXPECT_FALSE(Play(builder.Bytes(), surface->Dc()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    EXPECT_EQ(GetPixel(surface->Dc(), 1, 1), 0u);
    EXPECT_EQ(GetPixel(surface->Dc(), 11, 11), RGB(255, 255, 255));
}

TEST_F(TEmfPlayTest, RecordsCheckTheirOwnCounts) {
    // Each record is valid in the stream's terms and damaged in its own.
    const std::vector<std::vector<DWORD>> records[] = {
        {{kPolyPolygon16, 0, 0, 0, 0, 2, 3, 2, 2, 0, 0, 0}},                 // counts sum to 4, not 3
        {{kStretchDIBits, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 80, 40, 120, 400, 0, SRCCOPY, 2, 2}},  // bits outside
        {{kExtTextOutW, 0, 0, 0, 0, 1, 0, 0, 0, 0, 50, 76, 0, 0, 0, 0, 0, 0}},  // 50 characters announced
        {{kExtSelectClipRgn, 32, RGN_COPY, 32, 1, 3, 48, 0, 0, 1, 1}},       // three rectangles announced
    };
    for (const auto& record : records) {
        TEmfBuilder builder(kWidth, kHeight);
        const std::vector<DWORD>& r = record[0];
        builder.Record(r[0], std::vector<DWORD>(r.begin() + 1, r.end()));
        auto surface = Surface(32);
        EXPECT_FALSE(Play(builder.Bytes(), surface->Dc())) << "record type " << r[0];
    }
}

TEST_F(TEmfPlayTest, FiguresOfAPathAreNotDrawnAsLines) {
    TEmfBuilder builder(kWidth, kHeight);
    builder.Record(kBeginPath, {}).Record(kRectangle, {2, 2, 10, 10}).Record(kEndPath, {}).Record(kLineTo, {20, 20});
    auto surface = Surface(32);
    EXPECT_TRUE(Play(builder.Bytes(), surface->Dc()));
    EXPECT_EQ(CountNot(*surface, RGB(255, 255, 255)), 20);
}

TEST_F(TEmfPlayTest, GlyphIndicesDrawOnlyInTheirOwnFace) {
    const std::size_t skipped = GlyphIndexRunsSkipped();
    for (const char16_t* face : {u"Liberation Sans", u"No Such Face At All"}) {
        TEmfBuilder builder(kWidth, kHeight);
        builder.Font(1, -16, face).Select(1).Text(2, 2, ETO_GLYPH_INDEX, {}, u"\x0024\x0025");
        auto surface = Surface(32);
        EXPECT_TRUE(Play(builder.Bytes(), surface->Dc()));
        const bool own = face[0] == u'L';
        EXPECT_EQ(CountNot(*surface, RGB(255, 255, 255)) > 0, own);
        EXPECT_EQ(GlyphIndexRunsSkipped(), skipped + (own ? 0 : 1));
    }
}

TEST_F(TEmfPlayTest, TextTurnsWithTheWorldOnlyInTheAdvancedMode) {
    for (const DWORD mode : {DWORD(GM_COMPATIBLE), DWORD(GM_ADVANCED)}) {
        TEmfBuilder builder(kWidth, kHeight);
        // A quarter turn counter-clockwise on the screen.
        builder.Record(kSetWorldTransform, {Word(0.0f), Word(-1.0f), Word(1.0f), Word(0.0f), Word(2.0f), Word(20.0f)})
            .Font(1, -10, u"Liberation Sans")
            .Select(1)
            .Text(0, 0, 0, {}, u"MM", {}, {}, mode);
        auto surface = Surface(32);
        EXPECT_TRUE(Play(builder.Bytes(), surface->Dc()));
        int left = kWidth, top = kHeight, right = -1, bottom = -1;
        const auto colours = surface->Colours();
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (colours[std::size_t(y * kWidth + x)] != RGB(255, 255, 255))
                    left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                    bottom = std::max(bottom, y);
        ASSERT_GE(right, left) << mode;
        // Upright text runs across; turned text runs up the surface.
        if (mode == GM_ADVANCED)
            EXPECT_GT(bottom - top, 2 * (right - left));
        else
            EXPECT_GT(right - left, 2 * (bottom - top));
    }
}

// Every metafile of the shared corpus is either refused or played to its end or to its first
// damaged record, at each depth, without leaking an object.
TEST_F(TEmfPlayTest, CorpusFilesPlayOrFailCleanly) {
    const std::filesystem::path root = "../shared/corpus/emf";
    if (!std::filesystem::exists(root))
        GTEST_SKIP() << "no corpus";
    int files = 0, loaded = 0, played = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<BYTE> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ++files;
        HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
        if (metafile == nullptr)
            continue;
        ++loaded;
        for (int bpp : {1, 8, 32}) {
            auto surface = MakeDib(bpp, 64, -64, bpp == 1 ? std::vector<RGBQUAD>{Quad(0), Quad(0xFFFFFF)}
                                                           : std::vector<RGBQUAD>(std::size_t(bpp == 8 ? 256 : 0)));
            const RECT rect{0, 0, 63, 63};
            const BOOL ok = PlayEnhMetaFile(surface->Dc(), metafile, &rect);
            played += bpp == 32 && ok;
            EXPECT_EQ(GetGraphicsMode(surface->Dc()), GM_COMPATIBLE) << entry.path();
        }
        DeleteEnhMetaFile(metafile);
    }
    EXPECT_GT(files, 0);
    RecordProperty("files", files);
    std::printf("corpus: %d files, %d loaded, %d played to the end\n", files, loaded, played);
}

}  // namespace

namespace {

struct TInk {
    int Left = 1 << 20, Top = 1 << 20, Right = -1, Bottom = -1;
};

TInk InkBox(const TSurface& surface) {
    TInk ink;
    for (int y = 0; y < surface.Height(); ++y)
        for (int x = 0; x < surface.Width(); ++x)
            if (GetPixel(surface.Dc(), x, y) != RGB(255, 255, 255))
                ink = TInk{std::min(ink.Left, x), std::min(ink.Top, y), std::max(ink.Right, x), std::max(ink.Bottom, y)};
    return ink;
}

TEST_F(TEmfPlayTest, EscapementTurnsTheBaseline) {
    // Turned a quarter counter-clockwise, the text runs upward from its reference point.
    TEmfBuilder builder(kWidth, kHeight);
    builder.Font(1, -10, u"Liberation Sans", ANSI_CHARSET, 900).Select(1).Record(kSetBkMode, {TRANSPARENT});
    builder.Record(kSetTextAlign, {TA_BASELINE}).Text(12, 22, 0, {}, u"IIIII");
    auto surface = Surface(32);
    EXPECT_TRUE(Play(builder.Bytes(), surface->Dc()));
    const TInk ink = InkBox(*surface);
    EXPECT_GT(ink.Bottom - ink.Top, ink.Right - ink.Left + 4);  // upright it is wide and low
    EXPECT_LE(ink.Bottom, 22);
    EXPECT_LT(ink.Right, 12);
}

TEST_F(TEmfPlayTest, SymbolCodesReachTheSymbolsOfAnyFace) {
    // A face with a symbol map takes the codes at U+F000 + c; any other face takes the
    // characters the Symbol encoding stands for ('a' is alpha).
    const struct {
        const char16_t* Face;
        const char* DirectFace;
        BYTE DirectCharset;
        const char16_t* DirectText;
    } cases[] = {{u"Symbol", "Symbol", SYMBOL_CHARSET, u"\uF061\uF0A5"},
                 {u"Liberation Sans", "Liberation Sans", ANSI_CHARSET, u"\u03B1\u221E"}};
    for (const auto& c : cases) {
        TEmfBuilder builder(kWidth, kHeight);
        builder.Font(1, -14, c.Face, SYMBOL_CHARSET).Select(1).Text(2, 2, 0, {}, u"a\u00A5");
        auto played = Surface(32);
        auto direct = Surface(32);
        EXPECT_TRUE(Play(builder.Bytes(), played->Dc()));
        LOGFONTA log = Font(-14, c.DirectFace, c.DirectCharset);
        HFONT font = CreateFontIndirectA(&log);
        HGDIOBJ old = SelectObject(direct->Dc(), font);
        ExtTextOutW(direct->Dc(), 2, 2, 0, nullptr, c.DirectText, 2, nullptr);
        SelectObject(direct->Dc(), old);
        DeleteObject(font);
        EXPECT_EQ(Pixels(*played), Pixels(*direct)) << c.DirectFace;
        EXPECT_GT(CountNot(*played, RGB(255, 255, 255)), 0);
    }
}

}  // namespace

namespace {

TEST_F(TEmfPlayTest, AdvancedModeTextStretchesWithThePictureAndCompatibleTextKeepsItsShape) {
    // Played twice as wide as it was made: text of the advanced mode conforms to the transform,
    // text of the compatible mode scales only its height (here not at all).
    const auto inkWidth = [](DWORD mode, LONG playedWidth) {
        TEmfBuilder builder(kWidth, kHeight);
        builder.Font(1, -12, u"Liberation Sans").Select(1).Record(kSetBkMode, {TRANSPARENT});
        builder.Text(1, 2, 0, {}, u"HHH", {}, {}, mode);
        auto surface = MakeDib(32, 4 * kWidth, -kHeight, {});
        PatBlt(surface->Dc(), 0, 0, 4 * kWidth, kHeight, WHITENESS);
        EXPECT_TRUE(Play(builder.Bytes(), surface->Dc(), RECT{0, 0, playedWidth, kHeight}));
        const TInk ink = InkBox(*surface);
        return ink.Right - ink.Left + 1;
    };
    const int upright = inkWidth(GM_COMPATIBLE, kWidth);
    EXPECT_GT(upright, 12);
    EXPECT_EQ(inkWidth(GM_ADVANCED, kWidth), upright);
    EXPECT_NEAR(inkWidth(GM_COMPATIBLE, 2 * kWidth), upright, 1);
    EXPECT_NEAR(inkWidth(GM_ADVANCED, 2 * kWidth), 2 * upright, 3);
}

}  // namespace
