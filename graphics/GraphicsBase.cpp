// Colours, the GDI error, and the start-up and shutdown of the picture framework's process-wide
// state. The canvas side of that state lives here; the bitmap side is in Bitmap.cpp.
#include "graphics/GraphicsBase.h"

#include "graphics/CanvasModule.h"
#include "platform/base/Messages.h"

#include <algorithm>
#include <cstring>

namespace graphics {

namespace {

// The platform's "user default" language, as FormatMessage expects it.
constexpr gdi::DWORD kLangUserDefault = 0x400;
// The message buffer holds at most this many characters, terminator included.
constexpr gdi::DWORD kMessageBufferSize = 256;

}  // namespace

gdi::COLORREF ColorToRGB(TColor color) {
    // A system colour is looked up at every use, so a changed colour scheme shows at once.
    if (color < 0)
        return gdi::GetSysColor(int(std::uint32_t(color) & 0xFF));
    return gdi::COLORREF(color) & 0x00FFFFFF;
}

void GDIError() {
    const gdi::DWORD code = gdi::GetLastError();
    if (code != gdi::ERROR_SUCCESS) {
        char buffer[kMessageBufferSize] = {};
        const gdi::DWORD length = gdi::FormatMessageA(gdi::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, kLangUserDefault,
                                                      buffer, kMessageBufferSize, nullptr);
        // The count excludes the terminator; it is clamped so a faulty count cannot read past it.
        if (length > 0)
            throw EOutOfResources(std::string(buffer, std::min(length, kMessageBufferSize - 1)));
    }
    throw EOutOfResources(base::LoadStr(res::SOutOfResources));
}

namespace detail {

TCanvasModule::TCanvasModule() {
    StockPen = static_cast<gdi::HPEN>(gdi::GetStockObject(gdi::BLACK_PEN));
    StockBrush = static_cast<gdi::HBRUSH>(gdi::GetStockObject(gdi::NULL_BRUSH));
    StockFont = static_cast<gdi::HFONT>(gdi::GetStockObject(gdi::SYSTEM_FONT));

    std::memset(&DefaultFont, 0, sizeof DefaultFont);
    gdi::LOGFONTA log;
    std::memset(&log, 0, sizeof log);
    if (gdi::GetObjectA(gdi::GetStockObject(gdi::DEFAULT_GUI_FONT), sizeof log, &log) == int(sizeof log)) {
        DefaultFont.Height = log.lfHeight;
        DefaultFont.Charset = log.lfCharSet;
        std::memcpy(DefaultFont.Name, log.lfFaceName, sizeof DefaultFont.Name - 1);
    } else {
        // The layer always has its stock fonts; this only keeps a new font usable if it had not.
        DefaultFont.Height = -12;
    }
    // The pitch stays "default": the face name decides it, as it does for the interface font.
}

TCanvasModule& CanvasModule() {
    static TCanvasModule module;
    return module;
}

}  // namespace detail

void InitializeGraphics() {
    base::RegisterMessages(res::kGraphicsMessages);
    InitializeBitmaps();
    detail::CanvasModule();
}

void FinalizeGraphics() {
    // The canvas side holds nothing that outlives its users: every platform pen, brush and font
    // is deleted with the last drawing object that refers to it, and the stock objects are the
    // layer's own. The pools themselves stay for objects that are still alive at this point.
    FinalizeBitmaps();
}

}  // namespace graphics
