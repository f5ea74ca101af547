// Brushes as the pattern operand of a transfer: solid colours, hatches and pattern bitmaps,
// each aligned to the brush origin of the destination context.
#include "platform/gdi/Transfer.h"

#include <algorithm>

namespace gdi::detail {
namespace {

// Positions within a pattern repeat for negative coordinates too, so the remainder is taken
// towards minus infinity.
long long Wrap(long long value, long long period) {
    long long r = value % period;
    return r < 0 ? r + period : r;
}

// The platform's 8 × 8 hatches: the level line lies on the fourth row and the upright one on the
// fifth column of each tile, as the reference draws them.
bool HatchLine(int hatch, long long x, long long y) {
    switch (hatch) {
    case HS_HORIZONTAL: return y == 3;
    case HS_VERTICAL: return x == 4;
    case HS_FDIAGONAL: return x == y;
    case HS_BDIAGONAL: return x + y == 7;
    case HS_CROSS: return x == 4 || y == 3;
    case HS_DIAGCROSS: return x == y || x + y == 7;
    default: return false;
    }
}

}  // namespace

TPatternSampler::TPatternSampler(const TBrushObj* brush, const TDCObj& dc, TFormat& dest) {
    if (brush == nullptr)
        return;
    FOrigin = dc.BrushOrg;
    switch (brush->Log.lbStyle) {
    case BS_SOLID:
        FKind = TKind::Solid;
        FFore = dest.Encode(ResolveColor(dc, BrushColor(*brush)));
        break;
    case BS_HATCHED:
        FKind = TKind::Hatch;
        FHatch = int(brush->Log.lbHatch);
        FFore = dest.Encode(ResolveColor(dc, BrushColor(*brush)));
        FTransparent = dc.BkMode == TRANSPARENT;
        FBack = dest.Encode(ResolveColor(dc, dc.BkColor));
        break;
    case BS_PATTERN:
    case BS_DIBPATTERN:
        if (!brush->Pattern || brush->Pattern->Width <= 0 || brush->Pattern->Height <= 0)
            break;
        FKind = TKind::Pattern;
        FPattern = brush->Pattern.get();
        if (!brush->PaletteIndices.empty()) {
            // Palette indices name entries of the palette selected where the brush paints.
            FResolved = std::make_unique<TBitmapObj>();
            TBitmapObj& view = *FResolved;
            view.Width = FPattern->Width;
            view.Height = FPattern->Height;
            view.BitsPixel = FPattern->BitsPixel;
            view.Stride = FPattern->Stride;
            view.TopDown = FPattern->TopDown;
            view.IsDib = true;
            view.Bits = FPattern->Bits;
            view.ColorTable = FPattern->ColorTable;
            TObject* object = Find(dc.Palette);
            if (object != nullptr && object->Kind == detail::TKind::Palette) {
                const auto& entries = static_cast<const TPaletteObj*>(object)->Entries;
                for (std::size_t i = 0; i < brush->PaletteIndices.size() && i < view.ColorTable.size(); ++i) {
                    const WORD index = brush->PaletteIndices[i];
                    if (index < entries.size())
                        view.ColorTable[i] = RGBQUAD{entries[index].peBlue, entries[index].peGreen,
                                                     entries[index].peRed, 0};
                }
            }
            FPattern = FResolved.get();
        }
        FPatternFormat.emplace(*FPattern);
        // A pattern has no context of its own: a monochrome one takes the destination context's
        // text and background colours, a colour one goes to monochrome by nearest colour.
        FPatternConverter.emplace(*FPatternFormat, dest, dc, nullptr);
        break;
    default: break;
    }
}

void TPatternSampler::FetchRow(long long x, long long y, int n, DWORD* values, BYTE* ok) {
    switch (FKind) {
    case TKind::Null:
        std::fill_n(ok, n, BYTE(0));
        return;
    case TKind::Solid:
        std::fill_n(values, n, FFore);
        std::fill_n(ok, n, BYTE(1));
        return;
    case TKind::Hatch: {
        const long long py = Wrap(y - FOrigin.y, 8);
        long long px = Wrap(x - FOrigin.x, 8);
        for (int i = 0; i < n; ++i) {
            const bool line = HatchLine(FHatch, px, py);
            values[i] = line ? FFore : FBack;
            ok[i] = line || !FTransparent;
            px = (px + 1) & 7;
        }
        return;
    }
    case TKind::Pattern: {
        const long long width = FPattern->Width;
        const BYTE* row = FPattern->Row(LONG(Wrap(y - FOrigin.y, FPattern->Height)));
        long long px = Wrap(x - FOrigin.x, width);
        for (int i = 0; i < n; ++i) {
            values[i] = FPatternConverter->Convert(ReadPixel(row, LONG(px), FPattern->BitsPixel));
            ok[i] = 1;
            if (++px == width)
                px = 0;
        }
        return;
    }
    }
}

}  // namespace gdi::detail
