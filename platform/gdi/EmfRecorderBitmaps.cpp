// The enhanced-metafile recorder's text, transfers, DIB calls and gradients, and the packed DIBs
// both recorders carry.
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/EmfRecorder.h"
#include "platform/gdi/RasterOp.h"

#include <climits>

namespace gdi::detail {

// A bitmap as a packed DIB, bottom-up: 1 bit with the two colours given for a monochrome bitmap
// (or the section's own table), 32 bits for every other depth. Empty when the gate refuses it.
std::vector<BYTE> PackedDib(const TBitmapObj& bitmap, COLORREF zero, COLORREF one, std::size_t& infoBytes) {
    const bool mono = bitmap.BitsPixel == 1;
    const int bits = mono ? 1 : 32;
    const std::size_t stride = DibStride(bitmap.Width, bits);
    infoBytes = sizeof(BITMAPINFOHEADER) + (mono ? 2 * sizeof(RGBQUAD) : 0);
    std::vector<BYTE> packed;
    if (stride == 0 || !StorageAllowed(std::size_t(bitmap.Height), stride) ||
        !ResizeStorage(packed, infoBytes + stride * std::size_t(bitmap.Height)))
        return {};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = bitmap.Width;
    header.biHeight = bitmap.Height;
    header.biPlanes = 1;
    header.biBitCount = WORD(bits);
    header.biCompression = BI_RGB;
    header.biSizeImage = DWORD(stride * std::size_t(bitmap.Height));
    std::memcpy(packed.data(), &header, sizeof header);
    BYTE* out = packed.data() + infoBytes;
    if (mono) {
        if (bitmap.IsDib && bitmap.ColorTable.size() >= 2) {
            std::memcpy(packed.data() + sizeof header, bitmap.ColorTable.data(), 2 * sizeof(RGBQUAD));
        } else {
            const RGBQUAD table[2] = {{GetBValue(zero), GetGValue(zero), GetRValue(zero), 0},
                                      {GetBValue(one), GetGValue(one), GetRValue(one), 0}};
            std::memcpy(packed.data() + sizeof header, table, sizeof table);
        }
        for (LONG y = 0; y < bitmap.Height; ++y)
            std::memcpy(out + std::size_t(bitmap.Height - 1 - y) * stride, bitmap.Row(y), (std::size_t(bitmap.Width) + 7) / 8);
        return packed;
    }
    const TFormat format(bitmap);
    // 32-bit pixels in the blue, green, red order keep their fourth byte, which AlphaBlend reads.
    const bool plain = bitmap.BitsPixel == 32 &&
                       (bitmap.Compression == BI_RGB ||
                        (bitmap.Masks[0] == 0xFF0000 && bitmap.Masks[1] == 0xFF00 && bitmap.Masks[2] == 0xFF));
    for (LONG y = 0; y < bitmap.Height; ++y) {
        const BYTE* row = bitmap.Row(y);
        if (plain) {
            std::memcpy(out + std::size_t(bitmap.Height - 1 - y) * stride, row, std::size_t(bitmap.Width) * 4);
            continue;
        }
        BYTE* to = out + std::size_t(bitmap.Height - 1 - y) * stride;
        for (LONG x = 0; x < bitmap.Width; ++x, to += 4) {
            const COLORREF c = format.Decode(ReadPixel(row, x, bitmap.BitsPixel));
            to[0] = GetBValue(c), to[1] = GetGValue(c), to[2] = GetRValue(c), to[3] = 0;
        }
    }
    return packed;
}

// Bytes of a BITMAPINFO as a DIB call reads it: the header, the masks of a 40-byte BI_BITFIELDS
// header and the colour table (16-bit indices for DIB_PAL_COLORS). 0 for a header not read.
std::size_t InfoBytes(const BITMAPINFO* info, UINT usage) {
    const DWORD size = info->bmiHeader.biSize;
    if (size == sizeof(BITMAPCOREHEADER)) {
        const auto* core = reinterpret_cast<const BITMAPCOREHEADER*>(info);
        const std::size_t colours = core->bcBitCount <= 8 ? (std::size_t(1) << core->bcBitCount) : 0;
        return size + colours * (usage == DIB_PAL_COLORS ? 2 : 3);
    }
    if (size < sizeof(BITMAPINFOHEADER) || size > 1024)
        return 0;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    std::size_t colours = h.biClrUsed;
    if (h.biBitCount <= 8)
        colours = colours == 0 || colours > (std::size_t(1) << h.biBitCount) ? (std::size_t(1) << h.biBitCount) : colours;
    else if (colours > 256)
        colours = 0;
    const std::size_t masks = size == sizeof(BITMAPINFOHEADER) && h.biCompression == BI_BITFIELDS ? 12 : 0;
    return size + masks + colours * (usage == DIB_PAL_COLORS ? 2 : 4);
}

bool RecordText(TDCObj& dc, int x, int y, UINT options, const RECT* rect, const WCHAR* text, UINT count,
                const INT* dx) {
    if (RecordsWindows(dc))
        return wmf::RecordText(dc, x, y, options, rect, text, count, dx);
    TEmfRecorder& r = RecorderOf(dc);
    const std::size_t advances = dx == nullptr ? 0 : std::size_t(count) * ((options & ETO_PDY) ? 2 : 1);
    const std::size_t textBytes = (std::size_t(count) * sizeof(WCHAR) + 3) / 4 * 4;
    std::vector<BYTE> extra;
    if (!ResizeStorage(extra, textBytes + advances * sizeof(INT)))
        return false;
    if (count != 0)
        std::memcpy(extra.data(), text, std::size_t(count) * sizeof(WCHAR));
    if (advances != 0)
        std::memcpy(extra.data() + textBytes, dx, advances * sizeof(INT));
    EMREXTTEXTOUT record{};
    record.rclBounds = RECTL{0, 0, -1, -1};
    record.iGraphicsMode = DWORD(dc.GraphicsMode);
    // The scales of GM_COMPATIBLE text: hundredths of a millimetre per logical unit.
    if (dc.GraphicsMode == GM_COMPATIBLE) {
        double alongX = 1, alongY = 1;
        UnitLengths(dc, alongX, alongY);
        int millimetresX = 0, millimetresY = 0;
        ScreenMillimetres(millimetresX, millimetresY);
        const TScreenSettings& screen = State().Screen;
        record.exScale = FLOAT(100.0 * millimetresX / screen.Width * alongX);
        record.eyScale = FLOAT(100.0 * millimetresY / screen.Height * alongY);
    }
    record.emrtext.ptlReference = POINT{x, y};
    record.emrtext.nChars = count;
    record.emrtext.offString = sizeof record;
    record.emrtext.fOptions = options;
    record.emrtext.rcl = rect != nullptr ? RECTL{rect->left, rect->top, rect->right, rect->bottom} : RECTL{0, 0, -1, -1};
    record.emrtext.offDx = advances != 0 ? DWORD(sizeof record + textBytes) : 0;
    const std::size_t at = r.Out.Size();
    if (!r.Out.Put(EMR_EXTTEXTOUTW, record, extra.data(), extra.size()))
        return false;
    r.TextBoundsAt = at + offsetof(EMREXTTEXTOUT, rclBounds);
    if (rect != nullptr && (options & ETO_OPAQUE) != 0) {
        const TDeviceBox box = RectBox(dc, std::min(rect->left, rect->right), std::min(rect->top, rect->bottom),
                                       std::max(rect->left, rect->right), std::max(rect->top, rect->bottom));
        if (box.Any)
            RecordTextBox(dc, box.Left, box.Top, box.Right, box.Bottom);
    }
    return true;
}

bool RecordTextSpacing(TDCObj& dc, bool justification, int first, int second) {
    return RecordsWindows(dc) ? wmf::RecordTextSpacing(dc, justification, first, second) : true;
}

void RecordTextBox(TDCObj& dc, long long left, long long top, long long right, long long bottom) {
    if (RecordsWindows(dc))
        return;  // a Windows metafile has no bounds
    TEmfRecorder& r = RecorderOf(dc);
    TDeviceBox box;
    if (left <= right && top <= bottom) {
        box.Add(left, top);
        box.Add(right, bottom);
        Cover(dc, box, false);
    }
    if (r.TextBoundsAt == 0 || !box.Any)
        return;
    RECTL stored;
    std::memcpy(&stored, r.Out.At(r.TextBoundsAt), sizeof stored);
    if (stored.left <= stored.right)
        box.Add(stored.left, stored.top), box.Add(stored.right, stored.bottom);
    stored = ToRectl(box);
    std::memcpy(r.Out.At(r.TextBoundsAt), &stored, sizeof stored);
}

bool RecordBlt(TDCObj& dc, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
               int sourceHeight, DWORD rop, bool stretch, DWORD type) {
    const bool blend = type == EMR_ALPHABLEND || type == EMR_TRANSPARENTBLT;
    if (blend && RecordsWindows(dc))
        return wmf::Refuse();
    if (blend)
        stretch = true;
    const TDeviceBox box = RectBox(dc, std::min(x, x + width), std::min(y, y + height), std::max(x, x + width),
                                   std::max(y, y + height));
    EMRSTRETCHBLT record{};
    EMRBITBLT& b = record.blt;
    b.rclBounds = ToRectl(box);
    b.xDest = x, b.yDest = y, b.cxDest = width, b.cyDest = height;
    b.dwRop = rop;
    b.xformSrc = XFORM{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    record.cxSrc = sourceWidth, record.cySrc = sourceHeight;
    std::vector<BYTE> dib;
    const bool usesSource = blend || RopUsesSource(RopIndex(rop));
    auto* from = usesSource ? Lookup<TDCObj>(source) : nullptr;
    if (usesSource && from == nullptr)
        return false;
    if (from != nullptr && Recording(*from)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (from != nullptr) {
        TBitmapObj* bitmap = SurfaceOf(*from);
        if (bitmap == nullptr)
            return false;
        // The source rectangle in the source's device pixels, where the carried bitmap lives.
        const TDeviceRect place = DeviceRect(*from, sx, sy, stretch ? sourceWidth : width, stretch ? sourceHeight : height);
        const auto hold = [](long long v) { return LONG(std::clamp<long long>(v, INT_MIN, INT_MAX)); };
        b.xSrc = hold(place.X), b.ySrc = hold(place.Y);
        record.cxSrc = hold(place.Width), record.cySrc = hold(place.Height);
        if (!blend && !stretch && (record.cxSrc != width || record.cySrc != height)) {
            // The source's mapping scales: only a stretch carries that.
            stretch = true;
        }
        std::size_t infoBytes = 0;
        dib = PackedDib(*bitmap, ResolveColor(dc, dc.TextColor), ResolveColor(dc, dc.BkColor), infoBytes);
        if (dib.empty()) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        if (RecordsWindows(dc)) {
            // The older records take the source from the top of the DIB's rows.
            return wmf::RecordBlt(dc, x, y, width, height, dib, b.xSrc, b.ySrc, record.cxSrc, record.cySrc, rop,
                                  stretch);
        }
        b.crBkColorSrc = from->BkColor;
        b.iUsageSrc = DIB_RGB_COLORS;
        const DWORD fixed = stretch ? sizeof(EMRSTRETCHBLT) : sizeof(EMRBITBLT);
        b.offBmiSrc = fixed;
        b.cbBmiSrc = DWORD(infoBytes);
        b.offBitsSrc = DWORD(fixed + infoBytes);
        b.cbBitsSrc = DWORD(dib.size() - infoBytes);
    }
    if (RecordsWindows(dc))
        return wmf::RecordBlt(dc, x, y, width, height, {}, 0, 0, 0, 0, rop, false);
    TEmfRecorder& r = RecorderOf(dc);
    const bool kept = stretch ? r.Out.Put(blend ? type : EMR_STRETCHBLT, record, dib.data(), dib.size())
                              : r.Out.Put(EMR_BITBLT, &record.blt, sizeof record.blt, dib.data(), dib.size());
    if (kept && width != 0 && height != 0)
        Cover(dc, box, false);
    return kept;
}


bool RecordFloodFill(TDCObj& dc, int x, int y, COLORREF color, UINT type) {
    if (RecordsWindows(dc))
        return wmf::RecordFloodFill(dc, x, y, color, type);
    return RecorderOf(dc).Out.Put(EMR_EXTFLOODFILL, EMREXTFLOODFILL{{}, POINT{x, y}, color, type});
}

bool RecordGradient(TDCObj& dc, const gdi::TRIVERTEX* vertices, std::uint32_t vertexCount, const void* mesh,
                    std::uint32_t meshCount, std::uint32_t mode) {
    if (RecordsWindows(dc))
        return wmf::Refuse();
    const bool triangles = mode == GRADIENT_FILL_TRIANGLE;
    const std::size_t meshBytes = std::size_t(meshCount) * (triangles ? sizeof(GRADIENT_TRIANGLE) : sizeof(GRADIENT_RECT));
    const std::size_t vertexBytes = std::size_t(vertexCount) * sizeof(gdi::TRIVERTEX);
    std::vector<BYTE> extra;
    if (!ResizeStorage(extra, vertexBytes + meshBytes))
        return false;
    std::memcpy(extra.data(), vertices, vertexBytes);
    std::memcpy(extra.data() + vertexBytes, mesh, meshBytes);
    TDeviceBox box;
    const auto* rects = static_cast<const GRADIENT_RECT*>(mesh);
    const auto* tris = static_cast<const GRADIENT_TRIANGLE*>(mesh);
    for (std::uint32_t i = 0; i < meshCount; ++i) {
        if (triangles) {
            for (std::uint32_t v : {tris[i].Vertex1, tris[i].Vertex2, tris[i].Vertex3})
                box.AddLogical(dc, vertices[v].x, vertices[v].y);
            continue;
        }
        const gdi::TRIVERTEX& a = vertices[rects[i].UpperLeft];
        const gdi::TRIVERTEX& b = vertices[rects[i].LowerRight];
        const TDeviceBox part = RectBox(dc, std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
        if (part.Any)
            box.Add(part.Left, part.Top), box.Add(part.Right, part.Bottom);
    }
    if (!RecorderOf(dc).Out.Put(EMR_GRADIENTFILL, EMRGRADIENTFILL{{}, ToRectl(box), vertexCount, meshCount, mode},
                                extra.data(), extra.size()))
        return false;
    Cover(dc, box, false);
    return true;
}

bool RecordDibits(TDCObj& dc, bool stretch, int x, int y, int width, int height, int sx, int sy, int sourceWidth,
                  int sourceHeight, UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage,
                  DWORD rop) {
    const bool carried = bits != nullptr && RopUsesSource(RopIndex(rop));
    const std::size_t infoBytes = carried ? InfoBytes(info, usage) : 0;
    if (carried && infoBytes == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // The bits the call reads: the stated size of compressed data, else every row given.
    std::size_t bitsBytes = 0;
    if (!carried) {
        // Without a source the record carries no bitmap, and plays as a pattern fill.
    } else if (info->bmiHeader.biSize >= sizeof(BITMAPINFOHEADER) && info->bmiHeader.biCompression != BI_RGB &&
        info->bmiHeader.biCompression != BI_BITFIELDS) {
        bitsBytes = info->bmiHeader.biSizeImage;
    } else {
        const bool core = info->bmiHeader.biSize == sizeof(BITMAPCOREHEADER);
        const auto* c = reinterpret_cast<const BITMAPCOREHEADER*>(info);
        const LONG w = core ? c->bcWidth : info->bmiHeader.biWidth;
        const LONG h = core ? c->bcHeight : info->bmiHeader.biHeight;
        const int depth = core ? c->bcBitCount : info->bmiHeader.biBitCount;
        const std::size_t stride = DibStride(w, depth);
        const std::size_t rows = stretch ? std::size_t(h < 0 ? -(long long)h : h) : std::size_t(lines);
        if (stride == 0 || !StorageAllowed(rows, stride)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        bitsBytes = stride * rows;
    }
    std::vector<BYTE> extra;
    if (!ResizeStorage(extra, infoBytes + bitsBytes))
        return false;
    if (carried) {
        std::memcpy(extra.data(), info, infoBytes);
        std::memcpy(extra.data() + infoBytes, bits, bitsBytes);
    }
    if (RecordsWindows(dc))
        return wmf::RecordDibits(dc, stretch, x, y, width, height, sx, sy, sourceWidth, sourceHeight, startScan, lines,
                                 extra, usage, rop);
    TEmfRecorder& r = RecorderOf(dc);
    const TDeviceBox box = RectBox(dc, std::min(x, x + width), std::min(y, y + height), std::max(x, x + width),
                                   std::max(y, y + height));
    bool kept = false;
    if (stretch) {
        const EMRSTRETCHDIBITS record{{},          ToRectl(box),           x,           y, sx, sy, sourceWidth, sourceHeight,
                                      sizeof record, DWORD(infoBytes), DWORD(sizeof record + infoBytes), DWORD(bitsBytes),
                                      usage,       rop,                    width,       height};
        kept = r.Out.Put(EMR_STRETCHDIBITS, record, extra.data(), extra.size());
    } else {
        const EMRSETDIBITSTODEVICE record{{},
                                          ToRectl(box),
                                          x,
                                          y,
                                          sx,
                                          sy,
                                          width,
                                          height,
                                          sizeof record,
                                          DWORD(infoBytes),
                                          DWORD(sizeof record + infoBytes),
                                          DWORD(bitsBytes),
                                          usage,
                                          startScan,
                                          lines};
        kept = r.Out.Put(EMR_SETDIBITSTODEVICE, record, extra.data(), extra.size());
    }
    if (kept && width != 0 && height != 0)
        Cover(dc, box, false);
    return kept;
}

namespace {

// A mask travels behind the source as a monochrome DIB of its own, placed by the record's
// mask fields (the mask and parallelogram transfers share them).
template <typename TRecord>
bool AppendMask(TRecord& record, std::vector<BYTE>& extra, const TBitmapObj& mask, int mx, int my) {
    std::size_t maskInfo = 0;
    const std::vector<BYTE> bits = PackedDib(mask, RGB(0, 0, 0), RGB(255, 255, 255), maskInfo);
    if (bits.empty() || !StorageAllowed(extra.size() + bits.size()))
        return false;
    record.xMask = mx, record.yMask = my;
    record.iUsageMask = DIB_RGB_COLORS;
    record.offBmiMask = DWORD(sizeof record + extra.size());
    record.cbBmiMask = DWORD(maskInfo);
    record.offBitsMask = DWORD(sizeof record + extra.size() + maskInfo);
    record.cbBitsMask = DWORD(bits.size() - maskInfo);
    extra.insert(extra.end(), bits.begin(), bits.end());
    return true;
}

}  // namespace

bool RecordMaskBlt(TDCObj& dc, int x, int y, int width, int height, HDC source, int sx, int sy,
                   const TBitmapObj& mask, int mx, int my, DWORD rop) {
    if (RecordsWindows(dc))
        return wmf::Refuse();
    const TDeviceBox box = RectBox(dc, std::min(x, x + width), std::min(y, y + height), std::max(x, x + width),
                                   std::max(y, y + height));
    EMRMASKBLT record{};
    EMRBITBLT& b = record.blt;
    b.rclBounds = ToRectl(box);
    b.xDest = x, b.yDest = y, b.cxDest = width, b.cyDest = height;
    b.dwRop = rop;
    b.xformSrc = XFORM{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    std::vector<BYTE> extra;
    std::size_t infoBytes = 0;
    if (RopUsesSource(RopIndex(rop)) || RopUsesSource((rop >> 24) & 0xFFu)) {
        auto* from = Lookup<TDCObj>(source);
        if (from == nullptr)
            return false;
        TBitmapObj* bitmap = Recording(*from) ? nullptr : SurfaceOf(*from);
        if (bitmap == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        const TDeviceRect place = DeviceRect(*from, sx, sy, width, height);
        b.xSrc = LONG(std::clamp<long long>(place.X, INT_MIN, INT_MAX));
        b.ySrc = LONG(std::clamp<long long>(place.Y, INT_MIN, INT_MAX));
        extra = PackedDib(*bitmap, ResolveColor(dc, dc.TextColor), ResolveColor(dc, dc.BkColor), infoBytes);
        if (extra.empty())
            return false;
        b.crBkColorSrc = from->BkColor;
        b.iUsageSrc = DIB_RGB_COLORS;
        b.offBmiSrc = sizeof record;
        b.cbBmiSrc = DWORD(infoBytes);
        b.offBitsSrc = DWORD(sizeof record + infoBytes);
        b.cbBitsSrc = DWORD(extra.size() - infoBytes);
    }
    if (!AppendMask(record, extra, mask, mx, my))
        return false;
    if (!RecorderOf(dc).Out.Put(EMR_MASKBLT, record, extra.data(), extra.size()))
        return false;
    if (width != 0 && height != 0)
        Cover(dc, box, false);
    return true;
}

bool RecordPlgBlt(TDCObj& dc, const POINT* points, HDC source, int sx, int sy, int width, int height,
                  const TBitmapObj* mask, int mx, int my) {
    if (RecordsWindows(dc))
        return wmf::Refuse();
    auto* from = Lookup<TDCObj>(source);
    if (from == nullptr)
        return false;
    TBitmapObj* bitmap = Recording(*from) ? nullptr : SurfaceOf(*from);
    if (bitmap == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // The parallelogram's fourth corner is the first moved by both sides.
    TDeviceBox box;
    for (int i = 0; i < 3; ++i)
        box.AddLogical(dc, points[i].x, points[i].y);
    box.AddLogical(dc, (long long)points[1].x + points[2].x - points[0].x,
                   (long long)points[1].y + points[2].y - points[0].y);
    EMRPLGBLT record{};
    record.rclBounds = ToRectl(box);
    std::copy_n(points, 3, record.aptlDest);
    const TDeviceRect place = DeviceRect(*from, sx, sy, width, height);
    const auto hold = [](long long v) { return LONG(std::clamp<long long>(v, INT_MIN, INT_MAX)); };
    record.xSrc = hold(place.X), record.ySrc = hold(place.Y);
    record.cxSrc = hold(place.Width), record.cySrc = hold(place.Height);
    record.xformSrc = XFORM{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    record.crBkColorSrc = from->BkColor;
    record.iUsageSrc = DIB_RGB_COLORS;
    std::size_t infoBytes = 0;
    std::vector<BYTE> extra = PackedDib(*bitmap, ResolveColor(dc, dc.TextColor), ResolveColor(dc, dc.BkColor), infoBytes);
    if (extra.empty())
        return false;
    record.offBmiSrc = sizeof record;
    record.cbBmiSrc = DWORD(infoBytes);
    record.offBitsSrc = DWORD(sizeof record + infoBytes);
    record.cbBitsSrc = DWORD(extra.size() - infoBytes);
    if (mask != nullptr && !AppendMask(record, extra, *mask, mx, my))
        return false;
    if (!RecorderOf(dc).Out.Put(EMR_PLGBLT, record, extra.data(), extra.size()))
        return false;
    if (width != 0 && height != 0)
        Cover(dc, box, false);
    return true;
}

}  // namespace gdi::detail
