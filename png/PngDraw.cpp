// Drawing a PNG image into a rectangle of a canvas: opaque, through a colour-key mask, or
// blended pixel by pixel with its alpha against what the destination already shows.
#include "png/PngImage.h"

#include "platform/gdi/Handles.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace png {

using graphics::TCanvas;
using graphics::TRect;

namespace {

inline std::uint8_t Blend(unsigned s, unsigned d, unsigned a) {
    // The shift stands in for a division by 255; the added 255 makes a = 0 give d and a = 255
    // give s exactly.
    return std::uint8_t((s * a + d * (255 - a) + 255) >> 8);
}

/// The source column or row of each destination one. The factor is rounded to a double first
/// and the division done in extended precision, so a position that is whole in exact arithmetic
/// can land one lower, as the point sampling has always done.
std::vector<std::uint32_t> SourceIndices(std::uint32_t destination, std::uint32_t source, bool stretch,
                                         double factor) {
    std::vector<std::uint32_t> indices(destination);
    for (std::uint32_t i = 0; i < destination; ++i) {
        const std::uint32_t index =
            stretch ? std::uint32_t(static_cast<long double>(i) / static_cast<long double>(factor)) : i;
        indices[i] = std::min(index, source - 1);
    }
    return indices;
}

}  // namespace

void TPNGObject::Draw(TCanvas& canvas, const TRect& rect) {
    if (ChunkList.Count() == 0)
        return;
    auto* header = dynamic_cast<TChunkIHDR*>(ChunkList.Chunk(0));
    if (header == nullptr)
        throw EInvalidCast(base::LoadStr(res::SInvalidCast));
    // A header whose storage could not be made has nothing to show.
    if (header->ColorPlane() == nullptr)
        return;
    switch (TransparencyMode()) {
    case TPngTransparencyMode::ptmBit:
        DrawColorKeyed(canvas, rect, *header);
        break;
    case TPngTransparencyMode::ptmPartial:
        DrawBlended(canvas, rect);
        break;
    case TPngTransparencyMode::ptmNone:
        DrawOpaque(canvas, rect, *header);
        break;
    }
}

void TPNGObject::DrawOpaque(TCanvas& canvas, const TRect& rect, TChunkIHDR& header) {
    HDC dc = canvas.Handle();
    gdi::SetStretchBltMode(dc, gdi::COLORONCOLOR);
    gdi::StretchDIBits(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0, 0,
                       int(header.Width()), int(header.Height()), header.ColorPlane(), header.BitmapInfo().Info(),
                       gdi::DIB_RGB_COLORS, gdi::SRCCOPY);
}

void TPNGObject::DrawColorKeyed(TCanvas& canvas, const TRect& rect, TChunkIHDR& header) {
    const gdi::COLORREF key = graphics::ColorToRGB(TransparentColor());
    HDC dc = canvas.Handle();
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    const gdi::BITMAPINFOHEADER& info = header.BitmapInfo().bmiHeader;
    const int sw = std::abs(info.biWidth);
    const int sh = std::abs(info.biHeight);

    // Each context is declared before its bitmap and the bitmap before its selection, so every
    // bitmap is selected out before it is deleted and its context goes last.
    gdi::TOwnedDC source(gdi::CreateCompatibleDC(dc));
    gdi::TOwnedBitmap sourceBitmap(gdi::CreateDIBitmap(dc, &info, gdi::CBM_INIT, header.ColorPlane(),
                                                       header.BitmapInfo().Info(), gdi::DIB_RGB_COLORS));
    gdi::TSelection sourceSelected = gdi::ScopedSelectObject(source.Get(), sourceBitmap.Get());
    gdi::TOwnedDC mask(gdi::CreateCompatibleDC(dc));
    gdi::TOwnedBitmap maskBitmap(gdi::CreateBitmap(w, h, 1, 1, nullptr));
    gdi::TSelection maskSelected = gdi::ScopedSelectObject(mask.Get(), maskBitmap.Get());
    gdi::TOwnedDC inverseMask(gdi::CreateCompatibleDC(dc));
    gdi::TOwnedBitmap inverseMaskBitmap(gdi::CreateBitmap(w, h, 1, 1, nullptr));
    gdi::TSelection inverseMaskSelected = gdi::ScopedSelectObject(inverseMask.Get(), inverseMaskBitmap.Get());
    gdi::TOwnedDC work(gdi::CreateCompatibleDC(dc));
    gdi::TOwnedBitmap workBitmap(gdi::CreateCompatibleBitmap(dc, w, h));
    gdi::TSelection workSelected = gdi::ScopedSelectObject(work.Get(), workBitmap.Get());

    // A context or bitmap that could not be made (a reversed or empty rectangle among other
    // causes) would leave a context drawing from its default one-pixel bitmap; draw nothing.
    if (!sourceSelected || !maskSelected || !inverseMaskSelected || !workSelected)
        return;

    const gdi::COLORREF previous = gdi::SetBkColor(source.Get(), key);
    gdi::StretchBlt(mask.Get(), 0, 0, w, h, source.Get(), 0, 0, sw, sh, gdi::SRCCOPY);
    gdi::SetBkColor(source.Get(), previous);
    gdi::BitBlt(inverseMask.Get(), 0, 0, w, h, mask.Get(), 0, 0, gdi::NOTSRCCOPY);
    gdi::BitBlt(work.Get(), 0, 0, w, h, dc, rect.left, rect.top, gdi::SRCCOPY);
    gdi::BitBlt(work.Get(), 0, 0, w, h, mask.Get(), 0, 0, gdi::SRCAND);
    gdi::StretchBlt(source.Get(), 0, 0, sw, sh, inverseMask.Get(), 0, 0, w, h, gdi::SRCAND);
    gdi::StretchBlt(work.Get(), 0, 0, w, h, source.Get(), 0, 0, sw, sh, gdi::SRCPAINT);
    gdi::BitBlt(dc, rect.left, rect.top, w, h, work.Get(), 0, 0, gdi::SRCCOPY);
}

void TPNGObject::DrawBlended(TCanvas& canvas, const TRect& rect) {
    if (rect.right == rect.left || rect.bottom == rect.top)
        return;
    TRect area = rect;
    if (area.right < area.left)
        std::swap(area.left, area.right);
    if (area.bottom < area.top)
        std::swap(area.top, area.bottom);
    const auto w = std::uint32_t(std::int64_t(area.right) - area.left);
    const auto h = std::uint32_t(std::int64_t(area.bottom) - area.top);

    TChunkIHDR& header = RequireHeader();
    const std::uint32_t width = header.Width();
    const std::uint32_t height = header.Height();
    const bool stretch = w != width || h != height;
    const double factorX = stretch ? double(w) / double(width) : 1.0;
    const double factorY = stretch ? double(h) / double(height) : 1.0;

    HDC dc = canvas.Handle();
    gdi::TOwnedDC buffer(gdi::CreateCompatibleDC(nullptr));
    if (!buffer)
        RaisePngError<EPNGOutMemory>(res::SPngOutMemory);
    gdi::BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(gdi::BITMAPINFOHEADER);
    info.bmiHeader.biWidth = gdi::LONG(w);
    info.bmiHeader.biHeight = -gdi::LONG(h);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = gdi::BI_RGB;
    void* bits = nullptr;
    gdi::TOwnedBitmap section(gdi::CreateDIBSection(buffer.Get(), &info, gdi::DIB_RGB_COLORS, &bits, nullptr, 0));
    gdi::TSelection sectionSelected = gdi::ScopedSelectObject(buffer.Get(), section.Get());
    if (!section || bits == nullptr)
        RaisePngError<EPNGOutMemory>(res::SPngOutMemory);
    gdi::BitBlt(buffer.Get(), 0, 0, int(w), int(h), dc, area.left, area.top, gdi::SRCCOPY);

    const std::vector<std::uint32_t> columns = SourceIndices(w, width, stretch, factorX);
    const std::vector<std::uint32_t> rows = SourceIndices(h, height, stretch, factorY);
    auto* out = static_cast<std::uint8_t*>(bits);
    const std::uint8_t* alphaPlane = header.AlphaPlane();
    const gdi::WORD bitCount = header.BitmapInfo().bmiHeader.biBitCount;

    if (bitCount == 24 && alphaPlane != nullptr) {
        for (std::uint32_t r = 0; r < h; ++r) {
            const std::uint8_t* source = header.ColorRow(rows[r]);
            const std::uint8_t* alpha = alphaPlane + std::size_t(rows[r]) * width;
            std::uint8_t* d = out + std::size_t(r) * w * 4;
            for (std::uint32_t i = 0; i < w; ++i, d += 4) {
                const std::uint32_t i2 = columns[i];
                const unsigned a = alpha[i2];
                if (a == 0)
                    continue;
                const std::uint8_t* s = source + std::size_t(i2) * 3;
                if (a == 255) {
                    d[0] = s[0];
                    d[1] = s[1];
                    d[2] = s[2];
                    continue;
                }
                d[2] = Blend(s[2], d[2], a);
                d[1] = Blend(s[1], d[1], a);
                d[0] = Blend(s[0], d[0], a);
            }
        }
    } else if ((bitCount == 1 || bitCount == 4 || bitCount == 8) && header.ColorType() == kColorGrayAlpha &&
               alphaPlane != nullptr) {
        for (std::uint32_t r = 0; r < h; ++r) {
            const std::uint8_t* source = header.ColorRow(rows[r]);
            const std::uint8_t* alpha = alphaPlane + std::size_t(rows[r]) * width;
            std::uint8_t* d = out + std::size_t(r) * w * 4;
            for (std::uint32_t i = 0; i < w; ++i, d += 4) {
                const std::uint32_t i2 = columns[i];
                const unsigned s = source[i2];
                const unsigned a = alpha[i2];
                d[2] = Blend(s, d[2], a);
                d[1] = Blend(s, d[1], a);
                d[0] = Blend(s, d[0], a);
            }
        }
    } else if (bitCount == 1 || bitCount == 4 || bitCount == 8) {
        const TChunktRNS* transparency = ChunkList.FindByClass<TChunktRNS>();
        const TChunkPLTE* palette = ChunkList.FindByClass<TChunkPLTE>();
        const int entries = palette != nullptr ? std::clamp(palette->EntryCount, 0, 256) : 0;
        // The palette's colours are looked up once; an index beyond them fails as the palette
        // chunk says when the first such pixel is met.
        std::uint32_t colors[256] = {};
        for (int k = 0; k < entries; ++k)
            colors[k] = palette->PaletteEntryColor(k);
        for (std::uint32_t r = 0; r < h; ++r) {
            const std::uint8_t* source = header.ColorRow(rows[r]);
            std::uint8_t* d = out + std::size_t(r) * w * 4;
            for (std::uint32_t i = 0; i < w; ++i, d += 4) {
                const std::uint32_t i2 = columns[i];
                unsigned index;
                if (bitCount == 1)
                    index = (source[i2 >> 3] >> (7 - (i2 & 7))) & 1;
                else if (bitCount == 4)
                    index = (source[i2 >> 1] >> ((1 - (i2 & 1)) * 4)) & 0x0F;
                else
                    index = source[i2];
                if (int(index) >= entries) {
                    if (palette == nullptr)
                        RaisePngError<EPngError>(res::SPngNoSuchPaletteEntry);
                    palette->PaletteEntryColor(int(index));
                }
                const unsigned a = transparency != nullptr ? transparency->AlphaTable[index] : 255;
                const std::uint32_t bgr = colors[index];
                d[2] = Blend((bgr >> 16) & 0xFF, d[2], a);
                d[1] = Blend((bgr >> 8) & 0xFF, d[1], a);
                d[0] = Blend(bgr & 0xFF, d[0], a);
            }
        }
    }

    gdi::BitBlt(dc, area.left, area.top, int(w), int(h), buffer.Get(), 0, 0, gdi::SRCCOPY);
}

}  // namespace png
