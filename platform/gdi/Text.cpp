// Text output and measurement with the context's font, colours, background mode and alignment.
// Glyphs come from the font cache; this file places them and puts their coverage on the surface.
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/EnhMetaFile.h"
#include "platform/gdi/FontCache.h"
#include "platform/gdi/Path.h"
#include "platform/gdi/Recorder.h"
#include "platform/gdi/TextCodes.h"
#include "platform/gdi/Transfer.h"

#include <algorithm>
#include <climits>
#include <cmath>

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

// One character of a run: its code (or glyph index), and the caller's advances in logical units
// when it gave any.
struct TRunChar {
    char32_t Code;
    long long Dx = 0;
    long long Dy = 0;
};

// The characters of UTF-8 text, each with the sum of its bytes' entries of the caller's advances.
std::vector<TRunChar> DecodeUtf8(const char* text, std::size_t count, const INT* dx) {
    std::vector<TRunChar> run;
    // The count is the caller's word for the text's length; memory follows the text read.
    run.reserve(std::min<std::size_t>(count, 4096));
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t at = 0;
    while (at < count) {
        char32_t code = 0;
        std::size_t length = DecodeOne(bytes + at, count - at, code);
        if (length == 0) {
            code = 0xFFFD;
            length = 1;
        }
        TRunChar c{code};
        if (dx != nullptr)
            for (std::size_t i = 0; i < length; ++i)
                c.Dx += dx[at + i];
        run.push_back(c);
        at += length;
    }
    return run;
}

// A recording keeps UTF-8 text as the UTF-16 of EXTTEXTOUTW, each character's advance on its
// first unit (0 on the second of a pair). ETO_PDY's pairs stay with the A call's own reading.
bool RecordUtf8Run(TDCObj& dc, int x, int y, UINT options, const RECT* rect, const std::vector<TRunChar>& run,
                   bool advancesGiven) {
    std::vector<WCHAR> units;
    std::vector<INT> advances;
    units.reserve(run.size());
    const bool withAdvances = advancesGiven && (options & ETO_PDY) == 0;
    for (const TRunChar& c : run) {
        const auto advance = INT(std::clamp<long long>(c.Dx, INT_MIN, INT_MAX));
        if (c.Code >= 0x10000) {
            units.push_back(WCHAR(0xD800 + ((c.Code - 0x10000) >> 10)));
            units.push_back(WCHAR(0xDC00 + ((c.Code - 0x10000) & 0x3FF)));
            if (withAdvances)
                advances.insert(advances.end(), {advance, 0});
        } else {
            units.push_back(WCHAR(c.Code));
            if (withAdvances)
                advances.push_back(advance);
        }
    }
    return RecordText(dc, x, y, options & ~UINT(ETO_PDY), rect, units.data(), UINT(units.size()),
                      withAdvances ? advances.data() : nullptr);
}

// What a context adds to the font's advances of text written without its own, in device pixels:
// every character's spacing, and the line's extra shared among the break characters.
struct TSpacing {
    long long CharExtra = 0;
    long long BreakEach = 0;
    long long BreakFirst = 0;  // how many break characters, from the first, get a pixel more
    char32_t BreakChar = 0x20;
    bool Any() const { return CharExtra != 0 || BreakEach != 0 || BreakFirst != 0; }
};

// Held within the device's reach, so that a run's width, a sum of as many as 2^31 advances, cannot
// overflow.
long long ScaledLength(long long logical, double along) {
    const double device = std::floor(double(logical) * along + 0.5);
    const double limit = double(kDeviceLimit);
    return std::isfinite(device) ? (long long)std::clamp(device, -limit, limit) : 0;
}

TSpacing SpacingOf(const TDCObj& dc, const TRealizedFont& font, double alongX) {
    TSpacing spacing;
    spacing.CharExtra = ScaledLength(dc.CharExtra, alongX);
    if (dc.BreakCount > 0) {
        const long long total = ScaledLength(std::llabs(dc.BreakExtra), alongX);
        spacing.BreakEach = total / dc.BreakCount;
        spacing.BreakFirst = total % dc.BreakCount;
    }
    spacing.BreakChar = char32_t(font.Metrics().tmBreakChar);
    return spacing;
}

// Advances in device pixels: the caller's (scaled from logical units), or the font's with the
// context's spacing.
std::vector<TPlacedChar> PlaceRun(TRealizedFont& font, const std::vector<TRunChar>& run, bool given, double alongX,
                                  const TSpacing& spacing, long long& width) {
    std::vector<TPlacedChar> placed;
    placed.reserve(run.size());
    width = 0;
    // Given advances place each character at its offset from the start, scaled and rounded, so
    // the rounding of one advance is not carried into the next.
    long long logical = 0, placedAt = 0, breaks = 0;
    for (const TRunChar& c : run) {
        long long advance = 0;
        if (given && alongX != 1.0) {
            logical += c.Dx;
            const auto at = (long long)std::floor(double(logical) * alongX + 0.5);
            advance = at - placedAt;
            placedAt = at;
        } else if (given) {
            advance = c.Dx;
        } else {
            advance = font.Advance(c.Code) + spacing.CharExtra;
            if (c.Code == spacing.BreakChar)
                advance += spacing.BreakEach + (breaks++ < spacing.BreakFirst ? 1 : 0);
        }
        placed.push_back(TPlacedChar{c.Code, advance});
        width += advance;
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

// Smoothed glyphs blend as the platform's do (measured): coverage is cut to 17 levels, and a
// level moves the pixel toward the text colour along a fixed ramp, which leaves partly covered
// pixels lighter than a straight mix would (black on white, level k gives kGreyRamp[16 − k]).
constexpr BYTE kGreyRamp[17] = {0, 77, 104, 124, 140, 154, 167, 178, 189, 199, 208, 217, 225, 233, 240, 248, 255};

// A coverage of 0 … 255 as one of the levels 0 … 16.
unsigned GreyLevel(unsigned coverage) { return coverage * 17 >> 8; }

// One colour component under a glyph pixel of the given level: white would become the ramp's
// value lifted toward the text, black the ramp's opposite value scaled by it, and the
// component lies proportionally between the text and whichever of them it is nearer.
BYTE BlendGrey(unsigned under, unsigned text, unsigned level) {
    if (under > text) {
        const unsigned white = kGreyRamp[16 - level] + (255 - kGreyRamp[16 - level]) * text / 255;
        return BYTE(text + (under - text) * (white - text) / (255 - text));
    }
    if (under < text) {
        const unsigned black = kGreyRamp[level] * text / 255;
        return BYTE(text - (text - under) * (text - black) / text);
    }
    return BYTE(under);
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
                    continue;
                }
                const unsigned level = GreyLevel(c);
                if (level == 16) {
                    WritePixel(row, LONG(x), bpp, value);
                } else if (level > 0) {
                    const COLORREF under = format.Decode(ReadPixel(row, LONG(x), bpp));
                    const COLORREF mixed = RGB(BlendGrey(GetRValue(under), GetRValue(colour), level),
                                               BlendGrey(GetGValue(under), GetGValue(colour), level),
                                               BlendGrey(GetBValue(under), GetBValue(colour), level));
                    WritePixel(row, LONG(x), bpp, format.Encode(mixed));
                }
            }
        });
    }
}

// The context's font made real at the size its logical height has on the device: the transforms
// scale the height and the average width (text stays upright; a rotating transform places the
// text but does not turn the glyphs).
class TContextFont {
public:
    explicit TContextFont(const TDCObj& dc) {
        TObject* object = Find(dc.Font);
        if (object == nullptr || object->Kind != TKind::Font) {
            SetLastError(ERROR_INVALID_HANDLE);
            return;
        }
        FRecord = static_cast<TFontObj*>(object);
        UnitLengths(dc, FAlongX, FAlongY);
        long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        ToDevice(dc, 0, 0, x0, y0);
        ToDevice(dc, 0, 1 << 20, x1, y1);
        FAlongYSign = y1 < y0 ? -1.0 : 1.0;
        if (FAlongX == 1.0 && FAlongY == 1.0) {
            FFont = RealizeFont(*FRecord);
            return;
        }
        FScaled.Log = FRecord->Log;
        FScaled.Log.lfHeight = Scale(FRecord->Log.lfHeight, FAlongY);
        FScaled.Log.lfWidth = Scale(FRecord->Log.lfWidth, FAlongX);
        FFont = RealizeFont(FScaled);
        // In the advanced mode glyphs follow the transform: a designed width is stretched by
        // as much as x scales more than y.
        const double stretch = FAlongX / FAlongY;
        if (FFont != nullptr && FRecord->Log.lfWidth == 0 && dc.GraphicsMode == GM_ADVANCED && !dc.CompatibleText &&
            std::isfinite(stretch) && std::fabs(stretch - 1.0) > 1e-3) {
            const double average = double(FFont->Metrics().tmAveCharWidth) * stretch;
            FScaled.Log.lfWidth = LONG(std::clamp(std::floor(average + 0.5), 1.0, double(kMaxFontPixels)));
            FScaled.Realized.reset();
            FFont = RealizeFont(FScaled);
        }
    }
    /// Null with the last error set when the font cannot be had.
    TRealizedFont* Font() const { return FFont; }
    const LOGFONTA& Log() const { return FRecord->Log; }
    /// Device pixels per logical unit along each axis.
    double AlongX() const { return FAlongX; }
    double AlongY() const { return FAlongY; }
    /// Device pixels per logical unit along y, negative when the transforms turn y upward.
    double AlongYSigned() const { return FAlongYSign * FAlongY; }

private:
    // A size that is not 0 stays at least one pixel.
    static LONG Scale(LONG size, double factor) {
        if (size == 0)
            return 0;
        const double scaled = std::min(std::floor(std::abs(double(size)) * factor + 0.5), double(kMaxFontPixels));
        const LONG pixels = std::max(LONG(1), LONG(scaled));
        return size < 0 ? -pixels : pixels;
    }

    TFontObj* FRecord = nullptr;
    TFontObj FScaled;  // the record at device size; lives as long as the realised font is used
    TRealizedFont* FFont = nullptr;
    double FAlongX = 1.0;
    double FAlongY = 1.0;
    double FAlongYSign = 1.0;
};

// A length in device pixels → logical units along an axis of the given scale.
long long ToLogicalLength(long long pixels, double along) {
    if (along == 1.0 || !(along > 0.0))
        return pixels;
    return (long long)std::floor(double(pixels) / along + 0.5);
}

LONG ClampToLong(long long value) { return LONG(std::clamp<long long>(value, INT32_MIN, INT32_MAX)); }

std::size_t& SkippedGlyphRuns() {
    thread_local std::size_t count = 0;
    return count;
}

// Face names compare without regard to ASCII case.
bool SameFace(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(*a) != lower(*b))
            return false;
    }
    return *a == *b;
}

}  // namespace

// TA_UPDATECP: the position (logical) moves past the text in the direction it was written;
// centred text leaves it where it was.
void UpdatePosition(TDCObj& dc, long long width, const TContextFont& contextFont, long long originX) {
    const UINT given = dc.TextAlign;
    if ((given & TA_UPDATECP) == 0)
        return;
    const long long advance = ToLogicalLength(width, contextFont.AlongX());
    if ((given & TA_CENTER) == TA_LEFT)
        dc.CurrentPosition.x = ClampToLong(originX + advance);
    else if ((given & TA_CENTER) == TA_RIGHT)
        dc.CurrentPosition.x = ClampToLong(originX - advance);
}

constexpr double kPi = 3.14159265358979323846;

// The pen of a run along a baseline turned counter-clockwise on the device by an angle: the
// alignment is measured along the baseline and across it.
struct TBaselinePen {
    double X, Y;
    double AlongX, AlongY;  // the baseline, y down
    double UpX, UpY;        // across it, upward

    TBaselinePen(const TEXTMETRICA& metrics, UINT align, long long width, long long deviceX, long long deviceY,
                 double radians)
        : AlongX(std::cos(radians)), AlongY(-std::sin(radians)), UpX(AlongY), UpY(-AlongX) {
        double start = 0;
        switch (align & TA_CENTER) {
        case TA_RIGHT: start = -double(width); break;
        case TA_CENTER: start = -double(width / 2); break;
        default: break;
        }
        double rise = -double(metrics.tmAscent);  // TA_TOP: the baseline lies the ascent below
        switch (align & TA_BASELINE) {
        case TA_BASELINE: rise = 0; break;
        case TA_BOTTOM: rise = double(metrics.tmDescent); break;
        default: break;
        }
        X = double(deviceX) + start * AlongX + rise * UpX;
        Y = double(deviceY) + start * AlongY + rise * UpY;
    }
    // Past a glyph's advance and the caller's move across the baseline.
    void Advance(double advance, double across) {
        X += advance * AlongX - across * UpX;
        Y += advance * AlongY - across * UpY;
    }
};

// The pixels text may paint: the clip and the surface.
TBox Paintable(const TClipper& clipper, const TBox& clip) {
    const TClip bounds = clipper.Bounds();
    return TBox{bounds.X0, bounds.Y0, bounds.X1, bounds.Y1}.Intersect(clip);
}

// The paintable box as seen from a pen position, in the face's sense (y up).
TGlyphWindow WindowAt(const TBox& paintable, long long penX, long long penY) {
    return TGlyphWindow{paintable.Left - penX, penY - paintable.Bottom, paintable.Right - penX, penY - paintable.Top};
}

// The pen positions from which a glyph's ink may reach the pixels that can be painted: a glyph
// whose pen lies outside is not rendered at all, which keeps long runs of huge characters that
// run far off the surface cheap.
TBox Reachable(const TClipper& clipper, const TBox& clip, const std::array<long long, 4>& reach, bool turned) {
    const TBox paintable = Paintable(clipper, clip);
    if (turned) {
        const long long most = 2 * *std::max_element(reach.begin(), reach.end());
        return TBox{paintable.Left - most, paintable.Top - most, paintable.Right + most, paintable.Bottom + most};
    }
    // A glyph right of the paintable box by more than its left reach cannot touch it, and so on.
    return TBox{paintable.Left - reach[2], paintable.Top - reach[3], paintable.Right + reach[0],
                paintable.Bottom + reach[1]};
}

// Text whose baseline the font's escapement turns (tenths of a degree, counter-clockwise on the
// device): each glyph is rendered turned by the same angle, only as far as it can show. No
// background box or decoration lines are drawn for it.
void DrawTurnedRun(TBitmapObj& bitmap, TFormat& format, const TClipper& clipper, TRealizedFont& font,
                   const std::vector<TPlacedChar>& placed, const std::vector<TRunChar>& run,
                   const TContextFont& contextFont, UINT align, long long width, long long deviceX,
                   long long deviceY, double radians, const TBox& clip, COLORREF colour) {
    TBaselinePen pen(font.Metrics(), align, width, deviceX, deviceY, radians);
    const DWORD value = format.Encode(colour);
    const TBox within = Reachable(clipper, clip, font.InkReach(), true);
    const TBox paintable = Paintable(clipper, clip);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const long long x = (long long)std::floor(pen.X + 0.5), y = (long long)std::floor(pen.Y + 0.5);
        if (x < within.Left || x >= within.Right || y < within.Top || y >= within.Bottom) {
            pen.Advance(double(placed[i].Advance), double(run[i].Dy) * contextFont.AlongYSigned());
            continue;
        }
        const TGlyphImage& glyph = font.TurnedGlyph(placed[i].Code, radians, WindowAt(paintable, x, y));
        if (!glyph.Coverage.empty())
            PaintGlyph(bitmap, format, clipper, glyph, x + glyph.Left, y - glyph.Top, clip, colour, value);
        pen.Advance(double(placed[i].Advance), double(run[i].Dy) * contextFont.AlongYSigned());
    }
}

// Inside a path bracket a run records its glyphs' outlines, each figure closed, placed along the
// baseline (turned by the escapement) as the run would draw; no background box or decoration
// lines go into the path.
BOOL RecordRun(TDCObj& dc, TRealizedFont& font, const std::vector<TPlacedChar>& placed,
               const std::vector<TRunChar>& run, const TContextFont& contextFont, UINT align, long long width,
               long long deviceX, long long deviceY, double radians) {
    const double cosine = std::cos(radians), sine = std::sin(radians);
    TBaselinePen pen(font.Metrics(), align, width, deviceX, deviceY, radians);
    TGlyphOutline outline;
    std::vector<TScanPoint> points;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (font.Outline(placed[i].Code, outline) && !outline.Points.empty()) {
            points.clear();
            for (const TGlyphOutline::TPoint& p : outline.Points) {
                // The face's y runs up; on the device it runs down, then the whole turns.
                const double x = double(p.X) / 64, y = -double(p.Y) / 64;
                points.push_back(TScanPoint{(long long)std::floor(pen.X + x * cosine + y * sine + 0.5),
                                            (long long)std::floor(pen.Y - x * sine + y * cosine + 0.5)});
            }
            if (!PathAppend(dc, points.front(), points, outline.Types))
                return FALSE;
        }
        pen.Advance(double(placed[i].Advance), double(run[i].Dy) * contextFont.AlongYSigned());
    }
    dc.Path.SetFigureOpen(false);
    return TRUE;
}

// The run's codes as the font draws them: glyph indices flagged, symbol characters mapped. False
// for glyph indices of another face than the one they name, which would draw unrelated glyphs.
bool MapCodes(const TContextFont& contextFont, TRealizedFont& font, std::vector<TRunChar>& run, bool glyphIndices) {
    if (glyphIndices) {
        const LOGFONTA& log = contextFont.Log();
        const char* named = log.lfFaceName[0] == '@' ? log.lfFaceName + 1 : log.lfFaceName;
        if (!SameFace(named, font.FaceName().c_str()))
            return false;
        for (TRunChar& c : run)
            c.Code = (c.Code & 0xFFFF) | kGlyphIndexFlag;
    } else if (contextFont.Log().lfCharSet == SYMBOL_CHARSET) {
        for (TRunChar& c : run)
            c.Code = font.SymbolCode(c.Code);
    }
    return true;
}

// An enhanced metafile has no record of a context's text spacing, so text written without
// advances while spacing is set goes into one with the advances it was drawn with, in logical
// units, each character's placed at its rounded offset from the start. False when there is no
// spacing to carry (or no font to measure with).
bool SpacedAdvances(const TDCObj& dc, const std::vector<TRunChar>& run, bool glyphIndices,
                    std::vector<long long>& advances) {
    const TContextFont contextFont(dc);
    TRealizedFont* font = contextFont.Font();
    if (font == nullptr)
        return false;
    const TSpacing spacing = SpacingOf(dc, *font, contextFont.AlongX());
    std::vector<TRunChar> codes = run;
    if (!spacing.Any() || !MapCodes(contextFont, *font, codes, glyphIndices))
        return false;
    long long width = 0, device = 0, logical = 0;
    const std::vector<TPlacedChar> placed = PlaceRun(*font, codes, false, contextFont.AlongX(), spacing, width);
    advances.clear();
    for (const TPlacedChar& character : placed) {
        device += character.Advance;
        const long long at = ToLogicalLength(device, contextFont.AlongX());
        advances.push_back(at - logical);
        logical = at;
    }
    return true;
}

// Draws a run of characters (or glyph indices) with the context's font. advancesGiven tells whether
// the run carries the caller's advances; their dy moves the pen across the baseline as well.
BOOL DrawRun(TDCObj* dc, int x, int y, UINT options, const RECT* rect, std::vector<TRunChar>& run, bool advancesGiven,
             bool glyphIndices) {
    TBitmapObj* bitmap = SurfaceOf(*dc);
    if (bitmap == nullptr)
        return FALSE;
    const TContextFont contextFont(*dc);
    TRealizedFont* font = contextFont.Font();
    if (font == nullptr)
        return FALSE;

    TFormat format(*bitmap);
    const TClipper clipper(*dc, *bitmap);
    // The surface and the context's clip are the clipper's; ETO_CLIPPED adds the rectangle.
    TBox clip{LLONG_MIN, LLONG_MIN, LLONG_MAX, LLONG_MAX};
    if (rect != nullptr) {
        const TDeviceRect mapped = DeviceRect(*dc, rect->left, rect->top, (long long)rect->right - rect->left,
                                              (long long)rect->bottom - rect->top);
        // Normalised: the transforms may have turned the rectangle over.
        const TBox given{std::min(mapped.X, mapped.X + mapped.Width), std::min(mapped.Y, mapped.Y + mapped.Height),
                         std::max(mapped.X, mapped.X + mapped.Width), std::max(mapped.Y, mapped.Y + mapped.Height)};
        if (options & ETO_OPAQUE)
            FillBox(*bitmap, clipper, given, format.Encode(ResolveColor(*dc, dc->BkColor)));
        if (options & ETO_CLIPPED)
            clip = given;
    }

    if (!MapCodes(contextFont, *font, run, glyphIndices)) {
        ++SkippedGlyphRuns();
        return TRUE;
    }
    long long width = 0;
    const std::vector<TPlacedChar> placed =
        PlaceRun(*font, run, advancesGiven, contextFont.AlongX(), SpacingOf(*dc, *font, contextFont.AlongX()), width);
    const TEXTMETRICA& metrics = font->Metrics();
    UINT align = dc->TextAlign;
    long long originX = x, originY = y;
    if (align & TA_UPDATECP) {
        originX = dc->CurrentPosition.x;
        originY = dc->CurrentPosition.y;
    }
    long long deviceX = 0, deviceY = 0;
    ToDevice(*dc, originX, originY, deviceX, deviceY);
    if (dc->Layout & LAYOUT_RTL) {
        // Mirrored, the reference point is the edge of its pixel column that faces the text, and
        // left and right alignment trade places.
        deviceX = LayoutWidth(*dc) - deviceX;
        if ((align & TA_CENTER) != TA_CENTER)
            align ^= TA_RIGHT;
    }
    deviceX = std::clamp(deviceX, -kDeviceLimit, kDeviceLimit);
    deviceY = std::clamp(deviceY, -kDeviceLimit, kDeviceLimit);
    if (dc->Path.Open()) {
        const LONG escapement = contextFont.Log().lfEscapement % 3600;
        if (!RecordRun(*dc, *font, placed, run, contextFont, align, width, deviceX, deviceY,
                       double(escapement) * kPi / 1800.0))
            return FALSE;
        UpdatePosition(*dc, width, contextFont, originX);
        return TRUE;
    }
    if (const LONG escapement = contextFont.Log().lfEscapement % 3600; escapement != 0) {
        if (Recording(*dc)) {
            // Turned, the run stays within its length and height of the reference point.
            const long long reach = width + metrics.tmAscent + metrics.tmDescent;
            RecordTextBox(*dc, deviceX - reach, deviceY - reach, deviceX + reach, deviceY + reach);
        }
        DrawTurnedRun(*bitmap, format, clipper, *font, placed, run, contextFont, align, width, deviceX, deviceY,
                      double(escapement) * kPi / 1800.0, clip, ResolveColor(*dc, dc->TextColor));
        UpdatePosition(*dc, width, contextFont, originX);
        return TRUE;
    }
    long long left = deviceX;
    switch (align & TA_CENTER) {
    case TA_RIGHT: left = deviceX - width; break;
    case TA_CENTER: left = deviceX - width / 2; break;
    default: break;
    }
    long long baseline = deviceY + metrics.tmAscent;
    switch (align & TA_BASELINE) {
    case TA_BASELINE: baseline = deviceY; break;
    case TA_BOTTOM: baseline = deviceY - metrics.tmDescent; break;
    default: break;
    }

    if (Recording(*dc) && width > 0)
        RecordTextBox(*dc, left, baseline - metrics.tmAscent, left + width - 1, baseline + metrics.tmDescent - 1);
    if (dc->BkMode == OPAQUE && width > 0) {
        const TBox cell{left, baseline - metrics.tmAscent, left + width, baseline + metrics.tmDescent};
        FillBox(*bitmap, clipper, cell.Intersect(clip), format.Encode(ResolveColor(*dc, dc->BkColor)));
    }
    const COLORREF colour = ResolveColor(*dc, dc->TextColor);
    const DWORD value = format.Encode(colour);
    long long pen = left;
    double rise = 0;  // ETO_PDY's advances across the baseline, device pixels, y down
    const TBox within = Reachable(clipper, clip, font->InkReach(), false);
    const TBox paintable = Paintable(clipper, clip);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const TPlacedChar& character = placed[i];
        const long long penY = baseline + (long long)std::floor(rise + 0.5);
        if (pen >= within.Left && pen < within.Right && penY >= within.Top && penY < within.Bottom) {
            const TGlyphImage& glyph = font->Glyph(character.Code, WindowAt(paintable, pen, penY));
            if (!glyph.Coverage.empty())
                PaintGlyph(*bitmap, format, clipper, glyph, pen + glyph.Left, penY - glyph.Top, clip, colour, value);
        }
        pen += character.Advance;
        // Logical y points up in the caller's advances only as the transforms say.
        rise += double(run[i].Dy) * contextFont.AlongYSigned();
    }
    const LOGFONTA& log = contextFont.Log();
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

    UpdatePosition(*dc, width, contextFont, originX);
    return TRUE;
}

BOOL ExtTextOutA(HDC handle, int x, int y, UINT options, const RECT* rect, const char* text, UINT count, const INT* dx) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if ((text == nullptr && count > 0) || count > UINT(INT_MAX))
        return Refuse(ERROR_INVALID_PARAMETER);
    std::vector<TRunChar> run = DecodeUtf8(text, count, dx);
    if (Recording(*dc)) {
        std::vector<long long> spaced;
        std::vector<TRunChar> recorded = run;
        const bool carried = dx == nullptr && !RecordsWindows(*dc) && SpacedAdvances(*dc, run, false, spaced);
        for (std::size_t i = 0; carried && i < recorded.size(); ++i)
            recorded[i].Dx = spaced[i];
        if (!RecordUtf8Run(*dc, x, y, options, rect, recorded, dx != nullptr || carried))
            return FALSE;
    }
    return DrawRun(dc, x, y, options, rect, run, dx != nullptr, false);
}

BOOL ExtTextOutW(HDC handle, int x, int y, UINT options, const RECT* rect, const WCHAR* text, UINT count,
                 const INT* dx) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if ((text == nullptr && count > 0) || count > UINT(INT_MAX))
        return Refuse(ERROR_INVALID_PARAMETER);
    const bool pairs = (options & ETO_PDY) != 0;
    const bool indices = (options & ETO_GLYPH_INDEX) != 0;
    std::vector<TRunChar> run;
    std::vector<std::size_t> firstUnits;  // where each character starts, for a recording
    run.reserve(std::min<std::size_t>(count, 4096));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t first = i;
        const char32_t code = indices ? char32_t(text[i]) : NextUtf16(text, count, i);
        TRunChar c{code};
        if (dx != nullptr) {
            // One entry per unit (two with ETO_PDY): a surrogate pair advances by both.
            for (std::size_t k = first; k <= i; ++k) {
                c.Dx += pairs ? dx[2 * k] : dx[k];
                if (pairs)
                    c.Dy += dx[2 * k + 1];
            }
        }
        run.push_back(c);
        if (Recording(*dc))
            firstUnits.push_back(first);
    }
    if (Recording(*dc)) {
        // Spacing goes in as advances on each character's first unit, the second of a pair 0.
        std::vector<long long> spaced;
        std::vector<INT> carried;
        if (dx == nullptr && !RecordsWindows(*dc) && SpacedAdvances(*dc, run, indices, spaced)) {
            carried.assign(std::size_t(count) * (pairs ? 2 : 1), 0);
            for (std::size_t i = 0; i < run.size(); ++i)
                carried[firstUnits[i] * (pairs ? 2 : 1)] = INT(std::clamp<long long>(spaced[i], INT_MIN, INT_MAX));
        }
        if (!RecordText(*dc, x, y, options, rect, text, count, carried.empty() ? dx : carried.data()))
            return FALSE;
    }
    return DrawRun(dc, x, y, options, rect, run, dx != nullptr, indices);
}

BOOL TextOutW(HDC dc, int x, int y, const WCHAR* text, int count) {
    if (count < 0) {
        TLock lock(LayerMutex());
        if (Lookup<TDCObj>(dc) == nullptr)
            return FALSE;
        return Refuse(ERROR_INVALID_PARAMETER);
    }
    return ExtTextOutW(dc, x, y, 0, nullptr, text, UINT(count), nullptr);
}

std::size_t GlyphIndexRunsSkipped() { return SkippedGlyphRuns(); }

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
    // Measured on the device with the font the context draws with, answered in logical units.
    const TContextFont contextFont(*dc);
    TRealizedFont* font = contextFont.Font();
    if (font == nullptr)
        return FALSE;
    long long width = 0;
    PlaceRun(*font, DecodeUtf8(text, std::size_t(count), nullptr), false, 1.0,
             SpacingOf(*dc, *font, contextFont.AlongX()), width);
    size->cx = ClampToLong(ToLogicalLength(width, contextFont.AlongX()));
    size->cy = ClampToLong(ToLogicalLength(font->Metrics().tmHeight, contextFont.AlongY()));
    return TRUE;
}

BOOL GetTextMetricsA(HDC handle, TEXTMETRICA* metrics) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (metrics == nullptr)
        return Refuse(ERROR_INVALID_PARAMETER);
    const TContextFont contextFont(*dc);
    TRealizedFont* font = contextFont.Font();
    if (font == nullptr)
        return FALSE;
    *metrics = font->Metrics();
    // Logical units, like every size the text calls answer.
    const auto vertical = [&](LONG& value) { value = ClampToLong(ToLogicalLength(value, contextFont.AlongY())); };
    const auto horizontal = [&](LONG& value) { value = ClampToLong(ToLogicalLength(value, contextFont.AlongX())); };
    for (LONG* value : {&metrics->tmHeight, &metrics->tmAscent, &metrics->tmDescent, &metrics->tmInternalLeading,
                        &metrics->tmExternalLeading})
        vertical(*value);
    for (LONG* value : {&metrics->tmAveCharWidth, &metrics->tmMaxCharWidth, &metrics->tmOverhang})
        horizontal(*value);
    const LOGFONTA& log = contextFont.Log();
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
    const TContextFont contextFont(*dc);
    TRealizedFont* font = contextFont.Font();
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
    if (dc == nullptr || (Recording(*dc) && !RecordValue(*dc, EMR_SETTEXTALIGN, align & TA_MASK)))
        return GDI_ERROR;
    return std::exchange(dc->TextAlign, align & TA_MASK);
}

UINT GetTextAlign(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    return dc != nullptr ? dc->TextAlign : GDI_ERROR;
}

int SetTextCharacterExtra(HDC handle, int extra) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr || (Recording(*dc) && !RecordTextSpacing(*dc, false, extra, 0)))
        return INT_MIN;
    return std::exchange(dc->CharExtra, extra);
}

int GetTextCharacterExtra(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    return dc != nullptr ? dc->CharExtra : INT_MIN;
}

BOOL SetTextJustification(HDC handle, int extra, int count) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (count < 0)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (Recording(*dc) && !RecordTextSpacing(*dc, true, extra, count))
        return FALSE;
    dc->BreakExtra = count == 0 ? 0 : extra;
    dc->BreakCount = count;
    return TRUE;
}

}  // namespace gdi
