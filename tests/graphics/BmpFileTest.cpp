#include "GraphicsTestSupport.h"

#include "platform/base/Messages.h"

#include <gmock/gmock.h>

using namespace graphics;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

const std::string kInvalidBitmap = "ビットマップイメージが不正です";

void Load(TBitmap& bitmap, const std::vector<std::uint8_t>& bytes) {
    TMemoryStream stream(bytes);
    bitmap.LoadFromStream(stream);
}

std::vector<std::uint8_t> Save(TBitmap& bitmap) {
    TMemoryStream stream;
    bitmap.SaveToStream(stream);
    return stream.Bytes();
}

// A 2 × 2 8-bit image: indices 0 1 / 2 3 from the top, rows padded to 4 bytes, stored bottom-up.
TBmpBuilder Pal8Square() {
    return TBmpBuilder(2, 2, 8)
        .ColorsUsed(4)
        .Colors({0x000000, 0xFF0000, 0x00FF00, 0x0000FF})
        .Pixels({2, 3, 0, 0, 0, 1, 0, 0});
}

}  // namespace

using BmpFile = TGraphicsTest;

TEST_F(BmpFile, ReadsAnIndexedImageBottomUp) {
    TBitmap bitmap;
    Load(bitmap, Pal8Square().Bytes());
    EXPECT_EQ(bitmap.Width(), 2);
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(bitmap.PixelFormat(), px8Bit);
    EXPECT_EQ(ReadPixels(bitmap), (std::vector<std::uint32_t>{0x000000, 0xFF0000, 0x00FF00, 0x0000FF}));
    EXPECT_NE(bitmap.GetPalette(), nullptr);
}

TEST_F(BmpFile, ZeroLengthStreamGivesAnEmptyBitmapWithoutAChange) {
    TBitmap bitmap;
    Load(bitmap, Pal8Square().Bytes());
    int changes = 0;
    bitmap.OnChange = [&](TPersistent*) { ++changes; };
    Load(bitmap, {});
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(changes, 0);
}

TEST_F(BmpFile, RefusesWhatIsNotABitmap) {
    auto wrongType = Pal8Square().Bytes();
    wrongType[0] = 'X';
    auto twoPlanes = Pal8Square().Planes(2).Bytes();
    auto hugeHeader = Pal8Square().HeaderSize(0x7FFFFFF0).Bytes();
    auto tinyHeader = Pal8Square().HeaderSize(8).Bytes();
    for (const auto& bytes : {wrongType, twoPlanes, hugeHeader, tinyHeader}) {
        TBitmap bitmap;
        Load(bitmap, Pal8Square().Bytes());
        EXPECT_THAT([&] { Load(bitmap, bytes); }, ThrowsMessage<EInvalidGraphic>(StrEq(kInvalidBitmap)));
        EXPECT_EQ(bitmap.Width(), 2) << "a failed read keeps the previous image";
    }
    // Shorter than the file header, the colour table or the masks: the stream's read error.
    auto shortTable = Pal8Square().Bytes();
    shortTable.resize(14 + 40 + 6);
    TBitmap bitmap;
    EXPECT_THROW(Load(bitmap, {'B', 'M', 0}), EReadError);
    EXPECT_THROW(Load(bitmap, shortTable), EReadError);
}

TEST_F(BmpFile, DefaultColourCountsAndCoreHeaders) {
    // 8 bits with colours-used 0 reads 256 entries before the pixels.
    std::vector<std::uint32_t> table(256);
    for (int i = 0; i < 256; ++i)
        table[std::size_t(i)] = std::uint32_t(i) * 0x010101u;
    TBitmap full;
    Load(full, TBmpBuilder(1, 1, 8).Colors(table).Pixels({200, 0, 0, 0}).Bytes());
    EXPECT_EQ(ReadPixels(full)[0], 0xC8C8C8u);

    // 1 bit with colours-used 0 reads 2.
    TBitmap mono;
    Load(mono, TBmpBuilder(8, 1, 1).Colors({0x112233, 0x445566}).Pixels({0x80, 0, 0, 0}).Bytes());
    EXPECT_EQ(ReadPixels(mono)[0], 0x445566u);
    EXPECT_EQ(ReadPixels(mono)[1], 0x112233u);

    // A core header reads three-byte entries and is written back in its own form.
    TBitmap core;
    auto coreBytes = TBmpBuilder(2, 1, 1).HeaderSize(12).Colors({0x0000FF, 0xFFFFFF}).Pixels({0x40, 0, 0, 0}).Bytes();
    Load(core, coreBytes);
    EXPECT_EQ(ReadPixels(core), (std::vector<std::uint32_t>{0x0000FF, 0xFFFFFF}));
    auto saved = Save(core);
    EXPECT_EQ(saved, coreBytes);
}

TEST_F(BmpFile, BitFieldMasksSitBehindA40ByteHeaderOnly) {
    // 16-bit 565: one red pixel.
    std::vector<std::uint8_t> pixel = {0x00, 0xF8, 0, 0};
    TBitmap behind;
    Load(behind, TBmpBuilder(1, 1, 16).Compression(3).Masks(0xF800, 0x07E0, 0x001F).Pixels(pixel).Bytes());
    EXPECT_EQ(behind.PixelFormat(), px16Bit);
    EXPECT_EQ(ReadPixels(behind)[0], 0xFF0000u);

    TBitmap inside;
    Load(inside, TBmpBuilder(1, 1, 16).HeaderSize(124).Compression(3).Masks(0xF800, 0x07E0, 0x001F).Pixels(pixel).Bytes());
    EXPECT_EQ(ReadPixels(inside)[0], 0xFF0000u);
}

TEST_F(BmpFile, ShortAndOverlongPixelDataAreHandledSafely) {
    // Half the pixels present: the rest stays zero (colour 0), no error.
    TBitmap half;
    Load(half, Pal8Square().Pixels({2, 3, 0, 0}).Bytes());
    EXPECT_EQ(ReadPixels(half), (std::vector<std::uint32_t>{0x000000, 0x000000, 0x00FF00, 0x0000FF}));

    // An image size far beyond the section: only the section's bytes are read.
    auto bytes = Pal8Square().ImageSize(0x7FFFFFFF).Bytes();
    bytes.resize(bytes.size() + 4096, 1);
    TBitmap overlong;
    Load(overlong, bytes);
    EXPECT_EQ(overlong.Width(), 2);
}

TEST_F(BmpFile, OversizedColourCountsAreCutTo256) {
    std::vector<std::uint32_t> table(300, 0x0000FF);
    table[5] = 0xABCDEF;
    TBitmap bitmap;
    Load(bitmap, TBmpBuilder(1, 1, 8).ColorsUsed(300).Colors(table).Pixels({5, 0, 0, 0}).Bytes());
    EXPECT_EQ(ReadPixels(bitmap)[0], 0xABCDEFu) << "the pixels are still found behind the whole table";
}

TEST_F(BmpFile, HostileSizesFailCleanly) {
    gdi::SetBitmapStorageCap(1 << 20);
    for (auto builder : {TBmpBuilder(4000, 4000, 32), TBmpBuilder(-5, 2, 24), TBmpBuilder(0, 2, 24),
                         TBmpBuilder(2, int(0x80000000u), 24), TBmpBuilder(0x7FFFFFFF, 0x7FFFFFFF, 32)}) {
        TBitmap bitmap;
        EXPECT_THROW(Load(bitmap, builder.Pixels({1, 2, 3, 4}).Bytes()), Exception);
        EXPECT_TRUE(bitmap.Empty());
    }
}

TEST_F(BmpFile, TopDownFilesKeepTheirRowOrder) {
    TBitmap bitmap;
    Load(bitmap, TBmpBuilder(2, -2, 8).ColorsUsed(4).Colors({0x000000, 0xFF0000, 0x00FF00, 0x0000FF}).Pixels({0, 1, 0, 0, 2, 3, 0, 0}).Bytes());
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(ReadPixels(bitmap), (std::vector<std::uint32_t>{0x000000, 0xFF0000, 0x00FF00, 0x0000FF}));
    auto* row0 = static_cast<std::uint8_t*>(bitmap.ScanLine(0));
    auto* row1 = static_cast<std::uint8_t*>(bitmap.ScanLine(1));
    EXPECT_EQ(row1 - row0, 4) << "scan line 0 is the first row in memory";
    EXPECT_EQ(row0[1], 1);
}

TEST_F(BmpFile, RunLengthFilesAreSavedBackByteForByte) {
    // 4 × 2, RLE8: bottom row "run of 4 × index 1", top row "absolute 2 3 0 1", end of bitmap.
    auto bytes = TBmpBuilder(4, 2, 8)
                     .Compression(1)
                     .ColorsUsed(4)
                     .Colors({0x000000, 0xFF0000, 0x00FF00, 0x0000FF})
                     .ImageSize(12)
                     .Pixels({4, 1, 0, 0, 0, 4, 2, 3, 0, 1, 0, 1})
                     .Bytes();
    TBitmap bitmap;
    Load(bitmap, bytes);
    EXPECT_EQ(bitmap.HandleType(), htDDB);
    EXPECT_EQ(Save(bitmap), bytes);
    TMemoryStream stored;
    bitmap.WriteData(stored);
    stored.SetPosition(0);
    TBitmap restored;
    restored.ReadData(stored);
    EXPECT_EQ(Save(restored), bytes);
    EXPECT_EQ(ReadPixels(restored), (std::vector<std::uint32_t>{0x00FF00, 0x0000FF, 0x000000, 0xFF0000,
                                                               0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000}));
}

TEST_F(BmpFile, StoredDataRoundTripsAndCountsItsBytes) {
    TBitmap bitmap;
    Load(bitmap, Pal8Square().Bytes());
    TMemoryStream stored;
    bitmap.WriteData(stored);
    const auto bytes = stored.Bytes();
    ASSERT_GE(bytes.size(), 4u);
    const std::uint32_t count = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint32_t(bytes[3]) << 24);
    EXPECT_EQ(count, bytes.size() - 4);
    stored.SetPosition(0);
    TBitmap restored;
    restored.ReadData(stored);
    EXPECT_EQ(ReadPixels(restored), ReadPixels(bitmap));

    TBitmap empty;
    TMemoryStream emptyStored;
    empty.WriteData(emptyStored);
    EXPECT_EQ(emptyStored.Bytes(), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(Save(empty).size(), 0u);
}

TEST_F(BmpFile, SavedFilesReadBackToTheSamePixels) {
    for (int bits : {1, 4, 8, 24, 32}) {
        TBitmap bitmap;
        bitmap.SetPixelFormat(bits == 1 ? px1Bit : bits == 4 ? px4Bit : bits == 8 ? px8Bit : bits == 24 ? px24Bit : px32Bit);
        bitmap.SetWidth(7);
        bitmap.SetHeight(3);
        bitmap.Canvas().Brush().SetColor(0x000000);
        bitmap.Canvas().FillRect(Rect(0, 0, 3, 2));
        auto bytes = Save(bitmap);
        TBitmap again;
        Load(again, bytes);
        EXPECT_EQ(ReadPixels(again), ReadPixels(bitmap)) << bits;
    }
}

// Found by fuzzing: a 71-byte file of a one-row monochrome strip 5,439,551 pixels wide. Drawn into
// a 64 × 64 cell, every cell row repeats the one source row; combining its 85,000-pixel boxes anew
// for each of the 64 rows took half a minute, where reading the strip once is enough.
TEST_F(BmpFile, AVeryWideStripDrawsIntoACellReadingItOnce) {
    const std::vector<std::uint8_t> strip{
        0x42, 0x4d, 0x3e, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3e, 0x00, 0x00, 0x00, 0x28, 0x00,
        0x00, 0x00, 0x3f, 0x00, 0x53, 0x00, 0xff, 0xff, 0xff, 0xff, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x67, 0x00, 0x00, 0x13, 0x0b, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x7c, 0x10, 0x00, 0x00, 0x13, 0x0b, 0x00,
        0x00, 0x13, 0x0b, 0x00, 0x74, 0x9c, 0x42};
    TBitmap bitmap;
    Load(bitmap, strip);
    EXPECT_EQ(bitmap.Width(), 5439551);
    EXPECT_EQ(bitmap.Height(), 1);
    TBitmap cell;
    cell.SetWidth(64);
    cell.SetHeight(64);
    cell.Canvas().StretchDraw(Rect(0, 0, 64, 64), &bitmap);
    // Every row of the cell comes from the same source row.
    const std::vector<std::uint32_t> pixels = ReadPixels(cell);
    ASSERT_EQ(pixels.size(), 64u * 64u);
    for (std::size_t i = 64; i < pixels.size(); ++i)
        ASSERT_EQ(pixels[i], pixels[i % 64]) << i;
}
