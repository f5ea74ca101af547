// The window's tests share one application object, made for Qt's offscreen platform unless the
// environment names another.
#include "app/qt/Dispatcher.h"
#include "graphics/GraphicsBase.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    graphics::InitializeGraphics();
    int result = 0;
    {
        app::qt::TVistelApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    graphics::FinalizeGraphics();
    return result;
}
