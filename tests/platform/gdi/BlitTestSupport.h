// Surfaces for the transfer tests: a memory context with a bitmap selected, whose pixel values the
// test reads and writes directly (DIB sections) or through the layer (device-dependent bitmaps).
#pragma once

#include "GdiTestSupport.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace blittest {

using namespace gdi;

class TSurface {
public:
    TSurface(HBITMAP bitmap, void* bits) : FBitmap(bitmap), FBits(static_cast<BYTE*>(bits)) {
        FDc = CreateCompatibleDC(nullptr);
        FOld = SelectObject(FDc, FBitmap);
        DIBSECTION section{};
        if (GetObjectA(FBitmap, sizeof section, &section) == int(sizeof section)) {
            FTopDown = section.dsBmih.biHeight < 0;
            FStride = section.dsBm.bmWidthBytes;
        } else {
            GetObjectA(FBitmap, sizeof(BITMAP), &section.dsBm);
        }
        FWidth = section.dsBm.bmWidth;
        FHeight = section.dsBm.bmHeight;
        FBpp = section.dsBm.bmBitsPixel;
    }
    ~TSurface() {
        SelectObject(FDc, FOld);
        DeleteObject(FBitmap);
        DeleteDC(FDc);
    }
    TSurface(const TSurface&) = delete;
    TSurface& operator=(const TSurface&) = delete;

    HDC Dc() const { return FDc; }
    HBITMAP Bitmap() const { return FBitmap; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

    /// The raw pixel value of a DIB section at (x, y), y counted from the top of the image.
    DWORD Raw(int x, int y) const {
        const BYTE* row = RowOf(y);
        switch (FBpp) {
        case 1: return (row[x / 8] >> (7 - x % 8)) & 1u;
        case 4: return (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xFu;
        case 8: return row[x];
        case 16: return DWORD(row[2 * x]) | DWORD(row[2 * x + 1]) << 8;
        case 24: return DWORD(row[3 * x]) | DWORD(row[3 * x + 1]) << 8 | DWORD(row[3 * x + 2]) << 16;
        default: {
            DWORD v;
            std::memcpy(&v, row + 4 * x, 4);
            return v;
        }
        }
    }
    void SetRaw(int x, int y, DWORD v) {
        BYTE* row = RowOf(y);
        switch (FBpp) {
        case 1: row[x / 8] = BYTE((row[x / 8] & ~(0x80 >> x % 8)) | ((v & 1) << (7 - x % 8))); break;
        case 4:
            row[x / 2] = x % 2 ? BYTE((row[x / 2] & 0xF0) | (v & 0xF)) : BYTE((row[x / 2] & 0x0F) | (v & 0xF) << 4);
            break;
        case 8: row[x] = BYTE(v); break;
        case 16: row[2 * x] = BYTE(v), row[2 * x + 1] = BYTE(v >> 8); break;
        case 24: row[3 * x] = BYTE(v), row[3 * x + 1] = BYTE(v >> 8), row[3 * x + 2] = BYTE(v >> 16); break;
        default: std::memcpy(row + 4 * x, &v, 4); break;
        }
    }
    void FillRaw(DWORD v) {
        for (int y = 0; y < FHeight; ++y)
            for (int x = 0; x < FWidth; ++x)
                SetRaw(x, y, v);
    }
    /// The colour of every pixel as GetPixel reports it, row by row.
    std::vector<COLORREF> Colours() const {
        std::vector<COLORREF> out;
        for (int y = 0; y < FHeight; ++y)
            for (int x = 0; x < FWidth; ++x)
                out.push_back(GetPixel(FDc, x, y));
        return out;
    }

private:
    BYTE* RowOf(int y) const { return FBits + std::size_t(FTopDown ? y : FHeight - 1 - y) * std::size_t(FStride); }

    HBITMAP FBitmap;
    BYTE* FBits;
    HDC FDc = nullptr;
    HGDIOBJ FOld = nullptr;
    bool FTopDown = true;
    int FStride = 0;
    int FWidth = 0;
    int FHeight = 0;
    int FBpp = 0;
};

struct TDibInfo {
    BITMAPINFOHEADER Header{};
    RGBQUAD Colors[256]{};
};

inline TDibInfo DibInfo(int bpp, int width, int height, const std::vector<RGBQUAD>& table = {}) {
    TDibInfo info;
    info.Header.biSize = sizeof(BITMAPINFOHEADER);
    info.Header.biWidth = width;
    info.Header.biHeight = height;
    info.Header.biPlanes = 1;
    info.Header.biBitCount = WORD(bpp);
    info.Header.biCompression = BI_RGB;
    info.Header.biClrUsed = DWORD(table.size());
    for (std::size_t i = 0; i < table.size() && i < 256; ++i)
        info.Colors[i] = table[i];
    return info;
}

/// A DIB section; a negative height makes it top-down, as in its header.
inline std::unique_ptr<TSurface> MakeDib(int bpp, int width, int height, const std::vector<RGBQUAD>& table = {}) {
    TDibInfo info = DibInfo(bpp, width, height, table);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_NE(bitmap, nullptr);
    return std::make_unique<TSurface>(bitmap, bits);
}

/// A device-dependent bitmap: monochrome for 1 bit, else of the given depth.
inline std::unique_ptr<TSurface> MakeDdb(int bpp, int width, int height) {
    HBITMAP bitmap = CreateBitmap(width, height, 1, UINT(bpp), nullptr);
    EXPECT_NE(bitmap, nullptr);
    return std::make_unique<TSurface>(bitmap, nullptr);
}

/// A bitmap compatible with the screen.
inline std::unique_ptr<TSurface> MakeScreenBitmap(int width, int height) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    EXPECT_NE(bitmap, nullptr);
    return std::make_unique<TSurface>(bitmap, nullptr);
}

inline RGBQUAD Quad(COLORREF c) { return RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0}; }

/// The bits of row y of a monochrome bitmap, one bool per pixel, read through GetPixel.
inline std::vector<int> MonoRow(const TSurface& surface, int y) {
    std::vector<int> out;
    for (int x = 0; x < surface.Width(); ++x)
        out.push_back(GetPixel(surface.Dc(), x, y) == RGB(255, 255, 255) ? 1 : 0);
    return out;
}

/// A white 32-bit surface (a top-down DIB section).
inline std::unique_ptr<TSurface> MakeWhiteSurface(int width, int height) {
    auto surface = MakeDib(32, width, -height);
    PatBlt(surface->Dc(), 0, 0, width, height, WHITENESS);
    return surface;
}

/// The top-left rows and columns of a surface as text: '#' black, '.' white, the accent colour's
/// letter, '?' anything else.
inline std::string SurfacePicture(const TSurface& surface, int rows, int columns, gdi::COLORREF accent, char letter) {
    std::string out;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x) {
            const gdi::COLORREF c = gdi::GetPixel(surface.Dc(), x, y);
            out += c == 0 ? '#' : c == accent ? letter : c == RGB(255, 255, 255) ? '.' : '?';
        }
        out += '\n';
    }
    return out;
}

}  // namespace blittest
