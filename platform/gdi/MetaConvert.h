// What the two metafile conversions share: the reference screen both are placed on, the comment
// records that carry one format inside the other, and a writer of enhanced-metafile records.
// Private to the layer.
#pragma once

#include "platform/gdi/EmfRecords.h"
#include "platform/gdi/Storage.h"

#include <cstring>
#include <vector>

namespace gdi::detail {

// The reference screen of the conversions is fixed, so a converted picture never depends on the
// machine that made it: 1920 × 1080 pixels on 508 × 286 mm (96 dpi).
constexpr LONG kRefPixelsX = 1920;
constexpr LONG kRefPixelsY = 1080;
constexpr LONG kRefMillimetresX = 508;
constexpr LONG kRefMillimetresY = 286;

// [MS-WMF] 2.3.6.25: an enhanced metafile cut into META_ESCAPE records of the escape
// MFCOMMENT, each carrying at most 8192 of its bytes behind a 34-byte description.
constexpr WORD kEscapeMfComment = 0x000F;
constexpr DWORD kWmfCommentIdentifier = 0x43464D57;  // "WMFC"
constexpr DWORD kWmfCommentEnhanced = 0x00000001;
constexpr DWORD kWmfCommentVersion = 0x00010000;
constexpr std::size_t kEnhancedChunkBytes = 0x2000;
constexpr std::size_t kEnhancedChunkHeader = 34;

// [MS-EMF] 2.3.3.4.4: the public comment that carries a whole Windows metafile.
constexpr DWORD kEmrCommentWindowsMetafile = 0x80000001;

/// The check value of an embedded stream: the one's complement of all its 16-bit words combined
/// by exclusive or (a last odd byte counts as a word of its own).
inline WORD MetafileChecksum(const BYTE* data, std::size_t size) {
    WORD sum = 0;
    for (std::size_t i = 0; i < size; i += 2)
        sum ^= WORD(data[i] | (i + 1 < size ? data[i + 1] << 8 : 0));
    return WORD(~sum);
}

/// Appends the records of an enhanced metafile behind room for its header, every byte through
/// the storage gate (a translated record may be larger than its source, and one region or bitmap
/// may be named by many records).
class TEmfWriter {
public:
    /// headerBytes: the room the header record takes (a recorder adds its description there).
    explicit TEmfWriter(std::size_t headerBytes = sizeof(ENHMETAHEADER)) : FBytes(headerBytes) {}

    /// A record: the fixed part (whose first 8 bytes become the type and size), then extra bytes,
    /// padded to 4. False when the gate refuses the growth (ERROR_NOT_ENOUGH_MEMORY).
    bool Put(DWORD type, const void* fixed, std::size_t fixedBytes, const void* extra = nullptr,
             std::size_t extraBytes = 0) {
        const std::size_t size = (fixedBytes + extraBytes + 3) / 4 * 4;
        if (size > 0xFFFFFFF0u || !StorageAllowed(FBytes.size() + size)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            FRefused = true;
            return false;
        }
        const std::size_t at = FBytes.size();
        FBytes.resize(at + size);
        std::memcpy(FBytes.data() + at, fixed, fixedBytes);
        if (extraBytes != 0)
            std::memcpy(FBytes.data() + at + fixedBytes, extra, extraBytes);
        const DWORD head[2] = {type, DWORD(size)};
        std::memcpy(FBytes.data() + at, head, 8);
        ++FRecords;
        return true;
    }
    template <typename T>
    bool Put(DWORD type, const T& fixed, const void* extra = nullptr, std::size_t extraBytes = 0) {
        return Put(type, &fixed, sizeof fixed, extra, extraBytes);
    }
    bool PutValue(DWORD type, DWORD value) { return Put(type, EMRONE{{}, value}); }
    bool PutPoint(DWORD type, LONG x, LONG y) { return Put(type, EMRTWO{{}, x, y}); }

    std::size_t Size() const { return FBytes.size(); }
    /// The bytes written so far, to fill in fields known only later (a record's bounds).
    BYTE* At(std::size_t offset) { return FBytes.data() + offset; }
    DWORD Records() const { return FRecords; }
    /// Takes back the records after the given size and count (a record found damaged late).
    void Truncate(std::size_t size, DWORD records) {
        FBytes.resize(size);
        FRecords = records;
    }
    /// Whether the gate refused a record: the stream is then incomplete.
    bool Refused() const { return FRefused; }

    /// Adds the end record and fills in the header; the finished stream.
    std::vector<BYTE>* Finish(const RECTL& bounds, const RECTL& frame, WORD handles) {
        if (!Put(EMR_EOF, EMREOF{{}, 0, 16}, "\x14\0\0\0", 4))
            return nullptr;
        ENHMETAHEADER header{};
        header.iType = EMR_HEADER;
        header.nSize = sizeof header;
        header.rclBounds = bounds;
        header.rclFrame = frame;
        header.dSignature = ENHMETA_SIGNATURE;
        header.nVersion = 0x10000;
        header.nBytes = DWORD(FBytes.size());
        header.nRecords = FRecords + 1;
        header.nHandles = std::max<WORD>(handles, 1);
        header.szlDevice = SIZEL{kRefPixelsX, kRefPixelsY};
        header.szlMillimeters = SIZEL{kRefMillimetresX, kRefMillimetresY};
        header.szlMicrometers = SIZEL{kRefMillimetresX * 1000, kRefMillimetresY * 1000};
        std::memcpy(FBytes.data(), &header, sizeof header);
        return &FBytes;
    }

private:
    std::vector<BYTE> FBytes;
    DWORD FRecords = 0;
    bool FRefused = false;
};

}  // namespace gdi::detail
