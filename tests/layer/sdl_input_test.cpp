// The sdl backend's input without a display: SDL's keys as Win32 key messages, and the
// mapping between a window's pixels and its client area's when that is enlarged.
#include <gtest/gtest.h>

#include "platform/sdl/sdl_backend.h"

namespace {

SDL_KeyboardEvent keyEvent(Uint32 type, SDL_Keycode sym, SDL_Scancode place, Uint16 mod = KMOD_NONE, Uint8 repeat = 0) {
    SDL_KeyboardEvent event = {};
    event.type = type;
    event.repeat = repeat;
    event.keysym.sym = sym;
    event.keysym.scancode = place;
    event.keysym.mod = mod;
    return event;
}

// Letters follow the layout, the main row's digits and punctuation their place.
TEST(SdlKeys, VirtualKeysAsWindowsGivesThem) {
    const struct {
        SDL_Keycode sym;
        SDL_Scancode place;
        UINT vk;
    } cases[] = {
        {SDLK_q, SDL_SCANCODE_A, 'Q'},                   // A's place on an AZERTY keyboard: the letter
        {SDLK_AMPERSAND, SDL_SCANCODE_1, '1'},           // the main row's 1 there: the place
        {SDLK_KP_3, SDL_SCANCODE_KP_3, VK_NUMPAD0 + 3},  // not the main row's 3
        {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, VK_RETURN},
        {SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, VK_NEXT},
        {SDLK_RALT, SDL_SCANCODE_RALT, VK_MENU},
        {SDLK_MINUS, SDL_SCANCODE_MINUS, 0xBD},       // VK_OEM_MINUS
        {SDLK_AUDIOPLAY, SDL_SCANCODE_AUDIOPLAY, 0},  // none: not delivered
    };
    for (const auto& c : cases) {
        SDL_Keysym key = {};
        key.sym = c.sym;
        key.scancode = c.place;
        EXPECT_EQ(fwsdl::virtualKey(key), c.vk) << SDL_GetKeyName(c.sym);
    }
}

// The message and lParam: bit 30 on a repeat and a release, bit 31 on a release, bit
// 29 and the SYS messages with Alt held, for Alt itself and for F10.
TEST(SdlKeys, MessagesAndTheirRepeatBit) {
    const struct {
        SDL_KeyboardEvent event;
        UINT message;
        WPARAM vk;
        LPARAM lParam;
    } cases[] = {
        {keyEvent(SDL_KEYDOWN, SDLK_SPACE, SDL_SCANCODE_SPACE), WM_KEYDOWN, VK_SPACE, 0x00000001},
        {keyEvent(SDL_KEYDOWN, SDLK_UP, SDL_SCANCODE_UP, KMOD_NONE, 1), WM_KEYDOWN, VK_UP, 0x40000001},
        {keyEvent(SDL_KEYUP, SDLK_UP, SDL_SCANCODE_UP), WM_KEYUP, VK_UP, 0xC0000001},
        {keyEvent(SDL_KEYDOWN, SDLK_g, SDL_SCANCODE_G, KMOD_LALT), WM_SYSKEYDOWN, 'G', 0x20000001},
        {keyEvent(SDL_KEYUP, SDLK_g, SDL_SCANCODE_G, KMOD_RALT), WM_SYSKEYUP, 'G', 0xE0000001},
        {keyEvent(SDL_KEYDOWN, SDLK_LALT, SDL_SCANCODE_LALT), WM_SYSKEYDOWN, VK_MENU, 0x00000001},
        {keyEvent(SDL_KEYDOWN, SDLK_F10, SDL_SCANCODE_F10), WM_SYSKEYDOWN, VK_F1 + 9, 0x00000001},
    };
    for (const auto& c : cases) {
        fwsdl::KeyMessage message = fwsdl::keyMessage(c.event);
        EXPECT_EQ(message.message, c.message) << c.vk;
        EXPECT_EQ(message.wParam, c.vk);
        EXPECT_EQ(message.lParam, c.lParam) << c.vk;
    }
}

// By pixel centres: at a whole scale each client pixel is an N-pixel run; at 1.8 (800
// in 1440 after a 240-pixel bar) the runs are 1 or 2 pixels, and the bar lies outside.
TEST(ClientPlacement, WindowPixelsAndClientPixelsMeetAtCentres) {
    for (int client = -3; client <= 803; ++client) {
        EXPECT_EQ(fwlayer::windowOf(client, 800, 0, 800), client);
        EXPECT_EQ(fwlayer::clientOf(client, 800, 0, 800), client);
        for (int n = 2; n <= 4; ++n) {
            EXPECT_EQ(fwlayer::windowOf(client, 800, 0, 800 * n), client * n);
            for (int k = 0; k < n; ++k) EXPECT_EQ(fwlayer::clientOf(client * n + k, 800, 0, 800 * n), client);
        }
    }
    EXPECT_EQ(fwlayer::clientOf(239, 800, 240, 1440), -1);  // on the left bar
    EXPECT_EQ(fwlayer::clientOf(240, 800, 240, 1440), 0);
    EXPECT_EQ(fwlayer::clientOf(1679, 800, 240, 1440), 799);
    EXPECT_EQ(fwlayer::clientOf(1680, 800, 240, 1440), 800);  // on the right bar
    EXPECT_EQ(fwlayer::windowOf(800, 800, 240, 1440), 1680);
    // Every window pixel of the fit shows the client pixel whose run it starts or continues.
    for (int window = 240; window < 1680; ++window) {
        int client = fwlayer::clientOf(window, 800, 240, 1440);
        EXPECT_LE(fwlayer::windowOf(client, 800, 240, 1440), window);
        EXPECT_GT(fwlayer::windowOf(client + 1, 800, 240, 1440), window);
    }
}

}  // namespace
