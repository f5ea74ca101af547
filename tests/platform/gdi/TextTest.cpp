#include "GdiTestSupport.h"
#include "platform/gdi/EnhMetaFile.h"

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace gdi;

namespace {

constexpr COLORREF kPaper = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(0, 0, 0);
constexpr COLORREF kBack = RGB(255, 0, 0);
constexpr const char* kDesignedFace = "ＭＳ Ｐゴシック";

// A memory context drawing on a top-down DIB section of the given depth, filled with paper.
// Indexed depths get a table of black, white and red.
class TTextSurface {
public:
    TTextSurface(int width, int height, int bpp = 32) : FWidth(width), FHeight(height) {
        std::vector<BYTE> memory(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        auto* info = reinterpret_cast<BITMAPINFO*>(memory.data());
        info->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, -height, 1, WORD(bpp), BI_RGB, 0, 0, 0, 0, 0};
        if (bpp <= 8) {
            info->bmiHeader.biClrUsed = bpp == 1 ? 2 : 3;
            info->bmiColors[0] = RGBQUAD{0, 0, 0, 0};
            info->bmiColors[1] = RGBQUAD{255, 255, 255, 0};
            if (bpp > 1)
                info->bmiColors[2] = RGBQUAD{0, 0, 255, 0};
        }
        void* bits = nullptr;
        FBitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
        FDc = CreateCompatibleDC(nullptr);
        FOld = SelectObject(FDc, FBitmap);
        Clear();
    }
    ~TTextSurface() {
        SelectObject(FDc, FOld);
        DeleteObject(FBitmap);
        DeleteDC(FDc);
    }
    HDC Dc() const { return FDc; }
    void Clear() {
        HBRUSH paper = CreateSolidBrush(kPaper);
        RECT all{0, 0, FWidth, FHeight};
        FillRect(FDc, &all, paper);
        DeleteObject(paper);
    }
    COLORREF At(int x, int y) const { return GetPixel(FDc, x, y); }
    std::vector<COLORREF> Pixels() const {
        std::vector<COLORREF> out;
        for (int y = 0; y < FHeight; ++y)
            for (int x = 0; x < FWidth; ++x)
                out.push_back(At(x, y));
        return out;
    }
    /// The box of pixels that are not paper; empty (right <= left) when there are none.
    RECT Inked() const {
        RECT box{FWidth, FHeight, 0, 0};
        for (int y = 0; y < FHeight; ++y)
            for (int x = 0; x < FWidth; ++x)
                if (At(x, y) != kPaper)
                    box = RECT{std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                               std::max<LONG>(box.bottom, y + 1)};
        return box;
    }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

private:
    int FWidth, FHeight;
    HBITMAP FBitmap = nullptr;
    HDC FDc = nullptr;
    HGDIOBJ FOld = nullptr;
};

HFONT MakeFont(const char* face, LONG height, BYTE charset = SHIFTJIS_CHARSET, LONG weight = FW_NORMAL) {
    LOGFONTA log{};
    log.lfHeight = height;
    log.lfWeight = weight;
    log.lfCharSet = charset;
    std::strncpy(log.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectA(&log);
}

class Text : public TGdiTest {
protected:
    void SetUp() override {
        TGdiTest::SetUp();
        FSurface = std::make_unique<TTextSurface>(120, 40);
        FFont = MakeFont(kDesignedFace, -12);
        FOldFont = SelectObject(FSurface->Dc(), FFont);
        SetTextColor(FSurface->Dc(), kInk);
        SetBkColor(FSurface->Dc(), kBack);
        SetBkMode(FSurface->Dc(), TRANSPARENT);
    }
    void TearDown() override {
        SelectObject(FSurface->Dc(), FOldFont);
        DeleteObject(FFont);
        FSurface.reset();
        TGdiTest::TearDown();
    }
    HDC Dc() const { return FSurface->Dc(); }
    SIZE Extent(const std::string& text) const {
        SIZE size{-1, -1};
        EXPECT_TRUE(GetTextExtentPoint32A(Dc(), text.data(), int(text.size()), &size));
        return size;
    }
    TEXTMETRICA Metrics() const {
        TEXTMETRICA metrics{};
        EXPECT_TRUE(GetTextMetricsA(Dc(), &metrics));
        return metrics;
    }
    void Write(int x, int y, const std::string& text) const {
        ASSERT_TRUE(TextOutA(Dc(), x, y, text.data(), int(text.size())));
    }

    std::unique_ptr<TTextSurface> FSurface;
    HFONT FFont = nullptr;
    HGDIOBJ FOldFont = nullptr;
};

TEST_F(Text, DesignedFaceResolvesToTheInstalledProportionalGothic) {
    char face[LF_FACESIZE] = {};
    EXPECT_GT(GetTextFaceA(Dc(), sizeof face, face), 0);
    EXPECT_STREQ(face, "IPAPGothic");
    EXPECT_EQ(GetTextFaceA(Dc(), 0, nullptr), int(std::strlen("IPAPGothic") + 1));
    // IPA P Gothic's win metrics span 1.076 em, so the 12-pixel em gets a 13-pixel cell.
    const TEXTMETRICA metrics = Metrics();
    EXPECT_EQ(metrics.tmHeight, 13);
    EXPECT_EQ(metrics.tmInternalLeading, 1);
    EXPECT_EQ(metrics.tmCharSet, SHIFTJIS_CHARSET);
    EXPECT_TRUE(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) << "a proportional face";
}

// A face nobody has installed, or no face at all, gets the platform's default by pitch and family,
// as its font mapper chooses; installed faces and other scripts' character sets are left alone.
TEST_F(Text, MissingFacesTakeThePlatformsDefaultFaces) {
    const struct {
        const char* Face;
        BYTE PitchAndFamily;
        BYTE Charset;
        const char* Expected;
    } cases[] = {
        {"Merry Christmas Flake", 0, ANSI_CHARSET, "Liberation Sans"},
        {"Merry Christmas Flake", FF_SWISS, DEFAULT_CHARSET, "Liberation Sans"},
        {"Merry Christmas Flake", FF_ROMAN, ANSI_CHARSET, "Liberation Serif"},
        {"Merry Christmas Flake", FF_MODERN | FIXED_PITCH, ANSI_CHARSET, "Liberation Mono"},
        {"", 0, ANSI_CHARSET, "Liberation Sans"},
        {"DejaVu Sans", FF_ROMAN, ANSI_CHARSET, "DejaVu Sans"},
        {"Merry Christmas Flake", 0, SHIFTJIS_CHARSET, nullptr},  // a Japanese face, not a Latin one
    };
    for (const auto& c : cases) {
        LOGFONTA log{};
        log.lfHeight = -12;
        log.lfCharSet = c.Charset;
        log.lfPitchAndFamily = c.PitchAndFamily;
        std::strncpy(log.lfFaceName, c.Face, LF_FACESIZE - 1);
        HFONT font = CreateFontIndirectA(&log);
        HGDIOBJ old = SelectObject(Dc(), font);
        char face[LF_FACESIZE] = {};
        EXPECT_GT(GetTextFaceA(Dc(), sizeof face, face), 0);
        if (c.Expected != nullptr)
            EXPECT_STREQ(face, c.Expected) << c.Face << " " << int(c.PitchAndFamily);
        else
            EXPECT_EQ(std::string(face).find("Liberation"), std::string::npos) << face;
        SelectObject(Dc(), old);
        DeleteObject(font);
    }
}

TEST_F(Text, ExtentIsTheSumOfTheCharactersAdvancesAndTheCellHeight) {
    const SIZE empty = Extent("");
    EXPECT_EQ(empty.cx, 0);
    EXPECT_EQ(empty.cy, Metrics().tmHeight);
    const SIZE a = Extent("a"), b = Extent("画");
    EXPECT_GT(a.cx, 0);
    EXPECT_EQ(Extent("a画").cx, a.cx + b.cx);
    EXPECT_LT(Extent("iii").cx, Extent("WWW").cx) << "a proportional face";
    // A byte that starts no valid sequence stands for one replacement character; the bytes past
    // the count are never read.
    const std::vector<char> cut{'a', '\xE3'};
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32A(Dc(), cut.data(), int(cut.size()), &size));
    EXPECT_EQ(size.cx, a.cx + Extent("\xEF\xBF\xBD").cx);
}

// lfHeight: negative is the em height, positive the cell height, zero a default.
class TextMetrics : public Text, public ::testing::WithParamInterface<std::tuple<const char*, LONG>> {};

TEST_P(TextMetrics, CellIsAscentPlusDescentAndMatchesTheRequest) {
    const auto [face, height] = GetParam();
    HFONT font = MakeFont(face, height, ANSI_CHARSET);
    SelectObject(Dc(), font);
    const TEXTMETRICA metrics = Metrics();
    EXPECT_EQ(metrics.tmHeight, metrics.tmAscent + metrics.tmDescent);
    EXPECT_GT(metrics.tmAscent, metrics.tmDescent);
    if (height > 0)
        EXPECT_EQ(metrics.tmHeight, height);
    else if (height < 0)
        EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, -height);
    else
        EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 12);
    EXPECT_GE(metrics.tmInternalLeading, 0);
    EXPECT_GE(metrics.tmExternalLeading, 0);
    EXPECT_GT(metrics.tmAveCharWidth, 0);
    EXPECT_GE(metrics.tmMaxCharWidth, metrics.tmAveCharWidth);
    EXPECT_EQ(Extent("x").cy, metrics.tmHeight);
    SelectObject(Dc(), FFont);
    DeleteObject(font);
}

INSTANTIATE_TEST_SUITE_P(Heights, TextMetrics,
                         ::testing::Combine(::testing::Values(kDesignedFace, "DejaVu Sans", "no such face"),
                                            ::testing::Values(LONG(-12), LONG(-30), LONG(16), LONG(0), LONG(7))));

TEST_F(Text, HostileSizesAreCappedAndAnEmptyFaceFindsTheDefault) {
    for (LONG height : {LONG(INT32_MIN), LONG(INT32_MAX), LONG(-100000)}) {
        LOGFONTA log{};
        log.lfHeight = height;
        log.lfWidth = height;
        HFONT font = CreateFontIndirectA(&log);
        SelectObject(Dc(), font);
        const TEXTMETRICA metrics = Metrics();
        EXPECT_GT(metrics.tmHeight, 0);
        EXPECT_LE(metrics.tmHeight, 3 * 1024) << height;
        Write(0, 0, "W");
        SelectObject(Dc(), FFont);
        DeleteObject(font);
    }
}

TEST_F(Text, TransparentTextInksOnlyInsideItsCellInTheTextColour) {
    const std::string text = "Hello 画像";
    Write(10, 5, text);
    const SIZE size = Extent(text);
    const RECT inked = FSurface->Inked();
    EXPECT_GE(inked.left, 10);
    EXPECT_GE(inked.top, 5);
    EXPECT_LE(inked.right, 10 + size.cx);
    EXPECT_LE(inked.bottom, 5 + size.cy);
    EXPECT_GT(inked.right - inked.left, size.cx / 2);
    int ink = 0, greys = 0;
    for (COLORREF pixel : FSurface->Pixels()) {
        ink += pixel == kInk;
        greys += pixel != kInk && pixel != kPaper;
        EXPECT_EQ(GetRValue(pixel), GetGValue(pixel)) << "only blends of black over white";
    }
    EXPECT_GT(ink, 20);
    EXPECT_EQ(greys, 0) << "the face's gasp table asks for no smoothing at 12 pixels to the em";
}

// Smoothing follows the face's gasp ranges at the em size in pixels, as on the platform with
// font smoothing on; NONANTIALIASED_QUALITY turns it off everywhere. The cases are what the
// platform draws with these faces.
TEST_F(Text, GlyphsAreSmoothedOnlyWhereTheFaceAsksForGrey) {
    struct TCase {
        const char* Face;
        LONG Height;
        BYTE Quality;
        bool Grey;
    };
    const TCase cases[] = {
        {"Arial", -8, DEFAULT_QUALITY, true},           {"Arial", -12, DEFAULT_QUALITY, false},
        {"Arial", 10, DEFAULT_QUALITY, false},          {"Arial", -20, DEFAULT_QUALITY, true},
        {"Arial", -20, NONANTIALIASED_QUALITY, false},  {"Arial", -20, CLEARTYPE_QUALITY, true},
        {"Tahoma", -6, ANTIALIASED_QUALITY, false},     {"Tahoma", -20, DEFAULT_QUALITY, true},
        {"Times New Roman", -10, DEFAULT_QUALITY, true}, {"Calibri", -12, DEFAULT_QUALITY, true},
    };
    TTextSurface surface(220, 40);
    SetBkMode(surface.Dc(), TRANSPARENT);
    for (const TCase& c : cases) {
        LOGFONTA log{};
        log.lfHeight = c.Height;
        log.lfQuality = c.Quality;
        std::strncpy(log.lfFaceName, c.Face, LF_FACESIZE - 1);
        HFONT font = CreateFontIndirectA(&log);
        HGDIOBJ old = SelectObject(surface.Dc(), font);
        surface.Clear();
        ASSERT_TRUE(TextOutA(surface.Dc(), 2, 2, "Hamburgefonstiv", 15));
        int ink = 0, greys = 0;
        for (COLORREF pixel : surface.Pixels()) {
            ink += pixel != kPaper;
            greys += pixel != kPaper && pixel != kInk;
        }
        EXPECT_GT(ink, 30) << c.Face << ' ' << c.Height;
        EXPECT_EQ(greys > 0, c.Grey) << c.Face << ' ' << c.Height << " quality " << int(c.Quality);
        SelectObject(surface.Dc(), old);
        DeleteObject(font);
    }
}

// Smoothed pixels take the platform's values: black on white only the greys of its ramp, and in
// colour the pixels it draws for the same glyphs (measured).
TEST_F(Text, SmoothedPixelsBlendAsThePlatformsDo) {
    TTextSurface surface(60, 30);
    HFONT font = MakeFont("Arial", -8, ANSI_CHARSET);
    HGDIOBJ old = SelectObject(surface.Dc(), font);
    SetBkMode(surface.Dc(), TRANSPARENT);
    SetTextColor(surface.Dc(), RGB(0, 0, 0));
    ASSERT_TRUE(TextOutA(surface.Dc(), 10, 10, "Hlo", 3));
    const std::set<BYTE> ramp = {0, 77, 104, 124, 140, 154, 167, 178, 189, 199, 208, 217, 225, 233, 240, 248, 255};
    std::set<BYTE> greys;
    for (COLORREF pixel : surface.Pixels()) {
        EXPECT_TRUE(GetRValue(pixel) == GetGValue(pixel) && GetGValue(pixel) == GetBValue(pixel));
        EXPECT_TRUE(ramp.count(GetRValue(pixel))) << int(GetRValue(pixel));
        greys.insert(GetRValue(pixel));
    }
    EXPECT_GE(greys.size(), 8u);
    struct TPixel {
        int X, Y;
        COLORREF Expected;
    };
    const struct {
        COLORREF Text, Under;
        std::vector<TPixel> Pixels;
    } cases[] = {
        {RGB(200, 50, 0), RGB(0, 128, 255),
         {{10, 11, RGB(0x78, 0x74, 0xd9)}, {14, 11, RGB(0xa3, 0x64, 0xa7)}, {11, 13, RGB(0xb6, 0x57, 0x7c)},
          {14, 13, RGB(0xbc, 0x51, 0x68)}, {17, 11, RGB(0x6d, 0x76, 0xe1)}}},
        {RGB(30, 200, 120), RGB(90, 20, 240),
         {{10, 11, RGB(0x50, 0x80, 0xdd)}, {11, 13, RGB(0x3b, 0xb8, 0xb1)}, {16, 11, RGB(0x4c, 0x92, 0xd5)},
          {21, 14, RGB(0x42, 0xad, 0xc0)}}},
    };
    for (const auto& c : cases) {
        HBRUSH under = CreateSolidBrush(c.Under);
        const RECT all{0, 0, 60, 30};
        FillRect(surface.Dc(), &all, under);
        DeleteObject(under);
        SetTextColor(surface.Dc(), c.Text);
        ASSERT_TRUE(TextOutA(surface.Dc(), 10, 10, "Hlo", 3));
        for (const TPixel& p : c.Pixels)
            EXPECT_EQ(surface.At(p.X, p.Y), p.Expected) << p.X << ',' << p.Y;
    }
    SelectObject(surface.Dc(), old);
    DeleteObject(font);
}

// Inside a path bracket text records its glyphs' outlines, closed curves where the glyphs lie;
// filling the path paints about what the text itself inks.
TEST_F(Text, TextInAPathRecordsTheGlyphOutlines) {
    SetTextAlign(Dc(), TA_TOP | TA_LEFT | TA_UPDATECP);
    MoveToEx(Dc(), 10, 5, nullptr);
    ASSERT_TRUE(BeginPath(Dc()));
    Write(0, 0, "Ob");
    ASSERT_TRUE(EndPath(Dc()));
    EXPECT_EQ(FSurface->Inked().right, 0) << "nothing is drawn while recording";
    POINT place{};
    GetCurrentPositionEx(Dc(), &place);
    EXPECT_EQ(place.x, 10 + Extent("Ob").cx) << "the current position moves on as for drawn text";
    const int count = GetPath(Dc(), nullptr, nullptr, 0);
    ASSERT_GT(count, 8);
    std::vector<POINT> points(std::size_t(count), POINT{});
    std::vector<BYTE> types(std::size_t(count), 0);
    GetPath(Dc(), points.data(), types.data(), count);
    int figures = 0, curves = 0;
    for (int i = 0; i < count; ++i) {
        figures += types[std::size_t(i)] == PT_MOVETO;
        curves += (types[std::size_t(i)] & ~PT_CLOSEFIGURE) == PT_BEZIERTO;
        if (i + 1 == count || types[std::size_t(i) + 1] == PT_MOVETO) {
            EXPECT_TRUE(types[std::size_t(i)] & PT_CLOSEFIGURE) << "figure ending at " << i << " is closed";
        }
    }
    EXPECT_GE(figures, 4) << "O and b have two contours each";
    EXPECT_GT(curves, 0);
    SelectObject(Dc(), GetStockObject(BLACK_BRUSH));
    ASSERT_TRUE(FillPath(Dc()));
    const std::vector<COLORREF> filled = FSurface->Pixels();
    FSurface->Clear();
    MoveToEx(Dc(), 10, 5, nullptr);
    Write(0, 0, "Ob");
    const std::vector<COLORREF> written = FSurface->Pixels();
    // The curves are flattened to within a pixel, so each side's ink must lie within a pixel of
    // the other's.
    const int width = FSurface->Width(), height = int(filled.size()) / width;
    const auto near = [&](const std::vector<COLORREF>& in, int x, int y, bool ink) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx, ny = y + dy;
                if (nx >= 0 && ny >= 0 && nx < width && ny < height &&
                    (ink ? in[std::size_t(ny * width + nx)] == kInk : in[std::size_t(ny * width + nx)] != kPaper))
                    return true;
            }
        return false;
    };
    int filledInk = 0, filledNearText = 0, textInk = 0, textNearFill = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y * width + x);
            if (filled[i] == kInk) {
                ++filledInk;
                filledNearText += near(written, x, y, false);
            }
            if (written[i] == kInk) {
                ++textInk;
                textNearFill += near(filled, x, y, true);
            }
        }
    EXPECT_GT(filledInk, 0);
    EXPECT_GT(filledNearText * 100, filledInk * 95) << "the filled outlines lie on the text's own ink";
    EXPECT_GT(textNearFill * 100, textInk * 95) << "and cover it";
}

TEST_F(Text, OpaqueModeFillsTheCellWithTheBackgroundColour) {
    SetBkMode(Dc(), OPAQUE);
    Write(10, 5, "Hi");
    const SIZE size = Extent("Hi");
    EXPECT_EQ(FSurface->At(10, 5), kBack);
    EXPECT_EQ(FSurface->At(10 + size.cx - 1, 5 + size.cy - 1), kBack);
    EXPECT_EQ(FSurface->At(9, 5), kPaper);
    EXPECT_EQ(FSurface->At(10 + size.cx, 5), kPaper);
    EXPECT_EQ(FSurface->At(10, 5 + size.cy), kPaper);
    const RECT inked = FSurface->Inked();
    EXPECT_EQ(inked.left, 10);
    EXPECT_EQ(inked.right, 10 + size.cx);
    EXPECT_EQ(inked.bottom - inked.top, size.cy);
}

// Each alignment puts the same pixels where the top-left alignment would at the shifted point.
struct TAlignCase {
    UINT Align;
    int ShiftX;  // in widths: 0, −1 (right) or −1/2 (centre, given as −2)
    int ShiftY;  // 0 top, 1 baseline (−ascent), 2 bottom (−height)
};

class TextAlign : public Text, public ::testing::WithParamInterface<TAlignCase> {};

TEST_P(TextAlign, MovesTheTextAsTopLeftAtTheShiftedPoint) {
    const TAlignCase c = GetParam();
    const std::string text = "Ag画";
    const SIZE size = Extent(text);
    const TEXTMETRICA metrics = Metrics();
    const int dx = c.ShiftX == 0 ? 0 : c.ShiftX == -1 ? -size.cx : -(size.cx / 2);
    const int dy = c.ShiftY == 0 ? 0 : c.ShiftY == 1 ? -metrics.tmAscent : -metrics.tmDescent - metrics.tmAscent;
    Write(40 + dx, 20 + dy, text);
    ASSERT_GT(FSurface->Inked().right, 0);
    const std::vector<COLORREF> expected = FSurface->Pixels();
    FSurface->Clear();
    EXPECT_EQ(SetTextAlign(Dc(), c.Align), TA_TOP | TA_LEFT);
    EXPECT_EQ(GetTextAlign(Dc()), c.Align);
    Write(40, 20, text);
    EXPECT_EQ(FSurface->Pixels(), expected);
}

INSTANTIATE_TEST_SUITE_P(Alignments, TextAlign,
                         ::testing::Values(TAlignCase{TA_RIGHT, -1, 0}, TAlignCase{TA_CENTER, -2, 0},
                                           TAlignCase{TA_BASELINE, 0, 1}, TAlignCase{TA_BOTTOM, 0, 2},
                                           TAlignCase{TA_RIGHT | TA_BOTTOM, -1, 2},
                                           TAlignCase{TA_CENTER | TA_BASELINE, -2, 1}));

TEST_F(Text, UpdatingTheCurrentPositionWritesFromItAndMovesItPastTheText) {
    SetTextAlign(Dc(), TA_UPDATECP);
    MoveToEx(Dc(), 7, 3, nullptr);
    Write(100, 100, "ab");
    POINT position{};
    GetCurrentPositionEx(Dc(), &position);
    EXPECT_EQ(position.x, 7 + Extent("ab").cx);
    EXPECT_EQ(position.y, 3);
    EXPECT_GE(FSurface->Inked().left, 7);
    EXPECT_LT(FSurface->Inked().left, 7 + Extent("a").cx);
}

TEST_F(Text, ExtTextOutFillsAndClipsToItsRectangle) {
    const RECT rect{12, 4, 20, 30};
    ASSERT_TRUE(ExtTextOutA(Dc(), 10, 5, ETO_OPAQUE | ETO_CLIPPED, &rect, "WWWW", 4, nullptr));
    for (int y = 0; y < FSurface->Height(); ++y)
        for (int x = 0; x < FSurface->Width(); ++x) {
            const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
            if (!inside) {
                ASSERT_EQ(FSurface->At(x, y), kPaper) << x << "," << y;
            }
        }
    EXPECT_EQ(FSurface->At(19, 29), kBack) << "the opaque rectangle is filled whatever the mode";
    // Without a string the call only fills.
    const RECT second{50, 0, 52, 2};
    ASSERT_TRUE(ExtTextOutA(Dc(), 0, 0, ETO_OPAQUE, &second, nullptr, 0, nullptr));
    EXPECT_EQ(FSurface->At(51, 1), kBack);
}

TEST_F(Text, CallerAdvancesPlaceEachCharacterByItsBytes) {
    Write(5, 5, "A");
    Write(25, 5, "画");
    Write(30, 5, "A");
    ASSERT_GT(FSurface->Inked().right, 30);
    const std::vector<COLORREF> expected = FSurface->Pixels();
    FSurface->Clear();
    // One entry per byte: "画" is three bytes whose entries add to its advance.
    const std::string text = "A画A";
    const INT dx[] = {20, 1, 2, 2, 0};
    ASSERT_TRUE(ExtTextOutA(Dc(), 5, 5, 0, nullptr, text.data(), UINT(text.size()), dx));
    EXPECT_EQ(FSurface->Pixels(), expected);
}

// Measured on the platform with "l l l l" in Arial 20 pixels high: each spacing moves the stems
// of the four l's by as much as it adds before them.
TEST_F(Text, SpacingWidensTextWrittenWithoutAdvances) {
    TTextSurface surface(220, 40);
    HFONT arial = MakeFont("Arial", -20, ANSI_CHARSET);
    HGDIOBJ old = SelectObject(surface.Dc(), arial);
    const WCHAR text[] = u"l l l l";
    const INT dx[] = {9, 9, 9, 9, 9, 9, 9};
    // Pixels are read in device terms, so a doubling of x holds only while drawing.
    const auto stems = [&](const INT* advances = nullptr, bool doubled = false) {
        surface.Clear();
        if (doubled) {
            SetMapMode(surface.Dc(), MM_ANISOTROPIC);
            SetViewportExtEx(surface.Dc(), 2, 1, nullptr);
        }
        EXPECT_TRUE(ExtTextOutW(surface.Dc(), 10, 10, 0, nullptr, text, 7, advances));
        SetMapMode(surface.Dc(), MM_TEXT);
        std::vector<int> starts;
        for (int x = 1; x < surface.Width(); ++x) {
            bool ink = false, before = false;
            for (int y = 0; y < surface.Height(); ++y) {
                ink = ink || surface.At(x, y) != kPaper;
                before = before || surface.At(x - 1, y) != kPaper;
            }
            if (ink && !before)
                starts.push_back(x);
        }
        return starts;
    };
    const auto width = [&] {
        SIZE size{};
        EXPECT_TRUE(GetTextExtentPoint32A(surface.Dc(), "l l l l", 7, &size));
        return size.cx;
    };
    const std::vector<int> plain = stems(), given = stems(dx);
    const auto shifted = [&plain](const std::vector<int>& by) {
        std::vector<int> moved = plain;
        for (std::size_t i = 0; i < moved.size() && i < by.size(); ++i)
            moved[i] += by[i];
        return moved;
    };
    const LONG plainWidth = width();
    ASSERT_EQ(plain.size(), 4u);
    std::vector<int> spaced;
    EXPECT_EQ(SetTextCharacterExtra(surface.Dc(), 5), 0);
    spaced = stems();
    EXPECT_EQ(spaced, shifted({0, 10, 20, 30}));
    EXPECT_EQ(width(), plainWidth + 35);
    EXPECT_EQ(stems(dx), given) << "advances give the distances themselves";
    EXPECT_EQ(SetTextCharacterExtra(surface.Dc(), 0), 5);
    // 10 over 3 breaks: 4, 3, 3, and the same again on the next call; 11 over a count of 2 gives
    // every break 5 and the first one more; a negative extra counts by its size.
    struct TCase {
        int Extra, Count;
        std::vector<int> By;
    };
    for (const TCase& c : {TCase{10, 3, {0, 4, 7, 10}}, TCase{11, 2, {0, 6, 11, 16}}, TCase{-7, 3, {0, 3, 5, 7}}}) {
        EXPECT_TRUE(SetTextJustification(surface.Dc(), c.Extra, c.Count));
        spaced = stems();
        EXPECT_EQ(spaced, shifted(c.By)) << c.Extra << " over " << c.Count;
        EXPECT_EQ(stems(), spaced);
        EXPECT_EQ(stems(dx), given);
    }
    EXPECT_TRUE(SetTextJustification(surface.Dc(), 10, 3));
    EXPECT_EQ(width(), plainWidth + 10);
    SetTextCharacterExtra(surface.Dc(), 4);
    spaced = stems();
    EXPECT_EQ(spaced, shifted({0, 12, 23, 34}));
    // Both are drawing state that SaveDC keeps; the calls fail as the platform's do.
    const int saved = SaveDC(surface.Dc());
    SetTextCharacterExtra(surface.Dc(), 9);
    SetTextJustification(surface.Dc(), 0, 0);
    RestoreDC(surface.Dc(), saved);
    EXPECT_EQ(GetTextCharacterExtra(surface.Dc()), 4);
    EXPECT_EQ(stems(), spaced);
    EXPECT_EQ(SetTextCharacterExtra(nullptr, 1), INT_MIN);
    EXPECT_EQ(GetTextCharacterExtra(nullptr), INT_MIN);
    EXPECT_FALSE(SetTextJustification(surface.Dc(), 5, -1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    // Scaled, the spacing is rounded to whole pixels for each character: 3 units at twice the
    // size are 6 pixels.
    SetTextJustification(surface.Dc(), 0, 0);
    SetTextCharacterExtra(surface.Dc(), 0);
    std::vector<int> expected = stems(nullptr, true);
    SetTextCharacterExtra(surface.Dc(), 3);
    for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] += 12 * int(i);
    EXPECT_EQ(stems(nullptr, true), expected);
    // Spacing a hostile metafile might set stays within reach: long runs of it sum without overflow.
    SetTextCharacterExtra(surface.Dc(), INT_MAX);
    SetTextJustification(surface.Dc(), INT_MIN, 1);
    SetMapMode(surface.Dc(), MM_ANISOTROPIC);
    SetViewportExtEx(surface.Dc(), 1000000, 1, nullptr);
    const std::u16string blanks(20000, u' ');
    EXPECT_TRUE(ExtTextOutW(surface.Dc(), 0, 0, 0, nullptr, blanks.data(), UINT(blanks.size()), nullptr));
    SIZE size{};
    EXPECT_TRUE(GetTextExtentPoint32A(surface.Dc(), std::string(20000, ' ').data(), 20000, &size));
    EXPECT_GT(size.cx, 0);
    SelectObject(surface.Dc(), old);
    DeleteObject(arial);
}

// Scaled, each character stands at its offset from the start, rounded once: six advances of 10
// units at a third of a pixel each put the last character at 50 units, 17 pixels, not at 15.
TEST_F(Text, ScaledCallerAdvancesKeepTheirSumWithoutDrift) {
    HFONT large = MakeFont(kDesignedFace, -36);
    SelectObject(Dc(), large);
    // Pixels are read and cleared in device terms, so the mapping holds only while drawing.
    const auto scaled = [this](int x, const char* text, const INT* dx) {
        FSurface->Clear();
        SetMapMode(Dc(), MM_ANISOTROPIC);
        SetWindowExtEx(Dc(), 3, 3, nullptr);
        SetViewportExtEx(Dc(), 1, 1, nullptr);
        EXPECT_TRUE(ExtTextOutA(Dc(), x, 15, 0, nullptr, text, UINT(std::strlen(text)), dx));
        SetMapMode(Dc(), MM_TEXT);
        return FSurface->Pixels();
    };
    const std::vector<COLORREF> expected = scaled(150, "I", nullptr);
    EXPECT_NEAR(FSurface->Inked().left, 51, 1) << "150 units are 50 pixels";
    const INT dx[] = {10, 10, 10, 10, 10, 10};
    EXPECT_EQ(scaled(100, "     I", dx), expected);
    SelectObject(Dc(), FFont);
    DeleteObject(large);
}

TEST_F(Text, UnderlineRunsTheWholeWidthBelowTheBaseline) {
    LOGFONTA log{};
    log.lfHeight = -12;
    log.lfUnderline = 1;
    std::strcpy(log.lfFaceName, kDesignedFace);
    HFONT underlined = CreateFontIndirectA(&log);
    SelectObject(Dc(), underlined);
    Write(10, 5, "a b");
    const SIZE size = Extent("a b");
    const TEXTMETRICA metrics = Metrics();
    EXPECT_TRUE(metrics.tmUnderlined);
    int line = -1;
    for (int y = 5 + metrics.tmAscent; y < 5 + size.cy && line < 0; ++y)
        if (FSurface->At(10, y) == kInk && FSurface->At(10 + size.cx - 1, y) == kInk)
            line = y;
    EXPECT_GE(line, 5 + metrics.tmAscent) << "no line under the text";
    SelectObject(Dc(), FFont);
    DeleteObject(underlined);
}

// Indexed surfaces have no colours between the text and the paper: coverage is thresholded.
class TextOnIndexed : public Text, public ::testing::WithParamInterface<int> {};

TEST_P(TextOnIndexed, TakesOnlyTheTextColourOrLeavesThePixel) {
    TTextSurface surface(60, 20, GetParam());
    HGDIOBJ old = SelectObject(surface.Dc(), FFont);
    SetBkMode(surface.Dc(), TRANSPARENT);
    SetTextColor(surface.Dc(), kInk);
    ASSERT_TRUE(TextOutA(surface.Dc(), 2, 2, "Mg画", int(std::strlen("Mg画"))));
    int ink = 0;
    for (COLORREF pixel : surface.Pixels()) {
        ASSERT_TRUE(pixel == kInk || pixel == kPaper) << std::hex << pixel;
        ink += pixel == kInk;
    }
    EXPECT_GT(ink, 15);
    SelectObject(surface.Dc(), old);
}

INSTANTIATE_TEST_SUITE_P(Depths, TextOnIndexed, ::testing::Values(1, 4, 8));

TEST_F(Text, MonochromeBitmapsTakeTheNearerOfBlackAndWhite) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP mono = CreateBitmap(40, 16, 1, 1, nullptr);
    HGDIOBJ oldBitmap = SelectObject(dc, mono);
    PatBlt(dc, 0, 0, 40, 16, WHITENESS);
    HGDIOBJ oldFont = SelectObject(dc, FFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(40, 40, 90));
    ASSERT_TRUE(TextOutA(dc, 1, 1, "Wx", 2));
    int black = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 40; ++x)
            black += GetPixel(dc, x, y) == kInk;
    EXPECT_GT(black, 10);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(mono);
    DeleteDC(dc);
}

TEST_F(Text, StockFontOfANewContextDrawsAtItsCellHeight) {
    TTextSurface surface(40, 20);
    TEXTMETRICA metrics{};
    ASSERT_TRUE(GetTextMetricsA(surface.Dc(), &metrics));
    EXPECT_EQ(metrics.tmHeight, 16) << "the system font asks for a 16-pixel cell";
    ASSERT_TRUE(TextOutA(surface.Dc(), 0, 0, "A", 1));
    EXPECT_GT(surface.Inked().right, 0);
}

TEST_F(Text, BadHandlesAndArgumentsFailWithTheirErrors) {
    HDC dead = CreateCompatibleDC(nullptr);
    DeleteDC(dead);
    HBRUSH brush = CreateSolidBrush(kInk);
    SIZE size{};
    TEXTMETRICA metrics{};
    for (HDC bad : {HDC(nullptr), dead, reinterpret_cast<HDC>(brush)}) {
        SetLastError(0);
        EXPECT_FALSE(TextOutA(bad, 0, 0, "a", 1));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(ExtTextOutA(bad, 0, 0, 0, nullptr, "a", 1, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(GetTextExtentPoint32A(bad, "a", 1, &size));
        EXPECT_FALSE(GetTextMetricsA(bad, &metrics));
        EXPECT_EQ(GetTextFaceA(bad, 0, nullptr), 0);
        EXPECT_EQ(SetTextAlign(bad, TA_RIGHT), GDI_ERROR);
        EXPECT_EQ(GetTextAlign(bad), GDI_ERROR);
    }
    DeleteObject(brush);
    SetLastError(0);
    EXPECT_FALSE(TextOutA(Dc(), 0, 0, "a", -1));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(TextOutA(Dc(), 0, 0, nullptr, 3));
    EXPECT_FALSE(GetTextExtentPoint32A(Dc(), "a", 1, nullptr));
    EXPECT_FALSE(GetTextExtentPoint32A(Dc(), "a", -2, &size));
    EXPECT_FALSE(GetTextMetricsA(Dc(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(FSurface->Inked().right, 0) << "a refused call draws nothing";
}

}  // namespace

namespace {

// Glyphs whose pen lies off the surface are not rendered unless their ink may reach it: text that
// runs in from every side, upright and turned, shows on a small surface exactly the pixels it
// shows on the middle of a large one.
TEST_F(Text, GlyphsRunningInFromOffTheSurfaceStillShowTheirInk) {
    for (const LONG escapement : {0, 900, 450}) {
        for (const POINT at : {POINT{-75, 2}, POINT{10, -70}, POINT{-20, 30}, POINT{30, -20}}) {
            LOGFONTA log{};
            log.lfHeight = -48;
            log.lfItalic = TRUE;
            log.lfEscapement = escapement;
            log.lfOrientation = escapement;
            std::strncpy(log.lfFaceName, kDesignedFace, LF_FACESIZE - 1);
            const auto draw = [&](TTextSurface& surface, int offset) {
                HGDIOBJ old = SelectObject(surface.Dc(), CreateFontIndirectA(&log));
                SetBkMode(surface.Dc(), TRANSPARENT);
                SetTextColor(surface.Dc(), kInk);
                const std::string text = "WjfQ";
                TextOutA(surface.Dc(), at.x + offset, at.y + offset, text.data(), int(text.size()));
                DeleteObject(SelectObject(surface.Dc(), old));
            };
            TTextSurface small(24, 24), large(224, 224);
            draw(small, 0);
            draw(large, 100);
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 24; ++x)
                    ASSERT_EQ(small.At(x, y), large.At(x + 100, y + 100))
                        << "escapement " << escapement << " from " << at.x << ", " << at.y << " at " << x << ", " << y;
        }
    }
}

}  // namespace

namespace {

// A huge glyph that only partly lands on the surface is rendered only as far as it shows (so a
// hostile file's thousand-pixel characters cost what a thumbnail holds); what shows must be the
// glyph as it looks whole, up to FreeType's rounding of a coverage level here and there.
TEST_F(Text, HugeGlyphsShowingInPartPaintWhatTheyPaintWhole) {
    constexpr int kPen = 500, kLarge = 1200, kSmall = 40;
    for (const LONG escapement : {0, 450, 2700}) {
        LOGFONTA log{};
        log.lfHeight = -500;
        log.lfEscapement = escapement;
        std::strncpy(log.lfFaceName, kDesignedFace, LF_FACESIZE - 1);
        const auto draw = [&](TTextSurface& surface, int x, int y) {
            HGDIOBJ old = SelectObject(surface.Dc(), CreateFontIndirectA(&log));
            SetBkMode(surface.Dc(), TRANSPARENT);
            SetTextColor(surface.Dc(), kInk);
            TextOutA(surface.Dc(), x, y, "g", 1);
            DeleteObject(SelectObject(surface.Dc(), old));
        };
        TTextSurface large(kLarge, kLarge);
        draw(large, kPen, kPen);
        ASSERT_EQ(large.At(0, 0), kPaper) << "the whole glyph lands on the large surface";
        // Windows of the large picture that cross the glyph's edges, each drawn again on a small
        // surface from the pen moved by the window's corner.
        int windows = 0;
        for (int wy = 0; wy + kSmall <= kLarge && windows < 4; wy += kSmall)
            for (int wx = 0; wx + kSmall <= kLarge && windows < 4; wx += kSmall) {
                int inked = 0;
                for (int y = 0; y < kSmall; y += 4)
                    for (int x = 0; x < kSmall; x += 4)
                        inked += large.At(wx + x, wy + y) != kPaper;
                if (inked < 20 || inked > 80)
                    continue;
                ++windows;
                TTextSurface small(kSmall, kSmall);
                draw(small, kPen - wx, kPen - wy);
                int same = 0;
                for (int y = 0; y < kSmall; ++y)
                    for (int x = 0; x < kSmall; ++x) {
                        const COLORREF part = small.At(x, y), whole = large.At(wx + x, wy + y);
                        same += part == whole;
                        for (const int shift : {0, 8, 16})
                            ASSERT_LE(std::abs(int((part >> shift) & 0xFF) - int((whole >> shift) & 0xFF)), 80)
                                << "escapement " << escapement << ", window " << wx << ", " << wy << " at " << x << ", " << y;
                    }
                EXPECT_GE(same, kSmall * kSmall * 98 / 100) << "escapement " << escapement << ", window " << wx << ", " << wy;
            }
        EXPECT_EQ(windows, 4) << "escapement " << escapement;
    }
}

}  // namespace
