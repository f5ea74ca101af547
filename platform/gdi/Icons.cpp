// Icons: made from bit arrays, drawn through the transfer engine with their mask and image (or
// blended by the image's alpha), copied out as bitmaps, and the shared application icon.
#include "platform/gdi/Coordinates.h"
#include "platform/gdi/Transfer.h"

#include <algorithm>
#include <climits>

namespace gdi::detail {
namespace {

std::nullptr_t RefuseHandle(DWORD error) {
    SetLastError(error);
    return nullptr;
}

BOOL Refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Rows of the bit arrays CreateIcon takes are padded to 16 bits, like CreateBitmap's.
std::size_t WordRowBytes(LONG width, int bitsPixel) {
    return (std::size_t(width) * std::size_t(bitsPixel) + 15) / 16 * 2;
}

// Whether a 32-bit image carries alpha: any pixel with a non-zero spare byte.
bool CarriesAlpha(const TBitmapObj& color) {
    if (color.BitsPixel != 32)
        return false;
    const DWORD alphaBits = ~(color.Masks[0] | color.Masks[1] | color.Masks[2]);
    if (alphaBits == 0)
        return false;
    for (LONG y = 0; y < color.Height; ++y) {
        const BYTE* row = color.Row(y);
        for (LONG x = 0; x < color.Width; ++x) {
            if (ReadPixel(row, x, 32) & alphaBits)
                return true;
        }
    }
    return false;
}

// The context's colours and stretch mode for the length of one icon drawing: monochrome bits are
// black and white, and stretching never combines pixels.
class TIconDrawingState {
public:
    explicit TIconDrawingState(TDCObj& dc)
        : FDC(dc), FText(dc.TextColor), FBack(dc.BkColor), FMode(dc.StretchMode) {
        dc.TextColor = RGB(0, 0, 0);
        dc.BkColor = RGB(255, 255, 255);
        dc.StretchMode = COLORONCOLOR;
    }
    ~TIconDrawingState() {
        FDC.TextColor = FText;
        FDC.BkColor = FBack;
        FDC.StretchMode = FMode;
    }
    TIconDrawingState(const TIconDrawingState&) = delete;
    TIconDrawingState& operator=(const TIconDrawingState&) = delete;

private:
    TDCObj& FDC;
    COLORREF FText, FBack;
    int FMode;
};

struct TIconPlacement {
    TDCObj* DC;
    TBitmapObj* Dest;
    long long X, Y, Width, Height;  // the destination rectangle in device pixels; negative turns over
    LONG SourceWidth, SourceHeight;
};

// One bitmap of the icon (rows top … top + height of source) onto the destination rectangle.
bool Pass(const TIconPlacement& at, const TBitmapObj& source, LONG top, DWORD rop, const TBrushObj* brush = nullptr) {
    TTransfer transfer;
    transfer.DestDC = at.DC;
    transfer.Dest = at.Dest;
    transfer.X = at.X;
    transfer.Y = at.Y;
    transfer.Width = at.Width;
    transfer.Height = at.Height;
    transfer.Fore = transfer.Back = RopIndex(rop);
    transfer.Source = &source;
    transfer.SX = 0;
    transfer.SY = top;
    transfer.SWidth = at.SourceWidth;
    transfer.SHeight = at.SourceHeight;
    transfer.Brush = brush;
    return RunTransfer(transfer);
}

// Straight alpha over the destination: each destination pixel takes the centre pixel of its
// source box, as COLORONCOLOR would, and mixes with what is there by the pixel's alpha.
void BlendByAlpha(const TIconPlacement& at, const TBitmapObj& color) {
    TBitmapObj& dest = *at.Dest;
    const TInterval columns = Normalise(at.X, at.Width), rows = Normalise(at.Y, at.Height);
    const TAxisMap xMap{columns, TInterval{0, color.Width}, at.Width < 0, color.Width};
    const TAxisMap yMap{rows, TInterval{0, color.Height}, at.Height < 0, color.Height};
    const TClipper clipper(*at.DC, dest);
    TFormat format(dest);
    const int bpp = dest.BitsPixel;
    const TClip box{columns.Start, columns.Start + columns.Length, rows.Start, rows.Start + rows.Length};
    clipper.ForEachRect(box, [&](const TClip& piece) {
        for (long long y = piece.Y0; y < piece.Y1; ++y) {
            const long long sy = yMap.Centre(y - rows.Start);
            if (sy < 0 || sy >= color.Height)
                continue;
            const BYTE* source = color.Row(LONG(sy));
            BYTE* row = dest.Row(LONG(y));
            for (long long x = piece.X0; x < piece.X1; ++x) {
                const long long sx = xMap.Centre(x - columns.Start);
                if (sx < 0 || sx >= color.Width)
                    continue;
                const DWORD pixel = ReadPixel(source, LONG(sx), 32);
                const DWORD alpha = pixel >> 24;
                if (alpha == 0)
                    continue;
                const DWORD red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
                COLORREF mixed = RGB(BYTE(red), BYTE(green), BYTE(blue));
                if (alpha < 255) {
                    const COLORREF under = format.Decode(ReadPixel(row, LONG(x), bpp));
                    const auto mix = [alpha](DWORD over, DWORD below) {
                        return BYTE((over * alpha + below * (255 - alpha) + 127) / 255);
                    };
                    mixed = RGB(mix(red, GetRValue(under)), mix(green, GetGValue(under)), mix(blue, GetBValue(under)));
                }
                WritePixel(row, LONG(x), bpp, format.Encode(mixed));
            }
        }
    });
}

// The application icon: a small window with a dark frame, a navy title bar and a white client
// area holding a green hill under a yellow sun; everything outside the frame is transparent.
constexpr LONG kApplicationIconSize = 32;

bool InsideFrame(LONG x, LONG y) { return x >= 2 && x <= 29 && y >= 4 && y <= 27; }

COLORREF ApplicationIconColor(LONG x, LONG y) {
    if (x == 2 || x == 29 || y == 4 || y == 27)
        return RGB(0, 0, 0);
    if (y <= 9)
        return (x >= 24 && x <= 27 && y >= 6 && y <= 8) ? RGB(192, 192, 192) : RGB(0, 0, 128);
    const LONG dx = x - 21, dy = y - 15;
    if (dx * dx + dy * dy <= 6)
        return RGB(255, 255, 0);
    const LONG hill = x - 16;
    if (y >= 21 + hill * hill / 24)
        return RGB(0, 128, 0);
    return RGB(255, 255, 255);
}

std::unique_ptr<TIconObj> NewApplicationIcon() {
    auto icon = std::make_unique<TIconObj>();
    icon->Width = icon->Height = kApplicationIconSize;
    icon->Mask = NewBitmapFromWords(kApplicationIconSize, kApplicationIconSize, 1, nullptr);
    icon->Color = NewBitmapFromWords(kApplicationIconSize, kApplicationIconSize, 32, nullptr);
    if (!icon->Mask || !icon->Color)
        return nullptr;
    for (LONG y = 0; y < kApplicationIconSize; ++y) {
        for (LONG x = 0; x < kApplicationIconSize; ++x) {
            const bool inside = InsideFrame(x, y);
            WritePixel(icon->Mask->Row(y), x, 1, inside ? 0u : 1u);
            const COLORREF color = inside ? ApplicationIconColor(x, y) : RGB(0, 0, 0);
            WritePixel(icon->Color->Row(y), x, 32,
                       DWORD(GetRValue(color)) << 16 | DWORD(GetGValue(color)) << 8 | GetBValue(color));
        }
    }
    icon->Stock = true;
    return icon;
}

}  // namespace
}  // namespace gdi::detail

namespace gdi {

using namespace detail;

HICON CreateIcon(HINSTANCE, int width, int height, BYTE planes, BYTE bitsPixel, const BYTE* andBits,
                 const BYTE* xorBits) {
    TLock lock(LayerMutex());
    if (width <= 0 || height <= 0 || andBits == nullptr || xorBits == nullptr)
        return RefuseHandle(ERROR_INVALID_PARAMETER);
    const int depth = int(planes) * int(bitsPixel);
    auto icon = std::make_unique<TIconObj>();
    icon->Width = width;
    icon->Height = height;
    if (depth == 1) {
        // One mask of twice the height: the AND rows, then the XOR rows below them.
        if (height > INT_MAX / 2)
            return RefuseHandle(ERROR_NOT_ENOUGH_MEMORY);
        icon->Mask = NewBitmapFromWords(width, 2 * height, 1, nullptr);
        if (!icon->Mask)
            return nullptr;
        const std::size_t rowBytes = WordRowBytes(width, 1);
        for (LONG y = 0; y < height; ++y) {
            std::memcpy(icon->Mask->Row(y), andBits + std::size_t(y) * rowBytes, rowBytes);
            std::memcpy(icon->Mask->Row(height + y), xorBits + std::size_t(y) * rowBytes, rowBytes);
        }
    } else {
        icon->Mask = NewBitmapFromWords(width, height, 1, andBits);
        if (!icon->Mask)
            return nullptr;
        icon->Color = NewBitmapFromWords(width, height, depth, xorBits);
        if (!icon->Color)
            return nullptr;
    }
    return static_cast<HICON>(Register(std::move(icon)));
}

BOOL DestroyIcon(HICON icon) {
    TLock lock(LayerMutex());
    auto* target = Lookup<TIconObj>(icon);
    if (target == nullptr)
        return FALSE;
    if (target->Stock)
        return TRUE;
    return Unregister(icon) ? TRUE : FALSE;
}

BOOL DrawIconEx(HDC dc, int left, int top, HICON icon, int width, int height, UINT, HBRUSH flickerFreeBrush,
                UINT flags) {
    TLock lock(LayerMutex());
    auto* context = Lookup<TDCObj>(dc);
    if (context == nullptr)
        return FALSE;
    auto* target = Lookup<TIconObj>(icon);
    if (target == nullptr)
        return FALSE;
    if ((flags & DI_NORMAL) == 0 || width < 0 || height < 0)
        return Refuse(ERROR_INVALID_PARAMETER);
    const TBrushObj* brush = nullptr;
    if (flickerFreeBrush != nullptr) {
        brush = Lookup<TBrushObj>(flickerFreeBrush);
        if (brush == nullptr)
            return FALSE;
        if (brush->Log.lbStyle == BS_NULL)
            brush = nullptr;
    }
    TBitmapObj* dest = SurfaceOf(*context);
    if (dest == nullptr)
        return FALSE;
    if (width == 0)
        width = (flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CXICON) : target->Width;
    if (height == 0)
        height = (flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CYICON) : target->Height;

    // The rectangle is logical; in a mirrored layout the icon turns over unless DI_NOMIRROR says not.
    TDeviceRect rect = DeviceRect(*context, left, top, width, height);
    if (flags & DI_NOMIRROR)
        KeepOrientation(rect);
    if (rect.Width == 0 || rect.Height == 0)
        return TRUE;
    TIconDrawingState state(*context);
    const TIconPlacement at{context, dest, rect.X, rect.Y, rect.Width, rect.Height, target->Width, target->Height};
    if (brush != nullptr && !Pass(at, *target->Mask, 0, PATCOPY, brush))
        return FALSE;
    // A monochrome icon keeps its XOR image below the AND mask.
    const TBitmapObj& image = target->Color ? *target->Color : *target->Mask;
    const LONG imageTop = target->Color ? 0 : target->Height;
    const bool mask = (flags & DI_MASK) != 0;
    const bool picture = (flags & DI_IMAGE) != 0;
    if (mask && picture) {
        if (target->Color && CarriesAlpha(*target->Color)) {
            BlendByAlpha(at, *target->Color);
            return TRUE;
        }
        return Pass(at, *target->Mask, 0, SRCAND) && Pass(at, image, imageTop, SRCINVERT) ? TRUE : FALSE;
    }
    if (mask)
        return Pass(at, *target->Mask, 0, SRCCOPY) ? TRUE : FALSE;
    return Pass(at, image, imageTop, SRCCOPY) ? TRUE : FALSE;
}

BOOL GetIconInfo(HICON icon, ICONINFO* info) {
    TLock lock(LayerMutex());
    auto* target = Lookup<TIconObj>(icon);
    if (target == nullptr)
        return FALSE;
    if (info == nullptr)
        return Refuse(ERROR_INVALID_PARAMETER);
    auto maskCopy = CloneBitmap(*target->Mask);
    if (!maskCopy)
        return FALSE;
    std::unique_ptr<TBitmapObj> colorCopy;
    if (target->Color) {
        colorCopy = CloneBitmap(*target->Color);
        if (!colorCopy)
            return FALSE;
    }
    auto mask = static_cast<HBITMAP>(Register(std::move(maskCopy)));
    if (mask == nullptr)
        return FALSE;
    HBITMAP color = nullptr;
    if (colorCopy) {
        color = static_cast<HBITMAP>(Register(std::move(colorCopy)));
        if (color == nullptr) {
            Unregister(mask);
            return FALSE;
        }
    }
    // The hot spot of an icon is its centre.
    *info = ICONINFO{TRUE, DWORD(target->Width / 2), DWORD(target->Height / 2), mask, color};
    return TRUE;
}

HICON LoadIconA(HINSTANCE instance, const char* name) {
    TLock lock(LayerMutex());
    if (instance != nullptr || name != IDI_APPLICATION)
        return RefuseHandle(ERROR_RESOURCE_NAME_NOT_FOUND);
    // Shared for the life of the process, like the platform's predefined icons.
    static HICON application = nullptr;
    if (application == nullptr) {
        auto icon = NewApplicationIcon();
        if (!icon)
            return nullptr;
        application = static_cast<HICON>(Register(std::move(icon)));
    }
    return application;
}

}  // namespace gdi
