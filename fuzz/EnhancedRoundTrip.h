// What the metafile fuzz targets demand of a Windows metafile made from an enhanced one.
#pragma once

#include "platform/gdi/EnhMetaFile.h"

#include <vector>

namespace fuzz {

/// The enhanced metafile that GetWinMetaFileBits carried in its comments must come back whole
/// from SetWinMetaFileBits: anything else traps.
inline void ExpectEnhancedRoundTrip(gdi::HENHMETAFILE metafile, const std::vector<gdi::BYTE>& saved) {
    using namespace gdi;
    HENHMETAFILE back = SetWinMetaFileBits(UINT(saved.size()), saved.data(), nullptr, nullptr);
    std::vector<BYTE> original(GetEnhMetaFileBits(metafile, 0, nullptr)), again(GetEnhMetaFileBits(back, 0, nullptr));
    GetEnhMetaFileBits(metafile, UINT(original.size()), original.data());
    GetEnhMetaFileBits(back, UINT(again.size()), again.data());
    if (original != again)
        __builtin_trap();  // the round trip lost the enhanced metafile
    DeleteEnhMetaFile(back);
}

}  // namespace fuzz
