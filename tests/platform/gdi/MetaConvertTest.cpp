// The conversions between Windows and enhanced metafiles: placement on the reference screen,
// the embedded enhanced metafile, pixels against playback of the original, hostile bytes.
#include "BlitTestSupport.h"
#include "EmfBuilder.h"
#include "WmfBuilder.h"

#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace gdi;
using namespace blittest;
using wmftest::TWmf;

enum : WORD {
    kSetMapMode = 0x0103, kSetWindowOrg = 0x020B, kSetWindowExt = 0x020C, kRectangle = 0x041B, kEllipse = 0x0418,
    kCreatePen = 0x02FA, kCreateBrush = 0x02FC, kSelectObject = 0x012D, kDeleteObject = 0x01F0, kPolygon = 0x0324,
    kCreateFont = 0x02FB, kTextOut = 0x0521, kExtTextOut = 0x0A32, kLineTo = 0x0213, kMoveTo = 0x0214,
    kSetBkColor = 0x0201, kSetTextColor = 0x0209, kBitBlt = 0x0922, kCreateRegion = 0x06FF, kFillRegion = 0x0228,
    kCreatePatternBrush = 0x01F9, kSetTextCharExtra = 0x0108, kSetTextJustification = 0x020A,
};

// The measured picture: 1440 units per inch, a window of 1440 × 720, a rectangle and an ellipse.
TWmf MeasuredPicture() {
    TWmf wmf;
    wmf.Record(kSetMapMode, {MM_ANISOTROPIC})
        .Record(kSetWindowOrg, {0, 0})
        .Record(kSetWindowExt, {720, 1440})
        .Record(kRectangle, {500, 700, 100, 100})
        .Record(kEllipse, {700, 1300, 200, 800});
    return wmf;
}

// 64 × 64 units, a red pen and a green brush selected, and a box drawn with them.
TWmf ColouredBox() {
    TWmf wmf(3);
    wmf.Record(kSetMapMode, {MM_ANISOTROPIC})
        .Record(kSetWindowExt, {64, 64})
        .Raw(kCreatePen, {PS_SOLID, 1, 0, 0xFF, 0})
        .Raw(kCreateBrush, {BS_SOLID, 0xFF00, 0, 0})
        .Record(kSelectObject, {0})
        .Record(kSelectObject, {1})
        .Record(kRectangle, {40, 30, 4, 3});
    return wmf;
}

HENHMETAFILE Convert(const std::vector<BYTE>& wmf, LONG xExt, LONG yExt, LONG mode = MM_ANISOTROPIC) {
    const METAFILEPICT picture{mode, xExt, yExt, nullptr};
    return SetWinMetaFileBits(UINT(wmf.size()), wmf.data(), nullptr, &picture);
}

ENHMETAHEADER Header(HENHMETAFILE metafile) {
    ENHMETAHEADER header{};
    GetEnhMetaFileHeader(metafile, sizeof header, &header);
    return header;
}

std::vector<BYTE> EmfBytes(HENHMETAFILE metafile) {
    std::vector<BYTE> bytes(GetEnhMetaFileBits(metafile, 0, nullptr));
    GetEnhMetaFileBits(metafile, UINT(bytes.size()), bytes.data());
    return bytes;
}

std::vector<BYTE> WmfBits(HENHMETAFILE metafile, HDC reference = nullptr) {
    std::vector<BYTE> bytes(GetWinMetaFileBits(metafile, 0, nullptr, MM_ANISOTROPIC, reference));
    if (!bytes.empty())
        bytes.resize(GetWinMetaFileBits(metafile, UINT(bytes.size()), bytes.data(), MM_ANISOTROPIC, reference));
    return bytes;
}

// The record types of a stream, in order.
std::vector<DWORD> RecordTypes(const std::vector<BYTE>& emf) {
    std::vector<DWORD> types;
    for (std::size_t at = 0; at + 8 <= emf.size();) {
        DWORD type, size;
        std::memcpy(&type, emf.data() + at, 4);
        std::memcpy(&size, emf.data() + at + 4, 4);
        types.push_back(type);
        if (size == 0)
            break;
        at += size;
    }
    return types;
}

// Where the record before the end record starts.
std::size_t LastRecordAt(const std::vector<BYTE>& emf) {
    const std::size_t records = RecordTypes(emf).size();
    std::size_t at = 0;
    for (std::size_t i = 0; i + 2 < records; ++i) {
        DWORD size;
        std::memcpy(&size, emf.data() + at + 4, 4);
        at += size;
    }
    return at;
}

// The records of a Windows metafile behind its header: function and parameter words.
struct TWmfRecord {
    WORD Function;
    std::vector<int> Words;
};
std::vector<TWmfRecord> WmfRecords(const std::vector<BYTE>& wmf) {
    std::vector<TWmfRecord> records;
    for (std::size_t at = 18; at + 6 <= wmf.size();) {
        const std::size_t words = std::size_t(wmf[at] | wmf[at + 1] << 8 | wmf[at + 2] << 16) ;
        TWmfRecord record{WORD(wmf[at + 4] | wmf[at + 5] << 8), {}};
        for (std::size_t i = 3; i < words && at + 2 * i + 1 < wmf.size(); ++i)
            record.Words.push_back(std::int16_t(wmf[at + 2 * i] | wmf[at + 2 * i + 1] << 8));
        records.push_back(record);
        if (words < 3 || record.Function == 0)
            break;
        at += 2 * words;
    }
    return records;
}

std::string Text(const RECTL& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

class TMetaConvertTest : public TGdiTest {};

TEST_F(TMetaConvertTest, PlacesTheMeasuredPictureOnTheReferenceScreen) {
    struct TCase {
        LONG XExt, YExt;
        const char* Bounds;
        const char* Frame;
    };
    const TCase cases[] = {
        {0, 0, "133,150,1732,1049", "3518,3972,45825,27779"},
        {45825, 27779, "120,146,1562,1018", "0,0,45825,27779"},
        {2540, 1270, "7,7,87,47", "0,0,2540,1270"},
    };
    const std::vector<BYTE> wmf = MeasuredPicture().Bytes();
    for (const TCase& c : cases) {
        HENHMETAFILE metafile = Convert(wmf, c.XExt, c.YExt);
        ASSERT_NE(metafile, nullptr) << c.XExt;
        const ENHMETAHEADER header = Header(metafile);
        EXPECT_EQ(Text(header.rclBounds), c.Bounds) << c.XExt;
        EXPECT_EQ(Text(header.rclFrame), c.Frame) << c.XExt;
        EXPECT_EQ(header.szlDevice.cx, 1920);
        EXPECT_EQ(header.szlDevice.cy, 1080);
        EXPECT_EQ(header.szlMillimeters.cx, 508);
        EXPECT_EQ(header.szlMillimeters.cy, 286);
        EXPECT_EQ(header.nHandles, 5);  // the four slots and the metafile's own
        const std::vector<DWORD> expected{1, 70, 17, 11, 9, 17, 10, 9, 43, 42, 14};
        EXPECT_EQ(RecordTypes(EmfBytes(metafile)), expected);
        DeleteEnhMetaFile(metafile);
    }
    // A wide pen's outline reaches half its width beyond the figure; a null pen's does not.
    TWmf wide;
    wide.Record(kSetMapMode, {MM_ANISOTROPIC})
        .Record(kSetWindowExt, {720, 1440})
        .Raw(kCreatePen, {PS_SOLID, 40, 0, 0, 0})
        .Record(kSelectObject, {0})
        .Record(kRectangle, {500, 700, 100, 100})
        .Raw(kCreatePen, {PS_NULL, 400, 0, 0, 0})
        .Record(kSelectObject, {1})
        .Record(kRectangle, {710, 1300, 600, 1200});
    HENHMETAFILE widened = Convert(wide.Bytes(), 0, 0);
    EXPECT_EQ(Text(Header(widened).rclBounds), "107,120,1732,1064");
    DeleteEnhMetaFile(widened);
    // The picture framework's two steps: the frame of the first conversion sizes the second.
    HENHMETAFILE first = Convert(wmf, 0, 0);
    const RECTL frame = Header(first).rclFrame;
    DeleteEnhMetaFile(first);
    HENHMETAFILE second = Convert(wmf, frame.right, frame.bottom);
    EXPECT_EQ(Text(Header(second).rclFrame), "0,0,45825,27779");
    DeleteEnhMetaFile(second);
}

TEST_F(TMetaConvertTest, AConvertedPicturePaintsAsTheOriginalPlays) {
    // 64 × 64 logical units placed on the whole reference screen: played into a 64 × 64
    // rectangle, a unit is a pixel again, as PlayMetaFile draws it under the same mapping.
    TWmf wmf = ColouredBox();
    wmf.Record(kDeleteObject, {1})
        .Raw(kCreateBrush, {BS_HATCHED, 0, 0xFF, HS_DIAGCROSS})
        .Record(kSelectObject, {1})
        .Record(kEllipse, {60, 62, 20, 25})
        .Raw(kPolygon, {3, 5, 60, 30, 45, 10, 62})
        .Record(kMoveTo, {50, 2})
        .Record(kLineTo, {10, 60})
        // An old monochrome bitmap blitted in the text and background colours of the moment.
        .Raw(kSetTextColor, {0x00FF, 0})
        .Raw(kSetBkColor, {0, 0xFF})
        .Raw(kBitBlt, {0x0020, 0x00CC, 0, 0, 8, 8, 50, 40, 0, 8, 8, 2, 1 | 1 << 8, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0,
                       0x0F, 0xF0, 0x0F})
        // Old 4- and 8-bit bitmaps, whose colours are the device's: every 4-bit value, then static
        // and unused system-palette entries.
        .Raw(kBitBlt, {0x0020, 0x00CC, 0, 0, 2, 8, 0, 44, 0, 8, 2, 4, 1 | 4 << 8, 0x2301, 0x6745, 0xAB89, 0xEFCD})
        .Raw(kBitBlt, {0x0020, 0x00CC, 0, 0, 2, 4, 4, 44, 0, 4, 2, 4, 1 | 8 << 8, 0x0900, 0xFFF6, 0x0701, 0x0CFA});
    std::vector<int> pattern{0, 8, 8, 4, 1 | 4 << 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    auto pair = [](int left) { return (left + 1) % 16 | left % 16 << 4; };  // two pixels of a byte
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; x += 4)
            pattern.push_back(pair(x + 2 * y) | pair(x + 2 * y + 2) << 8);
    wmf.Raw(kCreatePatternBrush, pattern).Record(kSelectObject, {2}).Record(kRectangle, {10, 64, 0, 52});
    const std::vector<BYTE> bytes = wmf.Bytes();
    auto played = MakeWhiteSurface(64, 64), converted = MakeWhiteSurface(64, 64);
    SetMapMode(played->Dc(), MM_ANISOTROPIC);
    SetViewportExtEx(played->Dc(), 64, 64, nullptr);
    HMETAFILE original = SetMetaFileBitsEx(UINT(bytes.size()), bytes.data());
    ASSERT_TRUE(PlayMetaFile(played->Dc(), original));
    const METAFILEPICT whole{MM_ANISOTROPIC, 50800, 28600, nullptr};
    HENHMETAFILE metafile = SetWinMetaFileBits(UINT(bytes.size()), bytes.data(), nullptr, &whole);
    ASSERT_NE(metafile, nullptr);
    const RECT cell{0, 0, 64, 64};
    ASSERT_TRUE(PlayEnhMetaFile(converted->Dc(), metafile, &cell));
    EXPECT_EQ(SurfacePicture(*converted, 64, 64, RGB(0, 255, 0), 'G'),
              SurfacePicture(*played, 64, 64, RGB(0, 255, 0), 'G'));
    EXPECT_EQ(converted->Colours(), played->Colours());
    EXPECT_EQ(GetPixel(converted->Dc(), 40, 50), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(converted->Dc(), 44, 50), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(converted->Dc(), 45, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(converted->Dc(), 48, 1), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(converted->Dc(), 45, 4), RGB(166, 202, 240));
    EXPECT_EQ(GetPixel(converted->Dc(), 46, 4), RGB(255, 251, 240));
    DeleteMetaFile(original);
    DeleteEnhMetaFile(metafile);
}

TEST_F(TMetaConvertTest, TextIsDecodedThroughTheFontsCodePage) {
    // A Shift JIS font: 0x82A0 is HIRAGANA LETTER A; the record's two bytes are one character.
    TWmf wmf(1);
    std::vector<int> font{-20, 0, 0, 0, 400, 0, 128 << 8, 0, 0};  // charset SHIFTJIS_CHARSET
    font.push_back('A' | 'r' << 8), font.push_back('i' | 'a' << 8), font.push_back('l');
    wmf.Raw(kCreateFont, font).Record(kSelectObject, {0}).Raw(kTextOut, {3, 'A' | 0x82 << 8, 0xA0, 7, 5});
    const std::vector<BYTE> bytes = wmf.Bytes();
    HENHMETAFILE metafile = Convert(bytes, 0, 0);
    ASSERT_NE(metafile, nullptr);
    const std::vector<BYTE> emf = EmfBytes(metafile);
    const std::vector<DWORD> types = RecordTypes(emf);
    ASSERT_EQ(types[types.size() - 2], 84u);  // EXTTEXTOUTW before the end record
    const std::size_t at = LastRecordAt(emf);
    DWORD chars, offString;
    LONG x, y;
    std::memcpy(&x, emf.data() + at + 36, 4);
    std::memcpy(&y, emf.data() + at + 40, 4);
    std::memcpy(&chars, emf.data() + at + 44, 4);
    std::memcpy(&offString, emf.data() + at + 48, 4);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 7);
    ASSERT_EQ(chars, 2u);
    char16_t text[2];
    std::memcpy(text, emf.data() + at + offString, 4);
    EXPECT_EQ(text[0], u'A');
    EXPECT_EQ(text[1], u'\u3042');
    DeleteEnhMetaFile(metafile);
}

// Text that comes without advances gets the font's own at its logical size, as the platform's
// conversion stores them (measured for Arial 420 units high), so it keeps its logical length
// wherever the picture is played; a record's own advances are kept.
TEST_F(TMetaConvertTest, TextWithoutAdvancesGetsTheFontsOwnAtItsLogicalSize) {
    std::vector<int> font{-420, 0, 0, 0, 400, 0, 0, 0, 0};
    font.push_back('A' | 'r' << 8), font.push_back('i' | 'a' << 8), font.push_back('l');
    const auto advances = [](const std::vector<BYTE>& bytes, LONG xExt = 0, LONG yExt = 0) {
        HENHMETAFILE metafile = Convert(bytes, xExt, yExt);
        EXPECT_NE(metafile, nullptr);
        const std::vector<BYTE> emf = EmfBytes(metafile);
        DeleteEnhMetaFile(metafile);
        const std::size_t at = LastRecordAt(emf);
        DWORD chars, offDx;
        std::memcpy(&chars, emf.data() + at + 44, 4);
        std::memcpy(&offDx, emf.data() + at + 72, 4);
        std::vector<INT> dx(offDx == 0 ? 0 : chars);
        if (!dx.empty())
            std::memcpy(dx.data(), emf.data() + at + offDx, dx.size() * 4);
        return dx;
    };
    TWmf plain(1);
    plain.Raw(kCreateFont, font)
        .Record(kSelectObject, {0})
        .Raw(kTextOut, {7, 'W' | 'M' << 8, 'F' | ' ' << 8, 'G' | 'D' << 8, 'I', 100, 50});
    EXPECT_EQ(advances(plain.Bytes()), (std::vector<INT>{396, 350, 257, 117, 327, 303, 117}));
    // The context's spacing goes into them: 20 units a character, and 9 shared by two spaces,
    // the first taking the odd one; a record's own advances stand without it.
    TWmf spaced(1);
    spaced.Raw(kCreateFont, font)
        .Record(kSelectObject, {0})
        .Record(kSetTextCharExtra, {20})
        .Record(kSetTextJustification, {2, 9})
        .Raw(kTextOut, {7, 'W' | 'M' << 8, 'F' | ' ' << 8, 'G' | 'D' << 8, 'I', 100, 50})
        .Raw(kExtTextOut, {50, 100, 2, 0, 'W' | 'M' << 8, 40, 30});
    EXPECT_EQ(advances(spaced.Bytes()), (std::vector<INT>{40, 30}));
    spaced.Raw(kTextOut, {7, 'W' | 'M' << 8, 'F' | ' ' << 8, 'G' | 'D' << 8, 'I', 100, 50});
    EXPECT_EQ(advances(spaced.Bytes()), (std::vector<INT>{416, 370, 277, 142, 347, 323, 137}));
    // Where a unit is three quarters as long along y as along x, the advances are measured in
    // units along x: Arial 16 units high (a cell height) gives the platform's 7, 5, 6, 6, 5, 6.
    std::vector<int> cell{16, 0, 0, 0, 400, 0, 0, 0, 0};
    cell.push_back('A' | 'r' << 8), cell.push_back('i' | 'a' << 8), cell.push_back('l');
    TWmf squeezed(1);
    squeezed.Record(kSetMapMode, {MM_ANISOTROPIC})
        .Record(kSetWindowExt, {100, 100})
        .Raw(kCreateFont, cell)
        .Record(kSelectObject, {0})
        .Raw(kTextOut, {6, 'A' | 's' << 8, 'p' | 'o' << 8, 's' | 'e' << 8, 75, 25});
    EXPECT_EQ(advances(squeezed.Bytes(), 50800, 38133), (std::vector<INT>{7, 5, 6, 6, 5, 6}));
}

TEST_F(TMetaConvertTest, RefusesWhatIsNoMetafileAndStopsAtADamagedRecord) {
    const std::vector<BYTE> good = MeasuredPicture().Bytes();
    struct TCase {
        const char* Name;
        std::vector<BYTE> Bytes;
        LONG Mode;
        DWORD Error;
    };
    std::vector<BYTE> badType = good, badHeader = good;
    badType[0] = 7;
    badHeader[2] = 8;
    const TCase refused[] = {
        {"empty", {}, MM_ANISOTROPIC, ERROR_INVALID_DATA},
        {"short", std::vector<BYTE>(good.begin(), good.begin() + 17), MM_ANISOTROPIC, ERROR_INVALID_DATA},
        {"type", badType, MM_ANISOTROPIC, ERROR_INVALID_DATA},
        {"header size", badHeader, MM_ANISOTROPIC, ERROR_INVALID_DATA},
        {"mapping mode", good, 9, ERROR_INVALID_PARAMETER},
    };
    for (const TCase& c : refused) {
        SetLastError(0);
        EXPECT_EQ(Convert(c.Bytes, 0, 0, c.Mode), nullptr) << c.Name;
        EXPECT_EQ(GetLastError(), c.Error) << c.Name;
    }
    // A polygon set of no polygons is an empty record, not a damaged one (a fuzzing find).
    TWmf none = MeasuredPicture();
    none.Raw(0x0538, {0});
    HENHMETAFILE empty = Convert(none.Bytes(), 0, 0);
    ASSERT_NE(empty, nullptr);
    const std::vector<DWORD> emptyTypes = RecordTypes(EmfBytes(empty));
    EXPECT_EQ(emptyTypes[emptyTypes.size() - 2], 91u);  // POLYPOLYGON16
    DeleteEnhMetaFile(empty);
    // A record whose parameters run past its size ends the picture there, as it ends playback:
    // the rectangle is kept, the cut-short ellipse and what follows are not.
    TWmf cut = MeasuredPicture();
    cut.Record(kEllipse, {1, 2}).Record(kRectangle, {1, 1, 0, 0});
    HENHMETAFILE metafile = Convert(cut.Bytes(), 0, 0);
    ASSERT_NE(metafile, nullptr);
    const std::vector<DWORD> types = RecordTypes(EmfBytes(metafile));
    EXPECT_EQ(std::count(types.begin(), types.end(), 43u), 1);
    EXPECT_EQ(std::count(types.begin(), types.end(), 42u), 1);
    DeleteEnhMetaFile(metafile);
    // A region record holding a bare rectangle (a writer that exists) makes no region but takes
    // its slot; painting and inverting name the region alone. Neither ends the picture.
    TWmf regions = MeasuredPicture();
    regions.Record(kCreateRegion, {10, 10, 20, 20})
        .Record(0x012B, {0})  // PAINTREGION
        .Record(0x012A, {0})  // INVERTREGION
        .Record(kRectangle, {1, 1, 0, 0});
    metafile = Convert(regions.Bytes(), 0, 0);
    ASSERT_NE(metafile, nullptr);
    const std::vector<DWORD> regionTypes = RecordTypes(EmfBytes(metafile));
    EXPECT_EQ(std::count(regionTypes.begin(), regionTypes.end(), 43u), 2);
    DeleteEnhMetaFile(metafile);
    // Sizes the storage cap refuses fail as out of memory, whatever the record that meets it.
    SetBitmapStorageCap(256);
    SetLastError(0);
    EXPECT_EQ(Convert(good, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
}

TEST_F(TMetaConvertTest, AWindowsMetafileOfAnEnhancedOneGivesItBackUnchanged) {
    // More than one comment's worth of records, so the enhanced metafile travels in pieces.
    emftest::TEmfBuilder builder(200, 100);
    builder.Brush(1, BS_SOLID, RGB(10, 200, 30)).Select(1).Record(emftest::kRectangle, {5, 5, 150, 80});
    for (int i = 0; i < 1200; ++i)
        builder.Record(emftest::kLineTo, {DWORD(i % 200), DWORD(i % 100)});
    const std::vector<BYTE> original = builder.Bytes();
    ASSERT_GT(original.size(), 0x4000u);
    HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(original.size()), original.data());
    ASSERT_NE(metafile, nullptr);
    const UINT needed = GetWinMetaFileBits(metafile, 0, nullptr, MM_ANISOTROPIC, nullptr);
    std::vector<BYTE> wmf(needed);
    SetLastError(0);
    EXPECT_EQ(GetWinMetaFileBits(metafile, needed - 1, wmf.data(), MM_ANISOTROPIC, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_EQ(GetWinMetaFileBits(metafile, needed, wmf.data(), MM_ANISOTROPIC, nullptr), needed);
    // Three comment records of the escape MFCOMMENT lead, then the mapping the picture is drawn in.
    std::size_t at = 18;
    for (int chunk = 0; chunk < 3; ++chunk) {
        EXPECT_EQ(wmf[at + 4] | wmf[at + 5] << 8, 0x0626) << chunk;
        EXPECT_EQ(wmf[at + 6] | wmf[at + 7] << 8, 0x000F) << chunk;
        at += 2 * (wmf[at] | wmf[at + 1] << 8 | wmf[at + 2] << 16);
    }
    EXPECT_EQ(wmf[at + 4] | wmf[at + 5] << 8, 0x0103);
    for (const METAFILEPICT& picture :
         {METAFILEPICT{MM_ANISOTROPIC, 0, 0, nullptr}, METAFILEPICT{MM_TEXT, 0, 0, nullptr}}) {
        HENHMETAFILE back = SetWinMetaFileBits(UINT(wmf.size()), wmf.data(), nullptr, &picture);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(EmfBytes(back), original);
        DeleteEnhMetaFile(back);
    }
    // Pieces that fail their check, or do not add up, are not taken: the records are translated.
    const std::size_t first = 18, second = first + 2 * (wmf[first] | wmf[first + 1] << 8);
    const std::size_t secondSize = 2 * std::size_t(wmf[second] | wmf[second + 1] << 8);
    struct TCase {
        const char* Name;
        std::vector<BYTE> Bytes;
    };
    std::vector<BYTE> flipped = wmf, dropped = wmf, recount = wmf;
    flipped[second + 6 + 36 + 100] ^= 1;
    dropped.erase(dropped.begin() + std::ptrdiff_t(second), dropped.begin() + std::ptrdiff_t(second + secondSize));
    recount[first + 6 + 22] = 2;  // two pieces announced, three there
    for (const TCase& c : {TCase{"check value", flipped}, TCase{"missing piece", dropped}, TCase{"count", recount}}) {
        HENHMETAFILE translated = SetWinMetaFileBits(UINT(c.Bytes.size()), c.Bytes.data(), nullptr, nullptr);
        ASSERT_NE(translated, nullptr) << c.Name;
        const std::vector<DWORD> types = RecordTypes(EmfBytes(translated));
        EXPECT_EQ(types[1], 70u) << c.Name;  // the Windows metafile's own comment first
        EXPECT_EQ(std::count(types.begin(), types.end(), 54u), 1200) << c.Name;  // every LINETO
        DeleteEnhMetaFile(translated);
    }
    DeleteEnhMetaFile(metafile);
}

TEST_F(TMetaConvertTest, TheWindowsMetafileIsTheFrameInReferencePixelsAndPaintsAsTheOriginal) {
    // A picture of 64 × 64 units on 1920 × 1024 reference pixels: 30 and 16 pixels a unit.
    TWmf wmf = ColouredBox();
    wmf.Raw(kPolygon, {4, 35, 25, 62, 40, 45, 62, 36, 50})
        .Raw(kPolygon, {3, 5, 60, 30, 45, 10, 62})
        .Raw(kCreateRegion, {0, 6, 0, 0, 34, 1, 1, 40, 2, 60, 12, 2, 2, 12, 40, 60, 2})
        .Record(kFillRegion, {2, 1})
        .Record(kMoveTo, {50, 2})
        .Record(kLineTo, {10, 60});
    // (An ellipse is left out: its right and bottom edges are left out by one logical unit,
    // and the two metafiles' logical units differ.)
    const std::vector<BYTE> bytes = wmf.Bytes();
    const METAFILEPICT picture{MM_ANISOTROPIC, 50800, 27117, nullptr};
    HENHMETAFILE metafile = SetWinMetaFileBits(UINT(bytes.size()), bytes.data(), nullptr, &picture);
    ASSERT_NE(metafile, nullptr);
    const std::vector<BYTE> back = WmfBits(metafile);
    ASSERT_FALSE(back.empty());
    // The records behind the comments: the mapping mode, then the frame as window origin and extent.
    std::size_t at = 18;
    while ((back[at + 4] | back[at + 5] << 8) == 0x0626)
        at += 2 * (back[at] | back[at + 1] << 8);
    auto word = [&back](std::size_t offset) { return int(std::int16_t(back[offset] | back[offset + 1] << 8)); };
    EXPECT_EQ(word(at + 4), 0x0103);
    EXPECT_EQ(word(at + 6), MM_ANISOTROPIC);
    EXPECT_EQ(word(at + 8 + 4), 0x020B);
    EXPECT_EQ(word(at + 8 + 6), 0);
    EXPECT_EQ(word(at + 8 + 8), 0);
    EXPECT_EQ(word(at + 18 + 4), 0x020C);
    EXPECT_EQ(word(at + 18 + 6), 1024);
    EXPECT_EQ(word(at + 18 + 8), 1920);

    auto enhanced = MakeWhiteSurface(64, 64), windows = MakeWhiteSurface(64, 64);
    const RECT cell{0, 0, 64, 64};
    ASSERT_TRUE(PlayEnhMetaFile(enhanced->Dc(), metafile, &cell));
    SetMapMode(windows->Dc(), MM_ANISOTROPIC);
    SetViewportExtEx(windows->Dc(), 64, 64, nullptr);
    HMETAFILE played = SetMetaFileBitsEx(UINT(back.size()), back.data());
    ASSERT_TRUE(PlayMetaFile(windows->Dc(), played));
    SetMapMode(windows->Dc(), MM_TEXT);  // the records left their window behind
    EXPECT_EQ(SurfacePicture(*windows, 64, 64, RGB(0, 255, 0), 'G'),
              SurfacePicture(*enhanced, 64, 64, RGB(0, 255, 0), 'G'));
    EXPECT_EQ(GetPixel(windows->Dc(), 55, 5), RGB(0, 255, 0));  // the region
    EXPECT_NE(enhanced->Colours(), MakeWhiteSurface(64, 64)->Colours());
    DeleteMetaFile(played);
    DeleteEnhMetaFile(metafile);
}

TEST_F(TMetaConvertTest, CoordinatesBeyondSixteenBitsAreClampedAndBadCallsRefused) {
    emftest::TEmfBuilder builder(100, 100);
    builder.Record(emftest::kRectangle, {DWORD(-5000000), 10, 5000000, 20});
    const std::vector<BYTE> bytes = builder.Bytes();
    HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
    const std::vector<BYTE> wmf = WmfBits(metafile);
    ASSERT_GT(wmf.size(), 40u);
    // The rectangle is the last record before the end: bottom, right, top, left.
    const std::size_t at = wmf.size() - 6 - 14;
    ASSERT_EQ(wmf[at + 4] | wmf[at + 5] << 8, 0x041B);
    EXPECT_EQ(std::int16_t(wmf[at + 8] | wmf[at + 9] << 8), 32767);
    EXPECT_EQ(std::int16_t(wmf[at + 12] | wmf[at + 13] << 8), -32768);
    struct TCase {
        const char* Name;
        HENHMETAFILE Metafile;
        INT Mode;
        DWORD Error;
    };
    const TCase refused[] = {
        {"handle", reinterpret_cast<HENHMETAFILE>(std::uintptr_t(0x1234)), MM_ANISOTROPIC, ERROR_INVALID_HANDLE},
        {"mapping mode", metafile, 0, ERROR_INVALID_PARAMETER},
        {"mapping mode", metafile, 9, ERROR_INVALID_PARAMETER},
    };
    for (const TCase& c : refused) {
        SetLastError(0);
        EXPECT_EQ(GetWinMetaFileBits(c.Metafile, 0, nullptr, c.Mode, nullptr), 0u) << c.Name;
        EXPECT_EQ(GetLastError(), c.Error) << c.Name;
    }
    // Every fixed mode makes a metafile that converts back to the same enhanced one.
    for (INT mode = MM_TEXT; mode <= MM_ANISOTROPIC; ++mode) {
        std::vector<BYTE> bits(GetWinMetaFileBits(metafile, 0, nullptr, mode, nullptr));
        ASSERT_EQ(GetWinMetaFileBits(metafile, UINT(bits.size()), bits.data(), mode, nullptr), bits.size()) << mode;
        HENHMETAFILE back = SetWinMetaFileBits(UINT(bits.size()), bits.data(), nullptr, nullptr);
        EXPECT_EQ(EmfBytes(back), bytes) << mode;
        DeleteEnhMetaFile(back);
    }
    DeleteEnhMetaFile(metafile);
}

TEST_F(TMetaConvertTest, PathsAndTextAreTranslatedIntoTheOlderRecords) {
    // A filled triangle path: drawn as a polygon set without an outline, the pen given back.
    emftest::TEmfBuilder builder(100, 100);
    builder.Record(emftest::kBeginPath, {})
        .Record(emftest::kMoveTo, {10, 10})
        .Record(emftest::kLineTo, {90, 10})
        .Record(emftest::kLineTo, {50, 80})
        .Record(61, {})  // CLOSEFIGURE
        .Record(emftest::kEndPath, {})
        .Record(62, {0, 0, 0, 0})  // FILLPATH
        .Record(emftest::kSetTextJustification, {100, 2});
    // POLYTEXTOUTW: each of its runs becomes a text record of its own.
    const DWORD noRect[] = {0, 0, DWORD(-1), DWORD(-1)};
    std::vector<DWORD> poly{0, 0, 0, 0, GM_COMPATIBLE, emftest::Word(1), emftest::Word(1), 2};
    for (DWORD run = 0; run < 2; ++run) {
        poly.insert(poly.end(), {10, 20 + 20 * run, 2, 120 + 4 * run, 0});
        poly.insert(poly.end(), std::begin(noRect), std::end(noRect));
        poly.push_back(0);
    }
    poly.insert(poly.end(), {'H' | 'i' << 16, 'Y' | 'o' << 16});
    builder.Record(97, poly);
    const std::vector<BYTE> bytes = builder.Bytes();
    HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
    std::vector<WORD> functions;
    std::vector<int> polygon, justification, runs;
    for (const TWmfRecord& r : WmfRecords(WmfBits(metafile))) {
        if (r.Function == 0x0626)
            continue;
        functions.push_back(r.Function);
        if (r.Function == 0x0538)
            polygon = r.Words;
        if (r.Function == 0x020A)
            justification = r.Words;
        if (r.Function == 0x0A32)
            runs.push_back(r.Words.at(4));
    }
    EXPECT_EQ(runs, (std::vector<int>{'H' | 'i' << 8, 'Y' | 'o' << 8}));
    const std::vector<WORD> expected{0x0103, 0x020B, 0x020C, 0x02FA, 0x012D, 0x0538, 0x02FA,
                                     0x012D, 0x020A, 0x0A32, 0x0A32, 0x0000};
    EXPECT_EQ(functions, expected);
    // 100 pixels of a 10-per-millimetre device are 10 mm: 37.8 reference pixels, so 0.378 a unit.
    const std::vector<int> triangle{1, 3, 4, 4, 34, 4, 19, 30};
    EXPECT_EQ(polygon, triangle);
    EXPECT_EQ(justification, (std::vector<int>{2, 38})) << "the count, then the extra in the new units";
    DeleteEnhMetaFile(metafile);

    // Text of a Shift JIS font goes back into the code page it came from.
    TWmf wmf(1);
    std::vector<int> font{-20, 0, 0, 0, 400, 0, 128 << 8, 0, 0, 'A' | 'r' << 8, 'i' | 'a' << 8, 'l'};
    wmf.Raw(kCreateFont, font).Record(kSelectObject, {0}).Raw(kTextOut, {3, 'A' | 0x82 << 8, 0xA0, 7, 5});
    const std::vector<BYTE> original = wmf.Bytes();
    HENHMETAFILE converted = Convert(original, 0, 0);
    std::vector<int> text;
    for (const TWmfRecord& r : WmfRecords(WmfBits(converted))) {
        if (r.Function == 0x0A32)
            text = r.Words;
    }
    ASSERT_GE(text.size(), 6u);
    EXPECT_EQ(text[2], 3);  // three bytes
    EXPECT_EQ(text[4] & 0xFFFF, 'A' | 0x82 << 8);
    EXPECT_EQ(text[5] & 0xFF, 0xA0);
    DeleteEnhMetaFile(converted);
}

// Every Windows metafile of the shared corpus takes the picture framework's two steps, is drawn
// as a thumbnail, and its enhanced metafile survives the trip back through a Windows metafile.
TEST_F(TMetaConvertTest, ConvertsEveryCorpusFile) {
    namespace fs = std::filesystem;
    const fs::path folder = "../shared/corpus/wmf";
    if (!fs::exists(folder))
        GTEST_SKIP() << "no corpus";
    std::vector<std::string> refused;
    int converted = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().extension() != ".wmf")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::size_t skip = bytes.size() >= 22 && bytes[0] == 0xD7 && bytes[1] == 0xCD ? 22 : 0;
        const std::vector<BYTE> records(bytes.begin() + std::ptrdiff_t(skip), bytes.end());
        SetLastError(0);
        HENHMETAFILE first = Convert(records, 0, 0);
        if (first == nullptr) {
            refused.push_back(entry.path().filename().string() + " (" + std::to_string(GetLastError()) + ")");
            EXPECT_NE(GetLastError(), 0u) << entry.path();
            continue;
        }
        const RECTL frame = Header(first).rclFrame;
        DeleteEnhMetaFile(first);
        // Stretched over the whole reference screen, the picture plays as the original does into
        // a context whose window is that screen and whose viewport is the cell.
        {
            auto enhanced = MakeWhiteSurface(64, 64), windows = MakeWhiteSurface(64, 64);
            HENHMETAFILE whole = Convert(records, 50800, 28600);
            const RECT rect{0, 0, 64, 64};
            PlayEnhMetaFile(enhanced->Dc(), whole, &rect);
            DeleteEnhMetaFile(whole);
            SetMapMode(windows->Dc(), MM_ANISOTROPIC);
            SetWindowExtEx(windows->Dc(), 1920, 1080, nullptr);
            SetViewportExtEx(windows->Dc(), 64, 64, nullptr);
            HMETAFILE original = SetMetaFileBitsEx(UINT(records.size()), records.data());
            PlayMetaFile(windows->Dc(), original);
            DeleteMetaFile(original);
            SetMapMode(windows->Dc(), MM_TEXT);
            SetWindowOrgEx(windows->Dc(), 0, 0, nullptr);
            SetViewportOrgEx(windows->Dc(), 0, 0, nullptr);
            const std::vector<COLORREF> a = enhanced->Colours(), b = windows->Colours();
            int same = 0;
            for (std::size_t i = 0; i < a.size(); ++i)
                same += a[i] == b[i];
            // Only text may differ: the Windows-metafile player leaves it out.
            bool text = false;
            for (const TWmfRecord& r : WmfRecords(records))
                text = text || r.Function == 0x0521 || r.Function == 0x0A32;
            const double share = 100.0 * same / double(a.size());
            std::printf("%-40s %5.1f%% of pixels as played\n", entry.path().filename().string().c_str(), share);
            if (!text) {
                EXPECT_GE(share, 99.0) << entry.path();
            }
        }
        HENHMETAFILE picture = Convert(records, frame.right, frame.bottom);
        ASSERT_NE(picture, nullptr) << entry.path();
        auto cell = MakeWhiteSurface(64, 64);
        const RECT rect{0, 0, 64, 64};
        PlayEnhMetaFile(cell->Dc(), picture, &rect);
        const std::vector<BYTE> saved = WmfBits(picture, cell->Dc());
        ASSERT_FALSE(saved.empty()) << entry.path();
        HENHMETAFILE back = SetWinMetaFileBits(UINT(saved.size()), saved.data(), nullptr, nullptr);
        EXPECT_EQ(EmfBytes(back), EmfBytes(picture)) << entry.path();
        DeleteEnhMetaFile(back);
        DeleteEnhMetaFile(picture);
        ++converted;
    }
    std::string list;
    for (const std::string& name : refused)
        list += " " + name;
    std::printf("converted %d corpus files, refused %zu:%s\n", converted, refused.size(), list.c_str());
    EXPECT_GT(converted, 0);
}

// ---- records the older format has no counterpart for

// 96 reference pixels are 2540 hundredths of a millimetre: both metafiles play one to one.
constexpr int kSide = 96;
constexpr RECT kSquare{0, 0, 2540, 2540};

HENHMETAFILE RecordEmf(const std::function<void(HDC)>& draw) {
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &kSquare, nullptr);
    EXPECT_NE(dc, nullptr);
    draw(dc);
    return CloseEnhMetaFile(dc);
}

// The enhanced metafile played, and its Windows metafile played under the window it sets.
struct TPlayedPair {
    std::unique_ptr<TSurface> Enhanced = MakeWhiteSurface(kSide, kSide);
    std::unique_ptr<TSurface> Windows = MakeWhiteSurface(kSide, kSide);
    std::vector<TWmfRecord> Records;
};

// A fixed mapping mode is played as it is: on the default screen its units fall one to one on
// the reference pixels too.
TPlayedPair PlayBoth(HENHMETAFILE metafile, INT mode = MM_ANISOTROPIC) {
    TPlayedPair pair;
    const RECT cell{0, 0, kSide, kSide};
    EXPECT_TRUE(PlayEnhMetaFile(pair.Enhanced->Dc(), metafile, &cell));
    std::vector<BYTE> wmf(GetWinMetaFileBits(metafile, 0, nullptr, mode, nullptr));
    EXPECT_FALSE(wmf.empty());
    GetWinMetaFileBits(metafile, UINT(wmf.size()), wmf.data(), mode, nullptr);
    pair.Records = WmfRecords(wmf);
    SetMapMode(pair.Windows->Dc(), MM_ANISOTROPIC);
    SetViewportExtEx(pair.Windows->Dc(), kSide, kSide, nullptr);
    HMETAFILE played = SetMetaFileBitsEx(UINT(wmf.size()), wmf.data());
    EXPECT_TRUE(PlayMetaFile(pair.Windows->Dc(), played));
    DeleteMetaFile(played);
    // The records leave their window and clip behind.
    SetMapMode(pair.Windows->Dc(), MM_TEXT);
    SelectClipRgn(pair.Windows->Dc(), nullptr);
    return pair;
}

// Pixels of one surface with no pixel of the other within `reach` of them, colour channels
// within `tolerance`, both ways.
int Strays(const TSurface& a, const TSurface& b, int reach, int tolerance) {
    auto close = [tolerance](COLORREF p, COLORREF q) {
        return std::abs(int(GetRValue(p)) - int(GetRValue(q))) <= tolerance &&
               std::abs(int(GetGValue(p)) - int(GetGValue(q))) <= tolerance &&
               std::abs(int(GetBValue(p)) - int(GetBValue(q))) <= tolerance;
    };
    int strays = 0;
    for (const auto& [one, other] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const COLORREF p = GetPixel(one->Dc(), x, y);
                bool found = false;
                for (int dy = -reach; dy <= reach && !found; ++dy)
                    for (int dx = -reach; dx <= reach && !found; ++dx)
                        found = x + dx >= 0 && y + dy >= 0 && x + dx < kSide && y + dy < kSide &&
                                close(p, GetPixel(other->Dc(), x + dx, y + dy));
                strays += !found;
            }
    }
    return strays;
}

struct TSourceBitmaps {
    // 8 × 8: a red and blue checkerboard of 2-pixel squares with a green key column at x 6 and 7.
    std::unique_ptr<TSurface> Colour = MakeDib(24, 8, 8);
    std::unique_ptr<TSurface> Mask = MakeDdb(1, 8, 8);  // set on the left half
    std::unique_ptr<TSurface> Alpha = MakeDib(32, 8, 8);  // premultiplied: opaque top, clear bottom, 192 between
    TSourceBitmaps() {
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                Colour->SetRaw(x, y, x >= 6 ? 0x00FF00 : ((x / 2 + y / 2) % 2 ? 0xFF0000 : 0x0000FF));
                SetPixel(Mask->Dc(), x, y, x < 4 ? RGB(255, 255, 255) : RGB(0, 0, 0));
                Alpha->SetRaw(x, y, y < 3 ? 0xFF00FF00u : y < 5 ? 0xC0009000u : 0u);
            }
    }
};

void Background(HDC dc) {
    HBRUSH brush = CreateSolidBrush(RGB(250, 200, 0));
    const RECT band{0, 30, kSide, 60};
    FillRect(dc, &band, brush);
    DeleteObject(brush);
}

struct TDrawCase {
    const char* Name;
    std::function<void(HDC, const TSourceBitmaps&)> Draw;
    int Reach, Tolerance;
};

const TDrawCase kNewerRecords[] = {
    {"arc to", [](HDC dc, const TSourceBitmaps&) {
         HPEN pen = CreatePen(PS_SOLID, 1, RGB(200, 0, 0));
         SelectObject(dc, pen);
         MoveToEx(dc, 5, 5, nullptr);
         ArcTo(dc, 20, 20, 80, 70, 90, 45, 50, 10);
         LineTo(dc, 90, 90);
         SetArcDirection(dc, AD_CLOCKWISE);
         ArcTo(dc, 10, 60, 40, 90, 10, 75, 40, 75);
         LineTo(dc, 5, 50);
         SelectObject(dc, GetStockObject(BLACK_PEN));
         DeleteObject(pen);
     }, 1, 0},
    {"angle arc", [](HDC dc, const TSourceBitmaps&) {
         MoveToEx(dc, 5, 90, nullptr);
         AngleArc(dc, 48, 48, 30, 30, 200);
         LineTo(dc, 90, 10);
         AngleArc(dc, 60, 60, 20, 90, -450);
         LineTo(dc, 2, 2);
     }, 1, 0},
    {"poly draw", [](HDC dc, const TSourceBitmaps&) {
         const POINT points[] = {{10, 10}, {80, 15}, {90, 40}, {30, 80}, {10, 60}, {40, 40}, {50, 90}, {70, 90},
                                 {90, 60}, {60, 50}};
         const BYTE types[] = {PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO | PT_CLOSEFIGURE,
                               PT_LINETO, PT_MOVETO, PT_LINETO, PT_LINETO | PT_CLOSEFIGURE, PT_LINETO};
         PolyDraw(dc, points, types, 10);
         LineTo(dc, 5, 90);
     }, 1, 0},
    {"curves in a path", [](HDC dc, const TSourceBitmaps&) {
         HBRUSH brush = CreateSolidBrush(RGB(0, 90, 200));
         SelectObject(dc, brush);
         BeginPath(dc);
         MoveToEx(dc, 10, 50, nullptr);
         ArcTo(dc, 20, 10, 80, 60, 20, 35, 80, 35);
         AngleArc(dc, 70, 75, 15, 0, -180);
         const POINT points[] = {{40, 90}, {20, 95}, {10, 70}, {30, 30}, {50, 30}};
         const BYTE types[] = {PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO | PT_CLOSEFIGURE, PT_MOVETO};
         PolyDraw(dc, points, types, 5);
         LineTo(dc, 60, 40);
         LineTo(dc, 40, 45);
         CloseFigure(dc);
         EndPath(dc);
         StrokeAndFillPath(dc);
         SelectObject(dc, GetStockObject(WHITE_BRUSH));
         DeleteObject(brush);
     }, 2, 0},  // the path flattens its curves otherwise
    {"shapes in a path", [](HDC dc, const TSourceBitmaps&) {
         SelectObject(dc, GetStockObject(LTGRAY_BRUSH));
         SetPolyFillMode(dc, WINDING);
         BeginPath(dc);
         Ellipse(dc, 5, 5, 60, 45);
         RoundRect(dc, 30, 20, 90, 60, 20, 14);
         SetArcDirection(dc, AD_CLOCKWISE);
         Pie(dc, 5, 50, 50, 92, 50, 70, 5, 50);
         Chord(dc, 55, 60, 92, 92, 92, 70, 55, 90);
         Arc(dc, 40, 40, 70, 70, 70, 55, 40, 55);
         LineTo(dc, 90, 5);
         // A path does not gather bitmaps: this one is drawn at once, under the path's figures.
         TRIVERTEX v[] = {{60, 70, 0xFF00, 0, 0, 0}, {95, 95, 0, 0, 0xFF00, 0}};
         GRADIENT_RECT rect{0, 1};
         GradientFill(dc, v, 2, &rect, 1, GRADIENT_FILL_RECT_V);
         EndPath(dc);
         StrokeAndFillPath(dc);
     }, 2, 8},  // the path flattens its curves otherwise
    {"gradients", [](HDC dc, const TSourceBitmaps&) {
         Background(dc);
         TRIVERTEX v[] = {{5, 5, 0xFF00, 0, 0, 0}, {45, 40, 0, 0, 0xFF00, 0}, {50, 50, 0, 0xFF00, 0, 0},
                          {90, 90, 0xFF00, 0xFF00, 0, 0}, {10, 50, 0, 0, 0xFF00, 0}, {90, 45, 0xFF00, 0, 0xFF00, 0},
                          {40, 92, 0x8000, 0x8000, 0x8000, 0}};
         GRADIENT_RECT h{0, 1}, vertical{2, 3};
         GRADIENT_TRIANGLE triangle{4, 5, 6};
         GradientFill(dc, v, 7, &h, 1, GRADIENT_FILL_RECT_H);
         GradientFill(dc, v, 7, &vertical, 1, GRADIENT_FILL_RECT_V);
         GradientFill(dc, v, 7, &triangle, 1, GRADIENT_FILL_TRIANGLE);
     }, 1, 8},
    {"transparent blit", [](HDC dc, const TSourceBitmaps& s) {
         Background(dc);
         TransparentBlt(dc, 10, 10, 64, 64, s.Colour->Dc(), 0, 0, 8, 8, RGB(0, 255, 0));
     }, 1, 0},
    {"opaque alpha blend", [](HDC dc, const TSourceBitmaps& s) {
         AlphaBlend(dc, 8, 20, 80, 48, s.Colour->Dc(), 1, 1, 6, 6, BLENDFUNCTION{AC_SRC_OVER, 0, 255, 0});
     }, 1, 0},
    {"mask blit", [](HDC dc, const TSourceBitmaps& s) {
         Background(dc);
         MaskBlt(dc, 20, 20, 8, 8, s.Colour->Dc(), 0, 0, s.Mask->Bitmap(), 0, 0, MAKEROP4(SRCCOPY, 0x00AA0029));
     }, 0, 0},
    {"parallelogram blit", [](HDC dc, const TSourceBitmaps& s) {
         Background(dc);
         const POINT corners[] = {{30, 5}, {90, 30}, {10, 60}};
         PlgBlt(dc, corners, s.Colour->Dc(), 0, 0, 8, 8, nullptr, 0, 0);
     }, 1, 0},
    {"clip regions", [](HDC dc, const TSourceBitmaps&) {
         // An L of two rectangles, a hole cut out of it, and after RestoreDC a clip of its own.
         HRGN l = CreateRectRgn(10, 10, 40, 80), foot = CreateRectRgn(10, 60, 90, 80), hole = CreateRectRgn(15, 65, 30, 75);
         CombineRgn(l, l, foot, RGN_OR);
         SaveDC(dc);
         ExtSelectClipRgn(dc, l, RGN_COPY);
         ExtSelectClipRgn(dc, hole, RGN_DIFF);
         SelectObject(dc, GetStockObject(BLACK_BRUSH));
         Rectangle(dc, 0, 0, kSide, kSide);
         RestoreDC(dc, -1);
         ExtSelectClipRgn(dc, foot, RGN_XOR);
         OffsetClipRgn(dc, 3, -2);
         SelectObject(dc, GetStockObject(GRAY_BRUSH));
         Ellipse(dc, 50, 5, 95, 95);
         for (HRGN r : {l, foot, hole})
             DeleteObject(r);
     }, 0, 0},
    {"clip paths", [](HDC dc, const TSourceBitmaps&) {
         // Two overlapping figures filled WINDING, less a triangle.
         SetPolyFillMode(dc, WINDING);
         BeginPath(dc);
         Rectangle(dc, 10, 10, 60, 70);
         const POINT star[] = {{50, 5}, {90, 80}, {5, 40}, {95, 40}, {10, 80}};
         Polygon(dc, star, 5);
         EndPath(dc);
         SelectClipPath(dc, RGN_COPY);
         BeginPath(dc);
         const POINT cut[] = {{20, 60}, {80, 60}, {50, 95}};
         Polygon(dc, cut, 3);
         EndPath(dc);
         SelectClipPath(dc, RGN_DIFF);
         SelectObject(dc, GetStockObject(DKGRAY_BRUSH));
         PatBlt(dc, 0, 0, kSide, kSide, PATCOPY);
     }, 0, 0},
};

TEST_F(TMetaConvertTest, NewerRecordsDrawInTheWindowsMetafileAsTheyPlay) {
    const TSourceBitmaps sources;
    for (const TDrawCase& c : kNewerRecords) {
        HENHMETAFILE metafile = RecordEmf([&](HDC dc) { c.Draw(dc, sources); });
        ASSERT_NE(metafile, nullptr) << c.Name;
        const TPlayedPair pair = PlayBoth(metafile);
        EXPECT_NE(pair.Enhanced->Colours(), MakeWhiteSurface(kSide, kSide)->Colours()) << c.Name;
        EXPECT_EQ(Strays(*pair.Enhanced, *pair.Windows, c.Reach, c.Tolerance), 0) << c.Name << "\n"
            << SurfacePicture(*pair.Windows, kSide, kSide, RGB(250, 200, 0), 'o') << "\n"
            << SurfacePicture(*pair.Enhanced, kSide, kSide, RGB(250, 200, 0), 'o');
        // Only records every player knows: no escapes but the comments leading the picture.
        for (const TWmfRecord& r : pair.Records)
            EXPECT_TRUE(r.Function != 0x0626 || r.Words[0] == 0x000F) << c.Name;
        DeleteEnhMetaFile(metafile);
    }
}

TEST_F(TMetaConvertTest, RasterisedRecordsStayUprightUnderAFixedMappingMode) {
    // Hundredths of a millimetre turn y upwards: the bitmaps' rows must not.
    const TSourceBitmaps sources;
    for (const TDrawCase* c : {&kNewerRecords[5], &kNewerRecords[6]}) {
        HENHMETAFILE metafile = RecordEmf([&](HDC dc) { c->Draw(dc, sources); });
        const TPlayedPair pair = PlayBoth(metafile, MM_HIMETRIC);
        EXPECT_EQ(Strays(*pair.Enhanced, *pair.Windows, 1, 8), 0) << c->Name;
        DeleteEnhMetaFile(metafile);
    }
}

TEST_F(TMetaConvertTest, BlendsAreDrawnOpaqueWhereTheyCoverAtLeastHalf) {
    const TSourceBitmaps sources;
    HENHMETAFILE metafile = RecordEmf([&](HDC dc) {
        Background(dc);
        // Per-pixel alpha: opaque rows, rows of alpha 192, clear rows; a constant 100 draws nothing.
        AlphaBlend(dc, 0, 20, 48, 48, sources.Alpha->Dc(), 0, 0, 8, 8, BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA});
        AlphaBlend(dc, 50, 20, 40, 40, sources.Colour->Dc(), 0, 0, 8, 8, BLENDFUNCTION{AC_SRC_OVER, 0, 100, 0});
    });
    const TPlayedPair pair = PlayBoth(metafile);
    const HDC dc = pair.Windows->Dc();
    EXPECT_EQ(GetPixel(dc, 20, 25), RGB(0, 255, 0));   // opaque
    EXPECT_EQ(GetPixel(dc, 20, 45), RGB(0, 191, 0));   // 144 un-premultiplied by 192 / 255
    EXPECT_EQ(GetPixel(dc, 20, 62), RGB(255, 255, 255));  // clear, below the band
    EXPECT_EQ(GetPixel(dc, 20, 55), RGB(250, 200, 0));
    EXPECT_EQ(GetPixel(dc, 60, 40), RGB(250, 200, 0));  // too faint to draw
    EXPECT_NE(GetPixel(pair.Enhanced->Dc(), 60, 40), RGB(250, 200, 0));
    DeleteEnhMetaFile(metafile);
}

TEST_F(TMetaConvertTest, ADamagedPolyDrawIsLeftOutOrEndsThePicture) {
    // Types a call refuses (a lone Bézier point) draw nothing; counts beyond the record end the
    // picture as they end playback.
    auto build = [](DWORD count, BYTE badType) {
        emftest::TEmfBuilder builder(100, 100);
        builder.Record(emftest::kMoveTo, {5, 5})
            .Record(56, {0, 0, 0, 0, count, 50, 50, 60, 60, DWORD(PT_LINETO) | DWORD(badType) << 8})
            .Record(emftest::kRectangle, {10, 10, 30, 30});
        return builder.Bytes();
    };
    struct TCase {
        const char* Name;
        std::vector<BYTE> Bytes;
        int Polylines, Rectangles;
    };
    const TCase cases[] = {
        {"sound", build(2, PT_LINETO), 1, 1},
        {"lone Bézier point", build(2, PT_BEZIERTO), 0, 1},
        {"unknown type", build(2, 0x20), 0, 1},
        {"count beyond the record", build(3, PT_LINETO), 0, 0},
    };
    for (const TCase& c : cases) {
        HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(c.Bytes.size()), c.Bytes.data());
        ASSERT_NE(metafile, nullptr) << c.Name;
        int polylines = 0, rectangles = 0;
        for (const TWmfRecord& r : WmfRecords(WmfBits(metafile)))
            polylines += r.Function == 0x0325, rectangles += r.Function == kRectangle;
        EXPECT_EQ(polylines, c.Polylines) << c.Name;
        EXPECT_EQ(rectangles, c.Rectangles) << c.Name;
        DeleteEnhMetaFile(metafile);
    }
}

}  // namespace
