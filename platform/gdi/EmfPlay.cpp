// Playing an enhanced metafile onto a device context: the frame mapped onto the caller's
// rectangle, a default state to start from, the metafile's object table, and each record played
// through the layer's own calls. The caller's state, objects and clip come back afterwards and
// every object the records made is deleted.
#include "platform/gdi/EmfPlay.h"
#include "platform/gdi/Storage.h"

#include <cmath>

namespace gdi {
namespace detail {

namespace {

bool Finite(const XFORM& x) {
    for (float v : {x.eM11, x.eM12, x.eM21, x.eM22, x.eDx, x.eDy}) {
        if (!std::isfinite(v))
            return false;
    }
    const double det = double(x.eM11) * x.eM22 - double(x.eM12) * x.eM21;
    return det != 0.0 && std::isfinite(det);
}

constexpr DWORD kStockFlag = 0x80000000u;

}  // namespace

TAffine TAffine::Then(const TAffine& b) const {
    return TAffine{M11 * b.M11 + M12 * b.M21,       M11 * b.M12 + M12 * b.M22,       M21 * b.M11 + M22 * b.M21,
                   M21 * b.M12 + M22 * b.M22,       Dx * b.M11 + Dy * b.M21 + b.Dx, Dx * b.M12 + Dy * b.M22 + b.Dy};
}

bool TAffine::FitsXform() const {
    for (double v : {M11, M12, M21, M22, Dx, Dy}) {
        if (!(std::fabs(v) < 3.0e38))
            return false;
    }
    return true;
}

TEmfPlayer::TEmfPlayer(HDC dc, TDCObj& context, const ENHMETAHEADER& header, const RECT& rect)
    : FDc(dc), FContext(context), FHeader(header) {
    // The frame is inclusive and in hundredths of a millimetre; the reference device says how
    // many of its pixels a millimetre is. Both rectangles' edges are points, so widths are
    // right − left on both sides.
    const double pixelsX = double(header.szlDevice.cx) / (double(header.szlMillimeters.cx) * 100.0);
    const double pixelsY = double(header.szlDevice.cy) / (double(header.szlMillimeters.cy) * 100.0);
    const double frameX = header.rclFrame.left * pixelsX, frameY = header.rclFrame.top * pixelsY;
    const double frameWidth = (double(header.rclFrame.right) - header.rclFrame.left) * pixelsX;
    const double frameHeight = (double(header.rclFrame.bottom) - header.rclFrame.top) * pixelsY;
    // An empty frame has no scale of its own: its pixels are drawn one for one.
    const double scaleX = frameWidth != 0.0 ? (double(rect.right) - rect.left) / frameWidth : 1.0;
    const double scaleY = frameHeight != 0.0 ? (double(rect.bottom) - rect.top) / frameHeight : 1.0;
    FFrameMap = TAffine{scaleX, 0, 0, scaleY, rect.left - frameX * scaleX, rect.top - frameY * scaleY};
    if (context.GraphicsMode == GM_ADVANCED)
        FCallerWorld = TAffine::From(context.World);
    const double pageX = double(context.ViewportExt.cx) / context.WindowExt.cx;
    const double pageY = double(context.ViewportExt.cy) / context.WindowExt.cy;
    const TAffine callerPage{pageX, 0, 0, pageY, context.ViewportOrg.x - context.WindowOrg.x * pageX,
                             context.ViewportOrg.y - context.WindowOrg.y * pageY};
    FDeviceMap = FFrameMap.Then(FCallerWorld).Then(callerPage);

    FObjects.assign(header.nHandles, nullptr);
    FBaseLevel = SaveDC(dc);
    if (FBaseLevel == 0)
        return;
    // The caller's clip bounds everything the records do, whatever clip they select.
    SetMetaRgn(dc);
    SetGraphicsMode(dc, GM_ADVANCED);
    SetBkColor(dc, RGB(255, 255, 255));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, OPAQUE);
    SetROP2(dc, R2_COPYPEN);
    SetPolyFillMode(dc, ALTERNATE);
    SetStretchBltMode(dc, BLACKONWHITE);
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    SetTextCharacterExtra(dc, 0);
    SetTextJustification(dc, 0, 0);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    SelectPalette(dc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), TRUE);
    ApplyTransform();
    MoveToEx(dc, 0, 0, nullptr);
}

TEmfPlayer::~TEmfPlayer() {
    if (FBaseLevel > 0)
        RestoreDC(FDc, FBaseLevel);
    for (HGDIOBJ object : FObjects) {
        if (object != nullptr)
            DeleteObject(object);
    }
    for (HGDIOBJ object : FOrphans)
        DeleteObject(object);
}

HGDIOBJ TEmfPlayer::Object(DWORD index) const {
    if (index & kStockFlag)
        return GetStockObject(int(index & ~kStockFlag));
    return index < FObjects.size() ? FObjects[index] : nullptr;
}

void TEmfPlayer::Keep(DWORD index, HGDIOBJ object) {
    if (object == nullptr)
        return;
    // Slot 0 stands for the metafile itself and is never an object's.
    if (index == 0 || index >= FObjects.size()) {
        DeleteObject(object);
        return;
    }
    if (FObjects[index] != nullptr && !DeleteObject(FObjects[index]))
        FOrphans.push_back(FObjects[index]);
    FObjects[index] = object;
}

HRGN TEmfPlayer::DeviceRegion(const std::vector<BYTE>& data) const {
    if (!FDeviceMap.FitsXform())
        return nullptr;
    const XFORM map = FDeviceMap.ToXform();
    return ExtCreateRegion(&map, DWORD(data.size()), reinterpret_cast<const RGNDATA*>(data.data()));
}

HRGN TEmfPlayer::LogicalRegion(const std::vector<BYTE>& data) {
    return ExtCreateRegion(nullptr, DWORD(data.size()), reinterpret_cast<const RGNDATA*>(data.data()));
}

// ---- transforms ------------------------------------------------------------------------------

TAffine PageMap(const TEmfPage& p) {
    const double x = double(p.ViewportExtX) / double(p.WindowExtX);
    const double y = double(p.ViewportExtY) / double(p.WindowExtY);
    return TAffine{x, 0, 0, y, p.ViewportOrgX - p.WindowOrgX * x, p.ViewportOrgY - p.WindowOrgY * y};
}

void TEmfPlayer::ApplyTransform() {
    const TAffine map = TAffine::From(FPage.World).Then(PageMap(FPage)).Then(FFrameMap).Then(FCallerWorld);
    if (!map.FitsXform())
        return;
    const XFORM x = map.ToXform();
    if (Finite(x))
        SetWorldTransform(FDc, &x);
}

// The fixed modes measure against the reference device the metafile was made for, not against
// the device it is played on: its records are in that device's units.
namespace {

void SetFixedExtents(TEmfPage& p, const ENHMETAHEADER& header, int mode) {
    if (mode == MM_TEXT) {
        p.WindowExtX = p.WindowExtY = p.ViewportExtX = p.ViewportExtY = 1;
        return;
    }
    const long long mmX = header.szlMillimeters.cx, mmY = header.szlMillimeters.cy;
    switch (mode) {
    case MM_HIMETRIC: p.WindowExtX = mmX * 100, p.WindowExtY = mmY * 100; break;
    case MM_LOENGLISH: p.WindowExtX = MulDiv(int(mmX), 1000, 254), p.WindowExtY = MulDiv(int(mmY), 1000, 254); break;
    case MM_HIENGLISH: p.WindowExtX = MulDiv(int(mmX), 10000, 254), p.WindowExtY = MulDiv(int(mmY), 10000, 254); break;
    case MM_TWIPS: p.WindowExtX = MulDiv(int(mmX), 14400, 254), p.WindowExtY = MulDiv(int(mmY), 14400, 254); break;
    default: p.WindowExtX = mmX * 10, p.WindowExtY = mmY * 10; break;
    }
    p.WindowExtX = std::max(1LL, p.WindowExtX);
    p.WindowExtY = std::max(1LL, p.WindowExtY);
    p.ViewportExtX = header.szlDevice.cx;
    p.ViewportExtY = -(long long)header.szlDevice.cy;
}

// As the layer does for its own contexts, in the reference device's millimetres: the axis whose
// logical unit comes out longer shrinks its viewport extent to match the other.
void AdjustIsotropic(TEmfPage& p, const ENHMETAHEADER& header) {
    const double mmPerPixelX = double(header.szlMillimeters.cx) / header.szlDevice.cx;
    const double mmPerPixelY = double(header.szlMillimeters.cy) / header.szlDevice.cy;
    const double unitX = std::fabs(double(p.ViewportExtX) / double(p.WindowExtX)) * mmPerPixelX;
    const double unitY = std::fabs(double(p.ViewportExtY) / double(p.WindowExtY)) * mmPerPixelY;
    if (unitX > unitY) {
        const long long shrunk = std::max(1LL, std::llround(unitY / mmPerPixelX * std::fabs(double(p.WindowExtX))));
        p.ViewportExtX = p.ViewportExtX < 0 ? -shrunk : shrunk;
    } else if (unitY > unitX) {
        const long long shrunk = std::max(1LL, std::llround(unitX / mmPerPixelY * std::fabs(double(p.WindowExtY))));
        p.ViewportExtY = p.ViewportExtY < 0 ? -shrunk : shrunk;
    }
}

}  // namespace

bool UpdatePage(TEmfPage& p, const ENHMETAHEADER& header, const TEmfRecord& record) {
    const bool freeExtents = p.MapMode == MM_ISOTROPIC || p.MapMode == MM_ANISOTROPIC;
    switch (record.Type) {
    case EMR_SETMAPMODE: {
        EMRONE r;
        if (!ReadFixed(record, r))
            return false;
        const int mode = int(r.Value);
        if (mode < MM_TEXT || mode > MM_ANISOTROPIC || mode == p.MapMode)
            return true;
        if (mode != MM_ANISOTROPIC)
            SetFixedExtents(p, header, mode == MM_ISOTROPIC ? MM_LOMETRIC : mode);
        p.MapMode = mode;
        break;
    }
    case EMR_SETWINDOWEXTEX:
    case EMR_SETVIEWPORTEXTEX: {
        EMRTWO r;
        if (!ReadFixed(record, r))
            return false;
        if (!freeExtents || r.X == 0 || r.Y == 0)
            return true;
        if (record.Type == EMR_SETWINDOWEXTEX)
            p.WindowExtX = r.X, p.WindowExtY = r.Y;
        else
            p.ViewportExtX = r.X, p.ViewportExtY = r.Y;
        if (p.MapMode == MM_ISOTROPIC)
            AdjustIsotropic(p, header);
        break;
    }
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTORGEX: {
        EMRTWO r;
        if (!ReadFixed(record, r))
            return false;
        if (record.Type == EMR_SETWINDOWORGEX)
            p.WindowOrgX = r.X, p.WindowOrgY = r.Y;
        else
            p.ViewportOrgX = r.X, p.ViewportOrgY = r.Y;
        break;
    }
    case EMR_SCALEWINDOWEXTEX:
    case EMR_SCALEVIEWPORTEXTEX: {
        EMRSCALEEXTEX r;
        if (!ReadFixed(record, r))
            return false;
        if (!freeExtents || r.xNum == 0 || r.xDenom == 0 || r.yNum == 0 || r.yDenom == 0)
            return true;
        long long& x = record.Type == EMR_SCALEWINDOWEXTEX ? p.WindowExtX : p.ViewportExtX;
        long long& y = record.Type == EMR_SCALEWINDOWEXTEX ? p.WindowExtY : p.ViewportExtY;
        const long long nx = x * r.xNum / r.xDenom, ny = y * r.yNum / r.yDenom;
        if (nx == 0 || ny == 0 || std::llabs(nx) > INT32_MAX || std::llabs(ny) > INT32_MAX)
            return true;
        x = nx, y = ny;
        if (p.MapMode == MM_ISOTROPIC)
            AdjustIsotropic(p, header);
        break;
    }
    case EMR_SETWORLDTRANSFORM: {
        EMRXFORM r;
        if (!ReadFixed(record, r))
            return false;
        if (!Finite(r.xform))
            return true;
        p.World = r.xform;
        break;
    }
    case EMR_MODIFYWORLDTRANSFORM: {
        EMRMODIFYWORLDTRANSFORM r;
        if (!ReadFixed(record, r))
            return false;
        constexpr DWORD kSet = 4;
        XFORM made = p.World;
        switch (r.iMode) {
        case MWT_IDENTITY: made = XFORM{1, 0, 0, 1, 0, 0}; break;
        case MWT_LEFTMULTIPLY:
        case MWT_RIGHTMULTIPLY: {
            const TAffine product = r.iMode == MWT_LEFTMULTIPLY ? TAffine::From(r.xform).Then(TAffine::From(p.World))
                                                                : TAffine::From(p.World).Then(TAffine::From(r.xform));
            if (!product.FitsXform())
                return true;
            made = product.ToXform();
            break;
        }
        case kSet: made = r.xform; break;
        default: return true;
        }
        if (!Finite(made))
            return true;
        p.World = made;
        break;
    }
    default: return true;
    }
    return true;
}

bool TEmfPlayer::PlayTransform(const TEmfRecord& record) {
    if (!UpdatePage(FPage, FHeader, record))
        return false;
    ApplyTransform();
    return true;
}

// ---- state -----------------------------------------------------------------------------------

bool TEmfPlayer::PlayState(const TEmfRecord& record) {
    EMRONE one{};
    if (record.Type != EMR_SAVEDC && !ReadFixed(record, one))
        return false;
    const DWORD v = one.Value;
    switch (record.Type) {
    case EMR_SETBKMODE: SetBkMode(FDc, int(v)); break;
    case EMR_SETBKCOLOR: SetBkColor(FDc, v); break;
    case EMR_SETTEXTCOLOR: SetTextColor(FDc, v); break;
    case EMR_SETROP2: SetROP2(FDc, int(v)); break;
    case EMR_SETPOLYFILLMODE: SetPolyFillMode(FDc, int(v)); break;
    case EMR_SETSTRETCHBLTMODE: SetStretchBltMode(FDc, int(v)); break;
    case EMR_SETTEXTALIGN: SetTextAlign(FDc, v); break;
    case EMR_SETBRUSHORGEX: {
        // The origin is in the metafile's device units.
        EMRTWO r;
        if (!ReadFixed(record, r))
            return false;
        const double x = r.X * FDeviceMap.M11 + r.Y * FDeviceMap.M21 + FDeviceMap.Dx;
        const double y = r.X * FDeviceMap.M12 + r.Y * FDeviceMap.M22 + FDeviceMap.Dy;
        if (std::fabs(x) < 1e9 && std::fabs(y) < 1e9)
            SetBrushOrgEx(FDc, int(std::floor(x + 0.5)), int(std::floor(y + 0.5)), nullptr);
        break;
    }
    case EMR_MOVETOEX: {
        EMRTWO r;
        if (!ReadFixed(record, r))
            return false;
        MoveToEx(FDc, r.X, r.Y, nullptr);
        break;
    }
    case EMR_SETTEXTJUSTIFICATION: {
        EMRTWO r;  // nBreakExtra, nBreakCount
        if (!ReadFixed(record, r))
            return false;
        SetTextJustification(FDc, r.X, r.Y);
        break;
    }
    case EMR_SAVEDC:
        if (SaveDC(FDc) != 0)
            FSaved.push_back(FPage);
        break;
    case EMR_RESTOREDC: {
        // Only the metafile's own states, counted back from the newest; the caller's stay.
        const LONG relative = LONG(v);
        if (relative >= 0 || std::size_t(-std::int64_t(relative)) > FSaved.size())
            break;
        const std::size_t keep = FSaved.size() - std::size_t(-std::int64_t(relative));
        if (!RestoreDC(FDc, FBaseLevel + int(keep) + 1))
            break;
        FPage = FSaved[keep];
        FSaved.resize(keep);
        ApplyTransform();
        break;
    }
    default: break;
    }
    return true;
}

// ---- objects ---------------------------------------------------------------------------------

// A monochrome device-dependent bitmap from the rows of a 1-bit DIB: the pixel values carry over
// as they are, so the brush's 1 bits take the background colour and its 0 bits the text colour.
HBITMAP EmfMonoBitmap(const TEmfDib& dib) {
    const BITMAPINFOHEADER& h = dib.Header()->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biBitCount != 1 || h.biCompression != BI_RGB)
        return nullptr;
    const LONG width = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const std::size_t source = ((std::size_t(width) + 31) / 32) * 4;
    const std::size_t target = ((std::size_t(width) + 15) / 16) * 2;
    std::vector<BYTE> words;
    if (!ResizeStorage(words, target * std::size_t(height)))
        return nullptr;
    for (LONG y = 0; y < height; ++y) {
        const LONG from = h.biHeight < 0 ? y : height - 1 - y;
        std::memcpy(words.data() + std::size_t(y) * target, dib.Bits + std::size_t(from) * source, target);
    }
    return CreateBitmap(width, height, 1, 1, words.data());
}

// A DIB section holding a record's bitmap, for the calls that take a bitmap or a context.
HBITMAP EmfSection(HDC dc, const TEmfDib& dib, UINT usage) {
    const BITMAPINFOHEADER& h = dib.Header()->bmiHeader;
    if (h.biSize >= sizeof(BITMAPINFOHEADER) && h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS)
        return nullptr;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(dc, dib.Header(), usage, &bits, nullptr, 0);
    if (section == nullptr)
        return nullptr;
    DIBSECTION description{};
    GetObjectA(section, sizeof description, &description);
    const std::size_t size = std::size_t(description.dsBm.bmWidthBytes) * std::size_t(description.dsBm.bmHeight);
    std::memcpy(bits, dib.Bits, std::min(size, dib.BitsSize));
    return section;
}

bool TEmfPlayer::PlayObject(const TEmfRecord& record) {
    switch (record.Type) {
    case EMR_SELECTOBJECT: {
        EMRONE r;
        if (!ReadFixed(record, r))
            return false;
        HGDIOBJ object = Object(r.Value);
        if (object == nullptr)
            return true;
        if (GetObjectType(object) == OBJ_PAL)
            SelectPalette(FDc, static_cast<HPALETTE>(object), TRUE);
        else
            SelectObject(FDc, object);
        return true;
    }
    case EMR_DELETEOBJECT: {
        EMRONE r;
        if (!ReadFixed(record, r))
            return false;
        if (r.Value == 0 || r.Value >= FObjects.size() || FObjects[r.Value] == nullptr)
            return true;
        // An object still selected goes when playback ends, after the context has let go of it.
        if (!DeleteObject(FObjects[r.Value]))
            FOrphans.push_back(FObjects[r.Value]);
        FObjects[r.Value] = nullptr;
        return true;
    }
    case EMR_SELECTPALETTE: {
        EMRONE r;
        if (!ReadFixed(record, r))
            return false;
        if (HGDIOBJ palette = Object(r.Value); palette != nullptr && GetObjectType(palette) == OBJ_PAL)
            SelectPalette(FDc, static_cast<HPALETTE>(palette), TRUE);
        return true;
    }
    case EMR_REALIZEPALETTE: RealizePalette(FDc); return true;
    case EMR_CREATEPEN: {
        EMRCREATEPEN r;
        if (!ReadFixed(record, r))
            return false;
        const LOGPEN log{r.lopnStyle, r.lopnWidth, r.lopnColor};
        Keep(r.ihPen, CreatePenIndirect(&log));
        return true;
    }
    case EMR_EXTCREATEPEN: {
        EMREXTCREATEPEN r;
        if (!ReadFixed(record, r) || !InsideRecord(record, sizeof r, r.elpNumEntries, 4))
            return false;
        TEmfDib dib;
        if (!ReadDib(record, r.offBmi, r.cbBmi, r.offBits, r.cbBits, dib))
            return false;
        // Style entries mean something only to a user style.
        std::vector<DWORD> styles((r.elpPenStyle & PS_STYLE_MASK) == PS_USERSTYLE ? std::min<DWORD>(r.elpNumEntries, 16) : 0);
        if (!styles.empty())
            std::memcpy(styles.data(), record.Data + sizeof r, styles.size() * 4);
        const LOGBRUSH brush{r.elpBrushStyle, r.elpColor, r.elpHatch};
        HPEN pen = ExtCreatePen(r.elpPenStyle, r.elpWidth, &brush, DWORD(styles.size()),
                                styles.empty() ? nullptr : styles.data());
        if (pen == nullptr) {
            // A pen the layer cannot make in full is still drawn in its colour and basic style.
            const UINT style = r.elpPenStyle & PS_STYLE_MASK;
            pen = CreatePen(style <= PS_INSIDEFRAME ? int(style) : int(PS_SOLID), int(std::min<DWORD>(r.elpWidth, 0x7FFFFFFF)),
                            r.elpBrushStyle == BS_NULL ? 0 : r.elpColor);
            if (r.elpBrushStyle == BS_NULL && pen != nullptr) {
                DeleteObject(pen);
                pen = static_cast<HPEN>(GetStockObject(NULL_PEN));
            }
        }
        Keep(r.ihPen, pen);
        return true;
    }
    case EMR_CREATEBRUSHINDIRECT: {
        EMRCREATEBRUSHINDIRECT r;
        if (!ReadFixed(record, r))
            return false;
        const LOGBRUSH log{r.lb.lbStyle, r.lb.lbColor, r.lb.lbHatch};
        if (r.lb.lbStyle == BS_SOLID || r.lb.lbStyle == BS_NULL || r.lb.lbStyle == BS_HATCHED)
            Keep(r.ihBrush, CreateBrushIndirect(&log));
        return true;
    }
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
        EMRCREATEDIBPATTERNBRUSH r;
        TEmfDib dib;
        if (!ReadFixed(record, r) || !ReadDib(record, r.offBmi, r.cbBmi, r.offBits, r.cbBits, dib))
            return false;
        if (dib.Empty())
            return true;
        HBITMAP bitmap = record.Type == EMR_CREATEMONOBRUSH ? EmfMonoBitmap(dib)
                                                            : EmfSection(FDc, dib, r.iUsage == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS);
        if (bitmap == nullptr)
            return true;
        Keep(r.ihBrush, CreatePatternBrush(bitmap));
        DeleteObject(bitmap);
        return true;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
        DWORD index = 0;
        LOGFONTA log;
        if (!ReadFont(record, index, log))
            return false;
        Keep(index, CreateFontIndirectA(&log));
        return true;
    }
    case EMR_CREATEPALETTE: {
        EMRCREATEPALETTE r;
        if (!ReadFixed(record, r) || !InsideRecord(record, sizeof r, r.palNumEntries, sizeof(PALETTEENTRY)))
            return false;
        std::vector<BYTE> memory(sizeof(LOGPALETTE) + std::size_t(r.palNumEntries) * sizeof(PALETTEENTRY));
        auto* log = reinterpret_cast<LOGPALETTE*>(memory.data());
        log->palVersion = 0x300;
        log->palNumEntries = r.palNumEntries;
        std::memcpy(log->palPalEntry, record.Data + sizeof r, std::size_t(r.palNumEntries) * sizeof(PALETTEENTRY));
        Keep(r.ihPal, CreatePalette(log));
        return true;
    }
    case EMR_SETPALETTEENTRIES: {
        EMRSETPALETTEENTRIES r;
        if (!ReadFixed(record, r) || !InsideRecord(record, sizeof r, r.cEntries, sizeof(PALETTEENTRY)))
            return false;
        HGDIOBJ palette = Object(r.ihPal);
        if (palette != nullptr && GetObjectType(palette) == OBJ_PAL && r.cEntries > 0) {
            std::vector<PALETTEENTRY> entries(r.cEntries);
            std::memcpy(entries.data(), record.Data + sizeof r, entries.size() * sizeof(PALETTEENTRY));
            SetPaletteEntries(static_cast<HPALETTE>(palette), r.iStart, r.cEntries, entries.data());
        }
        return true;
    }
    case EMR_RESIZEPALETTE: {
        EMRRESIZEPALETTE r;
        if (!ReadFixed(record, r))
            return false;
        HGDIOBJ palette = Object(r.ihPal);
        if (palette != nullptr && GetObjectType(palette) == OBJ_PAL && r.cEntries <= 1024)
            ResizePalette(static_cast<HPALETTE>(palette), r.cEntries);
        return true;
    }
    default: return true;
    }
}

// ---- lines and figures -----------------------------------------------------------------------

bool TEmfPlayer::PlayDrawing(const TEmfRecord& record) {
    std::vector<POINT> points;
    std::vector<DWORD> counts;
    switch (record.Type) {
    case EMR_LINETO: {
        EMRTWO r;
        if (!ReadFixed(record, r))
            return false;
        LineTo(FDc, r.X, r.Y);
        return true;
    }
    case EMR_RECTANGLE: {
        EMRBOX r;
        if (!ReadFixed(record, r))
            return false;
        Rectangle(FDc, r.rclBox.left, r.rclBox.top, r.rclBox.right, r.rclBox.bottom);
        return true;
    }
    case EMR_SETPIXELV: {
        EMRSETPIXELV r;
        if (!ReadFixed(record, r))
            return false;
        SetPixel(FDc, r.ptlPixel.x, r.ptlPixel.y, r.crColor);
        return true;
    }
    case EMR_POLYGON:
    case EMR_POLYGON16:
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
    case EMR_POLYLINETO:
    case EMR_POLYLINETO16: {
        const bool small = record.Type == EMR_POLYGON16 || record.Type == EMR_POLYLINE16 || record.Type == EMR_POLYLINETO16;
        if (!ReadPoly(record, small, points))
            return false;
        if (points.empty())
            return true;
        if (record.Type == EMR_POLYGON || record.Type == EMR_POLYGON16)
            Polygon(FDc, points.data(), int(points.size()));
        else if (record.Type == EMR_POLYLINE || record.Type == EMR_POLYLINE16)
            Polyline(FDc, points.data(), int(points.size()));
        else
            PolylineTo(FDc, points.data(), DWORD(points.size()));
        return true;
    }
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16:
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYLINE16: {
        const bool small = record.Type == EMR_POLYPOLYGON16 || record.Type == EMR_POLYPOLYLINE16;
        if (!ReadPolyPoly(record, small, counts, points))
            return false;
        if (counts.empty())
            return true;
        if (record.Type == EMR_POLYPOLYLINE || record.Type == EMR_POLYPOLYLINE16) {
            PolyPolyline(FDc, points.data(), counts.data(), DWORD(counts.size()));
        } else {
            const std::vector<INT> figures(counts.begin(), counts.end());
            PolyPolygon(FDc, points.data(), figures.data(), int(figures.size()));
        }
        return true;
    }
    default: return true;
    }
}

// ---- clipping and regions --------------------------------------------------------------------

bool TEmfPlayer::PlayClip(const TEmfRecord& record) {
    switch (record.Type) {
    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT: {
        EMRRECT4 r;
        if (!ReadFixed(record, r))
            return false;
        if (record.Type == EMR_INTERSECTCLIPRECT)
            IntersectClipRect(FDc, r.rcl.left, r.rcl.top, r.rcl.right, r.rcl.bottom);
        else
            ExcludeClipRect(FDc, r.rcl.left, r.rcl.top, r.rcl.right, r.rcl.bottom);
        return true;
    }
    case EMR_OFFSETCLIPRGN: {
        EMRTWO r;
        if (!ReadFixed(record, r))
            return false;
        OffsetClipRgn(FDc, r.X, r.Y);
        return true;
    }
    case EMR_SETMETARGN: SetMetaRgn(FDc); return true;
    case EMR_EXTSELECTCLIPRGN: {
        EMREXTSELECTCLIPRGN r;
        if (!ReadFixed(record, r))
            return false;
        if (r.iMode < RGN_MIN || r.iMode > RGN_MAX)
            return true;
        if (r.cbRgnData == 0) {
            // Only a copy may come without a region: it removes the clip region.
            if (r.iMode == RGN_COPY)
                SelectClipRgn(FDc, nullptr);
            return true;
        }
        std::vector<BYTE> data;
        if (!ReadRegionData(record, sizeof r, r.cbRgnData, data))
            return false;
        // The region is in the metafile's device units, as ExtSelectClipRgn takes it.
        if (HRGN region = DeviceRegion(data)) {
            ExtSelectClipRgn(FDc, region, int(r.iMode));
            DeleteObject(region);
        }
        return true;
    }
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
    case EMR_INVERTRGN:
    case EMR_PAINTRGN: {
        std::size_t at = sizeof(EMRINVERTRGN);
        DWORD size = 0, brushIndex = 0;
        SIZEL stroke{};
        if (record.Type == EMR_FILLRGN) {
            EMRFILLRGN r;
            if (!ReadFixed(record, r))
                return false;
            at = sizeof r, size = r.cbRgnData, brushIndex = r.ihBrush;
        } else if (record.Type == EMR_FRAMERGN) {
            EMRFRAMERGN r;
            if (!ReadFixed(record, r))
                return false;
            at = sizeof r, size = r.cbRgnData, brushIndex = r.ihBrush, stroke = r.szlStroke;
        } else {
            EMRINVERTRGN r;
            if (!ReadFixed(record, r))
                return false;
            size = r.cbRgnData;
        }
        std::vector<BYTE> data;
        if (!ReadRegionData(record, at, size, data))
            return false;
        HRGN region = LogicalRegion(data);
        if (region == nullptr)
            return true;
        auto* brush = static_cast<HBRUSH>(Object(brushIndex));
        switch (record.Type) {
        case EMR_FILLRGN:
            if (brush != nullptr)
                FillRgn(FDc, region, brush);
            break;
        case EMR_FRAMERGN:
            if (brush != nullptr)
                FrameRgn(FDc, region, brush, stroke.cx, stroke.cy);
            break;
        case EMR_INVERTRGN: InvertRgn(FDc, region); break;
        default: PaintRgn(FDc, region); break;
        }
        DeleteObject(region);
        return true;
    }
    default: return true;
    }
}

// ---- bitmaps ---------------------------------------------------------------------------------

// The source rectangle through the record's source transform, which may scale and move it; one
// that turns it is not played.
bool EmfSourceRect(const XFORM& x, LONG sx, LONG sy, LONG width, LONG height, int out[4]) {
    if (x.eM12 != 0.0f || x.eM21 != 0.0f || !Finite(x))
        return false;
    const double values[4] = {sx * double(x.eM11) + x.eDx, sy * double(x.eM22) + x.eDy, width * double(x.eM11),
                              height * double(x.eM22)};
    for (int i = 0; i < 4; ++i) {
        if (!(std::fabs(values[i]) < 1e9))
            return false;
        out[i] = int(std::floor(values[i] + 0.5));
    }
    return true;
}

bool TEmfPlayer::PlayBitmap(const TEmfRecord& record) {
    switch (record.Type) {
    case EMR_BITBLT:
    case EMR_STRETCHBLT: {
        EMRSTRETCHBLT r{};
        if (record.Type == EMR_BITBLT ? !ReadFixed(record, r.blt) : !ReadFixed(record, r))
            return false;
        const EMRBITBLT& b = r.blt;
        TEmfDib dib;
        if (!ReadDib(record, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc, dib))
            return false;
        if (dib.Empty()) {
            // No source: the raster operation uses the pattern and the destination only.
            PatBlt(FDc, b.xDest, b.yDest, b.cxDest, b.cyDest, b.dwRop);
            return true;
        }
        if (record.Type == EMR_BITBLT)
            r.cxSrc = b.cxDest, r.cySrc = b.cyDest;
        int source[4];
        if (!EmfSourceRect(b.xformSrc, b.xSrc, b.ySrc, r.cxSrc, r.cySrc, source))
            return true;
        TSourceContext context(FDc, dib, b.iUsageSrc, b.crBkColorSrc);
        if (context.Dc() != nullptr)
            StretchBlt(FDc, b.xDest, b.yDest, b.cxDest, b.cyDest, context.Dc(), source[0], source[1], source[2],
                       source[3], b.dwRop);
        return true;
    }
    case EMR_MASKBLT: {
        EMRMASKBLT r;
        TEmfDib dib, mask;
        if (!ReadFixed(record, r) ||
            !ReadDib(record, r.blt.offBmiSrc, r.blt.cbBmiSrc, r.blt.offBitsSrc, r.blt.cbBitsSrc, dib) ||
            !ReadDib(record, r.offBmiMask, r.cbBmiMask, r.offBitsMask, r.cbBitsMask, mask))
            return false;
        DrawTransferRecord(FDc, record);
        return true;
    }
    case EMR_STRETCHDIBITS: {
        EMRSTRETCHDIBITS r;
        if (!ReadFixed(record, r))
            return false;
        TEmfDib dib;
        if (!ReadDib(record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, dib))
            return false;
        if (dib.Empty()) {
            PatBlt(FDc, r.xDest, r.yDest, r.cxDest, r.cyDest, r.dwRop);
            return true;
        }
        StretchDIBits(FDc, r.xDest, r.yDest, r.cxDest, r.cyDest, r.xSrc, r.ySrc, r.cxSrc, r.cySrc, dib.Bits,
                      dib.Header(), r.iUsageSrc == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS, r.dwRop);
        return true;
    }
    default: return true;
    }
}

// ---- the record stream -----------------------------------------------------------------------

bool TEmfPlayer::PlayRecord(const TEmfRecord& record) {
    bool handled = false;
    if (!PlayPending(record, handled))
        return false;
    if (handled)
        return true;
    switch (record.Type) {
    case EMR_SETMAPMODE:
    case EMR_SETWINDOWEXTEX:
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTEXTEX:
    case EMR_SETVIEWPORTORGEX:
    case EMR_SCALEWINDOWEXTEX:
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM: return PlayTransform(record);
    case EMR_SETBKMODE:
    case EMR_SETBKCOLOR:
    case EMR_SETTEXTCOLOR:
    case EMR_SETROP2:
    case EMR_SETPOLYFILLMODE:
    case EMR_SETSTRETCHBLTMODE:
    case EMR_SETTEXTALIGN:
    case EMR_SETBRUSHORGEX:
    case EMR_MOVETOEX:
    case EMR_SETTEXTJUSTIFICATION:
    case EMR_SAVEDC:
    case EMR_RESTOREDC: return PlayState(record);
    case EMR_SELECTOBJECT:
    case EMR_DELETEOBJECT:
    case EMR_SELECTPALETTE:
    case EMR_REALIZEPALETTE:
    case EMR_CREATEPEN:
    case EMR_EXTCREATEPEN:
    case EMR_CREATEBRUSHINDIRECT:
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
    case EMR_EXTCREATEFONTINDIRECTW:
    case EMR_CREATEPALETTE:
    case EMR_SETPALETTEENTRIES:
    case EMR_RESIZEPALETTE: return PlayObject(record);
    case EMR_LINETO:
    case EMR_RECTANGLE:
    case EMR_SETPIXELV:
    case EMR_POLYGON:
    case EMR_POLYGON16:
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
    case EMR_POLYLINETO:
    case EMR_POLYLINETO16:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16:
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYLINE16: return PlayDrawing(record);
    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT:
    case EMR_OFFSETCLIPRGN:
    case EMR_SETMETARGN:
    case EMR_EXTSELECTCLIPRGN:
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
    case EMR_INVERTRGN:
    case EMR_PAINTRGN: return PlayClip(record);
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_MASKBLT:
    case EMR_STRETCHDIBITS: return PlayBitmap(record);
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW:
    case EMR_SMALLTEXTOUT: return PlayText(record);
    default:
        // Comments (EMF+ records of dual files, embedded Windows metafiles, public comments),
        // records with no effect on pixels here (colour adjustment, colour spaces and profiles,
        // mapper flags, ICM mode, layout, escapes) and unknown records.
        return true;
    }
}

bool TEmfPlayer::Play(const BYTE* data, std::size_t size) {
    if (FBaseLevel == 0)
        return false;
    std::size_t offset = FHeader.nSize;
    while (offset + 8 <= size) {
        const TEmfRecord record = RecordAt(data, offset);
        if (record.Type == EMR_EOF)
            return true;
        if (!PlayRecord(record))
            return false;
        offset += record.Size;
    }
    return true;
}

}  // namespace detail

BOOL PlayEnhMetaFile(HDC dc, HENHMETAFILE handle, const RECT* rect) {
    using namespace detail;
    TLock lock(LayerMutex());
    auto* context = Lookup<TDCObj>(dc);
    if (context == nullptr)
        return FALSE;
    auto* metafile = Lookup<TEnhMetaFileObj>(handle);
    if (metafile == nullptr)
        return FALSE;
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ENHMETAHEADER header;
    const std::vector<BYTE>& bytes = metafile->Bytes;
    std::memcpy(&header, bytes.data(), kMinHeaderSize);
    bool played = false;
    {
        TEmfPlayer player(dc, *context, header, *rect);
        played = player.Play(bytes.data(), bytes.size());
    }
    if (!played)
        SetLastError(ERROR_INVALID_DATA);
    return played ? TRUE : FALSE;
}

}  // namespace gdi
