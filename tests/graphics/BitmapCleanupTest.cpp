// A change that fails half-way must give back every object it made and leave the bitmap as it
// was; drawing must leave the destination's context as it found it.
#include "GraphicsTestSupport.h"

#include "graphics/Canvas.h"
#include "platform/base/Stream.h"
#include "platform/gdi/Screen.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace graphics;

namespace {

// Large enough that every rebuild below needs more storage than the lowered cap allows.
constexpr int kSide = 1200;
constexpr std::size_t kLoweredCap = 1u << 20;
constexpr TColor kRed = 0x0000FF;

class BitmapCleanup : public TGraphicsTest {
protected:
    // An 8-bit bitmap with its own palette, about 1.4 MB of pixels.
    static void MakePaletted(TBitmap& bitmap) {
        bitmap.SetPixelFormat(px8Bit);
        bitmap.SetWidth(kSide);
        bitmap.SetHeight(kSide);
        bitmap.Canvas().Brush().SetColor(kRed);
        bitmap.Canvas().FillRect(Rect(0, 0, kSide, kSide));
    }
};

}  // namespace

TEST_F(BitmapCleanup, FailedRebuildsLeaveNoObjectsAndTheImageAsItWas) {
    const std::vector<std::pair<std::string, std::function<void(TBitmap&)>>> changes = {
        {"grow", [](TBitmap& b) { b.SetWidth(kSide + 100); }},
        {"to 24 bits", [](TBitmap& b) { b.SetPixelFormat(px24Bit); }},
        {"to device-dependent", [](TBitmap& b) { b.SetHandleType(htDDB); }},
        {"mask", [](TBitmap& b) { b.Mask(kRed); }},
        {"clipboard", [](TBitmap& b) {
             std::uint16_t format = 0;
             THandle data = 0;
             HPALETTE palette = nullptr;
             b.SaveToClipboardFormat(format, data, palette);
         }},
    };
    for (bool shared : {false, true}) {
        for (const auto& [name, change] : changes) {
            SCOPED_TRACE(name + (shared ? ", shared" : ""));
            TBitmap bitmap;
            MakePaletted(bitmap);
            TBitmap sharer;
            if (shared)
                sharer.Assign(&bitmap);
            ASSERT_NE(bitmap.GetPalette(), nullptr);
            // Every change lets go of the canvas's context first; that is not what is counted.
            ReleaseIdleBitmapContexts();
            const std::size_t live = gdi::LiveObjectCount();

            gdi::SetBitmapStorageCap(kLoweredCap);
            EXPECT_THROW(change(bitmap), EOutOfResources);
            gdi::SetBitmapStorageCap(gdi::kDefaultBitmapStorageCap);

            EXPECT_EQ(gdi::LiveObjectCount(), live);
            EXPECT_EQ(bitmap.Width(), kSide);
            EXPECT_EQ(bitmap.PixelFormat(), px8Bit);
            EXPECT_EQ(gdi::GetObjectType(bitmap.GetPalette()), gdi::OBJ_PAL);
            EXPECT_EQ(PixelAt(bitmap, kSide - 1, kSide - 1), 0xFF0000u);
        }
    }
}

TEST_F(BitmapCleanup, FailedHalftoneChangeDeletesItsPalette) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(px32Bit);
    bitmap.SetWidth(kSide);
    bitmap.SetHeight(kSide);
    const std::size_t live = gdi::LiveObjectCount();
    // The cap lets the 8-bit and 4-bit images' storage fail while their palettes exist.
    gdi::SetBitmapStorageCap(kSide * kSide / 4);
    EXPECT_THROW(bitmap.SetPixelFormat(px8Bit), EOutOfResources);
    EXPECT_THROW(bitmap.SetPixelFormat(px4Bit), EOutOfResources);
    gdi::SetBitmapStorageCap(gdi::kDefaultBitmapStorageCap);
    EXPECT_EQ(gdi::LiveObjectCount(), live);
    EXPECT_EQ(bitmap.PixelFormat(), px32Bit);
    // The shared 16-colour palette took part in the second change and must still be there.
    EXPECT_EQ(gdi::GetObjectType(StandardPalette16()), gdi::OBJ_PAL);
}

TEST_F(BitmapCleanup, RunLengthFileTooLargeForItsBitmapLeavesNoObjects) {
    // An RLE8 file decodes into a device-dependent bitmap of the screen's depth, which the
    // lowered cap refuses after the file's palette and the decoding context exist.
    const std::vector<std::uint8_t> bytes = TBmpBuilder(kSide, kSide, 8)
                                                .Compression(1)
                                                .ColorsUsed(2)
                                                .Colors({0x000000, 0xFFFFFF})
                                                .Pixels({0, 1})
                                                .Bytes();
    TBitmap bitmap;
    const std::size_t live = gdi::LiveObjectCount();
    gdi::SetBitmapStorageCap(kLoweredCap);
    TMemoryStream stream(bytes);
    EXPECT_THROW(bitmap.LoadFromStream(stream), Exception);
    gdi::SetBitmapStorageCap(gdi::kDefaultBitmapStorageCap);
    EXPECT_EQ(gdi::LiveObjectCount(), live);
    EXPECT_TRUE(bitmap.Empty());
}

TEST_F(BitmapCleanup, DrawingLeavesTheDestinationsSelectionsAndNoObjects) {
    UseScreenDepth(8);
    const std::size_t live = gdi::LiveObjectCount();
    {
        TBitmap target;
        target.SetWidth(40);
        target.SetHeight(30);
        TCanvas& canvas = target.Canvas();
        canvas.RequiredState(csAllValid);
        const HDC dc = canvas.RawHandle();
        const gdi::HGDIOBJ palette = gdi::GetCurrentObject(dc, gdi::OBJ_PAL);
        const gdi::HGDIOBJ bitmap = gdi::GetCurrentObject(dc, gdi::OBJ_BITMAP);

        TBitmap picture;
        picture.SetPixelFormat(px8Bit);
        picture.SetWidth(10);
        picture.SetHeight(10);
        ASSERT_NE(picture.GetPalette(), nullptr);
        for (bool transparent : {false, true}) {
            SCOPED_TRACE(transparent ? "transparent" : "opaque");
            picture.SetTransparent(transparent);
            // Same size (one masked blit) and stretched (through a work bitmap).
            canvas.Draw(0, 0, &picture);
            canvas.StretchDraw(Rect(10, 0, 40, 30), &picture);
            EXPECT_EQ(gdi::GetCurrentObject(dc, gdi::OBJ_PAL), palette);
            EXPECT_EQ(gdi::GetCurrentObject(dc, gdi::OBJ_BITMAP), bitmap);
        }
    }
    EXPECT_EQ(gdi::LiveObjectCount(), live);
}
