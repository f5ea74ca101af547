// The PNG codec's failures: one class per kind of defect, each raised with one fixed English
// message from the string table, the messages themselves, and the status texts that accompany a
// decompression failure.
#pragma once

#include "platform/base/Exception.h"
#include "platform/base/Messages.h"

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

// The PNG messages, registered by InitializePng. They are English in every locale and keep
// their old spelling: callers compare them byte for byte.
namespace res {
inline constexpr base::TMessage SPngChunksNotCompatible{65280, "The chunks must be compatible to be assigned."};
inline constexpr base::TMessage SPngUnexpectedEnd{65281, "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected end of the file."};
inline constexpr base::TMessage SPngNoImageData{65282, "This \"Portable Network Graphics\" image contains no data."};
inline constexpr base::TMessage SPngOutMemory{65283, "Some operation could not be performed because the system is out of resources. Close some windows and try again."};
inline constexpr base::TMessage SPngHeaderNotPresent{65284, "This operation is not valid because the current image contains no valid header."};
inline constexpr base::TMessage SPngInvalidNewSize{65285, "The new size provided for image resizing is invalid."};
inline constexpr base::TMessage SPngInvalidCRC{65300, "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of data (crc error)"};
inline constexpr base::TMessage SPngInvalidIHDR{65301, "The \"Portable Network Graphics\" image could not be loaded because one of its main piece of data (ihdr) might be corrupted"};
inline constexpr base::TMessage SPngMissingMultipleIDAT{65302, "This \"Portable Network Graphics\" image is invalid because it has missing image parts."};
inline constexpr base::TMessage SPngZlibError{65303, "Could not decompress the image because it contains invalid compressed data.\r\n Description: "};
inline constexpr base::TMessage SPngInvalidPalette{65304, "The \"Portable Network Graphics\" image contains an invalid palette."};
inline constexpr base::TMessage SPngInvalidFileHeader{65305, "The file being readed is not a valid \"Portable Network Graphics\" image because it contains an invalid header. This file may be corruped, try obtaining it again."};
inline constexpr base::TMessage SPngIHDRNotFirst{65306, "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR chunk is not the first)"};
inline constexpr base::TMessage SPngSizeExceeds{65307, "This \"Portable Network Graphics\" image is not supported because either it's width or height exceeds the maximum size, which is 65535 pixels length."};
inline constexpr base::TMessage SPngNoSuchPaletteEntry{65308, "There is no such palette entry."};
inline constexpr base::TMessage SPngUnknownCriticalChunk{65309, "This \"Portable Network Graphics\" image contains an unknown critical part which could not be decoded."};
inline constexpr base::TMessage SPngUnknownCompression{65310, "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme which could not be decoded."};
inline constexpr base::TMessage SPngUnknownInterlace{65311, "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not be decoded."};

inline constexpr base::TMessage kPngMessages[] = {
    SPngChunksNotCompatible, SPngUnexpectedEnd,       SPngNoImageData,         SPngOutMemory,
    SPngHeaderNotPresent,    SPngInvalidNewSize,      SPngInvalidCRC,          SPngInvalidIHDR,
    SPngMissingMultipleIDAT, SPngZlibError,           SPngInvalidPalette,      SPngInvalidFileHeader,
    SPngIHDRNotFirst,        SPngSizeExceeds,         SPngNoSuchPaletteEntry,  SPngUnknownCriticalChunk,
    SPngUnknownCompression,  SPngUnknownInterlace,
};
static_assert(base::HasDistinctIds(kPngMessages));
}  // namespace res
