// Every ternary raster operation against its truth table. With pattern bits 11110000, source bits
// 11001100 and destination bits 10101010 the eight bit positions hold the eight (P, S, D)
// combinations in the order of the index, so the result must be the index itself.
#include "BlitTestSupport.h"

#include "platform/gdi/RasterOp.h"

#include <string>

using namespace gdi;
using namespace blittest;

namespace {

constexpr DWORD RopOf(unsigned index) { return DWORD(index) << 16; }

class RasterOp : public TGdiTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(RasterOp, ThirtyTwoBitValuesFollowTheTruthTable) {
    const unsigned index = GetParam();
    auto source = MakeDib(32, 3, -1);
    auto dest = MakeDib(32, 3, -1);
    source->FillRaw(0x00CCCCCC);
    dest->FillRaw(0x00AAAAAA);
    HBRUSH brush = CreateSolidBrush(RGB(0xF0, 0xF0, 0xF0));
    HGDIOBJ old = SelectObject(dest->Dc(), brush);

    ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, 2, 1, source->Dc(), 0, 0, RopOf(index)));
    // The spare top byte is 0 in all three operands, so it holds the table's first entry.
    const DWORD expected = DWORD(index) * 0x010101u | ((index & 1u) ? 0xFF000000u : 0u);
    EXPECT_EQ(dest->Raw(0, 0), expected);
    EXPECT_EQ(dest->Raw(1, 0), expected);
    EXPECT_EQ(dest->Raw(2, 0), 0x00AAAAAAu) << "the pixel right of the rectangle changed";

    SelectObject(dest->Dc(), old);
    DeleteObject(brush);
}

TEST_P(RasterOp, MonochromeBitsFollowTheTruthTable) {
    const unsigned index = GetParam();
    // Pixel x holds the combination 7 − x, so the row's byte reads as the index.
    const BYTE patternBits[2] = {0xF0, 0}, sourceBits[2] = {0xCC, 0}, destBits[2] = {0xAA, 0};
    HBITMAP patternBitmap = CreateBitmap(8, 1, 1, 1, patternBits);
    HBRUSH brush = CreatePatternBrush(patternBitmap);
    DeleteObject(patternBitmap);
    TSurface source(CreateBitmap(8, 1, 1, 1, sourceBits), nullptr);
    TSurface dest(CreateBitmap(8, 1, 1, 1, destBits), nullptr);
    HGDIOBJ old = SelectObject(dest.Dc(), brush);

    ASSERT_TRUE(BitBlt(dest.Dc(), 0, 0, 8, 1, source.Dc(), 0, 0, RopOf(index)));
    BYTE result[2] = {};
    ASSERT_EQ(GetBitmapBits(dest.Bitmap(), 2, result), 2);
    EXPECT_EQ(result[0], index);

    SelectObject(dest.Dc(), old);
    DeleteObject(brush);
}

TEST_P(RasterOp, EightBitIndicesFollowTheTruthTable) {
    const unsigned index = GetParam();
    // A grey ramp, so that every index is its own colour and the brush finds index 0xF0.
    std::vector<RGBQUAD> ramp(256);
    for (int i = 0; i < 256; ++i)
        ramp[std::size_t(i)] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    auto source = MakeDib(8, 1, 1, ramp);
    auto dest = MakeDib(8, 1, 1, ramp);
    source->SetRaw(0, 0, 0xCC);
    dest->SetRaw(0, 0, 0xAA);
    HBRUSH brush = CreateSolidBrush(RGB(0xF0, 0xF0, 0xF0));
    HGDIOBJ old = SelectObject(dest->Dc(), brush);

    ASSERT_TRUE(BitBlt(dest->Dc(), 0, 0, 1, 1, source->Dc(), 0, 0, RopOf(index)));
    EXPECT_EQ(dest->Raw(0, 0), index);

    SelectObject(dest->Dc(), old);
    DeleteObject(brush);
}

INSTANTIATE_TEST_SUITE_P(AllCodes, RasterOp, ::testing::Range(0u, 256u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                             static const char kHex[] = "0123456789ABCDEF";
                             return std::string("Index") + kHex[info.param >> 4] + kHex[info.param & 15];
                         });

TEST(RasterOpOperands, NamedCodesUseTheirDocumentedOperands) {
    using namespace gdi::detail;
    struct TCase { DWORD Rop; bool Source, Pattern, Dest; };
    const TCase cases[] = {
        {SRCCOPY, true, false, false},   {SRCPAINT, true, false, true},  {SRCAND, true, false, true},
        {SRCINVERT, true, false, true},  {SRCERASE, true, false, true},  {NOTSRCCOPY, true, false, false},
        {NOTSRCERASE, true, false, true}, {MERGECOPY, true, true, false}, {MERGEPAINT, true, false, true},
        {PATCOPY, false, true, false},   {PATPAINT, true, true, true},   {PATINVERT, false, true, true},
        {DSTINVERT, false, false, true}, {BLACKNESS, false, false, false}, {WHITENESS, false, false, false},
    };
    for (const TCase& c : cases) {
        const unsigned index = RopIndex(c.Rop);
        EXPECT_EQ(RopUsesSource(index), c.Source) << std::hex << c.Rop;
        EXPECT_EQ(RopUsesPattern(index), c.Pattern) << std::hex << c.Rop;
        EXPECT_EQ(RopUsesDest(index), c.Dest) << std::hex << c.Rop;
    }
}

}  // namespace
