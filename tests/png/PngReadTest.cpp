// Reading PNG streams into the chunk list: the errors with their classes, messages and what the
// list holds after each, the header's validation and the storage it builds.
#include "PngTestSupport.h"

#include "platform/gdi/Screen.h"

#include <zlib.h>

#include <functional>

using namespace png;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// A 2 × 2 RGB image, rows unfiltered.
const TBytes kRgbRows = {0, 1, 2, 3, 4, 5, 6, 1, 7, 8, 9, 10, 11, 12};

TPngBuilder ValidStart() { return TPngBuilder().Header(2, 2, 8, kColorRgb); }
TBytes ValidRgb() { return ValidStart().Idat(kRgbRows).End().Bytes(); }

TBytes WithLength(TBytes bytes, std::size_t chunk, std::uint32_t length) {
    for (int i = 0; i < 4; ++i)
        bytes[chunk + std::size_t(i)] = std::uint8_t(length >> (24 - 8 * i));
    return bytes;
}

}  // namespace

TEST(PngMessages, KeepTheirStoredSpellingAndLineBreaks) {
    EXPECT_EQ(base::LoadStr(res::SPngIHDRNotFirst),
              "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n"
              "(IHDR chunk is not the first)");
    EXPECT_THAT(base::LoadStr(res::SPngInvalidFileHeader), ::testing::HasSubstr("being readed"));
    EXPECT_THAT(base::LoadStr(res::SPngInvalidFileHeader), ::testing::HasSubstr("may be corruped"));
    EXPECT_THAT(base::LoadStr(res::SPngSizeExceeds), ::testing::HasSubstr("either it's width"));
    EXPECT_EQ(ZlibStatusText(Z_DATA_ERROR), "data error (-3)");
    EXPECT_EQ(ZlibStatusText(-6), "incompatible version (-6)");
    EXPECT_EQ(ZlibStatusText(2), "need dictionary (2)");
    EXPECT_EQ(ZlibStatusText(3), "");
}

// ---- failures of the stream reading ----------------------------------------------------------

struct TStreamFailure {
    const char* Name;
    std::function<TBytes()> Make;
    std::function<void(TPNGObject&, const TBytes&)> Expect;
    std::vector<std::string> ChunksLeft;
};

template <typename E>
std::function<void(TPNGObject&, const TBytes&)> Fails(int id) {
    return [id](TPNGObject& png, const TBytes& bytes) { EXPECT_PNG_ERROR(LoadPng(png, bytes), E, id); };
}

class PngStreamFailure : public TPngTest, public ::testing::WithParamInterface<TStreamFailure> {};

TEST_P(PngStreamFailure, RaisesItsClassAndKeepsTheChunksReadBefore) {
    TPNGObject png;
    // A previous image is always replaced, whatever the outcome.
    LoadPng(png, ValidRgb());
    const TBytes bytes = GetParam().Make();
    GetParam().Expect(png, bytes);
    EXPECT_EQ(ChunkTypes(png), GetParam().ChunksLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngStreamFailure,
    ::testing::Values(
        TStreamFailure{"EmptyStream", [] { return TBytes{}; }, Fails<EPNGInvalidFileHeader>(res::SPngInvalidFileHeader), {}},
        TStreamFailure{"ShortSignature", [] { return TBytes{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A}; },
                       Fails<EPNGInvalidFileHeader>(res::SPngInvalidFileHeader), {}},
        TStreamFailure{"WrongSignatureByte", [] { TBytes b = ValidRgb(); b[4] = 0x0A; return b; },
                       Fails<EPNGInvalidFileHeader>(res::SPngInvalidFileHeader), {}},
        TStreamFailure{"SignatureOnly", [] { return TPngBuilder().Bytes(); },
                       Fails<EPngUnexpectedEnd>(res::SPngUnexpectedEnd), {}},
        TStreamFailure{"GammaFirst", [] { return TPngBuilder().Gama(45455).Header(2, 2, 8, 2).Bytes(); },
                       Fails<EPNGIHDRNotFirst>(res::SPngIHDRNotFirst), {}},
        TStreamFailure{"ChrmBeforeHeader", [] { return TPngBuilder().Chunk("cHRM", TBytes(32)).Header(2, 2, 8, 2).Bytes(); },
                       Fails<EPNGIHDRNotFirst>(res::SPngIHDRNotFirst), {}},
        TStreamFailure{"UnknownCriticalChunk", [] { return ValidStart().Chunk("ABCD", {1, 2}).Idat(kRgbRows).End().Bytes(); },
                       Fails<EPNGUnknownCriticalChunk>(res::SPngUnknownCriticalChunk), {"IHDR", "ABCD"}},
        TStreamFailure{"HeaderCrc", [] { TBytes b = ValidRgb(); FlipByte(b, DataOffset(b, "IHDR") + 13); return b; },
                       Fails<EPngInvalidCRC>(res::SPngInvalidCRC), {"IHDR"}},
        TStreamFailure{"AncillaryDataByte", [] {
                           TBytes b = ValidStart().Chunk("abCd", {1, 2, 3}).Idat(kRgbRows).End().Bytes();
                           FlipByte(b, DataOffset(b, "abCd") + 1);
                           return b; },
                       Fails<EPngInvalidCRC>(res::SPngInvalidCRC), {"IHDR", "abCd"}},
        TStreamFailure{"EndsAfterHeader", [] { return ValidStart().Bytes(); },
                       Fails<EPngUnexpectedEnd>(res::SPngUnexpectedEnd), {"IHDR"}},
        TStreamFailure{"NoImageData", [] { return ValidStart().End().Bytes(); },
                       Fails<EPNGNoImageData>(res::SPngNoImageData), {"IHDR", "IEND"}},
        TStreamFailure{"IendCrcAfterImageData", [] { TBytes b = ValidRgb(); FlipByte(b, b.size() - 1); return b; },
                       Fails<EPngInvalidCRC>(res::SPngInvalidCRC), {"IHDR", "IDAT", "IEND"}},
        // Lengths that cannot be honoured: refused before anything is sized from them.
        TStreamFailure{"LengthWithTopBit", [] {
                           TBytes b = ValidStart().Chunk("abCd", {1}).Idat(kRgbRows).End().Bytes();
                           return WithLength(b, ChunkOffset(b, "abCd"), 0xFFFFFFF0u); },
                       Fails<EPngInvalidCRC>(res::SPngInvalidCRC), {"IHDR", "abCd"}},
        TStreamFailure{"LengthPastTheEnd", [] {
                           TBytes b = ValidStart().Chunk("abCd", {1}).Idat(kRgbRows).End().Bytes();
                           return WithLength(b, ChunkOffset(b, "abCd"), 0x7FFFFFF0u); },
                       Fails<EPngInvalidCRC>(res::SPngInvalidCRC), {"IHDR", "abCd"}},
        TStreamFailure{"SkippedChunkWithTopBit", [] {
                           TBytes b = ValidStart().Chunk("cHRM", TBytes(32)).Idat(kRgbRows).End().Bytes();
                           return WithLength(b, ChunkOffset(b, "cHRM"), 0x80000000u); },
                       Fails<EPngInvalidCRC>(res::SPngInvalidCRC), {"IHDR"}},
        TStreamFailure{"SkippedChunkPastTheEnd", [] {
                           TBytes b = ValidStart().Chunk("cHRM", TBytes(32)).Idat(kRgbRows).End().Bytes();
                           return WithLength(b, ChunkOffset(b, "cHRM"), 0x7FFFFFF0u); },
                       Fails<EPngUnexpectedEnd>(res::SPngUnexpectedEnd), {"IHDR"}},
        TStreamFailure{"ImageDataLengthWithTopBit", [] {
                           TBytes b = ValidRgb();
                           return WithLength(b, ChunkOffset(b, "IDAT"), 0x80000001u); },
                       Fails<EPngInvalidCRC>(res::SPngInvalidCRC), {"IHDR", "IDAT"}}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---- successful reading -----------------------------------------------------------------------

TEST_F(TPngTest, ReadingKeepsOneImageDataChunkDropsChrmAndStopsAtIend) {
    TBytes bytes = ValidStart()
                       .Chunk("cHRM", TBytes(32, 7))
                       .Chunk("abCd", {1, 2, 3})
                       .Idat(kRgbRows)
                       .Chunk("IDAT", {9, 9, 9})
                       .End()
                       .Raw({0xDE, 0xAD})
                       .Bytes();
    // Neither the dropped chunk's data nor the skipped chunk's is checked.
    FlipByte(bytes, DataOffset(bytes, "cHRM") + 3);
    FlipByte(bytes, DataOffset(bytes, "IDAT", 1));
    TPNGObject png;
    LoadPng(png, bytes);
    EXPECT_THAT(ChunkTypes(png), ElementsAre("IHDR", "abCd", "IDAT", "IEND"));
    EXPECT_EQ(&png.ChunkList.Chunk(1)->ClassType(), &TChunk::StaticClass());
    EXPECT_EQ(png.ChunkList.Chunk(1)->DataSize(), 3);
    EXPECT_EQ(png.ChunkList.Chunk(1)->Data()[2], 3);
    EXPECT_EQ(png.ChunkList.Chunk(2)->DataSize(), 0);
    EXPECT_EQ(png.Width(), 2);
    EXPECT_EQ(png.Height(), 2);
    EXPECT_FALSE(png.Empty());
}

TEST_F(TPngTest, AHeaderWithoutImageDataStillAnswersItsSize) {
    TPNGObject png;
    EXPECT_THROW(LoadPng(png, TPngBuilder().Header(5, 3, 8, kColorGray).Bytes()), EPngUnexpectedEnd);
    EXPECT_TRUE(png.HasHeader());
    EXPECT_EQ(png.Width(), 5);
    EXPECT_EQ(png.Height(), 3);
}

TEST_F(TPngTest, ANewObjectIsEmptyAndRefusesTheTransparencyQuery) {
    TPNGObject png;
    EXPECT_TRUE(png.Empty());
    EXPECT_EQ(png.Width(), 0);
    EXPECT_EQ(png.Height(), 0);
    EXPECT_FALSE(png.HasHeader());
    EXPECT_PNG_ERROR(png.GetTransparent(), EPNGHeaderNotPresent, res::SPngHeaderNotPresent);
    EXPECT_PNG_ERROR(png.RequireHeader(), EPNGHeaderNotPresent, res::SPngHeaderNotPresent);
}

TEST_F(TPngTest, ReadingManyImagesReleasesEveryHandleOfTheOneBefore) {
    const TBytes palette = TPngBuilder()
                               .Header(3, 3, 4, kColorPalette)
                               .Plte({1, 2, 3, 4, 5, 6})
                               .Idat(TBytes(3 * 3, 0))
                               .End()
                               .Bytes();
    TPNGObject png;
    LoadPng(png, palette);
    const std::size_t live = gdi::LiveObjectCount();
    for (int i = 0; i < 20; ++i) {
        LoadPng(png, i % 2 ? palette : ValidRgb());
        EXPECT_THROW(LoadPng(png, TPngBuilder().Header(4, 4, 8, kColorRgbAlpha).Bytes()), EPngUnexpectedEnd);
    }
    LoadPng(png, palette);
    EXPECT_EQ(gdi::LiveObjectCount(), live);
}

// ---- the header -------------------------------------------------------------------------------

struct THeaderCase {
    const char* Name;
    TBytes Data;
    int Expected;  // 0: accepted; else the message id of the failure
};

TBytes HeaderData(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t type, std::uint8_t compression = 0,
                  std::uint8_t filter = 0, std::uint8_t interlace = 0) {
    TBytes d;
    for (std::uint32_t v : {w, h})
        for (int s = 24; s >= 0; s -= 8)
            d.push_back(std::uint8_t(v >> s));
    d.insert(d.end(), {depth, type, compression, filter, interlace});
    return d;
}

class PngHeaderValidation : public TPngTest, public ::testing::WithParamInterface<THeaderCase> {};

TEST_P(PngHeaderValidation, AcceptsOrRaisesItsClass) {
    TPNGObject png;
    const TBytes bytes = TPngBuilder().Chunk("IHDR", GetParam().Data).Idat(TBytes(2, 0)).End().Bytes();
    const int id = GetParam().Expected;
    if (id == 0) {
        TBytesStream stream(bytes.data(), bytes.size());
        EXPECT_NO_THROW(png.LoadFromStream(stream));
        EXPECT_NE(png.RequireHeader().ColorPlane(), nullptr);
        return;
    }
    try {
        LoadPng(png, bytes);
        ADD_FAILURE() << "no failure";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), base::LoadStr(id));
    }
    // The header stays in the list, without storage.
    EXPECT_THAT(ChunkTypes(png), ElementsAre("IHDR"));
    EXPECT_EQ(png.RequireHeader().ColorPlane(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngHeaderValidation,
    ::testing::Values(
        THeaderCase{"TwelveBytes", [] { TBytes d = HeaderData(1, 1, 8, 0); d.pop_back(); return d; }(), res::SPngInvalidIHDR},
        THeaderCase{"FourteenBytes", [] { TBytes d = HeaderData(1, 1, 8, 0); d.push_back(9); return d; }(), 0},
        THeaderCase{"Width65535", HeaderData(65535, 1, 1, 0), 0},
        THeaderCase{"Width65536", HeaderData(65536, 1, 8, 0), res::SPngSizeExceeds},
        THeaderCase{"Height65536", HeaderData(1, 65536, 8, 0), res::SPngSizeExceeds},
        THeaderCase{"CompressionOne", HeaderData(1, 1, 8, 0, 1), res::SPngUnknownCompression},
        THeaderCase{"InterlaceTwo", HeaderData(1, 1, 8, 0, 0, 0, 2), res::SPngUnknownInterlace},
        THeaderCase{"FilterMethodFive", HeaderData(1, 1, 8, 0, 0, 5), 0},
        THeaderCase{"WidthZero", HeaderData(0, 1, 8, 0), res::SPngInvalidIHDR},
        THeaderCase{"HeightZero", HeaderData(1, 0, 8, 0), res::SPngInvalidIHDR},
        THeaderCase{"RgbDepth4", HeaderData(1, 1, 4, 2), res::SPngInvalidIHDR},
        THeaderCase{"PaletteDepth16", HeaderData(1, 1, 16, 3), res::SPngInvalidIHDR},
        THeaderCase{"ColorType5", HeaderData(1, 1, 8, 5), res::SPngInvalidIHDR},
        THeaderCase{"Depth3", HeaderData(1, 1, 3, 0), res::SPngInvalidIHDR},
        // The size checks come before the format check.
        THeaderCase{"HugeAndInvalidFormat", HeaderData(70000, 1, 3, 9), res::SPngSizeExceeds}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TStorageCase {
    std::uint32_t Width, Height;
    std::uint8_t Depth, ColorType;
    int BitCount, Stride, ColorsUsed;
    bool Alpha, Extra;
};

class PngStorage : public TPngTest, public ::testing::WithParamInterface<TStorageCase> {};

TEST_P(PngStorage, FollowsTheColourTypeAndBitDepth) {
    const TStorageCase& c = GetParam();
    TPNGObject png;
    EXPECT_THROW(LoadPng(png, TPngBuilder().Header(c.Width, c.Height, c.Depth, c.ColorType).Bytes()),
                 EPngUnexpectedEnd);
    const TChunkIHDR& header = png.RequireHeader();
    const gdi::BITMAPINFOHEADER& info = header.BitmapInfo().bmiHeader;
    EXPECT_EQ(info.biSize, 40u);
    EXPECT_EQ(info.biWidth, gdi::LONG(c.Width));
    EXPECT_EQ(info.biHeight, gdi::LONG(c.Height));
    EXPECT_EQ(info.biBitCount, c.BitCount);
    EXPECT_EQ(header.RowStride(), c.Stride);
    EXPECT_EQ(info.biClrUsed, gdi::DWORD(c.ColorsUsed));
    EXPECT_EQ(header.UsesColorTable(), c.ColorsUsed != 0);
    EXPECT_EQ(header.AlphaPlane() != nullptr, c.Alpha);
    EXPECT_EQ(header.ExtraPlane() != nullptr, c.Extra);
    gdi::DIBSECTION section{};
    ASSERT_EQ(gdi::GetObjectA(header.ImageHandle(), sizeof(section), &section), int(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmBits, header.ColorPlane());
    EXPECT_EQ(section.dsBm.bmWidthBytes, c.Stride);
    EXPECT_EQ(png.ImageCanvas().RawHandle(), header.ImageDC());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PngStorage,
    ::testing::Values(TStorageCase{1, 1, 8, kColorRgb, 24, 4, 0, false, false},
                      TStorageCase{3, 2, 1, kColorGray, 1, 4, 2, false, false},
                      TStorageCase{5, 1, 2, kColorGray, 4, 4, 16, false, false},
                      TStorageCase{9, 1, 2, kColorPalette, 4, 8, 16, false, false},
                      TStorageCase{7, 2, 16, kColorGray, 8, 8, 256, false, true},
                      TStorageCase{3, 3, 8, kColorGrayAlpha, 8, 4, 256, true, false},
                      TStorageCase{2, 2, 16, kColorGrayAlpha, 8, 4, 256, true, true},
                      TStorageCase{10, 3, 16, kColorRgbAlpha, 24, 32, 0, true, true},
                      TStorageCase{33, 1, 4, kColorPalette, 4, 20, 16, false, false}));

TEST_F(TPngTest, GreyLevelsOfTheColourTableFollowTheBitDepth) {
    TPNGObject png;
    LoadPng(png, TPngBuilder().Header(3, 2, 1, kColorGray).Idat(TBytes(4, 0)).End().Bytes());
    const auto& colors = png.RequireHeader().BitmapInfo().bmiColors;
    EXPECT_EQ(colors[0].rgbRed, 0);
    EXPECT_EQ(colors[1].rgbRed, 255);
    EXPECT_EQ(colors[1].rgbBlue, 255);
    LoadPng(png, TPngBuilder().Header(3, 2, 2, kColorGray).Idat(TBytes(4, 0)).End().Bytes());
    // Two-bit images are stored at four bits, with sixteen even levels.
    const auto& widened = png.RequireHeader().BitmapInfo().bmiColors;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(widened[i].rgbGreen, 17 * i) << i;
}

TEST_F(TPngTest, StorageTheRasterLayerRefusesRaisesOutOfMemory) {
    gdi::SetBitmapStorageCap(1 << 20);
    TPNGObject png;
    EXPECT_PNG_ERROR(LoadPng(png, TPngBuilder().Header(1000, 1000, 8, kColorRgb).Idat({0}).End().Bytes()),
                     EPNGOutMemory, res::SPngOutMemory);
    EXPECT_PNG_ERROR(LoadPng(png, TPngBuilder().Header(600, 600, 16, kColorRgbAlpha).Idat({0}).End().Bytes()),
                     EPNGOutMemory, res::SPngOutMemory);
    EXPECT_THAT(ChunkTypes(png), ElementsAre("IHDR"));
    // A failed preparation leaves nothing behind to draw.
    graphics::TBitmap cell;
    cell.SetWidth(8);
    cell.SetHeight(8);
    EXPECT_NO_THROW(cell.Canvas().StretchDraw(graphics::Rect(0, 0, 8, 8), &png));
}

// ---- list, registry and check value ------------------------------------------------------------

TEST(PngChunkRegistry, HoldsTheStandardClassesInOrderAndMatchesTypesExactly) {
    std::vector<std::string> names;
    for (const TChunkClass* cls : RegisteredChunkClasses())
        names.push_back(cls->ChunkTypeName());
    ASSERT_GE(names.size(), 6u);
    EXPECT_THAT(std::vector<std::string>(names.begin(), names.begin() + 6),
                ElementsAre("IEND", "IHDR", "IDAT", "PLTE", "gAMA", "tRNS"));
    EXPECT_EQ(TChunk::StaticClass().ChunkTypeName(), "");

    TPNGObject owner;
    const std::unique_ptr<TChunk> header = CreateChunkForType(owner, {'I', 'H', 'D', 'R'});
    EXPECT_NE(dynamic_cast<TChunkIHDR*>(header.get()), nullptr);
    const std::unique_ptr<TChunk> lower = CreateChunkForType(owner, {'i', 'h', 'd', 'r'});
    EXPECT_EQ(&lower->ClassType(), &TChunk::StaticClass());
    EXPECT_EQ(lower->TypeName(), "ihdr");
    EXPECT_EQ(lower->DataSize(), 0);
    EXPECT_NE(lower->Data(), nullptr);
}

TEST(PngChunkList, ExtractsTheLastOccurrenceAndIgnoresIndicesOutside) {
    int a = 0, b = 0;
    TPNGPointerList list(nullptr);
    list.Append(&a);
    list.Append(&b);
    list.Append(&a);
    EXPECT_EQ(list.Extract(&a), &a);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.ItemAt(0), &a);
    EXPECT_EQ(list.ItemAt(1), &b);
    EXPECT_EQ(list.ItemAt(2), nullptr);
    EXPECT_EQ(list.ItemAt(-1), nullptr);
    list.PutItemAt(2, &a);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Extract(nullptr), nullptr);
    list.ChangeCount(0);
    EXPECT_EQ(list.Count(), 0);
}

TEST(PngCrc, IsTheCheckValueOfThePngStandard) {
    const char* end = "IEND";
    EXPECT_EQ(~CrcUpdate(0xFFFFFFFFu, end, 4), 0xAE426082u);
    const TBytes data = {1, 2, 3, 250, 251, 0, 9};
    EXPECT_EQ(~CrcUpdate(CrcUpdate(0xFFFFFFFFu, data.data(), 3), data.data() + 3, 4),
              std::uint32_t(crc32(0, data.data(), uInt(data.size()))));
    EXPECT_EQ(SwapBytes32(0x11223344u), 0x44332211u);
    EXPECT_EQ(SwapBytes16(0xAABB1122u), 0x2211u);
}

TEST(PngModule, RegistersTheFormatForPngFiles) {
    EXPECT_EQ(graphics::GetFileFormats().FindExt("PNG"), &TPNGObject::StaticClass());
    EXPECT_EQ(graphics::GetFileFormats().FindExt("png"), &TPNGObject::StaticClass());
}
