// BitBlt, PatBlt and MaskBlt: format conversion, the monochrome rules, clipping, row orders,
// overlapping copies, palette screens and the failure paths.
#include "BlitTestSupport.h"

#include <algorithm>
#include <string>

using namespace gdi;
using namespace blittest;

namespace {

using Blit = TGdiTest;

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

TEST_F(Blit, CopiesAcrossFormatsByColour) {
    auto source = MakeDib(24, 3, -1);
    source->SetRaw(0, 0, 0x0000FF);  // 24-bit values are blue, green, red from the low byte
    source->SetRaw(1, 0, 0x00FF00);
    source->SetRaw(2, 0, 0x123456);
    for (int bpp : {16, 32}) {
        auto dest = MakeDib(bpp, 3, -1);
        ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, 3, 1, source->Dc(), 0, 0, SRCCOPY));
        EXPECT_EQ(GetPixel(dest->Dc(), 0, 0), kBlue) << bpp;
        EXPECT_EQ(GetPixel(dest->Dc(), 1, 0), kGreen) << bpp;
    }
    auto dest = MakeDib(32, 3, -1);
    ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, 3, 1, source->Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(dest->Raw(2, 0), 0x123456u);
}

TEST_F(Blit, IndexedDestinationTakesTheNearestTableEntry) {
    auto source = MakeDib(32, 2, -1);
    source->SetRaw(0, 0, 0x00F01010);  // close to red
    source->SetRaw(1, 0, 0x00202020);  // close to black
    auto dest = MakeDib(4, 2, -1, {Quad(kBlack), Quad(kWhite), Quad(kRed), Quad(kGreen)});
    ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, 2, 1, source->Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(dest->Raw(0, 0), 2u);
    EXPECT_EQ(dest->Raw(1, 0), 0u);
}

TEST_F(Blit, ColourToMonochromeMarksTheSourceBackgroundColour) {
    auto source = MakeDib(32, 4, -1);
    source->SetRaw(0, 0, 0x00FF0000);  // red
    source->SetRaw(1, 0, 0x0000FF00);
    source->SetRaw(2, 0, 0xFFFF0000);  // red with a set spare byte is still red
    source->SetRaw(3, 0, 0x00FFFFFF);  // white is not the background here
    SetBkColor(source->Dc(), kRed);
    TSurface mono(CreateBitmap(4, 1, 1, 1, nullptr), nullptr);
    SetBkColor(mono.Dc(), kBlue);  // the destination's colours play no part
    SetTextColor(mono.Dc(), kWhite);

    ASSERT_TRUE(BitBlt(mono.Dc(), 0, 0, 4, 1, source->Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(MonoRow(mono, 0), (std::vector<int>{1, 0, 1, 0}));
}

TEST_F(Blit, MonochromeToColourUsesTheDestinationTextAndBackground) {
    const BYTE bits[2] = {0xA0, 0};  // 1 0 1 0
    TSurface mono(CreateBitmap(4, 1, 1, 1, bits), nullptr);
    SetTextColor(mono.Dc(), kRed);  // the source's colours play no part
    auto dest = MakeDib(32, 4, -1);
    SetTextColor(dest->Dc(), kBlue);
    SetBkColor(dest->Dc(), kGreen);

    ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, 4, 1, mono.Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(dest->Colours(), (std::vector<COLORREF>{kGreen, kBlue, kGreen, kBlue}));

    // A 1-bit DIB section is no monochrome bitmap: its own table gives the colours.
    auto table = MakeDib(1, 4, -1, {Quad(kRed), Quad(kWhite)});
    table->SetRaw(0, 0, 1);
    ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, 2, 1, table->Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(dest->Dc(), 0, 0), kWhite);
    EXPECT_EQ(GetPixel(dest->Dc(), 1, 0), kRed);
}

TEST_F(Blit, MonochromeToMonochromeCopiesBits) {
    const BYTE bits[2] = {0x90, 0};  // 1 0 0 1
    TSurface source(CreateBitmap(4, 1, 1, 1, bits), nullptr);
    TSurface dest(CreateBitmap(4, 1, 1, 1, nullptr), nullptr);
    SetBkColor(dest.Dc(), kBlack);
    SetTextColor(dest.Dc(), kWhite);
    ASSERT_TRUE(BitBlt(dest.Dc(), 0, 0, 4, 1, source.Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(MonoRow(dest, 0), (std::vector<int>{1, 0, 0, 1}));
}

enum class TKind { MonoDdb, Dib1, Dib4, Dib8, Dib16, Dib24, Dib32, Ddb32 };
const char* const kKindNames[] = {"MonoDdb", "Dib1", "Dib4", "Dib8", "Dib16", "Dib24", "Dib32", "Ddb32"};

std::unique_ptr<TSurface> MakeKind(TKind kind, int width, int height) {
    const std::vector<RGBQUAD> few = {Quad(kBlack), Quad(kWhite), Quad(kRed), Quad(kGreen), Quad(kBlue),
                                      Quad(RGB(128, 128, 128)), Quad(RGB(200, 100, 50))};
    switch (kind) {
    case TKind::MonoDdb: return MakeDdb(1, width, height);
    case TKind::Dib1: return MakeDib(1, width, height, {Quad(RGB(20, 20, 20)), Quad(RGB(200, 100, 50))});
    case TKind::Dib4: return MakeDib(4, width, height, few);
    case TKind::Dib8: {
        std::vector<RGBQUAD> table = few;
        for (int i = 0; i < 100; ++i)
            table.push_back(Quad(RGB(BYTE(i * 2), BYTE(255 - i), BYTE(i))));
        return MakeDib(8, width, -height, table);
    }
    case TKind::Dib16: return MakeDib(16, width, height);
    case TKind::Dib24: return MakeDib(24, width, -height);
    case TKind::Dib32: return MakeDib(32, width, height);
    case TKind::Ddb32: return MakeDdb(32, width, height);
    }
    return nullptr;
}

class BlitPaths : public TGdiTest, public ::testing::WithParamInterface<std::tuple<TKind, TKind>> {};

// A plain copy takes the short paths (whole rows, or a per-pixel conversion); NOTSRCCOPY followed
// by DSTINVERT gives the same values through the general span loop. Both must agree for every
// pair of formats, the monochrome rules included.
TEST_P(BlitPaths, PlainCopyAndGeneralLoopAgree) {
    const auto [from, to] = GetParam();
    const COLORREF colours[] = {kBlack, kWhite, kRed, kGreen, kBlue, RGB(10, 200, 30), RGB(128, 128, 128),
                                RGB(200, 100, 50)};
    auto source = MakeKind(from, 5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            SetPixel(source->Dc(), x, y, colours[(x + 3 * y) % 8]);
    SetBkColor(source->Dc(), GetPixel(source->Dc(), 2, 0));
    auto plain = MakeKind(to, 5, 3);
    auto general = MakeKind(to, 5, 3);
    for (HDC dc : {plain->Dc(), general->Dc()}) {
        SetTextColor(dc, kBlack);
        SetBkColor(dc, kWhite);
    }
    ASSERT_TRUE(BitBlt(plain->Dc(), 0, 0, 5, 3, source->Dc(), 0, 0, SRCCOPY));
    ASSERT_TRUE(BitBlt(general->Dc(), 0, 0, 5, 3, source->Dc(), 0, 0, NOTSRCCOPY));
    ASSERT_TRUE(PatBlt(general->Dc(), 0, 0, 5, 3, DSTINVERT));
    EXPECT_EQ(plain->Colours(), general->Colours());
    // The copy changed something: at least two different colours arrived.
    const auto colours2 = plain->Colours();
    EXPECT_NE(std::count(colours2.begin(), colours2.end(), colours2[0]), 15);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, BlitPaths,
    ::testing::Combine(::testing::Values(TKind::MonoDdb, TKind::Dib1, TKind::Dib4, TKind::Dib8, TKind::Dib16,
                                         TKind::Dib24, TKind::Dib32, TKind::Ddb32),
                       ::testing::Values(TKind::MonoDdb, TKind::Dib1, TKind::Dib4, TKind::Dib8, TKind::Dib16,
                                         TKind::Dib24, TKind::Dib32, TKind::Ddb32)),
    [](const ::testing::TestParamInfo<std::tuple<TKind, TKind>>& info) {
        return std::string(kKindNames[int(std::get<0>(info.param))]) + "To" +
               kKindNames[int(std::get<1>(info.param))];
    });

TEST_F(Blit, ClipsToBothBitmapsAndLeavesUncoveredPixels) {
    auto source = MakeDib(8, 4, -4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            source->SetRaw(x, y, DWORD(10 * y + x));
    auto dest = MakeDib(8, 4, -4);
    dest->FillRaw(99);
    // Destination starts left of its bitmap, source runs past its bottom edge.
    ASSERT_TRUE(BitBlt(dest->Dc(), -1, 1, 4, 4, source->Dc(), 0, 2, SRCCOPY));
    const DWORD expected[4][4] = {
        {99, 99, 99, 99},
        {21, 22, 23, 99},
        {31, 32, 33, 99},
        {99, 99, 99, 99},
    };
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(dest->Raw(x, y), expected[y][x]) << x << "," << y;
}

TEST_F(Blit, NegativeExtentsCountFromThePixelAtTheirStart) {
    auto source = MakeDib(8, 4, -1);
    for (int x = 0; x < 4; ++x)
        source->SetRaw(x, 0, DWORD(x + 1));
    auto dest = MakeDib(8, 4, -1);
    // Columns 2 and 3 of the destination take columns 1 and 2 of the source, unmirrored.
    ASSERT_TRUE(BitBlt(dest->Dc(), 3, 0, -2, 1, source->Dc(), 2, 0, SRCCOPY));
    EXPECT_EQ(dest->Raw(1, 0), 0u);
    EXPECT_EQ(dest->Raw(2, 0), 2u);
    EXPECT_EQ(dest->Raw(3, 0), 3u);
    // PatBlt has no image: its negative extent still ends before the corner.
    ASSERT_TRUE(PatBlt(dest->Dc(), 3, 0, -2, 1, BLACKNESS));
    EXPECT_EQ(dest->Raw(1, 0), 0u);
    EXPECT_EQ(dest->Raw(2, 0), 0u);
    EXPECT_EQ(dest->Raw(3, 0), 3u);
}

struct TRowOrderCase {
    int SourceHeight;  // negative: top-down
    int DestHeight;
};
class BlitRowOrder : public TGdiTest, public ::testing::WithParamInterface<TRowOrderCase> {};

TEST_P(BlitRowOrder, ImageRowsKeepTheirPlaceWhateverTheMemoryOrder) {
    auto source = MakeDib(32, 2, GetParam().SourceHeight);
    auto dest = MakeDib(32, 2, GetParam().DestHeight);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            source->SetRaw(x, y, DWORD(0x10 * y + x));
    ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, 2, 3, source->Dc(), 0, 0, SRCCOPY));
    ASSERT_TRUE(SetPixel(source->Dc(), 1, 2, RGB(1, 2, 3)) != CLR_INVALID);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(dest->Raw(x, y), DWORD(0x10 * y + x));
    EXPECT_EQ(source->Raw(1, 2), 0x00010203u) << "SetPixel wrote the wrong row";
    // The general path (an operation other than a plain copy) must agree.
    ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, 2, 3, source->Dc(), 0, 0, SRCINVERT));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(dest->Raw(x, y), y == 2 && x == 1 ? (0x00010203u ^ 0x21u) : 0u) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Orders, BlitRowOrder,
                         ::testing::Values(TRowOrderCase{3, 3}, TRowOrderCase{3, -3}, TRowOrderCase{-3, 3},
                                           TRowOrderCase{-3, -3}),
                         [](const ::testing::TestParamInfo<TRowOrderCase>& info) {
                             const auto order = [](int height) { return height < 0 ? "TopDown" : "BottomUp"; };
                             return std::string(order(info.param.SourceHeight)) + "To" + order(info.param.DestHeight);
                         });

class BlitOverlap : public TGdiTest, public ::testing::WithParamInterface<std::tuple<int, int, int, DWORD>> {};

TEST_P(BlitOverlap, CopyWithinOneBitmapReadsTheOriginalPixels) {
    const auto [bpp, dx, dy, rop] = GetParam();
    const DWORD mask = bpp == 32 ? 0xFFFFFFFFu : (1u << bpp) - 1;
    const auto original = [mask](int x, int y) { return DWORD((x * 7 + y * 13) * 37 % 251) & mask; };
    auto surface = MakeDib(bpp, 6, -6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            surface->SetRaw(x, y, original(x, y));
    ASSERT_TRUE(BitBlt(surface->Dc(), 1 + dx, 1 + dy, 4, 4, surface->Dc(), 1, 1, rop));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const DWORD value = original(1 + x, 1 + y);
            const DWORD expected = rop == SRCCOPY ? value : ~value & mask;
            EXPECT_EQ(surface->Raw(1 + dx + x, 1 + dy + y), expected) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Shifts, BlitOverlap,
                         ::testing::Combine(::testing::Values(1, 8, 32), ::testing::Values(-1, 0, 1),
                                            ::testing::Values(-1, 0, 1), ::testing::Values(SRCCOPY, NOTSRCCOPY)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int, int, DWORD>>& info) {
                             const auto step = [](int d, const char* less, const char* more) {
                                 return std::string(d < 0 ? less : d > 0 ? more : "");
                             };
                             const std::string shift = step(std::get<1>(info.param), "Left", "Right") +
                                                       step(std::get<2>(info.param), "Up", "Down");
                             return (shift.empty() ? std::string("InPlace") : shift) +
                                    (std::get<3>(info.param) == SRCCOPY ? "Copy" : "Inverted") +
                                    std::to_string(std::get<0>(info.param)) + "Bit";
                         });

TEST_F(Blit, PaletteScreenBitmapsTakeTheNearestSystemColour) {
    UseScreenDepth(8);
    auto ddb = MakeScreenBitmap(2, 1);
    auto source = MakeDib(32, 2, -1);
    source->SetRaw(0, 0, 0x00FA0505);  // near the static red
    source->SetRaw(1, 0, 0x00C0C0C0);  // the static light grey
    ASSERT_TRUE(BitBlt(ddb->Dc(), 0, 0, 2, 1, source->Dc(), 0, 0, SRCCOPY));
    BYTE indices[2] = {};
    ASSERT_EQ(GetBitmapBits(ddb->Bitmap(), 2, indices), 2);
    EXPECT_EQ(indices[0], 249);  // the fourth of the ten statics at the top of the palette
    EXPECT_EQ(indices[1], 7);
    EXPECT_EQ(GetPixel(ddb->Dc(), 0, 0), kRed);
    EXPECT_EQ(GetPixel(ddb->Dc(), 1, 0), RGB(192, 192, 192));
}

TEST_F(Blit, ScreenContextDrawsOnTheScreenSurface) {
    HDC screen = GetDC(nullptr);
    auto source = MakeDib(32, 1, 1);
    source->SetRaw(0, 0, 0x00102030);
    ASSERT_TRUE(BitBlt(screen, 5, 7, 1, 1, source->Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(screen, 5, 7), RGB(0x10, 0x20, 0x30));
    HDC other = GetDC(nullptr);
    EXPECT_EQ(GetPixel(other, 5, 7), RGB(0x10, 0x20, 0x30)) << "every screen context shares one surface";
    ReleaseDC(nullptr, other);
    ReleaseDC(nullptr, screen);
}

TEST_F(Blit, OperationsWithoutSourceAcceptAnySourceHandle) {
    auto dest = MakeDib(32, 2, -1);
    HDC stale = CreateCompatibleDC(nullptr);
    DeleteDC(stale);
    EXPECT_TRUE(BitBlt(dest->Dc(), 0, 0, 2, 1, nullptr, 0, 0, WHITENESS));
    EXPECT_EQ(dest->Raw(1, 0), 0xFFFFFFFFu);
    EXPECT_TRUE(BitBlt(dest->Dc(), 0, 0, 1, 1, stale, 0, 0, BLACKNESS));
    EXPECT_EQ(dest->Raw(0, 0), 0u);
    EXPECT_TRUE(BitBlt(dest->Dc(), 0, 0, 2, 1, nullptr, 0, 0, PATCOPY));  // the white stock brush
    EXPECT_EQ(dest->Raw(0, 0), 0x00FFFFFFu);
}

TEST_F(Blit, FailurePathsSetTheLastError) {
    auto dest = MakeDib(32, 2, 2);
    auto source = MakeDib(32, 2, 2);
    HDC stale = CreateCompatibleDC(nullptr);
    DeleteDC(stale);
    HBRUSH brush = CreateSolidBrush(kRed);

    const auto run = [](const char* name, auto call, DWORD error) {
        SetLastError(0);
        BOOL result = call();
        EXPECT_FALSE(result) << name;
        EXPECT_EQ(GetLastError(), error) << name;
    };
    run("stale destination", [&] { return BitBlt(stale, 0, 0, 1, 1, source->Dc(), 0, 0, SRCCOPY); },
        ERROR_INVALID_HANDLE);
    run("stale source", [&] { return BitBlt(dest->Dc(), 0, 0, 1, 1, stale, 0, 0, SRCCOPY); }, ERROR_INVALID_HANDLE);
    run("missing source", [&] { return BitBlt(dest->Dc(), 0, 0, 1, 1, nullptr, 0, 0, SRCAND); },
        ERROR_INVALID_HANDLE);
    run("brush as source", [&] { return BitBlt(dest->Dc(), 0, 0, 1, 1, HDC(brush), 0, 0, SRCCOPY); },
        ERROR_INVALID_HANDLE);
    run("empty source extent",
        [&] { return StretchBlt(dest->Dc(), 0, 0, 2, 2, source->Dc(), 0, 0, 0, 2, SRCCOPY); },
        ERROR_INVALID_PARAMETER);
    run("PatBlt with a source operation", [&] { return PatBlt(dest->Dc(), 0, 0, 1, 1, SRCCOPY); },
        ERROR_INVALID_PARAMETER);
    run("stale PatBlt context", [&] { return PatBlt(stale, 0, 0, 1, 1, PATCOPY); }, ERROR_INVALID_HANDLE);
    run("stale StretchBlt context",
        [&] { return StretchBlt(stale, 0, 0, 1, 1, source->Dc(), 0, 0, 1, 1, SRCCOPY); }, ERROR_INVALID_HANDLE);
    DeleteObject(brush);

    // An empty destination is no error: nothing is drawn.
    EXPECT_TRUE(BitBlt(dest->Dc(), 0, 0, 0, 5, source->Dc(), 0, 0, SRCCOPY));
}

using PatBltTest = TGdiTest;

TEST_F(PatBltTest, PaintsTheSelectedBrushWithTheOperation) {
    auto dest = MakeDib(32, 4, -1);
    dest->FillRaw(0x00112233);
    HBRUSH brush = CreateSolidBrush(RGB(0x0F, 0x0F, 0x0F));
    HGDIOBJ old = SelectObject(dest->Dc(), brush);
    ASSERT_TRUE(PatBlt(dest->Dc(), 0, 0, 1, 1, PATCOPY));
    ASSERT_TRUE(PatBlt(dest->Dc(), 1, 0, 1, 1, PATINVERT));
    ASSERT_TRUE(PatBlt(dest->Dc(), 2, 0, 1, 1, DSTINVERT));
    // A negative width covers the pixels left of x.
    ASSERT_TRUE(PatBlt(dest->Dc(), 4, 0, -1, 1, BLACKNESS));
    EXPECT_EQ(dest->Raw(0, 0), 0x000F0F0Fu);
    EXPECT_EQ(dest->Raw(1, 0), 0x00112233u ^ 0x000F0F0Fu);
    EXPECT_EQ(dest->Raw(2, 0), ~0x00112233u);
    EXPECT_EQ(dest->Raw(3, 0), 0u);
    SelectObject(dest->Dc(), old);
    DeleteObject(brush);
}

TEST_F(PatBltTest, NullBrushPaintsNothingButOperationsWithoutPatternStillRun) {
    auto dest = MakeDib(32, 2, -1);
    dest->FillRaw(0x00445566);
    HGDIOBJ old = SelectObject(dest->Dc(), GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(PatBlt(dest->Dc(), 0, 0, 2, 1, PATCOPY));
    EXPECT_EQ(dest->Raw(0, 0), 0x00445566u);
    EXPECT_TRUE(PatBlt(dest->Dc(), 0, 0, 1, 1, DSTINVERT));
    EXPECT_EQ(dest->Raw(0, 0), ~0x00445566u);
    EXPECT_EQ(dest->Raw(1, 0), 0x00445566u);
    SelectObject(dest->Dc(), old);
}

using MaskBltTest = TGdiTest;

TEST_F(MaskBltTest, ForegroundWhereTheMaskIsSetBackgroundElsewhere) {
    auto source = MakeDib(32, 4, -1);
    auto dest = MakeDib(32, 4, -1);
    source->FillRaw(0x00AAAAAA);
    dest->FillRaw(0x00555555);
    const BYTE maskBits[2] = {0x50, 0};  // 0 1 0 1 from column 1 on
    HBITMAP mask = CreateBitmap(6, 1, 1, 1, maskBits);
    // 0xCCAA0029 is MAKEROP4(destination unchanged, SRCCOPY): the source shows through where
    // the mask is 0.
    ASSERT_TRUE(MaskBlt(dest->Dc(), 0, 0, 4, 1, source->Dc(), 0, 0, mask, 1, 0, 0xCCAA0029));
    EXPECT_EQ(dest->Raw(0, 0), 0x00555555u);
    EXPECT_EQ(dest->Raw(1, 0), 0x00AAAAAAu);
    EXPECT_EQ(dest->Raw(2, 0), 0x00555555u);
    EXPECT_EQ(dest->Raw(3, 0), 0x00AAAAAAu);

    // The same mask may be selected into a context at the time.
    TSurface selected(mask, nullptr);
    dest->FillRaw(0);
    ASSERT_TRUE(MaskBlt(dest->Dc(), 0, 0, 4, 1, nullptr, 0, 0, selected.Bitmap(), 0, 0,
                        MAKEROP4(WHITENESS, BLACKNESS)));
    EXPECT_EQ(dest->Raw(1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(dest->Raw(2, 0), 0u);
}

TEST_F(MaskBltTest, WithoutMaskBehavesAsBitBltWithTheForeground) {
    auto source = MakeDib(32, 1, 1);
    auto dest = MakeDib(32, 1, 1);
    source->SetRaw(0, 0, 0x00ABCDEF);
    ASSERT_TRUE(MaskBlt(dest->Dc(), 0, 0, 1, 1, source->Dc(), 0, 0, nullptr, 0, 0, MAKEROP4(SRCCOPY, BLACKNESS)));
    EXPECT_EQ(dest->Raw(0, 0), 0x00ABCDEFu);
}

TEST_F(MaskBltTest, RefusesMasksThatAreNotOneBitOrTooSmall) {
    auto source = MakeDib(32, 4, 4);
    auto dest = MakeDib(32, 4, 4);
    HBITMAP colour = CreateBitmap(4, 4, 1, 8, nullptr);
    HBITMAP small = CreateBitmap(2, 2, 1, 1, nullptr);
    SetLastError(0);
    EXPECT_FALSE(MaskBlt(dest->Dc(), 0, 0, 4, 4, source->Dc(), 0, 0, colour, 0, 0, 0xCCAA0029));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_FALSE(MaskBlt(dest->Dc(), 0, 0, 4, 4, source->Dc(), 0, 0, small, 0, 0, 0xCCAA0029));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_FALSE(MaskBlt(dest->Dc(), 0, 0, 2, 2, source->Dc(), 0, 0, small, 1, 0, 0xCCAA0029));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    DeleteObject(small);
    SetLastError(0);
    EXPECT_FALSE(MaskBlt(dest->Dc(), 0, 0, 2, 2, source->Dc(), 0, 0, small, 0, 0, 0xCCAA0029));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DeleteObject(colour);

    // A one-bit DIB section is a valid mask: its raw bits decide.
    auto section = MakeDib(1, 4, 4, {Quad(kWhite), Quad(kBlack)});
    section->SetRaw(3, 3, 1);
    dest->FillRaw(0);
    source->FillRaw(0x00010101);
    ASSERT_TRUE(MaskBlt(dest->Dc(), 0, 0, 4, 4, source->Dc(), 0, 0, section->Bitmap(), 0, 0, 0xCCAA0029));
    EXPECT_EQ(dest->Raw(3, 3), 0u);
    EXPECT_EQ(dest->Raw(2, 3), 0x00010101u);
}

using PixelTest = TGdiTest;

TEST_F(PixelTest, SetPixelWritesTheNearestColourAndReportsIt) {
    auto dest = MakeDib(4, 2, 1, {Quad(kBlack), Quad(RGB(200, 0, 0))});
    EXPECT_EQ(SetPixel(dest->Dc(), 1, 0, RGB(250, 10, 10)), RGB(200, 0, 0));
    EXPECT_EQ(dest->Raw(1, 0), 1u);
    EXPECT_EQ(GetPixel(dest->Dc(), 1, 0), RGB(200, 0, 0));
    // PALETTERGB is an ordinary colour once its flag is dropped.
    EXPECT_EQ(SetPixel(dest->Dc(), 0, 0, PALETTERGB(10, 10, 10)), kBlack);

    TSurface mono(CreateBitmap(2, 1, 1, 1, nullptr), nullptr);
    EXPECT_EQ(SetPixel(mono.Dc(), 0, 0, RGB(200, 200, 200)), kWhite);
    EXPECT_EQ(GetPixel(mono.Dc(), 0, 0), kWhite);
    EXPECT_EQ(GetPixel(mono.Dc(), 1, 0), kBlack);
}

TEST_F(PixelTest, OutsideTheBitmapOrBadHandleIsInvalid) {
    auto dest = MakeDib(32, 2, 2);
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}}) {
        SetLastError(0);
        EXPECT_EQ(GetPixel(dest->Dc(), x, y), CLR_INVALID);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(SetPixel(dest->Dc(), x, y, kRed), CLR_INVALID);
    }
    HDC stale = CreateCompatibleDC(nullptr);
    DeleteDC(stale);
    SetLastError(0);
    EXPECT_EQ(GetPixel(stale, 0, 0), CLR_INVALID);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_EQ(SetPixel(stale, 0, 0, kRed), CLR_INVALID);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
