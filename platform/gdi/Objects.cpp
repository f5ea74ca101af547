// Brushes, pens and fonts: plain records behind handles. Pens and fonts are drawn with only by
// the text and line calls; here they are made, selected, read back and deleted.
#include "platform/gdi/Dib.h"

namespace gdi {

using namespace detail;

HBRUSH CreateBrushIndirect(const LOGBRUSH* log) {
    TLock lock(LayerMutex());
    if (log == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto brush = std::make_unique<TBrushObj>();
    brush->Log = *log;
    switch (log->lbStyle) {
    case BS_SOLID:
        brush->Log.lbHatch = 0;
        break;
    case BS_NULL:
        brush->Log.lbColor = 0;
        brush->Log.lbHatch = 0;
        break;
    case BS_HATCHED:
        if (log->lbHatch > std::uintptr_t(HS_DIAGCROSS)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        break;
    case BS_PATTERN: {
        // The brush keeps a copy, so the bitmap may be deleted or drawn on afterwards.
        auto* bitmap = Lookup<TBitmapObj>(reinterpret_cast<HGDIOBJ>(log->lbHatch));
        if (bitmap == nullptr)
            return nullptr;
        brush->Pattern = CloneBitmap(*bitmap);
        if (!brush->Pattern)
            return nullptr;
        brush->Log.lbColor = 0;
        break;
    }
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT: {
        // lbHatch is the packed DIB (a fixed block's handle is its address); the low word of
        // lbColor tells how its colour table is to be read. The brush keeps a copy.
        const UINT usage = UINT(log->lbColor & 0xFFFFu);
        brush->Pattern = ReadPackedDib(reinterpret_cast<const void*>(log->lbHatch), usage, brush->PaletteIndices);
        if (!brush->Pattern)
            return nullptr;
        brush->Log.lbStyle = BS_DIBPATTERN;
        brush->Log.lbColor = usage;
        break;
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return static_cast<HBRUSH>(Register(std::move(brush)));
}

HBRUSH CreateSolidBrush(COLORREF color) {
    LOGBRUSH log{BS_SOLID, color, 0};
    return CreateBrushIndirect(&log);
}

HBRUSH CreateHatchBrush(int hatch, COLORREF color) {
    if (hatch < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGBRUSH log{BS_HATCHED, color, std::uintptr_t(hatch)};
    return CreateBrushIndirect(&log);
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
    LOGBRUSH log{BS_PATTERN, 0, reinterpret_cast<std::uintptr_t>(bitmap)};
    return CreateBrushIndirect(&log);
}

HBRUSH CreateDIBPatternBrushPt(const void* packedDib, UINT usage) {
    LOGBRUSH log{BS_DIBPATTERNPT, usage, reinterpret_cast<std::uintptr_t>(packedDib)};
    return CreateBrushIndirect(&log);
}

HBRUSH CreateDIBPatternBrush(HGLOBAL packedDib, UINT usage) {
    LOGBRUSH log{BS_DIBPATTERN, usage, reinterpret_cast<std::uintptr_t>(packedDib)};
    return CreateBrushIndirect(&log);
}

HPEN CreatePenIndirect(const LOGPEN* log) {
    TLock lock(LayerMutex());
    if (log == nullptr || (log->lopnStyle & PS_STYLE_MASK) > PS_INSIDEFRAME) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto pen = std::make_unique<TPenObj>();
    pen->Log = *log;
    // Bits beyond the style (the end caps and joins that Windows metafiles' pen records carry,
    // say) make a plain solid pen, as measured on the platform.
    if ((log->lopnStyle & ~UINT(PS_STYLE_MASK)) != 0)
        pen->Log.lopnStyle = PS_SOLID;
    pen->Log.lopnWidth.y = 0;
    if (pen->Log.lopnWidth.x < 0)
        pen->Log.lopnWidth.x = -pen->Log.lopnWidth.x;
    return static_cast<HPEN>(Register(std::move(pen)));
}

HPEN CreatePen(int style, int width, COLORREF color) {
    if (style < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGPEN log{UINT(style), POINT{width, 0}, color};
    return CreatePenIndirect(&log);
}

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount, const DWORD* styles) {
    TLock lock(LayerMutex());
    const DWORD type = style & PS_TYPE_MASK, kind = style & PS_STYLE_MASK;
    const DWORD cap = style & PS_ENDCAP_MASK, join = style & PS_JOIN_MASK;
    const bool cosmetic = type == PS_COSMETIC;
    const bool known = (type == PS_COSMETIC || type == PS_GEOMETRIC) && kind <= PS_ALTERNATE &&
                       cap <= PS_ENDCAP_FLAT && join <= PS_JOIN_MITER &&
                       (style & ~(PS_TYPE_MASK | PS_STYLE_MASK | PS_ENDCAP_MASK | PS_JOIN_MASK)) == 0;
    // A cosmetic pen is one pixel wide and solid-coloured; the alternate style is for cosmetic
    // pens only; the style array comes with PS_USERSTYLE and only with it, at most 16 entries.
    const bool userStyleOk = kind == PS_USERSTYLE ? styleCount >= 1 && styleCount <= 16 && styles != nullptr
                                                  : styleCount == 0;
    if (brush == nullptr || !known || !userStyleOk || (cosmetic && (width != 1 || brush->lbStyle != BS_SOLID)) ||
        (!cosmetic && kind == PS_ALTERNATE) || width > DWORD(INT32_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto pen = std::make_unique<TPenObj>();
    if (!cosmetic) {
        // The stroke of a geometric pen is painted with its brush, which is made here as
        // CreateBrushIndirect makes brushes: a pattern is copied, so the bitmap may go.
        auto fill = std::make_unique<TBrushObj>();
        fill->Log = *brush;
        switch (brush->lbStyle) {
        case BS_SOLID: fill->Log.lbHatch = 0; break;
        case BS_NULL: break;
        case BS_HATCHED:
            if (brush->lbHatch > std::uintptr_t(HS_DIAGCROSS)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            break;
        case BS_PATTERN: {
            auto* bitmap = Lookup<TBitmapObj>(reinterpret_cast<HGDIOBJ>(brush->lbHatch));
            if (bitmap == nullptr)
                return nullptr;
            fill->Pattern = CloneBitmap(*bitmap);
            if (!fill->Pattern)
                return nullptr;
            break;
        }
        default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
        }
        pen->Fill = std::move(fill);
    }
    pen->Extended = true;
    pen->ExtStyle = style;
    pen->Brush = *brush;
    if (kind == PS_USERSTYLE)
        pen->UserStyle.assign(styles, styles + styleCount);
    pen->Log = LOGPEN{kind, POINT{LONG(width), 0}, brush->lbColor};
    return static_cast<HPEN>(Register(std::move(pen)));
}

HFONT CreateFontIndirectA(const LOGFONTA* log) {
    TLock lock(LayerMutex());
    if (log == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto font = std::make_unique<TFontObj>();
    font->Log = *log;
    // The face name need not be terminated in the caller's record; ours always is.
    font->Log.lfFaceName[LF_FACESIZE - 1] = '\0';
    return static_cast<HFONT>(Register(std::move(font)));
}

}  // namespace gdi
