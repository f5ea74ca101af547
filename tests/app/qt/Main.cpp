// The window's tests share one application object, made for Qt's offscreen platform unless the
// environment names another.
#include "app/Codecs.h"
#include "app/qt/Dispatcher.h"
#include "graphics/GraphicsBase.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    // The program's start-up, so the window meets the messages and formats it meets in use.
    graphics::InitializeGraphics();
    app::InitializeCodecs();
    int result = 0;
    {
        app::qt::TVistelApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    app::FinalizeCodecs();
    graphics::FinalizeGraphics();
    return result;
}
