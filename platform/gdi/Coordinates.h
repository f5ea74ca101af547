// Logical coordinates → device pixels for the drawing calls: each call converts its coordinates
// here at its entry and hands device coordinates to the code that touches pixels.
#pragma once

#include "platform/gdi/Internal.h"

namespace gdi::detail {

/// Device coordinates the drawing calls derive saturate at ±kDeviceLimit: no surface reaches that
/// far, and every extent the transfer engine is given stays within 31 bits, where its stretch
/// arithmetic cannot overflow.
constexpr long long kDeviceLimit = 1LL << 30;

/// The range LPtoDP and DPtoLP accept for device coordinates: 27 bits, as the platform documents.
constexpr long long kDeviceCoordinateLimit = 1LL << 27;

/// Whether the context's world transform rotates or shears (only possible in GM_ADVANCED).
bool WorldRotates(const TDCObj& dc);

/// The width the layout mirrors within: the selected bitmap's, or the screen's.
LONG LayoutWidth(const TDCObj& dc);

/// Logical → device before the layout's mirror, rounded half up and held within ±2^62.
void ToDevice(const TDCObj& dc, long long x, long long y, long long& dx, long long& dy);
/// The inverse of ToDevice, rounded half up and held within ±2^62.
void ToLogical(const TDCObj& dc, long long dx, long long dy, long long& x, long long& y);

struct TDevicePoint {
    long long X = 0;
    long long Y = 0;
};
/// The device pixel a logical point names: the transforms, then the layout's mirror of pixel
/// columns (x → width − 1 − x), saturated at kDeviceLimit.
TDevicePoint DevicePoint(const TDCObj& dc, long long x, long long y);

/// A logical rectangle in the transfer engine's terms: a start and a signed extent per axis, so
/// an axis the transforms reverse keeps its direction (and a blit turns its image over).
struct TDeviceRect {
    long long X = 0, Y = 0, Width = 0, Height = 0;
    bool Mirrored = false;  // the layout mirrored it
};
/// Both corners go through the transforms; a rotating or shearing world transform gives the
/// bounding box of all four corners, with positive extents. The layout mirrors the edges
/// (e → width − e), which turns the horizontal direction over. Saturated at kDeviceLimit.
TDeviceRect DeviceRect(const TDCObj& dc, long long x, long long y, long long width, long long height);
/// The same pixels with the horizontal direction the rectangle had before the layout's mirror.
inline void KeepOrientation(TDeviceRect& rect) {
    if (rect.Mirrored) {
        rect.X += rect.Width;
        rect.Width = -rect.Width;
    }
}

/// How long one logical unit along x and along y is in device pixels (the linear part of the
/// world and page transforms applied to the unit vectors); text is sized and measured with it.
void UnitLengths(const TDCObj& dc, double& alongX, double& alongY);

/// The modelled screen's size in millimetres, as GetDeviceCaps reports HORZSIZE and VERTSIZE.
void ScreenMillimetres(int& horizontal, int& vertical);

}  // namespace gdi::detail
