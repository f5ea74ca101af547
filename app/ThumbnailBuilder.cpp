#include "app/ThumbnailBuilder.h"

#include "app/FileListBox.h"
#include "graphics/Bitmap.h"

namespace app {

using namespace graphics;

std::string ExceptionText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return std::string();
    }
}

void BuildThumbnails(const std::function<std::string()>& selectedPath, TFileListBox& dirFiles, TListView& list,
                     TImageList& images, TBuildObserver* observer) {
    TImageList& large = list.LargeImages != nullptr ? *list.LargeImages : images;
    const TRect cell = Rect(0, 0, large.Width(), large.Height());

    TBitmap thumbnail;
    thumbnail.SetWidth(large.Width());
    thumbnail.SetHeight(large.Height());

    // Emptied first: a folder that cannot be listed must not leave the last folder's pictures
    // standing under its name.
    list.Items.Clear();
    images.Clear();
    dirFiles.ApplyPath(selectedPath());

    TPicture picture;
    TCanvas& canvas = thumbnail.Canvas();
    canvas.Brush().SetColor(list.Color);

    const int count = int(dirFiles.Items().size());
    for (int i = 0; i < count; ++i) {
        canvas.FillRect(Rect(0, 0, thumbnail.Width(), thumbnail.Height()));
        try {
            // The path is read again for every file and joined exactly as it comes.
            const std::string fileName = selectedPath() + "/" + dirFiles.Items().at(std::size_t(i));
            picture.LoadFromFile(fileName);
        } catch (...) {
            if (observer != nullptr)
                observer->Skipped(dirFiles.Items().at(std::size_t(i)), ExceptionText(std::current_exception()));
            continue;
        }

        const int itemsBefore = list.Items.Count();
        try {
            const bool fits = picture.Width() <= large.Width() && picture.Height() <= large.Height();
            if (fits) {
                // ⌈d / 2⌉: the offset rounds up when the difference is odd.
                const int y = int(double(thumbnail.Height() - picture.Height()) / 2 + 0.5);
                const int x = int(double(thumbnail.Width() - picture.Width()) / 2 + 0.5);
                canvas.Draw(x, y, picture.Graphic());
            } else {
                canvas.StretchDraw(cell, picture.Graphic());
            }
            list.Items.Add().Caption = dirFiles.Items().at(std::size_t(i));
            const int index = images.Add(thumbnail, nullptr);
            list.Items.Item(list.Items.Count() - 1).ImageIndex = index;
            picture.Bitmap().FreeImage();
            thumbnail.FreeImage();
            if (observer != nullptr)
                observer->Added(dirFiles.Items().at(std::size_t(i)), index);
        } catch (...) {
            const std::exception_ptr error = std::current_exception();
            if (observer == nullptr ||
                !observer->ContinueAfterFailure(dirFiles.Items().at(std::size_t(i)), ExceptionText(error)))
                throw;
            // Going on: the failed file leaves no item behind.
            while (list.Items.Count() > itemsBefore)
                list.Items.Delete(list.Items.Count() - 1);
        }
    }
}

}  // namespace app
