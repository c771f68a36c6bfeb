// The sdl backend without a display (the rest is in tests/e2e/test_window.py).
#include <gtest/gtest.h>

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

}  // namespace
