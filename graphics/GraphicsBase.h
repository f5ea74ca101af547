// What every part of the picture framework shares: colours, rectangles, the framework's
// exception classes, the GDI error, and the module's start-up and shutdown.
#pragma once

#include "platform/base/Exception.h"
#include "platform/base/Persistent.h"
#include "platform/gdi/Gdi.h"

#include <cstdint>
#include <functional>
#include <string>

namespace graphics {

using gdi::HBITMAP;
using gdi::HDC;
using gdi::HPALETTE;

/// A colour: 0x00BBGGRR is an RGB colour with red in the low byte; a negative value is a system
/// colour whose low byte is the platform's system-colour index.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clWindowText = TColor(0x80000008u);
/// Only as a bitmap's transparent-colour setting: choose the colour automatically.
constexpr TColor ColorDefault = 0x20000000;
/// No colour at all (a mask without transparent pixels).
constexpr TColor clNone = 0x1FFFFFFF;

/// A system colour becomes its current RGB value; every other value keeps its low three bytes.
gdi::COLORREF ColorToRGB(TColor color);

using TNotifyEvent = std::function<void(TPersistent* sender)>;

using TRect = gdi::RECT;
inline TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }

}  // namespace graphics

VISTEL_EXCEPTION(EInvalidGraphic, Exception);
VISTEL_EXCEPTION(EInvalidGraphicOperation, Exception);
VISTEL_EXCEPTION(EOutOfResources, Exception);
VISTEL_EXCEPTION(EInvalidOperation, Exception);

namespace res {
constexpr int SOutOfResources = 65430;
constexpr int SInvalidBitmap = 65431;
constexpr int SInvalidPixelFormat = 65432;
constexpr int SScanLine = 65433;
constexpr int SNoCanvasHandle = 65434;
constexpr int SUnknownClipboardFormat = 65435;
constexpr int SVMetafiles = 65390;
constexpr int SVEnhMetafiles = 65391;
constexpr int SVIcons = 65360;
constexpr int SVBitmaps = 65361;
constexpr int SUnknownExtension = 65419;
constexpr int SInvalidIcon = 65414;
constexpr int SIconToClipboard = 65417;
constexpr int SChangeIconSize = 65418;
}  // namespace res

namespace graphics {

/// Raises the GDI error: EOutOfResources with the platform's text for the last error, or the
/// framework's own text when the code is 0 or has no text.
[[noreturn]] void GDIError();
/// Returns value unchanged when it is non-zero; raises the GDI error otherwise.
template <typename T>
T GDICheck(T value) {
    if (!value)
        GDIError();
    return value;
}

/// Start-up of the picture framework's process-wide state (screen resolution, the standard
/// palette, locks, stock objects, drawing-object pools) and its shutdown, in reverse order.
/// Safe to call more than once; the state is also made on first use.
void InitializeGraphics();
void FinalizeGraphics();
/// The bitmap side of the start-up and shutdown (screen resolution, the standard palette), which
/// InitializeGraphics and FinalizeGraphics call.
void InitializeBitmaps();
void FinalizeBitmaps();

}  // namespace graphics
