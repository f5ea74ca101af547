// Feeds the raster layer's DIB calls a raw BITMAPINFO (header, then colour table or masks)
// followed by pixel bytes, as the BMP and icon readers pass what they read from a file without
// checking it first, and as metafile records hand them to StretchDIBits, SetDIBitsToDevice and
// the DIB pattern brushes; the drawing calls that take counts and colours from records
// (GradientFill, AlphaBlend, TransparentBlt, PlgBlt, ExtFloodFill) draw with what it made. The target keeps the caller's side of each call's contract, so that every
// fault it finds is the layer's: the header block and the pixels are in buffers of exactly the
// size the header implies, and a compressed image's biSizeImage is the number of bytes present.
#include "platform/gdi/Gdi.h"
#include "platform/gdi/Screen.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

using namespace gdi;

namespace {

// Hostile sizes must fail at the cap instead of allocating; a small cap also keeps one input quick.
constexpr std::size_t kStorageCap = std::size_t(4) << 20;
// Uncompressed inputs implying more pixel bytes than the cap are skipped: they are refused before
// their pixels are looked at, so the target would only spend its time copying zeros.
constexpr std::uint64_t kMaxImpliedBits = kStorageCap;
// GetDIBits reads back at most this many pixels of one bitmap.
constexpr std::uint64_t kMaxReadPixels = std::uint64_t(1) << 20;

struct TInput {
    std::vector<BYTE> Info;  // exactly the header block's size
    std::vector<BYTE> Bits;  // exactly the pixel bytes the header implies (or the stream's size)
    UINT Usage = DIB_RGB_COLORS;
};

bool IsKnownHeader(DWORD size) {
    switch (size) {
    case 12: case 40: case 52: case 56: case 108: case 124: return true;
    default: return false;
    }
}

std::optional<TInput> Split(const BYTE* data, std::size_t size) {
    if (size < 4)
        return std::nullopt;
    DWORD headerSize;
    std::memcpy(&headerSize, data, 4);
    TInput input;
    std::uint64_t infoSize = 40;
    std::int64_t width = 0, height = 0;
    unsigned bits = 0;
    DWORD compression = BI_RGB;
    if (IsKnownHeader(headerSize)) {
        BITMAPINFOHEADER header{};
        BITMAPCOREHEADER core{};
        if (headerSize == 12) {
            std::memcpy(&core, data, std::min<std::size_t>(size, sizeof core));
            width = core.bcWidth, height = core.bcHeight, bits = core.bcBitCount;
        } else {
            std::memcpy(&header, data, std::min<std::size_t>(size, sizeof header));
            width = header.biWidth, height = header.biHeight, bits = header.biBitCount;
            compression = header.biCompression;
            // A bit nothing else reads chooses indices into the context's palette.
            if (header.biXPelsPerMeter & 0x100)
                input.Usage = DIB_PAL_COLORS;
        }
        std::uint64_t entries = 0;
        if (bits <= 8) {
            entries = std::uint64_t(1) << bits;
            if (headerSize != 12 && header.biClrUsed != 0)
                entries = std::min<std::uint64_t>(entries, header.biClrUsed);
        }
        infoSize = headerSize + entries * (headerSize == 12 ? 3 : 4);
        if (headerSize == 40 && compression == BI_BITFIELDS)
            infoSize += 12;
    }
    input.Info.assign(infoSize, 0);
    std::memcpy(input.Info.data(), data, std::min<std::uint64_t>(size, infoSize));
    const BYTE* tail = data + std::min<std::uint64_t>(size, infoSize);
    const std::size_t tailSize = size - std::size_t(tail - data);

    if (compression == BI_RLE8 || compression == BI_RLE4) {
        input.Bits.assign(tail, tail + tailSize);
        DWORD present = DWORD(tailSize);
        std::memcpy(input.Info.data() + offsetof(BITMAPINFOHEADER, biSizeImage), &present, 4);
        return input;
    }
    std::uint64_t implied = tailSize;
    if (width > 0 && height != 0 && bits > 0 && bits <= 32) {
        std::uint64_t stride = (std::uint64_t(width) * bits + 31) / 32 * 4;
        std::uint64_t rows = std::uint64_t(height < 0 ? -height : height);
        if (stride > kMaxImpliedBits || rows > kMaxImpliedBits || stride * rows > kMaxImpliedBits)
            return std::nullopt;
        implied = stride * rows;
    }
    input.Bits.assign(std::size_t(implied), 0);
    if (!input.Bits.empty() && tailSize > 0)
        std::memcpy(input.Bits.data(), tail, std::min<std::uint64_t>(tailSize, implied));
    return input;
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void ReadBack(HDC dc, HBITMAP bitmap) {
    BITMAP info{};
    Check(GetObjectA(bitmap, sizeof info, &info) == int(sizeof info));
    Check(info.bmWidth > 0 && info.bmHeight > 0);
    if (std::uint64_t(info.bmWidth) > kMaxReadPixels)
        return;
    const UINT lines = UINT(std::min<std::uint64_t>(info.bmHeight, kMaxReadPixels / std::uint64_t(info.bmWidth)));
    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    request.bmiHeader.biWidth = info.bmWidth;
    request.bmiHeader.biHeight = info.bmHeight;
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    std::vector<DWORD> pixels(std::size_t(info.bmWidth) * lines);
    Check(GetDIBits(dc, bitmap, 0, lines, pixels.data(), &request, DIB_RGB_COLORS) == int(lines));
}

// The record-driven drawing calls on a small surface. Values the calls take from records come
// from the input's last bytes.
void DrawWith(HDC screen, BITMAPINFO* info, const BITMAPINFOHEADER* header, const BYTE* bits, const TInput& input,
              const BYTE* data, std::size_t size) {
    BITMAPINFO target{};
    target.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* surfaceBits = nullptr;
    HBITMAP surface = CreateDIBSection(screen, &target, DIB_RGB_COLORS, &surfaceBits, nullptr, 0);
    Check(surface != nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, surface);
    const auto byte = [&](std::size_t back) { return size > back ? int(data[size - 1 - back]) : 0; };
    const int sw = byte(0) - 8, sh = byte(1) - 8;
    SetStretchBltMode(dc, 1 + byte(2) % 4);
    StretchDIBits(dc, byte(3) % 20 - 2, 0, 16 - byte(4) % 32, 16, byte(5) % 8 - 2, byte(6) % 8 - 2, sw, sh, bits, info,
                  input.Usage, SRCCOPY);
    const LONG height = header->biSize == 12 ? 0 : header->biHeight;
    const UINT lines = UINT(height < 0 ? -(long long)height : height);
    SetDIBitsToDevice(dc, 0, 0, 16, 16, byte(5) % 8, byte(6) % 8, UINT(byte(7) % 4), lines, bits, info, input.Usage);

    // The packed form: header, table (and a direct-colour image's optional table), bits.
    std::vector<BYTE> packed(input.Info);
    if (header->biSize != 12 && header->biBitCount > 8 && header->biClrUsed <= 256)
        packed.resize(packed.size() + std::size_t(header->biClrUsed) * 4, 0);
    packed.insert(packed.end(), input.Bits.begin(), input.Bits.end());
    std::unique_ptr<BYTE[]> exact(new BYTE[packed.size()]);
    std::memcpy(exact.get(), packed.data(), packed.size());
    if (HBRUSH brush = CreateDIBPatternBrushPt(exact.get(), input.Usage)) {
        HGDIOBJ previous = SelectObject(dc, brush);
        SetBrushOrgEx(dc, byte(8) % 9, byte(9) % 9, nullptr);
        PatBlt(dc, 0, 0, 16, 16, PATINVERT);
        ExtFloodFill(dc, byte(10) % 16, byte(11) % 16, 0, UINT(byte(12) & 1));
        SelectObject(dc, previous);
        Check(DeleteObject(brush));
    }

    TRIVERTEX vertices[3];
    for (int i = 0; i < 3; ++i)
        vertices[i] = TRIVERTEX{byte(13 + i) % 40 - 12, byte(16 + i) % 40 - 12, COLOR16(byte(19 + i) << 8),
                                COLOR16(byte(22 + i) << 8), 0x8000, 0};
    const GRADIENT_TRIANGLE triangle{std::uint32_t(byte(25) % 4), 1, 2};
    GradientFill(dc, vertices, 3, &triangle, 1, std::uint32_t(byte(26) % 4));
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, BYTE(byte(27)), BYTE(byte(28) & 1)};
    void* sourceBits = nullptr;
    if (HBITMAP source = CreateDIBSection(screen, info, input.Usage, &sourceBits, nullptr, 0)) {
        HDC from = CreateCompatibleDC(screen);
        HGDIOBJ previous = SelectObject(from, source);
        AlphaBlend(dc, 0, 0, 16, 16, from, 0, 0, byte(29) % 8 + 1, byte(30) % 8 + 1, blend);
        TransparentBlt(dc, 1, 1, 14, 14, from, 0, 0, byte(29) % 8 + 1, byte(30) % 8 + 1, UINT(byte(31) * 0x10101));
        const POINT corners[3] = {{byte(32) % 20 - 2, byte(33) % 20 - 2}, {byte(34) % 20 - 2, byte(35) % 20 - 2},
                                  {byte(36) % 20 - 2, byte(37) % 20 - 2}};
        PlgBlt(dc, corners, from, 0, 0, byte(29) % 8 + 1, byte(30) % 8 + 1, nullptr, 0, 0);
        SelectObject(from, previous);
        DeleteDC(from);
        Check(DeleteObject(source));
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    Check(DeleteObject(surface));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::size_t baseline = [] {
        SetBitmapStorageCap(kStorageCap);
        return LiveObjectCount();
    }();
    std::optional<TInput> input = Split(data, size);
    if (!input)
        return 0;
    // Exactly-sized heap copies, so that a read past either end is caught.
    std::unique_ptr<BYTE[]> info(new BYTE[input->Info.size()]);
    std::memcpy(info.get(), input->Info.data(), input->Info.size());
    std::unique_ptr<BYTE[]> bits(new BYTE[std::max<std::size_t>(input->Bits.size(), 1)]);
    // An empty vector may hand out no address at all; memcpy must never see one.
    if (!input->Bits.empty())
        std::memcpy(bits.get(), input->Bits.data(), input->Bits.size());
    auto* bitmapInfo = reinterpret_cast<BITMAPINFO*>(info.get());
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.get());

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    std::vector<HBITMAP> made;

    void* sectionBits = nullptr;
    HBITMAP section = CreateDIBSection(screen, bitmapInfo, input->Usage, &sectionBits, nullptr, 0);
    Check((section == nullptr) == (sectionBits == nullptr));
    if (section != nullptr) {
        DIBSECTION ds{};
        Check(GetObjectA(section, sizeof ds, &ds) == int(sizeof ds));
        // The reader fills the section with the file's pixels.
        const std::size_t room = std::size_t(ds.dsBm.bmWidthBytes) * std::size_t(ds.dsBm.bmHeight);
        std::memcpy(sectionBits, bits.get(), std::min(room, input->Bits.size()));
        ReadBack(screen, section);
        made.push_back(section);
        HGDIOBJ old = SelectObject(memory, section);
        if (HBITMAP copy = CreateDIBitmap(memory, header, CBM_INIT, bits.get(), bitmapInfo, input->Usage))
            made.push_back(copy);
        SelectObject(memory, old);
    }
    for (HDC dc : {screen, memory}) {
        if (HBITMAP bitmap = CreateDIBitmap(dc, header, CBM_INIT, bits.get(), bitmapInfo, input->Usage)) {
            ReadBack(screen, bitmap);
            made.push_back(bitmap);
        }
    }
    // A small target, so that larger images are clipped.
    if (HBITMAP small = CreateBitmap(16, 16, 1, 32, nullptr)) {
        SetDIBits(memory, small, 0, 16, bits.get(), bitmapInfo, input->Usage);
        made.push_back(small);
    }
    DrawWith(screen, bitmapInfo, header, bits.get(), *input, data, size);
    for (HBITMAP bitmap : made)
        Check(DeleteObject(bitmap));
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    Check(LiveObjectCount() == baseline);
    return 0;
}
