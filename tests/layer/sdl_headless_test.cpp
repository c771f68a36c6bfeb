// The parts of the sdl backend that work without a display: the message queue's
// quit handling and key state, the class icon, COM's per-thread count, timing.
// Window, input, capture and message boxes are tested end to end (tests/e2e).
#include <gtest/gtest.h>

#include <thread>

#include "platform/sdl/sdl_backend.h"

namespace {

char gModule;
HINSTANCE module() { return reinterpret_cast<HINSTANCE>(&gModule); }

TEST(SdlMessages, QuitWaitsInTheQueueUntilRemoved) {
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    PostQuitMessage(5);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_MOUSEMOVE, WM_RBUTTONUP, PM_NOREMOVE));   // filtered out
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);   // WM_QUIT: 0, and it is gone
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_FALSE(TranslateMessage(&msg));
    EXPECT_EQ(DispatchMessageA(&msg), 0);   // no window: nothing to call
}

TEST(SdlIcons, MainIconDecodesTo32x32WithTransparency) {
    HICON icon = LoadIconA(module(), "MAINICON");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconA(module(), "MAINICON"), icon);   // shared, as resource icons are
    EXPECT_EQ(LoadIconA(module(), "MISSING"), nullptr);
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(32512)), nullptr);

    SDL_Surface* surface = fwsdl::iconSurface(icon);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(surface->w, 32);
    EXPECT_EQ(surface->h, 32);
    int opaque = 0, clear = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            uint32_t pixel = static_cast<const uint32_t*>(surface->pixels)[y * surface->pitch / 4 + x];
            uint32_t alpha = pixel >> 24;
            if (alpha == 0xFF) ++opaque;
            else if (alpha == 0) ++clear;
        }
    EXPECT_EQ(opaque + clear, 32 * 32);   // the AND mask gives all or nothing
    EXPECT_GT(opaque, 0);
    EXPECT_GT(clear, 0);

    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
    EXPECT_EQ(GetStockObject(0), nullptr);
}

TEST(SdlSystem, CoInitializeCountsPerThread) {
    auto firstTwo = [](HRESULT* results) {
        results[0] = CoInitialize(nullptr);
        results[1] = CoInitialize(nullptr);
        CoUninitialize();
        CoUninitialize();
    };
    HRESULT here[2], there[2];
    firstTwo(here);
    std::thread other(firstTwo, there);
    other.join();
    for (const HRESULT* results : {here, there}) {
        EXPECT_EQ(results[0], S_OK);
        EXPECT_EQ(results[1], S_FALSE);
    }
    int reserved = 0;
    EXPECT_EQ(CoInitialize(&reserved), E_INVALIDARG);
}

TEST(SdlSystem, SleepLastsAtLeastItsTimeByTimeGetTime) {
    DWORD start = timeGetTime();
    Sleep(30);
    DWORD elapsed = timeGetTime() - start;
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 1000u);
}

TEST(SdlWindow, FrameMetricsAreConsistent) {
    // The outer size the program computes must leave exactly 800 x 600 inside.
    RECT borders;
    fwsdl::frameBorders(0x12CA0000, WS_EX_CLIENTEDGE, &borders);
    EXPECT_EQ(borders.left + borders.right, 2 * GetSystemMetrics(SM_CXFIXEDFRAME) + 2 * GetSystemMetrics(SM_CXEDGE));
    EXPECT_EQ(borders.top + borders.bottom, 2 * GetSystemMetrics(SM_CYFIXEDFRAME) +
                                                2 * GetSystemMetrics(SM_CYEDGE) + GetSystemMetrics(SM_CYCAPTION));
    EXPECT_EQ(borders.left, GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXFIXEDFRAME));
    EXPECT_EQ(GetSystemMetrics(12345), 0);
}

}  // namespace
