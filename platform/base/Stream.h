// Byte streams: the abstract stream with its checked whole-buffer reads and writes, streams over
// memory, and file streams. Positions and sizes are 64-bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    /// Reads up to count bytes; returns how many were read (0 at the end).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    /// Writes up to count bytes; returns how many were taken.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    /// Moves the position and returns the new one.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t size);

    std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::Beginning); }
    /// Bytes from the position to the end.
    std::int64_t Remaining() { return Size() - Position(); }

    /// Reads exactly count bytes or raises EReadError.
    void ReadBuffer(void* buffer, std::int64_t count);
    /// Writes exactly count bytes or raises EWriteError.
    void WriteBuffer(const void* buffer, std::int64_t count);
    /// Copies count bytes from source's position (count 0: the whole of source, from its start).
    /// Raises EReadError when source holds fewer bytes, EWriteError when this stream takes fewer.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

/// A stream over a block of memory it does not grow: reads, seeks and in-place writes.
class TCustomMemoryStream : public TStream {
public:
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return FSize; }
    const std::uint8_t* Memory() const { return FMemory; }
    /// Writes the whole memory to another stream.
    void SaveToStream(TStream& stream);

protected:
    void SetPointer(std::uint8_t* memory, std::int64_t size);
    std::uint8_t* FMemory = nullptr;
    std::int64_t FSize = 0;
    std::int64_t FPosition = 0;
};

/// A read-only stream over bytes that somebody else keeps alive.
class TBytesStream : public TCustomMemoryStream {
public:
    TBytesStream(const void* data, std::size_t size);
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
};

/// A growable stream in memory that owns its bytes.
class TMemoryStream : public TCustomMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes);
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    void SetSize(std::int64_t size) override;
    void Clear();
    /// Replaces the contents with the rest of another stream; the position becomes 0.
    void LoadFromStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    std::vector<std::uint8_t> Bytes() const { return std::vector<std::uint8_t>(FMemory, FMemory + FSize); }

private:
    void Reserve(std::int64_t capacity);
    std::vector<std::uint8_t> FStorage;
};

/// Open modes of a file stream.
enum class TFileMode {
    /// Read only; others may go on reading the file.
    OpenReadShared,
    /// Create a new file or truncate an existing one, for writing.
    Create,
};

class TFileStream : public TStream {
public:
    /// Raises EFOpenError or EFCreateError with the file name when the file cannot be had.
    TFileStream(const std::string& fileName, TFileMode mode);
    ~TFileStream() override;
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t size) override;
    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
    int FHandle = -1;
};
