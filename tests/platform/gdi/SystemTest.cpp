#include "GdiTestSupport.h"

#include <chrono>
#include <climits>
#include <thread>
#include <string>

using namespace gdi;

TEST(MulDiv, RoundsHalfAwayFromZero) {
    EXPECT_EQ(MulDiv(1, 1, 2), 1);
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(1, -1, 2), -1);
    EXPECT_EQ(MulDiv(-1, -1, 2), 1);
    EXPECT_EQ(MulDiv(5, 1, 3), 2);   // 1.67
    EXPECT_EQ(MulDiv(4, 1, 3), 1);   // 1.33
    EXPECT_EQ(MulDiv(-5, 1, 3), -2);
    EXPECT_EQ(MulDiv(1, 1, -3), 0);
    EXPECT_EQ(MulDiv(96, 72, 96), 72);
    EXPECT_EQ(MulDiv(255, 1, 15), 17);
    EXPECT_EQ(MulDiv(2, 255, 3), 170);
}

TEST(MulDiv, UsesAWideProductAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);
    EXPECT_EQ(MulDiv(1 << 30, 1 << 30, 1 << 30), 1 << 30);
    EXPECT_EQ(MulDiv(7, 3, 0), -1);
    EXPECT_EQ(MulDiv(INT_MAX, 2, 1), -1);
    EXPECT_EQ(MulDiv(INT_MIN, 1, 1), INT_MIN);
    EXPECT_EQ(MulDiv(INT_MIN, -1, 1), -1);
}

TEST(LastError, IsKeptPerThreadAndHasTexts) {
    SetLastError(ERROR_INVALID_PARAMETER);
    DWORD seenByOtherThread = 1;
    std::thread([&] { seenByOtherThread = GetLastError(); }).join();
    EXPECT_EQ(seenByOtherThread, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    char text[256];
    for (DWORD code : {ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY, ERROR_INVALID_PARAMETER,
                       ERROR_BUSY}) {
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                      0x400, text, sizeof text, nullptr);
        EXPECT_GT(length, 0u) << code;
        EXPECT_EQ(std::string(text).size(), length);
    }
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 123456, 0x400, text, sizeof text, nullptr), 0u);
}

TEST(LastError, FormatMessageNeverSplitsACharacter) {
    char full[256];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_INVALID_HANDLE, 0x400, full, sizeof full,
                                  nullptr);
    ASSERT_GT(length, 4u);
    // Each Japanese character is three bytes: a buffer of 5 holds one character and the terminator.
    char small[5];
    DWORD cut = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_INVALID_HANDLE, 0x400, small, sizeof small,
                               nullptr);
    EXPECT_EQ(cut, 3u);
    EXPECT_EQ(std::string(small), std::string(full, 3));
}

using SystemState = TGdiTest;

TEST_F(SystemState, DeviceCapsFollowTheScreenModel) {
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 0);
    EXPECT_EQ(GetDeviceCaps(screen, NUMCOLORS), -1);
    EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1920);
    EXPECT_EQ(GetDeviceCaps(screen, VERTRES), 1080);
    EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, 0);
    ReleaseDC(nullptr, screen);

    UseScreenDepth(8);
    screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    for (HDC dc : {screen, memory}) {
        EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 8);
        EXPECT_EQ(GetDeviceCaps(dc, SIZEPALETTE), 256);
        EXPECT_EQ(GetDeviceCaps(dc, NUMCOLORS), 20);
        EXPECT_NE(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    UseScreenDepth(4);
    screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 4);
    EXPECT_EQ(GetDeviceCaps(screen, NUMCOLORS), 16);
    EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 0);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 0) << "a released context answers nothing";
}

TEST_F(SystemState, SystemColoursAndMetrics) {
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), RGB(0, 0, 0));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(240, 240, 240));
    EXPECT_EQ(GetSysColor(-1), 0u);
    EXPECT_EQ(GetSysColor(kSysColorCount), 0u);

    const INT element = COLOR_BTNFACE;
    const COLORREF color = RGB(10, 20, 30);
    EXPECT_TRUE(SetSysColors(1, &element, &color));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), color);
    const COLORREF back = RGB(240, 240, 240);
    SetSysColors(1, &element, &back);

    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), 16);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_TRUE(GdiFlush());
}

TEST(TickCount, AdvancesWithTime) {
    DWORD start = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 15u);
    EXPECT_LT(elapsed, 5000u);
}
