// Hostile sizes: compressed text and image data that inflate far beyond what they describe, and
// files of very many chunks. Each must load, draw and save quickly with little memory, with the
// text bounds honoured and nothing of the file lost; and the zlib seam's own bounds.
#include "PngWriteSupport.h"
#include "png/ImageData.h"
#include "png/Zlib.h"

#include "platform/gdi/Screen.h"

#include <sys/resource.h>
#include <zlib.h>

#include <chrono>
#include <functional>

using namespace png;

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;
constexpr std::uint64_t kGiB = std::uint64_t(1) << 30;
// Loads that inflate no more than their bounds take milliseconds even under the sanitizers;
// inflating the gigabytes these files describe takes many seconds.
constexpr double kQuickSeconds = 3.0;
constexpr long kLittleMemoryKiB = 64 * 1024;

TBytes Bytes(const std::string& text) { return TBytes(text.begin(), text.end()); }

/// Raw deflate data of the bytes, ended by a full flush (or finished): it refers to nothing
/// before it and ends on a byte boundary, so copies of it can follow each other in one stream.
TBytes RawSegment(const TBytes& bytes, int flush) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    TBytes out(deflateBound(&z, uLong(bytes.size())) + 64);
    z.next_in = const_cast<Bytef*>(bytes.data());
    z.avail_in = uInt(bytes.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    EXPECT_GE(deflate(&z, flush), Z_OK);
    EXPECT_EQ(z.avail_in, 0u);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

/// A zlib stream of head followed by `zeros` zero bytes. One compressed mebibyte of zeros is
/// repeated, so a gigabyte costs about a megabyte and no time to build.
TBytes ZlibOfZeros(const TBytes& head, std::uint64_t zeros) {
    TBytes out = {0x78, 0xDA};
    auto append = [&](const TBytes& part) { out.insert(out.end(), part.begin(), part.end()); };
    if (!head.empty())
        append(RawSegment(head, Z_FULL_FLUSH));
    const TBytes megabyte = RawSegment(TBytes(kMiB, 0), Z_FULL_FLUSH);
    for (std::uint64_t i = 0; i < zeros / kMiB; ++i)
        append(megabyte);
    if (zeros % kMiB != 0)
        append(RawSegment(TBytes(std::size_t(zeros % kMiB), 0), Z_FULL_FLUSH));
    append(RawSegment({}, Z_FINISH));
    // Adler-32 of n zeros: the first sum stays 1, the second grows by 1 per byte.
    const uLong headSum = adler32(adler32(0, nullptr, 0), head.data(), uInt(head.size()));
    const uLong zeroSum = (uLong(zeros % 65521) << 16) | 1;
    const uLong sum = adler32_combine(headSum, zeroSum, z_off_t(zeros));
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(sum >> shift));
    return out;
}

TBytes ZtxtData(const std::string& keyword, const TBytes& compressed) {
    TBytes data = Bytes(keyword);
    data.insert(data.end(), {0, 0});
    data.insert(data.end(), compressed.begin(), compressed.end());
    return data;
}

double SecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The process's peak resident size. Every test runs in a process of its own, so its growth
/// during a test is what that test took at most.
long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A 4 × 4 RGB image, each pixel (60x, 60y, 200), rows with filter type 0.
constexpr std::uint32_t kSide = 4;

TBytes FourByFourRows() {
    TBytes rows;
    for (std::uint32_t y = 0; y < kSide; ++y) {
        rows.push_back(0);
        for (std::uint32_t x = 0; x < kSide; ++x)
            rows.insert(rows.end(), {std::uint8_t(60 * x), std::uint8_t(60 * y), 200});
    }
    return rows;
}

std::vector<std::uint32_t> FourByFourPixels() {
    std::vector<std::uint32_t> pixels;
    for (std::uint32_t y = 0; y < kSide; ++y)
        for (std::uint32_t x = 0; x < kSide; ++x)
            pixels.push_back((60 * x) << 16 | (60 * y) << 8 | 200);
    return pixels;
}

/// The picture as the thumbnail builder shows it: drawn onto a bitmap of its size.
std::vector<std::uint32_t> Drawn(TPNGObject& png) {
    graphics::TBitmap bitmap;
    bitmap.SetWidth(png.Width());
    bitmap.SetHeight(png.Height());
    bitmap.Canvas().Draw(0, 0, &png);
    return ReadPixels(bitmap);
}

class PngBounds : public TPngTest {
protected:
    /// The 4 × 4 image with the chunks before its image data.
    static TBytes WithChunks(const std::vector<std::pair<std::string, TBytes>>& chunks) {
        TPngBuilder builder;
        builder.Header(kSide, kSide, 8, kColorRgb);
        for (const auto& [type, data] : chunks)
            builder.Chunk(type, data);
        return builder.Idat(FourByFourRows()).End().Bytes();
    }
    std::vector<TChunkzTXt*> Texts() {
        std::vector<TChunkzTXt*> texts;
        for (int i = 0; i < FPng.ChunkList.Count(); ++i)
            if (auto* text = dynamic_cast<TChunkzTXt*>(FPng.ChunkList.Chunk(i)))
                texts.push_back(text);
        return texts;
    }

    TPNGObject FPng;
};

}  // namespace

TEST_F(PngBounds, StreamsOfZerosBuiltForTheseTestsInflateToWhatTheySay) {
    const TBytes head = Bytes("head");
    TBytes expected = head;
    expected.resize(head.size() + 3 * kMiB + 5, 0);
    EXPECT_EQ(Inflate(ZlibOfZeros(head, 3 * kMiB + 5)), expected);
}

// ---- compressed text ----------------------------------------------------------------------------

TEST_F(PngBounds, AGigabyteTextBombLoadsDrawsAndSavesItsStreamByteForByte) {
    const TBytes data = ZtxtData("Comment", ZlibOfZeros({}, kGiB));
    ASSERT_LT(data.size(), 2 * kMiB);
    const TBytes file = WithChunks({{"zTXt", data}});

    const long peakBefore = PeakKiB();
    EXPECT_LT(SecondsOf([&] { LoadPng(FPng, file); }), kQuickSeconds);
    EXPECT_LT(PeakKiB() - peakBefore, kLittleMemoryKiB);

    ASSERT_EQ(Texts().size(), 1u);
    TChunkzTXt& text = *Texts()[0];
    EXPECT_TRUE(text.KeptCompressed());
    EXPECT_EQ(text.Keyword, "Comment");
    EXPECT_EQ(text.Text, "");
    EXPECT_EQ(Drawn(FPng), FourByFourPixels());

    // Nothing of the file is lost: the text goes back as it came, and reads back the same way.
    const TBytes saved = SavePng(FPng);
    EXPECT_EQ(ChunkData(saved, "zTXt"), data);
    TPNGObject again;
    EXPECT_LT(SecondsOf([&] { LoadPng(again, saved); }), kQuickSeconds);
    EXPECT_TRUE(again.ChunkList.FindByClass<TChunkzTXt>()->KeptCompressed());
    EXPECT_LT(PeakKiB() - peakBefore, kLittleMemoryKiB);
}

TEST_F(PngBounds, TheChunkBoundDefaultsToEightMebibytesAndIsASettingOfTheObject) {
    const TBytes exact = WithChunks({{"zTXt", ZtxtData("a", ZlibOfZeros({}, 8 * kMiB))}});
    const TBytes over = WithChunks({{"zTXt", ZtxtData("b", ZlibOfZeros({}, 8 * kMiB + 1))}});
    LoadPng(FPng, exact);
    EXPECT_FALSE(Texts()[0]->KeptCompressed());
    EXPECT_EQ(Texts()[0]->Text, std::string(8 * kMiB, '\0'));
    LoadPng(FPng, over);
    EXPECT_TRUE(Texts()[0]->KeptCompressed());
    EXPECT_EQ(Texts()[0]->Text, "");

    FPng.TextChunkInflateLimit = 9 * kMiB;
    LoadPng(FPng, over);
    EXPECT_EQ(Texts()[0]->Text.size(), 8 * kMiB + 1);
    FPng.TextChunkInflateLimit = 100;
    LoadPng(FPng, WithChunks({{"zTXt", ZtxtData("c", ZlibOfZeros({}, 100))},
                              {"zTXt", ZtxtData("d", ZlibOfZeros({}, 101))}}));
    EXPECT_EQ(Texts()[0]->Text, std::string(100, '\0'));
    EXPECT_TRUE(Texts()[1]->KeptCompressed());
}

TEST_F(PngBounds, TheFileBoundCountsEveryByteInflatedAndStartsAfreshWithEachFile) {
    FPng.TextChunkInflateLimit = 100;
    FPng.TextFileInflateLimit = 250;
    const TBytes file = WithChunks({{"zTXt", ZtxtData("1", ZlibOfZeros(Bytes("one"), 97))},
                                    {"zTXt", ZtxtData("2", ZlibOfZeros(Bytes("two"), 97))},
                                    // 50 bytes are left: this text passes them and stays compressed,
                                    {"zTXt", ZtxtData("3", ZlibOfZeros({}, 60))},
                                    // and the 51 bytes inflated to find that out leave nothing for this one.
                                    {"zTXt", ZtxtData("4", ZlibOfZeros({}, 10))},
                                    {"tEXt", Bytes(std::string("plain\0text", 10))}});
    for (int load = 0; load < 2; ++load) {
        LoadPng(FPng, file);
        const auto texts = Texts();
        ASSERT_EQ(texts.size(), 4u);
        EXPECT_EQ(texts[0]->Text.substr(0, 3), "one");
        EXPECT_EQ(texts[1]->Text.size(), 100u);
        EXPECT_TRUE(texts[2]->KeptCompressed());
        EXPECT_TRUE(texts[3]->KeptCompressed());
        ASSERT_EQ(&FPng.ChunkList.Chunk(5)->ClassType(), &TChunktEXt::StaticClass());
        EXPECT_EQ(static_cast<TChunktEXt*>(FPng.ChunkList.Chunk(5))->Text, "text");
        EXPECT_EQ(Drawn(FPng), FourByFourPixels());
    }
    FPng.TextFileInflateLimit = kDefaultTextFileInflateLimit;
    LoadPng(FPng, file);
    for (TChunkzTXt* text : Texts())
        EXPECT_FALSE(text->KeptCompressed());
}

TEST_F(PngBounds, TheFileBoundDefaultsToSixtyFourMebibytes) {
    FPng.TextChunkInflateLimit = kGiB;
    LoadPng(FPng, WithChunks({{"zTXt", ZtxtData("k", ZlibOfZeros({}, 64 * kMiB))}}));
    EXPECT_EQ(Texts()[0]->Text.size(), 64 * kMiB);
    LoadPng(FPng, WithChunks({{"zTXt", ZtxtData("k", ZlibOfZeros({}, 64 * kMiB + 1))}}));
    EXPECT_TRUE(Texts()[0]->KeptCompressed());
}

TEST_F(PngBounds, AKeptTextTakesANewKeywordAndGivesWayToANewText) {
    FPng.TextChunkInflateLimit = 10;
    const TBytes stream = ZlibOfZeros(Bytes("long text"), 20);
    LoadPng(FPng, WithChunks({{"zTXt", ZtxtData("Old", stream)}}));
    TChunkzTXt& text = *Texts()[0];
    ASSERT_TRUE(text.KeptCompressed());

    // A copy carries the stream too.
    TPNGObject copy;
    copy.Assign(&FPng);
    EXPECT_EQ(ChunkData(SavePng(copy), "zTXt"), ZtxtData("Old", stream));

    text.Keyword = "New";
    EXPECT_EQ(ChunkData(SavePng(FPng), "zTXt"), ZtxtData("New", stream));
    EXPECT_EQ(ChunkData(SavePng(FPng), "zTXt"), ZtxtData("New", stream));

    text.Text = "short";
    const TBytes written = ChunkData(SavePng(FPng), "zTXt");
    EXPECT_EQ(Inflate(TBytes(written.begin() + 5, written.end())), Bytes("short"));
    EXPECT_FALSE(text.KeptCompressed());
}

TEST_F(PngBounds, ATextTheStorageGateRefusesStaysCompressed) {
    const TBytes data = ZtxtData("k", ZlibOfZeros({}, 200000));
    gdi::SetBitmapStorageCap(64 * 1024);
    gdi::SetLastError(0);
    LoadPng(FPng, WithChunks({{"zTXt", data}}));
    EXPECT_EQ(gdi::GetLastError(), gdi::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(Texts()[0]->KeptCompressed());
    EXPECT_EQ(Drawn(FPng), FourByFourPixels());
    EXPECT_EQ(ChunkData(SavePng(FPng), "zTXt"), data);
}

TEST_F(PngBounds, TextAskingForADictionaryReadsAsNoTextInsteadOfLooping) {
    LoadPng(FPng, WithChunks({{"zTXt", ZtxtData("k", {0x78, 0x3F, 0, 0, 0, 1, 0x12})}}));
    EXPECT_EQ(Texts()[0]->Text, "");
    EXPECT_FALSE(Texts()[0]->KeptCompressed());
    EXPECT_EQ(Drawn(FPng), FourByFourPixels());
}

// ---- image data and chunk counts ----------------------------------------------------------------

class PngImageDataBomb : public PngBounds, public ::testing::WithParamInterface<int> {};

TEST_P(PngImageDataBomb, LoadsTheRowsQuicklyAndLeavesTheRestUninflated) {
    // The rows, then a gigabyte of zeros the image has no room for, cut into GetParam() chunks.
    const TBytes compressed = ZlibOfZeros(FourByFourRows(), kGiB);
    TPngBuilder builder;
    builder.Header(kSide, kSide, 8, kColorRgb);
    const std::size_t piece = compressed.size() / std::size_t(GetParam()) + 1;
    for (std::size_t at = 0; at < compressed.size(); at += piece)
        builder.Chunk("IDAT", TBytes(compressed.begin() + std::ptrdiff_t(at),
                                     compressed.begin() + std::ptrdiff_t(std::min(at + piece, compressed.size()))));
    const TBytes file = builder.End().Bytes();

    const long peakBefore = PeakKiB();
    for (const std::size_t limit : {kDefaultWholeInflateLimit, std::size_t(0)}) {
        SetWholeInflateLimit(limit);
        TPNGObject png;
        EXPECT_LT(SecondsOf([&] { LoadPng(png, file); }), kQuickSeconds);
        EXPECT_EQ(Drawn(png), FourByFourPixels());
    }
    SetWholeInflateLimit(kDefaultWholeInflateLimit);
    EXPECT_LT(PeakKiB() - peakBefore, kLittleMemoryKiB);
}

INSTANTIATE_TEST_SUITE_P(Chunks, PngImageDataBomb, ::testing::Values(1, 16));

TEST_F(PngBounds, ImageDataTheStorageGateRefusesAsAWholeIsReadRowByRow) {
    // 4 × 1000 RGB: the picture takes 12 bytes a row, the inflated image data 13.
    constexpr std::uint32_t kHeight = 1000;
    TBytes rows;
    std::vector<std::uint32_t> expected;
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        rows.push_back(0);
        for (std::uint32_t x = 0; x < kSide; ++x) {
            rows.insert(rows.end(), {std::uint8_t(x * 50), std::uint8_t(y), std::uint8_t(y >> 8)});
            expected.push_back(std::uint32_t(x * 50) << 16 | (y & 0xFF) << 8 | (y >> 8));
        }
    }
    const TBytes file = TPngBuilder().Header(kSide, kHeight, 8, kColorRgb).Idat(rows).End().Bytes();
    gdi::SetBitmapStorageCap(kSide * 3 * kHeight);
    gdi::SetLastError(0);
    LoadPng(FPng, file);
    EXPECT_EQ(gdi::GetLastError(), gdi::ERROR_NOT_ENOUGH_MEMORY);
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < int(kHeight); ++y)
        for (int x = 0; x < int(kSide); ++x)
            pixels.push_back(std::uint32_t(graphics::ColorToRGB(FPng.PixelColor(x, y))));
    // PixelColor gives red in the low byte.
    for (std::uint32_t& pixel : pixels)
        pixel = (pixel & 0xFF) << 16 | (pixel & 0xFF00) | (pixel >> 16 & 0xFF);
    EXPECT_EQ(pixels, expected);
}

TEST_F(PngBounds, TwoHundredThousandUnknownChunksLoadQuicklyWithLittleMemory) {
    constexpr int kCount = 200000;
    TPngBuilder builder;
    builder.Header(kSide, kSide, 8, kColorRgb);
    for (int i = 0; i < kCount; ++i)
        builder.Chunk("prVt", {});
    const TBytes file = builder.Idat(FourByFourRows()).End().Bytes();

    const long peakBefore = PeakKiB();
    // About a second under the sanitizers (most of it their bookkeeping of 200,000 small
    // blocks); anything that grew with the square of the count would take minutes.
    EXPECT_LT(SecondsOf([&] { LoadPng(FPng, file); }), 10.0);
    EXPECT_LT(PeakKiB() - peakBefore, kLittleMemoryKiB);
    EXPECT_EQ(FPng.ChunkList.Count(), kCount + 3);
    EXPECT_EQ(Drawn(FPng), FourByFourPixels());
}

// ---- the zlib seam's bounds ---------------------------------------------------------------------

TEST(PngZlibSeam, InflatingStopsOneByteAfterTheBoundAndKeepsNothing) {
    const TBytes stream = ZlibOfZeros(Bytes("abc"), 997);
    std::vector<std::uint8_t> output;
    TZlibResult result = InflateBuffer(stream.data(), stream.size(), 1000, output);
    EXPECT_EQ(result.Outcome, TZlibOutcome::zoComplete);
    EXPECT_EQ(output.size(), 1000u);
    EXPECT_EQ(TBytes(output.begin(), output.begin() + 3), Bytes("abc"));

    result = InflateBuffer(stream.data(), stream.size(), 999, output);
    EXPECT_EQ(result.Outcome, TZlibOutcome::zoOverLimit);
    EXPECT_EQ(result.Produced, 1000u);
    EXPECT_TRUE(output.empty());
    EXPECT_EQ(output.capacity(), 0u);

    const TBytes bomb = ZlibOfZeros({}, kGiB);
    result = InflateBuffer(bomb.data(), bomb.size(), 8 * kMiB, output);
    EXPECT_EQ(result.Outcome, TZlibOutcome::zoOverLimit);
    EXPECT_EQ(result.Produced, 8 * kMiB + 1);
}

TEST(PngZlibSeam, DamagedCutAndDictionaryStreamsFailWithTheirTexts) {
    std::vector<std::uint8_t> output = {1, 2, 3};
    const TBytes whole = TPngBuilder::Compress(Bytes("some text to cut short"));
    const TBytes cut(whole.begin(), whole.end() - 6);
    TZlibResult result = InflateBuffer(cut.data(), cut.size(), 1000, output);
    EXPECT_EQ(result.Outcome, TZlibOutcome::zoFailed);
    EXPECT_EQ(result.ErrorText, "buffer error (-5)");
    EXPECT_TRUE(output.empty());

    const TBytes dictionary = {0x78, 0x3F, 0, 0, 0, 1, 0x12};
    result = InflateBuffer(dictionary.data(), dictionary.size(), 1000, output);
    EXPECT_EQ(result.Outcome, TZlibOutcome::zoFailed);
    EXPECT_EQ(result.ErrorText, "need dictionary (2)");

    const TBytes badHeader = {0x78, 0x00, 1, 2};
    result = InflateBuffer(badHeader.data(), badHeader.size(), 1000, output);
    EXPECT_EQ(result.Outcome, TZlibOutcome::zoFailed);
    EXPECT_EQ(result.ErrorText, "incorrect header check");
}

TEST(PngZlibSeam, DeflatingRoundTripsWithinItsBoundAndRefusesBeyondIt) {
    TBytes text;
    for (int i = 0; i < 100000; ++i)
        text.push_back(std::uint8_t(i * 7919 % 251));
    std::vector<std::uint8_t> output;
    TZlibResult result = DeflateBuffer(text.data(), text.size(), 9, 1 << 20, output);
    ASSERT_EQ(result.Outcome, TZlibOutcome::zoComplete);
    EXPECT_EQ(Inflate(TBytes(output.begin(), output.end())), text);
    const std::size_t size = output.size();

    result = DeflateBuffer(text.data(), text.size(), 9, size, output);
    EXPECT_EQ(result.Outcome, TZlibOutcome::zoComplete);
    result = DeflateBuffer(text.data(), text.size(), 9, size - 1, output);
    EXPECT_EQ(result.Outcome, TZlibOutcome::zoOverLimit);
    EXPECT_TRUE(output.empty());

    result = DeflateBuffer(text.data(), text.size(), 99, 1 << 20, output);
    EXPECT_EQ(result.Outcome, TZlibOutcome::zoFailed);
    EXPECT_EQ(result.ErrorText, "stream error (-2)");
}
