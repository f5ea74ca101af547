// Enhanced metafiles written in code for the tests: a header for a picture of a given size in
// reference pixels, records appended as 32-bit words, and the end record, with the sizes and
// counts filled in. Each malformed case is one change to a valid stream.
#pragma once

#include "platform/gdi/EnhMetaFile.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace emftest {

using namespace gdi;

// Record types the tests write (the published numbers).
enum : DWORD {
    kPolygon = 3, kPolyline = 4, kPolylineTo = 6, kPolyPolygon = 8, kSetWindowExt = 9, kSetWindowOrg = 10,
    kSetViewportExt = 11, kSetViewportOrg = 12, kEof = 14, kSetPixelV = 15, kSetMapMode = 17, kSetBkMode = 18,
    kSetPolyFillMode = 19, kSetRop2 = 20, kSetTextAlign = 22, kSetTextColor = 24, kSetBkColor = 25, kMoveTo = 27,
    kExcludeClipRect = 29, kIntersectClipRect = 30, kSaveDc = 33, kRestoreDc = 34, kSetWorldTransform = 35,
    kSelectObject = 37, kCreatePen = 38, kCreateBrush = 39, kDeleteObject = 40, kEllipse = 42, kRectangle = 43,
    kLineTo = 54, kBeginPath = 59, kEndPath = 60, kComment = 70, kFillRgn = 71, kExtSelectClipRgn = 75,
    kBitBlt = 76, kStretchDIBits = 81, kExtCreateFont = 82, kExtTextOutA = 83, kExtTextOutW = 84,
    kPolygon16 = 86, kPolyline16 = 87, kPolyPolyline16 = 90, kPolyPolygon16 = 91, kCreateMonoBrush = 93,
    kSmallTextOut = 108, kSetTextJustification = 120,
};

constexpr DWORD kStock = 0x80000000u;

inline DWORD Word(float value) {
    DWORD word;
    std::memcpy(&word, &value, 4);
    return word;
}

class TEmfBuilder {
public:
    /// A picture width × height reference pixels large on a device of 10 pixels per millimetre,
    /// so that played into RECT{0, 0, width, height} one record unit is one pixel.
    TEmfBuilder(LONG width, LONG height, WORD handles = 8) : FHandles(handles) {
        FFrame = RECTL{0, 0, width * 10, height * 10};
    }

    TEmfBuilder& Record(DWORD type, std::initializer_list<DWORD> words) {
        return Record(type, std::vector<DWORD>(words));
    }
    TEmfBuilder& Record(DWORD type, const std::vector<DWORD>& words) {
        FRecords.push_back(type);
        FRecords.push_back(DWORD(8 + 4 * words.size()));
        FRecords.insert(FRecords.end(), words.begin(), words.end());
        ++FCount;
        return *this;
    }
    /// A poly record of 16-bit points: bounds, count, points.
    TEmfBuilder& Poly16(DWORD type, std::initializer_list<POINT> points) {
        std::vector<DWORD> words{0, 0, 0, 0, DWORD(points.size())};
        for (const POINT& p : points)
            words.push_back(DWORD(WORD(p.x)) | DWORD(WORD(p.y)) << 16);
        return Record(type, words);
    }
    TEmfBuilder& Poly32(DWORD type, std::initializer_list<POINT> points) {
        std::vector<DWORD> words{0, 0, 0, 0, DWORD(points.size())};
        for (const POINT& p : points)
            words.push_back(DWORD(p.x)), words.push_back(DWORD(p.y));
        return Record(type, words);
    }
    TEmfBuilder& Brush(DWORD index, UINT style, COLORREF colour, DWORD hatch = 0) {
        return Record(kCreateBrush, {index, style, colour, hatch});
    }
    TEmfBuilder& Pen(DWORD index, UINT style, LONG width, COLORREF colour) {
        return Record(kCreatePen, {index, style, DWORD(width), 0, colour});
    }
    TEmfBuilder& Select(DWORD index) { return Record(kSelectObject, {index}); }
    /// A font of the given em height (negative lfHeight) and face.
    TEmfBuilder& Font(DWORD index, LONG height, const std::u16string& face, BYTE charset = ANSI_CHARSET,
                      LONG escapement = 0) {
        std::vector<DWORD> words{index, DWORD(height), 0, DWORD(escapement), DWORD(escapement), FW_NORMAL,
                                 DWORD(charset) << 24};
        words.push_back(0);  // precision, clip precision, quality, pitch and family
        std::u16string name = face;
        name.resize(32, u'\0');
        for (std::size_t i = 0; i < 32; i += 2)
            words.push_back(DWORD(name[i]) | DWORD(name[i + 1]) << 16);
        return Record(kExtCreateFont, words);
    }
    /// An EXTTEXTOUTW (or, with ansi, EXTTEXTOUTA) record with advances when dx is not empty.
    TEmfBuilder& Text(LONG x, LONG y, UINT options, RECT rect, const std::u16string& text,
                      const std::vector<INT>& dx = {}, const std::string& ansi = {}, DWORD mode = GM_COMPATIBLE) {
        const bool wide = ansi.empty();
        const std::size_t chars = wide ? text.size() : ansi.size();
        const std::size_t fixed = 76;
        const std::size_t stringBytes = ((wide ? 2 * chars : chars) + 3) / 4 * 4;
        std::vector<DWORD> words{0, 0, 0, 0, mode, Word(1), Word(1), DWORD(x), DWORD(y), DWORD(chars),
                                 DWORD(fixed), options, DWORD(rect.left), DWORD(rect.top), DWORD(rect.right),
                                 DWORD(rect.bottom), dx.empty() ? 0 : DWORD(fixed + stringBytes)};
        std::vector<BYTE> string(stringBytes, 0);
        if (wide)
            std::memcpy(string.data(), text.data(), 2 * chars);
        else
            std::memcpy(string.data(), ansi.data(), chars);
        for (std::size_t i = 0; i < stringBytes; i += 4) {
            DWORD w;
            std::memcpy(&w, string.data() + i, 4);
            words.push_back(w);
        }
        for (INT d : dx)
            words.push_back(DWORD(d));
        return Record(wide ? kExtTextOutW : kExtTextOutA, words);
    }
    /// Region data of one rectangle, as the clip and region records carry it.
    static std::vector<DWORD> RegionData(RECT r) {
        return {32, 1, 1, 16, DWORD(r.left), DWORD(r.top), DWORD(r.right), DWORD(r.bottom),
                DWORD(r.left), DWORD(r.top), DWORD(r.right), DWORD(r.bottom)};
    }
    TEmfBuilder& EndPalette(std::vector<PALETTEENTRY> palette) {
        FPalette = std::move(palette);
        return *this;
    }

    std::vector<BYTE> Bytes() const {
        std::vector<DWORD> words(27, 0);  // a 108-byte header
        words[0] = 1;
        words[1] = 108;
        words[6] = DWORD(FFrame.left), words[7] = DWORD(FFrame.top), words[8] = DWORD(FFrame.right);
        words[9] = DWORD(FFrame.bottom);
        words[10] = ENHMETA_SIGNATURE;
        words[11] = 0x10000;
        words[13] = DWORD(FCount + 2);
        words[14] = FHandles;
        words[15] = 0;  // no description
        words[16] = 0;
        words[17] = DWORD(FPalette.size());
        words[18] = 1000, words[19] = 1000;  // reference device: 1000 × 1000 pixels
        words[20] = 100, words[21] = 100;    // of 100 × 100 millimetres
        words[25] = 100000, words[26] = 100000;
        words.insert(words.end(), FRecords.begin(), FRecords.end());
        words.push_back(kEof);
        words.push_back(DWORD(20 + 4 * FPalette.size()));
        words.push_back(DWORD(FPalette.size()));
        words.push_back(16);
        for (const PALETTEENTRY& e : FPalette) {
            DWORD w;
            std::memcpy(&w, &e, 4);
            words.push_back(w);
        }
        words.push_back(DWORD(20 + 4 * FPalette.size()));
        words[12] = DWORD(words.size() * 4);
        std::vector<BYTE> bytes(words.size() * 4);
        std::memcpy(bytes.data(), words.data(), bytes.size());
        return bytes;
    }

    RECTL FFrame{};

private:
    WORD FHandles;
    std::vector<DWORD> FRecords;
    std::size_t FCount = 0;
    std::vector<PALETTEENTRY> FPalette;
};

inline void PutDword(std::vector<BYTE>& bytes, std::size_t offset, DWORD value) {
    std::memcpy(bytes.data() + offset, &value, 4);
}

}  // namespace emftest
