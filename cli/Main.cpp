// vistel-thumbs: the thumbnail builder without a window. It runs the same file list, format
// registry, cell and drawing as the window on one folder, prints every file's outcome, and can
// write the thumbnails as one sheet picture.
#include "app/Codecs.h"
#include "app/FileListBox.h"
#include "app/ThumbnailBuilder.h"
#include "cli/Output.h"
#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"
#include "platform/base/Messages.h"
#include "platform/base/Version.h"
#include "platform/shell/FileSearch.h"

#include <cstdio>
#include <filesystem>
#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: vistel-thumbs FOLDER [--sheet FILE.bmp|FILE.png] [--keep-going]\n"
    "\n"
    "Builds the 64 x 64 thumbnails of the files of FOLDER exactly as the window does and prints one\n"
    "line per file, in the order of the folder's file list:\n"
    "  NAME<TAB>INDEX             the file's thumbnail has image index INDEX\n"
    "  NAME<TAB>-<TAB>MESSAGE     the file was skipped, and why\n"
    "\n"
    "  --sheet FILE       also write all thumbnails as one 24-bit picture, eight to a row, with\n"
    "                     one-pixel gaps in the list's colour; FILE.png writes PNG, any other\n"
    "                     registered extension its own format (BMP for .bmp)\n"
    "  --keep-going       report a failure while drawing or adding a thumbnail on that file's line\n"
    "                     and go on, instead of ending the run\n"
    "  --help             show this text\n"
    "  --version          show the program's version\n"
    "\n"
    "Exit status: 0, or 1 when an error ended the run (its message goes to standard error), or 2\n"
    "when the command line was not understood.\n";

using cli::OneLine;

class TPrinter final : public app::TBuildObserver {
public:
    explicit TPrinter(bool keepGoing) : FKeepGoing(keepGoing) {}
    void Skipped(const std::string& name, const std::string& message) override {
        std::cout << name << "\t-\t" << OneLine(message) << '\n';
    }
    void Added(const std::string& name, int imageIndex) override { std::cout << name << '\t' << imageIndex << '\n'; }
    bool ContinueAfterFailure(const std::string& name, const std::string& message) override {
        if (!FKeepGoing)
            return false;
        Skipped(name, message);
        return true;
    }

private:
    bool FKeepGoing;
};

// Lays the cells out eight to a row with one-pixel gaps of the list's colour.
void WriteSheet(const std::string& fileName, app::TImageList& images, graphics::TColor gapColor) {
    const int n = images.Count();
    const int step = images.Width() + 1;
    const int columns = std::min(n, 8);
    const int rows = (n + 7) / 8;
    graphics::TBitmap sheet;
    sheet.SetPixelFormat(graphics::px24Bit);
    if (n > 0) {
        sheet.SetWidth(columns * step - 1);
        sheet.SetHeight(rows * (images.Height() + 1) - 1);
        sheet.Canvas().Brush().SetColor(gapColor);
        sheet.Canvas().FillRect(graphics::Rect(0, 0, sheet.Width(), sheet.Height()));
        for (int k = 0; k < n; ++k)
            images.Draw(sheet.Canvas(), (k % 8) * step, (k / 8) * (images.Height() + 1), k);
    }
    cli::SaveInFormatOf(fileName, sheet);
}

// The tool's work between start-up and shutdown: 0, or 1 once it has said why it stopped.
int Run(const std::string& argument, const std::string& sheet, bool keepGoing) {
    // The tree hands the builder absolute paths without a trailing separator; the builder joins
    // each name to the path as given, so a relative one is made absolute here, once. A folder
    // that cannot be listed is refused as a missing one is, before anything is printed.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(argument, error).lexically_normal();
    if (error || !std::filesystem::is_directory(absolute, error) || !shell::ResolveFolder(absolute.string())) {
        std::cerr << base::FmtLoadStr(res::SInvalidFileName, {argument}) << '\n';
        return 1;
    }
    std::string folder = absolute.string();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    try {
        app::TImageList images(64, 64);
        app::TListView list;
        list.LargeImages = &images;
        list.SmallImages = &images;
        app::TFileListBox dirFiles;
        TPrinter printer(keepGoing);
        app::BuildThumbnails([&] { return folder; }, dirFiles, list, images, &printer);
        std::cout.flush();
        if (!sheet.empty())
            WriteSheet(sheet, images, list.Color);
    } catch (...) {
        std::cout.flush();
        std::cerr << OneLine(app::ExceptionText(std::current_exception())) << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    std::string sheet;
    bool keepGoing = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--version") {
            std::cout << "vistel-thumbs " VISTEL_VERSION "\n";
            return 0;
        } else if (arg == "--keep-going") {
            keepGoing = true;
        } else if (arg == "--sheet" && i + 1 < argc) {
            sheet = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && folder.empty()) {
            folder = arg;
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    if (folder.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    // The start-up comes first: it registers the messages, the refusal of a folder included.
    graphics::InitializeGraphics();
    app::InitializeCodecs();
    const int status = Run(folder, sheet, keepGoing);
    app::FinalizeCodecs();
    graphics::FinalizeGraphics();
    return status;
}
