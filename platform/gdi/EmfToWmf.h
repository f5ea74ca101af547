// GetWinMetaFileBits' translator: the enhanced metafile's records into the 16-bit records of a
// Windows metafile, with the enhanced metafile's transforms applied to their points. Private to
// the layer; EmfToWmf.cpp holds the objects, the state and the stream, EmfToWmfDrawing.cpp the
// drawing records, EmfToWmfCurves.cpp the curves that go on from the current position and the
// clip regions, EmfToWmfRaster.cpp the records drawn as bitmaps (gradients, the newer transfers).
#pragma once

#include "platform/gdi/EmfPlay.h"
#include "platform/gdi/MetaConvert.h"
#include "platform/gdi/WmfRecords.h"

#include <cmath>
#include <functional>
#include <map>
#include <vector>

namespace gdi::detail {

constexpr DWORD kStockObjectFlag = 0x80000000u;
constexpr std::size_t kMaxWmfPoints = 0xFFFF;  // a record's point count is one word
constexpr int kBezierSteps = 16;               // straight pieces per curve segment

// A coordinate or size in 16 bits. Values beyond them are clamped, never wrapped: a shape that
// runs far off the picture still runs off it the same way.
inline int Clamp16(double value) {
    if (!(value > -32768.0))
        return -32768;
    return int(std::min(32767.0, std::floor(value + 0.5)));
}

// Appends the records of a Windows metafile behind room for its header, every byte through the
// storage gate.
class TWmfWriter {
public:
    TWmfWriter() : FBytes(kMetaHeaderBytes) {}

    bool Put(WORD function, const std::vector<int>& words, const BYTE* tail = nullptr, std::size_t tailBytes = 0) {
        const std::size_t size = kMetaRecordHeaderBytes + words.size() * 2 + (tailBytes + 1) / 2 * 2;
        if (FRefused || size / 2 > 0xFFFFFFFFu || !StorageAllowed(FBytes.size() + size)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            FRefused = true;
            return false;
        }
        const std::size_t at = FBytes.size();
        FBytes.resize(at + size);
        PutWord(at, WORD(size / 2));
        PutWord(at + 2, WORD((size / 2) >> 16));
        PutWord(at + 4, function);
        for (std::size_t i = 0; i < words.size(); ++i)
            PutWord(at + 6 + 2 * i, WORD(words[i]));
        if (tailBytes != 0)
            std::memcpy(FBytes.data() + at + 6 + 2 * words.size(), tail, tailBytes);
        FMaxRecord = std::max<std::size_t>(FMaxRecord, size / 2);
        return true;
    }
    bool Refused() const { return FRefused; }

    std::vector<BYTE>* Finish(std::size_t objects) {
        if (!Put(META_EOF, {}))
            return nullptr;
        const std::size_t words = FBytes.size() / 2;
        const WORD header[9] = {1, 9, 0x300, WORD(words), WORD(words >> 16),
                                WORD(std::min<std::size_t>(objects, 0xFFFF)), WORD(FMaxRecord), WORD(FMaxRecord >> 16),
                                0};
        for (std::size_t i = 0; i < 9; ++i)
            PutWord(2 * i, header[i]);
        return &FBytes;
    }

private:
    void PutWord(std::size_t at, WORD value) {
        FBytes[at] = BYTE(value);
        FBytes[at + 1] = BYTE(value >> 8);
    }
    std::vector<BYTE> FBytes;
    std::size_t FMaxRecord = 3;
    bool FRefused = false;
};

// The colour of a record as the two words a Windows metafile stores it in.
inline void PushColour(std::vector<int>& words, COLORREF colour) {
    words.push_back(int(colour & 0xFFFF));
    words.push_back(int(colour >> 16));
}

// A bitmap of a record as a packed DIB: header and colour table as the older records lay them out
// (the table sized by the header), the bits right behind. Empty when the record has none or it
// does not check out.
std::vector<BYTE> PackDib(const TEmfRecord& record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits, UINT usage,
                          std::size_t rows = SIZE_MAX);

/// Bézier segments from start through each three control points, as straight pieces.
std::vector<POINT> FlattenBezier(const POINT& start, const std::vector<POINT>& controls);

class TEmfTranslator {
public:
    TEmfTranslator(const std::vector<BYTE>& emf, int mapMode);
    std::vector<BYTE>* Run();

private:
    // What SaveDC keeps of the state the translation follows.
    struct TState {
        TEmfPage Page;
        BYTE Charset = DEFAULT_CHARSET;
        int PenSlot = -1;  // the older metafile's selected pen (−1: the context's own)
        bool Clockwise = false;
        bool Clipped = false;  // whether a clip region is in effect
        int FillMode = ALTERNATE;
        // What the rasterised records draw with: the stretch mode and a monochrome source's colours.
        int StretchMode = BLACKONWHITE;
        COLORREF TextColour = RGB(0, 0, 0);
        COLORREF BkColour = RGB(255, 255, 255);
    };

    // A point of the enhanced metafile's logical space, unrounded.
    struct TPointF {
        double X, Y;
    };

    // A figure of a path, in the older metafile's units.
    struct TFigure {
        std::vector<POINT> Points;
        bool Closed = false;
        bool Ended = false;  // an arc's figure: open, but what follows starts a figure of its own
    };

    bool Translate(const TEmfRecord& record);
    bool Objects(const TEmfRecord& record, bool& handled);
    bool Drawing(const TEmfRecord& record, bool& handled);
    bool Bitmaps(const TEmfRecord& record);
    bool Text(const TEmfRecord& record);
    bool TextRun(const TEmfText& text, bool wide);
    bool Polys(const TEmfRecord& record);
    bool PathRecord(const TEmfRecord& record);
    bool Regions(const TEmfRecord& record);
    bool PaintPath(DWORD type);
    bool PutPoints(WORD function, const std::vector<POINT>& points);
    /// An arc, chord or pie record as the older record of the same kind.
    bool PutArc(WORD function, const EMRARC& r);
    /// ArcTo, AngleArc and PolyDraw, outside and inside paths.
    bool Curves(const TEmfRecord& record);
    bool PolyDraw(const TEmfRecord& record);
    /// Points of the ellipse around (cx, cy) from angle t0 turning by sweep (radians, logical
    /// units, y downwards), through the map, the start included.
    std::vector<POINT> ArcPoints(double cx, double cy, double rx, double ry, double t0, double sweep) const {
        return ArcPoints(FMap, cx, cy, rx, ry, t0, sweep);
    }
    /// The same through another map (from the enhanced metafile's device units, say).
    std::vector<POINT> ArcPoints(const TAffine& map, double cx, double cy, double rx, double ry, double t0,
                                 double sweep) const;
    /// Ellipses, rounded rectangles, arcs, chords and pies as figures of an open path.
    bool PathShape(const TEmfRecord& record);
    void PathStart(POINT at);
    void PathExtend(const std::vector<POINT>& points);
    void PathClose();
    bool ClipRegion(const TEmfRecord& record);
    bool ClipPath(const TEmfRecord& record);
    /// Combines a region of the older metafile's logical units with the clip (deleting it).
    bool ClipTo(HRGN region, int mode);
    /// Gradient fills and the newer transfers, drawn by the layer into a bitmap of their box.
    bool Rasterised(const TEmfRecord& record);
    /// Draws through the layer into bitmaps covering the box that the logical corners span in
    /// the older metafile's units, and puts what was drawn there as device-independent bitmaps,
    /// leaving the rest of the box as it was.
    bool PutRaster(const std::vector<TPointF>& corners, const std::function<void(HDC)>& draw);
    bool PutStretchDib(DWORD rop, const std::vector<BYTE>& dib, LONG width, LONG height, const std::vector<int>& box);

    void UpdateMap();
    POINT Map(double x, double y) const {
        const TAffine& m = FMap;
        return POINT{Clamp16(x * m.M11 + y * m.M21 + m.Dx), Clamp16(x * m.M12 + y * m.M22 + m.Dy)};
    }
    std::vector<POINT> MapAll(const std::vector<POINT>& points) const;
    double ScaleX() const { return std::hypot(FMap.M11, FMap.M12); }
    double ScaleY() const { return std::hypot(FMap.M21, FMap.M22); }
    // A pen's width is one number for both axes: it follows the axis that shrinks it most, so a
    // thin pen stays thin on both.
    double PenScale() const { return std::min(ScaleX(), ScaleY()); }
    /// A box as the older records take it: left, top, right, bottom through the map.
    std::vector<int> Box(const RECTL& box) const;

    /// The older metafile's slot for an enhanced object index, a stock object made on first use.
    int SlotOf(DWORD index);
    int NewSlot();
    void MarkPen(int slot, bool pen) {
        if (FPenSlots.size() <= std::size_t(slot))
            FPenSlots.resize(std::size_t(slot) + 1, false);
        FPenSlots[std::size_t(slot)] = pen;
    }
    bool MakeStock(int stock, int& slot);

    const std::vector<BYTE>& FEmf;
    ENHMETAHEADER FHeader{};
    int FMapMode;
    TAffine FDevice;  // the enhanced metafile's device units → the older metafile's logical units
    TAffine FMap;     // its logical units → the older metafile's, for the present state
    LONG FWindow[4]{};  // origin and extent of the older metafile's window
    TState FState;
    std::vector<TState> FSaved;
    TWmfWriter FOut;
    std::vector<int> FSlotOfIndex;  // −1: no object
    std::vector<bool> FSlotUsed;
    std::map<int, int> FStockSlots;
    std::map<int, BYTE> FCharsetOfSlot;
    std::vector<bool> FPenSlots;  // which slots hold pens
    POINT FPosition{0, 0};  // the current position in the older metafile's units
    bool FInPath = false;
    std::vector<TFigure> FPath;
    // The pixels the rasterised records may still draw at full resolution: once they are spent,
    // each is drawn coarser, so hostile pictures of many such records stay cheap.
    std::size_t FRasterPixels = std::size_t(1) << 24;
};

}  // namespace gdi::detail
