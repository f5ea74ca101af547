// Rows of pixels converted value by value with both depths fixed at compile time, so that
// reading, converting and writing a pixel is straight-line code. The transfer engine and the DIB
// readers share these loops; the conversion itself is any function of one pixel value.
#pragma once

#include "platform/gdi/Internal.h"

namespace gdi::detail {

/// A whole-byte pixel value of the given size, little-endian as every bitmap stores it.
template <int Bytes>
DWORD LoadPixel(const BYTE* p) {
    if constexpr (Bytes == 1) {
        return p[0];
    } else if constexpr (Bytes == 2) {
        return DWORD(p[0]) | (DWORD(p[1]) << 8);
    } else if constexpr (Bytes == 3) {
        return DWORD(p[0]) | (DWORD(p[1]) << 8) | (DWORD(p[2]) << 16);
    } else {
        DWORD v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <int Bytes>
void StorePixel(BYTE* p, DWORD v) {
    if constexpr (Bytes == 1) {
        p[0] = BYTE(v);
    } else if constexpr (Bytes == 2) {
        p[0] = BYTE(v);
        p[1] = BYTE(v >> 8);
    } else if constexpr (Bytes == 3) {
        p[0] = BYTE(v);
        p[1] = BYTE(v >> 8);
        p[2] = BYTE(v >> 16);
    } else {
        std::memcpy(p, &v, 4);
    }
}

/// n pixels from column sourceX of one row to column destX of another, through map.
template <int SourceBpp, int DestBpp, typename TMap>
void MapPixels(const BYTE* from, long long sourceX, BYTE* to, long long destX, long long n, const TMap& map) {
    if constexpr (SourceBpp >= 8 && DestBpp >= 8) {
        constexpr int kFrom = SourceBpp / 8;
        constexpr int kTo = DestBpp / 8;
        const BYTE* s = from + std::size_t(sourceX) * kFrom;
        BYTE* d = to + std::size_t(destX) * kTo;
        long long i = 0;
        if constexpr (kFrom == 3) {
            // Every pixel but the last has a byte of its right neighbour behind it, so it can be
            // read as four bytes and the fourth dropped.
            for (; i + 1 < n; ++i, s += 3, d += kTo)
                StorePixel<kTo>(d, map(LoadPixel<4>(s) & 0x00FFFFFFu));
        }
        for (; i < n; ++i, s += kFrom, d += kTo)
            StorePixel<kTo>(d, map(LoadPixel<kFrom>(s)));
    } else {
        for (long long i = 0; i < n; ++i)
            WritePixel(to, LONG(destX + i), DestBpp, map(ReadPixel(from, LONG(sourceX + i), SourceBpp)));
    }
}

/// The same with the destination depth chosen at run time; false for a depth no bitmap has.
template <int SourceBpp, typename TMap>
bool MapToDepth(const BYTE* from, long long sourceX, BYTE* to, long long destX, int destBpp, long long n,
                const TMap& map) {
    switch (destBpp) {
    case 1: MapPixels<SourceBpp, 1>(from, sourceX, to, destX, n, map); return true;
    case 4: MapPixels<SourceBpp, 4>(from, sourceX, to, destX, n, map); return true;
    case 8: MapPixels<SourceBpp, 8>(from, sourceX, to, destX, n, map); return true;
    case 16: MapPixels<SourceBpp, 16>(from, sourceX, to, destX, n, map); return true;
    case 24: MapPixels<SourceBpp, 24>(from, sourceX, to, destX, n, map); return true;
    case 32: MapPixels<SourceBpp, 32>(from, sourceX, to, destX, n, map); return true;
    default: return false;
    }
}

/// The same for an indexed source (1, 4 or 8 bits) and a direct-colour one (16, 24 or 32 bits);
/// false for a depth of the other kind, which the caller converts some other way.
template <typename TMap>
bool MapIndexedRow(const BYTE* from, long long sourceX, int sourceBpp, BYTE* to, long long destX, int destBpp,
                   long long n, const TMap& map) {
    switch (sourceBpp) {
    case 1: return MapToDepth<1>(from, sourceX, to, destX, destBpp, n, map);
    case 4: return MapToDepth<4>(from, sourceX, to, destX, destBpp, n, map);
    case 8: return MapToDepth<8>(from, sourceX, to, destX, destBpp, n, map);
    default: return false;
    }
}

template <typename TMap>
bool MapDirectRow(const BYTE* from, long long sourceX, int sourceBpp, BYTE* to, long long destX, int destBpp,
                  long long n, const TMap& map) {
    switch (sourceBpp) {
    case 16: return MapToDepth<16>(from, sourceX, to, destX, destBpp, n, map);
    case 24: return MapToDepth<24>(from, sourceX, to, destX, destBpp, n, map);
    case 32: return MapToDepth<32>(from, sourceX, to, destX, destBpp, n, map);
    default: return false;
    }
}

}  // namespace gdi::detail
