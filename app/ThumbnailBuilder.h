// The thumbnail builder: one 64 × 64 cell per loadable file of the selected folder, in the file
// list's order, each picture centred at its own size when it fits and stretched over the whole
// cell when it does not.
#pragma once

#include "app/ImageList.h"
#include "app/ListView.h"

#include <functional>
#include <string>

namespace app {

class TFileListBox;

/// What the builder tells besides its effects on the list; the window passes none, the
/// command-line tool prints every file's outcome.
class TBuildObserver {
public:
    virtual ~TBuildObserver() = default;
    /// The file could not be loaded and was skipped (silently in the window).
    virtual void Skipped(const std::string& name, const std::string& message) = 0;
    virtual void Added(const std::string& name, int imageIndex) = 0;
    /// A failure while drawing or adding: true reports it as a skip and goes on with the next
    /// file; false lets it end the whole run, as it ends the window's click.
    virtual bool ContinueAfterFailure(const std::string& name, const std::string& message) = 0;
};

/// The text of whatever was thrown: an exception's message, or nothing for anything else.
std::string ExceptionText(std::exception_ptr error);

/// The most worker threads a build uses; it uses as many as there are cores, up to this.
inline constexpr int kMaxBuildWorkers = 8;
/// Fixes the number of worker threads of later builds (tests); 0 goes back to one per core.
void SetBuildWorkerLimit(int workers);

/// The click handler's work: reads the folder from selectedPath (again for every file), points
/// dirFiles at it and rebuilds list and images. Raises what escapes the unguarded steps: among
/// them "不正なファイル名 - %s" for a folder that cannot be listed, with list and images empty.
/// The path is used as given, so it should be absolute; no step depends on the process's
/// current folder. Files are loaded, decoded and drawn into their cells on worker threads ahead
/// of the calling thread, which alone touches list, images and observer, file by file in order;
/// whatever a file raises is raised or reported at the same step as if it had all been done on
/// the calling thread, and cells prepared beyond a failure that ends the run are discarded.
void BuildThumbnails(const std::function<std::string()>& selectedPath, TFileListBox& dirFiles, TListView& list,
                     TImageList& images, TBuildObserver* observer = nullptr);

}  // namespace app
