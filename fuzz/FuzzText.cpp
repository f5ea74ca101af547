// Feeds the raster layer's text calls untrusted strings: file names read from a folder reach the
// file list's row drawing as they are, in any byte sequence. The first eight bytes choose the
// font, the surface and the call's options; the rest is the string, in a buffer of exactly its
// size so that any read past the given count is caught.
#include "platform/gdi/Gdi.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace gdi;

namespace {

constexpr const char* kFaces[] = {"ＭＳ Ｐゴシック", "DejaVu Sans", "", "Courier", "@ＭＳ ゴシック", "no such face"};
constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};
constexpr int kWidth = 64;
constexpr int kHeight = 32;

HBITMAP MakeSurface(int bpp) {
    std::vector<BYTE> memory(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* info = reinterpret_cast<BITMAPINFO*>(memory.data());
    info->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, WORD(bpp), BI_RGB, 0, 0, 0, 0, 0};
    if (bpp <= 8)
        for (int i = 0; i < (1 << bpp); ++i)
            info->bmiColors[i] = RGBQUAD{BYTE(i * 37), BYTE(i * 91), BYTE(i * 53), 0};
    void* bits = nullptr;
    return CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8)
        return 0;
    LOGFONTA log{};
    // Heights stay small enough for quick inputs; the cap on large ones is tested elsewhere.
    log.lfHeight = std::int8_t(data[0]) * 2;
    log.lfWidth = (data[1] & 0x80) ? (data[1] & 0x3F) : 0;
    log.lfWeight = LONG(data[4] & 0x0F) * 100;
    log.lfItalic = data[4] & 0x10;
    log.lfUnderline = data[4] & 0x20;
    log.lfStrikeOut = data[4] & 0x40;
    log.lfCharSet = (data[4] & 0x80) ? SHIFTJIS_CHARSET : DEFAULT_CHARSET;
    log.lfPitchAndFamily = BYTE(data[1] & 0x33);
    std::strncpy(log.lfFaceName, kFaces[data[5] % std::size(kFaces)], LF_FACESIZE - 1);

    const std::vector<char> text(data + 8, data + size);
    std::vector<INT> advances(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        advances[i] = std::int8_t(text[i]);

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = MakeSurface(kDepths[data[6] % std::size(kDepths)]);
    HFONT font = CreateFontIndirectA(&log);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextAlign(dc, data[2]);
    SetBkMode(dc, (data[3] & 0x08) ? OPAQUE : TRANSPARENT);
    SetTextColor(dc, RGB(data[7], BYTE(data[7] * 3), BYTE(data[7] * 7)));

    SIZE extent{};
    GetTextExtentPoint32A(dc, text.data(), int(text.size()), &extent);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    const RECT rect{std::int8_t(data[1]), std::int8_t(data[2]), std::int8_t(data[3]) + kWidth / 2, kHeight};
    const int x = std::int8_t(data[7]) / 2, y = std::int8_t(data[3]) / 4;
    ExtTextOutA(dc, x, y, data[3] & (ETO_OPAQUE | ETO_CLIPPED), (data[3] & 0x01) ? &rect : nullptr, text.data(),
                UINT(text.size()), (data[3] & 0x10) ? advances.data() : nullptr);

    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return 0;
}
