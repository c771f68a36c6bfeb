// The sdl backend without a display (the rest is in tests/e2e/test_window.py).
#include <gtest/gtest.h>

#include <thread>

#include "platform/sdl/sdl_backend.h"

namespace {

TEST(SdlMessages, QuitWaitsInTheQueueUntilRemoved) {
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    PostQuitMessage(5);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_MOUSEMOVE, WM_RBUTTONUP, PM_NOREMOVE));   // filtered out
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);   // WM_QUIT: 0, and it is gone
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
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
}

}  // namespace
