#include "platform/base/Stream.h"

#include "platform/base/Exception.h"
#include "platform/base/Messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::int64_t TStream::Size() {
    std::int64_t position = Seek(0, TSeekOrigin::Current);
    std::int64_t size = Seek(0, TSeekOrigin::End);
    Seek(position, TSeekOrigin::Beginning);
    return size;
}

void TStream::SetSize(std::int64_t) {}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
    if (count < 0 || (count > 0 && Read(buffer, count) != count))
        throw EReadError(base::LoadStr(res::SReadError));
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
    if (count < 0 || (count > 0 && Write(buffer, count) != count))
        throw EWriteError(base::LoadStr(res::SWriteError));
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<std::uint8_t> buffer(std::size_t(std::min<std::int64_t>(count, 1 << 16)));
    std::int64_t left = count;
    while (left > 0) {
        std::int64_t n = std::min<std::int64_t>(left, std::int64_t(buffer.size()));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        left -= n;
    }
    return count;
}

void TCustomMemoryStream::SetPointer(std::uint8_t* memory, std::int64_t size) {
    FMemory = memory;
    FSize = size;
}

std::int64_t TCustomMemoryStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0 || FPosition >= FSize)
        return 0;
    std::int64_t n = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FMemory + FPosition, std::size_t(n));
    FPosition += n;
    return n;
}

std::int64_t TCustomMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0 || FPosition >= FSize)
        return 0;
    std::int64_t n = std::min(count, FSize - FPosition);
    std::memcpy(FMemory + FPosition, buffer, std::size_t(n));
    FPosition += n;
    return n;
}

std::int64_t TCustomMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = origin == TSeekOrigin::Beginning ? 0 : origin == TSeekOrigin::Current ? FPosition : FSize;
    std::int64_t target;
    // A position before the start is refused; one past the end is allowed, as on files.
    if (__builtin_add_overflow(base, offset, &target) || target < 0)
        return FPosition;
    FPosition = target;
    return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream& stream) {
    if (FSize > 0)
        stream.WriteBuffer(FMemory, FSize);
}

TBytesStream::TBytesStream(const void* data, std::size_t size) {
    SetPointer(const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(data)), std::int64_t(size));
}

TMemoryStream::TMemoryStream(std::vector<std::uint8_t> bytes) : FStorage(std::move(bytes)) {
    SetPointer(FStorage.data(), std::int64_t(FStorage.size()));
}

void TMemoryStream::Reserve(std::int64_t capacity) {
    if (capacity <= std::int64_t(FStorage.size()))
        return;
    // Grow geometrically so that many small writes stay linear overall.
    std::size_t grown = std::max<std::size_t>(std::size_t(capacity), FStorage.size() + FStorage.size() / 2);
    FStorage.resize(grown);
    FMemory = FStorage.data();
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0)
        return 0;
    std::int64_t end;
    if (__builtin_add_overflow(FPosition, count, &end))
        return 0;
    Reserve(end);
    std::memcpy(FMemory + FPosition, buffer, std::size_t(count));
    FPosition = end;
    FSize = std::max(FSize, end);
    return count;
}

void TMemoryStream::SetSize(std::int64_t size) {
    if (size < 0)
        return;
    Reserve(size);
    if (size > FSize)
        std::memset(FMemory + FSize, 0, std::size_t(size - FSize));
    FSize = size;
    FPosition = std::min(FPosition, FSize);
}

void TMemoryStream::Clear() {
    FStorage.clear();
    FStorage.shrink_to_fit();
    SetPointer(nullptr, 0);
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
    std::int64_t count = stream.Remaining();
    SetSize(std::max<std::int64_t>(count, 0));
    FPosition = 0;
    if (count > 0)
        stream.ReadBuffer(FMemory, count);
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenReadShared);
    LoadFromStream(file);
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : FFileName(fileName) {
    if (mode == TFileMode::OpenReadShared) {
        // Not blocking, so that opening a FIFO by mistake cannot hang; only regular files are
        // read, since a folder or a device would give no bytes or never end.
        FHandle = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat status {};
        if (FHandle >= 0 && (::fstat(FHandle, &status) != 0 || !S_ISREG(status.st_mode))) {
            ::close(FHandle);
            FHandle = -1;
        }
        if (FHandle < 0)
            throw EFOpenError(base::FmtLoadStr(res::SFOpenError, {fileName}));
    } else {
        FHandle = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (FHandle < 0)
            throw EFCreateError(base::FmtLoadStr(res::SFCreateError, {fileName}));
    }
}

TFileStream::~TFileStream() {
    if (FHandle >= 0)
        ::close(FHandle);
}

namespace {

// Moves bytes through read or write until all are done, the end is reached or an error stops
// it; an interrupted call is simply repeated.
template <typename TBuffer, typename TCall>
std::int64_t TransferAll(TBuffer* buffer, std::int64_t count, TCall call) {
    std::int64_t total = 0;
    while (total < count) {
        ssize_t n = call(buffer + total, std::size_t(std::min<std::int64_t>(count - total, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

}  // namespace

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
    return TransferAll(static_cast<std::uint8_t*>(buffer), count,
                       [this](std::uint8_t* at, std::size_t n) { return ::read(FHandle, at, n); });
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
    return TransferAll(static_cast<const std::uint8_t*>(buffer), count,
                       [this](const std::uint8_t* at, std::size_t n) { return ::write(FHandle, at, n); });
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    int whence = origin == TSeekOrigin::Beginning ? SEEK_SET : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t result = ::lseek(FHandle, off_t(offset), whence);
    if (result < 0)
        return ::lseek(FHandle, 0, SEEK_CUR);
    return std::int64_t(result);
}

void TFileStream::SetSize(std::int64_t size) {
    if (size >= 0 && ::ftruncate(FHandle, off_t(size)) == 0 && Position() > size)
        Seek(size, TSeekOrigin::Beginning);
}
