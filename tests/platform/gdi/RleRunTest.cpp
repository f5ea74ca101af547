// Encoded RLE8 runs are written eight bytes at a time with single bytes for the rest. Every run
// length from 1 to 255 is decoded here at several starting columns, in rows that stop short of
// the run, exactly at its end and beyond it, so each mix of whole and partial steps is checked
// against the bytes it must produce and the bytes around it that it must leave alone.
#include "platform/gdi/Rle.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace gdi;

namespace {

constexpr BYTE kRunValue = 0xC7;
constexpr BYTE kGuard = 0x5E;

struct TRunCase {
    std::size_t Start;    // column the run starts at, reached with a delta escape
    std::size_t Columns;  // width of the decoded rows
};

class RleRun : public ::testing::TestWithParam<TRunCase> {};

TEST_P(RleRun, EveryLengthFillsItsColumnsAndNothingElse) {
    const TRunCase c = GetParam();
    for (unsigned length = 1; length <= 255; ++length) {
        // Delta to the start column (if any), the run, then a second row of one pixel.
        std::vector<BYTE> stream;
        if (c.Start > 0)
            stream.insert(stream.end(), {0, 2, BYTE(c.Start), 0});
        stream.insert(stream.end(), {BYTE(length), kRunValue, 0, 0, 1, 0x11, 0, 1});
        // One guard row above the two decoded ones catches a write past the last column.
        const std::size_t rows = 2;
        std::vector<BYTE> out(c.Columns * (rows + 1), kGuard);
        std::fill(out.begin(), out.begin() + std::ptrdiff_t(c.Columns * rows), BYTE(0));
        auto bytes = std::make_unique<BYTE[]>(stream.size());
        std::copy(stream.begin(), stream.end(), bytes.get());
        detail::DecodeRle(BI_RLE8, bytes.get(), stream.size(), out.data(), c.Columns, rows);

        for (std::size_t x = 0; x < c.Columns; ++x) {
            const bool inRun = x >= c.Start && x < c.Start + length;
            ASSERT_EQ(out[x], inRun ? kRunValue : 0) << "length " << length << ", column " << x;
        }
        ASSERT_EQ(out[c.Columns], 0x11) << "length " << length << ": the next line starts at column 0";
        for (std::size_t x = 1; x < c.Columns; ++x)
            ASSERT_EQ(out[c.Columns + x], 0) << "length " << length << ", second row column " << x;
        for (std::size_t x = 0; x < c.Columns; ++x)
            ASSERT_EQ(out[c.Columns * rows + x], kGuard) << "length " << length << ", guard column " << x;
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, RleRun,
                         ::testing::Values(TRunCase{0, 300}, TRunCase{3, 300}, TRunCase{0, 13}, TRunCase{5, 13},
                                           TRunCase{7, 16}, TRunCase{9, 20}),
                         [](const ::testing::TestParamInfo<TRunCase>& info) {
                             return "At" + std::to_string(info.param.Start) + "Of" + std::to_string(info.param.Columns);
                         });

}  // namespace
