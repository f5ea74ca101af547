// Pixel values and colours. Direct-colour components narrower than 8 bits widen by repeating
// their bits (so 5-bit 31 is 255) and narrow by dropping low bits, which makes every narrow value
// survive a trip through 8 bits unchanged.
#include "platform/gdi/Internal.h"

#include <bit>

namespace gdi::detail {
namespace {

std::size_t CacheSlot(COLORREF rgb) { return ((rgb * 0x9E3779B1u) >> 22) & 1023u; }

}  // namespace

std::array<RGBQUAD, 256> DeviceColorTable(int bitsPixel) {
    std::array<RGBQUAD, 256> table{};
    if (bitsPixel == 4) {
        std::copy(StandardColors16().begin(), StandardColors16().end(), table.begin());
        return table;
    }
    const TState& state = State();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const PALETTEENTRY& e = state.SystemPalette[i];
        table[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, BYTE(state.SystemPaletteUsed[i] ? 0 : 1)};
    }
    return table;
}

TFormat::TFormat(const TBitmapObj& bitmap) : FBpp(bitmap.BitsPixel), FMono(bitmap.Mono) {
    if (FBpp <= 8) {
        FTable.fill(RGBQUAD{0, 0, 0, 0});
        FCache.fill(0);
        const std::size_t capacity = std::size_t(1) << FBpp;
        if (bitmap.IsDib) {
            FTableSize = int(std::min(bitmap.ColorTable.size(), capacity));
            std::copy_n(bitmap.ColorTable.begin(), FTableSize, FTable.begin());
        } else if (FBpp == 1) {
            FTableSize = 2;
            FTable[1] = RGBQUAD{255, 255, 255, 0};
        } else {
            // A device-dependent 4-bit bitmap shows the standard colours; an 8-bit one holds
            // indices into the system palette, whose entries in use alone take new pixels.
            FSystemPalette = FBpp != 4;
            FTableSize = FBpp == 4 ? 16 : 256;
            FTable = DeviceColorTable(FBpp);
        }
        return;
    }
    if (FBpp == 24) {
        FMasks = {0xFF0000, 0x00FF00, 0x0000FF};
    } else if (bitmap.Compression == BI_BITFIELDS) {
        FMasks = bitmap.Masks;
    } else if (FBpp == 16) {
        FMasks = {0x7C00, 0x03E0, 0x001F};
    } else {
        FMasks = {0xFF0000, 0x00FF00, 0x0000FF};
    }
    for (int c = 0; c < 3; ++c) {
        DWORD mask = FMasks[c];
        FShift[c] = mask ? std::countr_zero(mask) : 0;
        FBits[c] = mask ? std::popcount(mask) : 0;
    }
}

COLORREF TFormat::Decode(DWORD value) const {
    if (FBpp <= 8) {
        if (value >= DWORD(FTableSize))
            return 0;
        const RGBQUAD& q = FTable[value];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    BYTE component[3];
    for (int c = 0; c < 3; ++c) {
        int bits = FBits[c];
        if (bits == 0) {
            component[c] = 0;
            continue;
        }
        DWORD v = (value & FMasks[c]) >> FShift[c];
        if (bits >= 8) {
            component[c] = BYTE(v >> (bits - 8));
        } else {
            // Repeat the bits until 8 are filled.
            DWORD wide = 0;
            int filled = 0;
            while (filled < 8) {
                wide = (wide << bits) | v;
                filled += bits;
            }
            component[c] = BYTE(wide >> (filled - 8));
        }
    }
    return RGB(component[0], component[1], component[2]);
}

DWORD TFormat::Encode(COLORREF rgb) {
    rgb &= 0x00FFFFFF;
    if (FBpp > 8) {
        const BYTE component[3] = {GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)};
        DWORD value = 0;
        for (int c = 0; c < 3; ++c) {
            int bits = FBits[c];
            if (bits == 0)
                continue;
            DWORD v = component[c];
            if (bits <= 8) {
                v >>= (8 - bits);
            } else {
                // Wider than 8 bits: repeat the byte into the low bits.
                DWORD wide = v;
                int filled = 8;
                while (filled < bits) {
                    wide = (wide << 8) | v;
                    filled += 8;
                }
                v = wide >> (filled - bits);
            }
            value |= (v << FShift[c]) & FMasks[c];
        }
        return value;
    }
    std::uint64_t& slot = FCache[CacheSlot(rgb)];
    if ((slot >> 32) == std::uint64_t(rgb) + 1)
        return DWORD(slot);
    int r = GetRValue(rgb), g = GetGValue(rgb), b = GetBValue(rgb);
    DWORD best = 0;
    long bestDistance = -1;
    for (int i = 0; i < FTableSize; ++i) {
        const RGBQUAD& q = FTable[i];
        if (FSystemPalette && q.rgbReserved == 1)
            continue;
        long dr = q.rgbRed - r, dg = q.rgbGreen - g, db = q.rgbBlue - b;
        long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = DWORD(i);
            if (distance == 0)
                break;
        }
    }
    slot = ((std::uint64_t(rgb) + 1) << 32) | best;
    return best;
}

COLORREF ResolveColor(const TDCObj& dc, COLORREF color) {
    if ((color >> 24) == 0x01) {
        DWORD index = color & 0xFFFF;
        TObject* object = Find(dc.Palette);
        if (object != nullptr && object->Kind == TKind::Palette) {
            const auto& entries = static_cast<TPaletteObj*>(object)->Entries;
            if (index < entries.size())
                return RGB(entries[index].peRed, entries[index].peGreen, entries[index].peBlue);
        }
        return 0;
    }
    return color & 0x00FFFFFF;
}

COLORREF BrushColor(const TBrushObj& brush) {
    if (brush.SysColorIndex >= 0 && brush.SysColorIndex < kSysColorCount)
        return State().SysColors[brush.SysColorIndex];
    return brush.Log.lbColor;
}

}  // namespace gdi::detail
