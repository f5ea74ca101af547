// Windows metafile handles: the bytes are checked once when a handle is made, so playback walks
// records whose sizes are already known to fit.
#include "platform/gdi/Internal.h"
#include "platform/gdi/Storage.h"
#include "platform/gdi/WmfRecords.h"

namespace gdi {

using namespace detail;

namespace {

HMETAFILE RefuseMetaFile(DWORD error) {
    SetLastError(error);
    return nullptr;
}

}  // namespace

namespace detail {

bool CheckMetaHeader(const BYTE* data, std::size_t size) {
    if (data == nullptr || size < kMetaHeaderBytes)
        return false;
    const WORD type = ReadWord(data), headerWords = ReadWord(data + 2), version = ReadWord(data + 4);
    return (type == 1 || type == 2) && headerWords == kMetaHeaderBytes / 2 && (version == 0x100 || version == 0x300);
}

std::size_t WholeRecordsEnd(const BYTE* data, std::size_t size) {
    std::size_t at = kMetaHeaderBytes;
    while (size - at >= kMetaRecordHeaderBytes) {
        const std::uint64_t bytes = std::uint64_t(ReadDword(data + at)) * 2;
        if (bytes < kMetaRecordHeaderBytes || bytes > size - at)
            break;
        at += std::size_t(bytes);
        if (ReadWord(data + at - bytes + 4) == META_EOF)
            break;
    }
    return at;
}

}  // namespace detail

HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data) {
    TLock lock(LayerMutex());
    if (!CheckMetaHeader(data, size))
        return RefuseMetaFile(ERROR_INVALID_DATA);
    auto metafile = std::make_unique<TMetaFileObj>();
    if (!ResizeStorage(metafile->Bytes, size))
        return nullptr;
    std::memcpy(metafile->Bytes.data(), data, size);
    metafile->RecordsEnd = WholeRecordsEnd(data, size);
    metafile->Objects = ReadWord(data + 10);
    return static_cast<HMETAFILE>(Register(std::move(metafile)));
}

UINT GetMetaFileBitsEx(HMETAFILE handle, UINT size, void* data) {
    TLock lock(LayerMutex());
    auto* metafile = Lookup<TMetaFileObj>(handle);
    if (metafile == nullptr)
        return 0;
    const std::size_t bytes = metafile->Bytes.size();
    if (data == nullptr)
        return UINT(bytes);
    if (size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(data, metafile->Bytes.data(), bytes);
    return UINT(bytes);
}

HMETAFILE CopyMetaFileA(HMETAFILE handle, const char* fileName) {
    TLock lock(LayerMutex());
    auto* metafile = Lookup<TMetaFileObj>(handle);
    if (metafile == nullptr)
        return nullptr;
    if (fileName != nullptr)
        return RefuseMetaFile(ERROR_NOT_SUPPORTED);  // the layer has no disk metafiles
    auto copy = std::make_unique<TMetaFileObj>();
    if (!ResizeStorage(copy->Bytes, metafile->Bytes.size()))
        return nullptr;
    copy->Bytes = metafile->Bytes;
    copy->RecordsEnd = metafile->RecordsEnd;
    copy->Objects = metafile->Objects;
    return static_cast<HMETAFILE>(Register(std::move(copy)));
}

BOOL DeleteMetaFile(HMETAFILE handle) {
    TLock lock(LayerMutex());
    if (Lookup<TMetaFileObj>(handle) == nullptr)
        return FALSE;
    return Unregister(handle) ? TRUE : FALSE;
}

}  // namespace gdi
