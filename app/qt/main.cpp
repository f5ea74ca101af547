// vistel: the thumbnail window. Start-up runs the modules' initialisation before any window
// exists, creates the main window from its stored layout, shows it and runs the event loop;
// shutdown runs in the reverse order.
#include "app/Codecs.h"
#include "app/MainForm.h"
#include "app/ShellFolder.h"
#include "app/qt/Dispatcher.h"
#include "app/qt/MainWindow.h"
#include "graphics/Bitmap.h"
#include "graphics/GraphicsBase.h"
#include "platform/base/Version.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr const char* kUsage =
    "Usage: vistel [QT-OPTION...]\n"
    "\n"
    "Shows the 64 x 64 thumbnails of the pictures in the folder chosen in the window's folder tree.\n"
    "Options other than these are Qt's (for example -platform offscreen).\n"
    "\n"
    "  --help             show this text\n"
    "  --version          show the program's version\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vistel %s\n", VISTEL_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    // The picture framework first, then the shell's desktop object, then the codecs, whose first
    // registration builds the format list.
    graphics::InitializeGraphics();
    int status = 0;
    bool codecsReady = false;
    {
        app::qt::TVistelApplication application(argc, argv);
        std::unique_ptr<app::qt::TMainWindow> window;
        // A failure while the window is made (the tree's root, for one) is shown and ends start-up.
        app::qt::Guarded([&] {
            app::TShellFolder::Desktop();
            app::InitializeCodecs();
            codecsReady = true;
            auto form = std::make_unique<app::TF_Vistel>(app::LoadStoredLayout(graphics::ScreenPixelsPerInch()));
            window = std::make_unique<app::qt::TMainWindow>(std::move(form));
        });
        if (window) {
            window->show();
            application.exec();
        } else {
            status = 1;
        }
        window.reset();
    }
    if (codecsReady)
        app::FinalizeCodecs();
    graphics::FinalizeGraphics();
    return status;
}
