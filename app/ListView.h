// The thumbnail list's items: captions and image indexes in insertion order. The Qt list view
// shows them; the builder and the command-line tool fill them.
#pragma once

#include "app/ImageList.h"
#include "graphics/GraphicsBase.h"

#include <functional>
#include <string>
#include <vector>

namespace app {

struct TListItem {
    std::string Caption;
    int ImageIndex = -1;
};

class TListItems {
public:
    /// Appends an item after the last one and returns it.
    TListItem& Add();
    void Clear();
    void Delete(int index);
    int Count() const { return int(FItems.size()); }
    TListItem& Item(int index) { return FItems.at(std::size_t(index)); }
    const TListItem& Item(int index) const { return FItems.at(std::size_t(index)); }
    std::function<void()> OnChange;

private:
    std::vector<TListItem> FItems;
};

class TListView {
public:
    TListItems Items;
    TImageList* LargeImages = nullptr;
    TImageList* SmallImages = nullptr;
    /// The desktop's window colour, as the layout stores none.
    graphics::TColor Color = graphics::TColor(0x80000005u);
    /// Painting goes through an off-screen image, so that rebuilding the list does not flicker.
    bool DoubleBuffered = false;
};

}  // namespace app
