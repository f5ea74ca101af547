// The records of curves, paths, geometric-pen settings and the newer transfers. Each is read and
// checked here whatever the layer can draw, so a damaged one ends playback as any other does;
// their drawing lives in EmfPlayPendingCalls.cpp.
#include "platform/gdi/EmfPlay.h"

namespace gdi::detail {

namespace {

bool IsPending(DWORD type) {
    switch (type) {
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16:
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16:
    case EMR_ELLIPSE:
    case EMR_ROUNDRECT:
    case EMR_ARC:
    case EMR_ARCTO:
    case EMR_CHORD:
    case EMR_PIE:
    case EMR_ANGLEARC:
    case EMR_SETARCDIRECTION:
    case EMR_SETMITERLIMIT:
    case EMR_BEGINPATH:
    case EMR_ENDPATH:
    case EMR_CLOSEFIGURE:
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
    case EMR_STROKEPATH:
    case EMR_FLATTENPATH:
    case EMR_WIDENPATH:
    case EMR_SELECTCLIPPATH:
    case EMR_ABORTPATH:
    case EMR_EXTFLOODFILL:
    case EMR_GRADIENTFILL:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
    case EMR_SETDIBITSTODEVICE:
    case EMR_PLGBLT: return true;
    default: return false;
    }
}

}  // namespace

bool TEmfPlayer::CheckPendingRecord(const TEmfRecord& record) {
    std::vector<POINT> points;
    std::vector<BYTE> types;
    TEmfDib dib, mask;
    switch (record.Type) {
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIERTO: return ReadPoly(record, false, points);
    case EMR_POLYBEZIER16:
    case EMR_POLYBEZIERTO16: return ReadPoly(record, true, points);
    case EMR_POLYDRAW: return ReadPolyDraw(record, false, points, types);
    case EMR_POLYDRAW16: return ReadPolyDraw(record, true, points, types);
    case EMR_ELLIPSE: {
        EMRBOX r;
        return ReadFixed(record, r);
    }
    case EMR_ROUNDRECT: {
        EMRROUNDRECT r;
        return ReadFixed(record, r);
    }
    case EMR_ARC:
    case EMR_ARCTO:
    case EMR_CHORD:
    case EMR_PIE: {
        EMRARC r;
        return ReadFixed(record, r);
    }
    case EMR_ANGLEARC: {
        EMRANGLEARC r;
        return ReadFixed(record, r);
    }
    case EMR_SETARCDIRECTION:
    case EMR_SETMITERLIMIT:
    case EMR_SELECTCLIPPATH: {
        EMRONE r;
        return ReadFixed(record, r);
    }
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
    case EMR_STROKEPATH: {
        EMRRECT4 r;  // the bounds only
        return ReadFixed(record, r);
    }
    case EMR_EXTFLOODFILL: {
        EMREXTFLOODFILL r;
        return ReadFixed(record, r);
    }
    case EMR_GRADIENTFILL: {
        EMRGRADIENTFILL r;
        std::vector<TRIVERTEX> vertices;
        std::vector<DWORD> indices;
        return ReadGradient(record, r, vertices, indices);
    }
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT: {
        EMRSTRETCHBLT r;
        return ReadFixed(record, r) &&
               ReadDib(record, r.blt.offBmiSrc, r.blt.cbBmiSrc, r.blt.offBitsSrc, r.blt.cbBitsSrc, dib);
    }
    case EMR_SETDIBITSTODEVICE: {
        EMRSETDIBITSTODEVICE r;
        return ReadFixed(record, r) && ReadDib(record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, dib);
    }
    case EMR_PLGBLT: {
        EMRPLGBLT r;
        return ReadFixed(record, r) && ReadDib(record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, dib) &&
               ReadDib(record, r.offBmiMask, r.cbBmiMask, r.offBitsMask, r.cbBitsMask, mask);
    }
    default: return true;  // the path brackets and figure closing carry nothing to check
    }
}

bool TEmfPlayer::PlayPending(const TEmfRecord& record, bool& handled) {
    handled = IsPending(record.Type);
    if (!handled)
        return true;
    if (!CheckPendingRecord(record))
        return false;
    DrawPendingRecord(record);
    return true;
}

}  // namespace gdi::detail
