#include "app/ThumbnailBuilder.h"

#include "app/FileListBox.h"
#include "graphics/Bitmap.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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

namespace {

int gWorkerLimit = 0;

int WorkerCount() {
    if (gWorkerLimit > 0)
        return gWorkerLimit;
    const unsigned cores = std::thread::hardware_concurrency();
    return int(std::clamp(cores, 1u, unsigned(kMaxBuildWorkers)));
}

/// One file's cell as a worker prepares it. The interface thread only reads a job once it is
/// done, and a worker only touches a job it has claimed, so the fields need no lock of their own.
struct TCellJob {
    std::string FileName;
    // What the serial builder would have met at each of its steps, in step order.
    std::exception_ptr LoadError;  // reading the path or loading the file: the file is skipped
    std::exception_ptr FillError;  // clearing the cell: ends the run whatever the observer says
    std::exception_ptr DrawError;  // drawing: the observer decides
    std::unique_ptr<TBitmap> Thumbnail;
    bool Done = false;
};

/// Loads, decodes and draws the cells of the files ahead of the interface thread, which takes
/// them in order and does everything the list, the image list and the observer see. At most
/// `window` cells are prepared or waiting at once, and a picture lives only while its worker
/// draws it, so no more decoded pictures exist than there are workers.
class TCellPipeline {
public:
    TCellPipeline(int width, int height, TColor color, int workers, int window)
        : FWidth(width), FHeight(height), FColor(color), FWindow(window) {
        for (int i = 0; i < workers; ++i)
            FWorkers.emplace_back([this] { Work(); });
    }
    ~TCellPipeline() {
        {
            std::lock_guard lock(FMutex);
            FStopping = true;
        }
        FReady.notify_all();
        for (std::thread& worker : FWorkers)
            worker.join();
    }
    TCellPipeline(const TCellPipeline&) = delete;
    TCellPipeline& operator=(const TCellPipeline&) = delete;

    /// Whether another file may be handed over now.
    bool HasRoom() {
        std::lock_guard lock(FMutex);
        return int(FJobs.size()) < FWindow;
    }
    void Submit(std::unique_ptr<TCellJob> job) {
        {
            std::lock_guard lock(FMutex);
            FJobs.push_back(std::move(job));
        }
        FReady.notify_one();
    }
    /// The oldest job, once it is done; it leaves the pipeline.
    std::unique_ptr<TCellJob> Take() {
        std::unique_lock lock(FMutex);
        FDone.wait(lock, [this] { return FJobs.front()->Done; });
        std::unique_ptr<TCellJob> job = std::move(FJobs.front());
        FJobs.pop_front();
        ++FTaken;
        return job;
    }

private:
    void Work() {
        std::unique_lock lock(FMutex);
        for (;;) {
            FReady.wait(lock, [this] { return FStopping || FClaimed - FTaken < FJobs.size(); });
            if (FStopping)
                return;
            TCellJob& job = *FJobs[FClaimed - FTaken];
            ++FClaimed;
            lock.unlock();
            Prepare(job);
            lock.lock();
            job.Done = true;
            FDone.notify_all();
        }
    }

    // The serial builder's steps for one file, on a picture and a cell of the job's own.
    void Prepare(TCellJob& job) {
        if (job.LoadError)
            return;
        TPicture picture;
        try {
            picture.LoadFromFile(job.FileName);
        } catch (...) {
            job.LoadError = std::current_exception();
            return;
        }
        auto thumbnail = std::make_unique<TBitmap>();
        try {
            thumbnail->SetWidth(FWidth);
            thumbnail->SetHeight(FHeight);
            thumbnail->Canvas().Brush().SetColor(FColor);
            thumbnail->Canvas().FillRect(Rect(0, 0, FWidth, FHeight));
        } catch (...) {
            job.FillError = std::current_exception();
            return;
        }
        try {
            TCanvas& canvas = thumbnail->Canvas();
            const bool fits = picture.Width() <= FWidth && picture.Height() <= FHeight;
            if (fits) {
                // ⌈d / 2⌉: the offset rounds up when the difference is odd.
                const int y = int(double(FHeight - picture.Height()) / 2 + 0.5);
                const int x = int(double(FWidth - picture.Width()) / 2 + 0.5);
                canvas.Draw(x, y, picture.Graphic());
            } else {
                canvas.StretchDraw(Rect(0, 0, FWidth, FHeight), picture.Graphic());
            }
        } catch (...) {
            job.DrawError = std::current_exception();
            return;
        }
        job.Thumbnail = std::move(thumbnail);
    }

    const int FWidth;
    const int FHeight;
    const TColor FColor;
    const int FWindow;
    std::mutex FMutex;
    std::condition_variable FReady;  // a job to claim, or the end
    std::condition_variable FDone;   // a job finished
    std::deque<std::unique_ptr<TCellJob>> FJobs;  // submitted and not yet taken, oldest first
    std::size_t FClaimed = 0;  // jobs ever claimed by a worker
    std::size_t FTaken = 0;    // jobs ever taken by the interface thread
    bool FStopping = false;
    std::vector<std::thread> FWorkers;
};

}  // namespace

void SetBuildWorkerLimit(int workers) { gWorkerLimit = std::clamp(workers, 0, kMaxBuildWorkers); }

void BuildThumbnails(const std::function<std::string()>& selectedPath, TFileListBox& dirFiles, TListView& list,
                     TImageList& images, TBuildObserver* observer) {
    TImageList& large = list.LargeImages != nullptr ? *list.LargeImages : images;

    // Emptied first: a folder that cannot be listed must not leave the last folder's pictures
    // standing under its name.
    list.Items.Clear();
    images.Clear();
    dirFiles.ApplyPath(selectedPath());

    const int count = int(dirFiles.Items().size());
    if (count == 0)
        return;
    // Made here, once, so that the workers only ever read the registry.
    GetFileFormats();
    const int workers = std::min(WorkerCount(), count);
    TCellPipeline pipeline(large.Width(), large.Height(), list.Color, workers, 2 * workers + 2);

    int submitted = 0;
    const auto submit = [&] {
        auto job = std::make_unique<TCellJob>();
        try {
            // The path is read again for every file and joined exactly as it comes.
            job->FileName = selectedPath() + "/" + dirFiles.Items().at(std::size_t(submitted));
        } catch (...) {
            job->LoadError = std::current_exception();
        }
        ++submitted;
        pipeline.Submit(std::move(job));
    };

    for (int i = 0; i < count; ++i) {
        while (submitted < count && pipeline.HasRoom())
            submit();
        std::unique_ptr<TCellJob> job = pipeline.Take();
        const std::string& name = dirFiles.Items().at(std::size_t(i));
        if (job->LoadError) {
            if (observer != nullptr)
                observer->Skipped(name, ExceptionText(job->LoadError));
            continue;
        }
        if (job->FillError)
            std::rethrow_exception(job->FillError);

        const int itemsBefore = list.Items.Count();
        try {
            if (job->DrawError)
                std::rethrow_exception(job->DrawError);
            list.Items.Add().Caption = name;
            const int index = images.Add(*job->Thumbnail, nullptr);
            list.Items.Item(list.Items.Count() - 1).ImageIndex = index;
            job->Thumbnail.reset();
            if (observer != nullptr)
                observer->Added(name, index);
        } catch (...) {
            const std::exception_ptr error = std::current_exception();
            if (observer == nullptr || !observer->ContinueAfterFailure(name, ExceptionText(error)))
                throw;
            // Going on: the failed file leaves no item behind.
            while (list.Items.Count() > itemsBefore)
                list.Items.Delete(list.Items.Count() - 1);
        }
    }
}

}  // namespace app
