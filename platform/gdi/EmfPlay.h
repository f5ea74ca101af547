// The player of enhanced metafiles: the state one playback keeps beside the device context (the
// metafile's own page and world transforms, its object table, its saved states) and the record
// families it plays. Private to the layer.
#pragma once

#include "platform/gdi/EmfRecords.h"

#include <vector>

namespace gdi::detail {

/// An affine map in double precision: x' = x·M11 + y·M21 + Dx, y' = x·M12 + y·M22 + Dy.
struct TAffine {
    double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
    /// This map, then next.
    TAffine Then(const TAffine& next) const;
    static TAffine From(const XFORM& x) { return TAffine{x.eM11, x.eM12, x.eM21, x.eM22, x.eDx, x.eDy}; }
    /// Whether every element is finite and within single precision, so ToXform keeps it.
    bool FitsXform() const;
    XFORM ToXform() const {
        return XFORM{float(M11), float(M12), float(M21), float(M22), float(Dx), float(Dy)};
    }
};

/// The metafile's page transform and world transform as its records set them. They are never
/// set on the context: the player folds them, with the frame's mapping onto the caller's
/// rectangle, into the context's world transform, so the caller's own mapping still applies
/// after them.
struct TEmfPage {
    int MapMode = MM_TEXT;
    long long WindowOrgX = 0, WindowOrgY = 0, WindowExtX = 1, WindowExtY = 1;
    long long ViewportOrgX = 0, ViewportOrgY = 0, ViewportExtX = 1, ViewportExtY = 1;
    XFORM World{1, 0, 0, 1, 0, 0};
};

/// The page map of a page state: logical units → the metafile's device units.
TAffine PageMap(const TEmfPage& page);
/// Follows a mapping or world-transform record in a page state, as playback does (values the
/// platform refuses leave it as it was); other records leave it alone. False for a record too
/// short for its fields.
bool UpdatePage(TEmfPage& page, const ENHMETAHEADER& header, const TEmfRecord& record);

/// A monochrome device-dependent bitmap with the pixel values of a 1-bit DIB; nullptr otherwise.
HBITMAP EmfMonoBitmap(const TEmfDib& dib);
/// A DIB section holding a record's uncompressed bitmap; nullptr for a compressed one.
HBITMAP EmfSection(HDC dc, const TEmfDib& dib, UINT usage);
/// The source rectangle of a blit record through its source transform, which may scale and
/// move it; false for one that turns it or leaves the 32-bit range.
bool EmfSourceRect(const XFORM& x, LONG sx, LONG sy, LONG width, LONG height, int out[4]);

// The source context of a blit record: a memory context holding the record's bitmap, with the
// background colour the record gives for colour-to-monochrome conversion.
class TSourceContext {
public:
    TSourceContext(HDC dc, const TEmfDib& dib, UINT usage, COLORREF background) {
        FBitmap = EmfSection(dc, dib, usage == DIB_PAL_COLORS ? DIB_PAL_COLORS : DIB_RGB_COLORS);
        if (FBitmap == nullptr)
            return;
        FDc = CreateCompatibleDC(dc);
        if (FDc == nullptr)
            return;
        FOld = SelectObject(FDc, FBitmap);
        SetBkColor(FDc, background);
    }
    ~TSourceContext() {
        if (FDc != nullptr) {
            SelectObject(FDc, FOld);
            DeleteDC(FDc);
        }
        if (FBitmap != nullptr)
            DeleteObject(FBitmap);
    }
    TSourceContext(const TSourceContext&) = delete;
    TSourceContext& operator=(const TSourceContext&) = delete;
    HDC Dc() const { return FDc; }

private:
    HBITMAP FBitmap = nullptr;
    HDC FDc = nullptr;
    HGDIOBJ FOld = nullptr;
};

/// Draws a gradient fill or one of the newer transfers (alpha, transparent, mask, parallelogram)
/// onto a context through the layer's calls; the record must have passed its reader's checks.
/// Playback draws them so, and so does the conversion to the older format, into bitmaps.
void DrawTransferRecord(HDC dc, const TEmfRecord& record);

class TEmfPlayer {
public:
    TEmfPlayer(HDC dc, TDCObj& context, const ENHMETAHEADER& header, const RECT& rect);
    ~TEmfPlayer();
    TEmfPlayer(const TEmfPlayer&) = delete;
    TEmfPlayer& operator=(const TEmfPlayer&) = delete;

    /// Plays the records of a checked stream; false when a damaged record ended the playback.
    bool Play(const BYTE* data, std::size_t size);

    // What the record families share (EmfPlay.cpp and the families' own files).
    HDC Dc() const { return FDc; }
    /// The object an index of the table names: a stock object for 0x80000000 | n, else a slot.
    HGDIOBJ Object(DWORD index) const;
    /// Puts a new object in a slot (0 and slots beyond the table are refused; the object is then
    /// deleted). An object already there is deleted first.
    void Keep(DWORD index, HGDIOBJ object);
    /// The map from the metafile's device units (reference pixels) to the context's pixels.
    const TAffine& DeviceMap() const { return FDeviceMap; }
    /// A region of the record's data in the metafile's device units, made in the context's
    /// device pixels; nullptr when it cannot be made.
    HRGN DeviceRegion(const std::vector<BYTE>& data) const;
    /// A region of the record's data in logical units, as the painters take it.
    static HRGN LogicalRegion(const std::vector<BYTE>& data);

private:
    bool PlayRecord(const TEmfRecord& record);
    bool PlayState(const TEmfRecord& record);
    bool PlayTransform(const TEmfRecord& record);
    bool PlayObject(const TEmfRecord& record);
    bool PlayDrawing(const TEmfRecord& record);
    bool PlayClip(const TEmfRecord& record);
    bool PlayBitmap(const TEmfRecord& record);
    bool PlayText(const TEmfRecord& record);
    /// Curves, paths, geometric-pen settings and the newer transfers: their records are read
    /// and checked here (false for a damaged one); handled tells whether the record was one
    /// of them. Their drawing is DrawPendingRecord's (EmfPlayPendingCalls.cpp).
    bool PlayPending(const TEmfRecord& record, bool& handled);
    static bool CheckPendingRecord(const TEmfRecord& record);
    void DrawPendingRecord(const TEmfRecord& record);
    /// advanced: the record asks that the text follow the whole transform, turning with it.
    bool PlayTextRun(const TEmfText& text, bool wide, bool advanced = false);
    /// How far the transform turns the metafile's x axis on the context, in tenths of a degree
    /// counter-clockwise; 0 when it only scales or mirrors.
    LONG Turn() const;

    /// Sets the context's world transform from the metafile's state; a map that is not
    /// invertible leaves the previous one.
    void ApplyTransform();

    HDC FDc;
    TDCObj& FContext;
    ENHMETAHEADER FHeader;
    int FBaseLevel = 0;          // the caller's state, saved before the first record
    TAffine FFrameMap;           // reference pixels → the caller's logical units
    TAffine FCallerWorld;        // the caller's world transform (identity in GM_COMPATIBLE)
    TAffine FDeviceMap;          // reference pixels → the context's pixels
    TEmfPage FPage;
    std::vector<TEmfPage> FSaved;  // the metafile's own SaveDC states
    std::vector<HGDIOBJ> FObjects;
    std::vector<HGDIOBJ> FOrphans;  // deleted by a record while still selected: deleted at the end
};

}  // namespace gdi::detail
