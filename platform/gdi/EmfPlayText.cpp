// The text records of enhanced metafiles: UTF-16 runs, ANSI runs decoded through the code page
// of the selected font's character set, several runs in one record, and the small form.
#include "platform/gdi/EmfPlay.h"
#include "platform/gdi/TextCodes.h"

#include <cmath>

namespace gdi::detail {

LONG TEmfPlayer::Turn() const {
    const TAffine map =
        TAffine::From(FPage.World).Then(PageMap(FPage)).Then(FFrameMap).Then(FCallerWorld);
    // The x axis on the screen, y down; a turn of a whole half is a mirror as often as not, and
    // is left alone.
    const double angle = std::atan2(-map.M12, map.M11);
    if (!std::isfinite(angle) || std::fabs(std::sin(angle)) < 1e-3)
        return 0;
    return LONG(std::lround(angle * 1800.0 / 3.14159265358979323846));
}

bool TEmfPlayer::PlayTextRun(const TEmfText& text, bool wide, bool advanced) {
    const RECT* rect = (text.Options & (ETO_OPAQUE | ETO_CLIPPED)) ? &text.Rect : nullptr;
    // Text of the advanced mode turns with the transform: drawn with a font turned as far.
    HFONT turned = nullptr;
    HGDIOBJ previous = nullptr;
    if (const LONG turn = advanced ? Turn() : 0; turn != 0) {
        LOGFONTA font{};
        if (GetObjectA(GetCurrentObject(FDc, OBJ_FONT), sizeof font, &font) == int(sizeof font)) {
            font.lfEscapement = (font.lfEscapement + turn) % 3600;
            font.lfOrientation = (font.lfOrientation + turn) % 3600;
            turned = CreateFontIndirectA(&font);
            if (turned != nullptr)
                previous = SelectObject(FDc, turned);
        }
    }
    FContext.CompatibleText = !advanced;
    if (wide)
        ExtTextOutW(FDc, text.Reference.x, text.Reference.y, text.Options, rect, text.Wide.data(),
                    UINT(text.Wide.size()), text.Dx.empty() ? nullptr : text.Dx.data());
    else
        TextOutInCodePage(FDc, text.Reference.x, text.Reference.y, text.Options, rect, text.Ansi.data(),
                          text.Ansi.size(), text.Dx.empty() ? nullptr : text.Dx.data());
    FContext.CompatibleText = false;
    if (turned != nullptr) {
        SelectObject(FDc, previous);
        DeleteObject(turned);
    }
    return true;
}

bool TEmfPlayer::PlayText(const TEmfRecord& record) {
    TEmfText text;
    switch (record.Type) {
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW: {
        EMREXTTEXTOUT r;
        const bool wide = record.Type == EMR_EXTTEXTOUTW;
        if (!ReadFixed(record, r) || !ReadEmrText(record, r.emrtext, wide, text))
            return false;
        return PlayTextRun(text, wide, r.iGraphicsMode == GM_ADVANCED);
    }
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW: {
        DWORD mode = 0;
        return ForEachPolyTextRun(record, mode, [&](const TEmfText& run, bool wide) {
            PlayTextRun(run, wide, mode == GM_ADVANCED);
            return true;
        });
    }
    case EMR_SMALLTEXTOUT: {
        EMRSMALLTEXTOUT r;
        if (!ReadSmallText(record, r, text))
            return false;
        return PlayTextRun(text, true, r.iGraphicsMode == GM_ADVANCED);
    }
    default: return true;
    }
}

}  // namespace gdi::detail
