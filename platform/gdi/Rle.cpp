// The stream is a sequence of two-byte commands. A non-zero first byte is an encoded run: that
// many pixels of the second byte (RLE8) or of its two nibbles in turn (RLE4). A zero first byte
// is an escape: 0 ends the line, 1 ends the bitmap, 2 moves the position by the next two bytes
// (right, then up), and 3 to 255 start an absolute run of that many pixels, stored one per byte
// (RLE8) or two per byte (RLE4) and padded to a 16-bit boundary.
#include "platform/gdi/Rle.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace gdi::detail {
namespace {

class TRleDecoder {
public:
    TRleDecoder(bool fourBit, const BYTE* data, std::size_t size, BYTE* indices, std::size_t columns,
                std::size_t rows, BYTE* reached)
        : FFourBit(fourBit), FData(data), FSize(size), FIndices(indices), FReached(reached), FColumns(columns),
          FRows(rows) {}

    void Run() {
        // The position only ever moves up, so once it is above the last kept row nothing more
        // can land in the output and the rest of the stream need not be read.
        while (FY < FRows && Remaining() >= 2) {
            BYTE count = FData[FPos];
            BYTE value = FData[FPos + 1];
            FPos += 2;
            if (count != 0) {
                WriteEncoded(count, value);
                continue;
            }
            switch (value) {
            case 0: NextLine(); break;
            case 1: return;
            case 2:
                if (Remaining() < 2)
                    return;
                FX += FData[FPos];
                FY += FData[FPos + 1];
                FPos += 2;
                break;
            default: WriteAbsolute(value); break;
            }
        }
    }

private:
    std::size_t Remaining() const { return FSize - FPos; }

    void NextLine() {
        FX = 0;
        ++FY;
    }

    // Pixels right of the kept columns are dropped rather than wrapped onto the next line: a run
    // that overshoots its line is damage, and wrapping would smear it over every line after.
    void Put(BYTE index) {
        if (FX < FColumns) {
            FIndices[FY * FColumns + FX] = index;
            if (FReached != nullptr)
                FReached[FY * FColumns + FX] = 1;
        }
        ++FX;
    }

    void WriteEncoded(BYTE count, BYTE value) {
        if (!FFourBit) {
            if (FX < FColumns) {
                std::size_t n = std::min<std::size_t>(count, FColumns - FX);
                // Runs are short: eight bytes at a time beat the string instruction that a
                // general fill starts, whose set-up costs more than the run.
                BYTE* out = FIndices + FY * FColumns + FX;
                const std::uint64_t eight = 0x0101010101010101ull * value;
                std::size_t i = 0;
                for (; i + 8 <= n; i += 8)
                    std::memcpy(out + i, &eight, 8);
                for (; i < n; ++i)
                    out[i] = value;
                if (FReached != nullptr)
                    std::memset(FReached + FY * FColumns + FX, 1, n);
            }
            FX += count;
            return;
        }
        const BYTE pair[2] = {BYTE(value >> 4), BYTE(value & 0x0F)};
        for (unsigned i = 0; i < count; ++i)
            Put(pair[i & 1]);
    }

    void WriteAbsolute(BYTE count) {
        std::size_t bytes = FFourBit ? (count + 1u) / 2u : count;
        // A run cut short by the end of the data keeps the pixels that are there.
        std::size_t present = std::min(bytes, Remaining());
        const BYTE* run = FData + FPos;
        if (!FFourBit) {
            for (std::size_t i = 0; i < present; ++i)
                Put(run[i]);
        } else {
            std::size_t pixels = std::min<std::size_t>(count, present * 2);
            for (std::size_t i = 0; i < pixels; ++i)
                Put((i & 1) ? BYTE(run[i / 2] & 0x0F) : BYTE(run[i / 2] >> 4));
        }
        FPos += present;
        if ((bytes & 1u) && Remaining() > 0)
            ++FPos;
    }

    const bool FFourBit;
    const BYTE* const FData;
    const std::size_t FSize;
    BYTE* const FIndices;
    BYTE* const FReached;
    const std::size_t FColumns;
    const std::size_t FRows;
    std::size_t FPos = 0;
    // Each command moves the position by at most 255, and there are at most size / 2 commands,
    // so these cannot overflow a 64-bit size_t for any stream that fits in memory.
    std::size_t FX = 0;
    std::size_t FY = 0;
};

}  // namespace

void DecodeRle(DWORD compression, const BYTE* data, std::size_t size, BYTE* indices, std::size_t columns,
               std::size_t rows, BYTE* reached) {
    if (data == nullptr || indices == nullptr || columns == 0)
        return;
    TRleDecoder(compression == BI_RLE4, data, size, indices, columns, rows, reached).Run();
}

}  // namespace gdi::detail
