// Drives the raster layer's regions, clipping, coordinate spaces, saved states, pens, lines,
// fills, curves, rounded shapes and paths with random call sequences: metafiles will hand the layer these calls straight from a
// file. Each step reads one byte for the call and a few more for its arguments; coordinates are
// mostly small, so that drawing on the 24 × 16 surface meets the clip, but the extremes of the
// 32-bit range turn up too.
#include "platform/gdi/Gdi.h"

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace gdi;

namespace {

constexpr int kWidth = 24;
constexpr int kHeight = 16;

class TBytes {
public:
    TBytes(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
    bool Empty() const { return FAt >= FSize; }
    std::uint8_t Byte() { return FAt < FSize ? FData[FAt++] : 0; }
    int Coordinate() {
        const std::uint8_t b = Byte();
        if (b == 0xFF)
            return INT_MAX;
        if (b == 0xFE)
            return INT_MIN;
        return std::int8_t(b) / 2 + 8;
    }

private:
    const std::uint8_t* FData;
    std::size_t FSize;
    std::size_t FAt = 0;
};

HBITMAP MakeSurface(int bpp) {
    std::vector<BYTE> memory(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* info = reinterpret_cast<BITMAPINFO*>(memory.data());
    info->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, WORD(bpp), BI_RGB, 0, 0, 0, 0, 0};
    if (bpp <= 8)
        for (int i = 0; i < (1 << bpp); ++i)
            info->bmiColors[i] = RGBQUAD{BYTE(i * 37), BYTE(i * 91), BYTE(i * 53), 0};
    void* bits = nullptr;
    return CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// A region made from what the bytes ask for; a refused one stays null.
HRGN MakeRegion(TBytes& in) {
    switch (in.Byte() % 6) {
    case 0: return CreateRectRgn(in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate());
    case 1: return CreateEllipticRgn(in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate());
    case 2:
        return CreateRoundRectRgn(in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(),
                                  in.Coordinate());
    case 3: {
        std::array<POINT, 8> points{};
        const int count = in.Byte() % 9;
        for (int i = 0; i < count; ++i)
            points[std::size_t(i)] = POINT{in.Coordinate(), in.Coordinate()};
        return CreatePolygonRgn(points.data(), count, in.Byte() % 3);
    }
    case 4: {
        std::array<POINT, 12> points{};
        for (POINT& p : points)
            p = POINT{in.Coordinate(), in.Coordinate()};
        const std::array<INT, 3> counts{in.Byte() % 5, in.Byte() % 5, in.Byte() % 5};
        return CreatePolyPolygonRgn(points.data(), counts.data(), 1 + in.Byte() % 3, 1 + in.Byte() % 2);
    }
    default: {
        // Region data with a header the bytes may damage, read through a transform.
        struct {
            RGNDATAHEADER rdh;
            RECT rects[4];
        } data{};
        data.rdh = RGNDATAHEADER{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(in.Byte() % 6), 0, {}};
        for (RECT& r : data.rects)
            r = RECT{in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate()};
        if (in.Byte() & 1)
            data.rdh.dwSize = in.Byte();
        const XFORM transform{FLOAT(std::int8_t(in.Byte())) / 16, FLOAT(std::int8_t(in.Byte())) / 16,
                              FLOAT(std::int8_t(in.Byte())) / 16, FLOAT(std::int8_t(in.Byte())) / 16,
                              FLOAT(in.Coordinate()), FLOAT(in.Coordinate())};
        const DWORD size = DWORD(sizeof data) - in.Byte() % 40;
        return ExtCreateRegion((in.Byte() & 1) ? &transform : nullptr, size, reinterpret_cast<RGNDATA*>(&data));
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TBytes in(data, size);
    constexpr int kDepths[] = {1, 8, 32};
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = MakeSurface(kDepths[in.Byte() % 3]);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(200, 10, 10));
    HGDIOBJ oldBrush = SelectObject(dc, hatch);
    std::array<HRGN, 4> slots{};
    // Pens stay alive until the context is gone: a saved state may still hold one.
    std::vector<HPEN> pens;
    std::array<POINT, 8> points{};
    const auto readPoints = [&](int count) {
        for (int i = 0; i < count; ++i)
            points[std::size_t(i)] = POINT{in.Coordinate(), in.Coordinate()};
    };
    const auto slot = [&](std::uint8_t b) -> HRGN& { return slots[b % slots.size()]; };
    RECT rect{};
    for (int step = 0; step < 64 && !in.Empty(); ++step) {
        switch (in.Byte() % 26) {
        case 0: {
            HRGN& target = slot(in.Byte());
            DeleteObject(target);
            target = MakeRegion(in);
            break;
        }
        case 1: CombineRgn(slot(in.Byte()), slot(in.Byte()), slot(in.Byte()), in.Byte() % 7); break;
        case 2: OffsetRgn(slot(in.Byte()), in.Coordinate(), in.Coordinate()); break;
        case 3: {
            // Region data out and back in, into buffers of exactly the size asked for or less.
            HRGN source = slot(in.Byte());
            const DWORD needed = GetRegionData(source, 0, nullptr);
            std::vector<BYTE> buffer(needed > 0 ? needed - in.Byte() % 2 : 0);
            if (GetRegionData(source, DWORD(buffer.size()), reinterpret_cast<RGNDATA*>(buffer.data())) != 0) {
                HRGN copy = ExtCreateRegion(nullptr, DWORD(buffer.size()), reinterpret_cast<RGNDATA*>(buffer.data()));
                EqualRgn(copy, source);
                DeleteObject(copy);
            }
            break;
        }
        case 4: ExtSelectClipRgn(dc, (in.Byte() & 1) ? slot(in.Byte()) : nullptr, in.Byte() % 7); break;
        case 5: {
            const int l = in.Coordinate(), t = in.Coordinate(), r = in.Coordinate(), b = in.Coordinate();
            switch (in.Byte() % 4) {
            case 0: IntersectClipRect(dc, l, t, r, b); break;
            case 1: ExcludeClipRect(dc, l, t, r, b); break;
            case 2: OffsetClipRgn(dc, l, t); break;
            default: SetMetaRgn(dc); break;
            }
            break;
        }
        case 6: PatBlt(dc, in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(), PATINVERT); break;
        case 7:
            StretchBlt(dc, in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(), dc, in.Coordinate(),
                       in.Coordinate(), in.Coordinate(), in.Coordinate(), SRCCOPY);
            break;
        case 8: FillRgn(dc, slot(in.Byte()), hatch); break;
        case 9: FrameRgn(dc, slot(in.Byte()), hatch, in.Coordinate(), in.Coordinate()); break;
        case 10: {
            SetROP2(dc, 1 + in.Byte() % 16);
            if (in.Byte() & 1)
                PaintRgn(dc, slot(in.Byte()));
            else
                InvertRgn(dc, slot(in.Byte()));
            break;
        }
        case 11: SetPixel(dc, in.Coordinate(), in.Coordinate(), RGB(in.Byte(), 0, 0)); break;
        case 12: {
            HRGN target = slot(in.Byte());
            GetClipBox(dc, &rect);
            GetClipRgn(dc, target);
            GetMetaRgn(dc, target);
            GetRgnBox(target, &rect);
            PtInRegion(target, in.Coordinate(), in.Coordinate());
            RectInRegion(target, &rect);
            break;
        }
        case 14: {
            const int mode = 1 + in.Byte() % 8;
            SetMapMode(dc, mode);
            SetWindowExtEx(dc, in.Coordinate(), in.Coordinate(), nullptr);
            SetViewportExtEx(dc, in.Coordinate(), in.Coordinate(), nullptr);
            SetViewportOrgEx(dc, in.Coordinate(), in.Coordinate(), nullptr);
            break;
        }
        case 15:
            if (in.Byte() & 1)
                SaveDC(dc);
            else
                RestoreDC(dc, int(in.Byte() % 5) - 2);
            break;
        case 16: {
            HPEN pen = nullptr;
            const std::uint8_t choice = in.Byte() % 3;
            if (choice == 0) {
                pen = CreatePen(in.Byte() % 7, in.Byte() % 3 == 0 ? in.Byte() % 24 : in.Byte() % 3,
                                RGB(in.Byte(), in.Byte(), 0));
            } else if (choice == 1) {
                // Geometric pens of any width, cap, join, style and brush, and any miter limit.
                const std::uint8_t look = in.Byte();
                const LOGBRUSH brush = (look & 1) ? LOGBRUSH{BS_HATCHED, RGB(0, 0, in.Byte()), std::uintptr_t(look % 6)}
                                                  : LOGBRUSH{BS_SOLID, RGB(in.Byte(), 0, 0), 0};
                const DWORD styles[4] = {in.Byte() % 9u, in.Byte() % 9u, in.Byte() % 9u, in.Byte() % 9u};
                const DWORD kind = in.Byte() % 8;  // PS_SOLID … PS_INSIDEFRAME, PS_USERSTYLE among them
                const DWORD cap = DWORD(in.Byte() % 3) << 8, join = DWORD(in.Byte() % 3) << 12;
                const std::uint8_t w = in.Byte();
                const DWORD width = w == 0xFF ? DWORD(INT_MAX) : w % 40;
                const bool user = kind == PS_USERSTYLE;
                pen = ExtCreatePen(PS_GEOMETRIC | kind | cap | join, width, &brush, user ? 1 + in.Byte() % 4 : 0,
                                   user ? styles : nullptr);
                SetMiterLimit(dc, 0.5f + float(in.Byte()) / 8, nullptr);
            } else {
                const LOGBRUSH brush{BS_SOLID, RGB(0, in.Byte(), 0), 0};
                const DWORD styles[4] = {in.Byte() % 4u, in.Byte() % 4u, in.Byte() % 4u, in.Byte() % 4u};
                const DWORD kinds[] = {PS_COSMETIC | PS_USERSTYLE, PS_COSMETIC | PS_ALTERNATE, PS_COSMETIC | PS_DASHDOT};
                const DWORD kind = kinds[in.Byte() % 3];
                const bool user = (kind & PS_STYLE_MASK) == PS_USERSTYLE;
                pen = ExtCreatePen(kind, 1, &brush, user ? 1 + in.Byte() % 4 : 0, user ? styles : nullptr);
            }
            if (pen != nullptr) {
                pens.push_back(pen);
                SelectObject(dc, pen);
            }
            SetBkMode(dc, (in.Byte() & 1) ? OPAQUE : TRANSPARENT);
            break;
        }
        case 17:
            MoveToEx(dc, in.Coordinate(), in.Coordinate(), nullptr);
            LineTo(dc, in.Coordinate(), in.Coordinate());
            break;
        case 18: {
            const int count = 1 + in.Byte() % 8;
            readPoints(count);
            SetPolyFillMode(dc, 1 + in.Byte() % 2);
            switch (in.Byte() % 4) {
            case 0: Polyline(dc, points.data(), count); break;
            case 1: PolylineTo(dc, points.data(), count); break;
            case 2: Polygon(dc, points.data(), count); break;
            default: {
                const INT counts[2] = {count / 2, count - count / 2};
                PolyPolygon(dc, points.data(), counts, 2);
                break;
            }
            }
            break;
        }
        case 19: Rectangle(dc, in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate()); break;
        case 20: {
            SetGraphicsMode(dc, GM_ADVANCED);
            const XFORM transform{float(std::int8_t(in.Byte())) / 16, float(std::int8_t(in.Byte())) / 64,
                                  float(std::int8_t(in.Byte())) / 64, float(std::int8_t(in.Byte())) / 16,
                                  float(in.Coordinate()), float(in.Coordinate())};
            SetWorldTransform(dc, &transform);
            break;
        }
        case 21: {
            const int l = in.Coordinate(), t = in.Coordinate(), r = in.Coordinate(), b = in.Coordinate();
            const int xs = in.Coordinate(), ys = in.Coordinate(), xe = in.Coordinate(), ye = in.Coordinate();
            switch (in.Byte() % 6) {
            case 0: Ellipse(dc, l, t, r, b); break;
            case 1: RoundRect(dc, l, t, r, b, xs, ys); break;
            case 2: Arc(dc, l, t, r, b, xs, ys, xe, ye); break;
            case 3: ArcTo(dc, l, t, r, b, xs, ys, xe, ye); break;
            case 4: Pie(dc, l, t, r, b, xs, ys, xe, ye); break;
            default: Chord(dc, l, t, r, b, xs, ys, xe, ye); break;
            }
            break;
        }
        case 22: {
            SetArcDirection(dc, in.Byte() % 3);
            const std::uint8_t r = in.Byte();
            const DWORD radius = r == 0xFF ? 0xFFFFFFFFu : r == 0xFE ? 0x7FFFFFFFu : DWORD(r % 40);
            AngleArc(dc, in.Coordinate(), in.Coordinate(), radius, float(std::int8_t(in.Byte())) * 7.5f,
                     float(std::int8_t(in.Byte())) * 11.25f);
            break;
        }
        case 23: {
            // Counts of every kind, valid or not; only the valid ones may read the points.
            const std::uint8_t c = in.Byte();
            const DWORD count = c == 0xFF ? 0x20000001u : c == 0xFE ? 0xFFFFFFFFu : DWORD(c % 9);
            readPoints(8);
            const POINT* source = count <= 8 ? points.data() : nullptr;
            if (in.Byte() & 1)
                PolyBezier(dc, source, count);
            else
                PolyBezierTo(dc, source, count);
            break;
        }
        case 24: {
            constexpr BYTE kTypes[] = {PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_LINETO | PT_CLOSEFIGURE,
                                       PT_BEZIERTO | PT_CLOSEFIGURE, PT_MOVETO | PT_CLOSEFIGURE, 0, 9};
            const int count = in.Byte() % 9;
            std::array<BYTE, 8> types{};
            for (int i = 0; i < count; ++i)
                types[std::size_t(i)] = kTypes[in.Byte() % 8];
            readPoints(count);
            PolyDraw(dc, points.data(), types.data(), count);
            break;
        }
        case 25: {
            // The path calls; between BeginPath and EndPath the other drawing steps record.
            switch (in.Byte() % 12) {
            case 0: BeginPath(dc); break;
            case 1: EndPath(dc); break;
            case 2: AbortPath(dc); break;
            case 3: CloseFigure(dc); break;
            case 4: FlattenPath(dc); break;
            case 5: {
                std::array<POINT, 16> out{};
                std::array<BYTE, 16> types{};
                GetPath(dc, out.data(), types.data(), int(in.Byte() % 17));
                break;
            }
            case 6: StrokePath(dc); break;
            case 7: FillPath(dc); break;
            case 8: StrokeAndFillPath(dc); break;
            case 9: SelectClipPath(dc, in.Byte() % 7); break;
            case 10: DeleteObject(PathToRegion(dc)); break;
            default: MoveToEx(dc, in.Coordinate(), in.Coordinate(), nullptr); break;
            }
            break;
        }
        default: {
            const char text[] = "Wg";
            ExtTextOutA(dc, in.Coordinate(), in.Coordinate(), ETO_OPAQUE, &rect, text, 2, nullptr);
            break;
        }
        }
    }
    for (HRGN region : slots)
        DeleteObject(region);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldBitmap);
    // The context goes first: its saved states may still name the bitmap, the brush or a pen.
    DeleteDC(dc);
    for (HPEN pen : pens)
        DeleteObject(pen);
    DeleteObject(hatch);
    DeleteObject(bitmap);
    return 0;
}
