// The JPEG graphic over libjpeg-turbo. Pixels travel in the bitmap's own order, blue, green, red:
// the library's extended colour spaces decode and encode BGR rows directly.
#include "jpeg/JpegImage.h"

#include "jpeg/JpegCodec.h"
#include "platform/base/Messages.h"
#include "platform/gdi/Handles.h"
#include "platform/gdi/Screen.h"
#include "platform/gdi/Storage.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace jpeg {

using namespace graphics;

TJPEGSettings JPEGDefaultSettings;

VISTEL_GRAPHIC_CLASS(TJPEGImage, TGraphic)

namespace {

constexpr int kQuantisedColors = 236;
// Rows handed to libjpeg per call: enough for its largest row group, so no row is buffered twice.
constexpr int kRowBatch = 16;

int ScreenDepth() {
    HDC screen = GDICheck(gdi::GetDC(nullptr));
    const int depth = gdi::GetDeviceCaps(screen, gdi::BITSPIXEL) * gdi::GetDeviceCaps(screen, gdi::PLANES);
    gdi::ReleaseDC(nullptr, screen);
    return depth;
}

// Where decoded rows go: image row i lands at Row0 + i × Step. A CMYK picture is decoded into a
// scratch row from the library's pool and converted, since libjpeg does not make RGB of it.
struct TRowTarget {
    std::uint8_t* Row0;
    std::ptrdiff_t Step;
    JSAMPROW Scratch;
    bool Inverted;  // Adobe CMYK stores its inks inverted
};

void ConvertCmykRow(const JSAMPLE* cmyk, std::uint8_t* bgr, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[0] = std::uint8_t((y * k + 127) / 255);
        bgr[1] = std::uint8_t((m * k + 127) / 255);
        bgr[2] = std::uint8_t((c * k + 127) / 255);
    }
}

// Reads rows from the decoder's current output row to the end of the output pass. Runs inside
// RunGuarded: nothing here has a destructor.
void ReadRows(jpeg_decompress_struct& d, const TRowTarget& target) {
    JSAMPROW rows[kRowBatch];
    while (d.output_scanline < d.output_height) {
        const JDIMENSION first = d.output_scanline;
        JDIMENSION got;
        if (target.Scratch != nullptr) {
            got = jpeg_read_scanlines(&d, const_cast<JSAMPARRAY>(&target.Scratch), 1);
            if (got == 1)
                ConvertCmykRow(target.Scratch, target.Row0 + std::ptrdiff_t(first) * target.Step, d.output_width,
                               target.Inverted);
        } else {
            const JDIMENSION count = std::min<JDIMENSION>(kRowBatch, d.output_height - first);
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = target.Row0 + std::ptrdiff_t(first + i) * target.Step;
            got = jpeg_read_scanlines(&d, rows, count);
        }
        if (got == 0)
            break;  // only a suspending source returns nothing, and ours never suspends
    }
}

bool IsCmyk(const jpeg_decompress_struct& d) { return d.out_color_space == JCS_CMYK; }

}  // namespace

// ---- life ------------------------------------------------------------------------------------

TJPEGImage::TJPEGImage() : FImage(new TJPEGData), FSettings(JPEGDefaultSettings) { FImage->Reference(); }

TJPEGImage::~TJPEGImage() {
    if (FTempPal != nullptr)
        gdi::DeleteObject(FTempPal);
    FBitmap.reset();
    FImage->Release();
}

void TJPEGImage::ReplaceData(TJPEGData* data) {
    data->Reference();
    FImage->Release();
    FImage = data;
}

void TJPEGImage::FreeBitmap() { FBitmap.reset(); }

void TJPEGImage::Changed(TPersistent* sender) { TGraphic::Changed(sender); }

// ---- loading ---------------------------------------------------------------------------------

void TJPEGImage::ReadCompressed(TStream& stream, std::int64_t size) {
    ReplaceData(new TJPEGData);
    FreeBitmap();
    // A count beyond what the stream holds fails like the short read it would be, before any
    // memory is set aside for it.
    if (size < 0 || size > stream.Remaining())
        throw EReadError(base::LoadStr(res::SReadError));
    // The bytes a graphic keeps come from the file as much as pixels do, and pass the same gate
    // before anything is read.
    if (!gdi::StorageAllowed(std::size_t(size)))
        GDIError();
    if (size > 0) {
        // A zero-length file leaves no compressed data: the graphic is empty.
        FImage->FData = std::make_unique<TMemoryStream>();
        FImage->FData->SetSize(size);
        stream.ReadBuffer(const_cast<std::uint8_t*>(FImage->FData->Memory()), size);
        auto context = std::make_unique<TCodecContext>();
        TCodecGuard guard(*context);
        SetupErrorManager(*context);
        FImage->FData->SetPosition(0);
        TStream& data = *FImage->FData;
        jpeg_decompress_struct& d = context->D;
        bool multiScan = false;
        const bool ok = RunGuarded(*context, [&] {
            jpeg_create_decompress(&d);
            SetStreamSource(*context, data);
            jpeg_read_header(&d, TRUE);
            multiScan = jpeg_has_multiple_scans(&d);
        });
        if (!ok)
            RaiseCodecError(*context);
        FImage->FWidth = int(d.image_width);
        FImage->FHeight = int(d.image_height);
        FImage->FGrayscale = d.jpeg_color_space == JCS_GRAYSCALE;
        FSettings.Progressive = multiScan;
    }
    FPaletteModified = true;
    Changed(this);
}

void TJPEGImage::LoadFromStream(TStream& stream) { ReadCompressed(stream, stream.Remaining()); }

void TJPEGImage::ReadData(TStream& stream) {
    std::int32_t size = 0;
    stream.ReadBuffer(&size, sizeof size);
    ReadCompressed(stream, size);
}

// ---- saving ----------------------------------------------------------------------------------

void TJPEGImage::SaveToStream(TStream& stream) {
    if (!HasCompressedData())
        CompressBitmap();
    if (HasCompressedData())
        stream.WriteBuffer(FImage->FData->Memory(), FImage->FData->Size());
}

void TJPEGImage::WriteData(TStream& stream) {
    // A graphic made from a bitmap is encoded first, as saving does; storing it as zero bytes
    // would lose the picture.
    if (!HasCompressedData() && FBitmap && !FBitmap->Empty())
        CompressBitmap();
    const std::int64_t size = HasCompressedData() ? FImage->FData->Size() : 0;
    if (size > INT32_MAX)
        throw EWriteError(base::LoadStr(res::SWriteError));
    const auto count = std::int32_t(size);
    stream.WriteBuffer(&count, sizeof count);
    if (count > 0)
        stream.WriteBuffer(FImage->FData->Memory(), count);
}

// ---- size, emptiness, equality ---------------------------------------------------------------

int TJPEGImage::GetWidth() {
    if (FBitmap)
        return FBitmap->Width();
    const int shift = std::clamp(FSettings.ScaleShift, 0, 3);
    return (FImage->FWidth + (1 << shift) - 1) >> shift;
}

int TJPEGImage::GetHeight() {
    if (FBitmap)
        return FBitmap->Height();
    const int shift = std::clamp(FSettings.ScaleShift, 0, 3);
    return (FImage->FHeight + (1 << shift) - 1) >> shift;
}

bool TJPEGImage::GetEmpty() {
    if (HasCompressedData())
        return false;
    return !FBitmap || FBitmap->Empty();
}

void TJPEGImage::SetWidth(int) { throw EInvalidGraphicOperation(base::LoadStr(res::SChangeJPGSize)); }

void TJPEGImage::SetHeight(int) { throw EInvalidGraphicOperation(base::LoadStr(res::SChangeJPGSize)); }

bool TJPEGImage::Equals(TGraphic* other) {
    auto* jpeg = dynamic_cast<TJPEGImage*>(other);
    if (jpeg == nullptr)
        return false;
    if (HasCompressedData() && jpeg->HasCompressedData())
        return TGraphic::Equals(other);
    return FImage == jpeg->FImage;
}

// ---- assigning -------------------------------------------------------------------------------

void TJPEGImage::Assign(TPersistent* source) {
    if (auto* jpeg = dynamic_cast<TJPEGImage*>(source)) {
        if (jpeg == this)
            return;
        ReplaceData(jpeg->FImage);
        if (jpeg->FBitmap) {
            auto bitmap = std::make_unique<TBitmap>();
            bitmap->Assign(jpeg->FBitmap.get());
            FBitmap = std::move(bitmap);
        } else {
            FreeBitmap();
        }
        FPaletteModified = true;
        Changed(this);
        return;
    }
    if (auto* bitmap = dynamic_cast<TBitmap*>(source)) {
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(bitmap);
        ReplaceData(new TJPEGData);
        FBitmap = std::move(copy);
        FPaletteModified = true;
        Changed(this);
        return;
    }
    TGraphic::Assign(source);
}

void TJPEGImage::AssignTo(TPersistent& dest) {
    if (auto* bitmap = dynamic_cast<TBitmap*>(&dest)) {
        bitmap->Assign(&DecodedBitmap());
        return;
    }
    TGraphic::AssignTo(dest);
}

void TJPEGImage::LoadFromClipboardFormat(std::uint16_t format, THandle data, HPALETTE palette) {
    TBitmap bitmap;
    bitmap.LoadFromClipboardFormat(format, data, palette);
    Assign(&bitmap);
}

void TJPEGImage::SaveToClipboardFormat(std::uint16_t& format, THandle& data, HPALETTE& palette) {
    DecodedBitmap().SaveToClipboardFormat(format, data, palette);
}

// ---- palette ---------------------------------------------------------------------------------

HPALETTE TJPEGImage::GetPalette() {
    if (FBitmap)
        return FBitmap->GetPalette();
    if (FTempPal != nullptr)
        return FTempPal;
    if (FSettings.DecodeDepth == TJPEGPixelFormat::jf24Bit && ScreenDepth() <= 8) {
        HDC screen = GDICheck(gdi::GetDC(nullptr));
        FTempPal = gdi::CreateHalftonePalette(screen);
        gdi::ReleaseDC(nullptr, screen);
        return FTempPal;
    }
    return nullptr;
}

void TJPEGImage::SetPalette(HPALETTE value) {
    if (value == FTempPal)
        return;
    // The bitmap's own palette handed back changes nothing; keeping it as the temporary palette
    // as well would give one handle two owners.
    if (FBitmap && value != nullptr && value == FBitmap->GetPalette())
        return;
    bool freed = false;
    if (FBitmap && value != FBitmap->GetPalette()) {
        FreeBitmap();
        freed = true;
    }
    if (FTempPal != nullptr)
        gdi::DeleteObject(FTempPal);
    FTempPal = value;
    if (freed) {
        FPaletteModified = true;
        Changed(this);
    }
}

HPALETTE TJPEGImage::PaletteFromColormap(TCodecContext& context) {
    jpeg_decompress_struct& d = context.D;
    const int count = std::clamp(d.actual_number_of_colors, 0, 256);
    if (count == 0 || d.colormap == nullptr)
        return nullptr;
    struct {
        gdi::WORD palVersion;
        gdi::WORD palNumEntries;
        gdi::PALETTEENTRY entries[256];
    } log{0x300, gdi::WORD(count), {}};
    const bool grey = d.out_color_space == JCS_GRAYSCALE;
    for (int i = 0; i < count; ++i) {
        gdi::PALETTEENTRY& entry = log.entries[i];
        if (grey) {
            entry.peRed = entry.peGreen = entry.peBlue = d.colormap[0][i];
        } else {
            entry.peRed = d.colormap[2][i];
            entry.peGreen = d.colormap[1][i];
            entry.peBlue = d.colormap[0][i];
        }
        entry.peFlags = 0;
    }
    return GDICheck(gdi::CreatePalette(reinterpret_cast<gdi::LOGPALETTE*>(&log)));
}

void TJPEGImage::ColormapFromPalette(TCodecContext& context) {
    gdi::PALETTEENTRY entries[256];
    const int count = int(gdi::GetPaletteEntries(FTempPal, 0, 256, entries));
    if (count <= 0)
        return;
    jpeg_decompress_struct& d = context.D;
    const bool ok = RunGuarded(context, [&] {
        JSAMPARRAY map = d.mem->alloc_sarray(context.Common(), JPOOL_IMAGE, JDIMENSION(count), 3);
        for (int i = 0; i < count; ++i) {
            map[0][i] = entries[i].peBlue;
            map[1][i] = entries[i].peGreen;
            map[2][i] = entries[i].peRed;
        }
        d.colormap = map;
        d.actual_number_of_colors = count;
    });
    if (!ok)
        RaiseCodecError(context);
}

void TJPEGImage::GiveBitmapColormapPalette(TCodecContext& context) {
    HPALETTE palette = PaletteFromColormap(context);
    if (palette == nullptr)
        return;
    try {
        FBitmap->SetPalette(palette);
    } catch (...) {
        if (FBitmap->GetPalette() != palette)
            gdi::DeleteObject(palette);
        throw;
    }
    FPaletteModified = true;
}

// ---- decoding --------------------------------------------------------------------------------

void TJPEGImage::PrepareDecompressor(TCodecContext& context, TStream& data) {
    SetupErrorManager(context);
    jpeg_decompress_struct& d = context.D;
    const TJPEGSettings settings = FSettings;
    const bool ok = RunGuarded(context, [&] {
        jpeg_create_decompress(&d);
        // The library's whole-image buffers (the coefficients of progressive and buffered images)
        // stay under the storage cap as well: beyond it the library wants a backing store it does
        // not have and fails, instead of taking gigabytes for a hostile header.
        d.mem->max_memory_to_use = long(std::min<std::size_t>(gdi::GetBitmapStorageCap(), LONG_MAX));
        SetupProgress(context, this);
        data.SetPosition(0);
        SetStreamSource(context, data);
        jpeg_read_header(&d, TRUE);
        d.scale_num = 1;
        d.scale_denom = 1u << std::clamp(settings.ScaleShift, 0, 3);
        d.do_block_smoothing = settings.BlockSmoothing ? TRUE : FALSE;
        if (settings.GreyOutput)
            d.out_color_space = JCS_GRAYSCALE;
        else if (d.out_color_space == JCS_RGB)
            d.out_color_space = JCS_EXT_BGR;
        // libjpeg makes no RGB of CMYK: those pictures are decoded to 24 bits and converted here.
        if (!IsCmyk(d) &&
            (settings.DecodeDepth == TJPEGPixelFormat::jf8Bit || d.out_color_space == JCS_GRAYSCALE)) {
            d.quantize_colors = TRUE;
            d.desired_number_of_colors = kQuantisedColors;
        }
        if (settings.SpeedMode == TJPEGPerformance::jpBestSpeed) {
            d.dct_method = JDCT_IFAST;
            d.two_pass_quantize = FALSE;
            d.dither_mode = JDITHER_ORDERED;
        } else {
            d.dct_method = JDCT_FLOAT;
        }
        context.FinalDctMethod = d.dct_method;
        context.FinalTwoPass = d.two_pass_quantize != FALSE;
        context.FinalDither = d.dither_mode;
        if (settings.IncrementalDisplay && jpeg_has_multiple_scans(&d)) {
            d.enable_2pass_quant = context.FinalTwoPass ? TRUE : FALSE;
            d.dct_method = JDCT_IFAST;
            d.two_pass_quantize = FALSE;
            d.dither_mode = JDITHER_ORDERED;
            d.buffered_image = TRUE;
        }
        jpeg_calc_output_dimensions(&d);
    });
    if (!ok) {
        DestroyCodec(context);
        RaiseCodecError(context);
    }
}

TBitmap& TJPEGImage::DecodedBitmap() {
    if (FBitmap)
        return *FBitmap;
    FBitmap = std::make_unique<TBitmap>();
    bool ownPalette = true;
    // Without compressed bytes the library meets an empty input and says so.
    TMemoryStream noData;
    auto context = std::make_unique<TCodecContext>();
    PrepareDecompressor(*context, HasCompressedData() ? *FImage->FData : noData);
    TCodecGuard guard(*context);
    try {
        try {
            DecodeInto(*context, ownPalette);
        } catch (...) {
            Progress(this, TProgressStage::psEnding, 0, FPaletteModified, TRect{}, std::string());
            if (FPaletteModified)
                Changed(this);
            throw;
        }
        Progress(this, TProgressStage::psEnding, 100, FPaletteModified, TRect{}, std::string());
        if (FPaletteModified)
            Changed(this);
    } catch (const EAbort&) {
        // A listener's silent abort ends the decoding; the rows so far are the picture.
    }
    return *FBitmap;
}

void TJPEGImage::DecodeInto(TCodecContext& context, bool& ownPalette) {
    jpeg_decompress_struct& d = context.D;
    TBitmap& bitmap = *FBitmap;
    bitmap.SetHandle(nullptr);
    const bool eightBit = d.quantize_colors != FALSE;
    bitmap.SetPixelFormat(eightBit ? px8Bit : px24Bit);
    Progress(this, TProgressStage::psStarting, 0, false, TRect{}, std::string());

    if (FTempPal != nullptr) {
        // The caller's palette becomes the quantiser's colour map; a single-component (grey)
        // output cannot use a colour map, so it keeps its own grey palette.
        if (FSettings.DecodeDepth == TJPEGPixelFormat::jf8Bit && d.out_color_components == 3 && eightBit) {
            ColormapFromPalette(context);
            if (d.colormap != nullptr) {
                HPALETTE copy = nullptr;
                {
                    gdi::PALETTEENTRY entries[256];
                    const auto count = gdi::GetPaletteEntries(FTempPal, 0, 256, entries);
                    struct {
                        gdi::WORD palVersion;
                        gdi::WORD palNumEntries;
                        gdi::PALETTEENTRY entries[256];
                    } log{0x300, gdi::WORD(count), {}};
                    std::copy(entries, entries + count, log.entries);
                    copy = GDICheck(gdi::CreatePalette(reinterpret_cast<gdi::LOGPALETTE*>(&log)));
                }
                try {
                    bitmap.SetPalette(copy);
                } catch (...) {
                    if (bitmap.GetPalette() != copy)
                        gdi::DeleteObject(copy);
                    throw;
                }
                ownPalette = false;
            }
        } else if (FSettings.DecodeDepth == TJPEGPixelFormat::jf24Bit) {
            gdi::DeleteObject(FTempPal);
            FTempPal = nullptr;
        }
    }

    // The bitmap is sized before the library sets aside its own buffers, so a picture too large
    // for the bitmap storage is refused before any of its memory exists.
    bitmap.SetWidth(int(d.output_width));
    bitmap.SetHeight(int(d.output_height));

    if (!RunGuarded(context, [&] { jpeg_start_decompress(&d); }))
        RaiseCodecError(context);

    const bool cmyk = IsCmyk(d);
    TRowTarget target{nullptr, 0, nullptr, d.saw_Adobe_marker != FALSE};
    if (cmyk && !RunGuarded(context, [&] {
            target.Scratch = d.mem->alloc_sarray(context.Common(), JPOOL_IMAGE, d.output_width * 4, 1)[0];
        }))
        RaiseCodecError(context);
    auto aimAtBitmap = [&] {
        target.Row0 = static_cast<std::uint8_t*>(bitmap.ScanLine(0));
        target.Step = bitmap.Height() > 1 ? static_cast<std::uint8_t*>(bitmap.ScanLine(1)) - target.Row0 : 0;
    };

    if (d.buffered_image) {
        bool done = false;
        while (!done) {
            if (!RunGuarded(context, [&] { jpeg_start_output(&d, d.input_scan_number); }))
                RaiseCodecError(context);
            if (context.Progress.completed_passes == 0 && d.colormap != nullptr && eightBit && ownPalette)
                GiveBitmapColormapPalette(context);
            aimAtBitmap();
            if (!RunGuarded(context, [&] {
                    ReadRows(d, target);
                    jpeg_finish_output(&d);
                    done = jpeg_consume_input(&d) == JPEG_REACHED_EOI;
                }))
                RaiseCodecError(context);
        }
        d.dct_method = context.FinalDctMethod;
        d.dither_mode = context.FinalDither;
        if (context.FinalTwoPass) {
            d.two_pass_quantize = TRUE;
            d.colormap = nullptr;
        }
        if (!RunGuarded(context, [&] { jpeg_start_output(&d, d.input_scan_number); }))
            RaiseCodecError(context);
    }
    if ((!d.buffered_image || context.FinalTwoPass) && d.colormap != nullptr && ownPalette)
        GiveBitmapColormapPalette(context);
    aimAtBitmap();
    if (!RunGuarded(context, [&] {
            ReadRows(d, target);
            if (d.buffered_image)
                jpeg_finish_output(&d);
            jpeg_finish_decompress(&d);
        }))
        RaiseCodecError(context);
}

// ---- progress --------------------------------------------------------------------------------

void TJPEGImage::ReportProgress(TCodecContext& context) {
    const jpeg_progress_mgr& progress = context.Progress;
    const gdi::DWORD now = gdi::GetTickCount();
    if (now - context.LastTick < 500)
        return;
    const gdi::DWORD previous = context.LastTick;
    context.LastTick = now;
    if (previous == 0)
        return;
    const bool decoding = context.Common()->is_decompressor != FALSE;
    TRect rect{};
    if (decoding) {
        const jpeg_decompress_struct& d = context.D;
        rect = TRect{0, int(context.LastRow), int(d.output_width), int(d.output_scanline)};
        if (d.output_scanline < context.LastRow)
            rect.bottom = int(d.output_height);
    }
    if (progress.pass_limit <= 0 || progress.total_passes <= 0)
        return;
    const double done = (double(progress.pass_counter) / double(progress.pass_limit) + progress.completed_passes) *
                        100.0 / progress.total_passes;
    const int percent = int(std::clamp(done, 0.0, 100.0));
    if (percent == context.LastPercent)
        return;
    context.LastPercent = percent;
    if (decoding)
        context.LastRow = context.D.output_scanline;
    Progress(this, TProgressStage::psRunning, std::uint8_t(percent), rect.bottom - rect.top >= 4, rect,
             std::string());
}

// ---- encoding --------------------------------------------------------------------------------

void TJPEGImage::CompressBitmap() {
    auto context = std::make_unique<TCodecContext>();
    TCodecGuard guard(*context);
    SetupErrorManager(*context);
    try {
        if (!RunGuarded(*context, [&] { jpeg_create_compress(&context->C); }))
            RaiseCodecError(*context);
        SetupProgress(*context, this);
        if (HasCompressedData())
            ReplaceData(new TJPEGData);
        FImage->FData = std::make_unique<TMemoryStream>();
        FImage->FData->SetPosition(0);
        if (!FBitmap || FBitmap->Width() == 0 || FBitmap->Height() == 0)
            return;
        jpeg_compress_struct& c = context->C;
        TBitmap source;
        source.Assign(FBitmap.get());
        source.SetPixelFormat(px24Bit);
        FImage->FWidth = source.Width();
        FImage->FHeight = source.Height();
        const TJPEGSettings settings = FSettings;
        if (settings.GreyOutput)
            FImage->FGrayscale = true;
        auto* row0 = static_cast<std::uint8_t*>(source.ScanLine(0));
        const std::ptrdiff_t step =
            source.Height() > 1 ? static_cast<std::uint8_t*>(source.ScanLine(1)) - row0 : 0;
        TStream& data = *FImage->FData;
        const bool ok = RunGuarded(*context, [&] {
            SetStreamDestination(*context, data);
            c.image_width = JDIMENSION(source.Width());
            c.image_height = JDIMENSION(source.Height());
            c.input_components = 3;
            c.in_color_space = JCS_EXT_BGR;
            jpeg_set_defaults(&c);
            c.dct_method = JDCT_FLOAT;
            jpeg_set_quality(&c, settings.Quality, TRUE);
            if (settings.GreyOutput)
                jpeg_set_colorspace(&c, JCS_GRAYSCALE);
            if (settings.Progressive)
                jpeg_simple_progression(&c);
        });
        if (!ok)
            RaiseCodecError(*context);
        Progress(this, TProgressStage::psStarting, 0, false, TRect{}, std::string());
        try {
            const bool written = RunGuarded(*context, [&] {
                jpeg_start_compress(&c, TRUE);
                while (c.next_scanline < c.image_height) {
                    JSAMPROW row = row0 + std::ptrdiff_t(c.next_scanline) * step;
                    jpeg_write_scanlines(&c, &row, 1);
                }
                jpeg_finish_compress(&c);
            });
            if (!written)
                RaiseCodecError(*context);
        } catch (...) {
            Progress(this, TProgressStage::psEnding, 0, false, TRect{}, std::string());
            throw;
        }
        Progress(this, TProgressStage::psEnding, 100, false, TRect{}, std::string());
    } catch (const EAbort&) {
        // A listener's silent abort leaves no half-written data behind.
        ReplaceData(new TJPEGData);
    }
}

// ---- drawing ---------------------------------------------------------------------------------

namespace {

// Which of `sourceLength` pixels a COLORONCOLOR stretch onto `destLength` pixels takes for each
// destination pixel, asked of the raster layer itself by stretching a row of pixels that hold
// their own index: the answer is then the layer's rule whatever it is. Empty when it cannot tell.
std::vector<int> SampledPixels(int sourceLength, int destLength) {
    std::vector<int> taken;
    gdi::BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(gdi::BITMAPINFOHEADER);
    info.bmiHeader.biHeight = -1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biWidth = sourceLength;
    void* sourceBits = nullptr;
    gdi::TOwnedBitmap source(gdi::CreateDIBSection(nullptr, &info, gdi::DIB_RGB_COLORS, &sourceBits, nullptr, 0));
    info.bmiHeader.biWidth = destLength;
    void* destBits = nullptr;
    gdi::TOwnedBitmap dest(gdi::CreateDIBSection(nullptr, &info, gdi::DIB_RGB_COLORS, &destBits, nullptr, 0));
    gdi::TOwnedDC sourceDC(gdi::CreateCompatibleDC(nullptr));
    gdi::TOwnedDC destDC(gdi::CreateCompatibleDC(nullptr));
    if (!source || !dest || !sourceDC || !destDC || sourceBits == nullptr || destBits == nullptr)
        return taken;
    auto* indexes = static_cast<std::uint32_t*>(sourceBits);
    for (int i = 0; i < sourceLength; ++i)
        indexes[i] = std::uint32_t(i);
    gdi::TSelection sourceSelected = gdi::ScopedSelectObject(sourceDC.Get(), source.Get());
    gdi::TSelection destSelected = gdi::ScopedSelectObject(destDC.Get(), dest.Get());
    gdi::SetStretchBltMode(destDC.Get(), gdi::COLORONCOLOR);
    if (!gdi::StretchBlt(destDC.Get(), 0, 0, destLength, 1, sourceDC.Get(), 0, 0, sourceLength, 1, gdi::SRCCOPY))
        return taken;
    const auto* values = static_cast<const std::uint32_t*>(destBits);
    taken.resize(std::size_t(destLength));
    for (int i = 0; i < destLength; ++i) {
        const std::uint32_t value = values[i] & 0x00FFFFFFu;
        if (value >= std::uint32_t(sourceLength))
            return {};
        taken[std::size_t(i)] = int(value);
    }
    return taken;
}

// Warnings say the data is damaged; the sampled draw then leaves the picture to the whole decode,
// which handles damage as it always has.
void CountWarning(j_common_ptr cinfo, int level) {
    if (level < 0)
        ++cinfo->err->num_warnings;
}

// A cell this small or smaller, taking at most half the rows, is drawn from the rows it samples.
constexpr long long kSampledCellLimit = 256 * 256;

}  // namespace

bool TJPEGImage::DrawSampled(TCanvas& canvas, const TRect& rect) {
    const TJPEGSettings& settings = FSettings;
    // Only straight 24-bit output is sampled: quantising and dithering carry over from row to row,
    // and CMYK is converted here.
    if (FBitmap || !HasCompressedData() || FTempPal != nullptr || FImage->FGrayscale || settings.GreyOutput ||
        settings.DecodeDepth != TJPEGPixelFormat::jf24Bit || settings.IncrementalDisplay || settings.ScaleShift != 0)
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int sourceWidth = FImage->FWidth;
    const int sourceHeight = FImage->FHeight;
    if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0 ||
        (long long)width * height > kSampledCellLimit || 2LL * height > sourceHeight)
        return false;
    // The bitmap's own draw point-samples only onto a true-colour surface, and the cell is placed
    // one to one only when logical units are device pixels.
    canvas.RequiredState(csHandleValid);
    const HDC dc = canvas.RawHandle();
    if (gdi::GetDeviceCaps(dc, gdi::BITSPIXEL) * gdi::GetDeviceCaps(dc, gdi::PLANES) <= 8 ||
        gdi::GetMapMode(dc) != gdi::MM_TEXT || gdi::GetGraphicsMode(dc) != gdi::GM_COMPATIBLE)
        return false;
    gdi::POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
    if (!gdi::LPtoDP(dc, corners, 2) || corners[1].x - corners[0].x != width || corners[1].y - corners[0].y != height)
        return false;
    const std::vector<int> columns = SampledPixels(sourceWidth, width);
    const std::vector<int> rows = SampledPixels(sourceHeight, height);
    if (columns.empty() || rows.empty() || !std::is_sorted(columns.begin(), columns.end()) ||
        !std::is_sorted(rows.begin(), rows.end()))
        return false;

    TBitmap cell;
    cell.SetPixelFormat(px24Bit);
    cell.SetWidth(width);
    cell.SetHeight(height);
    auto context = std::make_unique<TCodecContext>();
    try {
        PrepareDecompressor(*context, *FImage->FData);
    } catch (...) {
        return false;
    }
    TCodecGuard guard(*context);
    jpeg_decompress_struct& d = context->D;
    context->Error.emit_message = CountWarning;
    if (d.quantize_colors || d.out_color_space != JCS_EXT_BGR || d.buffered_image ||
        d.output_width != JDIMENSION(sourceWidth) || d.output_height != JDIMENSION(sourceHeight))
        return false;
    std::vector<std::uint8_t*> cellRows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        cellRows[std::size_t(y)] = static_cast<std::uint8_t*>(cell.ScanLine(y));
    const bool decoded = RunGuarded(*context, [&] {
        jpeg_start_decompress(&d);
        // Only the columns around the first and the last sampled one, when that saves anything.
        // The library upsamples colour at a crop's edges from the crop alone, so the crop keeps two
        // blocks of columns beyond the sampled ones on each side.
        const JDIMENSION margin = JDIMENSION(2 * d.max_h_samp_factor * DCTSIZE);
        JDIMENSION first = JDIMENSION(columns.front()) > margin ? JDIMENSION(columns.front()) - margin : 0;
        JDIMENSION span = std::min(JDIMENSION(columns.back()) + margin + 1, d.output_width) - first;
        if (span * 4 < d.output_width * 3)
            jpeg_crop_scanline(&d, &first, &span);
        else
            first = 0;
        JSAMPROW line = d.mem->alloc_sarray(context->Common(), JPOOL_IMAGE, d.output_width * 3, 1)[0];
        for (std::size_t y = 0; y < rows.size(); ++y) {
            const JDIMENSION row = JDIMENSION(rows[y]);
            if (y == 0 || rows[y] != rows[y - 1]) {
                if (row > d.output_scanline)
                    jpeg_skip_scanlines(&d, row - d.output_scanline);
                jpeg_read_scanlines(&d, &line, 1);
            }
            std::uint8_t* out = cellRows[y];
            for (std::size_t x = 0; x < columns.size(); ++x, out += 3) {
                const JSAMPLE* pixel = line + std::size_t(JDIMENSION(columns[x]) - first) * 3;
                out[0] = pixel[0];
                out[1] = pixel[1];
                out[2] = pixel[2];
            }
        }
        // The rest of the data is read as the whole decode reads it, so that damage anywhere is
        // met here too.
        if (d.output_scanline < d.output_height)
            jpeg_skip_scanlines(&d, d.output_height - d.output_scanline);
        jpeg_finish_decompress(&d);
    });
    if (!decoded || d.err->num_warnings != 0)
        return false;
    Progress(this, TProgressStage::psStarting, 0, false, TRect{}, std::string());
    Progress(this, TProgressStage::psEnding, 100, false, TRect{}, std::string());
    canvas.StretchDraw(rect, &cell);
    return true;
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect) {
    if (FSampledDraws && DrawSampled(canvas, rect))
        return;
    canvas.StretchDraw(rect, &DecodedBitmap());
}

}  // namespace jpeg
