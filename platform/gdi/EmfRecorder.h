// The enhanced-metafile recorder's own parts, shared by EmfRecorder.cpp (state, shapes, objects,
// regions, the calls) and EmfRecorderBitmaps.cpp (text, transfers, DIBs, gradients). Private to
// the layer.
#pragma once

#include "platform/gdi/MetaConvert.h"
#include "platform/gdi/Recorder.h"

namespace gdi::detail {

inline constexpr DWORD kStockIndexFlag = 0x80000000u;

class TEmfRecorder final : public TRecorder {
public:
    TEmfRecorder(std::size_t headerBytes, std::vector<WCHAR> description, const RECT* frame)
        : Out(headerBytes), Description(std::move(description)), HasFrame(frame != nullptr) {
        if (frame != nullptr)
            Frame = RECTL{frame->left, frame->top, frame->right, frame->bottom};
        Live().push_back(this);
    }
    ~TEmfRecorder() override { std::erase(Live(), this); }

    /// Every recorder not yet closed, so that deleting an object reaches each one that made it.
    static std::vector<TEmfRecorder*>& Live() {
        static std::vector<TEmfRecorder*> recorders;
        return recorders;
    }

    TEmfWriter Out;
    std::vector<WCHAR> Description;
    bool HasFrame = false;
    RECTL Frame{};
    // The metafile's object table: index → the layer's object (index 0 is the metafile's own).
    std::vector<HGDIOBJ> Table{nullptr};
    std::size_t Peak = 1;
    struct {
        bool Any = false;
        long long Left = 0, Top = 0, Right = -1, Bottom = -1;
    } Bounds;
    // Where the last text record's bounds field lies, filled in once its run is placed.
    std::size_t TextBoundsAt = 0;

    void Extend(long long left, long long top, long long right, long long bottom) {
        if (left > right || top > bottom)
            return;
        if (!Bounds.Any) {
            Bounds = {true, left, top, right, bottom};
            return;
        }
        Bounds.Left = std::min(Bounds.Left, left), Bounds.Top = std::min(Bounds.Top, top);
        Bounds.Right = std::max(Bounds.Right, right), Bounds.Bottom = std::max(Bounds.Bottom, bottom);
    }

    /// The index of an object in the table, or 0.
    DWORD IndexOf(HGDIOBJ handle) const {
        for (std::size_t i = 1; i < Table.size(); ++i)
            if (Table[i] == handle)
                return DWORD(i);
        return 0;
    }
    /// The lowest free index, taken for the object.
    DWORD Take(HGDIOBJ handle) {
        for (std::size_t i = 1; i < Table.size(); ++i)
            if (Table[i] == nullptr) {
                Table[i] = handle;
                return DWORD(i);
            }
        Table.push_back(handle);
        Peak = std::max(Peak, Table.size());
        return DWORD(Table.size() - 1);
    }
};

inline TEmfRecorder& RecorderOf(TDCObj& dc) {
    assert(dc.Recorder != nullptr);
    return static_cast<TEmfRecorder&>(*dc.Recorder);
}

// ---- bounds ------------------------------------------------------------------------------------

// A device box of inclusive corners, gathered point by point.
struct TDeviceBox {
    bool Any = false;
    long long Left = 0, Top = 0, Right = 0, Bottom = 0;
    void Add(long long x, long long y) {
        if (!Any) {
            *this = {true, x, y, x, y};
            return;
        }
        Left = std::min(Left, x), Right = std::max(Right, x);
        Top = std::min(Top, y), Bottom = std::max(Bottom, y);
    }
    void AddLogical(const TDCObj& dc, long long x, long long y) {
        const TDevicePoint p = DevicePoint(dc, x, y);
        Add(p.X, p.Y);
    }
    void Grow(long long by) { Left -= by, Top -= by, Right += by, Bottom += by; }
};

/// A drawing's box joins the bounds, widened by half the pen's width when stroked, unless a
/// path bracket takes the drawing instead.
void Cover(TDCObj& dc, TDeviceBox box, bool stroked);
/// The device box of a logical rectangle whose right and bottom edges are left out.
TDeviceBox RectBox(const TDCObj& dc, long long left, long long top, long long right, long long bottom);
/// A box as a record's bounds; (0, 0, −1, −1) when empty.
RECTL ToRectl(const TDeviceBox& box);

/// Whether every coordinate fits the 16-bit records.
bool FitsShort(const POINT* points, std::size_t count);
/// The points as the record stores them: 16-bit pairs when small, else 32-bit.
std::vector<BYTE> PointBytes(const POINT* points, std::size_t count, bool small);


}  // namespace gdi::detail
