// The PNG codec's one seam to zlib and libdeflate. Every compression stream the codec opens lives
// here: its start and end belong to one owner, zlib's status codes become the codec's error
// (EPNGZLIBError with the status text) in one place, and whole-buffer inflating and deflating
// stop at a bound given by the caller, growing their output through the raster layer's storage
// gate.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace png {

/// Raises EPNGZLIBError: the codec's decompression message followed by the status text.
[[noreturn]] void RaiseZlibError(int status);

/// One zlib inflate stream over buffers its user hands in.
class TInflater {
public:
    /// A failure to start is kept and reported by the first step.
    TInflater() noexcept;
    ~TInflater();
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    /// The input of the next steps; count is at most kMaxZlibSlice.
    void SetInput(const std::uint8_t* bytes, std::size_t count) noexcept;
    std::size_t InputLeft() const noexcept { return FZlib.avail_in; }
    /// The room of the next steps; count is at most kMaxZlibSlice.
    void SetOutput(std::uint8_t* bytes, std::size_t count) noexcept;
    std::size_t OutputLeft() const noexcept { return FZlib.avail_out; }

    /// One inflate step; true when the compressed stream has ended. Raises EPNGZLIBError for
    /// damaged data, for a stream that asks for a preset dictionary (PNG defines none, and zlib
    /// would answer the same on every further call) and for a step that can make no progress
    /// although there is room for output.
    bool Inflate();
    /// One inflate step without raising: zlib's status, Z_NEED_DICT counted as a failure.
    int TryInflate() noexcept;
    /// zlib's own description of the last failure, or the status text.
    std::string ErrorText(int status) const;

private:
    z_stream FZlib{};
    int FStartStatus;
};

/// One zlib deflate stream over buffers its user hands in.
class TDeflater {
public:
    /// A failure to start (a level zlib refuses, no memory) is kept and reported by
    /// RequireStarted and by the first step.
    explicit TDeflater(int level) noexcept;
    ~TDeflater();
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    /// Raises EPNGZLIBError when the stream could not start.
    void RequireStarted() const;
    /// zlib's upper bound of the compressed size of inputBytes at this stream's settings.
    std::uint64_t Bound(std::uint64_t inputBytes) noexcept;

    void SetInput(const std::uint8_t* bytes, std::size_t count) noexcept;
    std::size_t InputLeft() const noexcept { return FZlib.avail_in; }
    void SetOutput(std::uint8_t* bytes, std::size_t count) noexcept;
    std::size_t OutputLeft() const noexcept { return FZlib.avail_out; }

    /// One deflate step with zlib's flush mode; true when the stream has ended (only with
    /// Z_FINISH). A full output buffer is not a failure: the caller drains it and steps again.
    /// Raises EPNGZLIBError for everything else zlib refuses.
    bool Deflate(int flush);
    /// One deflate step without raising: zlib's status.
    int TryDeflate(int flush) noexcept;
    std::string ErrorText(int status) const;

private:
    z_stream FZlib{};
    int FStartStatus;
};

/// zlib counts buffers in 32 bits; longer ones are handed over in slices of this size.
constexpr std::size_t kMaxZlibSlice = std::size_t(1) << 30;

/// The outcome of a whole-buffer call.
enum class TZlibOutcome {
    zoComplete,        ///< the whole result is in the output
    zoOverLimit,       ///< the result would pass the bound
    zoStorageRefused,  ///< the storage gate refused the output (ERROR_NOT_ENOUGH_MEMORY is set)
    zoFailed,          ///< zlib failed or the compressed stream is cut short; ErrorText says why
};

struct TZlibResult {
    TZlibOutcome Outcome;
    /// The bytes zlib produced, kept or not: what the call cost.
    std::size_t Produced;
    std::string ErrorText;
};

/// Inflates one complete zlib stream into at most limit bytes. Inflating stops as soon as the
/// result passes the bound, so a small stream that would inflate to gigabytes costs no more
/// than the bound, and the output never holds more than limit bytes. On anything but
/// zoComplete the output is empty.
TZlibResult InflateBuffer(const std::uint8_t* input, std::size_t length, std::size_t limit,
                          std::vector<std::uint8_t>& output);

/// Deflates the input at the level into one complete zlib stream of at most limit bytes. On
/// anything but zoComplete the output is empty.
TZlibResult DeflateBuffer(const std::uint8_t* input, std::size_t length, int level, std::size_t limit,
                          std::vector<std::uint8_t>& output);

/// Deflates the whole input with libdeflate in one call, at the zlib level (0 to 9: libdeflate
/// numbers its levels the same way, 0 storing the data uncompressed), into one complete zlib
/// stream at output, which has room for DeflateWholeBound(length) bytes; returns the stream's
/// length. 0 for any other level and when libdeflate cannot be had; the caller then deflates
/// with zlib, which reports what it refuses. The caller gates the size of the input it gathered
/// and of the output.
std::size_t DeflateWhole(const std::uint8_t* input, std::size_t length, int level, std::uint8_t* output) noexcept;

/// The most bytes DeflateWhole produces from length bytes, at any level.
std::size_t DeflateWholeBound(std::size_t length) noexcept;

/// Inflates a complete zlib stream with libdeflate in one call; true only when it inflates to
/// exactly outputSize bytes. Any failure, too much or too little data included, gives false and
/// leaves the decision to the streaming path.
bool InflateWhole(const std::uint8_t* input, std::size_t length, std::uint8_t* output,
                  std::size_t outputSize) noexcept;

}  // namespace png
