// A fixture for the raster layer's tests: every test starts on a fresh 32-bit screen with the
// default storage cap and must give back every object it made.
#pragma once

#include "platform/gdi/Gdi.h"
#include "platform/gdi/Screen.h"

#include <gtest/gtest.h>

class TGdiTest : public ::testing::Test {
protected:
    void SetUp() override {
        gdi::SetScreen(gdi::TScreenSettings{});
        gdi::SetBitmapStorageCap(gdi::kDefaultBitmapStorageCap);
        FLiveAtStart = gdi::LiveObjectCount();
    }
    void TearDown() override {
        gdi::SetScreen(gdi::TScreenSettings{});
        gdi::SetBitmapStorageCap(gdi::kDefaultBitmapStorageCap);
        EXPECT_EQ(gdi::LiveObjectCount(), FLiveAtStart) << "the test leaked objects";
    }
    static void UseScreenDepth(int bitsPerPixel) {
        gdi::TScreenSettings settings;
        settings.BitsPerPixel = bitsPerPixel;
        gdi::SetScreen(settings);
    }

private:
    std::size_t FLiveAtStart = 0;
};
