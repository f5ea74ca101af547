// The drawing surface of the picture framework: a canvas wraps one device context of the raster
// layer and draws with a brush, a font and a pen whose platform objects are pooled by value.
#pragma once

#include "graphics/GraphicsBase.h"
#include "platform/base/Persistent.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace graphics {

class TCanvas;
class TGraphic;
class TBitmap;

enum class TBrushStyle : std::uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
enum class TPenStyle : std::uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum class TPenMode : std::uint8_t {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
/// The binary raster operation (R2_…) of a pen mode.
int PenModeRop2(TPenMode mode);

/// Font style bits.
enum TFontStyle : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
enum class TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };

// The data each kind of drawing object keeps in its pool record. Records are compared byte by
// byte, so the structs have no padding holes (the reserved bytes fill them) and are zeroed whole
// before they are filled. The platform handle lives in the record, not here: two records with
// equal settings must compare equal whether or not one of them has made its handle yet.
struct TBrushData {
    TBitmap* Bitmap;  // not owned; the pattern is copied when the platform brush is made
    TColor Color;
    TBrushStyle Style;
    std::uint8_t Reserved[3];
};
struct TPenData {
    TColor Color;
    int Width;
    TPenStyle Style;
    std::uint8_t Reserved[3];
};
struct TFontData {
    int Height;
    int Orientation;
    std::uint8_t Pitch;
    std::uint8_t Style;
    std::uint8_t Charset;
    char Name[32];
    std::uint8_t Reserved;
};

/// One shared record of a pool: the data, a hash of it and a reference count.
struct TResource {
    int RefCount;
    gdi::HGDIOBJ Handle;  // the platform object, made on first use
    std::uint16_t HashCode;
    union {
        TBrushData Brush;
        TPenData Pen;
        TFontData Font;
    } Data;
};

/// A pool of drawing-object records shared by value.
class TResourceManager {
public:
    explicit TResourceManager(std::size_t dataSize);
    /// Deletes the platform objects of the records still left.
    ~TResourceManager();
    TResourceManager(const TResourceManager&) = delete;
    TResourceManager& operator=(const TResourceManager&) = delete;

    /// The record with equal data (same hash, same bytes), referenced once more, or a new one.
    TResource* AllocResource(const void* data);
    /// Drops one reference; the last one deletes the platform object and the record.
    void FreeResource(TResource* resource);
    /// Adds one reference to a record of this pool.
    void Reference(TResource* resource);
    /// The record's platform object, made by make (under the pool's lock) when it has none yet.
    gdi::HGDIOBJ Handle(TResource* resource, const std::function<gdi::HGDIOBJ()>& make);
    /// The record's platform object if it has been made; nullptr otherwise.
    gdi::HGDIOBJ MadeHandle(const TResource* resource) const;
    void Lock() { FLock.lock(); }
    void Unlock() { FLock.unlock(); }
    /// The number of records alive.
    std::size_t Count() const;

private:
    std::size_t FDataSize;
    std::vector<std::unique_ptr<TResource>> FResources;
    mutable std::recursive_mutex FLock;
};

/// The process-wide pools of the three kinds of drawing objects.
TResourceManager& BrushResources();
TResourceManager& PenResources();
TResourceManager& FontResources();

class TGraphicsObject : public TPersistent {
public:
    TGraphicsObject() = default;
    // Each object holds one counted reference to its record; a copy would not count its own.
    TGraphicsObject(const TGraphicsObject&) = delete;
    TGraphicsObject& operator=(const TGraphicsObject&) = delete;
    const char* ClassName() const override { return "TGraphicsObject"; }
    std::function<void(TGraphicsObject*)> OnChange;
    /// The canvas that owns this object, told of every change.
    TCanvas* OwnerCanvas = nullptr;

protected:
    void Changed();
    /// Moves the object to next (whose reference it takes over), tells the owner, and only then
    /// drops the old record: the canvas must deselect the old platform object before the last
    /// reference can delete it.
    void ReplaceResource(TResourceManager& pool, TResource* next);
    TResource* FResource = nullptr;
};

class TBrush : public TGraphicsObject {
public:
    TBrush();
    ~TBrush() override;
    const char* ClassName() const override { return "TBrush"; }
    void Assign(TPersistent* source) override;
    TColor Color() const;
    void SetColor(TColor value);
    TBrushStyle Style() const;
    void SetStyle(TBrushStyle value);
    TBitmap* Bitmap() const;
    void SetBitmap(TBitmap* value);
    /// The platform brush, made on first use.
    gdi::HBRUSH Handle();
    TResource* Resource() const { return FResource; }

private:
    TBrushData Data() const;
    void SetData(const TBrushData& data);
};

class TPen : public TGraphicsObject {
public:
    TPen();
    ~TPen() override;
    const char* ClassName() const override { return "TPen"; }
    void Assign(TPersistent* source) override;
    TColor Color() const;
    void SetColor(TColor value);
    int Width() const;
    void SetWidth(int value);
    TPenStyle Style() const;
    void SetStyle(TPenStyle value);
    TPenMode Mode() const { return FMode; }
    void SetMode(TPenMode value);
    gdi::HPEN Handle();
    TResource* Resource() const { return FResource; }

private:
    TPenData Data() const;
    void SetData(const TPenData& data);
    TPenMode FMode = TPenMode::pmCopy;
};

class TFont : public TGraphicsObject {
public:
    TFont();
    ~TFont() override;
    const char* ClassName() const override { return "TFont"; }
    void Assign(TPersistent* source) override;
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    int Height() const;
    void SetHeight(int value);
    /// Points at the font's pixels per inch (the screen's by default).
    int Size() const;
    void SetSize(int value);
    std::string Name() const;
    void SetName(const std::string& value);
    std::uint8_t Style() const;
    void SetStyle(std::uint8_t value);
    std::uint8_t Charset() const;
    void SetCharset(std::uint8_t value);
    TFontPitch Pitch() const;
    void SetPitch(TFontPitch value);
    /// The pixels per inch that Size converts through; the screen's when the font is made.
    int PixelsPerInch = 96;
    gdi::HFONT Handle();
    TResource* Resource() const { return FResource; }

private:
    TFontData Data() const;
    void SetData(const TFontData& data);
    TColor FColor = clWindowText;
};

enum TCanvasStates : std::uint8_t { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8 };
constexpr std::uint8_t csAllValid = csHandleValid | csFontValid | csPenValid | csBrushValid;

class TCanvas : public TPersistent {
public:
    TCanvas();
    ~TCanvas() override;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;
    const char* ClassName() const override { return "TCanvas"; }

    // Virtual operations added by the canvas, in this order.
    virtual void Changed();
    virtual void Changing();
    /// Makes a device context; a plain canvas has none of its own.
    virtual void CreateHandle();

    void FillRect(const TRect& rect);
    /// Draws the graphic unscaled with its top-left corner at (x, y); nothing for no graphic or
    /// an empty one.
    void Draw(int x, int y, TGraphic* graphic);
    /// Draws the graphic into the rectangle; nothing for no graphic.
    void StretchDraw(const TRect& rect, TGraphic* graphic);

    /// Writes the text (UTF-8) with its top-left corner at (x, y) in the font, on the brush's
    /// background (a clear brush leaves the background alone). The pen position stays.
    void TextOut(int x, int y, const std::string& text);
    /// Writes the text at (x, y) clipped to the rectangle; a solid brush fills the whole
    /// rectangle first, a clear one leaves the background alone.
    void TextRect(const TRect& rect, int x, int y, const std::string& text);
    /// The text's advance width and the font's cell height.
    gdi::SIZE TextExtent(const std::string& text);
    int TextWidth(const std::string& text) { return TextExtent(text).cx; }
    int TextHeight(const std::string& text) { return TextExtent(text).cy; }

    /// Makes each missing state flag valid; raises EInvalidOperation when no context can be had.
    void EnsureState(std::uint8_t required);
    void RequiredState(std::uint8_t required) { EnsureState(required); }
    /// The device context, with every state flag made valid.
    HDC Handle();
    void SetHandle(HDC value);
    bool HandleAllocated() const { return FHandle != nullptr; }
    /// The context as it is: no state is made valid and nobody is told of a change.
    HDC RawHandle() const { return FHandle; }
    std::uint8_t State() const { return FState; }

    void Lock();
    void Unlock();
    /// Takes the lock only when nobody holds it; says whether it did.
    bool TryLock();
    int LockCount() const;

    TBrush& Brush() { return FBrush; }
    TFont& Font() { return FFont; }
    TPen& Pen() { return FPen; }
    void SetBrush(TBrush& value) { FBrush.Assign(&value); }
    void SetFont(TFont& value) { FFont.Assign(&value); }
    void SetPen(TPen& value) { FPen.Assign(&value); }

    gdi::DWORD CopyMode = gdi::SRCCOPY;
    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

    /// Called by its drawing objects when one of them changes.
    void ObjectChanged(TGraphicsObject& object);

protected:
    // The raw context, without requiring any state (for the canvas classes themselves).
    HDC FHandle = nullptr;

private:
    void DeselectHandles();
    void CreateFont();
    void CreatePen();
    void CreateBrush();

    std::uint8_t FState = 0;
    TFont FFont;
    TPen FPen;
    TBrush FBrush;
    gdi::POINT FPenPos{0, 0};
    std::recursive_mutex FLock;
    int FLockCount = 0;
};

/// Every canvas alive; walked under its own lock.
std::vector<TCanvas*> CanvasListSnapshot();

}  // namespace graphics
