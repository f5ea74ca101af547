// The text, compressed text, time and physical-size chunks: what reading keeps, what writing
// rebuilds from the fields, and the limits of a chunk's length.
#include "PngWriteSupport.h"
#include "png/PngWrite.h"

using namespace png;

namespace {

class PngText : public TPngTest {
protected:
    /// Loads a 1 × 1 grey image carrying the chunk before its image data.
    template <typename T>
    T& LoadWith(const std::string& type, const TBytes& data) {
        LoadPng(FPng, TPngBuilder().Header(1, 1, 8, kColorGray).Chunk(type, data).Idat({0, 0}).End().Bytes());
        T* chunk = FPng.ChunkList.FindByClass<T>();
        EXPECT_NE(chunk, nullptr);
        EXPECT_EQ(&chunk->ClassType(), &T::StaticClass());
        return *chunk;
    }
    TBytes Written(const std::string& type) { return ChunkData(SavePng(FPng), type); }

    TPNGObject FPng;
};

TBytes Bytes(const std::string& text) { return TBytes(text.begin(), text.end()); }

TBytes ZtxtData(const std::string& keyword, std::uint8_t method, const TBytes& compressed) {
    TBytes data = Bytes(keyword);
    data.push_back(0);
    data.push_back(method);
    data.insert(data.end(), compressed.begin(), compressed.end());
    return data;
}

}  // namespace

TEST_F(PngText, TextChunksReadAsKeywordAndTextAndWriteBackByteForByte) {
    const TBytes data = Bytes(std::string("Title\0Hello", 11));
    auto& text = LoadWith<TChunktEXt>("tEXt", data);
    EXPECT_EQ(text.Keyword, "Title");
    EXPECT_EQ(text.Text, "Hello");
    EXPECT_EQ(Written("tEXt"), data);
}

TEST_F(PngText, TextWithoutAZeroByteIsAllKeywordAndVeryShortTextKeepsOnlyItsBytes) {
    EXPECT_EQ(LoadWith<TChunktEXt>("tEXt", Bytes("NoZero")).Keyword, "NoZero");
    EXPECT_EQ(LoadWith<TChunktEXt>("tEXt", Bytes("NoZero")).Text, "");
    auto& shortText = LoadWith<TChunktEXt>("tEXt", {'a', 0});
    EXPECT_EQ(shortText.Keyword, "");
    EXPECT_EQ(shortText.DataSize(), 2);
}

TEST_F(PngText, CompressedTextInflatesOnReadingAndWritesOneCompleteStream) {
    std::string long_text;
    for (int i = 0; i < 3000; ++i)
        long_text += char('a' + i % 26);
    auto& text = LoadWith<TChunkzTXt>("zTXt", ZtxtData("Comment", 0, TPngBuilder::Compress(Bytes(long_text))));
    EXPECT_EQ(text.Keyword, "Comment");
    EXPECT_EQ(text.Text, long_text);
    EXPECT_EQ(FPng.ChunkList.FindByClass<TChunktEXt>(), &text);
    const TBytes written = Written("zTXt");
    ASSERT_GT(written.size(), 9u);
    EXPECT_EQ(TBytes(written.begin(), written.begin() + 9), Bytes(std::string("Comment\0\0", 9)));
    EXPECT_EQ(Inflate(TBytes(written.begin() + 9, written.end())), Bytes(long_text));
}

TEST_F(PngText, CompressedTextThatCannotBeInflatedReadsAsEmpty) {
    const TBytes compressed = TPngBuilder::Compress(Bytes("hidden"));
    EXPECT_EQ(LoadWith<TChunkzTXt>("zTXt", ZtxtData("k", 1, compressed)).Text, "");
    EXPECT_EQ(LoadWith<TChunkzTXt>("zTXt", ZtxtData("k", 0, {1, 2, 3, 4})).Text, "");
    // Without a zero byte there is no method byte either; nothing past the data is looked at.
    EXPECT_EQ(LoadWith<TChunkzTXt>("zTXt", Bytes("abcd")).Text, "");
    EXPECT_EQ(LoadWith<TChunkzTXt>("zTXt", Bytes(std::string("abc\0", 4))).Text, "");
}

TEST_F(PngText, ThreeByteCompressedTextKeepsWhatTheTextReadingGave) {
    auto& text = LoadWith<TChunkzTXt>("zTXt", {'k', 0, 'x'});
    EXPECT_EQ(text.Keyword, "k");
    EXPECT_EQ(text.Text, "x");
}

TEST_F(PngText, EmptyCompressedTextIsWrittenAsOneSpaceAndKeepsIt) {
    auto& text = LoadWith<TChunkzTXt>("zTXt", ZtxtData("k", 0, TPngBuilder::Compress({})));
    EXPECT_EQ(text.Text, "");
    const TBytes written = Written("zTXt");
    EXPECT_EQ(Inflate(TBytes(written.begin() + 3, written.end())), Bytes(" "));
    EXPECT_EQ(text.Text, " ");
}

TEST_F(PngText, CompressedTextThatCannotBeDeflatedIsLeftOutOfTheFile) {
    auto& text = LoadWith<TChunkzTXt>("zTXt", ZtxtData("k", 0, TPngBuilder::Compress(Bytes("x"))));
    (void)text;
    FPng.DeflateLevel = 99;
    TMemoryStream stream;
    // The image data uses the same level and fails loudly; the text chunk alone just goes.
    TChunkzTXt* chunk = FPng.ChunkList.FindByClass<TChunkzTXt>();
    EXPECT_FALSE(chunk->WriteChunk(stream));
    EXPECT_EQ(stream.Size(), 0);
}

TEST_F(PngText, TimeChunksOfAWrongLengthAreWrittenBackInTheStandardLength) {
    auto& time = LoadWith<TChunktIME>("tIME", {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(time.Year, 0);
    EXPECT_EQ(Written("tIME"), TBytes(7, 0));
    auto& good = LoadWith<TChunktIME>("tIME", {0x07, 0xE8, 2, 29, 23, 59, 60});
    EXPECT_EQ(good.Year, 2024);
    EXPECT_EQ(good.Second, 60);
    EXPECT_EQ(Written("tIME"), (TBytes{0x07, 0xE8, 2, 29, 23, 59, 60}));
}

TEST_F(PngText, PhysicalSizeReadsAndWritesXBeforeY) {
    const TBytes data = {0, 0, 0, 100, 0, 0, 0, 200, 1};
    auto& size = LoadWith<TChunkpHYs>("pHYs", data);
    EXPECT_EQ(size.PPUnitX, 100u);
    EXPECT_EQ(size.PPUnitY, 200u);
    EXPECT_EQ(size.UnitType, 1);
    EXPECT_EQ(Written("pHYs"), data);
    LoadWith<TChunkpHYs>("pHYs", {1, 2, 3});
    EXPECT_EQ(Written("pHYs"), TBytes(9, 0));
}

TEST_F(PngText, CopiesCarryTheFieldsOfEveryTextTimeAndSizeChunk) {
    LoadPng(FPng, TPngBuilder()
                      .Header(1, 1, 8, kColorGray)
                      .Chunk("tEXt", Bytes(std::string("A\0b", 3)))
                      .Chunk("zTXt", ZtxtData("C", 0, TPngBuilder::Compress(Bytes("d"))))
                      .Chunk("tIME", {0, 1, 2, 3, 4, 5, 6})
                      .Chunk("pHYs", {0, 0, 0, 7, 0, 0, 0, 8, 0})
                      .Idat({0, 0})
                      .End()
                      .Bytes());
    TPNGObject copy;
    copy.Assign(&FPng);
    EXPECT_EQ(ChunkTypes(copy), (std::vector<std::string>{"IHDR", "tEXt", "zTXt", "tIME", "pHYs", "IDAT", "IEND"}));
    const TBytes a = SavePng(FPng);
    EXPECT_EQ(SavePng(copy), a);
    EXPECT_THROW(copy.ChunkList.FindByClass<TChunktIME>()->CopyChunk(*copy.ChunkList.Chunk(0)), EPngError);
}

TEST(PngChunkLength, PartsLongerTogetherThanTheFormatAllowsHaveNoLength) {
    EXPECT_EQ(ChunkDataLength({5, 1, 5}), 11);
    EXPECT_EQ(ChunkDataLength({0x7FFFFFFE, 1}), 0x7FFFFFFF);
    EXPECT_EQ(ChunkDataLength({0x7FFFFFFF, 1}), std::nullopt);
    EXPECT_EQ(ChunkDataLength({SIZE_MAX, 1}), std::nullopt);
    EXPECT_EQ(ChunkDataLength({1, SIZE_MAX}), std::nullopt);
}
