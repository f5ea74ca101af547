// Loads arbitrary bytes as a JPEG file and draws the result into a thumbnail cell, as the
// thumbnail builder does with every file of a folder. The last byte picks the decoding mode, so
// the fuzzer reaches buffered-image decoding, quantisation and re-encoding as well.
#include "fuzz/FuzzCell.h"
#include "jpeg/JpegImage.h"
#include "jpeg/JpegModule.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The bitmap is sized before libjpeg sets aside its buffers, so with a small cap a big
    // picture is refused early.
    fuzz::StartOnce(1u << 20, jpeg::InitializeJpeg);
    // Large inputs teach nothing the small ones do not and slow every unit.
    if (size > (256u << 10))
        return 0;
    const std::uint8_t mode = size > 0 ? data[size - 1] : 0;
    fuzz::Guarded([&] {
        TBytesStream stream(data, size);
        jpeg::TJPEGImage image;
        image.Settings().IncrementalDisplay = (mode & 1) != 0;
        image.Settings().DecodeDepth = (mode & 2) != 0 ? jpeg::TJPEGPixelFormat::jf8Bit : jpeg::TJPEGPixelFormat::jf24Bit;
        image.Settings().SpeedMode = (mode & 4) != 0 ? jpeg::TJPEGPerformance::jpBestSpeed : jpeg::TJPEGPerformance::jpBestQuality;
        image.LoadFromStream(stream);
        fuzz::DrawIntoCell(image);
        if ((mode & 8) != 0) {
            // Encoding what was decoded must not fail either.
            jpeg::TJPEGImage copy;
            copy.Assign(&image.DecodedBitmap());
            TMemoryStream saved;
            copy.SaveToStream(saved);
        }
    });
    return 0;
}
