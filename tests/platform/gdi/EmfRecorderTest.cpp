// Recording contexts: what is drawn on one, closed and played back, must paint the pixels the
// same calls paint directly; the header (bounds, frame, handles, description), the records and
// the object table, and the round trip through a Windows metafile.
#include "BlitTestSupport.h"

#include "platform/gdi/EnhMetaFile.h"

#include <algorithm>
#include <functional>
#include <string>

namespace {

using namespace gdi;
using namespace blittest;

// 96 × 108 reference pixels are exactly 2540 × 2860 hundredths of a millimetre on the default
// screen (1920 × 1080 pixels, 508 × 286 mm), so playback over such a rectangle is one to one.
constexpr int kWidth = 96;
constexpr int kHeight = 108;
constexpr RECT kFrame{0, 0, 2540, 2860};

class TEmfRecorderTest : public TGdiTest {};

ENHMETAHEADER Header(HENHMETAFILE metafile) {
    ENHMETAHEADER header{};
    GetEnhMetaFileHeader(metafile, sizeof header, &header);
    return header;
}

std::vector<BYTE> Bytes(HENHMETAFILE metafile) {
    std::vector<BYTE> bytes(GetEnhMetaFileBits(metafile, 0, nullptr));
    GetEnhMetaFileBits(metafile, UINT(bytes.size()), bytes.data());
    return bytes;
}

struct TRecord {
    DWORD Type;
    std::vector<DWORD> Values;  // the record's words behind type and size
};

std::vector<TRecord> Records(const std::vector<BYTE>& emf) {
    std::vector<TRecord> records;
    DWORD headerSize = 0;
    std::memcpy(&headerSize, emf.data() + 4, 4);
    for (std::size_t at = headerSize; at + 8 <= emf.size();) {
        DWORD head[2];
        std::memcpy(head, emf.data() + at, 8);
        TRecord record{head[0], std::vector<DWORD>((head[1] - 8) / 4)};
        if (!record.Values.empty())
            std::memcpy(record.Values.data(), emf.data() + at + 8, head[1] - 8);
        records.push_back(record);
        at += head[1];
    }
    return records;
}

std::vector<DWORD> Types(const std::vector<TRecord>& records) {
    std::vector<DWORD> types;
    for (const TRecord& record : records)
        types.push_back(record.Type);
    return types;
}

HENHMETAFILE Record(const std::function<void(HDC)>& draw, const RECT* frame = nullptr) {
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, frame, nullptr);
    EXPECT_NE(dc, nullptr);
    draw(dc);
    return CloseEnhMetaFile(dc);
}

// A 4 × 3 colour source and an 8 × 8 monochrome one, each in a memory context.
struct TSources {
    std::unique_ptr<TSurface> Colour = MakeDib(32, 4, 3);
    std::unique_ptr<TSurface> Mono = MakeDdb(1, 8, 8);
    std::unique_ptr<TSurface> Alpha = MakeDib(32, 4, 4);  // premultiplied, alpha rising along x
    TSources() {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const DWORD a = DWORD(64 * x + 63), c = a * DWORD(y + 1) / 4;
                Alpha->SetRaw(x, y, a << 24 | c << 16 | (a - c) << 8);
            }
        const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(10, 20, 30)};
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                SetPixel(Colour->Dc(), x, y, colours[(x + y) % 4]);
        PatBlt(Mono->Dc(), 0, 0, 8, 8, WHITENESS);
        for (int i = 0; i < 8; ++i)
            SetPixel(Mono->Dc(), i, i, 0), SetPixel(Mono->Dc(), 7 - i, i, 0);
    }
};

struct TDrawing {
    const char* Name;
    std::function<void(HDC, const TSources&)> Draw;
};

HFONT SansFont(int height, int escapement = 0) {
    LOGFONTA log{};
    log.lfHeight = height;
    log.lfEscapement = escapement;
    std::strcpy(log.lfFaceName, "Liberation Sans");
    return CreateFontIndirectA(&log);
}

const TDrawing kDrawings[] = {
    {"shapes",
     [](HDC dc, const TSources&) {
         HPEN pen = CreatePen(PS_SOLID, 5, RGB(200, 0, 0));
         HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 0, 200));
         SelectObject(dc, pen);
         SelectObject(dc, hatch);
         Rectangle(dc, 8, 8, 40, 30);
         SelectObject(dc, GetStockObject(BLACK_PEN));
         SelectObject(dc, GetStockObject(GRAY_BRUSH));
         Ellipse(dc, 50, 5, 90, 35);
         RoundRect(dc, 5, 40, 40, 70, 12, 9);
         SetArcDirection(dc, AD_CLOCKWISE);
         Pie(dc, 45, 40, 90, 80, 90, 60, 45, 40);
         Chord(dc, 5, 75, 45, 105, 5, 90, 45, 90);
         SetArcDirection(dc, AD_COUNTERCLOCKWISE);
         Arc(dc, 50, 80, 90, 106, 90, 93, 50, 93);
         SelectObject(dc, GetStockObject(WHITE_BRUSH));
         DeleteObject(hatch);
         DeleteObject(pen);
     }},
    {"lines",
     [](HDC dc, const TSources&) {
         const POINT star[] = {{10, 10}, {80, 90}, {85, 15}, {5, 70}, {50, 2}};
         const POINT squares[] = {{10, 10}, {40, 10}, {40, 40}, {10, 40}, {20, 20}, {30, 20}, {30, 30}, {20, 30}};
         const INT counts[] = {4, 4};
         const POINT curve[] = {{5, 100}, {30, 40}, {60, 140}, {90, 60}};
         HPEN dash = CreatePen(PS_DASH, 1, RGB(0, 128, 0));
         SelectObject(dc, dash);
         Polyline(dc, star, 5);
         SetPolyFillMode(dc, WINDING);
         SelectObject(dc, GetStockObject(LTGRAY_BRUSH));
         PolyPolygon(dc, squares, counts, 2);
         SelectObject(dc, GetStockObject(BLACK_PEN));
         PolyBezier(dc, curve, 4);
         MoveToEx(dc, 90, 100, nullptr);
         LineTo(dc, 60, 104);
         PolylineTo(dc, star + 1, 2);
         SetROP2(dc, R2_NOT);
         Polygon(dc, star, 3);
         SelectObject(dc, GetStockObject(BLACK_PEN));
         DeleteObject(dash);
     }},
    {"text",
     [](HDC dc, const TSources&) {
         HFONT font = SansFont(-14), turned = SansFont(-12, 450);
         HGDIOBJ old = SelectObject(dc, font);
         SetTextColor(dc, RGB(0, 0, 160));
         SetBkColor(dc, RGB(255, 255, 0));
         TextOutA(dc, 4, 4, "Récit", 6);
         SetBkMode(dc, TRANSPARENT);
         const WCHAR wide[] = u"Wq";
         const INT dx[] = {20, 9};
         const RECT box{2, 30, 60, 50};
         ExtTextOutW(dc, 6, 32, ETO_OPAQUE | ETO_CLIPPED, &box, wide, 2, dx);
         SetTextAlign(dc, TA_BASELINE | TA_RIGHT);
         TextOutW(dc, 90, 70, u"ab", 2);
         // An enhanced metafile has no spacing records: the text carries it in its advances.
         SetTextCharacterExtra(dc, 2);
         SetTextJustification(dc, 7, 2);
         TextOutW(dc, 90, 90, u"a b c", 5);
         SetTextCharacterExtra(dc, 0);
         SetTextJustification(dc, 0, 0);
         SelectObject(dc, turned);
         SetTextAlign(dc, TA_LEFT | TA_TOP);
         TextOutA(dc, 20, 100, "up", 2);
         SelectObject(dc, old);
         DeleteObject(font);
         DeleteObject(turned);
     }},
    {"transfers",
     [](HDC dc, const TSources& s) {
         BitBlt(dc, 2, 2, 4, 3, s.Colour->Dc(), 0, 0, SRCCOPY);
         BitBlt(dc, 10, 2, 3, 2, s.Colour->Dc(), 1, 1, SRCCOPY);
         StretchBlt(dc, 20, 2, 40, 30, s.Colour->Dc(), 0, 0, 4, 3, SRCCOPY);
         SetTextColor(dc, RGB(255, 0, 0));
         SetBkColor(dc, RGB(0, 0, 255));
         BitBlt(dc, 70, 2, 8, 8, s.Mono->Dc(), 0, 0, SRCCOPY);
         SelectObject(dc, GetStockObject(DKGRAY_BRUSH));
         PatBlt(dc, 2, 40, 30, 20, PATCOPY);
         PatBlt(dc, 10, 45, 30, 20, DSTINVERT);
         const RECT fill{50, 40, 90, 50};
         FillRect(dc, &fill, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
         const DWORD pixels[] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00808080, 0x00FFFFFF, 0};
         TDibInfo info = DibInfo(32, 3, 2);
         StretchDIBits(dc, 5, 70, 30, 20, 0, 0, 3, 2, pixels, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                       SRCCOPY);
         SetDIBitsToDevice(dc, 50, 70, 3, 2, 0, 0, 0, 2, pixels, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
         SetPixel(dc, 60, 100, RGB(0, 200, 0));
         const BYTE pattern[] = {0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0};
         HBITMAP bits = CreateBitmap(8, 8, 1, 1, pattern);
         HBRUSH brush = CreatePatternBrush(bits);
         SelectObject(dc, brush);
         PatBlt(dc, 70, 80, 20, 20, PATCOPY);
         SelectObject(dc, GetStockObject(WHITE_BRUSH));
         DeleteObject(brush);
         DeleteObject(bits);
     }},
    {"blends and fills",
     [](HDC dc, const TSources& s) {
         SelectObject(dc, GetStockObject(GRAY_BRUSH));
         Rectangle(dc, 0, 0, 60, 60);
         AlphaBlend(dc, 5, 5, 40, 40, s.Alpha->Dc(), 0, 0, 4, 4, BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA});
         AlphaBlend(dc, 50, 5, 20, 20, s.Colour->Dc(), 0, 0, 4, 3, BLENDFUNCTION{AC_SRC_OVER, 0, 128, 0});
         TransparentBlt(dc, 70, 30, 24, 18, s.Colour->Dc(), 0, 0, 4, 3, RGB(0, 255, 0));
         // The cross of the monochrome bitmap keeps the pattern, the rest takes the source.
         MaskBlt(dc, 80, 5, 4, 3, s.Colour->Dc(), 0, 0, s.Mono->Bitmap(), 2, 1, MAKEROP4(SRCCOPY, PATCOPY));
         const POINT corners[] = {{70, 60}, {94, 68}, {62, 84}};
         PlgBlt(dc, corners, s.Colour->Dc(), 0, 0, 4, 3, nullptr, 0, 0);
         TRIVERTEX vertices[] = {{5, 65, 0xFF00, 0, 0, 0}, {45, 85, 0, 0, 0xFF00, 0}, {90, 100, 0, 0xFF00, 0, 0}};
         const GRADIENT_RECT rect{0, 1};
         GradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_H);
         const GRADIENT_TRIANGLE triangle{0, 1, 2};
         GradientFill(dc, vertices, 3, &triangle, 1, GRADIENT_FILL_TRIANGLE);
         const POINT points[] = {{60, 90}, {70, 60}, {90, 70}, {95, 105}, {50, 105}};
         const BYTE types[] = {PT_MOVETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO, PT_LINETO | PT_CLOSEFIGURE};
         PolyDraw(dc, points, types, 5);
         SelectObject(dc, GetStockObject(BLACK_BRUSH));
         ExtFloodFill(dc, 20, 50, RGB(128, 128, 128), FLOODFILLSURFACE);
         SelectObject(dc, GetStockObject(WHITE_BRUSH));
     }},
    {"clip and mapping",
     [](HDC dc, const TSources&) {
         SaveDC(dc);
         IntersectClipRect(dc, 5, 5, 70, 90);
         ExcludeClipRect(dc, 20, 20, 40, 40);
         SelectObject(dc, GetStockObject(BLACK_BRUSH));
         Rectangle(dc, 0, 0, 96, 108);
         RestoreDC(dc, -1);
         HRGN region = CreateEllipticRgn(50, 50, 95, 100);
         SelectClipRgn(dc, region);
         OffsetClipRgn(dc, -3, 2);
         SetMapMode(dc, MM_ANISOTROPIC);
         SetWindowExtEx(dc, 100, 100, nullptr);
         SetViewportExtEx(dc, 50, 60, nullptr);
         SetWindowOrgEx(dc, -20, 10, nullptr);
         SetViewportOrgEx(dc, 30, 20, nullptr);
         SelectObject(dc, GetStockObject(GRAY_BRUSH));
         Ellipse(dc, 0, 0, 120, 130);
         SelectClipRgn(dc, nullptr);
         FillRgn(dc, region, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
         FrameRgn(dc, region, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)), 3, 2);
         DeleteObject(region);
     }},
    {"paths and world",
     [](HDC dc, const TSources&) {
         HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 255));
         SelectObject(dc, pen);
         SelectObject(dc, GetStockObject(LTGRAY_BRUSH));
         BeginPath(dc);
         MoveToEx(dc, 10, 10, nullptr);
         LineTo(dc, 80, 20);
         LineTo(dc, 40, 60);
         CloseFigure(dc);
         // Curves of the bracket keep their size though the player draws in the advanced mode.
         Ellipse(dc, 60, 5, 90, 30);
         RoundRect(dc, 5, 65, 35, 95, 10, 10);
         const POINT curve[] = {{90, 50}, {95, 95}, {50, 90}};
         MoveToEx(dc, 50, 50, nullptr);
         PolyBezierTo(dc, curve, 3);
         EndPath(dc);
         StrokeAndFillPath(dc);
         SetGraphicsMode(dc, GM_ADVANCED);
         const XFORM turn{0.8f, 0.6f, -0.6f, 0.8f, 30.0f, 60.0f};
         SetWorldTransform(dc, &turn);
         Rectangle(dc, 0, 0, 30, 20);
         ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
         SelectObject(dc, GetStockObject(BLACK_PEN));
         DeleteObject(pen);
     }},
};

// A drawing's name as a test's name.
std::string TestName(std::string name) {
    for (char& c : name)
        if (c == ' ')
            c = '_';
    return name;
}

// The played picture is the directly drawn one, which is not blank.
void ExpectSamePicture(const TSurface& played, const TSurface& direct) {
    EXPECT_EQ(SurfacePicture(played, kHeight, kWidth, RGB(0, 0, 0), '#'),
              SurfacePicture(direct, kHeight, kWidth, RGB(0, 0, 0), '#'));
    EXPECT_EQ(played.Colours(), direct.Colours());
    EXPECT_NE(direct.Colours(), MakeWhiteSurface(kWidth, kHeight)->Colours()) << "the drawing drew nothing";
}

class TEmfRecorderPixels : public TEmfRecorderTest, public ::testing::WithParamInterface<TDrawing> {};

TEST_P(TEmfRecorderPixels, PlaysBackAsTheSameCallsDrawDirectly) {
    const TSources sources;
    auto direct = MakeWhiteSurface(kWidth, kHeight), played = MakeWhiteSurface(kWidth, kHeight);
    // The drawing's mapping and clip must not stay for the pixels' reading.
    const int saved = SaveDC(direct->Dc());
    GetParam().Draw(direct->Dc(), sources);
    RestoreDC(direct->Dc(), saved);
    HENHMETAFILE metafile = Record([&](HDC dc) { GetParam().Draw(dc, sources); }, &kFrame);
    ASSERT_NE(metafile, nullptr);
    const RECT whole{0, 0, kWidth, kHeight};
    EXPECT_TRUE(PlayEnhMetaFile(played->Dc(), metafile, &whole));
    ExpectSamePicture(*played, *direct);
    DeleteEnhMetaFile(metafile);
}

INSTANTIATE_TEST_SUITE_P(Drawings, TEmfRecorderPixels, ::testing::ValuesIn(kDrawings),
                         [](const auto& info) { return TestName(info.param.Name); });

TEST_F(TEmfRecorderTest, HeaderHoldsBoundsWithPenWidthsFrameHandlesAndDescription) {
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, u"Vistel\0Cells\0");
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetObjectType(dc), OBJ_ENHMETADC);
    HPEN wide = CreatePen(PS_SOLID, 6, 0);
    SelectObject(dc, wide);
    Rectangle(dc, 100, 50, 200, 150);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    MoveToEx(dc, 300, 20, nullptr);
    LineTo(dc, 310, 400);
    POINT position{};
    EXPECT_TRUE(GetCurrentPositionEx(dc, &position));
    EXPECT_EQ(position.x, 310);
    HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    ASSERT_NE(metafile, nullptr);
    EXPECT_EQ(GetObjectType(dc), 0u) << "the context is deleted";
    const ENHMETAHEADER header = Header(metafile);
    // The rectangle's last pixels are (199, 149); the 6-pixel pen reaches 3 beyond its line.
    EXPECT_EQ(header.rclBounds.left, 97);
    EXPECT_EQ(header.rclBounds.top, 20);
    EXPECT_EQ(header.rclBounds.right, 310);
    EXPECT_EQ(header.rclBounds.bottom, 400);
    // Bounds in hundredths of a millimetre, truncated: 97 × 50800 / 1920 = 2566.4 …
    EXPECT_EQ(header.rclFrame.left, 2566);
    EXPECT_EQ(header.rclFrame.top, 529);
    EXPECT_EQ(header.rclFrame.right, 8202);
    EXPECT_EQ(header.rclFrame.bottom, 10592);
    EXPECT_EQ(header.nHandles, 2);
    EXPECT_EQ(header.szlDevice.cx, 1920);
    EXPECT_EQ(header.szlDevice.cy, 1080);
    EXPECT_EQ(header.szlMillimeters.cx, 508);
    EXPECT_EQ(header.szlMillimeters.cy, 286);
    const std::vector<BYTE> bytes = Bytes(metafile);
    ASSERT_EQ(header.nDescription, 14u);
    ASSERT_EQ(header.offDescription, sizeof(ENHMETAHEADER));
    EXPECT_EQ(header.nSize, sizeof(ENHMETAHEADER) + 28);
    std::u16string description(14, u'\0');
    std::memcpy(description.data(), bytes.data() + header.offDescription, 28);
    EXPECT_EQ(description, std::u16string(u"Vistel\0Cells\0\0", 14));
    EXPECT_EQ(header.nBytes, bytes.size());
    EXPECT_EQ(header.nRecords, Records(bytes).size() + 1);
    DeleteEnhMetaFile(metafile);
    DeleteObject(wide);

    // Nothing drawn: the documented empty bounds, and a frame made from them.
    HENHMETAFILE empty = Record([](HDC dc) { SetBkMode(dc, TRANSPARENT); });
    const ENHMETAHEADER nothing = Header(empty);
    EXPECT_EQ(nothing.rclBounds.left, 0);
    EXPECT_EQ(nothing.rclBounds.right, -1);
    EXPECT_EQ(nothing.rclBounds.bottom, -1);
    EXPECT_EQ(nothing.rclFrame.right, -26);
    EXPECT_EQ(nothing.nDescription, 0u);
    EXPECT_EQ(nothing.nHandles, 1);
    DeleteEnhMetaFile(empty);
}

TEST_F(TEmfRecorderTest, BoundsCoverWhatEachCallDrawsInReferencePixels) {
    struct TCase {
        const char* Name;
        std::function<void(HDC)> Draw;
        RECTL Bounds;
    };
    const POINT curve[] = {{30, 4}, {5, 40}, {9, 9}};
    const TCase cases[] = {
        {"line, last point included", [](HDC dc) { LineTo(dc, 9, 5); }, {0, 0, 9, 5}},
        {"ellipse, right and bottom out", [](HDC dc) { Ellipse(dc, 10, 10, 20, 20); }, {10, 10, 19, 19}},
        {"Bézier from the position", [&](HDC dc) { PolyBezierTo(dc, curve, 3); }, {0, 0, 30, 40}},
        {"arc's whole ellipse", [](HDC dc) { Arc(dc, 10, 10, 30, 30, 30, 20, 10, 20); }, {10, 10, 29, 29}},
        {"MM_LOMETRIC, y up", [](HDC dc) { SetMapMode(dc, MM_LOMETRIC), Rectangle(dc, 100, -100, 200, -200); },
         {38, 38, 75, 75}},
        {"inside-frame pen stays in", [](HDC dc) {
             HPEN pen = CreatePen(PS_INSIDEFRAME, 8, 0);
             SelectObject(dc, pen), Rectangle(dc, 10, 10, 20, 20), SelectObject(dc, GetStockObject(BLACK_PEN));
             DeleteObject(pen);
         }, {10, 10, 19, 19}},
        {"pixel", [](HDC dc) { SetPixel(dc, 5, 6, 0); }, {5, 6, 5, 6}},
        {"pattern blit", [](HDC dc) { PatBlt(dc, 10, 10, 20, 30, PATCOPY); }, {10, 10, 29, 39}},
        {"stroked path with a wide pen, nothing while it is made", [](HDC dc) {
             HPEN pen = CreatePen(PS_SOLID, 6, 0);
             SelectObject(dc, pen), BeginPath(dc), MoveToEx(dc, 10, 10, nullptr), LineTo(dc, 40, 30), EndPath(dc);
             StrokePath(dc), SelectObject(dc, GetStockObject(BLACK_PEN)), DeleteObject(pen);
         }, {7, 7, 43, 33}},
        {"region painted", [](HDC dc) {
             HRGN region = CreateRectRgn(10, 10, 20, 20);
             FillRgn(dc, region, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), DeleteObject(region);
         }, {10, 10, 19, 19}},
    };
    for (const TCase& c : cases) {
        HENHMETAFILE metafile = Record(c.Draw);
        ASSERT_NE(metafile, nullptr) << c.Name;
        const RECTL b = Header(metafile).rclBounds;
        EXPECT_EQ((std::vector<LONG>{b.left, b.top, b.right, b.bottom}),
                  (std::vector<LONG>{c.Bounds.left, c.Bounds.top, c.Bounds.right, c.Bounds.bottom}))
            << c.Name;
        DeleteEnhMetaFile(metafile);
    }
}

TEST_F(TEmfRecorderTest, RecordsObjectsInTheLowestFreeSlotAndPointsInSixteenBitsWhenTheyFit) {
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), blue = CreateSolidBrush(RGB(0, 0, 255));
    HPEN pen = CreatePen(PS_DOT, 1, RGB(0, 128, 0));
    const POINT small[] = {{1, 2}, {30, 4}, {5, 40}};
    const POINT large[] = {{1, 2}, {70000, 4}, {5, 40}};
    HENHMETAFILE metafile = Record([&](HDC dc) {
        SelectObject(dc, red);
        SelectObject(dc, pen);
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        DeleteObject(red);
        SelectObject(dc, blue);  // takes the slot the red brush left
        SelectObject(dc, red);   // deleted: refused, nothing recorded
        Polyline(dc, small, 3);
        Polygon(dc, large, 3);
        SetPixel(dc, 5, 6, RGB(1, 2, 3));
    });
    ASSERT_NE(metafile, nullptr);
    const std::vector<TRecord> records = Records(Bytes(metafile));
    const std::vector<DWORD> expected = {39, 37, 38, 37, 37, 40, 39, 37, 87, 3, 15, 14};
    EXPECT_EQ(Types(records), expected);
    EXPECT_EQ(records[0].Values, (std::vector<DWORD>{1, BS_SOLID, RGB(255, 0, 0), 0}));
    EXPECT_EQ(records[2].Values, (std::vector<DWORD>{2, PS_DOT, 1, 0, RGB(0, 128, 0)}));
    EXPECT_EQ(records[4].Values[0], 0x80000000u | NULL_BRUSH);
    EXPECT_EQ(records[5].Values[0], 1u);
    EXPECT_EQ(records[6].Values[0], 1u);
    EXPECT_EQ(records[8].Values, (std::vector<DWORD>{1, 2, 30, 40, 3, 0x00020001, 0x0004001E, 0x00280005}));
    EXPECT_EQ(records[9].Values[2], 70000u);
    EXPECT_EQ(records[10].Values, (std::vector<DWORD>{5, 6, RGB(1, 2, 3)}));
    EXPECT_EQ(Header(metafile).nHandles, 3);
    DeleteEnhMetaFile(metafile);
    DeleteObject(blue);
    DeleteObject(pen);
}

TEST_F(TEmfRecorderTest, RecordsPalettesAndTheirLaterChanges) {
    std::vector<DWORD> storage(8);
    auto* log = reinterpret_cast<LOGPALETTE*>(storage.data());
    log->palVersion = 0x300;
    log->palNumEntries = 2;
    log->palPalEntry[0] = PALETTEENTRY{10, 20, 30, 0};
    log->palPalEntry[1] = PALETTEENTRY{40, 50, 60, 0};
    HPALETTE palette = CreatePalette(log);
    HENHMETAFILE metafile = Record([&](HDC dc) {
        SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
        const PALETTEENTRY changed{1, 2, 3, 0};
        SetPaletteEntries(palette, 1, 1, &changed);
        ResizePalette(palette, 4);
        SelectPalette(dc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    });
    ASSERT_NE(metafile, nullptr);
    const std::vector<TRecord> records = Records(Bytes(metafile));
    EXPECT_EQ(Types(records), (std::vector<DWORD>{49, 48, 52, 50, 51, 48, 14}));
    EXPECT_EQ(records[0].Values, (std::vector<DWORD>{1, 0x00020300, 0x001E140A, 0x003C3228}));
    EXPECT_EQ(records[3].Values, (std::vector<DWORD>{1, 1, 1, 0x00030201}));
    EXPECT_EQ(records[4].Values, (std::vector<DWORD>{1, 4}));
    EXPECT_EQ(records[5].Values[0], 0x80000000u | DEFAULT_PALETTE);
    DeleteEnhMetaFile(metafile);
    DeleteObject(palette);
}

TEST_F(TEmfRecorderTest, RefusesFilesForeignContextsAndBitmaps) {
    EXPECT_EQ(CreateEnhMetaFileW(nullptr, u"picture.emf", nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    HDC memory = CreateCompatibleDC(nullptr);
    EXPECT_EQ(CloseEnhMetaFile(memory), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    HDC dc = CreateEnhMetaFileA(memory, nullptr, nullptr, "App\0Pic\0");
    ASSERT_NE(dc, nullptr);
    HBITMAP bitmap = CreateBitmap(2, 2, 1, 1, nullptr);
    EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
    EXPECT_EQ(SetPixel(dc, 3, 4, RGB(9, 9, 9)), RGB(9, 9, 9));
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    EXPECT_FALSE(BitBlt(memory, 0, 0, 1, 1, dc, 0, 0, SRCCOPY)) << "a metafile has no pixels to read";
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, dc, 0, 0, SRCCOPY));
    HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    ASSERT_NE(metafile, nullptr);
    EXPECT_EQ(Header(metafile).nDescription, 9u);
    EXPECT_EQ(Header(metafile).rclBounds.left, 3);
    // A recording context deleted without closing leaves nothing behind.
    HDC dropped = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    Rectangle(dropped, 0, 0, 5, 5);
    EXPECT_TRUE(DeleteDC(dropped));
    DeleteEnhMetaFile(metafile);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

TEST_F(TEmfRecorderTest, AMetafilePlayedOntoARecordingIsRecordedAsItDraws) {
    // What a picture framework does when it draws a metafile onto a metafile canvas.
    const TSources sources;
    HENHMETAFILE inner = Record([&](HDC dc) {
        for (const TDrawing& drawing : kDrawings)
            drawing.Draw(dc, sources);
    }, &kFrame);
    ASSERT_NE(inner, nullptr);
    const RECT whole{0, 0, kWidth, kHeight};
    HENHMETAFILE outer = Record([&](HDC dc) { EXPECT_TRUE(PlayEnhMetaFile(dc, inner, &whole)); }, &kFrame);
    ASSERT_NE(outer, nullptr);
    EXPECT_GT(Bytes(outer).size(), Bytes(inner).size() / 2);
    auto first = MakeWhiteSurface(kWidth, kHeight), second = MakeWhiteSurface(kWidth, kHeight);
    EXPECT_TRUE(PlayEnhMetaFile(first->Dc(), inner, &whole));
    EXPECT_TRUE(PlayEnhMetaFile(second->Dc(), outer, &whole));
    EXPECT_EQ(SurfacePicture(*second, kHeight, kWidth, RGB(0, 0, 0), '#'),
              SurfacePicture(*first, kHeight, kWidth, RGB(0, 0, 0), '#'));
    EXPECT_EQ(second->Colours(), first->Colours());
    DeleteEnhMetaFile(outer);
    DeleteEnhMetaFile(inner);
}

TEST_F(TEmfRecorderTest, ComesBackUnchangedThroughAWindowsMetafile) {
    const TSources sources;
    HENHMETAFILE metafile = Record([&](HDC dc) {
        for (const TDrawing& drawing : kDrawings)
            drawing.Draw(dc, sources);
    }, &kFrame);
    ASSERT_NE(metafile, nullptr);
    const std::vector<BYTE> original = Bytes(metafile);
    std::vector<BYTE> wmf(GetWinMetaFileBits(metafile, 0, nullptr, MM_ANISOTROPIC, nullptr));
    ASSERT_FALSE(wmf.empty());
    ASSERT_EQ(GetWinMetaFileBits(metafile, UINT(wmf.size()), wmf.data(), MM_ANISOTROPIC, nullptr), wmf.size());
    HENHMETAFILE back = SetWinMetaFileBits(UINT(wmf.size()), wmf.data(), nullptr, nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Bytes(back), original);
    auto first = MakeWhiteSurface(kWidth, kHeight), second = MakeWhiteSurface(kWidth, kHeight);
    const RECT whole{0, 0, kWidth, kHeight};
    EXPECT_TRUE(PlayEnhMetaFile(first->Dc(), metafile, &whole));
    EXPECT_TRUE(PlayEnhMetaFile(second->Dc(), back, &whole));
    EXPECT_EQ(second->Colours(), first->Colours());
    DeleteEnhMetaFile(back);
    DeleteEnhMetaFile(metafile);
}

// ---- Windows metafiles

const TDrawing kWindowsDrawings[] = {
    {"shapes",
     [](HDC dc, const TSources&) {
         HPEN pen = CreatePen(PS_SOLID, 5, RGB(200, 0, 0));
         HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 0, 200));
         SelectObject(dc, pen);
         SelectObject(dc, hatch);
         Rectangle(dc, 8, 8, 40, 30);
         SelectObject(dc, GetStockObject(BLACK_PEN));
         SelectObject(dc, GetStockObject(GRAY_BRUSH));
         Ellipse(dc, 50, 5, 90, 35);
         RoundRect(dc, 5, 40, 40, 70, 12, 9);
         Pie(dc, 45, 40, 90, 80, 90, 60, 45, 40);
         Chord(dc, 5, 75, 45, 105, 5, 90, 45, 90);
         Arc(dc, 50, 80, 90, 106, 90, 93, 50, 93);
         const POINT star[] = {{10, 10}, {80, 90}, {85, 15}, {5, 70}, {50, 2}};
         const POINT squares[] = {{10, 10}, {40, 10}, {40, 40}, {10, 40}, {20, 20}, {30, 20}, {30, 30}, {20, 30}};
         const INT counts[] = {4, 4};
         Polyline(dc, star, 5);
         SetPolyFillMode(dc, WINDING);
         PolyPolygon(dc, squares, counts, 2);
         MoveToEx(dc, 90, 100, nullptr);
         LineTo(dc, 60, 104);
         SetROP2(dc, R2_NOT);
         Polygon(dc, star, 3);
         SetPixel(dc, 60, 100, RGB(0, 200, 0));
         SelectObject(dc, GetStockObject(WHITE_BRUSH));
         DeleteObject(hatch);
         DeleteObject(pen);
     }},
    {"text and transfers",
     [](HDC dc, const TSources& s) {
         HFONT font = SansFont(-14);
         HGDIOBJ old = SelectObject(dc, font);
         SetTextColor(dc, RGB(0, 0, 160));
         SetBkColor(dc, RGB(255, 255, 0));
         TextOutA(dc, 4, 4, "Text", 4);
         SetTextCharacterExtra(dc, 2);
         SetTextJustification(dc, 5, 1);
         TextOutA(dc, 50, 4, "a b", 3);
         SetTextCharacterExtra(dc, 0);
         SetTextJustification(dc, 0, 0);
         const INT dx[] = {20, 9};
         const RECT box{2, 22, 60, 40};
         ExtTextOutW(dc, 6, 24, ETO_OPAQUE | ETO_CLIPPED, &box, u"Wq", 2, dx);
         SelectObject(dc, old);
         DeleteObject(font);
         BitBlt(dc, 2, 42, 4, 3, s.Colour->Dc(), 0, 0, SRCCOPY);
         BitBlt(dc, 10, 42, 3, 2, s.Colour->Dc(), 1, 1, SRCCOPY);
         StretchBlt(dc, 20, 42, 40, 30, s.Colour->Dc(), 0, 0, 4, 3, SRCCOPY);
         SetTextColor(dc, RGB(255, 0, 0));
         SetBkColor(dc, RGB(0, 0, 255));
         BitBlt(dc, 70, 42, 8, 8, s.Mono->Dc(), 0, 0, SRCCOPY);
         SelectObject(dc, GetStockObject(DKGRAY_BRUSH));
         PatBlt(dc, 2, 75, 30, 20, PATCOPY);
         const RECT fill{50, 75, 90, 85};
         FillRect(dc, &fill, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
         const DWORD pixels[] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00808080, 0x00FFFFFF, 0};
         TDibInfo info = DibInfo(32, 3, 2);
         StretchDIBits(dc, 5, 90, 30, 15, 0, 0, 3, 2, pixels, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                       SRCCOPY);
         SetDIBitsToDevice(dc, 50, 90, 3, 2, 0, 0, 0, 2, pixels, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
     }},
    // The clip and mapping of the enhanced drawings hold in the older records too.
    *std::find_if(std::begin(kDrawings), std::end(kDrawings),
                  [](const TDrawing& d) { return std::string(d.Name) == "clip and mapping"; }),
};

class TWmfRecorderPixels : public TEmfRecorderTest, public ::testing::WithParamInterface<TDrawing> {};

TEST_P(TWmfRecorderPixels, PlaysBackAsTheSameCallsDrawDirectly) {
    const TSources sources;
    auto direct = MakeWhiteSurface(kWidth, kHeight), played = MakeWhiteSurface(kWidth, kHeight);
    const int saved = SaveDC(direct->Dc());
    GetParam().Draw(direct->Dc(), sources);
    RestoreDC(direct->Dc(), saved);
    HDC dc = CreateMetaFileW(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetObjectType(dc), OBJ_METADC);
    GetParam().Draw(dc, sources);
    HMETAFILE metafile = CloseMetaFile(dc);
    ASSERT_NE(metafile, nullptr);
    const int before = SaveDC(played->Dc());
    EXPECT_TRUE(PlayMetaFile(played->Dc(), metafile));
    RestoreDC(played->Dc(), before);
    ExpectSamePicture(*played, *direct);
    DeleteMetaFile(metafile);
}

INSTANTIATE_TEST_SUITE_P(Drawings, TWmfRecorderPixels, ::testing::ValuesIn(kWindowsDrawings),
                         [](const auto& info) { return TestName(info.param.Name); });

TEST_F(TEmfRecorderTest, WindowsMetafilesTakeTheLowestFreeSlotAndRefuseWhatTheyCannotHold) {
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), blue = CreateSolidBrush(RGB(0, 0, 255));
    HPEN pen = CreatePen(PS_DOT, 1, RGB(0, 128, 0));
    HDC dc = CreateMetaFileW(nullptr);
    ASSERT_NE(dc, nullptr);
    SelectObject(dc, red);
    SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));  // no stock objects in the format: made like any
    DeleteObject(red);
    SelectObject(dc, blue);
    EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_METAFILE);
    EXPECT_FALSE(BeginPath(dc));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CloseEnhMetaFile(dc), nullptr);
    HMETAFILE metafile = CloseMetaFile(dc);
    ASSERT_NE(metafile, nullptr);
    std::vector<BYTE> bytes(GetMetaFileBitsEx(metafile, 0, nullptr));
    GetMetaFileBitsEx(metafile, UINT(bytes.size()), bytes.data());
    const auto word = [&](std::size_t at) { return WORD(bytes[at] | bytes[at + 1] << 8); };
    EXPECT_EQ(word(10), 3) << "the table's largest size";
    std::vector<std::pair<WORD, int>> records;  // function and first parameter
    for (std::size_t at = 18; at + 6 <= bytes.size();) {
        const std::size_t size = std::size_t(word(at) | word(at + 2) << 16) * 2;
        records.emplace_back(word(at + 4), size > 6 ? int(word(at + 6)) : -1);
        at += size;
    }
    const std::vector<std::pair<WORD, int>> expected = {
        {0x02FC, BS_SOLID}, {0x012D, 0}, {0x02FA, PS_DOT}, {0x012D, 1}, {0x02FC, BS_NULL},
        {0x012D, 2},        {0x01F0, 0}, {0x02FC, BS_SOLID}, {0x012D, 0}, {0x0000, -1}};
    EXPECT_EQ(records, expected);
    DeleteMetaFile(metafile);
    DeleteObject(blue);
    DeleteObject(pen);
    HDC enhanced = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(CloseMetaFile(enhanced), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    DeleteEnhMetaFile(CloseEnhMetaFile(enhanced));
    EXPECT_EQ(CreateMetaFileW(u"picture.wmf"), nullptr);
}

}  // namespace
