// SetWinMetaFileBits: a Windows metafile made into an enhanced one. A metafile that carries an
// enhanced metafile in complete, checked comment records gives that one back unchanged; any other
// is translated record by record onto the fixed reference screen, with its bounds gathered by
// following the mapping its records set. This file: the embedded metafile, the mapping and
// bounds, the state records and the stream.
#include "platform/gdi/WmfToEmf.h"

#include <cmath>

namespace gdi {

using namespace detail;

namespace {

HENHMETAFILE Refuse(DWORD error) {
    SetLastError(error);
    return nullptr;
}

// ---- the embedded enhanced metafile ------------------------------------------------------------

// The enhanced metafile of the comment records, when they are all there, in order, agree with
// each other and pass the check value; empty otherwise.
std::vector<BYTE> EmbeddedEnhanced(const BYTE* data, std::size_t end) {
    std::vector<BYTE> emf;
    DWORD expectedChunks = 0, total = 0, chunks = 0;
    WORD checksum = 0;
    for (std::size_t at = kMetaHeaderBytes; at < end;) {
        const std::size_t size = std::size_t(ReadDword(data + at)) * 2;
        TMetaParams p(data + at + kMetaRecordHeaderBytes, size - kMetaRecordHeaderBytes);
        at += size;
        if (ReadWord(data + at - size + 4) != META_ESCAPE || p.Word(0) != kEscapeMfComment || p.Word(1) < 4 ||
            p.Dword(2) != kWmfCommentIdentifier)
            continue;
        const std::size_t byteCount = p.Word(1);
        // Behind the identifier: type, version, check value, flags, record count, this record's
        // bytes, the bytes still to come, the whole size; then the bytes.
        const DWORD type = p.Dword(4), current = p.Dword(13), remaining = p.Dword(15), whole = p.Dword(17);
        if (p.Damaged() || type != kWmfCommentEnhanced || byteCount != kEnhancedChunkHeader + current ||
            current > kEnhancedChunkBytes || p.At(19, current) == nullptr)
            return {};
        if (chunks == 0) {
            expectedChunks = p.Dword(11);
            total = whole;
            checksum = p.Word(8);
            if (expectedChunks == 0 || !StorageAllowed(total))
                return {};
        }
        if (whole != total || p.Dword(11) != expectedChunks || std::uint64_t(emf.size()) + current + remaining != total)
            return {};
        const BYTE* bytes = p.At(19, current);
        emf.insert(emf.end(), bytes, bytes + current);
        if (++chunks == expectedChunks)
            break;
    }
    if (chunks == 0 || chunks != expectedChunks || emf.size() != total ||
        MetafileChecksum(emf.data(), emf.size()) != checksum)
        return {};
    return emf;
}

}  // namespace

namespace detail {

TWmfTranslator::TWmfTranslator(const BYTE* data, std::size_t size, const METAFILEPICT& picture)
    : FData(data), FSize(size), FEnd(WholeRecordsEnd(data, size)), FPicture(picture),
      FSlots(ReadWord(data + 10)) {}

// ---- mapping and bounds

void TWmfTranslator::SetMode(int mode) {
    TMapping& m = FState.Map;
    if (mode == m.Mode)
        return;
    if (mode == MM_TEXT) {
        m.WindowExtX = m.WindowExtY = m.ViewportExtX = m.ViewportExtY = 1;
    } else if (mode != MM_ANISOTROPIC) {
        // Logical units of the fixed modes per millimetre; MM_ISOTROPIC starts from MM_LOMETRIC's.
        static constexpr double kUnits[] = {10, 100, 1000 / 25.4, 10000 / 25.4, 1440 / 25.4};
        const double perMillimetre = mode == MM_ISOTROPIC ? 10 : kUnits[mode - MM_LOMETRIC];
        m.WindowExtX = std::max(1.0, std::trunc(kRefMillimetresX * perMillimetre));
        m.WindowExtY = std::max(1.0, std::trunc(kRefMillimetresY * perMillimetre));
        m.ViewportExtX = kRefPixelsX;
        m.ViewportExtY = -kRefPixelsY;
    }
    m.Mode = mode;
}

// As the player does: the axis whose logical unit comes out longer shrinks its viewport extent.
void TWmfTranslator::AdjustIsotropic() {
    TMapping& m = FState.Map;
    const double mmX = double(kRefMillimetresX) / kRefPixelsX, mmY = double(kRefMillimetresY) / kRefPixelsY;
    const double unitX = std::fabs(m.ViewportExtX / m.WindowExtX) * mmX;
    const double unitY = std::fabs(m.ViewportExtY / m.WindowExtY) * mmY;
    if (unitX > unitY)
        m.ViewportExtX =
            std::copysign(std::max(1.0, std::round(unitY / mmX * std::fabs(m.WindowExtX))), m.ViewportExtX);
    else if (unitY > unitX)
        m.ViewportExtY =
            std::copysign(std::max(1.0, std::round(unitX / mmY * std::fabs(m.WindowExtY))), m.ViewportExtY);
}

void TWmfTranslator::ExtendDevice(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e15 || std::fabs(y) > 1e15)
        return;
    const long long px = std::llround(std::floor(x + 0.5)), py = std::llround(std::floor(y + 0.5));
    TBounds& b = FBounds;
    if (!b.Any) {
        b.Left = b.Right = px, b.Top = b.Bottom = py;
        b.Any = true;
        return;
    }
    b.Left = std::min(b.Left, px), b.Right = std::max(b.Right, px);
    b.Top = std::min(b.Top, py), b.Bottom = std::max(b.Bottom, py);
}

void TWmfTranslator::Extend(double x, double y, bool stroked) {
    const TMapping& m = FState.Map;
    const double dx = (x - m.WindowOrgX) * m.ViewportExtX / m.WindowExtX + m.ViewportOrgX;
    const double dy = (y - m.WindowOrgY) * m.ViewportExtY / m.WindowExtY + m.ViewportOrgY;
    if (!stroked || FState.PenWidth <= 1) {
        ExtendDevice(dx, dy);
        return;
    }
    const double hx = FState.PenWidth / 2 * std::fabs(m.ViewportExtX / m.WindowExtX);
    const double hy = FState.PenWidth / 2 * std::fabs(m.ViewportExtY / m.WindowExtY);
    ExtendDevice(dx - hx, dy - hy);
    ExtendDevice(dx + hx, dy + hy);
}

void TWmfTranslator::ExtendBox(int left, int top, int right, int bottom, bool stroked) {
    Extend(std::min(left, right), std::min(top, bottom), stroked);
    Extend(std::max(left, right) - 1, std::max(top, bottom) - 1, stroked);
}

// ---- state, mapping and clipping

bool TWmfTranslator::State(WORD function, TMetaParams& p, bool& handled) {
    TMapping& m = FState.Map;
    // Parameters of the coordinate records are y() before x; only they read these.
    const auto x = [&p] { return p.Short(1); };
    const auto y = [&p] { return p.Short(0); };
    switch (function) {
    case META_SETBKCOLOR:
        FState.BkColour = p.Dword(0);
        return FOut.PutValue(EMR_SETBKCOLOR, p.Dword(0));
    case META_SETTEXTCOLOR:
        FState.TextColour = p.Dword(0);
        return FOut.PutValue(EMR_SETTEXTCOLOR, p.Dword(0));
    case META_SETBKMODE: return FOut.PutValue(EMR_SETBKMODE, p.Word(0));
    case META_SETROP2: return FOut.PutValue(EMR_SETROP2, p.Word(0));
    case META_SETPOLYFILLMODE: return FOut.PutValue(EMR_SETPOLYFILLMODE, p.Word(0));
    case META_SETSTRETCHBLTMODE: return FOut.PutValue(EMR_SETSTRETCHBLTMODE, p.Word(0));
    case META_SETTEXTALIGN:
        FState.Align = p.Word(0);
        return FOut.PutValue(EMR_SETTEXTALIGN, p.Word(0));
    case META_SETTEXTCHAREXTRA:
        FState.CharExtra = p.Short(0);
        return true;
    case META_SETTEXTJUSTIFICATION:
        FState.BreakCount = p.Word(0);
        FState.BreakExtra = FState.BreakCount == 0 ? 0 : p.Short(1);
        return true;
    case META_SETLAYOUT: return FOut.PutValue(EMR_SETLAYOUT, p.Word(0));
    case META_SETMAPPERFLAGS: return FOut.PutValue(EMR_SETMAPPERFLAGS, p.Dword(0));
    case META_SETMAPMODE: {
        const int mode = p.Short(0);
        if (mode >= MM_TEXT && mode <= MM_ANISOTROPIC)
            SetMode(mode);
        return FOut.PutValue(EMR_SETMAPMODE, DWORD(mode));
    }
    case META_SAVEDC:
        FSaved.push_back(FState);
        return FOut.Put(EMR_SAVEDC, EMR{});
    case META_RESTOREDC: {
        // The enhanced record counts back from the newest state; a positive level counts from
        // the first state the records saved.
        const int level = p.Short(0);
        const std::size_t back = level < 0 ? std::size_t(-level) : FSaved.size() + 1 - std::size_t(level);
        if (level == 0 || back == 0 || back > FSaved.size())
            return true;
        FState = FSaved[FSaved.size() - back];
        FSaved.resize(FSaved.size() - back);
        return FOut.PutValue(EMR_RESTOREDC, DWORD(-LONG(back)));
    }
    case META_SETWINDOWORG:
        m.WindowOrgX = x(), m.WindowOrgY = y();
        return FOut.PutPoint(EMR_SETWINDOWORGEX, x(), y());
    case META_SETVIEWPORTORG:
        m.ViewportOrgX = x(), m.ViewportOrgY = y();
        return FOut.PutPoint(EMR_SETVIEWPORTORGEX, x(), y());
    // The enhanced format has no offset records: the origin they make is set instead.
    case META_OFFSETWINDOWORG:
        m.WindowOrgX += x(), m.WindowOrgY += y();
        return FOut.PutPoint(EMR_SETWINDOWORGEX, LONG(m.WindowOrgX), LONG(m.WindowOrgY));
    case META_OFFSETVIEWPORTORG:
        m.ViewportOrgX += x(), m.ViewportOrgY += y();
        return FOut.PutPoint(EMR_SETVIEWPORTORGEX, LONG(m.ViewportOrgX), LONG(m.ViewportOrgY));
    case META_SETWINDOWEXT:
    case META_SETVIEWPORTEXT:
        if (FreeExtents() && x() != 0 && y() != 0) {
            (function == META_SETWINDOWEXT ? m.WindowExtX : m.ViewportExtX) = x();
            (function == META_SETWINDOWEXT ? m.WindowExtY : m.ViewportExtY) = y();
            if (m.Mode == MM_ISOTROPIC)
                AdjustIsotropic();
        }
        return FOut.PutPoint(function == META_SETWINDOWEXT ? EMR_SETWINDOWEXTEX : EMR_SETVIEWPORTEXTEX, x(), y());
    case META_SCALEWINDOWEXT:
    case META_SCALEVIEWPORTEXT: {
        const EMRSCALEEXTEX r{{}, p.Short(3), p.Short(2), p.Short(1), p.Short(0)};
        if (p.Damaged())
            return false;
        double& ex = function == META_SCALEWINDOWEXT ? m.WindowExtX : m.ViewportExtX;
        double& ey = function == META_SCALEWINDOWEXT ? m.WindowExtY : m.ViewportExtY;
        if (FreeExtents() && r.xNum != 0 && r.xDenom != 0 && r.yNum != 0 && r.yDenom != 0) {
            const double nx = std::trunc(ex * r.xNum / r.xDenom), ny = std::trunc(ey * r.yNum / r.yDenom);
            if (nx != 0 && ny != 0)
                ex = nx, ey = ny;
            if (m.Mode == MM_ISOTROPIC)
                AdjustIsotropic();
        }
        return FOut.Put(function == META_SCALEWINDOWEXT ? EMR_SCALEWINDOWEXTEX : EMR_SCALEVIEWPORTEXTEX, r);
    }
    case META_EXCLUDECLIPRECT:
    case META_INTERSECTCLIPRECT:
        return FOut.Put(function == META_EXCLUDECLIPRECT ? EMR_EXCLUDECLIPRECT : EMR_INTERSECTCLIPRECT,
                        EMRRECT4{{}, RECTL{p.Short(3), p.Short(2), p.Short(1), p.Short(0)}});
    case META_OFFSETCLIPRGN: return FOut.PutPoint(EMR_OFFSETCLIPRGN, x(), y());
    case META_MOVETO:
        FState.Position = POINT{x(), y()};
        return FOut.PutPoint(EMR_MOVETOEX, x(), y());
    default: handled = false; return true;
    }
}

bool TWmfTranslator::Translate(WORD function, TMetaParams& p) {
    bool handled = true;
    bool ok = State(function, p, handled);
    if (!handled) {
        handled = true;
        ok = Objects(function, p, handled);
    }
    if (!handled) {
        handled = true;
        ok = Drawing(function, p, handled);
    }
    // Escapes and anything unknown have no counterpart and are passed over, as playback passes
    // over them.
    return ok;
}

std::vector<BYTE>* TWmfTranslator::Run() {
    // The Windows metafile itself, in a public comment ahead of everything else.
    struct {
        EMR emr;
        DWORD cbData, identifier, publicIdentifier;
        WORD version, reserved;
        DWORD checksum, flags, size;
    } comment{{}, DWORD(24 + FSize), kCommentPublic, kEmrCommentWindowsMetafile, ReadWord(FData + 4), 0,
              MetafileChecksum(FData, FSize), 0, DWORD(FSize)};
    static_assert(sizeof comment == 36);
    if (!FOut.Put(EMR_COMMENT, comment, FData, FSize))
        return nullptr;

    // The placement: with an extent, the picture is that size on the reference screen; without,
    // it is stretched over the whole screen and its frame is what it draws.
    const int mode = FPicture.mm;
    const bool free = mode == MM_ISOTROPIC || mode == MM_ANISOTROPIC;
    const bool sized = free && FPicture.xExt > 0 && FPicture.yExt > 0;
    LONG extX = kRefPixelsX, extY = kRefPixelsY;
    if (sized) {
        extX = std::max(1, MulDiv(FPicture.xExt, kRefPixelsX, kRefMillimetresX * 100));
        extY = std::max(1, MulDiv(FPicture.yExt, kRefPixelsY, kRefMillimetresY * 100));
    }
    SetMode(mode);
    if (!FOut.PutValue(EMR_SETMAPMODE, DWORD(mode)))
        return nullptr;
    if (free) {
        TMapping& m = FState.Map;
        m.ViewportExtX = m.WindowExtX = extX;
        m.ViewportExtY = m.WindowExtY = extY;
        if (!FOut.PutPoint(EMR_SETVIEWPORTEXTEX, extX, extY) || !FOut.PutPoint(EMR_SETWINDOWEXTEX, extX, extY))
            return nullptr;
    }

    for (std::size_t at = kMetaHeaderBytes; at < FEnd;) {
        const std::size_t size = std::size_t(ReadDword(FData + at)) * 2;
        const WORD function = ReadWord(FData + at + 4);
        if (function == META_EOF)
            break;
        TMetaParams params(FData + at + kMetaRecordHeaderBytes, size - kMetaRecordHeaderBytes);
        const std::size_t size0 = FOut.Size();
        const DWORD records0 = FOut.Records();
        const TBounds bounds0 = FBounds;
        if (!Translate(function, params) || params.Damaged()) {
            // A refusal of the gate ends the conversion; a damaged record only ends the picture,
            // as it ends playback, and adds nothing to it.
            if (FOut.Refused())
                return nullptr;
            FOut.Truncate(size0, records0);
            FBounds = bounds0;
            break;
        }
        at += size;
    }

    // Bounds are clamped to 2^24 pixels either way, so the frame made from them fits 32 bits.
    const auto clamp = [](long long v) { return LONG(std::clamp<long long>(v, -(1LL << 24), 1LL << 24)); };
    const TBounds& b = FBounds;
    const RECTL bounds =
        b.Any ? RECTL{clamp(b.Left), clamp(b.Top), clamp(b.Right), clamp(b.Bottom)} : RECTL{0, 0, -1, -1};
    // The frame of a drawn picture: its bounds in hundredths of a millimetre, truncated.
    auto hundredths = [](LONG pixels, LONG millimetres, LONG device) {
        return LONG(std::int64_t(pixels) * millimetres * 100 / device);
    };
    const RECTL frame = sized ? RECTL{0, 0, FPicture.xExt, FPicture.yExt}
                              : RECTL{hundredths(bounds.left, kRefMillimetresX, kRefPixelsX),
                                      hundredths(bounds.top, kRefMillimetresY, kRefPixelsY),
                                      hundredths(bounds.right, kRefMillimetresX, kRefPixelsX),
                                      hundredths(bounds.bottom, kRefMillimetresY, kRefPixelsY)};
    return FOut.Finish(bounds, frame, WORD(std::min<std::size_t>(FSlots.size() + 1, 0xFFFF)));
}

}  // namespace detail

HENHMETAFILE SetWinMetaFileBits(UINT size, const BYTE* data, HDC, const METAFILEPICT* picture) {
    TLock lock(LayerMutex());
    if (!CheckMetaHeader(data, size))
        return Refuse(ERROR_INVALID_DATA);
    const METAFILEPICT placement = picture != nullptr ? *picture : METAFILEPICT{MM_ANISOTROPIC, 0, 0, nullptr};
    if (placement.mm < MM_TEXT || placement.mm > MM_ANISOTROPIC)
        return Refuse(ERROR_INVALID_PARAMETER);
    const std::vector<BYTE> embedded = EmbeddedEnhanced(data, WholeRecordsEnd(data, size));
    if (!embedded.empty()) {
        if (HENHMETAFILE metafile = SetEnhMetaFileBits(UINT(embedded.size()), embedded.data()))
            return metafile;
    }
    TWmfTranslator translator(data, size, placement);
    const std::vector<BYTE>* bytes = translator.Run();
    if (bytes == nullptr)
        return nullptr;
    return SetEnhMetaFileBits(UINT(bytes->size()), bytes->data());
}

}  // namespace gdi
