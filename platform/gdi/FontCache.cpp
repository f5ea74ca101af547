// Resolving font records to installed faces and rendering their glyphs. Fontconfig chooses the
// face; FreeType opens it, sizes it and renders coverage images, which are kept per realised font
// so that a list of file names drawn row by row renders each character once.
#include "platform/gdi/FontCache.h"

#include "platform/gdi/TextCodes.h"

#include <fontconfig/fontconfig.h>
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace gdi::detail {

struct TFreeTypeLibrary {
    FT_Library Library = nullptr;
    ~TFreeTypeLibrary() {
        if (Library != nullptr)
            FT_Done_FreeType(Library);
    }
};

namespace {

// Realised fonts and their faces are shared: the library lives until the last face that was
// opened with it is closed, whichever of the caches and the handle table goes first at exit.
std::shared_ptr<TFreeTypeLibrary> FreeTypeLibrary() {
    static std::shared_ptr<TFreeTypeLibrary> library = [] {
        auto made = std::make_shared<TFreeTypeLibrary>();
        if (FT_Init_FreeType(&made->Library) != 0)
            made->Library = nullptr;
        return made;
    }();
    return library;
}

// The layer loads a fontconfig configuration of its own rather than the library's current one:
// it is released at exit like everything else the layer holds, and a window toolkit that uses
// the current configuration in the same process is never disturbed by it.
class TFontConfig {
public:
    TFontConfig() : FConfig(Load()) {
        // The faces the platform ships that metafiles name (Tahoma, MS Sans Serif, Symbol,
        // Wingdings, Webdings) come with Wine's font package, outside fontconfig's folders.
        if (FConfig != nullptr)
            FcConfigAppFontAddDir(FConfig, reinterpret_cast<const FcChar8*>(kWineFonts));
    }
    static constexpr const char* kWineFonts = "/usr/share/wine/fonts";
    ~TFontConfig() {
        if (FConfig != nullptr)
            FcConfigDestroy(FConfig);
    }
    TFontConfig(const TFontConfig&) = delete;
    TFontConfig& operator=(const TFontConfig&) = delete;
    FcConfig* Config() const { return FConfig; }

private:
    // The system's configuration, as FcInitLoadConfigAndFonts loads it, but without also reading
    // every template in its folder of available configurations only to describe them: that takes
    // 40 % of the load, which is most of what a short metafile render with text spends on fonts.
    static FcConfig* Load() {
        FcConfig* config = FcConfigCreate();
        if (config != nullptr && FcConfigParseAndLoad(config, nullptr, FcFalse) && FcConfigBuildFonts(config))
            return config;
        if (config != nullptr)
            FcConfigDestroy(config);
        // The library's own way knows what to do without a usable configuration file.
        return FcInitLoadConfigAndFonts();
    }

    FcConfig* FConfig;
};

FcConfig* FontConfig() {
    static TFontConfig config;
    return config.Config();
}

// ---- face names ------------------------------------------------------------------------------

struct TFaceAlias {
    const char* Name;
    const char* Family;
};

// The faces the platform's Japanese system ships, and the installed faces drawn in the same
// manner: proportional faces map to proportional ones, so the widths the texts were laid out
// with stay close.
constexpr TFaceAlias kFaceAliases[] = {
    {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"ＭＳ ゴシック", "IPAGothic"},
    {"ＭＳ ＵＩ Gothic", "IPAPGothic"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},
    {"ＭＳ 明朝", "IPAMincho"},
    {"MS PGothic", "IPAPGothic"},
    {"MS Gothic", "IPAGothic"},
    {"MS UI Gothic", "IPAPGothic"},
    {"MS PMincho", "IPAPMincho"},
    {"MS Mincho", "IPAMincho"},
    {"メイリオ", "IPAPGothic"},
    {"Meiryo", "IPAPGothic"},
    {"Meiryo UI", "IPAPGothic"},
    // The platform's core faces, to the faces made with the same metrics, so that text laid out
    // with the original widths keeps its line breaks and positions.
    {"Arial", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Arial Narrow", "Liberation Sans Narrow"},
    {"Calibri", "Carlito"},
    {"Cambria", "Caladea"},
    // Wingdings 2 and 3 have no free face with their symbols; fontconfig's choice stands in.
};

bool SameAsciiCaseless(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return *a == *b;
}

// A generic family fontconfig knows, from the record's pitch and family bits.
const char* GenericFamily(BYTE pitchAndFamily) {
    switch (pitchAndFamily & 0xF0) {
    case FF_ROMAN: return "serif";
    case FF_SWISS: return "sans-serif";
    case FF_MODERN: return "monospace";
    case FF_SCRIPT: return "cursive";
    case FF_DECORATIVE: return "fantasy";
    default: break;
    }
    return (pitchAndFamily & 0x03) == FIXED_PITCH ? "monospace" : nullptr;
}

// The language a character set stands for, which steers fontconfig to faces that cover it.
const char* LanguageOf(BYTE charset) {
    switch (charset) {
    case SHIFTJIS_CHARSET: return "ja";
    case HANGUL_CHARSET: return "ko";
    case GB2312_CHARSET: return "zh-cn";
    case CHINESEBIG5_CHARSET: return "zh-tw";
    case GREEK_CHARSET: return "el";
    case TURKISH_CHARSET: return "tr";
    case HEBREW_CHARSET: return "he";
    case ARABIC_CHARSET: return "ar";
    case RUSSIAN_CHARSET: return "ru";
    case THAI_CHARSET: return "th";
    default: return nullptr;
    }
}

// ---- choosing a face ---------------------------------------------------------------------------

using TFaceKey = std::tuple<std::string, LONG, BYTE, BYTE, BYTE>;

// The families fontconfig's configuration puts after a family name, the name itself left out.
std::vector<std::string> SubstitutedFamilies(FcConfig* config, const std::string& family) {
    std::vector<std::string> families;
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr)
        return families;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcChar8* name = nullptr;
    for (int i = 1; FcPatternGetString(pattern, FC_FAMILY, i, &name) == FcResultMatch && name != nullptr; ++i)
        families.emplace_back(reinterpret_cast<const char*>(name));
    FcPatternDestroy(pattern);
    return families;
}

// Whether a family is neither installed nor known to fontconfig's configuration as another's
// stand-in: fontconfig then offers its general default, where the platform's font mapper takes
// its own default faces.
bool UnknownFamily(FcConfig* config, const std::string& family) {
    if (family.empty())
        return true;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = nullptr;
    if (pattern != nullptr && objects != nullptr) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        fonts = FcFontList(config, pattern, objects);
    }
    const bool installed = fonts != nullptr && fonts->nfont > 0;
    if (fonts != nullptr)
        FcFontSetDestroy(fonts);
    if (objects != nullptr)
        FcObjectSetDestroy(objects);
    if (pattern != nullptr)
        FcPatternDestroy(pattern);
    if (installed)
        return false;
    // A name the configuration knows nothing of gets the same substitutes as any other such name.
    static const std::vector<std::string> unknown = SubstitutedFamilies(config, "\x01 no such family \x01");
    return SubstitutedFamilies(config, family) == unknown;
}

// The platform's own choice for a face it does not have, by the record's pitch and family.
const char* DefaultFamily(BYTE pitchAndFamily) {
    if ((pitchAndFamily & 0xF0) == FF_ROMAN)
        return "Times New Roman";
    if ((pitchAndFamily & 0xF0) == FF_MODERN || (pitchAndFamily & 0x03) == FIXED_PITCH)
        return "Courier New";
    return "Arial";
}

bool ChooseFace(const LOGFONTA& log, TFaceChoice& choice) {
    std::string family = MappedFaceName(log.lfFaceName);
    const LONG weight = log.lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<LONG>(log.lfWeight, 1, 1000);
    FcConfig* config = FontConfig();
    if (config == nullptr)
        return false;
    // Faces of Latin scripts only: other character sets keep fontconfig's choice for their language.
    if (LanguageOf(log.lfCharSet) == nullptr && log.lfCharSet != SYMBOL_CHARSET && log.lfCharSet != OEM_CHARSET &&
        UnknownFamily(config, family))
        family = MappedFaceName(DefaultFamily(log.lfPitchAndFamily));
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr)
        return false;
    if (!family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (const char* generic = GenericFamily(log.lfPitchAndFamily))
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(generic));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(int(weight)));
    FcPatternAddInteger(pattern, FC_SLANT, log.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if ((log.lfPitchAndFamily & 0x03) == FIXED_PITCH)
        FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    if (const char* language = LanguageOf(log.lfCharSet))
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr)
        return false;
    FcChar8* file = nullptr;
    bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr;
    if (found) {
        choice.File = reinterpret_cast<const char*>(file);
        int index = 0;
        choice.Index = FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch ? index : 0;
        FcChar8* name = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name != nullptr)
            choice.Family = reinterpret_cast<const char*>(name);
        int matchedWeight = FC_WEIGHT_REGULAR;
        FcPatternGetInteger(match, FC_WEIGHT, 0, &matchedWeight);
        const LONG faceWeight = FcWeightToOpenType(matchedWeight);
        // Synthesis only where the face is clearly lighter than asked for: a medium face for
        // a semi-bold request is near enough.
        // Fontconfig's own synthesis rule marks such a match and reports the asked weight.
        FcBool embolden = FcFalse;
        FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
        choice.Embolden = weight >= FW_SEMIBOLD && (faceWeight < FW_SEMIBOLD || embolden == FcTrue);
        choice.Weight = choice.Embolden ? weight : faceWeight;
        int slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        choice.Oblique = log.lfItalic != 0 && slant == FC_SLANT_ROMAN;
    }
    FcPatternDestroy(match);
    return found;
}

const TFaceChoice* CachedFaceChoice(const LOGFONTA& log) {
    static std::map<TFaceKey, TFaceChoice> choices;
    TFaceKey key{log.lfFaceName, log.lfWeight, log.lfItalic, log.lfCharSet, log.lfPitchAndFamily};
    auto found = choices.find(key);
    if (found != choices.end())
        return &found->second;
    TFaceChoice choice;
    if (!ChooseFace(log, choice))
        return nullptr;
    // Records differ in few ways in one program; a bound keeps a caller that makes endless
    // variants from growing the map without end.
    if (choices.size() >= 256)
        choices.clear();
    return &choices.emplace(std::move(key), std::move(choice)).first->second;
}

LONG RoundToLong(double value) { return LONG(std::lround(value)); }

}  // namespace

std::string MappedFaceName(const char* faceName) {
    // A leading "@" asks for the vertical form of a face; text here is always horizontal.
    if (faceName[0] == '@')
        ++faceName;
    for (const TFaceAlias& alias : kFaceAliases)
        if (SameAsciiCaseless(faceName, alias.Name))
            return alias.Family;
    return faceName;
}

// ---- realised fonts ----------------------------------------------------------------------------

namespace {

/// Whether the face's gasp table lets glyphs of this many pixels to the em be smoothed; faces
/// without a readable table are smoothed at every size.
bool GaspAllowsGrey(FT_Face face, unsigned ppem) {
    constexpr unsigned kDoGray = 0x0002;
    FT_ULong length = 0;
    if (!FT_IS_SFNT(face) || FT_Load_Sfnt_Table(face, TTAG_gasp, 0, nullptr, &length) != 0 || length < 4)
        return true;
    std::vector<FT_Byte> table(std::min<FT_ULong>(length, 4 + 4 * 0xFFFF));
    FT_ULong read = table.size();
    if (FT_Load_Sfnt_Table(face, TTAG_gasp, 0, table.data(), &read) != 0)
        return true;
    const auto word = [&](std::size_t at) { return unsigned(table[at] << 8 | table[at + 1]); };
    const std::size_t ranges = std::min<std::size_t>(word(2), (table.size() - 4) / 4);
    // Ranges are sorted by their upper limit; the last one normally reaches 0xFFFF.
    for (std::size_t i = 0; i < ranges; ++i)
        if (ppem <= word(4 + 4 * i))
            return (word(6 + 4 * i) & kDoGray) != 0;
    return true;
}

}  // namespace

TRealizedFont::TRealizedFont(std::shared_ptr<TFreeTypeLibrary> library, const TFaceChoice& choice,
                             const TFontSize& size, const LOGFONTA& log)
    : FLibrary(std::move(library)), FEmbolden(choice.Embolden), FOblique(choice.Oblique), FFaceName(choice.Family) {
    if (FLibrary->Library == nullptr)
        return;
    if (FT_New_Face(FLibrary->Library, choice.File.c_str(), choice.Index, &FFace) != 0) {
        FFace = nullptr;
        return;
    }
    if (FFaceName.empty() && FFace->family_name != nullptr)
        FFaceName = FFace->family_name;
    // Symbol faces carry only the symbol map, whose codes sit at U+F000 + c.
    if (FT_Select_Charmap(FFace, FT_ENCODING_UNICODE) != 0)
        FSymbolMap = FT_Select_Charmap(FFace, FT_ENCODING_MS_SYMBOL) == 0;
    if (!SetSize(size)) {
        FT_Done_Face(FFace);
        FFace = nullptr;
        return;
    }
    FMonochrome = FT_IS_SCALABLE(FFace) &&
                  (log.lfQuality == NONANTIALIASED_QUALITY || !GaspAllowsGrey(FFace, FFace->size->metrics.y_ppem));
    FMetrics.tmWeight = choice.Weight;
    FMetrics.tmCharSet = log.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : log.lfCharSet;
    BYTE pitch = FT_IS_FIXED_WIDTH(FFace) ? 0 : TMPF_FIXED_PITCH;
    if (FT_IS_SCALABLE(FFace))
        pitch |= TMPF_VECTOR;
    if (FT_IS_SFNT(FFace))
        pitch |= TMPF_TRUETYPE;
    FMetrics.tmPitchAndFamily = BYTE(pitch | (log.lfPitchAndFamily & 0xF0));
    FMetrics.tmFirstChar = 0x20;
    FMetrics.tmLastChar = 0xFF;
    FMetrics.tmDefaultChar = 0x1F;
    FMetrics.tmBreakChar = 0x20;
    const TScreenSettings screen = State().Screen;
    FMetrics.tmDigitizedAspectX = screen.LogPixelsX;
    FMetrics.tmDigitizedAspectY = screen.LogPixelsY;
    if (FMetrics.tmAveCharWidth <= 0)
        FMetrics.tmAveCharWidth = Advance(U'x');
}

TRealizedFont::~TRealizedFont() {
    if (FFace != nullptr)
        FT_Done_Face(FFace);
}

bool TRealizedFont::SetSize(const TFontSize& size) {
    const LONG requested = std::clamp<LONG>(size.Height, -kMaxFontPixels, kMaxFontPixels);
    const LONG width = std::min<LONG>(size.Width == INT32_MIN ? kMaxFontPixels : std::abs(size.Width), kMaxFontPixels);
    if (!FT_IS_SCALABLE(FFace)) {
        // A face of bitmap strikes only: the strike nearest to the asked height.
        if (FFace->num_fixed_sizes <= 0)
            return false;
        const LONG wanted = requested == 0 ? kDefaultEmPixels : std::abs(requested);
        int best = 0;
        for (int i = 1; i < FFace->num_fixed_sizes; ++i)
            if (std::abs(FFace->available_sizes[i].height - wanted) < std::abs(FFace->available_sizes[best].height - wanted))
                best = i;
        if (FT_Select_Size(FFace, best) != 0)
            return false;
        const FT_Size_Metrics& m = FFace->size->metrics;
        FMetrics.tmAscent = LONG((m.ascender + 63) >> 6);
        FMetrics.tmDescent = LONG((-m.descender + 63) >> 6);
        FMetrics.tmHeight = FMetrics.tmAscent + FMetrics.tmDescent;
        FMetrics.tmInternalLeading = std::max<LONG>(0, FMetrics.tmHeight - m.y_ppem);
        FMetrics.tmMaxCharWidth = LONG((m.max_advance + 63) >> 6);
        const long long reach = 2 * (FMetrics.tmHeight + FMetrics.tmMaxCharWidth) + 4;
        FInkReach = {reach, reach, reach, reach};
        FUnderlineOffset = 1;
        FStrikeoutOffset = -std::max<LONG>(1, FMetrics.tmAscent / 3);
        return true;
    }
    const double upem = FFace->units_per_EM > 0 ? FFace->units_per_EM : 2048;
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(FFace, FT_SFNT_OS2));
    const TT_HoriHeader* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(FFace, FT_SFNT_HHEA));
    // The cell is what the platform reserves for a line: the win metrics where the face has
    // them, the typographic ascender and descender otherwise.
    double ascentUnits = FFace->ascender;
    double descentUnits = -double(FFace->descender);
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascentUnits = os2->usWinAscent;
        descentUnits = os2->usWinDescent;
    }
    if (ascentUnits + descentUnits <= 0) {
        ascentUnits = upem * 0.8;
        descentUnits = upem * 0.2;
    }
    double em = 0;
    if (requested < 0)
        em = -double(requested);
    else if (requested > 0)
        em = requested * upem / (ascentUnits + descentUnits);
    else
        em = kDefaultEmPixels;
    double scale = em / upem;
    FMetrics.tmAscent = RoundToLong(ascentUnits * scale);
    FMetrics.tmDescent = requested > 0 ? std::max<LONG>(0, requested - FMetrics.tmAscent)
                                        : RoundToLong(descentUnits * scale);
    FMetrics.tmHeight = FMetrics.tmAscent + FMetrics.tmDescent;
    FMetrics.tmInternalLeading = std::max<LONG>(0, FMetrics.tmHeight - RoundToLong(em));
    if (hhea != nullptr) {
        const double hheaHeight = double(hhea->Ascender) - hhea->Descender;
        const double gap = hhea->Line_Gap - ((ascentUnits + descentUnits) - hheaHeight);
        FMetrics.tmExternalLeading = std::max<LONG>(0, RoundToLong(gap * scale));
    }
    const double designedAverage = (os2 != nullptr && os2->version != 0xFFFF && os2->xAvgCharWidth > 0)
                                       ? double(os2->xAvgCharWidth)
                                       : 0.0;
    double emX = em;
    if (width > 0) {
        // The average width is set by stretching the em; without a designed average the
        // face's half em stands for it.
        emX = width * upem / (designedAverage > 0 ? designedAverage : upem / 2);
        FMetrics.tmAveCharWidth = width;
    } else if (designedAverage > 0) {
        FMetrics.tmAveCharWidth = RoundToLong(designedAverage * scale);
    }
    emX = std::min(emX, double(kMaxFontPixels) * 4);
    FMetrics.tmMaxCharWidth = RoundToLong(FFace->max_advance_width * emX / upem);
    if (FT_Set_Char_Size(FFace, FT_F26Dot6(std::lround(std::max(emX, 1.0) * 64)), FT_F26Dot6(std::lround(std::max(em, 1.0) * 64)),
                         72, 72) != 0)
        return false;
    // The face's box, grown by a quarter em each way for slanting and emboldening.
    const auto reach = [](double units, double perUnit, double margin) {
        return (long long)std::ceil(std::fabs(units) * perUnit + margin) + 2;
    };
    const double margin = (em + emX) / 4;
    FInkReach = {reach(std::min<double>(FFace->bbox.xMin, 0), emX / upem, margin),
                 reach(std::max<double>(FFace->bbox.yMax, 0), em / upem, margin),
                 reach(std::max<double>(FFace->bbox.xMax, 0), emX / upem, margin),
                 reach(std::min<double>(FFace->bbox.yMin, 0), em / upem, margin)};
    FUnderlineThickness = std::max<LONG>(1, RoundToLong(FFace->underline_thickness * scale));
    // FreeType gives the centre of the underline stroke, negative below the baseline.
    FUnderlineOffset = std::max<LONG>(1, RoundToLong(-FFace->underline_position * scale - FUnderlineThickness / 2.0));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
        FStrikeoutThickness = std::max<LONG>(1, RoundToLong(os2->yStrikeoutSize * scale));
        FStrikeoutOffset = -RoundToLong(os2->yStrikeoutPosition * scale);
    } else {
        FStrikeoutThickness = FUnderlineThickness;
        FStrikeoutOffset = -std::max<LONG>(1, RoundToLong(em * 0.3));
    }
    return true;
}

char32_t TRealizedFont::SymbolCode(char32_t code) const {
    if (FSymbolMap)
        return code < 0x100 ? 0xF000 + code : code;
    if (code >= 0xF000 && code <= 0xF0FF)
        return SymbolToUnicode(BYTE(code - 0xF000));
    return code < 0x100 ? SymbolToUnicode(BYTE(code)) : code;
}

bool TRealizedFont::Load(char32_t code, bool outline) {
    const FT_UInt index = (code & kGlyphIndexFlag) ? FT_UInt(code & 0xFFFF) : FT_Get_Char_Index(FFace, FT_ULong(code));
    // Synthesis works on outlines, so embedded bitmaps are passed over when it is needed.
    FT_Int32 flags = FMonochrome && !outline ? FT_LOAD_TARGET_MONO : FT_LOAD_DEFAULT;
    if (FEmbolden || FOblique || outline)
        flags |= FT_LOAD_NO_BITMAP;
    if (FT_Load_Glyph(FFace, index, flags) != 0)
        return false;
    if (FOblique)
        FT_GlyphSlot_Oblique(FFace->glyph);
    if (FEmbolden)
        FT_GlyphSlot_Embolden(FFace->glyph);
    return true;
}

int TRealizedFont::Advance(char32_t code) {
    auto found = FAdvances.find(code);
    if (found != FAdvances.end())
        return found->second;
    const int advance = Load(code) ? int((FFace->glyph->advance.x + 32) >> 6) : 0;
    if (FAdvances.size() >= 65536)
        FAdvances.clear();
    FAdvances.emplace(code, advance);
    return advance;
}

namespace {

// A glyph whose box holds more pixels than this, and that shows only in part, is rendered only as
// far as it shows: a huge glyph then costs what the surface it lands on can hold, not its size.
constexpr std::size_t kWholeGlyphPixels = 256 * 256;

// Copies a rendered FreeType bitmap, rows top first, as coverage 0 … 255.
void CopyCoverage(const FT_Bitmap& bitmap, TGlyphImage& image) {
    image.Coverage.assign(std::size_t(image.Width) * std::size_t(image.Height), 0);
    const long pitch = bitmap.pitch;
    // A negative pitch stores the rows bottom-up from the start of the buffer.
    const unsigned char* top = pitch >= 0 ? bitmap.buffer : bitmap.buffer + (long(bitmap.rows) - 1) * -pitch;
    const int grays = bitmap.num_grays > 1 ? bitmap.num_grays : 256;
    for (int y = 0; y < image.Height; ++y) {
        const unsigned char* row = top + long(y) * pitch;
        BYTE* out = image.Coverage.data() + std::size_t(y) * std::size_t(image.Width);
        for (int x = 0; x < image.Width; ++x) {
            switch (bitmap.pixel_mode) {
            case FT_PIXEL_MODE_MONO: out[x] = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0; break;
            case FT_PIXEL_MODE_BGRA: out[x] = row[4 * x + 3]; break;
            default: out[x] = grays == 256 ? row[x] : BYTE(std::min(255, row[x] * 255 / (grays - 1))); break;
            }
        }
    }
}

long long FloorPixel(FT_Pos value) { return (long long)(value >> 6); }
long long CeilPixel(FT_Pos value) { return (long long)((value + 63) >> 6); }

}  // namespace

bool TRealizedFont::Render(char32_t code, TGlyphImage& image, const TGlyphWindow& window, std::size_t wholeUpTo) {
    image.Left = image.Top = image.Width = image.Height = 0;
    image.Coverage.clear();
    if (!Load(code))
        return true;
    const FT_GlyphSlot slot = FFace->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_BBox box;
        FT_Outline_Get_CBox(&slot->outline, &box);
        const long long x0 = FloorPixel(box.xMin), y0 = FloorPixel(box.yMin);
        const long long x1 = CeilPixel(box.xMax), y1 = CeilPixel(box.yMax);
        const bool inside = x0 >= window.Left && x1 <= window.Right && y0 >= window.Bottom && y1 <= window.Top;
        if (!inside && (unsigned long long)(x1 - x0) * (unsigned long long)(y1 - y0) > wholeUpTo) {
            // FreeType's coverage may differ by a level or two where the bitmap starts
            // elsewhere, so a glyph that shows whole, or a small one, is rendered whole.
            const long long left = std::max(x0, window.Left), right = std::min(x1, window.Right);
            const long long bottom = std::max(y0, window.Bottom), top = std::min(y1, window.Top);
            if (left >= right || bottom >= top)
                return false;
            std::vector<unsigned char> bits;
            FT_Bitmap target{};
            target.width = unsigned(right - left);
            target.rows = unsigned(top - bottom);
            target.pitch = FMonochrome ? int((target.width + 7) / 8) : int(target.width);
            target.pixel_mode = FMonochrome ? FT_PIXEL_MODE_MONO : FT_PIXEL_MODE_GRAY;
            target.num_grays = FMonochrome ? 2 : 256;
            bits.assign(std::size_t(target.pitch) * target.rows, 0);
            target.buffer = bits.data();
            FT_Outline_Translate(&slot->outline, FT_Pos(-left * 64), FT_Pos(-bottom * 64));
            if (FT_Outline_Get_Bitmap(FLibrary->Library, &slot->outline, &target) == 0) {
                image.Left = int(left);
                image.Top = int(top);
                image.Width = int(target.width);
                image.Height = int(target.rows);
                CopyCoverage(target, image);
            }
            return false;
        }
    }
    if (slot->format == FT_GLYPH_FORMAT_BITMAP ||
        FT_Render_Glyph(slot, FMonochrome ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) == 0) {
        const FT_Bitmap& bitmap = slot->bitmap;
        const bool known = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY || bitmap.pixel_mode == FT_PIXEL_MODE_MONO ||
                           bitmap.pixel_mode == FT_PIXEL_MODE_BGRA;
        if (known && bitmap.buffer != nullptr && bitmap.width > 0 && bitmap.rows > 0) {
            image.Left = slot->bitmap_left;
            image.Top = slot->bitmap_top;
            image.Width = int(bitmap.width);
            image.Height = int(bitmap.rows);
            CopyCoverage(bitmap, image);
        }
    }
    return true;
}

bool TRealizedFont::Outline(char32_t code, TGlyphOutline& outline) {
    outline.Points.clear();
    outline.Types.clear();
    if (!Load(code, true) || FFace->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return false;
    struct TSink {
        TGlyphOutline& Out;
        FT_Vector Last{0, 0};
        void Add(const FT_Vector& p, BYTE type) {
            Out.Points.push_back(TGlyphOutline::TPoint{long(p.x), long(p.y)});
            Out.Types.push_back(type);
            Last = p;
        }
        void Close() {
            if (!Out.Types.empty())
                Out.Types.back() |= PT_CLOSEFIGURE;
        }
    } sink{outline};
    FT_Outline_Funcs funcs{};
    funcs.move_to = [](const FT_Vector* to, void* user) {
        auto& s = *static_cast<TSink*>(user);
        s.Close();
        s.Add(*to, PT_MOVETO);
        return 0;
    };
    funcs.line_to = [](const FT_Vector* to, void* user) {
        static_cast<TSink*>(user)->Add(*to, PT_LINETO);
        return 0;
    };
    funcs.conic_to = [](const FT_Vector* control, const FT_Vector* to, void* user) {
        // The cubic of a quadratic piece has its controls two thirds of the way to the control.
        auto& s = *static_cast<TSink*>(user);
        const FT_Vector from = s.Last;
        const FT_Vector c1{from.x + 2 * (control->x - from.x) / 3, from.y + 2 * (control->y - from.y) / 3};
        const FT_Vector c2{to->x + 2 * (control->x - to->x) / 3, to->y + 2 * (control->y - to->y) / 3};
        s.Add(c1, PT_BEZIERTO);
        s.Add(c2, PT_BEZIERTO);
        s.Add(*to, PT_BEZIERTO);
        return 0;
    };
    funcs.cubic_to = [](const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        auto& s = *static_cast<TSink*>(user);
        s.Add(*c1, PT_BEZIERTO);
        s.Add(*c2, PT_BEZIERTO);
        s.Add(*to, PT_BEZIERTO);
        return 0;
    };
    if (FT_Outline_Decompose(&FFace->glyph->outline, &funcs, &sink) != 0) {
        outline.Points.clear();
        outline.Types.clear();
        return false;
    }
    sink.Close();
    return true;
}

const TGlyphImage& TRealizedFont::Glyph(char32_t code, const TGlyphWindow& window) {
    constexpr std::size_t kCacheBytes = std::size_t(4) << 20;
    auto found = FGlyphs.find(code);
    if (found != FGlyphs.end())
        return found->second;
    // One that would take more than a quarter of the cache is not kept.
    if (!Render(code, FScratch, window, kWholeGlyphPixels))
        return FScratch;
    const std::size_t bytes = FScratch.Coverage.size() + sizeof(TGlyphImage);
    if (bytes > kCacheBytes / 4)
        return FScratch;
    if (FGlyphBytes + bytes > kCacheBytes) {
        FGlyphs.clear();
        FGlyphBytes = 0;
    }
    FGlyphBytes += bytes;
    return FGlyphs.emplace(code, std::move(FScratch)).first->second;
}

const TGlyphImage& TRealizedFont::TurnedGlyph(char32_t code, double radians, const TGlyphWindow& window) {
    // The turn applies to this one rendering only; the cached upright glyphs stay as they are.
    const double c = std::cos(radians), s = std::sin(radians);
    FT_Matrix matrix{FT_Fixed(std::lround(c * 65536)), FT_Fixed(std::lround(-s * 65536)), FT_Fixed(std::lround(s * 65536)),
                     FT_Fixed(std::lround(c * 65536))};
    FT_Set_Transform(FFace, &matrix, nullptr);
    Render(code, FScratch, window, kWholeGlyphPixels);
    FT_Set_Transform(FFace, nullptr, nullptr);
    return FScratch;
}

TRealizedFont* RealizeFont(TFontObj& font) {
    assert(TLock::Held());
    if (font.Realized)
        return font.Realized.get();
    const LOGFONTA& log = font.Log;
    // Qualities differ only in whether glyphs may be smoothed.
    using TSizeKey = std::tuple<TFaceKey, LONG, LONG, bool>;
    static std::map<TSizeKey, std::shared_ptr<TRealizedFont>> fonts;
    TSizeKey key{TFaceKey{log.lfFaceName, log.lfWeight, log.lfItalic, log.lfCharSet, log.lfPitchAndFamily},
                 log.lfHeight, log.lfWidth, log.lfQuality == NONANTIALIASED_QUALITY};
    auto found = fonts.find(key);
    if (found != fonts.end()) {
        font.Realized = found->second;
        return font.Realized.get();
    }
    const TFaceChoice* choice = CachedFaceChoice(log);
    std::shared_ptr<TRealizedFont> made;
    if (choice != nullptr)
        made = std::make_shared<TRealizedFont>(FreeTypeLibrary(), *choice, TFontSize{log.lfHeight, log.lfWidth}, log);
    if (!made || !made->Ok()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    // Fonts no record holds any more are let go once the cache grows; records keep theirs.
    if (fonts.size() >= 32)
        std::erase_if(fonts, [](const auto& entry) { return entry.second.use_count() == 1; });
    if (fonts.size() >= 64)
        fonts.clear();
    fonts.emplace(std::move(key), made);
    font.Realized = std::move(made);
    return font.Realized.get();
}

std::vector<INT> DesignAdvances(const LOGFONTA& log, const char16_t* text, std::size_t count, double across) {
    // A size beyond what fonts are made with is measured smaller and the advances scaled back.
    const double largest = std::max(std::fabs(double(log.lfHeight)), std::fabs(double(log.lfWidth)));
    const double shrink = largest > kMaxFontPixels ? largest / kMaxFontPixels : 1.0;
    TFontObj record;
    record.Log = log;
    const auto smaller = [shrink](LONG size) {
        if (size == 0 || shrink == 1.0)
            return size;
        const LONG pixels = std::max(LONG(1), LONG(std::fabs(double(size)) / shrink + 0.5));
        return size < 0 ? -pixels : pixels;
    };
    record.Log.lfHeight = smaller(log.lfHeight);
    record.Log.lfWidth = smaller(log.lfWidth);
    TRealizedFont* font = RealizeFont(record);
    if (font == nullptr)
        return {};
    std::vector<INT> advances(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t first = i;
        char32_t code = NextUtf16(text, count, i);
        if (log.lfCharSet == SYMBOL_CHARSET)
            code = font->SymbolCode(code);
        const double advance = std::floor(double(font->Advance(code)) * shrink * across + 0.5);
        advances[first] = INT(std::clamp(advance, double(INT_MIN), double(INT_MAX)));
    }
    return advances;
}

}  // namespace gdi::detail
