// SetWinMetaFileBits' translator: a Windows metafile's records into an enhanced metafile on the
// reference screen, with the bounds of what they draw. Private to the layer; WmfToEmf.cpp holds
// the stream, the mapping and the state records, WmfToEmfRecords.cpp the objects and drawing.
#pragma once

#include "platform/gdi/MetaConvert.h"
#include "platform/gdi/WmfRecords.h"

#include <optional>
#include <vector>

namespace gdi::detail {

// An old device-dependent bitmap (its 10-byte description at word `at`, rows padded to 16 bits
// and top row first from word bitsAt) as a packed top-down DIB, the header padded to 4 bytes as
// the records below lay it out. A monochrome bitmap takes the colours it is drawn in, 0 the
// first and 1 the second; depths with colours of their own only in the device (4 and 8 bits)
// are refused without marking the record damaged.
bool DdbAsDib(TMetaParams& p, std::size_t at, std::size_t bitsAt, COLORREF zero, COLORREF one,
              std::vector<BYTE>& packed, std::size_t& infoBytes);

class TWmfTranslator {
public:
    TWmfTranslator(const BYTE* data, std::size_t size, const METAFILEPICT& picture);
    /// The finished stream, or nullptr (last error set) when the storage gate refused it.
    std::vector<BYTE>* Run();

private:
    struct TMapping {
        int Mode = MM_TEXT;
        double WindowOrgX = 0, WindowOrgY = 0, WindowExtX = 1, WindowExtY = 1;
        double ViewportOrgX = 0, ViewportOrgY = 0, ViewportExtX = 1, ViewportExtY = 1;
    };

    // What SaveDC keeps of the state the translation follows.
    struct TState {
        TMapping Map;
        BYTE Charset = DEFAULT_CHARSET;
        double FontHeight = 12;
        std::optional<LOGFONTA> Font;  // the selected font record; none: the context's default
        UINT Align = TA_LEFT | TA_TOP;
        double PenWidth = 1;  // logical width of the selected pen's outline (0 for none)
        COLORREF TextColour = RGB(0, 0, 0);
        COLORREF BkColour = RGB(255, 255, 255);
        POINT Position{0, 0};
        // SETTEXTCHAREXTRA and SETTEXTJUSTIFICATION: the enhanced format carries them in the
        // advances of text that comes without its own.
        int CharExtra = 0;
        int BreakExtra = 0;
        int BreakCount = 0;
    };

    // A slot of the metafile's object table and what the enhanced metafile has for it.
    struct TSlot {
        enum TKind { Free, Empty, Object, Pen, Font, Palette, Region } Kind = Free;
        BYTE Charset = DEFAULT_CHARSET;
        double Height = 12;
        LOGFONTA Log{};  // a font slot's record
        double PenWidth = 1;
        std::vector<BYTE> RegionData;  // RGNDATA of a region slot
        RECT RegionBox{};
    };

    bool Translate(WORD function, TMetaParams& p);
    bool State(WORD function, TMetaParams& p, bool& handled);
    bool Drawing(WORD function, TMetaParams& p, bool& handled);
    bool Objects(WORD function, TMetaParams& p, bool& handled);
    bool Text(WORD function, TMetaParams& p);
    bool Dib(WORD function, TMetaParams& p);
    bool Poly(WORD function, TMetaParams& p);
    bool CreateFont(TMetaParams& p);
    bool RegionPaint(WORD function, TMetaParams& p);

    // The mapping, as the player of the result will follow it.
    void SetMode(int mode);
    void AdjustIsotropic();
    bool FreeExtents() const { return FState.Map.Mode == MM_ISOTROPIC || FState.Map.Mode == MM_ANISOTROPIC; }
    // Bounds in reference pixels: a point, and a box whose right and bottom edges are left out.
    /// stroked: the point is on an outline of the selected pen, whose half width widens it.
    void Extend(double x, double y, bool stroked = false);
    void ExtendDevice(double x, double y);
    void ExtendBox(int left, int top, int right, int bottom, bool stroked = false);

    TSlot* SlotAt(std::size_t index) { return index < FSlots.size() ? &FSlots[index] : nullptr; }
    /// The lowest free slot made the given kind; nullptr when the table is full (the object is
    /// then dropped, as playback drops it).
    TSlot* NewSlot(TSlot::TKind kind, DWORD& emfIndex);
    bool PutRegion(DWORD type, const void* fixed, std::size_t fixedBytes, const TSlot& slot);

    const BYTE* FData;
    std::size_t FSize;
    std::size_t FEnd;
    METAFILEPICT FPicture;
    TEmfWriter FOut;
    TState FState;
    std::vector<TState> FSaved;
    std::vector<TSlot> FSlots;
    DWORD FPalette = 0;  // the enhanced index of the selected palette (0: the default one)
    struct TBounds {
        bool Any = false;
        long long Left = 0, Top = 0, Right = -1, Bottom = -1;
    } FBounds;
};

}  // namespace gdi::detail
