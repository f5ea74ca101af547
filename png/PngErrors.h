// The PNG codec's failures: one class per kind of defect, each raised with one fixed English
// message from the string table, and the status texts that accompany a decompression failure.
#pragma once

#include "platform/base/Exception.h"

#include <string>

namespace png {

// Every class derives straight from the root: callers tell PNG failures apart by class alone.
VISTEL_EXCEPTION(EPngError, Exception);
VISTEL_EXCEPTION(EPngUnexpectedEnd, Exception);
VISTEL_EXCEPTION(EPNGNoImageData, Exception);
VISTEL_EXCEPTION(EPNGOutMemory, Exception);
VISTEL_EXCEPTION(EPNGHeaderNotPresent, Exception);
VISTEL_EXCEPTION(EPNGInvalidNewSize, Exception);
VISTEL_EXCEPTION(EPngInvalidCRC, Exception);
VISTEL_EXCEPTION(EPngInvalidIHDR, Exception);
VISTEL_EXCEPTION(EPNGMissingMultipleIDAT, Exception);
VISTEL_EXCEPTION(EPNGZLIBError, Exception);
VISTEL_EXCEPTION(EPNGInvalidPalette, Exception);
VISTEL_EXCEPTION(EPNGInvalidFileHeader, Exception);
VISTEL_EXCEPTION(EPNGIHDRNotFirst, Exception);
VISTEL_EXCEPTION(EPNGSizeExceeds, Exception);
VISTEL_EXCEPTION(EPNGUnknownCriticalChunk, Exception);
VISTEL_EXCEPTION(EPNGUnknownCompression, Exception);
VISTEL_EXCEPTION(EPNGUnknownInterlace, Exception);

/// The text appended to the decompression failure's message for a zlib status code −6 … 2;
/// empty for any other code.
std::string ZlibStatusText(int code);
/// Makes and releases the table of status texts (module start-up and shutdown). The lookup
/// also works before start-up, making the table on first use.
void CreateZlibStatusTexts();
void ReleaseZlibStatusTexts();

}  // namespace png

// Resource numbers of the PNG messages; the texts live in the one string table.
namespace res {
constexpr int SPngChunksNotCompatible = 65280;
constexpr int SPngUnexpectedEnd = 65281;
constexpr int SPngNoImageData = 65282;
constexpr int SPngOutMemory = 65283;
constexpr int SPngHeaderNotPresent = 65284;
constexpr int SPngInvalidNewSize = 65285;
constexpr int SPngInvalidCRC = 65300;
constexpr int SPngInvalidIHDR = 65301;
constexpr int SPngMissingMultipleIDAT = 65302;
constexpr int SPngZlibError = 65303;
constexpr int SPngInvalidPalette = 65304;
constexpr int SPngInvalidFileHeader = 65305;
constexpr int SPngIHDRNotFirst = 65306;
constexpr int SPngSizeExceeds = 65307;
constexpr int SPngNoSuchPaletteEntry = 65308;
constexpr int SPngUnknownCriticalChunk = 65309;
constexpr int SPngUnknownCompression = 65310;
constexpr int SPngUnknownInterlace = 65311;
}  // namespace res
