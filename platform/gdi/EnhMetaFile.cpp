// Enhanced-metafile handles: the bytes of a checked record stream in the handle table, their
// header and end-record palette, copies and deletion. Playback is EmfPlay.cpp's.
#include "platform/gdi/EmfRecords.h"
#include "platform/gdi/Storage.h"

namespace gdi {

using namespace detail;

namespace {

HENHMETAFILE RefuseMetafile(DWORD code) {
    SetLastError(code);
    return nullptr;
}

HENHMETAFILE NewMetafile(const BYTE* data, std::size_t size) {
    auto metafile = std::make_unique<TEnhMetaFileObj>();
    if (!ResizeStorage(metafile->Bytes, size))
        return nullptr;
    std::memcpy(metafile->Bytes.data(), data, size);
    return reinterpret_cast<HENHMETAFILE>(Register(std::move(metafile)));
}

}  // namespace

bool EnhMetaFileSizeAcceptable(std::uint64_t totalSize, std::uint64_t available) {
    if (totalSize < kMinStreamSize || totalSize > available) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    if (totalSize > std::uint64_t(SIZE_MAX))
        return detail::RefuseStorage();
    return StorageAllowed(std::size_t(totalSize));
}

HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data) {
    TLock lock(LayerMutex());
    if (data == nullptr || size < kMinStreamSize)
        return RefuseMetafile(ERROR_INVALID_DATA);
    DWORD total = 0;
    std::memcpy(&total, data + 48, 4);
    // The stated size is weighed before the stream is walked or anything is copied.
    if (!EnhMetaFileSizeAcceptable(total, size))
        return nullptr;
    ENHMETAHEADER header;
    if (!CheckStream(data, size, header))
        return RefuseMetafile(ERROR_INVALID_DATA);
    return NewMetafile(data, header.nBytes);
}

UINT GetEnhMetaFileBits(HENHMETAFILE handle, UINT size, BYTE* data) {
    TLock lock(LayerMutex());
    auto* metafile = Lookup<TEnhMetaFileObj>(handle);
    if (metafile == nullptr)
        return 0;
    const std::size_t total = metafile->Bytes.size();
    if (data == nullptr)
        return UINT(total);
    if (size < total) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::memcpy(data, metafile->Bytes.data(), total);
    return UINT(total);
}

UINT GetEnhMetaFileHeader(HENHMETAFILE handle, UINT size, ENHMETAHEADER* header) {
    TLock lock(LayerMutex());
    auto* metafile = Lookup<TEnhMetaFileObj>(handle);
    if (metafile == nullptr)
        return 0;
    DWORD stored = 0;
    std::memcpy(&stored, metafile->Bytes.data() + 4, 4);
    const UINT available = UINT(std::min<std::size_t>(stored, sizeof(ENHMETAHEADER)));
    if (header == nullptr)
        return available;
    if (size < kMinHeaderSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const UINT copied = std::min(size, available);
    // A caller's larger structure has zeros where an older header has no fields.
    if (size >= sizeof(ENHMETAHEADER))
        *header = ENHMETAHEADER{};
    std::memcpy(header, metafile->Bytes.data(), copied);
    return copied;
}

UINT GetEnhMetaFilePaletteEntries(HENHMETAFILE handle, UINT count, PALETTEENTRY* entries) {
    TLock lock(LayerMutex());
    auto* metafile = Lookup<TEnhMetaFileObj>(handle);
    if (metafile == nullptr)
        return GDI_ERROR;
    const std::vector<PALETTEENTRY> palette = EndPalette(metafile->Bytes.data(), metafile->Bytes.size());
    if (entries == nullptr)
        return UINT(palette.size());
    const std::size_t copied = std::min<std::size_t>(count, palette.size());
    std::copy_n(palette.begin(), copied, entries);
    return UINT(copied);
}

HENHMETAFILE CopyEnhMetaFile(HENHMETAFILE handle, const char* fileName) {
    TLock lock(LayerMutex());
    auto* metafile = Lookup<TEnhMetaFileObj>(handle);
    if (metafile == nullptr)
        return nullptr;
    if (fileName != nullptr)
        return RefuseMetafile(ERROR_INVALID_PARAMETER);
    return NewMetafile(metafile->Bytes.data(), metafile->Bytes.size());
}

BOOL DeleteEnhMetaFile(HENHMETAFILE handle) {
    TLock lock(LayerMutex());
    if (Lookup<TEnhMetaFileObj>(handle) == nullptr)
        return FALSE;
    return Unregister(handle) ? TRUE : FALSE;
}

}  // namespace gdi
