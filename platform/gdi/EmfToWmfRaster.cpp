// GetWinMetaFileBits' records that the older format has no counterpart for and that no set of its
// records draws exactly: gradient fills and the transfers with transparency, masks or
// parallelograms. The layer draws each one into bitmaps covering its box, at the enhanced
// metafile's own resolution, and what it drew goes into the older metafile as device-independent
// bitmaps that every player stretches: a monochrome mask ANDed in, then the colours on black
// ORed in, so the rest of the box stays as it was.
#include "platform/gdi/EmfToWmf.h"

namespace gdi::detail {

namespace {

// The longest side of a rasterised record's bitmap: a box drawn larger is drawn coarser.
constexpr double kMaxRasterSide = 1024;

// A packed DIB of width × height, rows bottom-up, behind a header for bitCount bits per pixel
// (1: black and white).
std::vector<BYTE> NewDib(LONG width, LONG height, WORD bitCount, std::size_t& stride) {
    stride = (std::size_t(width) * bitCount + 31) / 32 * 4;
    const std::size_t table = bitCount == 1 ? 8 : 0;
    std::vector<BYTE> dib(sizeof(BITMAPINFOHEADER) + table + stride * std::size_t(height), 0);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = BI_RGB;
    header.biSizeImage = DWORD(stride * std::size_t(height));
    header.biClrUsed = bitCount == 1 ? 2 : 0;
    std::memcpy(dib.data(), &header, sizeof header);
    if (bitCount == 1)
        std::memset(dib.data() + sizeof header + 4, 0xFF, 3);  // the second entry white
    return dib;
}

// A memory context with two 32-bit DIB sections of the same size, one black and one white.
class TRasterPair {
public:
    TRasterPair(LONG width, LONG height) {
        BITMAPINFO info{};
        info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        FDc = CreateCompatibleDC(nullptr);
        if (FDc == nullptr)
            return;
        for (int i = 0; i < 2; ++i) {
            void* bits = nullptr;
            FBitmaps[i] = CreateDIBSection(FDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
            FBits[i] = static_cast<BYTE*>(bits);
            if (FBitmaps[i] == nullptr || bits == nullptr)
                return;
            std::memset(bits, i == 0 ? 0 : 0xFF, std::size_t(width) * std::size_t(height) * 4);
        }
        FOld = SelectObject(FDc, FBitmaps[0]);
        FReady = FOld != nullptr;
    }
    ~TRasterPair() {
        if (FOld != nullptr)
            SelectObject(FDc, FOld);
        for (HBITMAP bitmap : FBitmaps) {
            if (bitmap != nullptr)
                DeleteObject(bitmap);
        }
        if (FDc != nullptr)
            DeleteDC(FDc);
    }
    TRasterPair(const TRasterPair&) = delete;
    TRasterPair& operator=(const TRasterPair&) = delete;

    bool Ready() const { return FReady; }
    HDC Dc() const { return FDc; }
    void Select(int i) { SelectObject(FDc, FBitmaps[i]); }
    const BYTE* Bits(int i) const { return FBits[i]; }

private:
    HDC FDc = nullptr;
    HBITMAP FBitmaps[2]{};
    BYTE* FBits[2]{};
    HGDIOBJ FOld = nullptr;
    bool FReady = false;
};

}  // namespace

bool TEmfTranslator::PutStretchDib(DWORD rop, const std::vector<BYTE>& dib, LONG width, LONG height,
                                   const std::vector<int>& box) {
    std::vector<int> words;
    PushColour(words, rop);
    words.insert(words.end(), {int(DIB_RGB_COLORS), int(height), int(width), 0, 0});
    words.insert(words.end(), box.begin(), box.end());
    return FOut.Put(META_STRETCHDIB, words, dib.data(), dib.size());
}

bool TEmfTranslator::PutRaster(const std::vector<TPointF>& corners, const std::function<void(HDC)>& draw) {
    // The box the corners span in the older metafile's units, widened to whole units.
    double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;
    for (const TPointF& c : corners) {
        const double x = c.X * FMap.M11 + c.Y * FMap.M21 + FMap.Dx, y = c.X * FMap.M12 + c.Y * FMap.M22 + FMap.Dy;
        if (!std::isfinite(x) || !std::isfinite(y))
            return true;
        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    }
    auto whole = [](double v) { return std::clamp(v, -32768.0, 32767.0); };
    const double left = whole(std::floor(x0)), right = whole(std::ceil(x1));
    const double low = whole(std::floor(y0)), high = whole(std::ceil(y1));
    if (corners.empty() || right <= left || high <= low)
        return true;
    // The bitmap's first row is the top as the enhanced metafile's device sees it.
    const bool down = FDevice.M22 > 0;
    const double top = down ? low : high, bottom = down ? high : low;
    // Its pixels are the enhanced metafile's device pixels, within the limit a side.
    double width = std::max(1.0, std::ceil((right - left) / std::fabs(FDevice.M11) - 1e-6));
    double height = std::max(1.0, std::ceil((high - low) / std::fabs(FDevice.M22) - 1e-6));
    const double longest = std::max(width, height);
    if (longest > kMaxRasterSide) {
        width = std::max(1.0, std::floor(width * kMaxRasterSide / longest));
        height = std::max(1.0, std::floor(height * kMaxRasterSide / longest));
    }
    // Past the budget, a record takes what is left of it, or 64 × 64 pixels' worth.
    const double allowed = double(std::max<std::size_t>(FRasterPixels, 64 * 64));
    if (width * height > allowed) {
        const double shrink = std::sqrt(allowed / (width * height));
        width = std::max(1.0, std::floor(width * shrink));
        height = std::max(1.0, std::floor(height * shrink));
    }
    const LONG w = LONG(width), h = LONG(height);
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    FRasterPixels -= std::min(FRasterPixels, pixels);
    // Two drawings, a mask and the colours: a size the gate refuses leaves the record out.
    if (!StorageAllowed(pixels * 8) || !StorageAllowed(pixels * 3 + std::size_t(h) * 4))
        return true;
    const double sx = w / (right - left), sy = h / (bottom - top);
    const TAffine toBitmap = FMap.Then(TAffine{sx, 0, 0, sy, -left * sx, -top * sy});
    if (!toBitmap.FitsXform())
        return true;
    TRasterPair raster(w, h);
    if (!raster.Ready())
        return true;
    HDC dc = raster.Dc();
    const XFORM xform = toBitmap.ToXform();
    SetGraphicsMode(dc, GM_ADVANCED);
    if (!SetWorldTransform(dc, &xform))
        return true;
    SetStretchBltMode(dc, FState.StretchMode);
    SetTextColor(dc, FState.TextColour);
    SetBkColor(dc, FState.BkColour);
    // Drawn once on black and once on white: where the two agree the record painted opaquely,
    // where they differ by the whole range it left the background; between, the difference is
    // how much of the background shows through (1 − alpha), and the colour on black is the
    // record's colour times alpha. A pixel of alpha at least one half is drawn, opaque, in the
    // colour divided by alpha; the others are left out.
    draw(dc);
    raster.Select(1);
    draw(dc);
    std::size_t colourStride, maskStride;
    std::vector<BYTE> colour = NewDib(w, h, 24, colourStride), mask = NewDib(w, h, 1, maskStride);
    BYTE* colourBits = colour.data() + sizeof(BITMAPINFOHEADER);
    BYTE* maskBits = mask.data() + sizeof(BITMAPINFOHEADER) + 8;
    std::size_t covered = 0;
    for (LONG y = 0; y < h; ++y) {
        const std::size_t row = std::size_t(h - 1 - y);
        const BYTE* onBlack = raster.Bits(0) + std::size_t(y) * std::size_t(w) * 4;
        const BYTE* onWhite = raster.Bits(1) + std::size_t(y) * std::size_t(w) * 4;
        for (LONG x = 0; x < w; ++x, onBlack += 4, onWhite += 4) {
            int through = 0;
            for (int c = 0; c < 3; ++c)
                through = std::max(through, int(onWhite[c]) - int(onBlack[c]));
            if (through > 127) {
                maskBits[row * maskStride + std::size_t(x) / 8] |= BYTE(0x80 >> (x % 8));
                continue;
            }
            ++covered;
            const double alpha = 1 - through / 255.0;
            for (int c = 0; c < 3; ++c)
                colourBits[row * colourStride + std::size_t(x) * 3 + std::size_t(c)] =
                    BYTE(std::min(255.0, std::floor(onBlack[c] / alpha + 0.5)));
        }
    }
    if (covered == 0)
        return true;
    // The mask and the colours must be stretched alike: the player takes each one's centre pixel
    // rather than combining pixels while they are drawn.
    const std::vector<int> box{int(bottom - top), int(right - left), int(top), int(left)};
    const bool mode = FState.StretchMode != COLORONCOLOR;
    bool ok = !mode || FOut.Put(META_SETSTRETCHBLTMODE, {COLORONCOLOR});
    if (covered == pixels)
        ok = ok && PutStretchDib(SRCCOPY, colour, w, h, box);
    else
        ok = ok && PutStretchDib(SRCAND, mask, w, h, box) && PutStretchDib(SRCPAINT, colour, w, h, box);
    return ok && (!mode || FOut.Put(META_SETSTRETCHBLTMODE, {FState.StretchMode}));
}

bool TEmfTranslator::Rasterised(const TEmfRecord& record) {
    auto rectangle = [](double x, double y, double cx, double cy) {
        return std::vector<TPointF>{{x, y}, {x + cx, y}, {x, y + cy}, {x + cx, y + cy}};
    };
    switch (record.Type) {
    case EMR_GRADIENTFILL: {
        EMRGRADIENTFILL r;
        std::vector<detail::TRIVERTEX> read;
        std::vector<DWORD> indices;
        if (!ReadGradient(record, r, read, indices))
            return false;
        if (indices.empty())
            return true;
        std::vector<TPointF> corners;
        for (DWORD i : indices)
            corners.push_back(TPointF{double(read[i].x), double(read[i].y)});
        return PutRaster(corners, [&](HDC dc) { DrawTransferRecord(dc, record); });
    }
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT: {
        EMRSTRETCHBLT r;
        TEmfDib dib;
        if (!ReadFixed(record, r))
            return false;
        const EMRBITBLT& b = r.blt;
        if (!ReadDib(record, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc, dib))
            return false;
        int source[4];
        if (dib.Empty() || !EmfSourceRect(b.xformSrc, b.xSrc, b.ySrc, r.cxSrc, r.cySrc, source))
            return true;
        BLENDFUNCTION blend;
        std::memcpy(&blend, &b.dwRop, sizeof blend);
        const BITMAPINFOHEADER& h = dib.Header()->bmiHeader;
        const LONG rows = h.biHeight < 0 ? -h.biHeight : h.biHeight;
        // An opaque blend of a bitmap without alpha is a plain copy, which the older records
        // stretch at the player's own resolution.
        if (record.Type == EMR_ALPHABLEND && blend.BlendOp == AC_SRC_OVER && blend.SourceConstantAlpha == 255 &&
            (blend.AlphaFormat & AC_SRC_ALPHA) == 0 && h.biBitCount > 8 && b.cxDest > 0 && b.cyDest > 0 &&
            source[2] > 0 && source[3] > 0 && source[0] >= 0 && source[1] >= 0 && source[0] + source[2] <= h.biWidth &&
            source[1] + source[3] <= rows) {
            const std::vector<BYTE> packed = PackDib(record, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc,
                                                     DIB_RGB_COLORS);
            if (packed.empty())
                return true;
            std::vector<int> words;
            PushColour(words, SRCCOPY);
            words.insert(words.end(), {Clamp16(source[3]), Clamp16(source[2]), Clamp16(source[1]), Clamp16(source[0])});
            const POINT a = Map(b.xDest, b.yDest), c = Map(double(b.xDest) + b.cxDest, double(b.yDest) + b.cyDest);
            words.insert(words.end(), {c.y - a.y, c.x - a.x, a.y, a.x});
            // Blending stretches by the centre pixel, whatever the stretch mode.
            const bool mode = FState.StretchMode != COLORONCOLOR;
            return (!mode || FOut.Put(META_SETSTRETCHBLTMODE, {COLORONCOLOR})) &&
                   FOut.Put(META_DIBSTRETCHBLT, words, packed.data(), packed.size()) &&
                   (!mode || FOut.Put(META_SETSTRETCHBLTMODE, {FState.StretchMode}));
        }
        return PutRaster(rectangle(b.xDest, b.yDest, b.cxDest, b.cyDest),
                         [&](HDC dc) { DrawTransferRecord(dc, record); });
    }
    case EMR_MASKBLT: {
        // What a raster operation takes from the destination comes out of the two drawings as
        // coverage: the usual one (the source where the mask is set, the destination kept
        // elsewhere) is exact.
        EMRMASKBLT r;
        if (!ReadFixed(record, r))
            return false;
        const EMRBITBLT& b = r.blt;
        TEmfDib dib, mask;
        if (!ReadDib(record, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc, dib) ||
            !ReadDib(record, r.offBmiMask, r.cbBmiMask, r.offBitsMask, r.cbBitsMask, mask))
            return false;
        int source[4];
        if (!EmfSourceRect(b.xformSrc, b.xSrc, b.ySrc, b.cxDest, b.cyDest, source))
            return true;
        return PutRaster(rectangle(b.xDest, b.yDest, b.cxDest, b.cyDest),
                         [&](HDC dc) { DrawTransferRecord(dc, record); });
    }
    case EMR_PLGBLT: {
        EMRPLGBLT r;
        TEmfDib dib, mask;
        if (!ReadFixed(record, r) || !ReadDib(record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, dib) ||
            !ReadDib(record, r.offBmiMask, r.cbBmiMask, r.offBitsMask, r.cbBitsMask, mask))
            return false;
        int source[4];
        if (dib.Empty() || !EmfSourceRect(r.xformSrc, r.xSrc, r.ySrc, r.cxSrc, r.cySrc, source))
            return true;
        const POINT* p = r.aptlDest;
        const std::vector<TPointF> corners{{double(p[0].x), double(p[0].y)},
                                           {double(p[1].x), double(p[1].y)},
                                           {double(p[2].x), double(p[2].y)},
                                           {double(p[1].x) + p[2].x - p[0].x, double(p[1].y) + p[2].y - p[0].y}};
        return PutRaster(corners, [&](HDC dc) { DrawTransferRecord(dc, record); });
    }
    default: return true;
    }
}

}  // namespace gdi::detail
