// Character codes of text that does not come as Unicode: the code pages of the font character
// sets (through ICU's converters) and the Symbol font's own codes. Private to the layer.
#pragma once

#include "platform/gdi/EnhMetaFile.h"

#include <vector>

namespace gdi::detail {

/// The platform's code page for a character set (1252 for ANSI and the default set, 932 for
/// Shift JIS, …); 0 for SYMBOL_CHARSET, whose codes are not characters of any code page.
UINT CodePageOf(BYTE charset);

/// Decodes bytes through the character set's code page into UTF-16 units. unitOfByte[i] is the
/// unit that byte i contributes to (both bytes of a double-byte character name the same unit).
/// Bytes the code page does not map become U+FFFD; SYMBOL_CHARSET gives U+F000 + code.
void DecodeCodePage(const BYTE* bytes, std::size_t count, BYTE charset, std::vector<WCHAR>& units,
                    std::vector<std::size_t>& unitOfByte);

/// ExtTextOutW of bytes in the code page of the selected font's character set, as metafiles
/// record text. dx, when given, holds an advance per byte (two with ETO_PDY): a character of
/// two bytes advances by the sum of both bytes' entries.
BOOL TextOutInCodePage(HDC dc, int x, int y, UINT options, const RECT* rect, const BYTE* bytes, std::size_t count,
                       const INT* dx);
/// Encodes UTF-16 units in the character set's code page: bytesOfUnit[i] is how many bytes unit i
/// became (0 for the second unit of a surrogate pair, whose bytes its first unit counts).
/// Characters the code page lacks become its substitute character; SYMBOL_CHARSET keeps the low
/// byte of each unit (U+F000 + c gives c).
void EncodeCodePage(const WCHAR* units, std::size_t count, BYTE charset, std::vector<BYTE>& bytes,
                    std::vector<std::size_t>& bytesOfUnit);

/// The character of UTF-16 text that starts at unit i, moving i onto its last unit: a surrogate
/// pair makes one character, a lone surrogate U+FFFD.
char32_t NextUtf16(const char16_t* text, std::size_t count, std::size_t& i);

/// The Unicode character a code of the Symbol font stands for (Greek letters, mathematical
/// signs), for faces without a symbol character map; the code itself when it has no other.
char32_t SymbolToUnicode(BYTE code);

}  // namespace gdi::detail
