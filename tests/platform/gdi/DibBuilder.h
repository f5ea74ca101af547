// Builds BITMAPINFO blocks (any header size, colour table or masks) for the bitmap tests, and
// reads bitmaps back as plain RGB.
#pragma once

#include "platform/gdi/Gdi.h"

#include <cstring>
#include <initializer_list>
#include <type_traits>
#include <vector>

class TDibInfo {
public:
    TDibInfo(gdi::LONG width, gdi::LONG height, gdi::WORD bits, gdi::DWORD compression = gdi::BI_RGB,
             gdi::DWORD headerSize = 40)
        : FHeaderSize(headerSize), FStorage((headerSize + 1024 + 16) / 4 + 1, 0) {
        if (headerSize == sizeof(gdi::BITMAPCOREHEADER)) {
            gdi::BITMAPCOREHEADER core{headerSize, gdi::WORD(width), gdi::WORD(height), 1, bits};
            std::memcpy(Bytes(), &core, sizeof core);
            return;
        }
        gdi::BITMAPINFOHEADER header{};
        header.biSize = headerSize;
        header.biWidth = width;
        header.biHeight = height;
        header.biPlanes = 1;
        header.biBitCount = bits;
        header.biCompression = compression;
        std::memcpy(Bytes(), &header, sizeof header);
    }

    /// Colours as 0x00RRGGBB; written as RGBQUAD, or RGBTRIPLE behind a core header.
    TDibInfo& Colors(std::initializer_list<gdi::COLORREF> colors) { return Colors(std::vector<gdi::COLORREF>(colors)); }
    TDibInfo& Colors(const std::vector<gdi::COLORREF>& colors) {
        const std::size_t entry = FHeaderSize == 12 ? 3 : 4;
        for (std::size_t i = 0; i < colors.size(); ++i) {
            gdi::BYTE* out = Bytes() + FHeaderSize + entry * i;
            out[0] = gdi::GetBValue(colors[i]);
            out[1] = gdi::GetGValue(colors[i]);
            out[2] = gdi::GetRValue(colors[i]);
        }
        return *this;
    }
    /// Indices into a logical palette (DIB_PAL_COLORS).
    TDibInfo& Indices(std::initializer_list<gdi::WORD> indices) {
        std::size_t i = 0;
        for (gdi::WORD index : indices)
            std::memcpy(Bytes() + FHeaderSize + 2 * i++, &index, 2);
        return *this;
    }
    TDibInfo& ClrUsed(gdi::DWORD count) { Header().biClrUsed = count; return *this; }
    TDibInfo& SizeImage(gdi::DWORD size) { Header().biSizeImage = size; return *this; }
    TDibInfo& Planes(gdi::WORD planes) { Header().biPlanes = planes; return *this; }
    /// Masks behind a 40-byte header or inside a larger one: the same offset either way.
    TDibInfo& Masks(gdi::DWORD red, gdi::DWORD green, gdi::DWORD blue) {
        const gdi::DWORD masks[3] = {red, green, blue};
        std::memcpy(Bytes() + 40, masks, sizeof masks);
        return *this;
    }

    gdi::BITMAPINFO* Get() { return reinterpret_cast<gdi::BITMAPINFO*>(FStorage.data()); }
    gdi::BITMAPINFOHEADER& Header() { return Get()->bmiHeader; }
    gdi::BYTE* Bytes() { return reinterpret_cast<gdi::BYTE*>(FStorage.data()); }
    const gdi::BYTE* Table() { return Bytes() + FHeaderSize; }
    gdi::RGBQUAD Quad(std::size_t i) {
        gdi::RGBQUAD q;
        std::memcpy(&q, Table() + 4 * i, 4);
        return q;
    }
    gdi::COLORREF Color(std::size_t i) {
        gdi::RGBQUAD q = Quad(i);
        return gdi::RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }

private:
    gdi::DWORD FHeaderSize;
    std::vector<gdi::DWORD> FStorage;
};

inline std::size_t DibStrideOf(gdi::LONG width, int bits) { return (std::size_t(width) * bits + 31) / 32 * 4; }

/// Every pixel of a bitmap as 0x00RRGGBB, top row first, through GetDIBits into 32 bits.
inline std::vector<gdi::COLORREF> ReadColors(gdi::HBITMAP bitmap) {
    gdi::BITMAP info{};
    if (gdi::GetObjectA(bitmap, sizeof info, &info) == 0)
        return {};
    TDibInfo request(info.bmWidth, -info.bmHeight, 32);
    std::vector<gdi::DWORD> pixels(std::size_t(info.bmWidth) * std::size_t(info.bmHeight));
    gdi::HDC screen = gdi::GetDC(nullptr);
    int lines = gdi::GetDIBits(screen, bitmap, 0, gdi::UINT(info.bmHeight), pixels.data(), request.Get(),
                               gdi::DIB_RGB_COLORS);
    gdi::ReleaseDC(nullptr, screen);
    if (lines != info.bmHeight)
        return {};
    std::vector<gdi::COLORREF> colors;
    for (gdi::DWORD p : pixels)
        colors.push_back(gdi::RGB(gdi::BYTE(p >> 16), gdi::BYTE(p >> 8), gdi::BYTE(p)));
    return colors;
}

/// The last error a call that should fail leaves (cleared before the call); kSucceeded when it
/// returned non-zero instead, after giving back the bitmap it made.
constexpr gdi::DWORD kSucceeded = 0xFFFFFFFF;
template <typename TCall>
gdi::DWORD FailureOf(TCall call) {
    gdi::SetLastError(0);
    auto result = call();
    if (!result)
        return gdi::GetLastError();
    if constexpr (std::is_pointer_v<decltype(result)>)
        gdi::DeleteObject(result);
    return kSucceeded;
}
