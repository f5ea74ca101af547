// The codec's compression streams, their failures turned into EPNGZLIBError, the bounded
// whole-buffer inflate and deflate, and libdeflate's one-call inflate and deflate of complete
// image data.
#include "png/Zlib.h"

#include "platform/base/Messages.h"
#include "platform/gdi/Storage.h"
#include "png/PngErrors.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <new>

namespace png {

void RaiseZlibError(int status) { throw EPNGZLIBError(base::LoadStr(res::SPngZlibError) + ZlibStatusText(status)); }

namespace {

std::string DescribeFailure(const z_stream& zlib, int status) {
    return zlib.msg != nullptr ? std::string(zlib.msg) : ZlibStatusText(status);
}

/// Sizes the output to exactly count bytes through the storage gate. The capacity is reserved
/// first, so the vector never holds more than was asked for (a plain resize may double it).
bool GrowStorage(std::vector<std::uint8_t>& output, std::size_t count) noexcept {
    if (!gdi::StorageAllowed(count))
        return false;
    try {
        output.reserve(count);
    } catch (const std::bad_alloc&) {
        return gdi::detail::RefuseStorage();
    }
    return gdi::ResizeStorage(output, count);
}

/// The next size of a growing output: first a guess from the input, then doubling, never more
/// than the bound.
std::size_t NextSize(std::size_t current, std::size_t guess, std::size_t limit) {
    constexpr std::size_t kSmallest = 4096;
    const std::size_t wanted = current == 0 ? std::max(guess, kSmallest) : (current > limit / 2 ? limit : current * 2);
    return std::min(wanted, limit);
}

TZlibResult Failed(std::vector<std::uint8_t>& output, TZlibOutcome outcome, std::size_t produced,
                   std::string errorText = {}) {
    // The storage goes back at once: a refused or abandoned result must not hold memory.
    std::vector<std::uint8_t>().swap(output);
    return TZlibResult{outcome, produced, std::move(errorText)};
}

}  // namespace

// ---- inflate ----------------------------------------------------------------------------------

TInflater::TInflater() noexcept : FStartStatus(inflateInit(&FZlib)) {}

TInflater::~TInflater() {
    if (FStartStatus == Z_OK)
        inflateEnd(&FZlib);
}

void TInflater::SetInput(const std::uint8_t* bytes, std::size_t count) noexcept {
    FZlib.next_in = const_cast<Bytef*>(bytes);
    FZlib.avail_in = uInt(count);
}

void TInflater::SetOutput(std::uint8_t* bytes, std::size_t count) noexcept {
    FZlib.next_out = bytes;
    FZlib.avail_out = uInt(count);
}

int TInflater::TryInflate() noexcept {
    if (FStartStatus != Z_OK)
        return FStartStatus;
    return inflate(&FZlib, Z_NO_FLUSH);
}

bool TInflater::Inflate() {
    const int status = TryInflate();
    if (status == Z_NEED_DICT || (status < 0 && !(status == Z_BUF_ERROR && FZlib.avail_out == 0)))
        RaiseZlibError(status);
    return status == Z_STREAM_END;
}

std::string TInflater::ErrorText(int status) const { return DescribeFailure(FZlib, status); }

// ---- deflate ----------------------------------------------------------------------------------

TDeflater::TDeflater(int level) noexcept : FStartStatus(deflateInit(&FZlib, level)) {}

TDeflater::~TDeflater() {
    if (FStartStatus == Z_OK)
        deflateEnd(&FZlib);
}

void TDeflater::RequireStarted() const {
    if (FStartStatus != Z_OK)
        RaiseZlibError(FStartStatus);
}

std::uint64_t TDeflater::Bound(std::uint64_t inputBytes) noexcept { return deflateBound(&FZlib, uLong(inputBytes)); }

void TDeflater::SetInput(const std::uint8_t* bytes, std::size_t count) noexcept {
    FZlib.next_in = const_cast<Bytef*>(bytes);
    FZlib.avail_in = uInt(count);
}

void TDeflater::SetOutput(std::uint8_t* bytes, std::size_t count) noexcept {
    FZlib.next_out = bytes;
    FZlib.avail_out = uInt(count);
}

int TDeflater::TryDeflate(int flush) noexcept {
    if (FStartStatus != Z_OK)
        return FStartStatus;
    return deflate(&FZlib, flush);
}

bool TDeflater::Deflate(int flush) {
    const int status = TryDeflate(flush);
    if (status < 0 && !(status == Z_BUF_ERROR && FZlib.avail_out == 0))
        RaiseZlibError(status);
    return status == Z_STREAM_END;
}

std::string TDeflater::ErrorText(int status) const { return DescribeFailure(FZlib, status); }

// ---- whole buffers ----------------------------------------------------------------------------

TZlibResult InflateBuffer(const std::uint8_t* input, std::size_t length, std::size_t limit,
                          std::vector<std::uint8_t>& output) {
    output.clear();
    TInflater inflater;
    std::size_t consumed = 0;
    std::size_t produced = 0;
    // Once the bound is reached, one more byte of room tells a stream that ends there from one
    // that goes on; that byte is never kept.
    std::uint8_t probe = 0;
    bool probing = false;
    const std::size_t guess = length < limit / 4 ? length * 4 : limit;
    for (;;) {
        if (inflater.InputLeft() == 0 && consumed < length) {
            const std::size_t slice = std::min(length - consumed, kMaxZlibSlice);
            inflater.SetInput(input + consumed, slice);
            consumed += slice;
        }
        if (inflater.OutputLeft() == 0 && !probing) {
            if (produced == limit) {
                inflater.SetOutput(&probe, 1);
                probing = true;
            } else {
                if (produced == output.size() && !GrowStorage(output, NextSize(output.size(), guess, limit)))
                    return Failed(output, TZlibOutcome::zoStorageRefused, produced);
                inflater.SetOutput(output.data() + produced, std::min(output.size() - produced, kMaxZlibSlice));
            }
        }
        const std::size_t room = inflater.OutputLeft();
        const int status = inflater.TryInflate();
        const std::size_t made = room - inflater.OutputLeft();
        if (probing && made > 0)
            return Failed(output, TZlibOutcome::zoOverLimit, produced + made);
        produced += made;
        if (status == Z_STREAM_END) {
            output.resize(produced);
            return TZlibResult{TZlibOutcome::zoComplete, produced, {}};
        }
        // A stream that asks for a preset dictionary would get the same answer on every call.
        if (status < 0 || status == Z_NEED_DICT)
            return Failed(output, TZlibOutcome::zoFailed, produced, inflater.ErrorText(status));
        // Without more input and with room left, zlib can make no further progress: the stream
        // is cut short.
        if (inflater.InputLeft() == 0 && consumed == length && inflater.OutputLeft() != 0)
            return Failed(output, TZlibOutcome::zoFailed, produced, inflater.ErrorText(Z_BUF_ERROR));
    }
}

TZlibResult DeflateBuffer(const std::uint8_t* input, std::size_t length, int level, std::size_t limit,
                          std::vector<std::uint8_t>& output) {
    output.clear();
    TDeflater deflater(level);
    std::size_t consumed = 0;
    std::size_t produced = 0;
    const std::size_t guess = std::min<std::uint64_t>(deflater.Bound(length) / 4, limit);
    for (;;) {
        if (deflater.InputLeft() == 0 && consumed < length) {
            const std::size_t slice = std::min(length - consumed, kMaxZlibSlice);
            deflater.SetInput(input + consumed, slice);
            consumed += slice;
        }
        if (deflater.OutputLeft() == 0) {
            if (produced == limit)
                return Failed(output, TZlibOutcome::zoOverLimit, produced);
            if (produced == output.size() && !GrowStorage(output, NextSize(output.size(), guess, limit)))
                return Failed(output, TZlibOutcome::zoStorageRefused, produced);
            deflater.SetOutput(output.data() + produced, std::min(output.size() - produced, kMaxZlibSlice));
        }
        const std::size_t room = deflater.OutputLeft();
        const int status = deflater.TryDeflate(consumed < length ? Z_NO_FLUSH : Z_FINISH);
        produced += room - deflater.OutputLeft();
        if (status == Z_STREAM_END) {
            output.resize(produced);
            return TZlibResult{TZlibOutcome::zoComplete, produced, {}};
        }
        // A full output is drained by the next round; a step that could not move with room at
        // hand would repeat for ever.
        if (status < 0 && !(status == Z_BUF_ERROR && deflater.OutputLeft() == 0))
            return Failed(output, TZlibOutcome::zoFailed, produced, deflater.ErrorText(status));
    }
}

// ---- libdeflate -------------------------------------------------------------------------------

std::size_t DeflateWholeBound(std::size_t length) noexcept { return libdeflate_zlib_compress_bound(nullptr, length); }

std::size_t DeflateWhole(const std::uint8_t* input, std::size_t length, int level, std::uint8_t* output) noexcept {
    // libdeflate goes on to level 12; those and every other level stay with zlib, which refuses them.
    if (level < 0 || level > 9)
        return 0;
    // One compressor per thread, kept while the level stays the same, so that saving many small
    // images does not set one up (and clear its tables) for each.
    struct TFreeCompressor {
        void operator()(libdeflate_compressor* compressor) const noexcept { libdeflate_free_compressor(compressor); }
    };
    thread_local std::unique_ptr<libdeflate_compressor, TFreeCompressor> compressor;
    thread_local int compressorLevel = -1;
    if (compressor == nullptr || compressorLevel != level) {
        compressor.reset(libdeflate_alloc_compressor(level));
        compressorLevel = level;
        if (compressor == nullptr)
            return 0;
    }
    return libdeflate_zlib_compress(compressor.get(), input, length, output, DeflateWholeBound(length));
}

bool InflateWhole(const std::uint8_t* input, std::size_t length, std::uint8_t* output,
                  std::size_t outputSize) noexcept {
    // One decompressor per thread, made on first use and kept: its set-up costs more than
    // inflating a small image.
    thread_local std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    std::size_t produced = 0;
    return inflater != nullptr &&
           libdeflate_zlib_decompress(inflater.get(), input, length, output, outputSize, &produced) ==
               LIBDEFLATE_SUCCESS &&
           produced == outputSize;
}

}  // namespace png
