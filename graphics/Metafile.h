// The metafile graphic: enhanced metafiles, and placeable Windows metafiles converted to enhanced
// ones on loading. The picture is held as the raster layer's enhanced-metafile handle and its
// size in hundredths of a millimetre; drawing plays it into the rectangle, filling it exactly.
#pragma once

#include "graphics/Bitmap.h"
#include "platform/gdi/EnhMetaFile.h"

#include <cstdint>

namespace graphics {

class TMetafileImage final : public TSharedImage {
public:
    TMetafileImage() = default;
    ~TMetafileImage() override;
    gdi::HENHMETAFILE FHandle = nullptr;
    int FWidth = 0;   // hundredths of a millimetre
    int FHeight = 0;
    HPALETTE FPalette = nullptr;  // made from the metafile's palette on first request
    std::uint16_t FInch = 0;      // units per inch of a placeable Windows metafile; 0 otherwise
    int FTempWidth = 0;           // pixel sizes set while there is no handle and no inch value
    int FTempHeight = 0;

protected:
    void FreeHandle() override;
};

/// The 22-byte header in front of a placeable Windows metafile.
struct TPlaceableHeader {
    std::uint32_t Key = 0;
    std::uint16_t Handle = 0;
    std::int16_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    std::uint16_t Inch = 0;
    std::uint32_t Reserved = 0;
    std::uint16_t CheckSum = 0;
};
inline constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;

/// The XOR of the header's first ten 16-bit words.
std::uint16_t PlaceableChecksum(const TPlaceableHeader& header);

class TMetafile : public TGraphic {
public:
    VISTEL_DECLARE_GRAPHIC_CLASS()
    TMetafile();
    ~TMetafile() override;

    void Assign(TPersistent* source) override;
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool GetEmpty() override;
    int GetHeight() override;
    int GetWidth() override;
    HPALETTE GetPalette() override;
    void ReadData(TStream& stream) override;
    void SetHeight(int value) override;
    void SetTransparent(bool value) override;
    void SetWidth(int value) override;
    void WriteData(TStream& stream) override;
    void SaveToFile(const std::string& fileName) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromClipboardFormat(std::uint16_t format, THandle data, HPALETTE palette) override;
    void SaveToClipboardFormat(std::uint16_t& format, THandle& data, HPALETTE& palette) override;

    /// Saved as an enhanced metafile when true, as a placeable Windows metafile when false.
    bool Enhanced() const { return FSaveEnhanced; }
    void SetEnhanced(bool value) { FSaveEnhanced = value; }
    gdi::HENHMETAFILE Handle() const { return FImage->FHandle; }
    /// The size in hundredths of a millimetre.
    int MMWidth();
    int MMHeight();
    void SetMMWidth(int value);
    void SetMMHeight(int value);
    std::uint16_t Inch() const { return FImage->FInch; }
    const TMetafileImage& Image() const { return *FImage; }

    /// Whether the stream, from its position, holds an enhanced metafile's header.
    static bool IsEnhancedStream(TStream& stream);
    void ReadEnhancedStream(TStream& stream);
    /// length: the bytes from the stream's position that belong to the metafile.
    void ReadPlaceableStream(TStream& stream, std::int64_t length);
    void WriteEnhancedStream(TStream& stream);
    void WritePlaceableStream(TStream& stream);
    /// Gives this metafile image data of its own when it shares its data with another.
    void MakeUnique();

private:
    void NewImage();
    void LoadFrom(TStream& stream, std::int64_t length);

    TMetafileImage* FImage = nullptr;
    bool FSaveEnhanced = true;
};

}  // namespace graphics
