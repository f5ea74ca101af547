// Text output and measurement with the context's font, colours, background mode and alignment.
// Glyphs come from the font cache; this file places them and puts their coverage on the surface.
#include "platform/gdi/FontCache.h"
#include "platform/gdi/Transfer.h"

#include <climits>

namespace gdi {

using namespace detail;

namespace {

BOOL Refuse(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// One character of a string with its advance in pixels.
struct TPlacedChar {
    char32_t Code;
    long long Advance;
};

// The length of the UTF-8 sequence that starts at text[0] (of at most left bytes) and its code
// point; 0 when the bytes do not form a valid, shortest sequence.
std::size_t DecodeOne(const unsigned char* text, std::size_t left, char32_t& code) {
    const unsigned char lead = text[0];
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1Fu, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0Fu, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07u, minimum = 0x10000;
    } else {
        return 0;
    }
    if (length > left)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0u) != 0x80u)
            return 0;
        value = (value << 6) | (text[i] & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    code = value;
    return length;
}

// The characters of the text with their advances: the font's, or the sum of the caller's
// entries for the bytes of each character.
std::vector<TPlacedChar> PlaceText(TRealizedFont& font, const char* text, std::size_t count, const INT* dx,
                                   long long& width) {
    std::vector<TPlacedChar> placed;
    // The count is the caller's word for the text's length; memory follows the text read.
    placed.reserve(std::min<std::size_t>(count, 4096));
    width = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t at = 0;
    while (at < count) {
        char32_t code = 0;
        std::size_t length = DecodeOne(bytes + at, count - at, code);
        if (length == 0) {
            code = 0xFFFD;
            length = 1;
        }
        long long advance = 0;
        if (dx != nullptr) {
            for (std::size_t i = 0; i < length; ++i)
                advance += dx[at + i];
        } else {
            advance = font.Advance(code);
        }
        placed.push_back(TPlacedChar{code, advance});
        width += advance;
        at += length;
    }
    return placed;
}

// A box of pixels, right and bottom edges excluded.
struct TBox {
    long long Left, Top, Right, Bottom;
    TBox Intersect(const TBox& other) const {
        return TBox{std::max(Left, other.Left), std::max(Top, other.Top), std::min(Right, other.Right),
                    std::min(Bottom, other.Bottom)};
    }
};

// Text writes through the clip stage: each box and glyph row is cut to the context's clip.
void FillBox(TBitmapObj& bitmap, const TClipper& clipper, const TBox& box, DWORD value) {
    clipper.ForEachRect(TClip{box.Left, box.Right, box.Top, box.Bottom}, [&](const TClip& piece) {
        for (long long y = piece.Y0; y < piece.Y1; ++y) {
            BYTE* row = bitmap.Row(LONG(y));
            for (long long x = piece.X0; x < piece.X1; ++x)
                WritePixel(row, LONG(x), bitmap.BitsPixel, value);
        }
    });
}

// Puts a glyph's coverage in the text colour onto the surface at (left, top).
void PaintGlyph(TBitmapObj& bitmap, TFormat& format, const TClipper& clipper, const TGlyphImage& glyph,
                long long left, long long top, const TBox& clip, COLORREF colour, DWORD value) {
    const TClip& bounds = clipper.Bounds();
    const TBox box = TBox{left, top, left + glyph.Width, top + glyph.Height}.Intersect(clip).Intersect(
        TBox{bounds.X0, bounds.Y0, bounds.X1, bounds.Y1});
    const int bpp = bitmap.BitsPixel;
    for (long long y = box.Top; y < box.Bottom; ++y) {
        BYTE* row = bitmap.Row(LONG(y));
        const BYTE* coverage = glyph.Coverage.data() + std::size_t(y - top) * std::size_t(glyph.Width);
        clipper.ForEachSpan(y, box.Left, box.Right, [&](long long x0, long long x1) {
            for (long long x = x0; x < x1; ++x) {
                const unsigned c = coverage[x - left];
                if (c == 0)
                    continue;
                if (format.Indexed()) {
                    // A palette surface has no colours between the text and what lies under it.
                    if (c >= 128)
                        WritePixel(row, LONG(x), bpp, value);
                } else if (c == 255) {
                    WritePixel(row, LONG(x), bpp, value);
                } else {
                    const COLORREF under = format.Decode(ReadPixel(row, LONG(x), bpp));
                    auto mix = [c](unsigned fore, unsigned back) {
                        return BYTE((fore * c + back * (255 - c) + 127) / 255);
                    };
                    const COLORREF mixed = RGB(mix(GetRValue(colour), GetRValue(under)),
                                               mix(GetGValue(colour), GetGValue(under)),
                                               mix(GetBValue(colour), GetBValue(under)));
                    WritePixel(row, LONG(x), bpp, format.Encode(mixed));
                }
            }
        });
    }
}

// The context's font made real; nullptr with the last error set.
TRealizedFont* ContextFont(const TDCObj& dc) {
    TObject* object = Find(dc.Font);
    if (object == nullptr || object->Kind != TKind::Font) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return RealizeFont(*static_cast<TFontObj*>(object));
}

LONG ClampToLong(long long value) { return LONG(std::clamp<long long>(value, INT32_MIN, INT32_MAX)); }

}  // namespace

BOOL ExtTextOutA(HDC handle, int x, int y, UINT options, const RECT* rect, const char* text, UINT count, const INT* dx) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if ((text == nullptr && count > 0) || count > UINT(INT_MAX))
        return Refuse(ERROR_INVALID_PARAMETER);
    TBitmapObj* bitmap = SurfaceOf(*dc);
    if (bitmap == nullptr)
        return FALSE;
    TRealizedFont* font = ContextFont(*dc);
    if (font == nullptr)
        return FALSE;

    TFormat format(*bitmap);
    const TClipper clipper(*dc, *bitmap);
    // The surface and the context's clip are the clipper's; ETO_CLIPPED adds the rectangle.
    TBox clip{LLONG_MIN, LLONG_MIN, LLONG_MAX, LLONG_MAX};
    if (rect != nullptr) {
        const TBox given{rect->left, rect->top, rect->right, rect->bottom};
        if (options & ETO_OPAQUE)
            FillBox(*bitmap, clipper, given, format.Encode(ResolveColor(*dc, dc->BkColor)));
        if (options & ETO_CLIPPED)
            clip = given;
    }

    long long width = 0;
    const std::vector<TPlacedChar> placed = PlaceText(*font, text, count, dx, width);
    const TEXTMETRICA& metrics = font->Metrics();
    const UINT align = dc->TextAlign;
    long long originX = x, originY = y;
    if (align & TA_UPDATECP) {
        originX = dc->CurrentPosition.x;
        originY = dc->CurrentPosition.y;
    }
    long long left = originX;
    switch (align & TA_CENTER) {
    case TA_RIGHT: left = originX - width; break;
    case TA_CENTER: left = originX - width / 2; break;
    default: break;
    }
    long long baseline = originY + metrics.tmAscent;
    switch (align & TA_BASELINE) {
    case TA_BASELINE: baseline = originY; break;
    case TA_BOTTOM: baseline = originY - metrics.tmDescent; break;
    default: break;
    }

    if (dc->BkMode == OPAQUE && width > 0) {
        const TBox cell{left, baseline - metrics.tmAscent, left + width, baseline + metrics.tmDescent};
        FillBox(*bitmap, clipper, cell.Intersect(clip), format.Encode(ResolveColor(*dc, dc->BkColor)));
    }
    const COLORREF colour = ResolveColor(*dc, dc->TextColor);
    const DWORD value = format.Encode(colour);
    long long pen = left;
    for (const TPlacedChar& character : placed) {
        const TGlyphImage& glyph = font->Glyph(character.Code);
        if (!glyph.Coverage.empty())
            PaintGlyph(*bitmap, format, clipper, glyph, pen + glyph.Left, baseline - glyph.Top, clip, colour, value);
        pen += character.Advance;
    }
    const LOGFONTA& log = static_cast<TFontObj*>(Find(dc->Font))->Log;
    if (log.lfUnderline && width > 0) {
        const long long top = baseline + font->UnderlineOffset();
        const TBox line{left, top, left + width, top + font->UnderlineThickness()};
        FillBox(*bitmap, clipper, line.Intersect(clip), value);
    }
    if (log.lfStrikeOut && width > 0) {
        const long long top = baseline + font->StrikeoutOffset();
        const TBox line{left, top, left + width, top + font->StrikeoutThickness()};
        FillBox(*bitmap, clipper, line.Intersect(clip), value);
    }

    if (align & TA_UPDATECP) {
        // The position moves past the text in the direction it was written; centred text
        // leaves it where it was.
        if ((align & TA_CENTER) == TA_LEFT)
            dc->CurrentPosition.x = ClampToLong(originX + width);
        else if ((align & TA_CENTER) == TA_RIGHT)
            dc->CurrentPosition.x = ClampToLong(originX - width);
    }
    return TRUE;
}

BOOL TextOutA(HDC dc, int x, int y, const char* text, int count) {
    if (count < 0) {
        TLock lock(LayerMutex());
        if (Lookup<TDCObj>(dc) == nullptr)
            return FALSE;
        return Refuse(ERROR_INVALID_PARAMETER);
    }
    return ExtTextOutA(dc, x, y, 0, nullptr, text, UINT(count), nullptr);
}

BOOL GetTextExtentPoint32A(HDC handle, const char* text, int count, SIZE* size) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (size == nullptr || count < 0 || (text == nullptr && count > 0))
        return Refuse(ERROR_INVALID_PARAMETER);
    TRealizedFont* font = ContextFont(*dc);
    if (font == nullptr)
        return FALSE;
    long long width = 0;
    PlaceText(*font, text, std::size_t(count), nullptr, width);
    size->cx = ClampToLong(width);
    size->cy = font->Metrics().tmHeight;
    return TRUE;
}

BOOL GetTextMetricsA(HDC handle, TEXTMETRICA* metrics) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (metrics == nullptr)
        return Refuse(ERROR_INVALID_PARAMETER);
    TRealizedFont* font = ContextFont(*dc);
    if (font == nullptr)
        return FALSE;
    *metrics = font->Metrics();
    const LOGFONTA& log = static_cast<TFontObj*>(Find(dc->Font))->Log;
    metrics->tmItalic = log.lfItalic ? 255 : 0;
    metrics->tmUnderlined = log.lfUnderline ? 255 : 0;
    metrics->tmStruckOut = log.lfStrikeOut ? 255 : 0;
    return TRUE;
}

int GetTextFaceA(HDC handle, int count, char* name) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return 0;
    TRealizedFont* font = ContextFont(*dc);
    if (font == nullptr)
        return 0;
    const std::string& face = font->FaceName();
    if (name == nullptr)
        return int(face.size() + 1);
    if (count <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t length = std::min(face.size(), std::size_t(count) - 1);
    // Never cut a multi-byte character in two.
    while (length > 0 && length < face.size() && (BYTE(face[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(name, face.data(), length);
    name[length] = '\0';
    return int(length + 1);
}

UINT SetTextAlign(HDC handle, UINT align) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return GDI_ERROR;
    return std::exchange(dc->TextAlign, align & TA_MASK);
}

UINT GetTextAlign(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    return dc != nullptr ? dc->TextAlign : GDI_ERROR;
}

}  // namespace gdi
