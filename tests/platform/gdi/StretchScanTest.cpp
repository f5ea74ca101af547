// BLACKONWHITE and WHITEONBLACK shrink a box of source pixels into the AND or the OR of their
// values. The scan stops reading rows once the result can no longer change, so each case here
// puts the pixel that decides the result in the last row of the box, at every depth.
#include "BlitTestSupport.h"

#include <string>

using namespace gdi;
using namespace blittest;

namespace {

struct TScanCase {
    const char* Name;
    int Bpp;
    DWORD AndMiddle, AndLast, AndResult;  // over a box otherwise all ones
    DWORD OrMiddle, OrLast, OrResult;     // over a box otherwise all zeros
};

constexpr TScanCase kScanCases[] = {
    {"Bits1", 1, 1, 0, 0, 0, 1, 1},
    {"Bits4", 4, 0x3, 0x5, 0x1, 0x3, 0x5, 0x7},
    {"Bits8", 8, 0x33, 0x55, 0x11, 0x33, 0x55, 0x77},
    {"Bits16", 16, 0x3333, 0x5555, 0x1111, 0x3333, 0x5555, 0x7777},
    {"Bits24", 24, 0x333333, 0x555555, 0x111111, 0x333333, 0x555555, 0x777777},
    {"Bits32", 32, 0x33333333, 0x55555555, 0x11111111, 0x33333333, 0x55555555, 0x77777777},
};

std::unique_ptr<TSurface> MakeScanDib(int bpp, int width, int height) {
    std::vector<RGBQUAD> table;
    if (bpp <= 8)
        for (int i = 0; i < (1 << bpp); ++i)
            table.push_back(RGBQUAD{BYTE(i), BYTE(255 - i), BYTE(i / 2), 0});
    return MakeDib(bpp, width, -height, table);
}

class StretchScan : public TGdiTest, public ::testing::WithParamInterface<TScanCase> {};

TEST_P(StretchScan, TheLastRowOfTheBoxStillCounts) {
    const TScanCase& c = GetParam();
    const DWORD allOnes = c.Bpp == 32 ? 0xFFFFFFFFu : (1u << c.Bpp) - 1u;
    auto source = MakeScanDib(c.Bpp, 4, 3);
    auto dest = MakeScanDib(c.Bpp, 2, 1);

    source->FillRaw(allOnes);
    source->SetRaw(1, 1, c.AndMiddle);
    source->SetRaw(3, 2, c.AndLast);
    SetStretchBltMode(dest->Dc(), BLACKONWHITE);
    ASSERT_TRUE(StretchBlt(dest->Dc(), 0, 0, 1, 1, source->Dc(), 0, 0, 4, 3, SRCCOPY));

    source->FillRaw(0);
    source->SetRaw(1, 1, c.OrMiddle);
    source->SetRaw(3, 2, c.OrLast);
    SetStretchBltMode(dest->Dc(), WHITEONBLACK);
    ASSERT_TRUE(StretchBlt(dest->Dc(), 1, 0, 1, 1, source->Dc(), 0, 0, 4, 3, SRCCOPY));

    EXPECT_EQ(dest->Raw(0, 0), c.AndResult);
    EXPECT_EQ(dest->Raw(1, 0), c.OrResult);
}

// A box whose first row already settles the result gives that result, whatever follows.
TEST_P(StretchScan, AFirstRowThatSettlesTheResultDecidesIt) {
    const TScanCase& c = GetParam();
    const DWORD allOnes = c.Bpp == 32 ? 0xFFFFFFFFu : (1u << c.Bpp) - 1u;
    auto source = MakeScanDib(c.Bpp, 4, 3);
    auto dest = MakeScanDib(c.Bpp, 2, 1);
    dest->FillRaw(c.AndMiddle);

    source->FillRaw(c.AndMiddle);
    source->SetRaw(0, 0, 0);
    SetStretchBltMode(dest->Dc(), BLACKONWHITE);
    ASSERT_TRUE(StretchBlt(dest->Dc(), 0, 0, 1, 1, source->Dc(), 0, 0, 4, 3, SRCCOPY));

    source->FillRaw(c.OrMiddle);
    source->SetRaw(0, 0, allOnes);
    SetStretchBltMode(dest->Dc(), WHITEONBLACK);
    ASSERT_TRUE(StretchBlt(dest->Dc(), 1, 0, 1, 1, source->Dc(), 0, 0, 4, 3, SRCCOPY));

    EXPECT_EQ(dest->Raw(0, 0), 0u);
    EXPECT_EQ(dest->Raw(1, 0), allOnes);
}

INSTANTIATE_TEST_SUITE_P(Depths, StretchScan, ::testing::ValuesIn(kScanCases),
                         [](const ::testing::TestParamInfo<TScanCase>& info) { return std::string(info.param.Name); });

}  // namespace
