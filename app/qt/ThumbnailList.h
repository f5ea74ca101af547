// The thumbnail list's widget: an icon view of 64 × 64 images that shows the TListView's items
// in their insertion order, with the images of its image list. Changes of the items or images
// are gathered and shown once the handler that made them returns to the event loop.
#pragma once

#include "app/ListView.h"

#include <QImage>
#include <QListWidget>

namespace app::qt {

/// An image list's image as a picture Qt can show.
QImage ImageOf(const TImageList& images, int index);

class TThumbnailListWidget : public QListWidget {
public:
    TThumbnailListWidget(TListView& list, QWidget* parent);
    ~TThumbnailListWidget() override;

    /// Shows the items and images as they are now.
    void Sync();

private:
    void ScheduleSync();
    TListView& FList;
    bool FPending = false;
};

}  // namespace app::qt
