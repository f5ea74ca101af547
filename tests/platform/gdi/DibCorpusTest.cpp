// Real files of the BMP suite, read through the calls the BMP reader uses: the variants of one
// picture (compressed, core header, larger headers, top-down, bit fields) must all give the pixels
// of its plainest form.
#include "DibBuilder.h"
#include "GdiTestSupport.h"

#include <fstream>
#include <iterator>
#include <string>

using namespace gdi;

namespace {

const std::string kSuite = "../shared/corpus/bmpsuite/";

// The file's pixels as the screen's 32-bit colours, or empty when the file is not there.
std::vector<COLORREF> LoadBmp(const std::string& path) {
    std::ifstream file(kSuite + path, std::ios::binary);
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < sizeof(BITMAPFILEHEADER) + 16)
        return {};
    BITMAPFILEHEADER fileHeader;
    std::memcpy(&fileHeader, bytes.data(), sizeof fileHeader);
    if (fileHeader.bfOffBits > bytes.size())
        return {};
    // The header and table are copied into aligned memory with room to spare; the pixels stay
    // where they are, and a compressed image's size is cut to the bytes really present.
    std::vector<DWORD> info((fileHeader.bfOffBits + 1024) / 4, 0);
    std::memcpy(info.data(), bytes.data() + sizeof fileHeader, fileHeader.bfOffBits - sizeof fileHeader);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
    const std::size_t available = bytes.size() - fileHeader.bfOffBits;
    if (header->biSize >= 40 && (header->biCompression == BI_RLE8 || header->biCompression == BI_RLE4))
        header->biSizeImage = DWORD(std::min<std::size_t>(header->biSizeImage, available));
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBitmap(screen, header, CBM_INIT, bytes.data() + fileHeader.bfOffBits,
                                    reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (bitmap == nullptr)
        return {};
    std::vector<COLORREF> colors = ReadColors(bitmap);
    DeleteObject(bitmap);
    return colors;
}

bool Exists(const std::string& path) { return std::ifstream(kSuite + path).good(); }

COLORREF FirstTableColor(const std::string& path) {
    std::ifstream file(kSuite + path, std::ios::binary);
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    DWORD headerSize = 0;
    if (bytes.size() < 18)
        return CLR_INVALID;
    std::memcpy(&headerSize, bytes.data() + 14, 4);
    const std::size_t at = 14 + std::size_t(headerSize);
    return at + 3 <= bytes.size() ? RGB(bytes[at + 2], bytes[at + 1], bytes[at]) : CLR_INVALID;
}

}  // namespace

struct TVariant {
    const char* File;
    const char* Reference;
    int Tolerance;  // per channel, for formats with fewer bits than the reference
};

class BmpSuiteVariant : public TGdiTest, public ::testing::WithParamInterface<TVariant> {};

TEST_P(BmpSuiteVariant, DecodesToTheReferencePixels) {
    const TVariant v = GetParam();
    if (!Exists(v.File) || !Exists(v.Reference))
        GTEST_SKIP() << "the BMP suite is not in ../shared/corpus";
    std::vector<COLORREF> reference = LoadBmp(v.Reference);
    std::vector<COLORREF> pixels = LoadBmp(v.File);
    ASSERT_EQ(reference.size(), 127u * 64u);
    ASSERT_EQ(pixels.size(), reference.size());
    int worst = 0;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        for (int shift : {0, 8, 16}) {
            int difference = std::abs(int((pixels[i] >> shift) & 0xFF) - int((reference[i] >> shift) & 0xFF));
            worst = std::max(worst, difference);
        }
    }
    EXPECT_LE(worst, v.Tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Suite, BmpSuiteVariant,
    ::testing::Values(TVariant{"g/pal8rle.bmp", "g/pal8.bmp", 0}, TVariant{"g/pal4rle.bmp", "g/pal4.bmp", 0},
                      TVariant{"g/pal8os2.bmp", "g/pal8.bmp", 0}, TVariant{"g/pal8topdown.bmp", "g/pal8.bmp", 0},
                      TVariant{"g/pal8v4.bmp", "g/pal8.bmp", 0}, TVariant{"g/pal8v5.bmp", "g/pal8.bmp", 0},
                      TVariant{"g/pal8-0.bmp", "g/pal8.bmp", 0}, TVariant{"g/rgb32.bmp", "g/rgb24.bmp", 0},
                      TVariant{"g/rgb32bf.bmp", "g/rgb24.bmp", 0}, TVariant{"g/rgb32bfdef.bmp", "g/rgb24.bmp", 0},
                      TVariant{"g/rgb24pal.bmp", "g/rgb24.bmp", 0}, TVariant{"g/rgb16.bmp", "g/rgb24.bmp", 8},
                      TVariant{"g/rgb16-565.bmp", "g/rgb24.bmp", 8}, TVariant{"g/rgb16bfdef.bmp", "g/rgb24.bmp", 8}),
    [](const auto& info) {
        std::string name = info.param.File;
        name = name.substr(2, name.size() - 6);
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

using BmpSuiteCut = TGdiTest;

TEST_F(BmpSuiteCut, PixelsSkippedByDeltasKeepColourIndexZero) {
    // These streams jump over parts of the picture with delta codes; what they skip shows the
    // table's first colour.
    for (auto [cut, whole] :
         {std::pair{"q/pal8rlecut.bmp", "g/pal8.bmp"}, std::pair{"q/pal4rlecut.bmp", "g/pal4.bmp"}}) {
        if (!Exists(cut) || !Exists(whole))
            GTEST_SKIP() << "the BMP suite is not in ../shared/corpus";
        std::vector<COLORREF> pixels = LoadBmp(cut), reference = LoadBmp(whole);
        ASSERT_EQ(pixels.size(), reference.size()) << cut;
        const COLORREF indexZero = FirstTableColor(cut);
        std::size_t kept = 0, skipped = 0;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            kept += pixels[i] == reference[i];
            skipped += pixels[i] != reference[i] && pixels[i] == indexZero;
        }
        EXPECT_EQ(kept + skipped, pixels.size()) << cut;
        EXPECT_GT(kept, pixels.size() / 4) << cut;
        EXPECT_GT(skipped, 0u) << cut;
    }
}
