#include "jpeg/JpegModule.h"

#include "jpeg/JpegImage.h"
#include "platform/base/Messages.h"

namespace jpeg {

void InitializeJpeg() {
    base::RegisterMessages(res::kJpegMessages);
    graphics::HDC screen = graphics::GDICheck(gdi::GetDC(nullptr));
    const int depth = gdi::GetDeviceCaps(screen, gdi::BITSPIXEL) * gdi::GetDeviceCaps(screen, gdi::PLANES);
    gdi::ReleaseDC(nullptr, screen);
    // A palette screen shows quantised pictures better than its own mapping of true colour.
    JPEGDefaultSettings.DecodeDepth = depth <= 8 ? TJPEGPixelFormat::jf8Bit : TJPEGPixelFormat::jf24Bit;
    const std::string description = base::LoadStr(res::SJPEGImageFile);
    graphics::TPicture::RegisterFileFormat("jpeg", description, TJPEGImage::StaticClass());
    graphics::TPicture::RegisterFileFormat("jpg", description, TJPEGImage::StaticClass());
}

void FinalizeJpeg() { graphics::TPicture::UnregisterGraphicClass(TJPEGImage::StaticClass()); }

}  // namespace jpeg
