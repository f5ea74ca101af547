// The image list behind the thumbnail view: fixed-size cells kept as device-dependent bitmaps of
// the screen's format. The Qt view only shows what it holds.
#pragma once

#include "graphics/Bitmap.h"
#include "platform/base/Messages.h"

#include <functional>
#include <vector>

namespace app {

class TImageList {
public:
    TImageList(int width = 64, int height = 64);
    ~TImageList();
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return int(FImages.size()); }

    /// Copies the bitmap's top-left cell into a new image and returns its index, or −1 when
    /// the copy cannot be made. Every pixel is opaque: the mask is the list's own all-black
    /// bitmap whatever mask is given. Raises EInvalidOperation "イメージサイズが正しくありません"
    /// for a bitmap narrower or lower than a cell.
    int Add(graphics::TBitmap& image, graphics::TBitmap* mask);
    void Clear();
    /// Draws image index with its top-left corner at (x, y) of the canvas.
    void Draw(graphics::TCanvas& canvas, int x, int y, int index);
    /// The pixels of an image as 0x00RRGGBB, top row first (for views and tests).
    std::vector<std::uint32_t> Pixels(int index) const;

    /// Told after every change of the images.
    std::function<void()> OnChange;

private:
    void Changed();
    int FWidth;
    int FHeight;
    std::vector<gdi::HBITMAP> FImages;
};

}  // namespace app

// The image list's message, registered by the program's start-up (InitializeCodecs).
namespace res {
inline constexpr base::TMessage SInvalidImageSize{65436, "イメージサイズが正しくありません"};

inline constexpr base::TMessage kImageListMessages[] = {SInvalidImageSize};
}  // namespace res
