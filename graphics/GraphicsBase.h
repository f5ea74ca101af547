// What every part of the picture framework shares: colours, rectangles, the framework's
// exception classes, the GDI error, and the module's start-up and shutdown.
#pragma once

#include "platform/base/Exception.h"
#include "platform/base/Messages.h"
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

// The picture framework's messages, registered by InitializeGraphics.
namespace res {
inline constexpr base::TMessage SOutOfResources{65430, "システム リソースが足りません"};
inline constexpr base::TMessage SInvalidBitmap{65431, "ビットマップイメージが不正です"};
inline constexpr base::TMessage SInvalidPixelFormat{65432, "画像フォーマットが不正です"};
inline constexpr base::TMessage SScanLine{65433, "スキャンライン のインデックスが範囲を越えました"};
inline constexpr base::TMessage SNoCanvasHandle{65434, "Canvas に対する描画ができません"};
inline constexpr base::TMessage SUnknownClipboardFormat{65435, "サポートされていないクリップボード形式です"};
inline constexpr base::TMessage SVMetafiles{65390, "メタファイル"};
inline constexpr base::TMessage SVEnhMetafiles{65391, "エンハンス メタファイル"};
inline constexpr base::TMessage SVIcons{65360, "アイコン"};
inline constexpr base::TMessage SVBitmaps{65361, "ビットマップ"};
inline constexpr base::TMessage SUnknownExtension{65419, "拡張子 .%s の画像形式は処理できません"};
inline constexpr base::TMessage SInvalidIcon{65414, "アイコンイメージが不正です"};
inline constexpr base::TMessage SInvalidMetafile{65415, "メタファイルが不正です"};
inline constexpr base::TMessage SUnknownClipboardData{65416, "未対応のクリップボード データです"};
inline constexpr base::TMessage SIconToClipboard{65417, "クリップボードはアイコンには対応していません"};
inline constexpr base::TMessage SChangeIconSize{65418, "アイコンの大きさは変更できません"};

inline constexpr base::TMessage kGraphicsMessages[] = {
    SOutOfResources, SInvalidBitmap, SInvalidPixelFormat, SScanLine,         SNoCanvasHandle,
    SUnknownClipboardFormat, SVMetafiles, SVEnhMetafiles, SVIcons,           SVBitmaps,
    SUnknownExtension, SInvalidIcon, SInvalidMetafile, SUnknownClipboardData, SIconToClipboard, SChangeIconSize,
};
static_assert(base::HasDistinctIds(kGraphicsMessages));
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

/// Start-up of the picture framework's process-wide state (its messages, screen resolution, the
/// standard palette, locks, stock objects, drawing-object pools) and its shutdown, in reverse
/// order. The messages stay in the string table after shutdown.
/// Safe to call more than once; the state is also made on first use.
void InitializeGraphics();
void FinalizeGraphics();
/// The bitmap side of the start-up and shutdown (screen resolution, the standard palette), which
/// InitializeGraphics and FinalizeGraphics call.
void InitializeBitmaps();
void FinalizeBitmaps();

}  // namespace graphics
