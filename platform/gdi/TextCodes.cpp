// Code pages through ICU's converters, one opened per code page and kept for the process (under
// the layer's lock), and the Symbol font's encoding as published with the font.
#include "platform/gdi/TextCodes.h"

#include "platform/gdi/Internal.h"

#include <unicode/ucnv.h>

#include <cstdio>
#include <map>

namespace gdi::detail {

namespace {

struct TConverterOwner {
    std::map<UINT, UConverter*> Open;
    ~TConverterOwner() {
        for (auto& entry : Open)
            if (entry.second != nullptr)
                ucnv_close(entry.second);
    }
};

// ICU's names of the platform's code pages.
const char* ConverterName(UINT codePage) {
    switch (codePage) {
    case 874: return "windows-874";
    case 932: return "windows-31j";
    case 936: return "windows-936";
    case 949: return "windows-949";
    case 950: return "windows-950";
    case 1361: return "ibm-1361";
    case 437: return "ibm-437";
    case 10000: return "macintosh";
    default: break;
    }
    static thread_local char name[16];
    std::snprintf(name, sizeof name, "windows-%u", codePage);
    return name;
}

UConverter* Converter(UINT codePage) {
    assert(TLock::Held());
    static TConverterOwner owner;
    auto found = owner.Open.find(codePage);
    if (found != owner.Open.end())
        return found->second;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(ConverterName(codePage), &status);
    if (U_FAILURE(status))
        converter = nullptr;
    if (converter != nullptr) {
        // Bytes a code page does not map stand for the replacement character.
        static const UChar kReplacement[] = {0xFFFD};
        status = U_ZERO_ERROR;
        ucnv_setSubstString(converter, kReplacement, 1, &status);
    }
    owner.Open.emplace(codePage, converter);
    return converter;
}

// Adobe's Symbol encoding, codes 0x20 to 0xFF (0 where the code is unused).
constexpr char16_t kSymbol[224] = {
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212,
    0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B,
    0x003C, 0x003D, 0x003E, 0x003F, 0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399,
    0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F, 0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9,
    0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F, 0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5,
    0x03C6, 0x03B3, 0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3,
    0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0x0000,
    // 0x80 to 0x9F are unused.
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191,
    0x2192, 0x2193, 0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248,
    0x2026, 0x23D0, 0x23AF, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283,
    0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209, 0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5,
    0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3, 0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211,
    0x239B, 0x239C, 0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA, 0x0000, 0x232A, 0x222B, 0x2320,
    0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0x0000,
};
static_assert(sizeof kSymbol / sizeof kSymbol[0] == 224);

}  // namespace

UINT CodePageOf(BYTE charset) {
    switch (charset) {
    case SYMBOL_CHARSET: return 0;
    case SHIFTJIS_CHARSET: return 932;
    case HANGUL_CHARSET: return 949;
    case 130: return 1361;  // JOHAB_CHARSET
    case GB2312_CHARSET: return 936;
    case CHINESEBIG5_CHARSET: return 950;
    case GREEK_CHARSET: return 1253;
    case TURKISH_CHARSET: return 1254;
    case 163: return 1258;  // VIETNAMESE_CHARSET
    case HEBREW_CHARSET: return 1255;
    case ARABIC_CHARSET: return 1256;
    case 186: return 1257;  // BALTIC_CHARSET
    case RUSSIAN_CHARSET: return 1251;
    case THAI_CHARSET: return 874;
    case EASTEUROPE_CHARSET: return 1250;
    case 77: return 10000;  // MAC_CHARSET
    case OEM_CHARSET: return 437;
    default: return 1252;
    }
}

void DecodeCodePage(const BYTE* bytes, std::size_t count, BYTE charset, std::vector<WCHAR>& units,
                    std::vector<std::size_t>& unitOfByte) {
    units.clear();
    unitOfByte.assign(count, 0);
    const UINT codePage = CodePageOf(charset);
    UConverter* converter = codePage != 0 ? Converter(codePage) : nullptr;
    if (converter == nullptr) {
        // Symbol codes keep their values in the private area the symbol faces map them to;
        // a missing converter leaves bytes as Latin-1.
        for (std::size_t i = 0; i < count; ++i) {
            unitOfByte[i] = units.size();
            units.push_back(WCHAR(codePage == 0 ? 0xF000 + bytes[i] : bytes[i]));
        }
        return;
    }
    ucnv_reset(converter);
    const char* at = reinterpret_cast<const char*>(bytes);
    const char* end = at + count;
    while (at < end) {
        const char* start = at;
        UErrorCode status = U_ZERO_ERROR;
        UChar32 code = ucnv_getNextUChar(converter, &at, end, &status);
        if (U_FAILURE(status) || at == start) {
            code = 0xFFFD;
            if (at == start)
                ++at;
        }
        for (const char* b = start; b < at; ++b)
            unitOfByte[std::size_t(b - reinterpret_cast<const char*>(bytes))] = units.size();
        if (code >= 0x10000) {
            units.push_back(WCHAR(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(WCHAR(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(WCHAR(code));
        }
    }
}

char32_t NextUtf16(const char16_t* text, std::size_t count, std::size_t& i) {
    const char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        ++i;
        return 0x10000 + ((code - 0xD800) << 10) + (char32_t(text[i]) - 0xDC00);
    }
    return code >= 0xD800 && code <= 0xDFFF ? 0xFFFD : code;
}

void EncodeCodePage(const WCHAR* units, std::size_t count, BYTE charset, std::vector<BYTE>& bytes,
                    std::vector<std::size_t>& bytesOfUnit) {
    bytes.clear();
    bytesOfUnit.assign(count, 0);
    const UINT codePage = CodePageOf(charset);
    UConverter* converter = codePage != 0 ? Converter(codePage) : nullptr;
    for (std::size_t i = 0; i < count;) {
        const bool pair = units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
                          units[i + 1] <= 0xDFFF;
        const std::size_t taken = pair ? 2 : 1;
        char out[8];
        int32_t length = 0;
        if (converter != nullptr) {
            UErrorCode status = U_ZERO_ERROR;
            ucnv_resetFromUnicode(converter);
            length = ucnv_fromUChars(converter, out, sizeof out, reinterpret_cast<const UChar*>(units + i),
                                     int32_t(taken), &status);
            if (U_FAILURE(status) || length <= 0 || length > int32_t(sizeof out))
                length = 0;
        }
        if (length == 0) {
            out[0] = char(converter != nullptr && units[i] >= 0x80 ? '?' : units[i] & 0xFF);
            length = 1;
        }
        bytes.insert(bytes.end(), out, out + length);
        bytesOfUnit[i] = std::size_t(length);
        i += taken;
    }
}

char32_t SymbolToUnicode(BYTE code) {
    if (code < 0x20)
        return code;
    const char16_t mapped = kSymbol[code - 0x20];
    return mapped != 0 ? mapped : code;
}

BOOL TextOutInCodePage(HDC dc, int x, int y, UINT options, const RECT* rect, const BYTE* bytes, std::size_t count,
                       const INT* dx) {
    TLock lock(LayerMutex());  // the converters are the layer's, like its handles
    LOGFONTA font{};
    GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof font, &font);
    std::vector<WCHAR> units;
    std::vector<std::size_t> unitOfByte;
    DecodeCodePage(bytes, count, font.lfCharSet, units, unitOfByte);
    std::vector<INT> advances;
    if (dx != nullptr) {
        const std::size_t perChar = (options & ETO_PDY) ? 2 : 1;
        advances.assign(units.size() * perChar, 0);
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t k = 0; k < perChar; ++k)
                advances[unitOfByte[i] * perChar + k] += dx[i * perChar + k];
    }
    return ExtTextOutW(dc, x, y, options, rect, units.data(), UINT(units.size()),
                       advances.empty() ? nullptr : advances.data());
}

}  // namespace gdi::detail
