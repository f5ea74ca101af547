// The JPEG graphic: keeps a file's compressed bytes in shared, reference-counted data, reads only
// the header when loaded, and decodes the whole picture with libjpeg-turbo into a cached bitmap
// the first time it is drawn or its pixels are needed. It can also encode a bitmap.
#pragma once

#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"
#include "platform/base/Messages.h"
#include "platform/base/Stream.h"

#include <memory>

/// Every failure reported by libjpeg: "JPEG エラー #%d" with the library's message code.
VISTEL_EXCEPTION(EJPEG, EInvalidGraphic);

// The JPEG graphic's messages, registered by InitializeJpeg.
namespace res {
inline constexpr base::TMessage SChangeJPGSize{65297, "JPEG イメージのサイズは変更できません"};
inline constexpr base::TMessage SJPEGError{65298, "JPEG エラー #%d"};
inline constexpr base::TMessage SJPEGImageFile{65299, "JPEG イメージファイル"};

inline constexpr base::TMessage kJpegMessages[] = {SChangeJPGSize, SJPEGError, SJPEGImageFile};
static_assert(base::HasDistinctIds(kJpegMessages));
}  // namespace res

namespace jpeg {

enum class TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum class TJPEGPixelFormat { jf24Bit, jf8Bit };

/// How a graphic decodes and encodes. Each new graphic copies JPEGDefaultSettings.
struct TJPEGSettings {
    /// Passed to jpeg_set_quality when a bitmap is encoded.
    int Quality = 90;
    /// Decode to grey, and encode in the greyscale colour space.
    bool GreyOutput = false;
    /// Best speed trades the floating-point DCT for the fast integer one and ordered dithering.
    TJPEGPerformance SpeedMode = TJPEGPerformance::jpBestQuality;
    /// 24-bit pixels, or 8-bit pixels quantised to 236 colours.
    TJPEGPixelFormat DecodeDepth = TJPEGPixelFormat::jf24Bit;
    /// Multi-scan files show each scan as it arrives (libjpeg's buffered-image mode).
    bool IncrementalDisplay = false;
    /// Encode progressively; loading a file sets it from the file.
    bool Progressive = false;
    /// Decode at 1 / 2^ScaleShift of the full size (0 to 3).
    int ScaleShift = 0;
    bool BlockSmoothing = true;
};

/// The process-wide defaults; InitializeJpeg chooses DecodeDepth from the screen.
extern TJPEGSettings JPEGDefaultSettings;

/// The compressed bytes of a JPEG file and its header's size, shared between graphics.
class TJPEGData final : public graphics::TSharedImage {
public:
    std::unique_ptr<TMemoryStream> FData;  // the file's bytes exactly as read or encoded
    int FHeight = 0;
    int FWidth = 0;
    bool FGrayscale = false;

protected:
    void FreeHandle() override {}
};

struct TCodecContext;

class TJPEGImage : public graphics::TGraphic {
public:
    VISTEL_DECLARE_GRAPHIC_CLASS()
    TJPEGImage();
    ~TJPEGImage() override;

    void Assign(TPersistent* source) override;
    void AssignTo(TPersistent& dest) override;
    void Changed(TPersistent* sender) override;
    void Draw(graphics::TCanvas& canvas, const graphics::TRect& rect) override;
    bool Equals(graphics::TGraphic* other) override;
    bool GetEmpty() override;
    int GetHeight() override;
    graphics::HPALETTE GetPalette() override;
    int GetWidth() override;
    void ReadData(TStream& stream) override;
    void SetHeight(int value) override;
    void SetPalette(graphics::HPALETTE value) override;
    void SetWidth(int value) override;
    void WriteData(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromClipboardFormat(std::uint16_t format, graphics::THandle data, graphics::HPALETTE palette) override;
    void SaveToClipboardFormat(std::uint16_t& format, graphics::THandle& data, graphics::HPALETTE& palette) override;

    /// The decoded picture, made on the first call and cached until the graphic is reloaded,
    /// assigned or given a new palette. After a decode error it holds the rows written before.
    graphics::TBitmap& DecodedBitmap();
    /// Encodes the graphic's bitmap into new compressed data.
    void CompressBitmap();
    /// Replaces the compressed data by count bytes read from the stream and reads their header.
    void ReadCompressed(TStream& stream, std::int64_t size);

    TJPEGSettings& Settings() { return FSettings; }
    const TJPEGData& Data() const { return *FImage; }
    bool HasBitmap() const { return FBitmap != nullptr; }
    /// True when the data holds compressed bytes.
    bool HasCompressedData() const { return FImage->FData != nullptr && FImage->FData->Size() > 0; }

    /// Whether a draw into a small rectangle of a picture not yet decoded decodes only the rows and
    /// columns the stretch samples (on by default); the cell comes out the same either way.
    void SetSampledDraws(bool value) { FSampledDraws = value; }

    /// Called by libjpeg's progress monitor with the codec's context.
    void ReportProgress(TCodecContext& context);

private:
    void ReplaceData(TJPEGData* data);
    void FreeBitmap();
    bool DrawSampled(graphics::TCanvas& canvas, const graphics::TRect& rect);
    void PrepareDecompressor(TCodecContext& context, TStream& data);
    void DecodeInto(TCodecContext& context, bool& ownPalette);
    graphics::HPALETTE PaletteFromColormap(TCodecContext& context);
    void ColormapFromPalette(TCodecContext& context);
    void GiveBitmapColormapPalette(TCodecContext& context);

    TJPEGData* FImage = nullptr;
    std::unique_ptr<graphics::TBitmap> FBitmap;
    graphics::HPALETTE FTempPal = nullptr;
    TJPEGSettings FSettings;
    bool FSampledDraws = true;
};

}  // namespace jpeg
