#include "app/qt/ThumbnailList.h"

#include "graphics/GraphicsBase.h"

#include <QMetaObject>
#include <QPalette>
#include <QPixmap>

#include <vector>

namespace app::qt {

QImage ImageOf(const TImageList& images, int index) {
    if (index < 0 || index >= images.Count())
        return QImage();
    const std::vector<std::uint32_t> pixels = images.Pixels(index);
    const int width = images.Width();
    const int height = images.Height();
    if (pixels.size() != std::size_t(width) * std::size_t(height))
        return QImage();
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = 0xFF000000u | pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
    return image;
}

TThumbnailListWidget::TThumbnailListWidget(TListView& list, QWidget* parent) : QListWidget(parent), FList(list) {
    setViewMode(QListView::IconMode);
    setIconSize(QSize(64, 64));
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setWordWrap(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    // Qt paints every widget through a back buffer, which is what the list's double-buffered
    // painting asks for; nothing is painted straight onto the screen.
    setAttribute(Qt::WA_PaintOnScreen, false);

    // The cells are filled with the list's colour as the raster layer knows it, so the list's
    // background takes the same colour and a centred thumbnail shows no seam.
    const gdi::COLORREF color = graphics::ColorToRGB(FList.Color);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF)));
    setPalette(colours);

    FList.Items.OnChange = [this] { ScheduleSync(); };
    if (FList.LargeImages != nullptr)
        FList.LargeImages->OnChange = [this] { ScheduleSync(); };
    Sync();
}

TThumbnailListWidget::~TThumbnailListWidget() {
    FList.Items.OnChange = nullptr;
    if (FList.LargeImages != nullptr)
        FList.LargeImages->OnChange = nullptr;
}

void TThumbnailListWidget::ScheduleSync() {
    if (FPending)
        return;
    FPending = true;
    QMetaObject::invokeMethod(this, [this] { Sync(); }, Qt::QueuedConnection);
}

void TThumbnailListWidget::Sync() {
    FPending = false;
    clear();
    std::vector<QIcon> icons;
    if (FList.LargeImages != nullptr) {
        icons.reserve(std::size_t(FList.LargeImages->Count()));
        for (int i = 0; i < FList.LargeImages->Count(); ++i)
            icons.emplace_back(QPixmap::fromImage(ImageOf(*FList.LargeImages, i)));
    }
    for (int i = 0; i < FList.Items.Count(); ++i) {
        const TListItem& source = FList.Items.Item(i);
        auto* item = new QListWidgetItem(QString::fromStdString(source.Caption));
        if (source.ImageIndex >= 0 && std::size_t(source.ImageIndex) < icons.size())
            item->setIcon(icons[std::size_t(source.ImageIndex)]);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        addItem(item);
    }
}

}  // namespace app::qt
