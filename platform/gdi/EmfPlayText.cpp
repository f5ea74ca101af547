// The text records of enhanced metafiles: UTF-16 runs, ANSI runs decoded through the code page
// of the selected font's character set, several runs in one record, and the small form.
#include "platform/gdi/EmfPlay.h"
#include "platform/gdi/TextCodes.h"

namespace gdi::detail {

bool TEmfPlayer::PlayTextRun(const TEmfText& text, bool wide) {
    const RECT* rect = (text.Options & (ETO_OPAQUE | ETO_CLIPPED)) ? &text.Rect : nullptr;
    if (wide) {
        ExtTextOutW(FDc, text.Reference.x, text.Reference.y, text.Options, rect, text.Wide.data(),
                    UINT(text.Wide.size()), text.Dx.empty() ? nullptr : text.Dx.data());
        return true;
    }
    TextOutInCodePage(FDc, text.Reference.x, text.Reference.y, text.Options, rect, text.Ansi.data(), text.Ansi.size(),
                      text.Dx.empty() ? nullptr : text.Dx.data());
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
        return PlayTextRun(text, wide);
    }
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW: {
        // The header of EMREXTTEXTOUT without its one run, then the count and the runs.
        constexpr std::size_t kRunsAt = sizeof(EMR) + sizeof(RECTL) + 12 + 4;
        const bool wide = record.Type == EMR_POLYTEXTOUTW;
        DWORD count = 0;
        if (!InsideRecord(record, kRunsAt - 4, 1, 4))
            return false;
        std::memcpy(&count, record.Data + kRunsAt - 4, 4);
        if (!InsideRecord(record, kRunsAt, count, sizeof(EMRTEXT)))
            return false;
        for (DWORD i = 0; i < count; ++i) {
            EMRTEXT run;
            std::memcpy(&run, record.Data + kRunsAt + std::size_t(i) * sizeof(EMRTEXT), sizeof run);
            if (!ReadEmrText(record, run, wide, text))
                return false;
            PlayTextRun(text, wide);
        }
        return true;
    }
    case EMR_SMALLTEXTOUT: {
        EMRSMALLTEXTOUT r;
        if (!ReadSmallText(record, r, text))
            return false;
        return PlayTextRun(text, true);
    }
    default: return true;
    }
}

}  // namespace gdi::detail
