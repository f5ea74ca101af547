// The icon graphic: Windows icon (ICO) files kept as their bytes until a platform icon is first
// needed, then made from the file's image that suits the wanted size and the screen best.
#pragma once

#include "graphics/Bitmap.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace graphics {

class TIconImage final : public TSharedImage {
public:
    TIconImage() = default;
    ~TIconImage() override;
    gdi::HICON FHandle = nullptr;
    std::unique_ptr<TMemoryStream> FMemoryImage;  // the whole icon file, or none
    gdi::SIZE FSize{0, 0};                        // of the chosen image; (0, 0) until one is chosen

protected:
    void FreeHandle() override;
};

class TIcon : public TGraphic {
public:
    VISTEL_DECLARE_GRAPHIC_CLASS()
    TIcon();
    ~TIcon() override;

    void Assign(TPersistent* source) override;
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool GetEmpty() override;
    int GetHeight() override;
    int GetWidth() override;
    void SetHeight(int value) override;
    void SetTransparent(bool value) override;
    void SetWidth(int value) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromClipboardFormat(std::uint16_t format, THandle data, HPALETTE palette) override;
    void SaveToClipboardFormat(std::uint16_t& format, THandle& data, HPALETTE& palette) override;

    /// The platform icon, made from the file on first need; the icon keeps owning it.
    gdi::HICON Handle();
    /// Adopts a platform icon, which the icon then owns and destroys.
    void SetHandle(gdi::HICON value);
    const TIconImage& Image() const { return *FImage; }

private:
    void NewImage(gdi::HICON handle, std::unique_ptr<TMemoryStream> stream);
    void HandleNeeded();
    void ImageNeeded();

    TIconImage* FImage = nullptr;
    int FRequestedWidth = 0;
    int FRequestedHeight = 0;
};

/// The platform's default application icon, loaded when the framework starts; shared, never
/// destroyed.
gdi::HICON StockApplicationIcon();

/// One directory entry of an icon file as the chooser sees it.
struct TIconEntry {
    int Width = 0;
    int Height = 0;
    std::uint32_t Colors = 0;
};

/// Whether candidate is at least as good a size as current for the wanted size: no farther off
/// in either direction, and not larger where current is smaller or equally far.
bool IsBetterIconSize(const TIconEntry& current, const TIconEntry& candidate, int wantedWidth, int wantedHeight);
/// The index of the entry to draw among entries (at least one): the first, replaced greedily by
/// each later entry within the colour limit with at least as many colours and a size at least
/// as good.
std::size_t ChooseIconEntry(const std::vector<TIconEntry>& entries, int wantedWidth, int wantedHeight,
                            std::uint32_t colorLimit);

}  // namespace graphics
