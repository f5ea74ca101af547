// Fonts made real: the face fontconfig chooses for a font record, opened with FreeType at the
// record's size, with the metrics the text calls report and caches of advances and rendered
// glyphs. Private to the layer. Every call expects the layer lock, which also guards FreeType's
// handles: a FreeType library and its faces may not be used from two threads at once.
#pragma once

#include "platform/gdi/Internal.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace gdi::detail {

struct TFreeTypeLibrary;

/// A glyph's outline as path figures: points in 64ths of a pixel from the pen position (x right,
/// y up, as the face draws them) with their PT_MOVETO, PT_LINETO and PT_BEZIERTO types; every
/// figure closed.
struct TGlyphOutline {
    struct TPoint {
        long X, Y;
    };
    std::vector<TPoint> Points;
    std::vector<BYTE> Types;
};

/// One rendered glyph: coverage 0 … 255, row by row from the top.
struct TGlyphImage {
    int Left = 0;    // from the pen position to the first column
    int Top = 0;     // from the baseline up to the first row
    int Width = 0;
    int Height = 0;
    std::vector<BYTE> Coverage;
};

/// The pixels around a pen position that can reach the surface, x to the right and y up as in the
/// face, each range half-open: columns Left … Right − 1, rows Bottom … Top − 1 above the baseline.
struct TGlyphWindow {
    long long Left = 0, Bottom = 0, Right = 0, Top = 0;
};

/// Where fontconfig found the face for a request, and what it lacks of the request.
struct TFaceChoice {
    std::string File;
    int Index = 0;
    std::string Family;
    bool Embolden = false;  // a bold request met by a lighter face
    bool Oblique = false;   // an italic request met by an upright face
    LONG Weight = FW_NORMAL;
};

/// The size a font record asks for, in pixels; 0 for a width means "as the face is designed".
struct TFontSize {
    LONG Height = 0;  // the record's lfHeight: negative em height, positive cell height, 0 default
    LONG Width = 0;
};

class TRealizedFont {
public:
    /// Opens the face and sets its size; Ok() tells whether that worked.
    TRealizedFont(std::shared_ptr<TFreeTypeLibrary> library, const TFaceChoice& choice, const TFontSize& size,
                  const LOGFONTA& log);
    ~TRealizedFont();
    TRealizedFont(const TRealizedFont&) = delete;
    TRealizedFont& operator=(const TRealizedFont&) = delete;

    bool Ok() const { return FFace != nullptr; }
    /// Metrics without the record's own flags (italic, underline, strike-out), which the caller adds.
    const TEXTMETRICA& Metrics() const { return FMetrics; }
    const std::string& FaceName() const { return FFaceName; }
    /// A character code of a SYMBOL_CHARSET font as this face knows it: U+F000 + c where the face
    /// has a symbol character map, else the Unicode character the Symbol encoding gives c.
    char32_t SymbolCode(char32_t code) const;
    /// The whole-pixel advance of a character (or of a glyph index with kGlyphIndexFlag).
    int Advance(char32_t code);
    /// How far from its pen position an upright glyph's ink may reach, in pixels (left, up, right,
    /// down; bounds taken from the face's box), so that glyphs far off the surface need not be
    /// rendered; a turned glyph's reach is the largest of them, doubled.
    const std::array<long long, 4>& InkReach() const { return FInkReach; }
    /// The character's image; valid only until the next call on this font. A big glyph that lies
    /// partly outside the window is rendered only as far as it lies inside, and not cached.
    const TGlyphImage& Glyph(char32_t code, const TGlyphWindow& window);
    /// The character's image turned counter-clockwise (on the device) by the angle, placed from
    /// the pen position like an upright one, rendered only inside the window; not cached, valid
    /// until the next call on this font.
    const TGlyphImage& TurnedGlyph(char32_t code, double radians, const TGlyphWindow& window);
    /// The character's outline, quadratic pieces raised to cubic ones; false for a glyph the face
    /// holds only as a bitmap.
    bool Outline(char32_t code, TGlyphOutline& outline);

    // Decoration lines: the first row below the baseline (negative: above) and the thickness.
    int UnderlineOffset() const { return FUnderlineOffset; }
    int UnderlineThickness() const { return FUnderlineThickness; }
    int StrikeoutOffset() const { return FStrikeoutOffset; }
    int StrikeoutThickness() const { return FStrikeoutThickness; }

private:
    bool SetSize(const TFontSize& size);
    bool Load(char32_t code, bool outline = false);
    /// Loads and renders a glyph whole when it lies inside the window or its box holds at most
    /// wholeUpTo pixels, else only its part inside the window; false when only a part was.
    bool Render(char32_t code, TGlyphImage& image, const TGlyphWindow& window, std::size_t wholeUpTo);

    std::shared_ptr<TFreeTypeLibrary> FLibrary;
    FT_Face FFace = nullptr;
    bool FEmbolden = false;
    bool FOblique = false;
    bool FSymbolMap = false;
    bool FMonochrome = false;  // rendered without grey levels (see Gdi.h's text rules)
    TEXTMETRICA FMetrics{};
    std::array<long long, 4> FInkReach{};
    std::string FFaceName;
    int FUnderlineOffset = 0;
    int FUnderlineThickness = 1;
    int FStrikeoutOffset = 0;
    int FStrikeoutThickness = 1;
    std::unordered_map<char32_t, int> FAdvances;
    std::unordered_map<char32_t, TGlyphImage> FGlyphs;
    std::size_t FGlyphBytes = 0;
    TGlyphImage FScratch;  // a glyph too big for the cache
};

/// Marks a code as a glyph index of the face rather than a character.
constexpr char32_t kGlyphIndexFlag = 0x80000000u;

/// The largest em or cell height and average width in pixels a font is made with; bigger
/// requests are cut to it, so a hostile record cannot ask for gigantic glyph images.
constexpr LONG kMaxFontPixels = 1024;
/// The em height of a record with lfHeight 0.
constexpr LONG kDefaultEmPixels = 12;

/// The face family fontconfig is asked for in place of a face name, or the name itself.
std::string MappedFaceName(const char* faceName);
/// The realised font of a font record, made on first use and shared by records of equal
/// settings; nullptr with ERROR_FILE_NOT_FOUND when no usable face is installed.
TRealizedFont* RealizeFont(TFontObj& font);

/// The advances of UTF-16 text in a font record taken at its own size as pixels, as the
/// platform's recorders store them for text that came without advances: one per unit (the second
/// unit of a surrogate pair 0), in the record's logical units, each multiplied by across (how much
/// larger a logical unit is along y than along x on the device) and rounded. Empty when no face
/// can be had.
std::vector<INT> DesignAdvances(const LOGFONTA& log, const char16_t* text, std::size_t count, double across);

}  // namespace gdi::detail
