// Ternary raster operations. A code's index (bits 16 to 23 of the rop) is its truth table: for
// pattern, source and destination bits P, S and D the result bit is bit (P << 2 | S << 1 | D) of
// the index. Every operation is applied bitwise to whole pixel values, so one formula serves all
// pixel formats.
#pragma once

#include "platform/gdi/Gdi.h"

#include <cstddef>

namespace gdi::detail {

constexpr unsigned RopIndex(DWORD rop) { return (rop >> 16) & 0xFFu; }

// An operand matters when flipping it changes some entry of the truth table.
constexpr bool RopUsesSource(unsigned index) { return ((index >> 2) & 0x33u) != (index & 0x33u); }
constexpr bool RopUsesPattern(unsigned index) { return ((index >> 4) & 0x0Fu) != (index & 0x0Fu); }
constexpr bool RopUsesDest(unsigned index) { return ((index >> 1) & 0x55u) != (index & 0x55u); }

/// The result of one ternary operation on three pixel values.
constexpr DWORD Rop3(unsigned index, DWORD p, DWORD s, DWORD d) {
    DWORD result = 0;
    // Each set bit of the index contributes the bit positions where P, S and D take its values.
    for (unsigned k = 0; k < 8; ++k) {
        if ((index >> k) & 1u)
            result |= ((k & 4u) ? p : ~p) & ((k & 2u) ? s : ~s) & ((k & 1u) ? d : ~d);
    }
    return result;
}

/// Applies one operation to a span: d[i] = op(p[i], s[i], d[i]). The common codes take a short
/// path; the result keeps bits above the format's depth, which the pixel writer drops.
inline void ApplyRopSpan(unsigned index, const DWORD* p, const DWORD* s, DWORD* d, std::size_t n) {
    switch (index) {
    case 0x00:  // BLACKNESS
        for (std::size_t i = 0; i < n; ++i)
            d[i] = 0;
        return;
    case 0xFF:  // WHITENESS
        for (std::size_t i = 0; i < n; ++i)
            d[i] = 0xFFFFFFFFu;
        return;
    case 0xCC:  // SRCCOPY
        for (std::size_t i = 0; i < n; ++i)
            d[i] = s[i];
        return;
    case 0xF0:  // PATCOPY
        for (std::size_t i = 0; i < n; ++i)
            d[i] = p[i];
        return;
    case 0x88:  // SRCAND
        for (std::size_t i = 0; i < n; ++i)
            d[i] &= s[i];
        return;
    case 0xEE:  // SRCPAINT
        for (std::size_t i = 0; i < n; ++i)
            d[i] |= s[i];
        return;
    case 0x66:  // SRCINVERT
        for (std::size_t i = 0; i < n; ++i)
            d[i] ^= s[i];
        return;
    case 0x55:  // DSTINVERT
        for (std::size_t i = 0; i < n; ++i)
            d[i] = ~d[i];
        return;
    case 0x5A:  // PATINVERT
        for (std::size_t i = 0; i < n; ++i)
            d[i] ^= p[i];
        return;
    default:
        for (std::size_t i = 0; i < n; ++i)
            d[i] = Rop3(index, p[i], s[i], d[i]);
        return;
    }
}

}  // namespace gdi::detail
