// The drawing of the records EmfPlayPending.cpp checks: curves, paths, geometric-pen settings and
// the newer transfers, through their layer calls. Every record reaching here has passed its
// reader's checks.
#include "platform/gdi/EmfPlay.h"

#include <cmath>

namespace gdi::detail {

void DrawTransferRecord(HDC dc, const TEmfRecord& record) {
    switch (record.Type) {
    case EMR_GRADIENTFILL: {
        EMRGRADIENTFILL r;
        std::vector<detail::TRIVERTEX> read;
        std::vector<DWORD> indices;
        ReadGradient(record, r, read, indices);
        std::vector<gdi::TRIVERTEX> vertices(read.size());
        for (std::size_t i = 0; i < read.size(); ++i)
            vertices[i] = gdi::TRIVERTEX{read[i].x, read[i].y, read[i].Red, read[i].Green, read[i].Blue, read[i].Alpha};
        if (!vertices.empty() && r.nTri > 0)
            GradientFill(dc, vertices.data(), std::uint32_t(vertices.size()), indices.data(), r.nTri, r.ulMode);
        break;
    }
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT: {
        EMRSTRETCHBLT r;
        TEmfDib dib;
        ReadFixed(record, r);
        ReadDib(record, r.blt.offBmiSrc, r.blt.cbBmiSrc, r.blt.offBitsSrc, r.blt.cbBitsSrc, dib);
        const EMRBITBLT& b = r.blt;
        int source[4];
        if (dib.Empty() || !EmfSourceRect(b.xformSrc, b.xSrc, b.ySrc, r.cxSrc, r.cySrc, source))
            break;
        TSourceContext context(dc, dib, b.iUsageSrc, b.crBkColorSrc);
        if (context.Dc() == nullptr)
            break;
        if (record.Type == EMR_ALPHABLEND) {
            BLENDFUNCTION blend;
            std::memcpy(&blend, &b.dwRop, sizeof blend);
            AlphaBlend(dc, b.xDest, b.yDest, b.cxDest, b.cyDest, context.Dc(), source[0], source[1], source[2],
                       source[3], blend);
        } else {
            TransparentBlt(dc, b.xDest, b.yDest, b.cxDest, b.cyDest, context.Dc(), source[0], source[1], source[2],
                           source[3], b.dwRop);
        }
        break;
    }
    case EMR_PLGBLT: {
        EMRPLGBLT r;
        TEmfDib dib, mask;
        ReadFixed(record, r);
        ReadDib(record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, dib);
        ReadDib(record, r.offBmiMask, r.cbBmiMask, r.offBitsMask, r.cbBitsMask, mask);
        int source[4];
        if (dib.Empty() || !EmfSourceRect(r.xformSrc, r.xSrc, r.ySrc, r.cxSrc, r.cySrc, source))
            break;
        TSourceContext context(dc, dib, r.iUsageSrc, r.crBkColorSrc);
        HBITMAP maskBitmap = mask.Empty() ? nullptr : EmfMonoBitmap(mask);
        if (context.Dc() != nullptr)
            PlgBlt(dc, r.aptlDest, context.Dc(), source[0], source[1], source[2], source[3], maskBitmap, r.xMask,
                   r.yMask);
        if (maskBitmap != nullptr)
            DeleteObject(maskBitmap);
        break;
    }
    case EMR_MASKBLT: {
        EMRMASKBLT r;
        TEmfDib dib, mask;
        ReadFixed(record, r);
        const EMRBITBLT& b = r.blt;
        ReadDib(record, b.offBmiSrc, b.cbBmiSrc, b.offBitsSrc, b.cbBitsSrc, dib);
        ReadDib(record, r.offBmiMask, r.cbBmiMask, r.offBitsMask, r.cbBitsMask, mask);
        int source[4];
        if (!EmfSourceRect(b.xformSrc, b.xSrc, b.ySrc, b.cxDest, b.cyDest, source))
            break;
        HBITMAP maskBitmap = mask.Empty() ? nullptr : EmfMonoBitmap(mask);
        if (dib.Empty()) {
            MaskBlt(dc, b.xDest, b.yDest, b.cxDest, b.cyDest, nullptr, 0, 0, maskBitmap, r.xMask, r.yMask, b.dwRop);
        } else {
            TSourceContext context(dc, dib, b.iUsageSrc, b.crBkColorSrc);
            if (context.Dc() != nullptr)
                MaskBlt(dc, b.xDest, b.yDest, b.cxDest, b.cyDest, context.Dc(), source[0], source[1], maskBitmap,
                        r.xMask, r.yMask, b.dwRop);
        }
        if (maskBitmap != nullptr)
            DeleteObject(maskBitmap);
        break;
    }
    default: break;
    }
}

void TEmfPlayer::DrawPendingRecord(const TEmfRecord& record) {
    std::vector<POINT> points;
    std::vector<BYTE> types;
    switch (record.Type) {
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16:
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16: {
        const bool small = record.Type == EMR_POLYBEZIER16 || record.Type == EMR_POLYBEZIERTO16;
        ReadPoly(record, small, points);
        if (points.empty())
            break;
        if (record.Type == EMR_POLYBEZIER || record.Type == EMR_POLYBEZIER16)
            PolyBezier(FDc, points.data(), DWORD(points.size()));
        else
            PolyBezierTo(FDc, points.data(), DWORD(points.size()));
        break;
    }
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16:
        ReadPolyDraw(record, record.Type == EMR_POLYDRAW16, points, types);
        if (!points.empty())
            PolyDraw(FDc, points.data(), types.data(), int(points.size()));
        break;
    case EMR_ELLIPSE: {
        EMRBOX r;
        ReadFixed(record, r);
        Ellipse(FDc, r.rclBox.left, r.rclBox.top, r.rclBox.right, r.rclBox.bottom);
        break;
    }
    case EMR_ROUNDRECT: {
        EMRROUNDRECT r;
        ReadFixed(record, r);
        RoundRect(FDc, r.rclBox.left, r.rclBox.top, r.rclBox.right, r.rclBox.bottom, r.szlCorner.cx, r.szlCorner.cy);
        break;
    }
    case EMR_ARC:
    case EMR_ARCTO:
    case EMR_CHORD:
    case EMR_PIE: {
        EMRARC r;
        ReadFixed(record, r);
        const RECTL& b = r.rclBox;
        auto* draw = record.Type == EMR_ARC ? &Arc : record.Type == EMR_ARCTO ? &ArcTo : record.Type == EMR_CHORD ? &Chord : &Pie;
        draw(FDc, b.left, b.top, b.right, b.bottom, r.ptlStart.x, r.ptlStart.y, r.ptlEnd.x, r.ptlEnd.y);
        break;
    }
    case EMR_ANGLEARC: {
        EMRANGLEARC r;
        ReadFixed(record, r);
        AngleArc(FDc, r.ptlCenter.x, r.ptlCenter.y, r.nRadius, r.eStartAngle, r.eSweepAngle);
        break;
    }
    case EMR_SETARCDIRECTION: {
        EMRONE r;
        ReadFixed(record, r);
        SetArcDirection(FDc, int(r.Value));
        break;
    }
    case EMR_SETMITERLIMIT: {
        // Written as a float by the platform's recorder, though documented as an integer: a
        // value that reads as a small integer is taken as one.
        EMRONE r;
        ReadFixed(record, r);
        float limit = 0;
        std::memcpy(&limit, &r.Value, 4);
        if (r.Value < 0x10000)
            limit = float(r.Value);
        if (std::isfinite(limit))
            SetMiterLimit(FDc, limit, nullptr);
        break;
    }
    case EMR_BEGINPATH: BeginPath(FDc); break;
    case EMR_ENDPATH: EndPath(FDc); break;
    case EMR_CLOSEFIGURE: CloseFigure(FDc); break;
    case EMR_FILLPATH: FillPath(FDc); break;
    case EMR_STROKEANDFILLPATH: StrokeAndFillPath(FDc); break;
    case EMR_STROKEPATH: StrokePath(FDc); break;
    case EMR_FLATTENPATH: FlattenPath(FDc); break;
    case EMR_WIDENPATH: WidenPath(FDc); break;
    case EMR_ABORTPATH: AbortPath(FDc); break;
    case EMR_SELECTCLIPPATH: {
        EMRONE r;
        ReadFixed(record, r);
        SelectClipPath(FDc, int(r.Value));
        break;
    }
    case EMR_EXTFLOODFILL: {
        EMREXTFLOODFILL r;
        ReadFixed(record, r);
        ExtFloodFill(FDc, r.ptlStart.x, r.ptlStart.y, r.crColor, r.iMode);
        break;
    }
    case EMR_GRADIENTFILL:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
    case EMR_PLGBLT: DrawTransferRecord(FDc, record); break;
    case EMR_SETDIBITSTODEVICE: {
        EMRSETDIBITSTODEVICE r;
        TEmfDib dib;
        ReadFixed(record, r);
        ReadDib(record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, dib);
        if (!dib.Empty())
            SetDIBitsToDevice(FDc, r.xDest, r.yDest, DWORD(r.cxSrc), DWORD(r.cySrc), r.xSrc, r.ySrc, r.iStartScan,
                              r.cScans, dib.Bits, dib.Header(), r.iUsageSrc == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS);
        break;
    }
    default: break;
    }
}

}  // namespace gdi::detail
