// Enhanced-metafile handles: the bytes, header and end palette they give back, copies and
// deletion, and the stream checks that refuse damaged or oversized metafiles before any copy.
#include "EmfBuilder.h"
#include "GdiTestSupport.h"

#include <functional>

namespace {

using namespace gdi;
using namespace emftest;

class TEnhMetaFileTest : public TGdiTest {};

std::vector<BYTE> Square() {
    return TEmfBuilder(16, 16).Brush(1, BS_SOLID, RGB(255, 0, 0)).Select(1).Poly16(kPolygon16, {{2, 2}, {10, 2}, {10, 10}}).Bytes();
}

TEST_F(TEnhMetaFileTest, HandlesGiveBackTheirBytesHeaderAndPalette) {
    const std::vector<BYTE> bytes =
        TEmfBuilder(16, 16).EndPalette({{1, 2, 3, 0}, {4, 5, 6, 0}}).Brush(1, BS_SOLID, 0).Bytes();
    HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
    ASSERT_NE(metafile, nullptr);
    EXPECT_EQ(GetObjectType(metafile), OBJ_ENHMETAFILE);

    std::vector<BYTE> back(GetEnhMetaFileBits(metafile, 0, nullptr));
    EXPECT_EQ(back.size(), bytes.size());
    EXPECT_EQ(GetEnhMetaFileBits(metafile, UINT(back.size() - 1), back.data()), 0u);
    EXPECT_EQ(GetEnhMetaFileBits(metafile, UINT(back.size()), back.data()), bytes.size());
    EXPECT_EQ(back, bytes);

    ENHMETAHEADER header{};
    EXPECT_EQ(GetEnhMetaFileHeader(metafile, 0, nullptr), 108u);
    EXPECT_EQ(GetEnhMetaFileHeader(metafile, 87, &header), 0u);
    EXPECT_EQ(GetEnhMetaFileHeader(metafile, sizeof header, &header), 108u);
    EXPECT_EQ(header.rclFrame.right, 160);
    EXPECT_EQ(header.nBytes, bytes.size());
    EXPECT_EQ(header.szlDevice.cx, 1000);

    EXPECT_EQ(GetEnhMetaFilePaletteEntries(metafile, 0, nullptr), 2u);
    PALETTEENTRY entries[3]{};
    EXPECT_EQ(GetEnhMetaFilePaletteEntries(metafile, 1, entries), 1u);
    EXPECT_EQ(GetEnhMetaFilePaletteEntries(metafile, 3, entries), 2u);
    EXPECT_EQ(entries[1].peBlue, 6);

    // A copy lives on its own; metafiles are not GDI objects.
    HENHMETAFILE copy = CopyEnhMetaFile(metafile, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(CopyEnhMetaFile(metafile, "file.emf"), nullptr);
    EXPECT_FALSE(DeleteObject(metafile));
    EXPECT_TRUE(DeleteEnhMetaFile(metafile));
    EXPECT_FALSE(DeleteEnhMetaFile(metafile));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetEnhMetaFileBits(metafile, 0, nullptr), 0u);
    EXPECT_EQ(GetEnhMetaFilePaletteEntries(metafile, 0, nullptr), GDI_ERROR);
    EXPECT_EQ(GetEnhMetaFileBits(copy, 0, nullptr), bytes.size());
    EXPECT_EQ(GetEnhMetaFilePaletteEntries(copy, 0, nullptr), 2u);
    EXPECT_TRUE(DeleteEnhMetaFile(copy));
}

TEST_F(TEnhMetaFileTest, BytesBeyondTheStatedSizeAreNotKept) {
    std::vector<BYTE> bytes = Square();
    const std::size_t size = bytes.size();
    bytes.resize(size + 12, 0xEE);
    HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
    ASSERT_NE(metafile, nullptr);
    EXPECT_EQ(GetEnhMetaFileBits(metafile, 0, nullptr), size);
    DeleteEnhMetaFile(metafile);
}

struct TDamage {
    const char* Name;
    std::function<void(std::vector<BYTE>&)> Change;
    DWORD Error;
};

class TEnhMetaFileRefusal : public TEnhMetaFileTest, public ::testing::WithParamInterface<TDamage> {};

// Offsets into Square(): the header is 108 bytes; the brush record follows at 108 (24 bytes),
// the select at 132 (12), the polygon at 144 (40), the end record at 184.
const TDamage kDamages[] = {
    {"Signature", [](auto& b) { b[40] ^= 1; }, ERROR_INVALID_DATA},
    {"NotAHeader", [](auto& b) { PutDword(b, 0, 2); }, ERROR_INVALID_DATA},
    {"NoHandles", [](auto& b) { PutDword(b, 56, 0); }, ERROR_INVALID_DATA},
    {"TotalBelow100", [](auto& b) { PutDword(b, 48, 96); }, ERROR_INVALID_DATA},
    {"TotalBeyondTheData", [](auto& b) { PutDword(b, 48, DWORD(b.size() + 4)); }, ERROR_INVALID_DATA},
    {"TotalNotAMultipleOf4", [](auto& b) { PutDword(b, 48, DWORD(b.size() - 2)); }, ERROR_INVALID_DATA},
    {"HeaderTooShort", [](auto& b) { PutDword(b, 4, 84); }, ERROR_INVALID_DATA},
    {"HeaderBeyondTotal", [](auto& b) { PutDword(b, 4, 4000); }, ERROR_INVALID_DATA},
    {"DescriptionOutsideHeader", [](auto& b) { PutDword(b, 60, 20), PutDword(b, 64, 100); }, ERROR_INVALID_DATA},
    {"NoReferenceDevice", [](auto& b) { PutDword(b, 80, 0); }, ERROR_INVALID_DATA},
    {"RecordBelow8", [](auto& b) { PutDword(b, 112, 4); }, ERROR_INVALID_DATA},
    {"RecordNotAMultipleOf4", [](auto& b) { PutDword(b, 112, 26); }, ERROR_INVALID_DATA},
    {"RecordBeyondTheData", [](auto& b) { PutDword(b, 148, 0xFFFFFFF0); }, ERROR_INVALID_DATA},
    {"SecondHeader", [](auto& b) { PutDword(b, 132, 1); }, ERROR_INVALID_DATA},
    {"NoEndRecord", [](auto& b) { PutDword(b, 184, 70); }, ERROR_INVALID_DATA},
    {"EndPaletteOutside", [](auto& b) { PutDword(b, 192, 2); }, ERROR_INVALID_DATA},
    {"TotalAboveTheStorageCap", [](auto&) { SetBitmapStorageCap(150); }, ERROR_NOT_ENOUGH_MEMORY},
};

TEST_P(TEnhMetaFileRefusal, IsRefusedBeforeAnythingIsKept) {
    std::vector<BYTE> bytes = Square();
    GetParam().Change(bytes);
    SetLastError(0);
    EXPECT_EQ(SetEnhMetaFileBits(UINT(bytes.size()), bytes.data()), nullptr);
    EXPECT_EQ(GetLastError(), GetParam().Error);
}

INSTANTIATE_TEST_SUITE_P(Streams, TEnhMetaFileRefusal, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TEnhMetaFileTest, ReadersWeighTheStatedSizeFirst) {
    EXPECT_TRUE(EnhMetaFileSizeAcceptable(100, 100));
    EXPECT_FALSE(EnhMetaFileSizeAcceptable(99, 1000));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    EXPECT_FALSE(EnhMetaFileSizeAcceptable(4000, 3999));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    SetBitmapStorageCap(1 << 20);
    EXPECT_FALSE(EnhMetaFileSizeAcceptable((1 << 20) + 4, std::uint64_t(1) << 40));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(SetEnhMetaFileBits(99, Square().data()), nullptr);
    EXPECT_EQ(SetEnhMetaFileBits(200, nullptr), nullptr);
}

}  // namespace
