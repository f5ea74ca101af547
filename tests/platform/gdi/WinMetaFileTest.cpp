// Windows metafiles: handles made from bytes, and records played onto bitmaps of several depths.
#include "BlitTestSupport.h"
#include "platform/gdi/EnhMetaFile.h"
#include "WmfBuilder.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <vector>

namespace {

using namespace gdi;
using namespace blittest;
using wmftest::TWmf;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

enum : WORD {
    kSetBkMode = 0x0102, kSetMapMode = 0x0103, kSaveDC = 0x001E, kRestoreDC = 0x0127, kSelectObject = 0x012D,
    kDeleteObject = 0x01F0, kSetWindowExt = 0x020C, kSetViewportExt = 0x020E, kCreatePen = 0x02FA,
    kCreateBrush = 0x02FC, kPolygon = 0x0324, kRectangle = 0x041B, kSetPixel = 0x041F, kPatBlt = 0x061D,
    kCreateRegion = 0x06FF, kFillRegion = 0x0228, kStretchDib = 0x0F43, kIntersectClip = 0x0416,
};

std::vector<int> Brush(COLORREF c) {
    std::vector<int> w{BS_SOLID};
    for (int x : TWmf::Colour(c))
        w.push_back(x);
    w.push_back(0);
    return w;
}

std::vector<int> NullPen() { return {PS_NULL, 0, 0, 0, 0}; }

// A red square with no outline from (1, 1) to (5, 5), pixels 1…4.
TWmf RedSquare() {
    TWmf wmf;
    wmf.Raw(kCreateBrush, Brush(kRed)).Record(kSelectObject, {0});
    wmf.Raw(kCreatePen, NullPen()).Record(kSelectObject, {1});
    wmf.Record(kRectangle, {6, 6, 1, 1});  // bottom, right, top, left
    return wmf;
}

int Count(const TSurface& surface, COLORREF colour) {
    int n = 0;
    for (COLORREF c : surface.Colours())
        n += c == colour;
    return n;
}

class TWinMetaFileTest : public TGdiTest {};

TEST_F(TWinMetaFileTest, HandlesKeepTheBytesTheyWereMadeFrom) {
    const std::vector<BYTE> bytes = RedSquare().Bytes();
    HMETAFILE metafile = SetMetaFileBitsEx(UINT(bytes.size()), bytes.data());
    ASSERT_NE(metafile, nullptr);
    EXPECT_EQ(GetObjectType(metafile), OBJ_METAFILE);
    EXPECT_FALSE(DeleteObject(metafile));  // only DeleteMetaFile ends it

    EXPECT_EQ(GetMetaFileBitsEx(metafile, 0, nullptr), bytes.size());
    std::vector<BYTE> back(bytes.size());
    EXPECT_EQ(GetMetaFileBitsEx(metafile, UINT(back.size() - 1), back.data()), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(GetMetaFileBitsEx(metafile, UINT(back.size()), back.data()), bytes.size());
    EXPECT_EQ(back, bytes);

    HMETAFILE copy = CopyMetaFileA(metafile, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(DeleteMetaFile(metafile));
    EXPECT_FALSE(DeleteMetaFile(metafile));
    EXPECT_EQ(GetMetaFileBitsEx(copy, UINT(back.size()), back.data()), bytes.size());
    EXPECT_EQ(back, bytes);
    EXPECT_EQ(CopyMetaFileA(copy, "/tmp/a.wmf"), nullptr);
    EXPECT_TRUE(DeleteMetaFile(copy));
}

TEST_F(TWinMetaFileTest, RefusesWhatIsNoMetafileHeader) {
    const std::vector<BYTE> good = RedSquare().Bytes();
    EXPECT_EQ(SetMetaFileBitsEx(0, nullptr), nullptr);
    EXPECT_EQ(SetMetaFileBitsEx(17, good.data()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    for (const auto& [offset, value] : {std::pair{0, 3}, {2, 10}, {4, 0x200}}) {
        std::vector<BYTE> bad = good;
        bad[std::size_t(offset)] = BYTE(value);
        bad[std::size_t(offset) + 1] = BYTE(value >> 8);
        EXPECT_EQ(SetMetaFileBitsEx(UINT(bad.size()), bad.data()), nullptr) << offset;
    }
}

TEST_F(TWinMetaFileTest, PlaysRecordsAndGivesTheContextBackItsObjects) {
    for (int bits : {1, 8, 32}) {
        auto surface = MakeDib(bits, 8, -8, {Quad(0), Quad(kWhite), Quad(kRed)});
        HDC dc = surface->Dc();
        const RECT whole{0, 0, 8, 8};
        FillRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN), brush = GetCurrentObject(dc, OBJ_BRUSH);
        HMETAFILE metafile = RedSquare().Make();
        ASSERT_TRUE(PlayMetaFile(dc, metafile));
        // Red is black on a 1-bit target: the nearer of its two colours.
        const COLORREF drawn = bits == 1 ? RGB(0, 0, 0) : kRed;
        EXPECT_EQ(Count(*surface, drawn), 16) << bits;
        EXPECT_EQ(GetPixel(dc, 1, 1), drawn);
        EXPECT_EQ(GetPixel(dc, 5, 5), kWhite);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
        EXPECT_TRUE(DeleteMetaFile(metafile));
    }  // the fixture checks that every object the records made is gone
}

TEST_F(TWinMetaFileTest, NewObjectsTakeTheLowestFreeSlot) {
    auto surface = MakeWhiteSurface(8, 8);
    TWmf wmf(3);
    wmf.Raw(kCreateBrush, Brush(kRed));   // slot 0
    wmf.Raw(kCreateBrush, Brush(kBlue));  // slot 1
    wmf.Record(kDeleteObject, {0});
    wmf.Raw(kCreatePen, NullPen());       // slot 0 again
    wmf.Record(kSelectObject, {0}).Record(kSelectObject, {1});
    wmf.Record(kRectangle, {4, 4, 0, 0});
    // A fourth object finds the table full (0, 1 and 2 taken) and is dropped.
    wmf.Raw(kCreateBrush, Brush(kRed)).Raw(kCreateBrush, Brush(kRed)).Record(kSelectObject, {3});
    wmf.Record(kRectangle, {8, 8, 4, 4});
    HMETAFILE metafile = wmf.Make();
    ASSERT_TRUE(PlayMetaFile(surface->Dc(), metafile));
    // Both squares blue, without an outline: 3 × 3 pixels each, as a rectangle without a pen fills.
    EXPECT_EQ(Count(*surface, kBlue), 18);
    EXPECT_TRUE(DeleteMetaFile(metafile));
}

TEST_F(TWinMetaFileTest, AnObjectDeletedWhileSelectedDrawsOnUntilReplaced) {
    auto surface = MakeWhiteSurface(8, 8);
    TWmf wmf;
    wmf.Raw(kCreateBrush, Brush(kRed)).Record(kSelectObject, {0}).Record(kDeleteObject, {0});
    wmf.Raw(kCreatePen, NullPen()).Record(kSelectObject, {0});
    wmf.Record(kRectangle, {3, 3, 0, 0});
    HMETAFILE metafile = wmf.Make();
    ASSERT_TRUE(PlayMetaFile(surface->Dc(), metafile));
    EXPECT_EQ(Count(*surface, kRed), 4);
    EXPECT_TRUE(DeleteMetaFile(metafile));
}

TEST_F(TWinMetaFileTest, MapsThroughTheWindowAndViewportAndHonoursItsClip) {
    auto surface = MakeWhiteSurface(16, 16);
    TWmf wmf;
    wmf.Record(kSetMapMode, {MM_ANISOTROPIC}).Record(kSetWindowExt, {10, 10}).Record(kSetViewportExt, {16, 16});
    wmf.Raw(kCreateBrush, Brush(kRed)).Record(kSelectObject, {0});
    wmf.Raw(kCreatePen, NullPen()).Record(kSelectObject, {1});
    wmf.Record(kRectangle, {5, 5, 0, 0});  // 0…5 logical: 0…8 pixels, filled 0…6 without a pen
    wmf.Record(kIntersectClip, {10, 10, 0, 5});  // bottom, right, top, left: x ≥ 5 logical
    wmf.Record(kPatBlt, {int(BLACKNESS & 0xFFFF), int(BLACKNESS >> 16), 10, 10, 0, 0});
    HMETAFILE metafile = wmf.Make();
    ASSERT_TRUE(PlayMetaFile(surface->Dc(), metafile));
    // The records' settings stay with the context, as after any other calls.
    EXPECT_EQ(GetMapMode(surface->Dc()), MM_ANISOTROPIC);
    SetMapMode(surface->Dc(), MM_TEXT);
    SelectClipRgn(surface->Dc(), nullptr);
    EXPECT_EQ(GetPixel(surface->Dc(), 6, 6), kRed);
    EXPECT_EQ(GetPixel(surface->Dc(), 7, 7), kWhite);
    EXPECT_EQ(GetPixel(surface->Dc(), 8, 7), 0u);  // the black half after the clip
    EXPECT_EQ(GetPixel(surface->Dc(), 7, 9), kWhite);
    EXPECT_EQ(Count(*surface, 0), 8 * 16);
    EXPECT_TRUE(DeleteMetaFile(metafile));
}

TEST_F(TWinMetaFileTest, RestoresOnlyStatesItSaved) {
    auto surface = MakeWhiteSurface(8, 8);
    HDC dc = surface->Dc();
    ASSERT_EQ(SaveDC(dc), 1);
    TWmf wmf;
    wmf.Record(kRestoreDC, {-1});  // nothing of its own to restore: the caller's state stays
    wmf.Record(kSaveDC, {}).Record(kSetBkMode, {TRANSPARENT}).Record(kSaveDC, {});
    HMETAFILE metafile = wmf.Make();
    ASSERT_TRUE(PlayMetaFile(dc, metafile));
    // The records' own saved states are gone, the caller's is still there.
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_TRUE(RestoreDC(dc, 1));
    EXPECT_FALSE(RestoreDC(dc, -1));
    EXPECT_TRUE(DeleteMetaFile(metafile));
}

TEST_F(TWinMetaFileTest, DrawsBitmapsAndRegionsFromTheirRecords) {
    auto surface = MakeWhiteSurface(8, 8);
    // A 2 × 2 24-bit bottom-up DIB: blue, red on the top row; red, blue below.
    TWmf wmf;
    std::vector<int> dib{int(SRCCOPY & 0xFFFF), int(SRCCOPY >> 16), DIB_RGB_COLORS, 2, 2, 0, 0, 4, 4, 0, 0,
                         40, 0, 2, 0, 2, 0, 1, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    // Rows of 8 bytes (6 and 2 of padding): bottom row red, blue; top row blue, red (as BGR).
    for (int w : {0x0000, 0xFFFF, 0x0000, 0x0000, 0x00FF, 0x0000, 0xFF00, 0x0000})
        dib.push_back(w);
    wmf.Raw(kStretchDib, dib);
    // A region of one scan: x 5…7 on rows 5…6.
    wmf.Record(kCreateRegion, {0, 6, 0, 0, 34, 1, 2, 5, 5, 7, 7, 2, 5, 7, 5, 7, 2});
    wmf.Raw(kCreateBrush, Brush(kRed));
    wmf.Record(kFillRegion, {0, 1});
    HMETAFILE metafile = wmf.Make();
    ASSERT_TRUE(PlayMetaFile(surface->Dc(), metafile));
    EXPECT_EQ(GetPixel(surface->Dc(), 0, 0), kBlue);
    EXPECT_EQ(GetPixel(surface->Dc(), 3, 0), kRed);
    EXPECT_EQ(GetPixel(surface->Dc(), 0, 3), kRed);
    EXPECT_EQ(GetPixel(surface->Dc(), 3, 3), kBlue);
    EXPECT_EQ(GetPixel(surface->Dc(), 5, 5), kRed);
    EXPECT_EQ(GetPixel(surface->Dc(), 6, 6), kRed);
    EXPECT_EQ(GetPixel(surface->Dc(), 7, 6), kWhite);
    EXPECT_EQ(Count(*surface, kRed), 8 + 4);
    EXPECT_TRUE(DeleteMetaFile(metafile));
}

// The text records draw their bytes through the selected font's code page, as ExtTextOutW of
// the decoded characters draws them; the rectangle of an opaque record is filled.
TEST_F(TWinMetaFileTest, TextRecordsDrawAsTheTextCalls) {
    constexpr WORD kCreateFont = 0x02FB, kTextOut = 0x0521, kExtTextOut = 0x0A32;
    // LOGFONT16: height −14, width, escapement, orientation, weight 400, then byte pairs
    // (italic, underline), (strike-out, Windows-1252), precisions, quality and pitch, no face.
    std::vector<int> font{-14, 0, 0, 0, 400, 0, 0, 0, 0};
    font.resize(font.size() + 16, 0);
    TWmf wmf;
    wmf.Raw(kCreateFont, font).Record(kSelectObject, {0}).Raw(0x0201, TWmf::Colour(kRed));  // SETBKCOLOR
    wmf.Record(kTextOut, {3, 'A' | ('\xe9' & 0xFF) << 8, 'b', 2, 1});  // "Aéb" at (1, 2)
    wmf.Record(kExtTextOut, {20, 4, 2, ETO_OPAQUE, 2, 18, 30, 36, 'x' | 'y' << 8, 9, 9});  // "xy", advances 9
    auto played = MakeWhiteSurface(48, 40), called = MakeWhiteSurface(48, 40);
    HMETAFILE metafile = wmf.Make();
    EXPECT_TRUE(PlayMetaFile(played->Dc(), metafile));
    EXPECT_TRUE(DeleteMetaFile(metafile));
    LOGFONTA log{};
    log.lfHeight = -14;
    log.lfWeight = 400;
    HGDIOBJ old = SelectObject(called->Dc(), CreateFontIndirectA(&log));
    SetBkColor(called->Dc(), kRed);
    const WCHAR first[] = {'A', 0xE9, 'b'}, second[] = {'x', 'y'};
    const RECT box{2, 18, 30, 36};
    const INT advances[] = {9, 9};
    TextOutW(called->Dc(), 1, 2, first, 3);
    ExtTextOutW(called->Dc(), 4, 20, ETO_OPAQUE, &box, second, 2, advances);
    DeleteObject(SelectObject(called->Dc(), old));
    EXPECT_EQ(GetPixel(played->Dc(), 2, 18), kRed) << "the opaque box is filled";
    EXPECT_GT(Count(*played, kWhite), 0);
    EXPECT_EQ(played->Colours(), called->Colours());
}

TEST_F(TWinMetaFileTest, ADamagedRecordEndsPlaybackThere) {
    auto surface = MakeWhiteSurface(8, 8);
    TWmf wmf;
    wmf.Record(kSetPixel, {int(kRed & 0xFFFF), int(kRed >> 16), 0, 0});
    wmf.Record(kPolygon, {0x7FFF, 0, 0, 4, 4});       // far more points than the record holds
    wmf.Record(kSetPixel, {int(kRed & 0xFFFF), int(kRed >> 16), 1, 1});
    wmf.Record(kStretchDib, {0x20, 0xCC, 0, 1, 1, 0, 0, 1, 1, 0, 0, 40, 0});  // a header cut short
    HMETAFILE metafile = wmf.Make();
    EXPECT_FALSE(PlayMetaFile(surface->Dc(), metafile));
    EXPECT_EQ(GetPixel(surface->Dc(), 0, 0), kRed);
    EXPECT_EQ(GetPixel(surface->Dc(), 1, 1), kWhite);
    EXPECT_TRUE(DeleteMetaFile(metafile));

    // A record whose size runs past the data ends the records where it starts.
    std::vector<BYTE> bytes = TWmf().Record(kSetPixel, {int(kRed & 0xFFFF), int(kRed >> 16), 2, 2}).Bytes();
    bytes[18] = 0xFF;  // the first record's size
    metafile = SetMetaFileBitsEx(UINT(bytes.size()), bytes.data());
    ASSERT_NE(metafile, nullptr);
    EXPECT_TRUE(PlayMetaFile(surface->Dc(), metafile));
    EXPECT_EQ(GetPixel(surface->Dc(), 2, 2), kWhite);
    EXPECT_TRUE(DeleteMetaFile(metafile));
}

}  // namespace

namespace {

// Every Windows metafile of the shared corpus, its placeable header (when it has one) taken off:
// each is taken or refused, and plays to its end or to a damaged record, without harm.
TEST_F(TWinMetaFileTest, PlaysEveryCorpusFile) {
    int played = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator("../shared/corpus/wmf")) {
        if (entry.path().extension() != ".wmf")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::size_t skip = 0;
        if (bytes.size() >= 22 && bytes[0] == 0xD7 && bytes[1] == 0xCD && bytes[2] == 0xC6 && bytes[3] == 0x9A)
            skip = 22;
        HMETAFILE metafile = SetMetaFileBitsEx(UINT(bytes.size() - skip), bytes.data() + skip);
        if (metafile == nullptr)
            continue;
        for (int bits : {8, 32}) {
            auto surface = MakeDib(bits, 64, -64, {Quad(0), Quad(kWhite)});
            const int depth = SaveDC(surface->Dc());
            PlayMetaFile(surface->Dc(), metafile);
            RestoreDC(surface->Dc(), depth);
        }
        ++played;
        EXPECT_TRUE(DeleteMetaFile(metafile)) << entry.path();
    }
    EXPECT_GE(played, 20);
}

}  // namespace

namespace {

// Each record draws what the call it stands for draws: its parameters come back in the call's
// order. Played and called on two surfaces with the same pen and brush, the pixels must agree.
TEST_F(TWinMetaFileTest, RecordsDrawAsTheirCalls) {
    struct TCase {
        const char* Name;
        WORD Function;
        std::vector<int> Words;
        void (*Call)(HDC);
    };
    const TCase cases[] = {
        {"ellipse", 0x0418, {13, 15, 2, 1}, [](HDC dc) { Ellipse(dc, 1, 2, 15, 13); }},
        {"round rect", 0x061C, {5, 6, 13, 15, 2, 1}, [](HDC dc) { RoundRect(dc, 1, 2, 15, 13, 6, 5); }},
        {"arc", 0x0817, {14, 3, 1, 12, 13, 15, 2, 1}, [](HDC dc) { Arc(dc, 1, 2, 15, 13, 12, 1, 3, 14); }},
        {"pie", 0x081A, {14, 3, 1, 12, 13, 15, 2, 1}, [](HDC dc) { Pie(dc, 1, 2, 15, 13, 12, 1, 3, 14); }},
        {"chord", 0x0830, {14, 3, 1, 12, 13, 15, 2, 1}, [](HDC dc) { Chord(dc, 1, 2, 15, 13, 12, 1, 3, 14); }},
        {"flood fill", 0x0419, {0, 0, 6, 7}, [](HDC dc) { ExtFloodFill(dc, 7, 6, 0, FLOODFILLBORDER); }},
        {"ext flood fill", 0x0548, {FLOODFILLSURFACE, 0xFFFF, 0xFF, 6, 7},
         [](HDC dc) { ExtFloodFill(dc, 7, 6, kWhite, FLOODFILLSURFACE); }},
    };
    for (const TCase& c : cases) {
        auto played = MakeWhiteSurface(16, 16), called = MakeWhiteSurface(16, 16);
        HBRUSH red = CreateSolidBrush(kRed);
        for (const auto* s : {played.get(), called.get()}) {
            SelectObject(s->Dc(), GetStockObject(NULL_BRUSH));
            Rectangle(s->Dc(), 4, 4, 11, 11);  // a black frame for the flood fills to stop at
            SelectObject(s->Dc(), red);
        }
        const std::vector<COLORREF> before = played->Colours();
        HMETAFILE metafile = TWmf().Raw(c.Function, c.Words).Make();
        ASSERT_TRUE(PlayMetaFile(played->Dc(), metafile)) << c.Name;
        c.Call(called->Dc());
        EXPECT_EQ(played->Colours(), called->Colours()) << c.Name;
        EXPECT_NE(played->Colours(), before) << c.Name << " drew nothing";
        for (const auto* s : {played.get(), called.get()})
            SelectObject(s->Dc(), GetStockObject(WHITE_BRUSH));
        DeleteObject(red);
        EXPECT_TRUE(DeleteMetaFile(metafile));
    }
}

TEST_F(TWinMetaFileTest, PatternBrushesAndDeviceBitsFromPackedBitmaps) {
    // A 2 × 2 8-bit DIB of two colours, red on the diagonal: table of 2, rows of 4 bytes.
    const std::vector<int> dib{40, 0, 2, 0, 2, 0, 1, 8, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0,
                               0xFFFF, 0x00FF, 0x0000, 0x00FF,  // white, red (BGR0)
                               0x0001, 0x0000, 0x0100, 0x0000};  // bottom row: red, white; top: white, red
    auto surface = MakeWhiteSurface(8, 8);
    TWmf wmf;
    std::vector<int> brush{BS_DIBPATTERNPT, DIB_RGB_COLORS};
    brush.insert(brush.end(), dib.begin(), dib.end());
    wmf.Raw(0x0142, brush).Record(0x012D, {0});
    wmf.Record(0x061D, {int(PATCOPY & 0xFFFF), int(PATCOPY >> 16), 4, 4, 0, 0});
    std::vector<int> toDevice{DIB_RGB_COLORS, 2, 0, 0, 0, 2, 2, 6, 6};
    toDevice.insert(toDevice.end(), dib.begin(), dib.end());
    wmf.Raw(0x0D33, toDevice);
    HMETAFILE metafile = wmf.Make();
    ASSERT_TRUE(PlayMetaFile(surface->Dc(), metafile));
    EXPECT_EQ(GetPixel(surface->Dc(), 0, 0), kWhite);
    EXPECT_EQ(GetPixel(surface->Dc(), 1, 0), kRed);
    EXPECT_EQ(GetPixel(surface->Dc(), 2, 2), kWhite);
    EXPECT_EQ(GetPixel(surface->Dc(), 3, 2), kRed);
    EXPECT_EQ(GetPixel(surface->Dc(), 6, 7), kRed);
    EXPECT_EQ(GetPixel(surface->Dc(), 7, 6), kRed);
    EXPECT_EQ(GetPixel(surface->Dc(), 6, 6), kWhite);
    EXPECT_EQ(Count(*surface, kRed), 8 + 2);
    EXPECT_TRUE(DeleteMetaFile(metafile));
}

}  // namespace
