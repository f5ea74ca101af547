#include "app/ImageList.h"

#include "platform/base/Messages.h"

namespace app {

using namespace gdi;

// A list made by itself (outside the program's start-up) still has its messages to raise.
TImageList::TImageList(int width, int height) : FWidth(width), FHeight(height) {
    static const bool registered = (base::RegisterMessages(res::kImageListMessages), true);
    (void)registered;
}

TImageList::~TImageList() {
    for (HBITMAP image : FImages)
        DeleteObject(image);
}

void TImageList::Changed() {
    if (OnChange)
        OnChange();
}

int TImageList::Add(graphics::TBitmap& image, graphics::TBitmap*) {
    if (image.Width() < FWidth || image.Height() < FHeight)
        throw EInvalidOperation(base::LoadStr(res::SInvalidImageSize));
    HDC screen = graphics::GDICheck(GetDC(nullptr));
    HBITMAP copy = CreateCompatibleBitmap(screen, FWidth, FHeight);
    ReleaseDC(nullptr, screen);
    if (copy == nullptr)
        return -1;
    // The thumbnail's own canvas has its pixels selected already; borrow its context rather
    // than select the bitmap a second time.
    graphics::TCanvas& source = image.Canvas();
    source.EnsureState(graphics::csHandleValid);
    HDC target = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(target, copy);
    const bool copied = BitBlt(target, 0, 0, FWidth, FHeight, source.RawHandle(), 0, 0, SRCCOPY) != FALSE;
    SelectObject(target, old);
    DeleteDC(target);
    if (!copied) {
        DeleteObject(copy);
        return -1;
    }
    FImages.push_back(copy);
    Changed();
    return int(FImages.size()) - 1;
}

void TImageList::Clear() {
    for (HBITMAP image : FImages)
        DeleteObject(image);
    FImages.clear();
    Changed();
}

void TImageList::Draw(graphics::TCanvas& canvas, int x, int y, int index) {
    if (index < 0 || index >= Count())
        return;
    canvas.EnsureState(graphics::csHandleValid);
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(source, FImages[std::size_t(index)]);
    BitBlt(canvas.RawHandle(), x, y, FWidth, FHeight, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

std::vector<std::uint32_t> TImageList::Pixels(int index) const {
    std::vector<std::uint32_t> pixels;
    if (index < 0 || index >= Count())
        return pixels;
    pixels.resize(std::size_t(FWidth) * std::size_t(FHeight));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = FWidth;
    info.bmiHeader.biHeight = -FHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, FImages[std::size_t(index)], 0, UINT(FHeight), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (auto& p : pixels)
        p &= 0x00FFFFFF;
    return pixels;
}

}  // namespace app
