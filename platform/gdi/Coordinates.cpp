// Coordinate spaces: mapping modes, the window and viewport, the world transform, the layout, and
// the conversions every drawing call makes from logical coordinates to device pixels.
//
// The page transform is kept as the integers the caller set and applied as an exact rational
// mapping; the world transform is single-precision as the platform keeps it and is applied in
// double precision. Either way a result is rounded once, half up, at the end.
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Recorder.h"

#include <climits>
#include <cmath>

namespace gdi {
namespace detail {
namespace {

using TWide = __int128;

constexpr long long kWide = 1LL << 62;

long long HoldWide(TWide value) {
    return value < -TWide(kWide) ? -kWide : value > TWide(kWide) ? kWide : (long long)value;
}

long long HoldWide(double value) {
    if (!(value > -double(kWide)))
        return -kWide;
    if (!(value < double(kWide)))
        return kWide;
    return (long long)value;
}

// floor(numerator / denominator) for a positive denominator.
TWide FloorDiv(TWide numerator, TWide denominator) {
    TWide quotient = numerator / denominator;
    if (numerator % denominator != 0 && numerator < 0)
        --quotient;
    return quotient;
}

// numerator / denominator rounded half up; the denominator is never 0.
TWide RoundHalfUp(TWide numerator, TWide denominator) {
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    return FloorDiv(2 * numerator + denominator, 2 * denominator);
}

long long RoundHalfUp(double value) { return HoldWide(std::floor(value + 0.5)); }

// One axis of the page transform or its inverse: (v − fromOrigin) · toExtent / fromExtent + toOrigin.
long long MapAxis(long long v, LONG fromOrigin, LONG fromExtent, LONG toOrigin, LONG toExtent) {
    return HoldWide(RoundHalfUp((TWide(v) - fromOrigin) * toExtent, fromExtent) + toOrigin);
}

bool IsIdentity(const XFORM& m) {
    return m.eM11 == 1.0f && m.eM12 == 0.0f && m.eM21 == 0.0f && m.eM22 == 1.0f && m.eDx == 0.0f && m.eDy == 0.0f;
}

bool HasWorld(const TDCObj& dc) { return dc.GraphicsMode == GM_ADVANCED && !IsIdentity(dc.World); }

long long HoldDevice(long long value) { return std::clamp(value, -kDeviceLimit, kDeviceLimit); }

}  // namespace

bool WorldRotates(const TDCObj& dc) {
    return dc.GraphicsMode == GM_ADVANCED && (dc.World.eM12 != 0.0f || dc.World.eM21 != 0.0f);
}

LONG LayoutWidth(const TDCObj& dc) {
    if (!dc.IsMemory)
        return State().Screen.Width;
    TObject* object = Find(dc.Bitmap);
    return object != nullptr && object->Kind == TKind::Bitmap ? static_cast<TBitmapObj*>(object)->Width : 0;
}

void ToDevice(const TDCObj& dc, long long x, long long y, long long& dx, long long& dy) {
    if (!HasWorld(dc)) {
        dx = MapAxis(x, dc.WindowOrg.x, dc.WindowExt.cx, dc.ViewportOrg.x, dc.ViewportExt.cx);
        dy = MapAxis(y, dc.WindowOrg.y, dc.WindowExt.cy, dc.ViewportOrg.y, dc.ViewportExt.cy);
        return;
    }
    const XFORM& m = dc.World;
    const double px = double(x) * m.eM11 + double(y) * m.eM21 + m.eDx;
    const double py = double(x) * m.eM12 + double(y) * m.eM22 + m.eDy;
    dx = RoundHalfUp((px - dc.WindowOrg.x) * dc.ViewportExt.cx / dc.WindowExt.cx + dc.ViewportOrg.x);
    dy = RoundHalfUp((py - dc.WindowOrg.y) * dc.ViewportExt.cy / dc.WindowExt.cy + dc.ViewportOrg.y);
}

void ToLogical(const TDCObj& dc, long long dx, long long dy, long long& x, long long& y) {
    if (!HasWorld(dc)) {
        x = MapAxis(dx, dc.ViewportOrg.x, dc.ViewportExt.cx, dc.WindowOrg.x, dc.WindowExt.cx);
        y = MapAxis(dy, dc.ViewportOrg.y, dc.ViewportExt.cy, dc.WindowOrg.y, dc.WindowExt.cy);
        return;
    }
    const double px = (double(dx) - dc.ViewportOrg.x) * dc.WindowExt.cx / dc.ViewportExt.cx + dc.WindowOrg.x;
    const double py = (double(dy) - dc.ViewportOrg.y) * dc.WindowExt.cy / dc.ViewportExt.cy + dc.WindowOrg.y;
    const XFORM& m = dc.World;
    // SetWorldTransform refuses singular matrices, so the determinant is never 0.
    const double det = double(m.eM11) * m.eM22 - double(m.eM12) * m.eM21;
    const double ux = px - m.eDx, uy = py - m.eDy;
    x = RoundHalfUp((ux * m.eM22 - uy * m.eM21) / det);
    y = RoundHalfUp((uy * m.eM11 - ux * m.eM12) / det);
}

TDevicePoint DevicePoint(const TDCObj& dc, long long x, long long y) {
    TDevicePoint point;
    ToDevice(dc, x, y, point.X, point.Y);
    if (dc.Layout & LAYOUT_RTL)
        point.X = LayoutWidth(dc) - 1LL - point.X;
    return TDevicePoint{HoldDevice(point.X), HoldDevice(point.Y)};
}

TDeviceRect DeviceRect(const TDCObj& dc, long long x, long long y, long long width, long long height) {
    long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (WorldRotates(dc)) {
        const long long xs[2] = {x, x + width}, ys[2] = {y, y + height};
        x0 = y0 = kWide;
        x1 = y1 = -kWide;
        for (long long cornerX : xs) {
            for (long long cornerY : ys) {
                long long dx = 0, dy = 0;
                ToDevice(dc, cornerX, cornerY, dx, dy);
                x0 = std::min(x0, dx), x1 = std::max(x1, dx);
                y0 = std::min(y0, dy), y1 = std::max(y1, dy);
            }
        }
    } else {
        ToDevice(dc, x, y, x0, y0);
        ToDevice(dc, x + width, y + height, x1, y1);
    }
    TDeviceRect rect;
    if (dc.Layout & LAYOUT_RTL) {
        // Pixel columns mirror, so edges map e → width − e: a rectangle over the whole surface
        // still covers all of it.
        const long long mirror = LayoutWidth(dc);
        x0 = mirror - x0;
        x1 = mirror - x1;
        rect.Mirrored = true;
    }
    x0 = HoldDevice(x0), x1 = HoldDevice(x1), y0 = HoldDevice(y0), y1 = HoldDevice(y1);
    rect.X = x0;
    rect.Y = y0;
    rect.Width = x1 - x0;
    rect.Height = y1 - y0;
    return rect;
}

void UnitLengths(const TDCObj& dc, double& alongX, double& alongY) {
    const double pageX = double(dc.ViewportExt.cx) / dc.WindowExt.cx;
    const double pageY = double(dc.ViewportExt.cy) / dc.WindowExt.cy;
    XFORM m{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    if (dc.GraphicsMode == GM_ADVANCED)
        m = dc.World;
    alongX = std::hypot(m.eM11 * pageX, m.eM12 * pageY);
    alongY = std::hypot(m.eM21 * pageX, m.eM22 * pageY);
}

void ScreenMillimetres(int& horizontal, int& vertical) {
    const TScreenSettings& screen = State().Screen;
    horizontal = MulDiv(screen.Width, 254, screen.LogPixelsX * 10);
    vertical = MulDiv(screen.Height, 254, screen.LogPixelsY * 10);
}

namespace {

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Only these two modes let the caller choose the extents.
bool ExtentsFree(int mode) { return mode == MM_ISOTROPIC || mode == MM_ANISOTROPIC; }

// The fixed modes' extents: the window is the screen's size in the mode's units, the viewport its
// size in pixels with y pointing up. MM_ISOTROPIC starts from MM_LOMETRIC's, which are isotropic.
void SetFixedExtents(TDrawingState& state, int mode) {
    if (mode == MM_TEXT) {
        state.WindowExt = state.ViewportExt = SIZE{1, 1};
        return;
    }
    int width = 0, height = 0;
    ScreenMillimetres(width, height);
    switch (mode) {
    case MM_HIMETRIC: state.WindowExt = SIZE{width * 100, height * 100}; break;
    case MM_LOENGLISH: state.WindowExt = SIZE{MulDiv(width, 1000, 254), MulDiv(height, 1000, 254)}; break;
    case MM_HIENGLISH: state.WindowExt = SIZE{MulDiv(width, 10000, 254), MulDiv(height, 10000, 254)}; break;
    case MM_TWIPS: state.WindowExt = SIZE{MulDiv(width, 14400, 254), MulDiv(height, 14400, 254)}; break;
    default: state.WindowExt = SIZE{width * 10, height * 10}; break;
    }
    const TScreenSettings& screen = State().Screen;
    state.ViewportExt = SIZE{screen.Width, -screen.Height};
}

// MM_ISOTROPIC keeps one logical unit equally long on the device in both directions, measured in
// millimetres (the screen's pixels need not be square): the viewport extent of the direction
// whose units come out longer shrinks to match, keeping its sign and at least 1.
void AdjustIsotropic(TDrawingState& state) {
    int width = 0, height = 0;
    ScreenMillimetres(width, height);
    const TScreenSettings& screen = State().Screen;
    if (width <= 0 || height <= 0 || screen.Width <= 0 || screen.Height <= 0)
        return;
    const auto magnitude = [](LONG value) { return value < 0 ? -TWide(value) : TWide(value); };
    const TWide vx = magnitude(state.ViewportExt.cx), vy = magnitude(state.ViewportExt.cy);
    const TWide wx = magnitude(state.WindowExt.cx), wy = magnitude(state.WindowExt.cy);
    // Millimetres per unit along x is vx·width / (wx·screen.Width), along y vy·height / (wy·screen.Height);
    // compared cross-multiplied.
    const TWide xLength = vx * width * wy * screen.Height;
    const TWide yLength = vy * height * wx * screen.Width;
    if (xLength > yLength) {
        const TWide shrunk = std::max<TWide>(1, RoundHalfUp(vy * height * wx * screen.Width, wy * screen.Height * width));
        state.ViewportExt.cx = LONG(state.ViewportExt.cx < 0 ? -shrunk : shrunk);
    } else if (yLength > xLength) {
        const TWide shrunk = std::max<TWide>(1, RoundHalfUp(vx * width * wy * screen.Height, wx * screen.Width * height));
        state.ViewportExt.cy = LONG(state.ViewportExt.cy < 0 ? -shrunk : shrunk);
    }
}

bool ValidTransform(const XFORM& m) {
    for (float value : {m.eM11, m.eM12, m.eM21, m.eM22, m.eDx, m.eDy}) {
        if (!std::isfinite(value))
            return false;
    }
    // In the precision the platform keeps: a matrix whose determinant vanishes or overflows
    // there has no usable inverse.
    const float det = m.eM11 * m.eM22 - m.eM12 * m.eM21;
    return det != 0.0f && std::isfinite(det);
}

// first, then second.
bool Combine(const XFORM& a, const XFORM& b, XFORM& result) {
    const double m11 = double(a.eM11) * b.eM11 + double(a.eM12) * b.eM21;
    const double m12 = double(a.eM11) * b.eM12 + double(a.eM12) * b.eM22;
    const double m21 = double(a.eM21) * b.eM11 + double(a.eM22) * b.eM21;
    const double m22 = double(a.eM21) * b.eM12 + double(a.eM22) * b.eM22;
    const double dx = double(a.eDx) * b.eM11 + double(a.eDy) * b.eM21 + b.eDx;
    const double dy = double(a.eDx) * b.eM12 + double(a.eDy) * b.eM22 + b.eDy;
    const XFORM made{float(m11), float(m12), float(m21), float(m22), float(dx), float(dy)};
    for (float value : {made.eM11, made.eM12, made.eM21, made.eM22, made.eDx, made.eDy}) {
        if (!std::isfinite(value))
            return false;
    }
    result = made;
    return true;
}

// The origin calls share one shape: any mode, the previous value out.
BOOL SetOrigin(HDC handle, POINT TDrawingState::*field, long long x, long long y, POINT* previous, bool offset) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    POINT& origin = dc->*field;
    if (offset) {
        x += origin.x;
        y += origin.y;
    }
    if (x < INT_MIN || x > INT_MAX || y < INT_MIN || y > INT_MAX)
        return Refuse(ERROR_INVALID_PARAMETER);
    // An offset is recorded as the origin it makes.
    if (Recording(*dc) &&
        !RecordPoint(*dc, field == &TDrawingState::WindowOrg ? EMR_SETWINDOWORGEX : EMR_SETVIEWPORTORGEX, x, y))
        return FALSE;
    if (previous != nullptr)
        *previous = origin;
    origin = POINT{LONG(x), LONG(y)};
    return TRUE;
}

template <typename T>
BOOL GetValue(HDC handle, T TDrawingState::*field, T* out) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (out == nullptr)
        return Refuse(ERROR_INVALID_PARAMETER);
    *out = dc->*field;
    return TRUE;
}

// The fixed modes ignore new extents and still succeed, as the platform documents; 0 is never an
// extent.
BOOL SetExtent(HDC handle, SIZE TDrawingState::*field, int x, int y, SIZE* previous) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (previous != nullptr)
        *previous = dc->*field;
    if (!ExtentsFree(dc->MapMode))
        return TRUE;
    if (x == 0 || y == 0)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (Recording(*dc) &&
        !RecordPoint(*dc, field == &TDrawingState::WindowExt ? EMR_SETWINDOWEXTEX : EMR_SETVIEWPORTEXTEX, x, y))
        return FALSE;
    dc->*field = SIZE{x, y};
    if (dc->MapMode == MM_ISOTROPIC)
        AdjustIsotropic(*dc);
    return TRUE;
}

// new = old · num / denom, truncated toward zero. A factor of 0 is refused; a result of 0 leaves
// both extents as they were (the call still succeeds), a result beyond 32 bits is refused.
BOOL ScaleExtent(HDC handle, SIZE TDrawingState::*field, int xNum, int xDenom, int yNum, int yDenom,
                 SIZE* previous) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    SIZE& extent = dc->*field;
    if (previous != nullptr)
        *previous = extent;
    if (!ExtentsFree(dc->MapMode))
        return TRUE;
    if (xNum == 0 || xDenom == 0 || yNum == 0 || yDenom == 0)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (Recording(*dc) &&
        !RecordScale(*dc, field == &TDrawingState::WindowExt ? EMR_SCALEWINDOWEXTEX : EMR_SCALEVIEWPORTEXTEX, xNum,
                     xDenom, yNum, yDenom))
        return FALSE;
    const long long x = (long long)extent.cx * xNum / xDenom;
    const long long y = (long long)extent.cy * yNum / yDenom;
    if (x == 0 || y == 0)
        return TRUE;
    if (x < INT_MIN || x > INT_MAX || y < INT_MIN || y > INT_MAX)
        return Refuse(ERROR_INVALID_PARAMETER);
    extent = SIZE{LONG(x), LONG(y)};
    if (dc->MapMode == MM_ISOTROPIC)
        AdjustIsotropic(*dc);
    return TRUE;
}

bool FitsDevice(long long value) { return value > -kDeviceCoordinateLimit && value < kDeviceCoordinateLimit; }

}  // namespace
}  // namespace detail

using namespace detail;

int SetMapMode(HDC handle, int mode) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return 0;
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (Recording(*dc) && !RecordValue(*dc, EMR_SETMAPMODE, DWORD(mode)))
        return 0;
    const int previous = dc->MapMode;
    if (mode == previous)
        return previous;
    dc->MapMode = mode;
    // MM_ANISOTROPIC keeps whatever extents the previous mode had.
    if (mode != MM_ANISOTROPIC)
        SetFixedExtents(*dc, mode == MM_ISOTROPIC ? MM_LOMETRIC : mode);
    return previous;
}

int GetMapMode(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    return dc != nullptr ? dc->MapMode : 0;
}

BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* previous) {
    return SetOrigin(dc, &TDrawingState::WindowOrg, x, y, previous, false);
}
BOOL GetWindowOrgEx(HDC dc, POINT* origin) { return GetValue(dc, &TDrawingState::WindowOrg, origin); }
BOOL OffsetWindowOrgEx(HDC dc, int dx, int dy, POINT* previous) {
    return SetOrigin(dc, &TDrawingState::WindowOrg, dx, dy, previous, true);
}
BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* previous) {
    return SetOrigin(dc, &TDrawingState::ViewportOrg, x, y, previous, false);
}
BOOL GetViewportOrgEx(HDC dc, POINT* origin) { return GetValue(dc, &TDrawingState::ViewportOrg, origin); }
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* previous) {
    return SetOrigin(dc, &TDrawingState::ViewportOrg, dx, dy, previous, true);
}
BOOL SetWindowExtEx(HDC dc, int x, int y, SIZE* previous) {
    return SetExtent(dc, &TDrawingState::WindowExt, x, y, previous);
}
BOOL GetWindowExtEx(HDC dc, SIZE* extent) { return GetValue(dc, &TDrawingState::WindowExt, extent); }
BOOL SetViewportExtEx(HDC dc, int x, int y, SIZE* previous) {
    return SetExtent(dc, &TDrawingState::ViewportExt, x, y, previous);
}
BOOL GetViewportExtEx(HDC dc, SIZE* extent) { return GetValue(dc, &TDrawingState::ViewportExt, extent); }
BOOL ScaleWindowExtEx(HDC dc, int xNum, int xDenom, int yNum, int yDenom, SIZE* previous) {
    return ScaleExtent(dc, &TDrawingState::WindowExt, xNum, xDenom, yNum, yDenom, previous);
}
BOOL ScaleViewportExtEx(HDC dc, int xNum, int xDenom, int yNum, int yDenom, SIZE* previous) {
    return ScaleExtent(dc, &TDrawingState::ViewportExt, xNum, xDenom, yNum, yDenom, previous);
}

namespace {

// Converts every point or none: nothing is written unless each of them converts.
template <typename TConvert>
BOOL ConvertAll(POINT* points, int count, TConvert convert) {
    long long x = 0, y = 0;
    for (int i = 0; i < count; ++i) {
        if (!convert(points[i], x, y))
            return Refuse(ERROR_INVALID_PARAMETER);
    }
    for (int i = 0; i < count; ++i) {
        convert(points[i], x, y);
        points[i] = POINT{LONG(x), LONG(y)};
    }
    return TRUE;
}

}  // namespace

BOOL LPtoDP(HDC handle, POINT* points, int count) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (count < 0 || (points == nullptr && count > 0))
        return Refuse(ERROR_INVALID_PARAMETER);
    const bool mirror = (dc->Layout & LAYOUT_RTL) != 0;
    const long long width = mirror ? LayoutWidth(*dc) : 0;
    const auto convert = [&](const POINT& point, long long& x, long long& y) {
        ToDevice(*dc, point.x, point.y, x, y);
        if (mirror)
            x = width - 1 - x;
        return FitsDevice(x) && FitsDevice(y);
    };
    return ConvertAll(points, count, convert);
}

BOOL DPtoLP(HDC handle, POINT* points, int count) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (count < 0 || (points == nullptr && count > 0))
        return Refuse(ERROR_INVALID_PARAMETER);
    const bool mirror = (dc->Layout & LAYOUT_RTL) != 0;
    const long long width = mirror ? LayoutWidth(*dc) : 0;
    const auto convert = [&](const POINT& point, long long& x, long long& y) {
        if (!FitsDevice(point.x) || !FitsDevice(point.y))
            return false;
        ToLogical(*dc, mirror ? width - 1 - point.x : point.x, point.y, x, y);
        return x >= INT_MIN && x <= INT_MAX && y >= INT_MIN && y <= INT_MAX;
    };
    return ConvertAll(points, count, convert);
}

int SetGraphicsMode(HDC handle, int mode) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return 0;
    // Going back to GM_COMPATIBLE needs the identity world transform first, as documented.
    if ((mode != GM_COMPATIBLE && mode != GM_ADVANCED) || (mode == GM_COMPATIBLE && !IsIdentity(dc->World))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return std::exchange(dc->GraphicsMode, mode);
}

int GetGraphicsMode(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    return dc != nullptr ? dc->GraphicsMode : 0;
}

BOOL SetWorldTransform(HDC handle, const XFORM* transform) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (transform == nullptr || dc->GraphicsMode != GM_ADVANCED || !ValidTransform(*transform))
        return Refuse(ERROR_INVALID_PARAMETER);
    if (Recording(*dc) && !RecordTransform(*dc, EMR_SETWORLDTRANSFORM, *transform, 0))
        return FALSE;
    dc->World = *transform;
    return TRUE;
}

BOOL GetWorldTransform(HDC dc, XFORM* transform) { return GetValue(dc, &TDrawingState::World, transform); }

BOOL ModifyWorldTransform(HDC handle, const XFORM* transform, DWORD mode) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return FALSE;
    if (dc->GraphicsMode != GM_ADVANCED)
        return Refuse(ERROR_INVALID_PARAMETER);
    if (mode == MWT_IDENTITY) {
        if (Recording(*dc) && !RecordTransform(*dc, EMR_MODIFYWORLDTRANSFORM, XFORM{1, 0, 0, 1, 0, 0}, mode))
            return FALSE;
        dc->World = XFORM{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
        return TRUE;
    }
    if (transform == nullptr || (mode != MWT_LEFTMULTIPLY && mode != MWT_RIGHTMULTIPLY))
        return Refuse(ERROR_INVALID_PARAMETER);
    XFORM made{};
    const bool combined = mode == MWT_LEFTMULTIPLY ? Combine(*transform, dc->World, made)
                                                   : Combine(dc->World, *transform, made);
    if (!combined || !ValidTransform(made))
        return Refuse(ERROR_INVALID_PARAMETER);
    if (Recording(*dc) && !RecordTransform(*dc, EMR_MODIFYWORLDTRANSFORM, *transform, mode))
        return FALSE;
    dc->World = made;
    return TRUE;
}

BOOL CombineTransform(XFORM* result, const XFORM* first, const XFORM* second) {
    if (result == nullptr || first == nullptr || second == nullptr)
        return Refuse(ERROR_INVALID_PARAMETER);
    XFORM made{};
    if (!Combine(*first, *second, made))
        return Refuse(ERROR_INVALID_PARAMETER);
    *result = made;
    return TRUE;
}

DWORD SetLayout(HDC handle, DWORD layout) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    if (dc == nullptr)
        return GDI_ERROR;
    if ((layout & ~(LAYOUT_RTL | LAYOUT_BITMAPORIENTATIONPRESERVED)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return GDI_ERROR;
    }
    const DWORD previous = std::exchange(dc->Layout, layout);
    // A right-to-left layout turns MM_TEXT into MM_ISOTROPIC, as documented; the extents stay,
    // so the mapping itself is unchanged.
    if ((layout & LAYOUT_RTL) && dc->MapMode == MM_TEXT)
        dc->MapMode = MM_ISOTROPIC;
    return previous;
}

DWORD GetLayout(HDC handle) {
    TLock lock(LayerMutex());
    auto* dc = Lookup<TDCObj>(handle);
    return dc != nullptr ? dc->Layout : GDI_ERROR;
}

}  // namespace gdi
