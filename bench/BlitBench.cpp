// The transfer engine's costs. Shrinking a large picture into a thumbnail with COLORONCOLOR must
// cost in proportion to the thumbnail, so the 4000 × 3000 and 400 × 300 sources should take
// about the same time per call; the plain copies show the per-pixel cost of whole-image work.
#include "platform/gdi/Gdi.h"
#include "platform/gdi/Screen.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

namespace {

using namespace gdi;

constexpr int kThumb = 64;

// A DIB section selected into its own memory context, filled with a pattern that defeats any
// accidental uniform-colour shortcut.
class TSection {
public:
    TSection(int bpp, int width, int height) {
        FInfo.biSize = sizeof FInfo;
        FInfo.biWidth = width;
        FInfo.biHeight = -height;
        FInfo.biPlanes = 1;
        FInfo.biBitCount = WORD(bpp);
        FInfo.biCompression = BI_RGB;
        FBitmap = CreateDIBSection(nullptr, Info(), DIB_RGB_COLORS, &FBits, nullptr, 0);
        FDc = CreateCompatibleDC(nullptr);
        FOld = SelectObject(FDc, FBitmap);
        const std::size_t stride = (std::size_t(width) * std::size_t(bpp) + 31) / 32 * 4;
        auto* bytes = static_cast<BYTE*>(FBits);
        for (std::size_t i = 0; i < stride * std::size_t(height); ++i)
            bytes[i] = BYTE(i * 2654435761u >> 24);
    }
    ~TSection() {
        SelectObject(FDc, FOld);
        DeleteObject(FBitmap);
        DeleteDC(FDc);
    }
    HDC Dc() const { return FDc; }
    const void* Bits() const { return FBits; }
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(&FInfo); }

private:
    BITMAPINFOHEADER FInfo{};
    HBITMAP FBitmap = nullptr;
    void* FBits = nullptr;
    HDC FDc = nullptr;
    HGDIOBJ FOld = nullptr;
};

// A 32-bit device-dependent bitmap, the format a thumbnail is kept in for the screen.
class TTarget {
public:
    TTarget(int width, int height) {
        HDC screen = GetDC(nullptr);
        FBitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        FDc = CreateCompatibleDC(nullptr);
        FOld = SelectObject(FDc, FBitmap);
        SetStretchBltMode(FDc, COLORONCOLOR);
    }
    ~TTarget() {
        SelectObject(FDc, FOld);
        DeleteObject(FBitmap);
        DeleteDC(FDc);
    }
    HDC Dc() const { return FDc; }

private:
    HBITMAP FBitmap = nullptr;
    HDC FDc = nullptr;
    HGDIOBJ FOld = nullptr;
};

void StretchBltThumbnail(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    TSection source(32, width, height);
    TTarget target(kThumb, kThumb);
    for (auto _ : state) {
        if (!StretchBlt(target.Dc(), 0, 0, kThumb, kThumb, source.Dc(), 0, 0, width, height, SRCCOPY))
            state.SkipWithError("StretchBlt failed");
        benchmark::ClobberMemory();
    }
}
BENCHMARK(StretchBltThumbnail)->Args({4000, 3000})->Args({400, 300})->Unit(benchmark::kMicrosecond);

void StretchDIBitsThumbnail(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    TSection source(24, width, height);
    TTarget target(kThumb, kThumb);
    for (auto _ : state) {
        if (StretchDIBits(target.Dc(), 0, 0, kThumb, kThumb, 0, 0, width, height, source.Bits(), source.Info(),
                          DIB_RGB_COLORS, SRCCOPY) != height)
            state.SkipWithError("StretchDIBits failed");
        benchmark::ClobberMemory();
    }
}
BENCHMARK(StretchDIBitsThumbnail)->Args({4000, 3000})->Args({400, 300})->Unit(benchmark::kMicrosecond);

// Whole-image copies: same format (rows move with memmove) and 24 to 32 bits (every pixel
// converted).
void BitBltWholeImage(benchmark::State& state) {
    const int bpp = int(state.range(0));
    constexpr int kWidth = 4000, kHeight = 3000;
    TSection source(bpp, kWidth, kHeight);
    TTarget target(kWidth, kHeight);
    for (auto _ : state) {
        if (!BitBlt(target.Dc(), 0, 0, kWidth, kHeight, source.Dc(), 0, 0, SRCCOPY))
            state.SkipWithError("BitBlt failed");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BitBltWholeImage)->Arg(32)->Arg(24)->Unit(benchmark::kMillisecond);

}  // namespace
