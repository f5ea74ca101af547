// The PNG graphic: a PNG image kept as the ordered list of its chunks, the chunk classes that
// interpret their data, the process-wide registry that maps a chunk type to its class, and the
// PNG check value. The header chunk owns the decoded image: a DIB section (the colour plane) in
// a memory context, its bitmap description and palette, an alpha plane and an extra plane for
// the low bytes of 16-bit samples.
#pragma once

#include "graphics/Canvas.h"
#include "graphics/Graphic.h"
#include "platform/base/Messages.h"
#include "png/PngErrors.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace png {

using graphics::HBITMAP;
using graphics::HDC;
using graphics::HPALETTE;
using graphics::TColor;

class TPNGObject;
class TChunk;
class TChunkIHDR;

/// The four type letters of a chunk, in stream order.
using TChunkType = std::array<char, 4>;

/// A chunk class reference: the class name, its parent, and the virtual constructor.
struct TChunkClass {
    const char* Name;
    const TChunkClass* Parent;
    std::unique_ptr<TChunk> (*Create)(TPNGObject& owner);

    /// The chunk type the class stands for: its name without the leading "TChunk" ("IHDR" for
    /// TChunkIHDR, "" for TChunk itself).
    std::string ChunkTypeName() const;
    /// True when this class is other or derives from it.
    bool InheritsFrom(const TChunkClass& other) const;
    std::unique_ptr<TChunk> NewInstance(TPNGObject& owner) const { return Create(owner); }
};

// ---- byte order and check value -----------------------------------------------------------------

std::uint32_t SwapBytes32(std::uint32_t value);
/// Swaps the low 16 bits; the high bits of the result are 0.
std::uint32_t SwapBytes16(std::uint32_t value);
/// The CRC-32 of the PNG standard (reflected polynomial 0xEDB88320). Callers start with
/// 0xFFFFFFFF and invert the final value.
std::uint32_t CrcUpdate(std::uint32_t crc, const void* bytes, std::size_t count);

// ---- the chunk base ---------------------------------------------------------------------------

class TChunk {
public:
    /// The virtual constructor: a class reference from the registry makes the right class.
    explicit TChunk(TPNGObject& owner) : TChunk(owner, StaticClass()) {}
    virtual ~TChunk() = default;
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    static const TChunkClass& StaticClass();
    virtual const TChunkClass& ClassType() const { return StaticClass(); }
    std::string ChunkTypeName() const { return ClassType().ChunkTypeName(); }

    // Virtual operations, in slot order.
    /// Copies the type code and the data of another chunk; derived classes copy their fields.
    virtual void CopyChunk(const TChunk& source);
    /// Reads the data and the CRC; the stream stands just after the type field. False stops the
    /// stream reading. Raises EPngInvalidCRC on a mismatch.
    virtual bool ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length);
    /// Writes length, type, data and CRC.
    virtual bool WriteChunk(TStream& stream);

    /// Sets the data length and keeps one spare byte, so an empty chunk still has a buffer.
    void SetDataSize(std::int32_t size);
    std::uint8_t* Data() { return FData.get(); }
    const std::uint8_t* Data() const { return FData.get(); }
    std::int32_t DataSize() const { return FDataSize; }
    TPNGObject& Owner() const { return *FOwner; }
    const TChunkType& TypeCode() const { return FType; }
    void SetTypeCode(const TChunkType& type) { FType = type; }
    /// The type code as text: the four bytes up to the first zero byte.
    std::string TypeName() const;
    /// The owner's first chunk as the header; raises EInvalidCast when it is of another class.
    TChunkIHDR& HeaderChunk() const;

protected:
    TChunk(TPNGObject& owner, const TChunkClass& cls);
    /// The CRC over the type code and the data, as the stream stores it.
    std::uint32_t DataCrc() const;

private:
    std::unique_ptr<std::uint8_t[]> FData;
    std::int32_t FDataSize = 0;
    TPNGObject* FOwner;
    TChunkType FType{};
};

/// Declares a chunk class's class reference; define it with PNG_CHUNK_CLASS.
#define PNG_DECLARE_CHUNK_CLASS()                         \
    static const ::png::TChunkClass& StaticClass();       \
    const ::png::TChunkClass& ClassType() const override { return StaticClass(); }

#define PNG_CHUNK_CLASS(type, parent)                                                            \
    const ::png::TChunkClass& type::StaticClass() {                                              \
        static const ::png::TChunkClass cls{#type, &parent::StaticClass(),                       \
                                            [](::png::TPNGObject& owner) -> std::unique_ptr<::png::TChunk> { \
                                                return std::make_unique<type>(owner);            \
                                            }};                                                  \
        return cls;                                                                              \
    }

// ---- the chunk list and the registry ----------------------------------------------------------

/// A growable array of untyped references with an owner (the image, or none for the registry).
class TPNGPointerList {
public:
    explicit TPNGPointerList(TPNGObject* owner) : FOwner(owner) {}
    TPNGPointerList(const TPNGPointerList&) = delete;
    TPNGPointerList& operator=(const TPNGPointerList&) = delete;

    void Append(void* item) { FItems.push_back(item); }
    /// Removes the last occurrence of item and returns it; nullptr when absent. Destroys nothing.
    void* Extract(void* item);
    /// nullptr outside 0 … Count − 1.
    void* ItemAt(int index) const;
    /// Ignored beyond Count − 1.
    void PutItemAt(int index, void* item);
    /// New slots hold nullptr until stored; 0 releases the storage.
    void ChangeCount(int count);
    int Count() const { return int(FItems.size()); }
    TPNGObject* Owner() const { return FOwner; }

private:
    TPNGObject* FOwner;
    std::vector<void*> FItems;
};

/// The chunk list of an image; the image owns the chunks in it (ClearChunks destroys them).
class TPNGList : public TPNGPointerList {
public:
    using TPNGPointerList::TPNGPointerList;
    TChunk* Chunk(int index) const { return static_cast<TChunk*>(ItemAt(index)); }
    /// The first chunk, in list order, of the class or of a class derived from it.
    TChunk* FindByClass(const TChunkClass& cls) const;
    template <typename T>
    T* FindByClass() const { return static_cast<T*>(FindByClass(T::StaticClass())); }
};

void RegisterChunkClass(const TChunkClass& cls);
/// Registers the standard chunk classes in their fixed order.
void RegisterStandardChunkClasses();
void ReleaseChunkClasses();
/// A chunk of the first registered class whose type name equals the type (case-sensitive), or a
/// plain TChunk; its type code is the given one.
std::unique_ptr<TChunk> CreateChunkForType(TPNGObject& owner, const TChunkType& type);
/// The registered classes in registration order (empty before registration).
std::vector<const TChunkClass*> RegisteredChunkClasses();

// ---- the chunk classes ------------------------------------------------------------------------

class TChunkIEND : public TChunk {
public:
    PNG_DECLARE_CHUNK_CLASS()
    explicit TChunkIEND(TPNGObject& owner) : TChunk(owner, StaticClass()) {}
};

/// A bitmap-info header followed by a full 256-entry colour table.
struct TBitmapDescription {
    gdi::BITMAPINFOHEADER bmiHeader;
    gdi::RGBQUAD bmiColors[256];
    const gdi::BITMAPINFO* Info() const { return reinterpret_cast<const gdi::BITMAPINFO*>(this); }
};
static_assert(sizeof(TBitmapDescription) == 40 + 1024);

/// PNG colour types.
constexpr std::uint8_t kColorGray = 0;
constexpr std::uint8_t kColorRgb = 2;
constexpr std::uint8_t kColorPalette = 3;
constexpr std::uint8_t kColorGrayAlpha = 4;
constexpr std::uint8_t kColorRgbAlpha = 6;

/// The header chunk; it owns the decoded image's storage.
class TChunkIHDR : public TChunk {
public:
    PNG_DECLARE_CHUNK_CLASS()
    explicit TChunkIHDR(TPNGObject& owner) : TChunk(owner, StaticClass()) {}
    ~TChunkIHDR() override;

    /// Raises EPngError (chunks not compatible) for a source of another class.
    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) override;
    /// Writes bit depth 2 as 4 and the owner's InterlaceMode as the interlace method.
    bool WriteChunk(TStream& stream) override;

    /// Releases any storage and builds new, zero-filled storage from the header values. Raises
    /// EPNGOutMemory when the raster layer refuses the bitmap or a plane is too large.
    void PrepareImage();
    void ReleaseImage();
    /// Grey levels through the owner's GammaLookup; bit depth 16 is taken as 8.
    HPALETTE MakeGrayPalette(int bitDepth) const;
    /// Copies up to 256 entries into the colour table and sets biClrUsed to their number.
    void CopyPaletteToColorTable(HPALETTE palette);

    std::uint32_t Width() const { return FWidth; }
    std::uint32_t Height() const { return FHeight; }
    std::uint8_t BitDepth() const { return FBitDepth; }
    std::uint8_t ColorType() const { return FColorType; }
    std::uint8_t CompressionMethod() const { return FCompressionMethod; }
    std::uint8_t FilterMethod() const { return FFilterMethod; }
    std::uint8_t InterlaceMethod() const { return FInterlaceMethod; }
    void SetWidth(std::uint32_t value) { FWidth = value; }
    void SetHeight(std::uint32_t value) { FHeight = value; }
    void SetBitDepth(std::uint8_t value) { FBitDepth = value; }
    void SetColorType(std::uint8_t value) { FColorType = value; }
    void SetCompressionMethod(std::uint8_t value) { FCompressionMethod = value; }
    void SetFilterMethod(std::uint8_t value) { FFilterMethod = value; }
    void SetInterlaceMethod(std::uint8_t value) { FInterlaceMethod = value; }

    /// Bytes per colour-plane row (padded to whole 32-bit words).
    std::int32_t RowStride() const { return FRowStride; }
    bool UsesColorTable() const { return FUsesColorTable; }
    TBitmapDescription& BitmapInfo() { return FBitmapInfo; }
    const TBitmapDescription& BitmapInfo() const { return FBitmapInfo; }
    /// The DIB section's pixels, bottom-up (image row 0 is the last row in memory).
    std::uint8_t* ColorPlane() const { return FColorPlane; }
    /// Width × height bytes, top-down; nullptr unless the colour type carries alpha.
    std::uint8_t* AlphaPlane() const { return FAlphaPlane.get(); }
    /// The colour plane's layout; nullptr unless the bit depth is 16.
    std::uint8_t* ExtraPlane() const { return FExtraPlane.get(); }
    /// The start of image row y (from the top) in the colour plane.
    std::uint8_t* ColorRow(std::uint32_t y) const {
        return FColorPlane + std::size_t(FHeight - 1 - y) * std::size_t(FRowStride);
    }
    HBITMAP ImageHandle() const { return FImageHandle; }
    HDC ImageDC() const { return FImageDC; }
    HPALETTE ImagePalette() const { return FImagePalette; }

private:
    friend class TPNGObject;
    friend class TChunkIDAT;

    HBITMAP FImageHandle = nullptr;
    HDC FImageDC = nullptr;
    HPALETTE FImagePalette = nullptr;
    bool FUsesColorTable = false;
    TBitmapDescription FBitmapInfo{};
    std::unique_ptr<std::uint8_t[]> FExtraPlane;
    std::uint8_t* FColorPlane = nullptr;
    std::unique_ptr<std::uint8_t[]> FAlphaPlane;
    std::uint32_t FWidth = 0;
    std::uint32_t FHeight = 0;
    std::uint8_t FBitDepth = 0;
    std::uint8_t FColorType = 0;
    std::uint8_t FCompressionMethod = 0;
    std::uint8_t FFilterMethod = 0;
    std::uint8_t FInterlaceMethod = 0;
    std::int32_t FRowStride = 0;
    // What the image's context held before the bitmap and the palette were selected into it.
    HBITMAP FOldBitmap = nullptr;
    HPALETTE FOldPalette = nullptr;
};

/// The image data. Reading the first image data chunk decodes the whole image, pulling the data
/// of the chunks that follow it from the stream; the chunk keeps no data of its own.
class TChunkIDAT : public TChunk {
public:
    PNG_DECLARE_CHUNK_CLASS()
    explicit TChunkIDAT(TPNGObject& owner) : TChunk(owner, StaticClass()) {}
    bool ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) override;
    /// Encodes the colour and alpha planes as one or more image data chunks.
    bool WriteChunk(TStream& stream) override;
};

class TChunkPLTE : public TChunk {
public:
    PNG_DECLARE_CHUNK_CLASS()
    explicit TChunkPLTE(TPNGObject& owner) : TChunk(owner, StaticClass()) {}
    /// Raises EPngError (chunks not compatible) for a source of another class; copies EntryCount.
    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) override;
    /// Writes EntryCount entries of the image palette through the inverse gamma table.
    bool WriteChunk(TStream& stream) override;
    /// The colour-table entry as blue | green << 8 | red << 16 | reserved << 24. Raises EPngError
    /// (no such palette entry) for an index not below EntryCount.
    std::uint32_t PaletteEntryColor(int index) const;

    std::int32_t EntryCount = 0;
};

class TChunktRNS : public TChunk {
public:
    PNG_DECLARE_CHUNK_CLASS()
    explicit TChunktRNS(TPNGObject& owner) : TChunk(owner, StaticClass()) {}
    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) override;
    bool WriteChunk(TStream& stream) override;
    /// The transparent colour as a platform colour (red in the low byte).
    TColor TransparentColorOf() const;
    /// Rebuilds the chunk for one transparent colour.
    void MakeColorKey(TColor color);

    bool BitTransparency = false;
    std::array<std::uint8_t, 256> AlphaTable{};
};

class TChunkgAMA : public TChunk {
public:
    PNG_DECLARE_CHUNK_CLASS()
    explicit TChunkgAMA(TPNGObject& owner);
    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) override;
    /// The gamma × 100000; 1 (after resizing the data to 4 bytes) when the data is not 4 bytes.
    std::uint32_t GammaValue();
    void SetGammaValue(std::uint32_t value);
};

class TChunkpHYs : public TChunk {
public:
    PNG_DECLARE_CHUNK_CLASS()
    explicit TChunkpHYs(TPNGObject& owner) : TChunk(owner, StaticClass()) {}
    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) override;
    bool WriteChunk(TStream& stream) override;

    std::uint32_t PPUnitX = 0;
    std::uint32_t PPUnitY = 0;
    std::uint8_t UnitType = 0;
};

class TChunktIME : public TChunk {
public:
    PNG_DECLARE_CHUNK_CLASS()
    explicit TChunktIME(TPNGObject& owner) : TChunk(owner, StaticClass()) {}
    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) override;
    bool WriteChunk(TStream& stream) override;

    std::uint16_t Year = 0;
    std::uint8_t Month = 0;
    std::uint8_t Day = 0;
    std::uint8_t Hour = 0;
    std::uint8_t Minute = 0;
    std::uint8_t Second = 0;
};

class TChunktEXt : public TChunk {
public:
    PNG_DECLARE_CHUNK_CLASS()
    explicit TChunktEXt(TPNGObject& owner) : TChunk(owner, StaticClass()) {}
    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) override;
    bool WriteChunk(TStream& stream) override;

    std::string Keyword;
    std::string Text;

protected:
    TChunktEXt(TPNGObject& owner, const TChunkClass& cls) : TChunk(owner, cls) {}
};

/// Compressed text. A text that would inflate beyond the owner's bounds, or that the storage
/// gate refuses, is not inflated: Text stays empty, and the chunk keeps its compressed stream
/// and writes it back as it came (under the current Keyword) until Text is given a value.
class TChunkzTXt : public TChunktEXt {
public:
    PNG_DECLARE_CHUNK_CLASS()
    explicit TChunkzTXt(TPNGObject& owner) : TChunktEXt(owner, StaticClass()) {}
    /// Copies the fields and, for a source kept compressed, its compressed stream.
    void CopyChunk(const TChunk& source) override;
    bool ReadChunk(TStream& stream, const TChunkType& type, std::int32_t length) override;
    /// Raises EWriteError when the compressed text does not fit in one chunk and EPNGOutMemory
    /// when the storage gate refuses it; false (nothing written) when zlib refuses the level.
    bool WriteChunk(TStream& stream) override;
    /// True when reading left the text compressed.
    bool KeptCompressed() const { return FKeptCompressed; }

private:
    bool FKeptCompressed = false;
};

// ---- the PNG graphic --------------------------------------------------------------------------

/// PNG filter types; EncodeFilters holds bit t for each type t that writing may choose.
enum TPngFilter : std::uint8_t { pfNone = 0, pfSub = 1, pfUp = 2, pfAverage = 3, pfPaeth = 4 };
using TPngFilters = std::uint8_t;
constexpr TPngFilters FilterBit(TPngFilter filter) { return TPngFilters(1u << filter); }

enum class TPngTransparencyMode { ptmNone, ptmBit, ptmPartial };

/// The bounds of inflating compressed text, as widely used decoders set them: a file cannot
/// make reading hold or inflate more text than this, however far its streams would inflate.
constexpr std::size_t kDefaultTextChunkInflateLimit = std::size_t(8) << 20;
constexpr std::size_t kDefaultTextFileInflateLimit = std::size_t(64) << 20;

class TPNGObject : public graphics::TGraphic {
public:
    VISTEL_DECLARE_GRAPHIC_CLASS()
    TPNGObject();
    ~TPNGObject() override;

    // The graphic's operations.
    void AssignTo(TPersistent& dest) override;
    void Assign(TPersistent* source) override;
    void Draw(graphics::TCanvas& canvas, const graphics::TRect& rect) override;
    bool GetEmpty() override { return ChunkList.Count() == 0; }
    int GetHeight() override;
    HPALETTE GetPalette() override;
    /// True when the transparency mode is not none; raises EPNGHeaderNotPresent without a header.
    bool GetTransparent() override;
    int GetWidth() override;
    void SetHeight(int value) override;
    void SetPalette(HPALETTE value) override;
    void SetWidth(int value) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromClipboardFormat(std::uint16_t format, graphics::THandle data, HPALETTE palette) override;
    void SaveToClipboardFormat(std::uint16_t& format, graphics::THandle& data, HPALETTE& palette) override;

    /// The pixel at column x of image row y (from the top); 0 outside the image.
    TColor PixelColor(int x, int y);
    /// Sets a pixel; nothing outside the image.
    void SetPixelColor(int x, int y, TColor color);

    /// Resets both gamma tables to the identity and destroys every chunk.
    void ClearChunks();
    /// Raises an exception of the PNG class E with the message text of the resource id.
    template <typename E>
    [[noreturn]] static void RaisePngError(int messageId) {
        throw E(base::LoadStr(messageId));
    }
    template <typename E>
    [[noreturn]] static void RaisePngError(const std::string& message) {
        throw E(message);
    }

    bool HasHeader() const;
    /// The header chunk; raises EPNGHeaderNotPresent without one.
    TChunkIHDR& RequireHeader() const;
    /// PNG bytes of a row of pixelCount pixels (without the filter byte) and the bytes per
    /// complete pixel for filtering (at least 1); both 0 without a header or for a colour type
    /// the format does not know.
    void GetRowMetrics(std::uint32_t pixelCount, std::int32_t& rowLength, std::uint32_t& filterDistance) const;

    TPngTransparencyMode TransparencyMode() const;
    /// The transparent colour of the first transparency chunk; 0 without one.
    TColor TransparentColor() const;

    /// Changes the image size, keeping the pixels at the top left.
    void ResizeImage(int width, int height);
    void CopyFromPng(TPNGObject& source);
    void LoadFromBitmapHandle(HBITMAP handle, bool transparent, TColor color);

    std::int32_t IdatSizeLimit() const { return FIdatSizeLimit; }
    /// Values below 65535 store 65535.
    void SetIdatSizeLimit(std::int32_t value);
    graphics::TCanvas& ImageCanvas() { return *FImageCanvas; }

    /// Maps a stored sample back to the file's value when writing.
    std::array<std::uint8_t, 256> InverseGammaLookup{};
    TPngFilters EncodeFilters = FilterBit(pfSub);
    std::uint8_t DeflateLevel = 7;
    /// Copied from the header when read, written into the header when saved.
    std::uint8_t InterlaceMode = 0;
    TPNGList ChunkList{this};
    /// Applied to colour samples when reading.
    std::array<std::uint8_t, 256> GammaLookup{};
    /// Up to how many bytes one compressed text chunk is inflated when read; a text that would
    /// be longer stays compressed (see TChunkzTXt).
    std::size_t TextChunkInflateLimit = kDefaultTextChunkInflateLimit;
    /// Up to how many bytes all compressed text of one file is inflated when read. Every byte
    /// inflated counts, that of texts that then stay compressed too, so that a file of many
    /// texts just over the chunk bound cannot make reading slow.
    std::size_t TextFileInflateLimit = kDefaultTextFileInflateLimit;
    /// What compressed text may still inflate to while the current file is read: the smaller of
    /// the chunk bound and what is left of the file bound.
    std::size_t TextInflateAllowance() const;
    /// Counts bytes that inflating compressed text produced against the file bound.
    void CountTextInflated(std::size_t bytes);

private:
    void DrawOpaque(graphics::TCanvas& canvas, const graphics::TRect& rect, TChunkIHDR& header);
    void DrawColorKeyed(graphics::TCanvas& canvas, const graphics::TRect& rect, TChunkIHDR& header);
    void DrawBlended(graphics::TCanvas& canvas, const graphics::TRect& rect);

    std::unique_ptr<graphics::TCanvas> FImageCanvas;
    std::int32_t FIdatSizeLimit = 65535;
    // Bytes of compressed text inflated since the current file began to be read.
    std::size_t FTextInflated = 0;
};

}  // namespace png
