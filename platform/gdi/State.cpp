// The screen model, the stock objects and the allocation gate that every bitmap passes.
#include "platform/base/CheckedMath.h"
#include "platform/gdi/Internal.h"
#include "platform/gdi/Storage.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace gdi::detail {
namespace {

constexpr PALETTEENTRY Entry(BYTE r, BYTE g, BYTE b) { return PALETTEENTRY{r, g, b, 0}; }

// The platform's default system colours (light theme).
constexpr std::array<COLORREF, kSysColorCount> kDefaultSysColors = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219), RGB(240, 240, 240),
    RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(180, 180, 180), RGB(244, 247, 252), RGB(171, 171, 171), RGB(0, 120, 215),   RGB(255, 255, 255),
    RGB(240, 240, 240), RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),       RGB(255, 255, 225),
    RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234), RGB(215, 228, 242), RGB(0, 120, 215),
    RGB(240, 240, 240),
};

void ResetSystemPalette(TState& state) {
    const auto& statics = StaticColors();
    state.SystemPalette.fill(PALETTEENTRY{0, 0, 0, 0});
    state.SystemPaletteUsed.fill(false);
    for (int i = 0; i < 10; ++i) {
        state.SystemPalette[i] = statics[i];
        state.SystemPalette[246 + i] = statics[10 + i];
        state.SystemPaletteUsed[i] = state.SystemPaletteUsed[246 + i] = true;
    }
}

template <typename T>
HGDIOBJ RegisterStock(std::unique_ptr<T> object) {
    object->Stock = true;
    return Register(std::move(object));
}

HGDIOBJ StockBrush(UINT style, COLORREF color) {
    auto brush = std::make_unique<TBrushObj>();
    brush->Log = LOGBRUSH{style, color, 0};
    return RegisterStock(std::move(brush));
}

HGDIOBJ StockPen(UINT style, COLORREF color) {
    auto pen = std::make_unique<TPenObj>();
    pen->Log = LOGPEN{style, POINT{0, 0}, color};
    return RegisterStock(std::move(pen));
}

HGDIOBJ StockFont(LONG height, BYTE pitchAndFamily, const char* face) {
    auto font = std::make_unique<TFontObj>();
    font->Log.lfHeight = height;
    font->Log.lfWeight = 400;
    font->Log.lfPitchAndFamily = pitchAndFamily;
    std::strncpy(font->Log.lfFaceName, face, LF_FACESIZE - 1);
    return RegisterStock(std::move(font));
}

void MakeStockObjects(TState& state) {
    state.Stock[WHITE_BRUSH] = StockBrush(BS_SOLID, RGB(255, 255, 255));
    state.Stock[LTGRAY_BRUSH] = StockBrush(BS_SOLID, RGB(192, 192, 192));
    state.Stock[GRAY_BRUSH] = StockBrush(BS_SOLID, RGB(128, 128, 128));
    state.Stock[DKGRAY_BRUSH] = StockBrush(BS_SOLID, RGB(64, 64, 64));
    state.Stock[BLACK_BRUSH] = StockBrush(BS_SOLID, RGB(0, 0, 0));
    state.Stock[NULL_BRUSH] = StockBrush(BS_NULL, 0);
    state.Stock[WHITE_PEN] = StockPen(PS_SOLID, RGB(255, 255, 255));
    state.Stock[BLACK_PEN] = StockPen(PS_SOLID, RGB(0, 0, 0));
    state.Stock[NULL_PEN] = StockPen(PS_NULL, 0);
    state.Stock[OEM_FIXED_FONT] = StockFont(12, 1, "Terminal");
    state.Stock[ANSI_FIXED_FONT] = StockFont(12, 1, "Courier");
    state.Stock[ANSI_VAR_FONT] = StockFont(12, 2, "MS Sans Serif");
    state.Stock[SYSTEM_FONT] = StockFont(16, 2, "System");
    state.Stock[DEVICE_DEFAULT_FONT] = StockFont(16, 2, "System");
    state.Stock[SYSTEM_FIXED_FONT] = StockFont(16, 1, "Fixedsys");
    state.Stock[DEFAULT_GUI_FONT] = StockFont(-12, 2, "MS Shell Dlg");
    auto palette = std::make_unique<TPaletteObj>();
    palette->Entries.assign(StaticColors().begin(), StaticColors().end());
    state.Stock[DEFAULT_PALETTE] = RegisterStock(std::move(palette));
    auto bitmap = NewBitmap(1, 1, 1);
    bitmap->Mono = true;
    state.DefaultBitmap = static_cast<HBITMAP>(RegisterStock(std::move(bitmap)));
}

}  // namespace

const std::array<PALETTEENTRY, 20>& StaticColors() {
    static constexpr std::array<PALETTEENTRY, 20> colors = {
        Entry(0, 0, 0),       Entry(128, 0, 0),     Entry(0, 128, 0),     Entry(128, 128, 0),
        Entry(0, 0, 128),     Entry(128, 0, 128),   Entry(0, 128, 128),   Entry(192, 192, 192),
        Entry(192, 220, 192), Entry(166, 202, 240), Entry(255, 251, 240), Entry(160, 160, 164),
        Entry(128, 128, 128), Entry(255, 0, 0),     Entry(0, 255, 0),     Entry(255, 255, 0),
        Entry(0, 0, 255),     Entry(255, 0, 255),   Entry(0, 255, 255),   Entry(255, 255, 255),
    };
    return colors;
}

const std::array<RGBQUAD, 16>& StandardColors16() {
    static constexpr std::array<RGBQUAD, 16> colors = {{
        {0, 0, 0, 0},       {0, 0, 128, 0},     {0, 128, 0, 0},     {0, 128, 128, 0},
        {128, 0, 0, 0},     {128, 0, 128, 0},   {128, 128, 0, 0},   {192, 192, 192, 0},
        {128, 128, 128, 0}, {0, 0, 255, 0},     {0, 255, 0, 0},     {0, 255, 255, 0},
        {255, 0, 0, 0},     {255, 0, 255, 0},   {255, 255, 0, 0},   {255, 255, 255, 0},
    }};
    return colors;
}

const std::array<PALETTEENTRY, 256>& HalftoneEntries() {
    static const std::array<PALETTEENTRY, 256> entries = [] {
        std::array<PALETTEENTRY, 256> result{};
        const auto& statics = StaticColors();
        std::size_t n = 0;
        for (int i = 0; i < 10; ++i)
            result[n++] = statics[i];
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    result[n++] = Entry(BYTE(r * 51), BYTE(g * 51), BYTE(b * 51));
        // Twenty greys between the cube's six levels make grey images look smooth.
        for (int i = 1; i <= 20; ++i) {
            BYTE level = BYTE((i * 255 + 10) / 21);
            result[n++] = Entry(level, level, level);
        }
        for (int i = 10; i < 20; ++i)
            result[n++] = statics[i];
        return result;
    }();
    return entries;
}

TState& State() {
    // Made in two steps, because making the stock objects already asks for the state (the
    // storage cap); every caller holds the layer lock, so no other thread can see the first step.
    static TState* state = nullptr;
    if (state == nullptr) {
        TLock lock(LayerMutex());
        state = new TState;
        state->SysColors = kDefaultSysColors;
        ResetSystemPalette(*state);
        MakeStockObjects(*state);
    }
    return *state;
}

bool IsPaletteDevice() { return State().Screen.BitsPerPixel == 8; }

std::size_t DibStride(LONG width, int bitsPixel) {
    auto stride = base::DibRowStride(width, unsigned(bitsPixel));
    return stride ? *stride : 0;
}

namespace {

// Blocks this large are mapped on their own rather than taken from the heap: they arrive as
// pages the kernel has cleared, go back to it whole when freed, and can be given huge pages.
constexpr std::size_t kMappedBlock = std::size_t(8) << 20;
constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;

std::size_t PageSize() {
    static const std::size_t size = std::size_t(sysconf(_SC_PAGESIZE));
    return size;
}

TPixelStorage MapPixels(std::size_t bytes) {
    const std::size_t page = PageSize();
    if (bytes > SIZE_MAX - 2 * page) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const std::size_t span = (bytes + page - 1) / page * page;
    const std::size_t total = span + page;
    void* block = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* base = static_cast<BYTE*>(block);
    // The page behind the pixels is made inaccessible and the pixels end right against it, so a
    // read or write past the last pixel faults at once instead of reaching other memory; the
    // sanitizer's own guard does not cover a mapping.
    if (mprotect(base + span, page, PROT_NONE) != 0) {
        munmap(block, total);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // A bitmap of tens of megabytes is otherwise brought in by thousands of page faults, which
    // cost more than reading its pixels; huge pages need a few dozen. The advice may be ignored.
    const auto start = reinterpret_cast<std::uintptr_t>(base);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + span) & ~(kHugePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    return TPixelStorage(base + (span - bytes), TFreePixels{total});
}

}  // namespace

void TFreePixels::operator()(BYTE* pixels) const noexcept {
    if (MappedBytes == 0) {
        std::free(pixels);
        return;
    }
    // The pixels start less than a page into their mapping.
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(pixels);
    munmap(reinterpret_cast<void*>(address - address % PageSize()), MappedBytes);
}

TPixelStorage AllocatePixels(std::size_t bytes) {
    if (!StorageAllowed(bytes))
        return nullptr;
    if (bytes >= kMappedBlock)
        return MapPixels(bytes);
    TPixelStorage storage(static_cast<BYTE*>(std::calloc(bytes == 0 ? 1 : bytes, 1)));
    if (!storage)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return storage;
}

std::unique_ptr<TBitmapObj> NewBitmap(LONG width, LONG height, int bitsPixel) {
    if (width <= 0 || height <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    switch (bitsPixel) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
    std::size_t stride = DibStride(width, bitsPixel);
    auto total = base::CheckedMul<std::size_t>(stride, std::size_t(height));
    // A stride that does not fit a LONG cannot be reported through BITMAP either.
    if (stride == 0 || stride > 0x7FFFFFFFu || !total) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto bitmap = std::make_unique<TBitmapObj>();
    bitmap->Storage = AllocatePixels(*total);
    if (!bitmap->Storage)
        return nullptr;
    bitmap->Bits = bitmap->Storage.get();
    bitmap->Width = width;
    bitmap->Height = height;
    bitmap->BitsPixel = WORD(bitsPixel);
    bitmap->Stride = LONG(stride);
    bitmap->TopDown = true;
    if (bitsPixel == 16) {
        bitmap->Compression = BI_BITFIELDS;
        bitmap->Masks = {0xF800, 0x07E0, 0x001F};
    } else if (bitsPixel == 32) {
        bitmap->Masks = {0xFF0000, 0x00FF00, 0x0000FF};
    }
    return bitmap;
}

std::unique_ptr<TBitmapObj> NewScreenBitmap(LONG width, LONG height) {
    int depth = State().Screen.BitsPerPixel;
    auto bitmap = NewBitmap(width, height, depth);
    if (bitmap && depth == 1)
        bitmap->Mono = true;
    return bitmap;
}

std::unique_ptr<TBitmapObj> CloneBitmap(const TBitmapObj& source) {
    auto copy = std::make_unique<TBitmapObj>();
    copy->Storage = AllocatePixels(source.StorageSize());
    if (!copy->Storage)
        return nullptr;
    std::memcpy(copy->Storage.get(), source.Bits, source.StorageSize());
    copy->Bits = copy->Storage.get();
    copy->Width = source.Width;
    copy->Height = source.Height;
    copy->BitsPixel = source.BitsPixel;
    copy->Stride = source.Stride;
    copy->TopDown = source.TopDown;
    copy->IsDib = source.IsDib;
    copy->Mono = source.Mono;
    copy->Compression = source.Compression;
    copy->Masks = source.Masks;
    copy->ColorTable = source.ColorTable;
    copy->Header = source.Header;
    return copy;
}

TBitmapObj* SurfaceOf(TDCObj& dc) {
    if (dc.IsMemory)
        return Lookup<TBitmapObj>(dc.Bitmap);
    TState& state = State();
    if (auto* surface = static_cast<TBitmapObj*>(Find(state.ScreenSurface)))
        return surface;
    auto surface = NewScreenBitmap(state.Screen.Width, state.Screen.Height);
    if (!surface)
        return nullptr;
    surface->Stock = true;
    TBitmapObj* raw = surface.get();
    state.ScreenSurface = static_cast<HBITMAP>(Register(std::move(surface)));
    return state.ScreenSurface ? raw : nullptr;
}

}  // namespace gdi::detail

namespace gdi {

using namespace detail;

void SetScreen(const TScreenSettings& settings) {
    TLock lock(LayerMutex());
    TState& state = State();
    state.Screen = settings;
    ResetSystemPalette(state);
    if (state.ScreenSurface) {
        Unregister(state.ScreenSurface);
        state.ScreenSurface = nullptr;
    }
}

TScreenSettings GetScreen() {
    TLock lock(LayerMutex());
    return State().Screen;
}

// The cap is read by every reader of every thread, and needs no other state: it is kept apart
// from the layer's lock.
namespace {
std::atomic<std::size_t> gStorageCap{kDefaultBitmapStorageCap};
}  // namespace

void SetBitmapStorageCap(std::size_t bytes) { gStorageCap.store(bytes, std::memory_order_relaxed); }

std::size_t GetBitmapStorageCap() { return gStorageCap.load(std::memory_order_relaxed); }

bool detail::RefuseStorage() noexcept {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

bool StorageAllowed(std::size_t bytes) noexcept {
    return bytes <= GetBitmapStorageCap() || detail::RefuseStorage();
}

bool StorageAllowed(std::initializer_list<std::size_t> blocks) noexcept {
    std::size_t total = 0;
    for (std::size_t block : blocks) {
        if (__builtin_add_overflow(total, block, &total))
            return detail::RefuseStorage();
    }
    return StorageAllowed(total);
}

bool StorageAllowed(std::size_t count, std::size_t size) noexcept {
    std::size_t total = 0;
    if (__builtin_mul_overflow(count, size, &total))
        return detail::RefuseStorage();
    return StorageAllowed(total);
}

std::unique_ptr<std::uint8_t[]> AllocateStorage(std::size_t bytes) noexcept {
    if (!StorageAllowed(bytes))
        return nullptr;
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[bytes == 0 ? 1 : bytes]());
    if (block == nullptr)
        detail::RefuseStorage();
    return block;
}

}  // namespace gdi
